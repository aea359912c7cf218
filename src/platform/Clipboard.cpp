// The clipboard calls over a Unicode clipboard service, and the system clipboard through Qt.
// The clipboard keeps the CF_TEXT block it was given (or made on request) together with the
// Unicode text it published, so that text this process put comes back as the very bytes put,
// while text another program put is converted and accepted only when GBK holds it exactly.
#include "platform/Clipboard.h"

#include "platform/Application.h"
#include "platform/Message.h"
#include "platform/Text.h"
#include "platform/WinUser.h"
#include "platform/internal/GlobalMemory.h"
#include "platform/internal/Ownership.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include <cstring>
#include <thread>

namespace zuvo::platform {
namespace {

// The system clipboard. Qt's clipboard lives on the UI thread; without an application there
// is no clipboard and it reads as empty.
class QtClipboard : public ClipboardService {
 public:
  std::optional<std::u16string> Text() override {
    std::optional<std::u16string> text;
    onUi([&](QClipboard* clipboard) {
      const QMimeData* data = clipboard->mimeData();
      if (data != nullptr && data->hasText()) text = data->text().toStdU16String();
    });
    return text;
  }
  void SetText(const std::u16string& text) override {
    onUi([&](QClipboard* clipboard) { clipboard->setText(QString::fromStdU16String(text)); });
  }
  void Clear() override {
    onUi([](QClipboard* clipboard) { clipboard->clear(); });
  }

 private:
  template <class F>
  static void onUi(F&& f) {
    if (!EnsureApplication()) return;
    RunOnUiThread([&] {
      if (QClipboard* clipboard = QGuiApplication::clipboard()) f(clipboard);
    });
  }
};

ServiceSlot<ClipboardService, QtClipboard>& clipboardService() {
  static auto* slot = new ServiceSlot<ClipboardService, QtClipboard>;  // never destroyed: used until exit
  return *slot;
}

struct ClipboardState {
  bool open = false;
  HWND window = nullptr;
  std::thread::id thread;
  // The CF_TEXT block the clipboard owns, and the text it stands for on the service it was
  // published to (or read from). While the service still holds that text, the block is the data.
  HGLOBAL held = nullptr;
  std::u16string published;
  const ClipboardService* publishedTo = nullptr;
};

Guarded<ClipboardState>& clipboardState() {
  static auto* instance = new Guarded<ClipboardState>;  // never destroyed: used until exit
  return *instance;
}

bool openHere(const ClipboardState& state) {
  return state.open && state.thread == std::this_thread::get_id();
}

// Checks the clipboard is open by the calling thread; sets the error when not.
bool requireOpen() {
  if (openHere(*clipboardState().Lock())) return true;
  SetLastError(ERROR_CLIPBOARD_NOT_OPEN);
  return false;
}

// Forgets the held block (freeing it) and the published text.
void dropHeld(ClipboardState& state) {
  globalmem::FreeAdopted(state.held);
  state.held = nullptr;
  state.published.clear();
  state.publishedTo = nullptr;
}

bool isHeld(const ClipboardState& state, const ClipboardService* service, const std::u16string& text) {
  return state.held != nullptr && state.publishedTo == service && state.published == text;
}

}  // namespace

std::shared_ptr<ClipboardService> SetClipboardService(std::shared_ptr<ClipboardService> service) {
  return clipboardService().Set(std::move(service));
}

std::shared_ptr<ClipboardService> GetClipboardService() { return clipboardService().Get(); }

std::optional<std::u16string> InMemoryClipboard::Text() {
  std::lock_guard<std::mutex> lock(mutex_);
  return text_;
}

void InMemoryClipboard::SetText(const std::u16string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  text_ = text;
}

void InMemoryClipboard::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  text_.reset();
}

void InMemoryClipboard::SetNonText() { Clear(); }

}  // namespace zuvo::platform

namespace cb = zuvo::platform;

BOOL OpenClipboard(HWND window) {
  if (window != nullptr && !IsWindow(window)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  auto state = cb::clipboardState().Lock();
  if (state->open) {
    if (cb::openHere(*state) && state->window == window) return TRUE;
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  state->open = true;
  state->window = window;
  state->thread = std::this_thread::get_id();
  return TRUE;
}

BOOL CloseClipboard() {
  auto state = cb::clipboardState().Lock();
  if (!cb::openHere(*state)) {
    SetLastError(ERROR_CLIPBOARD_NOT_OPEN);
    return FALSE;
  }
  state->open = false;
  state->window = nullptr;
  state->thread = {};
  return TRUE;
}

BOOL EmptyClipboard() {
  if (!cb::requireOpen()) return FALSE;
  // The service is asked outside the lock: the Qt one waits for the UI thread, which may be
  // asking for the lock itself.
  cb::GetClipboardService()->Clear();
  cb::dropHeld(*cb::clipboardState().Lock());
  return TRUE;
}

HANDLE SetClipboardData(UINT format, HANDLE memory) {
  if (!cb::requireOpen()) return nullptr;
  if (format != CF_TEXT) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::optional<std::string> bytes = cb::globalmem::ReadText(memory);
  if (!bytes || !cb::globalmem::Adopt(memory)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  std::u16string text = cb::gbk::ToUtf16(*bytes);
  std::shared_ptr<cb::ClipboardService> service = cb::GetClipboardService();
  service->SetText(text);
  auto state = cb::clipboardState().Lock();
  if (state->held != memory) cb::dropHeld(*state);  // the same block again stays
  state->held = memory;
  state->published = std::move(text);
  state->publishedTo = service.get();
  return memory;
}

HANDLE GetClipboardData(UINT format) {
  if (!cb::requireOpen()) return nullptr;
  if (format != CF_TEXT) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::shared_ptr<cb::ClipboardService> service = cb::GetClipboardService();
  std::optional<std::u16string> text = service->Text();
  if (!text) {
    SetLastError(ERROR_NOT_FOUND);
    return nullptr;
  }
  {
    auto state = cb::clipboardState().Lock();
    if (cb::isHeld(*state, service.get(), *text)) return state->held;
  }
  std::optional<std::string> bytes = cb::gbk::FromUtf16Exact(*text);
  if (!bytes) {
    SetLastError(ERROR_INVALID_DATA);
    return nullptr;
  }
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes->size() + 1);
  if (block == nullptr) return nullptr;
  char* data = static_cast<char*>(GlobalLock(block));
  std::memcpy(data, bytes->data(), bytes->size());
  GlobalUnlock(block);
  cb::globalmem::Adopt(block);
  auto state = cb::clipboardState().Lock();
  cb::dropHeld(*state);
  state->held = block;
  state->published = std::move(*text);
  state->publishedTo = service.get();
  return block;
}

BOOL IsClipboardFormatAvailable(UINT format) {
  if (format != CF_TEXT) return FALSE;
  std::shared_ptr<cb::ClipboardService> service = cb::GetClipboardService();
  std::optional<std::u16string> text = service->Text();
  if (!text) return FALSE;
  if (cb::isHeld(*cb::clipboardState().Lock(), service.get(), *text)) return TRUE;
  return cb::gbk::FromUtf16Exact(*text) ? TRUE : FALSE;
}

// ---- TClipboard ------------------------------------------------------------------------------

void TClipboard::Open() {
  if (openCount_ == 0 && !OpenClipboard(nullptr)) throw EClipboardException("无法打开剪贴板");
  ++openCount_;
}

void TClipboard::Close() {
  if (openCount_ == 0) return;
  if (--openCount_ == 0) CloseClipboard();
}

void TClipboard::Clear() {
  Open();
  EmptyClipboard();
  Close();
}

bool TClipboard::HasFormat(UINT format) const { return IsClipboardFormatAvailable(format) != FALSE; }

AnsiString TClipboard::AsText() {
  Open();
  AnsiString text = cb::globalmem::ReadText(GetClipboardData(CF_TEXT)).value_or(AnsiString());
  Close();
  return text;
}

void TClipboard::SetAsText(const AnsiString& text) {
  std::size_t length = std::strlen(text.c_str());
  Open();
  EmptyClipboard();
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, length + 1);
  if (block != nullptr) {
    std::memcpy(GlobalLock(block), text.data(), length);
    GlobalUnlock(block);
    if (SetClipboardData(CF_TEXT, block) == nullptr) GlobalFree(block);
  }
  Close();
}

TClipboard* Clipboard() {
  static auto* instance = new TClipboard;  // never destroyed: used until exit
  return instance;
}

// OLE drag and drop: the target registry, the drag loop and drops from other programs.
#include "platform/DragDrop.h"

#include "platform/internal/DragDrop.h"
#include "platform/internal/HostWidget.h"
#include "platform/internal/Window.h"

#include "platform/Application.h"
#include "platform/Cursor.h"
#include "platform/Message.h"
#include "platform/Text.h"

#include <QDropEvent>
#include <QMimeData>

#include <algorithm>
#include <cstring>
#include <map>

namespace zuvo::platform::dragdrop {
namespace {

// A registration: the target and a number that tells it from a later one on the same window,
// so that a drag holding on to a window notices a withdrawal in between.
struct Registration {
  IDropTarget* target = nullptr;
  std::uint64_t serial = 0;
};

// UI thread only (every call that changes it runs there).
std::map<HWND, Registration>& DropTargets() {
  static std::map<HWND, Registration> registry;
  return registry;
}
std::uint64_t nextSerial = 1;

void SetAcceptsDrops(HWND window, bool accepts) {
  win::WindowPtr w = win::Find(window);
  if (w && w->widget != nullptr) w->widget->setAcceptDrops(accepts);
}

// Removes a registration and releases its target. False when there is none.
bool Withdraw(HWND window) {
  auto it = DropTargets().find(window);
  if (it == DropTargets().end()) return false;
  IDropTarget* target = it->second.target;
  DropTargets().erase(it);
  SetAcceptsDrops(window, false);
  target->Release();
  return true;
}

// The registered window at a window: itself or its nearest registered parent; null for none.
HWND RegisteredAt(HWND window) {
  while (window != nullptr) {
    if (DropTargets().count(window) != 0) return window;
    win::WindowPtr w = win::Find(window);
    if (!w || (w->style & WS_CHILD) == 0) return nullptr;
    window = w->parent;
  }
  return nullptr;
}

// The window a drag is over, as long as its registration lasts.
struct Over {
  HWND window = nullptr;
  std::uint64_t serial = 0;

  void Set(HWND registered) {
    window = registered;
    serial = registered != nullptr ? DropTargets().at(registered).serial : 0;
  }
  // The target, while the registration seen is still in force; null once withdrawn.
  IDropTarget* Target() const {
    if (window == nullptr) return nullptr;
    auto it = DropTargets().find(window);
    return it != DropTargets().end() && it->second.serial == serial ? it->second.target : nullptr;
  }
};

// Calls a target while holding a reference of its own, so that a target that withdraws itself
// inside the call is not freed under it.
template <typename F>
HRESULT CallTarget(IDropTarget* target, F call) {
  target->AddRef();
  HRESULT result = call(target);
  target->Release();
  return result;
}

DWORD Answered(HRESULT result, DWORD effect, DWORD allowed) {
  return FAILED(result) ? DROPEFFECT_NONE : (effect & allowed);
}

// Enters, moves over or leaves targets for the pointer at `registered` (null: over none) and
// gives the effect there.
DWORD TrackTarget(Over& over, HWND registered, IDataObject* data, DWORD keys, POINTL point, DWORD allowed) {
  IDropTarget* current = over.Target();
  if (current == nullptr) over.Set(nullptr);   // withdrawn meanwhile: it hears nothing more
  if (registered != over.window) {
    if (current != nullptr) CallTarget(current, [](IDropTarget* t) { return t->DragLeave(); });
    over.Set(registered != nullptr && DropTargets().count(registered) != 0 ? registered : nullptr);
    IDropTarget* entered = over.Target();
    if (entered == nullptr) return DROPEFFECT_NONE;
    DWORD effect = allowed;
    HRESULT result = CallTarget(entered, [&](IDropTarget* t) { return t->DragEnter(data, keys, point, &effect); });
    return Answered(result, effect, allowed);
  }
  if (current == nullptr) return DROPEFFECT_NONE;
  DWORD effect = allowed;
  HRESULT result = CallTarget(current, [&](IDropTarget* t) { return t->DragOver(keys, point, &effect); });
  return Answered(result, effect, allowed);
}

// Ends with the target: Drop when dropping where the target accepts, else DragLeave. Gives the
// effect performed.
DWORD EndOver(Over& over, bool drop, DWORD lastEffect, IDataObject* data, DWORD keys, POINTL point, DWORD allowed) {
  IDropTarget* target = over.Target();
  over.Set(nullptr);
  if (target == nullptr) return DROPEFFECT_NONE;
  if (drop && lastEffect != DROPEFFECT_NONE) {
    DWORD effect = allowed;
    HRESULT result = CallTarget(target, [&](IDropTarget* t) { return t->Drop(data, keys, point, &effect); });
    return Answered(result, effect, allowed);
  }
  CallTarget(target, [](IDropTarget* t) { return t->DragLeave(); });
  return DROPEFFECT_NONE;
}

// ---- The drag loop ---------------------------------------------------------------------------

bool dragRunning = false;
bool trackerLostCapture = false;

LRESULT TrackerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_CAPTURECHANGED && reinterpret_cast<HWND>(lParam) != window) trackerLostCapture = true;
  return DefWindowProcA(window, message, wParam, lParam);
}

// A hidden window of the loop's own that holds the capture while the drag runs.
HWND CreateTracker() {
  static bool registered = [] {
    WNDCLASSA wc{};
    wc.lpfnWndProc = TrackerProc;
    wc.lpszClassName = "ZuvoDragTracker";
    return RegisterClassA(&wc) != 0;
  }();
  if (!registered) return nullptr;
  return CreateWindowExA(0, "ZuvoDragTracker", "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
}

DWORD KeyStateNow() {
  DWORD keys = 0;
  if (GetKeyState(VK_LBUTTON) < 0) keys |= MK_LBUTTON;
  if (GetKeyState(VK_RBUTTON) < 0) keys |= MK_RBUTTON;
  if (GetKeyState(VK_MBUTTON) < 0) keys |= MK_MBUTTON;
  if (GetKeyState(VK_SHIFT) < 0) keys |= MK_SHIFT;
  if (GetKeyState(VK_CONTROL) < 0) keys |= MK_CONTROL;
  if (GetKeyState(VK_MENU) < 0) keys |= MK_ALT;
  return keys;
}

// The cursor of an effect when the source leaves it to the platform (crNoDrop, crMultiDrag and
// crDrag of the class library).
HCURSOR DefaultDragCursor(DWORD effect) {
  short shape = -12;
  if ((effect & (DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK)) == DROPEFFECT_NONE) {
    shape = -13;
  } else if ((effect & DROPEFFECT_COPY) != 0) {
    shape = -16;
  }
  return LoadCursorA(nullptr, LibraryCursorName(shape));
}

class DragLoop {
 public:
  DragLoop(IDataObject* data, IDropSource* source, DWORD allowed)
      : data_(data), source_(source), allowed_(allowed) {}

  HRESULT Run(DWORD* effect) {
    HWND tracker = CreateTracker();
    if (tracker == nullptr) return E_OUTOFMEMORY;
    trackerLostCapture = false;
    SetCapture(tracker);
    queue::ModalScope scope;
    MSG msg{};
    while (!done_) {
      if (trackerLostCapture) {
        // Someone else took the mouse: the drag cannot go on.
        Finish(DRAGDROP_S_CANCEL, false);
        break;
      }
      const BOOL got = GetMessageA(&msg, nullptr, 0, 0);
      if (got <= 0) {
        Finish(DRAGDROP_S_CANCEL, false);
        if (got == 0) PostQuitMessage(static_cast<int>(msg.wParam));   // for the loop outside
        break;
      }
      Take(msg);
    }
    if (GetCapture() == tracker) ReleaseCapture();
    DestroyWindow(tracker);
    *effect = effect_;
    return result_;
  }

 private:
  // Mouse and key messages are the drag's; the rest is handled as usual.
  void Take(const MSG& msg) {
    const UINT m = msg.message;
    if (m == WM_KEYDOWN || m == WM_SYSKEYDOWN || m == WM_KEYUP || m == WM_SYSKEYUP) {
      if ((m == WM_KEYDOWN || m == WM_SYSKEYDOWN) && msg.wParam == static_cast<WPARAM>(VK_ESCAPE)) escape_ = true;
      StateChanged();
      return;
    }
    if (m >= WM_KEYFIRST && m <= WM_KEYLAST) return;   // characters of the drag's keys
    if (m >= WM_MOUSEFIRST && m <= WM_MOUSELAST) {
      if (m != WM_MOUSEWHEEL) {
        POINT p{GET_X_LPARAM(msg.lParam), GET_Y_LPARAM(msg.lParam)};
        if (ClientToScreen(msg.hwnd, &p)) {
          point_ = POINTL{p.x, p.y};
          knowPoint_ = true;
        }
        StateChanged();
      }
      return;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }

  void StateChanged() {
    if (!knowPoint_) {
      // A key before any mouse message: the pointer is where the layer last saw it.
      POINT p{0, 0};
      GetCursorPos(&p);
      point_ = POINTL{p.x, p.y};
      knowPoint_ = true;
    }
    const DWORD keys = KeyStateNow();
    const HRESULT answer = source_->QueryContinueDrag(escape_ ? TRUE : FALSE, keys);
    if (answer != S_OK && answer != DRAGDROP_S_DROP) {
      Finish(answer, false);
      return;
    }
    HWND under = RegisteredAt(WindowFromPoint(POINT{point_.x, point_.y}));
    const DWORD effect = TrackTarget(over_, under, data_, keys, point_, allowed_);
    if (answer == DRAGDROP_S_DROP) {
      lastEffect_ = effect;
      Finish(answer, true);
      return;
    }
    if (effect != lastEffect_ || !fedBack_) {
      lastEffect_ = effect;
      fedBack_ = true;
      if (source_->GiveFeedback(effect) == DRAGDROP_S_USEDEFAULTCURSORS) SetCursor(DefaultDragCursor(effect));
    }
  }

  void Finish(HRESULT result, bool drop) {
    effect_ = EndOver(over_, drop, lastEffect_, data_, KeyStateNow(), point_, allowed_);
    result_ = result;
    done_ = true;
  }

  IDataObject* data_;
  IDropSource* source_;
  DWORD allowed_;
  Over over_;
  bool escape_ = false;
  bool knowPoint_ = false;
  POINTL point_{0, 0};
  DWORD lastEffect_ = DROPEFFECT_NONE;
  bool fedBack_ = false;
  bool done_ = false;
  HRESULT result_ = DRAGDROP_S_CANCEL;
  DWORD effect_ = DROPEFFECT_NONE;
};

// ---- Text from other programs ----------------------------------------------------------------

bool IsTextFormat(const FORMATETC* format) {
  return format->cfFormat == CF_TEXT && (format->dwAspect & DVASPECT_CONTENT) != 0 &&
         (format->tymed & TYMED_HGLOBAL) != 0;
}

// The data object of a drop from another program: its text as CF_TEXT (GBK, zero-terminated).
class TextDataObject final : public IDataObject {
 public:
  explicit TextDataObject(std::string gbk) : text_(std::move(gbk)) {}

  HRESULT QueryInterface(REFIID riid, void** object) override {
    if (object == nullptr) return E_INVALIDARG;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDataObject)) {
      AddRef();
      *object = static_cast<IDataObject*>(this);
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return ++count_; }
  ULONG Release() override {
    const ULONG left = --count_;
    if (left == 0) delete this;
    return left;
  }
  HRESULT GetData(FORMATETC* format, STGMEDIUM* medium) override {
    if (format == nullptr || medium == nullptr) return E_INVALIDARG;
    *medium = STGMEDIUM{};
    if (!IsTextFormat(format)) return DV_E_FORMATETC;
    HGLOBAL block = GlobalAlloc(GHND, text_.size() + 1);
    if (block == nullptr) return E_OUTOFMEMORY;
    void* bytes = GlobalLock(block);
    if (bytes == nullptr) {
      GlobalFree(block);
      return E_OUTOFMEMORY;
    }
    std::memcpy(bytes, text_.data(), text_.size());
    GlobalUnlock(block);
    medium->tymed = TYMED_HGLOBAL;
    medium->hGlobal = block;
    return S_OK;
  }
  HRESULT GetDataHere(FORMATETC* format, STGMEDIUM* medium) override {
    return format == nullptr || medium == nullptr ? E_INVALIDARG : E_NOTIMPL;
  }
  HRESULT QueryGetData(FORMATETC* format) override {
    if (format == nullptr) return E_INVALIDARG;
    return IsTextFormat(format) ? S_OK : DV_E_FORMATETC;
  }
  HRESULT GetCanonicalFormatEtc(FORMATETC* in, FORMATETC* out) override {
    if (in == nullptr || out == nullptr) return E_INVALIDARG;
    *out = *in;
    out->ptd = nullptr;
    return DATA_S_SAMEFORMATETC;
  }
  HRESULT SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
  HRESULT EnumFormatEtc(DWORD, IEnumFORMATETC** enumerator) override {
    if (enumerator == nullptr) return E_INVALIDARG;
    *enumerator = nullptr;
    return E_NOTIMPL;
  }
  HRESULT DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return OLE_E_ADVISENOTSUPPORTED; }
  HRESULT DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
  HRESULT EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

 private:
  ~TextDataObject() = default;
  std::string text_;
  ULONG count_ = 1;
};

// A drag from another program over our windows. Qt hands the enter to the nearest enabled
// widget that accepts drops (a registered window's: registering sets that), and the moves, the
// drop and the leave to the widget that accepted it; each window gets its own enter and leave,
// so one session follows one window at a time.
struct OutsideDrag {
  HWND widgetWindow = nullptr;
  Over over;
  TextDataObject* data = nullptr;
  DWORD allowed = DROPEFFECT_NONE;
  DWORD lastEffect = DROPEFFECT_NONE;
};
OutsideDrag outside;

void EndOutsideSession() {
  if (outside.data != nullptr) outside.data->Release();
  outside = OutsideDrag{};
}

DWORD EffectsOf(Qt::DropActions actions) {
  DWORD effects = DROPEFFECT_NONE;
  if (actions & Qt::CopyAction) effects |= DROPEFFECT_COPY;
  if (actions & Qt::MoveAction) effects |= DROPEFFECT_MOVE;
  if (actions & Qt::LinkAction) effects |= DROPEFFECT_LINK;
  return effects;
}

Qt::DropAction ActionOf(DWORD effect) {
  if (effect & DROPEFFECT_COPY) return Qt::CopyAction;
  if (effect & DROPEFFECT_MOVE) return Qt::MoveAction;
  if (effect & DROPEFFECT_LINK) return Qt::LinkAction;
  return Qt::IgnoreAction;
}

DWORD KeysOf(const QDropEvent* event) {
  DWORD keys = 0;
  const Qt::MouseButtons buttons = event->buttons();
  const Qt::KeyboardModifiers modifiers = event->modifiers();
  if (buttons & Qt::LeftButton) keys |= MK_LBUTTON;
  if (buttons & Qt::RightButton) keys |= MK_RBUTTON;
  if (buttons & Qt::MiddleButton) keys |= MK_MBUTTON;
  if (modifiers & Qt::ShiftModifier) keys |= MK_SHIFT;
  if (modifiers & Qt::ControlModifier) keys |= MK_CONTROL;
  if (modifiers & Qt::AltModifier) keys |= MK_ALT;
  return keys;
}

void Answer(QDropEvent* event, DWORD effect) {
  if (effect == DROPEFFECT_NONE) {
    event->setDropAction(Qt::IgnoreAction);
    event->ignore();
    return;
  }
  event->setDropAction(ActionOf(effect));
  event->accept();
}

// Starts a session for the window's registered target, or gives false when there is no target
// or the drag holds no text GBK can carry.
bool BeginOutsideSession(HWND window, QDropEvent* event) {
  EndOutsideSession();
  HWND registered = RegisteredAt(window);
  const QMimeData* mime = event->mimeData();
  if (registered == nullptr || mime == nullptr || !mime->hasText()) return false;
  std::optional<std::string> text = gbk::FromUtf16Exact(mime->text().toStdU16String());
  const DWORD allowed = EffectsOf(event->possibleActions());
  if (!text || allowed == DROPEFFECT_NONE) return false;
  outside.widgetWindow = window;
  outside.data = new TextDataObject(std::move(*text));
  outside.allowed = allowed;
  return true;
}

POINTL ScreenPointOf(HWND window, const QDropEvent* event) {
  const QPoint local = event->position().toPoint();
  POINT p{local.x(), local.y()};
  ClientToScreen(window, &p);
  return POINTL{p.x, p.y};
}

}  // namespace

void ForgetWindow(HWND window) {
  if (outside.widgetWindow == window) EndOutsideSession();
  Withdraw(window);
}

bool QtDragEvent(HWND window, QEvent* event) {
  const QEvent::Type type = event->type();
  if (type == QEvent::DragLeave) {
    if (outside.widgetWindow == window) {
      EndOver(outside.over, false, DROPEFFECT_NONE, outside.data, 0, POINTL{0, 0}, outside.allowed);
      EndOutsideSession();
    }
    event->accept();
    return true;
  }
  if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop) return false;
  auto* drop = static_cast<QDropEvent*>(event);
  if (type == QEvent::DragEnter || outside.widgetWindow != window) {
    if (outside.widgetWindow != nullptr) {
      EndOver(outside.over, false, DROPEFFECT_NONE, outside.data, 0, POINTL{0, 0}, outside.allowed);
    }
    if (!BeginOutsideSession(window, drop)) {
      EndOutsideSession();
      Answer(drop, DROPEFFECT_NONE);
      return true;
    }
  }
  const DWORD keys = KeysOf(drop);
  const POINTL point = ScreenPointOf(window, drop);
  outside.lastEffect = TrackTarget(outside.over, RegisteredAt(window), outside.data, keys, point, outside.allowed);
  if (type == QEvent::DragEnter) {
    // Accepted whatever the effect: Qt sends no moves to a widget that refused the enter, and
    // the target may take the drop elsewhere in the window. The moves answer for each place.
    drop->setDropAction(ActionOf(outside.lastEffect));
    drop->accept();
    return true;
  }
  if (type == QEvent::DragMove) {
    Answer(drop, outside.lastEffect);
    return true;
  }
  const DWORD effect = EndOver(outside.over, true, outside.lastEffect, outside.data, keys, point, outside.allowed);
  EndOutsideSession();
  Answer(drop, effect);
  return true;
}

}  // namespace zuvo::platform::dragdrop

using namespace zuvo::platform::dragdrop;

void ReleaseStgMedium(STGMEDIUM* medium) {
  if (medium == nullptr) return;
  if (medium->pUnkForRelease != nullptr) {
    medium->pUnkForRelease->Release();
  } else if (medium->tymed == TYMED_HGLOBAL && medium->hGlobal != nullptr) {
    GlobalFree(medium->hGlobal);
  }
  *medium = STGMEDIUM{};
}

namespace {
thread_local int oleInitCount = 0;
}

HRESULT OleInitialize(LPVOID) { return oleInitCount++ == 0 ? S_OK : S_FALSE; }

void OleUninitialize() {
  if (oleInitCount > 0) --oleInitCount;
}

HRESULT RegisterDragDrop(HWND window, IDropTarget* target) {
  if (target == nullptr) return E_INVALIDARG;
  if (!zuvo::platform::EnsureApplication()) return E_UNEXPECTED;
  HRESULT result = S_OK;
  zuvo::platform::RunOnUiThread([&] {
    zuvo::platform::win::WindowPtr w = zuvo::platform::win::Find(window);
    if (!w || w->destroying()) {
      result = DRAGDROP_E_INVALIDHWND;
      return;
    }
    if (DropTargets().count(window) != 0) {
      result = DRAGDROP_E_ALREADYREGISTERED;
      return;
    }
    target->AddRef();
    DropTargets()[window] = Registration{target, nextSerial++};
    SetAcceptsDrops(window, true);
  });
  return result;
}

HRESULT RevokeDragDrop(HWND window) {
  if (!zuvo::platform::EnsureApplication()) return E_UNEXPECTED;
  HRESULT result = S_OK;
  zuvo::platform::RunOnUiThread([&] {
    if (!Withdraw(window)) result = zuvo::platform::win::Find(window) ? DRAGDROP_E_NOTREGISTERED : DRAGDROP_E_INVALIDHWND;
  });
  return result;
}

HRESULT DoDragDrop(IDataObject* data, IDropSource* source, DWORD allowedEffects, DWORD* effect) {
  if (effect != nullptr) *effect = DROPEFFECT_NONE;
  if (data == nullptr || source == nullptr || effect == nullptr) return E_INVALIDARG;
  if (!zuvo::platform::IsUiThread() || !zuvo::platform::EnsureApplication()) return E_UNEXPECTED;
  if (dragRunning) return E_UNEXPECTED;
  dragRunning = true;
  struct Running {
    ~Running() { dragRunning = false; }
  } running;
  DragLoop loop(data, source, allowedEffects);
  return loop.Run(effect);
}

namespace zuvo::platform {

std::optional<std::string> DroppedText(IDataObject* data) {
  if (data == nullptr) return std::nullopt;
  FORMATETC format{static_cast<CLIPFORMAT>(CF_TEXT), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  STGMEDIUM medium{};
  if (FAILED(data->GetData(&format, &medium))) return std::nullopt;
  std::optional<std::string> text;
  if (medium.tymed == TYMED_HGLOBAL && medium.hGlobal != nullptr) {
    const SIZE_T size = GlobalSize(medium.hGlobal);
    if (const char* bytes = static_cast<const char*>(GlobalLock(medium.hGlobal))) {
      text = std::string(bytes, strnlen(bytes, size));
      GlobalUnlock(medium.hGlobal);
    }
  }
  ReleaseStgMedium(&medium);
  return text;
}

}  // namespace zuvo::platform

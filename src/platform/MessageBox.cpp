#include "platform/MessageBox.h"

#include "platform/Application.h"
#include "platform/Message.h"
#include "platform/Text.h"
#include "platform/internal/Ownership.h"
#include "platform/internal/Window.h"

#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>

#include <algorithm>
#include <cstdio>

namespace zuvo::platform {
namespace {

// The buttons of a box type, in order; the default button indexes them.
std::vector<int> ButtonsOf(UINT buttons) {
  switch (buttons) {
    case MB_OKCANCEL: return {IDOK, IDCANCEL};
    case MB_ABORTRETRYIGNORE: return {IDABORT, IDRETRY, IDIGNORE};
    case MB_YESNOCANCEL: return {IDYES, IDNO, IDCANCEL};
    case MB_YESNO: return {IDYES, IDNO};
    case MB_RETRYCANCEL: return {IDRETRY, IDCANCEL};
    default: return {IDOK};
  }
}

int DefaultAnswer(const MessageBoxRequest& request) {
  std::vector<int> buttons = ButtonsOf(request.buttons);
  std::size_t index = request.defaultButton >> 8;
  return index < buttons.size() ? buttons[index] : buttons.front();
}

bool Headless() {
  QString name = QGuiApplication::platformName();
  return name == QLatin1String("offscreen") || name == QLatin1String("minimal");
}

QString Qs(const std::string& gbkText) { return QString::fromStdU16String(gbk::ToUtf16(gbkText)); }

// The real dialog. Without a screen nobody could answer it, so it answers with the default
// button at once (and says so on standard error) instead of hanging.
class DialogService : public MessageBoxService {
 public:
  int Show(const MessageBoxRequest& request) override {
    if (!EnsureApplication()) return 0;
    if (Headless()) {
      std::fprintf(stderr, "message box \"%s\": %s\n", gbk::ToUtf8(request.caption).c_str(),
                   gbk::ToUtf8(request.text).c_str());
      return DefaultAnswer(request);
    }
    QMessageBox box;
    box.setWindowTitle(Qs(request.caption));
    box.setText(Qs(request.text));
    switch (request.icon) {
      case MB_ICONERROR: box.setIcon(QMessageBox::Critical); break;
      case MB_ICONQUESTION: box.setIcon(QMessageBox::Question); break;
      case MB_ICONWARNING: box.setIcon(QMessageBox::Warning); break;
      case MB_ICONINFORMATION: box.setIcon(QMessageBox::Information); break;
      default: box.setIcon(QMessageBox::NoIcon); break;
    }
    if (request.topMost) box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    std::vector<int> ids = ButtonsOf(request.buttons);
    std::vector<QAbstractButton*> buttons;
    for (int id : ids) {
      QMessageBox::StandardButton standard = QMessageBox::Ok;
      switch (id) {
        case IDOK: standard = QMessageBox::Ok; break;
        case IDCANCEL: standard = QMessageBox::Cancel; break;
        case IDABORT: standard = QMessageBox::Abort; break;
        case IDRETRY: standard = QMessageBox::Retry; break;
        case IDIGNORE: standard = QMessageBox::Ignore; break;
        case IDYES: standard = QMessageBox::Yes; break;
        case IDNO: standard = QMessageBox::No; break;
      }
      buttons.push_back(box.addButton(standard));
    }
    std::size_t defaultIndex = request.defaultButton >> 8;
    if (defaultIndex < buttons.size()) box.setDefaultButton(static_cast<QPushButton*>(buttons[defaultIndex]));
    queue::ModalScope scope;
    box.exec();
    QAbstractButton* clicked = box.clickedButton();
    for (std::size_t i = 0; i < buttons.size(); ++i) {
      if (buttons[i] == clicked) return ids[i];
    }
    // Closed with Escape or the close box.
    bool hasCancel = std::find(ids.begin(), ids.end(), IDCANCEL) != ids.end();
    return hasCancel ? IDCANCEL : (ids.size() == 1 ? ids.front() : 0);
  }
};

ServiceSlot<MessageBoxService, DialogService>& boxService() {
  // Never destroyed: a worker may show a box while the process exits.
  static auto* slot = new ServiceSlot<MessageBoxService, DialogService>;
  return *slot;
}

}  // namespace

std::shared_ptr<MessageBoxService> SetMessageBoxService(std::shared_ptr<MessageBoxService> service) {
  return boxService().Set(std::move(service));
}

std::shared_ptr<MessageBoxService> GetMessageBoxService() { return boxService().Get(); }

void ScriptedMessageBoxes::Answer(int button) {
  std::lock_guard<std::mutex> lock(mutex_);
  answers_.push_back(button);
}

int ScriptedMessageBoxes::Show(const MessageBoxRequest& request) {
  std::lock_guard<std::mutex> lock(mutex_);
  shown_.push_back(request);
  if (answers_.empty()) return DefaultAnswer(request);
  int answer = answers_.front();
  answers_.pop_front();
  return answer;
}

std::vector<MessageBoxRequest> ScriptedMessageBoxes::Shown() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return shown_;
}

std::size_t ScriptedMessageBoxes::Count() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return shown_.size();
}

}  // namespace zuvo::platform

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  zuvo::platform::MessageBoxRequest request;
  request.owner = owner;
  request.text = text != nullptr ? text : "";
  request.caption = caption != nullptr ? caption : "错误";
  request.buttons = type & MB_TYPEMASK;
  request.icon = type & MB_ICONMASK;
  request.defaultButton = type & MB_DEFMASK;
  request.topMost = (type & (MB_TOPMOST | MB_SYSTEMMODAL)) != 0;
  request.type = type;
  int answer = 0;
  // Shown by the UI thread; a worker waits for the answer.
  zuvo::platform::RunOnUiThread([&] {
    std::shared_ptr<zuvo::platform::MessageBoxService> service = zuvo::platform::GetMessageBoxService();
    HWND root = owner != nullptr ? zuvo::platform::win::RootOf(owner) : nullptr;
    bool disabled = root != nullptr && IsWindowEnabled(root);
    if (disabled) EnableWindow(root, FALSE);
    answer = service->Show(request);
    if (disabled && IsWindow(root)) EnableWindow(root, TRUE);
  });
  return answer;
}

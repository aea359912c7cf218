// The message-box service behind MessageBoxA. The default shows a real modal dialog on the UI
// thread; a test installs a scripted service that answers from a list and records every box
// (text, caption, buttons, icon, default button; GBK) without showing anything.
#pragma once

#include "platform/ScopedDouble.h"
#include "platform/WinUser.h"

#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace zuvo::platform {

// One request for a box, as MessageBoxA received it (type split into its parts).
struct MessageBoxRequest {
  HWND owner = nullptr;
  std::string text;      // GBK
  std::string caption;   // GBK
  UINT buttons = MB_OK;           // type & MB_TYPEMASK
  UINT icon = 0;                  // type & MB_ICONMASK
  UINT defaultButton = MB_DEFBUTTON1;   // type & MB_DEFMASK
  bool topMost = false;           // MB_TOPMOST or MB_SYSTEMMODAL
  UINT type = 0;                  // the whole type word
};

// Shows one box and returns the button pressed (IDOK...), 0 when it cannot. Called on the UI
// thread only (MessageBoxA marshals workers' boxes there).
class MessageBoxService {
 public:
  virtual ~MessageBoxService() = default;
  virtual int Show(const MessageBoxRequest& request) = 0;
};

// Installs a service (null restores the default dialog) and returns the previous one (null when
// none was installed or asked for yet). Any thread.
std::shared_ptr<MessageBoxService> SetMessageBoxService(std::shared_ptr<MessageBoxService> service);
std::shared_ptr<MessageBoxService> GetMessageBoxService();

// A test double: answers in the order given, then with the box's default button (IDOK for
// MB_OK...). Records every request. Thread-safe.
class ScriptedMessageBoxes : public MessageBoxService {
 public:
  void Answer(int button);   // appends an answer
  int Show(const MessageBoxRequest& request) override;
  std::vector<MessageBoxRequest> Shown() const;
  std::size_t Count() const;

 private:
  mutable std::mutex mutex_;
  std::deque<int> answers_;
  std::vector<MessageBoxRequest> shown_;
};

// Installs a ScriptedMessageBoxes for the life of the object and restores the previous service.
using ScopedScriptedMessageBoxes = ScopedDouble<ScriptedMessageBoxes, MessageBoxService, &SetMessageBoxService>;

}  // namespace zuvo::platform

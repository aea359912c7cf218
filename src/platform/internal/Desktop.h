// Platform-internal: the desktop backend behind platform/Desktop.h. It lends the handles of
// other programs' windows (a ForeignWindowSource, so the window calls reach them), lists the
// processes, and takes synthesised input. One backend at a time: "none" unless a test installed
// a fake desktop (platform/FakeDesktop.h).
#pragma once

#include "platform/internal/Guard.h"

#include "platform/internal/ForeignWindows.h"

#include "platform/Desktop.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zuvo::platform::desktop {

struct ProcessRecord {
  DWORD id = 0;
  DWORD parentId = 0;
  DWORD threads = 1;
  std::string imagePath;   // Windows form, GBK
};

class DesktopBackend : public win::ForeignWindowSource {
 public:
  // The running processes, in the order a snapshot lists them.
  virtual std::vector<ProcessRecord> Processes() = 0;
  // The image path of a running process; nullopt when it is not running.
  virtual std::optional<std::string> ImagePath(DWORD processId) = 0;
  // Whether a window of another program is in front, so that synthesised input (keybd_event,
  // mouse_event) goes to this desktop; otherwise it goes to our own windows.
  virtual bool OtherProgramInFront() = 0;
  // A key event (KEYEVENTF_ flags) and a mouse button event (MOUSEEVENTF_ flags) at `pointer`.
  virtual void Key(BYTE virtualKey, BYTE scanCode, DWORD flags) = 0;
  virtual void Mouse(DWORD flags, POINT pointer) = 0;
  // BlockInput; FALSE when the desktop cannot block input.
  virtual BOOL Block(bool on) = 0;
};

// Installs a backend (null: "none") and returns the previous one (null when it was "none").
// A backend other than "none" is registered as a source of foreign windows while installed.
std::shared_ptr<DesktopBackend> SetDesktopBackend(std::shared_ptr<DesktopBackend> backend);
// The installed backend; never null ("none" when nothing else is installed).
std::shared_ptr<DesktopBackend> CurrentDesktopBackend();

}  // namespace zuvo::platform::desktop

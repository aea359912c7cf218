// A fake desktop for tests: other programs' processes and windows, driven by the desktop calls
// of platform/Desktop.h and the ordinary window calls, with scripted reactions and a log of
// every input event.
//
// How a test uses it:
//   zuvo::platform::ScopedFakeDesktop desktop;          // also a driven clock (Sleep moves it)
//   DWORD pid = desktop->AddProcess("C:\\trade\\xd.exe");
//   HWND main = desktop->AddWindow(pid, {.className = "#32770", .title = "xd", ...});
//   HWND code = desktop->AddItem(main, {.id = 1411, .className = "Edit", .rect = {...}});
//   desktop->OnTyped(code, 200, [=](FakeDesktop& d) { d.SetText(name, "..."); });
//   ... run the code under test ...
//   EXPECT_EQ(desktop->LogLines(), (std::vector<std::string>{"+0 block on", ...}));
//
// The model:
// - Windows are top-level windows of a process, in z-order (the newest on top), with class,
//   title, styles, screen rectangle, owner and visibility. Items are child windows of one of
//   them with an id and a text; their rectangle is given relative to the window's top-left
//   corner. Handles come from the window registry's id space: never ours, never reused.
// - One window is in front (the foreground). ShowWindow with a showing command other than
//   SW_SHOWNA / SW_SHOWNOACTIVATE / SW_SHOWMINNOACTIVE, BringWindowToTop and a click on a
//   window bring it in front and to the top.
// - Keys and clicks reach the desktop only while one of its windows is visible and in front;
//   otherwise they go to our own program, as typed or clicked there (platform/Cursor.h). A
//   click in front of the desktop that hits none of its windows is logged as going nowhere.
// - A click goes to the topmost visible window under the pointer and to its item there, which
//   takes the focus with its whole text selected; Tab moves the focus to the next visible item
//   and selects its text. Letter and digit keys (main row and number pad; VK_DECIMAL types '.')
//   type into an item of class "Edit", replacing a selection; Delete and Backspace remove the
//   selection or the character after / before the caret.
// - Reactions run when their time on the tick source has come, looked at on every call into the
//   desktop (a query, a message, an input event), so a caller that polls sees them appear.
// - While a ScopedFakeDesktop lives, Sleep moves the driven clock (Sleep(0) by 1 ms), so polling
//   loops bounded by GetTickCount run out on the driven clock.
//
// Thread-safe; reactions run with no lock held and may call back into the desktop.
#pragma once

#include "platform/DrivenClock.h"
#include "platform/WinUser.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace zuvo::platform {

class FakeDesktop {
 public:
  struct Window {
    std::string className{};
    std::string title{};   // GBK
    DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
    DWORD exStyle = 0;
    RECT rect{0, 0, 0, 0};   // screen coordinates
    HWND owner = nullptr;
    bool visible = true;
  };
  struct Item {
    int id = 0;
    std::string className = "Edit";
    std::string text{};   // GBK
    RECT rect{0, 0, 0, 0};   // relative to the window's top-left corner
    DWORD style = WS_CHILD | WS_TABSTOP;
    bool visible = true;
  };

  enum class InputKind { kKeyDown, kKeyUp, kLeftDown, kLeftUp, kRightDown, kRightUp, kBlockOn, kBlockOff };
  struct InputEvent {
    DWORD tick = 0;   // GetTickCount when it happened
    InputKind kind = InputKind::kKeyDown;
    BYTE virtualKey = 0;
    BYTE scanCode = 0;
    POINT pointer{0, 0};   // for button events
    HWND target = nullptr;   // the window (or item) it reached; null: nowhere
  };
  struct PostedMessage {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
  };
  using Action = std::function<void(FakeDesktop&)>;

  FakeDesktop();
  ~FakeDesktop();
  FakeDesktop(const FakeDesktop&) = delete;
  FakeDesktop& operator=(const FakeDesktop&) = delete;

  // ---- Building the desktop
  // A running process with the image path given (Windows form, GBK); returns its id.
  DWORD AddProcess(std::string imagePath);
  // Ends the process (OpenProcess and GetModuleFileNameExA fail for it from now) and destroys
  // its windows.
  void EndProcess(DWORD processId);
  // A top-level window of the process, on top of the others; a visible one comes in front.
  HWND AddWindow(DWORD processId, Window window);
  // A dialog item of a window, after the window's other items.
  HWND AddItem(HWND window, Item item);
  // Destroys a window with its items (IsWindow is false from then on).
  void DestroyWindow(HWND window);

  // ---- State
  void SetVisible(HWND window, bool visible);
  void SetText(HWND window, std::string text);   // title or item text, no reaction runs
  std::string Text(HWND window) const;
  void SetForeground(HWND window);                // null: none of the desktop's windows in front
  HWND Foreground() const;
  HWND Focus() const;                             // the item keys go to; null: the window
  RECT Rect(HWND window) const;                   // screen coordinates
  bool InputBlocked() const;

  // ---- Scripted reactions; `delay` milliseconds on the tick source after the trigger.
  // A key-down of the key that reaches the desktop (while `inFront` is in front, when given).
  void OnKeyDown(BYTE virtualKey, DWORD delay, Action action, HWND inFront = nullptr);
  // A change of the item's text by typing or deleting.
  void OnTyped(HWND item, DWORD delay, Action action);
  // A click (button down and up) inside the window or one of its items.
  void OnClick(HWND window, DWORD delay, Action action);
  // Once, `delay` milliseconds from now.
  void After(DWORD delay, Action action);

  // ---- What happened
  std::vector<InputEvent> Log() const;
  // The log as text, ticks counted from the desktop's creation, one line per event:
  //   "+300 left-down 150,108 -> 委托下单", "+400 key-down 09/2 -> 1411", "+400 key-up 12/0 -> nowhere",
  //   "+0 block on", "+900 block off". The target is the window's title or the item's id.
  std::vector<std::string> LogLines() const;
  std::vector<PostedMessage> Posted() const;

  // The backend behind the desktop calls; platform-internal.
  struct State;
  std::shared_ptr<State> state() const { return state_; }

 private:
  std::shared_ptr<State> state_;
};

// Installs a fake desktop for the life of the object, with a driven clock that Sleep moves,
// and puts back the desktop that was there before.
class ScopedFakeDesktop {
 public:
  ScopedFakeDesktop();
  ~ScopedFakeDesktop();
  ScopedFakeDesktop(const ScopedFakeDesktop&) = delete;
  ScopedFakeDesktop& operator=(const ScopedFakeDesktop&) = delete;

  FakeDesktop& operator*() { return *desktop_; }
  FakeDesktop* operator->() { return desktop_.get(); }
  ScopedDrivenClock& clock() { return clock_; }

 private:
  ScopedDrivenClock clock_;
  std::unique_ptr<FakeDesktop> desktop_;
  struct Installation;
  std::unique_ptr<Installation> installation_;
};

}  // namespace zuvo::platform

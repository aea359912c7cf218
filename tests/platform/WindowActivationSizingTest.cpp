// Click activation (WM_MOUSEACTIVATE), held keys, size limits (WM_GETMINMAXINFO), the default
// system commands, and the system and device information calls.
#include "LoggingWindowProc.h"
#include "platform/Application.h"
#include "platform/DrivenClock.h"
#include "platform/Input.h"
#include "platform/Message.h"
#include "platform/WinUser.h"
#include "platform/internal/Window.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <vector>

namespace {

using platformtest::handler;
using platformtest::Logged;
using platformtest::messageLog;

const char* LoggingClass() {
  static bool registered = [] {
    WNDCLASSA wc{};
    wc.lpfnWndProc = platformtest::LoggingWindowProc;
    wc.lpszClassName = "ActivationSizingTestWindow";
    return RegisterClassA(&wc) != 0;
  }();
  EXPECT_TRUE(registered);
  return "ActivationSizingTestWindow";
}

class WindowActivationSizingTest : public testing::Test {
 protected:
  void SetUp() override {
    messageLog.clear();
    handler = nullptr;
  }
  void TearDown() override {
    handler = nullptr;
    for (HWND w : created_) DestroyWindow(w);
    zuvo::platform::ProcessPendingMessages();
    messageLog.clear();
  }
  HWND Make(DWORD style = WS_POPUP | WS_VISIBLE, HWND parent = nullptr, int w = 100, int h = 50) {
    HWND window = CreateWindowExA(0, LoggingClass(), "t", style, 10, 20, w, h, parent, nullptr, nullptr, nullptr);
    if ((style & WS_CHILD) == 0) created_.push_back(window);
    return window;
  }
  static std::vector<Logged> Of(UINT message) {
    std::vector<Logged> out;
    for (const Logged& l : messageLog) {
      if (l.message == message) out.push_back(l);
    }
    return out;
  }
  static RECT Rect(HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    return r;
  }
  std::vector<HWND> created_;
  zuvo::platform::ScopedDrivenClock clock_;
};

// ---- Click activation ---------------------------------------------------------------------

TEST_F(WindowActivationSizingTest, MouseActivateAnswerDecidesActivationAndDelivery) {
  struct Case {
    LRESULT answer;
    bool activates;
    bool delivers;
  };
  const Case cases[] = {
      {MA_ACTIVATE, true, true},
      {MA_NOACTIVATE, false, true},
      {MA_ACTIVATEANDEAT, true, false},
      {MA_NOACTIVATEANDEAT, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.answer);
    HWND other = Make();
    HWND palette = Make();
    SetActiveWindow(other);
    zuvo::platform::ProcessPendingMessages();
    messageLog.clear();
    handler = [&](HWND h, UINT m, WPARAM, LPARAM) -> std::optional<LRESULT> {
      if (h == palette && m == WM_MOUSEACTIVATE) return c.answer;
      return std::nullopt;
    };
    zuvo::platform::SimulateMouse(palette, WM_LBUTTONDOWN, 3, 4, MK_LBUTTON);
    zuvo::platform::SimulateMouse(palette, WM_LBUTTONUP, 3, 4, 0);
    zuvo::platform::ProcessPendingMessages();
    auto asked = Of(WM_MOUSEACTIVATE);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].window, palette);
    EXPECT_EQ(reinterpret_cast<HWND>(asked[0].wParam), palette);
    EXPECT_EQ(HIWORD(static_cast<DWORD_PTR>(asked[0].lParam)), WM_LBUTTONDOWN);
    EXPECT_EQ(GetActiveWindow(), c.activates ? palette : other);
    EXPECT_EQ(Of(WM_LBUTTONDOWN).size(), c.delivers ? 1u : 0u);
    EXPECT_EQ(Of(WM_LBUTTONUP).size(), 1u);   // releases are never eaten
    handler = nullptr;
  }
}

TEST_F(WindowActivationSizingTest, ChildDefaultAsksItsParentAndActiveWindowsAreNotAsked) {
  HWND other = Make();
  HWND palette = Make(WS_POPUP | WS_VISIBLE, nullptr, 200, 100);
  HWND button = Make(WS_CHILD | WS_VISIBLE, palette, 40, 20);
  SetActiveWindow(other);
  zuvo::platform::ProcessPendingMessages();
  messageLog.clear();
  handler = [&](HWND h, UINT m, WPARAM, LPARAM) -> std::optional<LRESULT> {
    if (h == palette && m == WM_MOUSEACTIVATE) return MA_NOACTIVATE;
    return std::nullopt;
  };
  zuvo::platform::SimulateMouse(button, WM_LBUTTONDOWN, 1, 1, MK_LBUTTON);
  zuvo::platform::ProcessPendingMessages();
  auto asked = Of(WM_MOUSEACTIVATE);
  ASSERT_EQ(asked.size(), 2u);
  EXPECT_EQ(asked[0].window, button);
  EXPECT_EQ(asked[1].window, palette);   // the child's default passed the question up
  EXPECT_EQ(GetActiveWindow(), other);
  auto clicks = Of(WM_LBUTTONDOWN);
  ASSERT_EQ(clicks.size(), 1u);
  EXPECT_EQ(clicks[0].window, button);

  // With the parent leaving it to the default, the click activates; once active, no question.
  handler = nullptr;
  messageLog.clear();
  zuvo::platform::SimulateMouse(button, WM_LBUTTONDOWN, 1, 1, MK_LBUTTON);
  zuvo::platform::SimulateMouse(button, WM_LBUTTONDOWN, 1, 1, MK_LBUTTON);
  zuvo::platform::ProcessPendingMessages();
  EXPECT_EQ(GetActiveWindow(), palette);
  EXPECT_EQ(Of(WM_MOUSEACTIVATE).size(), 2u);   // child and parent, for the first click only
  EXPECT_EQ(Of(WM_LBUTTONDOWN).size(), 2u);

  // A window made never to be activated answers MA_NOACTIVATE by default.
  HWND tool = CreateWindowExA(WS_EX_NOACTIVATE, LoggingClass(), "tool", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50,
                              nullptr, nullptr, nullptr, nullptr);
  created_.push_back(tool);
  zuvo::platform::ProcessPendingMessages();
  EXPECT_EQ(GetActiveWindow(), palette);   // nor by being shown
  messageLog.clear();
  zuvo::platform::SimulateMouse(tool, WM_LBUTTONDOWN, 1, 1, MK_LBUTTON);
  zuvo::platform::ProcessPendingMessages();
  EXPECT_EQ(GetActiveWindow(), palette);
  EXPECT_EQ(Of(WM_LBUTTONDOWN).size(), 1u);
}

// ---- Held keys ----------------------------------------------------------------------------

TEST_F(WindowActivationSizingTest, HeldKeyRepeatsKeyDownWithPreviousStateAndEndsWithOneKeyUp) {
  HWND w = Make();
  SetFocus(w);
  zuvo::platform::ProcessPendingMessages();
  messageLog.clear();
  // As the X11 platform delivers a held key: a press, then release/press pairs flagged
  // auto-repeat, then the real release.
  zuvo::platform::SimulateKey(w, VK_DOWN, true, 0);
  for (int i = 0; i < 3; ++i) {
    zuvo::platform::SimulateKey(w, VK_DOWN, false, 0, nullptr, true);
    zuvo::platform::SimulateKey(w, VK_DOWN, true, 0, nullptr, true);
  }
  zuvo::platform::SimulateKey(w, VK_DOWN, false, 0);
  SHORT stateInRepeat = 0;
  handler = [&](HWND, UINT m, WPARAM, LPARAM l) -> std::optional<LRESULT> {
    if (m == WM_KEYDOWN && (l & (1L << 30)) != 0) stateInRepeat = GetKeyState(VK_DOWN);
    return std::nullopt;
  };
  zuvo::platform::ProcessPendingMessages();
  std::vector<std::pair<UINT, bool>> got;   // message, previous-state bit
  for (const Logged& l : messageLog) {
    if (l.message == WM_KEYDOWN || l.message == WM_KEYUP) got.emplace_back(l.message, (l.lParam & (1L << 30)) != 0);
  }
  std::vector<std::pair<UINT, bool>> expected = {
      {WM_KEYDOWN, false}, {WM_KEYDOWN, true}, {WM_KEYDOWN, true}, {WM_KEYDOWN, true}, {WM_KEYUP, true}};
  EXPECT_EQ(got, expected);
  EXPECT_LT(stateInRepeat, 0);
  EXPECT_GE(GetKeyState(VK_DOWN), 0);

  // A repeated character key gives its character with every repeat.
  messageLog.clear();
  zuvo::platform::SimulateKey(w, 'A', true, 0, "a");
  zuvo::platform::SimulateKey(w, 'A', false, 0, "a", true);
  zuvo::platform::SimulateKey(w, 'A', true, 0, "a", true);
  zuvo::platform::SimulateKey(w, 'A', false, 0, "a");
  zuvo::platform::ProcessPendingMessages();
  std::vector<UINT> keys;
  for (const Logged& l : messageLog) {
    if (l.message >= WM_KEYFIRST && l.message <= WM_KEYLAST) keys.push_back(l.message);
  }
  EXPECT_EQ(keys, (std::vector<UINT>{WM_KEYDOWN, WM_CHAR, WM_KEYDOWN, WM_CHAR, WM_KEYUP}));
}

// ---- Size limits and system commands --------------------------------------------------------

TEST_F(WindowActivationSizingTest, MinMaxInfoBoundsSizingOfTopLevelWindowsOnly) {
  HWND w = Make();
  HWND child = Make(WS_CHILD | WS_VISIBLE, w, 20, 20);
  RECT area{};
  ASSERT_TRUE(SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0));
  MINMAXINFO defaults{};
  handler = [&](HWND, UINT m, WPARAM, LPARAM l) -> std::optional<LRESULT> {
    if (m != WM_GETMINMAXINFO) return std::nullopt;
    auto* info = reinterpret_cast<MINMAXINFO*>(l);
    defaults = *info;
    info->ptMinTrackSize = POINT{60, 40};
    info->ptMaxTrackSize = POINT{300, 200};
    return 0;
  };
  struct Case {
    int cx, cy, wantCx, wantCy;
  };
  const Case cases[] = {{1000, 900, 300, 200}, {10, 5, 60, 40}, {120, 80, 120, 80}, {500, 10, 300, 40}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.cx << "x" << c.cy);
    messageLog.clear();
    ASSERT_TRUE(SetWindowPos(w, nullptr, 30, 40, c.cx, c.cy, SWP_NOZORDER));
    EXPECT_EQ(Of(WM_GETMINMAXINFO).size(), 1u);
    RECT r = Rect(w);
    EXPECT_EQ(r.right - r.left, c.wantCx);
    EXPECT_EQ(r.bottom - r.top, c.wantCy);
    auto sizes = Of(WM_SIZE);
    ASSERT_FALSE(sizes.empty());
    EXPECT_EQ(LOWORD(static_cast<DWORD_PTR>(sizes.back().lParam)), c.wantCx);
  }
  EXPECT_EQ(defaults.ptMaxSize.x, area.right - area.left);
  EXPECT_EQ(defaults.ptMaxSize.y, area.bottom - area.top);
  EXPECT_EQ(defaults.ptMaxPosition.x, area.left);
  EXPECT_EQ(defaults.ptMaxPosition.y, area.top);

  // A move alone and a child's sizing do not ask.
  messageLog.clear();
  SetWindowPos(w, nullptr, 50, 60, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  MoveWindow(child, 0, 0, 500, 500, TRUE);
  EXPECT_TRUE(Of(WM_GETMINMAXINFO).empty());
  RECT c = Rect(child);
  EXPECT_EQ(c.right - c.left, 500);
}

// As on Windows, a top-level window is asked for its tracking sizes before anything else and is
// made within them; a child is not asked.
TEST_F(WindowActivationSizingTest, CreationAsksMinMaxInfoFirstAndIsBoundedByIt) {
  CREATESTRUCTA created{};
  handler = [&](HWND, UINT m, WPARAM, LPARAM l) -> std::optional<LRESULT> {
    if (m == WM_NCCREATE) created = *reinterpret_cast<CREATESTRUCTA*>(l);
    if (m != WM_GETMINMAXINFO) return std::nullopt;
    auto* info = reinterpret_cast<MINMAXINFO*>(l);
    info->ptMinTrackSize = POINT{60, 40};
    info->ptMaxTrackSize = POINT{300, 200};
    return 0;
  };
  struct Case {
    int cx, cy, wantCx, wantCy;
  };
  const Case cases[] = {{1000, 900, 300, 200}, {10, 5, 60, 40}, {120, 80, 120, 80}, {500, 10, 300, 40}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.cx << "x" << c.cy);
    messageLog.clear();
    HWND w = Make(WS_POPUP, nullptr, c.cx, c.cy);
    ASSERT_NE(w, nullptr);
    std::vector<UINT> order;
    for (const Logged& l : messageLog) {
      if (l.window == w) order.push_back(l.message);
    }
    ASSERT_GE(order.size(), 3u);
    EXPECT_EQ(order[0], static_cast<UINT>(WM_GETMINMAXINFO));
    EXPECT_EQ(order[1], static_cast<UINT>(WM_NCCREATE));
    EXPECT_EQ(Of(WM_GETMINMAXINFO).size(), 1u);
    EXPECT_EQ(created.cx, c.wantCx);
    EXPECT_EQ(created.cy, c.wantCy);
    RECT r{};
    GetClientRect(w, &r);
    EXPECT_EQ(r.right, c.wantCx);
    EXPECT_EQ(r.bottom, c.wantCy);
    auto sizes = Of(WM_SIZE);
    ASSERT_EQ(sizes.size(), 1u);
    EXPECT_EQ(sizes[0].lParam, MAKELPARAM(c.wantCx, c.wantCy));
    // Its image has the bounded size: the far corner can be drawn and read back.
    HDC dc = GetDC(w);
    SetPixel(dc, c.wantCx - 1, c.wantCy - 1, RGB(255, 0, 0));
    EXPECT_EQ(GetPixel(dc, c.wantCx - 1, c.wantCy - 1), RGB(255, 0, 0));
    EXPECT_EQ(GetPixel(dc, c.wantCx, c.wantCy - 1), CLR_INVALID);
    ReleaseDC(w, dc);
  }

  // A child is made at the size it is given, unasked.
  HWND parent = created_.back();
  messageLog.clear();
  HWND child = Make(WS_CHILD, parent, 500, 500);
  EXPECT_TRUE(Of(WM_GETMINMAXINFO).empty());
  RECT r = Rect(child);
  EXPECT_EQ(r.right - r.left, 500);

  // Without a handler the defaults bound nothing.
  handler = nullptr;
  HWND big = Make(WS_POPUP, nullptr, 2000, 1500);
  EXPECT_EQ(Rect(big).right - Rect(big).left, 2000);
}

TEST_F(WindowActivationSizingTest, MaximiseFollowsMinMaxInfoAndSystemCommandsShowTheWindow) {
  RECT area{};
  ASSERT_TRUE(SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0));
  HWND plain = Make();
  ShowWindow(plain, SW_MAXIMIZE);
  RECT r = Rect(plain);
  EXPECT_EQ(r.left, area.left);
  EXPECT_EQ(r.top, area.top);
  EXPECT_EQ(r.right, area.right);
  EXPECT_EQ(r.bottom, area.bottom);

  HWND bounded = Make();
  handler = [&](HWND h, UINT m, WPARAM, LPARAM l) -> std::optional<LRESULT> {
    if (h != bounded || m != WM_GETMINMAXINFO) return std::nullopt;
    auto* info = reinterpret_cast<MINMAXINFO*>(l);
    info->ptMaxPosition = POINT{5, 6};
    info->ptMaxSize = POINT{400, 300};
    info->ptMaxTrackSize = POINT{350, 1000};
    return 0;
  };
  const RECT normal = Rect(bounded);
  messageLog.clear();
  SendMessageA(bounded, WM_SYSCOMMAND, SC_MAXIMIZE, 0);
  EXPECT_TRUE(IsZoomed(bounded));
  r = Rect(bounded);
  EXPECT_EQ(r.left, 5);
  EXPECT_EQ(r.top, 6);
  EXPECT_EQ(r.right - r.left, 350);   // the tracking size bounds the maximised size too
  EXPECT_EQ(r.bottom - r.top, 300);
  auto sizes = Of(WM_SIZE);
  ASSERT_FALSE(sizes.empty());
  EXPECT_EQ(sizes.back().wParam, SIZE_MAXIMIZED);

  SendMessageA(bounded, WM_SYSCOMMAND, SC_MINIMIZE | 2, 0);   // the low bits are the system's
  EXPECT_TRUE(IsIconic(bounded));
  EXPECT_FALSE(IsZoomed(bounded));
  SendMessageA(bounded, WM_SYSCOMMAND, SC_RESTORE, 0);
  EXPECT_FALSE(IsIconic(bounded));
  EXPECT_FALSE(IsZoomed(bounded));
  // Back where it was before the maximise, through the minimise in between.
  r = Rect(bounded);
  EXPECT_EQ(r.left, normal.left);
  EXPECT_EQ(r.top, normal.top);
  EXPECT_EQ(r.right, normal.right);
  EXPECT_EQ(r.bottom, normal.bottom);
  // A restore of a normal window leaves it where it is.
  ShowWindow(bounded, SW_RESTORE);
  EXPECT_EQ(Rect(bounded).right, normal.right);

  // SC_CLOSE goes through WM_CLOSE, whose handler may refuse.
  handler = [&](HWND h, UINT m, WPARAM, LPARAM) -> std::optional<LRESULT> {
    if (h == bounded && m == WM_CLOSE) return 0;
    return std::nullopt;
  };
  messageLog.clear();
  SendMessageA(bounded, WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_EQ(Of(WM_CLOSE).size(), 1u);
  EXPECT_TRUE(IsWindow(bounded));
  handler = nullptr;
  SendMessageA(bounded, WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_FALSE(IsWindow(bounded));
}

// ---- System and device information ----------------------------------------------------------

TEST_F(WindowActivationSizingTest, ShowingAFramedWindowKeepsItsClientPosition) {
  // The window manager's frame lies outside the window's rectangle: showing a captioned window
  // must not move it by the frame's size.
  HWND window = Make(WS_POPUP | WS_CAPTION);
  ShowWindow(window, SW_SHOWNORMAL);
  zuvo::platform::ProcessPendingMessages();
  RECT r = Rect(window);
  EXPECT_EQ(r.left, 10);
  EXPECT_EQ(r.top, 20);
}

TEST_F(WindowActivationSizingTest, DisabledWindowIsNotActivatedByTheWindowManager) {
  HWND owner = Make(WS_POPUP | WS_VISIBLE);
  HWND other = Make(WS_POPUP | WS_VISIBLE);
  SetActiveWindow(other);
  EnableWindow(owner, FALSE);
  // The window manager's late notice that it activated the window.
  zuvo::platform::win::ActivateFromQt(owner, true);
  EXPECT_NE(GetActiveWindow(), owner);
  EnableWindow(owner, TRUE);
}

TEST_F(WindowActivationSizingTest, DeviceCapsOfEveryKindOfContext) {
  HWND w = Make();
  HDC windowDc = GetDC(w);
  HDC screenDc = GetDC(nullptr);
  HDC memoryDc = CreateCompatibleDC(windowDc);
  ASSERT_NE(memoryDc, nullptr);
  const int screenW = GetSystemMetrics(SM_CXSCREEN);
  const int screenH = GetSystemMetrics(SM_CYSCREEN);
  struct Case {
    int index;
    int value;
  };
  const Case cases[] = {{LOGPIXELSX, 96}, {LOGPIXELSY, 96}, {BITSPIXEL, 32}, {PLANES, 1},
                        {HORZRES, screenW}, {VERTRES, screenH}, {12345, 0}};
  for (HDC dc : {windowDc, screenDc, memoryDc}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(c.index);
      EXPECT_EQ(GetDeviceCaps(dc, c.index), c.value);
    }
  }
  DeleteDC(memoryDc);
  ReleaseDC(w, windowDc);
  ReleaseDC(nullptr, screenDc);
  EXPECT_EQ(GetDeviceCaps(memoryDc, LOGPIXELSY), 0);   // a dead context
  EXPECT_GT(screenW, 0);

  RECT area{};
  ASSERT_TRUE(SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0));
  EXPECT_GE(area.left, 0);
  EXPECT_GE(area.top, 0);
  EXPECT_LE(area.right, screenW);
  EXPECT_LE(area.bottom, screenH);
  EXPECT_LT(area.left, area.right);
  EXPECT_LT(area.top, area.bottom);
  EXPECT_FALSE(SystemParametersInfoA(SPI_GETWORKAREA, 0, nullptr, 0));
  EXPECT_FALSE(SystemParametersInfoA(0x1234, 0, &area, 0));
}

TEST_F(WindowActivationSizingTest, VersionIsNtFivePointOneUnlessATestAsksOtherwise) {
  EXPECT_EQ(GetVersion(), 0x0A280105u);   // build 2600, 5.1, NT (bit 31 clear)
  OSVERSIONINFOA info{};
  EXPECT_FALSE(GetVersionExA(&info));   // the size must be filled in
  info.dwOSVersionInfoSize = sizeof info;
  ASSERT_TRUE(GetVersionExA(&info));
  EXPECT_EQ(info.dwMajorVersion, 5u);
  EXPECT_EQ(info.dwMinorVersion, 1u);
  EXPECT_EQ(info.dwBuildNumber, 2600u);
  EXPECT_EQ(info.dwPlatformId, VER_PLATFORM_WIN32_NT);
  {
    zuvo::platform::ScopedOsVersionForTest older(5, 0);
    EXPECT_EQ(GetVersion() & 0xFFFF, 0x0005u);
    ASSERT_TRUE(GetVersionExA(&info));
    EXPECT_EQ(info.dwMajorVersion, 5u);
    EXPECT_EQ(info.dwMinorVersion, 0u);
    EXPECT_EQ(info.dwPlatformId, VER_PLATFORM_WIN32_NT);
  }
  EXPECT_EQ(GetVersion() & 0xFFFF, 0x0105u);
}

}  // namespace

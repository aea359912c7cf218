// The window calls the form layer stands on: placing and stacking windows, re-parenting,
// subclassing, hit-testing, mapping points, enumerating and finding windows; and the checks on
// the UI thread's ownership of window state.
#include "LoggingWindowProc.h"
#include "platform/Message.h"
#include "platform/WinUser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

using platformtest::handler;
using platformtest::Logged;
using platformtest::messageLog;

constexpr const char* kClassName = "WindowCallsTestWindow";
constexpr const char* kOtherClassName = "WindowCallsOtherWindow";

WORD RegisterOnce(const char* name) {
  WNDCLASSA wc{};
  wc.lpfnWndProc = platformtest::LoggingWindowProc;
  wc.lpszClassName = name;
  return RegisterClassA(&wc);
}

WORD TestClassAtom() {
  static WORD atom = RegisterOnce(kClassName);
  return atom;
}

WORD OtherClassAtom() {
  static WORD atom = RegisterOnce(kOtherClassName);
  return atom;
}

class WindowCallsTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(TestClassAtom(), 0);
    ASSERT_NE(OtherClassAtom(), 0);
    messageLog.clear();
    handler = nullptr;
  }
  void TearDown() override {
    handler = nullptr;
    for (HWND w : created_) DestroyWindow(w);
    zuvo::platform::ProcessPendingMessages();
    messageLog.clear();
  }
  // A top-level window (destroyed after the test) or a child at x, y with the given size.
  HWND Make(HWND parent, int x, int y, int width, int height, const char* caption = "w",
            const char* className = kClassName, DWORD style = WS_VISIBLE) {
    DWORD kind = parent != nullptr ? WS_CHILD : WS_POPUP;
    HWND window = CreateWindowExA(0, className, caption, kind | style, x, y, width, height, parent,
                                  nullptr, nullptr, nullptr);
    EXPECT_NE(window, nullptr);
    if (parent == nullptr) created_.push_back(window);
    return window;
  }
  static int Count(HWND window, UINT message) {
    return static_cast<int>(std::count_if(messageLog.begin(), messageLog.end(), [&](const Logged& l) {
      return l.window == window && l.message == message;
    }));
  }
  // The children of a window top first, as GetWindow walks them.
  static std::vector<HWND> ChildrenTopFirst(HWND parent) {
    std::vector<HWND> order;
    for (HWND h = GetWindow(parent, GW_CHILD); h != nullptr; h = GetWindow(h, GW_HWNDNEXT)) order.push_back(h);
    return order;
  }
  static RECT ClientRect(HWND window) {
    RECT r{};
    GetClientRect(window, &r);
    return r;
  }
  std::vector<HWND> created_;
};

// ---- SetWindowPos ---------------------------------------------------------------------------

TEST_F(WindowCallsTest, SetWindowPosMovesAndSizesWhatTheFlagsAllowAndReportsOnlyChanges) {
  struct Case {
    const char* name;
    int x, y, width, height;
    UINT flags;
    RECT expected;   // in the parent's client coordinates
    int moves, sizes;
  };
  // The window starts at (10, 20), 100 x 50.
  const Case cases[] = {
      {"move and size", 30, 40, 60, 70, SWP_NOZORDER, {30, 40, 90, 110}, 1, 1},
      {"move only", 30, 40, 60, 70, SWP_NOZORDER | SWP_NOSIZE, {30, 40, 130, 90}, 1, 0},
      {"size only", 30, 40, 60, 70, SWP_NOZORDER | SWP_NOMOVE, {10, 20, 70, 90}, 0, 1},
      {"neither", 30, 40, 60, 70, SWP_NOZORDER | SWP_NOMOVE | SWP_NOSIZE, {10, 20, 110, 70}, 0, 0},
      {"same place", 10, 20, 100, 50, SWP_NOZORDER, {10, 20, 110, 70}, 0, 0},
      {"negative size is empty", 10, 20, -5, -5, SWP_NOZORDER, {10, 20, 10, 20}, 0, 1},
  };
  HWND parent = Make(nullptr, 0, 0, 400, 300);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HWND child = Make(parent, 10, 20, 100, 50);
    messageLog.clear();
    EXPECT_TRUE(SetWindowPos(child, nullptr, c.x, c.y, c.width, c.height, c.flags));
    RECT r{};
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    EXPECT_EQ(r.left, c.expected.left);
    EXPECT_EQ(r.top, c.expected.top);
    EXPECT_EQ(r.right, c.expected.right);
    EXPECT_EQ(r.bottom, c.expected.bottom);
    EXPECT_EQ(Count(child, WM_WINDOWPOSCHANGING), 1);
    EXPECT_EQ(Count(child, WM_MOVE), c.moves);
    EXPECT_EQ(Count(child, WM_SIZE), c.sizes);
    EXPECT_EQ(Count(child, WM_WINDOWPOSCHANGED), c.moves + c.sizes > 0 ? 1 : 0);
    DestroyWindow(child);
  }
}

TEST_F(WindowCallsTest, SetWindowPosTakesThePlaceTheChangingHandlerLeaves) {
  HWND window = Make(nullptr, 10, 20, 100, 50);
  UINT changedFlags = 0;
  handler = [&](HWND, UINT m, WPARAM, LPARAM l) -> std::optional<LRESULT> {
    if (m == WM_WINDOWPOSCHANGING) {
      auto* pos = reinterpret_cast<WINDOWPOS*>(l);
      pos->cx = std::min(pos->cx, 200);   // a window with a largest size
      pos->y = 20;                        // that cannot move vertically
    }
    if (m == WM_WINDOWPOSCHANGED) changedFlags = reinterpret_cast<WINDOWPOS*>(l)->flags;
    return std::nullopt;
  };
  ASSERT_TRUE(SetWindowPos(window, nullptr, 50, 90, 500, 50, SWP_NOZORDER | SWP_NOACTIVATE));
  RECT r{};
  GetWindowRect(window, &r);
  EXPECT_EQ(r.left, 50);
  EXPECT_EQ(r.top, 20);
  EXPECT_EQ(r.right - r.left, 200);
  EXPECT_EQ(r.bottom - r.top, 50);
  // The changed notice says what did not change.
  EXPECT_EQ(changedFlags & (SWP_NOMOVE | SWP_NOSIZE), 0u);
  ASSERT_TRUE(SetWindowPos(window, nullptr, 50, 90, 500, 80, SWP_NOZORDER | SWP_NOACTIVATE));
  EXPECT_EQ(changedFlags & (SWP_NOMOVE | SWP_NOSIZE), static_cast<UINT>(SWP_NOMOVE));
}

TEST_F(WindowCallsTest, SetWindowPosStacksChildrenAmongTheirSiblings) {
  HWND parent = Make(nullptr, 0, 0, 400, 300);
  HWND a = Make(parent, 0, 0, 10, 10);
  HWND b = Make(parent, 0, 0, 10, 10);
  HWND c = Make(parent, 0, 0, 10, 10);
  constexpr UINT kOnlyOrder = SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE;
  ASSERT_EQ(ChildrenTopFirst(parent), (std::vector<HWND>{c, b, a}));   // newest on top

  SetWindowPos(a, HWND_TOP, 0, 0, 0, 0, kOnlyOrder);
  EXPECT_EQ(ChildrenTopFirst(parent), (std::vector<HWND>{a, c, b}));
  SetWindowPos(a, HWND_BOTTOM, 0, 0, 0, 0, kOnlyOrder);
  EXPECT_EQ(ChildrenTopFirst(parent), (std::vector<HWND>{c, b, a}));
  // A sibling handle puts the window just below that sibling.
  SetWindowPos(a, c, 0, 0, 0, 0, kOnlyOrder);
  EXPECT_EQ(ChildrenTopFirst(parent), (std::vector<HWND>{c, a, b}));
  SetWindowPos(c, b, 0, 0, 0, 0, kOnlyOrder);
  EXPECT_EQ(ChildrenTopFirst(parent), (std::vector<HWND>{a, b, c}));
  SetWindowPos(b, nullptr, 0, 0, 0, 0, kOnlyOrder | SWP_NOZORDER);
  EXPECT_EQ(ChildrenTopFirst(parent), (std::vector<HWND>{a, b, c}));
  // The window on top of its siblings is the one the mouse finds.
  POINT inside{5, 5};
  ClientToScreen(parent, &inside);
  EXPECT_EQ(WindowFromPoint(inside), a);
  SetWindowPos(c, HWND_TOP, 0, 0, 0, 0, kOnlyOrder);
  EXPECT_EQ(WindowFromPoint(inside), c);
}

TEST_F(WindowCallsTest, SetWindowPosShowsHidesAndAsksForARepaintOfANewSize) {
  HWND window = Make(nullptr, 0, 0, 100, 50, "w", kClassName, 0);
  ASSERT_FALSE(IsWindowVisible(window));
  SetWindowPos(window, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_SHOWWINDOW);
  EXPECT_TRUE(IsWindowVisible(window));
  zuvo::platform::ProcessPendingMessages();
  RECT update{};
  EXPECT_FALSE(GetUpdateRect(window, &update, FALSE));

  SetWindowPos(window, nullptr, 0, 0, 120, 60, SWP_NOMOVE | SWP_NOZORDER | SWP_NOREDRAW);
  EXPECT_FALSE(GetUpdateRect(window, &update, FALSE));
  SetWindowPos(window, nullptr, 0, 0, 140, 70, SWP_NOMOVE | SWP_NOZORDER);
  ASSERT_TRUE(GetUpdateRect(window, &update, FALSE));
  EXPECT_EQ(update.right, 140);
  EXPECT_EQ(update.bottom, 70);

  SetWindowPos(window, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_HIDEWINDOW);
  EXPECT_FALSE(IsWindowVisible(window));
  EXPECT_FALSE(SetWindowPos(reinterpret_cast<HWND>(0x4444), nullptr, 0, 0, 1, 1, SWP_NOZORDER));
}

// ---- SetParent --------------------------------------------------------------------------------

TEST_F(WindowCallsTest, SetParentMovesAChildWithItsPositionToTheNewParent) {
  HWND first = Make(nullptr, 100, 100, 200, 200);
  HWND second = Make(nullptr, 400, 100, 200, 200);
  HWND child = Make(first, 10, 20, 30, 30);
  HWND grandchild = Make(child, 1, 2, 5, 5);

  EXPECT_EQ(SetParent(child, second), first);
  EXPECT_EQ(GetParent(child), second);
  EXPECT_EQ(ChildrenTopFirst(first), std::vector<HWND>{});
  EXPECT_EQ(ChildrenTopFirst(second), std::vector<HWND>{child});
  EXPECT_TRUE(IsChild(second, grandchild));
  EXPECT_FALSE(IsChild(first, grandchild));
  // The position stays the same within the new parent's client area.
  POINT origin{0, 0};
  ClientToScreen(child, &origin);
  EXPECT_EQ(origin.x, 410);
  EXPECT_EQ(origin.y, 120);

  // A window cannot become the child of itself or of its own descendant.
  EXPECT_EQ(SetParent(child, grandchild), nullptr);
  EXPECT_EQ(SetParent(child, child), nullptr);
  EXPECT_EQ(SetParent(child, reinterpret_cast<HWND>(0x4444)), nullptr);
  EXPECT_EQ(GetParent(child), second);

  // Without a parent the window is top-level; the old parent of a top-level window is the desktop.
  EXPECT_EQ(SetParent(child, nullptr), second);
  EXPECT_EQ(GetWindowLongPtrA(child, GWL_STYLE) & WS_CHILD, 0);
  EXPECT_EQ(GetAncestor(child, GA_ROOT), child);
  EXPECT_EQ(SetParent(child, first), GetDesktopWindow());
  EXPECT_NE(GetWindowLongPtrA(child, GWL_STYLE) & WS_CHILD, 0);
  EXPECT_EQ(GetAncestor(grandchild, GA_ROOT), first);
}

TEST_F(WindowCallsTest, DestroyingTheNewParentTakesTheMovedChildAlong) {
  HWND first = Make(nullptr, 0, 0, 100, 100);
  HWND second = Make(nullptr, 0, 0, 100, 100);
  HWND child = Make(first, 0, 0, 10, 10);
  SetParent(child, second);
  DestroyWindow(first);
  EXPECT_TRUE(IsWindow(child));
  DestroyWindow(second);
  EXPECT_FALSE(IsWindow(child));
}

// ---- CallWindowProcA ----------------------------------------------------------------------------

std::vector<std::string> subclassTrace;
WNDPROC previousProc = nullptr;

LRESULT SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_USER + 1) {
    subclassTrace.push_back("subclass");
    if (wParam == 1) return 7;   // handled here, not passed on
  }
  return CallWindowProcA(previousProc, window, message, wParam, lParam);
}

TEST_F(WindowCallsTest, SubclassingChainsToThePreviousProcedureThroughCallWindowProc) {
  HWND window = Make(nullptr, 0, 0, 10, 10);
  handler = [](HWND, UINT m, WPARAM, LPARAM) -> std::optional<LRESULT> {
    if (m != WM_USER + 1) return std::nullopt;
    subclassTrace.push_back("original");
    return 42;
  };
  subclassTrace.clear();
  previousProc = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(window, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(&SubclassProc)));
  ASSERT_EQ(previousProc, &platformtest::LoggingWindowProc);

  EXPECT_EQ(SendMessageA(window, WM_USER + 1, 0, 0), 42);
  EXPECT_EQ(subclassTrace, (std::vector<std::string>{"subclass", "original"}));
  subclassTrace.clear();
  EXPECT_EQ(SendMessageA(window, WM_USER + 1, 1, 0), 7);
  EXPECT_EQ(subclassTrace, std::vector<std::string>{"subclass"});

  EXPECT_EQ(CallWindowProcA(nullptr, window, WM_USER + 1, 0, 0), 0);
  // Putting the old procedure back ends the subclass.
  SetWindowLongPtrA(window, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(previousProc));
  subclassTrace.clear();
  EXPECT_EQ(SendMessageA(window, WM_USER + 1, 0, 0), 42);
  EXPECT_EQ(subclassTrace, std::vector<std::string>{"original"});
}

// ---- WindowFromPoint ----------------------------------------------------------------------------

TEST_F(WindowCallsTest, WindowFromPointFindsTheDeepestVisibleWindowOnTop) {
  HWND back = Make(nullptr, 0, 0, 300, 300, "back");
  HWND front = Make(nullptr, 100, 100, 100, 100, "front");
  // Created after the front window, yet inside the window behind it.
  HWND backChild = Make(back, 100, 100, 150, 150);
  HWND frontChild = Make(front, 10, 10, 20, 20);
  HWND grandchild = Make(frontChild, 5, 5, 5, 5);
  HWND hidden = Make(front, 50, 50, 20, 20, "hidden", kClassName, 0);
  // A child reaching past its parent shows only inside it.
  HWND overhanging = Make(back, 250, 0, 100, 20);

  struct Case {
    const char* name;
    POINT point;
    HWND expected;
  };
  const Case cases[] = {
      {"the back window alone", {50, 50}, back},
      {"the front window over the back window's child", {150, 150}, front},
      {"a child of the front window", {112, 112}, frontChild},
      {"the deepest child", {116, 116}, grandchild},
      {"the right and bottom edges are outside", {130, 130}, front},
      {"a hidden child is passed through", {155, 155}, front},
      {"the back window's child where it shows", {220, 220}, backChild},
      {"an overhanging child inside its parent", {260, 10}, overhanging},
      {"an overhanging child outside its parent", {320, 10}, nullptr},
      {"nothing", {1000, 1000}, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(WindowFromPoint(c.point), c.expected);
  }
  ShowWindow(front, SW_HIDE);
  EXPECT_EQ(WindowFromPoint(POINT{150, 150}), backChild);
  (void)hidden;
}

// ---- MapWindowPoints ----------------------------------------------------------------------------

TEST_F(WindowCallsTest, MapWindowPointsTranslatesBetweenClientAreasAndTheScreen) {
  HWND top = Make(nullptr, 100, 50, 300, 300);
  HWND child = Make(top, 10, 20, 100, 100);
  HWND grandchild = Make(child, 3, 4, 10, 10);
  HWND other = Make(nullptr, 400, 10, 50, 50);
  struct Case {
    const char* name;
    HWND from, to;
    int dx, dy;
  };
  const Case cases[] = {
      {"child to parent", child, top, 10, 20},
      {"parent to child", top, child, -10, -20},
      {"grandchild to screen", grandchild, nullptr, 113, 74},
      {"screen to grandchild", nullptr, grandchild, -113, -74},
      {"desktop handle is the screen", grandchild, GetDesktopWindow(), 113, 74},
      {"across top-level windows", child, other, -290, 60},
      {"to itself", child, child, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    POINT points[2] = {{0, 0}, {5, -7}};
    int packed = MapWindowPoints(c.from, c.to, points, 2);
    EXPECT_EQ(points[0].x, c.dx);
    EXPECT_EQ(points[0].y, c.dy);
    EXPECT_EQ(points[1].x, 5 + c.dx);
    EXPECT_EQ(points[1].y, -7 + c.dy);
    // The offsets come back packed as two signed words.
    EXPECT_EQ(static_cast<short>(LOWORD(static_cast<DWORD>(packed))), c.dx);
    EXPECT_EQ(static_cast<short>(HIWORD(static_cast<DWORD>(packed))), c.dy);
  }
  POINT untouched{1, 2};
  EXPECT_EQ(MapWindowPoints(reinterpret_cast<HWND>(0x4444), top, &untouched, 1), 0);
  EXPECT_EQ(untouched.x, 1);
  EXPECT_EQ(untouched.y, 2);
}

// ---- EnumChildWindows and FindWindowA -------------------------------------------------------------

std::vector<HWND> Enumerate(HWND parent, int stopAfter = -1) {
  struct State {
    std::vector<HWND> seen;
    int stopAfter;
  } state{{}, stopAfter};
  EnumChildWindows(
      parent,
      [](HWND window, LPARAM l) -> BOOL {
        auto* s = reinterpret_cast<State*>(l);
        s->seen.push_back(window);
        return static_cast<int>(s->seen.size()) != s->stopAfter;
      },
      reinterpret_cast<LPARAM>(&state));
  return state.seen;
}

TEST_F(WindowCallsTest, EnumChildWindowsVisitsEveryDescendantOnceUntilTheCallbackStops) {
  HWND top = Make(nullptr, 0, 0, 100, 100);
  HWND first = Make(top, 0, 0, 10, 10);
  HWND nested = Make(first, 0, 0, 5, 5);
  HWND second = Make(top, 0, 0, 10, 10);
  HWND elsewhere = Make(nullptr, 0, 0, 10, 10);
  HWND elsewhereChild = Make(elsewhere, 0, 0, 5, 5);
  HWND hidden = Make(top, 0, 0, 10, 10, "h", kClassName, 0);

  std::vector<HWND> seen = Enumerate(top);
  std::vector<HWND> sorted = seen;
  std::sort(sorted.begin(), sorted.end());
  std::vector<HWND> expected = {first, nested, second, hidden};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(sorted, expected);   // hidden ones too, never the parent or another tree
  // A parent comes before its own children.
  EXPECT_LT(std::find(seen.begin(), seen.end(), first), std::find(seen.begin(), seen.end(), nested));
  EXPECT_EQ(Enumerate(top, 2).size(), 2u);
  EXPECT_EQ(Enumerate(nested), std::vector<HWND>{});
  EXPECT_EQ(Enumerate(reinterpret_cast<HWND>(0x4444)), std::vector<HWND>{});

  // Without a parent the top-level windows are enumerated.
  std::vector<HWND> topLevel = Enumerate(nullptr);
  EXPECT_NE(std::find(topLevel.begin(), topLevel.end(), top), topLevel.end());
  EXPECT_NE(std::find(topLevel.begin(), topLevel.end(), elsewhere), topLevel.end());
  EXPECT_EQ(std::find(topLevel.begin(), topLevel.end(), elsewhereChild), topLevel.end());
}

TEST_F(WindowCallsTest, AWindowDestroyedDuringEnumerationIsNotReported) {
  HWND top = Make(nullptr, 0, 0, 100, 100);
  HWND first = Make(top, 0, 0, 10, 10);
  HWND second = Make(top, 0, 0, 10, 10);
  struct State {
    HWND victim;
    std::vector<HWND> seen;
  } state{second, {}};
  EnumChildWindows(
      top,
      [](HWND window, LPARAM l) -> BOOL {
        auto* s = reinterpret_cast<State*>(l);
        s->seen.push_back(window);
        DestroyWindow(s->victim);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&state));
  EXPECT_EQ(state.seen, std::vector<HWND>{first});
}

TEST_F(WindowCallsTest, FindWindowMatchesClassAndCaptionOfTopLevelWindowsOnly) {
  HWND main = Make(nullptr, 0, 0, 10, 10, "行情主窗口");
  HWND other = Make(nullptr, 0, 0, 10, 10, "Other", kOtherClassName);
  Make(main, 0, 0, 5, 5, "Child");
  struct Case {
    const char* name;
    const char* className;
    const char* caption;
    HWND expected;
  };
  const Case cases[] = {
      {"class and GBK caption", kClassName, "行情主窗口", main},
      {"class without regard to case", "windowcallsotherwindow", nullptr, other},
      {"caption alone", nullptr, "Other", other},
      {"caption is compared exactly", nullptr, "other", nullptr},
      {"class and caption of different windows", kOtherClassName, "行情主窗口", nullptr},
      {"a child's caption", nullptr, "Child", nullptr},
      {"unknown class", "NoSuchClass", nullptr, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(FindWindowA(c.className, c.caption), c.expected);
  }
  // A class may be named by its atom.
  EXPECT_EQ(FindWindowA(reinterpret_cast<LPCSTR>(static_cast<std::uintptr_t>(OtherClassAtom())), nullptr), other);
  EXPECT_EQ(FindWindowA(reinterpret_cast<LPCSTR>(static_cast<std::uintptr_t>(0x1234)), nullptr), nullptr);
  // The caption is the current one.
  SetWindowTextA(other, "Renamed");
  EXPECT_EQ(FindWindowA(nullptr, "Other"), nullptr);
  EXPECT_EQ(FindWindowA(nullptr, "Renamed"), other);
  DestroyWindow(other);
  EXPECT_EQ(FindWindowA(kOtherClassName, nullptr), nullptr);
}

// ---- Classes and thread ownership -----------------------------------------------------------------

TEST(WindowClasses, ConcurrentRegistrationsOfOneNameHaveOneWinner) {
  constexpr int kThreads = 8;
  constexpr int kNames = 200;
  std::vector<std::vector<WORD>> atoms(kThreads, std::vector<WORD>(kNames));
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &atoms] {
      for (int n = 0; n < kNames; ++n) {
        std::string name = "RaceClass" + std::to_string(n);
        WNDCLASSA wc{};
        wc.lpfnWndProc = platformtest::LoggingWindowProc;
        wc.lpszClassName = name.c_str();
        atoms[static_cast<std::size_t>(t)][static_cast<std::size_t>(n)] = RegisterClassA(&wc);
      }
    });
  }
  for (auto& thread : threads) thread.join();
  for (int n = 0; n < kNames; ++n) {
    int winners = 0;
    for (int t = 0; t < kThreads; ++t) winners += atoms[static_cast<std::size_t>(t)][static_cast<std::size_t>(n)] != 0;
    EXPECT_EQ(winners, 1) << "RaceClass" << n;
    UnregisterClassA(("RaceClass" + std::to_string(n)).c_str(), nullptr);
  }
}

TEST_F(WindowCallsTest, WindowStateTouchedFromAWorkerStopsTheProgram) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // ValidateRect changes the window's invalid area directly, which only the UI thread may do.
  EXPECT_DEATH(
      {
        HWND window = Make(nullptr, 0, 0, 10, 10);
        std::thread worker([window] { ValidateRect(window, nullptr); });
        worker.join();
      },
      "invalid area touched off the UI thread");
}

}  // namespace

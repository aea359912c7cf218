// Non-client edges of child windows: the client area their styles (or their procedure) leave,
// the edges' pixels, client and window contexts, WM_NCPAINT's place in the paint cycle, style
// changes taking effect at SWP_FRAMECHANGED, mouse input over the edge and inside, and the font
// the default processing keeps.
#include "LoggingWindowProc.h"
#include "platform/Input.h"
#include "platform/Message.h"
#include "platform/WinUser.h"

#include "platform/internal/HostWidget.h"
#include "platform/internal/Window.h"

#include <QCoreApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPixmap>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace {

using platformtest::handler;
using platformtest::Logged;
using platformtest::messageLog;

constexpr const char* kClassName = "WindowEdgesTestWindow";
constexpr LRESULT kHtBorder = 18;

// The classic system colours the edges are drawn in.
constexpr COLORREF kFrame = RGB(0, 0, 0);
constexpr COLORREF kShadow = RGB(128, 128, 128);
constexpr COLORREF kHighlight = RGB(255, 255, 255);
constexpr COLORREF kDarkShadow = RGB(64, 64, 64);
constexpr COLORREF kLight = RGB(212, 208, 200);
constexpr COLORREF kFace = RGB(212, 208, 200);
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kFlatBorder = RGB(127, 157, 185);

const char* TestClass() {
  static bool registered = [] {
    WNDCLASSA wc{};
    wc.lpfnWndProc = platformtest::LoggingWindowProc;
    wc.lpszClassName = kClassName;
    wc.hbrBackground = GetSysColorBrush(COLOR_WINDOW);
    return RegisterClassA(&wc) != 0;
  }();
  EXPECT_TRUE(registered);
  return kClassName;
}

class WindowEdgesTest : public testing::Test {
 protected:
  void SetUp() override {
    messageLog.clear();
    handler = nullptr;
    parent_ = CreateWindowExA(0, TestClass(), "parent", WS_POPUP | WS_VISIBLE, 0, 0, 300, 200, nullptr,
                              nullptr, nullptr, nullptr);
    ASSERT_NE(parent_, nullptr);
    zuvo::platform::ProcessPendingMessages();
    messageLog.clear();
  }
  void TearDown() override {
    handler = nullptr;
    DestroyWindow(parent_);
    zuvo::platform::ProcessPendingMessages();
    messageLog.clear();
  }
  // A child of the parent at (10, 20), 100 x 60 unless told.
  HWND Child(DWORD style, DWORD exStyle, int width = 100, int height = 60) {
    HWND child = CreateWindowExA(exStyle, TestClass(), "c", WS_CHILD | style, 10, 20, width, height, parent_,
                                 nullptr, nullptr, nullptr);
    EXPECT_NE(child, nullptr);
    return child;
  }
  static std::vector<UINT> Received(HWND window, std::initializer_list<UINT> kinds) {
    std::vector<UINT> out;
    for (const Logged& l : messageLog) {
      if (l.window != window) continue;
      if (std::find(kinds.begin(), kinds.end(), l.message) != kinds.end()) out.push_back(l.message);
    }
    return out;
  }
  static const Logged* Last(HWND window, UINT message) {
    for (auto it = messageLog.rbegin(); it != messageLog.rend(); ++it) {
      if (it->window == window && it->message == message) return &*it;
    }
    return nullptr;
  }
  // A pixel of the whole window (edges included), read through a window context.
  static COLORREF WindowPixel(HWND window, int x, int y) {
    HDC dc = GetWindowDC(window);
    COLORREF c = GetPixel(dc, x, y);
    ReleaseDC(window, dc);
    return c;
  }
  static SIZE ClientSize(HWND window) {
    RECT r{};
    GetClientRect(window, &r);
    return SIZE{r.right, r.bottom};
  }
  static RECT WindowRect(HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    return r;
  }
  static POINT ClientCorner(HWND window) {
    POINT p{0, 0};
    ClientToScreen(window, &p);
    return p;
  }
  HWND parent_ = nullptr;
};

// ---- The edges of each style --------------------------------------------------------------

TEST_F(WindowEdgesTest, EachEdgeStyleShrinksTheClientAreaAndDrawsItsRingsInSystemColours) {
  struct Ring {
    COLORREF topLeft;
    COLORREF bottomRight;
  };
  struct Case {
    const char* name;
    DWORD style;
    DWORD exStyle;
    std::vector<Ring> rings;   // outermost first; as many as the edge is wide
  };
  const Case cases[] = {
      {"none", 0, 0, {}},
      {"border", WS_BORDER, 0, {{kFrame, kFrame}}},
      {"static edge", 0, WS_EX_STATICEDGE, {{kShadow, kHighlight}}},
      {"client edge", 0, WS_EX_CLIENTEDGE, {{kShadow, kHighlight}, {kDarkShadow, kLight}}},
      {"modal frame", 0, WS_EX_DLGMODALFRAME, {{kLight, kDarkShadow}, {kHighlight, kShadow}, {kFace, kFace}}},
      {"border and client edge", WS_BORDER, WS_EX_CLIENTEDGE,
       {{kFrame, kFrame}, {kShadow, kHighlight}, {kDarkShadow, kLight}}},
  };
  constexpr COLORREF kPainted = RGB(0, 200, 0);
  // The client area is painted all over in WM_PAINT: the paint context must not reach the edge.
  handler = [&](HWND h, UINT m, WPARAM, LPARAM) -> std::optional<LRESULT> {
    if (m != WM_PAINT || h == parent_) return std::nullopt;
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(h, &ps);
    RECT everything{-50, -50, 500, 500};
    HBRUSH brush = CreateSolidBrush(kPainted);
    FillRect(dc, &everything, brush);
    DeleteObject(brush);
    EndPaint(h, &ps);
    return 0;
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HWND child = Child(WS_VISIBLE | c.style, c.exStyle);
    zuvo::platform::ProcessPendingMessages();
    const int inset = static_cast<int>(c.rings.size());

    const SIZE client = ClientSize(child);
    EXPECT_EQ(client.cx, 100 - 2 * inset);
    EXPECT_EQ(client.cy, 60 - 2 * inset);
    const RECT window = WindowRect(child);
    const POINT parentCorner = ClientCorner(parent_);
    EXPECT_EQ(window.left, parentCorner.x + 10);
    EXPECT_EQ(window.top, parentCorner.y + 20);
    EXPECT_EQ(window.right - window.left, 100);
    EXPECT_EQ(window.bottom - window.top, 60);
    const POINT corner = ClientCorner(child);
    EXPECT_EQ(corner.x - window.left, inset);
    EXPECT_EQ(corner.y - window.top, inset);

    for (int k = 0; k < inset; ++k) {
      SCOPED_TRACE(k);
      EXPECT_EQ(WindowPixel(child, k, 30), c.rings[k].topLeft);        // left
      EXPECT_EQ(WindowPixel(child, 50, k), c.rings[k].topLeft);        // top
      EXPECT_EQ(WindowPixel(child, 99 - k, 30), c.rings[k].bottomRight);   // right
      EXPECT_EQ(WindowPixel(child, 50, 59 - k), c.rings[k].bottomRight);   // bottom
    }
    // The client area starts just inside the edge and was painted to its borders.
    EXPECT_EQ(WindowPixel(child, inset, inset), kPainted);
    EXPECT_EQ(WindowPixel(child, 99 - inset, 59 - inset), kPainted);

    // A client context's (0, 0) is the first pixel inside the edge; it cannot draw on the edge.
    HDC dc = GetDC(child);
    SetPixel(dc, 0, 0, RGB(1, 2, 3));
    SetPixel(dc, -1, -1, RGB(4, 5, 6));
    ReleaseDC(child, dc);
    EXPECT_EQ(WindowPixel(child, inset, inset), RGB(1, 2, 3));
    if (inset > 0) {
      EXPECT_EQ(WindowPixel(child, inset - 1, inset - 1), c.rings[inset - 1].topLeft);
    }

    // A window context's origin is the window's corner and it draws over the edge.
    dc = GetWindowDC(child);
    SetPixel(dc, 0, 0, RGB(7, 8, 9));
    EXPECT_EQ(GetPixel(dc, 0, 0), RGB(7, 8, 9));
    ReleaseDC(child, dc);
    DestroyWindow(child);
  }
}

TEST_F(WindowEdgesTest, TopLevelWindowsKeepTheirWholeRectangleAsClientArea) {
  HWND window = CreateWindowExA(WS_EX_CLIENTEDGE | WS_EX_STATICEDGE, TestClass(), "top",
                                WS_POPUP | WS_BORDER | WS_VISIBLE, 40, 50, 120, 80, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(window, nullptr);
  zuvo::platform::ProcessPendingMessages();
  EXPECT_EQ(ClientSize(window).cx, 120);
  EXPECT_EQ(ClientSize(window).cy, 80);
  const RECT r = WindowRect(window);
  const POINT corner = ClientCorner(window);
  EXPECT_EQ(corner.x, r.left);
  EXPECT_EQ(corner.y, r.top);
  EXPECT_TRUE(Received(window, {WM_NCPAINT}).empty());
  DestroyWindow(window);
}

TEST_F(WindowEdgesTest, ChildrenOfABorderedWindowSitInItsClientArea) {
  HWND outer = Child(WS_VISIBLE | WS_BORDER, WS_EX_CLIENTEDGE);   // 3-pixel edge
  HWND inner = CreateWindowExA(0, TestClass(), "i", WS_CHILD | WS_VISIBLE, 0, 0, 20, 10, outer, nullptr,
                               nullptr, nullptr);
  ASSERT_NE(inner, nullptr);
  const POINT outerClient = ClientCorner(outer);
  const RECT innerRect = WindowRect(inner);
  EXPECT_EQ(innerRect.left, outerClient.x);
  EXPECT_EQ(innerRect.top, outerClient.y);
  EXPECT_EQ(outerClient.x, WindowRect(outer).left + 3);
  POINT p{5, 6};
  MapWindowPoints(inner, outer, &p, 1);
  EXPECT_EQ(p.x, 5);
  EXPECT_EQ(p.y, 6);
  POINT q{0, 0};
  MapWindowPoints(outer, parent_, &q, 1);
  EXPECT_EQ(q.x, 13);
  EXPECT_EQ(q.y, 23);
  DestroyWindow(outer);
}

TEST_F(WindowEdgesTest, TheScreenShowsTheEdgesAroundTheClientArea) {
  constexpr COLORREF kPainted = RGB(0, 200, 0);
  handler = [&](HWND h, UINT m, WPARAM, LPARAM) -> std::optional<LRESULT> {
    if (m != WM_PAINT || h == parent_) return std::nullopt;
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(h, &ps);
    HBRUSH brush = CreateSolidBrush(kPainted);
    FillRect(dc, &ps.rcPaint, brush);
    DeleteObject(brush);
    EndPaint(h, &ps);
    return 0;
  };
  HWND child = Child(WS_VISIBLE, WS_EX_CLIENTEDGE);
  zuvo::platform::ProcessPendingMessages();
  auto top = zuvo::platform::win::Find(parent_);
  ASSERT_NE(top, nullptr);
  // What the parent's widget shows, children included; the child's window starts at (10, 20).
  auto shown = [&](int x, int y) {
    QRgb c = top->widget->grab().toImage().pixel(x, y);
    return RGB(qRed(c), qGreen(c), qBlue(c));
  };
  EXPECT_EQ(shown(10, 50), kShadow);
  EXPECT_EQ(shown(11, 50), kDarkShadow);
  EXPECT_EQ(shown(12, 50), kPainted);
  EXPECT_EQ(shown(107, 77), kPainted);
  EXPECT_EQ(shown(108, 50), kLight);
  EXPECT_EQ(shown(109, 50), kHighlight);

  // Without the edge the client area takes the whole window on the screen too.
  SetWindowLongPtrA(child, GWL_EXSTYLE, 0);
  SetWindowPos(child, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED);
  zuvo::platform::ProcessPendingMessages();
  EXPECT_EQ(shown(10, 50), kPainted);
  EXPECT_EQ(shown(109, 50), kPainted);
  EXPECT_EQ(shown(110, 50), kWhite);
  DestroyWindow(child);
}

// ---- WM_NCCALCSIZE ------------------------------------------------------------------------

TEST_F(WindowEdgesTest, AProcedureAnsweringNcCalcSizeChoosesTheClientArea) {
  // A window with no edge styles making room for a 5-pixel band on the left, 3 at the top and
  // 7 at the bottom.
  handler = [&](HWND h, UINT m, WPARAM, LPARAM l) -> std::optional<LRESULT> {
    if (m != WM_NCCALCSIZE || h == parent_) return std::nullopt;
    auto* r = reinterpret_cast<RECT*>(l);
    r->left += 5;
    r->top += 3;
    r->bottom -= 7;
    return 0;
  };
  HWND child = Child(WS_VISIBLE, 0);
  EXPECT_EQ(ClientSize(child).cx, 95);
  EXPECT_EQ(ClientSize(child).cy, 50);
  const Logged* size = Last(child, WM_SIZE);
  ASSERT_NE(size, nullptr);
  EXPECT_EQ(LOWORD(static_cast<DWORD_PTR>(size->lParam)), 95);
  EXPECT_EQ(HIWORD(static_cast<DWORD_PTR>(size->lParam)), 50);
  const Logged* move = Last(child, WM_MOVE);
  ASSERT_NE(move, nullptr);
  EXPECT_EQ(GET_X_LPARAM(move->lParam), 15);   // the client area's corner in the parent
  EXPECT_EQ(GET_Y_LPARAM(move->lParam), 23);
  EXPECT_EQ(ClientCorner(child).x - WindowRect(child).left, 5);

  // Resizing asks again.
  messageLog.clear();
  SetWindowPos(child, nullptr, 0, 0, 60, 40, SWP_NOMOVE | SWP_NOZORDER);
  EXPECT_EQ(Received(child, {WM_NCCALCSIZE}).size(), 1u);
  EXPECT_EQ(ClientSize(child).cx, 55);
  EXPECT_EQ(ClientSize(child).cy, 30);
  DestroyWindow(child);
}

TEST_F(WindowEdgesTest, AnAnswerOutsideTheWindowIsHeldInsideIt) {
  handler = [&](HWND h, UINT m, WPARAM, LPARAM l) -> std::optional<LRESULT> {
    if (m != WM_NCCALCSIZE || h == parent_) return std::nullopt;
    auto* r = reinterpret_cast<RECT*>(l);
    *r = RECT{r->left - 1000, r->bottom + 50, r->right + 1000, r->top - 9};   // outside, inverted
    return 0;
  };
  HWND child = Child(WS_VISIBLE, 0);
  const SIZE client = ClientSize(child);
  EXPECT_EQ(client.cx, 100);
  EXPECT_EQ(client.cy, 0);
  zuvo::platform::ProcessPendingMessages();   // painting an empty client area is harmless
  DestroyWindow(child);
}

// ---- WM_NCPAINT in the paint cycle -------------------------------------------------------

TEST_F(WindowEdgesTest, NcPaintComesBeforeEraseWhenTheFrameIsInvalid) {
  struct Case {
    const char* name;
    std::function<void(HWND)> act;
    bool framePainted;
  };
  const Case cases[] = {
      {"first show", [](HWND h) { ShowWindow(h, SW_SHOW); }, true},
      {"resize", [](HWND h) { SetWindowPos(h, nullptr, 0, 0, 80, 50, SWP_NOMOVE | SWP_NOZORDER); }, true},
      {"frame changed",
       [](HWND h) { SetWindowPos(h, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED); },
       true},
      {"redraw with the frame",
       [](HWND h) { RedrawWindow(h, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME); }, true},
      {"redraw with the frame, at once",
       [](HWND h) { RedrawWindow(h, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_UPDATENOW); }, true},
      {"redraw without the frame", [](HWND h) { RedrawWindow(h, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE); },
       false},
      {"move only", [](HWND h) { SetWindowPos(h, nullptr, 30, 30, 0, 0, SWP_NOSIZE | SWP_NOZORDER); }, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HWND child = Child(0, WS_EX_CLIENTEDGE);
    if (std::string(c.name) != "first show") ShowWindow(child, SW_SHOW);
    zuvo::platform::ProcessPendingMessages();
    messageLog.clear();
    c.act(child);
    zuvo::platform::ProcessPendingMessages();
    // WM_PAINT is logged as it arrives; its BeginPaint sends WM_ERASEBKGND.
    const std::vector<UINT> seen = Received(child, {WM_NCPAINT, WM_ERASEBKGND, WM_PAINT});
    if (c.framePainted) {
      EXPECT_EQ(seen, (std::vector<UINT>{WM_NCPAINT, WM_PAINT, WM_ERASEBKGND}));
      const Logged* nc = Last(child, WM_NCPAINT);
      ASSERT_NE(nc, nullptr);
      EXPECT_EQ(nc->wParam, 1u);   // the whole frame
    } else if (std::string(c.name) == "move only") {
      EXPECT_TRUE(seen.empty());
    } else {
      EXPECT_EQ(seen, (std::vector<UINT>{WM_PAINT, WM_ERASEBKGND}));
    }
    DestroyWindow(child);
  }
}

TEST_F(WindowEdgesTest, WindowsWithoutEdgesGetNoNcPaint) {
  HWND child = Child(WS_VISIBLE, 0);
  zuvo::platform::ProcessPendingMessages();
  RedrawWindow(child, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME);
  SetWindowPos(child, nullptr, 0, 0, 70, 30, SWP_NOMOVE | SWP_NOZORDER | SWP_FRAMECHANGED);
  zuvo::platform::ProcessPendingMessages();
  EXPECT_TRUE(Received(child, {WM_NCPAINT}).empty());
  EXPECT_FALSE(Received(child, {WM_PAINT}).empty());
  DestroyWindow(child);
}

TEST_F(WindowEdgesTest, AWindowAnsweringNcPaintDrawsItsOwnThinBorder) {
  // The flat controls: a static edge, repainted after the default in one flat colour.
  handler = [&](HWND h, UINT m, WPARAM w, LPARAM l) -> std::optional<LRESULT> {
    if (m != WM_NCPAINT || h == parent_) return std::nullopt;
    LRESULT result = DefWindowProcA(h, m, w, l);
    HDC dc = GetWindowDC(h);
    RECT r{};
    GetWindowRect(h, &r);
    OffsetRect(&r, -r.left, -r.top);
    HBRUSH brush = CreateSolidBrush(kFlatBorder);
    FrameRect(dc, &r, brush);
    DeleteObject(brush);
    ReleaseDC(h, dc);
    return result;
  };
  HWND child = Child(WS_VISIBLE, WS_EX_STATICEDGE);
  zuvo::platform::ProcessPendingMessages();
  EXPECT_EQ(ClientSize(child).cx, 98);
  EXPECT_EQ(ClientSize(child).cy, 58);
  const POINT sides[] = {{0, 30}, {50, 0}, {99, 30}, {50, 59}, {0, 0}, {99, 59}};
  for (POINT p : sides) EXPECT_EQ(WindowPixel(child, p.x, p.y), kFlatBorder) << p.x << "," << p.y;
  EXPECT_EQ(WindowPixel(child, 1, 1), kWhite);   // the client area is not touched

  // After a resize the border follows the new size.
  SetWindowPos(child, nullptr, 0, 0, 70, 40, SWP_NOMOVE | SWP_NOZORDER);
  zuvo::platform::ProcessPendingMessages();
  EXPECT_EQ(WindowPixel(child, 69, 20), kFlatBorder);
  EXPECT_EQ(WindowPixel(child, 35, 39), kFlatBorder);
  EXPECT_EQ(WindowPixel(child, 68, 38), kWhite);
  DestroyWindow(child);
}

// ---- Style changes ------------------------------------------------------------------------

TEST_F(WindowEdgesTest, AStyleChangeTakesEffectOnlyAtFrameChanged) {
  HWND child = Child(WS_VISIBLE, 0);
  zuvo::platform::ProcessPendingMessages();
  messageLog.clear();

  SetWindowLongPtrA(child, GWL_EXSTYLE, WS_EX_CLIENTEDGE);
  zuvo::platform::ProcessPendingMessages();
  EXPECT_EQ(ClientSize(child).cx, 100);   // stored only
  EXPECT_TRUE(Received(child, {WM_NCCALCSIZE, WM_SIZE, WM_NCPAINT}).empty());
  EXPECT_EQ(WindowPixel(child, 0, 30), kWhite);

  SetWindowPos(child, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED);
  EXPECT_EQ(ClientSize(child).cx, 96);
  EXPECT_EQ(ClientSize(child).cy, 56);
  const Logged* size = Last(child, WM_SIZE);
  ASSERT_NE(size, nullptr);
  EXPECT_EQ(LOWORD(static_cast<DWORD_PTR>(size->lParam)), 96);
  EXPECT_EQ(HIWORD(static_cast<DWORD_PTR>(size->lParam)), 56);
  EXPECT_EQ(Received(child, {WM_NCCALCSIZE, WM_SIZE}), (std::vector<UINT>{WM_NCCALCSIZE, WM_SIZE}));
  zuvo::platform::ProcessPendingMessages();
  EXPECT_EQ(Received(child, {WM_NCPAINT}).size(), 1u);
  EXPECT_EQ(WindowPixel(child, 0, 30), kShadow);
  EXPECT_EQ(WindowPixel(child, 1, 30), kDarkShadow);

  // Taking the edge away gives the client area back, painted over the old edge.
  messageLog.clear();
  SetWindowLongPtrA(child, GWL_EXSTYLE, 0);
  EXPECT_EQ(ClientSize(child).cx, 96);
  SetWindowPos(child, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED);
  EXPECT_EQ(ClientSize(child).cx, 100);
  EXPECT_EQ(ClientCorner(child).x, WindowRect(child).left);
  ASSERT_NE(Last(child, WM_SIZE), nullptr);
  zuvo::platform::ProcessPendingMessages();
  EXPECT_TRUE(Received(child, {WM_NCPAINT}).empty());
  EXPECT_EQ(WindowPixel(child, 0, 30), kWhite);
  DestroyWindow(child);
}

// ---- Mouse --------------------------------------------------------------------------------

TEST_F(WindowEdgesTest, MouseInsideABorderedChildIsInClientCoordinatesAndTheEdgeGetsNone) {
  HWND child = Child(WS_VISIBLE | WS_BORDER, WS_EX_CLIENTEDGE);   // 3-pixel edge
  zuvo::platform::ProcessPendingMessages();
  messageLog.clear();
  ASSERT_TRUE(zuvo::platform::SimulateMouse(child, WM_LBUTTONDOWN, 5, 6, MK_LBUTTON));
  ASSERT_TRUE(zuvo::platform::SimulateMouse(child, WM_LBUTTONUP, 5, 6, 0));
  zuvo::platform::ProcessPendingMessages();
  const Logged* down = Last(child, WM_LBUTTONDOWN);
  ASSERT_NE(down, nullptr);
  EXPECT_EQ(GET_X_LPARAM(down->lParam), 5);
  EXPECT_EQ(GET_Y_LPARAM(down->lParam), 6);

  // A press on the edge itself, as the windowing system delivers it (to the frame widget).
  auto record = zuvo::platform::win::Find(child);
  ASSERT_NE(record, nullptr);
  ASSERT_NE(record->frame, nullptr);
  messageLog.clear();
  for (QPointF at : {QPointF(1, 30), QPointF(50, 0), QPointF(99, 59)}) {
    QMouseEvent press(QEvent::MouseButtonPress, at, record->frame->mapToGlobal(at), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(record->frame, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, at, record->frame->mapToGlobal(at), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(record->frame, &release);
  }
  zuvo::platform::ProcessPendingMessages();
  EXPECT_TRUE(Received(child, {WM_LBUTTONDOWN, WM_LBUTTONUP}).empty());
  EXPECT_TRUE(Received(parent_, {WM_LBUTTONDOWN, WM_LBUTTONUP}).empty());

  // With the capture the window sees the mouse over its edge too, in its client coordinates.
  SetCapture(child);
  QPointF edge(1, 30);
  QMouseEvent move(QEvent::MouseMove, edge, record->frame->mapToGlobal(edge), Qt::NoButton, Qt::NoButton,
                   Qt::NoModifier);
  QCoreApplication::sendEvent(record->frame, &move);
  ReleaseCapture();
  zuvo::platform::ProcessPendingMessages();
  const Logged* moved = Last(child, WM_MOUSEMOVE);
  ASSERT_NE(moved, nullptr);
  EXPECT_EQ(GET_X_LPARAM(moved->lParam), -2);
  EXPECT_EQ(GET_Y_LPARAM(moved->lParam), 27);
  DestroyWindow(child);
}

TEST_F(WindowEdgesTest, HitTestingTellsTheEdgeFromTheClientArea) {
  HWND child = Child(WS_VISIBLE, WS_EX_CLIENTEDGE);
  const RECT r = WindowRect(child);
  auto hit = [&](int x, int y) { return SendMessageA(child, WM_NCHITTEST, 0, MAKELPARAM(x, y)); };
  EXPECT_EQ(hit(r.left, r.top), kHtBorder);
  EXPECT_EQ(hit(r.left + 1, r.top + 30), kHtBorder);
  EXPECT_EQ(hit(r.right - 2, r.top + 30), kHtBorder);
  EXPECT_EQ(hit(r.left + 2, r.top + 2), HTCLIENT);
  EXPECT_EQ(hit(r.right - 3, r.bottom - 3), HTCLIENT);
  EXPECT_EQ(hit(r.right, r.top), HTNOWHERE);
  // The edge belongs to the window.
  EXPECT_EQ(WindowFromPoint(POINT{r.left, r.top}), child);
  DestroyWindow(child);
}

// ---- Fonts --------------------------------------------------------------------------------

TEST_F(WindowEdgesTest, TheDefaultProcessingKeepsEachWindowsFont) {
  HWND a = Child(WS_VISIBLE, 0);
  HWND b = Child(WS_VISIBLE, 0);
  zuvo::platform::ProcessPendingMessages();
  EXPECT_EQ(SendMessageA(a, WM_GETFONT, 0, 0), 0);
  HFONT font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  ASSERT_NE(font, nullptr);

  SendMessageA(a, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  EXPECT_EQ(SendMessageA(a, WM_GETFONT, 0, 0), reinterpret_cast<LRESULT>(font));
  EXPECT_EQ(SendMessageA(b, WM_GETFONT, 0, 0), 0);
  EXPECT_FALSE(GetUpdateRect(a, nullptr, FALSE));   // no redraw asked

  SendMessageA(b, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  EXPECT_TRUE(GetUpdateRect(b, nullptr, FALSE));
  SendMessageA(a, WM_SETFONT, 0, FALSE);
  EXPECT_EQ(SendMessageA(a, WM_GETFONT, 0, 0), 0);
  DestroyWindow(a);
  DestroyWindow(b);
}

}  // namespace

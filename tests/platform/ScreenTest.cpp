// The screen source, headless: our windows composed at their places over the desktop colour,
// a test picture in place of the screen, the depth display contexts report, and a see-through
// window that starts as the pixels beneath it so that XOR lines drawn on it show over the page.
#include "platform/Screen.h"

#include "platform/Application.h"
#include "platform/Gdi.h"
#include "platform/Message.h"
#include "platform/WinUser.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

using zuvo::platform::ProcessPendingMessages;
using zuvo::platform::screen::Picture;
using zuvo::platform::screen::ScopedScreenSource;
using zuvo::platform::screen::TestSource;

constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kGreen = RGB(0, 160, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);
constexpr COLORREF kGrey = RGB(128, 128, 128);
constexpr COLORREF kPaintsNothing = 0xFFFFFFFF;

// Paints its client area in the colour kept in its user data; erasing is answered as done
// without painting (so a window that paints nothing keeps what its image started as).
LRESULT FillProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_ERASEBKGND) return 1;
  if (message == WM_PAINT) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    const auto color = static_cast<COLORREF>(GetWindowLongPtrA(window, GWL_USERDATA));
    if (dc != nullptr && color != kPaintsNothing) {
      RECT client{};
      GetClientRect(window, &client);
      HBRUSH brush = CreateSolidBrush(color);
      FillRect(dc, &client, brush);
      DeleteObject(brush);
    }
    EndPaint(window, &ps);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

const char* FillClass() {
  static const bool registered = [] {
    WNDCLASSA wc{};
    wc.lpfnWndProc = FillProc;   // and no background brush
    wc.lpszClassName = "ScreenTestFill";
    return RegisterClassA(&wc) != 0;
  }();
  EXPECT_TRUE(registered);
  return "ScreenTestFill";
}

class ScreenTest : public testing::Test {
 protected:
  void TearDown() override { DestroyMade(); }
  void DestroyMade() {
    for (auto it = made_.rbegin(); it != made_.rend(); ++it) DestroyWindow(*it);
    made_.clear();
    ProcessPendingMessages();
  }
  // A window of the fill class, shown (unless `show` is false) and painted.
  HWND Make(COLORREF color, RECT r, DWORD style, HWND parent = nullptr, DWORD exStyle = 0, bool show = true) {
    HWND window = CreateWindowExA(exStyle, FillClass(), "", style & ~WS_VISIBLE, r.left, r.top, r.right - r.left,
                                  r.bottom - r.top, parent, nullptr, nullptr, nullptr);
    EXPECT_NE(window, nullptr);
    SetWindowLongPtrA(window, GWL_USERDATA, static_cast<LONG_PTR>(color));
    if (parent == nullptr) made_.push_back(window);
    if (show) {
      ShowWindow(window, SW_SHOWNA);
      UpdateWindow(window);
    }
    return window;
  }

  std::vector<HWND> made_;
};

COLORREF Desktop() { return GetSysColor(COLOR_BACKGROUND); }

COLORREF ScreenPixel(int x, int y) {
  HDC screen = GetDC(nullptr);
  const COLORREF pixel = GetPixel(screen, x, y);
  ReleaseDC(nullptr, screen);
  return pixel;
}

TEST_F(ScreenTest, TheScreenIsOurWindowsComposedAtTheirPlacesOverTheDesktopColour) {
  ScopedScreenSource composed(TestSource{});
  HWND a = Make(kRed, {10, 10, 110, 90}, WS_POPUP);
  Make(kGreen, {5, 5, 25, 25}, WS_CHILD | WS_VISIBLE, a);
  Make(kGreen, {90, 0, 140, 30}, WS_CHILD | WS_VISIBLE, a);   // mostly outside its parent
  HWND b = Make(kBlue, {60, 50, 160, 130}, WS_POPUP);             // newer: on top of a
  ProcessPendingMessages();

  struct Case {
    int x, y;
    COLORREF color;
    const char* what;
  };
  const Case cases[] = {
      {20, 20, kGreen, "a's child"},          {40, 40, kRed, "a alone"},
      {70, 60, kBlue, "b over a"},            {150, 120, kBlue, "b alone"},
      {105, 20, kGreen, "a's other child, inside a"},
      {115, 20, Desktop(), "that child outside its parent"},
      {5, 5, Desktop(), "no window"},         {300, 300, Desktop(), "no window"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.what) + " at " + std::to_string(c.x) + "," + std::to_string(c.y));
    EXPECT_EQ(ScreenPixel(c.x, c.y), c.color);
  }

  // BitBlt copies the screen as it is now; CreateDCA("DISPLAY") reads the same screen.
  ShowWindow(b, SW_HIDE);
  HDC display = CreateDCA("DISPLAY", nullptr, nullptr, nullptr);
  ASSERT_NE(display, nullptr);
  HDC memory = CreateCompatibleDC(display);
  HBITMAP bitmap = CreateCompatibleBitmap(display, 200, 150);
  HGDIOBJ old = SelectObject(memory, bitmap);
  ASSERT_TRUE(BitBlt(memory, 0, 0, 200, 150, display, 0, 0, SRCCOPY));
  EXPECT_EQ(GetPixel(memory, 70, 60), kRed);   // b is hidden
  EXPECT_EQ(GetPixel(memory, 150, 120), Desktop());
  EXPECT_EQ(GetPixel(memory, 20, 20), kGreen);
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  EXPECT_TRUE(DeleteDC(display));

  HDC again = CreateDCA("display", "DISPLAY", nullptr, nullptr);
  EXPECT_NE(again, nullptr);
  DeleteDC(again);
  EXPECT_EQ(CreateDCA("WINSPOOL", "Printer", nullptr, nullptr), nullptr);
  EXPECT_EQ(CreateDCA(nullptr, nullptr, nullptr, nullptr), nullptr);
}

TEST_F(ScreenTest, DisplayContextsReportTheSourcesDepthAndAPictureStandsInForTheScreen) {
  struct Case {
    int bits;
    int reported;
  };
  const Case cases[] = {{8, 8}, {32, 32}, {16, 16}, {7, 32}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bits);
    ScopedScreenSource source(TestSource{.bitsPerPixel = c.bits, .picture = std::nullopt});
    HDC display = CreateDCA("DISPLAY", nullptr, nullptr, nullptr);
    HDC screen = GetDC(nullptr);
    for (HDC dc : {display, screen}) {
      EXPECT_EQ(GetDeviceCaps(dc, BITSPIXEL), c.reported);
      EXPECT_EQ(GetDeviceCaps(dc, PLANES), 1);
      EXPECT_EQ(GetDeviceCaps(dc, LOGPIXELSX), 96);
      EXPECT_EQ(GetDeviceCaps(dc, LOGPIXELSY), 96);
      EXPECT_EQ(GetDeviceCaps(dc, HORZRES), GetSystemMetrics(SM_CXSCREEN));
      EXPECT_EQ(GetDeviceCaps(dc, VERTRES), GetSystemMetrics(SM_CYSCREEN));
    }
    ReleaseDC(nullptr, screen);
    DeleteDC(display);
  }
  HDC plain = GetDC(nullptr);
  EXPECT_EQ(GetDeviceCaps(plain, BITSPIXEL), 32);   // without a test source, offscreen
  ReleaseDC(nullptr, plain);

  // A 4 x 3 picture: the screen's size follows it and its pixels are what the screen shows,
  // whatever our windows are.
  Make(kRed, {0, 0, 100, 100}, WS_POPUP);
  Picture picture{4, 3, std::vector<COLORREF>(12, kGrey)};
  picture.pixels[1 * 4 + 2] = kBlue;
  ScopedScreenSource source(TestSource{.bitsPerPixel = 8, .picture = picture});
  HDC screen = GetDC(nullptr);
  EXPECT_EQ(GetDeviceCaps(screen, HORZRES), 4);
  EXPECT_EQ(GetDeviceCaps(screen, VERTRES), 3);
  EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 4);
  EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 3);
  EXPECT_EQ(GetPixel(screen, 2, 1), kBlue);
  EXPECT_EQ(GetPixel(screen, 0, 0), kGrey);
  ReleaseDC(nullptr, screen);
}

// The drag overlay: a see-through window over the page that paints nothing of its own and
// draws XOR lines on its image, as a child of the main window and as a borderless popup.
TEST_F(ScreenTest, ASeeThroughWindowShowsThePixelsBeneathItWithXorLinesOverThem) {
  ScopedScreenSource composed(TestSource{});
  struct Case {
    const char* name;
    bool child;   // a child of the main window beside the page; else a top-level popup
  };
  for (const Case& c : {Case{"child of the main window", true}, Case{"borderless popup", false}}) {
    SCOPED_TRACE(c.name);
    // The main window (grey) holds the page (red) with a pane (green) in it.
    HWND main = Make(kGrey, {100, 100, 400, 300}, WS_POPUP);
    HWND page = Make(kRed, {10, 10, 210, 160}, WS_CHILD | WS_VISIBLE, main);
    Make(kGreen, {0, 0, 50, 150}, WS_CHILD | WS_VISIBLE, page);
    // The overlay covers the page's left part and some of the main window beside it:
    // (100, 100) to (170, 200) in the main window, so its x 0..9 is main, 10..59 the pane,
    // 60..69 the page.
    const RECT place = c.child ? RECT{0, 50, 70, 150} : RECT{100, 150, 170, 250};
    HWND overlay = Make(kPaintsNothing, place, c.child ? WS_CHILD : WS_POPUP, c.child ? main : nullptr,
                        WS_EX_TRANSPARENT, false);
    // Above the overlay (made later), not beneath it: it must not show in the overlay.
    Make(kBlue, {165, 240, 200, 290}, WS_POPUP);
    ShowWindow(overlay, SW_SHOWNA);
    ProcessPendingMessages();

    HDC dc = GetDC(overlay);
    struct Pixel {
      int x, y;
      COLORREF color;
    };
    // What lies beneath, the window above it left out.
    for (const Pixel& p : {Pixel{5, 5, kGrey}, Pixel{30, 5, kGreen}, Pixel{65, 5, kRed}, Pixel{5, 95, kGrey},
                           Pixel{67, 92, kRed}}) {
      EXPECT_EQ(GetPixel(dc, p.x, p.y), p.color) << p.x << "," << p.y;
    }
    // A divider line in XOR with a white pen, and a second line drawn twice (gone again).
    HPEN white = CreatePen(PS_SOLID, 1, RGB(255, 255, 255));
    HGDIOBJ oldPen = SelectObject(dc, white);
    SetROP2(dc, R2_XORPEN);
    MoveToEx(dc, 30, 0, nullptr);
    LineTo(dc, 30, 100);
    for (int i = 0; i < 2; ++i) {
      MoveToEx(dc, 65, 0, nullptr);
      LineTo(dc, 65, 100);
    }
    SelectObject(dc, oldPen);
    DeleteObject(white);
    ReleaseDC(overlay, dc);

    // On the screen: the line shows over the pane in its inverse, the rest is the page.
    const COLORREF inverse = kGreen ^ 0xFFFFFF;
    EXPECT_EQ(ScreenPixel(130, 200), inverse);
    EXPECT_EQ(ScreenPixel(131, 200), kGreen);
    EXPECT_EQ(ScreenPixel(165, 200), kRed);
    EXPECT_EQ(ScreenPixel(168, 245), kBlue);   // the window above stays above

    // Hidden again, the page shows untouched.
    ShowWindow(overlay, SW_HIDE);
    EXPECT_EQ(ScreenPixel(130, 200), kGreen);

    // A window that is not see-through starts white where it paints nothing.
    HWND plain = Make(kPaintsNothing, {0, 50, 70, 150}, WS_CHILD, main, 0, false);
    ShowWindow(plain, SW_SHOWNA);
    ProcessPendingMessages();
    EXPECT_EQ(ScreenPixel(130, 160), RGB(255, 255, 255));

    DestroyMade();
  }
}

}  // namespace

#include "platform/Message.h"
#include "platform/WinUser.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);

// A memory context on a white bitmap; pixels are read back with GetPixel.
class Canvas {
 public:
  Canvas(int width, int height) : width_(width), height_(height) {
    dc_ = CreateCompatibleDC(nullptr);
    bitmap_ = CreateCompatibleBitmap(dc_, width, height);
    old_ = SelectObject(dc_, bitmap_);
    RECT all{0, 0, width, height};
    FillRect(dc_, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  }
  ~Canvas() {
    SelectObject(dc_, old_);
    DeleteObject(bitmap_);
    DeleteDC(dc_);
  }
  HDC dc() const { return dc_; }
  // The picture as rows of '#' (not white) and '.' (white).
  std::vector<std::string> Rows() const {
    std::vector<std::string> rows;
    for (int y = 0; y < height_; ++y) {
      std::string row;
      for (int x = 0; x < width_; ++x) row += GetPixel(dc_, x, y) == kWhite ? '.' : '#';
      rows.push_back(row);
    }
    return rows;
  }
  std::vector<COLORREF> All() const {
    std::vector<COLORREF> all;
    for (int y = 0; y < height_; ++y)
      for (int x = 0; x < width_; ++x) all.push_back(GetPixel(dc_, x, y));
    return all;
  }

 private:
  int width_, height_;
  HDC dc_;
  HBITMAP bitmap_;
  HGDIOBJ old_;
};

TEST(GdiTest, LinesExcludeTheirEndPoint) {
  struct Case {
    POINT from, to;
    std::vector<std::string> picture;
  };
  const Case cases[] = {
      {{0, 0}, {4, 0}, {"####..", "......", "......"}},
      {{4, 2}, {0, 2}, {"......", "......", ".####."}},
      {{1, 0}, {1, 3}, {".#....", ".#....", ".#...."}},
      {{0, 0}, {3, 3}, {"#.....", ".#....", "..#..."}},
      {{2, 1}, {2, 1}, {"......", "......", "......"}},
  };
  for (const Case& c : cases) {
    Canvas canvas(6, 3);
    MoveToEx(canvas.dc(), c.from.x, c.from.y, nullptr);
    LineTo(canvas.dc(), c.to.x, c.to.y);
    EXPECT_EQ(canvas.Rows(), c.picture) << c.from.x << "," << c.from.y << " -> " << c.to.x << "," << c.to.y;
    POINT at;
    GetCurrentPositionEx(canvas.dc(), &at);
    EXPECT_EQ(at.x, c.to.x);
  }
}

TEST(GdiTest, ShapesReachingFarOffTheImageDrawTheirVisiblePartAtOnce) {
  // Rays of drawing tools and bars of extreme prices reach coordinates near the int limits;
  // only their visible part is drawn, with the pixels the short line would have.
  Canvas canvas(6, 5);
  HPEN pen = CreatePen(PS_SOLID, 1, kRed);
  HGDIOBJ oldPen = SelectObject(canvas.dc(), pen);
  MoveToEx(canvas.dc(), -2000000000, 1, nullptr);
  LineTo(canvas.dc(), 2000000000, 1);
  MoveToEx(canvas.dc(), -1000000, -1000000, nullptr);   // the diagonal through (0,0)
  LineTo(canvas.dc(), 3, 3);
  EXPECT_EQ(canvas.Rows(), (std::vector<std::string>{"#.....", "######", "..#...", "......", "......"}));
  // A dotted pen keeps its rhythm counted from the far start point.
  Canvas dotted(12, 1);
  HPEN dots = CreatePen(PS_DOT, 1, kRed);
  HGDIOBJ oldDots = SelectObject(dotted.dc(), dots);
  SetBkMode(dotted.dc(), TRANSPARENT);
  MoveToEx(dotted.dc(), -600000, 0, nullptr);   // a multiple of the 6-pixel period
  LineTo(dotted.dc(), 12, 0);
  EXPECT_EQ(dotted.Rows(), (std::vector<std::string>{"###...###..."}));
  SelectObject(dotted.dc(), oldDots);
  DeleteObject(dots);
  // A rectangle larger than the int range of widths: filled inside, outline out of sight.
  HBRUSH brush = CreateSolidBrush(kBlue);
  HGDIOBJ oldBrush = SelectObject(canvas.dc(), brush);
  Rectangle(canvas.dc(), -2000000000, -2000000000, 2000000000, 2000000000);
  for (COLORREF c : canvas.All()) EXPECT_EQ(c, kBlue);
  SelectObject(canvas.dc(), GetStockObject(NULL_PEN));
  Rectangle(canvas.dc(), INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX);
  SelectObject(canvas.dc(), oldBrush);
  SelectObject(canvas.dc(), oldPen);
  DeleteObject(brush);
  DeleteObject(pen);
}

TEST(GdiTest, PolylineDrawsEachCornerOnceAndLeavesTheLastPoint) {
  Canvas canvas(5, 4);
  SetROP2(canvas.dc(), R2_XORPEN);   // a pixel drawn twice would vanish
  HPEN pen = CreatePen(PS_SOLID, 1, kRed);
  SelectObject(canvas.dc(), pen);
  POINT points[] = {{0, 0}, {3, 0}, {3, 3}};
  Polyline(canvas.dc(), points, 3);
  EXPECT_EQ(canvas.Rows(), (std::vector<std::string>{"####.", "...#.", "...#.", "....."}));
  DeleteObject(pen);
}

TEST(GdiTest, RectanglesExcludeRightAndBottom) {
  Canvas canvas(6, 5);
  HBRUSH brush = CreateSolidBrush(kBlue);
  RECT r{1, 1, 4, 3};
  FillRect(canvas.dc(), &r, brush);
  EXPECT_EQ(canvas.Rows(), (std::vector<std::string>{"......", ".###..", ".###..", "......", "......"}));
  EXPECT_EQ(GetPixel(canvas.dc(), 1, 1), kBlue);

  Canvas framed(6, 5);
  RECT f{0, 0, 5, 4};
  FrameRect(framed.dc(), &f, brush);
  EXPECT_EQ(framed.Rows(), (std::vector<std::string>{"#####.", "#...#.", "#...#.", "#####.", "......"}));

  Canvas outlined(6, 5);
  SelectObject(outlined.dc(), GetStockObject(NULL_BRUSH));
  Rectangle(outlined.dc(), 0, 0, 4, 3);
  EXPECT_EQ(outlined.Rows(), (std::vector<std::string>{"####..", "#..#..", "####..", "......", "......"}));

  // Without a pen the filled area is one pixel smaller each way.
  Canvas noPen(6, 5);
  SelectObject(noPen.dc(), GetStockObject(NULL_PEN));
  SelectObject(noPen.dc(), brush);
  Rectangle(noPen.dc(), 0, 0, 4, 3);
  EXPECT_EQ(noPen.Rows(), (std::vector<std::string>{"###...", "###...", "......", "......", "......"}));
  DeleteObject(brush);
}

TEST(GdiTest, XorTwiceRestoresTheImage) {
  Canvas canvas(40, 30);
  HBRUSH background = CreateSolidBrush(RGB(12, 200, 77));
  RECT part{5, 5, 30, 20};
  FillRect(canvas.dc(), &part, background);
  std::vector<COLORREF> before = canvas.All();
  HPEN pen = CreatePen(PS_SOLID, 1, RGB(255, 255, 255));
  SelectObject(canvas.dc(), pen);
  SelectObject(canvas.dc(), GetStockObject(NULL_BRUSH));
  SetROP2(canvas.dc(), R2_XORPEN);
  auto crosshair = [&] {
    MoveToEx(canvas.dc(), 0, 12, nullptr);
    LineTo(canvas.dc(), 40, 12);
    MoveToEx(canvas.dc(), 17, 0, nullptr);
    LineTo(canvas.dc(), 17, 30);
    Rectangle(canvas.dc(), 2, 3, 25, 28);
    Ellipse(canvas.dc(), 8, 4, 36, 26);
  };
  crosshair();
  EXPECT_NE(canvas.All(), before);
  EXPECT_EQ(GetPixel(canvas.dc(), 3, 12), RGB(0, 0, 0));   // white XOR white
  crosshair();
  EXPECT_EQ(canvas.All(), before);
  DeleteObject(pen);
  DeleteObject(background);
}

TEST(GdiTest, Rop2ModesCombinePenAndPixel) {
  struct Case {
    int mode;
    COLORREF expected;
  };
  // Pen 0x0000FF (red) over a pixel of 0x00FF00 (green).
  const Case cases[] = {
      {R2_COPYPEN, RGB(255, 0, 0)},   {R2_XORPEN, RGB(255, 255, 0)},  {R2_NOTXORPEN, RGB(0, 0, 255)},
      {R2_NOT, RGB(255, 0, 255)},     {R2_NOP, RGB(0, 255, 0)},       {R2_MERGEPEN, RGB(255, 255, 0)},
      {R2_MASKPEN, RGB(0, 0, 0)},     {R2_BLACK, RGB(0, 0, 0)},       {R2_WHITE, RGB(255, 255, 255)},
  };
  for (const Case& c : cases) {
    Canvas canvas(3, 1);
    SetPixel(canvas.dc(), 0, 0, RGB(0, 255, 0));
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(255, 0, 0));
    SelectObject(canvas.dc(), pen);
    SetROP2(canvas.dc(), c.mode);
    MoveToEx(canvas.dc(), 0, 0, nullptr);
    LineTo(canvas.dc(), 1, 0);
    EXPECT_EQ(GetPixel(canvas.dc(), 0, 0), c.expected) << "mode " << c.mode;
    SelectObject(canvas.dc(), GetStockObject(BLACK_PEN));
    DeleteObject(pen);
  }
}

TEST(GdiTest, DottedPenLeavesGapsAndWidePenIsWide) {
  Canvas canvas(12, 7);
  SetBkMode(canvas.dc(), TRANSPARENT);
  HPEN dotted = CreatePen(PS_DOT, 1, kRed);
  HGDIOBJ old = SelectObject(canvas.dc(), dotted);
  MoveToEx(canvas.dc(), 0, 0, nullptr);
  LineTo(canvas.dc(), 12, 0);
  EXPECT_EQ(canvas.Rows()[0], "###...###...");
  HPEN wide = CreatePen(PS_SOLID, 3, kRed);
  SelectObject(canvas.dc(), wide);
  MoveToEx(canvas.dc(), 2, 4, nullptr);
  LineTo(canvas.dc(), 9, 4);
  EXPECT_NE(GetPixel(canvas.dc(), 5, 3), kWhite);
  EXPECT_NE(GetPixel(canvas.dc(), 5, 5), kWhite);
  SelectObject(canvas.dc(), old);
  DeleteObject(dotted);
  DeleteObject(wide);
}

TEST(GdiTest, BlitsCopyAndCombine) {
  Canvas source(4, 4);
  SetPixel(source.dc(), 1, 1, kRed);
  Canvas dest(6, 6);
  ASSERT_TRUE(BitBlt(dest.dc(), 2, 2, 2, 2, source.dc(), 0, 0, SRCCOPY));
  EXPECT_EQ(GetPixel(dest.dc(), 3, 3), kRed);
  EXPECT_EQ(GetPixel(dest.dc(), 2, 2), kWhite);
  BitBlt(dest.dc(), 2, 2, 2, 2, source.dc(), 0, 0, SRCINVERT);
  EXPECT_EQ(GetPixel(dest.dc(), 3, 3), RGB(0, 0, 0));
  EXPECT_EQ(GetPixel(dest.dc(), 2, 2), RGB(0, 0, 0));
  ASSERT_TRUE(StretchBlt(dest.dc(), 0, 0, 6, 6, source.dc(), 0, 0, 2, 2, SRCCOPY));
  EXPECT_EQ(GetPixel(dest.dc(), 4, 4), kRed);
  EXPECT_EQ(GetPixel(dest.dc(), 1, 1), kWhite);
  EXPECT_FALSE(BitBlt(dest.dc(), 0, 0, 1, 1, nullptr, 0, 0, SRCCOPY));
  EXPECT_TRUE(PatBlt(dest.dc(), 0, 0, 1, 1, BLACKNESS));
  EXPECT_EQ(GetPixel(dest.dc(), 0, 0), RGB(0, 0, 0));
}

TEST(GdiTest, GbkTextHasAStableNonZeroExtentAndDraws) {
  Canvas canvas(120, 40);
  HFONT font = CreateFontA(-16, 0, 0, 0, FW_NORMAL, 0, 0, 0, GB2312_CHARSET, 0, 0, 0, 0, "宋体");
  ASSERT_NE(font, nullptr);
  SelectObject(canvas.dc(), font);
  const char* text = "浦发银行";
  SIZE first{}, second{}, half{};
  ASSERT_TRUE(GetTextExtentPoint32A(canvas.dc(), text, 8, &first));
  GetTextExtentPoint32A(canvas.dc(), text, 8, &second);
  GetTextExtentPoint32A(canvas.dc(), text, 4, &half);
  EXPECT_GT(first.cx, 0);
  EXPECT_GE(first.cy, 16);
  EXPECT_EQ(first.cx, second.cx);
  EXPECT_LT(half.cx, first.cx);
  SetTextColor(canvas.dc(), kRed);
  SetBkMode(canvas.dc(), TRANSPARENT);
  TextOutA(canvas.dc(), 2, 2, text, 8);
  int inked = 0;
  for (COLORREF c : canvas.All()) inked += c != kWhite;
  EXPECT_GT(inked, 20);
  // Nothing lands beyond the measured cell.
  for (int y = 0; y < 40; ++y) EXPECT_EQ(GetPixel(canvas.dc(), 2 + first.cx + 2, y), kWhite);
  DeleteObject(font);
}

TEST(GdiTest, FontHeightFollowsTheWindowsSignConvention) {
  HDC dc = CreateCompatibleDC(nullptr);
  TEXTMETRICA em{}, cell{};
  HFONT byEm = CreateFontA(-20, 0, 0, 0, FW_BOLD, 0, 0, 0, 0, 0, 0, 0, 0, "Arial");
  HFONT byCell = CreateFontA(20, 0, 0, 0, FW_NORMAL, 0, 0, 0, 0, 0, 0, 0, 0, "黑体");
  SelectObject(dc, byEm);
  GetTextMetricsA(dc, &em);
  SelectObject(dc, byCell);
  GetTextMetricsA(dc, &cell);
  EXPECT_GT(em.tmAscent + em.tmDescent, 20);   // the em is 20, the cell is taller
  EXPECT_NEAR(cell.tmAscent + cell.tmDescent, 20, 1);
  EXPECT_EQ(em.tmWeight, FW_BOLD);
  DeleteDC(dc);
  DeleteObject(byEm);
  DeleteObject(byCell);
}

TEST(GdiTest, DrawTextAlignsCalculatesAndElides) {
  Canvas canvas(100, 40);
  const char* text = "成交量";
  RECT calc{0, 0, 0, 0};
  int height = DrawTextA(canvas.dc(), text, -1, &calc, DT_CALCRECT | DT_SINGLELINE);
  SIZE extent;
  GetTextExtentPoint32A(canvas.dc(), text, 6, &extent);
  EXPECT_EQ(calc.right, extent.cx);
  EXPECT_EQ(calc.bottom, height);
  EXPECT_EQ(canvas.Rows(), Canvas(100, 40).Rows());   // DT_CALCRECT draws nothing

  SetTextColor(canvas.dc(), RGB(0, 0, 0));
  RECT right{0, 0, 100, 40};
  DrawTextA(canvas.dc(), text, -1, &right, DT_RIGHT | DT_VCENTER | DT_SINGLELINE);
  int leftmost = 100;
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 100; ++x)
      if (GetPixel(canvas.dc(), x, y) == RGB(0, 0, 0)) leftmost = std::min(leftmost, x);
  EXPECT_GE(leftmost, 100 - extent.cx - 1);

  RECT narrow{0, 0, 30, 40};
  RECT wrapped = narrow;
  int lines = DrawTextA(canvas.dc(), "上证指数深证成指", -1, &wrapped, DT_CALCRECT | DT_WORDBREAK);
  EXPECT_GE(lines, 2 * extent.cy);
  EXPECT_LE(wrapped.right, 30);
  RECT elided = narrow;
  DrawTextA(canvas.dc(), "上证指数深证成指", -1, &elided, DT_CALCRECT | DT_SINGLELINE | DT_END_ELLIPSIS);
  EXPECT_LE(elided.right, 30);

  RECT prefix{0, 0, 0, 0}, plain{0, 0, 0, 0};
  DrawTextA(canvas.dc(), "&File", -1, &prefix, DT_CALCRECT | DT_SINGLELINE);
  DrawTextA(canvas.dc(), "File", -1, &plain, DT_CALCRECT | DT_SINGLELINE);
  EXPECT_EQ(prefix.right, plain.right);
}

TEST(GdiTest, WindowDrawingLandsInItsBackingImage) {
  static HWND painted = nullptr;
  WNDCLASSA wc{};
  wc.lpfnWndProc = [](HWND h, UINT m, WPARAM w, LPARAM l) -> LRESULT {
    if (m == WM_PAINT) {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(h, &ps);
      HBRUSH brush = CreateSolidBrush(RGB(0, 0, 255));
      RECT all{0, 0, 1000, 1000};
      FillRect(dc, &all, brush);   // clipped to the update rectangle
      DeleteObject(brush);
      EndPaint(h, &ps);
      painted = h;
      return 0;
    }
    return DefWindowProcA(h, m, w, l);
  };
  wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<std::uintptr_t>(COLOR_WINDOW + 1));
  wc.lpszClassName = "GdiTestPaint";
  RegisterClassA(&wc);
  HWND w = CreateWindowExA(0, "GdiTestPaint", "", WS_POPUP | WS_VISIBLE, 0, 0, 40, 30, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(w, nullptr);
  platform::PumpMessagesUntil([&] { return painted == w; }, 2000);
  HDC dc = GetDC(w);
  EXPECT_EQ(GetPixel(dc, 39, 29), RGB(0, 0, 255));
  EXPECT_EQ(GetPixel(dc, 40, 29), CLR_INVALID);
  // A partial invalidation repaints only its rectangle.
  RECT white{0, 0, 40, 30};
  FillRect(dc, &white, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  RECT part{10, 10, 20, 20};
  InvalidateRect(w, &part, FALSE);
  UpdateWindow(w);
  EXPECT_EQ(GetPixel(dc, 10, 10), RGB(0, 0, 255));
  EXPECT_EQ(GetPixel(dc, 20, 20), kWhite);
  EXPECT_EQ(GetPixel(dc, 9, 10), kWhite);
  ReleaseDC(w, dc);
  DestroyWindow(w);
}

TEST(GdiTest, DeletedHandlesAndStockObjects) {
  HPEN pen = CreatePen(PS_SOLID, 1, kRed);
  HDC dc = CreateCompatibleDC(nullptr);
  // Contexts and objects never share a handle value, so the kind of a handle is unambiguous.
  EXPECT_EQ(GetObjectType(pen), OBJ_PEN);
  EXPECT_EQ(GetObjectType(reinterpret_cast<HGDIOBJ>(dc)), OBJ_MEMDC);
  HDC screen = GetDC(nullptr);
  EXPECT_EQ(GetObjectType(reinterpret_cast<HGDIOBJ>(screen)), OBJ_DC);
  ReleaseDC(nullptr, screen);
  EXPECT_EQ(GetObjectType(reinterpret_cast<HGDIOBJ>(screen)), 0u);
  HGDIOBJ old = SelectObject(dc, pen);
  EXPECT_TRUE(DeleteObject(pen));   // still drawn with while selected
  EXPECT_EQ(SelectObject(dc, pen), nullptr);
  EXPECT_TRUE(DeleteObject(GetStockObject(BLACK_PEN)));
  EXPECT_NE(GetStockObject(BLACK_PEN), nullptr);
  SelectObject(dc, old);

  // Memory contexts share one default bitmap: the double-buffer pattern of every paint (select
  // a bitmap, select the old one back) leaves no new object behind.
  HDC other = CreateCompatibleDC(nullptr);
  HBITMAP bitmap = CreateCompatibleBitmap(dc, 4, 4);
  HGDIOBJ defaultOfDc = SelectObject(dc, bitmap);
  SelectObject(dc, defaultOfDc);
  HGDIOBJ defaultOfOther = SelectObject(other, bitmap);
  SelectObject(other, defaultOfOther);
  EXPECT_NE(defaultOfDc, nullptr);
  EXPECT_EQ(defaultOfDc, defaultOfOther);
  EXPECT_TRUE(DeleteObject(defaultOfDc));   // a stock object: it stays
  EXPECT_EQ(GetObjectType(defaultOfDc), OBJ_BITMAP);
  DeleteObject(bitmap);
  DeleteDC(other);

  EXPECT_TRUE(DeleteDC(dc));
  EXPECT_FALSE(DeleteDC(dc));
  EXPECT_EQ(GetPixel(dc, 0, 0), CLR_INVALID);
  EXPECT_EQ(GetSysColor(COLOR_WINDOW), RGB(255, 255, 255));
  EXPECT_EQ(GetSysColor(999), 0u);
}

}  // namespace

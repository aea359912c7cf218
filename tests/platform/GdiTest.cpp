#include "MemoryCanvas.h"

#include "platform/Message.h"
#include "platform/WinUser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);
constexpr COLORREF kGreen = RGB(0, 160, 0);

using Canvas = platformtest::MemoryCanvas;

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
  // The same over the whole int range, without a pen (the fill then stops one pixel short of
  // INT32_MAX, still far beyond the image).
  HBRUSH green = CreateSolidBrush(kGreen);
  SelectObject(canvas.dc(), green);
  SelectObject(canvas.dc(), GetStockObject(NULL_PEN));
  Rectangle(canvas.dc(), INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX);
  for (COLORREF c : canvas.All()) EXPECT_EQ(c, kGreen);
  SelectObject(canvas.dc(), oldBrush);
  SelectObject(canvas.dc(), oldPen);
  DeleteObject(green);
  DeleteObject(brush);
  DeleteObject(pen);
}

TEST(GdiTest, FarReachingShapesDrawWhatTheirNearCopiesDraw) {
  // Each shape is drawn twice: once reaching to the int limits, through a viewport origin that
  // pushes its device coordinates past them, and once reaching just past the canvas. The
  // visible pixels must be the same.
  enum class Shape { Line, Outline, Fill };
  struct Case {
    const char* name;
    Shape shape;
    int penWidth;
    POINT origin;   // of the far copy; the near copy is drawn at 0,0
    RECT far, near;
  };
  const Case cases[] = {
      {"thin line, scrolled", Shape::Line, 1, {3, 2}, {-3, 1, INT32_MAX, 1}, {0, 3, 20, 3}},
      {"thin line, scrolled back", Shape::Line, 1, {-3, -2}, {INT32_MIN, 5, 8, 5}, {-20, 3, 5, 3}},
      {"wide line", Shape::Line, 3, {0, 0}, {INT32_MIN, 3, INT32_MAX, 3}, {-20, 3, 20, 3}},
      {"wide line, scrolled", Shape::Line, 3, {5, 0}, {-8, 3, INT32_MAX, 3}, {-3, 3, 20, 3}},
      {"thin outline, scrolled", Shape::Outline, 1, {3, 2}, {-2, -1, INT32_MAX, INT32_MAX}, {1, 1, 20, 20}},
      {"wide outline", Shape::Outline, 3, {0, 0}, {INT32_MIN, 1, INT32_MAX, INT32_MAX}, {-20, 1, 20, 20}},
      {"wide outline, scrolled", Shape::Outline, 3, {-4, 2}, {INT32_MIN, -1, 6, INT32_MAX}, {-20, 1, 2, 20}},
      {"fill, scrolled", Shape::Fill, 1, {3, 2}, {-2, -1, INT32_MAX, INT32_MAX}, {1, 1, 20, 20}},
      {"fill, scrolled back", Shape::Fill, 1, {-3, -2}, {INT32_MIN, INT32_MIN, 7, 6}, {-20, -20, 4, 4}},
  };
  HPEN thin = CreatePen(PS_SOLID, 1, kRed), wide = CreatePen(PS_SOLID, 3, kRed);
  HBRUSH brush = CreateSolidBrush(kBlue);
  auto draw = [&](const Case& c, const RECT& r, POINT origin) {
    Canvas canvas(8, 6);
    SelectObject(canvas.dc(), c.penWidth == 1 ? thin : wide);
    SelectObject(canvas.dc(), brush);
    SetViewportOrgEx(canvas.dc(), origin.x, origin.y, nullptr);
    switch (c.shape) {
      case Shape::Line:
        MoveToEx(canvas.dc(), r.left, r.top, nullptr);
        LineTo(canvas.dc(), r.right, r.bottom);
        break;
      case Shape::Outline: Rectangle(canvas.dc(), r.left, r.top, r.right, r.bottom); break;
      case Shape::Fill: FillRect(canvas.dc(), &r, brush); break;
    }
    SelectObject(canvas.dc(), GetStockObject(BLACK_PEN));
    SelectObject(canvas.dc(), GetStockObject(WHITE_BRUSH));
    SetViewportOrgEx(canvas.dc(), 0, 0, nullptr);   // pixels are read back at device positions
    return canvas.All();
  };
  const std::vector<COLORREF> blank = Canvas(8, 6).All();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<COLORREF> near = draw(c, c.near, POINT{0, 0});
    EXPECT_NE(near, blank);
    EXPECT_EQ(draw(c, c.far, c.origin), near);
  }
  DeleteObject(thin);
  DeleteObject(wide);
  DeleteObject(brush);
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

TEST(GdiTest, DottedPenLeavesGaps) {
  Canvas canvas(12, 1);
  SetBkMode(canvas.dc(), TRANSPARENT);
  HPEN dotted = CreatePen(PS_DOT, 1, kRed);
  HGDIOBJ old = SelectObject(canvas.dc(), dotted);
  MoveToEx(canvas.dc(), 0, 0, nullptr);
  LineTo(canvas.dc(), 12, 0);
  EXPECT_EQ(canvas.Rows()[0], "###...###...");
  SelectObject(canvas.dc(), old);
  DeleteObject(dotted);
}

TEST(GdiTest, WidePenCoversItsWidthAcrossTheLine) {
  // Across a horizontal line on row 6 and a vertical one on column 6, a pen of width w covers w
  // pixels centred on the line (the extra one of an even width before it); width 0 is one pixel.
  constexpr int kSize = 13, kLine = 6;
  for (int width = 0; width <= 6; ++width) {
    SCOPED_TRACE("width " + std::to_string(width));
    const int covered = std::max(1, width);
    std::string across(kSize, '.');
    for (int i = 0; i < covered; ++i) across[static_cast<std::size_t>(kLine - covered / 2 + i)] = '#';
    HPEN pen = CreatePen(PS_SOLID, width, kRed);
    Canvas horizontal(kSize, kSize), vertical(kSize, kSize);
    SelectObject(horizontal.dc(), pen);
    MoveToEx(horizontal.dc(), 2, kLine, nullptr);
    LineTo(horizontal.dc(), 11, kLine);
    SelectObject(vertical.dc(), pen);
    MoveToEx(vertical.dc(), kLine, 2, nullptr);
    LineTo(vertical.dc(), kLine, 11);
    std::string column, row = vertical.Rows()[kLine];
    for (const std::string& line : horizontal.Rows()) column += line[kLine];
    EXPECT_EQ(column, across);
    EXPECT_EQ(row, across);
    SelectObject(horizontal.dc(), GetStockObject(BLACK_PEN));
    SelectObject(vertical.dc(), GetStockObject(BLACK_PEN));
    DeleteObject(pen);
  }
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
  // A source wider than any image cannot be copied: the blit fails and the destination stays.
  const std::vector<COLORREF> before = dest.All();
  EXPECT_FALSE(BitBlt(dest.dc(), 0, 0, INT32_MAX, 2, source.dc(), 0, 0, SRCCOPY));
  EXPECT_EQ(dest.All(), before);
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

TEST(GdiTest, FacesThisSystemLacksDrawInTheirInstalledStandIns) {
  // Text drawn in a face the program asks for must come out as the same text drawn in the
  // installed family standing in for it, whatever the case of the name.
  auto draw = [](const char* face, BYTE pitch) {
    Canvas canvas(90, 20);
    HFONT font = CreateFontA(-14, 0, 0, 0, FW_NORMAL, 0, 0, 0, GB2312_CHARSET, 0, 0, 0, pitch, face);
    HGDIOBJ old = SelectObject(canvas.dc(), font);
    SetBkMode(canvas.dc(), TRANSPARENT);
    TextOutA(canvas.dc(), 1, 1, "Wg17 成交", 9);
    SelectObject(canvas.dc(), old);
    DeleteObject(font);
    return canvas.Rows();
  };
  // The comparison tells the installed families apart.
  EXPECT_NE(draw("WenQuanYi Micro Hei", 0), draw("DejaVu Sans", 0));
  EXPECT_NE(draw("DejaVu Sans", 0), draw("DejaVu Serif", 0));
  EXPECT_NE(draw("DejaVu Sans", 0), draw("DejaVu Sans Mono", 0));
  struct Case {
    const char* face;
    BYTE pitch;
    const char* installed;
  };
  const Case cases[] = {
      {"宋体", 0, "WenQuanYi Micro Hei"},          {"黑体", 0, "WenQuanYi Micro Hei"},
      {"楷体_GB2312", 0, "WenQuanYi Micro Hei"},   {"新宋体", 0, "WenQuanYi Micro Hei Mono"},
      {"simsun", 0, "WenQuanYi Micro Hei"},        {"Microsoft YaHei", 0, "WenQuanYi Micro Hei"},
      {"Arial", 0, "DejaVu Sans"},                 {"TAHOMA", 0, "DejaVu Sans"},
      {"MS Sans Serif", 0, "DejaVu Sans"},         {"Times New Roman", 0, "DejaVu Serif"},
      {"Courier New", 0, "DejaVu Sans Mono"},      {"fixedsys", 0, "DejaVu Sans Mono"},
      {"", VARIABLE_PITCH, "WenQuanYi Micro Hei"}, {"", FIXED_PITCH, "DejaVu Sans Mono"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.face) + " -> " + c.installed);
    EXPECT_EQ(draw(c.face, c.pitch), draw(c.installed, 0));
  }
  // The context still reports the face the program asked for.
  HDC dc = CreateCompatibleDC(nullptr);
  HFONT font = CreateFontA(-12, 0, 0, 0, FW_NORMAL, 0, 0, 0, GB2312_CHARSET, 0, 0, 0, 0, "宋体");
  SelectObject(dc, font);
  char face[LF_FACESIZE] = {};
  EXPECT_EQ(GetTextFaceA(dc, LF_FACESIZE, face), 4);
  EXPECT_STREQ(face, "宋体");
  DeleteDC(dc);
  DeleteObject(font);
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

TEST(GdiTest, EndEllipsisReplacesTheCutCharactersWithAnEllipsis) {
  // The elided line must be whole leading characters followed by "…", drawn inside the box; a
  // line merely clipped at the box edge would show part of the next character instead.
  const std::string text = "上证指数深证成指";   // GBK: two bytes a character
  const RECT box{0, 0, 40, 20};
  auto draw = [&](const std::string& line, UINT format) {
    Canvas canvas(70, 20);
    RECT r = box;
    SetTextColor(canvas.dc(), RGB(0, 0, 0));
    DrawTextA(canvas.dc(), line.c_str(), -1, &r, DT_SINGLELINE | format);
    return canvas.Rows();
  };
  const std::vector<std::string> elided = draw(text, DT_END_ELLIPSIS);
  EXPECT_NE(elided, draw(text, 0));
  bool matched = false;
  for (std::size_t kept = 0; kept < text.size() && !matched; kept += 2) {
    matched = elided == draw(text.substr(0, kept) + "…", 0);
  }
  EXPECT_TRUE(matched) << "no prefix + ellipsis draws as the elided line";
  for (const std::string& row : elided) EXPECT_EQ(row.find('#', static_cast<std::size_t>(box.right)), std::string::npos);
  // A line that fits is drawn as it stands.
  EXPECT_EQ(draw("上证", DT_END_ELLIPSIS), draw("上证", 0));
}

TEST(GdiTest, TextInABoxSpanningTheIntRangeLandsWhereANearBoxPutsIt) {
  // Centring works on the box's full width and height, which do not fit an int here; the near
  // box has the same centre (both sides odd by one).
  struct Case {
    const char* name;
    UINT format;
    RECT far, near;
  };
  const Case cases[] = {
      {"centred", DT_CENTER | DT_SINGLELINE, {INT32_MIN, 0, INT32_MAX, 20}, {-1001, 0, 1000, 20}},
      {"centred, wrapping", DT_CENTER | DT_WORDBREAK, {INT32_MIN, 0, INT32_MAX, 20}, {-1001, 0, 1000, 20}},
      {"centred vertically", DT_VCENTER | DT_SINGLELINE, {2, INT32_MIN, 60, INT32_MAX}, {2, -1001, 60, 1000}},
  };
  auto draw = [](RECT box, UINT format) {
    Canvas canvas(40, 20);
    SetTextColor(canvas.dc(), RGB(0, 0, 0));
    SetBkMode(canvas.dc(), TRANSPARENT);
    DrawTextA(canvas.dc(), "成交", -1, &box, format);
    return canvas.Rows();
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> near = draw(c.near, c.format);
    EXPECT_NE(near, Canvas(40, 20).Rows());
    EXPECT_EQ(draw(c.far, c.format), near);
  }
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
  zuvo::platform::PumpMessagesUntil([&] { return painted == w; }, 2000);
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

TEST(GdiTest, ObjectsAreMadeAndDeletedOnAnyThread) {
  // Workers make and drop pens and brushes while the UI thread starts the application and draws
  // with its own: nothing breaks, every handle stays unique and names what was made with it.
  constexpr int kWorkers = 4, kEach = 300;
  std::vector<std::vector<HGDIOBJ>> made(kWorkers);
  std::vector<std::thread> workers;
  for (int w = 0; w < kWorkers; ++w) {
    workers.emplace_back([&made, w] {
      for (int i = 0; i < kEach; ++i) {
        DeleteObject(CreateSolidBrush(RGB(0, 0, w)));
        made[static_cast<std::size_t>(w)].push_back(CreatePen(PS_SOLID, 1, RGB(w, i % 256, 0)));
      }
    });
  }
  Canvas canvas(8, 8);
  for (int i = 0; i < kEach; ++i) {
    HPEN pen = CreatePen(PS_SOLID, 1, kRed);
    SelectObject(canvas.dc(), pen);
    MoveToEx(canvas.dc(), 0, i % 8, nullptr);
    LineTo(canvas.dc(), 8, i % 8);
    SelectObject(canvas.dc(), GetStockObject(BLACK_PEN));
    DeleteObject(pen);
  }
  for (std::thread& worker : workers) worker.join();
  std::set<HGDIOBJ> handles;
  for (int w = 0; w < kWorkers; ++w) {
    for (int i = 0; i < kEach; ++i) {
      HGDIOBJ pen = made[static_cast<std::size_t>(w)][static_cast<std::size_t>(i)];
      EXPECT_TRUE(handles.insert(pen).second);
      LOGPEN description{};
      ASSERT_EQ(GetObjectA(pen, sizeof description, &description), static_cast<int>(sizeof description));
      EXPECT_EQ(description.lopnColor, RGB(w, i % 256, 0));
      DeleteObject(pen);
    }
  }
  for (const std::string& row : canvas.Rows()) EXPECT_EQ(row, "########");
}

TEST(GdiTest, DrawingFromAWorkerStopsTheProgram) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      {
        Canvas canvas(4, 4);
        std::thread worker([&canvas] { SetPixel(canvas.dc(), 1, 1, kRed); });
        worker.join();
      },
      "GDI context's drawing state touched off the UI thread");
}

}  // namespace

// The canvas, pens, brushes and fonts of the form class library, read back in pixels of a
// memory bitmap: what each drawing call paints with the canvas's objects and modes, the font's
// point/pixel conversions, and the GDI objects made, selected, put back and deleted.
#include "platform/Canvas.h"

#include "MemoryCanvas.h"

#include "platform/WinUser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);

// A memory context on a white bitmap, with pixels read against one ink colour.
class Bitmap : public platformtest::MemoryCanvas {
 public:
  using MemoryCanvas::MemoryCanvas;
  COLORREF At(int x, int y) const { return GetPixel(dc(), x, y); }
  // The picture as rows of '#' (the colour asked), '.' (white) and '?' (anything else).
  std::vector<std::string> Rows(COLORREF ink) const {
    std::vector<std::string> rows;
    for (int y = 0; y < height(); ++y) {
      std::string row;
      for (int x = 0; x < width(); ++x) {
        COLORREF c = At(x, y);
        row += c == ink ? '#' : c == kWhite ? '.' : '?';
      }
      rows.push_back(row);
    }
    return rows;
  }
};

TEST(CanvasTest, ColorToRgbResolvesSystemColoursAndTheSpecialValues) {
  struct Case {
    TColor color;
    COLORREF rgb;
  };
  const Case cases[] = {
      {clRed, kRed},
      {clNavy, RGB(0, 0, 128)},
      {clBtnFace, RGB(212, 208, 200)},
      {clWindow, GetSysColor(COLOR_WINDOW)},
      {clWindowText, GetSysColor(COLOR_WINDOWTEXT)},
      {clHighlight, GetSysColor(COLOR_HIGHLIGHT)},
      {clNone, kBlack},
      {clDefault, kBlack},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.color);
    EXPECT_EQ(ColorToRGB(c.color), c.rgb);
  }
}

TEST(CanvasTest, PenColourWidthAndModeReachThePixels) {
  struct Case {
    TColor color;
    int width;
    std::string across;   // the middle column, top down: '#' is the pen's colour
  };
  const Case cases[] = {
      {clRed, 1, ".#.."},
      {clBlue, 3, "###."},
      {clBtnShadow, 0, ".#.."},   // below 1 draws one pixel
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.width);
    Bitmap bitmap(6, 4);
    TCanvas canvas;
    canvas.SetHandle(bitmap.dc());
    canvas.Pen()->SetColor(c.color);
    canvas.Pen()->SetWidth(c.width);
    canvas.MoveTo(1, 1);
    canvas.LineTo(5, 1);
    std::string across;
    for (const std::string& row : bitmap.Rows(ColorToRGB(c.color))) across += row[3];
    EXPECT_EQ(across, c.across);
    EXPECT_EQ(canvas.Pen()->Width(), std::max(1, c.width));
    EXPECT_EQ(canvas.PenPos(), TPoint(5, 1));
  }

  // pmXor drawn twice gives the picture back; a dotted pen leaves gaps.
  Bitmap bitmap(12, 4);
  TCanvas canvas;
  canvas.SetHandle(bitmap.dc());
  canvas.Brush()->SetColor(clBlue);
  canvas.FillRect(TRect(0, 0, 6, 4));
  const std::vector<COLORREF> before = bitmap.All();
  canvas.Pen()->SetColor(clWhite);
  canvas.Pen()->SetMode(pmXor);
  canvas.MoveTo(0, 2);
  canvas.LineTo(12, 2);
  EXPECT_EQ(bitmap.At(1, 2), RGB(255, 255, 0));   // blue ^ white
  EXPECT_EQ(bitmap.At(8, 2), kBlack);             // white ^ white
  canvas.MoveTo(0, 2);
  canvas.LineTo(12, 2);
  EXPECT_EQ(bitmap.All(), before);

  // A dotted pen fills its gaps with the brush colour, unless the brush is clear.
  Bitmap dots(12, 2);
  canvas.SetHandle(dots.dc());
  canvas.Pen()->SetMode(pmCopy);
  canvas.Pen()->SetColor(clBlack);
  canvas.Pen()->SetStyle(psDot);
  canvas.MoveTo(0, 0);
  canvas.LineTo(12, 0);
  canvas.Brush()->SetStyle(bsClear);
  canvas.MoveTo(0, 1);
  canvas.LineTo(12, 1);
  EXPECT_EQ(dots.Rows(kBlack), (std::vector<std::string>{"###???###???", "###...###..."}));
  EXPECT_EQ(dots.At(4, 0), kBlue);
}

TEST(CanvasTest, BrushFillsShapesUnlessClearAndFramesAreOnePixel) {
  Bitmap bitmap(8, 6);
  TCanvas canvas;
  canvas.SetHandle(bitmap.dc());
  canvas.Pen()->SetColor(clBlack);
  canvas.Brush()->SetColor(clRed);
  canvas.Rectangle(0, 0, 5, 4);
  EXPECT_EQ(bitmap.Rows(kRed), (std::vector<std::string>{"?????...", "?###?...", "?###?...", "?????...",
                                                        "........", "........"}));
  EXPECT_EQ(bitmap.At(0, 0), kBlack);

  // A hollow brush leaves the inside; setting a colour makes the brush solid again.
  canvas.Brush()->SetStyle(bsClear);
  canvas.Rectangle(3, 2, 8, 6);
  EXPECT_EQ(bitmap.At(5, 4), kWhite);
  EXPECT_EQ(bitmap.At(4, 3), kBlack);   // the outline still drawn
  canvas.FillRect(TRect(0, 4, 8, 6));
  EXPECT_EQ(bitmap.At(1, 5), kWhite);
  canvas.Brush()->SetColor(clBlue);
  EXPECT_EQ(canvas.Brush()->Style(), bsSolid);

  Bitmap frame(6, 5);
  canvas.SetHandle(frame.dc());
  canvas.FrameRect(TRect(1, 1, 5, 4));
  EXPECT_EQ(frame.Rows(kBlue), (std::vector<std::string>{"......", ".####.", ".#..#.", ".####.", "......"}));
  canvas.FillRect(TRect(0, 0, 2, 2));
  EXPECT_EQ(frame.Rows(kBlue)[0], "##....");
}

TEST(CanvasTest, FocusRectanglesInvertEveryOtherPixelAndUndoThemselves) {
  Bitmap bitmap(8, 6);
  TCanvas canvas;
  canvas.SetHandle(bitmap.dc());
  canvas.DrawFocusRect(TRect(1, 1, 7, 5));
  EXPECT_EQ(bitmap.Rows(kBlack),
            (std::vector<std::string>{"........", ".#.#.#..", "......#.", ".#......", "..#.#.#.", "........"}));
  canvas.DrawFocusRect(TRect(1, 1, 7, 5));
  for (COLORREF c : bitmap.All()) EXPECT_EQ(c, kWhite);
}

TEST(CanvasTest, FloodFillPaintsTheSurfaceOrUpToTheBorder) {
  Bitmap bitmap(9, 7);
  TCanvas canvas;
  canvas.SetHandle(bitmap.dc());
  canvas.Brush()->SetStyle(bsClear);
  canvas.Rectangle(1, 1, 6, 6);   // a black box; its inside and the outside are white
  canvas.Brush()->SetColor(clRed);
  canvas.FloodFill(3, 3, clWhite, fsSurface);
  EXPECT_EQ(bitmap.Rows(kRed), (std::vector<std::string>{".........", ".?????...", ".?###?...", ".?###?...",
                                                        ".?###?...", ".?????...", "........."}));
  // Up to the black border from outside: everything but the box.
  canvas.Brush()->SetColor(clBlue);
  canvas.FloodFill(8, 0, clBlack, fsBorder);
  EXPECT_EQ(bitmap.At(0, 0), kBlue);
  EXPECT_EQ(bitmap.At(8, 6), kBlue);
  EXPECT_EQ(bitmap.At(3, 3), kRed);
  // Filling with the colour already there ends.
  canvas.FloodFill(0, 0, clBlue, fsSurface);
  EXPECT_EQ(bitmap.At(0, 0), kBlue);
}

TEST(CanvasTest, TextTakesTheFontColourAndTheBrushAsBackground) {
  Bitmap bitmap(80, 24);
  TCanvas canvas;
  canvas.SetHandle(bitmap.dc());
  canvas.Font()->SetColor(clRed);
  canvas.Brush()->SetStyle(bsClear);
  const std::string text = "浦发A";
  const SIZE extent = canvas.TextExtent(text);
  EXPECT_GT(extent.cx, 0);
  EXPECT_GE(extent.cy, 12);
  EXPECT_EQ(canvas.TextWidth(text), extent.cx);
  canvas.TextOut(2, 2, text);
  EXPECT_EQ(canvas.PenPos(), TPoint(2 + extent.cx, 2));
  int inked = 0;
  for (COLORREF c : bitmap.All()) {
    if (c == kWhite) continue;
    ++inked;
    // Ink is red, or red blended into the white page.
    EXPECT_EQ(GetRValue(c), 255);
    EXPECT_EQ(GetGValue(c), GetBValue(c));
  }
  EXPECT_GT(inked, 10);

  // An opaque brush fills the text's cell with its colour, and nothing beyond it.
  Bitmap opaque(80, 24);
  canvas.SetHandle(opaque.dc());
  canvas.Brush()->SetColor(clBlue);
  canvas.TextOut(2, 2, text);
  int blue = 0;
  for (int y = 0; y < opaque.height(); ++y) {
    for (int x = 0; x < opaque.width(); ++x) {
      // (Anti-aliased ink may reach a pixel past the measured cell.)
      const bool nearCell = x >= 1 && x < 4 + extent.cx && y >= 1 && y < 4 + extent.cy;
      if (!nearCell) {
        EXPECT_EQ(opaque.At(x, y), kWhite) << x << "," << y;
      }
      blue += opaque.At(x, y) == kBlue;
    }
  }
  EXPECT_GT(blue, extent.cx * extent.cy / 3);
}

TEST(CanvasTest, TextRectClipsToItsRectangle) {
  const RECT box{10, 4, 30, 16};
  for (TBrushStyle style : {bsSolid, bsClear}) {
    SCOPED_TRACE(style);
    Bitmap bitmap(60, 24);
    TCanvas canvas;
    canvas.SetHandle(bitmap.dc());
    canvas.Font()->SetColor(clBlack);
    canvas.Brush()->SetColor(clBlue);
    canvas.Brush()->SetStyle(style);
    canvas.TextRect(box, 2, 2, "WWWWWWWWWWWW");
    int inked = 0, blue = 0;
    for (int y = 0; y < bitmap.height(); ++y) {
      for (int x = 0; x < bitmap.width(); ++x) {
        const COLORREF c = bitmap.At(x, y);
        const bool inside = x >= box.left && x < box.right && y >= box.top && y < box.bottom;
        if (!inside) {
          EXPECT_EQ(c, kWhite) << x << "," << y;
          continue;
        }
        inked += c != kWhite && c != kBlue;
        blue += c == kBlue;
      }
    }
    EXPECT_GT(inked, 5);
    if (style == bsSolid) EXPECT_GT(blue, 20);
    else EXPECT_EQ(blue, 0);
  }
}

TEST(CanvasTest, FontPointsAndPixelsConvertAtTheScreensDotsPerInch) {
  TFont font;
  EXPECT_EQ(font.Name(), "Tahoma");
  EXPECT_EQ(font.PixelsPerInch(), 96);
  EXPECT_EQ(font.Size(), 9);
  EXPECT_EQ(font.Height(), -12);
  EXPECT_EQ(font.Charset(), GB2312_CHARSET);
  EXPECT_EQ(font.Color(), clWindowText);
  EXPECT_EQ(font.Style(), 0);
  struct Size {
    int points, height;
  };
  for (const Size& c : {Size{8, -11}, Size{9, -12}, Size{10, -13}, Size{12, -16}, Size{36, -48}, Size{0, 0}}) {
    SCOPED_TRACE(c.points);
    font.SetSize(c.points);
    EXPECT_EQ(font.Height(), c.height);
    EXPECT_EQ(font.Size(), c.points);
  }
  // Heights in between round to the nearest point, halves away from zero; a positive height is
  // a cell height and gives a negative size.
  for (const Size& c : {Size{8, -11}, Size{10, -13}, Size{11, -14}, Size{11, -15}, Size{-12, 16}}) {
    SCOPED_TRACE(c.height);
    font.SetHeight(c.height);
    EXPECT_EQ(font.Size(), c.points);
  }

  // What the GDI font is made of.
  font.SetName("宋体");
  font.SetHeight(-16);
  font.SetStyle(FontStyleBit(fsBold) | FontStyleBit(fsItalic) | FontStyleBit(fsUnderline));
  LOGFONTA lf{};
  ASSERT_EQ(GetObjectA(font.Handle(), sizeof lf, &lf), static_cast<int>(sizeof lf));
  EXPECT_EQ(lf.lfHeight, -16);
  EXPECT_EQ(lf.lfWeight, FW_BOLD);
  EXPECT_TRUE(lf.lfItalic);
  EXPECT_TRUE(lf.lfUnderline);
  EXPECT_FALSE(lf.lfStrikeOut);
  EXPECT_EQ(lf.lfCharSet, GB2312_CHARSET);
  EXPECT_EQ(std::string(lf.lfFaceName), "宋体");

  TFont copy;
  copy.Assign(font);
  EXPECT_EQ(copy.Name(), "宋体");
  EXPECT_EQ(copy.Height(), -16);
  EXPECT_EQ(copy.Style(), font.Style());
  EXPECT_NE(copy.Handle(), font.Handle());
}

// Every object a pen, brush or font made is deleted with the next change and with the object,
// and OnChange follows each change (not a repeat of the same value).
TEST(CanvasTest, ObjectsAreMadeOnDemandAndDeletedOnChangeAndWithTheirOwner) {
  std::vector<HGDIOBJ> made;
  int changes = 0;
  {
    TPen pen;
    TBrush brush;
    TFont font;
    for (auto* onChange : {&pen.OnChange, &brush.OnChange, &font.OnChange}) *onChange = [&] { ++changes; };
    made = {pen.Handle(), brush.Handle(), font.Handle()};
    for (HGDIOBJ h : made) ASSERT_NE(h, nullptr);
    EXPECT_EQ(pen.Handle(), made[0]);   // made once

    pen.SetColor(clRed);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(GetObjectType(made[0]), 0u);
    pen.SetColor(clRed);
    EXPECT_EQ(changes, 1);
    HPEN red = pen.Handle();
    EXPECT_NE(red, nullptr);
    LOGPEN lp{};
    GetObjectA(red, sizeof lp, &lp);
    EXPECT_EQ(lp.lopnColor, kRed);
    pen.SetMode(pmXor);   // a context setting: the pen object stays
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(pen.Handle(), red);
    made.push_back(red);

    brush.SetStyle(bsClear);
    EXPECT_EQ(GetObjectType(made[1]), 0u);
    EXPECT_EQ(brush.Handle(), GetStockObject(HOLLOW_BRUSH));
    brush.SetColor(clBlue);
    HBRUSH blue = brush.Handle();
    LOGBRUSH lb{};
    GetObjectA(blue, sizeof lb, &lb);
    EXPECT_EQ(lb.lbColor, kBlue);
    EXPECT_EQ(lb.lbStyle, BS_SOLID);
    made.push_back(blue);

    font.SetColor(clRed);   // the text colour is the context's: the font object stays
    EXPECT_EQ(font.Handle(), made[2]);
    font.SetSize(12);
    EXPECT_EQ(GetObjectType(made[2]), 0u);
    made.push_back(font.Handle());
    EXPECT_EQ(changes, 6);
    for (std::size_t i = 3; i < made.size(); ++i) EXPECT_NE(GetObjectType(made[i]), 0u);
  }
  for (HGDIOBJ h : made) EXPECT_EQ(GetObjectType(h), 0u);
  EXPECT_EQ(GetObjectType(GetStockObject(HOLLOW_BRUSH)), OBJ_BRUSH);
}

// The canvas selects its objects into the context while it draws and puts the context's own
// back when they change, when it moves to another context and when it dies.
TEST(CanvasTest, ContextGetsItsOwnObjectsBackWhenTheCanvasLetsGo) {
  Bitmap a(10, 4), b(10, 4);
  const HGDIOBJ penA = GetCurrentObject(a.dc(), OBJ_PEN);
  const HGDIOBJ brushA = GetCurrentObject(a.dc(), OBJ_BRUSH);
  const HGDIOBJ fontA = GetCurrentObject(a.dc(), OBJ_FONT);
  const HGDIOBJ penB = GetCurrentObject(b.dc(), OBJ_PEN);
  HGDIOBJ redPen = nullptr, bluePen = nullptr;
  {
    TCanvas canvas;
    canvas.SetHandle(a.dc());
    canvas.Pen()->SetColor(clRed);
    canvas.MoveTo(0, 0);
    canvas.LineTo(10, 0);
    redPen = canvas.Pen()->Handle();
    EXPECT_EQ(GetCurrentObject(a.dc(), OBJ_PEN), redPen);
    EXPECT_EQ(GetCurrentObject(a.dc(), OBJ_BRUSH), canvas.Brush()->Handle());
    EXPECT_EQ(GetCurrentObject(a.dc(), OBJ_FONT), canvas.Font()->Handle());
    EXPECT_EQ(GetROP2(a.dc()), R2_COPYPEN);

    // A change while selected: the old pen leaves the context before it is deleted.
    canvas.Pen()->SetColor(clBlue);
    EXPECT_EQ(GetCurrentObject(a.dc(), OBJ_PEN), penA);
    EXPECT_EQ(GetObjectType(redPen), 0u);
    canvas.Pen()->SetMode(pmNot);
    canvas.MoveTo(0, 1);
    canvas.LineTo(10, 1);
    EXPECT_EQ(a.At(3, 1), kBlack);   // white inverted
    EXPECT_EQ(GetROP2(a.dc()), R2_NOT);
    canvas.Pen()->SetMode(pmCopy);

    // Swapped to another context mid-way: the first gets its objects back, the second draws.
    canvas.SetHandle(b.dc());
    EXPECT_EQ(GetCurrentObject(a.dc(), OBJ_PEN), penA);
    EXPECT_EQ(GetCurrentObject(a.dc(), OBJ_BRUSH), brushA);
    EXPECT_EQ(GetCurrentObject(a.dc(), OBJ_FONT), fontA);
    canvas.MoveTo(0, 2);
    canvas.LineTo(10, 2);
    EXPECT_EQ(b.At(4, 2), kBlue);
    EXPECT_EQ(a.At(4, 2), kWhite);
    MoveToEx(a.dc(), 0, 3, nullptr);
    LineTo(a.dc(), 10, 3);   // the first context's own pen again
    EXPECT_EQ(a.At(4, 3), kBlack);
    EXPECT_EQ(GetCurrentObject(b.dc(), OBJ_PEN), canvas.Pen()->Handle());
    bluePen = canvas.Pen()->Handle();
  }
  EXPECT_EQ(GetCurrentObject(b.dc(), OBJ_PEN), penB);
  EXPECT_EQ(GetObjectType(bluePen), 0u);   // deleted with the canvas, after leaving the context
}

TEST(CanvasTest, CopyRectAndClipRect) {
  Bitmap from(8, 8), to(8, 8);
  TCanvas source, dest;
  source.SetHandle(from.dc());
  dest.SetHandle(to.dc());
  source.Brush()->SetColor(clRed);
  source.FillRect(TRect(0, 0, 2, 2));
  dest.CopyRect(TRect(4, 4, 8, 8), &source, TRect(0, 0, 4, 4));   // twice the size
  EXPECT_EQ(to.At(4, 4), kRed);
  EXPECT_EQ(to.At(7, 7), kWhite);
  EXPECT_EQ(to.At(3, 3), kWhite);
  EXPECT_EQ(dest.Pixels(5, 5), static_cast<TColor>(kRed));
  dest.SetPixels(0, 0, clBlue);
  EXPECT_EQ(to.At(0, 0), kBlue);
  EXPECT_EQ(dest.ClipRect(), TRect(0, 0, 8, 8));
  IntersectClipRect(to.dc(), 2, 2, 5, 6);
  EXPECT_EQ(dest.ClipRect(), TRect(2, 2, 5, 6));
  dest.CopyRect(TRect(0, 0, 8, 8), nullptr, TRect(0, 0, 8, 8));   // no source: nothing
}

// A canvas without a context, and one that makes its context on demand as a control's does.
TEST(CanvasTest, WithoutAContextNothingIsDrawnAndNothingBreaks) {
  TCanvas canvas;
  int changes = 0;
  canvas.OnChange = [&] { ++changes; };
  const POINT points[] = {{0, 0}, {4, 4}, {0, 4}};
  canvas.MoveTo(1, 1);
  canvas.LineTo(5, 5);
  canvas.Rectangle(0, 0, 4, 4);
  canvas.RoundRect(0, 0, 4, 4, 2, 2);
  canvas.Ellipse(0, 0, 4, 4);
  canvas.Polygon(points, 3);
  canvas.Polyline(points, 3);
  canvas.FillRect(TRect(0, 0, 2, 2));
  canvas.FrameRect(TRect(0, 0, 2, 2));
  canvas.DrawFocusRect(TRect(0, 0, 2, 2));
  canvas.FloodFill(0, 0, clWhite, fsSurface);
  canvas.TextOut(0, 0, "x");
  canvas.TextRect(TRect(0, 0, 2, 2), 0, 0, "x");
  canvas.SetPixels(0, 0, clRed);
  EXPECT_EQ(canvas.TextExtent("abc").cx, 0);
  EXPECT_EQ(canvas.Pixels(0, 0), static_cast<TColor>(CLR_INVALID));
  EXPECT_EQ(canvas.ClipRect(), TRect());
  EXPECT_EQ(canvas.PenPos(), TPoint());
  EXPECT_EQ(canvas.Handle(), nullptr);
  EXPECT_FALSE(canvas.HandleAllocated());
  EXPECT_EQ(changes, 0);

  // A dead context: calls reach the GDI layer, which refuses them.
  Bitmap* gone = new Bitmap(4, 4);
  canvas.SetHandle(gone->dc());
  delete gone;
  canvas.LineTo(3, 3);
  canvas.TextOut(0, 0, "x");
  canvas.SetHandle(nullptr);

  struct WindowCanvas : TCanvas {
    explicit WindowCanvas(HDC dc) : dc(dc) {}
    void CreateHandle() override {
      ++asked;
      dc_ = dc;
    }
    HDC dc;
    int asked = 0;
  };
  Bitmap bitmap(4, 4);
  WindowCanvas onDemand(bitmap.dc());
  onDemand.Brush()->SetColor(clRed);
  onDemand.FillRect(TRect(0, 0, 4, 4));
  EXPECT_EQ(onDemand.asked, 1);
  EXPECT_EQ(bitmap.At(2, 2), kRed);
  onDemand.FillRect(TRect(0, 0, 1, 1));
  EXPECT_EQ(onDemand.asked, 1);
  onDemand.SetHandle(nullptr);
}

}  // namespace

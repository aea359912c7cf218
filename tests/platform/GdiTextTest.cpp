// The focus rectangle and the underlined prefix character of DrawTextA, read back by pixels.
#include "MemoryCanvas.h"

#include "platform/WinUser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using platformtest::MemoryCanvas;

// A picture in which every pixel differs from its neighbours, so that an inversion in the wrong
// place, or twice in one place, shows.
void Paint(const MemoryCanvas& canvas) {
  for (int y = 0; y < canvas.height(); ++y)
    for (int x = 0; x < canvas.width(); ++x) SetPixel(canvas.dc(), x, y, RGB(x * 20, y * 30, (x * 7 + y * 11) % 256));
}

TEST(GdiFocusRectTest, InvertsEveryOtherPixelOfTheFrame) {
  MemoryCanvas canvas(8, 5);
  const RECT r{1, 1, 7, 4};
  EXPECT_TRUE(DrawFocusRect(canvas.dc(), &r));
  EXPECT_EQ(canvas.Rows(), (std::vector<std::string>{"........", ".#.#.#..", "......#.", ".#.#.#..", "........"}));
  EXPECT_EQ(GetPixel(canvas.dc(), 1, 1), RGB(0, 0, 0));   // white inverted
  // A frame one pixel wide: its two sides are one column, inverted once.
  MemoryCanvas thin(4, 5);
  const RECT column{2, 0, 3, 5};
  DrawFocusRect(thin.dc(), &column);
  EXPECT_EQ(thin.Rows(), (std::vector<std::string>{"..#.", "....", "..#.", "....", "..#."}));
  EXPECT_FALSE(DrawFocusRect(nullptr, &r));
}

TEST(GdiFocusRectTest, DrawnTwiceRestoresTheImage) {
  struct Case {
    const char* name;
    RECT rect;
    POINT origin;
  };
  const Case cases[] = {
      {"inside", {2, 1, 11, 7}, {0, 0}},
      {"one pixel wide", {4, 0, 5, 8}, {0, 0}},
      {"one pixel high", {0, 3, 12, 4}, {0, 0}},
      {"odd corner", {3, 2, 6, 5}, {0, 0}},
      {"partly outside", {-3, -2, 5, 4}, {0, 0}},
      {"far beyond the image", {-2000000000, -2000000000, 2000000000, 2000000000}, {0, 0}},
      {"moved by the viewport", {0, 0, 5, 5}, {3, 2}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryCanvas canvas(12, 8);
    Paint(canvas);
    SetViewportOrgEx(canvas.dc(), c.origin.x, c.origin.y, nullptr);
    const std::vector<COLORREF> before = canvas.All();
    DrawFocusRect(canvas.dc(), &c.rect);
    if (static_cast<long long>(c.rect.right) - c.rect.left < 1000) {
      EXPECT_NE(canvas.All(), before);
    }
    DrawFocusRect(canvas.dc(), &c.rect);
    EXPECT_EQ(canvas.All(), before);
  }
}

TEST(GdiFocusRectTest, StaysInsideTheClip) {
  MemoryCanvas canvas(8, 5);
  IntersectClipRect(canvas.dc(), 0, 0, 4, 5);
  const RECT r{1, 1, 7, 4};
  DrawFocusRect(canvas.dc(), &r);
  EXPECT_EQ(canvas.Rows(), (std::vector<std::string>{"........", ".#.#....", "........", ".#.#....", "........"}));
}

// Text drawn in black on white with a 16-pixel font, transparently.
class PrefixTest : public ::testing::Test {
 protected:
  void SetUp() override {
    font_ = CreateFontA(-16, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, NONANTIALIASED_QUALITY, 0, "Arial");
    MemoryCanvas probe(1, 1);
    HGDIOBJ old = SelectObject(probe.dc(), font_);
    GetTextMetricsA(probe.dc(), &metrics_);
    SelectObject(probe.dc(), old);
  }
  void TearDown() override { DeleteObject(font_); }

  std::vector<std::string> Draw(const std::string& text, UINT format, RECT box = {0, 0, 90, 40}) {
    MemoryCanvas canvas(90, 40);
    SelectObject(canvas.dc(), font_);
    SetBkMode(canvas.dc(), TRANSPARENT);
    SetTextColor(canvas.dc(), RGB(0, 0, 0));
    DrawTextA(canvas.dc(), text.c_str(), -1, &box, format);
    SelectObject(canvas.dc(), GetStockObject(SYSTEM_FONT));
    return canvas.Rows();
  }
  int Advance(const std::string& text) {
    MemoryCanvas probe(1, 1);
    HGDIOBJ old = SelectObject(probe.dc(), font_);
    SIZE size{};
    GetTextExtentPoint32A(probe.dc(), text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(probe.dc(), old);
    return size.cx;
  }

  struct Box {
    int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;   // inclusive; right -1: empty
  };
  // The pixels set in `marked` but not in `plain`.
  static Box Added(const std::vector<std::string>& marked, const std::vector<std::string>& plain) {
    Box box;
    for (std::size_t y = 0; y < marked.size(); ++y) {
      for (std::size_t x = 0; x < marked[y].size(); ++x) {
        if (marked[y][x] == '#' && plain[y][x] == '.') {
          box.left = std::min(box.left, static_cast<int>(x));
          box.right = std::max(box.right, static_cast<int>(x));
          box.top = std::min(box.top, static_cast<int>(y));
          box.bottom = std::max(box.bottom, static_cast<int>(y));
        }
      }
    }
    return box;
  }

  HFONT font_ = nullptr;
  TEXTMETRICA metrics_{};
};

TEST_F(PrefixTest, UnderlinesTheMarkedCharacterBelowItsBaseline) {
  struct Case {
    const char* marked;
    const char* plain;
    const char* before;   // the text left of the underlined character
    const char* character;
    UINT format;
    int line;   // the line the character is on
  };
  const Case cases[] = {
      {"&File", "File", "", "F", DT_SINGLELINE, 0},
      {"Fi&le", "File", "Fi", "l", DT_SINGLELINE, 0},
      {"&a&b&Wide", "abWide", "ab", "W", DT_SINGLELINE, 0},   // the last mark wins
      {"&&x&Mark", "&xMark", "&x", "M", DT_SINGLELINE, 0},
      {"\t&Tab", "\tTab", "        ", "T", DT_SINGLELINE | DT_EXPANDTABS, 0},
      {"ab\r\n&Second", "ab\r\nSecond", "", "S", 0, 1},
      {"one &two", "one two", "", "t", DT_WORDBREAK, 1},   // wrapped: "two" starts the second line
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.marked);
    const RECT box = (c.format & DT_WORDBREAK) ? RECT{0, 0, Advance("one t"), 40} : RECT{0, 0, 90, 40};
    const std::vector<std::string> marked = Draw(c.marked, c.format, box);
    const std::vector<std::string> plain = Draw(c.plain, c.format | DT_NOPREFIX, box);
    const Box added = Added(marked, plain);
    ASSERT_GE(added.right, 0) << "no underline";
    const int x = Advance(c.before);
    const int width = Advance(c.character);
    const int cellTop = c.line * metrics_.tmHeight;
    EXPECT_GE(added.left, x);
    EXPECT_LE(added.right, x + width - 1);
    EXPECT_GE(added.right - added.left + 1, width - 1) << "the line spans the character";
    EXPECT_GE(added.top, cellTop + metrics_.tmAscent) << "below the baseline";
    EXPECT_LT(added.bottom, cellTop + metrics_.tmHeight) << "inside the cell";
    EXPECT_EQ(Added(plain, marked).right, -1) << "the underline takes nothing of the text away";
  }
}

TEST_F(PrefixTest, NoUnderlineWithoutASingleMark) {
  struct Case {
    const char* text;
    UINT format;
    const char* same;   // drawn as this without prefix processing
  };
  const Case cases[] = {
      {"&File", DT_SINGLELINE | DT_NOPREFIX, "&File"},
      {"&&File", DT_SINGLELINE, "&File"},
      {"&File", DT_SINGLELINE | DT_HIDEPREFIX, "File"},
      {"File&", DT_SINGLELINE, "File"},   // a mark with nothing after it
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(Draw(c.text, c.format), Draw(c.same, DT_SINGLELINE | DT_NOPREFIX));
  }
  // Measuring sees the text without its marks.
  MemoryCanvas canvas(1, 1);
  SelectObject(canvas.dc(), font_);
  RECT marked{0, 0, 0, 0}, plain{0, 0, 0, 0};
  DrawTextA(canvas.dc(), "Fi&le", -1, &marked, DT_CALCRECT | DT_SINGLELINE);
  DrawTextA(canvas.dc(), "File", -1, &plain, DT_CALCRECT | DT_SINGLELINE);
  EXPECT_EQ(marked.right, plain.right);
  SelectObject(canvas.dc(), GetStockObject(SYSTEM_FONT));
}

TEST_F(PrefixTest, AnEllipsisTakesTheUnderlineOnlyWithItsCharacter) {
  const RECT narrow{0, 0, 60, 40};
  const UINT format = DT_SINGLELINE | DT_END_ELLIPSIS;
  // The marked character is cut off: the line is the plain elided line.
  EXPECT_EQ(Draw("上证指数深证&成指", format, narrow), Draw("上证指数深证成指", format, narrow));
  // The marked character is kept: it stays underlined.
  const Box added = Added(Draw("&上证指数深证成指", format, narrow), Draw("上证指数深证成指", format, narrow));
  EXPECT_GE(added.right, 0);
  EXPECT_LE(added.right, Advance("上") - 1);
}

}  // namespace

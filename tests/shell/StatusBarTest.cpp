// The status boxes painted offscreen on a real main window: fills and frames in the skin
// colours, the page name in the scheme colours, the index change coloured by its sign, the
// title letters and where the ticker places its notices. Colours and places are compared, never
// the glyphs themselves.
#include "TimerFrameFixture.h"

#include "data/MarketData.h"
#include "data/UtilData.h"
#include "platform/Gdi.h"
#include "shell/MainFrame.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr COLORREF kBackground = RGB(240, 236, 200);
constexpr COLORREF kBorder = RGB(90, 92, 160);
constexpr COLORREF kCtrlBorder = RGB(20, 120, 118);
constexpr COLORREF kRed = 0x0000FF;
constexpr COLORREF kBlue = 0xFF0000;
constexpr COLORREF kDarkGreen = 0x007F00;

class StatusBarTest : public shelltest::TimerFrameTest {
 protected:
  void SetUp() override {
    TimerFrameTest::SetUp();
    frame->SkinBackground = kBackground;
    frame->SkinBorder = kBorder;
    frame->SkinCtrlBorder = kCtrlBorder;
    for (int i = 0; i < 4; ++i) frame->TitleLetters[i] = std::string(1, "ZUVO"[i]);
    savedColors_[0] = ColorTable[51];
    savedColors_[1] = ColorTable[52];
    savedColors_[2] = ColorTable[53];
  }
  void TearDown() override {
    ColorTable[51] = savedColors_[0];
    ColorTable[52] = savedColors_[1];
    ColorTable[53] = savedColors_[2];
    TimerFrameTest::TearDown();
  }
  void SetIndex(int slot, double previousClose, double last, double amount) {
    frame->IndexSlots[slot].previousClose = previousClose;
    frame->IndexSlots[slot].last = last;
    frame->IndexSlots[slot].amount = amount;
  }

 private:
  COLORREF savedColors_[3] = {};
};

TEST_F(StatusBarTest, SkinnedBoxesAreFilledWithBackgroundAndFramedWithBorder) {
  frame->ServerClock = 9 * 60 + 5;
  // No title letters (the installed default): the opaque letters would cover the title box's lines.
  for (std::string& letter : frame->TitleLetters) letter.clear();
  struct Case {
    const char* name;
    TPaintBox* box;
    bool hasBlueText;
  };
  const Case cases[] = {
      {"index bar", frame->StatusBox1, true},   // 沪 and 深
      {"ticker without notices", frame->StatusBox6, false},
      {"title without letters", frame->StatusBox4, false},
      {"clock", frame->StatusBox5, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto pixels = BoxPixels(c.box);
    ASSERT_FALSE(pixels.empty());
    // Texts drawn from y = -1 (the title from -3, on its background) may run over the top,
    // bottom and right lines; they start right of the left one.
    EXPECT_TRUE(Framed(pixels, kBorder, /*textOnEdges=*/c.hasBlueText));
    EXPECT_GT(Count(pixels, kBackground), 0);
    EXPECT_EQ(Count(pixels, kBlue) > 0, c.hasBlueText);
    EXPECT_EQ(Count(pixels, kRed), 0);
  }
}

TEST_F(StatusBarTest, ThePageNameIsDrawnInCOLOR52OnCOLOR54) {
  ColorTable[51] = RGB(250, 250, 0);   // COLOR52
  ColorTable[53] = RGB(0, 40, 120);    // COLOR54
  frame->ShowPageBoxText("▲ 默认页面");
  const auto pixels = BoxPixels(frame->StatusBox2);
  EXPECT_GT(Count(pixels, ColorTable[51]), 0);
  EXPECT_GT(Count(pixels, ColorTable[53]), Count(pixels, ColorTable[51]));
  EXPECT_EQ(Count(pixels, kBackground), 0);
  EXPECT_EQ(Count(pixels, kBorder), 0);
}

TEST_F(StatusBarTest, TheIndexChangeTakesTheColourOfItsSign) {
  struct Case {
    const char* name;
    double previousClose, last;
    COLORREF change;
  };
  const Case cases[] = {
      {"up", 300000, 310000, kRed},
      {"down", 300000, 290000, kDarkGreen},
      {"unchanged", 300000, 300000, kCtrlBorder},
      {"no previous close: 0.00", 0, 310000, kCtrlBorder},
  };
  const COLORREF colours[] = {kRed, kDarkGreen, kCtrlBorder};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // The same index in both slots: each half of the bar shows it.
    SetIndex(0, c.previousClose, c.last, 1.5e10);
    SetIndex(1, c.previousClose, c.last, 1.5e10);
    const auto pixels = BoxPixels(frame->StatusBox1);
    const int halves[2][2] = {{14, 123}, {200, 311}};   // price and change columns of each index
    for (const auto& half : halves) {
      EXPECT_GT(Count(pixels, c.change, half[0], half[1]), 0);
      for (COLORREF other : colours) {
        if (other != c.change) EXPECT_EQ(Count(pixels, other, half[0], half[1]), 0);
      }
    }
    // The amounts and "亿" always in CtrlBorder.
    EXPECT_GT(Count(pixels, kCtrlBorder, 123, 189), 0);
    EXPECT_GT(Count(pixels, kCtrlBorder, 311, 368), 0);
  }
}

TEST_F(StatusBarTest, AnEmptyMarketShowsNoIndexAndADivisorOfZeroStaysInTheRecord) {
  TMarketData* shanghai = GetMarketTable(0);
  TMarketData* shenzhen = GetMarketTable(1);
  ASSERT_NE(shanghai, nullptr);
  ASSERT_NE(shenzhen, nullptr);
  shanghai->names[0].priceDivisor = 0;
  const int shenzhenCount = shenzhen->count;
  shenzhen->count = 0;
  SetIndex(0, 300000, 310000, 1.5e10);
  SetIndex(1, 300000, 310000, 1.5e10);

  const auto pixels = BoxPixels(frame->StatusBox1);
  const std::uint32_t divisor = shanghai->names[0].priceDivisor;   // packed record: copy it out
  EXPECT_EQ(divisor, 0u);
  EXPECT_GT(Count(pixels, kRed, 14, 123), 0);
  // Right of "深" nothing but the box.
  EXPECT_EQ(Count(pixels, kRed, 205), 0);
  EXPECT_EQ(Count(pixels, kDarkGreen, 205), 0);
  EXPECT_EQ(Count(pixels, kCtrlBorder, 205), 0);
  shenzhen->count = shenzhenCount;
}

TEST_F(StatusBarTest, TheConnectedTimerHighlightsOneTitleLetterInRed) {
  auto pixels = BoxPixels(frame->StatusBox4);
  EXPECT_EQ(Count(pixels, kRed), 0);

  clients.requestClient = true;
  clients.pushClient = true;
  clients.pushLastTraffic = GetTickCount();
  frame->Timer1Timer(frame->Timer1);   // position 3 -> 0: the first letter
  pixels = ReadBox(frame->StatusBox4);
  const auto red = Columns(pixels, kRed);
  const auto blue = Columns(pixels, kBlue);
  ASSERT_GE(red.first, 0);
  ASSERT_GE(blue.first, 0);
  EXPECT_LT(red.second, blue.first);   // red before the three blue letters

  frame->Timer1Timer(frame->Timer1);   // the second letter
  pixels = ReadBox(frame->StatusBox4);
  EXPECT_GT(Columns(pixels, kRed).first, Columns(pixels, kBlue).first);
  EXPECT_LT(Columns(pixels, kRed).second, Columns(pixels, kBlue).second);
}

TEST_F(StatusBarTest, TheTickerDrawsFromTheRightEdgeAndLeavesThirtyPixelsBetweenNotices) {
  ColorTable[52] = RGB(200, 30, 160);   // COLOR53
  const COLORREF text = ColorTable[52];
  const int width = frame->StatusBox6->Width();
  ASSERT_TRUE(frame->AddTickerNotice("AAAA", 16));
  ASSERT_TRUE(frame->AddTickerNotice("BBBB", 16));
  const int first = frame->TickerHead->width;

  // 40 px scrolled in: nothing left of the box width - 40.
  frame->TickerOffset = 40;
  auto pixels = BoxPixels(frame->StatusBox6);
  EXPECT_EQ(Count(pixels, text, 0, width - 40), 0);
  EXPECT_GT(Count(pixels, text, width - 40), 0);
  EXPECT_EQ(pixels[0][0], kBorder);
  EXPECT_EQ(pixels[1][1], kBackground);

  // The first notice at x = 10: the second starts 30 px after its end.
  frame->TickerOffset = width - 10;
  pixels = BoxPixels(frame->StatusBox6);
  const int gapStart = 10 + first;
  EXPECT_GT(Count(pixels, text, 10, gapStart), 0);
  EXPECT_EQ(Count(pixels, text, gapStart + 3, gapStart + 27), 0);
  EXPECT_GT(Count(pixels, text, gapStart + 30, gapStart + 30 + first), 0);
}

}  // namespace

// The tab strip: layout of titles between the spin buttons, scrolling by buttons, keys and
// activation, the setters' immediate painting, and the flat shaded tab; pixels read back from
// the window's image.
#include "widgets/Zvpagetab.h"

#include "platform/DrivenClock.h"
#include "platform/Form.h"
#include "platform/Message.h"
#include "platform/WinUser.h"
#include "widgets/Package.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

namespace {

using zuvo::platform::ProcessPendingMessages;

LPARAM Point(int x, int y) { return MAKELPARAM(static_cast<WORD>(static_cast<short>(x)), static_cast<WORD>(static_cast<short>(y))); }
std::tuple<int, int, int, int> R(const TRect& r) { return {r.left, r.top, r.right, r.bottom}; }

constexpr COLORREF kSilver = RGB(192, 192, 192);
constexpr COLORREF kGrey = RGB(128, 128, 128);
constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kMagenta = RGB(255, 0, 255);

class ZVPageTabTest : public testing::Test {
 protected:
  void SetUp() override {
    form_ = NewForm<TForm>(nullptr);
    form_->SetClientWidth(400);
    form_->SetClientHeight(200);
    form_->Show();
    strip_ = new TZVPageTab(form_);
    strip_->SetBounds(0, 0, 200, 24);
    strip_->SetParent(form_);
    strip_->OnTitleChange = [this](TObject* sender, int index) {
      EXPECT_EQ(sender, strip_);
      changes_.push_back(index);
    };
    ProcessPendingMessages();
  }
  void TearDown() override {
    ReleaseCapture();
    TComponent::Free(form_);
    ProcessPendingMessages();
  }
  // A title exactly `width` pixels wide in the strip's font, measured by the strip's canvas.
  std::string TitleOfWidth(int width) {
    TCanvas* canvas = strip_->Canvas();
    canvas->Handle();   // taking the context sets the control's font: ours goes after it
    canvas->Font()->Assign(*strip_->Font());
    for (int wide = 0; wide <= 24; ++wide)
      for (int mid = 0; mid <= 8; ++mid)
        for (int thin = 0; thin <= 8; ++thin) {
          std::string text = std::string(wide, 'W') + std::string(mid, 'a') + std::string(thin, 'i');
          if (!text.empty() && canvas->TextWidth(text) == width) return text;
        }
    ADD_FAILURE() << "no title of width " << width;
    return "?";
  }
  void SetTitles(const std::vector<int>& widths) {
    TStringList list;
    for (int w : widths) list.Add(TitleOfWidth(w));
    strip_->SetTitles(&list);
    for (size_t i = 0; i < widths.size(); ++i) ASSERT_EQ(strip_->TitleWidth(static_cast<int>(i)), widths[i]);
  }
  void Press(int x, int y) {
    SendMessageA(strip_->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, Point(x, y));
    SendMessageA(strip_->Handle(), WM_LBUTTONUP, 0, Point(x, y));
    ProcessPendingMessages();
  }
  void Key(int key) {
    SendMessageA(strip_->Handle(), WM_KEYDOWN, static_cast<WPARAM>(key), 1);
    SendMessageA(strip_->Handle(), WM_KEYUP, static_cast<WPARAM>(key), 1);
    ProcessPendingMessages();
  }
  void Repaint() {
    InvalidateRect(strip_->Handle(), nullptr, TRUE);
    UpdateWindow(strip_->Handle());
  }
  COLORREF Pixel(int x, int y) {
    HDC dc = GetDC(strip_->Handle());
    const COLORREF c = GetPixel(dc, x, y);
    ReleaseDC(strip_->Handle(), dc);
    return c;
  }
  void Mark(int x, int y) {
    HDC dc = GetDC(strip_->Handle());
    SetPixel(dc, x, y, kMagenta);
    ReleaseDC(strip_->Handle(), dc);
  }

  zuvo::platform::ScopedDrivenClock clock_;
  TForm* form_ = nullptr;
  TZVPageTab* strip_ = nullptr;
  std::vector<int> changes_;
};

TEST_F(ZVPageTabTest, StartsWithItsPropertiesAndSpinButtonsAndDrawsNothingBeforeItHasAWindow) {
  auto* fresh = new TZVPageTab(form_);
  EXPECT_EQ(fresh->Width(), 188);
  EXPECT_EQ(fresh->Height(), 24);
  EXPECT_EQ(fresh->Color(), clBackground);
  EXPECT_EQ(fresh->Font()->Name(), "Tahoma");
  EXPECT_EQ(fresh->Font()->Size(), 9);
  EXPECT_EQ(fresh->Font()->Height(), -12);
  EXPECT_EQ(fresh->Font()->Style(), FontStyleBit(fsBold));
  EXPECT_EQ(fresh->Font()->Color(), clWhite);
  EXPECT_EQ(fresh->Font()->Charset(), DEFAULT_CHARSET);
  EXPECT_EQ(fresh->ActiveFontColor(), clBlue);
  EXPECT_EQ(fresh->BorderColor(), clGray);
  EXPECT_EQ(fresh->ArrowColor(), clBlack);
  EXPECT_EQ(fresh->ButtonColor(), clSilver);
  EXPECT_EQ(fresh->ActiveButtonColor(), clBlack);
  EXPECT_EQ(fresh->Slope(), 4);
  EXPECT_EQ(fresh->SpinDown(), 255);
  EXPECT_EQ(R(fresh->LeftButtonRect()), R(TRect(0, 0, 12, 24)));
  EXPECT_EQ(R(fresh->RightButtonRect()), R(TRect(176, 0, 188, 24)));
  // Setters before the strip is placed store and measure, but make no window to draw on.
  fresh->AddTitle("abc");
  fresh->SetColor(clRed);
  fresh->SetButtonColor(clTeal);
  EXPECT_FALSE(fresh->HandleAllocated());
  EXPECT_GT(fresh->TitleWidth(0), 0);
  EXPECT_EQ(fresh->EndTitle(), 1);

  EXPECT_EQ(SendMessageA(strip_->Handle(), WM_GETDLGCODE, 0, 0), DLGC_WANTARROWS);
  zuvo::widgets::RegisterZvpagetab();
  auto classes = zuvo::widgets::RegisteredComponentClasses();
  EXPECT_NE(std::find(classes.begin(), classes.end(), "TZVPageTab"), classes.end());
}

TEST_F(ZVPageTabTest, ShortTitlesAllFitAndTheLeftButtonDoesNothing) {
  SetTitles({20, 25, 30});
  EXPECT_EQ(strip_->EndTitle(), 3);
  EXPECT_EQ(R(strip_->TabRect(0)), R(TRect(16, 0, 60, 24)));    // 20 + 4 x 4 + 8
  EXPECT_EQ(R(strip_->TabRect(1)), R(TRect(60, 0, 109, 24)));
  EXPECT_EQ(R(strip_->TabRect(2)), R(TRect(109, 0, 163, 24)));   // not cut
  Press(6, 12);
  EXPECT_EQ(strip_->FirstTitle(), 0);
  EXPECT_EQ(R(strip_->TabRect(0)), R(TRect(16, 0, 60, 24)));
  EXPECT_TRUE(changes_.empty());
}

// 200 pixels, titles 35, 28, 35, 35 and 49 wide: with title 2 first, title 4 is cut at 184;
// clicking it leaves title 2 first, as the estimate leaves out 8 pixels a tab.
TEST_F(ZVPageTabTest, ClickingTheCutLastTitleScrollsByTheEstimateAndMayStayCut) {
  SetTitles({35, 28, 35, 35, 49});
  EXPECT_EQ(strip_->EndTitle(), 3);
  EXPECT_EQ(R(strip_->TabRect(2)), R(TRect(127, 0, 184, 24)));
  Press(194, 12);
  Press(194, 12);
  ASSERT_EQ(strip_->FirstTitle(), 2);
  EXPECT_EQ(strip_->EndTitle(), 5);
  EXPECT_EQ(R(strip_->TabRect(1)), R(TRect(12, 0, 16, 24)));   // the sliver
  EXPECT_EQ(R(strip_->TabRect(4)), R(TRect(134, 0, 184, 24)));
  Press(150, 12);
  EXPECT_EQ(strip_->ActiveTitle(), 4);
  EXPECT_EQ(strip_->FirstTitle(), 2);
  EXPECT_EQ(R(strip_->TabRect(4)), R(TRect(134, 0, 184, 24)));
  EXPECT_EQ(changes_, std::vector<int>{4});
  // Clicking the active title again does nothing.
  Press(150, 12);
  EXPECT_EQ(changes_, std::vector<int>{4});
  EXPECT_EQ(Pixel(150, 3), kBlack);   // the active tab
}

// Titles 100 and 20 wide both fit (16..140, 140..184); the button scrolls on 140 + 20 + 9 x 4
// beyond 188, the key does not as 140 + 20 + 5 x 4 is not.
TEST_F(ZVPageTabTest, RightButtonAndRightKeyScrollOnDifferentThresholds) {
  SetTitles({100, 20});
  EXPECT_EQ(strip_->EndTitle(), 2);
  EXPECT_EQ(R(strip_->TabRect(0)), R(TRect(16, 0, 140, 24)));
  EXPECT_EQ(R(strip_->TabRect(1)), R(TRect(140, 0, 184, 24)));
  Key(VK_RIGHT);
  EXPECT_EQ(strip_->FirstTitle(), 0);
  Press(194, 12);
  EXPECT_EQ(strip_->FirstTitle(), 1);
  EXPECT_EQ(R(strip_->TabRect(1)), R(TRect(16, 0, 60, 24)));
  Key(VK_LEFT);
  EXPECT_EQ(strip_->FirstTitle(), 0);
  EXPECT_EQ(strip_->ActiveTitle(), 0);   // keys scroll only
  EXPECT_TRUE(changes_.empty());
}

TEST_F(ZVPageTabTest, OneRightPressLeavesASliverThatActivatesItsTitleWhenClicked) {
  SetTitles({100, 20});
  Press(160, 12);
  ASSERT_EQ(changes_, std::vector<int>{1});
  Press(194, 12);
  ASSERT_EQ(strip_->FirstTitle(), 1);
  // The sliver triangle (12,0) (20,0) (12,24) in ButtonColor; title 1's tab leans over its
  // right side.
  EXPECT_EQ(Pixel(13, 12), kSilver);
  EXPECT_EQ(Pixel(30, 3), kBlack);
  Press(13, 12);
  EXPECT_EQ(changes_, (std::vector<int>{1, 0}));
  EXPECT_EQ(strip_->ActiveTitle(), 0);
  EXPECT_EQ(strip_->FirstTitle(), 0);
  EXPECT_EQ(R(strip_->TabRect(0)), R(TRect(16, 0, 140, 24)));
  EXPECT_EQ(Pixel(30, 3), kBlack);     // title 0 active now
  EXPECT_EQ(Pixel(160, 3), kSilver);   // title 1 not
}

TEST_F(ZVPageTabTest, SetActiveTabItemIgnoresBadIndexesAndBringsTheTitleIntoView) {
  SetTitles({35, 28, 35, 35, 49});
  Press(194, 12);
  Press(194, 12);
  ASSERT_EQ(strip_->FirstTitle(), 2);
  struct Case {
    int index;
    int active, first;
    std::vector<int> changes;
  } cases[] = {
      {0, 0, 2, {}},        // the active one
      {-1, 0, 2, {}},
      {5, 0, 2, {}},        // the count
      {1, 1, 1, {1}},       // left of the shown range: first shown
      {4, 4, 2, {1, 4}},    // right of it (4 >= the end 4): by the estimate
      {3, 3, 2, {1, 4, 3}}, // shown: no scrolling
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.index);
    strip_->SetActiveTabItem(c.index);
    EXPECT_EQ(strip_->ActiveTitle(), c.active);
    EXPECT_EQ(strip_->FirstTitle(), c.first);
    EXPECT_EQ(changes_, c.changes);
  }
}

TEST_F(ZVPageTabTest, TitlesAreHeldTo128AndBadInputIsIgnored) {
  TStringList many;
  for (int i = 0; i < 130; ++i) many.Add("t" + std::to_string(i));
  strip_->SetTitles(&many);
  ASSERT_EQ(strip_->Titles()->Count(), 128);
  EXPECT_EQ(strip_->Titles()->Get(127), "t127");
  strip_->AddTitle("extra");
  EXPECT_EQ(strip_->Titles()->Count(), 128);
  strip_->SetActiveTabItem(127);
  EXPECT_EQ(strip_->ActiveTitle(), 127);
  EXPECT_EQ(strip_->EndTitle(), 128);
  // Back to the first title without an event.
  strip_->SetTitles(nullptr);
  EXPECT_EQ(strip_->Titles()->Count(), 128);
  strip_->ClearTitle();
  EXPECT_EQ(strip_->Titles()->Count(), 0);
  EXPECT_EQ(strip_->ActiveTitle(), 0);
  EXPECT_EQ(strip_->FirstTitle(), 0);
  EXPECT_EQ(changes_, std::vector<int>{127});
  // No titles: the right button and key do nothing, a null title is not added.
  Press(194, 12);
  Key(VK_RIGHT);
  strip_->AddTitle(nullptr);
  EXPECT_EQ(strip_->FirstTitle(), 0);
  EXPECT_EQ(strip_->Titles()->Count(), 0);
  // GBK titles are measured through the codec.
  strip_->AddTitle("沪深A股");
  TCanvas* canvas = strip_->Canvas();
  canvas->Handle();
  canvas->Font()->Assign(*strip_->Font());
  EXPECT_EQ(strip_->TitleWidth(0), canvas->TextWidth("沪深A股"));
  EXPECT_GT(strip_->TitleWidth(0), canvas->TextWidth("A"));
  // A strip's own titles given back to it stay.
  strip_->SetTitles(const_cast<TStrings*>(strip_->Titles()));
  EXPECT_EQ(strip_->Titles()->Count(), 1);
}

COLORREF Lightened(COLORREF c, int percent) {
  auto up = [percent](int v) { return static_cast<BYTE>(v + percent * (255 - v) / 100); };
  return RGB(up(GetRValue(c)), up(GetGValue(c)), up(GetBValue(c)));
}

// With Slope 0 the tabs are rectangles; the active one is ButtonColor at its middle row and
// lighter towards its edges (a system colour resolved first), its text centred.
TEST_F(ZVPageTabTest, FlatTabsAreRectanglesAndTheActiveOneIsShadedFromButtonColor) {
  strip_->SetSlope(0);
  SetTitles({40, 100, 60});
  Repaint();
  EXPECT_EQ(R(strip_->TabRect(0)), R(TRect(12, 0, 60, 24)));
  EXPECT_EQ(R(strip_->TabRect(1)), R(TRect(60, 0, 168, 24)));
  EXPECT_EQ(R(strip_->TabRect(2)), R(TRect(168, 0, 188, 24)));   // cut at the right button
  for (TColor button : {clSilver, clBtnFace}) {
    SCOPED_TRACE(button);
    strip_->SetButtonColor(button);
    const COLORREF base = ColorToRGB(button);
    EXPECT_EQ(Pixel(13, 12), base);                    // middle row
    EXPECT_EQ(Pixel(13, 6), Lightened(base, 20));      // 80 x 6 / 24
    EXPECT_EQ(Pixel(13, 1), Lightened(base, 36));      // near the top
    EXPECT_EQ(Pixel(13, 23), Lightened(base, 36));     // near the bottom
    EXPECT_EQ(Pixel(100, 2), base);                    // an inactive tab
  }
  // The text is centred: as much shading left of its ink as right of it.
  const COLORREF base = ColorToRGB(clBtnFace);
  int first = -1, last = -1;
  for (int x = 13; x < 59; ++x) {
    for (int y = 8; y <= 16; ++y) {
      const int p = 80 * std::abs(y - 12) / 24;
      if (Pixel(x, y) != Lightened(base, p)) {
        if (first < 0) first = x;
        last = x;
        break;
      }
    }
  }
  ASSERT_GE(first, 0);
  EXPECT_LE(std::abs((first - 12) - (59 - last)), 3);
  // No sliver with Slope 0: after one right press title 0 (active) shows nothing left of title 1.
  Press(194, 12);
  ASSERT_EQ(strip_->FirstTitle(), 1);
  EXPECT_EQ(R(strip_->TabRect(1)), R(TRect(12, 0, 120, 24)));
  EXPECT_EQ(Pixel(12, 12), kGrey);   // title 1's outline, not an active sliver
}

// Each setter paints its part at once, without invalidating, and leaves the rest: marks put in
// the other parts survive it.
TEST_F(ZVPageTabTest, EachSetterRepaintsOnlyItsOwnPartAtOnce) {
  SetTitles({30, 30, 30});   // tabs 16..70 (active), 70..124, 124..178
  Repaint();
  struct Probe {
    const char* name;
    int x, y;
  } probes[] = {{"button", 2, 2}, {"background", 183, 20}, {"inactive", 97, 2}, {"active", 40, 2}};
  struct Case {
    const char* setter;
    std::function<void()> set;
    std::vector<std::string> repainted;
    std::string probe;   // one of the repainted, with its new colour
    COLORREF colour;
  } cases[] = {
      {"ArrowColor", [&] { strip_->SetArrowColor(clRed); }, {"button"}, "button", kSilver},
      {"Color", [&] { strip_->SetColor(clGreen); }, {"background", "inactive", "active"}, "background", RGB(0, 128, 0)},
      {"FontColor", [&] { strip_->SetFontColor(clYellow); }, {"background", "inactive", "active"}, "inactive", kSilver},
      {"Slope", [&] { strip_->SetSlope(3); }, {"background", "inactive", "active"}, "active", kBlack},
      {"ActiveButtonColor", [&] { strip_->SetActiveButtonColor(clNavy); }, {"active"}, "active", RGB(0, 0, 128)},
      {"ActiveFontColor", [&] { strip_->SetActiveFontColor(clRed); }, {"active"}, "active", RGB(0, 0, 128)},
      {"BorderColor", [&] { strip_->SetBorderColor(clRed); }, {"button", "background", "inactive", "active"}, "button", kSilver},
      {"ButtonColor", [&] { strip_->SetButtonColor(clTeal); }, {"button", "background", "inactive", "active"}, "inactive",
       RGB(0, 128, 128)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.setter);
    for (const Probe& p : probes) Mark(p.x, p.y);
    c.set();
    RECT pending{};
    EXPECT_FALSE(GetUpdateRect(strip_->Handle(), &pending, FALSE));
    for (const Probe& p : probes) {
      const bool repainted = std::find(c.repainted.begin(), c.repainted.end(), p.name) != c.repainted.end();
      EXPECT_EQ(Pixel(p.x, p.y) != kMagenta, repainted) << p.name;
      if (c.probe == p.name) EXPECT_EQ(Pixel(p.x, p.y), c.colour) << p.name;
    }
  }
}

// The arrow of a held spin button is drawn one pixel outwards until a mouse-up anywhere.
TEST_F(ZVPageTabTest, AHeldArrowMovesOnePixelOutUntilTheMouseUp) {
  HWND w = strip_->Handle();
  // Arrow tips: left (4, 12), held (3, 12); right (196, 12), held (197, 12).
  EXPECT_EQ(Pixel(4, 12), kBlack);
  EXPECT_EQ(Pixel(3, 12), kSilver);
  EXPECT_EQ(Pixel(197, 12), kSilver);
  SendMessageA(w, WM_LBUTTONDOWN, MK_LBUTTON, Point(6, 12));
  SendMessageA(w, WM_MOUSEMOVE, MK_LBUTTON, Point(100, 12));
  ProcessPendingMessages();
  EXPECT_EQ(strip_->SpinDown(), 0);
  EXPECT_EQ(Pixel(3, 12), kBlack);
  EXPECT_EQ(Pixel(197, 12), kSilver);
  SendMessageA(w, WM_LBUTTONUP, 0, Point(100, 12));
  EXPECT_EQ(strip_->SpinDown(), 255);
  EXPECT_EQ(Pixel(3, 12), kSilver);
  SendMessageA(w, WM_LBUTTONDOWN, MK_LBUTTON, Point(194, 12));
  EXPECT_EQ(strip_->SpinDown(), 1);
  EXPECT_EQ(Pixel(197, 12), kBlack);
  EXPECT_EQ(Pixel(3, 12), kSilver);
  SendMessageA(w, WM_LBUTTONUP, 0, Point(194, 12));
  EXPECT_EQ(Pixel(197, 12), kSilver);
  // Only the left button presses the spin buttons.
  SendMessageA(w, WM_RBUTTONDOWN, MK_RBUTTON, Point(6, 12));
  EXPECT_EQ(strip_->SpinDown(), 255);
  SendMessageA(w, WM_RBUTTONUP, 0, Point(6, 12));
}

// A strip narrower than its buttons, or a font without a size, lays out no title: nothing to
// click or scroll, and the buttons still paint.
TEST_F(ZVPageTabTest, NoRoomOrNoFontSizeLaysOutNothing) {
  struct Case {
    const char* name;
    int width;
    int fontHeight;
    int pressX;       // on the right button, or where it would be
    COLORREF corner;  // at (2, 2): the left button, or the background without one
  } cases[] = {{"narrow", 20, -12, 15, kSilver}, {"no font size", 200, 0, 195, ColorToRGB(clBackground)}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    strip_->SetWidth(c.width);
    TFont font;
    font.Assign(*strip_->Font());
    font.SetHeight(c.fontHeight);
    strip_->SetFont(&font);
    SetTitles({30, 20, 40});
    Repaint();
    EXPECT_EQ(strip_->EndTitle(), 0);
    Press(c.pressX, 12);
    Key(VK_RIGHT);
    Press(c.width / 2, 12);
    EXPECT_EQ(strip_->FirstTitle(), 0);
    EXPECT_EQ(strip_->EndTitle(), 0);
    EXPECT_TRUE(changes_.empty());
    EXPECT_EQ(Pixel(2, 2), c.corner);
  }
}

// Scrolling stops once the last title is the first shown: a last title too wide for the strip
// stays there, cut, instead of scrolling on to a sliver and then an empty strip.
TEST_F(ZVPageTabTest, TheStripNeverScrollsPastItsLastTitle) {
  SetTitles({150, 260});
  EXPECT_EQ(strip_->EndTitle(), 1);   // title 0 cut
  for (int i = 0; i < 3; ++i) Press(194, 12);
  Key(VK_RIGHT);
  EXPECT_EQ(strip_->FirstTitle(), 1);
  EXPECT_EQ(R(strip_->TabRect(1)), R(TRect(16, 0, 184, 24)));
  Press(6, 12);
  EXPECT_EQ(strip_->FirstTitle(), 0);
}

}  // namespace

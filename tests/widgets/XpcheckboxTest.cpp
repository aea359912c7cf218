// The package's check box, headless: the box ramps of each state, the hot centre, the tick
// enabled and disabled, the frame-only disabled box, grayed drawn as unchecked, the focus frame of
// an empty caption, a control lower than the box, and the faces following the mouse.
#include "widgets/Xpcheckbox.h"

#include "XpButtonsFixture.h"

#include "widgets/Package.h"

#include <algorithm>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace zuvo::widgets;
using xpbuttons::Memory;
using xpbuttons::Rgb;

class TProbeCheckBox : public TXPCheckBox {
 public:
  using TXPCheckBox::TXPCheckBox;
  using TXPCheckBox::m_bFocusShown;
  using TXPCheckBox::m_bHot;
  using TXPCheckBox::m_bPressed;
};

constexpr COLORREF kFrame = RGB(28, 81, 128);
constexpr COLORREF kTick = RGB(33, 161, 33);
constexpr COLORREF kGreyLine = RGB(202, 200, 187);

// The 21 tick pixels in box coordinates (column, row).
std::set<std::pair<int, int>> TickPixels() {
  return {{9, 3}, {8, 4}, {9, 4}, {3, 5}, {7, 5}, {8, 5}, {9, 5}, {3, 6}, {4, 6}, {6, 6}, {7, 6},
          {8, 6}, {3, 7}, {4, 7}, {5, 7}, {6, 7}, {7, 7}, {4, 8}, {5, 8}, {6, 8}, {5, 9}};
}

using XpCheckBoxTest = xpbuttons::XpButtonsTest;

TEST_F(XpCheckBoxTest, BoxRampsOfEachState) {
  // H = 17: the box's top-left pixel is (1, 2); inside position (u, v) is (2 + u, 3 + v).
  struct Case {
    const char* state;
    int u, v;
    COLORREF colour;
  };
  const Case cases[] = {
      {"normal", 0, 0, RGB(0xDC, 0xDC, 0xD7)},  {"normal", 3, 0, RGB(0xDE, 0xDE, 0xD9)},
      {"normal", 5, 5, RGB(0xF1, 0xF1, 0xEF)},  {"normal", 2, 8, RGB(0xF1, 0xF1, 0xEF)},
      {"normal", 10, 10, RGB(0xFF, 0xFF, 0xFF)}, {"normal", 10, 5, RGB(0xFB, 0xFB, 0xFA)},
      {"hot", 0, 0, RGB(0xFF, 0xF0, 0xCF)},     {"hot", 1, 0, RGB(0xFF, 0xED, 0xC6)},
      {"hot", 1, 8, RGB(0xFB, 0xCC, 0x6B)},     {"hot", 9, 8, RGB(0xF9, 0xB7, 0x3A)},
      {"hot", 10, 10, RGB(0xF8, 0xB3, 0x30)},   {"hot", 2, 2, RGB(0xE7, 0xE7, 0xE3)},
      {"hot", 8, 8, RGB(0xE7, 0xE7, 0xE3)},     {"hot", 5, 5, RGB(0xE7, 0xE7, 0xE3)},
      {"pressed", 0, 0, RGB(0xB0, 0xB0, 0xA7)}, {"pressed", 0, 10, RGB(0xD7, 0xD5, 0xC8)},
      {"pressed", 7, 6, RGB(0xE3, 0xE1, 0xD3)}, {"pressed", 10, 10, RGB(0xF1, 0xEF, 0xDF)},
  };
  auto* c = Make<TXPCheckBox>(10, 10, 97, 17, "Box");
  form_->Show();
  Memory m(97, 17);
  for (const char* state : {"normal", "hot", "pressed"}) {
    const std::string s = state;
    if (s == "normal") c->DrawNormal(m.dc());
    if (s == "hot") c->DrawHot(m.dc());
    if (s == "pressed") c->DrawPressed(m.dc());
    // The frame around the inside, and the parent's brush around the box.
    EXPECT_EQ(Rgb(m.At(1, 2)), Rgb(kFrame)) << state;
    EXPECT_EQ(Rgb(m.At(13, 14)), Rgb(kFrame)) << state;
    EXPECT_EQ(Rgb(m.At(7, 2)), Rgb(kFrame)) << state;
    EXPECT_EQ(Rgb(m.At(0, 8)), Rgb(kBack)) << state;
    EXPECT_EQ(Rgb(m.At(14, 8)), Rgb(kBack)) << state;
    EXPECT_EQ(Rgb(m.At(7, 1)), Rgb(kBack)) << state;
    for (const Case& k : cases) {
      if (s != k.state) continue;
      EXPECT_EQ(Rgb(m.At(2 + k.u, 3 + k.v)), Rgb(k.colour)) << state << " (" << k.u << ", " << k.v << ")";
    }
  }
}

TEST_F(XpCheckBoxTest, TickEnabledAndDisabledAndTheFrameOnlyDisabledBox) {
  auto* c = Make<TXPCheckBox>(10, 10, 97, 17, "Box");
  form_->Show();
  const auto tick = TickPixels();
  ASSERT_EQ(tick.size(), 21u);
  struct Case {
    bool enabled;
    COLORREF tickColour;
  };
  for (const Case& k : {Case{true, kTick}, Case{false, kGreyLine}}) {
    SCOPED_TRACE(k.enabled ? "enabled" : "disabled");
    c->SetEnabled(k.enabled);
    Memory unchecked(97, 17), checked(97, 17);
    c->SetChecked(false);
    (k.enabled ? c->DrawNormal(unchecked.dc()) : c->DrawDisabled(unchecked.dc()));
    c->SetChecked(true);
    (k.enabled ? c->DrawNormal(checked.dc()) : c->DrawDisabled(checked.dc()));
    // The box's pixels (0..12, 0..12) at (1, 2): the tick pixels change, nothing else.
    for (int row = 0; row < 13; ++row) {
      for (int col = 0; col < 13; ++col) {
        const bool inTick = tick.count({col, row}) != 0;
        const COLORREF after = checked.At(1 + col, 2 + row);
        if (inTick) {
          EXPECT_EQ(Rgb(after), Rgb(k.tickColour)) << col << "," << row;
        } else {
          EXPECT_EQ(Rgb(after), Rgb(unchecked.At(1 + col, 2 + row))) << col << "," << row;
        }
        if (!k.enabled && !inTick) {
          // The disabled box is a grey frame; its inside keeps the parent's background.
          const bool frame = row == 0 || row == 12 || col == 0 || col == 12;
          EXPECT_EQ(Rgb(after), Rgb(frame ? kGreyLine : kBack)) << col << "," << row;
        }
      }
    }
  }
}

TEST_F(XpCheckBoxTest, GrayedDrawsAsUnchecked) {
  auto* c = Make<TXPCheckBox>(10, 10, 97, 17, "Box");
  c->SetAllowGrayed(true);
  form_->Show();
  Memory unchecked(97, 17), grayed(97, 17);
  c->DrawNormal(unchecked.dc());
  c->SetState(cbGrayed);
  c->DrawNormal(grayed.dc());
  for (int y = 0; y < 17; ++y)
    for (int x = 0; x < 15; ++x) ASSERT_EQ(grayed.At(x, y), unchecked.At(x, y)) << x << "," << y;
}

TEST_F(XpCheckBoxTest, FocusFrameOfAnEmptyCaptionIsTwoPixelsFromSeventeen) {
  auto* c = Make<TProbeCheckBox>(10, 10, 97, 17, "");
  std::vector<std::string> log;
  form_->Show();
  c->OnEnter = [&](TObject*) { log.push_back("enter"); };
  c->SetFocus();
  zuvo::platform::ProcessPendingMessages();
  UpdateWindow(c->Handle());
  EXPECT_EQ(c->m_bFocusShown, 1);
  auto columnMarked = [&](int x) {
    bool marked = false;
    for (int y = 0; y < 17; ++y) marked = marked || Pixel(c, x, y) != kBack;
    return marked;
  };
  EXPECT_FALSE(columnMarked(16));
  EXPECT_TRUE(columnMarked(17));
  EXPECT_TRUE(columnMarked(18));
  EXPECT_FALSE(columnMarked(19));
  EXPECT_GE(std::count(log.begin(), log.end(), "enter"), 1);
}

TEST_F(XpCheckBoxTest, ALowControlClipsTheBox) {
  // H = 9: the box starts two rows above the top, (9 - 13) >> 1 = -2.
  auto* c = Make<TXPCheckBox>(10, 10, 97, 9, "Low");
  form_->Show();
  EXPECT_EQ(Rgb(Pixel(c, 1, 0)), Rgb(kFrame));
  EXPECT_EQ(Rgb(Pixel(c, 2, 0)), Rgb(RGB(0xDC, 0xDC, 0xD7)));   // inside (0, 1): ramp[1]
  EXPECT_EQ(Rgb(Pixel(c, 2, 8)), Rgb(RGB(0xEF, 0xEF, 0xEC)));   // inside (0, 9): ramp[9]
  EXPECT_EQ(Rgb(Pixel(c, 13, 8)), Rgb(kFrame));
  // Smaller still, down to nothing: drawn clipped, nothing outside the image.
  for (int h : {0, 1, 3, 12}) {
    for (int w : {0, 5, 17, 18}) {
      c->SetBounds(10, 10, w, h);
      c->SetChecked(!c->Checked());
      Memory m(std::max(w, 1), std::max(h, 1));
      c->DrawNormal(m.dc());
      c->DrawHot(m.dc());
      c->DrawPressed(m.dc());
      c->DrawDisabled(m.dc());
      UpdateWindow(c->Handle());
    }
  }
}

TEST_F(XpCheckBoxTest, FacesFollowTheMouseAndRepaintOnCheckChange) {
  auto* c = Make<TXPCheckBox>(10, 10, 97, 17, "Box");
  form_->Show();
  const int u = 0, v = 0;   // inside corner: ramp[0] of the state
  EXPECT_EQ(Rgb(Pixel(c, 2 + u, 3 + v)), Rgb(RGB(0xDC, 0xDC, 0xD7)));
  Mouse(c, WM_MOUSEMOVE, 30, 8, 0);
  EXPECT_EQ(Rgb(Pixel(c, 2, 3)), Rgb(RGB(0xFF, 0xF0, 0xCF)));
  Mouse(c, WM_LBUTTONDOWN, 30, 8, MK_LBUTTON);
  EXPECT_EQ(Rgb(Pixel(c, 2, 3)), Rgb(RGB(0xB0, 0xB0, 0xA7)));
  Mouse(c, WM_LBUTTONUP, 30, 8, 0);
  EXPECT_TRUE(c->Checked());
  EXPECT_EQ(Rgb(Pixel(c, 1 + 9, 2 + 3)), Rgb(kTick));
  SendMessageA(c->Handle(), WM_MOUSELEAVE, 0, 0);
  EXPECT_EQ(Rgb(Pixel(c, 2, 3)), Rgb(RGB(0xDC, 0xDC, 0xD7)));
  c->SetChecked(false);
  EXPECT_EQ(Rgb(Pixel(c, 1 + 9, 2 + 3)), Rgb(RGB(0xF1, 0xF1, 0xEF)));   // inside (8, 2): ramp[10]
}

}  // namespace

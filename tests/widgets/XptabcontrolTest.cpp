// The flat tab and page controls: body, frame and shadows blended into the parent, inactive, hot
// and active tabs, disabled captions and the pressed-tab record.
#include "widgets/Xppagecontrol.h"
#include "widgets/Xptabcontrol.h"

#include "XpPixels.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using xptest::Rgb;
using zuvo::platform::ProcessPendingMessages;

constexpr COLORREF kFrame = RGB(145, 155, 156);
constexpr COLORREF kOutline = RGB(145, 167, 180);
constexpr COLORREF kOrange = RGB(230, 139, 44);
constexpr COLORREF kYellow = RGB(255, 199, 60);
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kDisabledText = RGB(161, 161, 146);

TEST(XpBlend, MovesFromTheDarkerTowardsTheLighterDroppingRemainders) {
  using zuvo::widgets::XpBlend;
  const struct {
    COLORREF a, b;
    int n, d;
    COLORREF blended;
  } cases[] = {
      {kWhite, kFrame, 17, 20, RGB(238, 240, 240)},
      {kWhite, kFrame, 2, 3, RGB(218, 221, 222)},
      {RGB(0, 0, 0), kFrame, 17, 20, RGB(123, 131, 132)},
      {RGB(0, 0, 0), kFrame, 2, 3, RGB(96, 103, 104)},
      {kFrame, RGB(0, 0, 0), 2, 3, RGB(96, 103, 104)},   // the order does not matter
      {RGB(10, 200, 30), RGB(20, 100, 30), 1, 3, RGB(13, 133, 30)},   // per channel
  };
  for (const auto& c : cases) EXPECT_EQ(Rgb(XpBlend(c.a, c.b, c.n, c.d)), Rgb(c.blended));
}

constexpr int kWidth = 240, kHeight = 120;

class XpTabControlTest : public testing::Test {
 protected:
  TXPTabControl* Make(TColor parentColour = clWhite, int tabs = 3) {
    form_->SetColor(parentColour);
    tabs_ = new TXPTabControl(form_.get());
    const char* captions[] = {"One", "Two", "Three"};
    for (int i = 0; i < tabs; ++i) tabs_->Tabs()->Add(captions[i]);
    if (tabs > 0) tabs_->SetTabIndex(0);
    form_.Place(tabs_, 10, 10, kWidth, kHeight);
    PointerAway();
    return tabs_;
  }
  void Repaint() {
    tabs_->Invalidate();
    tabs_->Update();
    ProcessPendingMessages();
  }
  // The pointer outside the control.
  void PointerAway() {
    const TPoint far = form_->ClientToScreen(TPoint(300, 200));
    SetCursorPos(far.x, far.y);
    ProcessPendingMessages();
  }
  void PointerAt(int x, int y) {
    const TPoint p = tabs_->ClientToScreen(TPoint(x, y));
    SetCursorPos(p.x, p.y);
    ProcessPendingMessages();
  }
  COLORREF At(int x, int y) { return xptest::ClientPixel(tabs_->Handle(), x, y); }
  bool Any(const TRect& r, COLORREF colour) {
    return xptest::AnyClientPixel(tabs_->Handle(), RECT{r.left, r.top, r.right, r.bottom}, colour);
  }
  xptest::HostForm form_{320, 240};
  TXPTabControl* tabs_ = nullptr;
};

TEST_F(XpTabControlTest, WithoutTabsItIsOneFlatAreaOfTheParentsColour) {
  Make(clWhite, 0);
  Repaint();
  const TRect all(0, 0, kWidth, kHeight);
  EXPECT_FALSE(Any(all, kFrame));
  for (int y = 0; y < kHeight; y += 7)
    for (int x = 0; x < kWidth; x += 7) ASSERT_EQ(Rgb(At(x, y)), Rgb(kWhite)) << x << "," << y;
}

TEST_F(XpTabControlTest, FrameAndShadowsBlendIntoTheParent) {
  const struct {
    TColor parent;
    COLORREF outer, inner;
  } cases[] = {
      {clWhite, RGB(238, 240, 240), RGB(218, 221, 222)},
      {clBlack, RGB(123, 131, 132), RGB(96, 103, 104)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Rgb(ColorToRGB(c.parent)));
    Make(c.parent);
    Repaint();
    const int tb = tabs_->TabRect(0).bottom;
    const int mid = (tb + kHeight) / 2;
    EXPECT_EQ(Rgb(At(kWidth - 1, mid)), Rgb(c.outer));
    EXPECT_EQ(Rgb(At(kWidth / 2, kHeight - 1)), Rgb(c.outer));
    EXPECT_EQ(Rgb(At(kWidth - 2, mid)), Rgb(c.inner));
    EXPECT_EQ(Rgb(At(kWidth / 2, kHeight - 2)), Rgb(c.inner));
    EXPECT_EQ(Rgb(At(0, mid)), Rgb(kFrame));
    EXPECT_EQ(Rgb(At(kWidth - 3, mid)), Rgb(kFrame));
    EXPECT_EQ(Rgb(At(kWidth - 30, tb)), Rgb(kFrame));   // the body's top line beside the tabs
    EXPECT_EQ(Rgb(At(kWidth / 2, mid)), Rgb(kWhite));   // the body
    EXPECT_EQ(Rgb(At(kWidth - 5, 1)), Rgb(ColorToRGB(c.parent)));   // beside the tabs
    TComponent::Free(tabs_);
  }
}

TEST_F(XpTabControlTest, TheActiveTabIsEnlargedAndOpensIntoTheBody) {
  Make();
  tabs_->SetTabIndex(1);
  Repaint();
  const TRect r = tabs_->TabRect(1);
  const int al = r.left - 2, at = r.top - 1, ar = r.right, ab = r.bottom;
  EXPECT_EQ(Rgb(At(al + 5, at)), Rgb(kOrange));
  EXPECT_EQ(Rgb(At(al + 5, at + 1)), Rgb(kYellow));
  EXPECT_EQ(Rgb(At(al + 5, at + 2)), Rgb(kYellow));
  EXPECT_EQ(Rgb(At(al, at + 10)), Rgb(kFrame));
  EXPECT_EQ(Rgb(At(ar, at + 10)), Rgb(kFrame));
  EXPECT_EQ(Rgb(At(al, at)), Rgb(kWhite));   // the parent's colour at the outer corners
  EXPECT_EQ(Rgb(At(al + 2, at + 1)), Rgb(RGB(249, 185, 56)));
  EXPECT_EQ(Rgb(At((al + ar) / 2, ab)), Rgb(kWhite));   // no body line under the active tab
  // The inactive tab beside it: outline, its top line one pixel under the tab's top.
  const TRect first = tabs_->TabRect(0);
  EXPECT_EQ(Rgb(At(first.left + 5, first.top + 1)), Rgb(kOutline));
  EXPECT_EQ(Rgb(At(first.left, first.top + 8)), Rgb(kOutline));
  EXPECT_EQ(Rgb(At(first.left + 5, first.top + 3)), Rgb(kWhite));
  EXPECT_EQ(Rgb(At(first.left + 2, first.top + 2)), Rgb(RGB(227, 233, 236)));
}

TEST_F(XpTabControlTest, OnlyTheInactiveTabUnderThePointerIsHot) {
  Make();
  const TRect second = tabs_->TabRect(1), third = tabs_->TabRect(2), first = tabs_->TabRect(0);
  auto hot = [&](const TRect& r) { return At(r.left + 5, r.top + 1) == kOrange && At(r.left + 5, r.top + 3) == kYellow; };
  const struct {
    int x, y;
    bool secondHot, thirdHot;
    const char* what;
  } cases[] = {
      {(second.left + second.right) / 2, second.top + 5, true, false, "over the second tab"},
      {(third.left + third.right) / 2, third.top + 5, false, true, "over the third tab"},
      {(first.left + first.right) / 2, first.top + 5, false, false, "over the active tab"},
      {second.left, second.top + 5, false, false, "on the active tab's right side, drawn over the second"},
      {kWidth / 2, kHeight / 2, false, false, "over the body"},
      {-1, -1, false, false, "outside the control"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.x < 0) PointerAway();
    else PointerAt(c.x, c.y);
    Repaint();
    EXPECT_EQ(hot(second), c.secondHot);
    EXPECT_EQ(hot(third), c.thirdHot);
  }
}

TEST_F(XpTabControlTest, MovingThePointerRepaintsTheTabItEntersAndLeaves) {
  Make();
  Repaint();
  EXPECT_TRUE(tabs_->HotTrack());
  const TRect second = tabs_->TabRect(1);
  PointerAt(second.left + 5, second.top + 5);   // the base's hot tracking repaints, nothing else
  EXPECT_EQ(Rgb(At(second.left + 5, second.top + 1)), Rgb(kOrange));
  PointerAway();
  EXPECT_EQ(Rgb(At(second.left + 5, second.top + 1)), Rgb(kOutline));
}

TEST_F(XpTabControlTest, WithoutAnActiveTabTheFrameBodyAndInactiveTabsArePainted) {
  Make();
  tabs_->SetTabIndex(-1);
  Repaint();
  const TRect first = tabs_->TabRect(0);
  EXPECT_EQ(Rgb(At(first.left + 5, first.top + 1)), Rgb(kOutline));
  EXPECT_EQ(Rgb(At(kWidth / 2, (first.bottom + kHeight) / 2)), Rgb(kWhite));
  EXPECT_EQ(Rgb(At(0, (first.bottom + kHeight) / 2)), Rgb(kFrame));
  EXPECT_FALSE(Any(TRect(0, 0, kWidth, kHeight), kOrange));
}

TEST_F(XpTabControlTest, CaptionsOfADisabledControlAreGrey) {
  Make();
  Repaint();
  const TRect tabsArea(0, 0, kWidth, tabs_->TabRect(0).bottom);
  EXPECT_TRUE(Any(tabsArea, RGB(0, 0, 0)));
  EXPECT_FALSE(Any(tabsArea, kDisabledText));
  tabs_->SetEnabled(false);
  Repaint();
  EXPECT_TRUE(Any(tabsArea, kDisabledText));
  EXPECT_FALSE(Any(tabsArea, RGB(0, 0, 0)));
}

TEST_F(XpTabControlTest, RemembersTheLastPressedTab) {
  Make();
  EXPECT_EQ(tabs_->fGetTabClicking(), -1);
  auto press = [&](int x, int y) {
    SendMessageA(tabs_->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
    SendMessageA(tabs_->Handle(), WM_LBUTTONUP, 0, MAKELPARAM(x, y));
    ProcessPendingMessages();
  };
  const TRect third = tabs_->TabRect(2);
  press(third.left + 3, third.top + 3);
  EXPECT_EQ(tabs_->fGetTabClicking(), 2);
  EXPECT_EQ(tabs_->TabIndex(), 2);   // the base still switches tabs
  press(kWidth / 2, kHeight - 20);   // on the body
  EXPECT_EQ(tabs_->fGetTabClicking(), 2);
  press(kWidth - 10, 3);             // beside the tabs
  EXPECT_EQ(tabs_->fGetTabClicking(), 2);
  const TRect first = tabs_->TabRect(0);
  press(first.left, first.top);
  EXPECT_EQ(tabs_->fGetTabClicking(), 0);
}

TEST(XpPageControl, PaintsAsTheTabControlAroundItsPages) {
  xptest::HostForm form(320, 240);
  form->SetColor(clBlack);
  auto* pages = new TXPPageControl(form.get());
  form.Place(pages, 10, 10, kWidth, kHeight);
  for (const char* caption : {"Alpha", "Beta"}) {
    auto* sheet = new TTabSheet(form.get());
    sheet->SetPageControl(pages);
    sheet->SetCaption(caption);
  }
  pages->SetActivePageIndex(0);
  EXPECT_TRUE(pages->HotTrack());
  SetCursorPos(0, 0);
  pages->Invalidate();
  pages->Update();
  ProcessPendingMessages();
  HWND window = pages->Handle();
  const TRect active = pages->TabRect(0);
  EXPECT_EQ(Rgb(xptest::ClientPixel(window, active.left + 3, active.top - 1)), Rgb(kOrange));
  EXPECT_EQ(Rgb(xptest::ClientPixel(window, kWidth - 1, kHeight - 20)), Rgb(RGB(123, 131, 132)));
  EXPECT_EQ(Rgb(xptest::ClientPixel(window, kWidth - 2, kHeight - 20)), Rgb(RGB(96, 103, 104)));
  EXPECT_EQ(Rgb(xptest::ClientPixel(window, kWidth - 5, 1)), Rgb(RGB(0, 0, 0)));
  // The page is a window of its own over the body.
  EXPECT_TRUE(IsWindowVisible(pages->Pages(0)->Handle()));
  EXPECT_FALSE(IsWindowVisible(pages->Pages(1)->Handle()));
}

}  // namespace

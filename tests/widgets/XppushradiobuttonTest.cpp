// The push-style radio button, headless: the pressed face while checked, the hot face under the
// pointer, no focus frame, the disabled face and the caption area event.
#include "widgets/Xppushradiobutton.h"

#include "XpButtonsFixture.h"

#include <string>
#include <vector>

namespace {

using namespace zuvo::widgets;
using xpbuttons::Rgb;

using XpPushRadioTest = xpbuttons::XpButtonsTest;

std::string FaceOf(TWinControl* c) {
  const COLORREF corner = [&] {
    UpdateWindow(c->Handle());
    HDC dc = GetDC(c->Handle());
    const COLORREF p = GetPixel(dc, 2, 2);
    ReleaseDC(c->Handle(), dc);
    return p;
  }();
  if (corner == RGB(85, 125, 162)) return "normal";
  if (corner == RGB(141, 158, 161)) return "hot";
  if (corner == RGB(70, 109, 142)) return "pressed";
  if (corner == RGB(216, 214, 202)) return "disabled";
  return "?";
}

TEST_F(XpPushRadioTest, PressedWhileCheckedHotUnderThePointerNoFocusFrame) {
  auto* a = Make<TXPPushRadioButton>(10, 10, 75, 23, "Day");
  auto* b = Make<TXPPushRadioButton>(100, 10, 75, 23, "Week");
  a->SetChecked(true);
  form_->Show();
  EXPECT_EQ(FaceOf(a), "pressed");
  EXPECT_EQ(FaceOf(b), "normal");
  Mouse(b, WM_MOUSEMOVE, 10, 10, 0);
  EXPECT_EQ(FaceOf(b), "hot");
  Mouse(b, WM_LBUTTONDOWN, 10, 10, MK_LBUTTON);
  EXPECT_EQ(FaceOf(b), "pressed");
  Mouse(b, WM_LBUTTONUP, 10, 10, 0);
  EXPECT_TRUE(b->Checked());
  EXPECT_EQ(FaceOf(b), "pressed");   // checked now, pointer still over it
  EXPECT_EQ(FaceOf(a), "normal");    // unchecked by the sibling
  // Focused, yet no dotted frame: (5, 3) keeps the face's colour.
  a->SetFocus();
  zuvo::platform::ProcessPendingMessages();
  EXPECT_EQ(Rgb(Pixel(a, 5, 3)), Rgb(RGB(254, 254, 254)));
  a->SetEnabled(false);
  EXPECT_EQ(FaceOf(a), "disabled");
  // The caption area event, as the push button's.
  std::vector<RECT> rects;
  b->OnDrawCaption = [&](TObject*, HDC, RECT* r) { rects.push_back(*r); };
  b->Invalidate();
  UpdateWindow(b->Handle());
  ASSERT_FALSE(rects.empty());
  EXPECT_EQ(rects.back().right, 71);
  EXPECT_EQ(rects.back().bottom, 19);
}

}  // namespace

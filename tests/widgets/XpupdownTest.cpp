// The flat up-down: its halves, its states under the mouse and its painting.
#include "widgets/Xpupdown.h"

#include "XpPixels.h"

#include "platform/Gdi.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using xptest::Rgb;
using zuvo::platform::ProcessPendingMessages;
using namespace zuvo::widgets;

TEST(XpUpDownHalves, AnOddSizeLeavesAMiddleLineThatBelongsToNeither) {
  const struct {
    int position, size, half;
  } cases[] = {
      {0, 24, 1},  {11, 24, 1}, {12, 24, 2}, {23, 24, 2},                 // even: no middle
      {0, 25, 1},  {11, 25, 1}, {12, 25, 0}, {13, 25, 2}, {24, 25, 2},   // odd: line 12
      {0, 1, 0},   {0, 2, 1},   {1, 2, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.position) + " of " + std::to_string(c.size));
    EXPECT_EQ(UpDownHalf(c.position, c.size), c.half);
  }
}

class XpUpDownTest : public testing::Test {
 protected:
  TXPUpDown* Make(int width, int height, TUDOrientation orientation = udVertical) {
    updown_ = new TXPUpDown(form_.get());
    updown_->SetOrientation(orientation);
    return form_.Place(updown_, 10, 10, width, height);
  }
  void Send(UINT message, WPARAM keys, int x, int y) {
    SendMessageA(updown_->Handle(), message, keys, MAKELPARAM(x, y));
  }
  void Repaint() {
    updown_->Invalidate();
    updown_->Update();
    ProcessPendingMessages();
  }
  COLORREF At(int x, int y) { return xptest::ClientPixel(updown_->Handle(), x, y); }
  // Rows of the image from `top`, columns from `left`: '#' the arrow colour, '.' anything else.
  std::vector<std::string> Arrow(int left, int top, int width, int height) {
    std::vector<std::string> rows;
    for (int y = top; y < top + height; ++y) {
      std::string row;
      for (int x = left; x < left + width; ++x) row += At(x, y) == kXpArrowColor ? '#' : '.';
      rows.push_back(row);
    }
    return rows;
  }
  xptest::HostForm form_;
  TXPUpDown* updown_ = nullptr;
};

TEST_F(XpUpDownTest, StatesFollowTheMouseOverTheHalves) {
  Make(16, 25);
  struct Step {
    UINT message;
    WPARAM keys;
    int x, y;
    int state;
    const char* what;
  };
  const Step steps[] = {
      {WM_MOUSEMOVE, 0, 5, 3, 3, "over the first half: hot"},
      {WM_MOUSEMOVE, 0, 5, 20, 4, "over the second half: hot"},
      {WM_MOUSEMOVE, 0, 5, 12, 0, "the middle line of an odd height: none"},
      {WM_LBUTTONDOWN, MK_LBUTTON, 5, 3, 1, "press on the first half"},
      {WM_MOUSEMOVE, MK_LBUTTON, 5, 20, 2, "held over the second half: pressed there"},
      {WM_LBUTTONUP, 0, 5, 20, 4, "release inside: hot"},
      {WM_LBUTTONDBLCLK, MK_LBUTTON, 5, 20, 2, "a double click is a second press"},
      {WM_LBUTTONUP, 0, -3, 20, 0, "release outside: none"},
      {WM_LBUTTONDOWN, MK_LBUTTON, 5, 12, 0, "press on the middle line"},
      {WM_LBUTTONUP, 0, 5, 12, 0, "release on it"},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.what);
    Send(s.message, s.keys, s.x, s.y);
    EXPECT_EQ(updown_->m_iState, s.state);
    EXPECT_EQ(updown_->m_bHot, 1);
  }
  SendMessageA(updown_->Handle(), WM_MOUSELEAVE, 0, 0);
  EXPECT_EQ(updown_->m_iState, 0);
  EXPECT_EQ(updown_->m_bHot, 0);
}

TEST_F(XpUpDownTest, ThePressStillSpinsThroughTheBase) {
  Make(16, 24);
  updown_->SetPosition(5);
  Send(WM_LBUTTONDOWN, MK_LBUTTON, 5, 3);
  Send(WM_LBUTTONUP, 0, 5, 3);
  EXPECT_EQ(updown_->Position(), 6);
  Send(WM_LBUTTONDBLCLK, MK_LBUTTON, 5, 20);
  Send(WM_LBUTTONUP, 0, 5, 20);
  EXPECT_EQ(updown_->Position(), 5);
}

TEST_F(XpUpDownTest, PaintsTheFrameTheArrowsAndTheHotOrPressedHalf) {
  Make(16, 24);   // cx 7, q 6
  Repaint();
  // Top, right and bottom edges in the border colour; the left one stays open.
  EXPECT_EQ(Rgb(At(5, 0)), Rgb(kXpBorderColor));
  EXPECT_EQ(Rgb(At(15, 10)), Rgb(kXpBorderColor));
  EXPECT_EQ(Rgb(At(5, 23)), Rgb(kXpBorderColor));
  EXPECT_EQ(Rgb(At(0, 10)), Rgb(kXpFaceNormal));
  EXPECT_EQ(Arrow(3, 5, 9, 4), (std::vector<std::string>{"....#....",   //
                                                         "...###...",   //
                                                         "..#####..",   //
                                                         ".###.###."}));
  EXPECT_EQ(Arrow(3, 15, 9, 4), (std::vector<std::string>{".###.###.",   //
                                                          "..#####..",   //
                                                          "...###...",   //
                                                          "....#...."}));

  Send(WM_MOUSEMOVE, 0, 5, 3);   // hot first half: {0, 1, 15, 12}, repainted at once
  EXPECT_EQ(Rgb(At(0, 1)), Rgb(kXpHotOutline));
  EXPECT_EQ(Rgb(At(14, 11)), Rgb(kXpHotOutline));
  EXPECT_EQ(Rgb(At(2, 3)), Rgb(kXpFaceHot));
  EXPECT_EQ(Rgb(At(2, 12)), Rgb(kXpFaceNormal));
  EXPECT_EQ(Rgb(At(2, 18)), Rgb(kXpFaceNormal));
  EXPECT_EQ(Rgb(At(7, 5)), Rgb(kXpArrowColor));   // the arrow over it

  Send(WM_MOUSEMOVE, MK_LBUTTON, 5, 20);   // pressed second half: {0, 12, 15, 23}
  EXPECT_EQ(Rgb(At(0, 12)), Rgb(kXpPressedOutline));
  EXPECT_EQ(Rgb(At(14, 22)), Rgb(kXpPressedOutline));
  EXPECT_EQ(Rgb(At(2, 20)), Rgb(kXpFacePressed));
  EXPECT_EQ(Rgb(At(2, 3)), Rgb(kXpFaceNormal));
  EXPECT_EQ(Rgb(At(5, 23)), Rgb(kXpBorderColor));

  SendMessageA(updown_->Handle(), WM_MOUSELEAVE, 0, 0);   // cleared at once
  EXPECT_EQ(Rgb(At(2, 20)), Rgb(kXpFaceNormal));
}

TEST_F(XpUpDownTest, ThePointerLeavingClearsTheHighlight) {
  Make(16, 24);
  const TPoint over = updown_->ClientToScreen(TPoint(5, 3));
  SetCursorPos(over.x, over.y);
  ProcessPendingMessages();
  EXPECT_EQ(updown_->m_iState, 3);
  EXPECT_EQ(Rgb(At(2, 3)), Rgb(kXpFaceHot));
  const TPoint away = form_->ClientToScreen(TPoint(300, 200));
  SetCursorPos(away.x, away.y);
  ProcessPendingMessages();
  EXPECT_EQ(updown_->m_bHot, 0);
  EXPECT_EQ(updown_->m_iState, 0);
  EXPECT_EQ(Rgb(At(2, 3)), Rgb(kXpFaceNormal));
}

TEST_F(XpUpDownTest, TheMiddleLineOfAnOddHeightShowsNoHighlight) {
  Make(16, 25);
  Send(WM_MOUSEMOVE, 0, 5, 3);
  Send(WM_MOUSEMOVE, 0, 5, 12);
  EXPECT_EQ(updown_->m_iState, 0);
  for (int y = 1; y < 24; ++y) EXPECT_NE(Rgb(At(2, y)), Rgb(kXpFaceHot)) << y;
}

TEST_F(XpUpDownTest, AHorizontalOneTracksItsHalvesButPaintsNothing) {
  Make(32, 16, udHorizontal);
  Send(WM_MOUSEMOVE, 0, 5, 8);
  EXPECT_EQ(updown_->m_iState, 3);
  Send(WM_MOUSEMOVE, 0, 20, 8);
  EXPECT_EQ(updown_->m_iState, 4);
  // A mark drawn into the window stays through a paint.
  HDC dc = GetDC(updown_->Handle());
  HBRUSH mark = CreateSolidBrush(RGB(1, 2, 3));
  const RECT all{0, 0, 32, 16};
  FillRect(dc, &all, mark);
  DeleteObject(mark);
  ReleaseDC(updown_->Handle(), dc);
  Repaint();
  EXPECT_EQ(Rgb(At(20, 8)), Rgb(RGB(1, 2, 3)));
  EXPECT_EQ(Rgb(At(0, 0)), Rgb(RGB(1, 2, 3)));
}

}  // namespace

// The flat combo box: the version test, the states under the mouse and the drop button painted
// over the base's.
#include "widgets/Xpcombobox.h"

#include "XpPixels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using xptest::Rgb;
using zuvo::platform::ProcessPendingMessages;
using namespace zuvo::widgets;

class XpComboBoxTest : public testing::Test {
 protected:
  TXPComboBox* Make() {
    box_ = new TXPComboBox(form_.get());
    box_->SetColor(clWhite);
    box_->Items()->Add("one");
    box_->Items()->Add("two");
    form_.Place(box_, 10, 10, 140, 22);
    // The pointer over the box: a leave notice asked for with the pointer elsewhere comes at once.
    const TPoint over = box_->ClientToScreen(TPoint(5, 5));
    SetCursorPos(over.x, over.y);
    ProcessPendingMessages();
    return box_;
  }
  // Presses and releases go to the text part, away from the button: the list stays closed.
  void Send(UINT message, WPARAM keys, int x, int y) {
    SendMessageA(box_->Handle(), message, keys, MAKELPARAM(x, y));
  }
  void Repaint() {
    box_->Invalidate();
    box_->Update();
    ProcessPendingMessages();
  }
  RECT Button() {
    COMBOBOXINFO info{};
    info.cbSize = sizeof info;
    EXPECT_TRUE(GetComboBoxInfo(box_->Handle(), &info));
    RECT b = info.rcButton;
    b.top -= 2;
    return b;
  }
  COLORREF At(int x, int y) { return xptest::ClientPixel(box_->Handle(), x, y); }
  // A pixel of the button's face, clear of its line and chevron, inside the client area.
  COLORREF Face() {
    const RECT b = Button();
    return At(std::min<int>(b.right, box_->ClientWidth()) - 2, box_->ClientHeight() - 2);
  }
  xptest::HostForm form_;
  TXPComboBox* box_ = nullptr;
};

TEST_F(XpComboBoxTest, OnVersion51ItIsFlatAndTheVersionIsAskedOnce) {
  Make();
  EXPECT_EQ(TXPComboBox::m_iOsVersion, 50001);
  const LONG exStyle = GetWindowLongA(box_->Handle(), GWL_EXSTYLE);
  EXPECT_NE(exStyle & WS_EX_STATICEDGE, 0);
  EXPECT_EQ(exStyle & kXpEdgeExStyles, 0);
  RedrawWindow(box_->Handle(), nullptr, nullptr, RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
  EXPECT_EQ(Rgb(xptest::WindowPixel(box_->Handle(), 0, 0)), Rgb(kXpBorderColor));
  EXPECT_EQ(Rgb(xptest::WindowPixel(box_->Handle(), 139, 21)), Rgb(kXpBorderColor));
  EXPECT_EQ(Rgb(Face()), Rgb(kXpFaceHot));   // the pointer is over it
  // Inside the flat frame the box draws no frame of its own: the screen shows no dark line
  // along the bottom of the text part or beside the button.
  HDC screen = GetDC(nullptr);
  const TPoint bottom = box_->ClientToScreen(TPoint(40, box_->ClientHeight() - 1));
  const TPoint right = box_->ClientToScreen(TPoint(box_->ClientWidth() - 1, box_->ClientHeight() / 2));
  EXPECT_GT(GetRValue(GetPixel(screen, bottom.x, bottom.y)), 150);
  EXPECT_EQ(Rgb(GetPixel(screen, right.x, right.y)), Rgb(kXpFaceHot));
  ReleaseDC(nullptr, screen);
  {
    // A later change of the system's answer is not seen: the first box asked for the process.
    zuvo::platform::ScopedOsVersionForTest older(5, 0);
    auto* second = form_.Place(new TXPComboBox(form_.get()), 10, 50, 140, 22);
    EXPECT_EQ(TXPComboBox::m_iOsVersion, 50001);
    EXPECT_NE(GetWindowLongA(second->Handle(), GWL_EXSTYLE) & WS_EX_STATICEDGE, 0);
  }
}

TEST_F(XpComboBoxTest, OnVersion50ItIsThePlainBase) {
  const int asked = TXPComboBox::m_iOsVersion;
  TXPComboBox::m_iOsVersion = 0;
  {
    zuvo::platform::ScopedOsVersionForTest older(5, 0);
    Make();
  }
  EXPECT_EQ(TXPComboBox::m_iOsVersion, 50000);
  EXPECT_EQ(GetWindowLongA(box_->Handle(), GWL_EXSTYLE) & WS_EX_STATICEDGE, 0);
  Send(WM_MOUSEMOVE, 0, 5, 5);
  EXPECT_EQ(box_->m_bHot, 0);
  EXPECT_EQ(box_->m_iState, 0);
  Repaint();
  EXPECT_NE(Rgb(Face()), Rgb(kXpFaceNormal));
  EXPECT_NE(Rgb(Face()), Rgb(kXpFaceHot));
  TXPComboBox::m_iOsVersion = asked;
}

TEST_F(XpComboBoxTest, StatesFollowTheMouseAndPressesDoNotRepaint) {
  Make();
  Send(WM_MOUSEMOVE, 0, 5, 5);
  EXPECT_EQ(box_->m_bHot, 1);
  EXPECT_EQ(box_->m_iState, TXPComboBox::kStateHot);
  EXPECT_EQ(Rgb(Face()), Rgb(kXpFaceHot));   // a move repaints at once
  Send(WM_MOUSEMOVE, MK_LBUTTON, 6, 5);
  EXPECT_EQ(box_->m_iState, TXPComboBox::kStatePressed);
  EXPECT_EQ(Rgb(Face()), Rgb(kXpFacePressed));

  struct Step {
    UINT message;
    WPARAM keys;
    int x, y;
    int state;
    COLORREF nextPaint;
    const char* what;
  };
  const Step steps[] = {
      {WM_LBUTTONUP, 0, 5, 5, TXPComboBox::kStateHot, kXpFaceHot, "release inside: hot"},
      {WM_LBUTTONDOWN, MK_LBUTTON, 5, 5, TXPComboBox::kStatePressed, kXpFacePressed, "press"},
      {WM_LBUTTONUP, 0, 5, 40, TXPComboBox::kStateNormal, kXpFaceNormal, "release below: normal"},
      {WM_LBUTTONDBLCLK, MK_LBUTTON, 5, 5, TXPComboBox::kStatePressed, kXpFacePressed, "a double click presses again"},
      {WM_LBUTTONUP, 0, -2, 5, TXPComboBox::kStateNormal, kXpFaceNormal, "release left of it: normal"},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.what);
    Send(s.message, s.keys, s.x, s.y);
    EXPECT_EQ(box_->m_iState, s.state);
    Repaint();
    EXPECT_EQ(Rgb(Face()), Rgb(s.nextPaint));
  }
  box_->SetDroppedDown(false);

  Send(WM_MOUSEMOVE, 0, 5, 5);
  EXPECT_EQ(Rgb(Face()), Rgb(kXpFaceHot));
  SendMessageA(box_->Handle(), WM_MOUSELEAVE, 0, 0);   // cleared at once, no paint asked for
  EXPECT_EQ(box_->m_bHot, 0);
  EXPECT_EQ(box_->m_iState, TXPComboBox::kStateNormal);
  EXPECT_EQ(Rgb(Face()), Rgb(kXpFaceNormal));
}

TEST_F(XpComboBoxTest, ThePointerLeavingClearsTheHotFace) {
  Make();   // the pointer is over it
  EXPECT_EQ(box_->m_bHot, 1);
  EXPECT_EQ(Rgb(Face()), Rgb(kXpFaceHot));
  const TPoint away = form_->ClientToScreen(TPoint(300, 200));
  SetCursorPos(away.x, away.y);
  ProcessPendingMessages();
  EXPECT_EQ(box_->m_bHot, 0);
  EXPECT_EQ(box_->m_iState, TXPComboBox::kStateNormal);
  EXPECT_EQ(Rgb(Face()), Rgb(kXpFaceNormal));
}

TEST_F(XpComboBoxTest, PaintsTheButtonLineTheEdgeAndTheChevron) {
  Make();
  Repaint();
  const RECT b = Button();
  EXPECT_EQ(Rgb(At(b.left, b.bottom - 1)), Rgb(kXpBorderColor));
  EXPECT_EQ(Rgb(At(b.left, std::max<int>(b.top, 0))), Rgb(kXpBorderColor));
  // The base's inner edge along the top and left is painted over in the control's colour.
  for (const POINT p : {POINT{20, 0}, POINT{20, 1}, POINT{0, 10}, POINT{1, 10}}) {
    EXPECT_EQ(Rgb(At(p.x, p.y)), Rgb(RGB(255, 255, 255))) << p.x << "," << p.y;
  }
  const int cx = b.left + (b.right - b.left - 1) / 2;
  const int cy = b.top + (b.bottom - b.top) / 2;
  std::vector<std::string> rows;
  for (int y = cy - 3; y <= cy + 4; ++y) {
    std::string row;
    for (int x = cx - 5; x <= cx + 5; ++x) row += At(x, y) == kXpArrowColor ? '#' : '.';
    rows.push_back(row);
  }
  EXPECT_EQ(rows, (std::vector<std::string>{"...........",   //
                                            "..#.....#..",   //
                                            ".###...###.",   //
                                            "..###.###..",   //
                                            "...#####...",   //
                                            "....###....",   //
                                            ".....#.....",   //
                                            "..........."}));
}

}  // namespace

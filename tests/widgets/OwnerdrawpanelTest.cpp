// The owner-draw panel: a face painted only by its handler (or its colour), and hit testing,
// cursor, size limits and left-button messages handed to events.
#include "widgets/Ownerdrawpanel.h"

#include "platform/DrivenClock.h"
#include "platform/Form.h"
#include "platform/Message.h"
#include "platform/Screen.h"
#include "platform/WinUser.h"
#include "widgets/Package.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using zuvo::platform::ProcessPendingMessages;

LPARAM Point(int x, int y) { return MAKELPARAM(static_cast<WORD>(static_cast<short>(x)), static_cast<WORD>(static_cast<short>(y))); }

class OwnerDrawPanelTest : public testing::Test {
 protected:
  void SetUp() override {
    form_ = NewForm<TForm>(nullptr);
    form_->SetClientWidth(300);
    form_->SetClientHeight(200);
    form_->SetColor(clWhite);
    form_->Show();
    panel_ = new TOwnerDrawPanel(form_);
    panel_->SetBounds(10, 10, 60, 40);
    panel_->SetCaption("Caption");
    panel_->SetParent(form_);
    ProcessPendingMessages();
  }
  void TearDown() override {
    ReleaseCapture();
    TComponent::Free(form_);
    ProcessPendingMessages();
  }
  void Paint() {
    InvalidateRect(panel_->Handle(), nullptr, TRUE);
    UpdateWindow(panel_->Handle());
  }
  COLORREF Pixel(int x, int y) {
    HDC dc = GetDC(panel_->Handle());
    const COLORREF c = GetPixel(dc, x, y);
    ReleaseDC(panel_->Handle(), dc);
    return c;
  }
  // Every pixel of the face, corners (where the bevel would be) and caption included.
  bool FaceIs(COLORREF colour) {
    for (int y = 0; y < 40; ++y)
      for (int x = 0; x < 60; ++x)
        if (Pixel(x, y) != colour) return false;
    return true;
  }

  zuvo::platform::ScopedDrivenClock clock_;
  TForm* form_ = nullptr;
  TOwnerDrawPanel* panel_ = nullptr;
};

TEST_F(OwnerDrawPanelTest, OnDrawPaintsTheWholeFaceAndTheBackgroundIsNeverErased) {
  std::vector<TRect> rects;
  panel_->OnDraw = [&](TObject* sender, HDC dc, RECT* rect) {
    EXPECT_EQ(sender, panel_);
    rects.push_back(*rect);
    HBRUSH brush = CreateSolidBrush(RGB(200, 30, 40));
    FillRect(dc, rect, brush);
    DeleteObject(brush);
  };
  Paint();
  ASSERT_EQ(rects.size(), 1u);
  EXPECT_EQ(rects[0], TRect(0, 0, 60, 40));
  EXPECT_TRUE(FaceIs(RGB(200, 30, 40)));
  // Erasing is answered without touching the face.
  HDC dc = GetDC(panel_->Handle());
  EXPECT_EQ(SendMessageA(panel_->Handle(), WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0), 1);
  ReleaseDC(panel_->Handle(), dc);
  EXPECT_TRUE(FaceIs(RGB(200, 30, 40)));
}

TEST_F(OwnerDrawPanelTest, WithoutOnDrawTheFaceIsOnlyItsColour) {
  struct Case {
    TColor color;
    COLORREF face;
  } cases[] = {
      {RGB(10, 120, 230), RGB(10, 120, 230)},
      {clBtnFace, GetSysColor(COLOR_BTNFACE)},
      {clInfoBk, GetSysColor(COLOR_INFOBK)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.color));
    panel_->SetColor(c.color);
    Paint();
    EXPECT_TRUE(FaceIs(c.face));   // no bevel, no caption
  }
}

TEST_F(OwnerDrawPanelTest, SetCursorHandledAnswersOneAndSkipsThePanelsCursor) {
  HCURSOR cross = Screen->Cursors(crCross);
  HCURSOR arrow = Screen->Cursors(crArrow);
  if (cross == nullptr || arrow == nullptr || cross == arrow) GTEST_SKIP() << "no distinct system cursors";
  panel_->SetCursor(crCross);
  std::vector<int> hits;
  bool handle = true;
  panel_->OnSetCursor = [&](TObject* sender, int hit, bool* handled) {
    EXPECT_EQ(sender, panel_);
    EXPECT_FALSE(*handled);
    hits.push_back(hit);
    *handled = handle;
  };
  HWND w = panel_->Handle();
  const LPARAM client = MAKELPARAM(HTCLIENT, WM_MOUSEMOVE);
  ::SetCursor(arrow);
  EXPECT_EQ(SendMessageA(w, WM_SETCURSOR, reinterpret_cast<WPARAM>(w), client), 1);
  EXPECT_EQ(GetCursor(), arrow);
  handle = false;
  SendMessageA(w, WM_SETCURSOR, reinterpret_cast<WPARAM>(w), client);
  EXPECT_EQ(GetCursor(), cross);
  // The hit-test code is signed: HTERROR (-2) arrives as -2.
  SendMessageA(w, WM_SETCURSOR, reinterpret_cast<WPARAM>(w), MAKELPARAM(static_cast<WORD>(-2), WM_LBUTTONDOWN));
  EXPECT_EQ(hits, (std::vector<int>{HTCLIENT, HTCLIENT, -2}));
  panel_->OnSetCursor = nullptr;
  ::SetCursor(arrow);
  SendMessageA(w, WM_SETCURSOR, reinterpret_cast<WPARAM>(w), client);
  EXPECT_EQ(GetCursor(), cross);
}

TEST_F(OwnerDrawPanelTest, NcHitTestAnswerIsTheHandlersAndPositionsAreSigned) {
  HWND w = panel_->Handle();
  const LRESULT before = SendMessageA(w, WM_NCHITTEST, 0, Point(20, 20));
  std::vector<std::pair<int, int>> seen;
  panel_->OnNcHittest = [&](TObject* sender, int x, int y, int* result) {
    EXPECT_EQ(sender, panel_);
    seen.emplace_back(x, y);
    *result = HTCAPTION;
  };
  EXPECT_EQ(SendMessageA(w, WM_NCHITTEST, 0, Point(20, 20)), HTCAPTION);
  EXPECT_EQ(SendMessageA(w, WM_NCHITTEST, 0, Point(-300, -2)), HTCAPTION);   // a screen left of the primary one
  EXPECT_EQ(seen, (std::vector<std::pair<int, int>>{{20, 20}, {-300, -2}}));
  panel_->OnNcHittest = nullptr;
  EXPECT_EQ(SendMessageA(w, WM_NCHITTEST, 0, Point(20, 20)), before);
}

TEST_F(OwnerDrawPanelTest, GetMinMaxInfoIsFilledByTheHandler) {
  MINMAXINFO info{};
  info.ptMaxTrackSize = {9999, 9999};
  panel_->OnGetMinMaxInfo = [](TObject*, MINMAXINFO* mmi) {
    mmi->ptMinTrackSize = {50, 30};
    mmi->ptMaxTrackSize = {120, 90};
  };
  EXPECT_EQ(SendMessageA(panel_->Handle(), WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info)), 0);
  EXPECT_EQ(info.ptMinTrackSize.x, 50);
  EXPECT_EQ(info.ptMaxTrackSize.y, 90);
  // A top-level panel is held to the limits when it is sized.
  auto* top = new TOwnerDrawPanel(form_);
  top->OnGetMinMaxInfo = panel_->OnGetMinMaxInfo;
  top->SetBounds(0, 0, 100, 60);
  top->HandleNeeded();
  top->SetBounds(0, 0, 300, 10);
  ProcessPendingMessages();
  RECT r{};
  GetWindowRect(top->Handle(), &r);
  EXPECT_EQ(r.right - r.left, 120);
  EXPECT_EQ(r.bottom - r.top, 30);
}

TEST_F(OwnerDrawPanelTest, LeftButtonEventsReplaceThePanelsOwnMouseEventsAndClick) {
  std::vector<std::string> journal;
  panel_->OnMouseDown = [&](TObject*, TMouseButton, TShiftState, int x, int y) {
    journal.push_back("MouseDown " + std::to_string(x) + "," + std::to_string(y));
  };
  panel_->OnClick = [&](TObject*) { journal.push_back("Click"); };
  HWND w = panel_->Handle();
  SendMessageA(w, WM_LBUTTONDOWN, MK_LBUTTON, Point(5, 6));
  SendMessageA(w, WM_LBUTTONUP, 0, Point(5, 6));
  ProcessPendingMessages();
  EXPECT_EQ(journal, (std::vector<std::string>{"MouseDown 5,6", "Click"}));
  journal.clear();
  panel_->OnLButtonDown = [&](TObject* sender, int x, int y) {
    EXPECT_EQ(sender, panel_);
    journal.push_back("LButtonDown " + std::to_string(x) + "," + std::to_string(y));
  };
  panel_->OnLButtonUp = [&](TObject*, int x, int y) {
    journal.push_back("LButtonUp " + std::to_string(x) + "," + std::to_string(y));
  };
  EXPECT_EQ(SendMessageA(w, WM_LBUTTONDOWN, MK_LBUTTON, Point(5, 6)), 0);
  EXPECT_EQ(SendMessageA(w, WM_LBUTTONUP, 0, Point(-4, -7)), 0);   // released left of and above it
  ProcessPendingMessages();
  EXPECT_EQ(journal, (std::vector<std::string>{"LButtonDown 5,6", "LButtonUp -4,-7"}));
}

TEST_F(OwnerDrawPanelTest, RegistersItsClass) {
  zuvo::widgets::RegisterOwnerdrawpanel();
  auto classes = zuvo::widgets::RegisteredComponentClasses();
  EXPECT_NE(std::find(classes.begin(), classes.end(), "TOwnerDrawPanel"), classes.end());
}

}  // namespace

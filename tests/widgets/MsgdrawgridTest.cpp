// The message grid: the six raw-message events with their handled flag, ahead of the draw
// grid's own mouse and key handling.
#include "widgets/Msgdrawgrid.h"

#include "platform/DrivenClock.h"
#include "platform/Form.h"
#include "platform/Menu.h"
#include "platform/Message.h"
#include "platform/WinUser.h"
#include "widgets/Package.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace {

using zuvo::platform::ProcessPendingMessages;
using Journal = std::vector<std::string>;

LPARAM Point(int x, int y) { return MAKELPARAM(static_cast<WORD>(static_cast<short>(x)), static_cast<WORD>(static_cast<short>(y))); }

std::vector<std::string> popups;
bool RecordPopup(TPopupMenu*, int x, int y) {
  popups.push_back(std::to_string(x) + "," + std::to_string(y));
  return true;
}

class MsgDrawGridTest : public testing::Test {
 protected:
  void SetUp() override {
    form_ = NewForm<TForm>(nullptr);
    form_->SetClientWidth(400);
    form_->SetClientHeight(300);
    form_->Show();
    grid_ = new TMsgDrawGrid(form_);
    grid_->SetScrollBars(ssNone);
    grid_->SetBounds(0, 0, 330, 125);   // 64 x 24 cells with 1-pixel lines: cell (2, 2) at 130..193, 50..73
    grid_->SetParent(form_);
    ProcessPendingMessages();
    grid_->OnMouseDown = [this](TObject*, TMouseButton b, TShiftState, int x, int y) {
      journal_.push_back(std::string(b == mbLeft ? "MouseDown " : "RMouseDown ") + std::to_string(x) + "," + std::to_string(y));
    };
    grid_->OnMouseUp = [this](TObject*, TMouseButton b, TShiftState, int, int) {
      journal_.push_back(b == mbLeft ? "MouseUp" : "RMouseUp");
    };
    grid_->OnKeyDown = [this](TObject*, WORD& key, TShiftState) { journal_.push_back("KeyDown " + std::to_string(key)); };
    grid_->OnKeyUp = [this](TObject*, WORD& key, TShiftState) { journal_.push_back("KeyUp " + std::to_string(key)); };
  }
  void TearDown() override {
    SetPopupMenuPresenter(nullptr);
    ReleaseCapture();
    TComponent::Free(form_);
    ProcessPendingMessages();
  }
  // A mouse event that logs its arguments, checks that the flag starts set and clears it when
  // asked.
  TMsgMouseEvent MouseHandler(const std::string& name, bool clear) {
    return [this, name, clear](TObject* sender, int x, int y, bool* handled) {
      EXPECT_EQ(sender, grid_);
      EXPECT_TRUE(*handled);
      journal_.push_back(name + " " + std::to_string(x) + "," + std::to_string(y));
      if (clear) *handled = false;
    };
  }
  TMsgKeyEvent KeyHandler(const std::string& name, bool clear) {
    return [this, name, clear](TObject* sender, WPARAM key, bool* handled) {
      EXPECT_EQ(sender, grid_);
      EXPECT_TRUE(*handled);
      journal_.push_back(name + " " + std::to_string(key));
      if (clear) *handled = false;
    };
  }

  zuvo::platform::ScopedDrivenClock clock_;
  TForm* form_ = nullptr;
  TMsgDrawGrid* grid_ = nullptr;
  Journal journal_;
};

// Each of the six messages with its event unassigned, assigned and left handled, and assigned
// and cleared: the event runs first, and only an unhandled message reaches the grid (its
// selection and its own events).
TEST_F(MsgDrawGridTest, EachEventRunsFirstAndALeftFlagKeepsTheMessageFromTheGrid) {
  struct Message {
    const char* event;      // the event's journal line
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
    Journal base;           // what the grid itself raises
    int col, row;           // the current cell after the grid handled it (from 1, 1)
  } messages[] = {
      {"LButtonDown 150,60", WM_LBUTTONDOWN, MK_LBUTTON, Point(150, 60), {"MouseDown 150,60"}, 2, 2},
      {"LButtonUp 150,60", WM_LBUTTONUP, 0, Point(150, 60), {"MouseUp"}, 1, 1},
      {"RButtonDown 150,60", WM_RBUTTONDOWN, MK_RBUTTON, Point(150, 60), {"RMouseDown 150,60"}, 1, 1},
      {"RButtonUp 150,60", WM_RBUTTONUP, 0, Point(150, 60), {"RMouseUp"}, 1, 1},
      {"KeyDown2 39", WM_KEYDOWN, VK_RIGHT, 1, {"KeyDown 39"}, 2, 1},
      {"KeyUp2 39", WM_KEYUP, VK_RIGHT, 1, {"KeyUp 39"}, 1, 1},
  };
  enum Mode { unassigned, handled, cleared };
  for (const Message& m : messages) {
    for (Mode mode : {unassigned, handled, cleared}) {
      SCOPED_TRACE(std::string(m.event) + (mode == unassigned ? " unassigned" : mode == handled ? " handled" : " cleared"));
      grid_->SetCol(1);
      grid_->SetRow(1);
      ReleaseCapture();
      journal_.clear();
      const bool clear = mode == cleared;
      grid_->OnLButtonDown = grid_->OnLButtonUp = grid_->OnRButtonDown = grid_->OnRButtonUp = nullptr;
      grid_->OnKeyDown2 = grid_->OnKeyUp2 = nullptr;
      if (mode != unassigned) {
        switch (m.msg) {
          case WM_LBUTTONDOWN: grid_->OnLButtonDown = MouseHandler("LButtonDown", clear); break;
          case WM_LBUTTONUP: grid_->OnLButtonUp = MouseHandler("LButtonUp", clear); break;
          case WM_RBUTTONDOWN: grid_->OnRButtonDown = MouseHandler("RButtonDown", clear); break;
          case WM_RBUTTONUP: grid_->OnRButtonUp = MouseHandler("RButtonUp", clear); break;
          case WM_KEYDOWN: grid_->OnKeyDown2 = KeyHandler("KeyDown2", clear); break;
          case WM_KEYUP: grid_->OnKeyUp2 = KeyHandler("KeyUp2", clear); break;
        }
      }
      const LRESULT result = SendMessageA(grid_->Handle(), m.msg, m.wParam, m.lParam);
      ProcessPendingMessages();
      Journal expected;
      if (mode != unassigned) expected.push_back(m.event);
      if (mode != handled) expected.insert(expected.end(), m.base.begin(), m.base.end());
      EXPECT_EQ(journal_, expected);
      if (mode == handled) {
        EXPECT_EQ(result, 0);
        EXPECT_EQ(grid_->Col(), 1);
        EXPECT_EQ(grid_->Row(), 1);
      } else {
        EXPECT_EQ(grid_->Col(), m.col);
        EXPECT_EQ(grid_->Row(), m.row);
      }
    }
  }
}

TEST_F(MsgDrawGridTest, AHandledRightButtonOpensNoPopupMenu) {
  TPopupMenu menu(form_);
  SetPopupMenuPresenter(&RecordPopup);
  popups.clear();
  grid_->SetPopupMenu(&menu);
  auto click = [this] {
    SendMessageA(grid_->Handle(), WM_RBUTTONDOWN, MK_RBUTTON, Point(150, 60));
    SendMessageA(grid_->Handle(), WM_RBUTTONUP, 0, Point(150, 60));
    ProcessPendingMessages();
  };
  grid_->OnRButtonDown = MouseHandler("RButtonDown", false);
  grid_->OnRButtonUp = MouseHandler("RButtonUp", false);
  click();
  EXPECT_TRUE(popups.empty());
  EXPECT_EQ(journal_, (Journal{"RButtonDown 150,60", "RButtonUp 150,60"}));
  // Cleared, the release goes on to the grid, which shows its menu.
  grid_->OnRButtonUp = MouseHandler("RButtonUp", true);
  click();
  EXPECT_EQ(popups.size(), 1u);
  grid_->SetPopupMenu(nullptr);
}

// A press or release left of or above the grid, as a captured mouse reports it, reaches the
// handlers as a negative position (not near 65535), outside every cell.
TEST_F(MsgDrawGridTest, PositionsLeftOfOrAboveTheGridArriveNegative) {
  std::vector<std::pair<int, int>> seen;
  auto record = [&seen](TObject*, int x, int y, bool* handled) {
    seen.emplace_back(x, y);
    *handled = false;
  };
  grid_->OnLButtonDown = record;
  grid_->OnLButtonUp = record;
  grid_->OnRButtonUp = record;
  const std::pair<int, int> points[] = {{-5, -3}, {-1, 40}, {100, -1}, {-32768, 32767}};
  for (auto [x, y] : points) {
    SCOPED_TRACE(std::to_string(x) + "," + std::to_string(y));
    seen.clear();
    journal_.clear();
    SetCapture(grid_->Handle());
    SendMessageA(grid_->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, Point(x, y));
    SendMessageA(grid_->Handle(), WM_LBUTTONUP, 0, Point(x, y));
    SendMessageA(grid_->Handle(), WM_RBUTTONUP, 0, Point(x, y));
    ProcessPendingMessages();
    EXPECT_EQ(seen, (std::vector<std::pair<int, int>>(3, {x, y})));
    int col = 0, row = 0;
    grid_->MouseToCell(x, y, col, row);
    EXPECT_EQ(col, -1);
    EXPECT_EQ(grid_->Col(), 1);
    EXPECT_EQ(grid_->Row(), 1);
  }
}

TEST_F(MsgDrawGridTest, RegistersItsClass) {
  zuvo::widgets::RegisterMsgdrawgrid();
  auto classes = zuvo::widgets::RegisteredComponentClasses();
  EXPECT_NE(std::find(classes.begin(), classes.end(), "TMsgDrawGrid"), classes.end());
}

}  // namespace

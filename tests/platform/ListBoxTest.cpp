// List boxes: geometry in one and several columns, sorted rows, extended selection, keys, owner
// drawing read back in pixels, check lists, moved rows, the LB_ messages with bad indexes.
#include "platform/ListBox.h"

#include "platform/DrivenClock.h"
#include "platform/Form.h"
#include "platform/Input.h"
#include "platform/Message.h"
#include "platform/WinUser.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace {

using zuvo::platform::ProcessPendingMessages;
using zuvo::platform::SimulateKey;
using zuvo::platform::SimulateMouse;

std::tuple<int, int, int, int> R(const TRect& r) { return {r.left, r.top, r.right, r.bottom}; }

class ListBoxTest : public testing::Test {
 public:
  void SetUp() override {
    form_ = NewForm<TForm>(nullptr);
    form_->SetClientWidth(400);
    form_->SetClientHeight(300);
    form_->Show();
    ProcessPendingMessages();
  }
  void TearDown() override {
    ReleaseCapture();
    TComponent::Free(form_);
    ProcessPendingMessages();
  }
  // A box with a 200 x 100 client area (the sunken edge takes 2 pixels a side), rows of 20.
  template <class Box = TListBox>
  Box* Make(int count, int columns = 0) {
    auto* box = new Box(form_);
    box->SetBounds(10, 10, 204, 104);
    box->SetItemHeight(20);
    box->SetColumns(columns);
    box->SetParent(form_);
    for (int i = 0; i < count; ++i) box->Items()->Add("item" + std::to_string(i));
    ProcessPendingMessages();
    return box;
  }
  void Click(TWinControl* c, int x, int y, WPARAM mods = 0) {
    SimulateMouse(c->Handle(), WM_LBUTTONDOWN, x, y, MK_LBUTTON | mods);
    ProcessPendingMessages();
    SimulateMouse(c->Handle(), WM_LBUTTONUP, x, y, mods);
    ProcessPendingMessages();
  }
  void ClickRow(TCustomListBox* box, int index, WPARAM mods = 0) {
    const TRect r = box->ItemRect(index);
    Click(box, (r.left + r.right) / 2 + 8, (r.top + r.bottom) / 2, mods);
  }
  void Key(TWinControl* c, int key, UINT mods = 0, const char* text = nullptr) {
    SimulateKey(c->Handle(), key, true, mods, text);
    ProcessPendingMessages();
    SimulateKey(c->Handle(), key, false, mods);
    ProcessPendingMessages();
  }
  static void Paint(TWinControl* c) {
    InvalidateRect(c->Handle(), nullptr, TRUE);
    UpdateWindow(c->Handle());
  }
  static COLORREF Pixel(TWinControl* c, int x, int y) {
    HDC dc = GetDC(c->Handle());
    const COLORREF colour = GetPixel(dc, x, y);
    ReleaseDC(c->Handle(), dc);
    return colour;
  }
  static std::set<int> SelectedRows(TCustomListBox* box) {
    std::set<int> out;
    for (int i = 0; i < box->Items()->Count(); ++i)
      if (box->Selected(i)) out.insert(i);
    return out;
  }

 protected:
  zuvo::platform::ScopedDrivenClock clock_;
  TForm* form_ = nullptr;
};

// ---- Geometry ------------------------------------------------------------------------------------

TEST_F(ListBoxTest, ItemRectAndItemAtPosInOneAndFourColumns) {
  struct Probe {
    int index;
    std::tuple<int, int, int, int> rect;
  };
  struct Case {
    const char* name;
    int count, columns, top;
    bool vbar, hbar;
    std::vector<Probe> probes;
  } cases[] = {
      {"one column, all rows fit", 3, 0, 0, false, false,
       {{0, {0, 0, 200, 20}}, {2, {0, 40, 200, 60}}, {3, {0, 0, 0, 0}}, {-1, {0, 0, 0, 0}}}},
      {"one column, scrolled, the bar takes the right", 10, 0, 5, true, false,
       {{5, {0, 0, 184, 20}}, {9, {0, 80, 184, 100}}, {4, {0, -20, 184, 0}}}},
      {"four columns, five rows each", 12, 4, 0, false, false,
       {{0, {0, 0, 50, 20}}, {4, {0, 80, 50, 100}}, {5, {50, 0, 100, 20}}, {11, {100, 20, 150, 40}}}},
      // 26 rows need six columns of five: the horizontal bar comes, leaving four rows a column.
      {"four columns of 26, the bar takes a row", 26, 4, 0, false, true,
       {{0, {0, 0, 50, 20}}, {3, {0, 60, 50, 80}}, {4, {50, 0, 100, 20}}, {15, {150, 60, 200, 80}},
        {16, {200, 0, 250, 20}}}},
      {"four columns of 26, scrolled one column", 26, 4, 4, false, true,
       {{4, {0, 0, 50, 20}}, {25, {250, 20, 300, 40}}, {0, {-50, 0, 0, 20}}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto* box = Make(c.count, c.columns);
    box->SetTopIndex(c.top);
    EXPECT_EQ(box->TopIndex(), c.top);
    EXPECT_EQ(box->VertScrollBar()->Visible(), c.vbar);
    EXPECT_EQ(box->HorzScrollBar()->Visible(), c.hbar);
    for (const Probe& p : c.probes) {
      SCOPED_TRACE(p.index);
      const TRect r = box->ItemRect(p.index);
      EXPECT_EQ(R(r), p.rect);
      // A visible row is found again at its centre.
      if (r.right > r.left && r.left >= 0 && r.top >= 0 && r.right <= 200 && r.bottom <= 100) {
        EXPECT_EQ(box->ItemAtPos(TPoint((r.left + r.right) / 2, (r.top + r.bottom) / 2), true), p.index);
      }
    }
    TComponent::Free(box);
  }
}

TEST_F(ListBoxTest, ScrollBarsMoveTheRowsByRowsOrByColumns) {
  auto* columns = Make(26, 4);
  TScrollBar* hbar = columns->HorzScrollBar();
  EXPECT_EQ(std::make_tuple(hbar->Min(), hbar->Max(), hbar->PageSize()), std::make_tuple(0, 6, 4));
  const TRect right = hbar->PartRect(sbpLineDown);
  Click(hbar, (right.left + right.right) / 2, (right.top + right.bottom) / 2);
  EXPECT_EQ(columns->TopIndex(), 4);
  columns->MakeVisible(0);
  EXPECT_EQ(columns->TopIndex(), 0);
  EXPECT_EQ(hbar->Position(), 0);

  auto* rows = Make(10);
  TScrollBar* vbar = rows->VertScrollBar();
  const TRect down = vbar->PartRect(sbpLineDown);
  Click(vbar, (down.left + down.right) / 2, (down.top + down.bottom) / 2);
  EXPECT_EQ(rows->TopIndex(), 1);
  rows->SetItemIndex(9);
  EXPECT_EQ(rows->TopIndex(), 5);
  EXPECT_EQ(vbar->Position(), 5);
  rows->SetFocus();   // the wheel goes to the focused window
  zuvo::platform::SimulateWheel(rows->Handle(), WHEEL_DELTA, 20, 20);
  ProcessPendingMessages();
  EXPECT_EQ(rows->TopIndex(), 2);   // three rows a notch
  EXPECT_EQ(vbar->Position(), 2);
  EXPECT_EQ(rows->ItemIndex(), 9);
}

TEST_F(ListBoxTest, ItemAtPosBelowTheLastRowAndTopIndexLimits) {
  auto* box = Make(3);
  EXPECT_EQ(box->ItemAtPos(TPoint(10, 70), true), -1);
  EXPECT_EQ(box->ItemAtPos(TPoint(10, 70), false), 3);
  box->SetTopIndex(2);   // everything fits: the top stays
  EXPECT_EQ(box->TopIndex(), 0);
  auto* longBox = Make(10);
  longBox->SetTopIndex(99);
  EXPECT_EQ(longBox->TopIndex(), 5);   // the last full page
  longBox->Items()->Delete(9);
  longBox->Items()->Delete(8);
  EXPECT_EQ(longBox->TopIndex(), 3);   // followed the shorter list
}

// ---- Sorted rows ---------------------------------------------------------------------------------

TEST_F(ListBoxTest, SortedAddsGbkNamesAtTheirPlaceWithTheirObjects) {
  auto* box = Make(0);
  box->SetSorted(true);
  const char* names[] = {"铜", "cu", "白糖", "AU", "豆粕", "Al", "玉米", "al"};
  for (int i = 0; i < 8; ++i) box->Items()->AddObject(names[i], reinterpret_cast<void*>(static_cast<intptr_t>(i + 1)));
  // ASCII case ignored ("Al" before "AU"), ASCII before double-byte, double-byte in GBK byte order,
  // equal strings in the order they came.
  const std::vector<std::pair<std::string, int>> expected = {
      {"Al", 6}, {"al", 8}, {"AU", 4}, {"cu", 2}, {"白糖", 3}, {"豆粕", 5}, {"铜", 1}, {"玉米", 7}};
  ASSERT_EQ(box->Items()->Count(), 8);
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(box->Items()->Strings(i), expected[i].first) << i;
    EXPECT_EQ(reinterpret_cast<intptr_t>(box->Items()->Objects(i)), expected[i].second) << i;
  }
  EXPECT_EQ(box->Items()->Add("大豆"), 5);   // between 白糖 and 豆粕
  EXPECT_THROW(box->Items()->Move(0, 1), EStringListError);
  EXPECT_THROW(box->Items()->Exchange(0, 1), EStringListError);
  EXPECT_EQ(box->Items()->Strings(0), "Al");

  // Turning Sorted on sorts what is there and the current row follows its text.
  auto* late = Make(0);
  for (const char* n : {"铜", "cu", "白糖"}) late->Items()->Add(n);
  late->SetItemIndex(0);
  late->SetSorted(true);
  EXPECT_EQ(late->Items()->CommaText(), "cu,白糖,铜");
  EXPECT_EQ(late->ItemIndex(), 2);
}

// ---- Selection and keys --------------------------------------------------------------------------

TEST_F(ListBoxTest, ExtendedSelectionFollowsClicksAndKeysWithModifiers) {
  auto* box = Make(10);
  box->SetMultiSelect(true);
  box->SetExtendedSelect(true);
  int clicks = 0;
  box->OnClick = [&](TObject*) { ++clicks; };
  enum Act { kClick, kKey };
  struct Step {
    const char* name;
    Act act;
    int what;   // row or key
    UINT mods;
    std::set<int> selected;
    int itemIndex;
    bool raisesClick;
  } steps[] = {
      {"click", kClick, 2, 0, {2}, 2, true},
      {"shift click extends", kClick, 5, MK_SHIFT, {2, 3, 4, 5}, 5, true},
      {"ctrl click toggles one off", kClick, 3, MK_CONTROL, {2, 4, 5}, 3, true},
      {"ctrl shift click adds the range", kClick, 7, MK_CONTROL | MK_SHIFT, {2, 3, 4, 5, 6, 7}, 7, true},
      {"plain click again: just the row", kClick, 0, 0, {0}, 0, true},
      {"same click: no change", kClick, 0, 0, {0}, 0, false},
      {"shift down", kKey, VK_DOWN, MK_SHIFT, {0, 1}, 1, true},
      {"shift down again", kKey, VK_DOWN, MK_SHIFT, {0, 1, 2}, 2, true},
      {"down alone", kKey, VK_DOWN, 0, {3}, 3, true},
      {"ctrl down moves only the focus", kKey, VK_DOWN, MK_CONTROL, {3}, 4, true},
      {"ctrl space toggles the focused row", kKey, VK_SPACE, MK_CONTROL, {3, 4}, 4, true},
      {"shift end", kKey, VK_END, MK_SHIFT, {4, 5, 6, 7, 8, 9}, 9, true},
  };
  int expectedClicks = 0;
  for (const Step& s : steps) {
    SCOPED_TRACE(s.name);
    if (s.act == kClick) {
      box->MakeVisible(s.what);
      ClickRow(box, s.what, s.mods);
    } else {
      Key(box, s.what, s.mods);
    }
    if (s.raisesClick) ++expectedClicks;
    EXPECT_EQ(SelectedRows(box), s.selected);
    EXPECT_EQ(box->ItemIndex(), s.itemIndex);
    EXPECT_EQ(box->SelCount(), static_cast<int>(s.selected.size()));
    EXPECT_EQ(clicks, expectedClicks);
  }
}

TEST_F(ListBoxTest, KeysMoveTheSingleSelectionAndScroll) {
  auto* box = Make(0);
  for (const char* n : {"apple", "banana", "Cherry", "coconut", "date", "elder", "fig", "grape", "kiwi", "lime"})
    box->Items()->Add(n);
  ProcessPendingMessages();
  box->SetFocus();
  int clicks = 0;
  box->OnClick = [&](TObject*) { ++clicks; };
  struct Case {
    const char* name;
    int key;
    const char* text;
    int itemIndex, top;
  } cases[] = {
      {"down from none", VK_DOWN, nullptr, 0, 0},
      {"end", VK_END, nullptr, 9, 5},
      {"page up: a page less one", VK_PRIOR, nullptr, 5, 5},
      {"up", VK_UP, nullptr, 4, 4},
      {"home", VK_HOME, nullptr, 0, 0},
      {"page down", VK_NEXT, nullptr, 4, 0},
      {"first letter, case ignored", 'C', "c", 2, 0},
      {"same letter: the next one", 'C', "c", 3, 0},
      {"again wraps round", 'C', "c", 2, 0},
      {"a letter no row starts with", 'Z', "z", 2, 0},
  };
  int expectedClicks = 0;
  int last = -1;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Key(box, c.key, 0, c.text);
    if (c.itemIndex != last) ++expectedClicks;
    last = c.itemIndex;
    EXPECT_EQ(box->ItemIndex(), c.itemIndex);
    EXPECT_EQ(box->TopIndex(), c.top);
    EXPECT_EQ(clicks, expectedClicks);
  }
  EXPECT_EQ(box->SelCount(), -1);
  EXPECT_TRUE(box->Selected(2));
}

TEST_F(ListBoxTest, DoubleClickRaisesOnDblClickAndDragMovesTheSelection) {
  auto* box = Make(5);
  int dbl = 0;
  box->OnDblClick = [&](TObject*) { ++dbl; };
  const TRect r = box->ItemRect(1);
  SimulateMouse(box->Handle(), WM_LBUTTONDOWN, 20, r.top + 5, MK_LBUTTON);
  SimulateMouse(box->Handle(), WM_LBUTTONUP, 20, r.top + 5, 0);
  SimulateMouse(box->Handle(), WM_LBUTTONDBLCLK, 20, r.top + 5, MK_LBUTTON);
  SimulateMouse(box->Handle(), WM_LBUTTONUP, 20, r.top + 5, 0);
  ProcessPendingMessages();
  EXPECT_EQ(dbl, 1);
  EXPECT_EQ(box->ItemIndex(), 1);
  SimulateMouse(box->Handle(), WM_LBUTTONDOWN, 20, 5, MK_LBUTTON);
  SimulateMouse(box->Handle(), WM_MOUSEMOVE, 20, 65, MK_LBUTTON);
  SimulateMouse(box->Handle(), WM_LBUTTONUP, 20, 65, 0);
  ProcessPendingMessages();
  EXPECT_EQ(box->ItemIndex(), 3);

  // With extended selection a drag selects the rows between.
  box->SetMultiSelect(true);
  SimulateMouse(box->Handle(), WM_LBUTTONDOWN, 20, 25, MK_LBUTTON);
  SimulateMouse(box->Handle(), WM_MOUSEMOVE, 20, 85, MK_LBUTTON);
  SimulateMouse(box->Handle(), WM_LBUTTONUP, 20, 85, 0);
  ProcessPendingMessages();
  EXPECT_EQ(SelectedRows(box), (std::set<int>{1, 2, 3, 4}));
  EXPECT_EQ(box->ItemIndex(), 4);
}

// ---- Painting ------------------------------------------------------------------------------------

TEST_F(ListBoxTest, OwnerDrawnRowsArePaintedWhereItemRectSays) {
  auto* box = Make(12, 4);
  box->SetStyle(lbOwnerDrawFixed);
  std::vector<std::pair<int, TOwnerDrawState>> drawn;
  box->OnDrawItem = [&](TWinControl* control, int index, TRect rect, TOwnerDrawState state) {
    drawn.push_back({index, state});
    TCanvas* canvas = static_cast<TListBox*>(control)->Canvas();
    canvas->Brush()->SetColor(state.Contains(odSelected) ? clRed : (index % 2 ? clBlue : clYellow));
    canvas->FillRect(rect);
  };
  box->SetItemIndex(6);
  Paint(box);
  EXPECT_EQ(drawn.size(), 12u);
  for (const auto& [index, state] : drawn) EXPECT_EQ(state.Contains(odSelected), index == 6) << index;
  struct Probe {
    int x, y;
    COLORREF colour;
  } probes[] = {
      {25, 10, RGB(255, 255, 0)},      // row 0
      {25, 30, RGB(0, 0, 255)},        // row 1
      {75, 30, RGB(255, 0, 0)},        // row 6: second column, second row, selected
      {125, 10, RGB(255, 255, 0)},     // row 10: the third column's top
      {125, 30, RGB(0, 0, 255)},       // row 11
      {125, 50, RGB(255, 255, 255)},   // below the last row
      {175, 10, RGB(255, 255, 255)},   // the empty fourth column
  };
  for (const Probe& p : probes) EXPECT_EQ(Pixel(box, p.x, p.y), p.colour) << p.x << "," << p.y;
  // A change of the rows repaints them.
  drawn.clear();
  box->Items()->Put(3, "changed");
  UpdateWindow(box->Handle());
  EXPECT_FALSE(drawn.empty());
}

TEST_F(ListBoxTest, StandardRowsShowTheSelectionInTheHighlightColour) {
  auto* box = Make(3);
  box->SetItemIndex(1);
  Paint(box);
  EXPECT_EQ(Pixel(box, 190, 30), ColorToRGB(clHighlight));
  EXPECT_EQ(Pixel(box, 190, 10), ColorToRGB(clWindow));
}

// ---- Check lists ---------------------------------------------------------------------------------

TEST_F(ListBoxTest, CheckTogglesByGlyphClickAndSpace) {
  auto* box = Make<TCheckListBox>(3);
  int checks = 0;
  box->OnClickCheck = [&](TObject*) { ++checks; };
  const TRect g = box->GlyphRect(1);
  Click(box, g.left + 3, g.top + 3);
  EXPECT_TRUE(box->Checked(1));
  EXPECT_EQ(box->ItemIndex(), 1);
  EXPECT_EQ(checks, 1);
  Paint(box);
  // The tick's lowest pixels are in the glyph's third column.
  EXPECT_EQ(Pixel(box, g.left + 5, g.top + 7), ColorToRGB(clWindowText));
  EXPECT_EQ(Pixel(box, box->GlyphRect(0).left + 5, box->GlyphRect(0).top + 7), ColorToRGB(clWindow));

  ClickRow(box, 2);   // on the text: selects, no toggle
  EXPECT_EQ(box->ItemIndex(), 2);
  EXPECT_FALSE(box->Checked(2));
  EXPECT_EQ(checks, 1);

  box->SetAllowGrayed(true);
  const TCheckBoxState cycle[] = {cbChecked, cbGrayed, cbUnchecked};
  for (TCheckBoxState s : cycle) {
    Key(box, VK_SPACE, 0, " ");
    EXPECT_EQ(box->State(2), s);
  }
  EXPECT_EQ(checks, 4);
  EXPECT_EQ(box->State(7), cbUnchecked);   // outside: unchecked, and setting does nothing
  box->SetChecked(7, true);
}

TEST_F(ListBoxTest, MovedAndExchangedRowsKeepTheirChecksObjectsAndSelection) {
  auto* box = Make<TCheckListBox>(0, 4);
  // The detail items: id as the object, the first ten checked.
  const int ids[] = {31, 30, 29, 28, 27, 17, 18, 19, 20, 21, 1, 2};
  for (int i = 0; i < 12; ++i) {
    box->Items()->AddObject("id" + std::to_string(ids[i]), reinterpret_cast<void*>(static_cast<intptr_t>(ids[i])));
    box->SetChecked(i, i < 10);
  }
  box->SetItemIndex(10);
  auto row = [&](int i) {
    return std::make_tuple(box->Items()->Strings(i), reinterpret_cast<intptr_t>(box->Items()->Objects(i)),
                           box->Checked(i));
  };
  box->Items()->Move(10, 9);   // up one place
  EXPECT_EQ(row(9), std::make_tuple(std::string("id1"), intptr_t{1}, false));
  EXPECT_EQ(row(10), std::make_tuple(std::string("id21"), intptr_t{21}, true));
  EXPECT_EQ(box->ItemIndex(), 9);
  box->Items()->Move(0, 11);   // to the end
  EXPECT_EQ(row(11), std::make_tuple(std::string("id31"), intptr_t{31}, true));
  EXPECT_EQ(row(0), std::make_tuple(std::string("id30"), intptr_t{30}, true));
  EXPECT_EQ(box->ItemIndex(), 8);
  box->Items()->Exchange(8, 10);
  EXPECT_EQ(row(8), std::make_tuple(std::string("id2"), intptr_t{2}, false));
  EXPECT_EQ(row(10), std::make_tuple(std::string("id1"), intptr_t{1}, false));
  EXPECT_EQ(box->ItemIndex(), 10);
  // The checked ids in list order, as the options are saved.
  std::string order;
  for (int i = 0; i < box->Items()->Count(); ++i)
    if (box->Checked(i)) order += std::to_string(reinterpret_cast<intptr_t>(box->Items()->Objects(i))) + ",";
  EXPECT_EQ(order, "30,29,28,27,17,18,19,20,21,31,");
  EXPECT_THROW(box->Items()->Move(0, 12), EStringListError);
}

// ---- LB_ messages --------------------------------------------------------------------------------

TEST_F(ListBoxTest, ListMessagesRefuseIndexesOutsideTheList) {
  auto* box = Make(3);
  box->SetItemIndex(1);
  HWND h = box->Handle();
  char buffer[32] = "unchanged";
  struct Case {
    const char* name;
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
    LRESULT result;
  } cases[] = {
      {"count", LB_GETCOUNT, 0, 0, 3},
      {"current", LB_GETCURSEL, 0, 0, 1},
      {"text past the end", LB_GETTEXT, 3, reinterpret_cast<LPARAM>(buffer), LB_ERR},
      {"text before the start", LB_GETTEXT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(buffer), LB_ERR},
      {"text, null buffer", LB_GETTEXT, 0, 0, 0},
      {"text length past the end", LB_GETTEXTLEN, 3, 0, LB_ERR},
      {"select past the end", LB_SETCURSEL, 5, 0, LB_ERR},
      {"selection of a missing row", LB_GETSEL, 9, 0, LB_ERR},
      {"delete past the end", LB_DELETESTRING, 3, 0, LB_ERR},
      {"set selection without MultiSelect", LB_SETSEL, 1, 0, LB_ERR},
      {"selection count without MultiSelect", LB_GETSELCOUNT, 0, 0, LB_ERR},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(SendMessageA(h, c.msg, c.wParam, c.lParam), c.result);
    EXPECT_EQ(box->Items()->Count(), 3);
    EXPECT_EQ(box->ItemIndex(), 1);
    EXPECT_STREQ(buffer, "unchanged");
  }
  EXPECT_EQ(SendMessageA(h, LB_GETTEXT, 2, reinterpret_cast<LPARAM>(buffer)), 5);
  EXPECT_STREQ(buffer, "item2");
  EXPECT_EQ(SendMessageA(h, LB_GETTEXTLEN, 0, 0), 5);
  EXPECT_EQ(SendMessageA(h, LB_SETCURSEL, 2, 0), 2);
  EXPECT_EQ(box->ItemIndex(), 2);
  EXPECT_EQ(SendMessageA(h, LB_ADDSTRING, 0, 0), LB_ERR);
  EXPECT_EQ(SendMessageA(h, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("新")), 3);
  EXPECT_EQ(SendMessageA(h, LB_DELETESTRING, 0, 0), 3);
  EXPECT_EQ(box->ItemIndex(), 1);   // followed its row
  EXPECT_EQ(SendMessageA(h, LB_GETSEL, 1, 0), 1);

  box->SetMultiSelect(true);
  EXPECT_EQ(SendMessageA(h, LB_SETSEL, TRUE, 7), LB_ERR);
  EXPECT_EQ(SendMessageA(h, LB_GETSELCOUNT, 0, 0), 1);
  EXPECT_EQ(SendMessageA(h, LB_SETSEL, TRUE, -1), 0);
  EXPECT_EQ(SendMessageA(h, LB_GETSELCOUNT, 0, 0), 3);
  EXPECT_EQ(SendMessageA(h, LB_RESETCONTENT, 0, 0), 0);
  EXPECT_EQ(SendMessageA(h, LB_GETCOUNT, 0, 0), 0);
  EXPECT_EQ(box->ItemIndex(), -1);
}

}  // namespace

#include "platform/TabControl.h"

#include "platform/DrivenClock.h"
#include "platform/Form.h"
#include "platform/Gdi.h"
#include "platform/Input.h"
#include "platform/Message.h"
#include "platform/WinUser.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

using zuvo::platform::ProcessPendingMessages;
using zuvo::platform::SimulateKey;
using zuvo::platform::SimulateMouse;

COLORREF Pixel(TWinControl* c, int x, int y) {
  HDC dc = GetDC(c->Handle());
  COLORREF colour = GetPixel(dc, x, y);
  ReleaseDC(c->Handle(), dc);
  return colour;
}

// True when some pixel of the rectangle has the colour.
bool AnyPixel(TWinControl* c, const TRect& r, COLORREF colour) {
  HDC dc = GetDC(c->Handle());
  bool found = false;
  for (int y = r.top; y < r.bottom && !found; ++y) {
    for (int x = r.left; x < r.right && !found; ++x) found = GetPixel(dc, x, y) == colour;
  }
  ReleaseDC(c->Handle(), dc);
  return found;
}

class TabTest : public testing::Test {
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
  template <class Control>
  Control* Make(std::initializer_list<const char*> tabs, int width = 300, int height = 120) {
    auto* c = new Control(form_);
    c->SetBounds(10, 10, width, height);
    c->SetParent(form_);
    for (const char* t : tabs) c->Tabs()->Add(t);
    ProcessPendingMessages();
    return c;
  }
  static void Click(TWinControl* c, int x, int y) {
    SimulateMouse(c->Handle(), WM_LBUTTONDOWN, x, y, MK_LBUTTON);
    SimulateMouse(c->Handle(), WM_LBUTTONUP, x, y, 0);
    ProcessPendingMessages();
  }
  static void ClickCentre(TWinControl* c, const TRect& r) { Click(c, (r.left + r.right) / 2, (r.top + r.bottom) / 2); }
  static void Move(TWinControl* c, int x, int y) {
    SimulateMouse(c->Handle(), WM_MOUSEMOVE, x, y, 0);
    ProcessPendingMessages();
  }
  // A key on the focus window with Ctrl and/or Shift held.
  static void Key(int key, bool ctrl = false, bool shift = false) {
    HWND focus = GetFocus();
    UINT mods = (ctrl ? MK_CONTROL : 0) | (shift ? MK_SHIFT : 0);
    if (ctrl) SimulateKey(focus, VK_CONTROL, true, MK_CONTROL);
    if (shift) SimulateKey(focus, VK_SHIFT, true, mods);
    SimulateKey(focus, key, true, mods, key == VK_TAB ? "\t" : nullptr);
    SimulateKey(focus, key, false, mods);
    if (shift) SimulateKey(focus, VK_SHIFT, false, ctrl ? MK_CONTROL : 0);
    if (ctrl) SimulateKey(focus, VK_CONTROL, false, 0);
    ProcessPendingMessages();
  }

 protected:
  zuvo::platform::ScopedDrivenClock clock_;
  TForm* form_ = nullptr;
};

// ---- TTabSet ---------------------------------------------------------------------------------------

TEST_F(TabTest, TabSetChangeRefusedByTheAllowFlagKeepsTheOldTab) {
  auto* set = Make<TTabSet>({"One", "Two", "Three"});
  std::vector<int> asked;
  bool allow = true;
  set->OnChange = [&](TObject*, int newTab, bool& allowChange) {
    asked.push_back(newTab);
    allowChange = allow;
  };

  set->SetTabIndex(1);   // by code: asked too
  EXPECT_EQ(set->TabIndex(), 1);
  allow = false;
  set->SetTabIndex(2);
  EXPECT_EQ(set->TabIndex(), 1);
  ClickCentre(set, set->TabRect(0));
  EXPECT_EQ(set->TabIndex(), 1);
  allow = true;
  ClickCentre(set, set->TabRect(0));
  EXPECT_EQ(set->TabIndex(), 0);
  set->SetTabIndex(0);   // no change: not asked
  EXPECT_EQ(asked, (std::vector<int>{1, 2, 0, 0}));
}

// The current tab stays the same tab through changes of the list, without events.
TEST_F(TabTest, InsertAndDeleteKeepTheCurrentTab) {
  struct Case {
    const char* name;
    int start;
    std::function<void(TStrings*)> change;
    int index;            // TabIndex after
    const char* caption;  // its caption, null without one
  };
  const Case cases[] = {
      {"insert before", 2, [](TStrings* t) { t->Insert(0, "X"); }, 3, "C"},
      {"insert at the current tab", 2, [](TStrings* t) { t->Insert(2, "X"); }, 3, "C"},
      {"insert after", 2, [](TStrings* t) { t->Insert(3, "X"); }, 2, "C"},
      {"append", 2, [](TStrings* t) { t->Add("X"); }, 2, "C"},
      {"delete before", 2, [](TStrings* t) { t->Delete(0); }, 1, "C"},
      {"delete after", 2, [](TStrings* t) { t->Delete(3); }, 2, "C"},
      {"delete the current tab: its successor", 2, [](TStrings* t) { t->Delete(2); }, 2, "D"},
      {"delete the current last tab: the new last", 3, [](TStrings* t) { t->Delete(3); }, 2, "C"},
      {"move the current tab", 2, [](TStrings* t) { t->Move(2, 0); }, 0, "C"},
      {"move one from before to after", 2, [](TStrings* t) { t->Move(0, 3); }, 1, "C"},
      {"exchange", 2, [](TStrings* t) { t->Exchange(2, 3); }, 3, "C"},
      {"rename", 2, [](TStrings* t) { t->Put(2, "c"); }, 2, "c"},
      {"clear", 2, [](TStrings* t) { t->Clear(); }, -1, nullptr},
      {"no current tab", -1, [](TStrings* t) { t->Insert(0, "X"); }, -1, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (int kind = 0; kind < 2; ++kind) {
      int events = 0;
      TCustomControl* control;
      std::function<int()> tabIndex;
      TStrings* tabs;
      if (kind == 0) {
        auto* set = Make<TTabSet>({"A", "B", "C", "D"});
        set->SetTabIndex(c.start);
        set->OnChange = [&](TObject*, int, bool&) { ++events; };
        tabIndex = [set] { return set->TabIndex(); };
        tabs = set->Tabs();
        control = set;
      } else {
        auto* tc = Make<TTabControl>({"A", "B", "C", "D"});
        tc->SetTabIndex(c.start);
        tc->OnChanging = [&](TObject*, bool&) { ++events; };
        tabIndex = [tc] { return tc->TabIndex(); };
        tabs = tc->Tabs();
        control = tc;
      }
      c.change(tabs);
      EXPECT_EQ(tabIndex(), c.index) << "kind " << kind;
      if (c.caption != nullptr) {
        EXPECT_EQ(tabs->Get(c.index), c.caption) << "kind " << kind;
      }
      EXPECT_EQ(events, 0);
      TComponent::Free(control);
    }
  }
}

TEST_F(TabTest, TabSetFaceFollowsTheColoursWhileShown) {
  auto* set = Make<TTabSet>({"One", "Two"});
  set->SetTabIndex(0);
  ProcessPendingMessages();
  const TRect sel = set->TabRect(0);
  const TRect other = set->TabRect(1);
  ASSERT_GT(sel.Width(), 0);
  // Inside the trapezoid, left of the caption.
  const int y = 3;
  EXPECT_EQ(Pixel(set, sel.left + 3, y), ColorToRGB(clBtnFace));
  EXPECT_EQ(Pixel(set, other.left + 3, y), ColorToRGB(clWindow));
  // The selected tab is joined to the area above; the other sits under the edge line.
  EXPECT_EQ(Pixel(set, sel.left + 4, 0), ColorToRGB(clBtnFace));
  EXPECT_EQ(Pixel(set, other.left + 4, 0), ColorToRGB(cl3DDkShadow));

  set->SetSelectedColor(clTeal);
  ProcessPendingMessages();
  EXPECT_EQ(Pixel(set, sel.left + 3, y), ColorToRGB(clTeal));
  EXPECT_EQ(Pixel(set, sel.left + 4, 0), ColorToRGB(clTeal));
  set->SetUnselectedColor(clYellow);
  ProcessPendingMessages();
  EXPECT_EQ(Pixel(set, other.left + 3, y), ColorToRGB(clYellow));
  set->SetTabIndex(1);
  ProcessPendingMessages();
  EXPECT_EQ(Pixel(set, other.left + 3, y), ColorToRGB(clTeal));
  EXPECT_EQ(Pixel(set, sel.left + 3, y), ColorToRGB(clYellow));
}

TEST_F(TabTest, TabSetScrollsWhenTheTabsDoNotFit) {
  auto* set = Make<TTabSet>({"Tab0", "Tab1", "Tab2", "Tab3", "Tab4", "Tab5", "Tab6", "Tab7"}, 150, 21);
  ASSERT_TRUE(set->ScrollButtonsShown());
  const int shown = set->VisibleTabs();
  ASSERT_GT(shown, 0);
  ASSERT_LT(shown, 8);
  EXPECT_EQ(set->TabRect(0).left, TTabSet::kStartMargin);
  EXPECT_EQ(set->TabRect(shown).Width(), 0);
  EXPECT_LE(set->TabRect(shown - 1).right, set->ScrollButtonRect(false).left);
  // The arrows' face.
  const TRect right = set->ScrollButtonRect(true);
  EXPECT_EQ(right, TRect(150 - TTabSet::kScrollButtonWidth, 0, 150, set->TabHeight()));
  EXPECT_EQ(Pixel(set, right.left + 2, right.top + 2), ColorToRGB(clBtnFace));

  ClickCentre(set, set->ScrollButtonRect(true));
  EXPECT_EQ(set->FirstIndex(), 1);
  EXPECT_EQ(set->TabRect(0).Width(), 0);
  EXPECT_EQ(set->TabRect(1).left, TTabSet::kStartMargin);
  EXPECT_EQ(set->TabIndex(), -1);   // scrolling selects nothing
  ClickCentre(set, set->ScrollButtonRect(false));
  ClickCentre(set, set->ScrollButtonRect(false));   // at the start: stays
  EXPECT_EQ(set->FirstIndex(), 0);

  set->SetTabIndex(7);   // brought into view
  EXPECT_GT(set->FirstIndex(), 0);
  EXPECT_GT(set->TabRect(7).Width(), 0);
  for (int i = 0; i < 20; ++i) ClickCentre(set, set->ScrollButtonRect(true));
  EXPECT_GT(set->TabRect(7).Width(), 0);   // never past the last tab
  set->SetTabIndex(0);
  EXPECT_EQ(set->FirstIndex(), 0);

  set->SetFirstIndex(3);
  set->SetWidth(1000);   // everything fits: no arrows, from tab 0
  EXPECT_FALSE(set->ScrollButtonsShown());
  EXPECT_EQ(set->FirstIndex(), 0);
  EXPECT_EQ(set->VisibleTabs(), 8);
  EXPECT_EQ(set->ScrollButtonRect(true), TRect());
}

// ---- TTabControl -----------------------------------------------------------------------------------

TEST_F(TabTest, TabRectLayout) {
  auto* tc = Make<TTabControl>({"A", "", "Long caption"});
  tc->Font()->SetName("Tahoma");
  tc->Font()->SetHeight(-12);
  tc->SetTabIndex(1);
  const int textHeight = tc->Canvas()->TextHeight("Ag");
  const int height = textHeight + TCustomTabControl::kTabExtraHeight;
  struct Case {
    int index;
    const char* caption;
  };
  int left = TCustomTabControl::kTabsLeft;
  for (const Case& c : {Case{0, "A"}, Case{1, ""}, Case{2, "Long caption"}}) {
    SCOPED_TRACE(c.caption);
    const int width = tc->Canvas()->TextWidth(c.caption) + 2 * TCustomTabControl::kTabTextMargin;
    const int top = TCustomTabControl::kTabsTop;
    EXPECT_EQ(tc->TabRect(c.index), TRect(left, top, left + width, top + height));
    left += width;
  }
  EXPECT_EQ(tc->TabRect(-1), TRect());
  EXPECT_EQ(tc->TabRect(3), TRect());
  EXPECT_EQ(tc->IndexOfTabAt(tc->TabRect(2).left, tc->TabRect(2).top), 2);
  EXPECT_EQ(tc->IndexOfTabAt(left, TCustomTabControl::kTabsTop), -1);
  const int m = TCustomTabControl::kDisplayMargin;
  EXPECT_EQ(tc->DisplayRect(), TRect(m, TCustomTabControl::kTabsTop + height + m, 300 - m, 120 - m));
  // Aligned children get the display rect.
  auto* child = new TTabControl(form_);
  child->SetParent(tc);
  child->SetAlign(alClient);
  EXPECT_EQ(child->BoundsRect(), tc->DisplayRect());
  tc->Tabs()->Clear();
  EXPECT_EQ(tc->DisplayRect(), TRect(m, m, 300 - m, 120 - m));
  EXPECT_EQ(child->BoundsRect(), tc->DisplayRect());
  tc->SetBounds(10, 10, 5, 5);
  EXPECT_GE(tc->DisplayRect().Width(), 0);
  EXPECT_GE(tc->DisplayRect().Height(), 0);
}

TEST_F(TabTest, OnChangingCanVetoAndRunsBeforeOnChange) {
  auto* tc = Make<TTabControl>({"One", "Two", "Three"});
  tc->SetTabIndex(0);
  std::vector<std::string> log;
  bool allow = true;
  tc->OnChanging = [&](TObject*, bool& a) {
    log.push_back("changing " + std::to_string(tc->TabIndex()));
    a = allow;
  };
  tc->OnChange = [&](TObject*) { log.push_back("change " + std::to_string(tc->TabIndex())); };

  ClickCentre(tc, tc->TabRect(1));
  EXPECT_EQ(log, (std::vector<std::string>{"changing 0", "change 1"}));
  log.clear();
  allow = false;
  ClickCentre(tc, tc->TabRect(2));
  EXPECT_EQ(tc->TabIndex(), 1);
  EXPECT_EQ(log, (std::vector<std::string>{"changing 1"}));
  log.clear();
  allow = true;
  ClickCentre(tc, tc->TabRect(1));   // the current tab
  Click(tc, 150, 100);               // the body
  tc->SetTabIndex(2);                // code
  EXPECT_EQ(tc->TabIndex(), 2);
  EXPECT_TRUE(log.empty());
}

TEST_F(TabTest, HotTrackRepaintsTheTabUnderThePointer) {
  auto* tc = Make<TTabControl>({"One", "Two", "Three"});
  tc->SetTabIndex(0);
  const COLORREF hot = ColorToRGB(clHighlight);
  auto hotIn = [&](int i) { return AnyPixel(tc, tc->TabRect(i), hot); };

  Move(tc, (tc->TabRect(1).left + tc->TabRect(1).right) / 2, 10);
  EXPECT_EQ(tc->HotIndex(), -1);   // off
  EXPECT_FALSE(hotIn(1));
  tc->SetHotTrack(true);
  Move(tc, (tc->TabRect(1).left + tc->TabRect(1).right) / 2, 10);
  EXPECT_EQ(tc->HotIndex(), 1);
  EXPECT_TRUE(hotIn(1));
  Move(tc, (tc->TabRect(2).left + tc->TabRect(2).right) / 2, 10);
  EXPECT_EQ(tc->HotIndex(), 2);
  EXPECT_FALSE(hotIn(1));
  EXPECT_TRUE(hotIn(2));
  Move(tc, 150, 100);   // the body
  EXPECT_EQ(tc->HotIndex(), -1);
  EXPECT_FALSE(hotIn(2));
}

TEST_F(TabTest, KeysMoveBetweenTabsWhenFocused) {
  struct Case {
    const char* name;
    int start;
    int key;
    bool ctrl;
    bool shift;
    int expected;
  };
  const Case cases[] = {
      {"Right", 1, VK_RIGHT, false, false, 2},     {"Right at the end", 2, VK_RIGHT, false, false, 2},
      {"Left", 1, VK_LEFT, false, false, 0},       {"Left at the start", 0, VK_LEFT, false, false, 0},
      {"Down", 0, VK_DOWN, false, false, 1},       {"Up", 2, VK_UP, false, false, 1},
      {"Ctrl+Tab", 1, VK_TAB, true, false, 2},     {"Ctrl+Tab wraps", 2, VK_TAB, true, false, 0},
      {"Ctrl+Shift+Tab", 1, VK_TAB, true, true, 0}, {"Ctrl+Shift+Tab wraps", 0, VK_TAB, true, true, 2},
  };
  auto* tc = Make<TTabControl>({"One", "Two", "Three"});
  auto* other = Make<TTabControl>({"X"});   // where a dialog Tab would go
  other->SetTop(150);
  int changes = 0;
  tc->OnChange = [&](TObject*) { ++changes; };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    tc->SetTabIndex(c.start);
    tc->SetFocus();
    ProcessPendingMessages();
    changes = 0;
    Key(c.key, c.ctrl, c.shift);
    EXPECT_EQ(tc->TabIndex(), c.expected);
    EXPECT_EQ(changes, c.expected != c.start ? 1 : 0);
    EXPECT_TRUE(tc->Focused());
  }
  // A plain Tab is still the dialog's.
  tc->SetFocus();
  Key(VK_TAB);
  EXPECT_TRUE(other->Focused());
  // A veto keeps the tab.
  tc->SetTabIndex(0);
  tc->SetFocus();
  tc->OnChanging = [](TObject*, bool& allow) { allow = false; };
  Key(VK_RIGHT);
  EXPECT_EQ(tc->TabIndex(), 0);
}

// A face of its own, as the widget package paints one: it keeps the clicks and the geometry.
class TOwnFaceTabControl : public TTabControl {
 public:
  using TTabControl::TTabControl;
  void WndProc(TMessage& m) override {
    if (m.Msg == WM_PAINT) {
      PAINTSTRUCT ps{};
      HDC dc = BeginPaint(Handle(), &ps);
      RECT all{0, 0, Width(), Height()};
      HBRUSH brush = CreateSolidBrush(RGB(183, 207, 251));
      FillRect(dc, &all, brush);
      DeleteObject(brush);
      EndPaint(Handle(), &ps);
      m.Result = 0;
      return;
    }
    if (m.Msg == WM_ERASEBKGND) {
      m.Result = 1;
      return;
    }
    TTabControl::WndProc(m);
  }
};

TEST_F(TabTest, AFaceOfItsOwnKeepsTheBehaviour) {
  auto* tc = Make<TOwnFaceTabControl>({"One", "Two"});
  tc->SetTabIndex(0);
  tc->SetHotTrack(true);
  int changes = 0;
  tc->OnChange = [&](TObject*) { ++changes; };
  ClickCentre(tc, tc->TabRect(1));
  Move(tc, tc->TabRect(0).left + 1, tc->TabRect(0).top + 1);
  EXPECT_EQ(tc->TabIndex(), 1);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(tc->HotIndex(), 0);
  EXPECT_EQ(Pixel(tc, tc->TabRect(1).left + 2, tc->TabRect(1).top + 2), RGB(183, 207, 251));
  EXPECT_NE(SendMessageA(tc->Handle(), WM_GETFONT, 0, 0), 0);
}

// ---- TPageControl ----------------------------------------------------------------------------------

TEST_F(TabTest, PageControlWithHiddenTabsSwitchedByCode) {
  auto* pc = Make<TPageControl>({});
  std::vector<TTabSheet*> sheets;
  for (const char* caption : {"Price", "Quick", "Spread", "Ratio"}) {
    auto* sheet = new TTabSheet(form_);
    sheet->SetCaption(caption);
    sheet->SetPageControl(pc);
    sheets.push_back(sheet);
  }
  sheets[1]->SetTabVisible(false);
  sheets[3]->SetTabVisible(false);
  int events = 0;
  pc->OnChanging = [&](TObject*, bool&) { ++events; };
  pc->OnChange = [&](TObject*) { ++events; };
  ASSERT_EQ(pc->PageCount(), 4);
  EXPECT_EQ(pc->Tabs()->Text(), "Price\r\nSpread\r\n");
  EXPECT_EQ(pc->ActivePage(), nullptr);
  EXPECT_EQ(sheets[2]->TabIndex(), 1);
  EXPECT_EQ(sheets[3]->TabIndex(), -1);

  struct Step {
    int page;
    int tabIndex;
  };
  for (const Step& s : {Step{1, -1}, Step{2, 1}, Step{3, -1}, Step{0, 0}}) {
    SCOPED_TRACE(s.page);
    pc->SetActivePageIndex(s.page);
    ProcessPendingMessages();
    EXPECT_EQ(pc->ActivePage(), sheets[static_cast<size_t>(s.page)]);
    EXPECT_EQ(pc->ActivePageIndex(), s.page);
    EXPECT_EQ(pc->TabIndex(), s.tabIndex);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(sheets[static_cast<size_t>(i)]->Visible(), i == s.page) << i;
    EXPECT_EQ(pc->ActivePage()->BoundsRect(), pc->DisplayRect());
    EXPECT_TRUE(IsWindowVisible(pc->ActivePage()->Handle()));
  }
  EXPECT_EQ(events, 0);

  // The user reaches the tabbed pages only.
  ClickCentre(pc, pc->TabRect(1));
  EXPECT_EQ(pc->ActivePage(), sheets[2]);
  EXPECT_EQ(events, 2);
  pc->SetActivePage(sheets[3]);
  pc->SelectNextPage(true);
  EXPECT_EQ(pc->ActivePage(), sheets[0]);
  pc->SetFocus();
  Key(VK_TAB, true);
  EXPECT_EQ(pc->ActivePage(), sheets[2]);

  // The tab comes back: the active page's tab follows.
  sheets[1]->SetTabVisible(true);
  EXPECT_EQ(pc->Tabs()->Text(), "Price\r\nQuick\r\nSpread\r\n");
  EXPECT_EQ(pc->TabIndex(), 2);
  sheets[1]->SetPageIndex(3);
  EXPECT_EQ(pc->Pages(3), sheets[1]);
  EXPECT_EQ(pc->Tabs()->Text(), "Price\r\nSpread\r\nQuick\r\n");
  EXPECT_EQ(pc->TabIndex(), 1);

  // A freed page leaves the control.
  TComponent::Free(sheets[2]);
  EXPECT_EQ(pc->PageCount(), 3);
  EXPECT_EQ(pc->ActivePage(), nullptr);
  EXPECT_EQ(pc->TabIndex(), -1);
  // A page of another control is refused.
  auto* stranger = new TTabSheet(form_);
  pc->SetActivePage(stranger);
  EXPECT_EQ(pc->ActivePage(), nullptr);
  // Freeing the control with its pages.
  TComponent::Free(pc);
  ProcessPendingMessages();
}

// ---- Bad indexes -----------------------------------------------------------------------------------

TEST_F(TabTest, IndexesOutsideTheTabsReadEmptyAndWriteNothing) {
  auto* set = Make<TTabSet>({"A", "B"});
  auto* tc = Make<TTabControl>({"A", "B"});
  auto* pc = Make<TPageControl>({});
  int events = 0;
  set->OnChange = [&](TObject*, int, bool&) { ++events; };
  tc->OnChanging = [&](TObject*, bool&) { ++events; };
  for (int bad : {-2, 2, 99}) {
    SCOPED_TRACE(bad);
    set->SetTabIndex(bad);
    tc->SetTabIndex(bad);
    pc->SetActivePageIndex(bad);
    set->SetFirstIndex(bad);
    for (TStrings* tabs : {static_cast<TStrings*>(set->Tabs()), static_cast<TStrings*>(tc->Tabs())}) {
      EXPECT_EQ(tabs->Get(bad), "");
      EXPECT_EQ(tabs->Objects(bad), nullptr);
      tabs->Put(bad, "X");
      tabs->PutObject(bad, tabs);
      tabs->Delete(bad);
      tabs->Insert(bad == 2 ? 3 : bad, "X");
      tabs->Move(bad, 0);
      tabs->Exchange(0, bad);
      EXPECT_EQ(tabs->Text(), "A\r\nB\r\n");
    }
    EXPECT_EQ(set->TabRect(bad), TRect());
    EXPECT_EQ(tc->TabRect(bad), TRect());
    EXPECT_EQ(pc->Pages(bad), nullptr);
  }
  EXPECT_EQ(set->TabIndex(), -1);
  EXPECT_EQ(tc->TabIndex(), -1);
  EXPECT_EQ(set->FirstIndex(), 0);
  EXPECT_EQ(events, 0);
  EXPECT_EQ(set->ItemAtPos(TPoint(-5, 3)), -1);
}

}  // namespace

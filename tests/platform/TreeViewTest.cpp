// Tree views: TTreeView's nodes with and without a window, selection by mouse and keys with
// OnChange, double clicks, deleting branches; the "SysTreeView32" class's messages.
#include "platform/TreeView.h"

#include "platform/Form.h"
#include "platform/Input.h"
#include "platform/Message.h"
#include "platform/WinUser.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using zuvo::platform::ProcessPendingMessages;
using zuvo::platform::SimulateKey;
using zuvo::platform::SimulateMouse;

int g_groups[2];
int g_indicators[5];

class TreeViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    form_ = NewForm<TForm>(nullptr);
    form_->SetClientWidth(300);
    form_->SetClientHeight(300);
    tree_ = new TTreeView(form_);
    tree_->SetBounds(10, 10, 200, 260);
    tree_->SetParent(form_);
    tree_->OnChange = [this](TObject*, TTreeNode* node) { changes_.push_back(node != nullptr ? node->Text() : "-"); };
    tree_->OnDblClick = [this](TObject*) { ++dblClicks_; };
  }
  void TearDown() override {
    TComponent::Free(form_);
    ProcessPendingMessages();
  }
  // Two groups, as the indicator manager shows them: the group's node holds the group, each
  // child an indicator.
  void Fill() {
    TTreeNodes* items = tree_->Items();
    TTreeNode* trend = items->AddObject(nullptr, "trend", &g_groups[0]);
    items->AddChildObject(trend, "MA average", &g_indicators[0]);
    items->AddChildObject(trend, "MACD", &g_indicators[1]);
    items->AddChildObject(trend, "DMI", &g_indicators[2]);
    TTreeNode* other = items->Add(trend, "\xC6\xE4\xCB\xFC");   // "其它"
    other->SetData(&g_groups[1]);
    items->AddChildObject(other, "KDJ", &g_indicators[3]);
    items->AddChildObject(other, "RSI", &g_indicators[4]);
  }
  void Show() {
    form_->Show();
    tree_->SetFocus();
    ProcessPendingMessages();
  }
  void Click(TTreeNode* node, bool twice = false) {
    RECT r{};
    HTREEITEM item = node->ItemId();
    std::memcpy(&r, &item, sizeof item);
    ASSERT_TRUE(SendMessageA(tree_->Handle(), TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(&r)));
    const int x = r.left + 4;
    const int y = (r.top + r.bottom) / 2;
    SimulateMouse(tree_->Handle(), WM_LBUTTONDOWN, x, y, MK_LBUTTON);
    SimulateMouse(tree_->Handle(), WM_LBUTTONUP, x, y, 0);
    if (twice) {
      SimulateMouse(tree_->Handle(), WM_LBUTTONDBLCLK, x, y, MK_LBUTTON);
      SimulateMouse(tree_->Handle(), WM_LBUTTONUP, x, y, 0);
    }
    ProcessPendingMessages();
  }
  void Key(int vk) {
    SimulateKey(tree_->Handle(), vk, true, 0);
    SimulateKey(tree_->Handle(), vk, false, 0);
    ProcessPendingMessages();
  }
  TTreeNode* Node(const std::string& text) {
    for (TTreeNode* n = tree_->Items()->GetFirstNode(); n != nullptr; n = n->GetNext()) {
      if (n->Text() == text) return n;
    }
    return nullptr;
  }
  TForm* form_ = nullptr;
  TTreeView* tree_ = nullptr;
  std::vector<std::string> changes_;
  int dblClicks_ = 0;
};

TEST_F(TreeViewTest, NodesKeepTextDataAndLevelsWithAndWithoutTheWindow) {
  Fill();
  TTreeNodes* items = tree_->Items();
  ASSERT_EQ(items->Count(), 7);
  std::vector<std::string> order;
  for (int i = 0; i < items->Count(); ++i) {
    TTreeNode* n = items->Item(i);
    order.push_back(std::to_string(n->Level()) + n->Text());
  }
  EXPECT_EQ(order, (std::vector<std::string>{"0trend", "1MA average", "1MACD", "1DMI", "0\xC6\xE4\xCB\xFC", "1KDJ",
                                             "1RSI"}));
  EXPECT_THROW(items->Item(7), EListError);
  TTreeNode* trend = items->GetFirstNode();
  EXPECT_EQ(trend->Parent(), nullptr);
  EXPECT_EQ(trend->Count(), 3);
  EXPECT_EQ(trend->Item(1)->Data(), &g_indicators[1]);
  EXPECT_EQ(trend->Item(1)->Parent(), trend);
  EXPECT_EQ(trend->getFirstChild()->getNextSibling()->getNextSibling()->getNextSibling(), nullptr);
  EXPECT_EQ(trend->getNextSibling()->Data(), &g_groups[1]);
  EXPECT_THROW(trend->Item(3), EListError);

  trend->SetExpanded(true);
  tree_->SetSelected(Node("MACD"));
  EXPECT_EQ(changes_, (std::vector<std::string>{"MACD"}));
  ASSERT_NE(tree_->Handle(), nullptr);
  EXPECT_EQ(SendMessageA(tree_->Handle(), TVM_GETCOUNT, 0, 0), 7);
  EXPECT_EQ(tree_->Selected(), Node("MACD"));
  EXPECT_TRUE(trend->Expanded());
  EXPECT_FALSE(trend->getNextSibling()->Expanded());
  char text[32] = {};
  TVITEMA query{};
  query.mask = TVIF_TEXT | TVIF_PARAM;
  query.hItem = Node("KDJ")->ItemId();
  query.pszText = text;
  query.cchTextMax = sizeof text;
  ASSERT_TRUE(SendMessageA(tree_->Handle(), TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&query)));
  EXPECT_STREQ(text, "KDJ");
  EXPECT_EQ(query.lParam, reinterpret_cast<LPARAM>(Node("KDJ")));

  // Nodes added and renamed while the window is there; a re-made window keeps everything.
  TTreeNode* added = items->AddChildObject(trend->getNextSibling(), "BOLL", &g_indicators[4]);
  added->SetText("BOLL band");
  tree_->SetShowLines(false);   // re-makes the window
  EXPECT_EQ(SendMessageA(tree_->Handle(), TVM_GETCOUNT, 0, 0), 8);
  EXPECT_EQ(tree_->Selected(), Node("MACD"));
  EXPECT_TRUE(trend->Expanded());
  EXPECT_EQ(trend->getNextSibling()->GetLastChild()->Text(), "BOLL band");
  EXPECT_EQ(trend->getNextSibling()->GetLastChild()->Level(), 1);
  EXPECT_EQ(changes_, (std::vector<std::string>{"MACD"}));   // the same node all along
}

TEST_F(TreeViewTest, ClicksAndKeysSelectAndRaiseOnChange) {
  Fill();
  tree_->FullExpand();
  Show();
  changes_.clear();
  Click(Node("MACD"));
  EXPECT_EQ(tree_->Selected(), Node("MACD"));
  EXPECT_TRUE(Node("MACD")->Selected());
  EXPECT_EQ(changes_, (std::vector<std::string>{"MACD"}));
  Click(Node("MACD"));   // the same node again: no change
  EXPECT_EQ(changes_.size(), 1u);

  Key(VK_DOWN);
  EXPECT_EQ(tree_->Selected(), Node("DMI"));
  Key(VK_DOWN);
  EXPECT_EQ(tree_->Selected(), Node("\xC6\xE4\xCB\xFC"));
  Key(VK_LEFT);   // collapses the group, the selection stays on it
  EXPECT_FALSE(Node("\xC6\xE4\xCB\xFC")->Expanded());
  Key(VK_RIGHT);
  EXPECT_TRUE(Node("\xC6\xE4\xCB\xFC")->Expanded());
  Key(VK_UP);
  Key(VK_HOME);
  EXPECT_EQ(tree_->Selected(), Node("trend"));
  EXPECT_EQ(changes_, (std::vector<std::string>{"MACD", "DMI", "\xC6\xE4\xCB\xFC", "DMI", "trend"}));

  // A key consumed by OnKeyDown never reaches the tree.
  tree_->OnKeyDown = [](TObject*, WORD& key, TShiftState) {
    if (key == VK_DOWN) key = 0;
  };
  Key(VK_DOWN);
  EXPECT_EQ(tree_->Selected(), Node("trend"));

  // Collapsing a branch from code takes the selection out of it.
  tree_->SetSelected(Node("RSI"));
  Node("\xC6\xE4\xCB\xFC")->Collapse(false);
  EXPECT_EQ(tree_->Selected(), Node("\xC6\xE4\xCB\xFC"));
  EXPECT_EQ(changes_.back(), "\xC6\xE4\xCB\xFC");
}

TEST_F(TreeViewTest, ADoubleClickSelectsRaisesOnDblClickAndTogglesTheBranch) {
  Fill();
  Show();
  TTreeNode* other = Node("\xC6\xE4\xCB\xFC");
  Click(other, true);
  EXPECT_EQ(dblClicks_, 1);
  EXPECT_EQ(tree_->Selected(), other);
  EXPECT_TRUE(other->Expanded());
  Click(Node("RSI"), true);
  EXPECT_EQ(dblClicks_, 2);
  EXPECT_EQ(tree_->Selected()->Data(), &g_indicators[4]);   // the indicator the handler opens
  Click(other, true);
  EXPECT_FALSE(other->Expanded());
}

// Deleting a branch with the selection in it moves the selection to the next sibling, else the
// parent, else the previous sibling: with the window and without it.
TEST_F(TreeViewTest, DeletingABranchMovesTheSelectionAndTellsOfIt) {
  for (bool window : {true, false}) {
    SCOPED_TRACE(window ? "window" : "no window");
    if (!window) {
      // A tree that never gets a window.
      tree_ = new TTreeView(form_);
      tree_->OnChange = [this](TObject*, TTreeNode* node) { changes_.push_back(node != nullptr ? node->Text() : "-"); };
    }
    Fill();
    if (window) Show();
    changes_.clear();
    tree_->SetSelected(Node("MACD"));
    TTreeNode* trend = Node("trend");
    trend->Delete();   // the group with its three children
    EXPECT_EQ(tree_->Items()->Count(), 3);
    EXPECT_EQ(tree_->Selected(), Node("\xC6\xE4\xCB\xFC"));
    if (window) {
      EXPECT_EQ(SendMessageA(tree_->Handle(), TVM_GETCOUNT, 0, 0), 3);
    }
    tree_->SetSelected(Node("RSI"));
    Node("RSI")->Delete();   // the last child: the parent
    EXPECT_EQ(tree_->Selected(), Node("\xC6\xE4\xCB\xFC"));
    Node("\xC6\xE4\xCB\xFC")->DeleteChildren();   // not selected: no change
    EXPECT_EQ(Node("\xC6\xE4\xCB\xFC")->Count(), 0);
    tree_->Items()->Clear();
    EXPECT_EQ(tree_->Selected(), nullptr);
    EXPECT_EQ(changes_, (std::vector<std::string>{"MACD", "\xC6\xE4\xCB\xFC", "RSI", "\xC6\xE4\xCB\xFC", "-"}));
    if (window) {
      EXPECT_EQ(SendMessageA(tree_->Handle(), TVM_GETCOUNT, 0, 0), 0);
    }
  }
  EXPECT_FALSE(tree_->HandleAllocated());
}

// ---- The raw class -----------------------------------------------------------------------------------

std::vector<NMTREEVIEWA> g_notes;
std::vector<UINT> g_codes;

LRESULT ParentProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  if (m == WM_NOTIFY && lp != 0) {
    const auto* head = reinterpret_cast<const NMHDR*>(lp);
    g_codes.push_back(head->code);
    if (head->code == TVN_SELCHANGEDA) g_notes.push_back(*reinterpret_cast<const NMTREEVIEWA*>(lp));
  }
  return DefWindowProcA(w, m, wp, lp);
}

HTREEITEM InsertItem(HWND tree, HTREEITEM parent, HTREEITEM after, const char* text, LPARAM param) {
  TVINSERTSTRUCTA insert{};
  insert.hParent = parent;
  insert.hInsertAfter = after;
  insert.item.mask = TVIF_TEXT | TVIF_PARAM;
  insert.item.pszText = const_cast<char*>(text);
  insert.item.lParam = param;
  return reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&insert)));
}

TEST(RawTreeViewTest, UnknownItemsAreRefusedAndSelectionsAreToldWithTheirCause) {
  g_notes.clear();
  g_codes.clear();
  WNDCLASSA wc{};
  wc.lpfnWndProc = ParentProc;
  wc.lpszClassName = "TreeTestParent";
  RegisterClassA(&wc);
  HWND parent = CreateWindowExA(0, "TreeTestParent", "", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 300, 300, nullptr,
                                nullptr, nullptr, nullptr);
  HWND tree = CreateWindowExA(0, "SysTreeView32", "", WS_CHILD | WS_VISIBLE | TVS_HASBUTTONS | TVS_LINESATROOT, 0, 0,
                              200, 200, parent, reinterpret_cast<HMENU>(5), nullptr, nullptr);
  ASSERT_NE(tree, nullptr);
  HTREEITEM b = InsertItem(tree, TVI_ROOT, TVI_LAST, "b", 2);
  HTREEITEM a = InsertItem(tree, TVI_ROOT, TVI_FIRST, "a", 1);
  HTREEITEM c = InsertItem(tree, nullptr, TVI_SORT, "C", 3);
  HTREEITEM child = InsertItem(tree, b, TVI_LAST, "b1", 21);
  EXPECT_EQ(reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0)), a);
  EXPECT_EQ(reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(a))), b);
  EXPECT_EQ(reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(b))), c);
  EXPECT_EQ(reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_GETNEXTITEM, TVGN_CHILD, reinterpret_cast<LPARAM>(b))),
            child);
  EXPECT_EQ(reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_GETNEXTITEM, TVGN_PARENT, reinterpret_cast<LPARAM>(child))),
            b);
  EXPECT_TRUE(g_notes.empty());   // inserting selects nothing

  EXPECT_TRUE(SendMessageA(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(child)));
  ASSERT_EQ(g_notes.size(), 1u);
  EXPECT_EQ(g_notes[0].action, TVC_UNKNOWN);
  EXPECT_EQ(g_notes[0].itemNew.hItem, child);
  EXPECT_EQ(g_notes[0].itemNew.lParam, 21);
  EXPECT_EQ(g_notes[0].hdr.idFrom, 5u);

  // A deleted item's handle is unknown from then on, and the selection left it.
  EXPECT_TRUE(SendMessageA(tree, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(b)));
  EXPECT_EQ(reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_GETNEXTITEM, TVGN_CARET, 0)), c);
  ASSERT_EQ(g_notes.size(), 2u);
  EXPECT_EQ(g_notes[1].itemOld.hItem, child);
  EXPECT_EQ(g_notes[1].itemNew.hItem, c);
  TVITEMA query{};
  query.mask = TVIF_PARAM;
  for (HTREEITEM gone : {b, child, reinterpret_cast<HTREEITEM>(0x7777)}) {
    query.hItem = gone;
    EXPECT_FALSE(SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&query)));
    EXPECT_FALSE(SendMessageA(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(gone)));
    EXPECT_FALSE(SendMessageA(tree, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(gone)));
    EXPECT_FALSE(SendMessageA(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(gone)));
    EXPECT_EQ(InsertItem(tree, gone, TVI_LAST, "x", 0), nullptr);
  }
  EXPECT_EQ(SendMessageA(tree, TVM_GETCOUNT, 0, 0), 2);
  EXPECT_EQ(g_notes.size(), 2u);

  // The user's selection is told as such.
  SetFocus(tree);
  ProcessPendingMessages();
  SimulateKey(tree, VK_UP, true, 0);
  ProcessPendingMessages();
  ASSERT_EQ(g_notes.size(), 3u);
  EXPECT_EQ(g_notes[2].action, TVC_BYKEYBOARD);
  EXPECT_EQ(g_notes[2].itemNew.hItem, a);
  RECT r{};
  std::memcpy(&r, &c, sizeof c);
  ASSERT_TRUE(SendMessageA(tree, TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(&r)));
  SimulateMouse(tree, WM_LBUTTONDOWN, r.left + 3, (r.top + r.bottom) / 2, MK_LBUTTON);
  SimulateMouse(tree, WM_LBUTTONUP, r.left + 3, (r.top + r.bottom) / 2, 0);
  ProcessPendingMessages();
  ASSERT_EQ(g_notes.size(), 4u);
  EXPECT_EQ(g_notes[3].action, TVC_BYMOUSE);
  EXPECT_EQ(g_notes[3].itemNew.hItem, c);
  DestroyWindow(parent);
  ProcessPendingMessages();
}

}  // namespace

// Menus: radio groups, popups rebuilt before they show and chosen by script, sub-menus filled
// by their item's OnClick, native popup menus, right clicks on controls.
#include "platform/Menu.h"

#include "platform/Application.h"
#include "platform/Form.h"
#include "platform/Input.h"
#include "platform/Message.h"
#include "platform/Panel.h"
#include "platform/internal/QtMenu.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QActionGroup>
#include <QMenu>

#include <map>
#include <string>
#include <vector>

namespace {

using zuvo::platform::ProcessPendingMessages;
using zuvo::platform::ScopedScriptedMenus;
using zuvo::platform::ShownMenuItem;

TMenuItem* Item(TComponent* owner, const std::string& name, const std::string& caption) {
  auto* item = new TMenuItem(owner);
  item->SetName(name);
  item->SetCaption(caption);
  return item;
}

TEST(MenuTest, CheckingARadioItemUnchecksItsGroupOnly) {
  TPopupMenu menu(nullptr);
  std::vector<TMenuItem*> items;
  for (int i = 0; i < 4; ++i) {
    TMenuItem* item = Item(&menu, "R" + std::to_string(i), "r");
    item->SetRadioItem(true);
    item->SetGroupIndex(i < 3 ? 1 : 2);
    menu.Items()->Add(item);
    items.push_back(item);
  }
  items[3]->SetChecked(true);
  for (int i = 0; i < 3; ++i) {
    items[static_cast<std::size_t>(i)]->SetChecked(true);
    for (int j = 0; j < 3; ++j) EXPECT_EQ(items[static_cast<std::size_t>(j)]->Checked(), i == j) << i << j;
    EXPECT_TRUE(items[3]->Checked());   // another group
  }
}

TEST(MenuTest, OnPopupRebuildsASubMenuAndTheScriptChoosesByTag) {
  ScopedScriptedMenus script;
  TPopupMenu menu(nullptr);
  TMenuItem* blocks = Item(&menu, "P1", "用户板块");
  menu.Items()->Add(blocks);
  TMenuItem* hidden = Item(&menu, "Hidden", "hidden");
  hidden->SetVisible(false);
  menu.Items()->Add(hidden);
  TMenuItem* off = Item(&menu, "Off", "&Off      Ctrl+O");
  off->SetEnabled(false);
  menu.Items()->Add(off);
  int clickedTag = -1;
  menu.OnPopup = [&](TObject*) {
    blocks->Clear();
    for (int id : {7, 9, 12}) {
      TMenuItem* b = Item(&menu, "T" + std::to_string(id), "block " + std::to_string(id));
      b->SetTag(id);
      b->OnClick = [&clickedTag](TObject* sender) { clickedTag = static_cast<TMenuItem*>(sender)->Tag(); };
      blocks->Add(b);
    }
  };
  script->Choose("P1/T9");
  menu.Popup(100, 200);
  EXPECT_EQ(clickedTag, 9);
  // Run twice: the rebuilt sub-menu has no stale items.
  script->Choose("P1/block 12");
  menu.Popup(0, 0);
  EXPECT_EQ(clickedTag, 12);
  EXPECT_EQ(blocks->Count(), 3);

  const auto shown = script->ShownMenus();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].x, 100);
  ASSERT_EQ(shown[0].levels.size(), 2u);
  const std::vector<ShownMenuItem>& top = shown[0].levels[0].items;
  ASSERT_EQ(top.size(), 3u);
  EXPECT_TRUE(top[0].hasItems);
  EXPECT_FALSE(top[1].visible);
  EXPECT_FALSE(top[2].enabled);
  EXPECT_EQ(shown[0].levels[1].items.size(), 3u);

  // A disabled item cannot be chosen: the script misses and nothing runs.
  clickedTag = -1;
  script->Choose("Off");
  menu.Popup(0, 0);
  EXPECT_EQ(clickedTag, -1);
  EXPECT_EQ(script->Misses().size(), 1u);
}

TEST(MenuTest, ASubMenusOnClickRunsBeforeItOpens) {
  ScopedScriptedMenus script;
  TPopupMenu menu(nullptr);
  TMenuItem* parent = Item(&menu, "Web", "Web");
  parent->Add(Item(&menu, "Placeholder", "-"));
  std::vector<std::string> log;
  parent->OnClick = [&](TObject*) {
    log.push_back("fill");
    parent->Clear();
    TMenuItem* site = Item(&menu, "Site1", "site");
    site->OnClick = [&](TObject*) { log.push_back("site"); };
    parent->Add(site);
  };
  menu.Items()->Add(parent);
  script->Choose("Web/Site1");
  menu.Popup(0, 0);
  EXPECT_EQ(log, (std::vector<std::string>{"fill", "site"}));
  script->Cancel();
  menu.Popup(0, 0);
  EXPECT_EQ(log.size(), 2u);
}

TEST(MenuTest, TrackPopupMenuReturnsTheChosenNestedId) {
  ScopedScriptedMenus script;
  HMENU root = CreatePopupMenu();
  HMENU sub = CreatePopupMenu();
  auto add = [](HMENU menu, UINT id, const char* caption, UINT state = 0, HMENU child = nullptr, bool sep = false) {
    MENUITEMINFOA info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_STRING | MIIM_SUBMENU | MIIM_DATA;
    info.fType = sep ? MFT_SEPARATOR : MFT_STRING;
    info.fState = state;
    info.wID = id;
    info.hSubMenu = child;
    info.dwTypeData = const_cast<char*>(caption);
    return InsertMenuItemA(menu, static_cast<UINT>(GetMenuItemCount(menu)), TRUE, &info);
  };
  // The ids as the skinned bar numbers them: a sub-menu's items first.
  ASSERT_TRUE(add(sub, 1, "One"));
  ASSERT_TRUE(add(sub, 2, "Two", MFS_CHECKED));
  ASSERT_TRUE(add(root, 3, "Sub", 0, sub));
  ASSERT_TRUE(add(root, 4, "", 0, nullptr, true));
  ASSERT_TRUE(add(root, 5, "Gray", MFS_GRAYED));
  script->Choose("Sub/Two");
  EXPECT_EQ(TrackPopupMenu(root, TPM_RETURNCMD, 10, 10, 0, nullptr, nullptr), 2);
  script->Cancel();
  EXPECT_EQ(TrackPopupMenu(root, TPM_RETURNCMD, 10, 10, 0, nullptr, nullptr), 0);
  // Bad handles and an empty menu.
  HMENU empty = CreatePopupMenu();
  EXPECT_EQ(TrackPopupMenu(empty, TPM_RETURNCMD, 0, 0, 0, nullptr, nullptr), 0);
  EXPECT_FALSE(add(reinterpret_cast<HMENU>(0x1), 1, "x"));
  EXPECT_FALSE(add(root, 6, "self", 0, root));
  // A long caption is cut at 127 bytes on a character boundary.
  std::string longCaption(126, 'a');
  longCaption += "\xD6\xD0";
  ASSERT_TRUE(add(empty, 9, longCaption.c_str()));
  script->Choose(std::string(126, 'a'));
  EXPECT_EQ(TrackPopupMenu(empty, TPM_RETURNCMD, 0, 0, 0, nullptr, nullptr), 9);
  EXPECT_TRUE(DestroyMenu(root));
  EXPECT_FALSE(DestroyMenu(sub));   // went with its parent
  EXPECT_TRUE(DestroyMenu(empty));
  EXPECT_EQ(GetMenuItemCount(root), -1);
}

// One native item at the end of a menu, as the skinned menu bar inserts them.
BOOL AppendNative(HMENU menu, UINT id, const std::string& caption, HMENU child = nullptr, UINT position = ~0u) {
  MENUITEMINFOA info{};
  info.cbSize = sizeof info;
  info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_STRING | MIIM_SUBMENU;
  info.fType = MFT_STRING;
  info.wID = id;
  info.hSubMenu = child;
  info.dwTypeData = const_cast<char*>(caption.c_str());
  return InsertMenuItemA(menu, position == ~0u ? static_cast<UINT>(GetMenuItemCount(menu)) : position, TRUE, &info);
}

BOOL InsertNativeBefore(HMENU menu, UINT beforeId, UINT id, const std::string& caption) {
  MENUITEMINFOA info{};
  info.cbSize = sizeof info;
  info.fMask = MIIM_ID | MIIM_STRING;
  info.wID = id;
  info.dwTypeData = const_cast<char*>(caption.c_str());
  return InsertMenuItemA(menu, beforeId, FALSE, &info);
}

// The captions of a native menu's top level and of the level opened by `open`, as shown.
std::vector<std::vector<std::string>> ShownCaptions(ScopedScriptedMenus& script, HMENU menu, const std::string& open) {
  script->Choose(open);
  TrackPopupMenu(menu, TPM_RETURNCMD, 0, 0, 0, nullptr, nullptr);
  std::vector<std::vector<std::string>> levels;
  const auto shown = script->ShownMenus();
  for (const auto& level : shown.back().levels) {
    std::vector<std::string> captions;
    for (const ShownMenuItem& item : level.items) captions.push_back(item.caption);
    levels.push_back(captions);
  }
  return levels;
}

TEST(MenuTest, InsertMenuItemByIdGoesBeforeThatItemAndRefusesAnUnknownId) {
  ScopedScriptedMenus script;
  HMENU root = CreatePopupMenu();
  HMENU sub = CreatePopupMenu();
  ASSERT_TRUE(AppendNative(sub, 10, "S1"));
  ASSERT_TRUE(AppendNative(root, 1, "A"));
  ASSERT_TRUE(AppendNative(root, 2, "B"));
  ASSERT_TRUE(AppendNative(root, 3, "Sub", sub));
  // By id: before the item of that id, also inside a sub-menu.
  EXPECT_TRUE(InsertNativeBefore(root, 2, 20, "beforeB"));
  EXPECT_TRUE(InsertNativeBefore(root, 10, 21, "beforeS1"));
  // By position: the count and past it append.
  EXPECT_TRUE(AppendNative(root, 22, "atCount", nullptr, 4));
  EXPECT_TRUE(AppendNative(root, 23, "pastEnd", nullptr, 1000));
  // An id no item has, or a dead menu: refused, nothing inserted anywhere.
  EXPECT_FALSE(InsertNativeBefore(root, 99, 24, "unknown"));
  EXPECT_FALSE(InsertNativeBefore(reinterpret_cast<HMENU>(0x2), 1, 25, "dead"));
  EXPECT_EQ(GetMenuItemCount(root), 6);
  EXPECT_EQ(GetMenuItemCount(sub), 2);
  EXPECT_EQ(ShownCaptions(script, root, "Sub/S1"),
            (std::vector<std::vector<std::string>>{{"A", "beforeB", "B", "Sub", "atCount", "pastEnd"},
                                                   {"beforeS1", "S1"}}));
  // A loop of sub-menus does not make the search run forever.
  HMENU loop = CreatePopupMenu();
  ASSERT_TRUE(AppendNative(loop, 30, "back", root));
  ASSERT_TRUE(AppendNative(sub, 31, "loop", loop));
  EXPECT_FALSE(InsertNativeBefore(root, 98, 26, "unknown"));
  EXPECT_TRUE(InsertNativeBefore(root, 30, 27, "beforeBack"));
  EXPECT_EQ(GetMenuItemCount(loop), 2);
  EXPECT_TRUE(DestroyMenu(root));
}

// Builds a native popup of an item's visible sub-items as the skinned menu bar does: a sub-menu's
// items take their ids before the item that opens it, ids count from `id`, invisible items take
// none. Returns the next id; `byId` maps each id to its item.
UINT BuildNativePopup(HMENU menu, TMenuItem* item, UINT id, std::map<UINT, TMenuItem*>* byId) {
  for (int i = 0; i < item->Count(); ++i) {
    TMenuItem* sub = item->Items(i);
    if (!sub->Visible()) continue;
    HMENU child = nullptr;
    if (sub->Count() > 0) {
      child = CreatePopupMenu();
      id = BuildNativePopup(child, sub, id, byId);
    }
    EXPECT_TRUE(AppendNative(menu, id, sub->Caption(), child));
    (*byId)[id++] = sub;
  }
  return id;
}

TEST(MenuTest, TrackPopupMenuReturnsANestedIdWithInvisibleItemsSkippedInTheNumbering) {
  ScopedScriptedMenus script;
  TPopupMenu model(nullptr);
  TMenuItem* top = model.Items();
  TMenuItem* hidden = Item(&model, "Hidden", "Hidden");
  hidden->SetVisible(false);
  top->Add(hidden);
  top->Add(Item(&model, "A", "A"));
  TMenuItem* sub = Item(&model, "Sub", "&Sub");
  top->Add(sub);
  TMenuItem* hiddenInSub = Item(&model, "H2", "H2");
  hiddenInSub->SetVisible(false);
  hiddenInSub->Add(Item(&model, "Deep", "Deep"));   // a hidden sub-menu's items take no ids
  sub->Add(hiddenInSub);
  sub->Add(Item(&model, "X", "X"));
  sub->Add(Item(&model, "Y", "Y      Ctrl+Y"));
  top->Add(Item(&model, "B", "B"));
  HMENU popup = CreatePopupMenu();
  std::map<UINT, TMenuItem*> byId;
  EXPECT_EQ(BuildNativePopup(popup, top, 1, &byId), 6u);
  // A = 1, X = 2, Y = 3, Sub = 4, B = 5.
  struct Case {
    const char* path;
    BOOL id;
    const char* item;
  };
  for (const Case& c : {Case{"Sub/Y", 3, "Y"}, Case{"Sub/X", 2, "X"}, Case{"B", 5, "B"}, Case{"A", 1, "A"}}) {
    script->Choose(c.path);
    const BOOL id = TrackPopupMenu(popup, TPM_RETURNCMD, 5, 5, 0, nullptr, nullptr);
    EXPECT_EQ(id, c.id) << c.path;
    ASSERT_EQ(byId.count(static_cast<UINT>(id)), 1u) << c.path;
    EXPECT_EQ(byId[static_cast<UINT>(id)]->Name(), c.item);
  }
  // The hidden items were never shown.
  script->Choose("H2/Deep");
  EXPECT_EQ(TrackPopupMenu(popup, TPM_RETURNCMD, 5, 5, 0, nullptr, nullptr), 0);
  EXPECT_EQ(script->Misses(), std::vector<std::string>{"H2/Deep"});
  EXPECT_TRUE(DestroyMenu(popup));
}

// Levels given as they stand, for the Qt popup.
class FixedLevels : public zuvo::platform::MenuLevels {
 public:
  std::map<std::vector<int>, std::vector<ShownMenuItem>> levels;
  std::vector<std::vector<int>> opened;
  std::vector<ShownMenuItem> Open(const std::vector<int>& path) override {
    opened.push_back(path);
    return levels[path];
  }
};

ShownMenuItem Shown(const std::string& caption, bool checked = false, bool radio = false) {
  ShownMenuItem item;
  item.caption = caption;
  item.checked = checked;
  item.radio = radio;
  return item;
}

TEST(MenuTest, TheQtPopupShowsRadioItemsAsRadioMarksAndChecksAsChecks) {
  ASSERT_TRUE(zuvo::platform::EnsureApplication());
  FixedLevels levels;
  ShownMenuItem hidden = Shown("hidden");
  hidden.visible = false;
  ShownMenuItem separator = Shown("-");
  separator.separator = true;
  ShownMenuItem sub = Shown("sub");
  sub.hasItems = true;
  ShownMenuItem disabled = Shown("off   Ctrl+O");
  disabled.enabled = false;
  // Two checked radio items (as native menus may have) both stay checked.
  levels.levels[{}] = {Shown("r1", true, true), Shown("r2", false, true), Shown("r3", true, true), hidden,
                       Shown("tick", true), Shown("plain"), separator, disabled, sub};
  levels.levels[{8}] = {Shown("inner", false, true)};
  std::vector<int> chosen;
  QMenu menu;
  zuvo::platform::FillQtMenu(&menu, levels, {}, &chosen);
  const QList<QAction*> actions = menu.actions();
  ASSERT_EQ(actions.size(), 8);
  auto radio = [](const QAction* a) { return a->isCheckable() && a->actionGroup() != nullptr && a->actionGroup()->isExclusive(); };
  struct Expect {
    const char* text;
    bool radio, checkable, checked;
  };
  const Expect expected[] = {{"r1", true, true, true},       {"r2", true, true, false},  {"r3", true, true, true},
                             {"tick", false, true, true},    {"plain", false, false, false}, {"", false, false, false},
                             {"off\tCtrl+O", false, false, false}, {"sub", false, false, false}};
  for (int i = 0; i < actions.size(); ++i) {
    const Expect& e = expected[i];
    const QAction* a = actions[i];
    EXPECT_EQ(a->text().toStdString(), e.text) << i;
    EXPECT_EQ(radio(a), e.radio) << i;
    EXPECT_EQ(a->isCheckable(), e.checkable) << i;
    EXPECT_EQ(a->isChecked(), e.checked) << i;
  }
  EXPECT_TRUE(actions[5]->isSeparator());
  EXPECT_FALSE(actions[6]->isEnabled());
  actions[1]->trigger();
  EXPECT_EQ(chosen, std::vector<int>{1});
  // The sub-menu is filled as it opens; its radio item is a radio mark too.
  QMenu* inner = actions[7]->menu();
  ASSERT_NE(inner, nullptr);
  EXPECT_TRUE(inner->actions().isEmpty());
  emit inner->aboutToShow();
  ASSERT_EQ(inner->actions().size(), 1);
  EXPECT_TRUE(radio(inner->actions()[0]));
  inner->actions()[0]->trigger();
  EXPECT_EQ(chosen, (std::vector<int>{8, 0}));
  EXPECT_EQ(levels.opened, (std::vector<std::vector<int>>{{}, {8}}));
}

TEST(MenuTest, ARightClickRaisesOnContextPopupThenShowsTheMenu) {
  ScopedScriptedMenus script;
  TForm* form = NewForm<TForm>(nullptr);
  form->SetClientWidth(200);
  form->SetClientHeight(100);
  auto* panel = new TPanel(form);
  panel->SetBounds(0, 0, 100, 50);
  panel->SetParent(form);
  auto* menu = new TPopupMenu(form);
  TMenuItem* item = Item(menu, "Act", "Act");
  int acted = 0;
  item->OnClick = [&](TObject*) { ++acted; };
  menu->Items()->Add(item);
  panel->SetPopupMenu(menu);
  bool handle = true;
  int asked = 0;
  panel->OnContextPopup = [&](TObject*, TPoint p, bool& handled) {
    ++asked;
    EXPECT_EQ(p.x, 20);
    handled = handle;
  };
  form->Show();
  ProcessPendingMessages();
  auto rightClick = [&] {
    zuvo::platform::SimulateMouse(panel->Handle(), WM_RBUTTONDOWN, 20, 10, MK_RBUTTON);
    zuvo::platform::SimulateMouse(panel->Handle(), WM_RBUTTONUP, 20, 10, 0);
    ProcessPendingMessages();
  };
  rightClick();   // handled: no menu (an unscripted menu would stop the run)
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(acted, 0);
  handle = false;
  script->Choose("Act");
  rightClick();
  EXPECT_EQ(asked, 2);
  EXPECT_EQ(acted, 1);
  EXPECT_EQ(menu->PopupComponent(), panel);
  // A freed menu is forgotten by the control.
  TComponent::Free(menu);
  EXPECT_EQ(panel->PopupMenu(), nullptr);
  rightClick();
  TComponent::Free(form);
  ProcessPendingMessages();
}

}  // namespace

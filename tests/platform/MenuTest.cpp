// Menus: radio groups, popups rebuilt before they show and chosen by script, sub-menus filled
// by their item's OnClick, native popup menus, right clicks on controls.
#include "platform/Menu.h"

#include "platform/Form.h"
#include "platform/Input.h"
#include "platform/Message.h"
#include "platform/Panel.h"

#include <gtest/gtest.h>

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

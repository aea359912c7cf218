// Menus: the item model, the native popup menus, and the presenters (Qt's popup, the script).
#include "platform/Menu.h"

#include "platform/Text.h"
#include "platform/internal/Guard.h"
#include "platform/internal/QtMenu.h"
#include "platform/internal/ThreadOwnership.h"
#include "platform/internal/Window.h"

#include <QAction>
#include <QActionGroup>
#include <QCursor>
#include <QMenu>
#include <QPointer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <set>

namespace {

// The menu objects alive: a handler run from a menu (OnPopup, OnClick) may free the menu or the
// item, and the code after it must not read it then. UI thread only.
std::set<const TComponent*>& Live() {
  static std::set<const TComponent*> live;
  return live;
}
bool Alive(const TComponent* object) { return Live().count(object) != 0; }

}  // namespace

// ---- Items ------------------------------------------------------------------------------------

TMenuItem::TMenuItem(TComponent* owner) : TComponent(owner) { Live().insert(this); }

TMenuItem::~TMenuItem() {
  Live().erase(this);
  Clear();
  if (parent_ != nullptr) parent_->Remove(this);
}

void TMenuItem::SetChecked(bool checked) {
  checked_ = checked;
  if (!checked || !radioItem_ || parent_ == nullptr) return;
  for (TMenuItem* sibling : parent_->items_) {
    if (sibling != this && sibling->radioItem_ && sibling->groupIndex_ == groupIndex_) sibling->checked_ = false;
  }
}

void TMenuItem::Click() {
  // Through a copy: a handler may rebuild the menu and so free this item.
  if (OnClick) {
    const TNotifyEvent handler = OnClick;
    handler(this);
  }
}

void TMenuItem::Add(TMenuItem* item) { Insert(Count(), item); }

void TMenuItem::Insert(int index, TMenuItem* item) {
  if (item == nullptr) return;
  if (index < 0 || index > Count()) throw EListError("Menu index out of bounds");
  if (item->parent_ != nullptr) item->parent_->Remove(item);
  items_.insert(items_.begin() + index, item);
  item->parent_ = this;
}

void TMenuItem::Delete(int index) {
  TMenuItem* item = Items(index);
  Remove(item);
  TComponent::Free(item);
}

void TMenuItem::Remove(TMenuItem* item) {
  auto it = std::find(items_.begin(), items_.end(), item);
  if (it == items_.end()) return;
  items_.erase(it);
  item->parent_ = nullptr;
}

void TMenuItem::Clear() {
  while (!items_.empty()) Delete(Count() - 1);
}

TMenuItem* TMenuItem::Items(int index) const {
  if (index < 0 || index >= Count()) throw EListError("Menu index out of bounds");
  return items_[static_cast<std::size_t>(index)];
}

int TMenuItem::IndexOf(const TMenuItem* item) const {
  auto it = std::find(items_.begin(), items_.end(), item);
  return it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
}

int TMenuItem::MenuIndex() const { return parent_ != nullptr ? parent_->IndexOf(this) : -1; }

void TMenuItem::SetMenuIndex(int index) {
  if (parent_ == nullptr) return;
  TMenuItem* parent = parent_;
  index = std::clamp(index, 0, parent->Count() - 1);
  parent->Remove(this);
  parent->Insert(index, this);
}

TMenuItem* TMenuItem::Find(const std::string& name) const {
  for (TMenuItem* item : items_) {
    if (zuvo::platform::gbk::EqualsNoCase(item->Name(), name)) return item;
    if (TMenuItem* found = item->Find(name)) return found;
  }
  return nullptr;
}

TMenu::TMenu(TComponent* owner) : TComponent(owner), items_(new TMenuItem(nullptr)) {}

TMenu::~TMenu() { TComponent::Free(items_); }

// ---- Presenting ---------------------------------------------------------------------------------

namespace zuvo::platform {
namespace {

// Caption text as a person reads it: without '&' marks (a "&&" is one '&') and without the
// hot-key text after a tab or a run of two blanks or more.
std::string PlainCaption(const std::string& caption) {
  std::string out;
  for (std::size_t i = 0; i < caption.size(); ++i) {
    const auto c = static_cast<unsigned char>(caption[i]);
    const std::size_t n = gbk::CharLength(caption, i);
    if (n == 2) {
      out.append(caption, i, 2);
      ++i;
      continue;
    }
    if (c == '\t') break;
    if (c == ' ' && i + 1 < caption.size() && caption[i + 1] == ' ') break;
    if (c == '&') {
      if (i + 1 < caption.size() && caption[i + 1] == '&') {
        out += '&';
        ++i;
      }
      continue;
    }
    out += static_cast<char>(c);
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

ShownMenuItem Snapshot(const TMenuItem& item) {
  ShownMenuItem s;
  s.name = item.Name();
  s.caption = item.Caption();
  s.separator = item.IsLine();
  s.checked = item.Checked();
  s.radio = item.RadioItem();
  s.enabled = item.Enabled();
  s.isDefault = item.Default();
  s.hasItems = item.Count() > 0;
  s.visible = item.Visible();
  return s;
}

// The levels of a class-library menu: opening a sub-menu runs its item's OnClick first.
class ItemLevels : public MenuLevels {
 public:
  explicit ItemLevels(TMenuItem* root) : root_(root) {}
  std::vector<ShownMenuItem> Open(const std::vector<int>& path) override {
    TMenuItem* item = At(path);
    if (item == nullptr) return {};
    if (!path.empty()) item->Click();
    if (!Alive(item)) return {};
    std::vector<ShownMenuItem> shown;
    for (int i = 0; i < item->Count(); ++i) shown.push_back(Snapshot(*item->Items(i)));
    return shown;
  }
  TMenuItem* At(const std::vector<int>& path) const {
    TMenuItem* item = root_;
    if (!Alive(item)) return nullptr;
    for (int index : path) {
      if (item == nullptr || index < 0 || index >= item->Count()) return nullptr;
      item = item->Items(index);
    }
    return item;
  }

 private:
  TMenuItem* root_;
};

std::shared_ptr<MenuPresenter> QtPresenter();

struct PresenterSlot {
  std::mutex mutex;
  std::shared_ptr<MenuPresenter> presenter;
};
PresenterSlot& Slot() {
  static PresenterSlot* slot = new PresenterSlot();
  return *slot;
}

// A right click on a control with a popup menu.
bool ShowControlPopup(TPopupMenu* menu, int x, int y) {
  if (menu == nullptr) return false;
  menu->Popup(x, y);
  return true;
}

}  // namespace

std::shared_ptr<MenuPresenter> SetMenuPresenter(std::shared_ptr<MenuPresenter> presenter) {
  std::lock_guard lock(Slot().mutex);
  std::shared_ptr<MenuPresenter> previous = std::move(Slot().presenter);
  Slot().presenter = std::move(presenter);
  return previous;
}

std::shared_ptr<MenuPresenter> GetMenuPresenter() {
  {
    std::lock_guard lock(Slot().mutex);
    if (Slot().presenter) return Slot().presenter;
  }
  return QtPresenter();
}

// ---- The scripted presenter ---------------------------------------------------------------------

void ScriptedMenus::Choose(const std::string& path) {
  std::lock_guard lock(mutex_);
  answers_.push_back(path.empty() ? std::string("/") : path);
}

void ScriptedMenus::Cancel() {
  std::lock_guard lock(mutex_);
  answers_.push_back(std::nullopt);
}

std::vector<int> ScriptedMenus::Show(MenuLevels& levels, int x, int y) {
  bool scripted = false;
  std::optional<std::string> chosen;   // none: cancel
  {
    std::lock_guard lock(mutex_);
    shown_.push_back(Shown{x, y, {}});
    if (answers_.empty()) {
      std::fprintf(stderr, "A menu was shown at (%d, %d) with no scripted answer; its items:\n", x, y);
    } else {
      scripted = true;
      chosen = answers_.front();
      answers_.pop_front();
    }
  }
  std::vector<int> path;
  std::vector<ShownMenuItem> items = levels.Open(path);
  {
    std::lock_guard lock(mutex_);
    shown_.back().levels.push_back(Level{path, items});
  }
  if (!scripted) {
    for (const ShownMenuItem& item : items) std::fprintf(stderr, "  %s %s\n", item.name.c_str(), item.caption.c_str());
    std::abort();
  }
  if (!chosen) return {};
  const std::string& answer = *chosen;
  std::size_t start = 0;
  while (start <= answer.size()) {
    std::size_t slash = answer.find('/', start);
    const std::string segment = answer.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
    start = slash == std::string::npos ? answer.size() + 1 : slash + 1;
    int found = -1;
    for (std::size_t i = 0; i < items.size(); ++i) {
      const ShownMenuItem& item = items[i];
      if (!item.visible || !item.enabled || item.separator) continue;
      if (item.name == segment || PlainCaption(item.caption) == segment) {
        found = static_cast<int>(i);
        break;
      }
    }
    if (found < 0) {
      std::lock_guard lock(mutex_);
      misses_.push_back(answer);
      return {};
    }
    path.push_back(found);
    if (start > answer.size()) break;
    if (!items[static_cast<std::size_t>(found)].hasItems) {
      std::lock_guard lock(mutex_);
      misses_.push_back(answer);
      return {};
    }
    items = levels.Open(path);
    std::lock_guard lock(mutex_);
    shown_.back().levels.push_back(Level{path, items});
  }
  if (items.empty() && path.empty()) return {};
  return path;
}

std::vector<ScriptedMenus::Shown> ScriptedMenus::ShownMenus() const {
  std::lock_guard lock(mutex_);
  return shown_;
}

std::vector<std::string> ScriptedMenus::Misses() const {
  std::lock_guard lock(mutex_);
  return misses_;
}

// ---- The Qt presenter ---------------------------------------------------------------------------

void FillQtMenu(QMenu* menu, MenuLevels& levels, const std::vector<int>& path, std::vector<int>* chosen) {
  const std::vector<ShownMenuItem> items = levels.Open(path);
  for (std::size_t i = 0; i < items.size(); ++i) {
    const ShownMenuItem& item = items[i];
    if (!item.visible) continue;
    if (item.separator) {
      menu->addSeparator();
      continue;
    }
    std::vector<int> here = path;
    here.push_back(static_cast<int>(i));
    // Hot-key text goes to the right-hand column, after a tab.
    QString text = QString::fromStdU16String(gbk::ToUtf16(item.caption));
    const int gap = text.indexOf(QStringLiteral("  "));
    if (gap > 0 && text.indexOf(QChar('\t')) < 0) text = text.left(gap) + QChar('\t') + text.mid(gap).trimmed();
    if (item.hasItems) {
      QMenu* sub = menu->addMenu(text);
      sub->setEnabled(item.enabled);
      // The sub-menu is filled as it opens, after its item's OnClick.
      QObject::connect(sub, &QMenu::aboutToShow, sub, [sub, &levels, here, chosen] {
        sub->clear();
        FillQtMenu(sub, levels, here, chosen);
      });
      continue;
    }
    QAction* action = menu->addAction(text);
    action->setEnabled(item.enabled);
    action->setCheckable(item.checked || item.radio);
    if (item.radio) {
      // Qt draws a radio mark for an action of an exclusive group. Each radio item gets a group
      // of its own: the model already keeps its groups exclusive, and the mark shows exactly
      // the model's state (a shared group would uncheck one of two checked items).
      auto* group = new QActionGroup(action);
      group->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
      group->addAction(action);
    }
    action->setChecked(item.checked);
    if (item.isDefault) {
      QFont bold = action->font();
      bold.setBold(true);
      action->setFont(bold);
    }
    QObject::connect(action, &QAction::triggered, menu, [chosen, here] { *chosen = here; });
  }
}

namespace {

class QtMenuPresenter : public MenuPresenter {
 public:
  std::vector<int> Show(MenuLevels& levels, int x, int y) override {
    std::vector<int> chosen;
    QMenu root;
    FillQtMenu(&root, levels, {}, &chosen);
    if (root.actions().isEmpty()) return {};
    queue::ModalScope scope;
    root.exec(QPoint(x, y));
    return chosen;
  }
};

std::shared_ptr<MenuPresenter> QtPresenter() {
  static std::shared_ptr<MenuPresenter> presenter = std::make_shared<QtMenuPresenter>();
  return presenter;
}

}  // namespace
}  // namespace zuvo::platform

// ---- Popup menus ---------------------------------------------------------------------------------

TPopupMenu::TPopupMenu(TComponent* owner) : TMenu(owner) {
  Live().insert(this);
  SetPopupMenuPresenter(&zuvo::platform::ShowControlPopup);
}

TPopupMenu::~TPopupMenu() { Live().erase(this); }

void TPopupMenu::SetPopupComponent(TComponent* component) {
  if (popupComponent_ != nullptr && popupComponent_ != component) popupComponent_->RemoveFreeNotification(this);
  popupComponent_ = component;
  if (component != nullptr) component->FreeNotification(this);
}

void TPopupMenu::Notification(TComponent* component, bool inserted) {
  TMenu::Notification(component, inserted);
  if (!inserted && component == popupComponent_) popupComponent_ = nullptr;
}

void TPopupMenu::Popup(int x, int y) {
  if (OnPopup) OnPopup(this);
  if (!Alive(this)) return;
  zuvo::platform::ItemLevels levels(Items());
  std::vector<int> path = zuvo::platform::GetMenuPresenter()->Show(levels, x, y);
  if (path.empty() || !Alive(this)) return;
  if (TMenuItem* chosen = levels.At(path)) chosen->Click();
}

// ---- Native popup menus --------------------------------------------------------------------------

namespace zuvo::platform {
namespace {

struct NativeItem {
  UINT type = MFT_STRING;
  UINT state = 0;
  UINT id = 0;
  HMENU subMenu = nullptr;
  ULONG_PTR data = 0;
  std::string caption;
};

struct NativeMenus {
  std::map<std::uintptr_t, std::vector<NativeItem>> menus;
  std::uintptr_t next = 0x4000;
};

NativeMenus& Natives() {
  static NativeMenus* natives = new NativeMenus();
  return *natives;
}

std::vector<NativeItem>* NativeMenu(HMENU menu) {
  auto it = Natives().menus.find(reinterpret_cast<std::uintptr_t>(menu));
  return it == Natives().menus.end() ? nullptr : &it->second;
}

// The menu holding the item of that id (the menu's own items first, then its sub-menus in order,
// each searched the same way) and the item's place in it; false when no item has the id.
bool FindNativeId(HMENU menu, UINT id, std::set<HMENU>& seen, std::vector<NativeItem>** holder, std::size_t* at) {
  std::vector<NativeItem>* items = NativeMenu(menu);
  if (items == nullptr || !seen.insert(menu).second) return false;   // a menu met twice is a loop
  for (std::size_t i = 0; i < items->size(); ++i) {
    if ((*items)[i].id == id) {
      *holder = items;
      *at = i;
      return true;
    }
  }
  for (std::size_t i = 0; i < items->size(); ++i) {
    if ((*items)[i].subMenu != nullptr && FindNativeId((*items)[i].subMenu, id, seen, holder, at)) return true;
  }
  return false;
}

class NativeLevels : public MenuLevels {
 public:
  explicit NativeLevels(HMENU root) : root_(root) {}
  std::vector<ShownMenuItem> Open(const std::vector<int>& path) override {
    std::vector<NativeItem>* items = Level(path);
    std::vector<ShownMenuItem> shown;
    if (items == nullptr) return shown;
    for (const NativeItem& item : *items) {
      ShownMenuItem s;
      s.caption = item.caption;
      s.separator = (item.type & MFT_SEPARATOR) != 0;
      s.radio = (item.type & MFT_RADIOCHECK) != 0;
      s.checked = (item.state & MFS_CHECKED) != 0;
      s.enabled = (item.state & MFS_GRAYED) == 0;
      s.isDefault = (item.state & MFS_DEFAULT) != 0;
      s.hasItems = item.subMenu != nullptr && NativeMenu(item.subMenu) != nullptr;
      shown.push_back(s);
    }
    return shown;
  }
  const NativeItem* At(const std::vector<int>& path) {
    if (path.empty()) return nullptr;
    std::vector<int> parent(path.begin(), path.end() - 1);
    std::vector<NativeItem>* items = Level(parent);
    const int index = path.back();
    if (items == nullptr || index < 0 || index >= static_cast<int>(items->size())) return nullptr;
    return &(*items)[static_cast<std::size_t>(index)];
  }

 private:
  std::vector<NativeItem>* Level(const std::vector<int>& path) {
    HMENU menu = root_;
    for (int index : path) {
      std::vector<NativeItem>* items = NativeMenu(menu);
      if (items == nullptr || index < 0 || index >= static_cast<int>(items->size())) return nullptr;
      menu = (*items)[static_cast<std::size_t>(index)].subMenu;
    }
    return NativeMenu(menu);
  }
  HMENU root_;
};

}  // namespace
}  // namespace zuvo::platform

using zuvo::platform::NativeItem;
using zuvo::platform::NativeMenu;
using zuvo::platform::Natives;

HMENU CreatePopupMenu() {
  zuvo::platform::AssertUiThread("menus");
  const std::uintptr_t handle = Natives().next++;
  Natives().menus[handle];
  return reinterpret_cast<HMENU>(handle);
}

BOOL InsertMenuItemA(HMENU menu, UINT item, BOOL byPosition, const MENUITEMINFOA* info) {
  std::vector<NativeItem>* items = NativeMenu(menu);
  if (items == nullptr || info == nullptr) return FALSE;
  NativeItem entry;
  if (info->fMask & (MIIM_TYPE | MIIM_FTYPE)) entry.type = info->fType;
  if (info->fMask & MIIM_STATE) entry.state = info->fState;
  if (info->fMask & MIIM_ID) entry.id = info->wID;
  if (info->fMask & MIIM_DATA) entry.data = info->dwItemData;
  if (info->fMask & MIIM_SUBMENU) {
    if (info->hSubMenu != nullptr && (NativeMenu(info->hSubMenu) == nullptr || info->hSubMenu == menu)) return FALSE;
    entry.subMenu = info->hSubMenu;
  }
  const bool hasText = (info->fMask & MIIM_STRING) != 0 ||
                       ((info->fMask & MIIM_TYPE) != 0 && (entry.type & MFT_SEPARATOR) == 0);
  if (hasText && info->dwTypeData != nullptr) {
    std::string caption(info->dwTypeData);
    caption.resize(zuvo::platform::gbk::CutLength(caption, 127));
    entry.caption = caption;
  }
  std::vector<NativeItem>* into = items;
  std::size_t at = items->size();
  if (byPosition) {
    at = std::min<std::size_t>(item, items->size());
  } else {
    std::set<HMENU> seen;
    if (!zuvo::platform::FindNativeId(menu, item, seen, &into, &at)) return FALSE;
  }
  into->insert(into->begin() + static_cast<std::ptrdiff_t>(at), entry);
  return TRUE;
}

BOOL DestroyMenu(HMENU menu) {
  std::vector<NativeItem>* items = NativeMenu(menu);
  if (items == nullptr) return FALSE;
  std::vector<HMENU> subs;
  for (const NativeItem& item : *items) {
    if (item.subMenu != nullptr) subs.push_back(item.subMenu);
  }
  Natives().menus.erase(reinterpret_cast<std::uintptr_t>(menu));
  for (HMENU sub : subs) DestroyMenu(sub);
  return TRUE;
}

int GetMenuItemCount(HMENU menu) {
  std::vector<NativeItem>* items = NativeMenu(menu);
  return items == nullptr ? -1 : static_cast<int>(items->size());
}

BOOL TrackPopupMenu(HMENU menu, UINT flags, int x, int y, int, HWND owner, const RECT*) {
  std::vector<NativeItem>* items = NativeMenu(menu);
  if (items == nullptr || items->empty()) return 0;
  zuvo::platform::NativeLevels levels(menu);
  const std::vector<int> path = zuvo::platform::GetMenuPresenter()->Show(levels, x, y);
  const NativeItem* chosen = levels.At(path);
  const UINT id = chosen != nullptr ? chosen->id : 0;
  if (flags & TPM_RETURNCMD) return static_cast<BOOL>(id);
  if (id != 0 && owner != nullptr) PostMessageA(owner, WM_COMMAND, MAKEWPARAM(id, 0), 0);
  return id != 0 ? TRUE : FALSE;
}

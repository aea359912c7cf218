// Menus: the class library's menu items, main and popup menus (our own data, changed at run
// time and addressed by name), the native popup-menu calls the skinned menu bar uses, and the
// presenter that shows a menu. The real presenter shows a Qt popup menu in a nested loop; tests
// install a scripted one that chooses an item by name or path ("P1/T1") or cancels, and records
// every level as it was shown. A popup nobody scripted stops a test run at once.
//
// Opening a sub-menu raises its item's OnClick first, so an owner can fill it (the class
// library's habit); after the menu closes, the chosen item's OnClick runs. UI thread only.
#pragma once

#include "platform/Control.h"
#include "platform/ScopedDouble.h"
#include "platform/WinUser.h"

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class TMenu;

class TMenuItem : public TComponent {
 public:
  explicit TMenuItem(TComponent* owner);
  ~TMenuItem() override;   // leaves its parent, frees its sub-items
  const char* ClassName() const { return "TMenuItem"; }

  // "-" makes a separator line. "&" marks the mnemonic; text after a tab or a run of blanks is
  // the hot-key text ("添加板块      Ctrl+M").
  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& caption) { caption_ = caption; }
  bool IsLine() const { return caption_ == "-"; }
  // Checking a radio item unchecks the other radio items of its group among its siblings.
  bool Checked() const { return checked_; }
  void SetChecked(bool checked);
  bool RadioItem() const { return radioItem_; }
  void SetRadioItem(bool radio) { radioItem_ = radio; }
  int GroupIndex() const { return groupIndex_; }
  void SetGroupIndex(int group) { groupIndex_ = group; }
  bool Visible() const { return visible_; }
  void SetVisible(bool visible) { visible_ = visible; }
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled) { enabled_ = enabled; }
  bool Default() const { return default_; }
  void SetDefault(bool value) { default_ = value; }

  TNotifyEvent OnClick;
  // Runs OnClick (nothing when it is not set).
  virtual void Click();

  // ---- Sub-items. The item takes ownership of what is added; Delete and Clear free, Remove
  // gives the item up without freeing it. Indexes outside the list raise EListError.
  void Add(TMenuItem* item);
  void Insert(int index, TMenuItem* item);
  void Delete(int index);
  void Remove(TMenuItem* item);
  void Clear();
  int Count() const { return static_cast<int>(items_.size()); }
  TMenuItem* Items(int index) const;
  int IndexOf(const TMenuItem* item) const;   // -1 when not a sub-item
  TMenuItem* Parent() const { return parent_; }
  int MenuIndex() const;   // its place among its parent's sub-items, -1 without a parent
  void SetMenuIndex(int index);
  // The sub-item of that name (ASCII case ignored), searched depth first; null when none.
  TMenuItem* Find(const std::string& name) const;

 private:
  friend class TMenu;
  std::string caption_;
  bool checked_ = false;
  bool radioItem_ = false;
  int groupIndex_ = 0;
  bool visible_ = true;
  bool enabled_ = true;
  bool default_ = false;
  TMenuItem* parent_ = nullptr;
  std::vector<TMenuItem*> items_;
};

class TMenu : public TComponent {
 public:
  explicit TMenu(TComponent* owner);
  ~TMenu() override;
  // The root item: its sub-items are the menu's items.
  TMenuItem* Items() const { return items_; }

 private:
  TMenuItem* items_;
};

// The main window's menu: never shown as a native menu bar (the program draws its own bar and
// pops the top items' sub-menus).
class TMainMenu : public TMenu {
 public:
  using TMenu::TMenu;
  const char* ClassName() const { return "TMainMenu"; }
};

class TPopupMenu : public TMenu {
 public:
  explicit TPopupMenu(TComponent* owner);
  ~TPopupMenu() override;
  const char* ClassName() const { return "TPopupMenu"; }
  // Raised before the menu shows: checks, visibility and sub-menus can be set up.
  TNotifyEvent OnPopup;
  // Shows the menu at a screen point and runs the chosen item's OnClick after it closed.
  virtual void Popup(int x, int y);
  // The control the menu was popped up for (set by a right click on a control).
  TComponent* PopupComponent() const { return popupComponent_; }
  void SetPopupComponent(TComponent* component);

 protected:
  void Notification(TComponent* component, bool inserted) override;

 private:
  TComponent* popupComponent_ = nullptr;
};

// ---- Native popup menus ------------------------------------------------------------------------

constexpr UINT MIIM_STATE = 0x0001;
constexpr UINT MIIM_ID = 0x0002;
constexpr UINT MIIM_SUBMENU = 0x0004;
constexpr UINT MIIM_CHECKMARKS = 0x0008;
constexpr UINT MIIM_TYPE = 0x0010;
constexpr UINT MIIM_DATA = 0x0020;
constexpr UINT MIIM_STRING = 0x0040;
constexpr UINT MIIM_FTYPE = 0x0100;

constexpr UINT MFT_STRING = 0x0000;
constexpr UINT MFT_SEPARATOR = 0x0800;
constexpr UINT MFT_RADIOCHECK = 0x0200;
constexpr UINT MFS_ENABLED = 0x0000;
constexpr UINT MFS_GRAYED = 0x0003;
constexpr UINT MFS_DISABLED = MFS_GRAYED;
constexpr UINT MFS_CHECKED = 0x0008;
constexpr UINT MFS_DEFAULT = 0x1000;

constexpr UINT TPM_LEFTALIGN = 0x0000;
constexpr UINT TPM_LEFTBUTTON = 0x0000;
constexpr UINT TPM_RIGHTBUTTON = 0x0002;
constexpr UINT TPM_NONOTIFY = 0x0080;
constexpr UINT TPM_RETURNCMD = 0x0100;

struct MENUITEMINFOA {
  UINT cbSize;
  UINT fMask;
  UINT fType;
  UINT fState;
  UINT wID;
  HMENU hSubMenu;
  HBITMAP hbmpChecked;
  HBITMAP hbmpUnchecked;
  ULONG_PTR dwItemData;
  LPSTR dwTypeData;
  UINT cch;
  HBITMAP hbmpItem;
};

HMENU CreatePopupMenu();
// Inserts an item before the item `item`: a position when byPosition (the count or any position
// past the end appends), else an id, looked for in the menu and its sub-menus, the new item
// going into the menu that holds it. The caption is cut at 127 bytes, on a character boundary.
// FALSE, and nothing inserted, for a dead menu, an id no item has, a null record, or a sub-menu
// handle that is no menu or is the menu itself.
BOOL InsertMenuItemA(HMENU menu, UINT item, BOOL byPosition, const MENUITEMINFOA* info);
// Destroys the menu and its sub-menus. FALSE for a dead menu.
BOOL DestroyMenu(HMENU menu);
int GetMenuItemCount(HMENU menu);   // -1 for a dead menu
// Shows the menu at a screen point in a nested loop. With TPM_RETURNCMD returns the chosen
// item's id (0 when cancelled); otherwise posts WM_COMMAND with it to `owner` and returns
// whether one was chosen. An empty or dead menu returns 0 at once.
BOOL TrackPopupMenu(HMENU menu, UINT flags, int x, int y, int reserved, HWND owner, const RECT* rect);

namespace zuvo::platform {

// One item of a menu level as it is shown.
struct ShownMenuItem {
  std::string name;      // the item's Name (empty for native menus)
  std::string caption;   // GBK, as given
  bool separator = false;
  bool checked = false;
  bool radio = false;
  bool enabled = true;
  bool isDefault = false;
  bool hasItems = false;   // opens a sub-menu
  bool visible = true;     // hidden items are recorded by the scripted presenter, never shown
};

// What a presenter shows: the levels of one menu. Opening a level runs its item's OnClick
// first, then gives its items (hidden ones included, marked).
class MenuLevels {
 public:
  virtual ~MenuLevels() = default;
  // The items of the level under `path` (indexes into each level's item list; empty: the top).
  virtual std::vector<ShownMenuItem> Open(const std::vector<int>& path) = 0;
};

// Shows a menu at a screen point and returns the chosen item's path (indexes into the levels'
// lists), empty when the menu was cancelled.
class MenuPresenter {
 public:
  virtual ~MenuPresenter() = default;
  virtual std::vector<int> Show(MenuLevels& levels, int x, int y) = 0;
};

// Installs a presenter (null restores the Qt one) and returns the previous one.
std::shared_ptr<MenuPresenter> SetMenuPresenter(std::shared_ptr<MenuPresenter> presenter);
std::shared_ptr<MenuPresenter> GetMenuPresenter();

// A test double. Each Show takes the next answer: Choose("P1/T1") walks the levels by item
// name, or caption without '&' and hot-key text, segment by segment (opening each level on the
// way, as a person would); Cancel() cancels. A path that names no visible, enabled item cancels
// and is recorded as a miss. A Show without an answer prints the menu and stops the run.
class ScriptedMenus : public MenuPresenter {
 public:
  void Choose(const std::string& path);
  void Cancel();
  std::vector<int> Show(MenuLevels& levels, int x, int y) override;

  // Every level opened, in order: the path that opened it and its items.
  struct Level {
    std::vector<int> path;
    std::vector<ShownMenuItem> items;
  };
  struct Shown {
    int x = 0;
    int y = 0;
    std::vector<Level> levels;
  };
  std::vector<Shown> ShownMenus() const;
  std::vector<std::string> Misses() const;

 private:
  mutable std::mutex mutex_;
  std::deque<std::optional<std::string>> answers_;   // nullopt cancels
  std::vector<Shown> shown_;
  std::vector<std::string> misses_;
};

using ScopedScriptedMenus = ScopedDouble<ScriptedMenus, MenuPresenter, &SetMenuPresenter>;

}  // namespace zuvo::platform

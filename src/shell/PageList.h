// The user's named pages: the process-wide page list (names and paths of the page files, in the
// order of the page menus and the page dialog), the page index "zvpage.idx" that keeps that
// order, the scan that rebuilds the list, the page menus and the main window's page commands
// (start page, new page, save as, page management, the auto-save switch, opening a page).
//
// The scan never deletes: a file the page reader refuses is simply not listed. Only the delete
// command of the page dialog removes a page file.
#pragma once

#include "platform/Form.h"
#include "shell/PageFile.h"
#include "shell/PageWindow.h"

#include <string>
#include <string_view>
#include <vector>

class TMenuItem;
class TWinControl;

// One entry of the page list.
struct CPageData {
  char name[kPageNameSize];   // zero-terminated, from the page file's header
  char path[kPagePathSize];   // zero-terminated; empty: no file yet
};

constexpr int kPageListCapacity = 128;
// Bytes of the page name the page box of the status bar shows.
constexpr std::size_t kPageBoxNameBytes = 28;

// ---- The page list ------------------------------------------------------------------------------
int PageListCount();
// The entry at a list position (0 .. count - 1).
CPageData& PageListEntry(int position);
// The first position whose path equals `path` without regard to case; -1 when none.
int FindPageByPath(std::string_view path);
// Appends an entry (the name cut to its field on a character boundary); its position, -1 when
// the list is full or the path does not fit its field.
int AppendPage(std::string_view name, std::string_view path);
// Removes an entry; the later ones move up.
void RemovePage(int position);
// Swaps two entries.
void SwapPages(int a, int b);
// Empties the list.
void ClearPageList();

// Rebuilds the list: the paths of "<UserDir>zvpage.idx" (format word 1) in order, then
// "..\cfg\zvpage<n>.ppg" and "<UserDir>zvpage<n>.ppg" for n = 0..63 not listed yet (paths
// compared without regard to case), at most 128 entries. A file is listed when the page reader
// reads it; anything else (missing, unreadable, invalid) is skipped and left on disk. When a
// folder file was added, the index is written anew.
void ScanPageFiles();

// Writes "<UserDir>zvpage.idx" whole (the word 1, then each entry's path in 260 zero-padded
// bytes) through AtomicReplace: a failure leaves the old index. False when it failed.
bool WritePageIndex();

// ---- The page menus -----------------------------------------------------------------------------
// Tag of the default page's item; a page's item has its list position + 1.
constexpr int kDefaultPageTag = 0;
// Selections for BuildPageMenu: the page named in LASTPAGE.DAT, or no item checked.
constexpr int kPageSelectLastPage = -1;
constexpr int kPageSelectNone = -2;

struct PageMenuResult {
  int selection = kPageSelectNone;   // after resolving kPageSelectLastPage
  bool boxChanged = false;           // the page box shows `boxText` now
  std::string boxText;
};

// Empties `menu` and fills it with "默认页面(&D)" (tag 0), a separator and one item per listed
// page with a path (its name, tag = position + 1), each with `onClick`. The item whose tag is
// the selection is checked; kPageSelectLastPage becomes the tag of the entry whose path
// LASTPAGE.DAT names (a path of more than 10 characters), else checks the default page. The
// text for the page box: "▲ 默认页面", or "▲" and the page name cut to 28 bytes on a
// character boundary; unchanged for kPageSelectNone or a tag that is not in the menu.
PageMenuResult BuildPageMenu(TMenuItem& menu, int selection, const TNotifyEvent& onClick);

// ---- The page dialog ----------------------------------------------------------------------------
// The page dialog: the save form (a name for the page to save; existing pages to overwrite) or
// the management form (delete and reorder the pages of the list). Works on the page list.
class TEdit;
class TListBox;
class TButton;
class TLabel;

class TPageMngr : public TForm {
 public:
  enum class Form { kSave, kManage };
  // `currentPath`: the page window's page path (management form: that page cannot be deleted).
  TPageMngr(TComponent* owner, Form form, const std::string& currentPath = {});
  const char* ClassName() const override { return "TPageMngr"; }

  void Button1Click(TObject* sender);
  void ListBox1Click(TObject* sender);
  void XPButton1Click(TObject* sender);
  void XPButton2Click(TObject* sender);

  TLabel* Label1 = nullptr;
  TLabel* Label2 = nullptr;
  TEdit* Edit1 = nullptr;
  TListBox* ListBox1 = nullptr;
  TButton* XPButton1 = nullptr;
  TButton* XPButton2 = nullptr;
  TButton* Button1 = nullptr;
  TButton* Button2 = nullptr;

  CPageData chosen{};
  int chosenPosition = -1;
  char currentPath[kPagePathSize] = {};
  bool changed = false;

 private:
  void SaveClick();
  void DeleteClick();
  void MoveSelection(int delta);
  Form form_;
};

// ---- The main window's page commands ------------------------------------------------------------
// What the page commands need of the main window and its page window.
class IPageListHost {
 public:
  virtual ~IPageListHost() = default;
  // The page window's page path (empty for a new blank page).
  virtual std::string PagePath() = 0;
  // True when some cell of the page holds no view (kind 0).
  virtual bool PageHasEmptyCell() = 0;
  // The page window's SavePage (mode kPageSaveNormal, kPageSaveAs, kPageSaveAuto): a
  // PageSaveResult as int.
  virtual int SavePage(int mode) = 0;
  // TMultiViewMain::OpenPage on the page window.
  virtual void OpenPage(const std::string& path, PageOpenMode mode) = 0;
  // A new page window made in `mode` (no path) becomes the main window's page window; the old
  // one is closed and freed.
  virtual void ReplacePageWindow(PageOpenMode mode) = 0;
  // The check of "自动保存页面(&A)".
  virtual bool AutoSavePage() = 0;
  virtual void SetAutoSavePage(bool checked) = 0;
  // The page menus ("导入页面(&I)" and the page box's popup), each filled by BuildPageMenu.
  virtual std::vector<TMenuItem*> PageMenus() = 0;
  // The page box of the status bar shows `text` and is repainted.
  virtual void ShowPageBoxText(const std::string& text) = 0;
  // The owner of the page dialog and the message boxes; may be null.
  virtual TWinControl* DialogOwner() = 0;
};

// The page commands of the main window. It is also the page dialog and page list a save goes
// through (the page window's IPageHost::PageSaveUi).
class PageCommands : public IPageSaveUi {
 public:
  explicit PageCommands(IPageListHost& host) : host_(host) {}

  // Fills every page menu (BuildPageMenu) and updates the page box.
  void BuildPageMenu(int selection);
  // A page menu item: its tag is the page to open (0 the default page).
  void OpenPageClick(TObject* sender);
  // Opens the page of a tag (the keyboard wizard's page result too).
  void OpenPageByTag(int tag);
  void ToolButton4Click(TObject* sender);   // start page
  void N10Click(TObject* sender);           // new page
  void N19Click(TObject* sender);           // save as
  void N53Click(TObject* sender);           // page management
  void N17Click(TObject* sender);           // auto-save switch

  // IPageSaveUi
  bool AskPageName(PageSaveChoice& choice) override;
  int PageCount() override;
  int AddPage(const char* name, const char* path) override;
  void PageSaved(int position) override;

 private:
  // Asks to save a page without a path; false when the command must end here.
  bool SaveUnsavedPage();
  bool RefuseEmptyCell();
  void NewPageWindow(PageOpenMode mode, int selection);
  HWND OwnerHandle();

  IPageListHost& host_;
  std::string savedPath_;   // the path the dialog chose or a new page file got
};

// The page window: one page of cells in a split tree filling the main window's client area. It
// owns the tree (SplitTree, the model with every layout, drag, split, close and zoom rule) and
// every cell in it, opens the page by its open mode (a page file, LASTPAGE.DAT, the default page
// or a blank page), saves it, paints the cell frames, runs divider drags with the overlay window
// and handles the commands cells post to it. It reaches the main window through IPageHost.
#pragma once

#include "core/EArray.h"
#include "platform/Form.h"
#include "shell/ViewTypes.h"

#include <string>

class TMultiViewChild;
class IPageSaveUi;
class SplitTree;
class PageTreeHost;
class TWinControl;
struct PageModelNode;
enum class PageSaveResult;   // PageFile.h

constexpr int NODE_LEFT = 1;
constexpr int NODE_RIGHT = 2;
constexpr int NODE_TOP = 3;
constexpr int NODE_BOTTOM = 4;

// One node of the page's binary split tree; plain record owned by the page window.
struct PageNode {
  PageNode* parent = nullptr;
  PageNode* first = nullptr;    // left or top part
  PageNode* second = nullptr;   // right or bottom part
  TMultiViewChild* cell = nullptr;   // leaves only
  int left = 0, top = 0, width = 0, height = 0;   // page client coordinates
  int side = NODE_LEFT;
  float ratio = 1.0f;
};

// How a new page window fills itself: the page path given (or, without one, the page named in
// LASTPAGE.DAT), a blank page of one empty cell, or the default page "..\\CFG\\Default.ppg".
enum PageOpenMode { PAGE_OPEN_FILE = 0, PAGE_OPEN_EMPTY = 1, PAGE_OPEN_DEFAULT = 2 };

// What the page window asks of the main window. Null until one is set: the page then never
// auto-saves, parents the drag overlay to its own parent (or itself) and asks for no names.
class IPageHost {
 public:
  virtual ~IPageHost() = default;
  // The check of the menu item "自动保存页面(&A)".
  virtual bool AutoSavePage() = 0;
  // The control the drag overlay lives in (the main window's client area); may be null.
  virtual TWinControl* OverlayParent() = 0;
  // Makes the main window the active window (after a page was opened in place).
  virtual void ActivateMainWindow() = 0;
  // The page dialog and page list a "save as" goes through; may be null (nothing is saved).
  virtual IPageSaveUi* PageSaveUi() = 0;
};
IPageHost* PageHost();
// Installs the host (not owned); returns the previous one.
IPageHost* SetPageHost(IPageHost* host);

class TMultiViewMain : public TForm {
 public:
  // A bare page: an empty tree, no cells and no file read or written (cells may be added and
  // laid out by the caller). Painting, the mouse and the cell commands work as on any page.
  explicit TMultiViewMain(TComponent* owner);
  // The page window of the main window: stores the mode and the path ("Default" in mode 2);
  // FormCreate fills the page when the form is created (its window first made, or NewForm).
  // Makes the drag overlay when the process has none yet. The main window parents and sizes it.
  TMultiViewMain(TComponent* owner, PageOpenMode mode, const std::string& path);
  ~TMultiViewMain() override;
  const char* ClassName() const override { return "TMultiViewMain"; }

  // ---- Opening, closing, painting ----
  // Replaces the page: auto-save (when checked), the tree freed with its cells, then filled
  // anew by `mode` and laid out.
  void OpenPage(const std::string& path, PageOpenMode mode);
  // Fills the empty page by the open mode. Mode 1: one empty cell, activated. Modes 0 and 2:
  // the page file (mode 2 the default page; mode 0 the path, else LASTPAGE.DAT; a file that
  // cannot be opened falls back to the default page); a page that cannot be read becomes
  // "Default" with one quote list.
  void FormCreate(TObject* sender);
  // Auto-save (when checked), then the tree is freed with its cells; the form is freed.
  void FormClose(TObject* sender, TCloseAction& action);
  // LayoutPage, then a repaint.
  void FormResize(TObject* sender);
  // COLOR01 over the client area; the cell frames, or with a zoomed cell one COLOR36 frame
  // round the client area.
  void FormPaint(TObject* sender);
  // Frames of the subtree's cells on `dc`: an active cell two in COLOR36 (the node rectangle and
  // one pixel inside), any other one in COLOR35. Without a context, on the window.
  void PaintCellFrames(PageNode* node, HDC dc = nullptr);

  // Writes the page (SavePageFile modes 0, 1, 2; "save as" through the host's page dialog)
  // after every cell's view state went into its view data record.
  PageSaveResult SavePage(int mode);

  // ---- The tree ----
  SplitTree& Tree() { return *tree_; }
  PageNode* Root() const;
  void LayoutNode(PageNode* node, bool move, bool settle);
  // The tree laid out over the client area (a zoomed cell over all of it).
  void LayoutPage();
  TMultiViewChild* SplitCell(PageNode* node, const VIEW_ATTR_12* attr, float ratio, int direction);
  void CloseCell(TMultiViewChild* cell);
  void ZoomCell(TMultiViewChild* cell, bool zoom);
  // Frees a subtree with its cells (their history and view data included); the root: all.
  void FreeNode(PageNode* node);
  // The cell as a cell of this page (a posted command's cell may have gone): null when it is not
  // in the cell list.
  TMultiViewChild* KnownCell(const void* cell) const;

  // Makes `cell` the active cell: ViewDeactivated on the old one, ViewActivated on the new one,
  // the frames redrawn. Nothing when it already is.
  virtual void SetActiveCell(TMultiViewChild* cell);

  void WndProc(TMessage& message) override;

  // ---- Cell view changes, history and linked views (PageViews.cpp) ----
  // Replaces the view of `node`'s cell by a new view of attr's kind (an unknown kind gives a quote
  // list of its own defaults), keeping the cell's view data, history, link flag, requester id,
  // active and zoomed state; the old view's attributes go into the history (at most 20). With
  // `saveFirst` the old view's state is written into its view data first. The new view.
  TMultiViewChild* ChangeCellView(PageNode* node, const VIEW_ATTR_12* attr, int saveFirst);
  // The cell's previous content (see PageViews.cpp); the view now in the cell.
  TMultiViewChild* CellBack(TMultiViewChild* cell);
  // The active cell's view when it has `kind` and is linked (or `any`), else the first such cell
  // of the list, else null.
  TMultiViewChild* FindViewByKind(ViewKind kind, bool any);
  // Notifies every linked trend, K-line and F10 view with code 1; with `zoom` posts MsgCellZoom
  // once. True when the last such view is a trend or K-line view.
  bool ShowInLinkedViews(const VIEW_ATTR_12* attr, bool zoom);
  // MsgCellShowReport .. MsgCellShowNews and MsgCellBack; false for any other message.
  bool HandleCellViewCommand(TMessage& message);

  // Every cell of the page, in creation order (a cell appends itself when constructed and
  // removes itself when destroyed; the others keep their order).
  EArray<TMultiViewChild*> cells{20};
  TMultiViewChild* activeCell = nullptr;
  TMultiViewChild* zoomedCell = nullptr;
  PageOpenMode openMode = PAGE_OPEN_EMPTY;
  // The upper-cased path of the page file read; "Default" for the built-in default page; empty
  // for a blank page.
  std::string pagePath;

 private:
  friend class PageTreeHost;
  void Init();
  void FillPage();
  // A cell for `node`: the view of attr's kind with `data` (owned from here), or an empty cell
  // (its own view data; `data` is dropped) for no attributes or a kind without a view.
  TMultiViewChild* NewCell(PageNode* node, const VIEW_ATTR_12* attr, MVCDATA_12* data);
  // Builds the model's subtree under `parent` with its cells (depth first, first before second).
  PageNode* BuildNode(PageNode* parent, const PageModelNode& model);
  bool LoadPage(const std::string& path);
  void MouseMove(TMessage& message);
  void MouseDown(TMessage& message);
  void MouseUp(TMessage& message);
  bool CellCommand(TMessage& message);
  void ShowOverlay();
  void DrawActiveFrames(TMultiViewChild* cell, bool active);
  void FreeAllCells();

  PageTreeHost* treeHost_ = nullptr;
  SplitTree* tree_ = nullptr;
  bool fillOnCreate_ = false;
};

// The page window: opening and saving its page, the cells' frames, divider drags over the
// overlay window and the cell commands. The tree's rules live in SplitTree; this unit is its
// host and does what touches windows.
#include "shell/PageWindow.h"

#include "data/Messages.h"
#include "data/UtilData.h"
#include "platform/Text.h"
#include "shell/Cell.h"
#include "shell/ChildView.h"
#include "shell/PageFile.h"
#include "shell/ShellHost.h"
#include "shell/SmallWindows.h"
#include "shell/SplitTree.h"
#include "shell/ViewFactory.h"
#include "shell/ViewState.h"
#include "shell/ViewSurfaces.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <utility>

namespace {

constexpr int kColor01 = 0;    // page background
constexpr int kColor35 = 34;   // frame of a cell
constexpr int kColor36 = 35;   // frames of the active cell
constexpr int kZoomIconCode = 1;
constexpr int kRestoreIconCode = 2;
constexpr WORD kKeyLeft = 37;
constexpr WORD kKeyRight = 39;
const char kDefaultPageFile[] = "..\\CFG\\Default.ppg";
const char kDefaultPageName[] = "Default";

IPageHost* pageHost = nullptr;

bool IsViewKind(ViewKind kind) {
  switch (kind) {
    case VIEW_TREND:
    case VIEW_KLINE:
    case VIEW_INTESORT:
    case VIEW_REPORT:
    case VIEW_NEWS:
    case VIEW_F10:
    case VIEW_NOTE: return true;
    default: return false;
  }
}

// The frame rectangle of a node: (left, top, left + width - 1, top + height - 1), right and
// bottom exclusive, and `inset` pixels inside it.
RECT FrameOf(int left, int top, int width, int height, int inset) {
  return RECT{left + inset, top + inset, left + width - 1 - inset, top + height - 1 - inset};
}

void Frame(HDC dc, const RECT& rect, COLORREF color) {
  if (rect.right <= rect.left || rect.bottom <= rect.top) return;
  HBRUSH brush = CreateSolidBrush(color);
  FrameRect(dc, &rect, brush);
  DeleteObject(brush);
}

void FrameNode(HDC dc, const PageNode& node, bool active) {
  if (active) {
    Frame(dc, FrameOf(node.left, node.top, node.width, node.height, 0), ColorTable[kColor36]);
    Frame(dc, FrameOf(node.left, node.top, node.width, node.height, 1), ColorTable[kColor36]);
  } else {
    Frame(dc, FrameOf(node.left, node.top, node.width, node.height, 0), ColorTable[kColor35]);
  }
}

// A window context of the page for drawing outside its paint.
class WindowDc {
 public:
  explicit WindowDc(HWND window) : window_(window), dc_(window != nullptr ? GetDC(window) : nullptr) {}
  ~WindowDc() {
    if (dc_ != nullptr) ReleaseDC(window_, dc_);
  }
  WindowDc(const WindowDc&) = delete;
  WindowDc& operator=(const WindowDc&) = delete;
  HDC get() const { return dc_; }

 private:
  HWND window_;
  HDC dc_;
};

}  // namespace

IPageHost* PageHost() { return pageHost; }
IPageHost* SetPageHost(IPageHost* host) { return std::exchange(pageHost, host); }

// The page window as the split tree's host.
class PageTreeHost final : public ISplitTreeHost {
 public:
  explicit PageTreeHost(TMultiViewMain* page) : page_(page) {}

  TMultiViewChild* CreateCell(PageNode* node, const VIEW_ATTR_12* attr) override {
    return page_->NewCell(node, attr, nullptr);
  }
  void SetCellNode(TMultiViewChild* cell, PageNode* node) override { cell->node = node; }
  void DestroyCell(TMultiViewChild* cell) override {
    EArray<VIEW_ATTR_12>* history = cell->history;
    MVCDATA_12* data = cell->viewData;
    if (cell->HandleAllocated()) SendMessageA(cell->Handle(), WM_CLOSE, 0, 0);
    TComponent::Free(cell);
    // After the view: its closing may still read its view data.
    delete history;
    delete data;
  }
  void PlaceCell(TMultiViewChild* cell, int left, int top, int width, int height) override {
    cell->SetBounds(left, top, width, height);
    if (!cell->Visible()) cell->SetVisible(true);
  }
  void InitCell(TMultiViewChild* cell) override {
    if (!cell->initialised && cell->HandleAllocated()) PostMessageA(cell->Handle(), MsgCellInit, 0, 0);
  }
  void ShowCell(TMultiViewChild* cell, bool visible) override { cell->SetVisible(visible); }
  void SetCellZoomFlag(TMultiViewChild* cell, bool zoomed) override {
    cell->zoomed = zoomed;
    TMVCmdBox* strip = cell->cmdBox;
    if (strip == nullptr || strip->count == 0) return;
    const int from = zoomed ? kZoomIconCode : kRestoreIconCode;
    if (strip->codes[0] != from) return;
    strip->codes[0] = zoomed ? kRestoreIconCode : kZoomIconCode;
    strip->Redraw();
  }
  TMultiViewChild* ZoomedCell() override { return page_->zoomedCell; }
  void SetZoomedCell(TMultiViewChild* cell) override { page_->zoomedCell = cell; }
  TMultiViewChild* ActiveCell() override { return page_->activeCell; }
  void ActivateCell(TMultiViewChild* cell) override {
    if (cell != nullptr) cell->Activate();
  }
  TMultiViewChild* CellAt(int index) override {
    return index >= 0 && index < page_->cells.GetSize() ? page_->cells[index] : nullptr;
  }
  void ShowRefusal(const char* text, const char* caption) override {
    MessageBoxA(page_->HandleAllocated() ? page_->Handle() : nullptr, text, caption,
                MB_OK | MB_ICONERROR | MB_TOPMOST);
  }
  void XorFeedbackLine(const PageNode& node, int edge, int position) override {
    TTranspWnd* overlay = TranspWnd;
    if (overlay == nullptr || !overlay->HandleAllocated()) return;
    TCanvas* canvas = overlay->Canvas();
    canvas->Pen()->SetColor(clWhite);
    canvas->Pen()->SetMode(pmXor);
    canvas->Pen()->SetWidth(1);
    for (int d = -1; d <= 1; ++d) {
      if (edge == 1 || edge == 2) {
        canvas->MoveTo(position + d, node.top);
        canvas->LineTo(position + d, node.top + node.height);
      } else {
        canvas->MoveTo(node.left, position + d);
        canvas->LineTo(node.left + node.width, position + d);
      }
    }
  }
  void RepaintPage() override {
    if (page_->HandleAllocated()) page_->Invalidate();
  }

 private:
  TMultiViewMain* page_;
};

// ---- Construction -------------------------------------------------------------------------------

TMultiViewMain::TMultiViewMain(TComponent* owner) : TForm(owner) { Init(); }

TMultiViewMain::TMultiViewMain(TComponent* owner, PageOpenMode mode, const std::string& path) : TForm(owner) {
  Init();
  openMode = mode;
  pagePath = mode == PAGE_OPEN_DEFAULT ? kDefaultPageName : path;
  fillOnCreate_ = true;
  OnCreate = [this](TObject* sender) { FormCreate(sender); };
  OnClose = [this](TObject* sender, TCloseAction& action) { FormClose(sender, action); };
  // The overlay outlives every page window; the first one makes it.
  if (TranspWnd == nullptr) {
    IPageHost* host = PageHost();
    if (TWinControl* parent = host != nullptr ? host->OverlayParent() : nullptr) {
      TranspWnd = new TTranspWnd(parent);
      TranspWnd->SetVisible(false);
    }
  }
}

void TMultiViewMain::Init() {
  SetBorderStyle(bsNone);
  SetBorderIcons(0);
  Font()->SetName("Tahoma");
  Font()->SetHeight(-12);
  treeHost_ = new PageTreeHost(this);
  tree_ = new SplitTree(treeHost_);
  OnPaint = [this](TObject* sender) { FormPaint(sender); };
  OnResize = [this](TObject* sender) { FormResize(sender); };
}

TMultiViewMain::~TMultiViewMain() {
  FreeAllCells();
  delete tree_;
  tree_ = nullptr;
  delete treeHost_;
  treeHost_ = nullptr;
}

void TMultiViewMain::FreeAllCells() {
  // The tree's cells with their history and view data; then any cell made outside the tree
  // (its records are its maker's). Cells remove themselves from the list as they go, so they
  // must go while it still exists.
  if (tree_ != nullptr && tree_->Dragging()) {
    // A page replaced or closed in the middle of a drag: the drag goes with the tree.
    if (TranspWnd != nullptr && TranspWnd->HandleAllocated()) ShowWindow(TranspWnd->Handle(), SW_HIDE);
    if (HandleAllocated() && GetCapture() == Handle()) ReleaseCapture();
  }
  if (tree_ != nullptr) tree_->Reset();
  while (cells.GetSize() > 0) TComponent::Free(cells[cells.GetSize() - 1]);
  activeCell = nullptr;
  zoomedCell = nullptr;
}

PageNode* TMultiViewMain::Root() const { return tree_->Root(); }

TMultiViewChild* TMultiViewMain::NewCell(PageNode* node, const VIEW_ATTR_12* attr, MVCDATA_12* data) {
  TMultiViewChild* cell = nullptr;
  if (attr != nullptr && IsViewKind(attr->kind)) cell = CreateView(attr->kind, this, attr, data, nullptr, node);
  if (cell == nullptr) {
    // An empty cell makes its own view data; what was given for a view is dropped.
    delete data;
    cell = new TMultiViewChild(this, nullptr, nullptr, node);
  }
  cell->node = node;
  return cell;
}

// ---- Opening -------------------------------------------------------------------------------------

void TMultiViewMain::OpenPage(const std::string& path, PageOpenMode mode) {
  if (IPageHost* host = PageHost(); host != nullptr && host->AutoSavePage()) SavePage(kPageSaveAuto);
  FreeAllCells();
  openMode = mode;
  pagePath = mode == PAGE_OPEN_DEFAULT ? kDefaultPageName : path;
  fillOnCreate_ = true;
  FormCreate(this);
  FormResize(this);
  if (IPageHost* host = PageHost()) host->ActivateMainWindow();
}

void TMultiViewMain::FormCreate(TObject*) {
  if (!fillOnCreate_) return;
  fillOnCreate_ = false;
  FillPage();
  // The cells take their places at once (a resize may not follow when the size is set already).
  LayoutPage();
}

void TMultiViewMain::FillPage() {
  if (openMode == PAGE_OPEN_EMPTY) {
    VIEW_ATTR_12 empty;
    empty.kind = VIEW_NONE;
    if (TMultiViewChild* cell = tree_->SplitCell(Root(), &empty, 1.0f, SPLIT_HORZ)) cell->Activate();
    return;
  }
  std::string path;
  if (openMode == PAGE_OPEN_DEFAULT) {
    path = kDefaultPageFile;
  } else if (!pagePath.empty()) {
    path = pagePath;
  } else {
    path = ReadLastPage();
  }
  if (path.empty()) path = kDefaultPageFile;
  if (!LoadPage(path)) {
    pagePath = kDefaultPageName;
    VIEW_ATTR_12 report;
    DefaultViewAttr(VIEW_REPORT, &report);
    if (TMultiViewChild* cell = tree_->SplitCell(Root(), &report, 1.0f, SPLIT_HORZ)) cell->Activate();
  }
}

bool TMultiViewMain::LoadPage(const std::string& path) {
  PageModel model;
  PageLoadResult result = LoadPageFile(path, model);
  std::string read = path;
  if (result == PageLoadResult::kNotOpened && !zuvo::platform::gbk::EqualsNoCase(path, kDefaultPageFile)) {
    read = kDefaultPageFile;
    result = LoadPageFile(read, model);
  }
  pagePath = zuvo::platform::gbk::Upper(read);
  if (result != PageLoadResult::kLoaded || !model.top) return false;
  Root()->first = BuildNode(Root(), *model.top);
  tree_->LayoutNode(Root()->first, false, false);
  if (cells.GetSize() > 0) cells[0]->Activate();
  return true;
}

PageNode* TMultiViewMain::BuildNode(PageNode* parent, const PageModelNode& model) {
  auto* node = new PageNode;
  node->parent = parent;
  node->side = model.side;
  node->ratio = model.ratio;
  if (model.IsLeaf()) {
    // Byte for byte: a member-wise copy would re-derive the categories of the overlay slots.
    auto* data = new MVCDATA_12;
    std::memcpy(static_cast<void*>(data), &model.data, sizeof *data);
    node->cell = NewCell(node, &model.attr, data);
    return node;
  }
  if (model.first) node->first = BuildNode(node, *model.first);
  if (model.second) node->second = BuildNode(node, *model.second);
  return node;
}

void TMultiViewMain::FormClose(TObject*, TCloseAction& action) {
  if (IPageHost* host = PageHost(); host != nullptr && host->AutoSavePage()) SavePage(kPageSaveAuto);
  FreeAllCells();
  action = caFree;
}

// ---- Saving --------------------------------------------------------------------------------------

namespace {

std::unique_ptr<PageModelNode> ModelOf(const PageNode* node) {
  auto model = std::make_unique<PageModelNode>();
  model->side = node->side;
  model->ratio = node->ratio;
  if (node->first != nullptr && node->second != nullptr) {
    model->first = ModelOf(node->first);
    model->second = ModelOf(node->second);
    return model;
  }
  if (const PageNode* only = node->first != nullptr ? node->first : node->second) {
    // A split missing a part is written as the part it has.
    model = ModelOf(only);
    model->side = node->side;
    model->ratio = node->ratio;
    return model;
  }
  if (TMultiViewChild* cell = node->cell) {
    SaveViewState(cell);
    std::memcpy(static_cast<void*>(&model->attr), &cell->attr, sizeof model->attr);
    if (cell->viewData != nullptr) std::memcpy(static_cast<void*>(&model->data), cell->viewData, sizeof model->data);
  } else {
    model->attr.kind = VIEW_NONE;   // an empty piece: an empty cell when read back
  }
  return model;
}

}  // namespace

PageSaveResult TMultiViewMain::SavePage(int mode) {
  if (mode != kPageSaveAs && !pagePath.empty() && IsDefaultPagePath(pagePath))
    return PageSaveResult::kDefaultPage;
  if (mode == kPageSaveAuto && pagePath.empty()) return PageSaveResult::kNoPath;
  PageModel model;
  if (Root()->first != nullptr) model.top = ModelOf(Root()->first);
  IPageHost* host = PageHost();
  IPageSaveUi* ui = host != nullptr ? host->PageSaveUi() : nullptr;
  return SavePageFile(model, pagePath, mode, ui);
}

// ---- Layout and painting -------------------------------------------------------------------------

void TMultiViewMain::LayoutNode(PageNode* node, bool move, bool settle) { tree_->LayoutNode(node, move, settle); }

void TMultiViewMain::LayoutPage() { tree_->LayoutPage(ClientWidth(), ClientHeight()); }

TMultiViewChild* TMultiViewMain::SplitCell(PageNode* node, const VIEW_ATTR_12* attr, float ratio, int direction) {
  return tree_->SplitCell(node, attr, ratio, direction);
}

void TMultiViewMain::CloseCell(TMultiViewChild* cell) { tree_->CloseCell(cell); }

void TMultiViewMain::ZoomCell(TMultiViewChild* cell, bool zoom) { tree_->ZoomCell(cell, zoom); }

void TMultiViewMain::FreeNode(PageNode* node) {
  tree_->FreeNode(node);
  if (node == Root() || Root()->first == nullptr) {
    activeCell = nullptr;
    zoomedCell = nullptr;
  }
}

void TMultiViewMain::FormResize(TObject*) {
  LayoutPage();
  if (HandleAllocated()) Invalidate();
}

void TMultiViewMain::FormPaint(TObject*) {
  TCanvas* canvas = Canvas();
  HDC dc = canvas->Handle();
  const RECT client{0, 0, ClientWidth(), ClientHeight()};
  HBRUSH background = CreateSolidBrush(ColorTable[kColor01]);
  FillRect(dc, &client, background);
  DeleteObject(background);
  if (zoomedCell == nullptr) {
    PaintCellFrames(Root()->first, dc);
  } else {
    Frame(dc, FrameOf(0, 0, ClientWidth(), ClientHeight(), 0), ColorTable[kColor36]);
  }
}

void TMultiViewMain::PaintCellFrames(PageNode* node, HDC dc) {
  if (node == nullptr) return;
  if (dc == nullptr) {
    if (!HandleAllocated()) return;
    WindowDc window(Handle());
    PaintCellFrames(node, window.get());
    return;
  }
  if (node->cell != nullptr) FrameNode(dc, *node, node->cell == activeCell);
  PaintCellFrames(node->first, dc);
  PaintCellFrames(node->second, dc);
}

void TMultiViewMain::DrawActiveFrames(TMultiViewChild* cell, bool active) {
  if (!HandleAllocated() || cell == nullptr) return;
  WindowDc window(Handle());
  HDC dc = window.get();
  if (dc == nullptr) return;
  if (active) {
    if (zoomedCell != nullptr) {
      Frame(dc, FrameOf(0, 0, ClientWidth(), ClientHeight(), 0), ColorTable[kColor36]);
      Frame(dc, FrameOf(0, 0, ClientWidth(), ClientHeight(), 1), ColorTable[kColor36]);
    } else if (PageNode* node = tree_->FindNode(cell)) {
      FrameNode(dc, *node, true);
    }
    return;
  }
  if (zoomedCell != nullptr) return;
  PageNode* node = tree_->FindNode(cell);
  if (node == nullptr) return;
  Frame(dc, FrameOf(node->left, node->top, node->width, node->height, 0), ColorTable[kColor01]);
  Frame(dc, FrameOf(node->left, node->top, node->width, node->height, 1), ColorTable[kColor01]);
  FrameNode(dc, *node, false);
}

void TMultiViewMain::SetActiveCell(TMultiViewChild* cell) {
  if (cell == activeCell) return;
  if (TMultiViewChild* old = activeCell) {
    old->active = false;
    old->ViewDeactivated();
    DrawActiveFrames(old, false);
  }
  activeCell = cell;
  if (cell == nullptr) return;
  cell->active = true;
  cell->ViewActivated();
  DrawActiveFrames(cell, true);
  cell->SetVisible(true);
  if (cell->CanFocus()) cell->SetFocus();
}

// ---- Messages ------------------------------------------------------------------------------------

TMultiViewChild* TMultiViewMain::KnownCell(const void* cell) const {
  if (cell == nullptr) return nullptr;
  for (int i = 0; i < cells.GetSize(); ++i) {
    if (cells[i] == cell) return cells[i];
  }
  return nullptr;
}

void TMultiViewMain::ShowOverlay() {
  if (TranspWnd == nullptr) {
    IPageHost* host = PageHost();
    TWinControl* parent = host != nullptr ? host->OverlayParent() : nullptr;
    if (parent == nullptr) parent = Parent() != nullptr ? Parent() : this;
    TranspWnd = new TTranspWnd(parent);
    TranspWnd->SetVisible(false);
  }
  TTranspWnd* overlay = TranspWnd;
  TWinControl* parent = overlay->Parent();
  TPoint origin(0, 0);
  if (parent != nullptr && parent != this) origin = parent->ScreenToClient(ClientToScreen(TPoint(0, 0)));
  overlay->SetBounds(origin.x, origin.y, ClientWidth(), ClientHeight());
  HWND window = overlay->Handle();
  SetWindowPos(window, HWND_TOP, origin.x, origin.y, ClientWidth(), ClientHeight(), SWP_NOACTIVATE);
  ShowWindow(window, SW_SHOWNOACTIVATE);
}

void TMultiViewMain::MouseMove(TMessage& message) {
  const int x = static_cast<short>(LOWORD(message.LParam));
  const int y = static_cast<short>(HIWORD(message.LParam));
  if (zoomedCell != nullptr) {
    ::SetCursor(Screen->Cursors(crDefault));
    return;
  }
  if (message.WParam == MK_LBUTTON && tree_->Dragging() && tree_->DragEdgeNumber() != 0) {
    tree_->DragEdge(x, y);
    return;
  }
  const EdgeHit hit = tree_->HitTestEdge(x, y);
  TCursor cursor = crDefault;
  if (hit) cursor = hit.edge <= 2 ? crHSplit : crVSplit;
  ::SetCursor(Screen->Cursors(cursor));
}

void TMultiViewMain::MouseDown(TMessage& message) {
  if (zoomedCell != nullptr || tree_->Dragging()) return;
  const int x = static_cast<short>(LOWORD(message.LParam));
  const int y = static_cast<short>(HIWORD(message.LParam));
  const EdgeHit hit = tree_->HitTestEdge(x, y);
  if (!hit) return;
  ShowOverlay();
  if (!tree_->BeginDrag(hit, x, y)) {
    ShowWindow(TranspWnd->Handle(), SW_HIDE);
    return;
  }
  SetCapture(Handle());
}

void TMultiViewMain::MouseUp(TMessage& message) {
  if (!tree_->Dragging()) return;
  if (TranspWnd != nullptr && TranspWnd->HandleAllocated()) ShowWindow(TranspWnd->Handle(), SW_HIDE);
  tree_->EndDrag();
  if (GetCapture() == Handle() && message.Msg != WM_CAPTURECHANGED) ReleaseCapture();
  Invalidate();
}

bool TMultiViewMain::CellCommand(TMessage& message) {
  const UINT msg = message.Msg;
  if (msg != MsgCellZoom && msg != MsgCellRestore && msg != MsgCellSplitHorz && msg != MsgCellSplitVert &&
      msg != MsgCellClose && msg != MsgCellKeyLeft && msg != MsgCellKeyRight)
    return false;
  message.Result = 0;
  // Commands are posted: the cell may have gone since.
  TMultiViewChild* cell = KnownCell(reinterpret_cast<const void*>(message.LParam));
  if (msg == MsgCellZoom || msg == MsgCellRestore) {
    if (cell != nullptr) tree_->ZoomCell(cell, msg == MsgCellZoom);
    if (IShellHost* host = ShellHost()) host->PostResubscribe();
  } else if (msg == MsgCellSplitHorz) {
    if (cell != nullptr) tree_->SplitCellCommand(cell, SPLIT_HORZ);
  } else if (msg == MsgCellSplitVert) {
    if (cell != nullptr) tree_->SplitCellCommand(cell, SPLIT_VERT);
  } else if (msg == MsgCellClose) {
    tree_->CloseCellCommand(cell);
  } else {
    WORD key = msg == MsgCellKeyLeft ? kKeyLeft : kKeyRight;
    const TShiftState shift{ssShift};
    if (auto* kline = dynamic_cast<TTechForm*>(cell)) {
      kline->FormKeyDown(nullptr, key, shift);
    } else if (auto* trend = dynamic_cast<TRendForm*>(cell)) {
      trend->FormKeyDown(nullptr, key, shift);
    }
  }
  return true;
}

void TMultiViewMain::WndProc(TMessage& message) {
  switch (message.Msg) {
    case WM_MOUSEMOVE: MouseMove(message); break;
    case WM_LBUTTONDOWN: MouseDown(message); break;
    case WM_LBUTTONUP: MouseUp(message); break;
    case WM_CAPTURECHANGED:
      // The capture taken away mid-drag (another window, a dialog): the drag ends where it is,
      // rather than following the next press of the button.
      if (tree_->Dragging() && reinterpret_cast<HWND>(message.LParam) != Handle()) MouseUp(message);
      break;
    case WM_ERASEBKGND: message.Result = 1; return;
    case WM_SYSCOMMAND: {
      const WPARAM command = message.WParam & 0xFFF0;
      if (command == SC_RESTORE || command == SC_MINIMIZE) {
        message.Result = 0;
        return;
      }
      break;
    }
    case WM_KEYDOWN:
      if (activeCell != nullptr && activeCell->HandleAllocated())
        PostMessageA(activeCell->Handle(), WM_KEYDOWN, message.WParam, message.LParam);
      break;
    default:
      if (CellCommand(message)) return;
      if (HandleCellViewCommand(message)) return;
      break;
  }
  TForm::WndProc(message);
}

// The cell: construction with the new cell's view data defaults, activation and the main
// window's adaptation to the active view's kind, the window procedure, the empty cell's hint and
// its popup menu.
#include "shell/Cell.h"

#include "data/Messages.h"
#include "data/UtilData.h"
#include "platform/Gdi.h"
#include "platform/Profile.h"
#include "platform/Text.h"
#include "shell/IndicatorCatalog.h"
#include "shell/PageWindow.h"
#include "shell/ShellHost.h"
#include "shell/SmallWindows.h"

#include <cstring>
#include <string>
#include <string_view>

namespace {

constexpr std::int32_t kFirstRequesterId = 1;
constexpr std::int32_t kRequesterIdStep = 16;   // a view may number its own requests below the next cell's
std::int32_t nextRequesterId = kFirstRequesterId;

constexpr int kHistoryGrowStep = 20;
constexpr std::uint32_t kDefaultTrendPanes = 2;
constexpr int kOverMainPlacement = 1;          // indicators drawn over the main chart
constexpr std::size_t kIndicatorNameMax = 15;  // bytes of a name; a 16th holds the terminator
constexpr DWORD kMainGraphSize = 512;
constexpr int kZoomIconCode = 1;
constexpr int kColor01 = 0;

// The main window's tool groups that follow the active view's kind.
constexpr int kToolGroupLineTools = 0;   // line-tool button and the analysis menu
constexpr int kToolGroupCycles = 2;      // the cycle tool buttons
constexpr int kToolGroupBlockMenu = 3;   // the block menu

// The empty cell's hint and its box.
constexpr const char* kEmptyCellHint = "点击鼠标右键，在弹出的菜单中指定窗口内容。";
constexpr int kHintLeft = 15;
constexpr int kHintTop = 15;
constexpr int kHintBottom = 40;
constexpr int kHintRight = 150;
constexpr int kHintNarrowWidth = 180;   // at or below this client width the hint keeps 30 px to the edge
constexpr int kHintNarrowMargin = 30;
constexpr int kHintFrameGap = 5;

// The command strip's place: its right end one pixel inside the client area's right edge.
constexpr int kStripIconStep = 16;
constexpr int kStripInset = 1;

std::string DefUiPath() { return UserFilePath("defui.ini"); }

COLORREF Inverse(COLORREF color) { return ~color & 0x00FFFFFFu; }

std::string_view Trimmed(std::string_view text) {
  constexpr std::string_view kBlanks = " \t\r\n";
  const std::size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  const std::size_t last = text.find_last_not_of(kBlanks);
  return text.substr(first, last - first + 1);
}

// [UI] MainGraph names the main chart's indicator first and then those drawn over it: each of
// the latter that the indicator manager knows as an over-the-main-chart indicator takes the next
// of the eight slots, in order; the rest are ignored.
void FillOverIndicators(MVCDATA_12& data) {
  char text[kMainGraphSize] = {};
  GetPrivateProfileStringA("UI", "MainGraph", "K,MA", text, sizeof text, DefUiPath().c_str());
  std::string_view rest(text);
  int slot = 0;
  bool first = true;
  while (slot < kMaxOverIndicators) {
    const std::size_t comma = rest.find(',');
    const std::string_view piece = rest.substr(0, comma);
    if (!first) {
      const std::string_view trimmed = Trimmed(piece);
      // Cut on a character boundary: half a GBK character would name no indicator.
      const std::string name(trimmed.substr(0, zuvo::platform::gbk::CutLength(trimmed, kIndicatorNameMax)));
      const IndicatorDef* def = name.empty() ? nullptr : IndicatorCatalog().FindIndex(name.c_str());
      if (def != nullptr && def->Placement() == kOverMainPlacement) {
        std::memcpy(data.overIndicators[slot], name.data(), name.size());
        data.overIndicators[slot][name.size()] = '\0';
        ++slot;
      }
    }
    first = false;
    if (comma == std::string_view::npos) break;
    rest.remove_prefix(comma + 1);
  }
}

// The view data a new cell starts from: the default quote list's tabs and columns, two trend
// panes, the default K-line panes, items and flags, the side panel setting and the indicators
// over the main chart.
void FillNewCellViewData(MVCDATA_12& data) {
  VIEW_ATTR_12 report;
  DefaultViewAttr(VIEW_REPORT, &report);
  data.blockTabCount = report.blockTabCount;
  for (int i = 0; i < kMaxBlockTabs; ++i) data.blockTabs[i] = static_cast<std::int16_t>(report.blockTabs[i]);
  data.columnCount = report.columnCount;
  std::memcpy(data.columnIds, report.columnIds, sizeof data.columnIds);
  data.fixedColumns = report.fixedColumns;
  data.currentBlock = 0;
  data.sortColumn = 0;

  data.trendPaneCount = kDefaultTrendPanes;

  VIEW_ATTR_12 kline;
  DefaultViewAttr(VIEW_KLINE, &kline);
  data.klinePaneCount = kline.paneCount;
  std::memcpy(data.paneIndicators, kline.paneIndicators, sizeof data.paneIndicators);
  std::memcpy(data.detailItems, kline.detailItems, sizeof data.detailItems);
  data.propertyFlags = kline.propertyFlags;

  data.linkFlag = 0;
  data.sidePanelShown = GetPrivateProfileIntA("UI", "InfoVisible", 1, DefUiPath().c_str()) != 0 ? 1 : 0;
  FillOverIndicators(data);
}

TMenuItem* NewItem(TPopupMenu* menu, const char* name, const char* caption) {
  auto* item = new TMenuItem(menu);
  item->SetName(name);
  item->SetCaption(caption);
  return item;
}

}  // namespace

bool TakesFocusOnActivate(ViewKind kind) {
  return kind == VIEW_TREND || kind == VIEW_KLINE || kind == VIEW_INTESORT;
}

std::int32_t TMultiViewChild::NextRequesterId() { return nextRequesterId; }
void TMultiViewChild::ResetRequesterIdsForTest() { nextRequesterId = kFirstRequesterId; }

TMultiViewChild::TMultiViewChild(TMultiViewMain* owner, MVCDATA_12* data, EArray<VIEW_ATTR_12>* cellHistory,
                                 PageNode* pageNode)
    : TForm(owner) {
  SetBorderStyle(bsNone);
  SetBounds(0, 0, 0, 0);
  page = owner;
  node = pageNode;

  history = cellHistory != nullptr ? cellHistory : new EArray<VIEW_ATTR_12>(kHistoryGrowStep);
  if (data == nullptr) {
    data = new MVCDATA_12();
    FillNewCellViewData(*data);
  }
  viewData = data;

  requesterId = nextRequesterId;
  nextRequesterId += kRequesterIdStep;

  linkFlag = viewData->linkFlag != 0;
  attr.kind = VIEW_NONE;

  if (page != nullptr) page->cells.Add(this);

  // A child window of the page (clipping its children: the command strip); shown without
  // activation, as every child form is.
  SetParent(page);
  SetVisible(true);
  HandleNeeded();

  const int codes[] = {kZoomIconCode};
  cmdBox = new TMVCmdBox(this, codes, 1);
  cmdBox->background = ColorTable[kColor01];
  cmdBox->Redraw();

  BuildPopupMenu();
  OnClose = [this](TObject* sender, TCloseAction& action) { FormClose(sender, action); };
}

TMultiViewChild::~TMultiViewChild() {
  delete cmdBox;
  cmdBox = nullptr;
  if (page != nullptr) {
    for (int i = 0; i < page->cells.GetSize(); ++i) {
      if (page->cells[i] == this) {
        page->cells.RemoveAt(i);
        break;
      }
    }
    // The page must not keep pointing at a freed cell.
    if (page->activeCell == this) page->activeCell = nullptr;
    if (page->zoomedCell == this) page->zoomedCell = nullptr;
  }
}

void TMultiViewChild::BuildPopupMenu() {
  MVCPM1 = new TPopupMenu(this);
  MVCPM1->SetName("MVCPM1");
  TMenuItem* root = MVCPM1->Items();

  struct Command {
    const char* name;
    const char* caption;
    UINT message;
  };
  const auto add = [this](TMenuItem* parent, const Command& command) {
    TMenuItem* item = NewItem(MVCPM1, command.name, command.caption);
    if (command.message != 0) {
      const UINT message = command.message;
      item->OnClick = [this, message](TObject*) { PostCellCommand(message); };
    }
    parent->Add(item);
    return item;
  };

  TMenuItem* shift = add(root, {"NMVCShift", "变换画面(&P)", 0});
  add(shift, {"NMVCReport", "报价画面(&P)", MsgCellShowReport});
  add(shift, {"NMVCShiftLine1", "-", 0});
  add(shift, {"NMVCTick", "闪电图(&T)", MsgCellShowFlash});
  add(shift, {"NMVCMin", "分时图(&M)", MsgCellShowTrend});
  add(shift, {"NMVCDay", "K线图(&K)", MsgCellShowKLine});
  add(shift, {"NMVCShiftLine2", "-", 0});
  add(shift, {"NMVCBG", "背景资料(&B)", MsgCellShowF10});
  add(shift, {"NMVCNEWS", "新闻画面(&N)", MsgCellShowNews});
  add(root, {"NMVCLine", "-", 0});

  NMVCZoom = add(root, {"NMVCZoom", "放大          F7", 0});
  NMVCZoom->SetVisible(false);
  // Hidden, but still reachable by its hot key: it undoes a zoom as well as making one.
  NMVCZoom->OnClick = [this](TObject*) { PostCellCommand(zoomed ? MsgCellRestore : MsgCellZoom); };

  TMenuItem* split = add(root, {"NMVCSplit", "切分窗口(&D)", 0});
  add(split, {"NHMVCSplit", "横切(&H)", MsgCellSplitHorz});
  add(split, {"NVMVCSplit", "竖切(&V)", MsgCellSplitVert});
  add(root, {"NMVCClose", "关闭窗口      Ctrl+F4", MsgCellClose});

  MVCPM1->OnPopup = [this](TObject* sender) { MVCPM1Popup(sender); };
  SetPopupMenu(MVCPM1);
}

void TMultiViewChild::MVCPM1Popup(TObject* sender) {
  if (NMVCZoom != nullptr) NMVCZoom->SetCaption(zoomed ? "还原" : "放大");
}

void TMultiViewChild::PostCellCommand(UINT message) {
  if (page == nullptr) return;
  PostMessageA(page->Handle(), message, 0, reinterpret_cast<LPARAM>(this));
}

void TMultiViewChild::ViewApplyColors() {
  if (cmdBox != nullptr) {
    cmdBox->background = ColorTable[kColor01];
    cmdBox->Redraw();
  }
  Invalidate();
}

void TMultiViewChild::Activate() {
  if (page != nullptr && page->activeCell == this) {
    if (TakesFocusOnActivate(attr.kind) && CanFocus()) SetFocus();
    return;
  }
  if (page != nullptr) page->SetActiveCell(this);
  // The modal-dialog count is left alone: a cell activated while a dialog is open (a click
  // behind a modeless window, a page switch) must not let hot keys act behind that dialog.
  IShellHost* host = ShellHost();
  if (host == nullptr) return;
  const ViewKind kind = attr.kind;
  const bool chart = kind == VIEW_TREND || kind == VIEW_KLINE;
  const bool kline = kind == VIEW_KLINE;
  const bool report = kind == VIEW_REPORT;
  host->SetInfoButtonVisible(chart);
  host->SetLineToolVisible(kline);
  host->SetBlockMenuVisible(report);
  host->SetLineToolMenuItemVisible(kline);
  host->ShowLineToolBox(kline);
  host->SetCycleButtonsVisible(kline);
  host->SetToolGroupVisible(kToolGroupLineTools, kline);
  host->SetToolGroupVisible(kToolGroupBlockMenu, report);
  host->SetToolGroupVisible(kToolGroupCycles, kline);
  host->RelayoutMenuBar();
  if (kline) host->CheckPeriodItems(this);
}

void TMultiViewChild::FormClose(TObject* sender, TCloseAction& action) {
  delete cmdBox;
  cmdBox = nullptr;
  action = caFree;
}

void TMultiViewChild::WndProc(TMessage& message) {
  switch (message.Msg) {
    case WM_MOUSEMOVE:
      if (!hoverTracking && HandleAllocated()) {
        hoverTracking = true;
        TRACKMOUSEEVENT track{sizeof(TRACKMOUSEEVENT), TME_LEAVE, Handle(), HOVER_DEFAULT};
        TrackMouseEvent(&track);
      }
      break;
    case WM_MOUSELEAVE:
      hoverTracking = false;
      break;
    case WM_LBUTTONDOWN:
      Activate();
      break;
    case WM_MOVE:
    case WM_SIZE:
      if (cmdBox != nullptr && HandleAllocated()) {
        RECT client{};
        GetClientRect(Handle(), &client);
        cmdBox->SetPosition(client.right - kStripInset - kStripIconStep * cmdBox->Count(), client.top + kStripInset);
      }
      break;
    default:
      if (message.Msg == MsgCellInit) {
        message.Result = 0;
        if (initialised) return;
        initialised = true;
        if (page != nullptr) {
          RECT nothing{0, 0, 0, 0};
          RedrawWindow(page->Handle(), &nothing, nullptr, RDW_UPDATENOW | RDW_FRAME);
          for (int i = 0; i < page->cells.GetSize(); ++i) {
            TMultiViewChild* other = page->cells[i];
            if (other != this && other->HandleAllocated()) UpdateWindow(other->Handle());
          }
        }
        InitView();
        if (IShellHost* host = ShellHost()) host->PostResubscribe();
        return;
      }
      break;
  }
  TForm::WndProc(message);
}

void TMultiViewChild::Paint() {
  if (attr.kind == VIEW_NONE) {
    TCanvas* canvas = Canvas();
    const COLORREF background = ColorTable[kColor01];
    const COLORREF ink = Inverse(background);
    canvas->Brush()->SetStyle(bsSolid);
    canvas->Brush()->SetColor(static_cast<TColor>(background));
    canvas->FillRect(ClientRect());

    const int width = ClientWidth();
    RECT box{kHintLeft, kHintTop, width <= kHintNarrowWidth ? width - kHintNarrowMargin : kHintRight, kHintBottom};
    HDC dc = canvas->Handle();
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, ink);
    DrawTextA(dc, kEmptyCellHint, -1, &box, DT_CALCRECT | DT_WORDBREAK);
    DrawTextA(dc, kEmptyCellHint, -1, &box, DT_WORDBREAK);
    const RECT frame{box.left - kHintFrameGap, box.top - kHintFrameGap, box.right + kHintFrameGap,
                     box.bottom + kHintFrameGap};
    canvas->Brush()->SetColor(static_cast<TColor>(ink));
    canvas->FrameRect(frame);
  }
  TForm::Paint();
}

void TMultiViewChild::Resize() {
  Invalidate();
  TForm::Resize();
}

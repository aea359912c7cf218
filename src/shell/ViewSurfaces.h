// The views as the shell sees them: one abstract class per view kind, holding exactly what the
// main window, the page window, the page writer and the reply dispatch call or read of that
// view. The views themselves live in their own folders and register a maker with the view
// factory (ViewFactory.h); the shell reaches them by dynamic_cast of a cell to its surface.
// Until a view registers, a stand-in of shell/stubs serves its kind.
//
// Every surface keeps the five-argument constructor of TChildView. UI thread only.
#pragma once

#include "core/EArray.h"
#include "data/CacheRecords.h"
#include "data/Records.h"
#include "platform/Control.h"
#include "platform/Menu.h"
#include "shell/ChildView.h"

#include <cstdint>
#include <string>

// ---- Quote list (kind 8193) -------------------------------------------------------------------
class TReport : public TChildView {
 public:
  using TChildView::TChildView;

  // 添加板块: with fewer than 64 tabs, the block chooser (kinds 0 to 3) under ModalDialogScope;
  // a chosen block's tab is selected, or appended and shown.
  virtual void N1Click(TObject* sender) = 0;
  // 关闭板块: with two or more tabs, drops the shown tab and shows its left neighbour (the
  // next one when the first was dropped); nothing with one tab.
  virtual void N3Click(TObject* sender) = 0;
  // 报价栏目: the column-scheme editor for the shown block's scheme.
  virtual void N10Click(TObject* sender) = 0;
  // Adds the selected row's instrument to the block (no duplicate, at most 7168 members), saves
  // the blocks and has every view notified with VN_BLOCKCHANGED.
  virtual void AddSelectedToBlock(int blockId) = 0;
  // The block was deleted: its tab goes; the only tab is replaced by the first SysBlocks block.
  virtual void RemoveBlockTab(int blockId) = 0;
  // Repaints the fast-change column (id 21) of the visible rows; nothing when not shown.
  virtual void RedrawFastChangeColumn() = 0;
  // Asks the fast-change sort of the visible rows when the column is shown and the page has no
  // other zoomed cell, then adds each visible row whose extra record is not filled (rights
  // tested, once each).
  virtual void CollectSnapshotRequests(EArray<STKMS>& snapshot) = 0;
  // Sorts by the current sort column: position and code columns locally, others by the server.
  // Callers bump requestSerial first after a reconnect so that older replies are ignored.
  virtual void SortReport() = 0;

  // The grid: row 0 is the header; the current row and the first visible row (the page writer
  // stores the latter as the attributes' top row).
  virtual int CurrentRow() const = 0;
  virtual void SetCurrentRow(int row) = 0;
  virtual int TopRow() const = 0;
  // The row list (row i is grid row i + 1).
  virtual int RowCount() const = 0;
  virtual STKPTR RowInstrument(int row) const = 0;   // the no-instrument reference out of range
  // The tab control's texts; the tab count and block ids are attr.blockTabCount / blockTabs.
  virtual int TabCount() const = 0;
  virtual std::string TabText(int tab) const = 0;   // GBK; empty out of range

  std::uint32_t requestSerial = 0;
  bool gridLines = false;          // 报价网格(&G)
  TMenuItem* N1 = nullptr;         // 添加板块, owned by the view
  TMenuItem* N3 = nullptr;         // 关闭板块, owned by the view
};

// ---- Nine-way ranking (kind 8192) -------------------------------------------------------------
constexpr int kRankingPanes = 9;

// One ranking row; the instrument is the last member.
struct ISCI {
  char name[12];
  double price;
  double value;
  std::uint32_t flags;
  STKPTR instrument;
};

class TInteSort : public TChildView {
 public:
  using TChildView::TChildView;

  // The group is attr.blockTabs[0].
  int currentPane = 0;
  EArray<ISCI> paneRows[kRankingPanes];
  int selectedRows[kRankingPanes] = {};
};

// ---- News (kind 8195) -------------------------------------------------------------------------
class TMsgForm : public TChildView {
 public:
  using TChildView::TChildView;

  // Rebuilds the list from NewsIndex for newsType, keeping the selected line (else the first).
  virtual void RefreshNewsList() = 0;
  // Shows textFileName in the text pane when readable, hiding the list.
  virtual void ShowNewsText() = 0;
  // Back: hides the text pane and shows the list.
  virtual void N8Click(TObject* sender) = 0;
  // MsgShowNewsItem (category, news id): selects the category and opens that item.
  virtual void MsgShowNewsItem(std::uint32_t category, std::uint32_t newsId) = 0;
  // Puts a line (GBK) at the top of the news list, carrying `item` as its value (an online
  // notice as it arrives).
  virtual void InsertNewsLine(const std::string& line, std::uint32_t item) = 0;

  // The news list: its lines carry the news id.
  virtual int NewsLineCount() const = 0;
  virtual std::uint32_t NewsLineValue(int line) const = 0;   // 0 out of range
  virtual int SelectedNewsLine() const = 0;                  // -1 none

  std::uint32_t newsType = 0;      // 0 = all types
  bool textPaneVisible = false;
  std::string textFileName;        // the shown text's file
};

// ---- Company information text (kind 8196) -----------------------------------------------------
class TTextForm : public TChildView {
 public:
  using TChildView::TChildView;

  // Shows the current section from the cached text; asks the server when it is missing or
  // empty and `request` is 1.
  virtual void ShowSection(int request) = 0;

  // The navigation list this view holds one reference of (NavList.h; 0 none) and the position.
  std::uint32_t navListId = 0;
  std::int32_t navPosition = 0;
};

// ---- Notes (kind 8197) ------------------------------------------------------------------------
class TZQNote : public TChildView {
 public:
  using TChildView::TChildView;

  // Refills the list from the notes file of the category (0 to 4), newest first.
  virtual void LoadNoteList(int category) = 0;
  // Shows the note's body in the text pane; when unreadable remembers the record and asks for it.
  virtual void OpenNote(const NoteRecord& note) = 0;

  std::int32_t category = 0;
  bool textPaneVisible = false;
  bool hasRememberedNote = false;
  NoteRecord rememberedNote{};
};

// ---- Chart views (kinds 4097 and 4098) ---------------------------------------------------------
// Mode flags of a chart's attributes.
constexpr std::uint32_t kChartModeTradeList = 2;
constexpr std::uint32_t kChartModePriceSpread = 4;
constexpr std::uint32_t kChartModeFlash = 8;

// One indicator of a K-line chart as the page writer stores it: its name, its parameter values
// (8 bytes each), its reference lines (16-byte records, the value in bytes 8 to 15) and, for the
// main pane's indicator, the indicators drawn over the main pane chained behind it.
class IChartIndicator {
 public:
  virtual ~IChartIndicator() = default;
  virtual const char* Name() const = 0;                          // at most 15 bytes
  virtual int ParamCount() const = 0;
  virtual const std::uint8_t* GetParam(int i) const = 0;         // 8 bytes, null past the count
  virtual int RefLineCount() const = 0;
  virtual const std::uint8_t* GetRefLine(int i) const = 0;       // 16 bytes, null past the count
  virtual const IChartIndicator* Next() const = 0;               // null ends the chain
};

// One entry of a K-line chart's overlay list as the page writer stores it.
struct ChartOverlay {
  STKPTR instrument;
  std::uint16_t kind = 1;        // 0: the arbitrage partner
  std::uint8_t flag = 0;
  std::int32_t arbitrageParam = 0;
};

class TDrawView : public TChildView {
 public:
  using TChildView::TChildView;

  // The chart operations after the view interface, in this order.
  virtual void ShowContextMenu(int x, int y) = 0;
  // Full refresh: data series again, panes rebuilt, repainted (after a reconnect).
  virtual void RefreshView() = 0;
  virtual void DrawCrosshair(int x, int y) = 0;
  virtual void InfoPanelToggled() = 0;
  // Deletes the instrument's cache files and subscribes again; ignored within 2000 ms for the
  // same instrument.
  virtual void ReloadData() = 0;
  // Hot-key commands routed to the chart (28 to 31, 77 to 80); other ids do nothing.
  virtual void ViewKeyCommand(int commandId) = 0;

  // Appends the view's instrument to the block (no duplicate, at most 7168), saves the blocks
  // and has every view notified with VN_BLOCKCHANGED.
  virtual void AddToBlock(int blockId) = 0;
  // The side trade grid repaints (MsgServerData code 102).
  virtual void RepaintSideTradeGrid() = 0;
  // Whether the side panel Panel1 is shown (the page writer stores it).
  virtual bool SidePanelShown() const = 0;

  // The navigation list this view holds one reference of (NavList.h; 0 none) and the position.
  std::uint32_t navListId = 0;
  std::int32_t navPosition = 0;
  // The side trade list is being browsed (a double click toggles it): no wheel translation.
  bool sideListMode = false;
  // Popup items the main window checks or reads, owned by the view: 画线工具, 不除权 / 前复权 /
  // 后复权 (tags 0, 1, 2), 商品叠加, 套利分析, 指标管理, 启用, 反转副图.
  TMenuItem* NLine = nullptr;
  TMenuItem* adjustItems[3] = {};
  TMenuItem* N29 = nullptr;
  TMenuItem* N20 = nullptr;
  TMenuItem* N30 = nullptr;
  TMenuItem* N37 = nullptr;
  TMenuItem* N39 = nullptr;
};

// ---- K-line chart (kind 4098) -----------------------------------------------------------------
class TTechForm : public TDrawView {
 public:
  using TDrawView::TDrawView;

  // Cycle 1 to 14; at once when it is the current one, except 3 and 12 which ask for N.
  virtual void ChangePeriod(int cycle) = 0;
  // Checks the cycle in the view's and the main window's period items.
  virtual void CheckPeriodItems() = 0;
  // Takes a zoom step 0 to 28 that differs from the current one, and repaints.
  virtual void SetZoomLevel(int level) = 0;
  virtual void RefreshBars() = 0;
  // Attaches the named indicator to the selected pane.
  virtual void AttachIndicator(const char* name, int flag) = 0;
  virtual void FormKeyDown(TObject* sender, WORD& key, TShiftState shift) = 0;
  virtual void DeleteAllLines() = 0;

  // Menu handlers the main window calls (sender null unless said).
  virtual void N29Click(TObject* sender) = 0;    // 商品叠加
  virtual void N20Click(TObject* sender) = 0;    // 套利分析
  virtual void NLineClick(TObject* sender) = 0;  // 画线工具
  virtual void N25Click(TObject* item) = 0;      // one of adjustItems
  virtual void N30Click(TObject* sender) = 0;    // 指标管理
  virtual void N37Click(TObject* sender) = 0;    // 启用 (price-axis reversal)
  virtual void N39Click(TObject* sender) = 0;    // 反转副图
  virtual void N3Click(TObject* sender) = 0;     // indicator parameters
  virtual void R3Click(TObject* sender) = 0;     // reference lines
  virtual void R1Click(TObject* item) = 0;       // 相对坐标 (tag 0) / 绝对坐标 (tag 1)
  virtual void V1Click(TObject* item) = 0;       // main axis kind
  virtual void N5Click(TObject* sender) = 0;     // side information panel

  // What the page writer reads besides the attributes (pane count and names, current block,
  // detail items, property flags): the pane indicators (null past the pane count), the pane
  // ratios, and the overlay list.
  virtual const IChartIndicator* PaneIndicator(int pane) const = 0;
  virtual double PaneRatio(int pane) const = 0;
  virtual int OverlayCount() const = 0;
  virtual ChartOverlay OverlayAt(int i) const = 0;

  bool overlayRelativeAxis = false;
  bool cycleProjectionShown = false;
};

// ---- Intraday trend (kind 4097) ---------------------------------------------------------------
class TRendForm : public TDrawView {
 public:
  using TDrawView::TDrawView;

  // Flash chart (mode flag 8) or minute trend; no sender toggles; nothing for index-like
  // categories.
  virtual void N16Click(TObject* sender) = 0;
  virtual void N5Click(TObject* sender) = 0;
  virtual void FormKeyDown(TObject* sender, WORD& key, TShiftState shift) = 0;
  // Shows the minute trend of that trading day (a packed date).
  virtual void ShowHistoryDay(std::uint32_t date) = 0;
};

// True when the view shows the flash chart.
inline bool IsFlashChart(const TMultiViewChild& view) {
  return (view.attr.modeFlags & kChartModeFlash) != 0;
}

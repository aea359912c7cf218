// The main window's numbered commands: the dispatcher, the quote list and chart cycle it opens,
// and the common way a command brings up a view of a kind.
#include "shell/Commands.h"

#include "data/BlockGroup.h"
#include "data/MarketData.h"
#include "data/Messages.h"
#include "dialogs/Cycleorderdlg.h"
#include "platform/Message.h"
#include "platform/MessageBox.h"
#include "platform/WinUser.h"
#include "shell/Cell.h"
#include "shell/MainFrame.h"
#include "shell/ModalDialog.h"
#include "shell/NavList.h"
#include "shell/PageWindow.h"
#include "shell/ShellDialogs.h"
#include "shell/SmallWindows.h"
#include "shell/ViewSurfaces.h"

#include <cstdio>
#include <cstring>
#include <optional>
#include <vector>

TSelStockDlg* SelStockDlg = nullptr;

namespace {

constexpr int kCycleCommandCycles[15] = {0, 1, 2, 4, 5, 6, 7, 13, 14, 8, 9, 10, 11, 3, 12};
// Categories of the quote-list and ranking commands: A shares, B shares and bonds.
constexpr int kCommandCategories[3] = {1, 2, 5};
constexpr int kAnyMinutesCycle = 3;
constexpr int kAnyDaysCycle = 12;
constexpr int kChangeColumn = 11;   // 幅度%
constexpr int kNewsCategoryShanghai = 0;
constexpr int kNewsCategoryShenzhen = 2;

bool IsChart(const TMultiViewChild* view) {
  return view != nullptr && (view->attr.kind == VIEW_TREND || view->attr.kind == VIEW_KLINE);
}

// The automatic block of market 0 or 1, command category slot 0..2.
int CategoryBlockId(int market, int slot) {
  const TMarketData* first = GetMarketTable(0);
  if (first == nullptr) return -1;
  const int categoriesOfMarket0 = first->record.categoryCount;
  return MarketCount + (market == 0 ? 0 : categoriesOfMarket0) + kCommandCategories[slot];
}

// A navigation list the attributes carry that nobody took over is freed.
class BuiltListGuard {
 public:
  ~BuiltListGuard() {
    const SharedInstrumentList* list = navlist::Resolve(id);
    if (list != nullptr && list->refCount == 0) navlist::Release(id);
  }
  std::uint32_t id = 0;
};

// The instrument, current block, navigation list and position a chart or text view takes from
// the active view: a chart or F10 view passes its own list, a quote list a new list of its rows
// in display order at the selected row; other kinds none.
void TakeFromActiveView(VIEW_ATTR_12& attr, TMultiViewChild* active, BuiltListGuard& built, bool instrumentAndBlock) {
  attr.SetNavListId(0);
  attr.SetNavPosition(0);
  if (active == nullptr) return;
  if (instrumentAndBlock) {
    attr.instrument = active->attr.instrument;
    attr.currentBlock = active->attr.currentBlock;
  }
  if (auto* chart = dynamic_cast<TDrawView*>(active)) {
    attr.SetNavListId(chart->navListId);
    attr.SetNavPosition(chart->navPosition);
  } else if (auto* text = dynamic_cast<TTextForm*>(active)) {
    attr.SetNavListId(text->navListId);
    attr.SetNavPosition(text->navPosition);
  } else if (auto* report = dynamic_cast<TReport*>(active)) {
    const int rows = report->RowCount();
    if (rows <= 0) return;
    std::vector<STKPTR> items;
    items.reserve(static_cast<std::size_t>(rows));
    for (int r = 0; r < rows; ++r) items.push_back(report->RowInstrument(r));
    built.id = navlist::Create(items.data(), rows);
    // An allocation that failed simply passes no list.
    if (navlist::Resolve(built.id) == nullptr) return;
    attr.SetNavListId(built.id);
    attr.SetNavPosition(report->CurrentRow() - 1);
  }
}

ShowViewVariant Variant(bool anyView, std::initializer_list<ShowStep> steps, bool passAttr, bool flash,
                        int notifyArg = -1) {
  ShowViewVariant variant;
  variant.anyView = anyView;
  int i = 0;
  for (ShowStep step : steps) variant.steps[i++] = step;
  variant.passAttr = passAttr;
  variant.flashPreference = flash;
  variant.notifyArg = notifyArg;
  return variant;
}

// Linked only; reference count, ViewNotify with the attributes, Activate, zoom.
ShowViewVariant PassAlong(bool flash) {
  return Variant(false, {ShowStep::kAddRef, ShowStep::kNotify, ShowStep::kActivate, ShowStep::kZoom}, true, flash);
}

}  // namespace

// ---- Pure rules ----------------------------------------------------------------------------------

int CommandCycle(int commandId) {
  if (commandId < 1 || commandId > 15) return -1;
  return kCycleCommandCycles[commandId - 1];
}

int CommandBlockId(int commandId) {
  int slot = -1;
  if (commandId >= 16 && commandId <= 21) slot = commandId - 16;
  if (commandId >= 22 && commandId <= 27) slot = commandId - 22;
  if (commandId >= 52 && commandId <= 57) slot = commandId - 52;
  if (slot < 0) return -1;
  return CategoryBlockId(slot / 3, slot % 3);
}

int FirstRotationCycle(const CycleOrderRecord& order) {
  for (int i = 0; i < kCycleCount; ++i)
    if (order.shown[i] != 0) return order.cycles[i];
  return -1;
}

int NextRotationCycle(const CycleOrderRecord& order, int currentCycle, bool backwards) {
  if (FirstRotationCycle(order) < 0) return -1;
  int at = -1;
  for (int i = 0; i < kCycleCount; ++i)
    if (order.cycles[i] == currentCycle) at = i;
  const int step = backwards ? kCycleCount - 1 : 1;
  // A cycle outside the rotation starts the search at the first (last) entry itself.
  int i = at >= 0 ? (at + step) % kCycleCount : (backwards ? kCycleCount - 1 : 0);
  for (int n = 0; n < kCycleCount; ++n, i = (i + step) % kCycleCount)
    if (order.shown[i] != 0) return order.cycles[i];
  return -1;
}

std::string BlockTabCaption(const char* blockName) {
  std::string name = blockName != nullptr ? blockName : "";
  static const std::string suffix = "市场";
  // Only a whole trailing character pair: the suffix is two double-byte characters, so a name
  // is checked from its start to see that the suffix does not begin on a trail byte.
  if (name.size() < suffix.size() || name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
    return name;
  std::size_t at = 0;
  const std::size_t cut = name.size() - suffix.size();
  while (at < cut) at += static_cast<unsigned char>(name[at]) >= 0x81 && at + 1 < name.size() ? 2 : 1;
  return at == cut ? name.substr(0, cut) : name;
}

// ---- ShowViewOfKind ------------------------------------------------------------------------------

TMultiViewChild* TMFrame::ShowViewOfKind(VIEW_ATTR_12& attr, const ShowViewVariant& variant) {
  TMultiViewMain* page = pageWindow_;
  if (page == nullptr) return nullptr;
  TMultiViewChild* view = page->FindViewByKind(attr.kind, variant.anyView);
  const bool existed = view != nullptr;
  if (existed) {
    for (ShowStep step : variant.steps) {
      if (step == ShowStep::kNone) break;
      if (page->KnownCell(view) == nullptr) return nullptr;
      switch (step) {
        case ShowStep::kAddRef:
          if (variant.passAttr && navlist::Resolve(attr.NavListId()) != nullptr) navlist::AddRef(attr.NavListId());
          break;
        case ShowStep::kNotify: {
          const int arg = variant.notifyArg >= 0 ? variant.notifyArg : static_cast<int>(attr.currentBlock);
          view->ViewNotify(VN_SHOWINSTRUMENT, attr.instrument, arg,
                           variant.passAttr ? reinterpret_cast<std::intptr_t>(&attr) : 0);
          break;
        }
        case ShowStep::kActivate: view->Activate(); break;
        case ShowStep::kZoom:
          if (page->zoomedCell != nullptr && page->zoomedCell != view)
            PostMessageA(page->Handle(), MsgCellZoom, 0, reinterpret_cast<LPARAM>(view));
          break;
        case ShowStep::kNone: break;
      }
    }
  } else {
    TMultiViewChild* active = page->activeCell;
    if (active == nullptr || active->node == nullptr) return nullptr;
    view = page->ChangeCellView(active->node, &attr, 1);
    if (view == nullptr) return nullptr;
  }
  if (variant.flashPreference && attr.kind == VIEW_TREND) {
    if (auto* trend = dynamic_cast<TRendForm*>(view)) {
      const bool preferFlash = T1 != nullptr && T1->Checked();
      const bool flash = IsFlashChart(*trend);
      if (existed ? flash != preferFlash : (flash && !preferFlash)) trend->N16Click(nullptr);
    }
  }
  return view;
}

// ---- OpenBlockList -------------------------------------------------------------------------------

TMultiViewChild* TMFrame::OpenBlockList(int blockId) {
  TMultiViewMain* page = pageWindow_;
  if (page == nullptr) return nullptr;
  TMultiViewChild* view = page->activeCell != nullptr && page->activeCell->attr.kind == VIEW_REPORT ? page->activeCell : nullptr;
  if (view == nullptr) {
    view = page->FindViewByKind(VIEW_REPORT, true);
    if (view != nullptr) {
      view->Activate();
      if (page->zoomedCell != nullptr && page->zoomedCell != view)
        PostMessageA(page->Handle(), MsgCellZoom, 0, reinterpret_cast<LPARAM>(view));
    }
  }
  if (view == nullptr) {
    TMultiViewChild* active = page->activeCell;
    if (active == nullptr || active->node == nullptr) return nullptr;
    VIEW_ATTR_12 attr;
    DefaultViewAttr(VIEW_REPORT, &attr);
    if (blockId != -1) {
      const auto id = static_cast<std::uint16_t>(blockId);
      bool present = false;
      for (std::uint32_t t = 0; t < attr.blockTabCount && t < kMaxBlockTabs; ++t) present = present || attr.blockTabs[t] == id;
      if (!present) {
        // The record holds 64 tabs: a default list of many system blocks keeps them all.
        if (attr.blockTabCount >= kMaxBlockTabs) attr.blockTabCount = kMaxBlockTabs - 1;
        attr.blockTabs[attr.blockTabCount++] = id;
      }
      attr.currentBlock = id;
    }
    return page->ChangeCellView(active->node, &attr, 1);
  }
  if (blockId == -1) return view;
  const auto id = static_cast<std::uint16_t>(blockId);
  bool present = false;
  for (std::uint32_t t = 0; t < view->attr.blockTabCount && t < kMaxBlockTabs; ++t)
    present = present || view->attr.blockTabs[t] == id;
  if (!present) {
    if (view->attr.blockTabCount >= kMaxBlockTabs) {
      view->attr.blockTabCount = kMaxBlockTabs - 1;
      view->attr.currentBlock = view->attr.blockTabs[0];
    }
    view->attr.blockTabs[view->attr.blockTabCount++] = id;
  }
  // Selecting the tab keeps the list's sort column.
  view->ViewNotify(VN_SHOWINSTRUMENT, STKPTR(), blockId, static_cast<std::intptr_t>(view->attr.sortColumn));
  return view;
}

// ---- ChangeCycle ---------------------------------------------------------------------------------

void TMFrame::ChangeCycle(int cycle) {
  TMultiViewMain* page = pageWindow_;
  if (page == nullptr || cycle < 0 || cycle >= kCycleCount) return;
  TMultiViewChild* active = page->activeCell;
  if (cycle == 0) {
    if (auto* trend = dynamic_cast<TRendForm*>(active)) {
      if (!IsFlashChart(*trend)) trend->N16Click(nullptr);
    } else if (active != nullptr) {
      PostMessageA(page->Handle(), MsgCellShowFlash, 0, reinterpret_cast<LPARAM>(active));
    }
    return;
  }
  if (auto* kline = dynamic_cast<TTechForm*>(active)) {
    kline->ChangePeriod(cycle);
    return;
  }
  VIEW_ATTR_12 attr;
  if (DefaultViewAttr(VIEW_KLINE, &attr) == 0) return;
  BuiltListGuard built;
  TakeFromActiveView(attr, active, built, true);
  // Any N minutes and any N days keep the default cycle: the view asks for N afterwards.
  if (cycle != kAnyMinutesCycle && cycle != kAnyDaysCycle) attr.cycle = static_cast<std::uint8_t>(cycle);
  TMultiViewChild* view = ShowViewOfKind(attr, PassAlong(false));
  if (cycle == kAnyMinutesCycle || cycle == kAnyDaysCycle) {
    if (auto* kline = dynamic_cast<TTechForm*>(view)) kline->ChangePeriod(cycle);
  }
}

// ---- ExecuteCommand ------------------------------------------------------------------------------

void TMFrame::ExecuteCommand(std::int8_t id) {
  if (id < kFirstCommand || id > kLastCommand) return;
  TMultiViewMain* page = pageWindow_;
  TMultiViewChild* active = page != nullptr ? page->activeCell : nullptr;
  const ViewKind kind = active != nullptr ? active->attr.kind : VIEW_NONE;

  if (id <= 15) {
    ChangeCycle(CommandCycle(id));
    return;
  }
  if (id <= 21) {
    OpenBlockList(CommandBlockId(id));
    return;
  }
  if (id <= 27) {
    TMultiViewChild* list = OpenBlockList(CommandBlockId(id));
    if (list != nullptr && list->attr.kind == VIEW_REPORT)
      PostMessageA(list->Handle(), MsgSortReportByColumn, kChangeColumn, 0);
    return;
  }
  switch (id) {
    case 28:
    case 29:
    case 30:
    case 31:
      if (auto* chart = dynamic_cast<TDrawView*>(active); chart != nullptr && IsChart(active)) chart->ViewKeyCommand(id);
      return;
    case 32:
    case 33: ShowIndexTrend(0); return;
    case 34:
    case 35: ShowIndexTrend(1); return;
    case 36:
    case 37: SwitchTrendAndKLine(); return;
    case 38:
    case 39: OpenUserBlock(); return;
    case 40:
    case 41:
      if (active != nullptr && active->cmdBox != nullptr && active->cmdBox->handle != nullptr)
        PostMessageA(active->cmdBox->handle, WM_LBUTTONDOWN, MK_LBUTTON, 0);
      return;
    case 42:
    case 43:
      if (IsChart(active)) RotateCycle(false);
      return;
    case 74:
      if (IsChart(active)) RotateCycle(true);
      return;
    case 44:
    case 45: ShowNews(); return;
    case 46:
    case 47:
      if (IsChart(active) || kind == VIEW_REPORT || kind == VIEW_INTESORT) ShowCompanyInfo();
      return;
    case 48: MenuItem142Click(nullptr); return;
    case 49:
      if (active != nullptr) active->ViewNotify(VN_OPENINFOLINK, STKPTR(), 0, 0);
      return;
    case 50: ShowNotes(kNewsCategoryShanghai); return;
    case 51: ShowNotes(kNewsCategoryShenzhen); return;
    case 52:
    case 53:
    case 54:
    case 55:
    case 56:
    case 57: ShowRanking(CommandBlockId(id)); return;
    case 58: N55Click(nullptr); return;
    case 59: MenuItem95Click(nullptr); return;
    case 60:
      if (active != nullptr) PostMessageA(page->Handle(), MsgCellClose, 0, reinterpret_cast<LPARAM>(active));
      return;
    case 61:
    case 75: ToolButton23Click(nullptr); return;
    case 62: N22Click(nullptr); return;
    case 63:
      if (auto* report = dynamic_cast<TReport*>(active)) report->N1Click(report->N1);
      return;
    case 64:
      if (auto* report = dynamic_cast<TReport*>(active)) report->N3Click(report->N3);
      return;
    case 65:
      if (kind == VIEW_REPORT || IsChart(active)) AddActiveToUserBlock();
      return;
    case 66:
      if (IsChart(active)) ToolButton22Click(nullptr);
      return;
    case 67:
    case 68:
    case 69:
    case 70:
    case 71:
    case 72:
    case 73: RunKLineCommand(id); return;
    case 76: MenuItem109Click(nullptr); return;
    case 77:
    case 78:
    case 79:
    case 80:
      if (auto* kline = dynamic_cast<TTechForm*>(active)) kline->ViewKeyCommand(id);
      return;
    case 81: S1Click(nullptr); return;
    default: return;
  }
}

void TMFrame::ShowIndexTrend(int slot) {
  if (pageWindow_ == nullptr || IndexSlots[slot].index < 0) return;
  VIEW_ATTR_12 attr;
  if (DefaultViewAttr(VIEW_TREND, &attr) == 0) return;
  attr.instrument = STKPTR(static_cast<unsigned char>(slot), 0, static_cast<unsigned short>(IndexSlots[slot].index));
  attr.currentBlock = static_cast<std::uint32_t>(slot);   // the market's own block
  attr.SetNavListId(0);
  attr.SetNavPosition(0);
  pageWindow_->ShowInLinkedViews(&attr, pageWindow_->zoomedCell != nullptr);
  ShowViewOfKind(attr, Variant(false, {ShowStep::kActivate, ShowStep::kZoom}, false, true));
}

void TMFrame::SwitchTrendAndKLine() {
  TMultiViewChild* active = pageWindow_ != nullptr ? pageWindow_->activeCell : nullptr;
  if (active == nullptr) return;
  ViewKind target = VIEW_NONE;
  const ViewKind kind = active->attr.kind;
  if (kind == VIEW_KLINE || kind == VIEW_F10 || kind == VIEW_REPORT) target = VIEW_TREND;
  if (kind == VIEW_TREND) target = VIEW_KLINE;
  if (target == VIEW_NONE) return;
  VIEW_ATTR_12 attr;
  bool fromHistory = false;
  if (EArray<VIEW_ATTR_12>* history = active->history) {
    for (int i = history->GetSize() - 1; i >= 0 && !fromHistory; --i) {
      if ((*history)[i].kind != target) continue;
      attr = (*history)[i];
      fromHistory = true;
    }
  }
  if (!fromHistory && DefaultViewAttr(target, &attr) == 0) return;
  BuiltListGuard built;
  TakeFromActiveView(attr, active, built, true);
  ShowViewOfKind(attr, PassAlong(target == VIEW_TREND));
}

void TMFrame::OpenUserBlock() {
  int id = -1;
  int usedBlocks = 0;
  for (int slot = 0; slot < BlockSlotCount && slot < kMaxBlocks; ++slot) {
    const BlockRecord& block = BlockTable[slot];
    if (block.used == 0) continue;
    ++usedBlocks;
    if (id < 0 && block.kind == kBlockUser) id = block.id;
  }
  if (id < 0 && usedBlocks < kMaxBlocks) {
    BlockGroupRecord* group = FindUserBlockGroup();
    BlockRecord* block = group != nullptr ? NewBlock() : nullptr;
    if (block != nullptr) {
      std::snprintf(block->name, sizeof block->name, "%s", "我的板块");
      block->kind = kBlockUser;
      block->memberCount = 0;
      block->group = group->id;
      block->key = group->blockCount;
      if (group->blockCount < kMaxBlocks) group->blockIds[group->blockCount++] = block->id;
      SaveUserBlocks();
      BuildUserBlockMenu();
      id = block->id;
    }
  }
  OpenBlockList(id);
}

void TMFrame::RotateCycle(bool backwards) {
  TMultiViewChild* active = pageWindow_ != nullptr ? pageWindow_->activeCell : nullptr;
  if (FirstRotationCycle(CycleOrderTable) < 0) {
    MessageBoxA(Handle(), "请先设定周期循环次序。  ", "提示", MB_OK | MB_ICONINFORMATION | MB_TOPMOST);
    Y1Click(nullptr);
    return;
  }
  int next = -1;
  if (active != nullptr && active->attr.kind == VIEW_TREND && !IsFlashChart(*active)) {
    next = FirstRotationCycle(CycleOrderTable);
  } else {
    const int current = active != nullptr && active->attr.kind == VIEW_KLINE ? active->attr.cycle : 0;
    next = NextRotationCycle(CycleOrderTable, current, backwards);
  }
  if (next >= 0) ChangeCycle(next);
}

void TMFrame::ShowNews() {
  if (pageWindow_ == nullptr) return;
  TMultiViewChild* active = pageWindow_->activeCell;
  if (active == nullptr || active->attr.kind != VIEW_NEWS) {
    VIEW_ATTR_12 attr;
    if (DefaultViewAttr(VIEW_NEWS, &attr) == 0) return;
    if (active != nullptr) attr.currentBlock = active->attr.currentBlock;
    ShowViewOfKind(attr, Variant(true, {ShowStep::kActivate, ShowStep::kZoom}, false, false));
  }
  if (auto* news = dynamic_cast<TMsgForm*>(pageWindow_->FindViewByKind(VIEW_NEWS, true))) news->N8Click(nullptr);
}

void TMFrame::ShowCompanyInfo() {
  TMultiViewChild* active = pageWindow_ != nullptr ? pageWindow_->activeCell : nullptr;
  if (active == nullptr) return;
  STKPTR instrument = active->attr.instrument;
  if (auto* ranking = dynamic_cast<TInteSort*>(active)) {
    const int pane = ranking->currentPane;
    if (pane < 0 || pane >= kRankingPanes) return;
    const int row = ranking->selectedRows[pane];
    if (row < 0 || row >= ranking->paneRows[pane].GetSize()) return;
    instrument = ranking->paneRows[pane].GetAt(row).instrument;
  }
  VIEW_ATTR_12 attr;
  if (DefaultViewAttr(VIEW_F10, &attr) == 0) return;
  attr.instrument = instrument;
  BuiltListGuard built;
  TakeFromActiveView(attr, active, built, false);
  ShowViewOfKind(attr, PassAlong(false));
}

void TMFrame::ShowNotes(int category) {
  VIEW_ATTR_12 attr;
  if (DefaultViewAttr(VIEW_NOTE, &attr) == 0) return;
  attr.currentBlock = static_cast<std::uint32_t>(category);
  ShowViewOfKind(attr, Variant(true, {ShowStep::kActivate, ShowStep::kNotify, ShowStep::kZoom}, false, false, category));
}

void TMFrame::ShowRanking(int blockId) {
  if (blockId < 0) return;
  VIEW_ATTR_12 attr;
  if (DefaultViewAttr(VIEW_INTESORT, &attr) == 0) return;
  attr.blockTabCount = 1;
  attr.blockTabs[0] = static_cast<std::uint16_t>(blockId);
  ShowViewOfKind(attr, Variant(false, {ShowStep::kActivate, ShowStep::kNotify, ShowStep::kZoom}, false, false, blockId));
}

void TMFrame::AddActiveToUserBlock() {
  BlockChooserRequest request;
  request.highestKind = kBlockUser;
  request.lowestKind = kBlockUser;
  request.caption = "加入自选板块";
  std::optional<std::uint16_t> chosen;
  {
    ModalDialogScope modal;
    chosen = ShellDialogs().ChooseBlock(this, request);
  }
  if (!chosen) return;
  // The dialog ran a message loop: the active view may have gone meanwhile.
  TMultiViewChild* active = pageWindow_ != nullptr ? pageWindow_->activeCell : nullptr;
  if (auto* report = dynamic_cast<TReport*>(active)) {
    report->AddSelectedToBlock(*chosen);
  } else if (auto* chart = dynamic_cast<TDrawView*>(active)) {
    chart->AddToBlock(*chosen);
  }
}

void TMFrame::RunKLineCommand(int id) {
  auto* kline = dynamic_cast<TTechForm*>(pageWindow_ != nullptr ? pageWindow_->activeCell : nullptr);
  if (kline == nullptr) return;
  switch (id) {
    case 67: kline->N29Click(nullptr); break;
    case 68: kline->N20Click(nullptr); break;
    case 69: kline->NLineClick(nullptr); break;
    case 70:
    case 71: {
      // A toggle: the checked adjustment goes back to none.
      TMenuItem* item = kline->adjustItems[id == 70 ? 1 : 2];
      TMenuItem* none = kline->adjustItems[0];
      kline->N25Click(item != nullptr && item->Checked() ? none : item);
      break;
    }
    case 72: kline->N30Click(nullptr); break;
    case 73: kline->N37Click(kline->N37); break;
    default: break;
  }
}

void TMFrame::Y1Click(TObject*) {
  TCycleOrder* dialog = NewForm<TCycleOrder>(this);
  {
    ModalDialogScope modal;
    dialog->ShowModal();
  }
  TComponent::Free(dialog);
}

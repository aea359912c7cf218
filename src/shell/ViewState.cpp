// A live view's state written into its cell's view data record, read through the view
// surfaces. Every count a view reports is cut to the record's slots.
#include "shell/ViewState.h"

#include "shell/Cell.h"
#include "shell/ViewSurfaces.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr int kSlots = 16;          // parameters and reference lines per indicator
constexpr int kPaneRatios = 5;
constexpr int kOverlaySlots = 8;
constexpr std::uint8_t kEndMarket = 255;

int Clamp(int count, int limit) { return std::clamp(count, 0, limit); }

// A 16-byte name slot from an indicator name (at most 15 bytes and a terminator).
void PutName(char slot[16], const char* name) {
  std::memset(slot, 0, 16);
  if (name != nullptr) std::memcpy(slot, name, strnlen(name, 15));
}

// The parameter values of an indicator into a block of 16; no values mark the block empty.
void PutParams(std::uint8_t (*block)[8], const IChartIndicator* indicator) {
  const int count = indicator != nullptr ? Clamp(indicator->ParamCount(), kSlots) : 0;
  int written = 0;
  for (int k = 0; k < count; ++k) {
    const std::uint8_t* value = indicator->GetParam(k);
    if (value == nullptr) break;
    std::memcpy(block[k], value, 8);
    ++written;
  }
  if (written == 0) std::memset(block[0], 0xFF, 8);
}

// The reference lines of an indicator into a pane's 16 slots, the slot after the last marked.
void PutRefLines(std::uint8_t (*slots)[16], const IChartIndicator* indicator) {
  const int count = indicator != nullptr ? Clamp(indicator->RefLineCount(), kSlots) : 0;
  int written = 0;
  for (int j = 0; j < count; ++j) {
    const std::uint8_t* line = indicator->GetRefLine(j);
    if (line == nullptr) break;
    std::memcpy(slots[j], line, 16);
    ++written;
  }
  if (written < kSlots) std::memset(slots[written] + 8, 0xFF, 8);
}

void SaveChartCommon(const TDrawView& view, MVCDATA_12& data) {
  data.sidePanelShown = view.SidePanelShown() ? 1 : 0;
  std::memcpy(data.detailItems, view.attr.detailItems, sizeof data.detailItems);
  data.propertyFlags = view.attr.propertyFlags;
}

void SaveKLine(const TTechForm& view, MVCDATA_12& data) {
  const VIEW_ATTR_12& attr = view.attr;
  data.currentBlock = attr.currentBlock;
  data.klinePaneCount = attr.paneCount;
  const int panes = Clamp(static_cast<int>(std::min<std::uint32_t>(attr.paneCount, kMaxPanes)), kMaxPanes);
  for (int i = 0; i < panes; ++i) {
    std::memcpy(data.paneIndicators[i], attr.paneIndicators[i], 16);
    const IChartIndicator* indicator = view.PaneIndicator(i);
    PutRefLines(data.refLines[i], indicator);
    PutParams(data.paneParams[i], indicator);
  }
  for (int i = 0; i < std::min(panes, kPaneRatios); ++i) data.paneRatios[i] = static_cast<float>(view.PaneRatio(i));

  const int overlays = Clamp(view.OverlayCount(), kOverlaySlots);
  for (int k = 0; k < overlays; ++k) data.overlays[k] = view.OverlayAt(k).instrument;
  if (overlays < kOverlaySlots) {
    STKPTR& end = data.overlays[overlays];
    end.market = kEndMarket;
    end.category = kEndMarket;
    end.index = 0xFFFF;
  }

  // The indicators chained behind the main pane's.
  int chained = 0;
  const IChartIndicator* head = panes > 0 ? view.PaneIndicator(0) : nullptr;
  for (const IChartIndicator* over = head != nullptr ? head->Next() : nullptr;
       over != nullptr && chained < kMaxOverIndicators; over = over->Next(), ++chained) {
    PutName(data.overIndicators[chained], over->Name());
    PutParams(data.overParams[chained], over);
  }
  if (chained < kMaxOverIndicators) std::memset(data.overIndicators[chained], 0, 16);

  if (view.OverlayCount() > 0) {
    const ChartOverlay first = view.OverlayAt(0);
    data.arbitrage = first.kind == 0 ? 1 : 0;
    data.overlayByte = first.flag;
    data.arbitrageParam = first.arbitrageParam;
  } else {
    data.arbitrage = 0;
    data.overlayByte = 1;
    data.arbitrageParam = 0;
  }
  SaveChartCommon(view, data);
}

void SaveReport(TReport& view, MVCDATA_12& data) {
  VIEW_ATTR_12& attr = view.attr;
  attr.topRowOrN = view.TopRow();
  data.blockTabCount = attr.blockTabCount;
  const int tabs = static_cast<int>(std::min<std::uint32_t>(attr.blockTabCount, kMaxBlockTabs));
  for (int i = 0; i < tabs; ++i) data.blockTabs[i] = static_cast<std::int16_t>(attr.blockTabs[i]);
  data.currentBlock = attr.currentBlock;
  data.columnCount = attr.columnCount;
  const int columns = static_cast<int>(std::min<std::uint32_t>(attr.columnCount, kMaxColumns));
  std::memcpy(data.columnIds, attr.columnIds, static_cast<std::size_t>(columns));
  data.sortColumn = attr.sortColumn;
  data.fixedColumns = attr.fixedColumns;
}

}  // namespace

void SaveViewState(TMultiViewChild* view) {
  if (view == nullptr || view->viewData == nullptr || view->attr.kind == VIEW_NONE) return;
  MVCDATA_12& data = *view->viewData;
  if (auto* kline = dynamic_cast<TTechForm*>(view)) {
    SaveKLine(*kline, data);
  } else if (auto* trend = dynamic_cast<TRendForm*>(view)) {
    data.trendPaneCount = trend->attr.paneCount;
    SaveChartCommon(*trend, data);
  } else if (auto* report = dynamic_cast<TReport*>(view)) {
    SaveReport(*report, data);
  }
  data.linkFlag = view->linkFlag ? 1 : 0;
}

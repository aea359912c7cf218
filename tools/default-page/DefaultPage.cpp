#include "DefaultPage.h"

#include "data/BlockGroup.h"
#include "data/DataIO.h"
#include "data/MarketData.h"
#include "platform/Files.h"
#include "shell/PageWindow.h"
#include "shell/ViewTypes.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <utility>

using namespace zuvo::platform;

namespace zuvo::tools {

const char* const kDefaultPageTitle = "Default";

namespace {

constexpr const char* kDefaultPagePath = "..\\cfg\\Default.ppg";
constexpr std::uint32_t kTrendPanes = 2;
// The quote list and chart row takes this share of the page's height, the quote list this share
// of the row's width; the trend and the K-line halve the rest.
constexpr float kUpperRowShare = 0.65f;
constexpr float kQuoteListShare = 0.4f;

// A cell of a kind: its default attributes and view data as a new cell of that kind has them
// (the quote list's tabs and columns, two trend panes, the K-line's panes and items).
std::unique_ptr<PageModelNode> Cell(ViewKind kind) {
  auto node = std::make_unique<PageModelNode>();
  DefaultViewAttr(kind, &node->attr);

  VIEW_ATTR_12 report;
  DefaultViewAttr(VIEW_REPORT, &report);
  MVCDATA_12& data = node->data;
  data.blockTabCount = report.blockTabCount;
  for (int i = 0; i < kMaxBlockTabs; ++i) data.blockTabs[i] = static_cast<std::int16_t>(report.blockTabs[i]);
  data.currentBlock = report.currentBlock;
  data.columnCount = report.columnCount;
  data.fixedColumns = report.fixedColumns;
  std::memcpy(data.columnIds, report.columnIds, sizeof data.columnIds);
  data.trendPaneCount = kTrendPanes;

  VIEW_ATTR_12 kline;
  DefaultViewAttr(VIEW_KLINE, &kline);
  data.klinePaneCount = kline.paneCount;
  std::memcpy(data.paneIndicators, kline.paneIndicators, sizeof data.paneIndicators);
  return node;
}

// Splits into first | second (sides 1/2) or first over second (3/4); the first takes `share`.
std::unique_ptr<PageModelNode> Split(std::unique_ptr<PageModelNode> first, std::unique_ptr<PageModelNode> second,
                                     bool sideBySide, float share) {
  auto node = std::make_unique<PageModelNode>();
  first->side = sideBySide ? NODE_LEFT : NODE_TOP;
  first->ratio = share;
  second->side = sideBySide ? NODE_RIGHT : NODE_BOTTOM;
  second->ratio = 1.0f - share;
  node->first = std::move(first);
  node->second = std::move(second);
  return node;
}

// Market tables with their name tables only (no quotes are read, so none are written back
// when they go), freed with the blocks built over them.
class LoadedMarkets {
 public:
  ~LoadedMarkets() {
    ClearBlocks();
    DeleteMarketTables();
  }

  std::string Load() {
    DeleteMarketTables();
    if (!ReadMarketConfig() || MarketConfigCount == 0) return "..\\cfg\\mkinfo.cfg holds no market";
    for (int i = 0; i < MarketConfigCount; ++i) {
      auto* table = new (std::nothrow) TMarketData(i, MarketConfigRecords[i]);
      if (table == nullptr || table->status == kStatusOutOfMemory) {
        delete table;
        return "no memory for the market tables";
      }
      MarketTables[i] = table;
      MarketCount = i + 1;
      LoadNameTable(table);
    }
    RebuildBlocks();
    return {};
  }
};

}  // namespace

bool BuildDefaultPage(PageModel& model, std::string& error) {
  auto report = Cell(VIEW_REPORT);
  const BlockRecord* block = FindBlockById(static_cast<std::uint16_t>(report->attr.currentBlock));
  if (block == nullptr || block->memberCount == 0 || block->members == nullptr) {
    error = "no system block with instruments (the SysBlocks setting of ..\\cfg\\SETTING.INI names none "
            "of the blocks the markets and ..\\cfg\\blocks.ini give)";
    return false;
  }

  auto charts = Split(Cell(VIEW_TREND), Cell(VIEW_KLINE), true, 0.5f);
  auto upper = Split(std::move(report), std::move(charts), true, kQuoteListShare);
  model = PageModel();
  std::snprintf(model.name, sizeof model.name, "%s", kDefaultPageTitle);
  model.version = kPageFileVersion;
  model.top = Split(std::move(upper), Cell(VIEW_NEWS), false, kUpperRowShare);
  model.top->side = NODE_LEFT;
  model.top->ratio = 1.0f;
  return true;
}

std::string WriteDefaultPage() {
  LoadedMarkets markets;
  if (std::string error = markets.Load(); !error.empty()) return error;

  PageModel model;
  std::string error;
  if (!BuildDefaultPage(model, error)) return error;
  const std::string bytes = BuildPageFile(model, model.name);
  if (!files::AtomicReplace(kDefaultPagePath, bytes.data(), bytes.size())) {
    return std::string("cannot write ") + kDefaultPagePath;
  }
  return {};
}

}  // namespace zuvo::tools

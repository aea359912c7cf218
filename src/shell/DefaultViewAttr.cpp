// The attribute record a view of some kind starts from when nothing was saved for it: the
// first system block with members gives the instrument, the user's [UI] defaults of defui.ini
// give the property flags, the detail items and, for a K-line chart, its panes and cycle.
#include "shell/ViewTypes.h"

#include "core/CoreUtil.h"
#include "data/BlockGroup.h"
#include "data/UtilData.h"
#include "platform/Profile.h"
#include "platform/Text.h"
#include "shell/IndicatorCatalog.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

using namespace zuvo::platform;

namespace {

constexpr const char* kSystemSettings = "..\\CFG\\SETTING.INI";
constexpr const char* kDefaultSysBlocks = "上海期货 大连商品 郑州商品 美汇 上海黄金 LME";
constexpr DWORD kSysBlocksSize = 512;
// Names shorter than this are not looked up (the setting's separators and stray bytes).
constexpr std::size_t kMinSysBlockName = 3;
constexpr std::size_t kMaxSysBlockName = kBlockNameSize - 1;
constexpr std::size_t kIndicatorNameMax = 15;
constexpr int kDefaultCycle = 8;                      // day bars
constexpr std::uint16_t kRankingFirstTab = 11;
constexpr int kMaxSubChartPanes = kMaxPanes - 1;
constexpr std::uint8_t kDefaultReportColumns[] = {0, 1, 6, 24, 25, 26, 28, 29, 7, 10, 8, 30, 3, 4, 5, 11};
constexpr int kMainPlacement = 2;   // placement of a main-chart indicator
constexpr int kSubPlacement = 0;    // placement of a sub-chart indicator

std::string ReadSysBlocks() {
  char value[kSysBlocksSize] = {};
  GetPrivateProfileStringA("PARAMETER", "SysBlocks", kDefaultSysBlocks, value, sizeof value, kSystemSettings);
  return value;
}

// Calls visit(block) for every name of the space-separated SysBlocks text that is 3 to 15
// bytes long and names a block, in order, until visit returns false. Names of other lengths
// are never looked up: no block name is longer, and a cut name could match the wrong block.
template <typename Visit>
void ForEachSysBlock(std::string_view text, Visit visit) {
  while (!text.empty()) {
    const std::size_t end = std::min(text.find(' '), text.size());
    const std::string_view name = text.substr(0, end);
    text.remove_prefix(end < text.size() ? end + 1 : end);
    if (name.size() < kMinSysBlockName || name.size() > kMaxSysBlockName) continue;
    const std::string key(name);
    BlockRecord* block = FindBlockByName(key.c_str());
    if (block != nullptr && !visit(*block)) return;
  }
}

std::string UserDefaultsPath() { return UserFilePath("defui.ini"); }

// An indicator name of a [UI] setting: cut to 15 bytes on a character boundary, blanks trimmed.
std::string IndicatorName(std::string_view text) {
  char name[kIndicatorNameMax + 1] = {};
  const std::size_t length = gbk::CutLength(text, kIndicatorNameMax);
  std::memcpy(name, text.data(), length);
  TrimSpaces(name);
  return name;
}

bool HasPlacement(const std::string& name, int placement) {
  if (name.empty()) return false;
  const IndicatorDef* def = IndicatorCatalog().FindIndex(name.c_str());
  return def != nullptr && def->Placement() == placement;
}

void SetPaneIndicator(VIEW_ATTR_12* attr, int pane, const std::string& name) {
  char* field = attr->paneIndicators[pane];
  std::memset(field, 0, sizeof attr->paneIndicators[pane]);
  std::memcpy(field, name.data(), std::min(name.size(), sizeof attr->paneIndicators[pane] - 1));
}

void FillKLine(VIEW_ATTR_12* attr) {
  const std::string path = UserDefaultsPath();
  char value[kSysBlocksSize] = {};
  GetPrivateProfileStringA("UI", "MainGraph", "K", value, sizeof value, path.c_str());
  std::string_view text(value);
  std::string mainName = IndicatorName(text.substr(0, std::min(text.find(','), text.size())));
  if (!HasPlacement(mainName, kMainPlacement)) mainName = "K";
  SetPaneIndicator(attr, 0, mainName);

  GetPrivateProfileStringA("UI", "SubGraph", "VOL,MACD", value, sizeof value, path.c_str());
  text = value;
  int taken = 0;
  while (taken < kMaxSubChartPanes) {
    const std::size_t end = std::min(text.find(','), text.size());
    const std::string name = IndicatorName(text.substr(0, end));
    if (HasPlacement(name, kSubPlacement)) SetPaneIndicator(attr, ++taken, name);
    if (end == text.size()) break;
    text.remove_prefix(end + 1);
  }
  attr->paneCount = static_cast<std::uint32_t>(1 + taken);
  attr->cycle = static_cast<std::uint8_t>(GetPrivateProfileIntA("UI", "DefCycle", kDefaultCycle, path.c_str()) & 0xFF);
  attr->topRowOrN = 1;
}

void FillReport(VIEW_ATTR_12* attr) {
  attr->fontStep = 1;
  attr->topRowOrN = -1;
  std::uint32_t tabs = 0;
  ForEachSysBlock(ReadSysBlocks(), [&](const BlockRecord& block) {
    attr->blockTabs[tabs++] = block.id;
    return tabs < static_cast<std::uint32_t>(kMaxBlockTabs);
  });
  if (tabs == 0) attr->blockTabs[0] = 0;   // a single tab on block 0
  attr->blockTabCount = tabs > 0 ? tabs : 1;
  attr->sortColumn = 0;
  attr->fixedColumns = 0;
  attr->columnCount = sizeof kDefaultReportColumns;
  std::memcpy(attr->columnIds, kDefaultReportColumns, sizeof kDefaultReportColumns);
}

}  // namespace

int DefaultViewAttr(int kind, VIEW_ATTR_12* attr) {
  if (attr == nullptr) return 0;
  std::memset(static_cast<void*>(attr), 0, sizeof *attr);
  attr->kind = static_cast<ViewKind>(kind);

  ForEachSysBlock(ReadSysBlocks(), [&](const BlockRecord& block) {
    if (block.memberCount == 0 || block.members == nullptr) return true;
    const BlockMember& first = block.members[0];
    attr->instrument = STKPTR(first.market, first.category, first.index);
    attr->currentBlock = block.id;
    return false;
  });

  attr->propertyFlags = ReadDefaultPropertyFlags();
  ReadDefaultDetailItems(attr->detailItems);

  switch (kind) {
    case VIEW_KLINE:
      FillKLine(attr);
      return 1;
    case VIEW_TREND:
    case VIEW_NEWS:
    case VIEW_F10:
    case VIEW_NOTE:
      return 1;
    case VIEW_INTESORT:
      attr->blockTabCount = 1;
      attr->blockTabs[0] = kRankingFirstTab;
      return 1;
    case VIEW_REPORT:
      FillReport(attr);
      return 1;
    default:
      return 0;
  }
}

// Page files: the reader with its migrations of the older versions, the writer, LASTPAGE.DAT.
#include "shell/PageFile.h"

#include "data/BlockGroup.h"
#include "data/MarketData.h"
#include "data/UtilData.h"
#include "platform/Files.h"
#include "platform/MessageBox.h"
#include "platform/Text.h"
#include "shell/ModalDialog.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

using namespace zuvo::platform;

const char* const kPageLimitText = "页面文件的数目已经达到上限，无法创建新页面。  ";

namespace {

constexpr int kMaxPages = 127;          // a list holding more refuses new page files
constexpr int kPageFileNumbers = 64;    // zvpage0.ppg .. zvpage63.ppg
constexpr std::uint8_t kEndMarker[4] = {0xFF, 0xFF, 0xFF, 0xFF};

template <typename T>
unsigned char* BytesOf(T& value) {
  return reinterpret_cast<unsigned char*>(&value);
}
template <typename T>
const unsigned char* BytesOf(const T& value) {
  return reinterpret_cast<const unsigned char*>(&value);
}

// A fixed text field of a file as a string (it need not hold a terminator).
std::string FieldText(const char* field, std::size_t size) { return std::string(field, strnlen(field, size)); }

void SetInstrument(unsigned char* slot, std::uint8_t market, std::uint8_t category, std::uint16_t index) {
  slot[0] = market;
  slot[1] = category;
  std::memcpy(slot + 2, &index, sizeof index);
}

// "<market code> <instrument code>" -> the instrument's record; null when either is unknown.
const InstrumentRecord* ResolveInstrumentText(const std::string& text) {
  const std::size_t blank = text.find(' ');
  if (blank == std::string::npos) return nullptr;
  TMarketData* table = FindMarketByCode(text.substr(0, blank).c_str());
  if (table == nullptr) return nullptr;
  return FindInstrumentInTable(text.substr(blank + 1).c_str(), table);
}

// The text of an instrument that resolves now, into a 32-byte field (left untouched otherwise).
bool InstrumentText(const unsigned char* stk, char out[32]) {
  STKPTR ptr;
  std::memcpy(BytesOf(ptr), stk, sizeof ptr);
  const InstrumentRecord* record = GetInstrumentRecord(ptr);
  if (record == nullptr) return false;
  TMarketData* table = GetMarketTable(ptr.market);
  if (table == nullptr) return false;
  std::memset(out, 0, 32);
  std::snprintf(out, 32, "%s %s", FieldText(table->record.code, sizeof table->record.code).c_str(),
                FieldText(record->code, sizeof record->code).c_str());
  return true;
}

void ConvertOverlays(unsigned char (*overlays)[4], char (*texts)[32], int direction) {
  if (direction == 1) {
    std::memset(texts, 0, 8 * 32);
    for (int i = 0; i < 8; ++i) {
      if (std::memcmp(overlays[i], kEndMarker, 4) == 0) break;
      InstrumentText(overlays[i], texts[i]);   // an unresolved one leaves its text empty
    }
    return;
  }
  for (int i = 0; i < 8; ++i) {
    const InstrumentRecord* record = ResolveInstrumentText(FieldText(texts[i], 32));
    if (record == nullptr) {
      std::memcpy(overlays[i], kEndMarker, 4);
      break;
    }
    SetInstrument(overlays[i], record->market, record->category, record->index);
  }
}

// The ids of the blocks named in the first `count` slots, in order; one tab of block 0 when
// none of them exists any more.
std::uint32_t ResolveTabNames(const char (*names)[16], std::uint32_t count, std::uint32_t slots,
                              std::uint16_t out[kMaxBlockTabs]) {
  count = std::min(count, slots);
  std::uint32_t found = 0;
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::string name = FieldText(names[i], 16);
    const BlockRecord* block = FindBlockByName(name.c_str());
    if (block != nullptr) out[found++] = block->id;
  }
  for (std::uint32_t i = found; i < kMaxBlockTabs; ++i) out[i] = 0;
  if (found == 0) {
    out[0] = 0;
    found = 1;
  }
  return found;
}

// Narrow attributes -> the first 340 bytes of `attr` (tab ids 16..63 and the word at 220 zero).
void WidenAttr(const VIEW_ATTR_FILE_VERSION_5& narrow, VIEW_ATTR_12& attr) {
  std::memset(BytesOf(attr), 0, kViewAttrVersion11Size);
  attr.kind = narrow.kind;
  std::memcpy(BytesOf(attr.instrument), narrow.instrument, 4);
  attr.columnCount = narrow.columnCount;
  attr.fixedColumns = narrow.fixedColumns;
  attr.sortColumn = narrow.sortColumn;
  std::memcpy(attr.columnIds, narrow.columnIds, sizeof attr.columnIds);
  attr.blockTabCount = std::min<std::uint32_t>(narrow.blockTabCount, 16);
  attr.currentBlock = narrow.currentBlock;
  for (int i = 0; i < 16; ++i) attr.blockTabs[i] = static_cast<std::uint16_t>(narrow.blockTabs[i]);
  attr.paneCount = narrow.paneCount;
  std::memcpy(attr.paneIndicators, narrow.paneIndicators, sizeof attr.paneIndicators);
  attr.cycle = narrow.cycle;
  attr.modeFlags = narrow.modeFlags;
}

void CompleteAttr(VIEW_ATTR_12& attr) {
  std::memset(attr.detailItems, 0, sizeof attr.detailItems);
  ReadDefaultDetailItems(attr.detailItems);
  attr.propertyFlags = ReadDefaultPropertyFlags();
}

// The stored instrument text replaces the instrument when both its parts resolve.
void ResolveAttrInstrument(VIEW_ATTR_12& attr, const char text[32]) {
  const InstrumentRecord* record = ResolveInstrumentText(FieldText(text, 32));
  if (record != nullptr) SetInstrument(BytesOf(attr.instrument), record->market, record->category, record->index);
}

void ApplyTabNames(VIEW_ATTR_12& attr, const char (*names)[16], std::uint32_t slots) {
  if (attr.kind != VIEW_REPORT) return;
  attr.blockTabCount = ResolveTabNames(names, attr.blockTabCount, slots, attr.blockTabs);
}

// The attribute record of a version (at `record`, its size checked by the caller) as version 12.
VIEW_ATTR_12 MigrateAttr(const unsigned char* record, int version) {
  VIEW_ATTR_12 attr;
  const bool quoteList = [&] {
    std::int16_t kind = 0;
    std::memcpy(&kind, record, sizeof kind);
    return kind == VIEW_REPORT;
  }();
  switch (version) {
    case 5: {
      VIEW_ATTR_FILE_VERSION_5 v5;
      std::memcpy(&v5, record, sizeof v5);
      WidenAttr(v5, attr);
      attr.fontStep = 1;
      attr.topRowOrN = quoteList ? -1 : 1;
      CompleteAttr(attr);
      break;
    }
    case 7: {
      VIEW_ATTR_FILE_VERSION_7 v7;
      std::memcpy(&v7, record, sizeof v7);
      WidenAttr(v7.base, attr);
      ApplyTabNames(attr, v7.tabNames, 16);
      attr.fontStep = 1;
      attr.topRowOrN = quoteList ? -1 : 1;
      CompleteAttr(attr);
      break;
    }
    case 8:
    case 9:
    case 10: {
      VIEW_ATTR_FILE_VERSION_10 v10;
      std::memset(&v10, 0, sizeof v10);
      std::memcpy(&v10, record, version == 10 ? sizeof(VIEW_ATTR_FILE_VERSION_10) : sizeof(VIEW_ATTR_FILE_VERSION_8));
      WidenAttr(v10.v8.base, attr);
      ApplyTabNames(attr, v10.v8.tabNames, 16);
      attr.fontStep = v10.v8.fontStep;
      attr.topRowOrN = version == 8 && quoteList ? -1 : v10.v8.topRowOrN;
      if (version == 10) ResolveAttrInstrument(attr, v10.instrumentText);
      CompleteAttr(attr);
      break;
    }
    case 11: {
      VIEW_ATTR_FILE_VERSION_11 v11;
      std::memcpy(&v11, record, sizeof v11);
      std::memcpy(BytesOf(attr), v11.attr, kViewAttrVersion11Size);
      ApplyTabNames(attr, v11.tabNames, 64);
      ResolveAttrInstrument(attr, v11.instrumentText);
      CompleteAttr(attr);
      break;
    }
    default: {
      VIEW_ATTR_FILE_VERSION_12 v12;
      std::memcpy(&v12, record, sizeof v12);
      std::memcpy(BytesOf(attr), v12.attr, sizeof attr);
      ApplyTabNames(attr, v12.tabNames, 64);
      ResolveAttrInstrument(attr, v12.instrumentText);
      break;
    }
  }
  // Counts the views index their arrays with stay inside them.
  attr.blockTabCount = std::min<std::uint32_t>(attr.blockTabCount, kMaxBlockTabs);
  attr.columnCount = std::min<std::uint32_t>(attr.columnCount, kMaxColumns);
  attr.paneCount = std::min<std::uint32_t>(attr.paneCount, kMaxPanes);
  if (GetInstrumentRecord(attr.instrument) == nullptr) SetInstrument(BytesOf(attr.instrument), 0, 0, 0);
  return attr;
}

// A default narrow record: zero with the empty-list markers at their narrow places.
void DefaultNarrow(MVCDATA_10& narrow) {
  std::memset(&narrow, 0, sizeof narrow);
  MVCDATA_5& base = narrow.v8.v7.base;
  std::memcpy(base.overlays[0], kEndMarker, 4);
  for (auto& pane : base.refLines) std::memset(&pane[0][8], 0xFF, 8);
  for (auto& block : base.paneParams) std::memset(&block[0][0], 0xFF, 8);
  for (auto& block : base.overParams) std::memset(&block[0][0], 0xFF, 8);
}

// Narrow -> the first 4088 bytes of `data` (block ids 16..63 zero).
void WidenData(const MVCDATA_10& narrow, MVCDATA_12& data) {
  const MVCDATA_5& base = narrow.v8.v7.base;
  data.blockTabCount = std::min<std::uint32_t>(base.blockTabCount, 16);
  data.currentBlock = base.currentBlock;
  std::memset(data.blockTabs, 0, sizeof data.blockTabs);
  for (int i = 0; i < 16; ++i) data.blockTabs[i] = static_cast<std::int16_t>(base.blockTabs[i]);
  data.columnCount = base.columnCount;
  data.fixedColumns = base.fixedColumns;
  data.sortColumn = base.sortColumn;
  std::memcpy(data.columnIds, base.columnIds, sizeof data.columnIds);
  data.trendPaneCount = base.trendPaneCount;
  data.klinePaneCount = base.klinePaneCount;
  std::memcpy(data.paneIndicators, base.paneIndicators, sizeof data.paneIndicators);
  std::memcpy(data.overIndicators, base.overIndicators, sizeof data.overIndicators);
  std::memcpy(BytesOf(data.overlays), base.overlays, sizeof base.overlays);
  data.arbitrageParam = base.arbitrageParam;
  std::memcpy(data.refLines, base.refLines, sizeof data.refLines);
  std::memcpy(data.paneParams, base.paneParams, sizeof data.paneParams);
  std::memcpy(data.overParams, base.overParams, sizeof data.overParams);
  data.arbitrage = base.flags[0];
  data.overlayByte = base.flags[1];
  data.linkFlag = base.flags[2];
  data.sidePanelShown = base.flags[3];
  std::memcpy(data.paneRatios, narrow.v8.v7.paneRatios, sizeof data.paneRatios);
  std::memcpy(data.overlayTexts, narrow.overlayTexts, sizeof data.overlayTexts);
}

void CompleteData(MVCDATA_12& data) {
  std::memset(data.detailItems, 0, sizeof data.detailItems);
  ReadDefaultDetailItems(data.detailItems);
  data.propertyFlags = ReadDefaultPropertyFlags();
}

MVCDATA_12 MigrateData(const unsigned char* record, std::size_t size, int version) {
  MVCDATA_12 data;
  if (version <= 10) {
    MVCDATA_10 narrow;
    DefaultNarrow(narrow);
    std::memcpy(&narrow, record, size);
    if (version < 10) {
      ConvertOverlayTexts(narrow, 1);
    } else {
      ConvertOverlayTexts(narrow, 0);
    }
    WidenData(narrow, data);
    CompleteData(data);
  } else if (version == 11) {
    std::memcpy(BytesOf(data), record, kViewDataVersion11Size);
    CompleteData(data);
    ConvertOverlayTexts(data, 0);
  } else {
    std::memcpy(BytesOf(data), record, sizeof data);
    ConvertOverlayTexts(data, 0);
  }
  data.blockTabCount = std::min<std::uint32_t>(data.blockTabCount, kMaxBlockTabs);
  data.columnCount = std::min<std::uint32_t>(data.columnCount, kMaxColumns);
  data.trendPaneCount = std::min<std::uint32_t>(data.trendPaneCount, kMaxPanes);
  data.klinePaneCount = std::min<std::uint32_t>(data.klinePaneCount, kMaxPanes);
  return data;
}

bool SidesPair(int a, int b) {
  return (a == NODE_LEFT && b == NODE_RIGHT) || (a == NODE_RIGHT && b == NODE_LEFT) ||
         (a == NODE_TOP && b == NODE_BOTTOM) || (a == NODE_BOTTOM && b == NODE_TOP);
}

class BodyParser {
 public:
  BodyParser(std::string_view body, int version) : body_(body), version_(version), sizes_(PageRecordSizesOf(version)) {}

  // The node at `offset` and its subtree; *end receives the end of the last record it used.
  std::unique_ptr<PageModelNode> Parse(std::size_t offset, int depth, std::size_t* end) {
    if (depth > kPageMaxDepth || offset > body_.size() || body_.size() - offset < kPageNodeRecordSize) return nullptr;
    PAGE_NODE_RECORD record;
    std::memcpy(&record, body_.data() + offset, sizeof record);
    if (record.side < NODE_LEFT || record.side > NODE_BOTTOM) return nullptr;
    if (!std::isfinite(record.ratio) || !(record.ratio > 0.0f) || record.ratio > 1.0f) return nullptr;
    auto node = std::make_unique<PageModelNode>();
    node->side = record.side;
    node->ratio = record.ratio;
    const std::size_t after = offset + kPageNodeRecordSize;
    if (record.leaf == 1) {
      if (body_.size() - after < sizes_.attr + sizes_.data) return nullptr;
      const auto* at = reinterpret_cast<const unsigned char*>(body_.data()) + after;
      node->attr = MigrateAttr(at, version_);
      node->data = MigrateData(at + sizes_.attr, sizes_.data, version_);
      PrepareForView(*node);
      *end = after + sizes_.attr + sizes_.data;
      return node;
    }
    if (record.leaf != 0) return nullptr;
    // Records are laid out depth first: the first child after its parent, the second after the
    // first's whole subtree. Holding to that order keeps every record read once.
    if (record.first <= 0 || record.second <= 0) return nullptr;
    if (static_cast<std::size_t>(record.first) < after) return nullptr;
    std::size_t firstEnd = 0;
    node->first = Parse(static_cast<std::size_t>(record.first), depth + 1, &firstEnd);
    if (!node->first) return nullptr;
    if (static_cast<std::size_t>(record.second) < firstEnd) return nullptr;
    node->second = Parse(static_cast<std::size_t>(record.second), depth + 1, end);
    if (!node->second) return nullptr;
    if (!SidesPair(node->first->side, node->second->side)) return nullptr;
    return node;
  }

 private:
  // What the page window does before it hands the records to a view of the kind.
  static void PrepareForView(PageModelNode& node) {
    switch (node.attr.kind) {
      case VIEW_TREND:
      case VIEW_KLINE:
      case VIEW_F10:
        // No navigation list comes from a file.
        std::memset(BytesOf(node.attr) + offsetof(VIEW_ATTR_12, blockTabs), 0, sizeof node.attr.blockTabs);
        break;
      case VIEW_REPORT:
        node.data.blockTabCount = node.attr.blockTabCount;
        for (std::uint32_t i = 0; i < node.attr.blockTabCount; ++i) {
          node.data.blockTabs[i] = static_cast<std::int16_t>(node.attr.blockTabs[i]);
        }
        break;
      default:
        break;
    }
  }

  std::string_view body_;
  int version_;
  PageRecordSizes sizes_;
};

// The whole file, or false when it cannot be opened or read.
enum class ReadStatus { kOk, kNotOpened, kNoMemory };
ReadStatus ReadWholeFile(std::string_view path, std::string& out) {
  const std::string windowsPath(path);
  files::ScopedHandle file(CreateFileA(windowsPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.ok()) return ReadStatus::kNotOpened;
  DWORD high = 0;
  const DWORD low = GetFileSize(file.get(), &high);
  if (low == INVALID_FILE_SIZE && GetLastError() != 0) return ReadStatus::kNotOpened;
  const std::uint64_t size = (static_cast<std::uint64_t>(high) << 32) | low;
  // A page file's length field is 32 bits: anything longer is no page file; read just enough
  // of it to tell.
  const std::uint64_t wanted = std::min<std::uint64_t>(size, 0xFFFFFFFFull + kPageHeaderSize + 1);
  try {
    out.assign(static_cast<std::size_t>(wanted), '\0');
  } catch (const std::bad_alloc&) {
    return ReadStatus::kNoMemory;
  }
  std::size_t done = 0;
  while (done < out.size()) {
    DWORD got = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(out.size() - done, 1u << 30));
    if (!ReadFile(file.get(), out.data() + done, chunk, &got, nullptr)) return ReadStatus::kNotOpened;
    if (got == 0) break;
    done += got;
  }
  out.resize(done);
  return ReadStatus::kOk;
}

void AppendNodeRecord(std::string& body, const PageModelNode& node) {
  PAGE_NODE_RECORD record{0, 0, node.IsLeaf() ? 1 : 0, node.side, node.ratio};
  body.append(reinterpret_cast<const char*>(&record), sizeof record);
}

void AppendLeafRecords(std::string& body, const PageModelNode& node) {
  const VIEW_ATTR_FILE_VERSION_12 attr = MakeViewAttrRecord(node.attr);
  body.append(reinterpret_cast<const char*>(&attr), sizeof attr);
  MVCDATA_12 data = node.data;
  ConvertOverlayTexts(data, 1);
  body.append(reinterpret_cast<const char*>(BytesOf(data)), sizeof data);
}

// The name of the page file at `path` (zeros when it has none to give).
void OldFileName(const std::string& path, char name[kPageNameSize]) {
  std::memset(name, 0, kPageNameSize);
  files::ScopedHandle file(
      CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.ok()) return;
  char head[8 + kPageNameSize];
  DWORD got = 0;
  if (!ReadFile(file.get(), head, sizeof head, &got, nullptr) || got != sizeof head) return;
  std::memcpy(name, head + 8, kPageNameSize);
}

PageSaveResult WriteWhole(const PageModel& model, const std::string& path, const char name[kPageNameSize]) {
  if (IsDefaultPagePath(path)) return PageSaveResult::kDefaultPage;
  const std::string bytes = BuildPageFile(model, name);
  return files::AtomicReplace(path, bytes.data(), bytes.size()) ? PageSaveResult::kSaved : PageSaveResult::kFailed;
}

// The first "<UserDir>zvpage<n>.ppg" that does not exist; empty when all 64 do.
std::string FreePageFilePath() {
  for (int n = 0; n < kPageFileNumbers; ++n) {
    char file[32];
    std::snprintf(file, sizeof file, "zvpage%d.ppg", n);
    std::string path = UserFilePath(file);
    if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) return path;
  }
  return {};
}

void ShowLimitMessage() { MessageBoxA(nullptr, kPageLimitText, "提示", MB_OK | MB_ICONERROR | MB_TOPMOST); }

}  // namespace

PageRecordSizes PageRecordSizesOf(int version) {
  switch (version) {
    case 5: return {sizeof(VIEW_ATTR_FILE_VERSION_5), sizeof(MVCDATA_5)};
    case 7: return {sizeof(VIEW_ATTR_FILE_VERSION_7), sizeof(MVCDATA_7)};
    case 8:
    case 9: return {sizeof(VIEW_ATTR_FILE_VERSION_8), sizeof(MVCDATA_8)};
    case 10: return {sizeof(VIEW_ATTR_FILE_VERSION_10), sizeof(MVCDATA_10)};
    case 11: return {sizeof(VIEW_ATTR_FILE_VERSION_11), kViewDataVersion11Size};
    case 12: return {sizeof(VIEW_ATTR_FILE_VERSION_12), sizeof(MVCDATA_12)};
    default: return {};
  }
}

int PageFileVersionOf(const char magic[8]) {
  if (std::memcmp(magic, "zvpage", 6) != 0) return 0;
  const char tens = magic[6], units = magic[7];
  if (tens < '0' || tens > '9' || units < '0' || units > '9') return 0;
  const int version = (tens - '0') * 10 + (units - '0');
  return PageRecordSizesOf(version).attr != 0 ? version : 0;
}

int ValidatePageFile(std::string_view bytes) {
  if (bytes.size() < kPageHeaderSize + 1) return 0;
  PAGE_FILE_HEADER header;
  std::memcpy(&header, bytes.data(), sizeof header);
  const int version = PageFileVersionOf(header.magic);
  if (version == 0) return 0;
  if (bytes.size() - kPageHeaderSize != header.bodyLength) return 0;
  if (header.bodyLength < kPageNodeRecordSize) return 0;
  PAGE_NODE_RECORD top;
  std::memcpy(&top, bytes.data() + kPageHeaderSize, sizeof top);
  if (top.leaf == 1) {
    const PageRecordSizes sizes = PageRecordSizesOf(version);
    if (header.bodyLength < kPageNodeRecordSize + sizes.attr + sizes.data) return 0;
  }
  return version;
}

std::unique_ptr<PageModelNode> ParsePageBody(std::string_view body, int version) {
  if (PageRecordSizesOf(version).attr == 0) return nullptr;
  BodyParser parser(body, version);
  std::size_t end = 0;
  return parser.Parse(0, 0, &end);
}

PageLoadResult LoadPageFile(std::string_view path, PageModel& model) {
  model.top.reset();
  model.version = 0;
  std::memset(model.name, 0, sizeof model.name);
  std::string bytes;
  switch (ReadWholeFile(path, bytes)) {
    case ReadStatus::kNotOpened: return PageLoadResult::kNotOpened;
    case ReadStatus::kNoMemory: return PageLoadResult::kNoMemory;
    case ReadStatus::kOk: break;
  }
  const int version = ValidatePageFile(bytes);
  if (version == 0) return PageLoadResult::kInvalid;
  std::unique_ptr<PageModelNode> top;
  try {
    top = ParsePageBody(std::string_view(bytes).substr(kPageHeaderSize), version);
  } catch (const std::bad_alloc&) {
    return PageLoadResult::kNoMemory;
  }
  if (!top) return PageLoadResult::kInvalid;
  std::memcpy(model.name, bytes.data() + 8, kPageNameSize);
  model.version = version;
  model.top = std::move(top);
  return PageLoadResult::kLoaded;
}

void WritePageNode(std::string& body, const PageModelNode& node, std::size_t position) {
  const PageModelNode* children[2] = {node.first.get(), node.second.get()};
  for (int i = 0; i < 2; ++i) {
    const PageModelNode* child = children[i];
    if (child == nullptr) continue;
    const auto offset = static_cast<std::int32_t>(body.size());
    std::memcpy(body.data() + position + static_cast<std::size_t>(i) * sizeof(std::int32_t), &offset, sizeof offset);
    const std::size_t childPosition = body.size();
    AppendNodeRecord(body, *child);
    if (child->IsLeaf()) {
      AppendLeafRecords(body, *child);
    } else {
      WritePageNode(body, *child, childPosition);
    }
  }
}

std::string BuildPageFile(const PageModel& model, const char name[kPageNameSize]) {
  std::string body;
  if (model.top) {
    AppendNodeRecord(body, *model.top);
    if (model.top->IsLeaf()) {
      AppendLeafRecords(body, *model.top);
    } else {
      WritePageNode(body, *model.top, 0);
    }
  }
  PAGE_FILE_HEADER header;
  std::memcpy(header.magic, "zvpage12", 8);
  std::memcpy(header.name, name, kPageNameSize);
  header.bodyLength = static_cast<std::uint32_t>(body.size());
  std::string file(reinterpret_cast<const char*>(&header), sizeof header);
  file += body;
  return file;
}

VIEW_ATTR_FILE_VERSION_12 MakeViewAttrRecord(const VIEW_ATTR_12& attr) {
  VIEW_ATTR_FILE_VERSION_12 record;
  std::memset(&record, 0, sizeof record);
  std::memcpy(record.attr, BytesOf(attr), sizeof attr);
  if (attr.kind == VIEW_REPORT) {
    const std::uint32_t count = std::min<std::uint32_t>(attr.blockTabCount, kMaxBlockTabs);
    for (std::uint32_t i = 0; i < count; ++i) {
      const BlockRecord* block = FindBlockById(attr.blockTabs[i]);
      if (block != nullptr) std::memcpy(record.tabNames[i], block->name, std::min<std::size_t>(16, sizeof block->name));
    }
  }
  InstrumentText(BytesOf(attr.instrument), record.instrumentText);
  return record;
}

void ConvertOverlayTexts(MVCDATA_12& data, int direction) {
  ConvertOverlays(reinterpret_cast<unsigned char (*)[4]>(BytesOf(data.overlays)), data.overlayTexts, direction);
}

void ConvertOverlayTexts(MVCDATA_10& data, int direction) {
  ConvertOverlays(data.v8.v7.base.overlays, data.overlayTexts, direction);
}

bool IsDefaultPagePath(std::string_view path) {
  return gbk::EqualsNoCase(path, "Default") || gbk::EqualsNoCase(path, "..\\Cfg\\Default.ppg");
}

PageSaveResult SavePageFile(const PageModel& model, std::string& pagePath, int mode, IPageSaveUi* ui) {
  if (mode != kPageSaveAs && !pagePath.empty()) {
    if (IsDefaultPagePath(pagePath)) return PageSaveResult::kDefaultPage;
    const std::string path = gbk::Upper(pagePath);
    char name[kPageNameSize];
    OldFileName(path, name);
    return WriteWhole(model, path, name);
  }
  if (mode == kPageSaveAuto) return PageSaveResult::kNoPath;
  if (ui == nullptr) return PageSaveResult::kCancelled;

  PageSaveChoice choice;
  bool chosen = false;
  {
    ModalDialogScope modal;
    chosen = ui->AskPageName(choice);
  }
  if (!chosen) return PageSaveResult::kCancelled;
  choice.name[kPageNameSize - 1] = '\0';
  choice.path[kPagePathSize - 1] = '\0';
  std::string path = choice.path;
  int position = choice.position;
  if (path.empty()) {
    if (ui->PageCount() > kMaxPages) {
      ShowLimitMessage();
      return PageSaveResult::kLimit;
    }
    path = FreePageFilePath();
    if (path.empty()) {
      ShowLimitMessage();
      return PageSaveResult::kLimit;
    }
    position = ui->AddPage(choice.name, path.c_str());
    WriteLastPage(path);
  }
  path = gbk::Upper(path);
  const PageSaveResult result = WriteWhole(model, path, choice.name);
  if (result == PageSaveResult::kSaved) pagePath = path;
  ui->PageSaved(position);
  return result;
}

std::string ReadLastPage() {
  std::string bytes;
  if (ReadWholeFile(UserFilePath("LASTPAGE.DAT"), bytes) != ReadStatus::kOk || bytes.size() < kPagePathSize) return {};
  return FieldText(bytes.data(), kPagePathSize);
}

bool WriteLastPage(std::string_view path) {
  char record[kPagePathSize] = {};
  const std::size_t length = gbk::CutLength(path, kPagePathSize - 1);
  std::memcpy(record, path.data(), length);
  return files::AtomicReplace(UserFilePath("LASTPAGE.DAT"), record, sizeof record);
}

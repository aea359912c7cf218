#include "data/CacheFiles.h"

#include "platform/Files.h"
#include "platform/Paths.h"

#include <cstdio>
#include <cstring>
#include <string_view>

using namespace zuvo::platform;

namespace {

// Codes are short fixed fields; a longer run without a terminator is not a code.
constexpr std::size_t kMaxCodeBytes = 31;

struct CacheFileName {
  const char* folder;      // under "..\data\<market>\"
  const char* extension;   // with its dot
};

CacheFileName NameOf(CacheFile kind) {
  switch (kind) {
    case CacheFile::Ticks: return {"tick", ".tik"};
    case CacheFile::RecentTrades: return {"tick", ".nnt"};
    case CacheFile::TradeDetails: return {"tick", ".TRD"};
    case CacheFile::TrendHistory: return {"trend", ".trn"};
    case CacheFile::Bars1Min: return {"min1", ".m1"};
    case CacheFile::Bars5Min: return {"min", ".min"};
    case CacheFile::Bars60Min: return {"hour", ".hr"};
    case CacheFile::DayBars: return {"day", ".day"};
    case CacheFile::Weights: return {"weight", ".wgt"};
    case CacheFile::Advice: return {"advice", ".adv"};
  }
  return {"tick", ".tik"};
}

// Length up to the terminator, looking at no more than limit bytes (and never past the zero).
std::size_t BoundedLength(const char* text, std::size_t limit) {
  std::size_t length = 0;
  while (length < limit && text[length] != '\0') ++length;
  return length;
}

// The code as a view, or empty when it is missing, longer than a code can be, or unsafe.
// fieldBytes > 0: the code is a fixed field of that width, terminated or filling it.
std::string_view SafeCode(const char* code, std::size_t fieldBytes = 0) {
  if (!code) return {};
  std::size_t length = BoundedLength(code, fieldBytes ? fieldBytes : kMaxCodeBytes + 1);
  if (length == 0 || length > kMaxCodeBytes) return {};
  std::string_view view(code, length);
  return paths::IsSafeComponent(view) ? view : std::string_view{};
}

std::string_view MarketFolder(const TMarketData* table) {
  if (!table) return {};
  return SafeCode(table->record.code, sizeof table->record.code);
}

bool BuildFolder(CacheFile kind, std::string_view market, std::string& path) {
  path.clear();
  if (market.empty()) return false;
  path.append(kCacheDataRoot).append("data\\").append(market).append("\\").append(NameOf(kind).folder);
  return true;
}

bool BuildFilePath(CacheFile kind, std::string_view market, const char* instrumentCode, std::string& path) {
  std::string_view code = SafeCode(instrumentCode);
  if (code.empty() || !BuildFolder(kind, market, path)) {
    path.clear();
    return false;
  }
  path.append("\\").append(code).append(NameOf(kind).extension);
  return true;
}

}  // namespace

bool CacheFilePath(CacheFile kind, const char* marketCode, const char* instrumentCode,
                   std::string& path) {
  return BuildFilePath(kind, SafeCode(marketCode), instrumentCode, path);
}

bool CacheFilePath(CacheFile kind, const TMarketData* table, const char* instrumentCode,
                   std::string& path) {
  return BuildFilePath(kind, MarketFolder(table), instrumentCode, path);
}

bool BarFilePath(int fileKind, const TMarketData* table, const char* instrumentCode,
                 std::string& path) {
  switch (fileKind) {
    case 1: return CacheFilePath(CacheFile::Bars1Min, table, instrumentCode, path);
    case 4: return CacheFilePath(CacheFile::Bars5Min, table, instrumentCode, path);
    case 7: return CacheFilePath(CacheFile::Bars60Min, table, instrumentCode, path);
    case 8: return CacheFilePath(CacheFile::DayBars, table, instrumentCode, path);
    default: path.clear(); return false;
  }
}

bool TrendDayFilePath(const TMarketData* table, const char* instrumentCode, std::uint32_t day,
                      std::string& path) {
  std::string_view code = SafeCode(instrumentCode);
  if (code.empty() || !BuildFolder(CacheFile::TrendHistory, MarketFolder(table), path)) {
    path.clear();
    return false;
  }
  char number[16];
  std::snprintf(number, sizeof number, "%u", static_cast<unsigned>(day & ~0x7FFu));
  path.append("\\").append(code).append(number).append(".trn");
  return true;
}

bool CacheFolderPath(CacheFile kind, const TMarketData* table, std::string& path) {
  return BuildFolder(kind, MarketFolder(table), path);
}

int DeleteInstrumentCacheFiles(const TMarketData* table, const char* instrumentCode) {
  static constexpr CacheFile kAll[] = {
      CacheFile::Ticks,    CacheFile::RecentTrades, CacheFile::TradeDetails, CacheFile::TrendHistory,
      CacheFile::Bars1Min, CacheFile::Bars5Min,     CacheFile::Bars60Min,    CacheFile::DayBars,
      CacheFile::Weights,  CacheFile::Advice,
  };
  std::string path;
  if (!CacheFilePath(CacheFile::Ticks, table, instrumentCode, path)) return -1;
  int deleted = 0;
  for (CacheFile kind : kAll) {
    if (CacheFilePath(kind, table, instrumentCode, path) && DeleteFileA(path.c_str())) ++deleted;
  }
  return deleted;
}

int DeleteInstrumentCacheFiles(STKPTR instrument) {
  const InstrumentRecord* record = GetInstrumentRecord(instrument);
  if (!record) return -1;
  std::string code = InstrumentCode(record);
  return DeleteInstrumentCacheFiles(MarketTables[instrument.market], code.c_str());
}

std::string InstrumentCode(const InstrumentRecord* record) {
  if (!record) return {};
  return std::string(record->code, BoundedLength(record->code, sizeof record->code));
}

#include "SampleHistory.h"

#include "data/CacheRecords.h"
#include "data/Records.h"

#include <cstring>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

using zuvo::model::MarketModel;

namespace {

bool WriteFile(const std::filesystem::path& file, const void* data, std::size_t bytes) {
  std::error_code error;
  std::filesystem::create_directories(file.parent_path(), error);
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(static_cast<const char*>(data), static_cast<std::streamsize>(bytes));
  return static_cast<bool>(out);
}

template <typename Record>
bool WriteRecords(const std::filesystem::path& file, const std::vector<Record>& records) {
  return WriteFile(file, records.data(), records.size() * sizeof(Record));
}

template <typename Record>
void Append(std::string* bytes, const Record& record) {
  bytes->append(reinterpret_cast<const char*>(&record), sizeof record);
}

bool WriteInstrumentHistory(const std::filesystem::path& folder, const MarketModel& model, int market, int index,
                            std::int64_t now) {
  const InstrumentRecord& record = *model.Instrument(market, index);
  const std::string code = record.code;
  struct BarFile {
    int kind;
    const char* folder;
    const char* ext;
  };
  static constexpr BarFile kBarFiles[] = {
      {kBarFileDay, "day", ".day"}, {kBarFile60Min, "hour", ".hr"}, {kBarFile5Min, "min", ".min"}, {kBarFile1Min, "min1", ".m1"}};
  for (const BarFile& file : kBarFiles) {
    if (!WriteRecords(folder / file.folder / (code + file.ext), model.HistoryBars(market, index, file.kind, now))) return false;
  }

  // Trend history: the slot count, then one block per day, ascending.
  const PackedTime last = model.LastCompletedTradingDay(market, record.category, now);
  std::vector<PackedTime> days;
  for (PackedTime day = last; day != 0 && static_cast<int>(days.size()) < kSampleTrendDays; day = MarketModel::PrevTradingDay(day)) {
    days.insert(days.begin(), day);
  }
  const std::uint32_t slots = static_cast<std::uint32_t>(model.TradingMinutes(market, record.category).size()) + 1;
  std::string trend;
  Append(&trend, slots);
  for (PackedTime day : days) {
    Append(&trend, day);
    for (const TrendDayMinute& minute : model.TrendDay(market, index, day)) Append(&trend, minute);
  }
  if (!WriteFile(folder / "trend" / (code + ".trn"), trend.data(), trend.size())) return false;

  if (!WriteRecords(folder / "tick" / (code + ".tik"), model.DayTrades(market, index, last))) return false;

  const std::vector<zuvo::model::WeightRecord> weights = model.Weights(market, index, last);
  if (!weights.empty() && !WriteRecords(folder / "weight" / (code + ".wgt"), weights)) return false;
  return true;
}

}  // namespace

bool WriteSampleHistory(const std::filesystem::path& root, const MarketModel& model, std::int64_t now) {
  for (int market = 0; market < model.MarketCount(); ++market) {
    const zuvo::model::ModelMarket& description = *model.Market(market);
    const std::filesystem::path folder = root / "data" / description.record.code;
    std::vector<QuoteRecord> quotes;
    for (int index = 0; index < model.InstrumentCount(market); ++index) {
      quotes.push_back(model.Quote(market, index, now));
      if (!WriteInstrumentHistory(folder, model, market, index, now)) return false;
    }
    if (!WriteRecords(folder / (std::string("real.") + description.record.fileExt), quotes)) return false;
  }
  return true;
}

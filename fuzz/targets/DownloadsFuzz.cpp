// Fuzz target "downloads": the replies of the request client's blocking downloads, read with its
// blocking reads from scripted receive calls: the market description files (DownloadMarketConfig)
// and a name table of market 0 or, with its alternative codes, of market 3 (DownloadNameTable).
// Input: parts control, reply. Control: the download (0 description files, 1 names of market 0,
// 2 names of market 3), the chunk-size seed (0: one receive takes what fits).
// Property: the results are those the operations name (0 or -1; the count or -1); mkinfo.cfg is
// the old file or whole 1590-byte records of 1 to 15 categories with safe code and extension;
// systime.dat the old file or 24872 bytes; no .\updt.tmp is left; a failed name table keeps the
// old nametbl, a downloaded one holds exactly the table's records; the count never passes the
// capacity; nothing is written outside the install tree's cfg and market folders.
#include "FuzzSupport.h"
#include "FuzzTargets.h"

#include "data/DataIO.h"
#include "data/MarketData.h"
#include "data/Records.h"
#include "net/NormalClnt.h"
#include "platform/Paths.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace {

constexpr std::string_view kOld = "old file";

// Serves the reply in chunks whose sizes come from the seed, then the peer's close. Sends
// always go through whole. No socket is ever made.
class Scripted : public TNormalClnt {
 public:
  Scripted(std::string_view reply, std::uint32_t seed) : reply_(reply), seed_(seed) {}
  int Receive(void* buffer, int length, int /*flags*/) override {
    if (at_ >= reply_.size()) return 0;
    std::size_t take = reply_.size() - at_;
    if (seed_ != 0) {
      seed_ = seed_ * 1103515245u + 12345u;
      take = std::min<std::size_t>(take, 1 + (seed_ >> 16) % 4096);
    }
    take = std::min<std::size_t>(take, static_cast<std::size_t>(length));
    std::memcpy(buffer, reply_.data() + at_, take);
    at_ += take;
    return static_cast<int>(take);
  }
  int Send(const void* /*data*/, int length, int /*flags*/) override { return length; }

 private:
  std::string_view reply_;
  std::size_t at_ = 0;
  std::uint32_t seed_;
};

MarketRecord Market(const char* code, const char* ext) {
  MarketRecord market{};
  market.kind = 1;
  std::strcpy(market.name, code);
  std::strcpy(market.code, code);
  std::strcpy(market.fileExt, ext);
  market.capacity = 64;
  market.categoryCount = 2;
  for (int c = 0; c < 2; ++c) {
    market.categories[c].sessionCount = 1;
    market.categories[c].openMinute[0] = 570;
    market.categories[c].closeMinute[0] = 900;
  }
  return market;
}

bool SafeText(const char* field, std::size_t size) {
  const std::size_t length = strnlen(field, size);
  return length < size && zuvo::platform::paths::IsSafeComponent(std::string_view(field, length));
}

void CheckConfig(std::string_view reply, std::uint32_t seed) {
  fuzz::Sandbox::Write("cfg/mkinfo.cfg", kOld);
  fuzz::Sandbox::Write("cfg/systime.dat", kOld);
  Scripted client(reply, seed);
  const int result = client.DownloadMarketConfig();
  FUZZ_CHECK(result == 0 || result == -1, "the description download gives 0 or -1");
  const std::string config = fuzz::Sandbox::Read("cfg/mkinfo.cfg");
  if (config != kOld) {
    FUZZ_CHECK(!config.empty() && config.size() % sizeof(MarketRecord) == 0, "mkinfo.cfg holds whole records");
    for (std::size_t at = 0; at < config.size(); at += sizeof(MarketRecord)) {
      MarketRecord record;
      std::memcpy(&record, config.data() + at, sizeof record);
      FUZZ_CHECK(record.categoryCount >= 1 && record.categoryCount <= kMaxCategories, "1 to 15 categories");
      FUZZ_CHECK(SafeText(record.code, sizeof record.code) && SafeText(record.fileExt, sizeof record.fileExt),
                 "a market code and extension that name files safely");
    }
  }
  const std::string sysTime = fuzz::Sandbox::Read("cfg/systime.dat");
  FUZZ_CHECK(sysTime == kOld || sysTime.size() == 24872, "systime.dat old or whole");
  FUZZ_CHECK(!fuzz::Sandbox::ExistsAbsolute(fuzz::Sandbox::Root() + "/bin/updt.tmp"), "no download file is left");
}

void CheckNames(int market, std::string_view reply, std::uint32_t seed) {
  const MarketRecord record = market == kAltCodeMarket ? Market("HK", "hk") : Market("SH", "sh");
  const std::string folder = std::string("data/") + record.code + "/";
  const std::string nametbl = folder + "nametbl." + record.fileExt;
  const std::string nametble = folder + "nametble." + record.fileExt;
  fuzz::Sandbox::Write(nametbl, kOld);
  if (market == kAltCodeMarket) fuzz::Sandbox::Write(nametble, kOld);
  MarketTables[market] = new TMarketData(market, record);
  MarketCount = market + 1;
  TMarketData* table = MarketTables[market];

  Scripted client(reply, seed);
  const int result = client.DownloadNameTable(market);
  FUZZ_CHECK(table->count >= 0 && table->count <= table->capacity, "the count stays within the capacity");
  for (int i = 0; i < table->count; ++i) {
    FUZZ_CHECK(strnlen(table->names[i].code, sizeof table->names[i].code) < sizeof table->names[i].code,
               "codes are terminated");
  }
  if (result < 0) {
    FUZZ_CHECK(result == -1, "a failure is -1");
    FUZZ_CHECK(fuzz::Sandbox::Read(nametbl) == kOld, "a failed download keeps nametbl");
    if (market == kAltCodeMarket) FUZZ_CHECK(fuzz::Sandbox::Read(nametble) == kOld, "and nametble");
  } else {
    FUZZ_CHECK(result == table->count && result > 0, "a name table has records");
    const std::string written = fuzz::Sandbox::Read(nametbl);
    FUZZ_CHECK(written.size() == static_cast<std::size_t>(result) * sizeof(InstrumentRecord) &&
                   std::memcmp(written.data(), table->names, written.size()) == 0,
               "nametbl holds the table");
    if (market == kAltCodeMarket) {
      FUZZ_CHECK(fuzz::Sandbox::Read(nametble).size() == static_cast<std::size_t>(result) * sizeof(InstrumentExtRecord),
                 "nametble holds a code per instrument");
    }
  }
  DeleteMarketTables();
}

}  // namespace

int FuzzDownloads(const std::uint8_t* data, std::size_t size) {
  const auto parts = fuzz::SplitParts(std::string_view(reinterpret_cast<const char*>(data), size), 2);
  fuzz::ControlReader control(parts.empty() ? std::string_view() : parts[0]);
  const std::string_view reply = parts.size() > 1 ? parts[1] : std::string_view();
  const int which = control.U8() % 3;
  const std::uint32_t seed = control.U32();
  if (which == 0) {
    CheckConfig(reply, seed);
  } else {
    CheckNames(which == 1 ? 0 : kAltCodeMarket, reply, seed);
  }
  return 0;
}

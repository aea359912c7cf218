// The request client's blocking downloads against the local quote server over loopback: the
// market description files install whole or not at all (dated as the server dates them), a name
// table fills its market and replaces nametbl only when a table came, and the market loader
// runs online through the real client, going offline through the owner's drop when a download
// breaks on the login worker. Replies the server cannot be made to send (implausible files,
// alternative-code entries of exact shapes) are scripted.
#include "net/NetTestSupport.h"
#include "net/RequestFrames.h"
#include "net/RequestQueue.h"

#include "data/DataIO.h"
#include "data/IRequestClient.h"
#include "data/MarketData.h"
#include "platform/Files.h"
#include "platform/Message.h"
#include "quoteserver/ServerFixture.h"
#include "support/TempInstall.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace nettest {
namespace {

namespace fs = std::filesystem;
using testsupport::ReadBytes;
using testsupport::WriteBytes;

constexpr const char* kOldBytes = "old file";

// The UTC calendar date of a file's last write as yyyymmdd (the server dates its files so), read
// as the request does; 0 when it cannot be read.
std::uint32_t FileDate(const fs::path& file) {
  zuvo::platform::files::ScopedHandle handle(
      CreateFileA(file.string().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  FILETIME written{};
  SYSTEMTIME time{};
  if (!handle.ok() || !GetFileTime(handle.get(), nullptr, nullptr, &written) || !FileTimeToSystemTime(&written, &time)) {
    return 0;
  }
  return static_cast<std::uint32_t>(time.wYear) * 10000 + time.wMonth * 100u + time.wDay;
}

std::string Bytes(const void* data, std::size_t size) { return std::string(static_cast<const char*>(data), size); }

// Trailing blanks cut, as the table keeps codes.
std::string Code(const char (&code)[7]) {
  std::string text(code, strnlen(code, sizeof code));
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

// The sample market's records as served.
std::vector<MarketRecord> SampleMarketRecords() {
  const std::string bytes = ReadBytes(quoteservertest::SampleRoot() / "cfg" / "mkinfo.cfg");
  std::vector<MarketRecord> records(bytes.size() / sizeof(MarketRecord));
  std::memcpy(records.data(), bytes.data(), records.size() * sizeof(MarketRecord));
  return records;
}

fs::path MarketFile(const fs::path& root, const MarketRecord& market, const std::string& base) {
  return root / "data" / market.code / (base + "." + market.fileExt);
}

std::vector<InstrumentRecord> SampleNames(const MarketRecord& market) {
  const std::string bytes = ReadBytes(MarketFile(quoteservertest::SampleRoot(), market, "nametbl"));
  std::vector<InstrumentRecord> names(bytes.size() / sizeof(InstrumentRecord));
  std::memcpy(names.data(), bytes.data(), names.size() * sizeof(InstrumentRecord));
  return names;
}

// A loader notifier that records the texts shown (from whatever thread).
class RecordingNotifier : public ILoadNotifier {
 public:
  void Send(HWND, UINT, WPARAM, LPARAM) override {}
  void ShowError(const char* text, const char*) override { errors.push_back(text); }
  std::vector<std::string> errors;
};

// A request client that notes the thread it was destroyed on.
class NotedClient : public TNormalClnt {
 public:
  explicit NotedClient(std::atomic<bool>* destroyedOnThisThread) : out_(destroyedOnThisThread) {}
  ~NotedClient() override { *out_ = std::this_thread::get_id() == testThread_; }

 private:
  std::atomic<bool>* out_;
  std::thread::id testThread_ = std::this_thread::get_id();
};

class Downloads : public quoteservertest::ServerTest {
 protected:
  void SetUp() override { ResetRequestQueue(); }
  void TearDown() override {
    DeleteMarketTables();
    quoteservertest::ServerTest::TearDown();
  }

  void Start() {
    zuvo::quoteserver::ServerConfig config = SampleConfig();
    config.timedPush = false;
    StartServer(config);
  }
  void On(const std::string& fault) { ASSERT_EQ(server_->Command("fault " + fault), "fault " + fault + " on"); }
  void Off(const std::string& fault) {
    const std::string name = fault.substr(0, fault.find('='));
    server_->Command("fault -" + name);
  }

  // A blocking request client logged in (one stage) with a login frame built here.
  template <class Client = TNormalClnt, class... Args>
  std::unique_ptr<Client> LoggedIn(Args&&... args) {
    auto client = std::make_unique<Client>(std::forward<Args>(args)...);
    EXPECT_EQ(client->Create(), 1);
    EXPECT_EQ(client->Connect("127.0.0.1", requestPort()), 1);
    RequestRecord login;
    login.kind = kRequestLogin;
    std::strcpy(login.text, "test");
    std::strcpy(login.code, "pw");
    login.value1 = 1;
    login.value2 = 2;
    EXPECT_GT(BuildRequestFrame(client.get(), &login), 0);
    EXPECT_EQ(client->ReadFrameHeader(), 1);
    EXPECT_GE(client->ReadFrameBody(), 0);
    EXPECT_EQ(int{client->header.type}, 3);
    return client;
  }

  // The sample description files in the client's tree and a table for each market.
  void InstallSampleConfig() {
    WriteBytes(install_.cfg() / "mkinfo.cfg", ReadBytes(quoteservertest::SampleRoot() / "cfg" / "mkinfo.cfg"));
    WriteBytes(install_.cfg() / "systime.dat", ReadBytes(quoteservertest::SampleRoot() / "cfg" / "systime.dat"));
  }
  void BuildTables() {
    ASSERT_EQ(ReadMarketConfig(), 1);
    for (int i = 0; i < MarketConfigCount; ++i) {
      MarketTables[i] = new TMarketData(i, MarketConfigRecords[i]);
      MarketCount = i + 1;
    }
  }
  bool NoTemporaryFiles() {
    for (const fs::path& folder : {install_.bin(), install_.cfg()}) {
      for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name != "mkinfo.cfg" && name != "systime.dat") {
          ADD_FAILURE() << "left behind: " << entry.path();
          return false;
        }
      }
    }
    return true;
  }

  testsupport::TempInstall install_;
  const fs::path sample_ = quoteservertest::SampleRoot();
};

// ---- Market description files ----------------------------------------------------------------

TEST_F(Downloads, DescriptionFilesInstallWholeAndDatedOrTheOldOnesStay) {
  struct Row {
    const char* fault;   // empty: none
    int result;
    bool marketConfigInstalled;
    bool sysTimeInstalled;
  };
  const Row rows[] = {
      {"", 0, true, true},
      // The reply breaks inside its frame: the download fails before systime.dat is asked for.
      {"drop=config-mid", -1, false, false},
      // mkinfo.cfg half a record short: refused, systime.dat still installed.
      {"bad-config", 0, false, true},
  };
  Start();
  const std::string marketConfig = ReadBytes(sample_ / "cfg" / "mkinfo.cfg");
  const std::string sysTime = ReadBytes(sample_ / "cfg" / "systime.dat");
  for (const Row& row : rows) {
    SCOPED_TRACE(row.fault);
    WriteBytes(install_.cfg() / "mkinfo.cfg", kOldBytes);
    WriteBytes(install_.cfg() / "systime.dat", kOldBytes);
    if (*row.fault) On(row.fault);
    auto client = LoggedIn();
    EXPECT_EQ(client->DownloadMarketConfig(), row.result);
    if (*row.fault) {
      EXPECT_GE(Fired(std::string(row.fault).substr(0, std::string(row.fault).find('='))), 1u);
      Off(row.fault);
    }
    EXPECT_EQ(ReadBytes(install_.cfg() / "mkinfo.cfg"), row.marketConfigInstalled ? marketConfig : kOldBytes);
    EXPECT_EQ(ReadBytes(install_.cfg() / "systime.dat"), row.sysTimeInstalled ? sysTime : kOldBytes);
    if (row.marketConfigInstalled) {
      EXPECT_EQ(FileDate(install_.cfg() / "mkinfo.cfg"), FileDate(sample_ / "cfg" / "mkinfo.cfg"));
    }
    if (row.sysTimeInstalled) {
      EXPECT_EQ(FileDate(install_.cfg() / "systime.dat"), FileDate(sample_ / "cfg" / "systime.dat"));
    }
    EXPECT_TRUE(NoTemporaryFiles());
    EXPECT_EQ(client->handle != -1, row.result == 0) << "a broken reply closes the connection";
  }
}

TEST_F(Downloads, AnUpToDateCopyIsAnsweredWithTheHeadOnlyAndStays) {
  Start();
  auto client = LoggedIn();
  ASSERT_EQ(client->DownloadMarketConfig(), 0);
  // The copy now matches the server's size and date; its bytes are changed behind its back, so
  // a second install would show.
  const fs::path installed = install_.cfg() / "mkinfo.cfg";
  const auto written = fs::last_write_time(installed);
  std::string changed = ReadBytes(installed);
  changed[0] = static_cast<char>(changed[0] ^ 0x5A);
  WriteBytes(installed, changed);
  fs::last_write_time(installed, written);
  const std::string sysTime = ReadBytes(install_.cfg() / "systime.dat");

  EXPECT_EQ(client->DownloadMarketConfig(), 0);
  EXPECT_EQ(ReadBytes(installed), changed);
  EXPECT_EQ(ReadBytes(install_.cfg() / "systime.dat"), sysTime);
  EXPECT_TRUE(NoTemporaryFiles());
  EXPECT_NE(client->handle, -1);
}

// Scripted replies: a head of `name` with the size and date fields, then the data.
std::string ConfigBody(const char* name, const std::string& data, std::uint32_t date, int size = -1) {
  std::string body(38, '\0');
  std::memcpy(body.data(), name, std::strlen(name));
  const std::uint32_t declared = size < 0 ? static_cast<std::uint32_t>(data.size()) : static_cast<std::uint32_t>(size);
  body[32] = static_cast<char>(declared);
  body[33] = static_cast<char>(declared >> 8);
  for (int i = 0; i < 4; ++i) body[34 + i] = static_cast<char>(date >> (8 * i));
  return body + data;
}

MarketRecord PlausibleMarket() {
  MarketRecord market{};
  market.kind = 1;
  std::strcpy(market.name, "M");
  std::strcpy(market.code, "MK");
  std::strcpy(market.fileExt, "mk");
  market.capacity = 16;
  market.categoryCount = 1;
  market.categories[0].sessionCount = 1;
  market.categories[0].openMinute[0] = 600;
  market.categories[0].closeMinute[0] = 700;
  return market;
}

// Frames of one reply of `type`, one body each.
std::string Reply(std::uint8_t type, const std::vector<std::string>& bodies) {
  std::string frames;
  for (std::size_t i = 0; i < bodies.size(); ++i) {
    FrameFields fields;
    fields.type = type;
    fields.body = bodies[i];
    fields.count = static_cast<std::uint16_t>(bodies.size());
    fields.index = static_cast<std::uint16_t>(i);
    frames += Frame(fields);
  }
  return frames;
}

class ScriptedDownloads : public testing::Test {
 protected:
  void TearDown() override { DeleteMarketTables(); }
  testsupport::TempInstall install_;
};

constexpr std::uint32_t kDate = 20240628;

TEST_F(ScriptedDownloads, OnlyAPlausibleCompleteFileIsInstalled) {
  const MarketRecord good = PlausibleMarket();
  const std::string twoMarkets = Bytes(&good, sizeof good) + Bytes(&good, sizeof good);
  const auto market = [&](const std::function<void(MarketRecord&)>& change) {
    MarketRecord record = good;
    change(record);
    return Bytes(&good, sizeof good) + Bytes(&record, sizeof record);
  };
  const auto config = [&](const std::string& data, std::uint32_t date = kDate) {
    return Reply(206, {ConfigBody("MKINFO.CFG", data.substr(0, 1590), date, static_cast<int>(data.size())),
                       ConfigBody("MKINFO.CFG", data.substr(1590), date, static_cast<int>(data.size()))});
  };
  const std::string sysTime(24872, '\x11');
  const auto sysTimeReply = [&](const std::string& data) {
    std::vector<std::string> bodies;
    for (std::size_t at = 0; at < data.size(); at += 8000) {
      bodies.push_back(ConfigBody("SYSTIME.DAT", data.substr(at, 8000), kDate, static_cast<int>(data.size())));
    }
    return Reply(206, bodies);
  };
  const std::string configHeadOnly = Reply(206, {ConfigBody("MKINFO.CFG", "", kDate, 3180)});
  const std::string sysTimeHeadOnly = Reply(206, {ConfigBody("SYSTIME.DAT", "", kDate, 24872)});

  struct Row {
    const char* name;
    std::string marketConfigReply;
    std::string sysTimeReply;
    int result;
    bool marketConfigInstalled;
    bool sysTimeInstalled;
  };
  const Row rows[] = {
      {"both plausible", config(twoMarkets), sysTimeReply(sysTime), 0, true, true},
      {"heads only", Reply(206, {ConfigBody("MKINFO.CFG", "", kDate, 3180), ConfigBody("MKINFO.CFG", "", kDate, 3180)}),
       sysTimeHeadOnly, 0, false, false},
      {"a refusal", Frame(2, std::string("\x00\x01no such file\x00", 15)), sysTimeHeadOnly, 0, false, false},
      {"data, then a head without data",
       Reply(206, {ConfigBody("MKINFO.CFG", twoMarkets, kDate), ConfigBody("MKINFO.CFG", "", kDate, 3180)}),
       sysTimeHeadOnly, 0, false, false},
      {"not whole records",
       Reply(206, {ConfigBody("MKINFO.CFG", twoMarkets + "x", kDate)}), sysTimeHeadOnly, 0, false, false},
      {"no categories", config(market([](MarketRecord& r) { r.categoryCount = 0; })), sysTimeHeadOnly, 0, false, false},
      {"16 categories", config(market([](MarketRecord& r) { r.categoryCount = 16; })), sysTimeHeadOnly, 0, false, false},
      {"a code that climbs", config(market([](MarketRecord& r) { std::strcpy(r.code, ".."); })), sysTimeHeadOnly, 0,
       false, false},
      {"an extension with a separator", config(market([](MarketRecord& r) { std::strcpy(r.fileExt, "a\\b"); })),
       sysTimeHeadOnly, 0, false, false},
      {"an empty extension", config(market([](MarketRecord& r) { r.fileExt[0] = '\0'; })), sysTimeHeadOnly, 0, false,
       false},
      {"an unterminated code", config(market([](MarketRecord& r) { std::memset(r.code, 'A', sizeof r.code); })),
       sysTimeHeadOnly, 0, false, false},
      {"no calendar date", config(twoMarkets, 20240231), sysTimeHeadOnly, 0, false, false},
      {"no date", config(twoMarkets, 0), sysTimeHeadOnly, 0, false, false},
      {"the head of another file",
       Reply(206, {ConfigBody("SYSTIME.DAT", twoMarkets, kDate)}), sysTimeHeadOnly, 0, false, false},
      {"a size the data does not have",
       Reply(206, {ConfigBody("MKINFO.CFG", twoMarkets, kDate, 3180 + 1590)}), sysTimeHeadOnly, 0, false, false},
      {"systime.dat a byte short", configHeadOnly, sysTimeReply(sysTime.substr(1)), 0, false, false},
      // Frames out of order are no reply: the stream is out of step.
      {"frames out of order",
       Frame({206, ConfigBody("MKINFO.CFG", twoMarkets, kDate), 2, 1}) +
           Frame({206, ConfigBody("MKINFO.CFG", twoMarkets, kDate), 2, 0}),
       sysTimeHeadOnly, -1, false, false},
      // The connection ends inside the reply.
      {"a reply cut short", config(twoMarkets).substr(0, 2000), "", -1, false, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    WriteBytes(install_.cfg() / "mkinfo.cfg", kOldBytes);
    WriteBytes(install_.cfg() / "systime.dat", kOldBytes);
    ScriptedRequest client;
    client.peerClosed = true;
    client.Queue({row.marketConfigReply, row.sysTimeReply});
    EXPECT_EQ(client.DownloadMarketConfig(), row.result);
    EXPECT_EQ(ReadBytes(install_.cfg() / "mkinfo.cfg"), row.marketConfigInstalled ? twoMarkets : kOldBytes);
    EXPECT_EQ(ReadBytes(install_.cfg() / "systime.dat"), row.sysTimeInstalled ? sysTime : kOldBytes);
    if (row.marketConfigInstalled) {
      EXPECT_EQ(FileDate(install_.cfg() / "mkinfo.cfg"), kDate);
    }
    EXPECT_FALSE(fs::exists(install_.bin() / "updt.tmp"));
    EXPECT_EQ(std::distance(fs::directory_iterator(install_.cfg()), fs::directory_iterator()), 2);
    // Both files were asked for by name unless the first download failed.
    ASSERT_GE(client.sent.size(), 48u);
    EXPECT_EQ(client.sent.substr(10, 10), "MKINFO.CFG");
    if (row.result == 0) {
      EXPECT_EQ(client.sent.substr(58, 11), "SYSTIME.DAT");
    }
  }
}

// ---- Name tables -------------------------------------------------------------------------------

TEST_F(Downloads, ANameTableFillsItsMarketAndReplacesNametblOnlyWhenOneCame) {
  struct Row {
    int market;
    const char* fault;
    bool succeeds;
    int extra;   // names-overflow: records the server sends beyond the capacity
  };
  const Row rows[] = {
      {0, "", true, 0},
      {3, "", true, 0},
      {0, "names-error", false, 0},
      {0, "names-empty", false, 0},
      {3, "names-empty", false, 0},
      {0, "drop=names-mid", false, 0},
      {0, "names-overflow=5", true, 5},
      {3, "names-overflow=40", true, 40},
  };
  Start();
  InstallSampleConfig();
  BuildTables();
  const std::vector<MarketRecord> markets = SampleMarketRecords();
  for (const Row& row : rows) {
    SCOPED_TRACE(std::to_string(row.market) + " " + row.fault);
    const MarketRecord& market = markets[static_cast<std::size_t>(row.market)];
    const fs::path nametbl = MarketFile(install_.root(), market, "nametbl");
    const fs::path nametble = MarketFile(install_.root(), market, "nametble");
    WriteBytes(nametbl, kOldBytes);
    if (row.market == kAltCodeMarket) WriteBytes(nametble, kOldBytes);
    if (*row.fault) On(row.fault);
    auto client = LoggedIn();
    const int result = client->DownloadNameTable(row.market);
    if (*row.fault) Off(row.fault);

    TMarketData* table = MarketTables[row.market];
    const std::vector<InstrumentRecord> served = SampleNames(market);
    if (!row.succeeds) {
      EXPECT_EQ(result, -1);
      EXPECT_EQ(ReadBytes(nametbl), kOldBytes);
      if (row.market == kAltCodeMarket) {
        EXPECT_EQ(ReadBytes(nametble), kOldBytes);
      }
      EXPECT_EQ(client->handle, -1) << "a failed download closes the connection";
      continue;
    }
    // names-overflow sends capacity + N records: the table fills up and the rest is dropped.
    const int expected = row.extra > 0 ? table->capacity : static_cast<int>(served.size());
    EXPECT_EQ(result, expected);
    ASSERT_EQ(table->count, expected);
    for (std::size_t i = 0; i < served.size() && i < static_cast<std::size_t>(expected); ++i) {
      EXPECT_EQ(table->names[i].code, Code(served[i].code));
      EXPECT_EQ(table->names[i].index, i);
      EXPECT_EQ(table->FindCode(Code(served[i].code).c_str()), static_cast<int>(i));
    }
    EXPECT_EQ(ReadBytes(nametbl), Bytes(table->names, static_cast<std::size_t>(expected) * sizeof(InstrumentRecord)));
    if (row.market == kAltCodeMarket) {
      const std::string alt = ReadBytes(MarketFile(sample_, market, "nametble"));
      for (std::size_t i = 0; i < served.size(); ++i) EXPECT_STREQ(table->altCodes[i].code, alt.data() + i * 7);
      EXPECT_EQ(ReadBytes(nametble), Bytes(table->altCodes, static_cast<std::size_t>(expected) * 7));
    }
    EXPECT_NE(client->handle, -1);
  }
}

TEST_F(ScriptedDownloads, AlternativeCodesGoToTheFirstInstrumentOfTheirCodeReadWithinSevenBytes) {
  MarketRecord record = PlausibleMarket();
  std::strcpy(record.code, "HK");
  std::strcpy(record.fileExt, "hk");
  MarketTables[kAltCodeMarket] = new TMarketData(kAltCodeMarket, record);
  MarketCount = kAltCodeMarket + 1;
  TMarketData* table = MarketTables[kAltCodeMarket];
  ASSERT_NE(table->altCodes, nullptr);

  const auto instrument = [](const char* code) {
    InstrumentRecord r{};
    std::memcpy(r.code, code, std::min<std::size_t>(std::strlen(code), sizeof r.code));
    std::strcpy(r.name, "N");
    return Bytes(&r, sizeof r);
  };
  const auto entry = [](const char* alt, const std::string& code7) {
    std::string e(14, '\0');
    std::memcpy(e.data(), alt, std::strlen(alt));
    std::memcpy(e.data() + 7, code7.data(), std::min<std::size_t>(code7.size(), 7));
    return e;
  };
  const std::string names = std::string(1, kAltCodeMarket) + instrument("AAAAAA") + instrument("BBB   ") +
                            instrument("AAAAAA") + instrument("CCCCCC");
  const std::string entries = std::string(1, kAltCodeMarket) + entry("X1", "AAAAAA") + entry("X2", "BBB  ") +
                              entry("X3", "CCCCCCC") + entry("X4", "ZZZ") + entry("X5", "");

  ScriptedRequest client;
  client.peerClosed = true;
  client.Queue({Frame(6, names), Reply(34, {entries.substr(0, 1 + 28), std::string(1, kAltCodeMarket) + entries.substr(29)})});
  ASSERT_EQ(client.DownloadNameTable(kAltCodeMarket), 4);
  const char* expected[] = {"X1", "X2", "", ""};
  for (int i = 0; i < 4; ++i) EXPECT_STREQ(table->altCodes[i].code, expected[i]) << i;
  EXPECT_STREQ(table->names[1].code, "BBB");
  EXPECT_EQ(ReadBytes(install_.data() / "HK" / "nametble.hk"), Bytes(table->altCodes, 4 * 7));
  EXPECT_EQ(ReadBytes(install_.data() / "HK" / "nametbl.hk").size(), 4 * sizeof(InstrumentRecord));
  // Sent: the names of market 3, then its extension records.
  ASSERT_EQ(client.sent.size(), 22u);
  EXPECT_EQ(int{static_cast<std::uint8_t>(client.sent[1])}, 6);
  EXPECT_EQ(int{static_cast<std::uint8_t>(client.sent[12])}, 34);
}

TEST_F(ScriptedDownloads, NamesOfAnotherMarketOrAnotherReplyAreNoNameTable) {
  MarketTables[0] = new TMarketData(0, PlausibleMarket());
  MarketCount = 1;
  const std::string record = [] {
    InstrumentRecord r{};
    std::strcpy(r.code, "600000");
    return Bytes(&r, sizeof r);
  }();
  const fs::path nametbl = install_.data() / "MK" / "nametbl.mk";
  const struct {
    const char* name;
    std::string reply;
  } rows[] = {
      {"another market's names", Frame(6, std::string(1, '\x05') + record)},
      {"another reply", Frame(12, std::string(1, '\0') + record)},
      {"a refusal", Frame(2, std::string("\x00\x01refused\x00", 10))},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    WriteBytes(nametbl, kOldBytes);
    ScriptedRequest client;
    client.peerClosed = true;
    client.Queue({row.reply});
    EXPECT_EQ(client.DownloadNameTable(0), -1);
    EXPECT_EQ(MarketTables[0]->count, 0);
    EXPECT_EQ(ReadBytes(nametbl), kOldBytes);
  }
}

// ---- The market loader through the real client -------------------------------------------------

TEST_F(Downloads, TheLoaderBuildsTheSampleMarketsOnlineThroughTheRealClient) {
  Start();
  RequestClientOwner owner;
  TNormalClnt* client = owner.Install(LoggedIn());
  ASSERT_EQ(client->DownloadMarketConfig(), 0);
  RecordingNotifier notifier;
  ASSERT_EQ(LoadMarkets(true, nullptr, &notifier), 1);
  EXPECT_TRUE(notifier.errors.empty());
  const std::vector<MarketRecord> markets = SampleMarketRecords();
  ASSERT_EQ(MarketCount, static_cast<int>(markets.size()));
  for (std::size_t m = 0; m < markets.size(); ++m) {
    SCOPED_TRACE(m);
    const std::vector<InstrumentRecord> served = SampleNames(markets[m]);
    ASSERT_EQ(MarketTables[m]->count, static_cast<int>(served.size()));
    for (std::size_t i = 0; i < served.size(); ++i) {
      EXPECT_EQ(FindInstrumentInMarket(Code(served[i].code).c_str(), static_cast<int>(m)), &MarketTables[m]->names[i]);
    }
    EXPECT_TRUE(fs::exists(MarketFile(install_.root(), markets[m], "nametbl")));
  }
  EXPECT_STREQ(MarketTables[kAltCodeMarket]->altCodes[1].code, "E00011");
  EXPECT_EQ(RequestClient(), client);
  EXPECT_EQ(client->handle != -1, true);
}

TEST_F(Downloads, ABrokenDownloadOnTheLoginWorkerDropsTheClientOnTheUiThreadAndLeavesTheProgramOffline) {
  Start();
  InstallSampleConfig();
  // The files of an earlier session, for offline browsing.
  const std::vector<MarketRecord> markets = SampleMarketRecords();
  for (const MarketRecord& market : markets) {
    WriteBytes(MarketFile(install_.root(), market, "nametbl"), ReadBytes(MarketFile(sample_, market, "nametbl")));
  }
  const std::string oldNames = ReadBytes(MarketFile(install_.root(), markets[0], "nametbl"));

  RequestClientOwner owner;
  std::atomic<bool> destroyedOnUiThread{false};
  owner.Install(LoggedIn<NotedClient>(&destroyedOnUiThread));
  On("drop=names-mid");
  RecordingNotifier notifier;
  std::atomic<bool> done{false};
  int loaded = -1;
  std::thread worker([&] {
    loaded = LoadMarkets(true, nullptr, &notifier);
    done = true;
  });
  ASSERT_TRUE(zuvo::platform::PumpMessagesUntil([&] { return done.load(); }, 60000));
  worker.join();

  EXPECT_EQ(loaded, 0);
  EXPECT_EQ(notifier.errors, std::vector<std::string>{kDownloadFailedText});
  EXPECT_EQ(RequestClient(), nullptr);
  EXPECT_EQ(owner.client(), nullptr);
  EXPECT_TRUE(destroyedOnUiThread.load());
  EXPECT_EQ(ReadBytes(MarketFile(install_.root(), markets[0], "nametbl")), oldNames);

  // Offline from here on: the next load reads the files kept.
  Off("drop");
  EXPECT_EQ(LoadMarkets(true, nullptr, &notifier), 1);
  EXPECT_EQ(MarketCount, static_cast<int>(markets.size()));
  EXPECT_EQ(MarketTables[0]->count, static_cast<int>(SampleNames(markets[0]).size()));
}

}  // namespace
}  // namespace nettest

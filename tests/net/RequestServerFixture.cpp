#include "net/RequestServerFixture.h"

#include "core/PackedTime.h"
#include "data/DataIO.h"
#include "data/Messages.h"
#include "data/NewsIndex.h"
#include "data/StkPtr.h"
#include "data/UtilData.h"
#include "net/DispatchInfo.h"
#include "net/PageCells.h"
#include "platform/Message.h"
#include "platform/Paths.h"

#include <chrono>
#include <cstring>
#include <ctime>

namespace nettest {
namespace {

namespace fs = std::filesystem;

// The loader's texts go nowhere: a test asserts on the tables.
class QuietNotifier : public ILoadNotifier {
 public:
  void Send(HWND, UINT, WPARAM, LPARAM) override {}
  void ShowError(const char* text, const char*) override { ADD_FAILURE() << "market load: " << text; }
};

// The clock word of a UTC second: the calendar minute.
std::uint32_t ClockWord(std::int64_t utc) {
  const std::time_t seconds = static_cast<std::time_t>(utc);
  std::tm calendar{};
  gmtime_r(&seconds, &calendar);
  return MakePackedTime(calendar.tm_year + 1900, calendar.tm_mon + 1, calendar.tm_mday, calendar.tm_hour,
                        calendar.tm_min);
}

}  // namespace

void RequestServerTest::SetUp() {
  std::memcpy(savedUserDir_, UserDir, sizeof savedUserDir_);
  std::strcpy(UserDir, "..\\user\\");
  savedNow_ = SystemNow;
  savedMaxDataRecords_ = MaxDataRecords;
  NormalClnt = nullptr;
  ResetRequestQueue();
  zuvo::net::ResetDispatchState();
  zuvo::net::SetDispatchTempFolder(zuvo::platform::paths::ToWindows((install_.root() / "tmp").string()) + "\\");
  fs::create_directories(install_.root() / "tmp");
  NewsIndex.NewsCatchUpFlag = 0;
  NewsIndex.Load();   // the tree's empty index: nothing of an earlier test
}

void RequestServerTest::TearDown() {
  NormalClnt = nullptr;
  owner_.reset();   // drops the client (its close is posted to the recorder)
  client_ = nullptr;
  main_.Pump();
  ResetRequestQueue();
  zuvo::net::ResetDispatchState();
  zuvo::net::SetPageCells(nullptr);
  DeleteMarketTables();
  NewsIndex.NewsCatchUpFlag = 0;
  NewsIndex.dirty = 0;
  NewsIndex.Load();
  NewsIndex.dirty = 0;
  std::strcpy(UserDir, savedUserDir_);
  SystemNow = savedNow_;
  MaxDataRecords = savedMaxDataRecords_;
  quoteservertest::ServerTest::TearDown();
}

void RequestServerTest::Start(std::int64_t utc) {
  now_ = utc;
  SystemNow = ClockWord(utc);
  zuvo::quoteserver::ServerConfig config = SampleConfig();
  config.timedPush = false;
  StartServer(config, DrivenTicker());
}

std::unique_ptr<TNormalClnt> RequestServerTest::LoginClient() {
  testsupport::WriteBytes(install_.bin() / "server.ini",
                          testsupport::CrlfLines({"[Server]", "NOJH=1", "Address=127.0.0.1",
                                                  "Port=" + std::to_string(mainPort()),
                                                  "Port1=" + std::to_string(requestPort())}));
  testsupport::WriteBytes(install_.user() / "SERVER.INI",
                          testsupport::CrlfLines({"[Server]", "UserName=test", "Password=pw"}));
  auto client = std::make_unique<TNormalClnt>();
  const int result = client->Connect(nullptr, false);
  EXPECT_EQ(result, 0) << client->errorText;
  if (result != 0) return nullptr;
  return client;
}

void RequestServerTest::Connect(const std::function<void(TNormalClnt*)>& beforeAsync) {
  owner_ = std::make_unique<RequestClientOwner>();
  std::unique_ptr<TNormalClnt> client = LoginClient();
  ASSERT_NE(client, nullptr);
  client_ = owner_->Install(std::move(client));
  SystemNow = ClockWord(now_.load());
  ASSERT_EQ(client_->DownloadMarketConfig(), 0);
  QuietNotifier notifier;
  ASSERT_EQ(LoadMarkets(true, nullptr, &notifier), 1);
  ASSERT_GE(MarketCount, 4);
  SetClock(now_.load());
  if (beforeAsync) beforeAsync(client_);
  ASSERT_EQ(client_->StartAsync(), 1);
  ResetRequestQueue();
  NormalClnt = client_;
  main_.Pump();
  main_.Clear();
}

void RequestServerTest::SetClock(std::int64_t utc) {
  now_ = utc;
  SystemNow = ClockWord(utc);
  for (int m = 0; m < MarketCount; ++m) {
    TMarketData* table = MarketTables[m];
    if (table == nullptr) continue;
    table->UpdateClock(SystemNow);
    // The trading day of each category, as the table's start sets it: today once the
    // category's day has changed, else the day before.
    for (int c = 0; c < table->record.categoryCount && c < kMaxCategories; ++c) {
      table->tradingDate[c] = table->now;
      if (!table->IsCategoryClosed(c)) PrevDay(&table->tradingDate[c]);
    }
  }
}

void RequestServerTest::On(const std::string& fault) {
  ASSERT_EQ(server_->Command("fault " + fault), "fault " + fault + " on");
}

void RequestServerTest::Off(const std::string& name) { server_->Command("fault -" + name); }

bool RequestServerTest::Pump(const std::function<bool()>& done, int seconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  zuvo::platform::PumpMessagesUntil([&] { return done() || std::chrono::steady_clock::now() > deadline; },
                                    0x7FFFFFFF);
  main_.Pump();
  return done();
}

bool RequestServerTest::AwaitIdle() {
  return Pump([] {
    const zuvo::net::RequestQueueState state = zuvo::net::GetRequestQueueState();
    return state.inFlight == 0 && state.pending == 0;
  });
}

bool RequestServerTest::AwaitServerReceived(std::uint8_t type, std::uint64_t total) {
  // Pumping meanwhile: the request may go out only once earlier replies were handled.
  return Pump([&] { return server_->AwaitReceived(zuvo::quoteserver::PortRole::kRequest, type, total, 0); });
}

TMarketData* RequestServerTest::Table(int market) { return market < MarketCount ? MarketTables[market] : nullptr; }

int RequestServerTest::Index(int market, const char* code) {
  TMarketData* table = Table(market);
  const int index = table == nullptr ? -1 : table->FindCode(code);
  EXPECT_GE(index, 0) << code << " in market " << market;
  return index;
}

LPARAM RequestServerTest::Packed(int market, int index) {
  return static_cast<LPARAM>(
      StkPtrToWord(StkmsToStkPtr(STKMS{static_cast<std::uint8_t>(market), static_cast<std::uint16_t>(index)})));
}

std::vector<MessageRecorder::Message> RequestServerTest::ServerData(int type) {
  std::vector<MessageRecorder::Message> found;
  for (const MessageRecorder::Message& message : main_.Of(MsgServerData)) {
    if (static_cast<int>((message.wParam >> 16) & 0xFFFF) == type) found.push_back(message);
  }
  return found;
}

std::uint64_t RequestServerTest::Received(std::uint8_t type) {
  std::uint64_t total = 0;
  for (const auto& connection : server_->Connections()) total += connection.received[type];
  return total;
}

const zuvo::model::MarketModel& RequestServerTest::Model() {
  static const std::unique_ptr<zuvo::model::MarketModel> model = [] {
    std::string error;
    auto loaded = zuvo::model::MarketModel::Load(quoteservertest::SampleRoot(), 1, &error);
    if (!loaded) ADD_FAILURE() << "the sample model: " << error;
    return loaded;
  }();
  return *model;
}

fs::path RequestServerTest::Local(const std::string& windowsPath) const {
  return fs::path(zuvo::platform::paths::Resolve(windowsPath));
}

std::vector<std::string> RequestServerTest::FilesUnder(const fs::path& folder) {
  std::vector<std::string> files;
  std::error_code error;
  for (auto it = fs::recursive_directory_iterator(folder, error); !error && it != fs::recursive_directory_iterator();
       it.increment(error)) {
    if (it->is_regular_file()) files.push_back(fs::relative(it->path(), folder).generic_string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::string FileBytes(const fs::path& file) {
  if (!fs::exists(file)) return {};
  return testsupport::ReadBytes(file);
}

}  // namespace nettest

// The market loader: mkinfo.cfg, offline and online name tables, quotes, progress messages.
#include "data/DataIO.h"

#include "core/GuardedAlloc.h"

#include "FakeRequestClient.h"
#include "MarketTestUtil.h"
#include "data/IRequestClient.h"
#include "data/Messages.h"
#include "data/TimeZones.h"
#include "data/UtilData.h"
#include "platform/Files.h"
#include "platform/Kernel.h"
#include "platform/Message.h"
#include "platform/Paths.h"
#include "platform/MessageBox.h"
#include "platform/WinUser.h"
#include "support/TempInstall.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

using namespace zuvo::platform;

namespace {

using markettest::Bytes;
using markettest::MakeInstrument;
using markettest::MakeRecord;
using markettest::ScopedMarkets;
using testsupport::ReadBytes;
using testsupport::WriteBytes;

// Records what the loader sends and shows, and the thread it did it on.
class RecordingNotifier : public ILoadNotifier {
 public:
  struct Message {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD thread;
  };
  void Send(HWND, UINT message, WPARAM wParam, LPARAM lParam) override {
    std::lock_guard<std::mutex> lock(mutex);
    messages.push_back({message, wParam, lParam, GetCurrentThreadId()});
  }
  void ShowError(const char* text, const char* caption) override {
    std::lock_guard<std::mutex> lock(mutex);
    errors.push_back(std::string(text) + "|" + caption);
  }
  std::vector<UINT> MessageIds() const {
    std::vector<UINT> ids;
    for (const Message& m : messages) ids.push_back(m.message);
    return ids;
  }
  std::mutex mutex;
  std::vector<Message> messages;
  std::vector<std::string> errors;
};

HWND TestWindow() { return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(0x1234)); }

class DataIOTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::strcpy(savedUserDir, UserDir);
    std::strcpy(UserDir, "..\\user\\");
  }
  void TearDown() override { std::strcpy(UserDir, savedUserDir); }

  // Writes mkinfo.cfg with the given records (and optional trailing bytes).
  void WriteConfig(const std::vector<MarketRecord>& records, const std::string& tail = {}) {
    WriteBytes(install.cfg() / "mkinfo.cfg", Bytes(records) + tail);
  }
  void WriteNames(const char* folder, const std::vector<InstrumentRecord>& names, const std::string& tail = {}) {
    WriteBytes(install.data() / folder / "nametbl.tst", Bytes(names) + tail);
  }

  testsupport::TempInstall install;
  ScopedMarkets markets;
  RecordingNotifier notifier;
  char savedUserDir[kUserDirSize] = {};
};

const char kErrorText[] = "错误";

// The generator program: under ZUVO_TOOLS_DIR, else in the build tree beside tests/.
std::string SampleMarketTool() {
  if (const char* tools = std::getenv("ZUVO_TOOLS_DIR"); tools != nullptr && tools[0] != '\0') {
    return std::string(tools) + "/sample-market/sample-market";
  }
  char program[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, program, sizeof program);
  const std::filesystem::path self = paths::Resolve(program);
  return (self.parent_path().parent_path() / "tools" / "sample-market" / "sample-market").string();
}

TEST_F(DataIOTest, LoadsTheSampleMarketOffline) {
  std::string command = "\"";
  command.append(SampleMarketTool()).append("\" \"").append(install.root().string()).append("\"");
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  const std::string realSh = ReadBytes(install.data() / "SH" / "real.sh");

  {
    TDataIO io(TestWindow(), &notifier);
    ASSERT_EQ(io.status, 0) << (notifier.errors.empty() ? "" : notifier.errors[0]);
    ASSERT_EQ(MarketCount, 4);
    EXPECT_EQ(notifier.MessageIds(),
              (std::vector<UINT>{MsgLoginSyncMarket, MsgLoginSyncMarket, MsgLoginSyncMarket,
                                 MsgLoginSyncMarket, MsgLoginDone}));
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(notifier.messages[static_cast<std::size_t>(i)].wParam, 4u);
      EXPECT_EQ(notifier.messages[static_cast<std::size_t>(i)].lParam, i);
    }

    int hint = 0;
    STKPTR index;
    ASSERT_EQ(FindStkPtrByCode("000001", &hint, &index, false), 1);
    EXPECT_EQ(index.category, 0);
    EXPECT_TRUE(MarketTables[0]->record.categories[index.category].noDepth);
    ASSERT_EQ(FindStkPtrByCode("399001", &hint, &index, true), 1);
    EXPECT_EQ(hint, 1);
    EXPECT_STREQ(GetInstrumentRecord(index)->name, "深证成指");

    // A blank-padded futures code is found as typed; the night session is the fourth.
    TMarketData* futures = FindMarketByCode("qh");
    ASSERT_NE(futures, nullptr);
    EXPECT_NE(FindInstrumentInTable("m2409", futures), nullptr);
    EXPECT_EQ(futures->record.categories[0].sessionCount, 4);
    EXPECT_EQ(+futures->record.categories[0].minutesPerDay, 75 + 60 + 90 + 120);

    hint = 3;
    InstrumentRecord* hk = FindInstrumentByCode("00022", &hint, false);
    ASSERT_NE(hk, nullptr);
    EXPECT_STREQ(GetInstrumentExtRecord(STKPTR(3, 0, hk->index))->code, "E00022");
    EXPECT_EQ(MarketTables[0]->count, 13);
    EXPECT_EQ(Bytes(MarketTables[0]->quotes, realSh.size()), realSh);
    EXPECT_EQ(TimeZones.zoneCount, 4);
  }
  // Shutdown saves what was loaded: the quote file is unchanged.
  EXPECT_EQ(ReadBytes(install.data() / "SH" / "real.sh"), realSh);
  EXPECT_EQ(MarketCount, 0);
  EXPECT_EQ(MarketTables[0], nullptr);
}

TEST_F(DataIOTest, MarketConfigCountsWholeRecordsUpToFortyEight) {
  WriteConfig({MakeRecord("A"), MakeRecord("B"), MakeRecord("C")}, std::string(100, 'x'));
  EXPECT_EQ(ReadMarketConfig(), 1);
  EXPECT_EQ(MarketConfigCount, 3);

  std::vector<MarketRecord> many(50, MakeRecord("M"));
  many[0].categoryCount = 20;   // validated as it is read
  many[0].categories[0].sessionCount = 6;
  WriteConfig(many);
  EXPECT_EQ(ReadMarketConfig(), 1);
  EXPECT_EQ(MarketConfigCount, 48);
  EXPECT_EQ(+MarketConfigRecords[0].categoryCount, 15);
  EXPECT_EQ(MarketConfigRecords[0].categories[0].sessionCount, 2);

  std::filesystem::remove(install.cfg() / "mkinfo.cfg");
  EXPECT_EQ(ReadMarketConfig(), 0);
  EXPECT_EQ(MarketConfigCount, 0);
  TDataIO io(TestWindow(), &notifier);
  EXPECT_EQ(io.status, -1);
  EXPECT_TRUE(notifier.messages.empty());   // the login reports a missing description itself
  EXPECT_TRUE(notifier.errors.empty());
}

TEST_F(DataIOTest, NameTableAndQuoteFilesOfEverySize) {
  // capacity 4; the name file holds 6 records (cut to 4); the quote file 2 (the rest zero).
  MarketRecord record = MakeRecord("SH", 1, 4);
  WriteConfig({record, MakeRecord("SZ", 1, 4)});
  std::vector<InstrumentRecord> six;
  for (int i = 0; i < 6; ++i) {
    six.push_back(MakeInstrument(std::string("C").append(std::to_string(i)).append("   ").c_str()));
  }
  WriteNames("SH", six);
  QuoteRecord quote{};
  quote.last = 4242;
  WriteBytes(install.data() / "SH" / "real.tst", Bytes(&quote, sizeof quote) + Bytes(&quote, sizeof quote));
  // Second market: 33 bytes of names is one record; five quotes for one instrument.
  WriteNames("SZ", {MakeInstrument("X1")}, "z");
  std::vector<QuoteRecord> five(5, quote);
  WriteBytes(install.data() / "SZ" / "real.tst", Bytes(five));

  ASSERT_EQ(LoadMarkets(true, nullptr, &notifier), 1);
  TMarketData* sh = MarketTables[0];
  ASSERT_EQ(sh->count, 4);
  EXPECT_EQ(sh->FindCode("c3"), 3);
  EXPECT_EQ(sh->FindCode("C4"), -1);
  EXPECT_EQ(+sh->quotes[1].last, 4242u);
  EXPECT_EQ(+sh->quotes[2].last, 0u);
  EXPECT_EQ(+sh->quotes[3].last, 0u);
  TMarketData* sz = MarketTables[1];
  EXPECT_EQ(sz->count, 1);
  EXPECT_EQ(+sz->quotes[0].last, 4242u);
  EXPECT_EQ(+sz->quotes[1].last, 0u);   // beyond count: not read
  EXPECT_TRUE(notifier.messages.empty());   // no window, no messages
}

TEST_F(DataIOTest, OfflineWithoutTheSecondNameTableStopsAfterTheFirst) {
  WriteConfig({MakeRecord("SH"), MakeRecord("SZ"), MakeRecord("QH")});
  WriteNames("SH", {MakeInstrument("A")});
  WriteNames("QH", {MakeInstrument("Q")});
  const std::string previousQuotes(sizeof(QuoteRecord), 'p');
  WriteBytes(install.data() / "SZ" / "real.tst", previousQuotes);

  EXPECT_EQ(LoadMarkets(true, TestWindow(), &notifier), 0);
  EXPECT_EQ(notifier.MessageIds(), (std::vector<UINT>{MsgLoginSyncMarket, MsgLoginSyncMarket, MsgLoginError}));
  ASSERT_EQ(notifier.errors.size(), 1u);
  EXPECT_EQ(notifier.errors[0], std::string(kNoMarketFilesText) + "|" + kErrorText);
  EXPECT_EQ(std::string(kNoMarketFilesText), "市场信息不存在，不能脱机浏览。请连接服务器查看。  ");
  // The first market stays; the failed one is not counted and leaves no table behind.
  EXPECT_EQ(MarketCount, 1);
  ASSERT_NE(MarketTables[0], nullptr);
  EXPECT_EQ(MarketTables[1], nullptr);
  EXPECT_EQ(MarketTables[2], nullptr);
  EXPECT_EQ(ReadBytes(install.data() / "SZ" / "real.tst"), previousQuotes);
}

TEST_F(DataIOTest, AMarketWhoseArraysCannotBeAllocatedStopsTheLoad) {
  // The second market is too large for the memory left: its table carries the out-of-memory
  // status and must not be loaded into null arrays.
  WriteConfig({MakeRecord("SH", 1, 8), MakeRecord("SZ", 1, 4000), MakeRecord("QH", 1, 8)});
  WriteNames("SH", {MakeInstrument("A")});
  WriteNames("SZ", {MakeInstrument("B")});
  WriteNames("QH", {MakeInstrument("C")});
  const std::string previousQuotes(sizeof(QuoteRecord), 'p');
  WriteBytes(install.data() / "SZ" / "real.tst", previousQuotes);
  ScopedGuardedAllocLimit limit(100000);

  TMarketData direct(1, MakeRecord("SZ", 1, 4000));
  EXPECT_EQ(direct.status, kStatusOutOfMemory);
  EXPECT_EQ(direct.names, nullptr);
  EXPECT_EQ(direct.quotes, nullptr);
  EXPECT_EQ(direct.count, 0);
  EXPECT_EQ(FindInstrumentInTable("B", &direct), nullptr);

  EXPECT_EQ(LoadMarkets(true, TestWindow(), &notifier), 0);
  EXPECT_EQ(notifier.MessageIds(), (std::vector<UINT>{MsgLoginSyncMarket, MsgLoginError}));
  ASSERT_EQ(notifier.errors.size(), 1u);
  EXPECT_EQ(notifier.errors[0], std::string("内存不足，初始化失败。  ") + "|" + kErrorText);
  EXPECT_EQ(MarketCount, 1);
  EXPECT_NE(MarketTables[0], nullptr);
  EXPECT_EQ(MarketTables[1], nullptr);
  EXPECT_EQ(MarketTables[2], nullptr);
  EXPECT_EQ(ReadBytes(install.data() / "SZ" / "real.tst"), previousQuotes);
}

TEST_F(DataIOTest, AMarketCodeThatEscapesTheDataFolderIsNotRead) {
  MarketRecord evil = MakeRecord("..");
  WriteConfig({evil});
  WriteBytes(install.root() / "nametbl.tst", Bytes(std::vector<InstrumentRecord>{MakeInstrument("A")}));
  EXPECT_EQ(LoadMarkets(true, TestWindow(), &notifier), 0);
  ASSERT_EQ(notifier.errors.size(), 1u);
  EXPECT_EQ(notifier.errors[0], std::string(kNoMarketFilesText) + "|" + kErrorText);
  EXPECT_EQ(MarketCount, 0);
}

TEST_F(DataIOTest, OnlineNamesComeFromTheRequestClientAndAreRepaired) {
  WriteConfig({MakeRecord("SH", 1, 8), MakeRecord("SZ", 1, 8)});
  RequestClientOwner owner;
  FakeRequestClient& client = *owner.Install(std::make_unique<FakeRequestClient>());
  InstrumentRecord wrong = MakeInstrument("ab  ", 1);
  wrong.market = 9;
  wrong.index = 77;
  client.nameTables[0] = {MakeInstrument("600100"), wrong};
  client.nameTables[1] = {MakeInstrument("000100")};

  ASSERT_EQ(LoadMarkets(true, TestWindow(), &notifier), 1);
  EXPECT_EQ(client.CountCalls("DownloadNameTable"), 2);
  EXPECT_EQ(client.calls[1].args[0], 1);
  int hint = 0;
  STKPTR found;
  ASSERT_EQ(FindStkPtrByCode("AB", &hint, &found, false), 1);
  EXPECT_EQ(found.market, 0);
  EXPECT_EQ(+found.index, 1);
  EXPECT_EQ(found.category, 1);
  EXPECT_EQ(MarketTables[0]->names[1].market, 0);
  EXPECT_EQ(RequestClient(), &client);
}

TEST_F(DataIOTest, AFailedDownloadGoesOfflineAndKeepsTheLastQuotes) {
  WriteConfig({MakeRecord("SH", 1, 8), MakeRecord("SZ", 1, 8)});
  const std::string previousQuotes(2 * sizeof(QuoteRecord), 'p');
  WriteBytes(install.data() / "SZ" / "real.tst", previousQuotes);
  int clientsDestroyed = 0;
  auto fake = std::make_unique<FakeRequestClient>();
  fake->nameTables[0] = {MakeInstrument("600100")};
  fake->nameTables[1] = {MakeInstrument("000100"), MakeInstrument("000200")};
  fake->failDownloads.insert(1);
  fake->partialRecords = 1;   // part of the table arrived before the failure
  fake->destructions = &clientsDestroyed;
  RequestClientOwner owner;
  owner.Install(std::move(fake));

  EXPECT_EQ(LoadMarkets(true, TestWindow(), &notifier), 0);
  EXPECT_EQ(notifier.MessageIds(), (std::vector<UINT>{MsgLoginSyncMarket, MsgLoginSyncMarket, MsgLoginError}));
  ASSERT_EQ(notifier.errors.size(), 1u);
  EXPECT_EQ(notifier.errors[0], std::string("网络故障，下载市场信息失败。  ") + "|" + kErrorText);
  // The owner dropped the client: the program is offline from here on.
  EXPECT_EQ(RequestClient(), nullptr);
  EXPECT_EQ(owner.client(), nullptr);
  EXPECT_EQ(clientsDestroyed, 1);
  EXPECT_EQ(MarketCount, 1);
  EXPECT_EQ(MarketTables[1], nullptr);
  EXPECT_EQ(ReadBytes(install.data() / "SZ" / "real.tst"), previousQuotes);
}

TEST_F(DataIOTest, QuotesSurviveAShutdownAndReload) {
  WriteConfig({MakeRecord("SH", 1, 8)});
  WriteNames("SH", {MakeInstrument("A"), MakeInstrument("B")});
  {
    TDataIO io(nullptr, &notifier);
    ASSERT_EQ(io.status, 0);
    MarketTables[0]->quotes[1].last = 987;
  }
  EXPECT_EQ(ReadBytes(install.data() / "SH" / "real.tst").size(), 2 * sizeof(QuoteRecord));
  TDataIO again(nullptr, &notifier);
  ASSERT_EQ(again.status, 0);
  EXPECT_EQ(+MarketTables[0]->quotes[1].last, 987u);
}

unsigned LoadOnWorker(void* argument) {
  auto* notifier = static_cast<RecordingNotifier*>(argument);
  return static_cast<unsigned>(LoadMarkets(true, TestWindow(), notifier));
}

TEST_F(DataIOTest, TheLoginWorkerLoadsAndReportsProgressFromItsThread) {
  WriteConfig({MakeRecord("SH"), MakeRecord("SZ")});
  WriteNames("SH", {MakeInstrument("A")});
  WriteNames("SZ", {MakeInstrument("B")});
  unsigned threadId = 0;
  const UINT_PTR thread = _beginthreadex(nullptr, 0, &LoadOnWorker, &notifier, 0, &threadId);
  ASSERT_NE(thread, 0u);
  HANDLE handle = reinterpret_cast<HANDLE>(thread);
  ASSERT_EQ(WaitForSingleObject(handle, 10000), WAIT_OBJECT_0);
  DWORD result = 0;
  GetExitCodeThread(handle, &result);
  CloseHandle(handle);
  EXPECT_EQ(result, 1u);
  EXPECT_EQ(MarketCount, 2);
  ASSERT_EQ(notifier.messages.size(), 3u);
  for (const auto& message : notifier.messages) EXPECT_NE(message.thread, GetCurrentThreadId());
}

// A login window that records the loader's messages and the thread that handled them.
struct WindowRecord {
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  DWORD thread;
};
std::vector<WindowRecord> windowLog;

LRESULT RecordingWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message >= MsgLoginError && message <= MsgLoginNextServer) {
    windowLog.push_back({message, wParam, lParam, GetCurrentThreadId()});
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

struct WorkerLoad {
  HWND window;
  std::atomic<bool> done{false};
  int result = -1;
};

unsigned LoadToWindow(void* argument) {
  auto* load = static_cast<WorkerLoad*>(argument);
  load->result = LoadMarkets(true, load->window);   // the platform's send and message box
  load->done = true;
  return 0;
}

TEST_F(DataIOTest, ProgressAndErrorsReachTheLoginWindowOnTheUserInterfaceThread) {
  WriteConfig({MakeRecord("SH"), MakeRecord("SZ")});
  WriteNames("SH", {MakeInstrument("A")});   // the second market has no names: offline error
  zuvo::platform::ScopedScriptedMessageBoxes boxes;
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = &RecordingWindowProc;
  windowClass.lpszClassName = "MarketLoadTestWindow";
  RegisterClassA(&windowClass);
  HWND window = CreateWindowExA(0, "MarketLoadTestWindow", "", 0, 0, 0, 10, 10, nullptr, nullptr,
                                nullptr, nullptr);
  ASSERT_NE(window, nullptr);
  windowLog.clear();

  WorkerLoad load;
  load.window = window;
  unsigned threadId = 0;
  const UINT_PTR thread = _beginthreadex(nullptr, 0, &LoadToWindow, &load, 0, &threadId);
  ASSERT_NE(thread, 0u);
  EXPECT_TRUE(zuvo::platform::PumpMessagesUntil([&] { return load.done.load(); }, 10000));
  HANDLE handle = reinterpret_cast<HANDLE>(thread);
  ASSERT_EQ(WaitForSingleObject(handle, 10000), WAIT_OBJECT_0);
  CloseHandle(handle);
  DestroyWindow(window);

  EXPECT_EQ(load.result, 0);
  ASSERT_EQ(windowLog.size(), 3u);
  EXPECT_EQ(windowLog[0].message, MsgLoginSyncMarket);
  EXPECT_EQ(windowLog[0].wParam, 2u);
  EXPECT_EQ(windowLog[1].lParam, 1);
  EXPECT_EQ(windowLog[2].message, MsgLoginError);
  for (const WindowRecord& record : windowLog) EXPECT_EQ(record.thread, GetCurrentThreadId());
  ASSERT_EQ(boxes->Count(), 1u);
  const zuvo::platform::MessageBoxRequest shown = boxes->Shown()[0];
  EXPECT_EQ(shown.text, kNoMarketFilesText);
  EXPECT_EQ(shown.caption, kErrorText);
  EXPECT_EQ(shown.icon, static_cast<UINT>(MB_ICONERROR));
  EXPECT_TRUE(shown.topMost);
  EXPECT_EQ(shown.owner, nullptr);
  EXPECT_EQ(MarketCount, 1);
}

}  // namespace

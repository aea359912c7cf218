// The push client against the local quote server over loopback, the way the program runs it:
// the markets loaded online through a logged-in request client, the push client connected
// through ConnectAndLogin from server.ini, every frame through the real push records into the
// tables, and a recording main window. The server's clock is manual and moves only when a test
// says; its push steps run when a test calls them.
#include "net/RequestServerFixture.h"

#include "core/PackedTime.h"
#include "data/CacheFiles.h"
#include "data/Messages.h"
#include "data/NewsIndex.h"
#include "data/UtilData.h"
#include "net/LoopbackPeer.h"
#include "net/PushRecords.h"
#include "platform/Kernel.h"
#include "platform/Profile.h"
#include "platform/WinSock.h"
#include "support/TempInstall.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace nettest {
namespace {

using zuvo::quoteserver::Compression;
using zuvo::quoteserver::PortRole;

constexpr std::uint8_t kRealtimeMessageWire = 204;
// Friday 2024-06-28 16:00 in the sample markets' time (08:00 UTC): every session is over.
constexpr std::int64_t kFridayEvening = kFridayMorning + 5 * 3600 + 30 * 60;

struct SlotSeen {
  int market;
  int index;
  std::uint32_t flags;
};

int UtcMinute(std::int64_t utc) { return static_cast<int>((utc / 60) % 1440); }

class PushEndToEnd : public RequestServerTest {
 protected:
  void SetUp() override {
    RequestServerTest::SetUp();
    zuvo::net::ResetPushState();
    PushDecompressMode = kPushCompressionUnknown;
    main_.during = [this](const MessageRecorder::Message& message) {
      if (message.message == MsgQuoteEvent && message.wParam == kQuoteEventUpdate) {
        const auto* slot = reinterpret_cast<const _zvapp_pkg_*>(message.lParam);
        slots_.push_back({slot->instrument.market, slot->instrument.index, slot->flags});
      }
    };
  }
  void TearDown() override {
    push_.reset();
    main_.during = nullptr;
    RequestServerTest::TearDown();
    zuvo::net::ResetPushState();
    PushDecompressMode = kPushCompressionUnknown;
  }

  // The server (with the push compression), the request client with the markets, then the
  // push client connected from server.ini.
  void Begin(Compression push = Compression::kNone, std::int64_t utc = kFridayMorning) {
    now_ = utc;
    zuvo::quoteserver::ServerConfig config = SampleConfig();
    config.timedPush = false;
    config.pushCompression = push;
    StartServer(config, DrivenTicker());
    Connect();
    SetClock(utc);
    WritePrivateProfileStringA("Server", "dsAddr", "127.0.0.1", ".\\server.ini");
    WritePrivateProfileStringA("Server", "Port2", std::to_string(pushPort()).c_str(), ".\\server.ini");
    push_ = std::make_unique<TRealDataClnt>();
    ASSERT_EQ(push_->ConnectAndLogin(), 1);
    // The server answers the opening frame with its clock.
    ASSERT_TRUE(Pump([&] { return !ClockEvents().empty(); }));
  }

  // The minutes of the MsgQuoteEvent (2, T) posts so far.
  std::vector<int> ClockEvents() {
    std::vector<int> minutes;
    for (const MessageRecorder::Message& message : main_.messages) {
      if (message.message == MsgQuoteEvent && message.wParam == kQuoteEventClock) {
        minutes.push_back(static_cast<int>(message.lParam));
      }
    }
    return minutes;
  }
  // One push step with the server's clock a minute on; pumps until its clock event arrived.
  void PushMinute() {
    const std::size_t before = ClockEvents().size();
    now_ += 60;
    server_->PushStep();
    EXPECT_TRUE(Pump([&] { return ClockEvents().size() > before; }));
  }
  EArray<STKMS>* Keys(int market, int first, int count) {
    auto* keys = new EArray<STKMS>();
    for (int i = 0; i < count; ++i) {
      keys->Add(STKMS{static_cast<std::uint8_t>(market), static_cast<std::uint16_t>(first + i)});
    }
    return keys;
  }
  int LostPush() {
    int lost = 0;
    for (const MessageRecorder::Message& message : main_.Of(MsgConnectionLost)) {
      EXPECT_EQ(message.wParam, 0u);
      if (message.lParam == 1) ++lost;
    }
    return lost;
  }
  void CompressedPushesAreHandled(Compression compression, int mode) {
    Begin(compression);
    ASSERT_EQ(push_->Subscribe(Keys(0, 0, 4), 4, true), 0);
    EXPECT_TRUE(Pump([&] { return slots_.size() >= 4; }));
    PushMinute();
    EXPECT_EQ(PushDecompressMode, mode);
    EXPECT_EQ(ClockEvents().back(), UtcMinute(now_.load()));
    EXPECT_NE(Table(0)->quotes[0].last, 0u);
    EXPECT_EQ(LostPush(), 0);
  }

  std::unique_ptr<TRealDataClnt> push_;
  std::vector<SlotSeen> slots_;
};

TEST_F(PushEndToEnd, TheClockWordAndTheMarketsFollowTheServerMinuteByMinute) {
  Begin();
  for (int step = 0; step < 3; ++step) PushMinute();
  const int first = UtcMinute(kFridayMorning);
  EXPECT_EQ(ClockEvents(), (std::vector<int>{first, first + 1, first + 2, first + 3}));
  EXPECT_EQ(PackedHour(SystemNow) * 60 + PackedMinute(SystemNow), first + 3);
  EXPECT_EQ(Table(0)->minuteOfDay, (first + 3 + Table(0)->record.hourOffset * 60) % 1440);
  EXPECT_NE(zuvo::net::CurrentPushState().serverClockTick, 0u);
  EXPECT_EQ(LostPush(), 0);
}

TEST_F(PushEndToEnd, NewKeysGetSnapshotsAndQuotesMoveOnlyWhileTheMarketTrades) {
  Begin();
  ASSERT_EQ(push_->Subscribe(Keys(0, 0, 3), 3, true), 0);
  ASSERT_TRUE(Pump([&] { return slots_.size() >= 3; }));
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(slots_[static_cast<std::size_t>(i)].market, 0);
    EXPECT_EQ(slots_[static_cast<std::size_t>(i)].index, i);
    EXPECT_NE(Table(0)->quotes[i].last, 0u);
  }
  // Keys that are not new bring nothing until their quote changes.
  ASSERT_EQ(push_->Subscribe(Keys(0, 0, 5), 0, true), 0);
  ASSERT_TRUE(server_->AwaitReceived(PortRole::kPush, kSubscriptionType, 2, 20000));
  slots_.clear();
  for (int step = 0; step < 3; ++step) PushMinute();
  EXPECT_FALSE(slots_.empty()) << "quotes move in the morning session";
  for (const SlotSeen& slot : slots_) EXPECT_LT(slot.index, 5);

  // After the close the quotes stand still: clock records only.
  now_ = kFridayEvening - 60;
  PushMinute();
  slots_.clear();
  for (int step = 0; step < 3; ++step) PushMinute();
  EXPECT_TRUE(slots_.empty());
  EXPECT_EQ(ClockEvents().back(), UtcMinute(kFridayEvening + 3 * 60));
  EXPECT_EQ(LostPush(), 0);
}

TEST_F(PushEndToEnd, TheConsolesNewsFetchAndAdviceReachTheirHandlers) {
  Begin();
  const std::string title = "push client flash";
  ASSERT_EQ(server_->Command("news " + title).rfind("news flash ", 0), 0u);
  ASSERT_TRUE(Pump([&] { return !main_.Of(MsgOnlineNotice).empty(); }));
  const auto* notice = reinterpret_cast<const NewsRecord*>(main_.Of(MsgOnlineNotice)[0].lParam);
  EXPECT_EQ(std::string(notice->title), title);
  EXPECT_TRUE(NewsIndex.FindByTitle(0, title.c_str(), nullptr));

  // The fetch request asks the request client for the real-time message (kind 23).
  const std::uint64_t asked = Received(kRealtimeMessageWire);
  ASSERT_EQ(server_->Command("fetch"), "fetch request pushed");
  EXPECT_TRUE(Pump([&] { return Received(kRealtimeMessageWire) > asked; }));

  ASSERT_EQ(server_->Command("advice 600100"), "advice for 600100 pushed");
  const int index = Index(0, "600100");
  ASSERT_TRUE(Pump([&] { return !ServerData(0x21).empty(); }));
  const auto advice = ServerData(0x21);
  ASSERT_EQ(advice.size(), 1u);
  EXPECT_EQ(advice[0].wParam, kServerDataAdvice);
  EXPECT_EQ(advice[0].lParam, Packed(0, index));
  std::string path;
  ASSERT_TRUE(CacheFilePath(CacheFile::Advice, Table(0), "600100", path));
  const std::string file = FileBytes(Local(path));
  const auto expected = Model().Advice(0, Model().FindInstrument(0, "600100"), now_.load());
  ASSERT_FALSE(expected.empty());
  ASSERT_GE(file.size(), 108u);
  EXPECT_EQ(file.substr(file.size() - 108), std::string(reinterpret_cast<const char*>(&expected.back()), 108));
  EXPECT_EQ(LostPush(), 0);
}

TEST_F(PushEndToEnd, ALongFlashIsCutIntoATerminatedNotice) {
  Begin();
  On("long-flash");
  ASSERT_EQ(server_->Command("news abcdefghij").rfind("news flash ", 0), 0u);
  ASSERT_TRUE(Pump([&] { return !main_.Of(MsgOnlineNotice).empty(); }));
  const auto* notice = reinterpret_cast<const NewsRecord*>(main_.Of(MsgOnlineNotice)[0].lParam);
  std::string expected;
  while (expected.size() < 79) expected += "abcdefghij";
  EXPECT_EQ(std::string(notice->title), expected.substr(0, 79));
}

TEST_F(PushEndToEnd, AClockOf1440IsIgnored) {
  Begin();
  const PackedTime before = SystemNow;
  int frames = 0;
  zuvo::net::ScopedPushHandler counting([&](TRealDataClnt* client, const std::uint8_t* body, int length) {
    ++frames;
    TRealDataClnt::DispatchRecords(client, body, length);
  });
  On("clock=1440");
  now_ += 60;
  server_->PushStep();
  ASSERT_TRUE(Pump([&] { return frames >= 1; }));
  EXPECT_EQ(SystemNow, before);
  EXPECT_EQ(ClockEvents().size(), 1u);
  EXPECT_EQ(LostPush(), 0);
}

TEST_F(PushEndToEnd, SlowNetworkAsksForTheRealtimeMessageOncePer45Minutes) {
  std::vector<int> asked;
  zuvo::net::ScopedRealtimeMessageRequest request([&](int which) { asked.push_back(which); });
  now_ = kFridayMorning;
  zuvo::quoteserver::ServerConfig config = SampleConfig();
  config.timedPush = false;
  config.faults = {"slow-net"};
  StartServer(config, DrivenTicker());
  Connect();
  SetClock(kFridayMorning);
  WritePrivateProfileStringA("Server", "dsAddr", "127.0.0.1", ".\\server.ini");
  WritePrivateProfileStringA("Server", "Port2", std::to_string(pushPort()).c_str(), ".\\server.ini");
  push_ = std::make_unique<TRealDataClnt>();
  ASSERT_EQ(push_->ConnectAndLogin(), 1);
  ASSERT_TRUE(Pump([&] { return !ClockEvents().empty(); }));
  EXPECT_EQ(asked, std::vector<int>{3});
  for (int step = 0; step < 3; ++step) {
    Later(10 * 60 * 1000);
    PushMinute();
  }
  EXPECT_EQ(asked.size(), 1u);
  Later(15 * 60 * 1000);
  PushMinute();
  EXPECT_EQ(asked, (std::vector<int>{3, 3}));
  EXPECT_EQ(ClockEvents().size(), 5u) << "the records of '#' frames are handled as any others";
}

TEST_F(PushEndToEnd, LzwCompressedPushesAreHandled) {
  CompressedPushesAreHandled(Compression::kLzw, kPushCompressionLzw);
}

TEST_F(PushEndToEnd, ZlibCompressedPushesAreHandled) {
  CompressedPushesAreHandled(Compression::kZlib, kPushCompressionZlib);
}

// A server that stops reading: the kernel's buffers fill, then the client's, and page switch
// after page switch replaces the unsent subscription instead of closing. Once the server reads
// again the latest set arrives.
TEST_F(PushEndToEnd, RepeatedSubscriptionsToAStalledServerNeverDisconnect) {
  Begin();
  On("stop-reading");
  int switches = 0;
  while (push_->sendCount == 0 && switches < 200000) {
    ASSERT_EQ(push_->Subscribe(Keys(0, switches % 7, 3), 0, true), 0);
    ++switches;
  }
  ASSERT_GT(push_->sendCount, 0) << "the socket never refused";
  for (int page = 0; page < 50; ++page) ASSERT_EQ(push_->Subscribe(Keys(0, page % 5, 2), 0, true), 0);
  ASSERT_EQ(push_->Subscribe(Keys(0, 4, 6), 6, true), 0);
  EXPECT_LE(push_->sendCount, 2 * kSubscriptionFrameBytes);
  EXPECT_NE(push_->handle, -1);
  Off("stop-reading");
  server_->Tick();
  ASSERT_TRUE(Pump(
      [&] {
        for (const auto& connection : server_->Connections()) {
          if (connection.role == PortRole::kPush && connection.subscribed == 6) return true;
        }
        return false;
      },
      60));
  EXPECT_TRUE(Pump([&] { return slots_.size() >= 6; }));
  EXPECT_EQ(push_->sendCount, 0);
  EXPECT_EQ(LostPush(), 0);
}

TEST_F(PushEndToEnd, ADropInsideAPushFramePostsConnectionLostOnce) {
  Begin();
  ASSERT_EQ(push_->Subscribe(Keys(0, 0, 8), 0, true), 0);
  ASSERT_TRUE(server_->AwaitReceived(PortRole::kPush, kSubscriptionType, 1, 20000));
  On("drop=push-mid");
  now_ += 60;
  server_->PushStep();
  ASSERT_TRUE(Pump([&] { return push_->handle == -1; }));
  push_.reset();
  EXPECT_EQ(LostPush(), 1);
}

// The main window's timer keeps the connection alive: nothing while traffic is younger than
// 10 s, a keep-alive frame once it is not.
TEST_F(PushEndToEnd, AKeepAliveGoesAfterTenSecondsOfSilence) {
  Begin();
  static TRealDataClnt* timed = nullptr;
  static int sent = 0;
  timed = push_.get();
  sent = 0;
  push_->lastTraffic = GetTickCount();   // the silence starts now
  const UINT_PTR timer = SetTimer(main_.window(), 77, 1000, [](HWND, UINT, UINT_PTR, DWORD) {
    if (timed != nullptr && timed->KeepAliveDue()) sent += timed->SendHeartbeat();
  });
  ASSERT_NE(timer, 0u);
  clock_.FastForward(9000);
  EXPECT_EQ(sent, 0);
  clock_.FastForward(1000);
  EXPECT_EQ(sent, 1);
  EXPECT_TRUE(server_->AwaitReceived(PortRole::kPush, kKeepAliveType, 1, 20000));
  clock_.FastForward(5000);
  EXPECT_EQ(sent, 1) << "the keep-alive was traffic too";
  KillTimer(main_.window(), 77);
  timed = nullptr;
  EXPECT_EQ(LostPush(), 0);
}

// ---- The connect itself ---------------------------------------------------------------------

class PushConnect : public testing::Test {
 protected:
  void WriteServerIni(const std::string& address, int port) {
    testsupport::WriteBytes(install_.bin() / "server.ini",
                            testsupport::CrlfLines({"[Server]", "dsAddr=" + address, "Port2=" + std::to_string(port)}));
  }
  testsupport::TempInstall install_;
  MessageRecorder main_;
};

// The address may be a host name longer than the 15 characters of a dotted address.
TEST_F(PushConnect, SendsTheOpeningFrameToTheDataServerNamedInServerIni) {
  static const std::string kLongName = "push-data-server.quotes.example.test";
  zuvo::platform::sockets::ScopedResolver resolver([](const char* name, std::uint32_t* address) {
    if (name != kLongName) return false;
    *address = LoopbackPeer::LoopbackAddress();
    return true;
  });
  LoopbackPeer peer;
  WriteServerIni(kLongName, peer.port());
  std::vector<std::string> traces;
  zuvo::net::ScopedTraceHook trace([&](const char* text) { traces.emplace_back(text); });
  TRealDataClnt client;
  ASSERT_EQ(client.ConnectAndLogin(), 1);
  const SOCKET connection = peer.Accept();
  std::string opening(14, '\0');
  std::size_t got = 0;
  while (got < opening.size()) {
    const int n = recv(connection, &opening[got], static_cast<int>(opening.size() - got), 0);
    ASSERT_GT(n, 0);
    got += static_cast<std::size_t>(n);
  }
  EXPECT_EQ(opening, std::string("\x40\xCA\x01\x00\x00\x00\x04\x00\x00\x00\x04\x00\x00\x00", 14));
  EXPECT_NE(std::find(traces.begin(), traces.end(), "已连接 (ConnectAndLogin)"), traces.end());
  client.CloseQuietly();
}

TEST_F(PushConnect, AFailedConnectClosesTheSocketAndPostsNothing) {
  zuvo::platform::ScopedDrivenClock clock;   // the failed lookups' pauses pass at once
  int port = 0;
  {
    LoopbackPeer gone;
    port = gone.port();
  }
  struct Row {
    const char* what;
    std::string address;
    int port;
  };
  const Row rows[] = {{"nobody listens", "127.0.0.1", port}, {"no address", "", port}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    WriteServerIni(row.address, row.port);
    TRealDataClnt client;
    EXPECT_EQ(client.ConnectAndLogin(), 0);
    EXPECT_EQ(client.handle, -1);
    EXPECT_TRUE(main_.Pump().empty());
  }
}

}  // namespace
}  // namespace nettest

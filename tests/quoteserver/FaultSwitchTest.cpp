// Every fault switch on a raw connection, one table: each case takes the answer the server
// gives without the switch, turns the switch on, and checks that the answer changed in the
// way the switch names and in no other. After each case the switch is turned off, it must
// have been counted in `status`, and the server must still serve.
#include "quoteserver/ServerFixture.h"

#include "ClientStream.h"
#include "InstallTree.h"
#include "LzwEncoder.h"
#include "MarketModel.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <zlib.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <set>

namespace quoteservertest {
namespace {

using zuvo::quoteserver::PortRole;

constexpr std::uint8_t kUnknownRequest = 199;

std::string Header(const std::string& bytes, std::size_t frame = 0) {
  std::size_t at = 0;
  for (std::size_t f = 0; f < frame; ++f) at += 10 + Get16(bytes, at + 6);
  return bytes.substr(at, 10);
}
std::string Body(const std::string& bytes) { return bytes.substr(10, Get16(bytes, 6)); }

// Where a drop inside an answer cuts it: inside its second frame, or inside its only one.
std::size_t CutPoint(const std::string& reply) {
  std::vector<std::size_t> ends;
  for (std::size_t at = 0; at + 10 <= reply.size();) {
    at += 10 + Get16(reply, at + 6);
    ends.push_back(at);
  }
  return ends.size() >= 2 ? ends[0] + (ends[1] - ends[0]) / 2 : ends[0] / 2;
}

// The 9-bit and wider codes of an LZW stream, each with its width, as the stream widens.
std::vector<std::pair<std::uint32_t, int>> Codes(const std::string& stream, std::size_t most) {
  std::vector<std::pair<std::uint32_t, int>> codes;
  std::size_t bit = 5 * 8;
  int width = 9;
  while (codes.size() < most && bit + static_cast<std::size_t>(width) <= stream.size() * 8) {
    std::uint32_t code = 0;
    for (int i = 0; i < width; ++i, ++bit) {
      code = (code << 1) | ((static_cast<std::uint8_t>(stream[bit / 8]) >> (7 - bit % 8)) & 1u);
    }
    codes.emplace_back(code, width);
    if (code == 257) ++width;
    if (code == 256) break;
  }
  return codes;
}

std::string Inflate(const std::string& body, std::size_t capacity, int* result) {
  std::string out(capacity, '\0');
  uLongf size = capacity;
  *result = uncompress(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(body.data()),
                       body.size());
  out.resize(*result == Z_OK ? size : 0);
  return out;
}

std::string Utf8(const char8_t* text) { return reinterpret_cast<const char*>(text); }

std::string BarsBody(std::uint32_t firstDate) {
  std::string body = Field(22, 2, "600100");
  body[0] = 8;
  Put32(&body, 14, firstDate);
  return body;
}

class FaultTest : public ServerTest {
 protected:
  void SetUp() override {
    auto config = SampleConfig();
    config.timedPush = false;
    // Timing and pacing follow ticks_ alone: a case moves it past what it waits for.
    StartServer(config, DrivenTicker());
    std::string error;
    model_ = zuvo::model::MarketModel::Load(SampleRoot(), 1, &error);
    ASSERT_NE(model_, nullptr) << error;
  }

 public:
  void On(const std::string& fault) { ASSERT_EQ(server_->Command("fault " + fault), "fault " + fault + " on"); }

  // One request and its reply as it travels, on a connection of its own: the request port
  // after a login, or the main port.
  std::string Exchange(std::uint8_t type, const std::string& body, bool onMainPort = false) {
    std::unique_ptr<RawClient> client = onMainPort ? std::make_unique<RawClient>(mainPort()) : LoggedIn();
    client->Send(type, body);
    std::string reply;
    EXPECT_TRUE(client->ReadRawReply(&reply)) << "no reply to type " << int{type};
    return reply;
  }
  // Sends the request and reads everything until the server closes.
  std::string UntilClosed(std::uint8_t type, const std::string& body, bool onMainPort = false) {
    std::unique_ptr<RawClient> client = onMainPort ? std::make_unique<RawClient>(mainPort()) : LoggedIn();
    client->Send(type, body);
    std::string bytes;
    EXPECT_TRUE(client->ReadUntilClosed(&bytes)) << "the connection stays open";
    return bytes;
  }
  // The raw frame after the opening frame of a push connection: the clock record.
  std::string OpeningAnswer(RawClient* client) {
    client->Send(202, OpeningFrameBody());
    std::string header;
    std::string body;
    EXPECT_TRUE(client->ReadBytes(10, &header));
    EXPECT_TRUE(client->ReadBytes(Get16(header, 6), &body));
    return header + body;
  }
  std::string LoginRequest() const { return LoginBody("u", "p", 0); }
  zuvo::quoteserver::QuoteServer& server() { return *server_; }
  using ServerTest::Ask;
  using ServerTest::Fired;
  using ServerTest::LoggedIn;
  using ServerTest::mainPort;
  using ServerTest::pushPort;
  using ServerTest::requestPort;
  RawClient* Keep(std::unique_ptr<RawClient> client) {
    kept_.push_back(std::move(client));
    return kept_.back().get();
  }
  std::unique_ptr<RawClient> Push() { return OpenedPush(); }
  // Moves the server's ticker and runs what fell due; what it sends is sent on return.
  void Advance(std::int64_t ms) {
    ticks_ += ms;
    server_->Tick();
  }
  std::size_t Held() {
    std::size_t held = 0;
    for (const auto& connection : server_->Connections()) held += connection.held;
    return held;
  }

  std::unique_ptr<zuvo::model::MarketModel> model_;

 private:
  std::vector<std::unique_ptr<RawClient>> kept_;
};

using Check = std::function<void(FaultTest& t, const std::string& fault)>;
struct Case {
  std::string fault;
  Check check;
};

// A spoiled header: the normal reply with the bytes [at, at + size) replaced.
Check HeaderBytes(std::size_t at, std::string replaced) {
  return [at, replaced](FaultTest& t, const std::string& fault) {
    const std::string normal = t.Exchange(202, std::string(4, '\0'));
    RawClient* client = t.Keep(t.LoggedIn());
    t.On(fault);
    client->Send(202, std::string(4, '\0'));
    std::string spoiled;
    ASSERT_TRUE(client->ReadBytes(normal.size(), &spoiled));
    std::string expected = normal;
    expected.replace(at, replaced.size(), replaced);
    EXPECT_EQ(spoiled, expected);
  };
}

// A spoiled compressed body of the version reply: its header flagged, checked by `body`.
Check CompressedVersion(std::function<void(const std::string& plain, const std::string& body)> body) {
  return [body](FaultTest& t, const std::string& fault) {
    const std::string normal = t.Exchange(202, std::string(4, '\0'));
    RawClient* client = t.Keep(t.LoggedIn());
    t.On(fault);
    client->Send(202, std::string(4, '\0'));
    std::string header;
    std::string spoiled;
    ASSERT_TRUE(client->ReadBytes(10, &header));
    ASSERT_TRUE(client->ReadBytes(Get16(header, 6), &spoiled));
    EXPECT_EQ(header[8], 1) << "flagged compressed";
    EXPECT_EQ(header.substr(0, 6), normal.substr(0, 6));
    body(Body(normal), spoiled);
  };
}

// A spoiled compressed body of the push connection's clock record.
Check CompressedClock(std::function<void(const std::string& plain, const std::string& body)> body) {
  return [body](FaultTest& t, const std::string& fault) {
    RawClient plain(t.pushPort());
    const std::string normal = t.OpeningAnswer(&plain);
    t.On(fault);
    RawClient client(t.pushPort());
    const std::string spoiled = t.OpeningAnswer(&client);
    EXPECT_EQ(spoiled[8], 1);
    body(Body(normal), Body(spoiled));
  };
}

TEST_F(FaultTest, EverySwitchDoesWhatItNamesAndNothingElse) {
  const std::string version(4, '\0');
  const std::string namesOf0(1, '\0');
  const std::string shortBody = "x";
  const std::string snapshot = [] {
    std::string body(770, '\0');
    body[0] = 0;
    Put16(&body, 1, 2);
    body[3] = 1;
    Put16(&body, 4, 2);
    Put16(&body, 768, 2);
    return body;
  }();
  const std::string config = SampleRoot() / "cfg" / "mkinfo.cfg";
  const std::uint32_t configDate = zuvo::quoteserver::FileDate(config);
  const std::size_t configSize = std::filesystem::file_size(config);

  const std::vector<Case> cases = {
      // ---- Disconnects ----
      {"drop=accept",
       [](FaultTest& t, const std::string& fault) {
         t.On(fault);
         for (std::uint16_t port : {t.mainPort(), t.requestPort(), t.pushPort()}) {
           RawClient client(port);
           std::string bytes;
           EXPECT_TRUE(client.ReadUntilClosed(&bytes));
           EXPECT_TRUE(bytes.empty());
         }
       }},
      {"drop=login",
       [&](FaultTest& t, const std::string& fault) {
         t.On(fault);
         EXPECT_TRUE(t.UntilClosed(3, t.LoginRequest(), true).empty());
         RawClient client(t.requestPort());
         client.Send(207, DataLoginBody("u", "p"));
         std::string bytes;
         EXPECT_TRUE(client.ReadUntilClosed(&bytes));
         EXPECT_TRUE(bytes.empty());
       }},
      {"drop=login-mid",
       [](FaultTest& t, const std::string& fault) {
         const std::string normal = t.Exchange(3, t.LoginRequest(), true);
         ASSERT_EQ(normal.size(), 138u);
         t.On(fault);
         EXPECT_EQ(t.UntilClosed(3, t.LoginRequest(), true), normal.substr(0, 69));
       }},
      {"drop=stage2",
       [](FaultTest& t, const std::string& fault) {
         t.On(fault);
         RawClient client(t.requestPort());
         std::string bytes;
         EXPECT_TRUE(client.ReadUntilClosed(&bytes));
         EXPECT_TRUE(bytes.empty());
         EXPECT_EQ(Header(t.Exchange(3, t.LoginRequest(), true))[1], 3) << "the first stage still answers";
       }},
      {"drop=version",
       [&](FaultTest& t, const std::string& fault) {
         t.On(fault);
         EXPECT_TRUE(t.UntilClosed(202, version).empty());
         EXPECT_EQ(Header(t.Exchange(6, namesOf0))[1], 6);
       }},
      {"drop=config-mid",
       [](FaultTest& t, const std::string& fault) {
         const std::string body = ConfigFileBody("SYSTIME.DAT", 0, 0);
         const std::string normal = t.Exchange(206, body);
         t.On(fault);
         EXPECT_EQ(t.UntilClosed(206, body), normal.substr(0, CutPoint(normal)));
       }},
      {"drop=names-mid",
       [&](FaultTest& t, const std::string& fault) {
         const std::string normal = t.Exchange(6, namesOf0);
         t.On(fault);
         EXPECT_EQ(t.UntilClosed(6, namesOf0), normal.substr(0, CutPoint(normal)));
       }},
      {"drop=reply-mid",
       [](FaultTest& t, const std::string& fault) {
         const std::string body = BarsBody(zuvo::model::kModelEpoch);
         const std::string normal = t.Exchange(12, body);
         ASSERT_GT(Get16(normal, 2), 1) << "several frames";
         t.On(fault);
         EXPECT_EQ(t.UntilClosed(12, body), normal.substr(0, CutPoint(normal)));
         EXPECT_EQ(Header(t.Exchange(6, std::string(1, '\0')))[1], 6) << "one frame: not cut";
       }},
      {"drop=push-mid",
       [](FaultTest& t, const std::string& fault) {
         RawClient plain(t.pushPort());
         const std::string normal = t.OpeningAnswer(&plain);
         t.On(fault);
         RawClient client(t.pushPort());
         client.Send(202, OpeningFrameBody());
         std::string bytes;
         EXPECT_TRUE(client.ReadUntilClosed(&bytes));
         EXPECT_EQ(bytes, normal.substr(0, normal.size() / 2));
       }},
      {"fin-with-data",
       [](FaultTest& t, const std::string& fault) {
         const std::string normal = t.Exchange(3, t.LoginRequest(), true);
         t.On(fault);
         EXPECT_EQ(t.UntilClosed(3, t.LoginRequest(), true), normal);
       }},
      {"silent",
       [&](FaultTest& t, const std::string& fault) {
         auto push = t.Push();
         RawClient* client = t.Keep(t.LoggedIn());
         t.On(fault);
         client->Send(kUnknownRequest, shortBody);
         ASSERT_TRUE(t.server().AwaitReceived(PortRole::kRequest, kUnknownRequest, 1, 10000));
         EXPECT_EQ(t.server().Command("fetch"), "fetch request pushed");
         t.server().Tick();
         EXPECT_TRUE(client->Quiet()) << "read, never answered";
         EXPECT_TRUE(push->Quiet()) << "nothing pushed";
       }},
      {"stop-reading",
       [](FaultTest& t, const std::string& fault) {
         RawClient* client = t.Keep(t.LoggedIn());
         t.On(fault);
         ::fcntl(client->fd(), F_SETFL, ::fcntl(client->fd(), F_GETFL) | O_NONBLOCK);
         std::string heartbeats;
         for (int i = 0; i < 6553; ++i) heartbeats += std::string("\x40\x01\x01\x00\x00\x00\x00\x00\x00\x00", 10);
         std::size_t sent = 0;
         bool full = false;
         while (!full && sent < (std::size_t{256} << 20)) {
           const ssize_t n = ::send(client->fd(), heartbeats.data(), heartbeats.size(), MSG_NOSIGNAL);
           if (n > 0) sent += static_cast<std::size_t>(n);
           full = n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
         }
         EXPECT_TRUE(full) << "the send buffer filled after " << sent << " bytes";
         ::fcntl(client->fd(), F_SETFL, ::fcntl(client->fd(), F_GETFL) & ~O_NONBLOCK);
       }},
      // ---- Timing and order ----
      {"stall=150",
       [&](FaultTest& t, const std::string& fault) {
         const std::string normal = t.Exchange(202, version);
         RawClient* client = t.Keep(t.LoggedIn());
         t.On(fault);
         client->Send(202, version);
         t.Advance(0);
         EXPECT_TRUE(client->Quiet()) << "held from the start";
         EXPECT_EQ(t.Held(), 1u);
         t.Advance(149);
         EXPECT_TRUE(client->Quiet()) << "held until 150 ms have passed";
         t.Advance(1);
         std::string reply;
         ASSERT_TRUE(client->ReadRawReply(&reply));
         EXPECT_EQ(reply, normal);
         EXPECT_EQ(t.Held(), 0u);
       }},
      {"late=202",
       [&](FaultTest& t, const std::string& fault) {
         const std::string normal = t.Exchange(202, version);
         t.On(fault);
         RawClient* client = t.Keep(t.LoggedIn());
         client->SendRaw(std::string("\x40\xCA\x01\x00\x00\x00\x04\x00\x00\x00", 10) + version +
                         std::string("\x40\x06\x01\x00\x00\x00\x01\x00\x00\x00", 10) + namesOf0);
         std::string reply;
         ASSERT_TRUE(client->ReadRawReply(&reply));
         EXPECT_EQ(reply[1], 6) << "the later request answered first";
         EXPECT_EQ(t.Held(), 1u);
         t.server().ReleaseHeld();
         ASSERT_TRUE(client->ReadRawReply(&reply));
         EXPECT_EQ(reply, normal);
         // Unreleased, a held reply goes once the ticker passes 25 s.
         client->Send(202, version);
         t.Advance(0);
         t.Advance(zuvo::quoteserver::kHeldReplyMs - 1);
         EXPECT_TRUE(client->Quiet());
         EXPECT_EQ(t.Held(), 1u);
         t.Advance(1);
         ASSERT_TRUE(client->ReadRawReply(&reply));
         EXPECT_EQ(reply, normal);
       }},
      {"skip=202",
       [&](FaultTest& t, const std::string& fault) {
         t.On(fault);
         RawClient* client = t.Keep(t.LoggedIn());
         client->Send(202, version);
         client->Send(6, namesOf0);
         client->Send(6, namesOf0);
         for (int i = 0; i < 2; ++i) {
           std::string reply;
           ASSERT_TRUE(client->ReadRawReply(&reply));
           EXPECT_EQ(reply[1], 6);
         }
       }},
      {"reorder",
       [](FaultTest& t, const std::string& fault) {
         const std::string bars = BarsBody(0);
         std::string recent = Field(13, 1, "600100");
         Put32(&recent, 9, 30);
         const std::string normalBars = t.Exchange(12, bars);
         const std::string normalRecent = t.Exchange(11, recent);
         t.On(fault);
         RawClient* client = t.Keep(t.LoggedIn());
         client->Send(12, bars);
         client->Send(11, recent);
         std::string first;
         std::string second;
         ASSERT_TRUE(client->ReadRawReply(&first));
         ASSERT_TRUE(client->ReadRawReply(&second));
         EXPECT_EQ(first, normalRecent);
         EXPECT_EQ(second, normalBars);
       }},
      {"error=202:20",
       [&](FaultTest& t, const std::string& fault) {
         const std::string names = t.Exchange(6, namesOf0);
         t.On(fault);
         const std::string reply = t.Exchange(202, version);
         EXPECT_EQ(reply[1], 2);
         EXPECT_EQ(reply[12], 20);
         EXPECT_GT(reply.size(), 14u) << "a text to show";
         EXPECT_EQ(t.Exchange(6, namesOf0), names);
       }},
      {"news-endless",
       [](FaultTest& t, const std::string& fault) {
         std::string beyond = Field(10, 0, "");
         Put32(&beyond, 6, 1u << 30);
         EXPECT_EQ(t.Exchange(15, beyond)[1], 2) << "the end of the catch-up";
         t.On(fault);
         const std::string reply = t.Exchange(15, beyond);
         ASSERT_EQ(reply[1], 15);
         ASSERT_EQ(Get16(reply, 6), 2 + 90);
         EXPECT_EQ(Get32(reply, 10 + 2 + 2), 1u << 30);
       }},
      // ---- Framing ----
      {"dribble@request",
       [&](FaultTest& t, const std::string& fault) {
         const std::string normal = t.Exchange(202, version);
         RawClient* client = t.Keep(t.LoggedIn());
         t.On(fault);
         client->Send(202, version);
         t.Advance(0);
         EXPECT_EQ(client->PeekAvailable(), 1u) << "one byte until the ticker moves";
         for (std::size_t sent = 1; sent < normal.size(); ++sent) t.Advance(1);
         std::string reply;
         ASSERT_TRUE(client->ReadRawReply(&reply));
         EXPECT_EQ(reply, normal);
         EXPECT_EQ(t.Fired("dribble"), normal.size()) << "one byte a send";
       }},
      {"split=100@request",
       [&](FaultTest& t, const std::string& fault) {
         const std::string normal = t.Exchange(202, version);
         RawClient* client = t.Keep(t.LoggedIn());
         t.On(fault);
         client->Send(202, version);
         t.Advance(0);
         EXPECT_EQ(client->PeekAvailable(), normal.size() / 2) << "the first half alone";
         t.Advance(99);
         EXPECT_EQ(client->PeekAvailable(), normal.size() / 2) << "the second half waits 100 ms";
         t.Advance(1);
         std::string reply;
         ASSERT_TRUE(client->ReadRawReply(&reply));
         EXPECT_EQ(reply, normal);
       }},
      {"coalesce@request",
       [&](FaultTest& t, const std::string& fault) {
         const std::string normal = t.Exchange(202, version);
         RawClient* client = t.Keep(t.LoggedIn());
         t.On(fault);
         client->Send(202, version);
         client->Send(202, version);
         t.Advance(0);
         EXPECT_TRUE(client->Quiet()) << "two frames wait for a third";
         client->Send(202, version);
         t.Advance(0);
         EXPECT_EQ(client->PeekAvailable(), 3 * normal.size()) << "three frames in one send";
         std::string replies;
         ASSERT_TRUE(client->ReadBytes(3 * normal.size(), &replies));
         EXPECT_EQ(replies, normal + normal + normal);
         // Fewer go once the oldest has waited 200 ms.
         client->Send(202, version);
         t.Advance(0);
         t.Advance(199);
         EXPECT_TRUE(client->Quiet());
         t.Advance(1);
         ASSERT_TRUE(client->ReadBytes(normal.size(), &replies));
         EXPECT_EQ(replies, normal);
       }},
      {"bad-magic@request", HeaderBytes(0, "X")},
      {"len-8193@request", HeaderBytes(6, std::string("\x01\x20", 2))},
      {"index-eq-count@request", HeaderBytes(4, std::string("\x01\x00", 2))},
      {"count-zero@request", HeaderBytes(2, std::string("\x00\x00\x00\x00", 4))},
      {"hash-request", HeaderBytes(0, "#")},
      {"unknown-type", HeaderBytes(1, std::string(1, static_cast<char>(250)))},
      {"flag-on-plain@request", HeaderBytes(8, std::string(1, '\x01'))},
      {"slow-net",
       [](FaultTest& t, const std::string& fault) {
         RawClient plain(t.pushPort());
         const std::string normal = t.OpeningAnswer(&plain);
         t.On(fault);
         RawClient client(t.pushPort());
         EXPECT_EQ(t.OpeningAnswer(&client), std::string(1, '#').append(normal, 1));
         EXPECT_EQ(Header(t.Exchange(202, std::string(4, '\0')))[0], '@') << "the request connection keeps '@'";
       }},
      // ---- Compression ----
      {"lzw-truncated@request", CompressedVersion([](const std::string& plain, const std::string& body) {
         std::vector<std::uint8_t> whole;
         zuvo::quoteserver::EncodeLzw(reinterpret_cast<const std::uint8_t*>(plain.data()), plain.size(), &whole);
         const std::string stream(whole.begin(), whole.end());
         EXPECT_EQ(body, stream.substr(0, std::max<std::size_t>(6, stream.size() / 2)));
         std::string decoded;
         EXPECT_FALSE(DecodeWmc(body, &decoded)) << "no end code";
       })},
      {"lzw-code-ahead@request", CompressedVersion([](const std::string& plain, const std::string& body) {
         const auto codes = Codes(body, 10);
         ASSERT_EQ(codes.size(), 3u);
         EXPECT_EQ(codes[0].first, static_cast<std::uint8_t>(plain[0]));
         EXPECT_EQ(codes[1].first, 300u) << "above the next free code, 259";
         EXPECT_EQ(codes[2].first, 256u);
       })},
      {"lzw-widen-forever@request", CompressedVersion([](const std::string&, const std::string& body) {
         const auto codes = Codes(body, 100);
         ASSERT_EQ(codes.size(), 32u);
         for (std::size_t i = 1; i < codes.size(); ++i) EXPECT_EQ(codes[i].first, 257u);
         EXPECT_EQ(codes.back().second, 39);
       })},
      {"lzw-dict-overflow@request", CompressedVersion([](const std::string&, const std::string& body) {
         const auto codes = Codes(body, 10000);
         ASSERT_EQ(codes.size(), 4037u + 7 + 2);
         for (std::size_t i = 0; i < 4037; ++i) ASSERT_LT(codes[i].first, 256u) << "literals, no reset";
         EXPECT_EQ(codes[4037 + 7].first, 65535u);
         EXPECT_EQ(codes[4037 + 7].second, 16);
         EXPECT_EQ(codes.back().first, 256u);
       })},
      {"lzw-oversize@request", CompressedVersion([](const std::string& plain, const std::string& body) {
         std::string decoded;
         EXPECT_FALSE(DecodeWmc(body, &decoded)) << "more than a decoder holds";
         ASSERT_TRUE(DecodeWmc(body, &decoded, 1 << 20));
         EXPECT_GT(decoded.size(), 16379u);
         EXPECT_EQ(decoded.substr(0, plain.size()), plain);
       })},
      {"zlib-garbage@push", CompressedClock([](const std::string&, const std::string& body) {
         int result = 0;
         Inflate(body, 16384, &result);
         EXPECT_NE(result, Z_OK);
         EXPECT_NE(body.substr(0, 5), "WMC15");
       })},
      {"zlib-oversize@push", CompressedClock([](const std::string& plain, const std::string& body) {
         int result = 0;
         EXPECT_EQ(Inflate(body, 16384, &result), "");
         const std::string decoded = Inflate(body, 1 << 20, &result);
         EXPECT_GT(decoded.size(), 16384u);
         EXPECT_EQ(decoded.substr(0, plain.size()), plain);
       })},
      // ---- Content ----
      {"echo-heartbeat",
       [](FaultTest& t, const std::string& fault) {
         t.On(fault);
         RawClient* client = t.Keep(t.LoggedIn());
         client->Send(1, "");
         std::string echo;
         ASSERT_TRUE(client->ReadBytes(10, &echo));
         EXPECT_EQ(echo, std::string("\x40\x01\x01\x00\x00\x00\x00\x00\x00\x00", 10));
       }},
      {"login-refuse=" + Utf8(u8"请重新登录"),
       [](FaultTest& t, const std::string& fault) {
         t.On(fault);
         const std::string reply = t.Exchange(3, t.LoginRequest(), true);
         EXPECT_EQ(reply[1], 2);
         EXPECT_EQ(reply[12], 20);
         EXPECT_EQ(reply.substr(13), std::string("请重新登录") + '\0');
       }},
      {"login-type5",
       [](FaultTest& t, const std::string& fault) {
         t.On(fault);
         EXPECT_EQ(Header(t.Exchange(3, t.LoginRequest(), true))[1], 5);
       }},
      {"short-login",
       [](FaultTest& t, const std::string& fault) {
         const std::string normal = t.Exchange(3, t.LoginRequest(), true);
         t.On(fault);
         const std::string reply = t.Exchange(3, t.LoginRequest(), true);
         EXPECT_EQ(Get16(reply, 6), 64);
         EXPECT_EQ(Body(reply), Body(normal).substr(0, 64));
       }},
      {"short-version",
       [&](FaultTest& t, const std::string& fault) {
         const std::string normal = t.Exchange(202, version);
         t.On(fault);
         const std::string reply = t.Exchange(202, version);
         EXPECT_EQ(Body(reply), Body(normal).substr(0, 2));
       }},
      {"short-broker",
       [](FaultTest& t, const std::string& fault) {
         const std::string body = Field(9, 1, "00011") .replace(0, 1, 1, '\x03');
         const std::string normal = t.Exchange(102, body);
         ASSERT_EQ(Body(normal).size(), 9u + 244);
         t.On(fault);
         EXPECT_EQ(Body(t.Exchange(102, body)), Body(normal).substr(0, 9 + 122));
       }},
      {"broker-count=50",
       [](FaultTest& t, const std::string& fault) {
         const std::string body = Field(9, 1, "00011").replace(0, 1, 1, '\x03');
         const std::string normal = Body(t.Exchange(102, body));
         t.On(fault);
         std::string expected = normal;
         Put16(&expected, 9, 50);
         Put16(&expected, 11, 50);
         EXPECT_EQ(Body(t.Exchange(102, body)), expected);
       }},
      {"unterminated",
       [&](FaultTest& t, const std::string& fault) {
         // The news and notes lists: each title fills its 80 bytes, the rest stays as it was.
         struct Titles {
           std::uint8_t type;
           std::string request;
           std::size_t record;
           std::size_t titleAt;
           std::string normal;
         };
         std::vector<Titles> lists = {{15, std::string(10, '\0'), 90, 10, {}},
                                      {16, Field(10, 1, std::string(1, '\x02')), 108, 6, {}}};
         for (Titles& list : lists) list.normal = Body(t.Exchange(list.type, list.request));
         t.On(fault);
         const std::string body = Body(t.Exchange(kUnknownRequest, shortBody));
         ASSERT_EQ(body.size(), 303u);
         EXPECT_EQ(body.find('\0', 3), std::string::npos);
         for (const Titles& list : lists) {
           SCOPED_TRACE(int{list.type});
           const std::string spoiled = Body(t.Exchange(list.type, list.request));
           ASSERT_EQ(spoiled.size(), list.normal.size());
           ASSERT_GT(spoiled.size(), 2 + list.record);
           EXPECT_EQ(spoiled.substr(0, 2), list.normal.substr(0, 2));
           for (std::size_t at = 2; at + list.record <= spoiled.size(); at += list.record) {
             const std::string title = spoiled.substr(at + list.titleAt, 80);
             const std::string plain = list.normal.substr(at + list.titleAt, 80);
             EXPECT_EQ(title.find('\0'), std::string::npos) << "no terminator";
             EXPECT_EQ(title.substr(0, plain.find('\0')), plain.substr(0, plain.find('\0')));
             EXPECT_EQ(spoiled.substr(at, list.titleAt), list.normal.substr(at, list.titleAt));
             const std::size_t after = at + list.titleAt + 80;
             EXPECT_EQ(spoiled.substr(after, at + list.record - after), list.normal.substr(after, at + list.record - after));
           }
         }
       }},
      {"info-offset=77",
       [](FaultTest& t, const std::string& fault) {
         const int index = t.model_->FindInstrument(0, "600100");
         const std::string name = t.model_->Info(0, index, 1, kSampleNow).textName;
         std::string body = Field(98, 1, "600100");
         body[9] = 1;
         body.replace(10, name.size(), name);
         Put32(&body, 90, 0xFFFFFFFFu);
         const std::string normal = t.Exchange(41, body);
         t.On(fault);
         std::string expected = normal;
         for (std::size_t at = 0; at < normal.size(); at += 10 + Get16(normal, at + 6)) Put32(&expected, at + 10 + 90, 77);
         EXPECT_EQ(t.Exchange(41, body), expected);
       }},
      {"bad-index",
       [&](FaultTest& t, const std::string& fault) {
         // The keys of snapshot entries (28 bytes from the first) and of sort records (8 bytes
         // after the 1-byte head, by last price), every other byte as it was.
         std::string sort(775, '\0');
         sort[0] = 4;
         Put16(&sort, 5, 2);
         Put16(&sort, 8, 2);
         Put16(&sort, 11, 3);
         struct Keyed {
           std::uint8_t type;
           std::string request;
           std::vector<std::size_t> keys;
           std::string normal;
         };
         std::vector<Keyed> answers = {{9, snapshot, {0, 28}, {}}, {101, sort, {1, 9}, {}}};
         for (Keyed& answer : answers) answer.normal = Body(t.Exchange(answer.type, answer.request));
         ASSERT_EQ(answers[0].normal.size(), 2u * 28);
         ASSERT_EQ(answers[1].normal.size(), 1u + 2 * 8);
         t.On(fault);
         for (const Keyed& answer : answers) {
           SCOPED_TRACE(int{answer.type});
           std::string expected = answer.normal;
           for (std::size_t at : answer.keys) {
             expected[at] = static_cast<char>(200);
             Put16(&expected, at + 1, 0xFFFF);
           }
           EXPECT_EQ(Body(t.Exchange(answer.type, answer.request)), expected);
         }
       }},
      {"path-code",
       [](FaultTest& t, const std::string& fault) {
         const std::string body = BarsBody(0);
         const std::string normal = t.Exchange(12, body);
         t.On(fault);
         const std::string reply = t.Exchange(12, body);
         ASSERT_EQ(reply.size(), normal.size());
         std::string expected = normal;
         for (std::size_t at = 0; at < normal.size(); at += 10 + Get16(normal, at + 6)) {
           expected.replace(at + 10 + 2, 8, std::string("..\\..\\x\0", 8));
         }
         EXPECT_EQ(reply, expected);
       }},
      {"bad-market",
       [](FaultTest& t, const std::string& fault) {
         // Bars (market at head byte 1) and a name table (its one-byte head): the same records,
         // the head naming market 200.
         const std::string body = BarsBody(0);
         const std::string normal = t.Exchange(12, body);
         const std::string names = t.Exchange(6, std::string(1, '\0'));
         t.On(fault);
         const std::string reply = t.Exchange(12, body);
         ASSERT_EQ(reply.size(), normal.size());
         std::string expected = normal;
         for (std::size_t at = 0; at < normal.size(); at += 10 + Get16(normal, at + 6)) {
           expected[at + 10 + 1] = static_cast<char>(200);
         }
         EXPECT_EQ(reply, expected);
         const std::string spoiledNames = t.Exchange(6, std::string(1, '\0'));
         ASSERT_EQ(spoiledNames.size(), names.size());
         std::string expectedNames = names;
         for (std::size_t at = 0; at < names.size(); at += 10 + Get16(names, at + 6)) {
           expectedNames[at + 10] = static_cast<char>(200);
         }
         EXPECT_EQ(spoiledNames, expectedNames);
       }},
      {"bad-note-name",
       [](FaultTest& t, const std::string& fault) {
         const std::string body(10, '\0');
         const std::string normal = Body(t.Exchange(16, body));
         t.On(fault);
         const std::string spoiled = Body(t.Exchange(16, body));
         ASSERT_EQ(spoiled.size(), normal.size());
         for (std::size_t at = 2; at + 108 <= normal.size(); at += 108) {
           const std::string name = spoiled.substr(at + 90, 16);
           EXPECT_EQ(name.rfind("..\\..\\", 0), 0u) << name;
           EXPECT_EQ(spoiled.substr(at, 90), normal.substr(at, 90));
           EXPECT_EQ(spoiled.substr(at + 106, 2), normal.substr(at + 106, 2));
         }
       }},
      {"clock=1500",
       [](FaultTest& t, const std::string& fault) {
         RawClient plain(t.pushPort());
         std::string expected = t.OpeningAnswer(&plain);
         t.On(fault);
         RawClient client(t.pushPort());
         Put16(&expected, 10 + 2, 1500);
         EXPECT_EQ(t.OpeningAnswer(&client), expected);
       }},
      {"long-flash",
       [](FaultTest& t, const std::string& fault) {
         auto push = t.Push();
         t.On(fault);
         ASSERT_EQ(t.server().Command("news").rfind("news flash", 0), 0u);
         Frame frame;
         ASSERT_TRUE(push->ReadFrame(&frame));
         ASSERT_EQ(frame.body.size(), 128u);
         EXPECT_EQ(frame.body.find('\0', 10), std::string::npos) << "118 bytes, no terminator";
       }},
      {"names-error",
       [&](FaultTest& t, const std::string& fault) {
         t.On(fault);
         const std::string reply = t.Exchange(6, namesOf0);
         EXPECT_EQ(reply, std::string("\x40\x02\x01\x00\x00\x00\x04\x00\x00\x00\x00\x00\x00\x00", 14));
       }},
      {"names-empty",
       [&](FaultTest& t, const std::string& fault) {
         t.On(fault);
         EXPECT_EQ(t.Exchange(6, namesOf0), std::string("\x40\x06\x01\x00\x00\x00\x01\x00\x00\x00\x00", 11));
       }},
      {"names-overflow=3",
       [&](FaultTest& t, const std::string& fault) {
         const std::string normal = Body(t.Exchange(6, namesOf0));
         t.On(fault);
         const std::string spoiled = Body(t.Exchange(6, namesOf0));
         EXPECT_EQ(spoiled.size(), 1 + (64u + 3) * 32) << "the capacity and three more";
         EXPECT_EQ(spoiled.substr(0, normal.size()), normal);
       }},
      {"bad-config",
       [&](FaultTest& t, const std::string& fault) {
         const std::string body = ConfigFileBody("MKINFO.CFG", static_cast<std::uint16_t>(configSize), configDate);
         EXPECT_EQ(Get16(t.Exchange(206, body), 6), 38) << "up to date: the head alone";
         t.On(fault);
         const std::string reply = t.Exchange(206, body);
         const std::string head = Body(reply).substr(0, 38);
         EXPECT_EQ(Get16(head, 32), configSize - 795);
         EXPECT_EQ(Get32(head, 34), 20240629u) << "dated the server's today";
         std::ifstream file(config, std::ios::binary);
         std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
         EXPECT_EQ(Body(reply).substr(38), bytes.substr(0, configSize - 795));
       }},
      {"unsorted-bars",
       [](FaultTest& t, const std::string& fault) {
         const std::string body = BarsBody(zuvo::model::kModelEpoch);
         Reply normal = t.Ask(12, body);
         t.On(fault);
         Reply spoiled = t.Ask(12, body);
         const std::string ascending = normal.Data(14);
         std::string reversed;
         for (std::size_t at = ascending.size(); at >= 32; at -= 32) reversed += ascending.substr(at - 32, 32);
         EXPECT_EQ(spoiled.Data(14), reversed);
       }},
      {"version=7",
       [&](FaultTest& t, const std::string& fault) {
         t.On(fault);
         EXPECT_EQ(Get32(Body(t.Exchange(202, version)), 0), 7u);
       }},
      {"restart-names",
       [&](FaultTest& t, const std::string& fault) {
         const std::string normal = Body(t.Exchange(6, namesOf0));
         t.On(fault);
         EXPECT_EQ(Body(t.Exchange(6, namesOf0)), normal) << "only after the next down";
         ASSERT_EQ(t.server().Command("down 0"), "down and up again");
         const std::string shifted = Body(t.Exchange(6, namesOf0));
         ASSERT_EQ(shifted.size(), normal.size() + 32);
         const std::size_t middle = (normal.size() / 32) / 2;
         EXPECT_EQ(shifted.substr(1 + middle * 32 + 2, 6), "N99999");
         // Past the insertion the client's index names the server's instrument before it.
         auto push = t.Push();
         push->Send(100, SubscriptionBody({{0, static_cast<std::uint16_t>(middle + 1)}}, 1));
         Frame frame;
         ASSERT_TRUE(push->ReadFrame(&frame));
         EXPECT_EQ(frame.body.substr(116, 7), normal.substr(1 + middle * 32 + 2, 7));
         ASSERT_EQ(t.server().Command("fault -restart-names"), "fault restart-names off");
         ASSERT_EQ(t.server().Command("down 0"), "down and up again");
         EXPECT_EQ(Body(t.Exchange(6, namesOf0)), normal);
       }},
  };

  std::set<std::string> covered;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fault);
    const std::string name = c.fault.substr(0, c.fault.find_first_of("=@"));
    covered.insert(name);
    c.check(*this, c.fault);
    server_->Command("fault -" + name);
    EXPECT_GT(Fired(name), 0u) << "counted in status\n" << server_->Command("status");
    // The server serves on.
    RawClient after(requestPort());
    EXPECT_TRUE(after.LogIn());
  }
  // The proxy switches have a table of their own (ProxyFixtureTest).
  for (const std::string& name : zuvo::quoteserver::ProxyFaultNames()) covered.insert(name);
  // The account server's switches are tested with the account check (tests/net/AccountCheck*).
  for (const std::string& name : zuvo::quoteserver::AccountFaultNames()) covered.insert(name);
  for (const std::string& name : zuvo::quoteserver::FaultNames()) EXPECT_EQ(covered.count(name), 1u) << name;
}

}  // namespace
}  // namespace quoteservertest

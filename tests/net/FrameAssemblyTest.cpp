// The frame assembly of both clients, fed by scripted receive calls instead of a socket: how the
// byte stream is cut into frames whatever its chunking, which headers and bodies close the
// connection (always with exactly one MsgConnectionLost), the push decompression modes, the
// slow-network notice on a driven tick, closes from inside a handler and nested reads.
#include "net/NetTestSupport.h"

#include "net/RequestFrames.h"
#include "net/RequestRecord.h"

#include "platform/DrivenClock.h"
#include "platform/Kernel.h"

#include <gtest/gtest.h>

namespace nettest {
namespace {

enum class Side { kRequest, kPush };

std::string Bytes(std::initializer_list<int> values) {
  std::string bytes;
  for (int value : values) bytes.push_back(static_cast<char>(value));
  return bytes;
}

// Cuts `bytes` into chunks of `size` (the last one shorter).
std::vector<std::string> Chunks(const std::string& bytes, std::size_t size) {
  std::vector<std::string> chunks;
  for (std::size_t at = 0; at < bytes.size(); at += size) chunks.push_back(bytes.substr(at, size));
  return chunks;
}

FrameFields Fields(std::uint8_t type, std::string body) {
  FrameFields fields;
  fields.type = type;
  fields.body = std::move(body);
  return fields;
}
FrameFields With(FrameFields fields, void (*change)(FrameFields*)) {
  change(&fields);
  return fields;
}

const std::string kKeepAlive = Bytes({0x40, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00});
const std::string kMaxBody = Pattern(8192, 7);
const std::string kQuotes = Pattern(3 * 128, 3);
const std::string kBigPlain = Pattern(16000, 9);

std::string Message(int count) {
  std::string bytes;
  for (int index = 0; index < count; ++index) {
    FrameFields fields = Fields(12, "part" + std::to_string(index));
    fields.count = static_cast<std::uint16_t>(count);
    fields.index = static_cast<std::uint16_t>(index);
    bytes += Frame(fields);
  }
  return bytes;
}

FrameFields Compressed(std::uint8_t type, const std::string& encoded) {
  FrameFields fields = Fields(type, encoded);
  fields.compressed = 1;
  return fields;
}

struct AssemblyCase {
  const char* name;
  Side side;
  std::vector<std::vector<std::string>> notifications;   // chunks served per read notification
  std::vector<int> handledAfter;                         // frames handled after each notification
  std::vector<std::string> bodies;                       // every handled body, in order
  bool lost;                                             // one MsgConnectionLost at the end
  bool peerClosesAtEnd = false;
  int modeBefore = kPushCompressionUnknown;
  int modeAfter = kPushCompressionUnknown;
};

std::vector<AssemblyCase> AssemblyCases() {
  const std::string hello = Frame(8, "hello");
  const std::string world = Frame(8, "world, and more");
  const std::string three = hello + world + Frame(8, "");
  const std::string partial = Frame(8, "tail body");
  const std::string badMagic = Frame(With(Fields(8, "x"), [](FrameFields* s) { s->magic = 'X'; }));
  const std::string hash = Frame(With(Fields(8, "slow"), [](FrameFields* s) { s->magic = '#'; }));
  const std::string len8193 = Frame(With(Fields(8, ""), [](FrameFields* s) { s->length = 8193; }));
  const std::string indexEqCount = Frame(With(Fields(8, "i"), [](FrameFields* s) { s->index = 1; }));
  const std::string countZero = Frame(With(Fields(8, "c"), [](FrameFields* s) { s->count = 0; }));
  const std::string maxFrame = Frame(8, kMaxBody);
  const std::string lzwQuotes = Frame(Compressed(8, Lzw(kQuotes)));
  const std::string zlibQuotes = Frame(Compressed(8, Zlib(kQuotes)));
  const std::string garbage = Frame(Compressed(8, "WMC15\xff\xff\xff\xff garbage"));
  const std::string flagOnPlain = Frame(Compressed(8, kQuotes.substr(0, 128)));
  const std::string zlibTooBig = Frame(Compressed(8, Zlib(Pattern(16385, 4))));
  const std::string lzwTooBig = Frame(Compressed(8, LzwUnlimited(Pattern(16384, 4))));
  const std::string lzwBig = Frame(Compressed(8, Lzw(kBigPlain)));
  const std::string unknownType = Frame(250, "?");
  const std::string lost = "";

  std::vector<AssemblyCase> cases;
  for (Side side : {Side::kRequest, Side::kPush}) {
    const bool push = side == Side::kPush;
    cases.push_back({"keep-alive bytes", side, {{kKeepAlive}}, {1}, {""}, false});
    cases.push_back({"header 3 then 7", side, {{kKeepAlive.substr(0, 3)}, {kKeepAlive.substr(3)}}, {0, 1}, {""}, false});
    cases.push_back({"byte by byte", side, {Chunks(three, 1)}, {3}, {"hello", "world, and more", ""}, false});
    cases.push_back({"byte by byte over notifications",
                     side,
                     {{hello.substr(0, 1)}, {hello.substr(1, 9)}, {hello.substr(10, 2)}, {hello.substr(12)}},
                     {0, 0, 0, 1},
                     {"hello"},
                     false});
    cases.push_back({"several frames and a partial one in one read",
                     side,
                     {{three + partial.substr(0, 12)}, {partial.substr(12)}},
                     {3, 4},
                     {"hello", "world, and more", "", "tail body"},
                     false});
    cases.push_back({"partial header after frames", side, {{three + partial.substr(0, 4)}, {partial.substr(4)}}, {3, 4},
                     {"hello", "world, and more", "", "tail body"}, false});
    cases.push_back({"a message of several frames in order", side, {Chunks(Message(3), 5)}, {3}, {"part0", "part1", "part2"},
                     false});
    cases.push_back({"body of exactly 8192", side, {{maxFrame}}, {1}, {kMaxBody}, false});
    cases.push_back({"body of 8192 in 1460-byte chunks", side, {Chunks(maxFrame, 1460)}, {1}, {kMaxBody}, false});
    cases.push_back({"8192 then more after it", side, {{maxFrame + hello}}, {2}, {kMaxBody, "hello"}, false});
    cases.push_back({"length 8193", side, {{hello + len8193}}, {1}, {"hello"}, true});
    cases.push_back({"wrong magic after a good frame", side, {{hello + badMagic + world}}, {1}, {"hello"}, true});
    cases.push_back({"wrong magic in its own read", side, {{hello}, {badMagic}}, {1, 1}, {"hello"}, true});
    cases.push_back({"index equal to count", side, {{indexEqCount}}, {0}, {}, true});
    cases.push_back({"count zero", side, {{hello.substr(0, 5), hello.substr(5) + countZero}}, {1}, {"hello"}, true});
    cases.push_back({"body cut by the peer's close is dropped", side, {{hello + partial.substr(0, 14)}}, {1}, {"hello"}, true,
                     true});
    cases.push_back({"peer close after whole frames", side, {{three}}, {3}, {"hello", "world, and more", ""}, true, true});
    if (push) {
      cases.push_back({"hash on the push connection", side, {{hash + hello}}, {2}, {"slow", "hello"}, false});
    } else {
      cases.push_back({"hash on the request connection", side, {{hello + hash}}, {1}, {"hello"}, true});
      cases.push_back({"unknown reply type", side, {{hello + unknownType + world}}, {2}, {"hello", "?"}, true});
      cases.push_back({"lzw body", side, {{lzwQuotes}}, {1}, {kQuotes}, false});
      cases.push_back({"lzw body near the output limit", side, {Chunks(lzwBig, 700)}, {1}, {kBigPlain}, false});
      cases.push_back({"lzw garbage", side, {{hello + garbage}}, {1}, {"hello"}, true});
      cases.push_back({"zlib is not a request format", side, {{zlibQuotes}}, {0}, {}, true});
      cases.push_back({"flag on a plain body", side, {{flagOnPlain}}, {0}, {}, true});
      cases.push_back({"lzw output above 16384", side, {{lzwTooBig}}, {0}, {}, true});
    }
  }
  // The push decompression modes, each row from a given mode.
  auto push = [&](const char* name, int before, const std::string& frames, std::vector<std::string> bodies, bool lost,
                  int after) {
    const int handled = static_cast<int>(bodies.size());
    cases.push_back({name, Side::kPush, {{frames}}, {handled}, std::move(bodies), lost, false, before, after});
  };
  push("mode 0, lzw: mode 1", 0, lzwQuotes, {kQuotes}, false, 1);
  push("mode 0, zlib: mode 2", 0, zlibQuotes, {kQuotes}, false, 2);
  push("mode 0, garbage: closes, mode kept", 0, hello + garbage, {"hello"}, true, 0);
  push("mode 1, lzw then zlib then lzw", 1, lzwQuotes + zlibQuotes + lzwQuotes, {kQuotes, kQuotes, kQuotes}, false, 1);
  push("mode 1, zlib: mode 2", 1, zlibQuotes, {kQuotes}, false, 2);
  push("mode 1, garbage: closes", 1, garbage, {}, true, 1);
  push("mode 2, zlib stays", 2, zlibQuotes + zlibQuotes, {kQuotes, kQuotes}, false, 2);
  push("mode 2, lzw: mode 1", 2, lzwQuotes, {kQuotes}, false, 1);
  push("mode 2, garbage: closes", 2, garbage, {}, true, 2);
  push("zlib output above 16384", 2, zlibTooBig, {}, true, 2);
  push("lzw output above 16384", 1, lzwTooBig, {}, true, 1);
  push("flag on a plain body", 1, flagOnPlain, {}, true, 1);
  push("lzw body near the output limit", 0, lzwBig, {kBigPlain}, false, 1);
  return cases;
}

template <class Client>
void RunCase(const AssemblyCase& test, std::vector<Handled>* handled, LPARAM which) {
  LostRecorder lost;
  auto client = std::make_unique<Client>();
  ASSERT_EQ(test.handledAfter.size(), test.notifications.size());
  for (std::size_t n = 0; n < test.notifications.size(); ++n) {
    SCOPED_TRACE("notification " + std::to_string(n));
    if (n + 1 == test.notifications.size()) client->peerClosed = test.peerClosesAtEnd;
    client->Notify(test.notifications[n]);
    EXPECT_EQ(static_cast<int>(handled->size()), test.handledAfter[n]);
  }
  std::vector<std::string> bodies;
  for (const Handled& frame : *handled) bodies.push_back(frame.body);
  EXPECT_EQ(bodies, test.bodies);
  EXPECT_EQ(lost.Count(which), test.lost ? 1 : 0);
  EXPECT_EQ(lost.Total(), test.lost ? 1 : 0);
  if (test.lost) {
    EXPECT_EQ(client->handle, -1);
    EXPECT_EQ(client->receiveCount, 0);
    EXPECT_FALSE(client->headerHeld);
    // Nothing is read after the close.
    const int calls = client->receiveCalls;
    client->Notify({kKeepAlive});
    EXPECT_EQ(client->receiveCalls, calls);
  } else {
    EXPECT_NE(client->handle, -1);
    EXPECT_EQ(client->waiting(), 0u);
  }
  // Destroying the client: a closed one posts nothing more, an open one posts once.
  const int before = lost.Total();
  client.reset();
  EXPECT_EQ(lost.Total(), before + (test.lost ? 0 : 1));
}

TEST(FrameAssembly, CutsTheStreamIntoFramesWhateverTheChunking) {
  for (const AssemblyCase& test : AssemblyCases()) {
    SCOPED_TRACE(std::string(test.side == Side::kRequest ? "request: " : "push: ") + test.name);
    RecordingHandlers handlers;
    PushDecompressMode = test.modeBefore;
    if (test.side == Side::kRequest) {
      RunCase<ScriptedRequest>(test, &handlers.replies, 0);
      EXPECT_TRUE(handlers.pushes.empty());
    } else {
      RunCase<ScriptedPush>(test, &handlers.pushes, 1);
      EXPECT_TRUE(handlers.replies.empty());
      EXPECT_EQ(PushDecompressMode, test.modeAfter);
    }
  }
  PushDecompressMode = kPushCompressionUnknown;
}

TEST(FrameAssembly, HandlerSeesTheHeaderOfItsFrame) {
  RecordingHandlers handlers;
  ScriptedRequest client;
  client.Notify({Message(3)});
  ASSERT_EQ(handlers.replies.size(), 3u);
  for (std::uint16_t index = 0; index < 3; ++index) {
    EXPECT_EQ(handlers.replies[index].type, 12);
    EXPECT_EQ(handlers.replies[index].count, 3);
    EXPECT_EQ(handlers.replies[index].index, index);
  }
}

TEST(FrameAssembly, PartialFrameStaysWithItsHeaderHeld) {
  RecordingHandlers handlers;
  ScriptedPush client;
  const std::string partial = Frame(8, "0123456789");
  client.Notify({Frame(8, "a") + partial.substr(0, 13)});
  EXPECT_EQ(handlers.pushes.size(), 1u);
  EXPECT_TRUE(client.headerHeld);
  EXPECT_EQ(client.receiveCount, 3);   // the body bytes so far, at the buffer's start
  EXPECT_EQ(int{client.header.length}, 10);
  client.Notify({partial.substr(13, 6)});
  EXPECT_EQ(handlers.pushes.size(), 1u);
  client.Notify({partial.substr(19)});
  ASSERT_EQ(handlers.pushes.size(), 2u);
  EXPECT_FALSE(client.headerHeld);
  EXPECT_EQ(client.receiveCount, 0);
}

TEST(FrameAssembly, OneNotificationReadsUntilWouldBlock) {
  RecordingHandlers handlers;
  ScriptedRequest client;
  // More than one receive buffer of frames waits: all are read and handled in one notification.
  std::vector<std::string> chunks;
  for (int frame = 0; frame < 6; ++frame) chunks.push_back(Frame(8, Pattern(4000, frame)));
  client.Notify(chunks);
  EXPECT_EQ(handlers.replies.size(), 6u);
  EXPECT_EQ(client.waiting(), 0u);
}

TEST(FrameAssembly, APeerSendingWithoutPauseLeavesTheRestToTheNextNotification) {
  RecordingHandlers handlers;
  ScriptedPush client;
  // Far more than one notification's share waits: the first notification stops after its share,
  // keeps the connection and the partial frame, and the next one goes on where it stopped.
  std::vector<std::string> chunks;
  const int frames = 2 * kMaxBytesPerNotification / 8000 + 2;
  for (int frame = 0; frame < frames; ++frame) chunks.push_back(Frame(8, Pattern(7990, frame)));
  client.Notify(chunks);
  const std::size_t first = handlers.replies.size() + handlers.pushes.size();
  EXPECT_GT(first, 0u);
  EXPECT_LT(first, static_cast<std::size_t>(frames));
  EXPECT_GT(client.waiting(), 0u);
  EXPECT_NE(client.handle, -1);
  while (client.waiting() > 0 && client.handle != -1) client.OnReceive(0);
  EXPECT_EQ(handlers.pushes.size(), static_cast<std::size_t>(frames));
  for (int frame = 0; frame < frames; ++frame) EXPECT_EQ(handlers.pushes[frame].body, Pattern(7990, frame));
  EXPECT_NE(client.handle, -1);
}

TEST(FrameAssembly, FullReceiveBufferCloses) {
  for (Side side : {Side::kRequest, Side::kPush}) {
    SCOPED_TRACE(side == Side::kRequest ? "request" : "push");
    LostRecorder lost;
    RecordingHandlers handlers;
    if (side == Side::kRequest) {
      ScriptedRequest client;
      client.receiveCount = kReceiveBufferBytes;
      client.Notify({kKeepAlive});
      EXPECT_EQ(client.handle, -1);
      EXPECT_EQ(lost.Count(0), 1);
    } else {
      ScriptedPush client;
      client.receiveCount = kReceiveBufferBytes;
      client.Notify({kKeepAlive});
      EXPECT_EQ(client.handle, -1);
      EXPECT_EQ(lost.Count(1), 1);
    }
    EXPECT_TRUE(handlers.replies.empty());
    EXPECT_TRUE(handlers.pushes.empty());
  }
}

// A handler that closes its own client (a request it sends fails and closes, say) must not let
// the read loop go on cutting the emptied buffer: the frames after it stay unhandled, the close
// completes once, and nothing is read out of bounds.
TEST(FrameAssembly, HandlerClosingItsOwnClientStopsTheReadCleanly) {
  for (int closingFrame : {0, 1, 2}) {
    SCOPED_TRACE("closed by frame " + std::to_string(closingFrame));
    LostRecorder lost;
    {
      RecordingHandlers handlers;
      ScriptedRequest client;
      handlers.during = [&](const Handled&) {
        if (static_cast<int>(handlers.replies.size()) == closingFrame + 1) {
          client.OnClose(0);
          client.OnClose(0);   // twice: still one message
          EXPECT_EQ(client.handle, kScriptedHandle);   // only marked while the loop runs
        }
      };
      client.Notify({Frame(8, "one") + Frame(8, Pattern(900)) + Frame(8, "three"), Frame(8, "four")});
      EXPECT_EQ(static_cast<int>(handlers.replies.size()), closingFrame + 1);
      EXPECT_EQ(client.handle, -1);
      EXPECT_EQ(client.receiveCount, 0);
      EXPECT_EQ(lost.Count(0), 1);
    }
    EXPECT_EQ(lost.Total(), 1);   // the closed client's destruction posts nothing
    lost.Clear();
    {
      RecordingHandlers handlers;
      ScriptedPush client;
      handlers.during = [&](const Handled&) {
        if (static_cast<int>(handlers.pushes.size()) == closingFrame + 1) client.OnClose(0);
      };
      client.Notify({Frame(8, "one") + Frame(8, "two") + Frame(8, "three")});
      EXPECT_EQ(static_cast<int>(handlers.pushes.size()), closingFrame + 1);
      EXPECT_EQ(client.handle, -1);
      EXPECT_EQ(lost.Count(1), 1);
    }
    EXPECT_EQ(lost.Total(), 1);
  }
}

// The chain a reply can set off: its handler completes a request, the queue builds the next one,
// the send fails with a reset and the failed build closes the client. That close only marks the
// client: the read stops after this handler (the frame after it stays unhandled), and the close
// completes once, with both buffers emptied.
TEST(FrameAssembly, FailedRequestSendInsideAHandlerClosesOnceAfterTheHandler) {
  LostRecorder lost;
  RecordingHandlers handlers;
  ScriptedRequest client;
  client.sendRoom = 0;
  client.sendError = WSAECONNRESET;
  int builds = 0;
  handlers.during = [&](const Handled&) {
    RequestRecord record;
    record.kind = kRequestVersion;
    ++builds;
    if (BuildRequestFrame(&client, &record) == -1) client.OnClose(0);
    EXPECT_EQ(client.handle, kScriptedHandle) << "only marked while the read runs";
    EXPECT_GT(client.sendCount, 0);
  };
  client.Notify({Frame(8, "one") + Frame(8, Pattern(3000)), Frame(8, "three")});
  EXPECT_EQ(builds, 1);
  ASSERT_EQ(handlers.replies.size(), 1u);
  EXPECT_EQ(handlers.replies[0].body, "one");
  EXPECT_EQ(client.handle, -1);
  EXPECT_EQ(client.receiveCount, 0);
  EXPECT_EQ(client.sendCount, 0);
  EXPECT_FALSE(client.headerHeld);
  EXPECT_EQ(lost.Count(0), 1);
  EXPECT_EQ(lost.Total(), 1);
}

// A modal loop inside a handler delivers the next read notification of the same client: it
// must neither re-enter the assembly nor lose the bytes; the outer loop reads them.
TEST(FrameAssembly, NestedReadIsLeftToTheOuterLoop) {
  RecordingHandlers handlers;
  ScriptedPush client;
  bool nested = false;
  handlers.during = [&](const Handled& frame) {
    if (frame.body == "first" && !nested) {
      nested = true;
      client.Queue({Frame(8, "arrived meanwhile")});
      client.OnReceive(0);   // what the nested message loop would dispatch
      EXPECT_EQ(handlers.pushes.size(), 1u);
    }
  };
  client.Notify({Frame(8, "first") + Frame(8, "second")});
  ASSERT_EQ(handlers.pushes.size(), 3u);
  EXPECT_EQ(handlers.pushes[1].body, "second");
  EXPECT_EQ(handlers.pushes[2].body, "arrived meanwhile");
  EXPECT_NE(client.handle, -1);
}

TEST(FrameAssembly, OnCloseOutsideAReadPostsOnceAndEmptiesTheBuffers) {
  LostRecorder lost;
  ScriptedRequest request;
  request.Notify({kKeepAlive.substr(0, 4)});
  request.sendCount = 5;
  request.OnClose(0);
  request.OnClose(0);
  EXPECT_EQ(request.handle, -1);
  EXPECT_EQ(request.receiveCount, 0);
  EXPECT_EQ(request.sendCount, 0);
  ScriptedPush push;
  push.OnClose(WSAECONNRESET);
  push.OnClose(0);
  EXPECT_EQ(lost.Count(0), 1);
  EXPECT_EQ(lost.Count(1), 1);
  EXPECT_EQ(lost.Total(), 2);
}

TEST(FrameAssembly, DestroyingPostsOnlyForAnOpenClient) {
  LostRecorder lost;
  { ScriptedRequest open; }
  { ScriptedPush open; }
  {
    ScriptedRequest closed;
    closed.handle = -1;
  }
  {
    ScriptedPush closed;
    closed.handle = -1;
  }
  { TRealDataClnt neverConnected; }
  EXPECT_EQ(lost.Count(0), 1);
  EXPECT_EQ(lost.Count(1), 1);
  EXPECT_EQ(lost.Total(), 2);
}

TEST(FrameAssembly, NothingIsPostedWithoutAMainWindow) {
  zuvo::net::ScopedMainWindow none(nullptr);
  ScriptedRequest client;
  client.Notify({Frame(With(Fields(8, ""), [](FrameFields* s) { s->magic = 'X'; }))});
  EXPECT_EQ(client.handle, -1);
}

// Two '#' frames 10 minutes apart ask once; a third 45 minutes after the first asks again. The
// frames themselves are handled like any other. Rows: a plain tick, a tick of 0 (taken as 1, so
// it still counts as asked) and a tick about to wrap.
TEST(FrameAssembly, SlowNetworkNoticeAsksOncePer45Minutes) {
  struct Row {
    const char* name;
    DWORD startTick;
    DWORD lateMs;   // a first tick of 0 was taken as 1: the interval ends 1 ms later
  };
  const Row rows[] = {
      {"plain tick", 5000000, 0}, {"tick 0", 0, 1}, {"across the wrap", 0xFFFFFFFFu - 20 * 60 * 1000, 0}};
  const std::string hash = Frame(With(Fields(8, "q"), [](FrameFields* s) { s->magic = '#'; }));
  const std::string split = hash.substr(0, 10);   // header first: MakeFrame sees it
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    zuvo::platform::ScopedDrivenClock clock(zuvo::platform::ScopedDrivenClock::kDefaultUtcMilliseconds,
                                      zuvo::platform::ScopedDrivenClock::kDefaultLocalOffsetMinutes, row.startTick);
    std::vector<int> asked;
    std::vector<std::string> traces;
    zuvo::net::ScopedRealtimeMessageRequest request([&](int which) { asked.push_back(which); });
    zuvo::net::ScopedTraceHook trace([&](const char* text) { traces.emplace_back(text); });
    RecordingHandlers handlers;
    ScriptedPush client;
    client.Notify({Frame(8, "x") + hash});   // at 0 minutes, seen by MakeData
    EXPECT_EQ(asked, std::vector<int>{3});
    clock.Advance(10 * 60 * 1000);
    client.Notify({split, hash.substr(10)});   // at 10 minutes, seen by MakeFrame
    EXPECT_EQ(asked.size(), 1u);
    clock.Advance(35 * 60 * 1000 - 1 + row.lateMs);
    client.Notify({hash});
    EXPECT_EQ(asked.size(), 1u);
    clock.Advance(1);
    client.Notify({hash});   // 45 minutes after the first
    EXPECT_EQ(asked, (std::vector<int>{3, 3}));
    EXPECT_EQ(handlers.pushes.size(), 5u);
    EXPECT_NE(client.handle, -1);
    const std::vector<std::string> expectedTraces = {"收到网速慢通知 (MakeData)", "申请网速慢通知 (MakeData)",
                                                     "收到网速慢通知 (MakeFrame)", "收到网速慢通知 (MakeFrame)",
                                                     "收到网速慢通知 (MakeFrame)", "申请网速慢通知 (MakeFrame)"};
    EXPECT_EQ(traces, expectedTraces);
  }
}

TEST(FrameAssembly, TracesNameTheFailingStep) {
  struct Row {
    Side side;
    std::string bytes;
    int mode;
    const char* trace;
  };
  const std::string bad = Frame(With(Fields(8, "x"), [](FrameFields* s) { s->magic = 'X'; }));
  const std::string garbage = Frame(Compressed(8, "not compressed at all"));
  const Row rows[] = {
      {Side::kRequest, bad, 0, "收到错误的包头 (AnalyzeInfoHead)"},
      {Side::kRequest, Frame(8, "a") + bad, 0, "收到错误的包头 (AnalyzeInfoBody)"},
      {Side::kRequest, garbage, 0, "解压失败1 (AnalyzeInfoBody)"},
      {Side::kPush, bad, 0, "收到错误的包头 (MakeFrame)"},
      {Side::kPush, Frame(8, "a") + bad, 0, "收到错误的包头 (MakeData)"},
      {Side::kPush, garbage, 0, "解压失败1 (MakeData)"},
      {Side::kPush, garbage, 1, "解压失败2 (MakeData)"},
      {Side::kPush, garbage, 2, "解压失败3 (MakeData)"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.trace);
    std::vector<std::string> traces;
    zuvo::net::ScopedTraceHook trace([&](const char* text) { traces.emplace_back(text); });
    RecordingHandlers handlers;
    LostRecorder lost;
    PushDecompressMode = row.mode;
    if (row.side == Side::kRequest) {
      ScriptedRequest client;
      client.Notify({row.bytes});
    } else {
      ScriptedPush client;
      client.Notify({row.bytes});
    }
    ASSERT_FALSE(traces.empty());
    EXPECT_EQ(traces.front(), row.trace);
    if (row.side == Side::kPush) {
      EXPECT_EQ(traces.back(), "网络断开 (OnClose)");
    }
    EXPECT_EQ(lost.Total(), 1);
  }
  PushDecompressMode = kPushCompressionUnknown;
}

TEST(FrameAssembly, SendBufferKeepsWhatTheSocketCannotTakeYet) {
  LostRecorder lost;
  ScriptedRequest request;
  const std::string queued = Frame(1, "") + Frame(12, "request body");
  std::memcpy(request.sendBuffer, queued.data(), queued.size());
  request.sendCount = static_cast<int>(queued.size());
  request.sendRoom = 7;
  request.OnSend(0);
  EXPECT_EQ(request.sent, queued.substr(0, 7));
  EXPECT_EQ(request.sendCount, static_cast<int>(queued.size()) - 7);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(request.sendBuffer), static_cast<std::size_t>(request.sendCount)),
            queued.substr(7));
  request.sendRoom = 1000;
  request.OnSend(0);
  EXPECT_EQ(request.sent, queued);
  EXPECT_EQ(request.sendCount, 0);
  EXPECT_EQ(lost.Total(), 0);

  ScriptedPush push;
  push.sendBuffer[0] = '@';
  push.sendCount = 1;
  push.sendRoom = 0;
  push.sendError = WSAECONNRESET;
  push.OnSend(0);
  EXPECT_EQ(push.handle, -1);
  EXPECT_EQ(lost.Count(1), 1);
}

TEST(FrameAssembly, PushClientRecordsTheTrafficTickOfEveryReceive) {
  zuvo::platform::ScopedDrivenClock clock;
  ScriptedPush client;
  const DWORD constructed = client.lastTraffic;
  EXPECT_EQ(constructed, GetTickCount());
  clock.Advance(12345);
  client.Notify({});   // a receive that would block still counts as traffic
  EXPECT_EQ(client.lastTraffic, constructed + 12345);
  clock.Advance(10);
  client.sendBuffer[0] = '@';
  client.sendCount = 1;
  client.OnSend(0);
  EXPECT_EQ(client.lastTraffic, constructed + 12355);
}

// The blocking reads of the synchronous exchanges.
TEST(FrameAssembly, BlockingReadsAssembleAndCheckTheFrame) {
  const std::string plain = Frame(3, Pattern(128));
  const std::string lzw = Frame(Compressed(12, Lzw(kBigPlain)));
  {
    ScriptedRequest client;
    client.Queue(Chunks(plain, 3));
    ASSERT_EQ(client.ReadFrameHeader(), 1);
    EXPECT_EQ(int{client.header.type}, 3);
    ASSERT_EQ(client.ReadFrameBody(), 128);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(client.body), 128), Pattern(128));
  }
  {
    ScriptedRequest client;
    client.Queue(Chunks(lzw, 1000));
    ASSERT_EQ(client.ReadFrameHeader(), 1);
    ASSERT_EQ(client.ReadFrameBody(), static_cast<int>(kBigPlain.size()));
    EXPECT_EQ(client.body, client.output);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(client.body), kBigPlain.size()), kBigPlain);
  }
  struct Bad {
    const char* name;
    std::string bytes;
    bool headerFails;
  };
  const Bad bad[] = {
      {"hash", Frame(With(Fields(3, "x"), [](FrameFields* s) { s->magic = '#'; })), true},
      {"length 8193", Frame(With(Fields(3, ""), [](FrameFields* s) { s->length = 8193; })), true},
      {"index = count", Frame(With(Fields(3, "x"), [](FrameFields* s) { s->index = 1; })), true},
      {"short header", plain.substr(0, 9), true},
      {"short body", plain.substr(0, 100), false},
      {"garbage body", Frame(Compressed(3, "WMC15 no codes here")), false},
  };
  for (const Bad& row : bad) {
    SCOPED_TRACE(row.name);
    ScriptedRequest client;
    client.peerClosed = true;
    client.Queue({row.bytes});
    if (row.headerFails) {
      EXPECT_EQ(client.ReadFrameHeader(), 0);
    } else {
      ASSERT_EQ(client.ReadFrameHeader(), 1);
      EXPECT_EQ(client.ReadFrameBody(), -1);
    }
    client.handle = -1;
  }
}

}  // namespace
}  // namespace nettest

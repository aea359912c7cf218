// The message channel between our programs: the frame codec and stream reader, delivery to our
// windows through the loopback double (order among our own posts, the sender's process id,
// WM_COPYDATA both ways, peers' windows as foreign handles, untrusted frames dropped with the
// connection kept, a hung peer), and the real socket with the stand-in program of tools/.
#include "platform/MessageChannel.h"

#include "platform/internal/ForeignWindows.h"

#include "platform/ChannelFrame.h"
#include "platform/DrivenClock.h"
#include "platform/Files.h"
#include "platform/Kernel.h"
#include "platform/Message.h"
#include "platform/Paths.h"
#include "platform/Process.h"
#include "platform/WinUser.h"
#include "support/TempInstall.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

using namespace zuvo::platform;
namespace channel = zuvo::platform::channel;

namespace {

namespace fs = std::filesystem;

constexpr UINT kMessengerHello = WM_USER + 1540;
constexpr UINT kTradeWindowOpened = 4025;
constexpr UINT kTradeWindowClosed = 4026;
constexpr DWORD kWait = 20000;

// ---- Frames ------------------------------------------------------------------------------------

channel::Frame PostFrame(std::uint64_t target, std::uint32_t message, std::uint32_t pid = 77) {
  channel::Frame frame;
  frame.kind = channel::FrameKind::kPost;
  frame.senderProcessId = pid;
  frame.target = target;
  frame.message = message;
  frame.wParam = 1;
  frame.lParam = 2;
  return frame;
}

channel::Frame CopyDataFrame(std::string bytes) {
  channel::Frame frame;
  frame.kind = channel::FrameKind::kSend;
  frame.flags = channel::kWParamIsWindow;
  frame.senderProcessId = 77;
  frame.sequence = 9;
  frame.target = 0x10040;
  frame.message = WM_COPYDATA;
  frame.wParam = 0x1000;
  frame.copyDataWord = 0xFEEDFACE12345678ull;
  frame.copyData = std::move(bytes);
  return frame;
}

std::string Body(const std::string& encoded) { return encoded.substr(channel::kLengthPrefix); }

std::optional<channel::Frame> Decode(const std::string& body) {
  return channel::DecodeFrameBody(reinterpret_cast<const std::uint8_t*>(body.data()), body.size());
}

TEST(ChannelFrameTest, FramesReadBackAsWritten) {
  channel::Frame answer;
  answer.kind = channel::FrameKind::kAnswer;
  answer.senderProcessId = 5;
  answer.sequence = 0xFFFFFFFF;
  answer.lParam = static_cast<std::uint64_t>(-1);
  channel::Frame gone;
  gone.kind = channel::FrameKind::kWindowGone;
  gone.target = 0x1000;
  channel::Frame flagged = PostFrame(0xFFFFFFFFFFFFFFFFull, 0xBFFF);
  flagged.flags = channel::kWParamIsWindow | channel::kLParamIsWindow;
  const std::vector<channel::Frame> frames = {PostFrame(0x10000, kTradeWindowOpened), flagged, answer, gone,
                                              CopyDataFrame(""), CopyDataFrame("\x00\xFF\x80" + std::string(125, 'x')),
                                              CopyDataFrame(std::string(channel::kMaxCopyData, 'z'))};
  for (const channel::Frame& frame : frames) {
    SCOPED_TRACE(static_cast<int>(frame.kind));
    const std::string encoded = channel::EncodeFrame(frame);
    ASSERT_GE(encoded.size(), channel::kLengthPrefix + channel::kFixedBody);
    const auto back = Decode(Body(encoded));
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(*back, frame);
  }
  // A block over 64 KB is not written at all.
  EXPECT_EQ(channel::EncodeFrame(CopyDataFrame(std::string(channel::kMaxCopyData + 1, 'z'))), "");
}

TEST(ChannelFrameTest, BrokenBodiesAreRefused) {
  const std::string post = Body(channel::EncodeFrame(PostFrame(0x10000, 2128)));
  const std::string copy = Body(channel::EncodeFrame(CopyDataFrame("abcd")));
  auto with = [](std::string body, std::size_t at, std::string bytes) { return body.replace(at, bytes.size(), bytes); };
  struct Case {
    const char* what;
    std::string body;
  };
  const std::vector<Case> cases = {
      {"empty", ""},
      {"short of the fixed part", post.substr(0, channel::kFixedBody - 1)},
      {"a byte after the fixed part", post + "x"},
      {"unknown kind 0", with(post, 0, std::string(1, '\0'))},
      {"unknown kind 5", with(post, 0, "\x05")},
      {"unknown flag", with(post, 1, "\x04")},
      {"zero field set", with(post, 2, "\x01")},
      {"posted WM_COPYDATA", with(post, 20, std::string("\x4A\0\0\0", 4))},
      {"sent WM_COPYDATA without its block header", copy.substr(0, channel::kFixedBody + 4)},
      {"block length beyond the frame", with(copy, 48, std::string("\x05\0\0\0", 4))},
      {"block length short of the frame", with(copy, 48, std::string("\x03\0\0\0", 4))},
      {"block over 64 KB", with(copy, 48, std::string("\x01\x00\x01\x00", 4))},
      {"block length near 4 GB", with(copy, 48, "\xFF\xFF\xFF\xFF")},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.what);
    EXPECT_FALSE(Decode(test.body).has_value());
  }
}

TEST(ChannelFrameTest, TheReaderCutsAStreamInAnyPiecesAndSkipsWhatNoFrameCanBe) {
  const std::string first = channel::EncodeFrame(PostFrame(0x10000, 2128));
  const std::string copy = channel::EncodeFrame(CopyDataFrame("hello"));
  const std::string broken = [&] {
    std::string bytes = first;
    bytes[channel::kLengthPrefix] = 9;   // unknown kind
    return bytes;
  }();
  // A length beyond any frame, followed by that many bytes of junk: skipped without holding it.
  const std::uint32_t junk = channel::kMaxBody + 1000;
  std::string overlong(reinterpret_cast<const char*>(&junk), 4);
  overlong += std::string(junk, '\x01');
  const std::string zeroLength(4, '\0');
  const std::string stream = first + broken + overlong + zeroLength + copy;

  for (std::size_t piece : {std::size_t{1}, std::size_t{3}, std::size_t{44}, std::size_t{4096}, stream.size()}) {
    SCOPED_TRACE(piece);
    channel::FrameReader reader;
    std::vector<channel::Frame> frames;
    std::size_t most = 0;
    for (std::size_t at = 0; at < stream.size(); at += piece) {
      const std::size_t n = std::min(piece, stream.size() - at);
      reader.Feed(reinterpret_cast<const std::uint8_t*>(stream.data() + at), n,
                  [&](const channel::Frame& frame) { frames.push_back(frame); });
      most = std::max(most, reader.pending());
    }
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].message, 2128u);
    EXPECT_EQ(frames[1].copyData, "hello");
    EXPECT_EQ(reader.dropped(), 3u);
    EXPECT_EQ(reader.pending(), 0u);
    EXPECT_LE(most, channel::kLengthPrefix + channel::kMaxBody);
  }
}

// ---- Delivery ----------------------------------------------------------------------------------

struct Handled {
  HWND window;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  DWORD sender;
  std::uint64_t copyDataWord = 0;
  std::string copyData{};
};

std::vector<Handled>* gHandled = nullptr;
LRESULT gCopyDataAnswer = 0;
std::function<void(const Handled&)> gOnHandled;

LRESULT RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (gHandled != nullptr && (message >= WM_USER || message == WM_COPYDATA)) {
    Handled handled{window, message, wParam, lParam, CurrentMessageSenderProcessId()};
    if (message == WM_COPYDATA) {
      const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
      handled.copyDataWord = data->dwData;
      handled.copyData.assign(static_cast<const char*>(data->lpData), data->cbData);
    }
    gHandled->push_back(handled);
    if (gOnHandled) gOnHandled(handled);
    return message == WM_COPYDATA ? gCopyDataAnswer : 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

const char* ChannelTestClass() {
  static bool registered = [] {
    WNDCLASSA wc{};
    wc.lpfnWndProc = RecordingProc;
    wc.lpszClassName = "ChannelTestWindow";
    return RegisterClassA(&wc) != 0;
  }();
  EXPECT_TRUE(registered);
  return "ChannelTestWindow";
}

std::uint64_t Number(HWND window) { return reinterpret_cast<std::uintptr_t>(window); }
HWND Handle(std::uint64_t number) { return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(number)); }

class MessageChannelTest : public testing::Test {
 protected:
  void SetUp() override {
    gHandled = &handled_;
    gCopyDataAnswer = 0;
    gOnHandled = nullptr;
    main_ = CreateWindowExA(0, ChannelTestClass(), "main", WS_POPUP, 0, 0, 100, 50, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(main_, nullptr);
  }
  void TearDown() override {
    DestroyWindow(main_);
    ProcessPendingMessages();
    gOnHandled = nullptr;
    gHandled = nullptr;
  }
  std::vector<UINT> Messages() const {
    std::vector<UINT> out;
    for (const Handled& h : handled_) out.push_back(h.message);
    return out;
  }
  static bool Alive(HWND foreign) { return IsWindow(foreign) != FALSE; }

  HWND main_ = nullptr;
  std::vector<Handled> handled_;
};

TEST_F(MessageChannelTest, PostsJoinTheQueueInOrderAndTellWhoSentThem) {
  LoopbackPeer peer(4001);
  peer.Post(main_, WM_USER + 1, 10, 11);
  PostMessageA(main_, WM_USER + 2, 20, 21);
  peer.Post(main_, WM_USER + 3, 30, 31);
  EXPECT_TRUE(handled_.empty());   // posted: nothing runs before the queue is pumped
  ProcessPendingMessages();
  ASSERT_EQ(Messages(), (std::vector<UINT>{WM_USER + 1, WM_USER + 2, WM_USER + 3}));
  EXPECT_EQ(handled_[0].sender, 4001u);
  EXPECT_EQ(handled_[0].wParam, 10u);
  EXPECT_EQ(handled_[0].lParam, 11);
  EXPECT_EQ(handled_[1].sender, 0u);
  EXPECT_EQ(handled_[2].sender, 4001u);
  // Outside a handler nobody is the sender.
  EXPECT_EQ(CurrentMessageSenderProcessId(), 0u);
}

TEST_F(MessageChannelTest, APeersWindowBecomesAForeignHandleThatDiesWithItOrItsProgram) {
  auto peer = std::make_unique<LoopbackPeer>(4002);
  const std::uint64_t trading = peer->NewWindow();
  const std::uint64_t other = peer->NewWindow();
  EXPECT_EQ(peer->HandleOf(trading), nullptr);
  peer->Post(main_, kTradeWindowOpened, trading, 0, channel::kWParamIsWindow);
  peer->Post(main_, WM_USER + 7, 5, other, channel::kLParamIsWindow);
  ProcessPendingMessages();
  ASSERT_EQ(handled_.size(), 2u);
  const HWND foreign = Handle(handled_[0].wParam);
  EXPECT_EQ(foreign, peer->HandleOf(trading));
  EXPECT_EQ(Handle(static_cast<std::uint64_t>(handled_[1].lParam)), peer->HandleOf(other));
  EXPECT_NE(foreign, main_);
  EXPECT_FALSE(win::FindForeign(main_));
  ASSERT_TRUE(Alive(foreign));
  DWORD pid = 0;
  EXPECT_EQ(GetWindowThreadProcessId(foreign, &pid), 4002u);
  EXPECT_EQ(pid, 4002u);

  // The same window keeps its handle; a destroyed one dies; the rest die with the program.
  peer->Post(main_, kTradeWindowOpened, trading, 0, channel::kWParamIsWindow);
  ProcessPendingMessages();
  EXPECT_EQ(Handle(handled_[2].wParam), foreign);
  peer->DestroyWindow(trading);
  EXPECT_FALSE(Alive(foreign));
  const HWND second = peer->HandleOf(other);
  EXPECT_TRUE(Alive(second));
  peer.reset();
  EXPECT_FALSE(Alive(second));
  pid = 99;
  EXPECT_EQ(GetWindowThreadProcessId(second, &pid), 0u);
  EXPECT_EQ(pid, 0u);
  EXPECT_FALSE(PostMessageA(second, WM_USER, 0, 0));
}

TEST_F(MessageChannelTest, CopyDataGoesBothWaysAndTheAnswerComesBack) {
  LoopbackPeer peer(4003);
  const std::uint64_t peerWindow = peer.NewWindow();
  gCopyDataAnswer = 0x5150;
  EXPECT_EQ(peer.SendCopyData(main_, peerWindow, 42, std::string("a\0b", 3)), 0x5150);
  ASSERT_EQ(handled_.size(), 1u);
  EXPECT_EQ(handled_[0].message, static_cast<UINT>(WM_COPYDATA));
  EXPECT_EQ(handled_[0].copyDataWord, 42u);
  EXPECT_EQ(handled_[0].copyData, std::string("a\0b", 3));
  EXPECT_EQ(handled_[0].sender, 4003u);
  const HWND foreign = Handle(handled_[0].wParam);
  ASSERT_EQ(foreign, peer.HandleOf(peerWindow));

  // Ours to the peer: a 128-byte block, our window as the first parameter.
  peer.SetAnswer([](const PeerMessage& m) { return static_cast<LRESULT>(m.copyData.size()); });
  std::string block(128, '\0');
  block.replace(0, 4, "user");
  block.replace(64, 6, "secret");
  COPYDATASTRUCT data{0, 128, block.data()};
  EXPECT_EQ(SendMessageA(foreign, WM_COPYDATA, reinterpret_cast<WPARAM>(main_), reinterpret_cast<LPARAM>(&data)),
            128);
  const auto received = peer.Received();
  ASSERT_EQ(received.size(), 1u);
  EXPECT_TRUE(received[0].sent);
  EXPECT_EQ(received[0].target, peerWindow);
  EXPECT_EQ(received[0].wParam, Number(main_));
  EXPECT_EQ(received[0].copyData, block);

  // WM_COPYDATA cannot be posted, nor a block over 64 KB sent.
  EXPECT_FALSE(PostMessageA(foreign, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data)));
  std::string huge(channel::kMaxCopyData + 1, 'h');
  COPYDATASTRUCT tooBig{0, static_cast<DWORD>(huge.size()), huge.data()};
  EXPECT_EQ(SendMessageA(foreign, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&tooBig)), 0);
  EXPECT_EQ(peer.Received().size(), 1u);
}

TEST_F(MessageChannelTest, UntrustedFramesAreDroppedAndTheConnectionKept) {
  LoopbackPeer peer(4004);
  LoopbackPeer otherPeer(4005);
  const std::uint64_t theirs = otherPeer.NewWindow();
  otherPeer.Post(main_, WM_USER, theirs, 0, channel::kWParamIsWindow);
  ProcessPendingMessages();
  const HWND otherForeign = otherPeer.HandleOf(theirs);
  ASSERT_NE(otherForeign, nullptr);
  HWND child = CreateWindowExA(0, ChannelTestClass(), "child", WS_CHILD, 0, 0, 10, 10, main_, nullptr, nullptr, nullptr);
  HWND dead = CreateWindowExA(0, ChannelTestClass(), "dead", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  DestroyWindow(dead);
  handled_.clear();

  auto post = [&](std::uint64_t target, std::uint32_t message, std::uint32_t pid) {
    return channel::EncodeFrame(PostFrame(target, message, pid));
  };
  std::string broken = post(Number(main_), WM_USER, 4004);
  broken[channel::kLengthPrefix + 1] = 0x40;   // an unknown flag
  std::string shortFrame = post(Number(main_), WM_USER, 4004);
  shortFrame[0] = 10;   // the length says ten bytes: a body too short for any frame
  shortFrame.resize(4 + 10);
  struct Case {
    const char* what;
    std::string bytes;
  };
  const std::vector<Case> cases = {
      {"a child window", post(Number(child), WM_USER, 4004)},
      {"a destroyed window", post(Number(dead), WM_USER, 4004)},
      {"a never-made handle", post(0x7FFFFFF0, WM_USER, 4004)},
      {"another program's window", post(Number(otherForeign), WM_USER, 4004)},
      {"a system message", post(Number(main_), WM_CLOSE, 4004)},
      {"a message whose parameter is an address", post(Number(main_), WM_SETTEXT, 4004)},
      {"another process's id", post(Number(main_), WM_USER, 4005)},
      {"a broken frame", broken},
      {"a short frame", shortFrame},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.what);
    const std::uint64_t before = ChannelFramesDropped();
    peer.Inject(test.bytes);
    ProcessPendingMessages();
    EXPECT_TRUE(handled_.empty());
    EXPECT_GE(ChannelFramesDropped(), before + 1);
    EXPECT_TRUE(IsWindow(main_));
    // The connection goes on: the next good frame arrives.
    peer.Post(main_, WM_USER + 9, 0, 0);
    ProcessPendingMessages();
    EXPECT_EQ(Messages(), std::vector<UINT>{WM_USER + 9});
    handled_.clear();
  }

  // A sent WM_COPYDATA for a window that is not ours is answered 0 and never handled.
  EXPECT_EQ(peer.SendCopyData(child, 0, 1, "x"), 0);
  EXPECT_EQ(peer.SendCopyData(otherForeign, 0, 1, "x"), 0);
  EXPECT_TRUE(handled_.empty());
  DestroyWindow(child);
}

TEST_F(MessageChannelTest, ASendToAHungProgramGivesUpAfterTheTimeout) {
  LoopbackPeer peer(4007);
  const std::uint64_t peerWindow = peer.NewWindow();
  peer.Post(main_, WM_USER, peerWindow, 0, channel::kWParamIsWindow);
  ProcessPendingMessages();
  const HWND foreign = peer.HandleOf(peerWindow);
  ASSERT_NE(foreign, nullptr);
  peer.HoldAnswers(true);
  ScopedDrivenClock clock;
  const DWORD previous = SetChannelSendTimeout(3000);
  LRESULT result = -1;
  std::thread sender([&] { result = SendMessageA(foreign, WM_USER + 5, 1, 2); });
  clock.AwaitWaitingThreads(1);
  clock.Advance(3000);
  sender.join();
  EXPECT_EQ(result, 0);
  EXPECT_EQ(peer.Received().size(), 1u);
  SetChannelSendTimeout(previous);
}

TEST_F(MessageChannelTest, ASendWaitingForAProgramThatGoesAwayEndsAtOnce) {
  auto peer = std::make_unique<LoopbackPeer>(4008);
  const std::uint64_t peerWindow = peer->NewWindow();
  peer->Post(main_, WM_USER, peerWindow, 0, channel::kWParamIsWindow);
  ProcessPendingMessages();
  const HWND foreign = peer->HandleOf(peerWindow);
  peer->HoldAnswers(true);
  ScopedDrivenClock clock;   // nothing drives it: only the disconnection can end the wait
  LRESULT result = -1;
  std::thread sender([&] { result = SendMessageA(foreign, WM_USER + 5, 1, 2); });
  clock.AwaitWaitingThreads(1);
  peer.reset();
  sender.join();
  EXPECT_EQ(result, 0);
}

// The messenger's hello is believed only from the process we started: a window procedure of the
// kind the main window has, over the real socket and the stand-in program.
class MessengerWindow {
 public:
  explicit MessengerWindow(HWND main) : main_(main) {
    gOnHandled = [this](const Handled& h) {
      if (h.message != kMessengerHello || h.wParam != 0) return;
      if (started_ == 0 || h.sender != started_) {
        ++refused_;
        return;
      }
      messenger_ = reinterpret_cast<HWND>(h.lParam);
      std::string block(128, '\0');
      block.replace(0, 6, "trader");
      block.replace(64, 6, "secret");
      COPYDATASTRUCT data{0, 128, block.data()};
      answer_ = SendMessageA(messenger_, WM_COPYDATA, reinterpret_cast<WPARAM>(main_), reinterpret_cast<LPARAM>(&data));
    };
  }
  void Started(DWORD pid) { started_ = pid; }
  HWND messenger() const { return messenger_; }
  int refused() const { return refused_; }

 private:
  HWND main_;
  DWORD started_ = 0;
  HWND messenger_ = nullptr;
  int refused_ = 0;
  LRESULT answer_ = 0;
};

std::string ToolPath() {
  const char* tools = std::getenv("ZUVO_TOOLS_DIR");
  return tools ? std::string(tools) + "/channel-peer/channel-peer" : std::string();
}

std::string ReadLog(const fs::path& folder) { return testsupport::ReadBytes(folder / "channel-peer.log"); }

class SocketChannelTest : public MessageChannelTest {
 protected:
  void SetUp() override {
    MessageChannelTest::SetUp();
    if (ToolPath().empty() || !fs::exists(ToolPath())) GTEST_SKIP() << "ZUVO_TOOLS_DIR names no channel-peer";
    folder_ = install_.root() / "run";
    work_ = install_.root() / "peer";
    fs::create_directories(work_);
    ASSERT_TRUE(StartMessageChannel({folder_.string()}));
  }
  void TearDown() override {
    StopMessageChannel();
    MessageChannelTest::TearDown();
  }
  // Starts the stand-in with the command text after the program's name.
  PROCESS_INFORMATION Start(const std::string& arguments) {
    std::string command = "\"" + paths::ToWindows(ToolPath()) + "\" " + arguments;
    const std::string folder = paths::ToWindows(work_.string());
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    EXPECT_TRUE(CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                               &info));
    return info;
  }
  DWORD Finish(const PROCESS_INFORMATION& info) {
    EXPECT_EQ(WaitHandlingSentMessages(info.hProcess, kWait), WAIT_OBJECT_0);
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(info.hProcess, &code);
    CloseHandle(info.hProcess);
    CloseHandle(info.hThread);
    return code;
  }

  testsupport::TempInstall install_;
  fs::path folder_;
  fs::path work_;
};

TEST_F(SocketChannelTest, TheAddressIsExportedFromAPrivateFolderAndTakenBackAtStop) {
  const std::string address = MessageChannelAddress();
  ASSERT_FALSE(address.empty());
  EXPECT_EQ(fs::path(address).parent_path(), folder_);
  EXPECT_EQ(fs::status(folder_).permissions() & fs::perms::all, fs::perms::owner_all);
  ASSERT_NE(std::getenv(kChannelAddressVariable), nullptr);
  EXPECT_EQ(std::string(std::getenv(kChannelAddressVariable)), address);
  EXPECT_TRUE(StartMessageChannel({folder_.string()}));   // already listening: nothing changes
  EXPECT_EQ(MessageChannelAddress(), address);
  StopMessageChannel();
  EXPECT_EQ(MessageChannelAddress(), "");
  EXPECT_EQ(std::getenv(kChannelAddressVariable), nullptr);
  EXPECT_FALSE(fs::exists(address));

  // A folder open to others is closed before use.
  fs::permissions(folder_, fs::perms::group_all | fs::perms::others_read, fs::perm_options::add);
  ASSERT_TRUE(StartMessageChannel({folder_.string()}));
  EXPECT_EQ(fs::status(folder_).permissions() & fs::perms::all, fs::perms::owner_all);
}

TEST_F(SocketChannelTest, AStartedProgramPostsWithItsWindowAndSendsCopyData) {
  gCopyDataAnswer = 77;
  const PROCESS_INFORMATION info =
      Start(std::to_string(Number(main_)) + " post:4025:self:0 post:4026:0:0 copydata:7:hello await:2564");
  ASSERT_TRUE(PumpMessagesUntil([&] { return handled_.size() >= 3; }, kWait));
  // Posts keep their order; a send, as on Windows, may overtake posts not yet taken.
  std::vector<UINT> posted;
  const Handled* copy = nullptr;
  for (const Handled& h : handled_) {
    EXPECT_EQ(h.sender, info.dwProcessId);
    if (h.message == WM_COPYDATA) {
      copy = &h;
    } else {
      posted.push_back(h.message);
    }
  }
  ASSERT_EQ(posted, (std::vector<UINT>{kTradeWindowOpened, kTradeWindowClosed}));
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->copyDataWord, 7u);
  EXPECT_EQ(copy->copyData, "hello");

  const HWND trading = Handle(handled_[0].message == kTradeWindowOpened ? handled_[0].wParam : handled_[1].wParam);
  EXPECT_EQ(Handle(copy->wParam), trading);
  ASSERT_TRUE(Alive(trading));
  DWORD pid = 0;
  EXPECT_EQ(GetWindowThreadProcessId(trading, &pid), info.dwProcessId);
  EXPECT_EQ(pid, info.dwProcessId);

  // The close notice lets it end; its window dies with it.
  EXPECT_TRUE(PostMessageA(trading, kMessengerHello, 3, 0));
  EXPECT_EQ(Finish(info), 0u);
  EXPECT_TRUE(PumpMessagesUntil([&] { return !Alive(trading); }, kWait));
  const std::string log = ReadLog(work_);
  EXPECT_NE(log.find("answer 77\n"), std::string::npos) << log;
  EXPECT_NE(log.find("posted 2564 " + std::to_string(0x1000) + " 3 0\n"), std::string::npos) << log;
}

TEST_F(SocketChannelTest, TheMessengersHelloIsAcceptedOnlyFromTheProcessWeStarted) {
  MessengerWindow window(main_);
  // A program we did not start says hello with its window: refused, it gets nothing.
  LoopbackPeer stranger(4321);
  const std::uint64_t strangerWindow = stranger.NewWindow();
  stranger.Post(main_, kMessengerHello, 0, strangerWindow, channel::kLParamIsWindow);
  ProcessPendingMessages();
  EXPECT_EQ(window.refused(), 1);
  EXPECT_EQ(window.messenger(), nullptr);
  EXPECT_TRUE(stranger.Received().empty());

  // The messenger we start (its command text: our window in decimal) gets the 128-byte block.
  const PROCESS_INFORMATION info = Start(std::to_string(Number(main_)));
  window.Started(info.dwProcessId);
  ASSERT_TRUE(PumpMessagesUntil([&] { return window.messenger() != nullptr; }, kWait));
  const HWND messenger = window.messenger();
  EXPECT_TRUE(PostMessageA(messenger, kMessengerHello, 3, 0));
  EXPECT_EQ(Finish(info), 0u);
  const std::string log = ReadLog(work_);
  std::string expected(128, '\0');
  expected.replace(0, 6, "trader");
  expected.replace(64, 6, "secret");
  std::string hex;
  for (unsigned char c : expected) {
    static const char* digits = "0123456789abcdef";
    hex += digits[c >> 4];
    hex += digits[c & 15];
  }
  EXPECT_NE(log.find("sent 74 4096 " + std::to_string(Number(main_)) + " 0 0 128 " + hex + "\n"), std::string::npos)
      << log;
  EXPECT_EQ(window.refused(), 1);
}

TEST_F(SocketChannelTest, AProgramStartedWhileNoChannelListensFindsNone) {
  StopMessageChannel();
  const PROCESS_INFORMATION info = Start(std::to_string(Number(main_)) + " post:4025:self:0");
  EXPECT_EQ(Finish(info), 2u);
  EXPECT_NE(ReadLog(work_).find("no channel"), std::string::npos);
}

}  // namespace

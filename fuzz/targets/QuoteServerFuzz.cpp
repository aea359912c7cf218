// Fuzz target "quoteserver": the local quote server's handling of a client's bytes: frames cut
// from an untrusted stream (ClientStream over the server's FrameReader) and each request
// answered by the protocol and the request answers from the market model; on the push port
// the opening frame and the subscriptions, followed by one push step.
// Input: parts control, stream. Control: the port (0 main, 1 request, 2 request after a
// login, 3 push), LZW compression (bit 0), the size of the pieces the stream arrives in (0:
// whole) and the server clock as seconds after the sample moment (at most about two years).
// Property: whatever arrives, everything the server answers is a sequence of whole frames
// ('@', index below count, 1 to 8192 body bytes, a reply's frames consecutive with one type
// and count and indexes 0 .. count - 1); nothing is answered once the stream is closing; a
// heartbeat alone is never answered; and the answers do not depend on how the stream was cut.
#include "FuzzSupport.h"
#include "FuzzTargets.h"

#include "ClientStream.h"
#include "InstallTree.h"
#include "MarketModel.h"
#include "PushFeed.h"
#include "RequestAnswers.h"
#include "ServerProtocol.h"
#include "ServerState.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

namespace {

using namespace zuvo::quoteserver;

void WriteFile(const std::filesystem::path& file, const void* data, std::size_t size) {
  std::filesystem::create_directories(file.parent_path());
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
}

MarketRecord Market(int kind, const char* code, const char* ext) {
  MarketRecord market{};
  market.kind = static_cast<std::uint8_t>(kind);
  std::strcpy(market.name, code);
  std::strcpy(market.code, code);
  std::strcpy(market.fileExt, ext);
  market.hourOffset = 8;
  market.capacity = 8;
  market.categoryCount = 2;
  for (int c = 0; c < 2; ++c) {
    CategoryRecord& category = market.categories[c];
    category.noDepth = c == 0 ? 1 : 0;
    category.sessionCount = 2;
    category.openMinute[0] = 9 * 60 + 30;
    category.closeMinute[0] = 11 * 60 + 30;
    category.openMinute[1] = 13 * 60;
    category.closeMinute[1] = 15 * 60;
    category.dayChangeMinute = 9 * 60;
  }
  return market;
}

InstrumentRecord Name(int category, const char* code) {
  InstrumentRecord name{};
  name.category = static_cast<std::uint8_t>(category);
  std::strcpy(name.code, code);
  std::strcpy(name.name, code);
  name.priceDivisor = 100;
  name.volumeDivisor = 100;
  name.decimals = 2;
  return name;
}

// A small tree of four markets (market 3 with alternative codes), written once in a folder of
// its own: the sandbox is emptied before every input, and the server reads its tree only when
// it starts.
struct Server {
  std::filesystem::path root;
  InstallTree tree;
  ServerState state{tree};
  std::unique_ptr<zuvo::model::MarketModel> model;
  std::unique_ptr<RequestAnswers> answers;
  std::unique_ptr<PushFeed> push;
  std::unique_ptr<ServerProtocol> protocol;
  ServerConfig config;
  std::int64_t now = zuvo::model::kSampleNow;

  Server() {
    std::string pattern = (std::filesystem::temp_directory_path() / "zuvo-fuzz-qs-XXXXXX").string();
    FUZZ_CHECK(mkdtemp(pattern.data()) != nullptr, "a folder for the server's tree");
    root = pattern;
    const MarketRecord markets[4] = {Market(1, "SH", "sh"), Market(1, "SZ", "sz"), Market(2, "QH", "qh"),
                                     Market(6, "HK", "hk")};
    WriteFile(root / "cfg" / "mkinfo.cfg", markets, sizeof markets);
    const std::string zones(24872, '\0');
    WriteFile(root / "cfg" / "systime.dat", zones.data(), zones.size());
    for (const MarketRecord& market : markets) {
      const InstrumentRecord names[3] = {Name(0, "000001"), Name(1, "600100"), Name(1, "600200")};
      WriteFile(root / "data" / market.code / (std::string("nametbl.") + market.fileExt), names, sizeof names);
    }
    const char alternatives[3][7] = {"HSI", "E00011", "E00022"};
    WriteFile(root / "data" / "HK" / "nametble.hk", alternatives, sizeof alternatives);
    config.dataDir = root;
    std::string error;
    FUZZ_CHECK(tree.Load(root, &error), "the server's tree loads");
    model = zuvo::model::MarketModel::Load(root, config.seed, &error);
    FUZZ_CHECK(model != nullptr, "the market model loads");
    answers = std::make_unique<RequestAnswers>(config, tree, *model, [this] { return now; }, &state);
    push = std::make_unique<PushFeed>(tree, *model, &state);
    protocol = std::make_unique<ServerProtocol>(config, tree, answers.get(), [this] { return now; }, &state,
                                                push.get());
  }
  ~Server() {
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
  }
};

Server& TheServer() {
  static Server server;
  return server;
}

std::string Frame(std::uint8_t type, const std::string& body) {
  std::string frame(10, '\0');
  frame[0] = '@';
  frame[1] = static_cast<char>(type);
  frame[2] = 1;
  frame[6] = static_cast<char>(body.size() & 0xFF);
  frame[7] = static_cast<char>(body.size() >> 8);
  return frame + body;
}

// Feeds the stream in pieces and returns every byte answered, checking that nothing is
// answered once the stream closes.
std::string Serve(PortRole role, bool loggedIn, Compression compression, std::string_view bytes, std::size_t piece) {
  Server& server = TheServer();
  server.config.compression = compression;
  server.config.pushCompression = compression;
  ClientStream stream(role);
  std::string answered;
  auto take = [&] {
    answered.append(reinterpret_cast<const char*>(stream.pending()), stream.pendingSize());
    stream.Sent(stream.pendingSize());
  };
  auto feed = [&](std::string_view part) {
    const bool wasClosing = stream.closing();
    stream.reader().Append(reinterpret_cast<const std::uint8_t*>(part.data()), part.size());
    stream.Process(*server.protocol, std::size_t{1} << 30, 0, nullptr);
    FUZZ_CHECK(!wasClosing || stream.pendingSize() == 0, "nothing is answered once the stream is closing");
    take();
  };
  if (loggedIn) {
    std::string login(64, '\0');
    login[60] = 2;
    feed(Frame(3, login));
    answered.clear();
  }
  if (piece == 0) piece = bytes.size();
  for (std::size_t at = 0; at < bytes.size(); at += piece) feed(bytes.substr(at, piece));
  if (role == PortRole::kPush) {
    // What the subscription asked for, one step later.
    const bool wasClosing = stream.closing();
    stream.Push(*server.protocol, [&](ReplyWriter* writer) { server.push->Step(&stream.session().push, server.now + 60, writer); },
                nullptr);
    FUZZ_CHECK(!wasClosing || stream.pendingSize() == 0, "nothing is pushed once the stream is closing");
    take();
  }
  return answered;
}

void CheckFrames(const std::string& answered) {
  std::size_t at = 0;
  int expectIndex = 0;
  int count = 0;
  int type = -1;
  while (at < answered.size()) {
    FUZZ_CHECK(answered.size() - at >= kFrameHeaderSize, "answers are whole frames");
    const FrameHeader header = ReadHeader(reinterpret_cast<const std::uint8_t*>(answered.data()) + at);
    FUZZ_CHECK(header.magic == kFrameMagic, "every frame starts with '@'");
    FUZZ_CHECK(header.index < header.count, "the index is below the count");
    FUZZ_CHECK(header.length >= 1 && header.length <= kMaxFrameBody, "bodies hold 1 to 8192 bytes");
    FUZZ_CHECK(answered.size() - at - kFrameHeaderSize >= header.length, "answers are whole frames");
    if (expectIndex == 0) {
      type = header.type;
      count = header.count;
    }
    FUZZ_CHECK(header.index == expectIndex && header.type == type && header.count == count,
               "a reply's frames come together, in order");
    expectIndex = header.index + 1 == header.count ? 0 : expectIndex + 1;
    at += kFrameHeaderSize + header.length;
  }
  FUZZ_CHECK(expectIndex == 0, "every reply ends with its last frame");
}

}  // namespace

int FuzzQuoteServerStream(const std::uint8_t* data, std::size_t size) {
  const auto parts = fuzz::SplitParts(std::string_view(reinterpret_cast<const char*>(data), size), 2);
  fuzz::ControlReader control(parts.empty() ? std::string_view() : parts[0]);
  const std::string_view bytes = parts.size() > 1 ? parts[1] : std::string_view();
  const int port = control.U8() % 4;
  const Compression compression = (control.U8() & 1) ? Compression::kLzw : Compression::kNone;
  const std::size_t piece = control.U8();
  TheServer().now = zuvo::model::kSampleNow + static_cast<std::int64_t>(control.U32() % (2 * 366 * 86400));

  const PortRole role = port == 0 ? PortRole::kMain : port == 3 ? PortRole::kPush : PortRole::kRequest;
  const std::string whole = Serve(role, port == 2, compression, bytes, 0);
  CheckFrames(whole);
  FUZZ_CHECK(Serve(role, port == 2, compression, bytes, piece) == whole, "answers do not depend on the pieces");
  FUZZ_CHECK(Serve(role, port == 2, compression, Frame(1, ""), 0).empty(), "a heartbeat is never answered");
  return 0;
}

#include "quoteserver/ServerFixture.h"

#include <unistd.h>

#include <cstdlib>

namespace quoteservertest {
namespace {

// Removes the generated tree when the test program ends.
struct GeneratedTree {
  std::filesystem::path root;
  ~GeneratedTree() {
    std::error_code ignored;
    if (!root.empty()) std::filesystem::remove_all(root, ignored);
  }
};

}  // namespace

std::filesystem::path ToolProgram(const std::string& folder, const std::string& program) {
  if (const char* tools = std::getenv("ZUVO_TOOLS_DIR"); tools != nullptr && tools[0] != '\0') {
    return std::filesystem::path(tools) / folder / program;
  }
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe");
  return self.parent_path().parent_path().parent_path() / "tools" / folder / program;
}

const std::filesystem::path& SampleRoot() {
  static GeneratedTree tree = [] {
    GeneratedTree made;
    std::string pattern = (std::filesystem::temp_directory_path() / "zuvo-qs-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) return made;
    std::string command(1, '"');
    command += ToolProgram("sample-market", "sample-market").string();
    command += "\" \"";
    command += pattern;
    command += '"';
    if (std::system(command.c_str()) != 0) {
      std::filesystem::remove_all(pattern);
      return made;
    }
    made.root = pattern;
    return made;
  }();
  if (tree.root.empty()) ADD_FAILURE() << "the sample market generator did not run";
  return tree.root;
}

zuvo::quoteserver::ServerConfig ServerTest::SampleConfig() {
  zuvo::quoteserver::ServerConfig config;
  config.dataDir = SampleRoot();
  config.mainPort = 0;
  config.requestPort = 0;
  config.pushPort = 0;
  config.verbose = true;
  return config;
}

void ServerTest::StartServer(zuvo::quoteserver::ServerConfig config,
                             const std::function<void(zuvo::quoteserver::QuoteServer&)>& prepare) {
  if (server_) server_->Stop();
  server_ = std::make_unique<zuvo::quoteserver::QuoteServer>(config, [this] { return now_.load(); });
  if (prepare) prepare(*server_);
  server_->SetLogSink([this](const std::string& line) {
    std::lock_guard<std::mutex> lock(logMutex_);
    log_.push_back(line);
  });
  std::string error;
  ASSERT_TRUE(server_->Start(&error)) << error;
}

void ServerTest::TearDown() {
  if (server_) server_->Stop();
}

std::unique_ptr<RawClient> ServerTest::LoggedIn() {
  auto client = std::make_unique<RawClient>(requestPort());
  EXPECT_TRUE(client->LogIn());
  return client;
}

Reply ServerTest::Ask(std::uint8_t type, const std::string& body) {
  auto client = LoggedIn();
  client->Send(type, body);
  Reply reply;
  EXPECT_TRUE(client->ReadReply(&reply)) << "no reply to type " << int{type};
  return reply;
}

std::unique_ptr<RawClient> ServerTest::OpenedPush(std::string* clock) {
  auto client = std::make_unique<RawClient>(pushPort());
  client->Send(202, OpeningFrameBody());
  Frame frame;
  EXPECT_TRUE(client->ReadFrame(&frame)) << "no clock record after the opening frame";
  if (clock != nullptr) *clock = frame.body;
  return client;
}

std::uint64_t ServerTest::Fired(const std::string& name) {
  const std::string status = server_->Command("status");
  const std::string line = "\n  " + name;
  for (std::size_t at = status.find(line); at != std::string::npos; at = status.find(line, at + 1)) {
    const char next = status[at + line.size()];
    if (next != ' ' && next != '=' && next != '@') continue;
    const std::size_t fired = status.find("fired ", at);
    if (fired == std::string::npos) return 0;
    return std::stoull(status.substr(fired + 6));
  }
  return 0;
}

bool ServerTest::Logged(const std::string& text) {
  std::lock_guard<std::mutex> lock(logMutex_);
  for (const std::string& line : log_) {
    if (line.find(text) != std::string::npos) return true;
  }
  return false;
}

}  // namespace quoteservertest

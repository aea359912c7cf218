// scripts/start-quote-server.sh, the part of ./run.sh that makes the local quote server the
// terminal's default: it starts the server and waits for its ports, runs the terminal in the
// program folder and stops the server after it, stops a server it left running, and reports a
// port in use. No case leaves a process behind. And the server list the program folder ships,
// which points the terminal at that server.
#include "quoteserver/ServerFixture.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>

namespace quoteservertest {
namespace {

namespace fs = std::filesystem;

const fs::path& SourceTop() {
  static const fs::path top = fs::path(__FILE__).parent_path().parent_path().parent_path();
  return top;
}

std::string ReadText(const fs::path& file) {
  std::ifstream in(file);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// True while the process runs; an exited one that nobody has reaped yet counts as gone.
bool Running(pid_t pid) {
  const std::string stat = ReadText("/proc/" + std::to_string(pid) + "/stat");
  const std::size_t close = stat.rfind(')');
  return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] != 'Z' && stat[close + 2] != 'X';
}

// A socket bound to a free loopback port, listening or not.
struct Holder {
  int fd = -1;
  std::uint16_t port = 0;
  explicit Holder(bool listening) {
    fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        (!listening || ::listen(fd, 4) == 0)) {
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
      port = ntohs(address.sin_port);
    }
  }
  ~Holder() { Release(); }
  void Release() {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
};

class StartScriptTest : public testing::Test {
 protected:
  void SetUp() override {
    root_ = SampleRoot();
    ASSERT_FALSE(root_.empty());
    std::string pattern = (fs::temp_directory_path() / "zuvo-qs-start-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    state_ = pattern;
    // Three free ports: taken, noted and let go.
    Holder ports[3] = {Holder(false), Holder(false), Holder(false)};
    for (int i = 0; i < 3; ++i) {
      ASSERT_NE(ports[i].port, 0);
      ports_[i] = ports[i].port;
    }
  }
  void TearDown() override {
    Run("stop " + Quoted(root_));
    fs::remove_all(state_);
  }

  static std::string Quoted(const fs::path& path) {
    std::string quoted(1, '"');
    quoted += path.string();
    quoted += '"';
    return quoted;
  }

  // Runs the script with the test's ports and state folder; its exit status, output and errors.
  int Run(const std::string& arguments) {
    std::string command = "ZUVO_MAIN_PORT=" + std::to_string(ports_[0]) +
                          " ZUVO_REQUEST_PORT=" + std::to_string(ports_[1]) +
                          " ZUVO_PUSH_PORT=" + std::to_string(ports_[2]) + " ZUVO_SERVER_STATE=" + Quoted(state_) +
                          " " + Quoted(SourceTop() / "scripts" / "start-quote-server.sh") + " " + arguments + " >" +
                          Quoted(state_ / "out.txt") + " 2>" + Quoted(state_ / "err.txt");
    const int status = std::system(command.c_str());
    output_ = ReadText(state_ / "out.txt");
    errors_ = ReadText(state_ / "err.txt");
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::string StartArguments(const fs::path& terminal = {}) const {
    std::string arguments = "start ";
    arguments += Quoted(ToolProgram("quote-server", "quote-server"));
    arguments += ' ';
    arguments += Quoted(root_);
    if (!terminal.empty()) arguments.append(1, ' ').append(Quoted(terminal));
    return arguments;
  }
  pid_t PidFromFile() const { return static_cast<pid_t>(std::atoi(ReadText(state_ / "quote-server.pid").c_str())); }

  fs::path root_;
  fs::path state_;
  std::uint16_t ports_[3] = {};
  std::string output_;
  std::string errors_;
};

TEST_F(StartScriptTest, StartsTheServerUntilStoppedAndLeavesNothingBehind) {
  ASSERT_EQ(Run(StartArguments(root_ / "bin" / "no-terminal-yet")), 0) << errors_;
  EXPECT_NE(output_.find("main port " + std::to_string(ports_[0])), std::string::npos) << output_;
  EXPECT_NE(output_.find("Stop it with:"), std::string::npos) << output_;
  const pid_t pid = PidFromFile();
  ASSERT_GT(pid, 0);
  EXPECT_TRUE(Running(pid));
  for (std::uint16_t port : ports_) {
    RawClient client(port);
    EXPECT_TRUE(client.connected()) << port;
  }
  RawClient request(ports_[1]);
  EXPECT_TRUE(request.LogIn());
  // A second start refuses: the first server still runs.
  EXPECT_EQ(Run(StartArguments()), 1);
  EXPECT_NE(errors_.find("still running"), std::string::npos) << errors_;

  ASSERT_EQ(Run("stop " + Quoted(root_)), 0) << errors_;
  EXPECT_FALSE(Running(pid));
  EXPECT_FALSE(fs::exists(state_ / "quote-server.pid"));
  EXPECT_TRUE(request.WaitClosed());
}

TEST_F(StartScriptTest, RunsTheTerminalInItsFolderAndStopsTheServerAfterIt) {
  fs::create_directories(root_ / "bin");
  const fs::path terminal = root_ / "bin" / "terminal-stand-in";
  {
    std::ofstream script(terminal);
    script << "#!/bin/sh\npwd > " << Quoted(state_ / "cwd.txt") << "\ncat " << Quoted(state_ / "quote-server.pid")
           << " > " << Quoted(state_ / "seen-pid.txt") << "\nexit 7\n";
  }
  fs::permissions(terminal, fs::perms::owner_all);
  EXPECT_EQ(Run(StartArguments(terminal)), 7) << "the terminal's exit status" << errors_;
  EXPECT_EQ(ReadText(state_ / "cwd.txt"), (root_ / "bin").string() + "\n");
  const pid_t pid = static_cast<pid_t>(std::atoi(ReadText(state_ / "seen-pid.txt").c_str()));
  ASSERT_GT(pid, 0) << "the server ran while the terminal did";
  EXPECT_FALSE(Running(pid));
  EXPECT_FALSE(fs::exists(state_ / "quote-server.pid"));
  fs::remove(terminal);
}

TEST_F(StartScriptTest, APortInUseIsReportedAndNothingIsLeftRunning) {
  struct Case {
    const char* name;
    bool listening;
    const char* reason;
  };
  const Case cases[] = {
      {"another program listens", true, "is in use by another program"},
      {"another program holds the port", false, "Address already in use"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Holder holder(c.listening);
    ASSERT_NE(holder.port, 0);
    ports_[2] = holder.port;
    EXPECT_EQ(Run(StartArguments()), 1);
    EXPECT_NE(errors_.find(std::to_string(holder.port)), std::string::npos) << errors_;
    EXPECT_NE(errors_.find(c.reason), std::string::npos) << errors_;
    EXPECT_FALSE(fs::exists(state_ / "quote-server.pid"));
    for (std::uint16_t port : {ports_[0], ports_[1]}) {
      RawClient client(port);
      EXPECT_FALSE(client.connected()) << "no server left on " << port;
    }
  }
}

// dist/bin/SERVER.INI, the server list the program folder ships: the local server as its one
// [RIGHT] entry and the ports the quote server listens on by default; GBK text, CRLF line ends.
TEST(ServerIniTest, NamesTheLocalServerAndItsDefaultPorts) {
  std::ifstream in(SourceTop() / "dist" / "bin" / "SERVER.INI", std::ios::binary);
  ASSERT_TRUE(in.good());
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_GE(bytes.size(), 2u);
  EXPECT_EQ(bytes.substr(bytes.size() - 2), "\r\n") << "the last line ends too";
  std::map<std::string, std::map<std::string, std::string>> sections;
  std::string section;
  for (std::size_t at = 0; at < bytes.size();) {
    const std::size_t end = bytes.find('\n', at);
    ASSERT_NE(end, std::string::npos);
    ASSERT_GT(end, at) << "a bare LF at " << at;
    ASSERT_EQ(bytes[end - 1], '\r') << "a bare LF at " << end;
    const std::string line = bytes.substr(at, end - 1 - at);
    at = end + 1;
    EXPECT_EQ(line.find('\r'), std::string::npos) << "a bare CR in \"" << line << '"';
    if (line.empty()) continue;
    if (line.front() == '[') {
      ASSERT_EQ(line.back(), ']') << line;
      section = line.substr(1, line.size() - 2);
      continue;
    }
    const std::size_t equals = line.find('=');
    ASSERT_NE(equals, std::string::npos) << line;
    ASSERT_FALSE(section.empty()) << "a key before any section: " << line;
    EXPECT_TRUE(sections[section].emplace(line.substr(0, equals), line.substr(equals + 1)).second)
        << "a key twice: " << line;
  }
  const zuvo::quoteserver::ServerConfig defaults;
  struct Case {
    const char* section;
    const char* key;
    std::string value;
  };
  const Case cases[] = {
      {"RIGHT", "svraddr0", "127.0.0.1"},
      {"RIGHT", "company0", "本地行情服务器"},   // GBK: the literal is compiled to GB18030
      {"RIGHT", "svrport0", std::to_string(defaults.mainPort)},
      {"RIGHT", "Network0", "1"},
      {"Server", "NOJH", "0"},
      {"Server", "Port1", std::to_string(defaults.requestPort)},
      {"Server", "Port2", std::to_string(defaults.pushPort)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.section << "/" << c.key);
    const auto found = sections[c.section].find(c.key);
    ASSERT_NE(found, sections[c.section].end());
    EXPECT_EQ(found->second, c.value);
  }
  EXPECT_EQ(sections["RIGHT"]["company0"], "\xB1\xBE\xB5\xD8\xD0\xD0\xC7\xE9\xB7\xFE\xCE\xF1\xC6\xF7");
  EXPECT_EQ(defaults.mainPort, 13130);
  EXPECT_EQ(defaults.requestPort, 13152);
  EXPECT_EQ(defaults.pushPort, 13153);
  // The local server is the only entry.
  for (const auto& [key, value] : sections["RIGHT"]) {
    EXPECT_TRUE(key.empty() || key.back() == '0' || key == "lastindex") << key << "=" << value;
  }
}

}  // namespace
}  // namespace quoteservertest

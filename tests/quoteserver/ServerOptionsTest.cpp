// The command line: what each option sets, the refusals, and the program's exit code 2 with a
// one-line message for bad options, bad data and a port in use.
#include "ServerOptions.h"
#include "quoteserver/ServerFixture.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>

namespace {

using zuvo::quoteserver::Compression;
using zuvo::quoteserver::ParseCommandLine;
using zuvo::quoteserver::ServerConfig;

TEST(ServerOptionsTest, ReadsEveryOption) {
  ServerConfig config;
  bool help = true;
  std::string error;
  ASSERT_TRUE(ParseCommandLine({"--data", "/srv/tree", "--bind=0.0.0.0", "--main-port", "1", "--request-port", "2",
                                "--push-port=3", "--data-addr", "10.1.2.3", "--seed", "42", "--page", "5",
                                "--version", "-7", "--user", "ann:secret", "--user=bob:", "--deny", "1:2",
                                "--deny", "47:15", "--compress", "lzw", "--verbose"},
                               &config, &help, &error))
      << error;
  EXPECT_FALSE(help);
  EXPECT_EQ(config.dataDir, "/srv/tree");
  EXPECT_EQ(config.bindAddress, "0.0.0.0");
  EXPECT_EQ(config.mainPort, 1);
  EXPECT_EQ(config.requestPort, 2);
  EXPECT_EQ(config.pushPort, 3);
  EXPECT_EQ(config.dataAddress, (std::array<std::uint8_t, 4>{10, 1, 2, 3}));
  EXPECT_EQ(config.seed, 42u);
  EXPECT_EQ(config.page, 5u);
  EXPECT_EQ(config.version, -7);
  ASSERT_EQ(config.users.size(), 2u);
  EXPECT_EQ(config.users[0].name, "ann");
  EXPECT_EQ(config.users[0].password, "secret");
  EXPECT_EQ(config.users[1].password, "");
  ASSERT_EQ(config.denied.size(), 2u);
  EXPECT_EQ(config.denied[1].market, 47);
  EXPECT_EQ(config.denied[1].category, 15);
  EXPECT_EQ(config.compression, Compression::kLzw);
  EXPECT_TRUE(config.verbose);

  ServerConfig live;
  ASSERT_TRUE(ParseCommandLine({"--data", "d", "--clock", "09:35", "--speed=60", "--push-ms", "0", "--news-every", "120",
                                "--push-compress", "zlib", "--fault", "stall=200", "--fault=dribble@push",
                                "--fault", "login-refuse=no@where"},
                               &live, &help, &error))
      << error;
  EXPECT_EQ(live.clockStart, zuvo::quoteserver::ClockStart::kAt);
  EXPECT_EQ(live.clockMinute, 9 * 60 + 35);
  EXPECT_EQ(live.speed, 60);
  EXPECT_EQ(live.pushMs, 0);
  EXPECT_EQ(live.newsEvery, 120);
  EXPECT_EQ(live.pushCompression, Compression::kZlib);
  EXPECT_EQ(live.faults, (std::vector<std::string>{"stall=200", "dribble@push", "login-refuse=no@where"}));
  EXPECT_EQ(live.socks5Port, zuvo::quoteserver::kProxyOff) << "the proxies are off unless asked for";
  EXPECT_FALSE(live.proxyAuth);

  ServerConfig proxied;
  ASSERT_TRUE(ParseCommandLine({"--data", "d", "--socks5-port", "0", "--socks4-port=1081", "--http-proxy-port", "3128",
                                "--relay-port", "443", "--proxy-user", "ann:pa:ss", "--fault", "proxy-split"},
                               &proxied, &help, &error))
      << error;
  EXPECT_EQ(proxied.socks5Port, 0);
  EXPECT_EQ(proxied.socks4Port, 1081);
  EXPECT_EQ(proxied.httpProxyPort, 3128);
  EXPECT_EQ(proxied.relayPort, 443);
  EXPECT_TRUE(proxied.proxyAuth);
  EXPECT_EQ(proxied.proxyUser.name, "ann");
  EXPECT_EQ(proxied.proxyUser.password, "pa:ss");
  ASSERT_TRUE(ParseCommandLine({"--data", "d", "--clock", "auto"}, &live, &help, &error));
  EXPECT_EQ(live.clockStart, zuvo::quoteserver::ClockStart::kAuto);

  ServerConfig defaults;
  ASSERT_TRUE(ParseCommandLine({"--data", "d"}, &defaults, &help, &error));
  EXPECT_EQ(defaults.mainPort, 13130);
  EXPECT_EQ(defaults.requestPort, 13152);
  EXPECT_EQ(defaults.pushPort, 13153);
  EXPECT_EQ(defaults.page, 1000u);
  EXPECT_EQ(defaults.seed, 1u);
  EXPECT_EQ(defaults.compression, Compression::kNone);
  EXPECT_EQ(defaults.clockStart, zuvo::quoteserver::ClockStart::kReal);
  EXPECT_EQ(defaults.speed, 1);
  EXPECT_EQ(defaults.pushMs, 500);
  EXPECT_EQ(defaults.newsEvery, 0);
  EXPECT_EQ(defaults.pushCompression, Compression::kNone);
  EXPECT_TRUE(defaults.faults.empty());
}

TEST(ServerOptionsTest, RefusesBadOptionsWithAMessage) {
  struct Case {
    std::vector<std::string> args;
    const char* mentions;
  };
  const Case cases[] = {
      {{}, "--data"},
      {{"--data"}, "needs a value"},
      {{"--data", "d", "--frobnicate"}, "unknown option"},
      {{"--data", "d", "--main-port", "65536"}, "--main-port"},
      {{"--data", "d", "--main-port", "12x"}, "--main-port"},
      {{"--data", "d", "--request-port", "-1"}, "--request-port"},
      {{"--data", "d", "--bind", "localhost"}, "IPv4"},
      {{"--data", "d", "--data-addr", "1.2.3"}, "IPv4"},
      {{"--data", "d", "--seed", "4294967296"}, "--seed"},
      {{"--data", "d", "--page", "0"}, "--page"},
      {{"--data", "d", "--version", "2147483648"}, "--version"},
      {{"--data", "d", "--user", "nopassword"}, "NAME:PASS"},
      {{"--data", "d", "--user", ":pw"}, "NAME:PASS"},
      {{"--data", "d", "--user", "sixteen-chars-xx:pw"}, "15"},
      {{"--data", "d", "--user", "ann:twelve-chars"}, "11"},
      {{"--data", "d", "--deny", "48:0"}, "--deny"},
      {{"--data", "d", "--deny", "1:16"}, "--deny"},
      {{"--data", "d", "--deny", "1"}, "--deny"},
      {{"--data", "d", "--compress", "zlib"}, "none or lzw"},
      {{"--data", "d", "--verbose=1"}, "--verbose"},
      {{"--data", "d", "--main-port", "5000", "--push-port", "5000"}, "must differ"},
      {{"--data", "d", "--main-port", "5000", "--relay-port", "5000"}, "must differ"},
      {{"--data", "d", "--socks5-port", "1080", "--socks4-port", "1080"}, "must differ"},
      {{"--data", "d", "--socks5-port", "65536"}, "--socks5-port"},
      {{"--data", "d", "--http-proxy-port", "-1"}, "--http-proxy-port"},
      {{"--data", "d", "--proxy-user", "nopassword"}, "NAME:PASS"},
      {{"--data", "d", "--proxy-user", ":pw"}, "NAME:PASS"},
      {{"--data", "d", "--proxy-user", std::string(256, 'u') + ":pw"}, "255"},
      {{"--data", "d", "--fault", "proxy-split@push"}, "takes no @request or @push"},
      {{"--data", "d", "--clock", "sometime"}, "HH:MM"},
      {{"--data", "d", "--clock", "24:00"}, "HH:MM"},
      {{"--data", "d", "--speed", "-1"}, "--speed"},
      {{"--data", "d", "--speed", "10001"}, "--speed"},
      {{"--data", "d", "--push-ms", "60001"}, "--push-ms"},
      {{"--data", "d", "--news-every", "x"}, "--news-every"},
      {{"--data", "d", "--push-compress", "gzip"}, "none, lzw or zlib"},
      {{"--data", "d", "--fault", "nosuch"}, "unknown fault"},
      {{"--data", "d", "--fault", "stall"}, "needs a value"},
      {{"--data", "d", "--fault", "silent=1"}, "takes no value"},
      {{"--data", "d", "--fault", "coalesce@nowhere"}, "@request or @push"},
      {{"--data", "d", "--fault", "drop=later"}, "accept, login"},
  };
  for (const Case& c : cases) {
    std::string joined;
    for (const std::string& arg : c.args) joined += arg + " ";
    SCOPED_TRACE(joined);
    ServerConfig config;
    bool help = false;
    std::string error;
    EXPECT_FALSE(ParseCommandLine(c.args, &config, &help, &error));
    EXPECT_NE(error.find(c.mentions), std::string::npos) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos) << "one line";
  }
}

// Runs the program with the arguments; its exit code and what it printed to standard error.
int RunProgram(const std::string& args, std::string* errors) {
  std::string command(1, '"');
  command += quoteservertest::ToolProgram("quote-server", "quote-server").string();
  command += "\" ";
  command += args;
  command += " 2>&1 >/dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return -1;
  char buffer[512];
  while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) *errors += buffer;
  const int status = pclose(pipe);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class ProgramTest : public quoteservertest::ServerTest {};

TEST_F(ProgramTest, StopsWithExitCode2OnBadOptionsDataOrPorts) {
  const std::filesystem::path root = quoteservertest::SampleRoot();
  ASSERT_FALSE(root.empty());
  const std::filesystem::path broken = root.parent_path() / (root.filename().string() + "-broken");
  std::filesystem::create_directories(broken / "cfg");
  {
    std::FILE* file = std::fopen((broken / "cfg" / "mkinfo.cfg").c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fputs("short", file);
    std::fclose(file);
  }
  std::filesystem::copy_file(root / "cfg" / "systime.dat", broken / "cfg" / "systime.dat");
  StartServer();
  struct Case {
    const char* name;
    std::string args;
    const char* mentions;
  };
  const Case cases[] = {
      {"unknown option", "--data " + root.string() + " --nonsense", "unknown option"},
      {"no data folder", "--main-port 0", "--data"},
      {"missing folder", "--data " + (root / "absent").string(), "not a folder"},
      {"malformed market description", "--data " + broken.string() + " --main-port 0 --request-port 0 --push-port 0",
       "mkinfo.cfg"},
      {"port in use", "--data " + root.string() + " --main-port " + std::to_string(mainPort()) +
                          " --request-port 0 --push-port 0", "cannot listen"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string errors;
    EXPECT_EQ(RunProgram(c.args, &errors), 2);
    EXPECT_NE(errors.find(c.mentions), std::string::npos) << errors;
    EXPECT_EQ(errors.rfind("quote-server: ", 0), 0u) << errors;
  }
  std::filesystem::remove_all(broken);
}

}  // namespace

// The quote server's settings and its command line:
//   quote-server --data DIR [--bind 127.0.0.1] [--main-port 13130] [--request-port 13152]
//     [--push-port 13153] [--data-addr 127.0.0.1] [--seed 1] [--page 1000] [--version 0]
//     [--user NAME:PASS]... [--deny M:C]... [--compress none|lzw] [--verbose]
//     [--clock real|auto|HH:MM] [--speed N] [--push-ms 500] [--news-every 0]
//     [--push-compress none|lzw|zlib] [--fault NAME[=VALUE][@request|@push]]...
//     [--socks5-port P] [--socks4-port P] [--http-proxy-port P] [--relay-port P]
//     [--proxy-user NAME:PASS] [--login-port P]
// Each option also takes the form --name=value. A port of 0 lets the system choose one.
#pragma once

#include "ServerFrames.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace zuvo::quoteserver {

constexpr std::size_t kMaxUserName = 15;     // the login body's 16-byte field less its terminator
constexpr std::size_t kMaxPassword = 11;     // the 12-byte field likewise
// A SOCKS5 user name and password each carry a one-byte length.
constexpr std::size_t kMaxProxyField = 255;
// A fixture proxy port that is not opened (0 is an ephemeral port).
constexpr int kProxyOff = -1;

struct UserEntry {
  std::string name;
  std::string password;
};

struct DeniedRight {
  int market;     // 0..47
  int category;   // 0..15
};

// How the server's clock starts: the system's UTC time; today's UTC date at a time of day; or
// real while market 0's category 0 trades, else five minutes after its first open.
enum class ClockStart { kReal, kAt, kAuto };

struct ServerConfig {
  std::filesystem::path dataDir;               // an install tree written by sample-market
  std::string bindAddress = "127.0.0.1";
  std::uint16_t mainPort = 13130;              // first login stage and password change
  std::uint16_t requestPort = 13152;           // the data server: login, downloads, requests
  std::uint16_t pushPort = 13153;              // real-time pushes
  std::array<std::uint8_t, 4> dataAddress{127, 0, 0, 1};   // handed out in the login block
  std::uint32_t seed = 1;                      // selects the deterministic market
  std::uint32_t page = 1000;                   // bars sent when a request names no first date
  std::int32_t version = 0;                    // client version offered; 0: no update
  std::vector<UserEntry> users;                // empty: any name and password log in
  std::vector<DeniedRight> denied;             // market rights withheld in the login block
  Compression compression = Compression::kNone;
  bool verbose = false;                        // log every frame
  ClockStart clockStart = ClockStart::kReal;
  int clockMinute = 0;                         // UTC minute of day for ClockStart::kAt
  int speed = 1;                               // server seconds per real second (0 freezes)
  int pushMs = 500;                            // milliseconds between push steps (0: continuously)
  int newsEvery = 0;                           // seconds between news flashes; 0: none
  Compression pushCompression = Compression::kNone;
  std::vector<std::string> faults;             // NAME[=VALUE][@scope], as --fault gives them
  // The fixture proxies, each forwarding only to the server's own ports: kProxyOff (the
  // default) leaves one closed, 0 lets the system choose its port.
  int socks5Port = kProxyOff;
  int socks4Port = kProxyOff;
  int httpProxyPort = kProxyOff;
  int relayPort = kProxyOff;           // the relay: routes each connection by its first frame
  bool proxyAuth = false;              // the SOCKS5 and HTTP proxies ask for proxyUser
  UserEntry proxyUser;
  // The account-verification server (AccountServer.h): kProxyOff (the default) leaves it closed,
  // 0 lets the system choose its port.
  int loginPort = kProxyOff;
  // In-process only: false leaves push steps to QuoteServer::PushStep (tests decide when).
  bool timedPush = true;
};

// Parses the arguments after the program name into *config. Returns false with a one-line
// message in *error on an unknown option, a missing or malformed value, or a missing --data.
// *help is set (and true returned) for --help.
bool ParseCommandLine(const std::vector<std::string>& args, ServerConfig* config, bool* help, std::string* error);

// "HH:MM" (00:00 to 23:59) as a minute of the day.
bool ParseTimeOfDay(const std::string& text, int* minuteOfDay);

constexpr int kMaxSpeed = 10000;

// The usage text printed for --help and after a command-line error.
const char* UsageText();

}  // namespace zuvo::quoteserver

#include "ServerOptions.h"

#include <arpa/inet.h>

#include "FaultSwitches.h"

#include <charconv>
#include <limits>

namespace zuvo::quoteserver {
namespace {

template <typename Number>
bool ParseNumber(const std::string& text, Number minimum, Number maximum, Number* value) {
  Number parsed{};
  const char* end = text.data() + text.size();
  const auto [rest, error] = std::from_chars(text.data(), end, parsed);
  if (text.empty() || error != std::errc() || rest != end || parsed < minimum || parsed > maximum) return false;
  *value = parsed;
  return true;
}

bool ParseIpv4(const std::string& text, std::array<std::uint8_t, 4>* address) {
  in_addr parsed{};
  if (inet_pton(AF_INET, text.c_str(), &parsed) != 1) return false;
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(&parsed.s_addr);
  for (int i = 0; i < 4; ++i) (*address)[static_cast<std::size_t>(i)] = bytes[i];
  return true;
}

bool ParseUser(const std::string& text, UserEntry* user, std::string* error) {
  const std::size_t colon = text.find(':');
  if (colon == std::string::npos || colon == 0) {
    *error = "--user needs NAME:PASS, got \"" + text + "\"";
    return false;
  }
  user->name = text.substr(0, colon);
  user->password = text.substr(colon + 1);
  if (user->name.size() > kMaxUserName || user->password.size() > kMaxPassword) {
    *error = "--user " + text + ": a name has at most 15 characters and a password at most 11";
    return false;
  }
  return true;
}

bool ParseProxyUser(const std::string& text, UserEntry* user, std::string* error) {
  const std::size_t colon = text.find(':');
  if (colon == std::string::npos || colon == 0) {
    *error = "--proxy-user needs NAME:PASS, got \"" + text + "\"";
    return false;
  }
  user->name = text.substr(0, colon);
  user->password = text.substr(colon + 1);
  if (user->name.size() > kMaxProxyField || user->password.size() > kMaxProxyField) {
    *error = "--proxy-user: a name and a password have at most 255 bytes each";
    return false;
  }
  return true;
}

bool ParseDeny(const std::string& text, DeniedRight* right) {
  const std::size_t colon = text.find(':');
  if (colon == std::string::npos) return false;
  return ParseNumber(text.substr(0, colon), 0, 47, &right->market) &&
         ParseNumber(text.substr(colon + 1), 0, 15, &right->category);
}

}  // namespace

bool ParseTimeOfDay(const std::string& text, int* minuteOfDay) {
  const std::size_t colon = text.find(':');
  int hour = 0;
  int minute = 0;
  if (colon == std::string::npos || colon == 0 || colon > 2 || text.size() - colon != 3 ||
      !ParseNumber(text.substr(0, colon), 0, 23, &hour) || !ParseNumber(text.substr(colon + 1), 0, 59, &minute)) {
    return false;
  }
  *minuteOfDay = hour * 60 + minute;
  return true;
}

const char* UsageText() {
  return "usage: quote-server --data DIR [--bind 127.0.0.1] [--main-port 13130] [--request-port 13152]\n"
         "                    [--push-port 13153] [--data-addr 127.0.0.1] [--seed 1] [--page 1000]\n"
         "                    [--version 0] [--user NAME:PASS]... [--deny M:C]... [--compress none|lzw]\n"
         "                    [--verbose] [--clock real|auto|HH:MM] [--speed N] [--push-ms 500]\n"
         "                    [--news-every 0] [--push-compress none|lzw|zlib]\n"
         "                    [--fault NAME[=VALUE][@request|@push]]...\n"
         "                    [--socks5-port P] [--socks4-port P] [--http-proxy-port P] [--relay-port P]\n"
         "                    [--proxy-user NAME:PASS] [--login-port P]\n";
}

bool ParseCommandLine(const std::vector<std::string>& args, ServerConfig* config, bool* help, std::string* error) {
  *help = false;
  bool haveData = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i];
    std::string value;
    bool inlineValue = false;
    if (const std::size_t equals = name.find('='); name.rfind("--", 0) == 0 && equals != std::string::npos) {
      value = name.substr(equals + 1);
      name.resize(equals);
      inlineValue = true;
    }
    if (name == "--help" || name == "-h") {
      *help = true;
      return true;
    }
    if (name == "--verbose") {
      if (inlineValue) {
        *error = "--verbose takes no value";
        return false;
      }
      config->verbose = true;
      continue;
    }
    static const char* const kWithValue[] = {"--data",    "--bind",  "--main-port", "--request-port", "--push-port",
                                             "--data-addr", "--seed", "--page",      "--version",      "--user",
                                             "--deny",    "--compress", "--clock", "--speed", "--push-ms",
                                             "--news-every", "--push-compress", "--fault", "--socks5-port",
                                             "--socks4-port", "--http-proxy-port", "--relay-port", "--proxy-user",
                                             "--login-port"};
    bool known = false;
    for (const char* option : kWithValue) known = known || name == option;
    if (!known) {
      *error = "unknown option \"" + name + "\"";
      return false;
    }
    if (!inlineValue) {
      if (i + 1 >= args.size()) {
        *error = name + " needs a value";
        return false;
      }
      value = args[++i];
    }

    auto bad = [&](const char* expected) {
      *error = name + " " + value + ": expected " + expected;
      return false;
    };
    if (name == "--data") {
      if (value.empty()) return bad("a folder");
      config->dataDir = value;
      haveData = true;
    } else if (name == "--bind") {
      std::array<std::uint8_t, 4> ignored{};
      if (!ParseIpv4(value, &ignored)) return bad("an IPv4 address");
      config->bindAddress = value;
    } else if (name == "--main-port" || name == "--request-port" || name == "--push-port") {
      std::uint16_t port = 0;
      if (!ParseNumber<std::uint16_t>(value, 0, 65535, &port)) return bad("a port number 0-65535");
      (name == "--main-port" ? config->mainPort : name == "--request-port" ? config->requestPort : config->pushPort) = port;
    } else if (name == "--data-addr") {
      if (!ParseIpv4(value, &config->dataAddress)) return bad("an IPv4 address");
    } else if (name == "--seed") {
      if (!ParseNumber<std::uint32_t>(value, 0, std::numeric_limits<std::uint32_t>::max(), &config->seed))
        return bad("an unsigned 32-bit number");
    } else if (name == "--page") {
      if (!ParseNumber<std::uint32_t>(value, 1, 1000000, &config->page)) return bad("a bar count 1-1000000");
    } else if (name == "--version") {
      if (!ParseNumber<std::int32_t>(value, std::numeric_limits<std::int32_t>::min(),
                                     std::numeric_limits<std::int32_t>::max(), &config->version))
        return bad("a signed 32-bit number");
    } else if (name == "--user") {
      UserEntry user;
      if (!ParseUser(value, &user, error)) return false;
      config->users.push_back(user);
    } else if (name == "--deny") {
      DeniedRight right{};
      if (!ParseDeny(value, &right)) return bad("M:C with a market 0-47 and a category 0-15");
      config->denied.push_back(right);
    } else if (name == "--compress") {
      if (value == "none") {
        config->compression = Compression::kNone;
      } else if (value == "lzw") {
        config->compression = Compression::kLzw;
      } else {
        return bad("none or lzw");
      }
    } else if (name == "--clock") {
      if (value == "real") {
        config->clockStart = ClockStart::kReal;
      } else if (value == "auto") {
        config->clockStart = ClockStart::kAuto;
      } else if (ParseTimeOfDay(value, &config->clockMinute)) {
        config->clockStart = ClockStart::kAt;
      } else {
        return bad("real, auto or a time of day HH:MM (UTC)");
      }
    } else if (name == "--speed") {
      if (!ParseNumber(value, 0, kMaxSpeed, &config->speed)) return bad("a speed 0-10000");
    } else if (name == "--push-ms") {
      if (!ParseNumber(value, 0, 60000, &config->pushMs)) return bad("milliseconds 0-60000");
    } else if (name == "--news-every") {
      if (!ParseNumber(value, 0, 86400, &config->newsEvery)) return bad("seconds 0-86400");
    } else if (name == "--push-compress") {
      if (value == "none") {
        config->pushCompression = Compression::kNone;
      } else if (value == "lzw") {
        config->pushCompression = Compression::kLzw;
      } else if (value == "zlib") {
        config->pushCompression = Compression::kZlib;
      } else {
        return bad("none, lzw or zlib");
      }
    } else if (name == "--socks5-port" || name == "--socks4-port" || name == "--http-proxy-port" ||
               name == "--relay-port" || name == "--login-port") {
      int port = 0;
      if (!ParseNumber(value, 0, 65535, &port)) return bad("a port number 0-65535");
      (name == "--socks5-port"       ? config->socks5Port
       : name == "--socks4-port"     ? config->socks4Port
       : name == "--http-proxy-port" ? config->httpProxyPort
       : name == "--login-port"      ? config->loginPort
                                     : config->relayPort) = port;
    } else if (name == "--proxy-user") {
      if (!ParseProxyUser(value, &config->proxyUser, error)) return false;
      config->proxyAuth = true;
    } else if (name == "--fault") {
      FaultSwitches check;
      if (!check.Set(value, error)) return false;
      config->faults.push_back(value);
    }
  }
  if (!haveData) {
    *error = "--data DIR is required";
    return false;
  }
  const int ports[8] = {config->mainPort,   config->requestPort,   config->pushPort,  config->socks5Port,
                        config->socks4Port, config->httpProxyPort, config->relayPort, config->loginPort};
  for (int a = 0; a < 8; ++a) {
    for (int b = a + 1; b < 8; ++b) {
      if (ports[a] > 0 && ports[a] == ports[b]) {
        *error = "the server's ports must differ (" + std::to_string(ports[a]) + " given twice)";
        return false;
      }
    }
  }
  return true;
}

}  // namespace zuvo::quoteserver

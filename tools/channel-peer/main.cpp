// channel-peer: a stand-in for an outside program that talks to the terminal's windows over the
// message channel. Its one argument is the command text the terminal built: the terminal's
// window handle in decimal, then steps run in order:
//   post:<message>:<wParam>:<lParam>   post to the terminal's window; "self" stands for our window
//                                      (flagged as ours)
//   copydata:<data word>:<text>        send WM_COPYDATA with the text from our window; logs the answer
//   await:<message>                    wait (up to 20 s) for that message to reach our window; logs it
//   gone                               report our window destroyed
// With no step it plays the messenger: it says hello (2564, 0, our window), waits for the
// WM_COPYDATA block and for the close notice (2564, 3).
// Every line of its log goes to channel-peer.log in its working folder.
// Exit status: 0 done, 2 no channel, 3 a wait timed out, 4 a send failed, 5 bad arguments.
#include "ChannelClient.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr int kWaitMilliseconds = 20000;
constexpr std::uint32_t kMessengerHello = 0x400 + 1540;
constexpr std::uint32_t kCopyData = 0x004A;

std::FILE* gLog = nullptr;

void Log(const std::string& line) {
  if (gLog == nullptr) return;
  std::fprintf(gLog, "%s\n", line.c_str());
  std::fflush(gLog);
}

std::string Hex(const std::string& bytes) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

std::vector<std::string> Split(const std::string& text, char separator, std::size_t maxParts) {
  std::vector<std::string> parts;
  std::size_t at = 0;
  while (parts.size() + 1 < maxParts) {
    const std::size_t next = text.find(separator, at);
    if (next == std::string::npos) break;
    parts.push_back(text.substr(at, next - at));
    at = next + 1;
  }
  parts.push_back(text.substr(at));
  return parts;
}

// A number, or our window for "self" (setting the flag given).
std::uint64_t Parameter(const std::string& text, std::uint64_t self, std::uint8_t flag, std::uint8_t& flags) {
  if (text == "self") {
    flags |= flag;
    return self;
  }
  return std::strtoull(text.c_str(), nullptr, 0);
}

}  // namespace

int main(int argc, char** argv) {
  using zuvo::channelclient::ChannelClient;
  namespace channel = zuvo::platform::channel;

  gLog = std::fopen("channel-peer.log", "a");
  const std::string commandText = argc > 1 ? argv[1] : "";
  std::istringstream words(commandText);
  std::string targetText;
  words >> targetText;
  if (targetText.empty()) {
    Log("no target");
    return 5;
  }
  const std::uint64_t target = std::strtoull(targetText.c_str(), nullptr, 10);
  std::vector<std::string> steps;
  for (std::string step; words >> step;) steps.push_back(step);
  if (steps.empty()) steps = {"post:" + std::to_string(kMessengerHello) + ":0:self", "await:74", "await:2564"};

  ChannelClient client;
  if (!client.Connect()) {
    Log("no channel");
    return 2;
  }
  const std::uint64_t self = client.NewWindow();
  Log("window " + std::to_string(self));

  for (const std::string& step : steps) {
    const auto parts = Split(step, ':', 4);
    if (parts[0] == "post" && parts.size() == 4) {
      std::uint8_t flags = 0;
      const auto message = static_cast<std::uint32_t>(std::strtoul(parts[1].c_str(), nullptr, 0));
      const std::uint64_t wParam = Parameter(parts[2], self, channel::kWParamIsWindow, flags);
      const std::uint64_t lParam = Parameter(parts[3], self, channel::kLParamIsWindow, flags);
      if (!client.Post(target, message, wParam, lParam, flags)) {
        Log("post failed");
        return 4;
      }
    } else if (parts[0] == "copydata" && parts.size() >= 2) {
      const std::vector<std::string> rest = Split(step, ':', 3);
      const std::uint64_t word = std::strtoull(rest[1].c_str(), nullptr, 0);
      const std::string text = rest.size() > 2 ? rest[2] : "";
      const auto answer = client.SendCopyData(target, self, word, text, kWaitMilliseconds);
      if (!answer) {
        Log("send failed");
        return 4;
      }
      Log("answer " + std::to_string(*answer));
    } else if (parts[0] == "await" && parts.size() == 2) {
      const auto wanted = static_cast<std::uint32_t>(std::strtoul(parts[1].c_str(), nullptr, 0));
      for (;;) {
        const auto frame = client.Receive(kWaitMilliseconds);
        if (!frame) {
          Log("timeout " + parts[1]);
          return 3;
        }
        std::string line = (frame->kind == channel::FrameKind::kSend ? "sent " : "posted ") +
                           std::to_string(frame->message) + " " + std::to_string(frame->target) + " " +
                           std::to_string(frame->wParam) + " " + std::to_string(frame->lParam);
        if (frame->message == kCopyData) {
          line += " " + std::to_string(frame->copyDataWord) + " " + std::to_string(frame->copyData.size()) + " " +
                  Hex(frame->copyData);
        }
        Log(line);
        if (frame->message == wanted) break;
      }
    } else if (parts[0] == "gone" && parts.size() == 1) {
      client.WindowGone(self);
    } else {
      Log("bad step " + step);
      return 5;
    }
  }
  Log("done");
  return 0;
}

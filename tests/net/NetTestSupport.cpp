#include "net/NetTestSupport.h"

#include "LzwEncoder.h"
#include "data/Messages.h"
#include "platform/Message.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <utility>

namespace nettest {
namespace {

struct LostMessage {
  HWND window;
  WPARAM wParam;
  LPARAM lParam;
};
std::vector<LostMessage> lostMessages;

LRESULT LostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == MsgConnectionLost) {
    lostMessages.push_back({window, wParam, lParam});
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

void Put16(std::string* bytes, std::size_t at, std::uint16_t value) {
  (*bytes)[at] = static_cast<char>(value & 0xFF);
  (*bytes)[at + 1] = static_cast<char>(value >> 8);
}

Handled Record(const FrameHeader& header, const std::uint8_t* body, int length) {
  return {header.magic, header.type, header.count, header.index,
          std::string(reinterpret_cast<const char*>(body), static_cast<std::size_t>(length))};
}

}  // namespace

std::string Frame(const FrameFields& fields) {
  EXPECT_LE(fields.body.size(), static_cast<std::size_t>(kMaxFrameBody)) << "a test frame too large for the wire";
  std::string bytes(10, '\0');
  bytes[0] = static_cast<char>(fields.magic);
  bytes[1] = static_cast<char>(fields.type);
  Put16(&bytes, 2, fields.count);
  Put16(&bytes, 4, fields.index);
  Put16(&bytes, 6, static_cast<std::uint16_t>(fields.length >= 0 ? fields.length : static_cast<int>(fields.body.size())));
  bytes[8] = static_cast<char>(fields.compressed);
  return bytes + fields.body;
}

std::string Frame(std::uint8_t type, const std::string& body) {
  FrameFields fields;
  fields.type = type;
  fields.body = body;
  return Frame(fields);
}

std::string Pattern(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  // Runs and noise mixed, so both encoders have something to do.
  for (std::size_t at = 0; at < size; ++at) {
    bytes[at] = static_cast<char>(at % 7 == 0 ? random() & 0xFF : 'a' + at % 13);
  }
  return bytes;
}

std::string Lzw(const std::string& plain) {
  std::vector<std::uint8_t> out;
  EXPECT_TRUE(zuvo::quoteserver::EncodeLzw(reinterpret_cast<const std::uint8_t*>(plain.data()), plain.size(), &out));
  return std::string(out.begin(), out.end());
}

std::string LzwUnlimited(const std::string& plain) {
  std::vector<std::uint8_t> out;
  zuvo::quoteserver::EncodeLzwUnlimited(reinterpret_cast<const std::uint8_t*>(plain.data()), plain.size(), &out);
  return std::string(out.begin(), out.end());
}

std::string Zlib(const std::string& plain) {
  uLongf size = compressBound(plain.size());
  std::string out(size, '\0');
  EXPECT_EQ(compress(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(plain.data()),
                     plain.size()),
            Z_OK);
  out.resize(size);
  return out;
}

LostRecorder::LostRecorder() {
  static bool registered = false;
  if (!registered) {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = &LostWindowProc;
    windowClass.lpszClassName = "NetTestLostWindow";
    RegisterClassA(&windowClass);
    registered = true;
  }
  window_ = CreateWindowExA(0, "NetTestLostWindow", "", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  EXPECT_NE(window_, nullptr);
  lostMessages.clear();
  installed_ = std::make_unique<zuvo::net::ScopedMainWindow>(window_);
}

LostRecorder::~LostRecorder() {
  installed_.reset();
  zuvo::platform::ProcessPendingMessages();
  DestroyWindow(window_);
  lostMessages.clear();
}

int LostRecorder::Count(LPARAM which) {
  zuvo::platform::ProcessPendingMessages();
  int count = 0;
  for (const LostMessage& message : lostMessages) {
    EXPECT_EQ(message.window, window_);
    EXPECT_EQ(message.wParam, 0u);
    if (message.lParam == which) ++count;
  }
  return count;
}

int LostRecorder::Total() {
  zuvo::platform::ProcessPendingMessages();
  return static_cast<int>(lostMessages.size());
}

void LostRecorder::Clear() {
  zuvo::platform::ProcessPendingMessages();
  lostMessages.clear();
}

namespace {
MessageRecorder* activeRecorder = nullptr;
}

LRESULT MessageRecorder::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  MessageRecorder* recorder = activeRecorder;
  if (message >= kWmUser && recorder != nullptr && recorder->window_ == window) {
    const bool posted = std::exchange(recorder->fromQueue_, false);
    recorder->messages.push_back({message, wParam, lParam, !posted});
    if (recorder->during) recorder->during(recorder->messages.back());
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

MessageRecorder::MessageRecorder() {
  static bool registered = false;
  if (!registered) {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = &MessageRecorder::Proc;
    windowClass.lpszClassName = "NetTestMainWindow";
    RegisterClassA(&windowClass);
    registered = true;
  }
  window_ = CreateWindowExA(0, "NetTestMainWindow", "", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  EXPECT_NE(window_, nullptr);
  activeRecorder = this;
  installed_ = std::make_unique<zuvo::net::ScopedMainWindow>(window_);
  // Messages from the queue pass the hooks first; sent ones never do.
  hook_ = zuvo::platform::AddMessageHook([this](MSG& message) {
    if (message.hwnd == window_) fromQueue_ = true;
    return false;
  });
}

MessageRecorder::~MessageRecorder() {
  installed_.reset();
  Pump();
  zuvo::platform::RemoveMessageHook(hook_);
  activeRecorder = nullptr;
  DestroyWindow(window_);
}

const std::vector<MessageRecorder::Message>& MessageRecorder::Pump() {
  zuvo::platform::ProcessPendingMessages();
  return messages;
}

std::vector<MessageRecorder::Message> MessageRecorder::Of(UINT message) {
  Pump();
  std::vector<Message> found;
  for (const Message& each : messages) {
    if (each.message == message) found.push_back(each);
  }
  return found;
}

void MessageRecorder::Clear() {
  Pump();
  messages.clear();
}

RecordingHandlers::RecordingHandlers()
    : reply_([this](TNormalClnt* client, const std::uint8_t* body, int length) {
        replies.push_back(Record(client->header, body, length));
        if (during) during(replies.back());
        return client->header.type == 250 ? -1 : 0;
      }),
      push_([this](TRealDataClnt* client, const std::uint8_t* body, int length) {
        pushes.push_back(Record(client->header, body, length));
        if (during) during(pushes.back());
      }) {}

}  // namespace nettest

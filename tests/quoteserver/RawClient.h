// A raw-socket client of the quote server for the tests: connects over loopback, sends request
// frames (or any bytes) and reads reply frames as they come, decoding compressed bodies with a
// decoder written here from the stream format, independent of the server's encoder. Reads wait
// at most a few seconds, so a missing reply fails the test instead of hanging it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quoteservertest {

struct Frame {
  std::uint8_t magic = 0;
  std::uint8_t type = 0;
  std::uint16_t count = 0;
  std::uint16_t index = 0;
  std::uint8_t compressed = 0;
  std::string body;        // decoded when it came compressed
  std::size_t wireLength = 0;
};

// A whole reply: its frames in order (same type and count, indexes 0 .. count - 1).
struct Reply {
  std::uint8_t type = 0;
  std::vector<Frame> frames;
  // The frames' bodies, each without its first `head` bytes, joined.
  std::string Data(std::size_t head) const;
  // The type-2 level and text.
  int level() const;
  std::string text() const;
};

class RawClient {
 public:
  explicit RawClient(std::uint16_t port);
  ~RawClient();
  RawClient(const RawClient&) = delete;
  RawClient& operator=(const RawClient&) = delete;

  bool connected() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  // One client frame: '@', type, count 1, index 0, the body length, flag 0.
  void Send(std::uint8_t type, const std::string& body);
  void SendRaw(const std::string& bytes);
  // The next frame; false on a timeout, a closed connection or an undecodable body.
  bool ReadFrame(Frame* frame);
  // Frames until the one whose index is count - 1; false when the frames do not form a reply.
  bool ReadReply(Reply* reply);
  // True when the server closes the connection (after whatever it still sends is drained).
  bool WaitClosed();

  // Raw bytes, as they travel.
  // Exactly `size` bytes; false on a timeout or a close first.
  bool ReadBytes(std::size_t size, std::string* bytes);
  // The frames of one reply as sent (headers and undecoded bodies) up to the frame whose index
  // is count - 1; false when the frames do not come.
  bool ReadRawReply(std::string* bytes);
  // Everything until the server closes; false when it does not close in time.
  bool ReadUntilClosed(std::string* bytes);
  // Waits until bytes arrive and tells how many are there, without taking them (0: none came).
  std::size_t PeekAvailable();
  // True when nothing has arrived and the connection is open (no waiting).
  bool Quiet();

  // Logs in on the request port with the one-stage login; true when type 3 came back.
  bool LogIn(const std::string& user = "test", const std::string& password = "pw");

 private:
  bool ReadExactly(void* bytes, std::size_t size, int timeoutMs);
  int fd_ = -1;
};

// Request bodies.
std::string LoginBody(const std::string& user, const std::string& password, std::uint32_t mode);
std::string DataLoginBody(const std::string& user, const std::string& password);
std::string PasswordBody(const std::string& user, const std::string& current, const std::string& next);
std::string ConfigFileBody(const std::string& name, std::uint16_t size, std::uint32_t date);

// Little-endian fields.
void Put16(std::string* bytes, std::size_t at, std::uint16_t value);
void Put32(std::string* bytes, std::size_t at, std::uint32_t value);
std::uint16_t Get16(const std::string& bytes, std::size_t at);
std::uint32_t Get32(const std::string& bytes, std::size_t at);
// A zero-filled body of `size` bytes with `text` copied in at `at`.
std::string Field(std::size_t size, std::size_t at, const std::string& text);

// The opening frame of the push connection and a subscription frame's body.
std::string OpeningFrameBody();
struct SubscribedKey {
  std::uint8_t market;
  std::uint16_t index;
};
std::string SubscriptionBody(const std::vector<SubscribedKey>& keys, int fresh, int count = -1);

// Decodes a "WMC15" stream as the terminal's decoder reads it: codes MSB first from 9 bits, 257
// widens, 258 resets (the next code a literal), 256 ends. Strict: false for a code above the
// next free code, a code wider than 12 bits' dictionary, a missing end code or an output past
// `capacity` - 5 before a code is read.
bool DecodeWmc(const std::string& stream, std::string* out, std::size_t capacity = 16384);

}  // namespace quoteservertest

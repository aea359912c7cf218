// Window messages between this program and the programs it starts. Each of our programs listens
// on one local stream socket in a private per-user folder (mode 0700) and puts the socket's
// address into its environment (kChannelAddressVariable), so every program it starts afterwards
// finds it. A started program (tools/channel-client is the library for stand-ins) connects and
// posts or sends messages to our windows by the handles we put on its command line; we reach
// its windows by the handles it tells us in its messages.
//
// - Posted messages join the UI thread's queue in the order they arrived.
// - A sent message (WM_COPYDATA with its block) blocks the sender until our window procedure
//   returned; the block is valid while the procedure runs, never after.
// - Only our own live top-level windows receive. Frames for anything else, short or overlong
//   frames, WM_COPYDATA blocks over 64 KB and system messages other than a sent WM_COPYDATA
//   (their parameters would be addresses in the sender's memory) are dropped; the connection is
//   kept. Only private numbers (WM_USER to 0xBFFF) may be posted or sent to us as plain numbers.
// - A window of another program becomes known to us when it comes as a flagged parameter (the
//   first parameter of a sent WM_COPYDATA always is one). We give it a handle from our own
//   window id space: IsWindow is true while its program stays connected and has not reported
//   it destroyed; GetWindowThreadProcessId gives that program's process id; PostMessageA and
//   SendMessageA on it go over the channel (SendMessageA WM_COPYDATA copies the block; a send
//   that gets no answer in time returns 0).
// - Each message carries its sender's process id, checked against the socket's credentials;
//   CurrentMessageSenderProcessId tells a window procedure who sent the message it handles.
//
// Tests use LoopbackPeer: a pretend program connected without a socket or a process.
#pragma once

#include "platform/WinUser.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace zuvo::platform {

// The environment variable that holds the address of the program that started us.
constexpr const char* kChannelAddressVariable = "ZUVO_CHANNEL";

struct MessageChannelOptions {
  // The private folder of the socket (POSIX path). Empty: $XDG_RUNTIME_DIR/zuvo, or
  // /tmp/zuvo-<uid> without it. Made with mode 0700; an existing folder must belong to this
  // user, and loses any group or other permissions.
  std::string folder;
};

// Starts listening (once; a second call while listening returns true and changes nothing) and
// exports the address. False (nothing exported) when the folder is not private to this user,
// the socket cannot be made or the address is too long. Any thread.
bool StartMessageChannel(const MessageChannelOptions& options = {});
// Stops listening, disconnects every peer (their windows die; sends waiting on them return 0),
// removes the socket and puts back the environment variable's previous value. Any thread.
void StopMessageChannel();
// The address we listen on (a POSIX socket path), empty when not listening.
std::string MessageChannelAddress();

// While a window procedure handles a message that came over the channel, the process id of the
// program that sent it; 0 for a message from this program and outside such a handler. UI thread
// (0 elsewhere). A posted channel message is dispatched by the message hook that takes it from
// the queue (platform/Message.h); other hooks never see it as itself.
DWORD CurrentMessageSenderProcessId();

// How long SendMessageA to another program's window waits for its answer (5000 ms at first;
// measured on the platform's clock, so a driven clock decides it in tests). Returns the old one.
DWORD SetChannelSendTimeout(DWORD milliseconds);

// Frames dropped as untrusted since the start of the process (all connections).
std::uint64_t ChannelFramesDropped();

// ---- Test double ----------------------------------------------------------------------------
// A message as a peer received it: the target is the peer's own window number; a parameter
// that held one of our windows holds our handle's number.
struct PeerMessage {
  bool sent = false;
  std::uint64_t target = 0;
  UINT message = 0;
  std::uint64_t wParam = 0;
  std::uint64_t lParam = 0;
  std::uint64_t copyDataWord = 0;
  std::string copyData;
};

// A pretend program connected to this one, with the process id it is given: what it posts and
// sends goes through the same checks as a socket peer's frames, what we post or send to its
// windows is recorded and answered at once. Works whether or not the channel listens. Any
// thread, but Send waits on the UI thread's handling like a real peer.
class LoopbackPeer {
 public:
  explicit LoopbackPeer(DWORD processId);
  // Disconnects: its windows die.
  ~LoopbackPeer();
  LoopbackPeer(const LoopbackPeer&) = delete;
  LoopbackPeer& operator=(const LoopbackPeer&) = delete;

  // A new window of the peer, as the peer numbers it (never 0).
  std::uint64_t NewWindow();
  // Tells us the window was destroyed.
  void DestroyWindow(std::uint64_t window);
  // The handle our program knows the peer's window by, after it became known; null before.
  HWND HandleOf(std::uint64_t window) const;

  // Posts to one of our windows; a flag marks a parameter as one of the peer's windows.
  void Post(HWND target, UINT message, std::uint64_t wParam, std::uint64_t lParam, std::uint8_t flags = 0);
  // Sends WM_COPYDATA (wParam: the peer's sending window) and waits for the answer, handling the
  // UI thread's sent messages when called there; 0 when dropped or unanswered in time.
  LRESULT SendCopyData(HWND target, std::uint64_t senderWindow, std::uint64_t dataWord, const std::string& bytes);
  // Raw bytes as if read from the peer's socket (frames built by hand, broken ones).
  void Inject(const std::string& bytes);
  // The peer's process id as the frames it writes carry it (the socket would report the real
  // one): a lying peer for tests.
  void ClaimProcessId(DWORD processId);

  // What our program posted and sent to the peer's windows, oldest first.
  std::vector<PeerMessage> Received() const;
  // The answer to the messages we send to the peer (1 at first).
  void SetAnswer(std::function<LRESULT(const PeerMessage&)> answer);
  // While held, messages sent to the peer are recorded and never answered (a hung program).
  void HoldAnswers(bool hold);

 private:
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace zuvo::platform

// The message channel's core (internal/MessageChannel.h): checking a peer's frames, delivering
// them to our windows, the peers' windows as foreign handles, and the loopback double. The
// socket listener is ChannelSocket.cpp.
#include "platform/MessageChannel.h"

#include "platform/internal/ForeignWindows.h"
#include "platform/internal/MessageChannel.h"
#include "platform/internal/Window.h"
#include "platform/internal/WindowRegistry.h"

#include "platform/Application.h"
#include "platform/ChannelFrame.h"
#include "platform/Files.h"
#include "platform/Kernel.h"
#include "platform/Message.h"

#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <map>
#include <optional>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace zuvo::platform::channel {

struct Connection {
  Connection(std::uint64_t id, DWORD processId, ConnectionWriter writer)
      : id(id), processId(processId), writer(std::move(writer)) {}

  bool Write(const std::string& bytes) {
    if (bytes.empty() || !open.load()) return false;
    std::lock_guard lock(writeMutex);
    return writer(bytes);
  }

  const std::uint64_t id;
  const DWORD processId;
  ConnectionWriter writer;
  std::mutex writeMutex;
  std::mutex readMutex;
  FrameReader reader;   // under readMutex
  std::atomic<bool> open{true};
};

namespace {

// A posted channel message waiting in the UI queue: the carrier's wParam is its ticket. The hook
// turns the carrier back into the message when it is taken, so it keeps its place among our own
// posts and the handler can ask who sent it.
constexpr UINT kCarrier = 0xBFFE;
constexpr DWORD ERROR_MESSAGE_SYNC_ONLY = 1159;
constexpr DWORD kFirstSendTimeout = 5000;

thread_local DWORD tCurrentSender = 0;

// Numbers another program may give us as plain integers. System messages carry addresses or
// structures in their parameters, which mean nothing (or harm) in our memory.
bool PrivateMessage(std::uint32_t message) { return message >= WM_USER && message < 0xC000 && message != kCarrier; }

// Our own live top-level window. UI thread (a window's parent changes only there).
bool OwnTopLevel(HWND window) {
  win::WindowPtr w = win::Find(window);
  return w && w->parent == nullptr && (w->style & WS_CHILD) == 0;
}

struct Foreign {
  std::weak_ptr<Connection> connection;
  std::uint64_t peerWindow = 0;
  DWORD processId = 0;
  bool alive = true;
};

struct Pending {
  std::shared_ptr<Connection> connection;
  HANDLE event = nullptr;
  LRESULT result = 0;
  bool fromUiThread = false;
};

struct Delivery {
  DWORD processId = 0;
  HWND target = nullptr;
  UINT message = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
};

struct IncomingSend {
  std::shared_ptr<Connection> connection;   // null: only wake the UI thread
  Frame frame;   // parameters already turned into our handles
};

class Core : public win::ForeignWindowSource {
 public:
  static Core& Get() {
    // Leaked on purpose: a window call from a static's destructor still finds the channel.
    static Core* core = new Core();
    return *core;
  }

  std::shared_ptr<Connection> Attach(DWORD processId, ConnectionWriter writer) {
    InstallOnce();
    auto connection = std::make_shared<Connection>(nextConnection_.fetch_add(1), processId, std::move(writer));
    return connection;
  }

  void Receive(const std::shared_ptr<Connection>& connection, const std::uint8_t* data, std::size_t size) {
    std::vector<Frame> frames;
    {
      std::lock_guard lock(connection->readMutex);
      const std::uint64_t before = connection->reader.dropped();
      connection->reader.Feed(data, size, [&](const Frame& frame) { frames.push_back(frame); });
      dropped_ += connection->reader.dropped() - before;
    }
    for (Frame& frame : frames) Handle(connection, std::move(frame));
  }

  void Detach(const std::shared_ptr<Connection>& connection) {
    connection->open = false;
    std::lock_guard lock(mutex_);
    for (auto& [sequence, pending] : pending_) {
      if (pending->connection == connection) SetEvent(pending->event);
    }
  }

  HWND KnownHandle(const std::shared_ptr<Connection>& connection, std::uint64_t peerWindow) {
    std::lock_guard lock(mutex_);
    auto it = byPeer_.find({connection->id, peerWindow});
    return it == byPeer_.end() ? nullptr : it->second;
  }

  DWORD sendTimeout() const { return sendTimeout_.load(); }
  DWORD SetSendTimeout(DWORD milliseconds) { return sendTimeout_.exchange(milliseconds); }
  std::uint64_t dropped() const { return dropped_.load(); }

  // ---- ForeignWindowSource: the peers' windows.
  bool Owns(HWND window) const override {
    std::lock_guard lock(mutex_);
    return foreign_.count(window) != 0;
  }

  bool IsWindow(HWND window) override { return Live(window).has_value(); }

  DWORD ThreadProcessId(HWND window, DWORD* processId) override {
    auto entry = Live(window);
    if (processId) *processId = entry ? entry->processId : 0;
    // A peer's windows belong to its main thread, whose id on Linux is its process id.
    return entry ? entry->processId : 0;
  }

  BOOL Post(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override {
    auto entry = Live(window);
    auto connection = entry ? entry->connection.lock() : nullptr;
    if (!connection) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return FALSE;
    }
    if (message == WM_COPYDATA) {
      SetLastError(ERROR_MESSAGE_SYNC_ONLY);
      return FALSE;
    }
    Frame frame;
    frame.kind = FrameKind::kPost;
    frame.senderProcessId = static_cast<std::uint32_t>(::getpid());
    frame.target = entry->peerWindow;
    frame.message = message;
    frame.wParam = static_cast<std::uint64_t>(wParam);
    frame.lParam = static_cast<std::uint64_t>(lParam);
    return connection->Write(EncodeFrame(frame)) ? TRUE : FALSE;
  }

  LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override {
    auto entry = Live(window);
    auto connection = entry ? entry->connection.lock() : nullptr;
    if (!connection) return 0;
    Frame frame;
    frame.kind = FrameKind::kSend;
    frame.senderProcessId = static_cast<std::uint32_t>(::getpid());
    frame.sequence = nextSequence_.fetch_add(1);
    frame.target = entry->peerWindow;
    frame.message = message;
    frame.wParam = static_cast<std::uint64_t>(wParam);
    if (message == WM_COPYDATA) {
      const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
      if (data == nullptr || data->cbData > kMaxCopyData || (data->cbData > 0 && data->lpData == nullptr)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
      }
      // WM_COPYDATA's first parameter is the sending window, which the peer must learn.
      if (wParam != 0) frame.flags |= kWParamIsWindow;
      frame.copyDataWord = data->dwData;
      frame.copyData.assign(static_cast<const char*>(data->lpData), data->cbData);
    } else if (!PrivateMessage(message)) {
      // Its parameters would be our addresses in another process.
      SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
    } else {
      frame.lParam = static_cast<std::uint64_t>(lParam);
    }

    auto pending = std::make_shared<Pending>();
    pending->connection = connection;
    pending->fromUiThread = IsUiThread();
    pending->event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (pending->event == nullptr) return 0;
    {
      std::lock_guard lock(mutex_);
      pending_[frame.sequence] = pending;
    }
    bool answered = false;
    if (connection->Write(EncodeFrame(frame)) && connection->open.load()) {
      const DWORD timeout = sendTimeout_.load();
      const DWORD state = IsUiThread() ? WaitHandlingSentMessages(pending->event, timeout)
                                       : WaitForSingleObject(pending->event, timeout);
      answered = state == WAIT_OBJECT_0;
    }
    LRESULT result = 0;
    {
      std::lock_guard lock(mutex_);
      pending_.erase(frame.sequence);
      result = answered ? pending->result : 0;
    }
    CloseHandle(pending->event);
    if (!answered) SetLastError(ERROR_TIMEOUT_CHANNEL);
    return result;
  }

 private:
  static constexpr DWORD ERROR_TIMEOUT_CHANNEL = 1460;   // ERROR_TIMEOUT

  void InstallOnce() {
    std::call_once(installed_, [this] {
      // The core is never destroyed, so the source it registers never dangles.
      win::AddForeignSource(std::shared_ptr<win::ForeignWindowSource>(this, [](win::ForeignWindowSource*) {}));
      AddMessageHook([this](MSG& message) { return TakeFromQueue(message); });
      std::thread([this] { DispatchSends(); }).detach();
    });
  }

  std::optional<Foreign> Live(HWND window) const {
    std::lock_guard lock(mutex_);
    auto it = foreign_.find(window);
    if (it == foreign_.end() || !it->second.alive) return std::nullopt;
    auto connection = it->second.connection.lock();
    if (!connection || !connection->open.load()) return std::nullopt;
    return it->second;
  }

  // Our handle for a window of the peer, made from the window registry's id space on first sight.
  HWND HandleFor(const std::shared_ptr<Connection>& connection, std::uint64_t peerWindow) {
    std::lock_guard lock(mutex_);
    auto [it, added] = byPeer_.try_emplace({connection->id, peerWindow}, nullptr);
    if (added) {
      it->second = win::WindowRegistry::Get().NewHandle();
      foreign_[it->second] = Foreign{connection, peerWindow, connection->processId, true};
    }
    return it->second;
  }

  void Handle(const std::shared_ptr<Connection>& connection, Frame frame) {
    // The socket's credentials say who the peer is; a frame claiming another process is forged.
    if (frame.senderProcessId != connection->processId) {
      ++dropped_;
      return;
    }
    if (frame.kind == FrameKind::kPost || frame.kind == FrameKind::kSend) {
      if ((frame.flags & kWParamIsWindow) && frame.wParam != 0)
        frame.wParam = reinterpret_cast<std::uintptr_t>(HandleFor(connection, frame.wParam));
      if ((frame.flags & kLParamIsWindow) && frame.lParam != 0)
        frame.lParam = reinterpret_cast<std::uintptr_t>(HandleFor(connection, frame.lParam));
    }
    switch (frame.kind) {
      case FrameKind::kPost: return HandlePost(connection, frame);
      case FrameKind::kSend: return HandleSend(connection, std::move(frame));
      case FrameKind::kAnswer: return HandleAnswer(connection, frame);
      case FrameKind::kWindowGone: return HandleWindowGone(connection, frame);
    }
  }

  void HandlePost(const std::shared_ptr<Connection>& connection, const Frame& frame) {
    const HWND target = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(frame.target));
    // Only our own windows (win::Find knows no handle lent out for another peer's window).
    if (!PrivateMessage(frame.message) || !win::Find(target)) {
      ++dropped_;
      return;
    }
    std::uint64_t ticket = 0;
    {
      std::lock_guard lock(mutex_);
      // Carriers of windows destroyed before their turn never reach the hook: sweep them now
      // and then.
      if (deliveries_.size() >= 256) {
        for (auto it = deliveries_.begin(); it != deliveries_.end();) {
          it = win::Find(it->second.target) ? std::next(it) : deliveries_.erase(it);
        }
      }
      ticket = nextTicket_++;
      deliveries_[ticket] = Delivery{connection->processId, target, frame.message,
                                     static_cast<WPARAM>(frame.wParam), static_cast<LPARAM>(frame.lParam)};
    }
    if (!PostMessageA(target, kCarrier, static_cast<WPARAM>(ticket), 0)) {
      std::lock_guard lock(mutex_);
      deliveries_.erase(ticket);
      ++dropped_;
    }
  }

  // Runs on the UI thread for every message taken from the queue: a carrier is handled here,
  // as the message it carries, with its sender known to the handler while it runs.
  bool TakeFromQueue(MSG& message) {
    if (message.message != kCarrier) return false;
    Delivery delivery;
    {
      std::lock_guard lock(mutex_);
      auto it = deliveries_.find(static_cast<std::uint64_t>(message.wParam));
      if (it == deliveries_.end()) return true;
      delivery = it->second;
      deliveries_.erase(it);
    }
    // Checked here, where windows change: it may have become a child since it was posted.
    if (message.hwnd != delivery.target || !OwnTopLevel(delivery.target)) {
      ++dropped_;
      return true;
    }
    message.message = delivery.message;
    message.wParam = delivery.wParam;
    message.lParam = delivery.lParam;
    const DWORD saved = tCurrentSender;
    tCurrentSender = delivery.processId;
    DispatchMessageA(&message);
    tCurrentSender = saved;
    return true;
  }

  void HandleSend(const std::shared_ptr<Connection>& connection, Frame frame) {
    if (frame.message != WM_COPYDATA && !PrivateMessage(frame.message)) {
      ++dropped_;
      Answer(connection, frame.sequence, 0);
      return;
    }
    IncomingSend send{connection, std::move(frame)};
    if (IsUiThread()) {
      Deliver(send);
      return;
    }
    // Not on the reading thread: a handler that sends to a peer in turn needs the reader free
    // to read the answer.
    std::lock_guard lock(sendsMutex_);
    sends_.push_back(std::move(send));
    sendsArrived_.notify_one();
  }

  void DispatchSends() {
    for (;;) {
      IncomingSend send;
      {
        std::unique_lock lock(sendsMutex_);
        sendsArrived_.wait(lock, [&] { return !sends_.empty(); });
        send = std::move(sends_.front());
        sends_.pop_front();
      }
      if (send.connection) {
        RunOnUiThread([&] { Deliver(send); });
      } else {
        RunOnUiThread([] {});
      }
    }
  }

  // UI thread. The block lives in the frame, which outlives the call and no more.
  void Deliver(IncomingSend& send) {
    Frame& frame = send.frame;
    const HWND target = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(frame.target));
    LRESULT result = 0;
    if (!win::FindForeign(target) && OwnTopLevel(target)) {
      const DWORD saved = tCurrentSender;
      tCurrentSender = send.connection->processId;
      if (frame.message == WM_COPYDATA) {
        COPYDATASTRUCT data{static_cast<ULONG_PTR>(frame.copyDataWord), static_cast<DWORD>(frame.copyData.size()),
                            frame.copyData.empty() ? nullptr : frame.copyData.data()};
        result = SendMessageA(target, WM_COPYDATA, static_cast<WPARAM>(frame.wParam), reinterpret_cast<LPARAM>(&data));
      } else {
        result = SendMessageA(target, frame.message, static_cast<WPARAM>(frame.wParam),
                              static_cast<LPARAM>(frame.lParam));
      }
      tCurrentSender = saved;
    } else {
      ++dropped_;
    }
    Answer(send.connection, frame.sequence, result);
  }

  void Answer(const std::shared_ptr<Connection>& connection, std::uint32_t sequence, LRESULT result) {
    Frame answer;
    answer.kind = FrameKind::kAnswer;
    answer.senderProcessId = static_cast<std::uint32_t>(::getpid());
    answer.sequence = sequence;
    answer.lParam = static_cast<std::uint64_t>(result);
    connection->Write(EncodeFrame(answer));
  }

  void HandleAnswer(const std::shared_ptr<Connection>& connection, const Frame& frame) {
    std::lock_guard lock(mutex_);
    auto it = pending_.find(frame.sequence);
    // An answer for a send of another peer, or one already given up, is not this peer's to give.
    if (it == pending_.end() || it->second->connection != connection) {
      ++dropped_;
      return;
    }
    it->second->result = static_cast<LRESULT>(frame.lParam);
    SetEvent(it->second->event);
    // The UI thread's wait looks at its event only between short slices unless a call from
    // another thread wakes it: hand it an empty one, from the dispatcher, never blocking here.
    if (it->second->fromUiThread && !IsUiThread()) {
      std::lock_guard sendsLock(sendsMutex_);
      sends_.push_back(IncomingSend{});
      sendsArrived_.notify_one();
    }
  }

  void HandleWindowGone(const std::shared_ptr<Connection>& connection, const Frame& frame) {
    std::lock_guard lock(mutex_);
    auto it = byPeer_.find({connection->id, frame.target});
    if (it != byPeer_.end()) foreign_[it->second].alive = false;
  }

  mutable std::mutex mutex_;
  std::map<HWND, Foreign> foreign_;                                      // under mutex_
  std::map<std::pair<std::uint64_t, std::uint64_t>, HWND> byPeer_;       // under mutex_
  std::map<std::uint32_t, std::shared_ptr<Pending>> pending_;            // under mutex_
  std::map<std::uint64_t, Delivery> deliveries_;                         // under mutex_
  std::uint64_t nextTicket_ = 1;                                         // under mutex_

  std::mutex sendsMutex_;
  std::condition_variable sendsArrived_;
  std::deque<IncomingSend> sends_;   // under sendsMutex_

  std::once_flag installed_;
  std::atomic<std::uint64_t> nextConnection_{1};
  std::atomic<std::uint32_t> nextSequence_{1};
  std::atomic<DWORD> sendTimeout_{kFirstSendTimeout};
  std::atomic<std::uint64_t> dropped_{0};
};

}  // namespace

std::shared_ptr<Connection> Attach(DWORD processId, ConnectionWriter writer) {
  return Core::Get().Attach(processId, std::move(writer));
}
void Receive(const std::shared_ptr<Connection>& connection, const std::uint8_t* data, std::size_t size) {
  Core::Get().Receive(connection, data, size);
}
void Detach(const std::shared_ptr<Connection>& connection) { Core::Get().Detach(connection); }
HWND KnownHandle(const std::shared_ptr<Connection>& connection, std::uint64_t peerWindow) {
  return Core::Get().KnownHandle(connection, peerWindow);
}
DWORD SendTimeout() { return Core::Get().sendTimeout(); }

}  // namespace zuvo::platform::channel

namespace zuvo::platform {

using channel::Frame;
using channel::FrameKind;

DWORD CurrentMessageSenderProcessId() { return channel::tCurrentSender; }

DWORD SetChannelSendTimeout(DWORD milliseconds) { return channel::Core::Get().SetSendTimeout(milliseconds); }

std::uint64_t ChannelFramesDropped() { return channel::Core::Get().dropped(); }

// ---- LoopbackPeer ----------------------------------------------------------------------------

struct LoopbackPeer::State {
  struct Waiting {
    HANDLE event = nullptr;
    bool answered = false;
    LRESULT result = 0;
  };

  DWORD processId = 0;
  std::atomic<DWORD> claimedProcessId{0};
  std::atomic<bool> holdAnswers{false};
  std::shared_ptr<channel::Connection> connection;
  channel::FrameReader reader;   // of what we write to the peer; under writes to it

  mutable std::mutex mutex;
  std::vector<PeerMessage> received;                                 // under mutex
  std::function<LRESULT(const PeerMessage&)> answer;                 // under mutex
  std::map<std::uint32_t, Waiting> waiting;                          // under mutex
  std::uint64_t nextWindow = 0x100;                                  // under mutex
  std::uint32_t nextSequence = 1;                                    // under mutex

  void Inject(const std::string& bytes) {
    channel::Receive(connection, reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  }

  // What our program writes to the peer.
  bool OnWritten(const std::string& bytes) {
    reader.Feed(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), [&](const Frame& frame) {
      if (frame.kind == FrameKind::kAnswer) {
        std::lock_guard lock(mutex);
        auto it = waiting.find(frame.sequence);
        if (it != waiting.end()) {
          it->second.answered = true;
          it->second.result = static_cast<LRESULT>(frame.lParam);
          SetEvent(it->second.event);
        }
        return;
      }
      PeerMessage message{frame.kind == FrameKind::kSend, frame.target, frame.message, frame.wParam,
                          frame.lParam, frame.copyDataWord, frame.copyData};
      std::function<LRESULT(const PeerMessage&)> answerWith;
      {
        std::lock_guard lock(mutex);
        received.push_back(message);
        answerWith = answer;
      }
      if (!message.sent || holdAnswers.load()) return;
      Frame reply;
      reply.kind = FrameKind::kAnswer;
      reply.senderProcessId = claimedProcessId.load();
      reply.sequence = frame.sequence;
      reply.lParam = static_cast<std::uint64_t>(answerWith ? answerWith(message) : 1);
      Inject(channel::EncodeFrame(reply));
    });
    return true;
  }
};

LoopbackPeer::LoopbackPeer(DWORD processId) : state_(std::make_shared<State>()) {
  state_->processId = processId;
  state_->claimedProcessId = processId;
  std::weak_ptr<State> weak = state_;
  state_->connection = channel::Attach(processId, [weak](const std::string& bytes) {
    auto state = weak.lock();
    return state && state->OnWritten(bytes);
  });
}

LoopbackPeer::~LoopbackPeer() { channel::Detach(state_->connection); }

std::uint64_t LoopbackPeer::NewWindow() {
  std::lock_guard lock(state_->mutex);
  const std::uint64_t window = state_->nextWindow;
  state_->nextWindow += 0x10;
  return window;
}

void LoopbackPeer::DestroyWindow(std::uint64_t window) {
  Frame frame;
  frame.kind = FrameKind::kWindowGone;
  frame.senderProcessId = state_->claimedProcessId.load();
  frame.target = window;
  state_->Inject(channel::EncodeFrame(frame));
}

HWND LoopbackPeer::HandleOf(std::uint64_t window) const { return channel::KnownHandle(state_->connection, window); }

void LoopbackPeer::Post(HWND target, UINT message, std::uint64_t wParam, std::uint64_t lParam, std::uint8_t flags) {
  Frame frame;
  frame.kind = FrameKind::kPost;
  frame.flags = flags;
  frame.senderProcessId = state_->claimedProcessId.load();
  frame.target = reinterpret_cast<std::uintptr_t>(target);
  frame.message = message;
  frame.wParam = wParam;
  frame.lParam = lParam;
  state_->Inject(channel::EncodeFrame(frame));
}

LRESULT LoopbackPeer::SendCopyData(HWND target, std::uint64_t senderWindow, std::uint64_t dataWord,
                                   const std::string& bytes) {
  Frame frame;
  frame.kind = FrameKind::kSend;
  frame.flags = senderWindow != 0 ? channel::kWParamIsWindow : 0;
  frame.senderProcessId = state_->claimedProcessId.load();
  frame.target = reinterpret_cast<std::uintptr_t>(target);
  frame.message = WM_COPYDATA;
  frame.wParam = senderWindow;
  frame.copyDataWord = dataWord;
  frame.copyData = bytes;
  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  {
    std::lock_guard lock(state_->mutex);
    frame.sequence = state_->nextSequence++;
    state_->waiting[frame.sequence].event = event;
  }
  state_->Inject(channel::EncodeFrame(frame));
  const DWORD timeout = channel::SendTimeout();
  if (IsUiThread()) {
    WaitHandlingSentMessages(event, timeout);
  } else {
    WaitForSingleObject(event, timeout);
  }
  LRESULT result = 0;
  {
    std::lock_guard lock(state_->mutex);
    auto it = state_->waiting.find(frame.sequence);
    if (it->second.answered) result = it->second.result;
    state_->waiting.erase(it);
  }
  CloseHandle(event);
  return result;
}

void LoopbackPeer::HoldAnswers(bool hold) { state_->holdAnswers = hold; }

void LoopbackPeer::Inject(const std::string& bytes) { state_->Inject(bytes); }

void LoopbackPeer::ClaimProcessId(DWORD processId) { state_->claimedProcessId = processId; }

std::vector<PeerMessage> LoopbackPeer::Received() const {
  std::lock_guard lock(state_->mutex);
  return state_->received;
}

void LoopbackPeer::SetAnswer(std::function<LRESULT(const PeerMessage&)> answer) {
  std::lock_guard lock(state_->mutex);
  state_->answer = std::move(answer);
}

}  // namespace zuvo::platform

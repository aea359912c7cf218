#include "net/FrameClient.h"

#include "data/Messages.h"
#include "net/NetHooks.h"
#include "platform/Text.h"

#include <cstring>
#include <string>

FrameClient::FrameClient(bool push, const char* headStep, const char* bodyStep)
    : decoder(std::make_unique<LCompressLite>()), push_(push), headStep_(headStep), bodyStep_(bodyStep) {}

void FrameClient::CloseFromDestructor() {
  // A client is never deleted inside its own read loop; should it be, the close still happens.
  inReceive_ = false;
  OnClose(0);
}

void FrameClient::SetErrorText(std::string_view text) {
  const std::size_t length = zuvo::platform::gbk::CutLength(text, sizeof errorText - 1);
  std::memcpy(errorText, text.data(), length);
  errorText[length] = '\0';
}

void FrameClient::CloseQuietly() {
  ESock::Close();
  ResetBuffers();
}

void FrameClient::ResetBuffers() {
  headerHeld = false;
  receiveCount = 0;
  sendCount = 0;
}

void FrameClient::OnClose(int /*error*/) {
  if (handle == -1) return;
  if (inReceive_) {
    // The read loop is cutting this client's buffer: it finishes the close as it unwinds.
    closePending_ = true;
    return;
  }
  closePending_ = false;
  if (push_) zuvo::net::Trace("网络断开 (OnClose)");
  CloseQuietly();
  if (HWND window = zuvo::net::MainWindow(); window != nullptr) {
    PostMessageA(window, MsgConnectionLost, 0, push_ ? 1 : 0);
  }
}

void FrameClient::ReadFrames() {
  if (inReceive_ || handle == -1) return;
  inReceive_ = true;
  bool close = false;
  int receivedNow = 0;
  for (;;) {
    // A peer that sends without pause would keep the loop here for ever and the user interface
    // would freeze: after a share of bytes the loop lets the message loop run. The socket layer
    // has posted the next read notification already, since bytes remain.
    if (receivedNow >= kMaxBytesPerNotification) break;
    if (receiveCount >= kReceiveBufferBytes) {
      close = true;
      break;
    }
    const int received = Receive(receiveBuffer + receiveCount, kReceiveBufferBytes - receiveCount, 0);
    if (received == 0) {
      close = true;   // the peer closed; a body it cut short is dropped with the buffer
      break;
    }
    if (received < 0) {
      if (GetLastError() != WSAEWOULDBLOCK) {
        close = true;
        break;
      }
      RearmAfterWouldBlock();
      break;
    }
    receiveCount += received;
    receivedNow += received;
    if (!CutHead() || closePending_) {
      close = true;
      break;
    }
  }
  ReceiveCallsDone();
  inReceive_ = false;
  if (close || closePending_) OnClose(0);
}

bool FrameClient::TakeHeader(const std::uint8_t* bytes, const char* step) {
  std::memcpy(&header, bytes, kFrameHeaderBytes);
  if (!IsValidFrameHeader(header, push_)) {
    zuvo::net::Trace((std::string("收到错误的包头 (") + step + ")").c_str());
    return false;
  }
  if (header.magic == kSlowNetworkMagic) SlowNetworkHeader(step);   // only the push connection admits '#'
  return true;
}

bool FrameClient::CutHead() {
  if (headerHeld) {
    if (receiveCount < header.length) return true;
    const int consumed = CutBodies(receiveBuffer, receiveCount);
    if (consumed < 0) return false;
    std::memmove(receiveBuffer, receiveBuffer + consumed, static_cast<std::size_t>(receiveCount - consumed));
    receiveCount -= consumed;
    return true;
  }
  if (receiveCount < kFrameHeaderBytes) return true;
  if (!TakeHeader(receiveBuffer, headStep_)) return false;
  const int available = receiveCount - kFrameHeaderBytes;
  if (available < header.length) {
    std::memmove(receiveBuffer, receiveBuffer + kFrameHeaderBytes, static_cast<std::size_t>(available));
    receiveCount = available;
    headerHeld = true;
    return true;
  }
  const int consumed = CutBodies(receiveBuffer + kFrameHeaderBytes, available);
  if (consumed < 0) return false;
  const int taken = kFrameHeaderBytes + consumed;
  std::memmove(receiveBuffer, receiveBuffer + taken, static_cast<std::size_t>(receiveCount - taken));
  receiveCount -= taken;
  return true;
}

int FrameClient::CutBodies(std::uint8_t* bytes, int available) {
  int consumed = 0;
  for (;;) {
    // The current header describes the frame at `consumed`, and its whole body is there.
    if (!HandleFrame(bytes + consumed, header.length)) return -1;
    // The handler closed its own client (directly or through a request it sent): stop cutting
    // the buffer; the read loop finishes the close.
    if (closePending_) return -1;
    consumed += header.length;
    if (available - consumed < kFrameHeaderBytes) {
      headerHeld = false;
      return consumed;
    }
    if (!TakeHeader(bytes + consumed, bodyStep_)) return -1;
    consumed += kFrameHeaderBytes;
    if (available - consumed < header.length) {
      headerHeld = true;
      return consumed;
    }
  }
}

int FrameClient::FlushSendBuffer() {
  // A partial send leaves the rest at the front; no FD_WRITE follows a send that did not fail,
  // so offer the rest at once until the socket says it has no room.
  while (sendCount > 0) {
    const int sent = Send(sendBuffer, sendCount, 0);
    if (sent < 0) return GetLastError() == WSAEWOULDBLOCK ? 1 : 0;
    if (sent == 0) return 1;
    const int taken = sent < sendCount ? sent : sendCount;
    std::memmove(sendBuffer, sendBuffer + taken, static_cast<std::size_t>(sendCount - taken));
    sendCount -= taken;
  }
  return 1;
}

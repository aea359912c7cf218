// The request client's synchronous half: connecting and logging in (one stage, or two: the main
// server hands out the data-server block, then the data server takes it back), the keep-alive
// frame and the password change on a connection of its own. Everything here is blocking; the
// client turns asynchronous later with StartAsync.
//
// Server answers are untrusted: a reply is measured before use, a server text is cut to the
// error text (at most 255 bytes, on a character boundary, never read past the body), and a
// type-3 reply shorter than the 128-byte block is a protocol failure, not a block.
#include "net/NormalClnt.h"

#include "core/PackedTime.h"
#include "data/Messages.h"
#include "data/UtilData.h"
#include "net/NetFrame.h"
#include "net/NetHooks.h"
#include "net/RequestFrames.h"
#include "net/RequestQueue.h"
#include "net/ServerRights.h"
#include "platform/Files.h"
#include "platform/Kernel.h"
#include "platform/Profile.h"
#include "platform/Text.h"
#include "platform/WinSock.h"
#include "platform/WinUser.h"

#include <cstdio>
#include <cstring>
#include <string_view>

using namespace zuvo::platform;

namespace {

constexpr char kServerIni[] = ".\\server.ini";
constexpr char kDataServerBlockFile[] = "..\\cfg\\dsinfo.dat";
constexpr char kAccountLibrary[] = ".\\QXAccountDll.dll";
// The fixed credentials sent while the account library is loaded (it checks the user itself).
constexpr char kAccountLibraryUser[] = "kpvrotle&*58_mu";
constexpr char kAccountLibraryPassword[] = "rmx362pqw71";

constexpr int kDefaultDataPort = 13152;
constexpr int kAddressBytes = 64;   // [Server] Address: at most 63 characters

// Login mode words of the wire-3 body.
constexpr std::uint32_t kFirstOfTwoStages = 0;
constexpr std::uint32_t kOneStage = 2;

constexpr std::uint8_t kLoginReply = 3;
constexpr std::uint8_t kDataLoginReply = 207;
constexpr std::uint8_t kPasswordReply = 30;
constexpr std::uint8_t kHeartbeatType = 1;
// A type-2 reply: byte 2 the level, the NUL-terminated text from byte 3.
constexpr int kErrorTextOffset = 3;

constexpr char kInitFailed[] = "网络初始化失败。";
constexpr char kNetworkError[] = "网络连接发生错误。";
constexpr char kUnknownError[] = "未知错误。";

// The server's text of a type-2 reply: only the body's own bytes, up to its terminator, at most
// 255 bytes cut on a character boundary. A reply without text gets the unknown-error text.
void SetServerError(TNormalClnt* client, const std::uint8_t* body, int length) {
  if (length <= kErrorTextOffset) {
    client->SetErrorText(kUnknownError);
    return;
  }
  const char* text = reinterpret_cast<const char*>(body + kErrorTextOffset);
  const std::size_t available = static_cast<std::size_t>(length - kErrorTextOffset);
  const void* end = std::memchr(text, '\0', available);
  const std::size_t terminated = end != nullptr ? static_cast<std::size_t>(static_cast<const char*>(end) - text) : available;
  if (terminated == 0) {
    client->SetErrorText(kUnknownError);
    return;
  }
  client->SetErrorText(std::string_view(text, terminated));
}

bool OneStageLogin() { return GetPrivateProfileIntA("Server", "NOJH", 0, kServerIni) != 0; }

void ReadAddress(char* address) {
  GetPrivateProfileStringA("Server", "Address", "", address, kAddressBytes, kServerIni);
}

int DataServerPort() { return static_cast<int>(GetPrivateProfileIntA("Server", "Port1", kDefaultDataPort, kServerIni)); }

// Builds and sends one request frame on a blocking connection, the whole frame: false when it
// could not be built or the send failed.
bool SendWhole(TNormalClnt* client, RequestRecord* record) {
  if (BuildRequestFrame(client, record) < 0) return false;
  // A blocking send normally takes everything; whatever it left is sent now.
  while (client->sendCount > 0) {
    const int before = client->sendCount;
    if (client->FlushSendBuffer() != 1 || client->sendCount == before) return false;
  }
  return true;
}

// One reply frame with the blocking pair: false when the connection failed or the frame is bad.
bool ReadReply(TNormalClnt* client) { return client->ReadFrameHeader() == 1 && client->ReadFrameBody() >= 0; }

bool ReadStoredBlock(std::uint8_t* block) {
  const HANDLE file = CreateFileA(kDataServerBlockFile, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD read = 0;
  const BOOL ok = ReadFile(file, block, kDataServerBlockBytes, &read, nullptr);
  CloseHandle(file);
  return ok && read == static_cast<DWORD>(kDataServerBlockBytes);
}

// True when "..\cfg\dsinfo.dat" holds exactly this block.
bool StoredBlockEquals(const std::uint8_t* block) {
  const HANDLE file = CreateFileA(kDataServerBlockFile, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  std::uint8_t stored[kDataServerBlockBytes + 1];
  DWORD read = 0;
  const BOOL ok = ReadFile(file, stored, sizeof stored, &read, nullptr);
  CloseHandle(file);
  return ok && read == static_cast<DWORD>(kDataServerBlockBytes) && std::memcmp(stored, block, kDataServerBlockBytes) == 0;
}

void Progress(HWND progress, UINT message) {
  if (progress != nullptr) SendMessageA(progress, message, 0, 0);
}

}  // namespace

int TNormalClnt::Connect(HWND progress, bool useStoredBlock) {
  errorText[0] = '\0';
  if (Create() != 1) {
    SetErrorText(kInitFailed);
    CloseQuietly();
    return 3;
  }
  loginMode = OneStageLogin() ? 0 : 1;
  const bool twoStages = loginMode == 1;
  char address[kAddressBytes] = {};
  ReadAddress(address);
  const int port = twoStages ? static_cast<int>(GetPrivateProfileIntA("Server", "Port", 0, kServerIni)) : DataServerPort();

  Progress(progress, MsgLoginSearchServer);
  if (!(twoStages && useStoredBlock)) {
    const int connected = ConnectViaProxy(address, port);
    if (connected != 0) {
      CloseQuietly();
      return connected == 1 ? 1 : 3;
    }
    ResetBuffers();
  }
  ResetQueueForLogin();

  if (twoStages) {
    std::uint8_t block[kDataServerBlockBytes] = {};
    if (useStoredBlock) {
      // Without a whole stored block there is nothing to log in with: nothing was sent, and the
      // socket goes without a connection-lost notice (it never connected).
      if (!ReadStoredBlock(block)) {
        CloseQuietly();
        return 1;
      }
      TakeRightsForLogin(block);
    } else {
      const int login = LoginExchange(true, block);
      if (login != 0) {
        CloseQuietly();
        return login == 1 ? 3 : 4;
      }
      // Written only when it changed (a reconnect gets the same block and skips the disk
      // flush); the old block stays whole when the new one cannot be written.
      if (!StoredBlockEquals(block) && !files::AtomicReplace(kDataServerBlockFile, block, sizeof block)) {
        zuvo::net::Trace("dsinfo.dat not written (Connect)");
      }
    }
    char dataAddress[32];
    std::snprintf(dataAddress, sizeof dataAddress, "%u.%u.%u.%u", block[114], block[115], block[116], block[117]);
    WritePrivateProfileStringA("Server", "dsAddr", dataAddress, kServerIni);

    CloseQuietly();
    if (Create() != 1) {
      SetErrorText(kInitFailed);
      CloseQuietly();
      return 3;
    }
    Progress(progress, MsgLoginConnectServer);
    const int connected = ConnectViaProxy(dataAddress, DataServerPort());
    if (connected != 0) {
      CloseQuietly();
      return connected == 1 ? 2 : 3;
    }
    ResetBuffers();
    ResetQueueForLogin();
    const int login = LoginExchange(false, block);
    if (login != 0) {
      CloseQuietly();
      return login == 1 ? 3 : 4;
    }
  } else {
    const int login = LoginExchange(true, nullptr);
    if (login != 0) {
      CloseQuietly();
      return login == 1 ? 3 : 4;
    }
    WritePrivateProfileStringA("Server", "dsAddr", address, kServerIni);
  }

  SetLoginTime();
  return 0;
}

void TNormalClnt::ResetQueueForLogin() {
  if (deferUiState_) {
    pendingQueueReset_ = true;
    return;
  }
  ResetRequestQueue();
}

void TNormalClnt::TakeRightsForLogin(const std::uint8_t* block) {
  if (deferUiState_) {
    static_assert(sizeof pendingBlock_ == kDataServerBlockBytes);
    std::memcpy(pendingBlock_, block, kDataServerBlockBytes);
    pendingRights_ = true;
    return;
  }
  zuvo::net::TakeServerRights(block);
}

void TNormalClnt::SetLoginTime() {
  if (deferUiState_) {
    pendingLoginTime_ = true;
    return;
  }
  const PackedTime now = SystemNow;
  loginYear = PackedYear(now);
  loginMonth = PackedMonth(now);
  loginDay = PackedDay(now);
  loginHour = PackedHour(now);
  loginMinute = PackedMinute(now);
}

void TNormalClnt::ApplyDeferredLoginState() {
  if (!deferUiState_) return;
  deferUiState_ = false;
  if (pendingQueueReset_) ResetRequestQueue();
  if (pendingRights_) zuvo::net::TakeServerRights(pendingBlock_);
  if (pendingLoginTime_) SetLoginTime();
  pendingQueueReset_ = pendingRights_ = pendingLoginTime_ = false;
  std::memset(pendingBlock_, 0, sizeof pendingBlock_);
}

int TNormalClnt::LoginExchange(bool keepReply, std::uint8_t* block) {
  SetErrorText(kNetworkError);
  const bool twoStages = loginMode == 1;

  RequestRecord record;
  record.kind = kRequestLogin;
  record.param = twoStages && !keepReply ? kLoginDataServer : kLoginFirstFrame;
  if (GetModuleHandleA(kAccountLibrary) != nullptr) {
    std::strcpy(record.text, kAccountLibraryUser);
    std::strcpy(record.code, kAccountLibraryPassword);
  } else {
    const zuvo::net::RequestCredentials credentials = zuvo::net::ReadRequestCredentials();
    std::memcpy(record.text, credentials.userName, sizeof credentials.userName);
    std::memcpy(record.code, credentials.password, sizeof credentials.password);
  }
  record.value1 = GetPrivateProfileIntA("Server", "Network", 1, ".\\Server.ini");
  record.value2 = twoStages ? kFirstOfTwoStages : kOneStage;
  record.dataServerBlock = block;
  if (!SendWhole(this, &record)) return 1;
  if (!ReadReply(this)) return 1;

  switch (header.type) {
    case kErrorReplyType:
      SetServerError(this, body, bodyLength);
      return 2;
    case kLoginReply:
      // Anything shorter than the block is not one: the rights would be read past the body.
      if (bodyLength < kDataServerBlockBytes) return 1;
      errorText[0] = '\0';
      if (!twoStages) {
        TakeRightsForLogin(body);
      } else if (keepReply && block != nullptr) {
        std::memcpy(block, body, kDataServerBlockBytes);
        TakeRightsForLogin(block);
      }
      return 0;
    case kDataLoginReply:
      // The first of two stages must hand out the block; an acceptance without one is no answer
      // to it (the stored block would be replaced by nothing).
      if (twoStages && keepReply) {
        SetErrorText(kUnknownError);
        return 2;
      }
      errorText[0] = '\0';
      return 0;
    default:
      SetErrorText(kUnknownError);
      return 2;
  }
}

int TNormalClnt::SendHeartbeat() {
  // Requests unanswered for too long leave the flight even while the user asks nothing.
  ExpireRequests();
  if (sendCount < 0 || sendCount + kFrameHeaderBytes > kSendBufferBytes) {
    OnClose(0);
    return 0;
  }
  FrameHeader frame{};
  frame.magic = kFrameMagic;
  frame.type = kHeartbeatType;
  frame.count = 1;
  std::memcpy(sendBuffer + sendCount, &frame, kFrameHeaderBytes);
  sendCount += kFrameHeaderBytes;
  if (FlushSendBuffer() != 1) {
    OnClose(0);
    return 0;
  }
  return async ? StartAsync() : 1;
}

int TNormalClnt::ChangePassword(const std::uint8_t* source) {
  errorText[0] = '\0';
  if (Create() != 1) {
    SetErrorText(kInitFailed);
    CloseQuietly();
    return 3;
  }
  loginMode = OneStageLogin() ? 0 : 1;
  if (loginMode == 0) {
    CloseQuietly();
    return 5;
  }
  char address[kAddressBytes] = {};
  ReadAddress(address);
  const int connected = ConnectViaProxy(address, static_cast<int>(GetPrivateProfileIntA("Server", "Port", 0, kServerIni)));
  if (connected != 0) {
    CloseQuietly();
    return connected == 1 ? 1 : 2;
  }
  ResetBuffers();

  RequestRecord record;
  record.kind = kRequestPasswordChange;
  std::memcpy(record.code, source + 28, 11);   // the 12th byte stays 0
  if (!SendWhole(this, &record) || !ReadReply(this)) {
    SetErrorText(kNetworkError);
    CloseQuietly();
    return 3;
  }
  int result = 0;
  if (header.type == kErrorReplyType) {
    SetServerError(this, body, bodyLength);
    result = 4;
  } else if (header.type != kPasswordReply) {
    // Only the change's own answer says it was done.
    SetErrorText(kUnknownError);
    result = 4;
  }
  CloseQuietly();
  return result;
}

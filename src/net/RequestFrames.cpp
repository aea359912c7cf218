#include "net/RequestFrames.h"

#include "core/GuardedAlloc.h"
#include "data/UtilData.h"
#include "net/NetFrame.h"
#include "net/NormalClnt.h"
#include "platform/Files.h"
#include "platform/Profile.h"
#include "platform/WinSock.h"

#include <algorithm>
#include <cstring>
#include <utility>

using namespace zuvo::net;

namespace {

// ---- The kind table -------------------------------------------------------------------------

struct KindInfo {
  std::uint8_t kind;
  std::uint8_t wireCode;
  std::int16_t replyCode;   // -1: answered only inside a synchronous exchange
  bool queued;
};

constexpr KindInfo kKinds[] = {
    {kRequestNameTable, 6, 6, true},         {kRequestMarketWire7, 7, -1, false},
    {kRequestIntradayBars, 12, 12, true},    {kRequestDayBars, 12, 12, true},
    {kRequestCompanyText, 21, 21, true},     {kRequestNews, 15, 15, true},
    {kRequestTradeDetails, 10, 10, true},    {kRequestRecentTrades, 11, 11, true},
    {kRequestExRights, 18, 18, true},        {kRequestTicks, 20, 20, true},
    {kRequestBrokerQueue, 102, 102, true},   {kRequestLogin, 3, -1, false},
    {kRequestVersion, 202, -1, false},       {kRequestSystemMessage, 203, 203, true},
    {kRequestRealtimeMessage, 204, 204, true}, {kRequestServerSort, 101, 101, true},
    {kRequestNotesList, 16, 16, true},       {kRequestNote, 16, 16, true},
    {kRequestSnapshot, 9, 9, true},          {kRequestPasswordChange, 30, 30, true},
    {kRequestMarketConfig, 206, -1, false},  {kRequestTimeZones, 206, -1, false},
    {kRequestAdvice, 33, 33, true},          {kRequestDayTrend, 31, 31, true},
    {kRequestNameTableExt, 34, -1, false},   {kRequestInfoIndex, 40, 40, true},
    {kRequestInfoText, 41, 41, true},
};

const KindInfo* FindKind(int kind) {
  for (const KindInfo& info : kKinds) {
    if (info.kind == kind) return &info;
  }
  return nullptr;
}

// Server sort codes of the quote columns 0..29; -1 where the server has none.
constexpr std::int8_t kSortCodes[30] = {-1, -1, 0,  1,  2,  3,  4,  5,  6,  -1, 14, 15, 13, 16, 17,
                                        19, 20, 21, 22, 23, 18, 24, 25, 26, 7,  8,  9,  12, 10, 11};

constexpr std::uint16_t kLoginDataServerLine = 2;

// ---- Body writers (little-endian, every byte not written stays 0) ------------------------------

void Put16(std::uint8_t* at, std::uint32_t value) {
  at[0] = static_cast<std::uint8_t>(value);
  at[1] = static_cast<std::uint8_t>(value >> 8);
}

void Put32(std::uint8_t* at, std::uint32_t value) {
  Put16(at, value);
  Put16(at + 2, value >> 16);
}

// A code field: at most 8 bytes of the record's code, stopping at its terminator; the field's
// unused bytes stay 0. The record's 12 bytes need not be terminated.
void PutCode(std::uint8_t* at, const char (&code)[12]) {
  const std::size_t length = strnlen(code, 8);
  std::memcpy(at, code, length);
}

// A text field of `field` bytes: at most field - 1 bytes of `text` (never read past textSize),
// always terminated by the zeroed rest.
void PutText(std::uint8_t* at, int field, const char* text, std::size_t textSize) {
  const std::size_t length = strnlen(text, std::min<std::size_t>(textSize, static_cast<std::size_t>(field - 1)));
  std::memcpy(at, text, length);
}

void PutKey(std::uint8_t* at, const STKMS& key) {
  at[0] = key.market;
  Put16(at + 1, key.index);
}

// The size (low 16 bits) and last-write date (yyyymmdd, UTC) of a local file; 0 and 0 when it
// cannot be opened or its time read, which asks the server for the whole file.
void LocalCopyStamp(const char* path, std::uint16_t* size, std::uint32_t* date) {
  *size = 0;
  *date = 0;
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  FILETIME lastWrite{};
  SYSTEMTIME time{};
  const DWORD bytes = GetFileSize(file, nullptr);
  if (bytes != INVALID_FILE_SIZE && GetFileTime(file, nullptr, nullptr, &lastWrite) &&
      FileTimeToSystemTime(&lastWrite, &time)) {
    *size = static_cast<std::uint16_t>(bytes);
    *date = static_cast<std::uint32_t>(time.wYear) * 10000 + time.wMonth * 100u + time.wDay;
  }
  CloseHandle(file);
}

// Each writer fills `body` (zeroed, kMaxRequestBody bytes) and returns the body length, or -1.

int MarketByteBody(const RequestRecord& r, std::uint8_t* body) {
  body[0] = static_cast<std::uint8_t>(r.market);
  return 1;
}

int BarsBody(const RequestRecord& r, std::uint8_t* body) {
  body[0] = static_cast<std::uint8_t>(r.param);
  body[1] = static_cast<std::uint8_t>(r.market);
  PutCode(body + 2, r.code);
  Put32(body + 14, r.value1);   // first date wanted, 0 = no lower bound
  Put32(body + 18, r.value2);   // last time wanted, 0 = no upper bound
  return 22;
}

int MarketValueCodeBody(const RequestRecord& r, std::uint8_t* body) {   // kinds 8 and 13
  body[0] = static_cast<std::uint8_t>(r.market);
  Put32(body + 1, r.value1);
  PutCode(body + 5, r.code);
  return 13;
}

int NewsBody(const RequestRecord& r, std::uint8_t* body) {
  body[0] = static_cast<std::uint8_t>(r.param);
  body[1] = static_cast<std::uint8_t>(r.market);
  if (r.param == kNewsText) {
    Put32(body + 2, r.value1);   // the news id
    return 6;
  }
  Put32(body + 2, r.value2);     // direction: 0 newer than the id, 1 older
  Put32(body + 6, r.value1);     // the id bound
  return 10;
}

int RecordsHeldBody(const RequestRecord& r, std::uint8_t* body) {   // kinds 10 and 14
  body[0] = static_cast<std::uint8_t>(r.param);
  body[1] = static_cast<std::uint8_t>(r.market);
  PutCode(body + 2, r.code);
  Put32(body + 10, r.value1);
  return 14;
}

int RecentTradesBody(const RequestRecord& r, std::uint8_t* body) {
  body[0] = static_cast<std::uint8_t>(r.market);
  PutCode(body + 1, r.code);
  Put32(body + 9, r.value1);
  return 13;
}

int BrokerQueueBody(const RequestRecord& r, std::uint8_t* body) {
  body[0] = static_cast<std::uint8_t>(r.market);
  PutCode(body + 1, r.code);
  return 9;
}

int LoginBody(const RequestRecord& r, std::uint8_t* body) {
  PutText(body, 16, r.text, sizeof r.text);   // user name
  PutText(body + 16, 12, r.code, sizeof r.code);   // password
  if (r.param != kLoginDataServer) {
    Put16(body + 28, r.value1);   // network line
    Put32(body + 60, r.value2);   // login mode word: 2 one stage, 0 first of two
    return 64;
  }
  // The data-server stage returns the rights and the kept bytes of the first stage's block.
  if (r.dataServerBlock == nullptr) return -1;
  const std::uint8_t* block = r.dataServerBlock;
  Put16(body + 28, kLoginDataServerLine);
  std::memcpy(body + 30, block + 2, 96);
  std::memcpy(body + 126, block + 98, 16);
  std::memcpy(body + 142, block + 118, 4);
  std::memcpy(body + 146, block + 122, 2);
  std::memcpy(body + 148, block + 124, 4);
  return 160;
}

int ServerSortBody(RequestRecord* r, std::uint8_t* body) {
  const int sortCode = ServerSortCode(r->param);
  if (sortCode < 0) {
    ReleaseRequestData(r);
    return -1;
  }
  body[0] = static_cast<std::uint8_t>(sortCode);
  if (r->keyArray == nullptr) {
    Put32(body + 1, 1);             // no list: the server sorts the market group
    Put16(body + 5, r->value1);
    return 775;
  }
  // The count is the caller's; never read beyond 256 keys nor beyond the array's own block.
  const std::uint32_t held = GuardedSize(r->keyArray) / sizeof(STKMS);
  const std::uint32_t keys = std::min({r->value1, static_cast<std::uint32_t>(kMaxRequestKeys), held});
  Put16(body + 5, keys);
  for (std::uint32_t i = 0; i < keys; ++i) PutKey(body + 7 + 3 * i, r->keyArray[i]);
  return 775;
}

int NotesListBody(const RequestRecord& r, std::uint8_t* body) {
  body[1] = static_cast<std::uint8_t>(r.market);
  Put32(body + 2, r.value1);
  Put32(body + 6, r.value2);
  return 10;
}

int NoteBody(const RequestRecord& r, std::uint8_t* body) {
  body[0] = 1;
  body[1] = static_cast<std::uint8_t>(r.market);
  PutText(body + 2, 16, r.text, sizeof r.text);
  Put16(body + 18, static_cast<std::uint32_t>(r.param));
  return 20;
}

int SnapshotBody(const RequestRecord& r, std::uint8_t* body) {
  int keys = 0;
  if (r.keyList != nullptr) {
    keys = std::min(r.keyList->GetSize(), kMaxRequestKeys);
    const STKMS* list = r.keyList->GetData();
    for (int i = 0; i < keys; ++i) PutKey(body + 3 * i, list[i]);
  }
  Put16(body + 768, static_cast<std::uint32_t>(keys));
  return 770;
}

int PasswordChangeBody(const RequestRecord& r, std::uint8_t* body) {
  const RequestCredentials credentials = ReadRequestCredentials();
  PutText(body, 16, credentials.userName, sizeof credentials.userName);
  PutText(body + 16, 12, credentials.password, sizeof credentials.password);
  PutText(body + 28, 12, r.code, sizeof r.code);   // the new password, its 12th byte 0
  return 40;
}

int ConfigFileBody(const RequestRecord& r, std::uint8_t* body) {
  const bool market = r.kind == kRequestMarketConfig;
  const char* name = market ? "MKINFO.CFG" : "SYSTIME.DAT";
  std::memcpy(body, name, std::strlen(name));
  std::uint16_t size = 0;
  std::uint32_t date = 0;
  LocalCopyStamp(market ? "..\\CFG\\MKINFO.CFG" : "..\\CFG\\SYSTIME.DAT", &size, &date);
  Put16(body + 32, size);
  Put32(body + 34, date);
  return 38;
}

int AdviceBody(const RequestRecord& r, std::uint8_t* body) {
  body[0] = static_cast<std::uint8_t>(r.market);
  PutCode(body + 1, r.code);
  Put32(body + 9, r.value1);
  Put32(body + 13, r.value2);
  return 17;
}

int DayTrendBody(const RequestRecord& r, std::uint8_t* body) {
  body[0] = 1;
  body[1] = static_cast<std::uint8_t>(r.market);
  PutCode(body + 2, r.code);
  Put32(body + 10, r.value1);
  return 14;
}

int InfoIndexBody(const RequestRecord& r, std::uint8_t* body) {
  body[0] = static_cast<std::uint8_t>(r.market);
  PutCode(body + 1, r.code);
  const std::uint8_t file = static_cast<std::uint8_t>(r.value1);
  body[9] = file;
  // Only index file 3 is fetched in parts: the records already held.
  if (file == 3) Put32(body + 10, r.value2);
  return 14;
}

int InfoTextBody(const RequestRecord& r, std::uint8_t* body) {
  body[0] = static_cast<std::uint8_t>(r.market);
  PutCode(body + 1, r.code);
  body[9] = static_cast<std::uint8_t>(r.param);
  PutText(body + 10, 80, r.text, sizeof r.text);
  Put32(body + 90, r.value1);
  Put32(body + 94, r.value2);
  return 98;
}

int FillBody(RequestRecord* r, std::uint8_t* body) {
  switch (r->kind) {
    case kRequestNameTable:
    case kRequestMarketWire7:
    case kRequestNameTableExt: return MarketByteBody(*r, body);
    case kRequestIntradayBars:
    case kRequestDayBars: return BarsBody(*r, body);
    case kRequestCompanyText:
    case kRequestExRights: return MarketValueCodeBody(*r, body);
    case kRequestNews: return NewsBody(*r, body);
    case kRequestTradeDetails:
    case kRequestTicks: return RecordsHeldBody(*r, body);
    case kRequestRecentTrades: return RecentTradesBody(*r, body);
    case kRequestBrokerQueue: return BrokerQueueBody(*r, body);
    case kRequestLogin: return LoginBody(*r, body);
    case kRequestVersion:
    case kRequestSystemMessage: return 4;
    case kRequestRealtimeMessage: Put32(body, r->value1); return 4;
    case kRequestServerSort: return ServerSortBody(r, body);
    case kRequestNotesList: return NotesListBody(*r, body);
    case kRequestNote: return NoteBody(*r, body);
    case kRequestSnapshot: return SnapshotBody(*r, body);
    case kRequestPasswordChange: return PasswordChangeBody(*r, body);
    case kRequestMarketConfig:
    case kRequestTimeZones: return ConfigFileBody(*r, body);
    case kRequestAdvice: return AdviceBody(*r, body);
    case kRequestDayTrend: return DayTrendBody(*r, body);
    case kRequestInfoIndex: return InfoIndexBody(*r, body);
    case kRequestInfoText: return InfoTextBody(*r, body);
    default: return -1;
  }
}

// ---- Credentials --------------------------------------------------------------------------------

RequestCredentials ReadServerIniCredentials() {
  RequestCredentials credentials;
  const std::string path = UserFilePath("SERVER.INI");
  GetPrivateProfileStringA("Server", "UserName", "", credentials.userName, sizeof credentials.userName, path.c_str());
  GetPrivateProfileStringA("Server", "Password", "", credentials.password, sizeof credentials.password, path.c_str());
  return credentials;
}

CredentialSource& InstalledCredentialSource() {
  static CredentialSource source;
  return source;
}

}  // namespace

// ---- The kind table's queries -------------------------------------------------------------------

int RequestWireCode(int kind) {
  const KindInfo* info = FindKind(kind);
  return info != nullptr ? info->wireCode : -1;
}

int RequestReplyCode(int kind) {
  const KindInfo* info = FindKind(kind);
  return info != nullptr ? info->replyCode : -1;
}

bool IsQueuedRequestKind(int kind) {
  const KindInfo* info = FindKind(kind);
  return info != nullptr && info->queued;
}

int ServerSortCode(int column) {
  if (column < 0 || column >= static_cast<int>(std::size(kSortCodes))) return -1;
  return kSortCodes[column];
}

void ReleaseRequestData(RequestRecord* record) {
  delete record->keyList;
  record->keyList = nullptr;
  GuardedFree(record->keyArray);
  record->keyArray = nullptr;
}

// ---- Frames ---------------------------------------------------------------------------------------

int BuildRequestBody(RequestRecord* record, std::uint8_t* body, std::uint8_t* wireCode) {
  const KindInfo* info = FindKind(record->kind);
  if (info == nullptr) return -1;
  std::memset(body, 0, kMaxRequestBody);
  const int length = FillBody(record, body);
  if (length < 0) return -1;
  *wireCode = record->kind == kRequestLogin && record->param == kLoginDataServer ? 207 : info->wireCode;
  return length;
}

int BuildRequestFrame(TNormalClnt* client, RequestRecord* record) {
  std::uint8_t frame[kMaxRequestFrame];
  std::uint8_t wireCode = 0;
  const int length = BuildRequestBody(record, frame + kFrameHeaderBytes, &wireCode);
  if (length < 0) return -1;
  const int frameBytes = kFrameHeaderBytes + length;
  if (frameBytes > kMaxRequestFrame) return -1;
  // The count is the client's own, but a damaged one must not let the append overrun.
  if (client->sendCount < 0 || client->sendCount > kSendBufferBytes) return -1;
  if (client->sendCount + frameBytes > kSendBufferBytes) return -1;

  const FrameHeader header = OneFrameHeader(wireCode, length);
  std::memcpy(frame, &header, kFrameHeaderBytes);
  std::memcpy(client->sendBuffer + client->sendCount, frame, static_cast<std::size_t>(frameBytes));
  client->sendCount += frameBytes;

  const int sent = client->Send(client->sendBuffer, client->sendCount, 0);
  if (sent >= 0) {
    const int accepted = std::min(sent, client->sendCount);
    std::memmove(client->sendBuffer, client->sendBuffer + accepted, static_cast<std::size_t>(client->sendCount - accepted));
    client->sendCount -= accepted;
    if (client->async) client->StartAsync();
    return accepted;
  }
  if (client->GetLastError() == WSAEWOULDBLOCK) {
    // The frame waits in the buffer; the next write notification sends it.
    if (client->async) client->StartAsync();
    return 0;
  }
  return -1;
}

namespace zuvo::net {

RequestCredentials ReadRequestCredentials() {
  const CredentialSource& source = InstalledCredentialSource();
  RequestCredentials credentials = source ? source() : ReadServerIniCredentials();
  // A source may hand back anything: keep both fields terminated.
  credentials.userName[sizeof credentials.userName - 1] = '\0';
  credentials.password[sizeof credentials.password - 1] = '\0';
  return credentials;
}

CredentialSource SetCredentialSource(CredentialSource source) {
  return std::exchange(InstalledCredentialSource(), std::move(source));
}

ScopedCredentialSource::ScopedCredentialSource(CredentialSource source)
    : previous_(SetCredentialSource(std::move(source))) {}

ScopedCredentialSource::~ScopedCredentialSource() { SetCredentialSource(std::move(previous_)); }

}  // namespace zuvo::net

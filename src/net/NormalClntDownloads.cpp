// The blocking downloads of the request client: the market description files (mkinfo.cfg and
// systime.dat) during the login, and a market's name table while the market tables are built.
// Every file name comes from this unit or from the market's validated record, never from the
// server; every file goes in whole through an atomic replace, so a broken or implausible reply
// leaves the old file as it was.
#include "net/NormalClnt.h"

#include "core/CoreUtil.h"
#include "data/MarketData.h"
#include "data/Records.h"
#include "net/RequestFrames.h"
#include "platform/Files.h"
#include "platform/Paths.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <string_view>
#include <unordered_map>
#include <vector>

using namespace zuvo::platform;

namespace {

constexpr std::uint8_t kConfigReplyType = 206;
constexpr std::uint8_t kNamesReplyType = 6;
constexpr std::uint8_t kAltCodesReplyType = 34;
constexpr int kConfigHeadBytes = 38;       // file name (32), size (2), date (4)
constexpr int kAltCodeEntryBytes = 14;     // 7 extension bytes, then a 7-byte code
constexpr std::size_t kSysTimeBytes = 24872;
constexpr const char* kDownloadTempPath = ".\\updt.tmp";

std::uint32_t Get32(const std::uint8_t* at) {
  return static_cast<std::uint32_t>(at[0]) | static_cast<std::uint32_t>(at[1]) << 8 |
         static_cast<std::uint32_t>(at[2]) << 16 | static_cast<std::uint32_t>(at[3]) << 24;
}

// A text of a fixed field: up to its terminator, at most the field; trailing blanks cut.
std::string_view FieldText(const char* field, std::size_t size) {
  std::size_t length = strnlen(field, size);
  while (length > 0 && field[length - 1] == ' ') --length;
  return {field, length};
}

// The head's 32-byte file name field names `name` (ASCII case ignored).
bool SameName(const std::uint8_t* field, const char* name) {
  const std::size_t length = strnlen(reinterpret_cast<const char*>(field), 32);
  if (length != std::strlen(name)) return false;
  for (std::size_t i = 0; i < length; ++i) {
    const auto upper = [](unsigned char c) { return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c; };
    if (upper(field[i]) != upper(static_cast<unsigned char>(name[i]))) return false;
  }
  return true;
}

// A field that must hold a terminated, non-empty name usable as one path component.
bool SafeField(const char* field, std::size_t size) {
  const std::size_t length = strnlen(field, size);
  return length < size && paths::IsSafeComponent(std::string_view(field, length));
}

// mkinfo.cfg as the loader will read it: whole 1590-byte records, each with 1 to 15 categories
// and a market code and file extension that can name its folder and files.
bool PlausibleMarketConfig(const std::vector<std::uint8_t>& bytes) {
  if (bytes.empty() || bytes.size() % sizeof(MarketRecord) != 0) return false;
  for (std::size_t at = 0; at < bytes.size(); at += sizeof(MarketRecord)) {
    MarketRecord record;
    std::memcpy(&record, bytes.data() + at, sizeof record);
    if (record.categoryCount < 1 || record.categoryCount > kMaxCategories) return false;
    if (!SafeField(record.code, sizeof record.code) || !SafeField(record.fileExt, sizeof record.fileExt)) return false;
  }
  return true;
}

// The reply's yyyymmdd date as the file time of midnight (file times are UTC, as the request
// reads them back). False for a date that is no calendar day.
bool DateToFileTime(std::uint32_t date, FILETIME* out) {
  SYSTEMTIME time{};
  time.wYear = static_cast<WORD>(date / 10000);
  time.wMonth = static_cast<WORD>(date / 100 % 100);
  time.wDay = static_cast<WORD>(date % 100);
  if (date / 10000 < 1980 || date / 10000 > 9999 || time.wMonth < 1 || time.wMonth > 12 || time.wDay < 1 ||
      time.wDay > 31) {
    return false;
  }
  FILETIME fileTime{};
  if (!SystemTimeToFileTime(&time, &fileTime)) return false;
  SYSTEMTIME check{};
  // 31 February would roll into March: only a day that reads back the same is taken.
  if (!FileTimeToSystemTime(&fileTime, &check) || check.wMonth != time.wMonth || check.wDay != time.wDay) return false;
  *out = fileTime;
  return true;
}

// Replaces the target with the bytes and dates it. The bytes are whole on disk before the date
// is set; a date that cannot be set only makes the next login fetch the file again.
bool InstallFile(const char* target, const std::vector<std::uint8_t>& bytes, const FILETIME& lastWrite) {
  if (!files::AtomicReplace(target, bytes.data(), bytes.size())) return false;
  files::ScopedHandle file(CreateFileA(target, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file.ok()) SetFileTime(file.get(), nullptr, nullptr, &lastWrite);
  return true;
}

// The temporary download file: created when the first frame of file data arrives, dropped (and
// deleted) as soon as the download can no longer install anything.
class DownloadTemp {
 public:
  ~DownloadTemp() { Discard(); }
  bool open() const { return file_ != INVALID_HANDLE_VALUE; }
  bool Create() {
    file_ = CreateFileA(kDownloadTempPath, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
    created_ = open();
    return created_;
  }
  bool Append(const std::uint8_t* bytes, int length) {
    DWORD written = 0;
    return WriteFile(file_, bytes, static_cast<DWORD>(length), &written, nullptr) &&
           written == static_cast<DWORD>(length);
  }
  void Discard() {
    if (open()) CloseHandle(file_);
    file_ = INVALID_HANDLE_VALUE;
    if (created_) DeleteFileA(kDownloadTempPath);
    created_ = false;
  }

 private:
  HANDLE file_ = INVALID_HANDLE_VALUE;
  bool created_ = false;
};

// Sends one request of the blocking exchanges: false (the connection closed) when the frame
// could not be built or did not leave whole.
bool SendRequest(TNormalClnt* client, std::uint8_t kind, int market) {
  RequestRecord record;
  record.kind = kind;
  record.market = static_cast<std::uint16_t>(market);
  if (BuildRequestFrame(client, &record) < 0 || client->sendCount != 0) {
    client->sendCount = 0;
    client->Close();
    return false;
  }
  return true;
}

// Reads the frames of one reply (index 0 up to count - 1, in order, one count) and hands each
// to `frame` with the client's header and body current. False when a read fails or the frames
// do not form one reply: the stream is then out of step and the connection is closed.
bool ReadReply(TNormalClnt* client, const std::function<void()>& frame) {
  int expected = 0;
  int count = 0;
  for (;;) {
    if (client->ReadFrameHeader() != 1 || client->ReadFrameBody() < 0 ||
        client->header.index != expected || (expected > 0 && client->header.count != count)) {
      client->Close();
      return false;
    }
    count = client->header.count;
    frame();
    if (++expected == count) return true;
  }
}

// One description file: request `kind`, read the whole reply into .\updt.tmp and memory, and
// install it over `target` when every frame was a data frame of this file and the result is
// plausible. 0, or -1 on a network failure.
int DownloadConfigFile(TNormalClnt* client, std::uint8_t kind, const char* fileName, const char* target,
                       bool (*plausible)(const std::vector<std::uint8_t>&)) {
  if (!SendRequest(client, kind, 0)) return -1;
  DownloadTemp temp;
  bool installable = true;
  std::vector<std::uint8_t> bytes;
  std::uint32_t declaredSize = 0;
  std::uint32_t date = 0;
  const bool read = ReadReply(client, [&] {
    if (!installable) return;
    const std::uint8_t* body = client->body;
    const int length = client->bodyLength;
    // A refusal, a frame of another reply, a head without data, the head of another file, or
    // data the temporary file did not take: nothing of this reply is installed.
    const bool taken = client->header.type == kConfigReplyType && length > kConfigHeadBytes &&
                       SameName(body, fileName) && (temp.open() || (client->header.index == 0 && temp.Create())) &&
                       temp.Append(body + kConfigHeadBytes, length - kConfigHeadBytes);
    if (!taken) {
      installable = false;
      temp.Discard();
      return;
    }
    bytes.insert(bytes.end(), body + kConfigHeadBytes, body + length);
    declaredSize = static_cast<std::uint32_t>(body[32]) | static_cast<std::uint32_t>(body[33]) << 8;
    date = Get32(body + 34);
  });
  if (!read) return -1;
  FILETIME lastWrite{};
  // The head's size field holds the low 16 bits of the file's size.
  if (installable && temp.open() && (bytes.size() & 0xFFFF) == declaredSize && plausible(bytes) &&
      DateToFileTime(date, &lastWrite)) {
    temp.Discard();   // closed and gone before the target changes: what is installed is in memory
    InstallFile(target, bytes, lastWrite);
  }
  return 0;
}

bool PlausibleSysTime(const std::vector<std::uint8_t>& bytes) { return bytes.size() == kSysTimeBytes; }

}  // namespace

int TNormalClnt::DownloadMarketConfig() {
  if (DownloadConfigFile(this, kRequestMarketConfig, "MKINFO.CFG", "..\\cfg\\mkinfo.cfg", PlausibleMarketConfig) < 0) {
    return -1;
  }
  return DownloadConfigFile(this, kRequestTimeZones, "SYSTIME.DAT", "..\\cfg\\systime.dat", PlausibleSysTime);
}

int TNormalClnt::DownloadNameTable(int market) {
  TMarketData* table = GetMarketTable(market);
  if (table == nullptr || table->names == nullptr) return -1;
  if (!SendRequest(this, kRequestNameTable, market)) return -1;
  table->count = 0;

  // Whole records of type-6 frames of this market, up to the table's capacity; a reply that
  // carries none (a refusal, another reply, frames with only the market byte) is no name table.
  bool namesSeen = false;
  const bool namesRead = ReadReply(this, [&] {
    if (header.type != kNamesReplyType || bodyLength < 1 || body[0] != market) return;
    const int records = (bodyLength - 1) / static_cast<int>(sizeof(InstrumentRecord));
    if (records > 0) namesSeen = true;
    const int taken = std::min(records, table->capacity - table->count);
    if (taken <= 0) return;
    std::memcpy(table->names + table->count, body + 1, static_cast<std::size_t>(taken) * sizeof(InstrumentRecord));
    table->count += taken;
  });
  // The table is made consistent (terminators, blanks cut, positions) whatever arrived.
  table->FinishNameTable();
  if (!namesRead) return -1;
  if (!namesSeen) {
    // No name table came: the caller goes offline with the files it has.
    Close();
    return -1;
  }

  // Market number 3 keeps alternative codes: each entry goes to the first instrument (in table
  // order) of its code; entries of no instrument are dropped.
  if (market == kAltCodeMarket && table->altCodes != nullptr) {
    std::memset(table->altCodes, 0, static_cast<std::size_t>(table->capacity) * sizeof(InstrumentExtRecord));
    if (!SendRequest(this, kRequestNameTableExt, market)) return -1;
    std::unordered_map<std::string_view, int> firstOfCode;
    firstOfCode.reserve(static_cast<std::size_t>(table->count));
    for (int i = 0; i < table->count; ++i) firstOfCode.emplace(table->names[i].code, i);
    const bool altRead = ReadReply(this, [&] {
      if (header.type != kAltCodesReplyType || bodyLength < 1) return;
      const int entries = (bodyLength - 1) / kAltCodeEntryBytes;
      for (int e = 0; e < entries; ++e) {
        const std::uint8_t* entry = body + 1 + e * kAltCodeEntryBytes;
        // The code is read within its 7 bytes (it need not be terminated), blanks cut as the
        // table's codes are.
        const std::string_view code = FieldText(reinterpret_cast<const char*>(entry + 7), 7);
        const auto found = code.empty() ? firstOfCode.end() : firstOfCode.find(code);
        if (found == firstOfCode.end()) continue;
        InstrumentExtRecord& alt = table->altCodes[found->second];
        std::memcpy(alt.code, entry, sizeof alt.code);
        alt.code[sizeof alt.code - 1] = '\0';
      }
    });
    if (!altRead) return -1;
  }

  // Only a complete download reaches the files, each replaced whole.
  char folder[MAX_PATH];
  char path[MAX_PATH];
  if (table->MarketFolderPath(folder, sizeof folder) && table->MarketFilePath("nametbl", path, sizeof path)) {
    CreateDirectoryPath(folder);
    files::AtomicReplace(path, table->names, static_cast<std::size_t>(table->count) * sizeof(InstrumentRecord));
    if (table->altCodes != nullptr && market == kAltCodeMarket &&
        table->MarketFilePath("nametble", path, sizeof path)) {
      files::AtomicReplace(path, table->altCodes, static_cast<std::size_t>(table->count) * sizeof(InstrumentExtRecord));
    }
  }
  return table->count;
}

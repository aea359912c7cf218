#include "net/CacheWrite.h"

#include "core/CoreUtil.h"
#include "core/PackedTime.h"
#include "data/UtilData.h"

namespace zuvo::net::cachewrite {

HANDLE OpenForWriting(const std::string& path, Open how) {
  if (path.empty()) return INVALID_HANDLE_VALUE;
  const DWORD disposition = how == Open::kEmpty ? CREATE_ALWAYS : how == Open::kExisting ? OPEN_EXISTING : OPEN_ALWAYS;
  return CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, disposition,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

std::uint32_t FileSize(HANDLE file) {
  DWORD high = 0;
  const DWORD low = GetFileSize(file, &high);
  if (low == INVALID_FILE_SIZE && GetLastError() != 0) return 0;
  return high != 0 ? 0xFFFFFFFFu : low;
}

namespace {
bool Seek(HANDLE file, std::uint32_t offset) {
  LONG high = 0;
  SetLastError(0);
  const DWORD at = SetFilePointer(file, static_cast<LONG>(offset), &high, FILE_BEGIN);
  return !(at == INVALID_SET_FILE_POINTER && GetLastError() != 0) && at == offset && high == 0;
}
}  // namespace

bool WriteAt(HANDLE file, std::uint32_t offset, const void* data, std::uint32_t bytes) {
  if (!Seek(file, offset)) return false;
  if (bytes == 0) return true;
  DWORD written = 0;
  return WriteFile(file, data, bytes, &written, nullptr) && written == bytes;
}

bool ReadAt(HANDLE file, std::uint32_t offset, void* data, std::uint32_t bytes) {
  if (!Seek(file, offset)) return false;
  auto* at = static_cast<std::uint8_t*>(data);
  while (bytes > 0) {
    DWORD read = 0;
    if (!ReadFile(file, at, bytes, &read, nullptr) || read == 0) return false;
    at += read;
    bytes -= read;
  }
  return true;
}

bool EndAt(HANDLE file, std::uint32_t offset) { return Seek(file, offset) && SetEndOfFile(file); }

bool Stamp(HANDLE file) {
  const PackedTime now = SystemNow;
  if (!IsValidPackedTime(now)) return false;
  SYSTEMTIME time{};
  time.wYear = static_cast<WORD>(PackedYear(now));
  time.wMonth = static_cast<WORD>(PackedMonth(now));
  time.wDay = static_cast<WORD>(PackedDay(now));
  time.wHour = static_cast<WORD>(PackedHour(now));
  time.wMinute = static_cast<WORD>(PackedMinute(now));
  FILETIME lastWrite{};
  if (!SystemTimeToFileTime(&time, &lastWrite)) return false;
  return SetFileTime(file, nullptr, nullptr, &lastWrite) != FALSE;
}

bool StampPath(const std::string& path) {
  zuvo::platform::files::ScopedHandle file(OpenForWriting(path, Open::kExisting));
  return file.ok() && Stamp(file.get());
}

void Discard(HANDLE& file, const std::string& path) {
  if (file != INVALID_HANDLE_VALUE && file != nullptr) CloseHandle(file);
  file = INVALID_HANDLE_VALUE;
  if (!path.empty()) DeleteFileA(path.c_str());
}

bool MakeFolder(const std::string& folder) {
  if (!CreateDirectoryPath(folder.c_str())) return false;
  return !CreateDirectoryPathFailed();
}

}  // namespace zuvo::net::cachewrite

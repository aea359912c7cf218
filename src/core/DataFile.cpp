// The handle-based file layer over the platform's file calls.
//
// Open modes, by character position (only the first three count):
//   1: r/R read, w/W write, a/A write + append, anything else stays read
//   2: b/B binary (no effect), + read and write (keeps append after 'a')
//   3: b/B binary (no effect); a '+' here is not recognised ("rb+" opens read-only)
// What the facts mean on open:
//   read            -> read access,  missing file fails, position at start
//   write           -> write access, missing file created, position at start (never truncated)
//   read and write  -> both,         missing file created, position at start (never truncated)
//   append          -> write access, missing file created, position at end
#include "core/DataFile.h"

#include "platform/Files.h"
#include "platform/HandleTable.h"
#include "platform/Text.h"

#include <string>

using namespace zuvo::platform;

namespace {

// Bytes asked for by size x count; false when the product does not fit in 32 bits (a wrapped
// product would silently read or write fewer bytes than the caller's element count).
bool totalBytes(std::uint32_t size, std::uint32_t count, DWORD& total) {
  const std::uint64_t product = std::uint64_t{size} * count;
  if (product > 0xFFFFFFFFu) return false;
  total = static_cast<DWORD>(product);
  return true;
}

int openUpperCased(const char* upperPath, const char* mode) {
  const OpenMode facts = ParseOpenMode(mode);
  DWORD access = 0;
  if (facts.read) access |= GENERIC_READ;
  if (facts.write) access |= GENERIC_WRITE;
  HANDLE file = CreateFileA(upperPath, access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            facts.create ? OPEN_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE || file == nullptr) return -1;
  const auto value = reinterpret_cast<LONG_PTR>(file);
  if (value <= 0 || value > 0x7FFFFFFF) {  // not a small table handle: cannot be carried as int
    CloseHandle(file);
    return -1;
  }
  if (facts.append && SetFilePointer(file, 0, nullptr, FILE_END) == INVALID_SET_FILE_POINTER) {
    CloseHandle(file);
    return -1;
  }
  return static_cast<int>(value);
}

}  // namespace

OpenMode ParseOpenMode(const char* mode) {
  OpenMode facts;
  if (!mode || !mode[0]) return facts;
  switch (mode[0]) {
    case 'r': case 'R':
      break;
    case 'w': case 'W':
      facts.read = false;
      facts.write = true;
      facts.create = true;
      break;
    case 'a': case 'A':
      facts.read = false;
      facts.write = true;
      facts.append = true;
      facts.create = true;
      break;
    default:
      break;
  }
  if (mode[1] == '+') {
    facts.read = true;
    facts.write = true;
    facts.create = true;
  }
  // Position 2 'b' and position 3 'b' are binary markers with no effect; a '+' in position 3
  // is deliberately not recognised.
  return facts;
}

int OpenDataFile(char* path, const char* mode) {
  if (!path || !path[0] || !mode) return -1;
  // Every file the layer creates gets an upper-case name; the caller's buffer reads upper-case
  // afterwards. Only ASCII letters change, never a byte of a double-byte character.
  gbk::UpperInPlace(path);
  return openUpperCased(path, mode);
}

int OpenDataFile(const char* path, const char* mode) {
  if (!path || !path[0] || !mode) return -1;
  std::string upper(path);
  gbk::UpperInPlace(upper.data());
  return openUpperCased(upper.c_str(), mode);
}

void CloseDataFile(int handle) {
  if (handle > 0) CloseHandle(handles::FromInt(handle));
}

std::uint32_t SeekDataFile(int handle, std::int32_t distance, int origin) {
  if (handle <= 0 || origin < 0 || origin > 2) return 0xFFFFFFFFu;
  return SetFilePointer(handles::FromInt(handle), distance, nullptr, static_cast<DWORD>(origin));
}

std::uint32_t ReadDataFile(int handle, void* buffer, std::uint32_t size, std::uint32_t count) {
  DWORD wanted;
  if (handle <= 0 || !buffer || !totalBytes(size, count, wanted)) return 0;
  if (wanted == 0) return 0;
  DWORD read = 0;
  if (!ReadFile(handles::FromInt(handle), buffer, wanted, &read, nullptr)) return 0;
  return read;
}

std::uint32_t WriteDataFile(int handle, const void* buffer, std::uint32_t size, std::uint32_t count) {
  DWORD wanted;
  if (handle <= 0 || !buffer || !totalBytes(size, count, wanted)) return 0;
  if (wanted == 0) return 0;
  DWORD written = 0;
  if (!WriteFile(handles::FromInt(handle), buffer, wanted, &written, nullptr)) return 0;
  return written;
}

std::uint32_t GetDataFileSize(int handle) {
  if (handle <= 0) return 0;
  const DWORD size = GetFileSize(handles::FromInt(handle), nullptr);
  return size == INVALID_FILE_SIZE ? 0 : size;
}

std::uint32_t TruncateDataFile(int handle, std::uint32_t offset) {
  if (handle <= 0) return 0xFFFFFFFFu;
  // A zero high part makes the low 32 bits an unsigned offset (files up to 4 GB).
  LONG high = 0;
  const DWORD position = SetFilePointer(handles::FromInt(handle), static_cast<LONG>(offset), &high, FILE_BEGIN);
  if (position == INVALID_SET_FILE_POINTER && offset != 0xFFFFFFFFu) return 0xFFFFFFFFu;
  if (!SetEndOfFile(handles::FromInt(handle))) return 0xFFFFFFFFu;
  return position;
}

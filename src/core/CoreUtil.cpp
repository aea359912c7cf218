// Small helpers of the core library.
#include "core/CoreUtil.h"

#include "platform/Files.h"
#include "platform/Text.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string_view>

using namespace zuvo::platform;

namespace {

constexpr std::size_t kDirectoryPathLimit = 1020;   // paths this long or longer are refused
constexpr std::size_t kDirectoryWorkBuffer = 1024;
constexpr std::size_t kTempBufferSize = 512;

thread_local bool lastCreateDirectoryPathFailed = false;

bool isBlank(unsigned char c) { return (c >= 1 && c <= 32) || c == 127; }

bool isSeparator(char c) { return c == '\\' || c == '/'; }

bool isDirectory(const char* path) {
  const DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Copies at most limit bytes of text without splitting a double-byte character, so a cut
// name never ends in a lone lead byte.
int copyCut(const AnsiString& text, char* buffer, std::size_t limit) {
  const std::size_t length = gbk::CutLength(text, limit);
  std::memcpy(buffer, text.data(), length);
  buffer[length] = '\0';
  return static_cast<int>(length);
}

}  // namespace

bool CreateDirectoryPath(const char* path) {
  lastCreateDirectoryPathFailed = false;
  if (!path || !path[0]) {
    lastCreateDirectoryPathFailed = true;
    return false;
  }
  const DWORD existing = GetFileAttributesA(path);
  if (existing != INVALID_FILE_ATTRIBUTES) {
    // Any entry counts as present; a file where a directory is wanted is still a failure to
    // the caller who asks.
    lastCreateDirectoryPathFailed = !(existing & FILE_ATTRIBUTE_DIRECTORY);
    return true;
  }
  const std::size_t length = std::strlen(path);
  if (length >= kDirectoryPathLimit) {
    lastCreateDirectoryPathFailed = true;
    return false;
  }
  char work[kDirectoryWorkBuffer];
  std::memcpy(work, path, length + 1);
  // Walks the text character by character: the second byte of a double-byte character may
  // equal '\\' and is neither a separator nor the path's last character.
  bool endsWithSeparator = false;
  const std::string_view given(path, length);
  for (std::size_t i = 0; i < length; i += gbk::CharLength(given, i)) endsWithSeparator = isSeparator(given[i]);
  if (!endsWithSeparator) {
    work[length] = '\\';
    work[length + 1] = '\0';
  }
  const std::string_view text(work);
  for (std::size_t i = 0; i < text.size(); i += gbk::CharLength(text, i)) {
    char* cursor = work + i;
    if (!isSeparator(*cursor)) continue;
    if (cursor == work) continue;                              // the root itself
    if (cursor == work + 2 && work[1] == ':') continue;         // a drive "C:"
    const char separator = *cursor;
    *cursor = '\0';
    if (GetFileAttributesA(work) == INVALID_FILE_ATTRIBUTES) CreateDirectoryA(work, nullptr);
    *cursor = separator;
  }
  // A directory that could not be created does not change the result (callers rely on true);
  // it is kept for CreateDirectoryPathFailed() so the caller who needs to know can ask.
  lastCreateDirectoryPathFailed = !isDirectory(path);
  return true;
}

bool CreateDirectoryPathFailed() { return lastCreateDirectoryPathFailed; }

int CopyAnsiString(const AnsiString& text, char* buffer, int size) {
  if (size <= 0 || !buffer) return 0;
  return copyCut(text, buffer, static_cast<std::size_t>(size) - 1);
}

char* AnsiStringToTemp(const AnsiString& text) {
  // One buffer per thread: the result stays valid until this thread's next call, and the login
  // worker cannot overwrite what the interface thread is reading.
  thread_local char buffer[kTempBufferSize];
  copyCut(text, buffer, kTempBufferSize - 1);
  return buffer;
}

void TrimLeadingSpaces(char* text) {
  if (!text) return;
  std::size_t skip = 0;
  while (text[skip] && isBlank(static_cast<unsigned char>(text[skip]))) ++skip;
  if (skip) std::memmove(text, text + skip, std::strlen(text + skip) + 1);
}

void TrimTrailingSpaces(char* text) {
  if (!text) return;
  std::size_t length = std::strlen(text);
  while (length > 0 && isBlank(static_cast<unsigned char>(text[length - 1]))) --length;
  text[length] = '\0';
}

void TrimSpaces(char* text) {
  TrimTrailingSpaces(text);
  TrimLeadingSpaces(text);
}

double ScaleAveragePrice(float volume, float amount, float lastPrice) {
  // Written as negations so that a NaN in any input also gives the last price.
  if (!(volume >= 0.1f) || !(amount >= 0.1f) || !(lastPrice >= 0.0001f) || !(static_cast<double>(amount) <= 1e15))
    return lastPrice;
  double step = static_cast<double>(amount) / volume;
  const double last = lastPrice;
  double ratio = step / last;
  // Each pass moves the ratio by a factor of ten towards [0.5, 5]; the bound only guards
  // against an infinite last price.
  for (int pass = 0; pass < 64 && (ratio < 0.5 || ratio > 5); ++pass) {
    step *= ratio < 0.5 ? 10 : 0.1;
    ratio = step / last;
  }
  return step;
}

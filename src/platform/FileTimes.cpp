// File times: the last-write time the file system keeps, read and set through a handle, and the
// conversions between FILETIME (100-ns ticks since 1601, UTC) and SYSTEMTIME.
#include "platform/internal/FileSupport.h"

#include "platform/Kernel.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdint>

using namespace zuvo::platform;

namespace {

constexpr std::int64_t kTicksPerSecond = 10'000'000;
// 100-ns ticks from 1601-01-01 to 1970-01-01.
constexpr std::int64_t kUnixEpochTicks = 116'444'736'000'000'000LL;
constexpr std::int64_t kDaysFrom1601To1970 = 134'774;

std::uint64_t TicksOf(const FILETIME& time) {
  return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

FILETIME FileTimeOf(std::uint64_t ticks) {
  return FILETIME{static_cast<DWORD>(ticks & 0xFFFFFFFFu), static_cast<DWORD>(ticks >> 32)};
}

timespec TimespecFromFileTime(const FILETIME& time) {
  std::int64_t unixTicks = static_cast<std::int64_t>(TicksOf(time)) - kUnixEpochTicks;
  std::int64_t seconds = unixTicks / kTicksPerSecond;
  std::int64_t remainder = unixTicks % kTicksPerSecond;
  if (remainder < 0) {
    remainder += kTicksPerSecond;
    --seconds;
  }
  return timespec{static_cast<time_t>(seconds), static_cast<long>(remainder * 100)};
}

// Days since 1970-01-01 of a civil date, and back (proleptic Gregorian calendar).
std::int64_t DaysFromCivil(std::int64_t year, unsigned month, unsigned day) {
  year -= month <= 2;
  std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
  unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + static_cast<std::int64_t>(dayOfEra) - 719468;
}

unsigned DaysInMonth(unsigned year, unsigned month) {
  static constexpr unsigned kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

}  // namespace

namespace zuvo::platform::files {

FILETIME FileTimeFromTimespec(const timespec& time) {
  std::int64_t ticks = static_cast<std::int64_t>(time.tv_sec) * kTicksPerSecond + time.tv_nsec / 100 + kUnixEpochTicks;
  return FileTimeOf(ticks < 0 ? 0 : static_cast<std::uint64_t>(ticks));
}

}  // namespace zuvo::platform::files

using files::ErrorFromErrno;
using files::FileTimeFromTimespec;
using files::LookupFile;

BOOL GetFileTime(HANDLE file, FILETIME* creation, FILETIME* access, FILETIME* lastWrite) {
  auto object = LookupFile(file);
  if (!object) return FALSE;
  struct stat info;
  if (fstat(object->fd, &info) != 0) {
    SetLastError(ErrorFromErrno(errno));
    return FALSE;
  }
  FILETIME written = FileTimeFromTimespec(info.st_mtim);
  if (creation) *creation = written;
  if (access) *access = written;
  if (lastWrite) *lastWrite = written;
  return TRUE;
}

BOOL SetFileTime(HANDLE file, const FILETIME* creation, const FILETIME* access, const FILETIME* lastWrite) {
  auto object = LookupFile(file);
  if (!object) return FALSE;
  if (!object->canWrite) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (!lastWrite) return TRUE;
  timespec times[2] = {{0, UTIME_OMIT}, TimespecFromFileTime(*lastWrite)};
  if (futimens(object->fd, times) != 0) {
    SetLastError(ErrorFromErrno(errno));
    return FALSE;
  }
  return TRUE;
}

BOOL FileTimeToSystemTime(const FILETIME* fileTime, SYSTEMTIME* systemTime) {
  if (!fileTime || !systemTime || (fileTime->dwHighDateTime & 0x80000000u)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  // SYSTEMTIME holds milliseconds: the 100-ns ticks below them are dropped.
  constexpr std::uint64_t kTicksPerMillisecond = kTicksPerSecond / 1000;
  kernel::SystemTimeFromUnixMilliseconds(
      static_cast<std::int64_t>(TicksOf(*fileTime) / kTicksPerMillisecond) - kUnixEpochTicks / kTicksPerMillisecond,
      systemTime);
  return TRUE;
}

BOOL SystemTimeToFileTime(const SYSTEMTIME* systemTime, FILETIME* fileTime) {
  if (!systemTime || !fileTime) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const SYSTEMTIME& t = *systemTime;
  if (t.wYear < 1601 || t.wYear > 30827 || t.wMonth < 1 || t.wMonth > 12 || t.wDay < 1 ||
      t.wDay > DaysInMonth(t.wYear, t.wMonth) || t.wHour > 23 || t.wMinute > 59 || t.wSecond > 59 ||
      t.wMilliseconds > 999) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::int64_t days = DaysFromCivil(t.wYear, t.wMonth, t.wDay) + kDaysFrom1601To1970;
  std::uint64_t ticks = static_cast<std::uint64_t>(days) * 86'400ULL * kTicksPerSecond +
                        (t.wHour * 3600ULL + t.wMinute * 60ULL + t.wSecond) * kTicksPerSecond +
                        t.wMilliseconds * 10'000ULL;
  *fileTime = FileTimeOf(ticks);
  return TRUE;
}

#include "platform/Kernel.h"

#include "platform/DrivenClock.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "support/TempInstall.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

using namespace zuvo::platform;

namespace {

namespace fs = std::filesystem;
using testsupport::TempInstall;

// ---- Memory -------------------------------------------------------------------------------

TEST(HeapTest, BlocksAreZeroedAndReportTheExactSizeAskedFor) {
  for (std::size_t bytes : {std::size_t{0}, std::size_t{1}, std::size_t{13}, std::size_t{4097}}) {
    SCOPED_TRACE(bytes);
    auto* block = static_cast<unsigned char*>(HeapAllocZero(bytes));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(HeapBlockSize(block), bytes);
    for (std::size_t i = 0; i < bytes; ++i) ASSERT_EQ(block[i], 0);
    HeapFreeBlock(block);
  }
  HeapFreeBlock(nullptr);
}

TEST(VirtualMemoryTest, ReserveCommitDecommitAndRelease) {
  SYSTEM_INFO info{};
  GetSystemInfo(&info);
  ASSERT_GT(info.dwPageSize, 0u);
  EXPECT_EQ(info.dwPageSize & (info.dwPageSize - 1), 0u);
  EXPECT_GE(info.dwNumberOfProcessors, 1u);
  const std::size_t page = info.dwPageSize;

  auto* base = static_cast<unsigned char*>(VirtualAlloc(nullptr, 8 * page, MEM_RESERVE, PAGE_NOACCESS));
  ASSERT_NE(base, nullptr);
  // Commit two pages in the middle; they read as zero and keep what is written.
  auto* middle = static_cast<unsigned char*>(VirtualAlloc(base + 2 * page, 2 * page, MEM_COMMIT, PAGE_READWRITE));
  ASSERT_EQ(middle, base + 2 * page);
  EXPECT_EQ(middle[0], 0);
  std::memset(middle, 0x5A, 2 * page);
  // Committing again keeps the contents.
  ASSERT_EQ(VirtualAlloc(middle, page, MEM_COMMIT, PAGE_READWRITE), middle);
  EXPECT_EQ(middle[page - 1], 0x5A);
  // Decommitted pages come back zeroed.
  EXPECT_TRUE(VirtualFree(middle, page, MEM_DECOMMIT));
  ASSERT_EQ(VirtualAlloc(middle, page, MEM_COMMIT, PAGE_READWRITE), middle);
  EXPECT_EQ(middle[0], 0);
  EXPECT_EQ(middle[page], 0x5A);  // the second page was not decommitted

  // Outside any reservation, a release with a size, or of an inner address: refused.
  EXPECT_EQ(VirtualAlloc(base + 8 * page, page, MEM_COMMIT, PAGE_READWRITE), nullptr);
  EXPECT_FALSE(VirtualFree(base, page, MEM_RELEASE));
  EXPECT_FALSE(VirtualFree(middle, 0, MEM_RELEASE));
  EXPECT_TRUE(VirtualFree(base, 0, MEM_RELEASE));
  EXPECT_FALSE(VirtualFree(base, 0, MEM_RELEASE));  // already gone

  auto* both = static_cast<unsigned char*>(VirtualAlloc(nullptr, 100, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
  ASSERT_NE(both, nullptr);
  both[page - 1] = 1;  // the size is rounded up to whole pages
  EXPECT_TRUE(VirtualFree(both, 0, MEM_RELEASE));
}

// ---- Helpers of the time and thread tests ------------------------------------------------

std::string Format(const SYSTEMTIME& t) {
  char text[64];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u (day %u) %02u:%02u:%02u.%03u", t.wYear, t.wMonth, t.wDay,
                t.wDayOfWeek, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds);
  return text;
}

// Whole seconds since the Unix epoch of calendar fields read as UTC.
std::time_t SecondsOf(const SYSTEMTIME& t) {
  struct tm fields {};
  fields.tm_year = t.wYear - 1900;
  fields.tm_mon = t.wMonth - 1;
  fields.tm_mday = t.wDay;
  fields.tm_hour = t.wHour;
  fields.tm_min = t.wMinute;
  fields.tm_sec = t.wSecond;
  return timegm(&fields);
}

struct ThreadProbe {
  HANDLE go = nullptr;         // waited for before the procedure finishes, when set
  HANDLE finished = nullptr;   // set as the procedure finishes, when set
  std::atomic<DWORD> seenId{0};
  std::atomic<bool> ran{false};
  std::atomic<bool> resumedBefore{false};
  std::atomic<bool> sawResume{false};
};

unsigned probeThread(void* argument) {
  auto* probe = static_cast<ThreadProbe*>(argument);
  probe->sawResume = probe->resumedBefore.load();
  probe->seenId = GetCurrentThreadId();
  if (probe->go) WaitForSingleObject(probe->go, INFINITE);
  probe->ran = true;
  if (probe->finished) SetEvent(probe->finished);
  return 42;
}

// ---- Time ---------------------------------------------------------------------------------

TEST(ClockTest, SystemAndLocalTimeFollowTheDrivenClock) {
  struct Case {
    std::int64_t utcMs;
    int offsetMinutes;
    SYSTEMTIME utc;
    SYSTEMTIME local;
  };
  const Case cases[] = {
      {0, 0, {1970, 1, 4, 1, 0, 0, 0, 0}, {1970, 1, 4, 1, 0, 0, 0, 0}},
      // A leap day late in the evening UTC is already the first of March in Beijing.
      {1709251199999, 480, {2024, 2, 4, 29, 23, 59, 59, 999}, {2024, 3, 5, 1, 7, 59, 59, 999}},
      {951868800000, 480, {2000, 3, 3, 1, 0, 0, 0, 0}, {2000, 3, 3, 1, 8, 0, 0, 0}},
      {-1, 0, {1969, 12, 3, 31, 23, 59, 59, 999}, {1969, 12, 3, 31, 23, 59, 59, 999}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.utcMs);
    zuvo::platform::ScopedDrivenClock clock(c.utcMs, c.offsetMinutes);
    SYSTEMTIME utc{}, local{};
    GetSystemTime(&utc);
    GetLocalTime(&local);
    EXPECT_EQ(std::memcmp(&utc, &c.utc, sizeof utc), 0) << Format(utc);
    EXPECT_EQ(std::memcmp(&local, &c.local, sizeof local), 0) << Format(local);
    EXPECT_EQ(kernel::NowUtcMilliseconds(), c.utcMs);
  }
}

TEST(ClockTest, TicksAndWallClockMoveTogetherAndTheTicksWrap) {
  // 2024-02-29 23:59:59.990 UTC, ticks 16 short of wrapping.
  zuvo::platform::ScopedDrivenClock clock(1709251199990, 480, 0xFFFFFFF0u);
  const DWORD start = GetTickCount();
  EXPECT_EQ(start, 0xFFFFFFF0u);
  clock.Advance(0x20);
  EXPECT_EQ(GetTickCount(), 0x10u);
  EXPECT_EQ(GetTickCount() - start, 0x20u);   // elapsed time survives the wrap
  SYSTEMTIME utc{}, local{};
  GetSystemTime(&utc);
  GetLocalTime(&local);
  const SYSTEMTIME expectedUtc{2024, 3, 5, 1, 0, 0, 0, 22};
  const SYSTEMTIME expectedLocal{2024, 3, 5, 1, 8, 0, 0, 22};
  EXPECT_EQ(std::memcmp(&utc, &expectedUtc, sizeof utc), 0) << Format(utc);
  EXPECT_EQ(std::memcmp(&local, &expectedLocal, sizeof local), 0) << Format(local);

  // Sleep on the clock's own thread is the time passing, to the millisecond.
  Sleep(1000);
  EXPECT_EQ(GetTickCount() - start, 0x20u + 1000);
  EXPECT_EQ(kernel::NowUtcMilliseconds(), 1709251199990 + 0x20 + 1000);
  Sleep(0);
  EXPECT_EQ(GetTickCount() - start, 0x20u + 1000);
}

TEST(ClockTest, NestedDrivenClocksRestoreTheOuterOne) {
  zuvo::platform::ScopedDrivenClock outer(1000, 0, 500);
  outer.Advance(10);
  {
    zuvo::platform::ScopedDrivenClock inner(5000000, 0, 7);
    EXPECT_EQ(GetTickCount(), 7u);
    EXPECT_EQ(kernel::NowUtcMilliseconds(), 5000000);
  }
  EXPECT_EQ(GetTickCount(), 510u);
  EXPECT_EQ(kernel::NowUtcMilliseconds(), 1010);
}

TEST(ClockTest, RealClockReadsUtcAndTheLocalZoneOfTheMachine) {
  // A zone eight hours east of UTC without daylight saving, whatever the machine's own.
  const char* savedZone = std::getenv("TZ");
  const std::string saved = savedZone != nullptr ? savedZone : "";
  setenv("TZ", "CST-8", 1);
  tzset();
  SYSTEMTIME utc{}, local{}, utcAgain{};
  struct timespec before {}, after {};
  // Read again when a millisecond boundary fell between the readings (the local time is
  // compared to the millisecond).
  do {
    clock_gettime(CLOCK_REALTIME, &before);
    GetSystemTime(&utc);
    GetLocalTime(&local);
    GetSystemTime(&utcAgain);
    clock_gettime(CLOCK_REALTIME, &after);
  } while (utc.wSecond != utcAgain.wSecond || utc.wMilliseconds != utcAgain.wMilliseconds);
  if (savedZone != nullptr)
    setenv("TZ", saved.c_str(), 1);
  else
    unsetenv("TZ");
  tzset();
  const std::time_t utcSeconds = SecondsOf(utc);
  EXPECT_LE(before.tv_sec, utcSeconds);
  EXPECT_GE(after.tv_sec, utcSeconds);
  EXPECT_EQ(SecondsOf(local) - utcSeconds, 8 * 3600);
  EXPECT_EQ(local.wMilliseconds, utc.wMilliseconds);
}

TEST(ClockTest, SleepsAndTimedWaitsOfOtherThreadsEndWhenTheClockIsDrivenPastThem) {
  zuvo::platform::ScopedDrivenClock clock;
  // An hour: a wait that ran on the real clock would hold the test until it is killed.
  constexpr DWORD kHour = 3600000;
  HANDLE never = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  ThreadProbe stuck;
  stuck.go = never;
  HANDLE stuckThread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, probeThread, &stuck, 0, nullptr));
  ASSERT_NE(stuckThread, nullptr);
  HANDLE signalled = CreateEventA(nullptr, FALSE, FALSE, nullptr);

  struct Case {
    const char* name;
    std::function<DWORD()> wait;
    std::function<void()> release;   // ends the wait early; null when only time ends it
    DWORD expected;
  };
  const Case cases[] = {
      {"Sleep", [] { Sleep(kHour); return DWORD{WAIT_TIMEOUT}; }, nullptr, WAIT_TIMEOUT},
      {"event", [&] { return WaitForSingleObject(never, kHour); }, nullptr, WAIT_TIMEOUT},
      {"thread", [&] { return WaitForSingleObject(stuckThread, kHour); }, nullptr, WAIT_TIMEOUT},
      {"event set", [&] { return WaitForSingleObject(signalled, kHour); }, [&] { SetEvent(signalled); },
       WAIT_OBJECT_0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const DWORD start = GetTickCount();
    std::atomic<bool> returned{false};
    DWORD result = 0;
    DWORD returnedAt = 0;
    std::thread waiter([&] {
      result = c.wait();
      returnedAt = GetTickCount();
      returned = true;
    });
    clock.AwaitWaitingThreads(1);
    if (c.release) {
      c.release();
      waiter.join();
      EXPECT_EQ(result, c.expected);
      EXPECT_EQ(returnedAt, start);   // no time had to pass
      continue;
    }
    clock.FastForward(kHour - 1);
    EXPECT_FALSE(returned);
    clock.FastForward(1);
    waiter.join();
    EXPECT_EQ(result, c.expected);
    EXPECT_EQ(returnedAt - start, kHour);
  }
  SetEvent(never);
  EXPECT_EQ(WaitForSingleObject(stuckThread, INFINITE), WAIT_OBJECT_0);
  CloseHandle(stuckThread);
  CloseHandle(never);
  CloseHandle(signalled);
}

TEST(ClockTest, AWaitThatOutlivesTheDrivenClockGoesOnWithTheTimeItHadLeft) {
  HANDLE never = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  DWORD result = 0;
  std::thread waiter;
  {
    zuvo::platform::ScopedDrivenClock clock;
    waiter = std::thread([&] { result = WaitForSingleObject(never, 3600000); });
    clock.AwaitWaitingThreads(1);
    clock.Advance(3600000 - 1);
  }
  // One real millisecond was left: the join returns at once rather than after an hour.
  waiter.join();
  EXPECT_EQ(result, WAIT_TIMEOUT);
  CloseHandle(never);
}

// ---- Threads ------------------------------------------------------------------------------

TEST(ThreadTest, RunsWaitsAndReportsTheExitCode) {
  ThreadProbe probe;
  probe.go = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  ASSERT_NE(probe.go, nullptr);
  unsigned id = 0;
  HANDLE thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, probeThread, &probe, 0, &id));
  ASSERT_NE(thread, nullptr);
  EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_TIMEOUT);
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeThread(thread, &code));
  EXPECT_EQ(code, STILL_ACTIVE);
  SetEvent(probe.go);
  EXPECT_EQ(WaitForSingleObject(thread, INFINITE), WAIT_OBJECT_0);
  EXPECT_TRUE(GetExitCodeThread(thread, &code));
  EXPECT_EQ(code, 42u);
  EXPECT_EQ(probe.seenId.load(), id);
  EXPECT_NE(id, GetCurrentThreadId());
  EXPECT_NE(id, 0u);
  EXPECT_TRUE(CloseHandle(thread));
  EXPECT_TRUE(CloseHandle(probe.go));
  EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_FAILED);
}

TEST(ThreadTest, ClosingTheHandleLetsTheThreadRunOnAndSuspendedThreadsWaitForResume) {
  ThreadProbe probe;
  probe.go = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  probe.finished = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, probeThread, &probe, 0, nullptr));
  ASSERT_NE(thread, nullptr);
  EXPECT_TRUE(CloseHandle(thread));
  SetEvent(probe.go);
  EXPECT_EQ(WaitForSingleObject(probe.finished, INFINITE), WAIT_OBJECT_0);
  EXPECT_TRUE(probe.ran);

  ThreadProbe suspended;
  HANDLE later = reinterpret_cast<HANDLE>(
      _beginthreadex(nullptr, 0, probeThread, &suspended, CREATE_SUSPENDED, nullptr));
  ASSERT_NE(later, nullptr);
  EXPECT_EQ(WaitForSingleObject(later, 0), WAIT_TIMEOUT);
  EXPECT_FALSE(suspended.ran);
  suspended.resumedBefore = true;   // the procedure must see this: it ran only after ResumeThread
  EXPECT_EQ(ResumeThread(later), 1u);
  EXPECT_EQ(ResumeThread(later), 0u);
  EXPECT_EQ(WaitForSingleObject(later, INFINITE), WAIT_OBJECT_0);
  EXPECT_TRUE(suspended.ran);
  EXPECT_TRUE(suspended.sawResume);
  CloseHandle(later);
  CloseHandle(probe.go);
  CloseHandle(probe.finished);
}

TEST(EventTest, AutomaticEventsLetOneWaiterThroughAndManualOnesStaySignalled) {
  HANDLE automatic = CreateEventA(nullptr, FALSE, TRUE, nullptr);
  HANDLE manual = CreateEventA(nullptr, TRUE, TRUE, nullptr);
  ASSERT_NE(automatic, nullptr);
  ASSERT_NE(manual, nullptr);
  EXPECT_EQ(WaitForSingleObject(automatic, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(automatic, 0), WAIT_TIMEOUT);  // the wait reset it
  EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_OBJECT_0);
  EXPECT_TRUE(ResetEvent(manual));
  EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_TIMEOUT);

  EXPECT_FALSE(SetEvent(reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(0x7FFFFFF0))));
  EXPECT_EQ(WaitForSingleObject(nullptr, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  CloseHandle(automatic);
  CloseHandle(manual);
}

TEST(EventTest, OneSetEventReleasesOneWaitingThreadOfAnAutomaticEventAndAllOfAManualOne) {
  struct Case {
    BOOL manualReset;
    int released;
  };
  for (const Case c : {Case{FALSE, 1}, Case{TRUE, 3}}) {
    SCOPED_TRACE(c.manualReset);
    zuvo::platform::ScopedDrivenClock clock;
    HANDLE event = CreateEventA(nullptr, c.manualReset, FALSE, nullptr);
    std::atomic<int> released{0};
    std::atomic<int> timedOut{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 3; ++i)
      waiters.emplace_back([&] { ++(WaitForSingleObject(event, 1000) == WAIT_OBJECT_0 ? released : timedOut); });
    // Every waiter is blocked in its wait before the event is set, so none can find it set on
    // the way in; those it does not release time out when the clock passes their timeout.
    clock.AwaitWaitingThreads(3);
    EXPECT_TRUE(SetEvent(event));
    clock.FastForward(1000);
    for (auto& waiter : waiters) waiter.join();
    EXPECT_EQ(released, c.released);
    EXPECT_EQ(timedOut, 3 - c.released);
    CloseHandle(event);
  }
}

TEST(CriticalSectionTest, IsRecursiveAndExcludesOtherThreads) {
  CRITICAL_SECTION section;
  InitializeCriticalSection(&section);
  EnterCriticalSection(&section);
  EnterCriticalSection(&section);
  auto tryFromOtherThread = [&section] {
    BOOL entered = FALSE;
    std::thread([&] {
      entered = TryEnterCriticalSection(&section);
      if (entered) LeaveCriticalSection(&section);
    }).join();
    return entered;
  };
  EXPECT_FALSE(tryFromOtherThread());
  LeaveCriticalSection(&section);
  EXPECT_FALSE(tryFromOtherThread());  // still held once
  LeaveCriticalSection(&section);
  EXPECT_TRUE(tryFromOtherThread());
  DeleteCriticalSection(&section);

  // A zeroed section never initialised still works.
  CRITICAL_SECTION zeroed{};
  EnterCriticalSection(&zeroed);
  LeaveCriticalSection(&zeroed);
  DeleteCriticalSection(&zeroed);
}

TEST(InterlockedTest, CountsExactlyAcrossThreads) {
  volatile LONG counter = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 10000; ++i) InterlockedIncrement(&counter);
      for (int i = 0; i < 5000; ++i) InterlockedDecrement(&counter);
    });
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(counter, 20000);
  EXPECT_EQ(InterlockedExchange(&counter, 7), 20000);
  EXPECT_EQ(InterlockedCompareExchange(&counter, 9, 8), 7);  // no match: unchanged
  EXPECT_EQ(counter, 7);
  EXPECT_EQ(InterlockedCompareExchange(&counter, 9, 7), 7);
  EXPECT_EQ(counter, 9);
}

// ---- Process ------------------------------------------------------------------------------

TEST(ProcessTest, ModuleFileNameIsTheExecutableInWindowsForm) {
  char buffer[4096];
  const DWORD length = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
  ASSERT_GT(length, 0u);
  EXPECT_EQ(length, std::strlen(buffer));
  EXPECT_EQ(buffer[0], '\\');
  EXPECT_EQ(std::string(buffer).find('/'), std::string::npos);
  EXPECT_EQ(fs::path(paths::Resolve(buffer)), fs::canonical("/proc/self/exe"));
  EXPECT_EQ(GetModuleFileNameA(GetModuleHandleA(nullptr), buffer, sizeof buffer), length);

  // Too small: cut, terminated, and the size comes back so the caller knows.
  char small[8];
  EXPECT_EQ(GetModuleFileNameA(nullptr, small, sizeof small), sizeof small);
  EXPECT_EQ(std::strlen(small), sizeof small - 1);
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
}

TEST(ProcessTest, CurrentDirectoryRoundTripsInWindowsForm) {
  TempInstall install;
  ASSERT_TRUE(SetCurrentDirectoryA("..\\CFG"));
  EXPECT_EQ(fs::current_path(), fs::canonical(install.cfg()));
  char buffer[1024];
  const DWORD length = GetCurrentDirectoryA(sizeof buffer, buffer);
  EXPECT_EQ(length, std::strlen(buffer));
  EXPECT_EQ(std::string(buffer), paths::ToWindows(fs::current_path().string()));
  EXPECT_NE(buffer[length - 1], '\\');
  // Too small: the size needed, zero included, and the buffer left alone.
  char small[4] = {'#', '#', '#', '#'};
  EXPECT_EQ(GetCurrentDirectoryA(sizeof small, small), length + 1);
  EXPECT_EQ(small[0], '#');
  EXPECT_FALSE(SetCurrentDirectoryA("..\\nowhere"));
}

TEST(ProcessTest, FullPathNamesFoldDotsWithoutTouchingTheDisk) {
  TempInstall install;
  char cwd[1024];
  GetCurrentDirectoryA(sizeof cwd, cwd);
  const std::string here = cwd;
  const std::string parent = here.substr(0, here.rfind('\\'));
  struct Case {
    std::string path;
    std::string expected;
    const char* filePart;  // null when none
  };
  const Case cases[] = {
      {"a\\.\\b\\..\\c.ini", here + "\\a\\c.ini", "c.ini"},
      {"..\\cfg\\setting.ini", parent + "\\cfg\\setting.ini", "setting.ini"},
      {"C:\\x\\..\\y", "C:\\y", "y"},
      {"c:/x//y/", "C:\\x\\y\\", nullptr},
      {"\\opt\\..\\..\\z", "\\z", "z"},
      {"sub\\", here + "\\sub\\", nullptr},
      // The second byte of 乗 is a backslash that belongs to the character, not a separator.
      {"乗\\k", here + "\\乗\\k", "k"},
      {"k\\乗", here + "\\k\\乗", "乗"},
      // A lead byte without a trail byte is a byte of its own: the '/' after it separates,
      // as the path resolver reads it.
      {"\x81/k", here + "\\\x81\\k", "k"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    char buffer[1024];
    char* filePart = buffer;
    const DWORD length = GetFullPathNameA(c.path.c_str(), sizeof buffer, buffer, &filePart);
    EXPECT_EQ(std::string(buffer), c.expected);
    EXPECT_EQ(length, c.expected.size());
    if (c.filePart)
      EXPECT_STREQ(filePart, c.filePart);
    else
      EXPECT_EQ(filePart, nullptr);
  }
  char small[4];
  EXPECT_EQ(GetFullPathNameA("C:\\abc", sizeof small, small, nullptr), 7u);
  EXPECT_EQ(GetFullPathNameA("", sizeof small, small, nullptr), 0u);
}

TEST(ProcessTest, DiskSpaceTempPathAndDataFolder) {
  TempInstall install;
  ULONGLONG free = 0, total = 0, totalFree = 0;
  ASSERT_TRUE(GetDiskFreeSpaceExA("..\\user", &free, &total, &totalFree));
  EXPECT_GT(total, 0u);
  EXPECT_LE(free, totalFree);
  EXPECT_LE(totalFree, total);
  ULONGLONG laterFree = 0;
  EXPECT_TRUE(GetDiskFreeSpaceExA("..\\user\\not\\yet", &laterFree, nullptr, nullptr));
  EXPECT_TRUE(GetDiskFreeSpaceExA(nullptr, &laterFree, nullptr, nullptr));

  char temp[MAX_PATH];
  const DWORD length = GetTempPathA(sizeof temp, temp);
  ASSERT_GT(length, 0u);
  EXPECT_EQ(temp[length - 1], '\\');
  EXPECT_TRUE(fs::is_directory(paths::Resolve(temp)));

  const fs::path dataHome = install.root() / "xdg" / "share";
  kernel::ScopedSpecialFolder dataFolder(dataHome.string());
  char folder[MAX_PATH];
  EXPECT_TRUE(SHGetSpecialFolderPathA(nullptr, folder, CSIDL_APPDATA, FALSE));
  EXPECT_EQ(std::string(folder), paths::ToWindows(dataHome.string()));
  EXPECT_TRUE(fs::is_directory(dataHome));
  EXPECT_FALSE(SHGetSpecialFolderPathA(nullptr, folder, 0x7777, TRUE));
}

}  // namespace

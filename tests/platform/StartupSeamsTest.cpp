// The calls a program entry makes before any window, and the doubles tests put in their place:
// the older free-space query, the program path, and kernel32's exports replaced or hidden.
#include "platform/Kernel.h"
#include "platform/Library.h"
#include "platform/Paths.h"
#include "support/TempInstall.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

using namespace zuvo::platform;

namespace {

TEST(StartupSeams, OlderFreeSpaceQueryCountsClustersOfTheSameDisk) {
  testsupport::TempInstall install;
  DWORD sectors = 0, bytes = 0, freeClusters = 0, totalClusters = 0;
  ASSERT_TRUE(GetDiskFreeSpaceA("..\\user", &sectors, &bytes, &freeClusters, &totalClusters));
  EXPECT_EQ(sectors * bytes, 4096u);
  EXPECT_LE(freeClusters, totalClusters);
  EXPECT_GT(totalClusters, 0u);

  // Through the double: the folder comes as a full Windows path, huge disks stop at 32 bits of
  // clusters, a failed answer fails both queries.
  std::vector<std::string> asked;
  std::optional<ULONGLONG> answer = 15ull * 1024 * 1024 + 100;
  {
    kernel::ScopedDiskFreeSpace space([&](const std::string& dir) {
      asked.push_back(dir);
      return answer;
    });
    ASSERT_TRUE(GetDiskFreeSpaceA("..\\user", &sectors, &bytes, &freeClusters, &totalClusters));
    EXPECT_EQ(ULONGLONG{freeClusters} * sectors * bytes, 15ull * 1024 * 1024);
    ULONGLONG free = 0;
    ASSERT_TRUE(GetDiskFreeSpaceExA(nullptr, &free, nullptr, nullptr));
    EXPECT_EQ(free, *answer);
    answer = 1ull << 50;
    ASSERT_TRUE(GetDiskFreeSpaceA(nullptr, &sectors, &bytes, &freeClusters, &totalClusters));
    EXPECT_EQ(freeClusters, 0xFFFFFFFFu);
    answer.reset();
    EXPECT_FALSE(GetDiskFreeSpaceA(nullptr, &sectors, &bytes, &freeClusters, &totalClusters));
    EXPECT_FALSE(GetDiskFreeSpaceExA(nullptr, &free, nullptr, nullptr));
  }
  const std::string user = paths::ToWindows(install.user().string());
  ASSERT_GE(asked.size(), 2u);
  EXPECT_EQ(asked[0], user);
  EXPECT_EQ(asked[1], paths::ToWindows(install.bin().string()));
}

TEST(StartupSeams, FakedProgramPathKeepsTheBufferRules) {
  char real[1024] = {};
  const DWORD realLength = GetModuleFileNameA(nullptr, real, sizeof real);
  ASSERT_GT(realLength, 0u);
  {
    kernel::ScopedModuleFileName faked("D:\\zuvo\\bin\\zuvo.exe");
    char buffer[64] = {};
    EXPECT_EQ(GetModuleFileNameA(nullptr, buffer, sizeof buffer), 20u);
    EXPECT_STREQ(buffer, "D:\\zuvo\\bin\\zuvo.exe");
    char small[8] = {};
    EXPECT_EQ(GetModuleFileNameA(nullptr, small, sizeof small), 8u);   // cut: the size comes back
    EXPECT_STREQ(small, "D:\\zuvo");
    {
      kernel::ScopedModuleFileName unreadable("");
      EXPECT_EQ(GetModuleFileNameA(nullptr, buffer, sizeof buffer), 0u);
      EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    }
    EXPECT_EQ(GetModuleFileNameA(nullptr, buffer, sizeof buffer), 20u);
  }
  char again[1024] = {};
  EXPECT_EQ(GetModuleFileNameA(nullptr, again, sizeof again), realLength);
  EXPECT_STREQ(again, real);
}

BOOL FakeFreeSpace(LPCSTR, ULONGLONG* free, ULONGLONG*, ULONGLONG*) {
  *free = 7;
  return TRUE;
}

TEST(StartupSeams, BuiltinExportReplacedHiddenAndRestored) {
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  ASSERT_NE(kernel, nullptr);
  const FARPROC real = GetProcAddress(kernel, "GetDiskFreeSpaceExA");
  ASSERT_EQ(real, reinterpret_cast<FARPROC>(&GetDiskFreeSpaceExA));
  {
    library::ScopedBuiltinExport replaced("KERNEL32", "GetDiskFreeSpaceExA", reinterpret_cast<FARPROC>(&FakeFreeSpace));
    EXPECT_EQ(GetProcAddress(kernel, "GetDiskFreeSpaceExA"), reinterpret_cast<FARPROC>(&FakeFreeSpace));
    {
      library::ScopedBuiltinExport hidden("kernel32.dll", "GetDiskFreeSpaceExA", nullptr);
      SetLastError(0);
      EXPECT_EQ(GetProcAddress(kernel, "GetDiskFreeSpaceExA"), nullptr);
      EXPECT_EQ(GetLastError(), ERROR_PROC_NOT_FOUND);
    }
    EXPECT_EQ(GetProcAddress(kernel, "GetDiskFreeSpaceExA"), reinterpret_cast<FARPROC>(&FakeFreeSpace));
    // A name the module never exported can be given too.
    library::ScopedBuiltinExport added("kernel32.dll", "GetDiskFreeSpaceA", reinterpret_cast<FARPROC>(&GetDiskFreeSpaceA));
    EXPECT_EQ(GetProcAddress(kernel, "GetDiskFreeSpaceA"), reinterpret_cast<FARPROC>(&GetDiskFreeSpaceA));
  }
  EXPECT_EQ(GetProcAddress(kernel, "GetDiskFreeSpaceExA"), real);
  EXPECT_EQ(GetProcAddress(kernel, "GetDiskFreeSpaceA"), nullptr);
}

}  // namespace

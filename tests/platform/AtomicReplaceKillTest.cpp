// Writers killed in the middle of files::AtomicReplace: the target keeps its old or its new
// whole content, the temporary file a killed writer leaves goes at the next replace of the
// target, and the temporary file of a writer still at work is never taken for one of those.
#include "platform/Files.h"

#include "platform/FileFaults.h"

#include "support/TempInstall.h"

#include "support/KillTestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

using namespace zuvo::platform;

using killtest::ChildGuard;
using killtest::ReadWhole;

namespace {

namespace fs = std::filesystem;
using testsupport::ReadBytes;
using testsupport::TempInstall;
using testsupport::WriteBytes;

constexpr const char* kTarget = "..\\data\\quote.dat";

// The hidden temporary files of writers in a folder.
std::vector<std::string> Temporaries(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) {
    std::string name = entry.path().filename().string();
    if (name.rfind(".zuvo-tmp-", 0) == 0) names.push_back(std::move(name));
  }
  std::sort(names.begin(), names.end());
  return names;
}

// A child writer dies with the test process.
void DieWithParent() { prctl(PR_SET_PDEATHSIG, SIGKILL); }

// Bytes that differ from those of another seed at almost every position, so a file mixed
// from two versions or cut short never equals either.
std::string Contents(unsigned seed, std::size_t size) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& byte : bytes) byte = static_cast<char>(random());
  return bytes;
}

TEST(AtomicReplaceKill, TargetStaysWholeAndAKilledWritersTemporaryGoesAtTheNextReplace) {
  TempInstall install;
  const fs::path target = install.data() / "QUOTE.DAT";
  const std::string oldBytes = Contents(1, 1 << 20);
  const std::string newBytes = Contents(2, (1 << 20) + 4097);
  WriteBytes(target, oldBytes);
  std::mt19937 random(20240611);
  // The kill window spans two replaces as long as one takes on this machine now (a loaded
  // machine under the sanitizers is many times slower than an idle one), so kills land in
  // every step of one.
  const auto timedStart = std::chrono::steady_clock::now();
  ASSERT_TRUE(files::AtomicReplace(kTarget, oldBytes.data(), oldBytes.size()));
  const auto oneReplace = std::chrono::duration_cast<std::chrono::microseconds>(
      std::chrono::steady_clock::now() - timedStart);
  const int windowMicroseconds = std::max<int>(4000, static_cast<int>(2 * oneReplace.count()));
  std::uniform_int_distribution<int> killAfterMicroseconds(0, windowMicroseconds);
  int killsThatLeftATemporary = 0;
  for (int kill = 0; kill < 300; ++kill) {
    // The kill falls among replaces in their steady state, not in the start-up of the child.
    ASSERT_TRUE(killtest::KillASaverAfter(
        [&](int i) {
          const std::string& bytes = i % 2 == 0 ? newBytes : oldBytes;
          files::AtomicReplace(kTarget, bytes.data(), bytes.size());
        },
        killAfterMicroseconds(random)));

    const std::string now = ReadWhole(target);
    ASSERT_TRUE(now == oldBytes || now == newBytes) << "kill " << kill << " left " << now.size() << " bytes";
    // Each replace removes what the kills before it left: only the one the kill cut short
    // may be there.
    const std::vector<std::string> left = Temporaries(install.data());
    ASSERT_LE(left.size(), 1u) << "kill " << kill;
    killsThatLeftATemporary += left.empty() ? 0 : 1;
  }
  // Else no kill fell between write and rename, and the clean-up went untried.
  EXPECT_GT(killsThatLeftATemporary, 0);
  ASSERT_TRUE(files::AtomicReplace(kTarget, "done", 4));
  EXPECT_EQ(ReadBytes(target), "done");
  EXPECT_TRUE(Temporaries(install.data()).empty());
}

TEST(AtomicReplaceKill, AWriterAtWorkKeepsItsTemporaryWhileAnotherReplacesTheTarget) {
  // The child writer stops itself just before its rename; this process replaces the target
  // meanwhile. Then the child either goes on (its rename is the last and wins) or is killed
  // (its temporary is stale from then on and goes at the next replace).
  for (const bool resumed : {true, false}) {
    SCOPED_TRACE(resumed ? "resumed" : "killed");
    TempInstall install;
    const fs::path target = install.data() / "QUOTE.DAT";
    WriteBytes(target, "old");
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      DieWithParent();
      files::ScopedFileCallHook stopBeforeRename(files::FileCall::kRename, [] { raise(SIGSTOP); });
      _exit(files::AtomicReplace(kTarget, "child", 5) ? 0 : 1);
    }
    ChildGuard guard(child);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, WUNTRACED), child);
    ASSERT_TRUE(WIFSTOPPED(status));
    const std::vector<std::string> held = Temporaries(install.data());
    ASSERT_EQ(held.size(), 1u);
    EXPECT_EQ(ReadBytes(install.data() / held[0]), "child");

    ASSERT_TRUE(files::AtomicReplace(kTarget, "parent", 6));
    EXPECT_EQ(ReadBytes(target), "parent");
    EXPECT_EQ(Temporaries(install.data()), held);
    EXPECT_EQ(ReadBytes(install.data() / held[0]), "child");

    ASSERT_EQ(::kill(child, resumed ? SIGCONT : SIGKILL), 0);
    ASSERT_EQ(waitpid(child, &status, 0), child);
    guard.Reaped();
    if (resumed) {
      ASSERT_TRUE(WIFEXITED(status));
      EXPECT_EQ(WEXITSTATUS(status), 0);
      EXPECT_EQ(ReadBytes(target), "child");
      EXPECT_TRUE(Temporaries(install.data()).empty());
    } else {
      ASSERT_TRUE(WIFSIGNALED(status));
      EXPECT_EQ(ReadBytes(target), "parent");
      EXPECT_EQ(Temporaries(install.data()), held);
      ASSERT_TRUE(files::AtomicReplace(kTarget, "again", 5));
      EXPECT_EQ(ReadBytes(target), "again");
      EXPECT_TRUE(Temporaries(install.data()).empty());
    }
  }
}

}  // namespace

// Test seams over the calls through which the platform changes files on disk (the file calls
// of Files.h, files::AtomicReplace and everything built on them: INI writes, block files, the
// news index, cache files). A guard puts a wrapper in front of those calls for the whole
// process while it lives, so a test can make the nth write, flush, rename... fail as a full
// disk or a failing device makes it fail, or hold a writer at a chosen call, and then check
// that no old file was lost. Guards nest; destroy them in the reverse order of their making
// (as scopes do), and keep other threads from changing files while one is made or destroyed.
#pragma once

#include <cerrno>
#include <functional>
#include <memory>

namespace zuvo::platform::files {

class FileOperations;
class FileCallCounter;

// The kinds of call a guard counts. kCreate is an open that may create the file (a new file
// of CreateFileA, the temporary file of a save); kRename also counts the hard link that puts a
// copy in place without replacing the target; kSync counts flushes of files and of folders.
enum class FileCall { kCreate, kWrite, kSync, kRename, kRemove };

enum class FaultRepeat {
  kOnce,              // only the nth call fails; the calls after it go through
  kEveryCallFromNth,  // the nth call and every later one fail (a disk that stays full)
};

// Makes the nth call of a kind (1 = the next), counted from the guard's making, fail with the
// given errno as the system call fails. A failing write first stores the first half of its
// bytes, as a disk that fills up in the middle of a write leaves them. The calls of other
// kinds go through.
class ScopedFileFault {
 public:
  explicit ScopedFileFault(FileCall kind, int nth = 1, FaultRepeat repeat = FaultRepeat::kOnce, int error = EIO);
  ~ScopedFileFault();
  ScopedFileFault(const ScopedFileFault&) = delete;
  ScopedFileFault& operator=(const ScopedFileFault&) = delete;

  // Calls of the kind made while the guard lives, and how many of them it failed.
  int Calls() const;
  int Failures() const;

 private:
  std::shared_ptr<FileCallCounter> counter_;
  std::shared_ptr<FileOperations> previous_;
};

// Runs a function just before the nth call of a kind (1 = the next) goes through, as it goes
// through: a forked writer stops itself before its rename there, so that a test can look at
// its temporary file or kill it at that point.
class ScopedFileCallHook {
 public:
  ScopedFileCallHook(FileCall kind, std::function<void()> before, int nth = 1);
  ~ScopedFileCallHook();
  ScopedFileCallHook(const ScopedFileCallHook&) = delete;
  ScopedFileCallHook& operator=(const ScopedFileCallHook&) = delete;

 private:
  std::shared_ptr<FileCallCounter> counter_;
  std::shared_ptr<FileOperations> previous_;
};

}  // namespace zuvo::platform::files

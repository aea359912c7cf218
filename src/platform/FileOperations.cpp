// The system's file-changing calls, the operations in force, and the test guards that count
// the calls of one kind and fail or hold the nth of them.
#include "platform/internal/FileOperations.h"

#include "platform/FileFaults.h"
#include "platform/Files.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <atomic>

namespace zuvo::platform::files {
namespace {

class SystemFileOperations final : public FileOperations {
 public:
  int Create(const char* path, int flags, mode_t mode) override { return ::open(path, flags, mode); }
  ssize_t Write(int fd, const void* data, std::size_t bytes) override { return ::write(fd, data, bytes); }
  int Sync(int fd) override { return ::fsync(fd); }
  int Rename(const char* from, const char* to, bool noReplace) override {
    return noReplace ? ::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) : ::rename(from, to);
  }
  int Link(const char* from, const char* to) override { return ::link(from, to); }
  int Remove(const char* path) override { return ::unlink(path); }
};

// Both never destroyed: files are written by other threads until the process exits.
const std::shared_ptr<FileOperations>& SystemOperations() {
  static const auto* system = new std::shared_ptr<FileOperations>(std::make_shared<SystemFileOperations>());
  return *system;
}

// Null while the system's operations are in force.
std::atomic<std::shared_ptr<FileOperations>>& InstalledOperations() {
  static auto* installed = new std::atomic<std::shared_ptr<FileOperations>>;
  return *installed;
}

}  // namespace

std::shared_ptr<FileOperations> CurrentFileOperations() {
  std::shared_ptr<FileOperations> installed = InstalledOperations().load();
  return installed ? installed : SystemOperations();
}

std::shared_ptr<FileOperations> InstallFileOperations(std::shared_ptr<FileOperations> operations) {
  return InstalledOperations().exchange(std::move(operations));
}

// Counts the calls of one kind that pass a guard's wrapper and picks those it acts on.
class FileCallCounter {
 public:
  FileCallCounter(FileCall kind, int nth, bool everyCallFromNth) : kind_(kind), nth_(nth), fromNth_(everyCallFromNth) {}

  // Counts a call; true when the guard acts on it.
  bool Picks(FileCall kind) {
    if (kind != kind_) return false;
    const int call = calls_.fetch_add(1) + 1;
    const bool picked = fromNth_ ? call >= nth_ : call == nth_;
    if (picked) acted_.fetch_add(1);
    return picked;
  }
  int Calls() const { return calls_.load(); }
  int Acted() const { return acted_.load(); }

 private:
  const FileCall kind_;
  const int nth_;
  const bool fromNth_;
  std::atomic<int> calls_{0};
  std::atomic<int> acted_{0};
};

namespace {

// The wrapper a guard installs: on a picked call it runs the hook and lets the call through,
// or, without a hook, fails it with the guard's errno.
class InterceptingOperations final : public FileOperationsWrapper {
 public:
  InterceptingOperations(std::shared_ptr<FileOperations> target, std::shared_ptr<FileCallCounter> counter, int error,
                         std::function<void()> before)
      : FileOperationsWrapper(std::move(target)), counter_(std::move(counter)), error_(error), before_(std::move(before)) {}

  int Create(const char* path, int flags, mode_t mode) override {
    return Fails(FileCall::kCreate) ? Failure() : target().Create(path, flags, mode);
  }
  ssize_t Write(int fd, const void* data, std::size_t bytes) override {
    if (!Fails(FileCall::kWrite)) return target().Write(fd, data, bytes);
    if (bytes > 1) target().Write(fd, data, bytes / 2);
    return Failure();
  }
  int Sync(int fd) override { return Fails(FileCall::kSync) ? Failure() : target().Sync(fd); }
  int Rename(const char* from, const char* to, bool noReplace) override {
    return Fails(FileCall::kRename) ? Failure() : target().Rename(from, to, noReplace);
  }
  int Link(const char* from, const char* to) override {
    return Fails(FileCall::kRename) ? Failure() : target().Link(from, to);
  }
  int Remove(const char* path) override { return Fails(FileCall::kRemove) ? Failure() : target().Remove(path); }

 private:
  bool Fails(FileCall kind) {
    if (!counter_->Picks(kind)) return false;
    if (!before_) return true;
    before_();
    return false;
  }
  int Failure() const {
    errno = error_;
    return -1;
  }

  const std::shared_ptr<FileCallCounter> counter_;
  const int error_;
  const std::function<void()> before_;
};

std::shared_ptr<FileOperations> InstallIntercepting(const std::shared_ptr<FileCallCounter>& counter, int error,
                                                    std::function<void()> before) {
  return InstallFileOperations(
      std::make_shared<InterceptingOperations>(CurrentFileOperations(), counter, error, std::move(before)));
}

}  // namespace

ScopedFileFault::ScopedFileFault(FileCall kind, int nth, FaultRepeat repeat, int error)
    : counter_(std::make_shared<FileCallCounter>(kind, nth, repeat == FaultRepeat::kEveryCallFromNth)),
      previous_(InstallIntercepting(counter_, error, nullptr)) {}

ScopedFileFault::~ScopedFileFault() { InstallFileOperations(std::move(previous_)); }

int ScopedFileFault::Calls() const { return counter_->Calls(); }

int ScopedFileFault::Failures() const { return counter_->Acted(); }

ScopedFileCallHook::ScopedFileCallHook(FileCall kind, std::function<void()> before, int nth)
    : counter_(std::make_shared<FileCallCounter>(kind, nth, false)),
      previous_(InstallIntercepting(counter_, 0, before ? std::move(before) : [] {})) {}

ScopedFileCallHook::~ScopedFileCallHook() { InstallFileOperations(std::move(previous_)); }

}  // namespace zuvo::platform::files

// The calls through which the platform changes files on disk: creating, writing, flushing,
// renaming and removing. The file calls of Files.h and every save through a temporary file
// reach the system for these only through the operations in force, so a test can put a
// wrapper in front of them (platform/FileFaults.h) and make any one of them fail on purpose,
// as a full disk or a failing device would. Reads and metadata calls go to the system directly.
#pragma once

#include "platform/internal/Guard.h"

#include <sys/types.h>

#include <cstddef>
#include <memory>
#include <utility>

namespace zuvo::platform::files {

// Each call returns what the POSIX call it stands for returns: -1 with errno on failure.
// Implementations are called from any thread at once.
class FileOperations {
 public:
  virtual ~FileOperations() = default;
  // open(2) for a call that may create the file (flags hold O_CREAT).
  virtual int Create(const char* path, int flags, mode_t mode) = 0;
  // write(2): may write fewer bytes than asked.
  virtual ssize_t Write(int fd, const void* data, std::size_t bytes) = 0;
  // fsync(2) of a file or a folder.
  virtual int Sync(int fd) = 0;
  // rename(2), which replaces an existing target; with noReplace an existing target is kept
  // (EEXIST), and a file system that cannot promise that fails with EINVAL or ENOSYS.
  virtual int Rename(const char* from, const char* to, bool noReplace) = 0;
  // link(2): a second name for a file, refused (EEXIST) when the name exists.
  virtual int Link(const char* from, const char* to) = 0;
  // unlink(2).
  virtual int Remove(const char* path) = 0;
};

// The operations in force: the system's, unless a test installed others. The reference a
// caller holds keeps them alive through its call, even when a test removes them meanwhile.
std::shared_ptr<FileOperations> CurrentFileOperations();

// Puts operations in force for the whole process (null: the system's again) and returns those
// that were.
std::shared_ptr<FileOperations> InstallFileOperations(std::shared_ptr<FileOperations> operations);

// Operations that pass every call on to others; a test double overrides the calls it changes.
class FileOperationsWrapper : public FileOperations {
 public:
  explicit FileOperationsWrapper(std::shared_ptr<FileOperations> target) : target_(std::move(target)) {}
  int Create(const char* path, int flags, mode_t mode) override { return target_->Create(path, flags, mode); }
  ssize_t Write(int fd, const void* data, std::size_t bytes) override { return target_->Write(fd, data, bytes); }
  int Sync(int fd) override { return target_->Sync(fd); }
  int Rename(const char* from, const char* to, bool noReplace) override { return target_->Rename(from, to, noReplace); }
  int Link(const char* from, const char* to) override { return target_->Link(from, to); }
  int Remove(const char* path) override { return target_->Remove(path); }

 protected:
  FileOperations& target() const { return *target_; }

 private:
  std::shared_ptr<FileOperations> target_;
};

}  // namespace zuvo::platform::files

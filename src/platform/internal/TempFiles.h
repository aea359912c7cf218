// Writing a file through a hidden temporary file beside it, shared by files::AtomicReplace,
// CopyFileA and MoveFileA across file systems (TempFiles.cpp). Every change to the disk goes
// through the file operations in force (FileOperations.h).
#pragma once

#include "platform/internal/Guard.h"

#include "platform/WinBase.h"

#include <sys/stat.h>

#include <cstddef>
#include <string>

namespace zuvo::platform::files {

// A temporary file being written: open, locked and registered as live while this object
// lives. Unless it was renamed into place (Renamed), it is removed when the object goes.
class TempFile {
 public:
  TempFile() = default;
  ~TempFile() { Discard(); }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  // Creates the temporary file of target (a POSIX path) in a free slot, after removing those
  // that killed writers of the target left; false with errno on failure (EBUSY when every
  // slot is held by a writer at work).
  bool Create(const std::string& target);
  int fd() const { return fd_; }
  const std::string& path() const { return path_; }
  // The file now has the target's name: its temporary name is gone and stays untouched.
  void Renamed() { renamed_ = true; }
  // Removes the file (unless renamed), closes it and lets its slot go.
  void Discard();

 private:
  int fd_ = -1;
  std::string path_;
  bool renamed_ = false;
};

// Writes every byte, going on after short writes; false with errno when a write fails.
bool WriteAll(int fd, const char* data, std::size_t bytes);

// Flushes a folder's entries to disk, so that a rename in it survives a power cut.
void SyncDirectory(const std::string& dir);

// Copies an open file's bytes, permissions and last-write time to target (a POSIX path)
// through a temporary file beside it; with noReplace an existing target is kept
// (ERROR_FILE_EXISTS). Returns ERROR_SUCCESS or the error; target is untouched on failure.
DWORD CopyInto(int in, const struct stat& sourceInfo, const std::string& target, bool noReplace);

}  // namespace zuvo::platform::files

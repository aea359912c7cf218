// Helpers of the tests that kill a child process in the middle of a save and then read what it
// left on disk.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

namespace killtest {

// The file's bytes in a few large reads (the stream helpers take tens of milliseconds for a
// megabyte under the sanitizers, which hundreds of rounds would feel); "<missing>" when it
// cannot be opened.
inline std::string ReadWhole(const std::filesystem::path& path) {
  std::string bytes;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return "<missing>";
  char buffer[1 << 16];
  for (ssize_t got; (got = ::read(fd, buffer, sizeof buffer)) > 0;) bytes.append(buffer, static_cast<std::size_t>(got));
  ::close(fd);
  return bytes;
}

// Kills and reaps a child that a failed assertion left running.
class ChildGuard {
 public:
  explicit ChildGuard(pid_t pid) : pid_(pid) {}
  ~ChildGuard() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  ChildGuard(const ChildGuard&) = delete;
  ChildGuard& operator=(const ChildGuard&) = delete;
  // The caller reaped the child itself.
  void Reaped() { pid_ = -1; }

 private:
  pid_t pid_;
};

}  // namespace killtest

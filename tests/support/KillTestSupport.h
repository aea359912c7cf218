// Helpers of the tests that kill a child process in the middle of a save and then read what it
// left on disk.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/types.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

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

// Forks a child that calls save(0), save(1), ... without end (it dies with this process), waits
// until its first save is done, lets it run `pauseMicroseconds` more and kills it with SIGKILL:
// the pause picks the moment of the kill, it is not a wait for something to happen. True when
// the child was started, ended by the signal and reaped.
template <class Save>
bool KillASaverAfter(Save save, int pauseMicroseconds) {
  int ready[2];
  if (pipe(ready) != 0) return false;
  const pid_t child = fork();
  if (child < 0) return false;
  if (child == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    ::close(ready[0]);
    for (int i = 0;; ++i) {
      save(i);
      if (i == 0) {
        const char started = 1;
        if (::write(ready[1], &started, 1) != 1) _exit(2);
      }
    }
  }
  ChildGuard guard(child);
  ::close(ready[1]);
  char started = 0;
  const bool running = ::read(ready[0], &started, 1) == 1;
  ::close(ready[0]);
  if (!running) return false;
  std::this_thread::sleep_for(std::chrono::microseconds(pauseMicroseconds));
  if (::kill(child, SIGKILL) != 0) return false;
  int status = 0;
  if (waitpid(child, &status, 0) != child) return false;
  guard.Reaped();
  return WIFSIGNALED(status);
}

}  // namespace killtest

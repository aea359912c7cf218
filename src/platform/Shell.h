// ShellExecuteA: opening web addresses, folders and documents with the desktop's opener, and
// starting programs as CreateProcessA does (platform/Process.h).
// - "iexplore.exe" (any case, any folder) opens its parameter as a web address; a file that is
//   itself an address ("mailto:...") opens the same way. Only http, https, ftp and mailto
//   addresses are opened; any other (file:, javascript:, a bare word) fails with SE_ERR_NOASSOC.
// - A folder or a document (an existing file that is no program) goes to the opener by its
//   native path.
// - A program (a ".exe", ".com", ".bat" or ".cmd" name, or an executable file) is started with
//   the parameters as its one argument, in the working folder given.
// The opener is a program run with an argument vector, never through a shell command line, and
// never waited for. Tests replace the whole call with a recording double (ScopedRecordingShell)
// or only the opener (ScopedDesktopOpener), so no test starts a browser.
//
// Any thread. The seams may be replaced while no call runs.
#pragma once

#include "platform/ScopedDouble.h"
#include "platform/WinBase.h"

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// Results of 32 or less are failures; a success is above 32.
constexpr INT_PTR SE_ERR_FNF = 2;            // no such file or program
constexpr INT_PTR SE_ERR_PNF = 3;            // no such working folder
constexpr INT_PTR SE_ERR_ACCESSDENIED = 5;
constexpr INT_PTR SE_ERR_OOM = 8;
constexpr INT_PTR SE_ERR_NOASSOC = 31;       // nothing may open it (an address refused, no opener)
constexpr INT_PTR kShellExecuteSucceeded = 42;

// Opens or starts `file` (Windows-form GBK) with the verb "open" (null means "open"; another
// verb fails with SE_ERR_NOASSOC). `parameters` is the address for "iexplore.exe" and the
// argument of a program; `directory` a program's working folder (null: the current one).
// The owner window and the show state are accepted and not used. Returns the result as a
// handle: compare (INT_PTR)result > 32.
HINSTANCE ShellExecuteA(HWND owner, LPCSTR operation, LPCSTR file, LPCSTR parameters, LPCSTR directory,
                        int showCommand);

namespace zuvo::platform {

// One ShellExecuteA call as it was made (null texts empty).
struct ShellRequest {
  std::string operation;
  std::string file;
  std::string parameters;
  std::string directory;
  int showCommand = 0;
};

// What ShellExecuteA runs on. The real one is used while none is installed.
class ShellService {
 public:
  virtual ~ShellService() = default;
  virtual INT_PTR Execute(const ShellRequest& request) = 0;
};

// Installs a service (null puts the real one back); returns the one before (null: the real one).
std::shared_ptr<ShellService> SetShellService(std::shared_ptr<ShellService> service);

// The real routing of a request described at the top of this header.
INT_PTR ExecuteShellRequest(const ShellRequest& request);

// A test double: records every request and answers with the scripted results in order, then
// with kShellExecuteSucceeded. Thread-safe.
class RecordingShell : public ShellService {
 public:
  INT_PTR Execute(const ShellRequest& request) override;
  void Script(std::vector<INT_PTR> results);
  std::vector<ShellRequest> Requests() const;

 private:
  mutable std::mutex mutex_;
  std::vector<ShellRequest> requests_;
  std::deque<INT_PTR> results_;
};

using ScopedRecordingShell = ScopedDouble<RecordingShell, ShellService, &SetShellService>;

// ---- The desktop's opener ---------------------------------------------------------------------

// Opens one target: an allowed address (UTF-8) or an absolute native path. True when the opener
// was started.
using DesktopOpener = std::function<bool(const std::string& target)>;

// The real opener: runs `command` followed by the target as the last argument (argument vector,
// program looked up in PATH), does not wait for it and collects its exit in the background.
// False when the program cannot be started.
bool RunDesktopOpener(const std::vector<std::string>& command, const std::string& target);

// The command of the real opener; {"xdg-open"} unless set. Returns the one before.
std::vector<std::string> SetDesktopOpenerCommand(std::vector<std::string> command);

// Installs an opener for the life of the object (the real one is used while none is).
class ScopedDesktopOpener {
 public:
  explicit ScopedDesktopOpener(DesktopOpener opener);
  ~ScopedDesktopOpener();
  ScopedDesktopOpener(const ScopedDesktopOpener&) = delete;
  ScopedDesktopOpener& operator=(const ScopedDesktopOpener&) = delete;

 private:
  DesktopOpener previous_;
};

// True for an address the opener may be given: scheme http, https, ftp or mailto (any case),
// something after the colon, and no control byte.
bool IsAllowedAddress(std::string_view address);

}  // namespace zuvo::platform

// ShellExecuteA: the request routed to the opener or the process launcher, the service and
// opener seams, and the real opener over posix_spawnp.
#include "platform/Shell.h"

#include "platform/Files.h"
#include "platform/Kernel.h"
#include "platform/Paths.h"
#include "platform/Process.h"
#include "platform/Text.h"
#include "platform/internal/Ownership.h"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <thread>
#include <utility>

extern char** environ;

using namespace zuvo::platform;

namespace {

// What ShellExecuteA runs on: the installed service (null: the real routing), the installed
// opener (empty: the real one) and the real opener's command.
struct Seams {
  std::shared_ptr<ShellService> service;
  DesktopOpener opener;
  std::vector<std::string> openerCommand{"xdg-open"};
};

Guarded<Seams>& ShellSeams() {
  static Guarded<Seams> seams;
  return seams;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  // An address handed over in quotes loses them.
  if (text.size() >= 2 && text.front() == '"' && text.back() == '"') text = text.substr(1, text.size() - 2);
  return text;
}

bool IsLeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

// The file name after the last separator that is a character of its own (a GBK trail byte may
// equal '\').
std::string_view FileName(std::string_view path) {
  std::size_t start = 0;
  for (std::size_t i = 0; i < path.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(path[i]);
    if (IsLeadByte(c) && i + 1 < path.size()) {
      ++i;
    } else if (c == '\\' || c == '/') {
      start = i + 1;
    }
  }
  return path.substr(start);
}

bool EndsWithNoCase(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && gbk::EqualsNoCase(text.substr(text.size() - suffix.size()), suffix);
}

// The scheme of an address ("http" of "http://x"), empty when the text has none. One letter
// before the colon is a drive ("C:\x"), not a scheme.
std::string_view SchemeOf(std::string_view text) {
  const std::size_t colon = text.find(':');
  if (colon == std::string_view::npos || colon < 2) return {};
  for (std::size_t i = 0; i < colon; ++i) {
    const char c = text[i];
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    if (!letter && !(i > 0 && ((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.'))) return {};
  }
  return text.substr(0, colon);
}

bool IsProgramName(std::string_view file) {
  return EndsWithNoCase(file, ".exe") || EndsWithNoCase(file, ".com") || EndsWithNoCase(file, ".bat") ||
         EndsWithNoCase(file, ".cmd");
}

INT_PTR Open(const std::string& target) {
  DesktopOpener opener;
  std::vector<std::string> command;
  {
    auto seams = ShellSeams().Lock();
    opener = seams->opener;
    command = seams->openerCommand;
  }
  const bool opened = opener ? opener(target) : RunDesktopOpener(command, target);
  return opened ? kShellExecuteSucceeded : SE_ERR_NOASSOC;
}

INT_PTR OpenAddress(std::string_view address) {
  if (!IsAllowedAddress(address)) return SE_ERR_NOASSOC;
  // The desktop's programs read UTF-8; the program's own text is GBK.
  return Open(gbk::ToUtf8(address));
}

INT_PTR StartProgram(const ShellRequest& request) {
  // The command text begins with the program's own name, so that the parameters arrive as
  // they are, as the one argument.
  std::string command = "\"" + request.file + "\"";
  if (!request.parameters.empty()) command += " " + request.parameters;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  if (!CreateProcessA(request.file.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      request.directory.empty() ? nullptr : request.directory.c_str(), &startup, &started)) {
    switch (GetLastError()) {
      case ERROR_DIRECTORY: return SE_ERR_PNF;
      case ERROR_ACCESS_DENIED: return SE_ERR_ACCESSDENIED;
      case ERROR_NOT_ENOUGH_MEMORY: return SE_ERR_OOM;
      case ERROR_BAD_EXE_FORMAT: return SE_ERR_NOASSOC;
      default: return SE_ERR_FNF;
    }
  }
  CloseHandle(started.hProcess);
  CloseHandle(started.hThread);
  return kShellExecuteSucceeded;
}

// Collects an opener's exit on a thread of its own, so it leaves no zombie.
void Reap(pid_t pid) {
  try {
    std::thread([pid] {
      int status = 0;
      while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
    }).detach();
  } catch (const std::system_error&) {
    // No thread: the child stays a zombie until the program ends, which harms nothing else.
  }
}

}  // namespace

namespace zuvo::platform {

bool IsAllowedAddress(std::string_view address) {
  const std::string_view scheme = SchemeOf(address);
  if (scheme.empty() || scheme.size() + 1 >= address.size()) return false;
  if (!gbk::EqualsNoCase(scheme, "http") && !gbk::EqualsNoCase(scheme, "https") &&
      !gbk::EqualsNoCase(scheme, "ftp") && !gbk::EqualsNoCase(scheme, "mailto")) {
    return false;
  }
  for (const char c : address) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return false;
  }
  return true;
}

INT_PTR ExecuteShellRequest(const ShellRequest& request) {
  if (!request.operation.empty() && !gbk::EqualsNoCase(request.operation, "open")) return SE_ERR_NOASSOC;
  const std::string_view file = Trim(request.file);
  if (file.empty()) return SE_ERR_FNF;
  if (gbk::EqualsNoCase(FileName(file), "iexplore.exe")) return OpenAddress(Trim(request.parameters));
  if (!SchemeOf(file).empty()) return OpenAddress(file);
  if (IsProgramName(file)) return StartProgram(request);

  bool cached = false;
  std::string posix = paths::Resolve(file, &cached);
  struct stat info {};
  if (stat(posix.c_str(), &info) != 0 && cached) {
    paths::ForgetPath(posix);
    posix = paths::Resolve(file);
  }
  if (stat(posix.c_str(), &info) != 0) return SE_ERR_FNF;
  if (S_ISREG(info.st_mode) && access(posix.c_str(), X_OK) == 0) return StartProgram(request);
  // A folder or a document: its native path, which starts with '/' and so never reads as an
  // option of the opener.
  return Open(posix);
}

std::shared_ptr<ShellService> SetShellService(std::shared_ptr<ShellService> service) {
  return std::exchange(ShellSeams().Lock()->service, std::move(service));
}

INT_PTR RecordingShell::Execute(const ShellRequest& request) {
  std::lock_guard<std::mutex> guard(mutex_);
  requests_.push_back(request);
  if (results_.empty()) return kShellExecuteSucceeded;
  const INT_PTR result = results_.front();
  results_.pop_front();
  return result;
}

void RecordingShell::Script(std::vector<INT_PTR> results) {
  std::lock_guard<std::mutex> guard(mutex_);
  results_.insert(results_.end(), results.begin(), results.end());
}

std::vector<ShellRequest> RecordingShell::Requests() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return requests_;
}

bool RunDesktopOpener(const std::vector<std::string>& command, const std::string& target) {
  if (command.empty() || command[0].empty()) return false;
  std::vector<std::string> arguments = command;
  arguments.push_back(target);
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return false;
  Reap(pid);
  return true;
}

std::vector<std::string> SetDesktopOpenerCommand(std::vector<std::string> command) {
  return std::exchange(ShellSeams().Lock()->openerCommand, std::move(command));
}

ScopedDesktopOpener::ScopedDesktopOpener(DesktopOpener opener)
    : previous_(std::exchange(ShellSeams().Lock()->opener, std::move(opener))) {}

ScopedDesktopOpener::~ScopedDesktopOpener() { ShellSeams().Lock()->opener = std::move(previous_); }

}  // namespace zuvo::platform

HINSTANCE ShellExecuteA(HWND, LPCSTR operation, LPCSTR file, LPCSTR parameters, LPCSTR directory, int showCommand) {
  ShellRequest request;
  if (operation != nullptr) request.operation = operation;
  if (file != nullptr) request.file = file;
  if (parameters != nullptr) request.parameters = parameters;
  if (directory != nullptr) request.directory = directory;
  request.showCommand = showCommand;
  const std::shared_ptr<ShellService> service = ShellSeams().Lock()->service;
  const INT_PTR result = service ? service->Execute(request) : ExecuteShellRequest(request);
  return reinterpret_cast<HINSTANCE>(result);
}

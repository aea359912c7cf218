// The desktop calls over the installed backend ("none" on a real run), process snapshots and
// handles, and the Windows folder.
#include "platform/Desktop.h"

#include "platform/internal/Cursor.h"
#include "platform/internal/Desktop.h"
#include "platform/internal/Window.h"

#include "platform/Application.h"
#include "platform/HandleTable.h"
#include "platform/Input.h"
#include "platform/Paths.h"
#include "platform/Text.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <system_error>
#include <utility>

namespace zuvo::platform::desktop {
namespace {

// The desktop of a real run: no other program is visible to us, and input goes nowhere.
class NoDesktop final : public DesktopBackend {
 public:
  bool Owns(HWND) const override { return false; }
  bool IsWindow(HWND) override { return false; }
  DWORD ThreadProcessId(HWND, DWORD*) override { return 0; }
  BOOL Post(HWND, UINT, WPARAM, LPARAM) override { return FALSE; }
  LRESULT Send(HWND, UINT, WPARAM, LPARAM) override { return 0; }
  std::vector<ProcessRecord> Processes() override { return {}; }
  std::optional<std::string> ImagePath(DWORD) override { return std::nullopt; }
  bool OtherProgramInFront() override { return false; }
  void Key(BYTE, BYTE, DWORD) override {}
  void Mouse(DWORD, POINT) override {}
  BOOL Block(bool) override {
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return FALSE;
  }
};

struct Installed {
  std::mutex mutex;
  std::shared_ptr<DesktopBackend> none = std::make_shared<NoDesktop>();
  std::shared_ptr<DesktopBackend> backend;   // null: none
  std::string windowsFolder;                 // a test's replacement; empty: the default
};

// Deliberately leaked: a call from another static's destructor still finds it.
Installed& TheInstalled() {
  static Installed* installed = new Installed();
  return *installed;
}

// A snapshot: the processes as they were when it was taken.
class Snapshot final : public handles::KernelObject {
 public:
  explicit Snapshot(std::vector<ProcessRecord> processes) : processes_(std::move(processes)) {}
  // The entry at the cursor after moving it (first: to the start), or null past the end.
  const ProcessRecord* Step(bool first) {
    std::lock_guard lock(mutex_);
    next_ = first ? 0 : next_;
    if (next_ >= processes_.size()) return nullptr;
    return &processes_[next_++];
  }

 private:
  std::mutex mutex_;
  std::vector<ProcessRecord> processes_;
  std::size_t next_ = 0;
};

// An open process of the desktop that lent it.
class DesktopProcess final : public handles::KernelObject {
 public:
  DesktopProcess(DWORD id, std::weak_ptr<DesktopBackend> backend) : id_(id), backend_(std::move(backend)) {}
  std::optional<std::string> ImagePath() const {
    auto backend = backend_.lock();
    return backend ? backend->ImagePath(id_) : std::nullopt;
  }

 private:
  DWORD id_;
  std::weak_ptr<DesktopBackend> backend_;
};

// The file name part of a GBK path: after its last '\' or '/', trail bytes of double-byte
// characters not taken for separators.
std::string FileNamePart(const std::string& path) {
  std::size_t start = 0;
  for (std::size_t i = 0; i < path.size(); i += gbk::CharLength(path, i)) {
    if (path[i] == '\\' || path[i] == '/') start = i + 1;
  }
  return path.substr(start);
}

BOOL FillEntry(const ProcessRecord* record, PROCESSENTRY32* entry) {
  if (record == nullptr) {
    SetLastError(ERROR_NO_MORE_FILES);
    return FALSE;
  }
  const DWORD size = entry->dwSize;
  std::memset(entry, 0, sizeof *entry);
  entry->dwSize = size;
  entry->th32ProcessID = record->id;
  entry->th32ParentProcessID = record->parentId;
  entry->cntThreads = record->threads;
  entry->pcPriClassBase = 8;
  const std::string name = FileNamePart(record->imagePath);
  const std::size_t n = gbk::CutLength(name, sizeof entry->szExeFile - 1);
  std::memcpy(entry->szExeFile, name.data(), n);
  return TRUE;
}

BOOL Walk(HANDLE snapshot, PROCESSENTRY32* entry, bool first) {
  auto object = handles::LookupAs<Snapshot>(snapshot);
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (entry == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (entry->dwSize < sizeof(PROCESSENTRY32)) {
    SetLastError(ERROR_BAD_LENGTH);
    return FALSE;
  }
  return FillEntry(object->Step(first), entry);
}

}  // namespace

std::shared_ptr<DesktopBackend> SetDesktopBackend(std::shared_ptr<DesktopBackend> backend) {
  Installed& installed = TheInstalled();
  std::shared_ptr<DesktopBackend> previous;
  {
    std::lock_guard lock(installed.mutex);
    previous = std::exchange(installed.backend, backend);
  }
  if (previous) win::RemoveForeignSource(previous);
  if (backend) win::AddForeignSource(backend);
  return previous;
}

std::shared_ptr<DesktopBackend> CurrentDesktopBackend() {
  Installed& installed = TheInstalled();
  std::lock_guard lock(installed.mutex);
  return installed.backend ? installed.backend : installed.none;
}

std::string SetWindowsFolderForTest(std::string windowsPath) {
  Installed& installed = TheInstalled();
  std::lock_guard lock(installed.mutex);
  return std::exchange(installed.windowsFolder, std::move(windowsPath));
}

}  // namespace zuvo::platform::desktop

using namespace zuvo::platform;
using namespace zuvo::platform::desktop;

namespace zuvo::platform::desktop {
namespace {

// The keys and buttons held through keybd_event and mouse_event: the modifiers of the keys and
// the buttons of the clicks that follow.
std::atomic<UINT> syntheticHeld{0};
constexpr UINT kHeldLeft = 0x10000;
constexpr UINT kHeldRight = 0x20000;

void Hold(UINT bit, bool down) {
  if (down) {
    syntheticHeld |= bit;
  } else {
    syntheticHeld &= ~bit;
  }
}

UINT ModifierBitOf(BYTE virtualKey) {
  switch (virtualKey) {
    case VK_SHIFT: case VK_LSHIFT: case VK_RSHIFT: return MK_SHIFT;
    case VK_CONTROL: case VK_LCONTROL: case VK_RCONTROL: return MK_CONTROL;
    case VK_MENU: case VK_LMENU: case VK_RMENU: return kSimulatedAlt;
    default: return 0;
  }
}

WPARAM HeldMouseKeys() {
  const UINT held = syntheticHeld.load();
  WPARAM keys = held & (MK_SHIFT | MK_CONTROL);
  if (held & kHeldLeft) keys |= MK_LBUTTON;
  if (held & kHeldRight) keys |= MK_RBUTTON;
  return keys;
}

}  // namespace
}  // namespace zuvo::platform::desktop

void keybd_event(BYTE virtualKey, BYTE scanCode, DWORD flags, ULONG_PTR) {
  std::shared_ptr<DesktopBackend> backend = CurrentDesktopBackend();
  if (backend->OtherProgramInFront()) {
    backend->Key(virtualKey, scanCode, flags);
    return;
  }
  const bool down = (flags & KEYEVENTF_KEYUP) == 0;
  if (UINT bit = ModifierBitOf(virtualKey); bit != 0) Hold(bit, down);
  // As typed: the focus window's queue, the hooks and the key state see it.
  if (!EnsureApplication()) return;
  const UINT modifiers = syntheticHeld.load() & (MK_SHIFT | MK_CONTROL | kSimulatedAlt);
  win::OnUi([&] { return input::DeliverKey(virtualKey, scanCode, down, modifiers); });
}

void mouse_event(DWORD flags, DWORD, DWORD, DWORD, ULONG_PTR) {
  std::shared_ptr<DesktopBackend> backend = CurrentDesktopBackend();
  // The pointer lives in the window system, which a program without windows has not made yet.
  const bool hasWindows = EnsureApplication();
  POINT pointer{0, 0};
  if (hasWindows) GetCursorPos(&pointer);
  if (backend->OtherProgramInFront()) {
    backend->Mouse(flags, pointer);
    return;
  }
  if (!hasWindows) return;
  const std::pair<DWORD, std::pair<UINT, UINT>> buttons[] = {
      {MOUSEEVENTF_LEFTDOWN, {WM_LBUTTONDOWN, kHeldLeft}}, {MOUSEEVENTF_LEFTUP, {WM_LBUTTONUP, kHeldLeft}},
      {MOUSEEVENTF_RIGHTDOWN, {WM_RBUTTONDOWN, kHeldRight}}, {MOUSEEVENTF_RIGHTUP, {WM_RBUTTONUP, kHeldRight}}};
  for (const auto& [flag, what] : buttons) {
    if ((flags & flag) == 0) continue;
    const auto [message, bit] = what;
    Hold(bit, message == WM_LBUTTONDOWN || message == WM_RBUTTONDOWN);
    // At the virtual pointer, to the capture or else the window of ours under it.
    win::OnUi([&] {
      HWND target = win::CaptureWindow();
      if (target == nullptr) target = WindowFromPoint(pointer);
      return target != nullptr && input::DeliverMouseAt(target, message, pointer, HeldMouseKeys());
    });
  }
}

BOOL BlockInput(BOOL block) { return CurrentDesktopBackend()->Block(block != FALSE); }

HANDLE CreateToolhelp32Snapshot(DWORD flags, DWORD) {
  if ((flags & TH32CS_SNAPPROCESS) == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  HANDLE handle = handles::Register(std::make_shared<Snapshot>(CurrentDesktopBackend()->Processes()));
  return handle != nullptr ? handle : INVALID_HANDLE_VALUE;
}

BOOL Process32First(HANDLE snapshot, PROCESSENTRY32* entry) { return Walk(snapshot, entry, true); }

BOOL Process32Next(HANDLE snapshot, PROCESSENTRY32* entry) { return Walk(snapshot, entry, false); }

HANDLE OpenProcess(DWORD, BOOL, DWORD processId) {
  std::shared_ptr<DesktopBackend> backend = CurrentDesktopBackend();
  if (processId == 0 || !backend->ImagePath(processId)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return handles::Register(std::make_shared<DesktopProcess>(processId, backend));
}

DWORD GetModuleFileNameExA(HANDLE process, HMODULE module, LPSTR fileName, DWORD size) {
  auto object = handles::LookupAs<DesktopProcess>(process);
  if (!object || module != nullptr) {
    SetLastError(object ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
    return 0;
  }
  if (fileName == nullptr || size == 0) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::optional<std::string> path = object->ImagePath();
  if (!path) {
    // The process has ended since it was opened.
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  const std::size_t n = gbk::CutLength(*path, size - 1);
  std::memcpy(fileName, path->data(), n);
  fileName[n] = '\0';
  if (n < path->size()) SetLastError(ERROR_INSUFFICIENT_BUFFER);
  return static_cast<DWORD>(n);
}

UINT GetWindowsDirectoryA(LPSTR buffer, UINT size) {
  std::string folder;
  {
    Installed& installed = TheInstalled();
    std::lock_guard lock(installed.mutex);
    folder = installed.windowsFolder;
  }
  if (folder.empty()) folder = "C:\\WINDOWS";
  const std::string posix = paths::Resolve(folder);
  std::error_code error;
  std::filesystem::create_directories(posix, error);
  if (error || !std::filesystem::is_directory(posix, error)) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return 0;
  }
  paths::NoteCreated(posix);
  if (buffer == nullptr || size <= folder.size()) return static_cast<UINT>(folder.size() + 1);
  std::memcpy(buffer, folder.data(), folder.size());
  buffer[folder.size()] = '\0';
  return static_cast<UINT>(folder.size());
}

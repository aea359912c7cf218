// LoadLibraryA, GetProcAddress, FreeLibrary and the loaded-module lookup: one table of loaded
// modules, native shared objects over dlopen and the built-in system modules.
#include "platform/Library.h"

#include "platform/Desktop.h"
#include "platform/GdiTransparent.h"
#include "platform/Kernel.h"
#include "platform/Paths.h"
#include "platform/Process.h"
#include "platform/Profile.h"
#include "platform/Text.h"
#include "platform/internal/Ownership.h"
#include "platform/internal/PictureLibrary.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <atomic>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

using namespace zuvo::platform;

namespace {

// ---- Built-in modules -------------------------------------------------------------------------

struct Export {
  const char* name;
  FARPROC function;
};

template <class Function>
FARPROC AsProc(Function* function) {
  return reinterpret_cast<FARPROC>(function);
}

struct BuiltinModule {
  const char* fileName;      // lower case, with ".dll"
  bool permanent;            // loaded from the start and never unloaded
  const Export* exports;
  std::size_t exportCount;
};

const Export kKernel32Exports[] = {
    {"GetDiskFreeSpaceExA", AsProc(&GetDiskFreeSpaceExA)},
};
const Export kMsimg32Exports[] = {
    {"AlphaBlend", AsProc(&AlphaBlend)},
    {"TransparentBlt", AsProc(&TransparentBlt)},
};
const Export kPsapiExports[] = {
    {"GetModuleFileNameExA", AsProc(&GetModuleFileNameExA)},
};
const Export kPictureExports[] = {
    {"ConvertBitmap", AsProc(&smoothdc::ConvertBitmap)},
    {"DrawLineAntialiasing", AsProc(&smoothdc::DrawLineAntialiasing)},
    {"TextOutAntialiasing", AsProc(&smoothdc::TextOutAntialiasing)},
};

constexpr const char* kPictureLibrary = "smoothdc.dll";

// gdiplus.dll is only asked whether it loads.
const BuiltinModule kBuiltins[] = {
    {"kernel32.dll", true, kKernel32Exports, std::size(kKernel32Exports)},
    {"msimg32.dll", false, kMsimg32Exports, std::size(kMsimg32Exports)},
    {"gdiplus.dll", false, nullptr, 0},
    {"psapi.dll", false, kPsapiExports, std::size(kPsapiExports)},
    {kPictureLibrary, false, kPictureExports, std::size(kPictureExports)},
};

std::atomic<bool> pictureLibraryAbsent{false};

// Exports of built-in modules that tests replaced or hid, keyed "module|name" (module lower
// case, with ".dll"); a null function hides the export.
zuvo::platform::Guarded<std::map<std::string, FARPROC>>& exportOverrides() {
  static auto* overrides = new zuvo::platform::Guarded<std::map<std::string, FARPROC>>;   // never destroyed
  return *overrides;
}

bool PictureLibraryPresent() {
  if (pictureLibraryAbsent.load()) return false;
  return GetPrivateProfileIntA("Platform", "SmoothDC", 1, "..\\cfg\\setting.ini") != 0;
}

// ---- Names ------------------------------------------------------------------------------------

bool IsLeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

// Where the file name starts: after the last separator that is a character of its own (a
// GBK trail byte may equal '\').
std::size_t FileNameStart(std::string_view path) {
  std::size_t start = 0;
  for (std::size_t i = 0; i < path.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(path[i]);
    if (IsLeadByte(c) && i + 1 < path.size()) {
      ++i;
    } else if (c == '\\' || c == '/' || (c == ':' && i == 1)) {
      start = i + 1;
    }
  }
  return start;
}

bool EndsWithNoCase(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && gbk::EqualsNoCase(text.substr(text.size() - suffix.size()), suffix);
}

// The file name as Windows would look it up: lower case, ".dll" added when it has no extension.
std::string ModuleFileName(std::string_view name) {
  std::string file = gbk::Lower(name.substr(FileNameStart(name)));
  if (file.find('.') == std::string::npos) file += ".dll";
  return file;
}

const BuiltinModule* FindBuiltin(std::string_view name) {
  const std::string file = ModuleFileName(name);
  for (const BuiltinModule& builtin : kBuiltins) {
    if (file == builtin.fileName) return &builtin;
  }
  return nullptr;
}

bool IsRegularFile(const std::string& posixPath) {
  struct stat info {};
  return !posixPath.empty() && stat(posixPath.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// Resolves a Windows-form path, once more past a stale directory cache.
std::string ResolveExisting(const std::string& windowsPath) {
  bool cached = false;
  std::string posix = paths::Resolve(windowsPath, &cached);
  if (!IsRegularFile(posix) && cached) {
    paths::ForgetPath(posix);
    posix = paths::Resolve(windowsPath);
  }
  return IsRegularFile(posix) ? posix : std::string();
}

// The same file however it was reached (symbolic links, "..").
std::string Canonical(const std::string& posixPath) {
  char buffer[PATH_MAX];
  return realpath(posixPath.c_str(), buffer) != nullptr ? std::string(buffer) : posixPath;
}

// ---- The module table -------------------------------------------------------------------------

struct Module {
  std::string path;                        // canonical native file; empty for a built-in
  std::string fileName;                    // as ModuleFileName gives it, for bare-name lookups
  void* library = nullptr;                 // dlopen's handle
  const BuiltinModule* builtin = nullptr;
  long uses = 0;
};

// Handles look like the load addresses of modules on Windows, well apart from the program's own
// (0x400000) and each other; the counter never goes back, so a freed handle never returns.
constexpr std::uintptr_t kFirstHandle = 0x10000000;
constexpr std::uintptr_t kHandleStep = 0x10000;

class ModuleTable {
 public:
  HMODULE Load(const std::string& name);
  FARPROC Lookup(HMODULE handle, const char* procName);
  bool Free(HMODULE handle);
  HMODULE Find(const std::string& name);

 private:
  struct State {
    std::uintptr_t next = kFirstHandle;
    std::map<std::uintptr_t, Module> modules;
  };
  static HMODULE Add(State& state, Module module);
  static HMODULE FindBuiltin(State& state, const BuiltinModule* builtin);
  static HMODULE FindPath(const State& state, const std::string& canonicalPath);

  Guarded<State> state_;
};

ModuleTable& Modules() {
  static ModuleTable table;
  return table;
}

std::uintptr_t Key(HMODULE handle) { return reinterpret_cast<std::uintptr_t>(handle); }

HMODULE ModuleTable::Add(State& state, Module module) {
  const std::uintptr_t key = state.next;
  state.next += kHandleStep;
  state.modules.emplace(key, std::move(module));
  return reinterpret_cast<HMODULE>(key);
}

HMODULE ModuleTable::FindBuiltin(State& state, const BuiltinModule* builtin) {
  for (const auto& [key, module] : state.modules) {
    if (module.builtin == builtin) return reinterpret_cast<HMODULE>(key);
  }
  // kernel32.dll is loaded in every process from the start.
  if (builtin->permanent) return Add(state, Module{{}, builtin->fileName, nullptr, builtin, 1});
  return nullptr;
}

HMODULE ModuleTable::FindPath(const State& state, const std::string& canonicalPath) {
  for (const auto& [key, module] : state.modules) {
    if (!module.path.empty() && module.path == canonicalPath) return reinterpret_cast<HMODULE>(key);
  }
  return nullptr;
}

HMODULE ModuleTable::Load(const std::string& name) {
  if (const BuiltinModule* builtin = ::FindBuiltin(name)) {
    if (builtin->fileName == std::string_view(kPictureLibrary) && !PictureLibraryPresent()) {
      SetLastError(ERROR_MOD_NOT_FOUND);
      return nullptr;
    }
    auto state = state_.Lock();
    HMODULE handle = FindBuiltin(*state, builtin);
    if (handle != nullptr) {
      ++state->modules.at(Key(handle)).uses;
      return handle;
    }
    return Add(*state, Module{{}, builtin->fileName, nullptr, builtin, 1});
  }

  const std::string native = library::NativeLibraryPath(name);
  if (native.empty()) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  const std::string path = Canonical(native);
  auto state = state_.Lock();
  if (HMODULE handle = FindPath(*state, path)) {
    ++state->modules.at(Key(handle)).uses;
    return handle;
  }
  // Local binding: the library's symbols serve only lookups through its own handle, so two
  // outside libraries exporting the same names never resolve to each other. Loaded under the
  // table's lock, so two threads loading one file make one module.
  void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    SetLastError(ERROR_BAD_EXE_FORMAT);
    return nullptr;
  }
  const std::size_t slash = path.rfind('/');
  std::string file = path.substr(slash + 1);
  // "libX.so" answers to the name "X.dll".
  if (file.size() > 6 && file.compare(0, 3, "lib") == 0 && EndsWithNoCase(file, ".so")) {
    file = gbk::FromUtf8(file.substr(3, file.size() - 6)) + ".dll";
  } else {
    file = gbk::FromUtf8(file);
  }
  return Add(*state, Module{path, ModuleFileName(file), library, nullptr, 1});
}

FARPROC ModuleTable::Lookup(HMODULE handle, const char* procName) {
  auto state = state_.Lock();
  const auto found = state->modules.find(Key(handle));
  if (found == state->modules.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  // An ordinal travels as a small number in place of the name; no module here exports any.
  if (procName == nullptr || reinterpret_cast<std::uintptr_t>(procName) < 0x10000) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  const Module& module = found->second;
  FARPROC function = nullptr;
  if (module.builtin != nullptr) {
    {
      auto overrides = exportOverrides().Lock();
      const auto replaced = overrides->find(std::string(module.builtin->fileName) + "|" + procName);
      if (replaced != overrides->end()) {
        if (replaced->second == nullptr) SetLastError(ERROR_PROC_NOT_FOUND);
        return replaced->second;
      }
    }
    for (std::size_t i = 0; i < module.builtin->exportCount; ++i) {
      if (std::strcmp(module.builtin->exports[i].name, procName) == 0) function = module.builtin->exports[i].function;
    }
  } else {
    function = reinterpret_cast<FARPROC>(dlsym(module.library, procName));
  }
  if (function == nullptr) SetLastError(ERROR_PROC_NOT_FOUND);
  return function;
}

bool ModuleTable::Free(HMODULE handle) {
  void* unload = nullptr;
  {
    auto state = state_.Lock();
    const auto found = state->modules.find(Key(handle));
    if (found == state->modules.end()) {
      SetLastError(ERROR_INVALID_HANDLE);
      return false;
    }
    Module& module = found->second;
    if (module.builtin != nullptr && module.builtin->permanent) return true;
    if (--module.uses > 0) return true;
    unload = module.library;
    state->modules.erase(found);
  }
  // Outside the lock: unloading runs the library's destructors, which may take their time.
  if (unload != nullptr) dlclose(unload);
  return true;
}

HMODULE ModuleTable::Find(const std::string& name) {
  HMODULE handle = nullptr;
  if (const BuiltinModule* builtin = ::FindBuiltin(name)) {
    auto state = state_.Lock();
    handle = FindBuiltin(*state, builtin);
  } else if (FileNameStart(name) > 0) {
    // With a folder: that very file.
    const std::string native = library::NativeLibraryPath(name);
    if (!native.empty()) {
      const std::string path = Canonical(native);
      auto state = state_.Lock();
      handle = FindPath(*state, path);
    }
  } else {
    const std::string file = ModuleFileName(name);
    auto state = state_.Lock();
    for (const auto& [key, module] : state->modules) {
      if (module.fileName == file) {
        handle = reinterpret_cast<HMODULE>(key);
        break;
      }
    }
  }
  if (handle == nullptr) SetLastError(ERROR_MOD_NOT_FOUND);
  return handle;
}

}  // namespace

namespace zuvo::platform::library {

ScopedBuiltinExport::ScopedBuiltinExport(std::string module, std::string procName, FARPROC function)
    : key_(ModuleFileName(module) + "|" + procName) {
  auto overrides = exportOverrides().Lock();
  const auto found = overrides->find(key_);
  if (found != overrides->end()) {
    hadPrevious_ = true;
    previous_ = found->second;
  }
  (*overrides)[key_] = function;
}

ScopedBuiltinExport::~ScopedBuiltinExport() {
  auto overrides = exportOverrides().Lock();
  if (hadPrevious_) {
    (*overrides)[key_] = previous_;
  } else {
    overrides->erase(key_);
  }
}

std::string NativeLibraryPath(std::string_view windowsName) {
  if (windowsName.empty() || FindBuiltin(windowsName) != nullptr) return {};
  const std::size_t start = FileNameStart(windowsName);
  const std::string folder(windowsName.substr(0, start));
  std::string file(windowsName.substr(start));
  if (file.empty()) return {};
  if (EndsWithNoCase(file, ".dll")) {
    file.resize(file.size() - 4);
  } else if (file.find('.') != std::string::npos) {
    // A name with another extension may name a shared object as it stands.
    if (std::string posix = ResolveExisting(std::string(windowsName)); !posix.empty()) return posix;
  }
  if (file.empty()) return {};
  return ResolveExisting(folder + "lib" + file + ".so");
}

HMODULE FindLoadedModule(LPCSTR name) {
  if (name == nullptr || name[0] == '\0') {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return Modules().Find(name);
}

bool SetPictureLibraryAbsent(bool absent) { return pictureLibraryAbsent.exchange(absent); }

}  // namespace zuvo::platform::library

HMODULE LoadLibraryA(LPCSTR fileName) {
  if (fileName == nullptr || fileName[0] == '\0') {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return Modules().Load(fileName);
}

FARPROC GetProcAddress(HMODULE module, LPCSTR procName) { return Modules().Lookup(module, procName); }

BOOL FreeLibrary(HMODULE module) { return Modules().Free(module) ? TRUE : FALSE; }

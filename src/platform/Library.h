// Libraries loaded at run time: LoadLibraryA, GetProcAddress, FreeLibrary and the named half of
// GetModuleHandleA. A Windows library name maps to a native shared object in the same folder:
// "X.dll" -> "libX.so" (every component found without regard to case, so ".\ZEDEVI.DLL" opens
// ./libzedevi.so), opened with local binding, so two libraries exporting the same name never see
// each other's symbols. The system libraries the program looks functions up in are built-in
// modules that need no file: kernel32.dll, Msimg32.dll, gdiplus.dll, PSAPI.DLL and the picture
// library smoothdc.dll (below). Unknown names give null.
//
// Thread-safe. A module handle is an id, never reused: a freed handle fails every call.
#pragma once

#include "platform/WinBase.h"

#include <string>
#include <string_view>

// What GetProcAddress returns: the caller casts it to the function's own type (a pointer to a
// function of no arguments casts to any function type without a warning).
using FARPROC = void (*)();

constexpr DWORD ERROR_MOD_NOT_FOUND = 126;
constexpr DWORD ERROR_PROC_NOT_FOUND = 127;

// Loads a library (Windows-form GBK name, relative to the current folder when it has no folder)
// or counts one more use of a loaded one, returning the same handle for the same file. A name
// without extension is taken as "name.dll". Null with GetLastError on failure:
// ERROR_INVALID_PARAMETER (no name), ERROR_MOD_NOT_FOUND (no such file, or smoothdc.dll switched
// off), ERROR_BAD_EXE_FORMAT of platform/Process.h
// (the file is no shared object dlopen accepts).
HMODULE LoadLibraryA(LPCSTR fileName);

// The exported function of that name; null with ERROR_INVALID_HANDLE (not a loaded module) or
// ERROR_PROC_NOT_FOUND (no such export; ordinals are not supported).
FARPROC GetProcAddress(HMODULE module, LPCSTR procName);

// One use fewer; the last one unloads the library (its functions must no longer be called).
// kernel32.dll is never unloaded. FALSE with ERROR_INVALID_HANDLE for a handle not loaded.
BOOL FreeLibrary(HMODULE module);

namespace zuvo::platform::library {

// The named-module lookup behind GetModuleHandleA: the handle of a loaded library named like
// LoadLibraryA's argument (with a folder: the same file; a bare name: a loaded library of that
// file name, any case; kernel32.dll always), without counting a use. Null with
// ERROR_MOD_NOT_FOUND when none is loaded, ERROR_INVALID_PARAMETER for a null or empty name.
HMODULE FindLoadedModule(LPCSTR name);

// The native file LoadLibraryA would open for a name (a POSIX path), empty when there is none;
// built-in modules have no file.
std::string NativeLibraryPath(std::string_view windowsName);

// Test seam: while it lives, GetProcAddress on the built-in module `module` (e.g.
// "kernel32.dll") answers `function` for `procName`, or fails with ERROR_PROC_NOT_FOUND when
// `function` is null, as on a system whose library lacks that export. The answer before comes
// back when it goes. Only built-in modules; nests.
class ScopedBuiltinExport {
 public:
  ScopedBuiltinExport(std::string module, std::string procName, FARPROC function);
  ~ScopedBuiltinExport();
  ScopedBuiltinExport(const ScopedBuiltinExport&) = delete;
  ScopedBuiltinExport& operator=(const ScopedBuiltinExport&) = delete;

 private:
  std::string key_;
  bool hadPrevious_ = false;
  FARPROC previous_ = nullptr;
};

// ---- The picture library smoothdc.dll --------------------------------------------------------
// Present unless [Platform] SmoothDC=0 in ..\cfg\setting.ini (read at each load) or a test
// switched it off; while absent, LoadLibraryA("smoothdc.dll") fails with ERROR_MOD_NOT_FOUND,
// so callers take their path without it. Its exports, by these names:
//   ConvertBitmap        int (LPCSTR sourceBmp, LPCSTR destination): converts a BMP file to the
//                        format the destination's extension names (".png", ".jpg"/".jpeg",
//                        ".gif", any case), replacing the destination whole; nonzero when the
//                        file was written, 0 for an unreadable BMP, another extension or a
//                        failed write (the destination is then untouched).
//   TextOutAntialiasing  BOOL (HDC, int x, int y, LPCSTR text, int length): TextOutA with the
//                        context's font, colours and modes, its glyphs always antialiased.
//   DrawLineAntialiasing BOOL (HDC, int x1, int y1, int x2, int y2, COLORREF): an antialiased
//                        one-pixel line over the context's pixels.
using ConvertBitmapProc = int (*)(LPCSTR sourceBmp, LPCSTR destination);
using TextOutAntialiasingProc = BOOL (*)(HDC dc, int x, int y, LPCSTR text, int length);
using DrawLineAntialiasingProc = BOOL (*)(HDC dc, int x1, int y1, int x2, int y2, COLORREF color);

// Test switch: true makes smoothdc.dll absent for later loads. Returns the previous setting.
bool SetPictureLibraryAbsent(bool absent);

class ScopedPictureLibraryAbsent {
 public:
  ScopedPictureLibraryAbsent() : previous_(SetPictureLibraryAbsent(true)) {}
  ~ScopedPictureLibraryAbsent() { SetPictureLibraryAbsent(previous_); }
  ScopedPictureLibraryAbsent(const ScopedPictureLibraryAbsent&) = delete;
  ScopedPictureLibraryAbsent& operator=(const ScopedPictureLibraryAbsent&) = delete;

 private:
  bool previous_;
};

}  // namespace zuvo::platform::library

// Windows-form paths ("..\cfg\setting.ini", "C:\zuvo\data") mapped onto the POSIX file system.
// Backslashes become slashes, every existing component is found without regard to case (a
// file created as NAMETBL.SH opens as nametbl.sh), missing components keep the spelling given,
// GBK names are stored on disk as UTF-8, and a drive letter maps to a folder per drive under
// the install root. Relative paths resolve against the process's current directory.
// Thread-safe: the directory cache is guarded.
#pragma once

#include <string>
#include <string_view>

namespace paths {

// The install root (the parent of the program folder bin/); drive folders live under it
// ("C:\x" -> <root>/drive_c/x). Set at start-up and by tests; defaults to the parent of the
// current directory.
void SetInstallRoot(const std::string& posixRoot);
std::string InstallRoot();

// Maps a Windows-form GBK path to the POSIX path (UTF-8) that reaches the same file.
// Existing components are matched case-insensitively (an exact match wins); the remainder is
// appended as given. Never fails; an empty input gives an empty result.
std::string Resolve(std::string_view windowsPath);

// Forgets cached directory listings (under a folder, or all with an empty argument). The file
// calls of the platform keep the cache current themselves; tests that change files behind the
// platform's back call this.
void InvalidateCache(const std::string& posixDir = {});

// Joins a component that came from a file or the network (an instrument code, a file
// extension, a market folder name) onto a trusted base. Refuses (returns false) components
// that are empty, contain '\\', '/', ':', a control byte, or are "." or "..". GBK is allowed.
bool CheckedJoin(std::string_view base, std::string_view component, std::string& out);

// True when a component from untrusted data is safe to place in a path (see CheckedJoin).
bool IsSafeComponent(std::string_view component);

}  // namespace paths

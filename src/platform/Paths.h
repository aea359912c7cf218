// Windows-form paths ("..\cfg\setting.ini", "C:\zuvo\data") mapped onto the POSIX file system.
// Backslashes become slashes, every existing component is found without regard to case (a
// file created as NAMETBL.SH opens as nametbl.sh), missing components keep the spelling given,
// GBK names are stored on disk as UTF-8 (bytes that are no GBK character escaped, see
// gbk::ToUtf8), and a drive letter maps to a folder per drive under the install root.
// Relative paths resolve against the process's current directory.
// Thread-safe: the directory cache is guarded. A path resolved before is answered from a table
// of whole paths, which holds exactly as long as the folder listings it came from.
#pragma once

#include <string>
#include <string_view>

namespace zuvo::platform::paths {

// The install root (the parent of the program folder bin/); drive folders live under it
// ("C:\x" -> <root>/drive_c/x). Set at start-up and by tests; defaults to the parent of the
// current directory.
void SetInstallRoot(const std::string& posixRoot);
std::string InstallRoot();

// Maps a Windows-form GBK path to the absolute POSIX path that reaches the same file; names
// are converted by gbk::ToUtf8, so every byte string has its own name on disk.
// Existing components are matched case-insensitively; where a folder holds several names that
// differ only in case, the exact spelling wins, else the name first in byte order (upper case
// first), whatever order the folder lists them in. The remainder is
// appended as given. "." and empty components are dropped and ".." removes the previous
// component as Windows does, without looking at the disk (trusted program paths such as
// "..\cfg\x" climb on purpose; use CheckedJoin for components from data). A path that starts
// with a separator is an absolute POSIX path; "C:" maps to <root>/drive_c, whose folder is
// created on first use (a drive always exists) and above which ".." does not climb.
// Never fails; an empty input gives an empty result.
std::string Resolve(std::string_view windowsPath);
// Same, and tells whether every component was found in the directory cache: when it was, and
// the file then turns out missing, the cache was stale (a change behind the platform's back);
// the caller forgets the path (ForgetPath) and resolves once more.
std::string Resolve(std::string_view windowsPath, bool* everyComponentFound);

// Keep the directory cache current after the platform itself created, removed or renamed an
// entry (POSIX paths as Resolve returns them). NoteRemoved of a directory also forgets the
// listings under it.
void NoteCreated(const std::string& posixPath);
void NoteRemoved(const std::string& posixPath);
// Forgets the cached listings of every directory along a path (a stale hit was found).
void ForgetPath(const std::string& posixPath);

// The Windows form of a POSIX path: UTF-8 names become GBK and '/' becomes '\'
// ("/opt/zuvo/bin" -> "\opt\zuvo\bin"), except after a name that ends in a lead byte with no
// trail byte, where '\' would join that byte into a character; Resolve maps it back to the
// same path.
std::string ToWindows(std::string_view posixPath);

// Forgets cached directory listings (under a folder, or all with an empty argument). The file
// calls of the platform keep the cache current themselves, and changes made behind the
// platform's back are noticed on their own: a lookup that misses re-reads a folder whose mtime
// moved, and the file calls retry once when a cached name turns out gone. Code that changes
// files through other means and needs the change seen at once (tests) calls this.
void InvalidateCache(const std::string& posixDir = {});

// Joins a component that came from a file or the network (an instrument code, a file
// extension, a market folder name) onto a trusted Windows-form base with one '\\'. Refuses
// (returns false, out untouched) components that are empty, contain '\\', '/', ':', a
// wildcard or other character Windows forbids in names ('*', '?', '"', '<', '>', '|'), a
// control byte, a lead byte with no trail byte, or are "." or "..". GBK is allowed: a trail
// byte that happens to equal '\\' is part of its character, not a separator.
bool CheckedJoin(std::string_view base, std::string_view component, std::string& out);

// True when a component from untrusted data is safe to place in a path (see CheckedJoin).
bool IsSafeComponent(std::string_view component);

}  // namespace zuvo::platform::paths

// The small handle-based file layer through which market tables, cache files and the dBase
// reader read and write. Modes are fopen-style texts ("rb", "wb", "r+b", "w+", "ab").
// NOTE: opening for writing never truncates ("wb" on an existing file keeps its old bytes,
// "r+b" creates a missing file). A writer that replaces a file writes from the start and then
// calls TruncateDataFile at the count written, or uses files::AtomicReplace. Stored files and
// callers rely on this; do not "fix" it here.
// The path is upper-cased in place (ASCII only, GBK bytes untouched) when the buffer is
// writable; every file the layer creates gets an upper-case name.
#pragma once

#include <cstdint>

struct OpenMode {
  bool read = true;
  bool write = false;
  bool append = false;
  bool create = false;   // a missing file is created
};

// Only the first three characters count; see the open-mode table in DataFile.cpp.
OpenMode ParseOpenMode(const char* mode);

// -1 when the path is null or empty, the mode is null, or the platform refuses.
int OpenDataFile(char* path, const char* mode);
// For literals and other read-only texts: same as above on an upper-cased copy.
int OpenDataFile(const char* path, const char* mode);
// Closes a handle greater than 0; any other value is ignored.
void CloseDataFile(int handle);
// origin 0 start, 1 current, 2 end; the new position or 0xFFFFFFFF on failure.
std::uint32_t SeekDataFile(int handle, std::int32_t distance, int origin);
// Bytes read (size*count asked for); 0 when the read faults, for a bad handle or buffer, and
// when size*count does not fit in 32 bits (the same holds for WriteDataFile).
std::uint32_t ReadDataFile(int handle, void* buffer, std::uint32_t size, std::uint32_t count);
// Bytes written; 0 when the write fails, a short count on a short write.
std::uint32_t WriteDataFile(int handle, const void* buffer, std::uint32_t size, std::uint32_t count);
// The file's size (low 32 bits); 0 for a bad handle.
std::uint32_t GetDataFileSize(int handle);
// Moves to the absolute offset and, when that succeeded, makes it the end of the file;
// returns the position (0xFFFFFFFF on failure).
std::uint32_t TruncateDataFile(int handle, std::uint32_t offset);

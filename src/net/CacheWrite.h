// The few file steps every writer of reply data shares: opening a cache file for writing
// (kept, created, or emptied), writing at a position, ending the file, stamping it with the
// clock word, and giving up on it (a failed write deletes the file so the next access asks the
// server again). Windows-form paths; UI thread only.
#pragma once

#include "platform/Files.h"

#include <cstdint>
#include <string>

namespace zuvo::net::cachewrite {

enum class Open {
  kKeep,      // open or create, keep what is there
  kEmpty,     // open or create, emptied
  kExisting,  // open only when it exists
};

// Read and write access, others may read. INVALID_HANDLE_VALUE when it cannot be opened.
HANDLE OpenForWriting(const std::string& path, Open how);

// The file's size, 0 for a bad handle. Files larger than 4 GB are not written here.
std::uint32_t FileSize(HANDLE file);

// Writes all `bytes` at `offset`; false when the position cannot be set or the write is short.
bool WriteAt(HANDLE file, std::uint32_t offset, const void* data, std::uint32_t bytes);
// Reads exactly `bytes` at `offset`.
bool ReadAt(HANDLE file, std::uint32_t offset, void* data, std::uint32_t bytes);
// Makes `offset` the end of the file (shorter or longer: a longer file is filled with zeros).
bool EndAt(HANDLE file, std::uint32_t offset);

// Sets the last-write time to the clock word SystemNow (UTC, seconds 0). False when the clock
// word is no calendar time or the time cannot be set.
bool Stamp(HANDLE file);
// The same on a file by its path (opened only when it exists).
bool StampPath(const std::string& path);

// Closes the handle (when open) and deletes the file.
void Discard(HANDLE& file, const std::string& path);

// Creates the folder and every missing folder above it; false when it is not there afterwards.
bool MakeFolder(const std::string& folder);

}  // namespace zuvo::net::cachewrite

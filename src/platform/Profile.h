// The profile-string (INI) functions with the Windows semantics the program relies on:
// case-insensitive (ASCII-only) section and key names, raw GBK values, CRLF on write, files
// and sections created on write, NULL value deletes a key and NULL key deletes a section.
// Parsed files are cached by resolved path and re-read when their modification time or size
// changes; writes update the cache and the file together. Thread-safe.
// File names are Windows-form paths (a bare name is relative to the current directory, i.e.
// the program folder). Lines starting with ';' are comments; where a section or key appears
// twice, the first one is read and written. Copies never end inside a double-byte character.
#pragma once

#include "platform/WinBase.h"

// Copies the value (blanks around it trimmed, one pair of surrounding quotes stripped) into
// buffer, at most size-1 bytes plus a zero; returns the number of bytes copied. With a NULL
// section it lists the section names, with a NULL key the keys of the section, each
// zero-terminated and the list ending with a second zero (truncated lists end with two zeros
// and return size-2). A missing key copies the default (NULL = ""), trimmed of trailing blanks.
DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultValue, LPSTR buffer,
                               DWORD size, LPCSTR fileName);
// The value read as a signed decimal integer (leading blanks and sign allowed, trailing junk
// ignored, clamped to the int range); the default only when the key is missing or its value is
// empty. A value that starts with no digits ("宋体", "-") reads as 0, as Windows reads it.
UINT GetPrivateProfileIntA(LPCSTR section, LPCSTR key, int defaultValue, LPCSTR fileName);
// Writes key=value in the section, replacing an existing key in place and keeping the other
// lines, comments and order. NULL value deletes the key, NULL key deletes the section.
// The file is rewritten whole with CRLF line ends through files::AtomicReplace, so a failed
// write leaves the old file. A value keeps only its first line (a line break would let it
// write other keys). Names are written trimmed of blanks, as they are looked up. Returns FALSE
// with ERROR_INVALID_PARAMETER (file untouched) for a name that would not read back under the
// same name: one empty once trimmed or holding a line break; a section holding ']' other than
// as the second byte of a GBK character, or ending in a lone GBK lead byte (which would take
// the closing ']' as its second byte); a key holding '=' or starting with '[' or ';'. FALSE
// also when the file cannot be written or exists but cannot be read. Deleting from a missing
// file creates nothing and returns TRUE.
BOOL WritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR fileName);
// The raw lines of a section (including lines without '='; comments and blank lines left out)
// as a double-zero list; returns the bytes copied (size-2 when truncated).
DWORD GetPrivateProfileSectionA(LPCSTR section, LPSTR buffer, DWORD size, LPCSTR fileName);
// The section names as a double-zero list; returns the bytes copied (size-2 when truncated).
DWORD GetPrivateProfileSectionNamesA(LPSTR buffer, DWORD size, LPCSTR fileName);
// Replaces the whole content of a section with the given double-zero list of lines (created
// at the end of the file when missing); NULL lines deletes the section. FALSE as above.
BOOL WritePrivateProfileSectionA(LPCSTR section, LPCSTR lines, LPCSTR fileName);

namespace zuvo::platform::profile {
// Drops every cached file (tests that rewrite INI files behind the platform's back).
void ClearCache();
}  // namespace zuvo::platform::profile

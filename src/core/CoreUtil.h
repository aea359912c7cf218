// Small helpers of the core library: directory creation along a path, blank trimming,
// copying class-library strings into character buffers, the scaled average price
// (ScaleAveragePrice, also called ComputeAxisStep).
#pragma once

#include "platform/WinBase.h"

#include <cstdint>

// True when the path exists or every missing directory along it was attempted; false when the
// path has 1020 characters or more. NOTE: a directory that could not be created still returns
// true (callers rely on it); ask CreateDirectoryPathFailed() right after the call to learn
// whether every directory along the path exists now. A null or empty path returns false.
// Separators are '\\' or '/'; double-byte GBK names are kept whole.
bool CreateDirectoryPath(const char* path);
// True when the last CreateDirectoryPath call of this thread left a directory missing (also
// after a refused path, or when a file stands where the directory should be).
bool CreateDirectoryPathFailed();

// Copies at most size-1 bytes and a zero; returns the count copied. 0 and nothing written
// when size <= 0. A double-byte character that does not fit whole is left out (one byte less).
int CopyAnsiString(const AnsiString& text, char* buffer, int size);
// Copies at most 511 bytes (cut as above) into a 512-byte buffer, one per thread, valid until
// the thread's next call.
char* AnsiStringToTemp(const AnsiString& text);

// Blanks are the bytes 1..32 and 127; GBK bytes (128 and above) are never blanks.
void TrimLeadingSpaces(char* text);
void TrimTrailingSpaces(char* text);
void TrimSpaces(char* text);

// amount / volume scaled by powers of ten to lie between half and five times the last price;
// the last price itself when volume, amount or last price are too small or amount too large.
double ScaleAveragePrice(float volume, float amount, float lastPrice);
// The same average price under the name the chart views call it by: amount / volume scaled
// by powers of ten towards the last price, as ScaleAveragePrice computes it.
inline double ComputeAxisStep(float volume, float amount, float lastPrice) {
  return ScaleAveragePrice(volume, amount, lastPrice);
}

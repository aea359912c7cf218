// Error reporting shared by the compiler's units: every parser reports relative to its own text
// and its caller shifts the position by where that text starts.
#pragma once

#include "formula/IndexModel.h"

namespace zuvo::formula {

// Stores the error and returns 0, the parsers' failure result.
inline int Fail(CZvIndex* indicator, const char* message, long position, long length) {
  indicator->SetError(message, static_cast<int>(position), static_cast<int>(length));
  return 0;
}

// Moves an inner parser's error position by the offset of its text in the caller's; returns 0.
inline int ShiftError(CZvIndex* indicator, long offset) {
  indicator->errorPosition += static_cast<int>(offset);
  return 0;
}

inline bool HasError(const CZvIndex* indicator) { return indicator->errorText[0] != 0; }

// Highlight length of one byte, or none at the end of the text.
inline long OneByteAt(const char* p) { return *p ? 1 : 0; }

}  // namespace zuvo::formula

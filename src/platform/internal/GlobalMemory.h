// What the clipboard needs of global memory besides the public calls: reading a text block and
// taking blocks into its own keeping, where GlobalFree of another caller cannot reach them.
#pragma once

#include "platform/internal/Guard.h"

#include "platform/Kernel.h"

#include <optional>
#include <string>

namespace zuvo::platform::globalmem {

// The bytes of a block up to its first zero byte, or all of them when it has none; nullopt
// for a bad handle.
std::optional<std::string> ReadText(HGLOBAL memory);
// Marks a block as the clipboard's (GlobalFree then refuses it). False for a bad handle.
bool Adopt(HGLOBAL memory);
// Frees a block the clipboard owns. Null is ignored.
void FreeAdopted(HGLOBAL memory);
// Number of live blocks (tests use it to find leaks).
std::size_t LiveCount();

}  // namespace zuvo::platform::globalmem

// Base64 (the standard alphabet with '=' padding) of a NUL-terminated text, as the HTTP proxy's
// Basic authentication carries user name and password. The output is one line: a header value
// cannot hold a line break, so none is inserted however long the text is.
#pragma once

#include <cstddef>

namespace zuvo::net {

// The bytes Base64Encode writes for a text of `textLength` bytes, the terminator included.
constexpr std::size_t Base64EncodedSize(std::size_t textLength) { return (textLength + 2) / 3 * 4 + 1; }

// Writes the base64 form of `text` into `output`, which must hold
// Base64EncodedSize(strlen(text)) bytes, and terminates it. Returns `output`.
char* Base64Encode(const char* text, char* output);

}  // namespace zuvo::net

// LCompressLite: the decoder of the servers' LZW streams ("WMC15" followed by MSB-first codes,
// 9 bits wide at the start and after each reset; 256 end, 257 widen, 258 reset). It holds only
// working memory (the dictionary), allocated once with the object: a call allocates nothing and
// keeps no state for the next. Each network client owns one; one object serves one thread.
//
// Stream rules a reader would not guess:
// - The code after the start or after a 258 is always a literal: its low 8 bits are written
//   even when it is 256 or more (only 256 itself, as that first code, ends the data).
// - A stream without 256 ends where its bits end: a last code cut by the end of the source is
//   the end of data, and the call succeeds with what was written.
// - Servers keep a stream at or below capacity - 5 decoded bytes: once more than that has been
//   written the next code is refused (201) even when it is the end code.
#pragma once

#include <cstdint>
#include <memory>

// DecodeLzw results.
constexpr int kLzwOk = 0;
constexpr int kLzwOutputFull = 201;    // more than capacity - 5 bytes written before a code, or a
                                       // string that does not fit the room left
constexpr int kLzwBadMagic = 203;      // the source does not start with "WMC15"
constexpr int kLzwBadCode = 206;       // a code or string the dictionary cannot hold

// The longest string a code may stand for is kLzwStackBytes - 2 bytes; codes at or above
// kLzwFirstUnusableCode are never defined, and an entry whose prefix chain links through a
// code above kLzwLargestPrefix is refused. A dictionary that would grow past its last usable
// code without a reset is refused too.
constexpr int kLzwStackBytes = 35024;
constexpr int kLzwDictionaryEntries = 35072;
constexpr int kLzwFirstUnusableCode = 35023;
constexpr int kLzwLargestPrefix = 32767;
// Codes are at most this many bits wide; a 257 beyond it is refused.
constexpr int kLzwMaxWidth = 16;

class LCompressLite {
 public:
  LCompressLite();
  ~LCompressLite();
  LCompressLite(const LCompressLite&) = delete;
  LCompressLite& operator=(const LCompressLite&) = delete;

  // Decodes source[0, sourceLength) into output (capacity bytes). kLzwOk with *outputLength
  // set, or an error code with *outputLength untouched:
  // - kLzwBadMagic when the source is shorter than or does not start with "WMC15" (nothing is
  //   written);
  // - kLzwOutputFull when more than capacity - 5 bytes were written before a code was read, or
  //   when a string does not fit the room left;
  // - kLzwBadCode for a code above the next free code, a code beyond the dictionary, a width
  //   above kLzwMaxWidth, a dictionary growing past its last code, or a string the limits
  //   above refuse.
  // Never writes past capacity nor reads past sourceLength. Bytes of output beyond the decoded
  // length (up to capacity) may be overwritten, on success as on failure.
  int DecodeLzw(const std::uint8_t* source, int sourceLength, std::uint8_t* output, int capacity,
                int* outputLength);

 private:
  // A code's string is always a run of bytes already written to the output: the string of the
  // previous code followed by the first byte of the next one. So an entry is that run.
  struct Entry {
    std::uint32_t start;    // offset in the output
    std::uint16_t length;
    std::uint8_t refused;   // its prefix chain links through a code above kLzwLargestPrefix
  };
  std::unique_ptr<Entry[]> dictionary_;
};

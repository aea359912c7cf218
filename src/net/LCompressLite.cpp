#include "net/LCompressLite.h"

#include <bit>
#include <cstring>

namespace {

constexpr std::uint8_t kMagic[5] = {'W', 'M', 'C', '1', '5'};
constexpr int kMagicSize = 5;
constexpr std::uint32_t kEndCode = 256;
constexpr std::uint32_t kWidenCode = 257;
constexpr std::uint32_t kResetCode = 258;
constexpr std::uint32_t kFirstFreeCode = 259;
constexpr int kStartWidth = 9;
constexpr std::uint32_t kLongestString = kLzwStackBytes - 2;
// The room every code is read with: a stream may hold only capacity - 5 decoded bytes.
constexpr int kReadAhead = 5;
// Strings are copied in blocks of this size when the room allows it (most strings are shorter
// than one block).
constexpr std::uint32_t kBlock = 16;

// Codes most significant bit first. Up to 64 bits are held left-aligned; bits past `count_`
// are either zero or the true bits of the byte at `at_` (a wide refill reads ahead), so ORing
// that byte in again later changes nothing.
class BitReader {
 public:
  BitReader(const std::uint8_t* at, const std::uint8_t* end) : at_(at), end_(end) {}

  // The next code of `width` bits; false when fewer bits than that are left in the source.
  bool Read(int width, std::uint32_t* code) {
    // Topping up on every code costs less than deciding whether to.
    if (end_ - at_ >= 8) {
      RefillWide();
    } else if (count_ < width) {
      RefillTail();
      if (count_ < width) return false;
    }
    *code = static_cast<std::uint32_t>(bits_ >> (64 - width));
    bits_ <<= width;
    count_ -= width;
    return true;
  }

 private:
  // At least 56 bits held afterwards; needs 8 bytes left in the source.
  void RefillWide() {
    std::uint64_t word;
    std::memcpy(&word, at_, sizeof word);
    if constexpr (std::endian::native == std::endian::little) word = __builtin_bswap64(word);
    bits_ |= word >> count_;
    at_ += (63 - count_) >> 3;
    count_ |= 56;
  }

  // The last bytes one at a time, never past the end.
  void RefillTail() {
    while (count_ <= 56 && at_ < end_) {
      bits_ |= static_cast<std::uint64_t>(*at_++) << (56 - count_);
      count_ += 8;
    }
  }

  const std::uint8_t* at_;
  const std::uint8_t* end_;
  std::uint64_t bits_ = 0;
  int count_ = 0;
};

// Copies `length` bytes that lie wholly before `to` (from + length <= to). With at least
// length + kBlock bytes of room the copy goes in whole blocks: a block may read bytes at or
// after `to` that an earlier block wrote, but only ever past the end of the string, so the
// string arrives intact and the excess is overwritten by what follows.
inline void CopyEarlier(std::uint8_t* to, const std::uint8_t* from, std::uint32_t length, std::uint32_t room) {
  if (room >= length + kBlock) {
    for (std::uint32_t done = 0; done < length; done += kBlock) {
      std::uint8_t block[kBlock];
      std::memcpy(block, from + done, kBlock);
      std::memcpy(to + done, block, kBlock);
    }
    return;
  }
  std::memcpy(to, from, length);
}

}  // namespace

LCompressLite::LCompressLite() : dictionary_(std::make_unique<Entry[]>(kLzwDictionaryEntries)) {}

LCompressLite::~LCompressLite() = default;

int LCompressLite::DecodeLzw(const std::uint8_t* source, int sourceLength, std::uint8_t* output, int capacity,
                             int* outputLength) {
  if (source == nullptr || sourceLength < kMagicSize || std::memcmp(source, kMagic, kMagicSize) != 0) {
    return kLzwBadMagic;
  }
  if (output == nullptr || capacity < 0) capacity = 0;

  // Entries are never cleared: a code at or above the next free code is never looked up, so
  // what an earlier call or an earlier dictionary left there is never read.
  Entry* const dictionary = dictionary_.get();
  BitReader reader(source + kMagicSize, source + sourceLength);
  std::uint32_t written = 0;
  const std::uint32_t room = static_cast<std::uint32_t>(capacity);
  std::uint32_t code = 0;

  for (;;) {
    // A dictionary: from the start or a reset up to the next reset.
    int width = kStartWidth;
    std::uint32_t nextFree = kFirstFreeCode;
    if (!reader.Read(width, &code) || code == kEndCode) break;
    // The first code is a literal whatever its value; the dictionary goes on from the byte
    // actually written, so that its strings are what the output holds.
    if (written >= room) return kLzwOutputFull;
    output[written] = static_cast<std::uint8_t>(code);
    std::uint32_t previous = code & 0xFF;
    std::uint32_t previousStart = written;
    std::uint32_t previousLength = 1;
    bool previousRefused = false;
    written += 1;

    bool reset = false;
    while (!reset) {
      if (static_cast<std::int64_t>(written) > static_cast<std::int64_t>(capacity) - kReadAhead) {
        return kLzwOutputFull;
      }
      // A code cut by the end of the source ends the data like the end code.
      if (!reader.Read(width, &code) || code == kEndCode) {
        *outputLength = static_cast<int>(written);
        return kLzwOk;
      }
      if (code == kResetCode) {
        reset = true;
        continue;
      }
      if (code == kWidenCode) {
        if (++width > kLzwMaxWidth) return kLzwBadCode;
        continue;
      }
      // Every string adds an entry at the next free code: past the last usable one the
      // dictionary cannot hold it.
      if (nextFree >= static_cast<std::uint32_t>(kLzwFirstUnusableCode)) return kLzwBadCode;

      const std::uint32_t left = room - written;  // at least kReadAhead
      std::uint32_t length;
      bool refused = false;
      if (code < 256) {
        output[written] = static_cast<std::uint8_t>(code);
        length = 1;
      } else if (code < nextFree) {
        const Entry entry = dictionary[code];
        if (entry.refused) return kLzwBadCode;
        length = entry.length;
        if (length > kLongestString) return kLzwBadCode;
        if (length > left) return kLzwOutputFull;
        CopyEarlier(output + written, output + entry.start, length, left);
      } else if (code == nextFree) {
        // Not defined yet: the previous string followed by its own first byte.
        if (previousRefused) return kLzwBadCode;
        length = previousLength + 1;
        if (length > kLongestString) return kLzwBadCode;
        if (length > left) return kLzwOutputFull;
        CopyEarlier(output + written, output + previousStart, previousLength, left);
        output[written + previousLength] = output[previousStart];
        refused = previous > static_cast<std::uint32_t>(kLzwLargestPrefix);
      } else {
        return kLzwBadCode;
      }

      // The new entry is the previous string followed by this string's first byte: exactly
      // the bytes from the previous string's start up to this one's first byte.
      dictionary[nextFree] = Entry{previousStart, static_cast<std::uint16_t>(previousLength + 1),
                                   static_cast<std::uint8_t>(
                                       previousRefused || previous > static_cast<std::uint32_t>(kLzwLargestPrefix))};
      ++nextFree;
      previous = code;
      previousStart = written;
      previousLength = length;
      previousRefused = refused;
      written += length;
    }
  }
  *outputLength = static_cast<int>(written);
  return kLzwOk;
}

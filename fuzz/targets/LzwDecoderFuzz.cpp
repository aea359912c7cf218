// Fuzz target "lzw": the LZW stream decoder (LCompressLite::DecodeLzw) on untrusted streams, and
// on the encoder's streams of untrusted plain bytes.
// Input: one part, a stream decoded into 16384 bytes (a frame's output buffer); or parts
// control, bytes. Control: the mode (bit 0 clear: the bytes are a stream; set: plain bytes,
// encoded first) and the capacity of a stream's output (below 256 KB, so that strings can reach
// the decoder's length limit).
// Property: a stream gets exactly the answer of a plain reference decoder that expands every
// code through its prefix links onto a stack (result, and on success length and bytes); the
// decoder writes nothing past the capacity and sets the length only on success; and a second
// call on the same object answers the same (no state survives a call). Plain bytes come back
// unchanged into their size + 5 bytes, and one byte less is refused as full.
#include "FuzzSupport.h"
#include "FuzzTargets.h"

#include "LzwEncoder.h"
#include "net/LCompressLite.h"

#include <algorithm>
#include <memory>
#include <string_view>
#include <vector>

namespace {

constexpr int kFrameOutput = 16384;
constexpr std::uint32_t kCapacityRange = 1u << 18;
constexpr std::size_t kGuard = 32;
constexpr std::uint8_t kGuardByte = 0x5A;
constexpr int kUnset = -12345;

// The decoder as simply as it can be written: a dictionary of (prefix code, byte) cleared at
// every start, each string walked from its last byte to its first onto a stack.
class ReferenceDecoder {
 public:
  ReferenceDecoder() : prefix_(kLzwDictionaryEntries), byte_(kLzwDictionaryEntries), stack_(kLzwStackBytes + 1) {}

  int Decode(std::string_view source, std::uint8_t* output, int capacity, int* outputLength) {
    if (source.size() < 5 || source.substr(0, 5) != "WMC15") return kLzwBadMagic;
    source_ = source;
    bit_ = 40;
    std::int64_t written = 0;
    std::uint32_t code = 0;
    for (;;) {
      std::fill(prefix_.begin(), prefix_.end(), 0);
      std::fill(byte_.begin(), byte_.end(), 0);
      int width = 9;
      std::uint32_t nextFree = 259;
      if (!Read(width, &code) || code == 256) break;
      if (written >= capacity) return kLzwOutputFull;
      std::uint32_t previous = code & 0xFF;
      std::uint8_t first = static_cast<std::uint8_t>(previous);
      output[written++] = first;
      for (;;) {
        if (written > static_cast<std::int64_t>(capacity) - 5) return kLzwOutputFull;
        if (!Read(width, &code) || code == 256) {
          *outputLength = static_cast<int>(written);
          return kLzwOk;
        }
        if (code == 258) break;
        if (code == 257) {
          if (++width > kLzwMaxWidth) return kLzwBadCode;
          continue;
        }
        if (nextFree >= static_cast<std::uint32_t>(kLzwFirstUnusableCode) || code > nextFree) return kLzwBadCode;
        std::size_t depth = 0;
        std::uint32_t walk = code;
        if (code == nextFree) {
          stack_[depth++] = first;
          walk = previous;
        }
        while (walk > 255) {
          stack_[depth++] = byte_[walk];
          walk = prefix_[walk];
          if (walk > static_cast<std::uint32_t>(kLzwLargestPrefix)) return kLzwBadCode;
          if (depth >= static_cast<std::size_t>(kLzwFirstUnusableCode)) return kLzwBadCode;
        }
        stack_[depth++] = static_cast<std::uint8_t>(walk);
        if (depth >= static_cast<std::size_t>(kLzwFirstUnusableCode)) return kLzwBadCode;
        if (static_cast<std::int64_t>(depth) > capacity - written) return kLzwOutputFull;
        first = stack_[depth - 1];
        while (depth > 0) output[written++] = stack_[--depth];
        prefix_[nextFree] = previous;
        byte_[nextFree] = first;
        ++nextFree;
        previous = code;
      }
    }
    *outputLength = static_cast<int>(written);
    return kLzwOk;
  }

 private:
  // A code cut by the end of the source is no code.
  bool Read(int width, std::uint32_t* code) {
    if (bit_ + static_cast<std::size_t>(width) > source_.size() * 8) return false;
    std::uint32_t value = 0;
    for (int i = 0; i < width; ++i, ++bit_) {
      value = (value << 1) | ((static_cast<std::uint8_t>(source_[bit_ >> 3]) >> (7 - (bit_ & 7))) & 1u);
    }
    *code = value;
    return true;
  }

  std::vector<std::uint32_t> prefix_;
  std::vector<std::uint8_t> byte_;
  std::vector<std::uint8_t> stack_;
  std::string_view source_;
  std::size_t bit_ = 0;
};

struct Answer {
  int result = kUnset;
  int length = kUnset;
  std::vector<std::uint8_t> output;   // the decoded bytes on success
};

// The source is copied into an allocation of its exact size, so that the sanitizer sees any
// read past it.
Answer Decode(LCompressLite& decoder, std::string_view stream, int capacity) {
  const auto source = std::make_unique<std::uint8_t[]>(stream.size());
  std::copy(stream.begin(), stream.end(), source.get());
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(capacity) + kGuard, kGuardByte);
  Answer answer;
  answer.result = decoder.DecodeLzw(source.get(), static_cast<int>(stream.size()), buffer.data(), capacity,
                                    &answer.length);
  for (std::size_t i = static_cast<std::size_t>(capacity); i < buffer.size(); ++i) {
    FUZZ_CHECK(buffer[i] == kGuardByte, "nothing is written past the capacity");
  }
  FUZZ_CHECK(answer.result == kLzwOk || answer.result == kLzwOutputFull || answer.result == kLzwBadMagic ||
                 answer.result == kLzwBadCode,
             "the result is success or one of the error codes");
  if (answer.result != kLzwOk) {
    FUZZ_CHECK(answer.length == kUnset, "an error leaves the output length alone");
    return answer;
  }
  FUZZ_CHECK(answer.length >= 0 && answer.length <= capacity, "a success fits the capacity");
  answer.output.assign(buffer.begin(), buffer.begin() + answer.length);
  return answer;
}

void CheckStream(std::string_view stream, int capacity) {
  static LCompressLite decoder;   // one object for every input, as a client keeps its own
  static ReferenceDecoder reference;
  const Answer answer = Decode(decoder, stream, capacity);

  std::vector<std::uint8_t> expected(static_cast<std::size_t>(capacity));
  int expectedLength = kUnset;
  const int expectedResult = reference.Decode(stream, expected.data(), capacity, &expectedLength);
  FUZZ_CHECK(answer.result == expectedResult, "the result is the reference decoder's");
  if (expectedResult == kLzwOk) {
    FUZZ_CHECK(answer.length == expectedLength, "the length is the reference decoder's");
    FUZZ_CHECK(std::equal(answer.output.begin(), answer.output.end(), expected.begin()),
               "the bytes are the reference decoder's");
  }

  const Answer again = Decode(decoder, stream, capacity);
  FUZZ_CHECK(again.result == answer.result && again.output == answer.output, "a second call answers the same");
}

void CheckPlain(std::string_view plain) {
  static LCompressLite decoder;
  std::vector<std::uint8_t> stream;
  zuvo::quoteserver::EncodeLzwUnlimited(reinterpret_cast<const std::uint8_t*>(plain.data()), plain.size(), &stream);
  const std::string_view encoded(reinterpret_cast<const char*>(stream.data()), stream.size());
  const int size = static_cast<int>(plain.size());
  const Answer answer = Decode(decoder, encoded, size + 5);
  FUZZ_CHECK(answer.result == kLzwOk, "an encoded stream decodes into its size + 5 bytes");
  FUZZ_CHECK(std::equal(answer.output.begin(), answer.output.end(), plain.begin(), plain.end(),
                        [](std::uint8_t a, char b) { return a == static_cast<std::uint8_t>(b); }),
             "an encoded stream decodes to its plain bytes");
  if (size > 0) {
    FUZZ_CHECK(Decode(decoder, encoded, size + 4).result == kLzwOutputFull, "one byte less is refused as full");
  }
}

}  // namespace

int FuzzLzwDecoder(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::string_view> parts =
      fuzz::SplitParts(std::string_view(reinterpret_cast<const char*>(data), size), 2);
  if (parts.size() < 2) {
    CheckStream(parts[0], kFrameOutput);
    return 0;
  }
  fuzz::ControlReader control(parts[0]);
  const bool plain = (control.U8() & 1) != 0;
  const int capacity = static_cast<int>(control.U32(kFrameOutput) % kCapacityRange);
  if (plain) {
    CheckPlain(parts[1]);
  } else {
    CheckStream(parts[1], capacity);
  }
  return 0;
}

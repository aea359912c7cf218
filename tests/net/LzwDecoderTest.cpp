// The LZW stream decoder: the stream rules on hand-made code sequences, round trips through the
// project's encoder, corrupt and cut streams, and a seeded mutation loop. Every decode runs into
// a buffer with guard bytes after its capacity: nothing may be written there.
#include "net/LCompressLite.h"

#include "LzwEncoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

using zuvo::quoteserver::EncodeLzw;
using zuvo::quoteserver::EncodeLzwUnlimited;
using zuvo::quoteserver::kMaxLzwInput;

constexpr int kFrameOutput = 16384;
constexpr std::size_t kGuard = 64;
constexpr std::uint8_t kGuardByte = 0xA5;
constexpr int kUntouched = -77;

// A stream built code by code, most significant bit first after the magic. The width follows
// the codes as a decoder sees them: 257 widens the codes after it, 258 (after the first code)
// brings them back to 9 bits.
class Codes {
 public:
  Codes() = default;
  Codes(std::initializer_list<std::uint32_t> codes) { Put(codes); }

  Codes& Put(std::initializer_list<std::uint32_t> codes) {
    for (std::uint32_t code : codes) Put(code);
    return *this;
  }
  Codes& Put(std::uint32_t code) {
    PutBits(code, width_);
    if (code == 257 && !first_) ++width_;
    if (code == 258 && !first_) {
      width_ = 9;
      first_ = true;
      return *this;
    }
    first_ = false;
    return *this;
  }
  Codes& Repeat(std::uint32_t code, int times) {
    for (int i = 0; i < times; ++i) Put(code);
    return *this;
  }
  // The stream, its last partial byte padded with zero bits.
  std::string Stream() const {
    std::string stream = "WMC15";
    std::uint8_t byte = 0;
    for (std::size_t i = 0; i < bits_.size(); ++i) {
      byte = static_cast<std::uint8_t>((byte << 1) | bits_[i]);
      if (i % 8 == 7) {
        stream.push_back(static_cast<char>(byte));
        byte = 0;
      }
    }
    if (bits_.size() % 8 != 0) stream.push_back(static_cast<char>(byte << (8 - bits_.size() % 8)));
    return stream;
  }

 private:
  void PutBits(std::uint32_t code, int width) {
    for (int bit = width - 1; bit >= 0; --bit) {
      bits_.push_back(static_cast<std::uint8_t>(bit < 32 ? (code >> bit) & 1 : 0));
    }
  }
  std::vector<std::uint8_t> bits_;
  int width_ = 9;
  bool first_ = true;  // the next code is the first of a dictionary (a literal)
};

struct Decoded {
  int result = kUntouched;
  int length = kUntouched;
  std::string output;  // the decoded bytes on success
};

// Decodes into `capacity` bytes followed by guard bytes; fails the test when a guard byte
// changed, when an error set the length, or when success reports more than the capacity. The
// source lies in an allocation of its exact size, so that the sanitizer sees any read past it.
Decoded Decode(LCompressLite& decoder, const std::string& stream, int capacity) {
  const auto source = std::make_unique<std::uint8_t[]>(stream.size());
  std::copy(stream.begin(), stream.end(), source.get());
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(capacity) + kGuard, kGuardByte);
  Decoded decoded;
  decoded.result = decoder.DecodeLzw(source.get(), static_cast<int>(stream.size()), buffer.data(), capacity,
                                     &decoded.length);
  EXPECT_TRUE(std::all_of(buffer.begin() + capacity, buffer.end(), [](std::uint8_t b) { return b == kGuardByte; }))
      << "written past the capacity";
  if (decoded.result == kLzwOk) {
    EXPECT_GE(decoded.length, 0);
    EXPECT_LE(decoded.length, capacity);
    if (decoded.length >= 0 && decoded.length <= capacity) {
      decoded.output.assign(reinterpret_cast<const char*>(buffer.data()), static_cast<std::size_t>(decoded.length));
    }
  } else {
    EXPECT_EQ(decoded.length, kUntouched) << "an error set the output length";
  }
  return decoded;
}

Decoded Decode(const std::string& stream, int capacity = kFrameOutput) {
  LCompressLite decoder;
  return Decode(decoder, stream, capacity);
}

std::string Encode(const std::string& plain) {
  std::vector<std::uint8_t> out;
  EXPECT_TRUE(EncodeLzw(reinterpret_cast<const std::uint8_t*>(plain.data()), plain.size(), &out));
  return std::string(out.begin(), out.end());
}

std::string EncodeUnlimited(const std::string& plain) {
  std::vector<std::uint8_t> out;
  EncodeLzwUnlimited(reinterpret_cast<const std::uint8_t*>(plain.data()), plain.size(), &out);
  return std::string(out.begin(), out.end());
}

std::string RandomBytes(std::size_t size, unsigned seed, unsigned alphabet) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random() % alphabet);
  return bytes;
}

// Push-record-like text: 128-byte records of one instrument's fields that change a little.
std::string QuoteRecords(std::size_t size) {
  std::string records;
  std::mt19937 random(7);
  for (int i = 0; records.size() < size; ++i) {
    std::string record = "600" + std::to_string(100 + i % 40) + " 华东银行 ";
    record += std::to_string(1000 + random() % 50) + " " + std::to_string(990 + random() % 30) + " ";
    record += std::to_string(random() % 100000) + " 09:3" + std::to_string(i % 10);
    record.resize(128, '\0');
    records += record;
  }
  records.resize(size);
  return records;
}

std::string Literals(char c, int count) { return std::string(static_cast<std::size_t>(count), c); }

struct Case {
  const char* name;
  std::string stream;
  int capacity;
  int result;
  std::string output;  // on success
};

void RunCases(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Decoded decoded = Decode(c.stream, c.capacity);
    EXPECT_EQ(decoded.result, c.result);
    if (c.result == kLzwOk) {
      EXPECT_EQ(decoded.output, c.output);
    }
  }
}

TEST(LzwDecoderTest, FollowsTheStreamRules) {
  const std::string golden("WMC15\x20\x90\xA0\x70\x58\x00", 11);
  const Codes literals16380 = Codes().Repeat('x', 16380).Put(256);
  const Codes literals16379 = Codes().Repeat('x', 16379).Put(256);
  RunCases({
      // 65, 66, 259 "AB", 261 is the code being defined (KwKwK), 256.
      {"the golden stream", golden, kFrameOutput, kLzwOk, "ABABABA"},
      {"the golden stream from hand-made codes", Codes{65, 66, 259, 261, 256}.Stream(), kFrameOutput, kLzwOk, "ABABABA"},
      {"a wrong magic", std::string("WMC16\x20\x90\xA0\x70\x58\x00", 11), kFrameOutput, kLzwBadMagic, ""},
      {"a lower-case magic", "wmc15", kFrameOutput, kLzwBadMagic, ""},
      {"shorter than the magic", "WMC1", kFrameOutput, kLzwBadMagic, ""},
      {"an empty source", "", kFrameOutput, kLzwBadMagic, ""},
      {"the magic only", "WMC15", kFrameOutput, kLzwOk, ""},
      {"the end code first", Codes{256}.Stream(), kFrameOutput, kLzwOk, ""},
      {"the end code first, no room at all", Codes{256}.Stream(), 0, kLzwOk, ""},
      {"no room for the first literal", Codes{65, 256}.Stream(), 0, kLzwOutputFull, ""},
      // The first code of a dictionary is written as its low 8 bits, and the dictionary goes on
      // from that byte: 259 right after it is that byte twice.
      {"the first code above 255", Codes{0x141, 259, 256}.Stream(), kFrameOutput, kLzwOk, "AAA"},
      {"257 and 258 as first codes are literals", Codes{257, 256}.Stream(), kFrameOutput, kLzwOk, "\x01"},
      {"the literal after a reset above 255", Codes{66, 258, 0x141, 259, 256}.Stream(), kFrameOutput, kLzwOk,
       "BAAA"},
      {"258 as the first code, then a reset", Codes{258, 258, 65, 256}.Stream(), kFrameOutput, kLzwOk, "\x02" "A"},
      {"the dictionary starts again at 259 after a reset", Codes{65, 66, 259, 258, 67, 68, 259, 256}.Stream(),
       kFrameOutput, kLzwOk, "ABABCDCD"},
      {"a reset at the end of the source", Codes{65, 258}.Stream(), kFrameOutput, kLzwOk, "A"},
      {"two 257 make 11-bit codes", Codes{65, 257, 257, 66, 259, 256}.Stream(), kFrameOutput, kLzwOk,
       "ABAB"},
      {"seven 257 make 16-bit codes", Codes{65}.Repeat(257, 7).Put({66, 259, 256}).Stream(), kFrameOutput, kLzwOk,
       "ABAB"},
      {"a reset brings the width back to 9", Codes{65, 257, 257, 258, 66, 259, 256}.Stream(), kFrameOutput, kLzwOk,
       "ABBB"},
      // The servers keep streams at capacity - 5 decoded bytes: one byte more is refused even
      // when only the end code follows.
      {"16379 bytes into 16384", literals16379.Stream(), kFrameOutput, kLzwOk, Literals('x', 16379)},
      {"16380 bytes into 16384", literals16380.Stream(), kFrameOutput, kLzwOutputFull, ""},
      {"a stream without an end code", Codes{65, 66, 259}.Stream(), kFrameOutput, kLzwOk, "ABAB"},
  });
}

TEST(LzwDecoderTest, RefusesCorruptStreams) {
  // "A", "AA", "AAA", ... each code the one being defined: after 65 259 260 261 262 the output
  // holds 15 bytes and 263 stands for 6 more, and then 263 is defined.
  const Codes growing = Codes{65, 259, 260, 261, 262, 263};
  // Literals until the next free code is the first one the dictionary cannot use.
  const int toFull = kLzwFirstUnusableCode - 259;
  const Codes full = Codes{'a'}.Repeat('b', toFull);
  // Code 32768 defined ("bb"), then 32770 ("bbc") made with 32768 as its prefix.
  const Codes highPrefix = Codes{'a'}.Repeat('b', 32768 - 259 + 1).Repeat(257, 7).Put({32768, 'c'});
  RunCases({
      {"a code past the next free code", Codes{65, 260, 256}.Stream(), kFrameOutput, kLzwBadCode, ""},
      {"a code past the next free code, later", Codes{65, 66, 67, 263, 256}.Stream(), kFrameOutput, kLzwBadCode, ""},
      {"a 16-bit code far ahead", Codes{65}.Repeat(257, 7).Put({65535, 256}).Stream(), kFrameOutput, kLzwBadCode,
       ""},
      {"257 beyond 16 bits", Codes{65}.Repeat(257, 8).Put(256).Stream(), kFrameOutput, kLzwBadCode, ""},
      {"257 without end", Codes{65}.Repeat(257, 40).Stream(), kFrameOutput, kLzwBadCode, ""},
      {"the dictionary filled to its last code", Codes(full).Put(256).Stream(), 1 << 20, kLzwOk,
       "a" + Literals('b', toFull)},
      {"no reset past the dictionary", Codes(full).Put({'b', 256}).Stream(), 1 << 20, kLzwBadCode, ""},
      {"no reset past the dictionary, frame output", Codes(full).Put({'b', 256}).Stream(), kFrameOutput,
       kLzwOutputFull, ""},
      {"a string linking through a code above 32767", Codes(highPrefix).Put({32770, 256}).Stream(), 1 << 20,
       kLzwBadCode, ""},
      {"the code above 32767 itself", Codes(highPrefix).Put({32768, 256}).Stream(), 1 << 20, kLzwOk,
       "a" + Literals('b', 32768 - 259 + 1) + "bb" + "c" + "bb"},
      // Room checks: more than capacity - 5 written, or a string longer than the room left.
      {"a string one byte over the room", Codes(growing).Put(256).Stream(), 20, kLzwOutputFull, ""},
      {"the same string with room", Codes(growing).Put(256).Stream(), 26, kLzwOk, Literals('A', 21)},
      {"a defined string over the room", Codes(growing).Put({263, 256}).Stream(), 26, kLzwOutputFull, ""},
      {"a defined string with room", Codes(growing).Put({263, 256}).Stream(), 32, kLzwOk, Literals('A', 27)},
      {"a small capacity refuses before the second code", Codes{65, 66, 256}.Stream(), 5, kLzwOutputFull, ""},
      {"the smallest capacity for two bytes", Codes{65, 66, 256}.Stream(), 7, kLzwOk, "AB"},
  });
}

TEST(LzwDecoderTest, ACutCodeEndsTheData) {
  // The golden codes end at bits 9, 18, 27, 36 and 45 after the magic.
  const std::string golden("WMC15\x20\x90\xA0\x70\x58\x00", 11);
  const struct {
    std::size_t bytes;
    const char* output;
  } cuts[] = {{0, ""}, {1, ""}, {2, "A"}, {3, "AB"}, {4, "ABAB"}, {5, "ABABABA"}, {6, "ABABABA"}};
  for (const auto& cut : cuts) {
    SCOPED_TRACE(cut.bytes);
    const Decoded decoded = Decode(golden.substr(0, 5 + cut.bytes));
    EXPECT_EQ(decoded.result, kLzwOk);
    EXPECT_EQ(decoded.output, cut.output);
  }

  // Any cut of a real stream decodes to a start of its input.
  const std::string plain = RandomBytes(3000, 11, 5) + QuoteRecords(3000);
  const std::string stream = Encode(plain);
  LCompressLite decoder;
  std::size_t previousLength = 0;
  for (std::size_t size = 5; size <= stream.size(); ++size) {
    const Decoded decoded = Decode(decoder, stream.substr(0, size), kFrameOutput);
    ASSERT_EQ(decoded.result, kLzwOk) << size;
    ASSERT_EQ(decoded.output, plain.substr(0, decoded.output.size())) << size;
    ASSERT_GE(decoded.output.size(), previousLength) << size;
    previousLength = decoded.output.size();
  }
  EXPECT_EQ(previousLength, plain.size());
}

TEST(LzwDecoderTest, RoundTripsTheEncodersStreams) {
  std::string every;
  for (int i = 0; i < 4096; ++i) every.push_back(static_cast<char>(i * 7 % 256));
  std::string text;
  for (int i = 0; text.size() < kMaxLzwInput; ++i) text += "浦发银行 " + std::to_string(i * 37 % 1000) + " 成交\r\n";
  text.resize(kMaxLzwInput);
  const struct {
    const char* name;
    std::string plain;
  } cases[] = {
      {"empty", ""},
      {"one byte", "Q"},
      {"every byte value", every},
      {"a run (long chains)", Literals('z', static_cast<int>(kMaxLzwInput))},
      {"two alternating runs", [] {
         std::string s;
         for (int i = 0; s.size() < kMaxLzwInput; ++i) s += Literals(i % 2 ? 'a' : 'b', 1 + i % 300);
         return s.substr(0, kMaxLzwInput);
       }()},
      {"text", text},
      {"quote records", QuoteRecords(8192)},
      // Random bytes widen the codes to 12 bits and reset the dictionary several times.
      {"random, a frame body", RandomBytes(8192, 1, 256)},
      {"random, the largest input", RandomBytes(kMaxLzwInput, 2, 256)},
      {"few symbols", RandomBytes(kMaxLzwInput, 3, 3)},
      {"two symbols", RandomBytes(kMaxLzwInput, 4, 2)},
  };
  // One decoder for every case: nothing of a call may leak into the next.
  LCompressLite shared;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string stream = Encode(c.plain);
    const Decoded decoded = Decode(shared, stream, kFrameOutput);
    ASSERT_EQ(decoded.result, kLzwOk);
    EXPECT_TRUE(decoded.output == c.plain);
    EXPECT_TRUE(Decode(stream).output == c.plain) << "a fresh decoder decodes the same";
    if (c.plain.empty()) continue;
    // Exactly the room the rule asks for suffices; one byte less is refused.
    const int size = static_cast<int>(c.plain.size());
    EXPECT_TRUE(Decode(shared, stream, size + 5).output == c.plain);
    EXPECT_EQ(Decode(shared, stream, size + 4).result, kLzwOutputFull);
  }
}

TEST(LzwDecoderTest, RefusesAStreamDecodingPastTheOutput) {
  // What the servers never send: more than the output holds (runs make long strings).
  for (const std::string& plain : {Literals('z', 20000), RandomBytes(20000, 5, 256), RandomBytes(20000, 6, 2)}) {
    const Decoded decoded = Decode(EncodeUnlimited(plain));
    EXPECT_EQ(decoded.result, kLzwOutputFull);
  }
}

// Encoded streams, mutated: whatever the bytes, the decoder writes nothing past the capacity and
// answers only with its result codes; a success never claims more than the capacity.
TEST(LzwDecoderTest, SurvivesMutatedStreams) {
  std::mt19937 random(20240611);
  const std::vector<std::string> plains = {QuoteRecords(4096), RandomBytes(3000, 8, 256), RandomBytes(6000, 9, 3),
                                           Literals('z', 5000), "ABABABA"};
  std::vector<std::string> streams;
  for (const std::string& plain : plains) streams.push_back(Encode(plain));
  const std::string controls = Codes{65, 257, 258, 256}.Stream().substr(5);

  LCompressLite decoder;
  int results[4] = {};
  for (int round = 0; round < 4000; ++round) {
    std::string stream = streams[random() % streams.size()];
    const int mutations = 1 + static_cast<int>(random() % 8);
    for (int m = 0; m < mutations; ++m) {
      const std::size_t at = random() % stream.size();
      switch (random() % 6) {
        case 0: stream[at] = static_cast<char>(stream[at] ^ (1u << (random() % 8))); break;
        case 1: stream[at] = static_cast<char>(random()); break;
        case 2: stream.erase(at, 1 + random() % 16); break;
        case 3: stream.insert(at, std::string(1 + random() % 4, static_cast<char>(random()))); break;
        case 4: stream.resize(at); break;
        case 5: stream.insert(at, controls); break;
      }
      if (stream.empty()) stream = "WMC15";
    }
    // Mostly a good magic, so that the codes are read; now and then one bad bit in it.
    if (stream.size() >= 5) stream.replace(0, 5, "WMC15");
    if (random() % 16 == 0) stream[random() % std::min<std::size_t>(5, stream.size())] ^= static_cast<char>(1u << (random() % 8));
    const int capacity = random() % 3 == 0 ? static_cast<int>(random() % 600) : kFrameOutput;
    SCOPED_TRACE(round);
    const Decoded decoded = Decode(decoder, stream, capacity);
    ASSERT_FALSE(::testing::Test::HasFailure());
    switch (decoded.result) {
      case kLzwOk: ++results[0]; break;
      case kLzwOutputFull: ++results[1]; break;
      case kLzwBadMagic: ++results[2]; break;
      case kLzwBadCode: ++results[3]; break;
      default: FAIL() << "result " << decoded.result;
    }
  }
  // The mutations reach every answer.
  for (int count : results) EXPECT_GT(count, 0);
}

}  // namespace

// The project's LZW encoder: the golden stream, and round trips through a strict decoder of the
// stream format for inputs that make it widen its codes and reset its dictionary.
#include "LzwEncoder.h"
#include "quoteserver/RawClient.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

using zuvo::quoteserver::EncodeLzw;
using zuvo::quoteserver::kMaxLzwInput;

std::string Encode(const std::string& input) {
  std::vector<std::uint8_t> out;
  EXPECT_TRUE(EncodeLzw(reinterpret_cast<const std::uint8_t*>(input.data()), input.size(), &out));
  return std::string(out.begin(), out.end());
}

std::string RandomBytes(std::size_t size, unsigned seed, int alphabet) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random() % static_cast<unsigned>(alphabet));
  return bytes;
}

// The 9-bit codes of a stream until the first widen, reset or end code, for reading the
// emitted code sequence directly.
std::vector<int> NineBitCodes(const std::string& stream) {
  std::vector<int> codes;
  std::size_t bit = 40;
  while (bit + 9 <= stream.size() * 8) {
    int code = 0;
    for (int i = 0; i < 9; ++i, ++bit) code = (code << 1) | ((static_cast<unsigned char>(stream[bit / 8]) >> (7 - bit % 8)) & 1);
    codes.push_back(code);
    if (code >= 256 && code <= 258) break;
  }
  return codes;
}

TEST(LzwEncoderTest, EncodesTheGoldenStream) {
  EXPECT_EQ(Encode("ABABABA"), std::string("WMC15\x20\x90\xA0\x70\x58\x00", 11));
  // The codes 65, 66, 259, 261 (one past the decoder's dictionary), then the end.
  EXPECT_EQ(NineBitCodes(Encode("ABABABA")), (std::vector<int>{65, 66, 259, 261, 256}));
}

TEST(LzwEncoderTest, EmptyInputIsTheMagicAndTheEndCode) {
  EXPECT_EQ(Encode(""), std::string("WMC15\x80\x00", 7));
  std::string decoded = "x";
  ASSERT_TRUE(quoteservertest::DecodeWmc(Encode(""), &decoded));
  EXPECT_EQ(decoded, "");
}

TEST(LzwEncoderTest, RoundTripsThroughTheStreamDecoder) {
  struct Case {
    const char* name;
    std::string input;
  };
  std::string text;
  for (int i = 0; i < 400; ++i) text += "600100 华东银行 " + std::to_string(i % 37) + "\r\n";
  const Case cases[] = {
      {"one byte", "A"},
      {"a run", std::string(5000, 'z')},
      {"every byte value", [] { std::string s; for (int c = 0; c < 256; ++c) s += static_cast<char>(c); return s; }()},
      {"text", text.substr(0, 8192)},
      // Random bytes fill the dictionary fast: codes widen to 12 bits and the dictionary resets.
      {"random, the largest frame body", RandomBytes(8192, 1, 256)},
      {"random, the largest input", RandomBytes(kMaxLzwInput, 2, 256)},
      {"few symbols, long strings", RandomBytes(kMaxLzwInput, 3, 3)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string stream = Encode(c.input);
    std::string decoded;
    ASSERT_TRUE(quoteservertest::DecodeWmc(stream, &decoded));
    EXPECT_EQ(decoded, c.input);
  }
}

TEST(LzwEncoderTest, RefusesInputsTheDecoderCannotHold) {
  const std::string tooLong(kMaxLzwInput + 1, 'a');
  std::vector<std::uint8_t> out = {1, 2};
  EXPECT_FALSE(EncodeLzw(reinterpret_cast<const std::uint8_t*>(tooLong.data()), tooLong.size(), &out));
  EXPECT_EQ(out, (std::vector<std::uint8_t>{1, 2}));
}

}  // namespace

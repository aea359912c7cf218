#include "LzwEncoder.h"

#include <array>
#include <cstring>

namespace zuvo::quoteserver {
namespace {

constexpr char kMagic[5] = {'W', 'M', 'C', '1', '5'};
constexpr std::uint32_t kEndCode = 256;
constexpr std::uint32_t kWidenCode = 257;
constexpr std::uint32_t kResetCode = 258;
constexpr std::uint32_t kFirstFreeCode = 259;
constexpr std::uint32_t kDictionaryLimit = 4096;
constexpr int kStartWidth = 9;

// Codes packed most significant bit first into the output.
class BitWriter {
 public:
  explicit BitWriter(std::vector<std::uint8_t>* out) : out_(out) {}
  void Put(std::uint32_t code, int width) {
    bits_ = (bits_ << width) | code;
    count_ += width;
    while (count_ >= 8) {
      count_ -= 8;
      out_->push_back(static_cast<std::uint8_t>(bits_ >> count_));
    }
    bits_ &= (1u << count_) - 1;
  }
  // The last partial byte, padded with zero bits.
  void Flush() {
    if (count_ > 0) out_->push_back(static_cast<std::uint8_t>(bits_ << (8 - count_)));
    count_ = 0;
    bits_ = 0;
  }

 private:
  std::vector<std::uint8_t>* out_;
  std::uint32_t bits_ = 0;
  int count_ = 0;
};

// String -> code as (prefix code, appended byte) -> code, open addressing. Twice the largest
// dictionary keeps probes short.
class Dictionary {
 public:
  Dictionary() { Clear(); }
  void Clear() { keys_.fill(kEmpty); }
  // The code of (prefix, byte), or 0 when absent (no string has code 0).
  std::uint32_t Find(std::uint32_t prefix, std::uint8_t byte) const {
    const std::uint32_t key = (prefix << 8) | byte;
    for (std::uint32_t slot = Hash(key);; slot = (slot + 1) & kMask) {
      if (keys_[slot] == kEmpty) return 0;
      if (keys_[slot] == key) return codes_[slot];
    }
  }
  void Add(std::uint32_t prefix, std::uint8_t byte, std::uint32_t code) {
    const std::uint32_t key = (prefix << 8) | byte;
    std::uint32_t slot = Hash(key);
    while (keys_[slot] != kEmpty) slot = (slot + 1) & kMask;
    keys_[slot] = key;
    codes_[slot] = static_cast<std::uint16_t>(code);
  }

 private:
  static constexpr std::uint32_t kSize = 8192;
  static constexpr std::uint32_t kMask = kSize - 1;
  static constexpr std::uint32_t kEmpty = 0xFFFFFFFFu;
  static std::uint32_t Hash(std::uint32_t key) { return (key * 2654435761u) >> 19; }
  std::array<std::uint32_t, kSize> keys_;
  std::array<std::uint16_t, kSize> codes_{};
};

}  // namespace

bool EncodeLzw(const std::uint8_t* data, std::size_t size, std::vector<std::uint8_t>* out) {
  if (size > kMaxLzwInput) return false;
  EncodeLzwUnlimited(data, size, out);
  return true;
}

void EncodeLzwUnlimited(const std::uint8_t* data, std::size_t size, std::vector<std::uint8_t>* out) {
  out->insert(out->end(), kMagic, kMagic + sizeof kMagic);
  BitWriter writer(out);
  if (size == 0) {
    writer.Put(kEndCode, kStartWidth);
    writer.Flush();
    return;
  }

  static thread_local Dictionary dictionary;
  dictionary.Clear();
  int width = kStartWidth;
  std::uint32_t nextFree = kFirstFreeCode;
  auto emit = [&](std::uint32_t code) {
    while (code >= (1u << width)) {
      writer.Put(kWidenCode, width);
      ++width;
    }
    writer.Put(code, width);
  };

  std::uint32_t current = data[0];
  for (std::size_t i = 1; i < size; ++i) {
    const std::uint8_t byte = data[i];
    if (const std::uint32_t longer = dictionary.Find(current, byte); longer != 0) {
      current = longer;
      continue;
    }
    emit(current);
    dictionary.Add(current, byte, nextFree++);
    if (nextFree == kDictionaryLimit) {
      // The string that starts with `byte` goes on after the reset, as a literal first.
      writer.Put(kResetCode, width);
      dictionary.Clear();
      width = kStartWidth;
      nextFree = kFirstFreeCode;
    }
    current = byte;
  }
  emit(current);
  writer.Put(kEndCode, width);
  writer.Flush();
}

}  // namespace zuvo::quoteserver

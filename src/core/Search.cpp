#include "core/Search.h"

#include <cstddef>
#include <cstring>

namespace {

std::uint32_t KeyAt(const unsigned char* records, int index, int stride) {
  std::uint32_t key;
  std::memcpy(&key, records + static_cast<std::ptrdiff_t>(index) * stride, sizeof key);
  return key;
}

}  // namespace

int LowerBoundByKey(const void* records, int count, int stride, std::uint32_t key) {
  if (records == nullptr || count <= 0 || stride < static_cast<int>(sizeof(std::uint32_t))) return 0;
  const auto* bytes = static_cast<const unsigned char*>(records);
  int low = 0;
  int high = count;  // the answer lies in [low, high]
  while (low < high) {
    const int middle = low + (high - low) / 2;
    if (KeyAt(bytes, middle, stride) < key) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  return low;
}

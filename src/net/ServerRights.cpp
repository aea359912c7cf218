#include "net/ServerRights.h"

#include <cstring>

namespace zuvo::net {
namespace {

ServerRights& Rights() {
  static ServerRights rights;
  return rights;
}

bool BitSet(const std::uint8_t* bits, int bit) { return (bits[bit / 8] & (0x80 >> (bit % 8))) != 0; }

}  // namespace

const ServerRights& CurrentServerRights() { return Rights(); }

int ExpiryFromPackedDate(std::uint16_t packed) {
  const int day = packed & 0x1F;
  const int month = (packed >> 5) & 0xF;
  const int year = packed >> 9;
  return year * 10000 + month * 100 + day;
}

void TakeServerRights(const std::uint8_t* block) {
  ServerRights& rights = Rights();
  std::memcpy(rights.market, block + 2, kMarketRightsBytes);
  std::memcpy(rights.news, block + 2 + kMarketRightsBytes, kNewsRightsBytes);
  rights.expiry = ExpiryFromPackedDate(static_cast<std::uint16_t>(block[0] | block[1] << 8));
}

void ClearServerRights() { Rights() = ServerRights{}; }

bool HasMarketRight(int market, int category) {
  if (market < 0 || market >= kRightsMarkets || category < 0 || category >= kRightsCategories) return false;
  return BitSet(Rights().market, market * 16 + category);
}

bool HasNewsRight(int newsClass) {
  if (newsClass < 1 || newsClass > kNewsClasses) return false;
  return BitSet(Rights().news, newsClass - 1);
}

}  // namespace zuvo::net

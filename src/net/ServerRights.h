// The user's rights as the login server grants them: which categories of which markets and
// which information classes the account may see, and until when. One record for the process,
// filled from the 128-byte data-server block of a login (or the block stored from an earlier
// one) and read by the main window, the subscription and the information views.
//
// Written by the thread that runs the login (the login worker, while the UI thread waits in
// the modal login dialog), read on the UI thread afterwards; no lock.
#pragma once

#include <cstdint>

namespace zuvo::net {

constexpr int kMarketRightsBytes = 96;   // bit (market * 16 + category), MSB first in each byte
constexpr int kNewsRightsBytes = 16;     // bit (class - 1) for classes 1 to 128
constexpr int kRightsMarkets = 48;
constexpr int kRightsCategories = 15;    // categories 0 to 14 count; the 16th bit of each market never does
constexpr int kNewsClasses = 128;

struct ServerRights {
  std::uint8_t market[kMarketRightsBytes] = {};
  std::uint8_t news[kNewsRightsBytes] = {};
  // The account's expiry as yy * 10000 + mm * 100 + dd (yy = year since 2000); 0 before a login.
  int expiry = 0;
};

// The process-wide record.
const ServerRights& CurrentServerRights();

// Takes the rights and the expiry from a 128-byte data-server block (or a type-3 login reply
// of at least 128 bytes): bytes 2-97 market rights, 98-113 information rights, bytes 0-1 the
// packed expiry (bits 0-4 day, 5-8 month, 9-15 year since 2000).
void TakeServerRights(const std::uint8_t* block);
// Forgets every right (no market, no class, expiry 0).
void ClearServerRights();

// The packed expiry word of a block as yy * 10000 + mm * 100 + dd.
int ExpiryFromPackedDate(std::uint16_t packed);

// True when market is 0 to 47, category 0 to 14 and the market-rights bit is set.
bool HasMarketRight(int market, int category);
// True when class is 1 to 128 and the information-rights bit (class - 1) is set.
bool HasNewsRight(int newsClass);

}  // namespace zuvo::net

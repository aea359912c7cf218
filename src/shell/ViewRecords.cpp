// Default construction of the two view records and the user's [UI] defaults they read.
#include "shell/ViewTypes.h"

#include "data/UtilData.h"
#include "platform/Profile.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr const char* kUiSection = "UI";
constexpr const char* kDefaultDetailItems = "31,30,29,28,27,17,18,19,20,21,1,2,3,4,5,6,7,8,9,10,11,12,13,14";
constexpr DWORD kDetailItemTextSize = 512;

std::string DefUiPath() { return UserFilePath("defui.ini"); }

// The empty-list marker of an overlay slot, a reference-line slot's value and a parameter block.
constexpr std::uint8_t kEmptyMarker = 0xFF;

}  // namespace

void ReadDefaultDetailItems(std::uint8_t items[32]) {
  char text[kDetailItemTextSize] = {};
  GetPrivateProfileStringA(kUiSection, "DetailItem", kDefaultDetailItems, text, sizeof text, DefUiPath().c_str());
  // Up to 26 numbers in C notation (decimal, 0x.. hex, 0.. octal; blanks before each allowed)
  // separated by single commas; the scan stops at the first text that is not one, and what it
  // did not reach stays 0. strtoll clamps what does not fit, where a scanf would be undefined.
  int values[kDetailItemCount] = {};
  const char* at = text;
  for (int i = 0; i < kDetailItemCount; ++i) {
    char* end = nullptr;
    const long long value = std::strtoll(at, &end, 0);
    if (end == at) break;
    values[i] = static_cast<int>(value & 0xFF);
    if (*end != ',') break;
    at = end + 1;
  }
  for (int i = 0; i < kDetailItemCount; ++i) items[i] = static_cast<std::uint8_t>(values[i] & 0xFF);
}

std::uint32_t ReadDefaultPropertyFlags() {
  return static_cast<std::uint32_t>(GetPrivateProfileIntA(kUiSection, "Property", 0, DefUiPath().c_str()));
}

VIEW_ATTR_12::VIEW_ATTR_12() {
  // Byte-wise: the record is stored as it stands, and STKPTR's constructor has set "none".
  auto* bytes = reinterpret_cast<unsigned char*>(this);
  std::memset(bytes, 0, kViewAttrVersion11Size);
  // The six detail slots the defaults never fill are zeroed too, so that a saved record holds
  // no stray memory.
  std::memset(detailItems, 0, sizeof detailItems);
  ReadDefaultDetailItems(detailItems);
  propertyFlags = ReadDefaultPropertyFlags();
}

std::int32_t VIEW_ATTR_12::NavPosition() const {
  std::int32_t position = 0;
  std::memcpy(&position, reinterpret_cast<const unsigned char*>(this) + kNavPositionOffset, sizeof position);
  return position;
}

void VIEW_ATTR_12::SetNavPosition(std::int32_t position) {
  std::memcpy(reinterpret_cast<unsigned char*>(this) + kNavPositionOffset, &position, sizeof position);
}

std::uint32_t VIEW_ATTR_12::NavListId() const {
  std::uint32_t id = 0;
  std::memcpy(&id, reinterpret_cast<const unsigned char*>(this) + kNavListOffset, sizeof id);
  return id;
}

void VIEW_ATTR_12::SetNavListId(std::uint32_t id) {
  std::memcpy(reinterpret_cast<unsigned char*>(this) + kNavListOffset, &id, sizeof id);
}

MVCDATA_12::MVCDATA_12() {
  auto* bytes = reinterpret_cast<unsigned char*>(this);
  std::memset(bytes, 0, sizeof(MVCDATA_12));
  // Empty overlay list: slot 0 is "no instrument".
  std::memset(reinterpret_cast<unsigned char*>(&overlays[0]), kEmptyMarker, sizeof overlays[0]);
  // Empty reference-line list of each pane: the value (bytes 8..15) of slot 0 is all 0xFF.
  for (auto& pane : refLines) std::memset(&pane[0][8], kEmptyMarker, 8);
  // Empty parameter blocks of the pane indicators and of the indicators over the main pane.
  for (auto& block : paneParams) std::memset(&block[0][0], kEmptyMarker, 8);
  for (auto& block : overParams) std::memset(&block[0][0], kEmptyMarker, 8);
  ReadDefaultDetailItems(detailItems);
  propertyFlags = ReadDefaultPropertyFlags();
}

// Fuzz target "cycleorder": the CycleOrder setting (the chart cycles in display order and which
// are shown) read from text and from the user's SETTING.INI.
// Input: the setting's text (up to its first zero byte).
// Property: the text gives each of the 15 cycles exactly once, the known tokens first in the
// order they are written (the first of repeats counts, '0' hides and anything else shows) and
// the missing cycles hidden after them in numeric order; FormatCycleOrder's text parses back
// to the same order and visibility, and a cut text is a prefix of the whole one; the setting
// written to SETTING.INI (ParseCycleOrder, WriteCycleOrder, ParseCycleOrder) comes back the same.
#include "FuzzSupport.h"
#include "FuzzTargets.h"
#include "data/UtilData.h"
#include "platform/Profile.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

using namespace zuvo::platform;

namespace {

constexpr const char* kCodes[kCycleCount] = {"T", "1", "3", "Y", "5", "15", "30", "60",
                                             "D", "W", "M", "S", "X", "120", "240"};

bool SameOrder(const CycleOrderRecord& a, const CycleOrderRecord& b) {
  return std::memcmp(a.cycles, b.cycles, sizeof a.cycles) == 0 && std::memcmp(a.shown, b.shown, sizeof a.shown) == 0;
}

// The order the text describes: comma-separated tokens of a visibility character and a code.
CycleOrderRecord ExpectedOrder(std::string_view text) {
  CycleOrderRecord order{};
  bool held[kCycleCount] = {};
  int count = 0;
  while (!text.empty()) {
    const std::size_t comma = text.find(',');
    const std::string_view token = text.substr(0, comma);
    text.remove_prefix(comma == std::string_view::npos ? text.size() : comma + 1);
    if (token.empty()) continue;
    const std::string_view code = token.substr(1);
    for (int c = 0; c < kCycleCount; ++c) {
      if (code == kCodes[c] && !held[c]) {
        held[c] = true;
        order.cycles[count] = static_cast<std::uint8_t>(c);
        order.shown[count] = token[0] != '0' ? 1 : 0;
        ++count;
      }
    }
  }
  for (int c = 0; c < kCycleCount; ++c) {
    if (held[c]) continue;
    order.cycles[count] = static_cast<std::uint8_t>(c);
    order.shown[count] = 0;
    ++count;
  }
  return order;
}

void CheckFormat(const CycleOrderRecord& order, int shortSize) {
  char text[128];
  std::memset(text, 0x7F, sizeof text);
  const int length = FormatCycleOrder(order, text, sizeof text);
  FUZZ_CHECK(length >= 0 && length < static_cast<int>(sizeof text) && std::strlen(text) == static_cast<std::size_t>(length),
             "a formatted order fits 128 bytes with its terminator");
  CycleOrderRecord again{};
  ParseCycleOrderText(text, &again);
  FUZZ_CHECK(SameOrder(order, again), "a formatted order parses back to the same order and visibility");

  char cut[128];
  std::memset(cut, 0x7F, sizeof cut);
  const int cutLength = FormatCycleOrder(order, cut, shortSize);
  FUZZ_CHECK(cutLength == (shortSize > 0 ? std::min(length, shortSize - 1) : 0), "a cut order keeps what fits");
  if (shortSize > 0) {
    FUZZ_CHECK(cut[cutLength] == '\0' && std::memcmp(cut, text, static_cast<std::size_t>(cutLength)) == 0,
               "a cut order is a prefix of the whole one");
  }
  FUZZ_CHECK(cut[shortSize] == '\x7F', "a cut order never writes past its buffer");
}

}  // namespace

int FuzzCycleOrder(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), strnlen(reinterpret_cast<const char*>(data), size));

  CycleOrderRecord order;
  std::memset(&order, 0xEE, sizeof order);
  ParseCycleOrderText(text.c_str(), &order);
  FUZZ_CHECK(SameOrder(order, ExpectedOrder(text)), "the text's known tokens come first, then the missing cycles hidden");
  CheckFormat(order, static_cast<int>(size % 64));

  // Through the user's settings file.
  const std::string ini = UserFilePath("SETTING.INI");
  if (WritePrivateProfileStringA("Parameter", "CycleOrder", text.c_str(), ini.c_str())) {
    ParseCycleOrder();
    const CycleOrderRecord read = CycleOrderTable;
    FUZZ_CHECK(WriteCycleOrder(), "the order is written to the settings file");
    profile::ClearCache();
    ParseCycleOrder();
    FUZZ_CHECK(SameOrder(read, CycleOrderTable), "the order written to the settings file reads back the same");
  }
  return 0;
}

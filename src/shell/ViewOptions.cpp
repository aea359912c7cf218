#include "shell/ViewOptions.h"

#include "data/UtilData.h"
#include "dialogs/Quoteoption.h"
#include "platform/Profile.h"
#include "shell/ModalDialog.h"
#include "shell/ViewTypes.h"

#include <cstdint>
#include <string>
#include <vector>

namespace {

constexpr const char* kCaption = "修改默认属性（仅对新建窗口有效）";
constexpr int kMaxZoomIndex = 28;          // " 1(最窄)" .. "29(最宽)"
constexpr int kDefaultZoomLevel = 16;      // "17(默认)"
constexpr int kDefaultCycle = 8;

// Property flag bits.
constexpr std::uint32_t kDetailBottomUp = 1u << 0;
constexpr std::uint32_t kInfoLeft = 1u << 2;
constexpr std::uint32_t kTrendNotCentred = 1u << 3;
constexpr std::uint32_t kNoAxis = 1u << 5;
constexpr std::uint32_t kAxisRight = 1u << 6;
constexpr std::uint32_t kWheelPage = 1u << 7;
constexpr std::uint32_t kWheelInstrument = 1u << 8;
constexpr std::uint32_t kEnterNoCycle = 1u << 9;

std::string ReadText(const char* key, const char* defaultValue, const std::string& path) {
  char value[512] = {};
  GetPrivateProfileStringA("UI", key, defaultValue, value, sizeof value, path.c_str());
  return value;
}

// The setting's ids in its order up to the first 0, checked; then every known id it lacks,
// unchecked. Unknown ids are left out, and an id given twice is listed once (the dialog
// writes its list back, and a repeated item would show twice on the quote board).
std::vector<QuoteOptionsFill::Item> DetailItemList() {
  std::uint8_t ids[32] = {};
  ReadDefaultDetailItems(ids);
  std::vector<QuoteOptionsFill::Item> items;
  auto listed = [&](int id) {
    for (const QuoteOptionsFill::Item& item : items) {
      if (item.id == id) return true;
    }
    return false;
  };
  for (int i = 0; i < kDetailItemCount && ids[i] != 0; ++i) {
    const char* caption = zuvo::dialogs::DetailItemCaption(ids[i], false);
    if (caption != nullptr && !listed(ids[i])) items.push_back({ids[i], caption, true});
  }
  for (int id : zuvo::dialogs::DetailItemIds()) {
    if (!listed(id)) items.push_back({id, zuvo::dialogs::DetailItemCaption(id, false), false});
  }
  return items;
}

}  // namespace

QuoteOptionsFill BuildViewOptionsFill() {
  const std::string userDefaults = UserFilePath("defui.ini");
  const std::string userSettings = UserFilePath("SETTING.ini");
  QuoteOptionsFill fill;
  fill.caption = kCaption;
  fill.instrument = STKPTR();
  fill.pageIndex = 0;
  fill.saveAsDefaultVisible = false;

  fill.hollowKLine = GetPrivateProfileIntA("Parameter", "KLineMode", 1, userSettings.c_str()) != 0;
  fill.antiAlias = GetPrivateProfileIntA("Parameter", "AntiAlias", 1, userSettings.c_str()) != 0;
  // A hand-edited level outside the list would select nothing; show the nearest width.
  const int zoom = static_cast<int>(GetPrivateProfileIntA("Parameter", "ZoomLevel", kDefaultZoomLevel, userSettings.c_str()));
  fill.zoomIndex = zoom < 0 ? 0 : (zoom > kMaxZoomIndex ? kMaxZoomIndex : zoom);

  fill.infoVisible = GetPrivateProfileIntA("UI", "InfoVisible", 1, userDefaults.c_str()) != 0;
  fill.todayMinOnly = GetPrivateProfileIntA("UI", "TodayMinOnly", 0, userDefaults.c_str()) != 0;
  const std::uint32_t property = ReadDefaultPropertyFlags();
  fill.infoLeft = (property & kInfoLeft) != 0;
  fill.noAxis = (property & kNoAxis) != 0;
  fill.axisRight = (property & kAxisRight) != 0;
  fill.detailBottomUp = (property & kDetailBottomUp) != 0;
  fill.enterCycles = (property & kEnterNoCycle) == 0;
  fill.trendCentred = (property & kTrendNotCentred) == 0;
  fill.wheelIndex = (property & kWheelInstrument) != 0 ? 2 : ((property & kWheelPage) != 0 ? 1 : 0);

  const int cycle = static_cast<int>(GetPrivateProfileIntA("UI", "DefCycle", kDefaultCycle, userDefaults.c_str()) & 0xFF);
  fill.cycleIndex = zuvo::dialogs::CycleItemOfChartCycle(static_cast<unsigned>(cycle));
  fill.mainGraph = ReadText("MainGraph", "K,MA", userDefaults);
  fill.subGraph = ReadText("SubGraph", "VOL,MACD", userDefaults);
  fill.detailItems = DetailItemList();
  return fill;
}

void RunViewOptionsCommand(TWinControl* owner) {
  const QuoteOptionsFill fill = BuildViewOptionsFill();
  ModalDialogScope modal;
  ShellDialogs().ShowQuoteOptions(owner, fill);
}

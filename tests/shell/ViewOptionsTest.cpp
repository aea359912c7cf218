#include "shell/ViewOptions.h"

#include "ShellSettingsFixture.h"
#include "shell/ModalDialog.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using shelltest::RecordingShellDialogs;
using shelltest::ScopedShellDialogs;
using shelltest::ShellSettings;

TWinControl* const kOwner = reinterpret_cast<TWinControl*>(0x1000);

// Runs the command with recording dialogs and returns the one fill it showed.
QuoteOptionsFill RunAndRecord() {
  RecordingShellDialogs dialogs;
  ScopedShellDialogs installed(&dialogs);
  RunViewOptionsCommand(kOwner);
  EXPECT_EQ(dialogs.options.size(), 1u);
  return dialogs.options.empty() ? QuoteOptionsFill{} : dialogs.options.front().fill;
}

TEST(ViewOptionsCommand, ShowsTheDialogModallyOnTheUserDefaults) {
  ShellSettings settings;
  RecordingShellDialogs dialogs;
  ScopedShellDialogs installed(&dialogs);
  ASSERT_FALSE(ModalDialogOpen());
  RunViewOptionsCommand(kOwner);
  EXPECT_FALSE(ModalDialogOpen()) << "the modal state ends with the dialog";
  ASSERT_EQ(dialogs.options.size(), 1u);
  const RecordingShellDialogs::OptionsShown& shown = dialogs.options.front();
  EXPECT_TRUE(shown.modalOpen) << "hot keys must not act behind the dialog";
  EXPECT_EQ(shown.owner, kOwner);
  EXPECT_EQ(shown.fill.caption, "修改默认属性（仅对新建窗口有效）");
  EXPECT_EQ(shown.fill.instrument, STKPTR());
  EXPECT_EQ(shown.fill.instrument.category, 255);
  EXPECT_EQ(shown.fill.pageIndex, 0);
  EXPECT_FALSE(shown.fill.saveAsDefaultVisible);
}

TEST(ViewOptionsCommand, CancelledWithoutRegisteredDialogs) {
  ShellSettings settings;
  RunViewOptionsCommand(kOwner);
  EXPECT_FALSE(ModalDialogOpen());
}

TEST(ViewOptionsCommand, ControlsFromTheSettings) {
  struct Expected {
    bool hollow = true, antiAlias = true;
    int zoom = 16;
    bool info = true, infoLeft = false, todayOnly = false, noAxis = false, axisRight = false;
    bool bottomUp = false, enterCycles = true, trendCentred = true;
    int wheel = 0, cycle = 0;
    std::string mainGraph = "K,MA", subGraph = "VOL,MACD";
  };
  struct Case {
    const char* what;
    std::vector<std::pair<const char*, const char*>> ui;      // [UI] of defui.ini
    std::vector<std::pair<const char*, const char*>> chart;   // [Parameter] of the user's SETTING.ini
    Expected expected;
  };
  auto with = [](auto change) {
    Expected e;
    change(e);
    return e;
  };
  const Case cases[] = {
      {"nothing set: the defaults", {}, {}, Expected{}},
      {"wheel bit 7: one page", {{"Property", "128"}}, {}, with([](Expected& e) { e.wheel = 1; })},
      {"wheel bit 8: next instrument", {{"Property", "256"}}, {}, with([](Expected& e) { e.wheel = 2; })},
      {"wheel bits 7 and 8: bit 8 wins", {{"Property", "384"}}, {}, with([](Expected& e) { e.wheel = 2; })},
      {"bits 3 and 9 clear the inverted boxes", {{"Property", "520"}}, {},
       with([](Expected& e) { e.enterCycles = false, e.trendCentred = false; })},
      {"bit 3 alone", {{"Property", "8"}}, {}, with([](Expected& e) { e.trendCentred = false; })},
      {"bit 9 alone", {{"Property", "512"}}, {}, with([](Expected& e) { e.enterCycles = false; })},
      {"bits 0, 2, 5, 6", {{"Property", "101"}}, {},
       with([](Expected& e) { e.bottomUp = e.infoLeft = e.noAxis = e.axisRight = true; })},
      {"DefCycle 9: weekly", {{"DefCycle", "9"}}, {}, with([](Expected& e) { e.cycle = 1; })},
      {"DefCycle 1: one minute", {{"DefCycle", "1"}}, {}, with([](Expected& e) { e.cycle = 4; })},
      {"DefCycle 14: the last item", {{"DefCycle", "14"}}, {}, with([](Expected& e) { e.cycle = 11; })},
      {"DefCycle 265: low 8 bits", {{"DefCycle", "265"}}, {}, with([](Expected& e) { e.cycle = 1; })},
      {"DefCycle 3: not in the list", {{"DefCycle", "3"}}, {}, Expected{}},
      {"DefCycle 12: not in the list", {{"DefCycle", "12"}}, {}, Expected{}},
      {"DefCycle junk", {{"DefCycle", "日线"}}, {}, Expected{}},
      {"ZoomLevel 0: the narrowest", {}, {{"ZoomLevel", "0"}}, with([](Expected& e) { e.zoom = 0; })},
      {"ZoomLevel 28: the widest", {}, {{"ZoomLevel", "28"}}, with([](Expected& e) { e.zoom = 28; })},
      {"ZoomLevel past the list", {}, {{"ZoomLevel", "40"}}, with([](Expected& e) { e.zoom = 28; })},
      {"ZoomLevel negative", {}, {{"ZoomLevel", "-3"}}, with([](Expected& e) { e.zoom = 0; })},
      {"boxes off", {{"InfoVisible", "0"}, {"TodayMinOnly", "1"}}, {{"KLineMode", "0"}, {"AntiAlias", "0"}},
       with([](Expected& e) { e.info = false, e.todayOnly = true, e.hollow = false, e.antiAlias = false; })},
      {"graphs as written", {{"MainGraph", "宝塔线"}, {"SubGraph", " KDJ,RSI,"}}, {},
       with([](Expected& e) { e.mainGraph = "宝塔线", e.subGraph = "KDJ,RSI,"; })},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ShellSettings settings;
    for (const auto& [key, value] : c.ui) settings.SetUi(key, value);
    for (const auto& [key, value] : c.chart) settings.SetUserParameter(key, value);
    const QuoteOptionsFill fill = RunAndRecord();
    const Expected& e = c.expected;
    EXPECT_EQ(fill.hollowKLine, e.hollow);
    EXPECT_EQ(fill.antiAlias, e.antiAlias);
    EXPECT_EQ(fill.zoomIndex, e.zoom);
    EXPECT_EQ(fill.infoVisible, e.info);
    EXPECT_EQ(fill.infoLeft, e.infoLeft);
    EXPECT_EQ(fill.todayMinOnly, e.todayOnly);
    EXPECT_EQ(fill.noAxis, e.noAxis);
    EXPECT_EQ(fill.axisRight, e.axisRight);
    EXPECT_EQ(fill.detailBottomUp, e.bottomUp);
    EXPECT_EQ(fill.enterCycles, e.enterCycles);
    EXPECT_EQ(fill.trendCentred, e.trendCentred);
    EXPECT_EQ(fill.wheelIndex, e.wheel);
    EXPECT_EQ(fill.cycleIndex, e.cycle);
    EXPECT_EQ(fill.mainGraph, e.mainGraph);
    EXPECT_EQ(fill.subGraph, e.subGraph);
  }
}

// The item list as "id+" (checked) and "id-" (unchecked) with the captions of a few.
std::string ItemList(const std::vector<QuoteOptionsFill::Item>& items) {
  std::string text;
  for (const QuoteOptionsFill::Item& item : items) {
    text += (text.empty() ? "" : " ") + std::to_string(item.id) + (item.checked ? "+" : "-");
  }
  return text;
}

TEST(ViewOptionsCommand, DetailItemList) {
  struct Case {
    const char* what;
    const char* setting;   // null: key absent
    const char* list;
  };
  const Case cases[] = {
      {"stops at the first 0", "1,2,0,3",
       "1+ 2+ 3- 4- 5- 6- 7- 8- 9- 10- 11- 12- 13- 14- 15- 16- 17- 18- 19- 20- 21- 27- 28- 29- 30- 31-"},
      {"the default order", nullptr,
       "31+ 30+ 29+ 28+ 27+ 17+ 18+ 19+ 20+ 21+ 1+ 2+ 3+ 4+ 5+ 6+ 7+ 8+ 9+ 10+ 11+ 12+ 13+ 14+ 15- 16-"},
      {"unknown ids left out, a repeat listed once", "22,16,99,16,5,0",
       "16+ 5+ 1- 2- 3- 4- 6- 7- 8- 9- 10- 11- 12- 13- 14- 15- 17- 18- 19- 20- 21- 27- 28- 29- 30- 31-"},
      {"empty: every item unchecked", "",
       "1- 2- 3- 4- 5- 6- 7- 8- 9- 10- 11- 12- 13- 14- 15- 16- 17- 18- 19- 20- 21- 27- 28- 29- 30- 31-"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ShellSettings settings;
    if (c.setting != nullptr) settings.SetUi("DetailItem", c.setting);
    const QuoteOptionsFill fill = RunAndRecord();
    EXPECT_EQ(ItemList(fill.detailItems), c.list);
  }

  ShellSettings settings;
  settings.SetUi("DetailItem", "1,2,0,3");
  const QuoteOptionsFill fill = RunAndRecord();
  ASSERT_GE(fill.detailItems.size(), 3u);
  EXPECT_EQ(fill.detailItems[0].caption, "最新");
  EXPECT_EQ(fill.detailItems[1].caption, "均价");
  EXPECT_EQ(fill.detailItems[2].caption, "涨跌");
  const std::pair<int, const char*> captions[] = {{11, "持仓"}, {12, "仓差"}, {15, "委比"}, {27, "卖一"}, {31, "卖五"}};
  for (const auto& [id, caption] : captions) {
    bool found = false;
    for (const QuoteOptionsFill::Item& item : fill.detailItems) {
      if (item.id == id) found = item.caption == caption;
    }
    EXPECT_TRUE(found) << id;
  }
}

}  // namespace

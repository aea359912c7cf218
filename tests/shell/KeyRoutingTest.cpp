// The application message hook's decision, as a table: message and state in, action out. The
// hot keys are the default table.
#include "shell/KeyRouting.h"

#include "data/HotKeys.h"
#include "shell/ViewSurfaces.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

void LoadDefaultHotKeys() {
  std::memset(HotKeyTable, 0, sizeof HotKeyTable);
  for (int id = 1; id <= kHotKeyCount; ++id) {
    HotKeyRecord& record = HotKeyTable[id - 1];
    record.commandId = static_cast<std::uint8_t>(id);
    ParseHotKey(&record, DefaultHotKeyText(id));
  }
}

WPARAM WheelUp() { return static_cast<WPARAM>(120) << 16; }
WPARAM WheelDown() { return static_cast<WPARAM>(static_cast<std::uint16_t>(-120)) << 16; }

std::string Describe(const KeyRoute& route) {
  std::string text;
  switch (route.action) {
    case KeyAction::kPass: text = "pass"; break;
    case KeyAction::kExecute: text = "execute " + std::to_string(route.command); break;
    case KeyAction::kSwallow: text = "swallow"; break;
    case KeyAction::kOpenWizard: text = "wizard"; break;
    case KeyAction::kWheelKeys: text = "wheel " + std::to_string(route.wheelKey); break;
    case KeyAction::kSystemCommand:
      text = "syscommand";
      if (route.leaveFullScreen) text += " leave";
      if (route.addSizingFrame) text += " +frame";
      if (route.removeSizingFrame) text += " -frame";
      break;
    case KeyAction::kDropCellHover: text = "hover"; break;
  }
  if (route.handled) text += " handled";
  if (route.clearKey) text += " cleared";
  return text;
}

struct Case {
  const char* what;
  KeyRouteInput input;
  std::string expected;
};

KeyRouteInput Msg(UINT message, WPARAM wParam) {
  KeyRouteInput input;
  input.message = message;
  input.wParam = wParam;
  return input;
}
template <typename Change>
KeyRouteInput With(KeyRouteInput input, Change change) {
  change(input);
  return input;
}

const KeyboardState kCtrl{true, false, false, false};
const KeyboardState kShift{false, true, false, false};
const KeyboardState kAlt{false, false, true, false};

TEST(KeyRoutingTest, DecidesEachMessageByItsState) {
  LoadDefaultHotKeys();
  const auto modal = [](KeyRouteInput& in) { in.modalDepth = 2; };
  const auto edit = [](KeyRouteInput& in) { in.focusInEdit = true; };
  const auto ctrl = [](KeyRouteInput& in) { in.keys = kCtrl; };
  const auto active = [](ViewKind kind, std::uint32_t mode = 0, std::uint32_t property = 0, bool side = false) {
    return [=](KeyRouteInput& in) {
      in.mainWindowActive = true;
      in.activeViewKind = kind;
      in.activeModeFlags = mode;
      in.activePropertyFlags = property;
      in.activeSideListMode = side;
    };
  };
  const std::vector<Case> cases = {
      // Function keys first, even in an edit control; the key is cleared.
      {"F3", Msg(WM_KEYDOWN, VK_F1 + 2), "execute 32 handled cleared"},
      {"F3 in an edit", With(Msg(WM_KEYDOWN, VK_F1 + 2), edit), "execute 32 handled cleared"},
      {"Shift+F8", With(Msg(WM_KEYDOWN, VK_F1 + 7), [](KeyRouteInput& in) { in.keys = kShift; }), "execute 74 handled cleared"},
      {"F11 has no command", Msg(WM_KEYDOWN, VK_F1 + 10), "pass"},
      {"a cleared key", Msg(WM_KEYDOWN, 0), "swallow handled"},
      {"Ctrl+S", With(Msg(WM_KEYDOWN, 'S'), ctrl), "execute 61 handled cleared"},
      {"Ctrl+S in an edit", With(With(Msg(WM_KEYDOWN, 'S'), ctrl), edit), "pass"},
      {"Home", Msg(WM_KEYDOWN, VK_HOME), "execute 78 handled cleared"},
      {"- (command 58)", Msg(WM_KEYDOWN, 0xBD), "execute 58 handled cleared"},
      {"Ctrl+- is no key", With(Msg(WM_KEYDOWN, 0xBD), ctrl), "pass"},
      {"a digit is typed text", Msg(WM_KEYDOWN, '6'), "pass"},
      {"F3 behind a dialog", With(Msg(WM_KEYDOWN, VK_F1 + 2), modal), "pass"},
      // System keys: Alt chords and F10; never cleared.
      {"Alt+F4", With(Msg(WM_SYSKEYDOWN, VK_F1 + 3), [](KeyRouteInput& in) { in.keys = kAlt; }), "execute 76 handled"},
      {"F10", Msg(WM_SYSKEYDOWN, VK_F1 + 9), "execute 46 handled"},
      {"Alt+F12", With(Msg(WM_SYSKEYDOWN, VK_F12), [](KeyRouteInput& in) { in.keys = kAlt; }), "execute 69 handled"},
      {"Alt+X has no command", With(Msg(WM_SYSKEYDOWN, 'X'), [](KeyRouteInput& in) { in.keys = kAlt; }), "pass"},
      {"F10 behind a dialog", With(Msg(WM_SYSKEYDOWN, VK_F1 + 9), modal), "pass"},
      // Characters.
      {"a letter", Msg(WM_CHAR, 'p'), "wizard"},
      {"a digit", Msg(WM_CHAR, '6'), "wizard"},
      {"a GBK lead byte", Msg(WM_CHAR, 0xC6), "wizard"},
      {"a letter in an edit", With(Msg(WM_CHAR, 'p'), edit), "pass"},
      {"a letter behind a dialog", With(Msg(WM_CHAR, 'p'), modal), "pass"},
      {"Ctrl+A", With(Msg(WM_CHAR, 1), ctrl), "pass"},
      {"Ctrl+Z", With(Msg(WM_CHAR, 26), ctrl), "pass"},
      {"Enter", Msg(WM_CHAR, 13), "swallow handled"},
      {"Esc", Msg(WM_CHAR, 27), "swallow handled"},
      {"Space", Msg(WM_CHAR, 32), "pass"},
      {"Enter with Ctrl (a control letter)", With(Msg(WM_CHAR, 13), ctrl), "pass"},
      // The wheel.
      {"wheel up over a K-line", With(Msg(WM_MOUSEWHEEL, WheelUp()), active(VIEW_KLINE)), "wheel 33 handled"},
      {"wheel down over a trend", With(Msg(WM_MOUSEWHEEL, WheelDown()), active(VIEW_TREND)), "wheel 34 handled"},
      {"wheel over a K-line showing trades", With(Msg(WM_MOUSEWHEEL, WheelUp()), active(VIEW_KLINE, kChartModeTradeList)), "pass"},
      {"wheel over a trend showing prices", With(Msg(WM_MOUSEWHEEL, WheelUp()), active(VIEW_TREND, kChartModePriceSpread)), "pass"},
      {"wheel over a browsed side list", With(Msg(WM_MOUSEWHEEL, WheelUp()), active(VIEW_KLINE, 0, 0, true)), "pass"},
      {"wheel over a flash chart", With(Msg(WM_MOUSEWHEEL, WheelUp()), active(VIEW_TREND, kChartModeFlash)), "wheel 33 handled"},
      {"wheel over a quote list: one row", With(Msg(WM_MOUSEWHEEL, WheelDown()), active(VIEW_REPORT)), "wheel 40 handled"},
      {"wheel over a quote list: a page", With(Msg(WM_MOUSEWHEEL, WheelUp()), active(VIEW_REPORT, 0, 0x80)), "wheel 33 handled"},
      {"wheel over a quote list: stepping", With(Msg(WM_MOUSEWHEEL, WheelDown()), active(VIEW_REPORT, 0, 0x100)), "wheel 34 handled"},
      {"wheel over news", With(Msg(WM_MOUSEWHEEL, WheelUp()), active(VIEW_NEWS)), "pass"},
      {"wheel with another application active",
       With(With(Msg(WM_MOUSEWHEEL, WheelUp()), active(VIEW_KLINE)), [](KeyRouteInput& in) { in.mainWindowActive = false; }),
       "pass"},
      {"wheel behind a dialog", With(With(Msg(WM_MOUSEWHEEL, WheelUp()), active(VIEW_KLINE)), modal), "wheel 33 handled"},
      // System commands.
      {"screen saver", Msg(WM_SYSCOMMAND, kScScreenSave), "syscommand handled"},
      {"screen saver, low bits set", Msg(WM_SYSCOMMAND, kScScreenSave | 2), "syscommand handled"},
      {"minimise", Msg(WM_SYSCOMMAND, SC_MINIMIZE), "syscommand leave"},
      {"maximise", Msg(WM_SYSCOMMAND, SC_MAXIMIZE), "syscommand leave -frame"},
      {"restore", Msg(WM_SYSCOMMAND, SC_RESTORE), "syscommand leave +frame"},
      {"close", Msg(WM_SYSCOMMAND, SC_CLOSE), "pass"},
      // Mouse moves drop the cells' hover, unhandled.
      {"mouse move", Msg(WM_MOUSEMOVE, 0), "hover"},
      {"key up", Msg(WM_KEYUP, VK_F1), "pass"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(Describe(RouteMessage(c.input)), c.expected);
  }
}

TEST(KeyRoutingTest, FollowsAChangedHotKeyTable) {
  LoadDefaultHotKeys();
  ParseHotKey(&HotKeyTable[31], "F11");   // command 32
  KeyRouteInput input = Msg(WM_KEYDOWN, VK_F1 + 10);
  EXPECT_EQ(Describe(RouteMessage(input)), "execute 32 handled cleared");
  input.wParam = VK_F1 + 2;
  EXPECT_EQ(Describe(RouteMessage(input)), "pass");
  LoadDefaultHotKeys();
}

}  // namespace

// The application message hook's decision (see KeyRouting.h).
#include "shell/KeyRouting.h"

#include "shell/ViewSurfaces.h"

namespace {

constexpr WPARAM kSystemCommandMask = 0xFFF0;
constexpr WPARAM kEnterChar = 13;
constexpr WPARAM kEscapeChar = 27;
constexpr WPARAM kSpaceChar = 32;
constexpr WPARAM kLastControlLetter = 26;   // Ctrl+Z

KeyRoute Execute(int command, bool clearKey) {
  KeyRoute route;
  route.action = KeyAction::kExecute;
  route.command = command;
  route.handled = true;
  route.clearKey = clearKey;
  return route;
}

KeyRoute Swallow() {
  KeyRoute route;
  route.action = KeyAction::kSwallow;
  route.handled = true;
  return route;
}

bool IsFunctionKey(WPARAM key) { return key >= static_cast<WPARAM>(VK_F1) && key <= static_cast<WPARAM>(VK_F12); }

KeyRoute KeyDown(const KeyRouteInput& input) {
  const WPARAM key = input.wParam;
  // Function keys act even while an edit control has the focus.
  if (IsFunctionKey(key)) {
    const int command = MatchHotKey(static_cast<unsigned>(key), input.keys);
    if (command != 0) return Execute(command, true);
  }
  if (key == 0) return Swallow();
  if (input.focusInEdit) return {};
  const int command = MatchHotKey(static_cast<unsigned>(key), input.keys);
  if (command != 0) return Execute(command, true);
  return {};
}

KeyRoute Character(const KeyRouteInput& input) {
  if (input.focusInEdit) return {};
  const WPARAM ch = input.wParam;
  if (ch >= 1 && ch <= kLastControlLetter && input.keys.ctrl) return {};
  if (ch == kEnterChar || ch == kEscapeChar) return Swallow();
  if (ch == kSpaceChar) return {};
  KeyRoute route;
  route.action = KeyAction::kOpenWizard;
  return route;
}

KeyRoute Wheel(const KeyRouteInput& input) {
  if (!input.mainWindowActive) return {};
  const bool away = static_cast<std::int16_t>((input.wParam >> 16) & 0xFFFF) > 0;
  KeyRoute route;
  route.action = KeyAction::kWheelKeys;
  route.handled = true;
  switch (input.activeViewKind) {
    case VIEW_TREND:
    case VIEW_KLINE:
      if ((input.activeModeFlags & (kChartModeTradeList | kChartModePriceSpread)) != 0) return {};
      if (input.activeSideListMode) return {};
      route.wheelKey = static_cast<WPARAM>(away ? VK_PRIOR : VK_NEXT);
      return route;
    case VIEW_REPORT:
      if ((input.activePropertyFlags & (kWheelPagesProperty | kWheelStepsProperty)) != 0) {
        route.wheelKey = static_cast<WPARAM>(away ? VK_PRIOR : VK_NEXT);
      } else {
        route.wheelKey = static_cast<WPARAM>(away ? VK_UP : VK_DOWN);
      }
      return route;
    default: return {};
  }
}

KeyRoute SystemCommand(const KeyRouteInput& input) {
  const WPARAM command = input.wParam & kSystemCommandMask;
  KeyRoute route;
  route.action = KeyAction::kSystemCommand;
  if (command == SC_MINIMIZE || command == SC_MAXIMIZE || command == SC_RESTORE) route.leaveFullScreen = true;
  if (command == SC_RESTORE) route.addSizingFrame = true;
  if (command == SC_MAXIMIZE) route.removeSizingFrame = true;
  if (command == kScScreenSave) route.handled = true;
  if (!route.leaveFullScreen && !route.handled) return {};
  return route;
}

}  // namespace

KeyRoute RouteMessage(const KeyRouteInput& input) {
  switch (input.message) {
    case WM_KEYDOWN:
      if (input.modalDepth > 0) return {};
      return KeyDown(input);
    case WM_SYSKEYDOWN: {
      if (input.modalDepth > 0) return {};
      const int command = MatchHotKey(static_cast<unsigned>(input.wParam), input.keys);
      if (command != 0) return Execute(command, false);
      return {};
    }
    case WM_CHAR:
      if (input.modalDepth > 0) return {};
      return Character(input);
    case WM_SYSCOMMAND: return SystemCommand(input);
    case WM_MOUSEMOVE: {
      KeyRoute route;
      route.action = KeyAction::kDropCellHover;
      return route;
    }
    case WM_MOUSEWHEEL: return Wheel(input);
    default: return {};
  }
}

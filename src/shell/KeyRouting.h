// The application message hook's routing as a pure decision: from one message of the UI
// thread's queue and the state around it (the modal-dialog depth, whether the focused window is
// an edit control, the modifier keys, the active view's kind and flags, the main window's state)
// to what the main window does with it. The main window's glue (MainFrameKeys.cpp) gathers the
// state, calls RouteMessage and carries out the action; nothing here touches a window.
//
// Hot keys are looked up with MatchHotKey against the current hot-key table and the given
// keyboard state. UI thread only (the hot-key table is).
#pragma once

#include "data/HotKeys.h"
#include "platform/WinUser.h"
#include "shell/ViewTypes.h"

#include <cstdint>

// The screen saver's system command (the low four bits are the system's own).
constexpr WPARAM kScScreenSave = 0xF140;

// Quote-list property bits that make the wheel page (one page) or step instruments; without
// either it moves the selection one row.
constexpr std::uint32_t kWheelPagesProperty = 0x80;
constexpr std::uint32_t kWheelStepsProperty = 0x100;

struct KeyRouteInput {
  UINT message = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
  int modalDepth = 0;              // ModalDialogDepth(): anything above 0 stops keys and characters
  bool focusInEdit = false;        // the focused window answers EM_GETLINECOUNT with 1 or more
  KeyboardState keys;              // CTRL, SHIFT, ALT, NUM LOCK at this moment
  // The wheel: only while the main window is the active window.
  bool mainWindowActive = false;
  ViewKind activeViewKind = VIEW_NONE;   // VIEW_NONE without an active cell
  std::uint32_t activeModeFlags = 0;     // chart mode flags (kChartMode*)
  bool activeSideListMode = false;       // the chart's side trade list is being browsed
  std::uint32_t activePropertyFlags = 0; // quote-list property bits
};

enum class KeyAction : std::uint8_t {
  kPass,              // dispatched as usual
  kExecute,           // ExecuteCommand(command); handled; with clearKey the key becomes 0
  kSwallow,           // handled, nothing else (Enter and Esc typed, a key already cleared)
  kOpenWizard,        // the keyboard wizard with this character
  kWheelKeys,         // a key-down and key-up of wheelKey posted to the active view; handled
  kSystemCommand,     // see the flags below; handled only for the screen saver
  kDropCellHover,     // WM_NCMOUSEMOVE (0, 0) posted to every cell but the message's window
};

struct KeyRoute {
  KeyAction action = KeyAction::kPass;
  bool handled = false;
  bool clearKey = false;       // the message's wParam is set to 0
  int command = 0;             // kExecute
  WPARAM wheelKey = 0;         // kWheelKeys: VK_PRIOR, VK_NEXT, VK_UP or VK_DOWN
  // kSystemCommand: leave full screen first (minimise, maximise, restore); add or remove the
  // sizing frame (restore adds it when the main window is visible, maximise removes it; the
  // glue checks the visibility).
  bool leaveFullScreen = false;
  bool addSizingFrame = false;
  bool removeSizingFrame = false;
};

// Decides what the hook does with the message. Keys and characters do nothing while a modal
// dialog is open (any depth). WM_KEYDOWN: F1..F12 are matched first, even in an edit control;
// a key already cleared is swallowed; other keys are left to an edit control, else matched.
// WM_SYSKEYDOWN (Alt combinations, F10): matched, never cleared. WM_CHAR: left to an edit
// control; Ctrl+letter control characters ignored; Enter and Esc swallowed; Space passed;
// anything else opens the wizard. The wheel pages a chart not showing its detail list, price
// distribution or browsed side list, and a quote list by its property bits.
KeyRoute RouteMessage(const KeyRouteInput& input);

// The window procedure of the window tests: it logs every message of their windows in order and
// lets a test answer some of them itself; the rest go to DefWindowProcA. The tests register
// their own classes with it and clear the log and the handler in SetUp.
#pragma once

#include "platform/WinUser.h"

#include <functional>
#include <optional>
#include <vector>

namespace platformtest {

struct Logged {
  HWND window;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};

extern std::vector<Logged> messageLog;
// Answers a message itself (a value) or lets the default run (nullopt); empty for none.
extern std::function<std::optional<LRESULT>(HWND, UINT, WPARAM, LPARAM)> handler;

LRESULT LoggingWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace platformtest

#include "LoggingWindowProc.h"

namespace platformtest {

std::vector<Logged> messageLog;
std::function<std::optional<LRESULT>(HWND, UINT, WPARAM, LPARAM)> handler;

LRESULT LoggingWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  messageLog.push_back({window, message, wParam, lParam});
  if (handler) {
    if (auto result = handler(window, message, wParam, lParam)) return *result;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace platformtest

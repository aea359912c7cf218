// Stand-in until the control lands.
#include "platform/internal/Wrapped.h"

namespace zuvo::platform::win {
LRESULT TreeViewWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcA(window, message, wParam, lParam);
}
}  // namespace zuvo::platform::win

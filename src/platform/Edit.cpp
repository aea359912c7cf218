// Stand-in until the control lands: a bare single-line edit to prove the host.
#include "platform/internal/Wrapped.h"

#include "platform/internal/Window.h"

#include <QLineEdit>

#include <cstring>

namespace zuvo::platform::win {
LRESULT EditWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* line = new QLineEdit();
    line->setFrame(false);
    AttachWrapped(window, std::make_shared<WrappedControl>(window, line));
    return DefWindowProcA(window, message, wParam, lParam);
  }
  std::shared_ptr<WrappedControl> edit = WrappedShared(window);
  if (!edit) return DefWindowProcA(window, message, wParam, lParam);
  auto* line = static_cast<QLineEdit*>(edit->widget());
  switch (message) {
    case WM_GETTEXT: {
      if (lParam == 0 || wParam == 0) return 0;
      std::string text = ToGbk(line->text());
      std::size_t n = std::min<std::size_t>(text.size(), wParam - 1);
      std::memcpy(reinterpret_cast<char*>(lParam), text.data(), n);
      reinterpret_cast<char*>(lParam)[n] = 0;
      return static_cast<LRESULT>(n);
    }
    case WM_GETTEXTLENGTH:
      return GbkLength(line->text());
    case WM_SETTEXT:
      line->setText(lParam != 0 ? FromGbk(reinterpret_cast<const char*>(lParam)) : QString());
      return TRUE;
    default:
      return edit->DefaultProc(message, wParam, lParam);
  }
}
}  // namespace zuvo::platform::win

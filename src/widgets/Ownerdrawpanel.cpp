#include "widgets/Ownerdrawpanel.h"

#include "widgets/Package.h"

TOwnerDrawPanel::TOwnerDrawPanel(TComponent* owner) : TPanel(owner) {}

void TOwnerDrawPanel::OnPaint(HDC dc) {
  RECT face{0, 0, Width(), Height()};
  if (TOwnerDrawEvent draw = OnDraw) {
    draw(this, dc, &face);
    return;
  }
  HBRUSH brush = CreateSolidBrush(ColorToRGB(Color()));
  FillRect(dc, &face, brush);
  DeleteObject(brush);
}

void TOwnerDrawPanel::WndProc(TMessage& message) {
  // Handlers are copied before they run: they may swap or detach the event.
  const int x = GET_X_LPARAM(message.LParam);
  const int y = GET_Y_LPARAM(message.LParam);
  switch (message.Msg) {
    case WM_PAINT: {
      TPaintScope scope(handle_, message);
      if (scope.Dc() != nullptr) OnPaint(scope.Dc());
      message.Result = 0;
      return;
    }
    case WM_ERASEBKGND:
      message.Result = 1;
      return;
    case WM_SETCURSOR:
      if (TOwnerDrawSetCursorEvent event = OnSetCursor) {
        bool handled = false;
        event(this, x, &handled);   // the hit-test code is the low half
        if (handled) {
          message.Result = 1;
          return;
        }
      }
      break;
    case WM_GETMINMAXINFO:
      // A message without its record (sent by hand) is left to the panel.
      if (TOwnerDrawMinMaxEvent event = OnGetMinMaxInfo; event && message.LParam != 0) {
        event(this, reinterpret_cast<MINMAXINFO*>(message.LParam));
        message.Result = 0;
        return;
      }
      break;
    case WM_NCHITTEST:
      if (TOwnerDrawNcHittestEvent event = OnNcHittest) {
        int result = static_cast<int>(message.Result);
        event(this, x, y, &result);
        message.Result = result;
        return;
      }
      break;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
      if (TOwnerDrawMouseEvent event = message.Msg == WM_LBUTTONDOWN ? OnLButtonDown : OnLButtonUp) {
        event(this, x, y);
        message.Result = 0;
        return;
      }
      break;
    default:
      break;
  }
  TPanel::WndProc(message);
}

namespace zuvo::widgets {
void RegisterOwnerdrawpanel() { RegisterComponentClass("TOwnerDrawPanel"); }
}  // namespace zuvo::widgets

#include "widgets/Msgdrawgrid.h"

#include "widgets/Package.h"

TMsgDrawGrid::TMsgDrawGrid(TComponent* owner) : TDrawGrid(owner) {}

void TMsgDrawGrid::WndProc(TMessage& message) {
  // The handler is copied before it runs: it may swap or detach the event.
  TMsgMouseEvent mouse;
  TMsgKeyEvent key;
  switch (message.Msg) {
    case WM_LBUTTONDOWN: mouse = OnLButtonDown; break;
    case WM_LBUTTONUP: mouse = OnLButtonUp; break;
    case WM_RBUTTONDOWN: mouse = OnRButtonDown; break;
    case WM_RBUTTONUP: mouse = OnRButtonUp; break;
    case WM_KEYDOWN: key = OnKeyDown2; break;
    case WM_KEYUP: key = OnKeyUp2; break;
    default: break;
  }
  if (mouse || key) {
    bool handled = true;
    if (mouse) {
      mouse(this, GET_X_LPARAM(message.LParam), GET_Y_LPARAM(message.LParam), &handled);
    } else {
      key(this, message.WParam, &handled);
    }
    if (handled) {
      message.Result = 0;
      return;
    }
  }
  TDrawGrid::WndProc(message);
}

namespace zuvo::widgets {
void RegisterMsgdrawgrid() { RegisterComponentClass("TMsgDrawGrid"); }
}  // namespace zuvo::widgets

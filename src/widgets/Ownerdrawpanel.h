// A panel whose whole face is painted by its OnDraw handler and which hands hit testing,
// cursor setting, size limits and left-button presses and releases to events. The panel's own
// bevels, caption and background are never drawn: without OnDraw the face is only Color.
// UI thread only.
//
// Messages (everything not listed goes to the panel as usual):
// - WM_PAINT: OnPaint on the paint context, result 0. Windowless children are not painted.
// - WM_ERASEBKGND: result 1, nothing erased (OnPaint covers the face).
// - WM_SETCURSOR: with OnSetCursor, a flag that starts false; set by the handler, result 1 and
//   the panel's own cursor is not applied.
// - WM_NCHITTEST: with OnNcHittest, the handler writes the answer.
// - WM_GETMINMAXINFO: with OnGetMinMaxInfo, the handler fills the record, result 0.
// - WM_LBUTTONDOWN / WM_LBUTTONUP: with OnLButtonDown / OnLButtonUp, result 0 and the panel's
//   own mouse events and click do not happen.
// Positions and the hit-test code are taken as signed 16-bit halves, so a point left of or
// above the window (or on a screen left of the primary one) and HTERROR arrive negative.
#pragma once

#include "platform/Panel.h"

#include <functional>

using TOwnerDrawEvent = std::function<void(TObject* Sender, HDC hDC, RECT* pRect)>;
using TOwnerDrawMouseEvent = std::function<void(TObject* Sender, int x, int y)>;
using TOwnerDrawSetCursorEvent = std::function<void(TObject* Sender, int iHitTest, bool* pbHandled)>;
// x, y are screen coordinates; *piResult is the message's answer (HTCLIENT...).
using TOwnerDrawNcHittestEvent = std::function<void(TObject* Sender, int x, int y, int* piResult)>;
using TOwnerDrawMinMaxEvent = std::function<void(TObject* Sender, MINMAXINFO* pmmi)>;

class TOwnerDrawPanel : public TPanel {
 public:
  explicit TOwnerDrawPanel(TComponent* owner);
  const char* ClassName() const override { return "TOwnerDrawPanel"; }

  void WndProc(TMessage& message) override;
  // Paints the face on `dc`: OnDraw with (0, 0, Width, Height), or that rectangle in Color
  // (system colours resolved) when no handler is assigned.
  void OnPaint(HDC dc);

  TOwnerDrawEvent OnDraw;
  TOwnerDrawMouseEvent OnLButtonDown;
  TOwnerDrawMouseEvent OnLButtonUp;
  TOwnerDrawSetCursorEvent OnSetCursor;
  TOwnerDrawNcHittestEvent OnNcHittest;
  TOwnerDrawMinMaxEvent OnGetMinMaxInfo;
};

namespace zuvo::widgets {
// Names TOwnerDrawPanel to the package's class table.
void RegisterOwnerdrawpanel();
}  // namespace zuvo::widgets

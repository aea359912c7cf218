// The package's push button: the class library's push button (click, Default, Cancel,
// ModalResult, keys) with every pixel of its face painted here in one light, soft-cornered,
// gradient style. Five faces, first match wins: disabled, pressed (the mouse went down on it and
// is still inside), hot (the pointer is over it), default (Default set, whatever has the focus),
// normal; a dotted focus frame while focused or pressed. OnDrawCaption lets a form paint the
// caption area itself.
//
// The face painting is shared with the push-style radio button (namespace xpface below); the
// message handling and the mouse tracking with all the package's buttons (XpOwnerDraw.h).
#pragma once

#include "platform/Button.h"
#include "widgets/XpOwnerDraw.h"

#include <functional>
#include <string>

namespace zuvo::widgets {

// Paints the caption area instead of the text: the control, the context and the caption
// rectangle (right and bottom exclusive).
using TDrawCaptionEvent = std::function<void(TObject* Sender, HDC hDC, RECT* pRect)>;

namespace xpface {

enum class Face { Normal, Default, Hot, Pressed, Disabled };

// The brush the button's parent wants behind buttons (WM_CTLCOLORBTN with the button's context);
// the system button face when the parent answers none.
HBRUSH ParentButtonBrush(HWND button, HDC dc);

// Fills the w x h client area with `parentBrush` and draws `face` on it, all but the caption and
// the corner pixels. Returns the outer shadow colours (dark above and left, light below and
// right) taken from the background's pixel (0, 0); the disabled face leaves them black.
struct Shadow {
  COLORREF dark = 0;
  COLORREF light = 0;
};
Shadow DrawBody(HDC dc, int w, int h, HBRUSH parentBrush, Face face);
// The corner pixels of `face`, drawn after the caption.
void DrawCorners(HDC dc, int w, int h, Face face, const Shadow& shadow);
// The caption rectangle (4, 4, w - 4, h - 4); false when it is empty.
bool CaptionRect(int w, int h, RECT& rect);
// The caption on one line, centred, cut with an end ellipsis, "&" marking the accelerator, in the
// window's font; the context's font, background mode and text colour are restored.
void DrawCenteredCaption(HDC dc, HWND window, const std::string& text, RECT rect, COLORREF color);
// The caption of a check box or radio button: one line, left-aligned and centred vertically in
// (19, 0, w, h), in the window's font. Returns the caption's size as shown (accelerator marks
// left out) for the focus frame.
SIZE DrawSideCaption(HDC dc, HWND window, const std::string& text, int w, int h, COLORREF color);
// The focus frame of a side caption of that size: from x = 17, two pixels wider than the text,
// centred vertically, kept inside the w x h client area.
void DrawSideFocus(HDC dc, SIZE caption, int w, int h);
// The caption colour of a disabled face.
constexpr COLORREF kDisabledText = RGB(161, 161, 146);

}  // namespace xpface

class TXPButton : public TXPOwnerDrawButton<TButton, xpface::kDoubleClickIsPress> {
 public:
  explicit TXPButton(TComponent* owner);
  const char* ClassName() const override { return "TXPButton"; }

  // Replaces the caption drawing when assigned.
  TDrawCaptionEvent OnDrawCaption;

  // The face of each state on a context of the control's size, each ending with the caption and
  // the corner pixels.
  void DrawNormal(HDC dc);
  void DrawDefault(HDC dc);
  void DrawHot(HDC dc);
  void DrawPressed(HDC dc);
  void DrawDisabled(HDC dc);
  virtual void DrawCaption(HDC dc);

 protected:
  void OnPaint(HDC dc) override;

  int m_bFocusShown = 0;   // the last paint drew the focus frame

 private:
  void DrawFace(HDC dc, xpface::Face face);
};

void RegisterXpbutton();

}  // namespace zuvo::widgets

// The package's flat look, shared by its controls: the creation styles that swap the sunken
// edge for a thin one, the one-pixel frame painted over that edge after every non-client paint,
// the colours of the flat buttons, and the mouse-leave request of the hot-tracking controls.
//
// TXPFlatBorder<Base> is the whole of a flat-border control: a standard control whose window is
// made with the thin edge and whose edge is repainted in the border colour after the base's own
// WM_NCPAINT. Behaviour, client area and painting inside stay the base's. The frame looks the
// same in every state: focus, hover and disabling do not change it. UI thread only.
#pragma once

#include "platform/Control.h"
#include "platform/WinUser.h"

namespace zuvo::widgets {

// The border and the flat buttons' outline.
constexpr COLORREF kXpBorderColor = RGB(127, 157, 185);
// Faces of the flat drop button and spin buttons.
constexpr COLORREF kXpFaceNormal = RGB(183, 207, 251);
constexpr COLORREF kXpFaceHot = RGB(221, 239, 253);
constexpr COLORREF kXpFacePressed = RGB(138, 165, 244);
constexpr COLORREF kXpArrowColor = RGB(77, 97, 133);
constexpr COLORREF kXpHotOutline = RGB(152, 177, 228);
constexpr COLORREF kXpPressedOutline = RGB(133, 146, 217);

// The extended styles of the raised and sunken edges.
constexpr DWORD kXpEdgeExStyles = WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE | WS_EX_CLIENTEDGE;
static_assert(kXpEdgeExStyles == 0x301);

// Clears WS_BORDER and the edge styles above and sets WS_EX_STATICEDGE: the one-pixel edge the
// frame is painted on, so the client area is the window less one pixel on each side.
void ApplyFlatBorderStyle(TCreateParams& params);

// Frames the whole window (edges included) with one pixel of kXpBorderColor through a window
// context. Nothing for a null or dead window.
void PaintFlatBorder(HWND window);

// Asks for one WM_MOUSELEAVE when the pointer leaves the window. False when refused.
bool RequestMouseLeave(HWND window);

}  // namespace zuvo::widgets

// A standard control with the package's flat border (see above).
template <class Base>
class TXPFlatBorder : public Base {
 public:
  using Base::Base;

  void WndProc(TMessage& message) override {
    Base::WndProc(message);
    // The base's result stands; the frame goes over what its non-client paint drew.
    if (message.Msg == WM_NCPAINT && this->HandleAllocated()) zuvo::widgets::PaintFlatBorder(this->Handle());
  }

 protected:
  void CreateParams(TCreateParams& params) override {
    Base::CreateParams(params);
    zuvo::widgets::ApplyFlatBorderStyle(params);
  }
};

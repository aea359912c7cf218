// A radio button with the package push button's look: the pressed face while checked (or while
// the mouse holds it), the hot face under the pointer, no default face and no focus frame.
// Checking and grouping are the class library's radio button's.
#pragma once

#include "platform/Button.h"
#include "widgets/Xpbutton.h"

namespace zuvo::widgets {

class TXPPushRadioButton
    : public TXPOwnerDrawButton<TRadioButton, xpface::kRepaintOnChanged | xpface::kRepaintOnTabStop> {
 public:
  explicit TXPPushRadioButton(TComponent* owner);
  const char* ClassName() const override { return "TXPPushRadioButton"; }

  // Replaces the caption drawing when assigned (as the push button's).
  TDrawCaptionEvent OnDrawCaption;

  void DrawNormal(HDC dc);
  void DrawHot(HDC dc);
  void DrawPressed(HDC dc);
  void DrawDisabled(HDC dc);
  void DrawCaption(HDC dc);

 protected:
  void OnPaint(HDC dc) override;

 private:
  void DrawFace(HDC dc, xpface::Face face);
};

void RegisterXppushradiobutton();

}  // namespace zuvo::widgets

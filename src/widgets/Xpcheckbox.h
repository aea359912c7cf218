// The package's check box: the class library's check box (states, clicks, keys) with a 13 x 13
// box in the push button's style, a green tick, and the caption to its right. Faces: disabled
// (a frame only), pressed, hot, normal; the grayed state draws as unchecked.
#pragma once

#include "platform/Button.h"
#include "widgets/XpOwnerDraw.h"

namespace zuvo::widgets {

class TXPCheckBox : public TXPOwnerDrawButton<TCheckBox, xpface::kRepaintOnChanged> {
 public:
  explicit TXPCheckBox(TComponent* owner);
  const char* ClassName() const override { return "TXPCheckBox"; }

  void DrawNormal(HDC dc);
  void DrawHot(HDC dc);
  void DrawPressed(HDC dc);
  void DrawDisabled(HDC dc);
  void DrawCaption(HDC dc);
  void DrawCheckMarker(HDC dc);

 protected:
  void OnPaint(HDC dc) override;

  int m_bFocusShown = 0;

 private:
  enum class Box { Normal, Hot, Pressed };
  void DrawBox(HDC dc, Box box);
  // The top of the box (and of the radio marker): centred, halved by an arithmetic shift.
  int BoxTop() const { return (Height() - 13) >> 1; }
};

void RegisterXpcheckbox();

}  // namespace zuvo::widgets

// The package's radio button: the class library's radio button (checking, grouping, keys) with an
// anti-aliased round marker in the push button's style, a green dot when checked, the caption to
// its right. Faces: disabled (outline only), pressed, hot, normal.
#pragma once

#include "platform/Button.h"
#include "widgets/XpOwnerDraw.h"

#include <array>

namespace zuvo::widgets {

namespace xpradio {

// The 12-sided polygon standing for a circle of radius r around (cx, cy), in drawing order from
// (cx + r, cy) upwards and round, with e = trunc(0.75 r + 0.5) and g = trunc(0.433 r + 0.5).
std::array<POINT, 12> MarkerVertices(int cx, int cy, int r);

// An anti-aliased line from (x0, y0) to (x1, y1), both ends included. Horizontal, vertical and
// 45-degree lines are solid; others step along their long axis with a 16-bit error accumulator and
// share each step between two pixels, blended with what is under them (the darker of line and
// background by luma keeps its weight, so the line looks the same on light and dark ground).
void DrawSmoothLine(HDC dc, int x0, int y0, int x1, int y1, COLORREF color);

// The closed outline through MarkerVertices.
void DrawMarkerOutline(HDC dc, int cx, int cy, int r, COLORREF color);

// The 13 x 13 fill images laid over the outline, row by row; 0 leaves the pixel as it is.
//
// Each is a disc of the state's fill on the outline colour around the image's centre (6, 6):
// a pixel at squared distance d2 from the centre takes the fill with the weight
// DiscWeight(d2, 25) (radius 5 inside the radius-6 outline) and the outline colour with the rest,
// Mix rounding each channel. The fill of the normal and pressed images is the check box's ramp
// of the state at (u + v - 2); the hot image's is the orange ramp with a central disc of
// (241, 239, 223) laid on it by the same rule at radius 3 (DiscWeight(d2, 9)).
enum class Fill { Normal, Hot, Pressed };
const std::array<COLORREF, 169>& FillImage(Fill fill);
// 255 inside, 245 on the rim d2 == rim2, 64 less for each further unit of d2, 0 beyond.
int DiscWeight(int d2, int rim2);
// (under * (255 - weight) + over * weight) / 255 per channel, rounded.
COLORREF Mix(COLORREF under, COLORREF over, int weight);

}  // namespace xpradio

class TXPRadioButton
    : public TXPOwnerDrawButton<TRadioButton, xpface::kRepaintOnChanged | xpface::kRepaintOnTabStop> {
 public:
  explicit TXPRadioButton(TComponent* owner);
  const char* ClassName() const override { return "TXPRadioButton"; }

  void DrawNormal(HDC dc);
  void DrawHot(HDC dc);
  void DrawPressed(HDC dc);
  void DrawDisabled(HDC dc);
  void DrawCaption(HDC dc);
  void DrawCheckMarker(HDC dc);

 protected:
  void OnPaint(HDC dc) override;

 private:
  void DrawMarker(HDC dc, xpradio::Fill fill);
  int MarkerTop() const { return (Height() - 13) >> 1; }
};

void RegisterXpradiobutton();

}  // namespace zuvo::widgets

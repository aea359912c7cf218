// Spin buttons with the package's flat look: two flat half-buttons with a hover and a pressed
// face, painted wholly by the control. Spinning, auto-repeat, the position and the associated
// edit are the base's.
//
// The halves: with p the pointer's y and s the height (x and the width for a horizontal
// control) and h = s / 2, the first half is p < h, the second p >= s - h; an odd size leaves one
// middle line that belongs to neither. m_iState: 0 none, 1 or 2 the first or second half pressed,
// 3 or 4 hot. A press or release sets it without repainting; a move repaints at once when it
// changed; leaving clears it at once. A double click counts as a second press. Only the vertical
// control is painted: a horizontal one tracks its halves but paints nothing (no form uses one).
// UI thread only.
#pragma once

#include "platform/ScrollBar.h"
#include "widgets/XpFlatBorder.h"

class TXPUpDown : public TUpDown {
 public:
  explicit TXPUpDown(TComponent* owner);
  const char* ClassName() const override { return "TXPUpDown"; }
  void WndProc(TMessage& message) override;

  void OnCreate(const CREATESTRUCTA* create) {}
  void OnMouseMove(WPARAM keys, int x, int y);
  void OnLButtonDown(int x, int y);
  void OnLButtonUp(int x, int y);
  void OnMouseLeave();
  void OnPaint(void* dc);

  // Which half a point is in: 1 the first, 2 the second, 0 the middle line.
  int HalfAt(int x, int y) const;

  int m_bHot = 0;     // 1 while the pointer is over the control and a leave notice is armed
  int m_iState = 0;   // see above

 private:
};

namespace zuvo::widgets {
// The half of a span of `size` pixels that `position` lies in: 1 first, 2 second, 0 middle line.
int UpDownHalf(int position, int size);
// Names TXPUpDown in the package's class table.
void RegisterXpupdown();
}  // namespace zuvo::widgets

// Tab and page controls with the package's flat look (the page control's unit shares the painting
// here): one row of tabs with softened corners over a white body with a thin frame and a
// two-pixel shadow to the right and below, blended into the parent's colour. The active tab
// stands two pixels further out on each side and higher than the others, with an orange top, and
// opens into the body; the tab under the pointer gets the same orange top.
//
// The controls paint the whole window themselves (WM_PAINT; WM_ERASEBKGND erases nothing) and
// keep the base's behaviour: clicks, keys, pages, events and HotTrack's repaint of the tab the
// pointer enters, which is what shows the hot tab (each paint reads the pointer afresh).
// Every instance has HotTrack on and Color white; the painting uses the parent's colour instead.
// A control without tabs is one flat area of the parent's colour. A control with tabs but no
// active tab (or an active index outside the tabs) shows the frame, the body and the inactive
// tabs. While the pointer is over the active tab as drawn (its enlarged outline) no other tab is
// hot. Only tabs along the top in one row are painted. UI thread only.
#pragma once

#include "platform/TabControl.h"

class TXPTabControl : public TTabControl {
 public:
  explicit TXPTabControl(TComponent* owner);
  const char* ClassName() const override { return "TXPTabControl"; }
  void WndProc(TMessage& message) override;
  void OnPaint(void* dc);
  // The tab of the last left press that hit a tab; -1 before any. A press elsewhere keeps it.
  int fGetTabClicking() const { return m_iTabClicking - 1; }

  int m_iTabClicking = 0;   // that tab's index + 1; 0 before any
};

namespace zuvo::widgets {

// The colour n/d of the way from the darker towards the lighter of two colours, channel by
// channel, remainders dropped.
COLORREF XpBlend(COLORREF a, COLORREF b, int n, int d);
// Paints a tab or page control as described above into `dc` (a context of its window's client
// area).
void PaintXpTabs(TCustomTabControl* control, HDC dc);
// The WM_PAINT and WM_ERASEBKGND handling both controls share; true when the message was
// answered (the base must not see it).
bool HandleXpTabsPaint(TCustomTabControl* control, TMessage& message);
// Names TXPTabControl in the package's class table.
void RegisterXptabcontrol();

}  // namespace zuvo::widgets

// A combo box with the package's flat look: the flat border (XpFlatBorder.h) and its drop button
// painted over the base's as a flat button, in the normal, hot (pointer over the control) or
// pressed face, with a thick chevron. On systems before 5.1 (version value 50000 or below) it is
// the plain base control: base styles, base painting, no mouse tracking.
//
// m_iOsVersion is asked of the system once per process, by the first combo box made. m_iState
// follows the mouse: a press makes it pressed (1), a release inside hot (2) and outside normal
// (0), a move pressed or hot by the left button, leaving normal. Presses and releases change the
// state without a repaint (the base's own press handling, or the next move, shows it); moves and
// leaving repaint at once when the state changed. A double click counts as a second press.
// UI thread only.
#pragma once

#include "platform/ComboBox.h"
#include "widgets/XpFlatBorder.h"

class TXPComboBox : public TComboBox {
 public:
  explicit TXPComboBox(TComponent* owner);
  const char* ClassName() const override { return "TXPComboBox"; }
  void WndProc(TMessage& message) override;

  void OnCreate(const CREATESTRUCTA* create) {}
  void OnMouseMove(WPARAM keys, int x, int y);
  void OnLButtonDown(int x, int y);
  void OnLButtonUp(int x, int y);
  void OnMouseLeave();
  // Draws the flat drop button over what the base painted, through a client context.
  void OnPaint(void* dc);

  // The system version as major * 10000 + minor; 0 until the first combo box asks.
  static int m_iOsVersion;
  int m_bHot = 0;     // 1 while the pointer is over the control and a leave notice is armed
  int m_iState = 0;   // 0 normal, 1 pressed, 2 hot

  static constexpr int kStateNormal = 0;
  static constexpr int kStatePressed = 1;
  static constexpr int kStateHot = 2;

 protected:
  void CreateParams(TCreateParams& params) override;

 private:
  bool Flat() const { return m_iOsVersion > 50000; }
};

namespace zuvo::widgets {
// Names TXPComboBox in the package's class table.
void RegisterXpcombobox();
}  // namespace zuvo::widgets

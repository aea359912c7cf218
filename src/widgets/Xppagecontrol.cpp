#include "widgets/Xppagecontrol.h"

#include "widgets/Package.h"
#include "widgets/Xptabcontrol.h"

TXPPageControl::TXPPageControl(TComponent* owner) : TPageControl(owner) {
  SetColor(clWhite);
  SetHotTrack(true);
}

void TXPPageControl::WndProc(TMessage& message) {
  if (zuvo::widgets::HandleXpTabsPaint(this, message)) return;
  TPageControl::WndProc(message);
}

void TXPPageControl::OnPaint(void* dc) { zuvo::widgets::PaintXpTabs(this, static_cast<HDC>(dc)); }

namespace zuvo::widgets {

void RegisterXppagecontrol() { RegisterComponentClass("TXPPageControl"); }

}  // namespace zuvo::widgets

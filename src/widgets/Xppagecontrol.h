// A page control with the package's flat look, painted as the flat tab control is
// (Xptabcontrol.h). The pages are windows of their own and paint themselves. UI thread only.
#pragma once

#include "platform/TabControl.h"

class TXPPageControl : public TPageControl {
 public:
  explicit TXPPageControl(TComponent* owner);
  const char* ClassName() const override { return "TXPPageControl"; }
  void WndProc(TMessage& message) override;
  void OnPaint(void* dc);
};

namespace zuvo::widgets {
// Names TXPPageControl in the package's class table.
void RegisterXppagecontrol();
}  // namespace zuvo::widgets

// A memo with the package's flat border. Behaviour and the client area are the
// base's; only the window's edge changes (XpFlatBorder.h). UI thread only.
#pragma once

#include "platform/Edit.h"
#include "widgets/XpFlatBorder.h"

class TXPMemo : public TXPFlatBorder<TMemo> {
 public:
  explicit TXPMemo(TComponent* owner) : TXPFlatBorder<TMemo>(owner) {}
  const char* ClassName() const override { return "TXPMemo"; }
};

namespace zuvo::widgets {
// Names TXPMemo in the package's class table.
void RegisterXpmemo();
}  // namespace zuvo::widgets

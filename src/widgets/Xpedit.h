// A single-line edit with the package's flat border. Behaviour and the client area are the
// base's; only the window's edge changes (XpFlatBorder.h). UI thread only.
#pragma once

#include "platform/Edit.h"
#include "widgets/XpFlatBorder.h"

class TXPEdit : public TXPFlatBorder<TEdit> {
 public:
  explicit TXPEdit(TComponent* owner) : TXPFlatBorder<TEdit>(owner) {}
  const char* ClassName() const override { return "TXPEdit"; }
};

namespace zuvo::widgets {
// Names TXPEdit in the package's class table.
void RegisterXpedit();
}  // namespace zuvo::widgets

// A check list box with the package's flat border. Behaviour and the client area are the
// base's; only the window's edge changes (XpFlatBorder.h). UI thread only.
#pragma once

#include "platform/ListBox.h"
#include "widgets/XpFlatBorder.h"

class TXPCheckListBox : public TXPFlatBorder<TCheckListBox> {
 public:
  explicit TXPCheckListBox(TComponent* owner) : TXPFlatBorder<TCheckListBox>(owner) {}
  const char* ClassName() const override { return "TXPCheckListBox"; }
};

namespace zuvo::widgets {
// Names TXPCheckListBox in the package's class table.
void RegisterXpchecklistbox();
}  // namespace zuvo::widgets

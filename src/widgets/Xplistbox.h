// A list box with the package's flat border. Behaviour and the client area are the
// base's; only the window's edge changes (XpFlatBorder.h). UI thread only.
#pragma once

#include "platform/ListBox.h"
#include "widgets/XpFlatBorder.h"

class TXPListBox : public TXPFlatBorder<TListBox> {
 public:
  explicit TXPListBox(TComponent* owner) : TXPFlatBorder<TListBox>(owner) {}
  const char* ClassName() const override { return "TXPListBox"; }
};

namespace zuvo::widgets {
// Names TXPListBox in the package's class table.
void RegisterXplistbox();
}  // namespace zuvo::widgets

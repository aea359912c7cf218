// A tree view with the package's flat border. Behaviour and the client area are the
// base's; only the window's edge changes (XpFlatBorder.h). UI thread only.
#pragma once

#include "platform/TreeView.h"
#include "widgets/XpFlatBorder.h"

class TXPTreeView : public TXPFlatBorder<TTreeView> {
 public:
  explicit TXPTreeView(TComponent* owner) : TXPFlatBorder<TTreeView>(owner) {}
  const char* ClassName() const override { return "TXPTreeView"; }
};

namespace zuvo::widgets {
// Names TXPTreeView in the package's class table.
void RegisterXptreeview();
}  // namespace zuvo::widgets

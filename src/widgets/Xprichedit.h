// A rich edit with the package's flat border. Behaviour and the client area are the
// base's; only the window's edge changes (XpFlatBorder.h). UI thread only.
#pragma once

#include "platform/RichEdit.h"
#include "widgets/XpFlatBorder.h"

class TXPRichEdit : public TXPFlatBorder<TRichEdit> {
 public:
  explicit TXPRichEdit(TComponent* owner) : TXPFlatBorder<TRichEdit>(owner) {}
  const char* ClassName() const override { return "TXPRichEdit"; }
};

namespace zuvo::widgets {
// Names TXPRichEdit in the package's class table.
void RegisterXprichedit();
}  // namespace zuvo::widgets

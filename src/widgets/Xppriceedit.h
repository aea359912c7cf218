// An edit with the package's flat border that takes only what a price can hold: the digits,
// backspace and one decimal point.
//
// Typed characters (WM_CHAR): "0" to "9" and backspace pass; "." passes only while the text holds
// no point yet (also when the point there is selected and would be replaced); everything else is
// dropped unseen by the edit: the minus sign, letters, space, Enter, Escape, Tab and the control
// characters, Ctrl+V's among them. A paste (WM_PASTE: Shift+Insert, PasteFromClipboard) is taken
// whole when the text it would leave is digits with at most one point, else refused whole and the
// text stays as it was. Text set from code (SetText, WM_SETTEXT, EM_REPLACESEL) is not filtered.
// UI thread only.
#pragma once

#include "platform/Edit.h"
#include "widgets/XpFlatBorder.h"

#include <string>

class TXPPriceEdit : public TXPFlatBorder<TEdit> {
 public:
  explicit TXPPriceEdit(TComponent* owner) : TXPFlatBorder<TEdit>(owner) {}
  const char* ClassName() const override { return "TXPPriceEdit"; }
  void WndProc(TMessage& message) override;

 private:
  // The text a paste of the clipboard's text would leave (the selection replaced).
  std::string TextAfterPaste() const;
};

namespace zuvo::widgets {
// Digits with at most one point (the empty text too): what a price edit may hold.
bool IsPriceText(const std::string& text);
// Names TXPPriceEdit in the package's class table.
void RegisterXppriceedit();
}  // namespace zuvo::widgets

#include "dialogs/Bgamount.h"

#include "platform/Panel.h"
#include "widgets/Xpbutton.h"
#include "widgets/Xpedit.h"
#include "widgets/Xpupdown.h"

#include <algorithm>
#include <cctype>

using zuvo::widgets::TXPButton;

TBigAmount::TBigAmount(TComponent* owner) : TForm(owner) {
  SetName("BigAmount");
  SetCaption("大单提取");
  SetBorderStyle(bsDialog);
  SetPosition(poScreenCenter);
  SetClientWidth(200);
  SetClientHeight(80);

  Label1 = new TLabel(this);
  Label1->SetName("Label1");
  Label1->SetParent(this);
  Label1->SetBounds(12, 15, 70, 17);
  Label1->SetCaption("大单标准:");
  Edit1 = new TXPEdit(this);
  Edit1->SetName("Edit1");
  Edit1->SetParent(this);
  Edit1->SetBounds(84, 12, 88, 21);
  Edit1->SetText("0");
  UpDown1 = new TXPUpDown(this);
  UpDown1->SetName("UpDown1");
  UpDown1->SetParent(this);
  UpDown1->SetBounds(172, 12, 16, 21);
  UpDown1->SetMax(kMaxAmount);
  UpDown1->SetMin(0);
  UpDown1->SetAssociate(Edit1);
  Button1 = new TXPButton(this);
  Button1->SetName("Button1");
  Button1->SetParent(this);
  Button1->SetBounds(113, 46, 75, 25);
  Button1->SetCaption("确定");
  Button1->SetDefault(true);
  Button1->SetModalResult(mrOk);
  SetActiveControl(Edit1);
}

void TBigAmount::SetAmount(int amount) {
  UpDown1->SetPosition(std::clamp(amount, 0, kMaxAmount));
  Edit1->SetText(std::to_string(UpDown1->Position()));
}

int TBigAmount::Amount() const { return ParseAmount(Edit1->Text()); }

int TBigAmount::ParseAmount(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  // Digits beyond the range stop counting: the result is clamped anyway.
  long value = 0;
  bool digits = false;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
    digits = true;
    value = std::min<long>(value * 10 + (text[i] - '0'), kMaxAmount + 1L);
  }
  if (!digits || negative) return 0;
  return static_cast<int>(std::min<long>(value, kMaxAmount));
}

#include "dialogs/Changepsd.h"

#include "platform/Kernel.h"
#include "platform/Panel.h"
#include "platform/WinUser.h"
#include "widgets/Xpbutton.h"
#include "widgets/Xpedit.h"

#include <cstring>
#include <initializer_list>

using zuvo::widgets::TXPButton;

namespace {

// While the account library is loaded it checks the current password itself when the change
// is carried out, so the form does not compare it.
constexpr const char* kAccountLibrary = ".\\QXAccountDll.dll";

TLabel* MakeLabel(TChangeDiag* form, const char* name, const char* caption, int top) {
  auto* label = new TLabel(form);
  label->SetName(name);
  label->SetParent(form);
  label->SetBounds(16, top + 3, 130, 17);
  label->SetCaption(caption);
  return label;
}

TXPEdit* MakeEdit(TChangeDiag* form, const char* name, int top) {
  auto* edit = new TXPEdit(form);
  edit->SetName(name);
  edit->SetParent(form);
  edit->SetBounds(150, top, 150, 21);
  return edit;
}

}  // namespace

TChangeDiag::TChangeDiag(TComponent* owner) : TForm(owner) {
  SetName("ChangeDiag");
  SetCaption("更改登录密码");
  SetBorderStyle(bsDialog);
  SetPosition(poScreenCenter);
  SetClientWidth(320);
  SetClientHeight(170);

  Label1 = MakeLabel(this, "Label1", "用户名:", 14);
  Label2 = MakeLabel(this, "Label2", "当前密码:", 44);
  Label3 = MakeLabel(this, "Label3", "新密码（不少于6位）:", 74);
  Label4 = MakeLabel(this, "Label4", "新密码确认:", 104);

  Edit1 = MakeEdit(this, "Edit1", 14);
  Edit1->SetReadOnly(true);
  Edit1->SetEnabled(false);
  Edit1->SetTabStop(false);
  Edit2 = MakeEdit(this, "Edit2", 44);
  Edit2->SetPasswordChar('*');
  Edit3 = MakeEdit(this, "Edit3", 74);
  Edit3->SetPasswordChar('*');
  Edit3->SetMaxLength(kMaxPassword);
  Edit4 = MakeEdit(this, "Edit4", 104);
  Edit4->SetPasswordChar('*');
  Edit4->SetMaxLength(kMaxPassword);

  Button1 = new TXPButton(this);
  Button1->SetName("Button1");
  Button1->SetParent(this);
  Button1->SetBounds(144, 138, 75, 25);
  Button1->SetCaption("确定");
  Button1->SetDefault(true);
  Button1->SetModalResult(mrOk);
  Button1->OnClick = Handler(this, &TChangeDiag::Button1Click);
  Button2 = new TXPButton(this);
  Button2->SetName("Button2");
  Button2->SetParent(this);
  Button2->SetBounds(225, 138, 75, 25);
  Button2->SetCaption("取消");
  Button2->SetCancel(true);
  Button2->SetModalResult(mrCancel);

  SetActiveControl(Edit2);
  OnShow = Handler(this, &TChangeDiag::FormShow);
}

TChangeDiag::~TChangeDiag() {
  // The stored password must not stay behind in freed memory.
  volatile char* bytes = block_;
  for (std::size_t i = 0; i < kBlockBytes; ++i) bytes[i] = 0;
}

std::string TChangeDiag::UserName() const {
  return std::string(block_, strnlen(block_, kFieldBytes));
}

std::string TChangeDiag::StoredPassword() const {
  return std::string(block_ + kFieldBytes, strnlen(block_ + kFieldBytes, kFieldBytes));
}

void TChangeDiag::FormShow(TObject*) { Edit1->SetText(UserName()); }

void TChangeDiag::Button1Click(TObject*) {
  // Each refusal names the edits to empty; the first of them gets the focus.
  auto refuse = [this](const char* message, std::initializer_list<TXPEdit*> edits) {
    MessageBoxA(Handle(), message, "提示", MB_OK | MB_ICONWARNING);
    for (TXPEdit* edit : edits) edit->Clear();
    SetActiveControl(*edits.begin());
    SetModalResult(mrNone);
  };
  if (GetModuleHandleA(kAccountLibrary) == nullptr && Edit2->Text() != StoredPassword()) {
    refuse("输入的“当前密码”不正确，请重新输入。  ", {Edit2});
    return;
  }
  const std::string password = Edit3->Text();
  if (password != Edit4->Text()) {
    refuse("两次输入的“新密码”不相同，请重新输入。  ", {Edit3, Edit4});
    return;
  }
  if (password.size() < static_cast<std::size_t>(kMinPassword)) {
    refuse("输入的“新密码”太短，请重新输入。  ", {Edit3, Edit4});
    return;
  }
  if (password.size() > static_cast<std::size_t>(kMaxPassword)) {
    refuse("输入的“新密码”太长，请重新输入。  ", {Edit3, Edit4});
    return;
  }
  SetModalResult(mrOk);
}

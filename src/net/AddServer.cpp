#include "net/AddServer.h"

#include "net/ServerList.h"
#include "platform/Button.h"
#include "platform/Edit.h"
#include "platform/Panel.h"
#include "platform/WinUser.h"

#include <cstdlib>

namespace {

template <class Control>
Control* Make(TForm* form, const char* name, int left, int top, int width, int height) {
  auto* control = new Control(form);
  control->SetName(name);
  control->SetParent(form);
  control->SetBounds(left, top, width, height);
  return control;
}

}  // namespace

TForm_AddSrv::TForm_AddSrv(TComponent* owner) : TForm(owner) {
  SetName("Form_AddSrv");
  SetCaption("新增服务器");
  SetBorderStyle(bsDialog);
  SetPosition(poScreenCenter);
  SetClientWidth(300);
  SetClientHeight(200);
  Label1 = Make<TLabel>(this, "Label1", 16, 12, 260, 17);
  Label1->SetCaption("服务器名称 ( 如: 电信主站 ):");
  Edit1 = Make<TEdit>(this, "Edit1", 16, 30, 268, 21);
  Edit1->SetMaxLength(31);
  Label2 = Make<TLabel>(this, "Label2", 16, 62, 70, 17);
  Label2->SetCaption("网络类型:");
  RadioButton1 = Make<TRadioButton>(this, "RadioButton1", 96, 60, 60, 17);
  RadioButton1->SetCaption("电信");
  RadioButton1->SetChecked(true);
  RadioButton2 = Make<TRadioButton>(this, "RadioButton2", 170, 60, 60, 17);
  RadioButton2->SetCaption("网通");
  Label3 = Make<TLabel>(this, "Label3", 16, 88, 90, 17);
  Label3->SetCaption("服务器地址:");
  Edit2 = Make<TEdit>(this, "Edit2", 16, 106, 268, 21);
  Edit2->SetMaxLength(63);
  Label4 = Make<TLabel>(this, "Label4", 16, 138, 90, 17);
  Label4->SetCaption("服务器端口:");
  Edit3 = Make<TEdit>(this, "Edit3", 110, 135, 70, 21);
  Edit3->SetMaxLength(5);
  Edit3->SetText("13130");
  Button1 = Make<TButton>(this, "Button1", 120, 168, 75, 25);
  Button1->SetCaption("确定");
  Button1->SetDefault(true);
  Button1->OnClick = [this](TObject* sender) { Button1Click(sender); };
  Button2 = Make<TButton>(this, "Button2", 209, 168, 75, 25);
  Button2->SetCaption("取消");
  Button2->SetCancel(true);
  Button2->SetModalResult(mrCancel);
  OnCreate = [this](TObject* sender) { FormCreate(sender); };
}

TForm_AddSrv::~TForm_AddSrv() = default;

void TForm_AddSrv::SetEditing(bool editing) { SetCaption(editing ? "修改服务器" : "新增服务器"); }

std::string TForm_AddSrv::ServerName() const { return Edit1->Text(); }
std::string TForm_AddSrv::Address() const { return Edit2->Text(); }

int TForm_AddSrv::Port() const {
  const std::string text = Edit3->Text();
  // At most five digits: anything longer or not a number is no port.
  const long value = std::strtol(text.c_str(), nullptr, 10);
  return value >= 0 && value <= 0xFFFF ? static_cast<int>(value) : 0;
}

int TForm_AddSrv::Network() const {
  return RadioButton2->Checked() ? zuvo::net::kNetworkNetcom : zuvo::net::kNetworkTelecom;
}

void TForm_AddSrv::SetValues(const std::string& name, const std::string& address, int port, int network) {
  Edit1->SetText(name);
  Edit2->SetText(address);
  Edit3->SetText(std::to_string(port));
  if (network == zuvo::net::kNetworkNetcom) {
    RadioButton2->SetChecked(true);
  } else {
    RadioButton1->SetChecked(true);
  }
}

void TForm_AddSrv::FormCreate(TObject*) {
  if (!zuvo::net::OneStageLogin()) return;
  // The one-stage login connects to the configured port of the selected server's address only.
  Label2->SetVisible(false);
  RadioButton1->SetVisible(false);
  RadioButton2->SetVisible(false);
  Label4->SetVisible(false);
  Edit3->SetVisible(false);
}

void TForm_AddSrv::Button1Click(TObject*) {
  if (Edit1->Text().empty()) {
    MessageBoxA(Handle(), "服务器名称不能为空。  ", "错误", MB_OK | MB_ICONERROR | MB_TOPMOST);
    Edit1->SetFocus();
    return;
  }
  if (Edit2->Text().empty()) {
    MessageBoxA(Handle(), "服务器地址不能为空。  ", "错误", MB_OK | MB_ICONERROR | MB_TOPMOST);
    Edit2->SetFocus();
    return;
  }
  SetModalResult(mrOk);
}

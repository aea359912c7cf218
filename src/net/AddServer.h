// The server editor TForm_AddSrv "新增服务器" ("修改服务器" when editing one): name, network type,
// address and port of one quote server for the login dialog's list. 确定 (result 1) closes it only
// with a name and an address; 取消 gives 2. With [Server] NOJH of the program copy set (one-stage
// login) the network type and port are hidden. UI thread only; texts are GBK.
#pragma once

#include "platform/Form.h"

class TButton;
class TEdit;
class TLabel;
class TRadioButton;

class TForm_AddSrv : public TForm {
 public:
  explicit TForm_AddSrv(TComponent* owner);
  ~TForm_AddSrv() override;
  const char* ClassName() const override { return "TForm_AddSrv"; }

  // Editing: caption "修改服务器".
  void SetEditing(bool editing);
  // The values shown and, after 确定, entered (port: the text as a number, 0 when not one).
  std::string ServerName() const;
  std::string Address() const;
  int Port() const;
  int Network() const;   // 1 电信, 2 网通
  void SetValues(const std::string& name, const std::string& address, int port, int network);

  void FormCreate(TObject* Sender);
  void Button1Click(TObject* Sender);   // 确定

  TLabel* Label1 = nullptr;               // "服务器名称 ( 如: 电信主站 ):"
  TEdit* Edit1 = nullptr;                 // name, 31 characters
  TLabel* Label2 = nullptr;               // "网络类型:"
  TRadioButton* RadioButton1 = nullptr;   // "电信" (preset)
  TRadioButton* RadioButton2 = nullptr;   // "网通"
  TLabel* Label3 = nullptr;               // "服务器地址:"
  TEdit* Edit2 = nullptr;                 // address, 63 characters
  TLabel* Label4 = nullptr;               // "服务器端口:"
  TEdit* Edit3 = nullptr;                 // port, 5 characters, "13130"
  TButton* Button1 = nullptr;             // "确定" (result 1 when accepted)
  TButton* Button2 = nullptr;             // "取消" (cancel, result 2)
};

#include "net/ClientRight.h"

#include "data/DataIO.h"
#include "data/MarketData.h"
#include "data/Messages.h"
#include "data/UtilData.h"
#include "net/AddServer.h"
#include "net/RequestFrames.h"
#include "platform/Button.h"
#include "platform/Edit.h"
#include "platform/Files.h"
#include "platform/Kernel.h"
#include "platform/Library.h"
#include "platform/ListBox.h"
#include "platform/Message.h"
#include "platform/Panel.h"
#include "platform/Profile.h"
#include "platform/WinUser.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

using namespace zuvo::net;

namespace {

constexpr char kLogoFile[] = ".\\logo.bmp";
constexpr UINT kProgressInterval = 100;
constexpr int kCredentialChars = 31;
constexpr UINT kErrorBox = MB_OK | MB_ICONERROR | MB_TOPMOST;
constexpr UINT kInfoBox = MB_OK | MB_ICONINFORMATION | MB_TOPMOST;

constexpr char kCaption[] = "连接至服务器";
constexpr char kConfigOpen[] = "配置>>";
constexpr char kConfigClose[] = "配置<<";
constexpr char kCredentialHint[] = "请输入行情用户名及密码（不是交易客户号和交易密码）";
constexpr char kNoServerText[] = "请先添加并选择服务器。  ";
constexpr char kAllFailedText[] = "无法连接服务器，请检查网络。  ";
constexpr char kDeleteText[] = "删除选中的服务器？  ";

template <class Control>
Control* Make(TWinControl* parent, TComponent* owner, const char* name, int left, int top, int width, int height) {
  auto* control = new Control(owner);
  control->SetName(name);
  control->SetParent(parent);
  control->SetBounds(left, top, width, height);
  return control;
}

std::string UserSettingIni() { return UserFilePath("SETTING.INI"); }

}  // namespace

TClientRight::TClientRight(TComponent* owner, bool reconnecting, ILoginHost* host)
    : TForm(owner), host_(host), reconnecting_(reconnecting) {
  SetName("ClientRight");
  SetCaption(kCaption);
  SetBorderStyle(bsDialog);
  SetPosition(poScreenCenter);
  SetClientWidth(420);
  SetClientHeight(300);

  Image1 = Make<TImage>(this, this, "Image1", 0, 0, 420, 60);
  Label7 = Make<TLabel>(this, this, "Label7", 12, 64, 396, 17);
  Label7->SetCaption("");
  Panel1 = Make<TPanel>(this, this, "Panel1", 12, 84, 396, 6);
  Panel1->SetBevelOuter(bvNone);
  Panel1->SetCaption("");
  Panel1->SetVisible(false);
  Image2 = Make<TImage>(Panel1, this, "Image2", -396, 0, 396, 6);
  Image2->SetStretch(true);

  ListBox1 = Make<TListBox>(this, this, "ListBox1", 12, 96, 180, 150);
  ListBox1->OnClick = [this](TObject* s) { ListBox1Click(s); };

  Label1 = Make<TLabel>(this, this, "Label1", 204, 100, 60, 17);
  Label1->SetCaption("用户名:");
  Edit1 = Make<TEdit>(this, this, "Edit1", 268, 96, 140, 21);
  Edit1->SetMaxLength(15);
  Label2 = Make<TLabel>(this, this, "Label2", 204, 130, 60, 17);
  Label2->SetCaption("密   码:");
  Edit2 = Make<TEdit>(this, this, "Edit2", 268, 126, 140, 21);
  Edit2->SetMaxLength(11);
  Edit2->SetPasswordChar('*');
  for (TEdit* edit : {Edit1, Edit2}) {
    edit->OnEnter = [this](TObject* s) { CredentialEnter(s); };
    edit->OnExit = [this](TObject* s) { CredentialExit(s); };
    edit->OnKeyPress = [this](TObject* s, char& key) {
      if (key != '\r') return;
      key = 0;
      SelectNext(static_cast<TWinControl*>(s), true, true);
    };
  }
  CheckBox1 = Make<TCheckBox>(this, this, "CheckBox1", 204, 158, 200, 17);
  CheckBox1->SetCaption("保存用户名及密码");
  CheckBox2 = Make<TCheckBox>(this, this, "CheckBox2", 204, 180, 200, 17);
  CheckBox2->SetCaption("更新系统数据");

  Button1 = Make<TButton>(this, this, "Button1", 12, 260, 90, 25);
  Button1->SetCaption("联      机");
  Button1->SetDefault(true);
  Button1->OnClick = [this](TObject* s) { Button1Click(s); };
  Button2 = Make<TButton>(this, this, "Button2", 112, 260, 90, 25);
  Button2->SetCaption("退      出");
  Button2->SetCancel(true);
  Button2->OnClick = [this](TObject* s) { Button2Click(s); };
  Button3 = Make<TButton>(this, this, "Button3", 212, 260, 90, 25);
  Button3->SetCaption("脱机浏览");
  Button3->OnClick = [this](TObject* s) { Button3Click(s); };
  Button4 = Make<TButton>(this, this, "Button4", 318, 260, 90, 25);
  Button4->SetCaption(kConfigOpen);
  Button4->OnClick = [this](TObject* s) { Button4Click(s); };

  // The configuration part, below the buttons; visible once the dialog grows.
  const int top = 300;
  GroupBox1 = Make<TGroupBox>(this, this, "GroupBox1", 12, top + 4, 100, 150);
  GroupBox1->SetCaption("配置服务器");
  Button5 = Make<TButton>(GroupBox1, this, "Button5", 12, 24, 75, 25);
  Button5->SetCaption("添加");
  Button5->OnClick = [this](TObject* s) { AddClick(s); };
  Button6 = Make<TButton>(GroupBox1, this, "Button6", 12, 64, 75, 25);
  Button6->SetCaption("修改");
  Button6->OnClick = [this](TObject* s) { EditClick(s); };
  Button7 = Make<TButton>(GroupBox1, this, "Button7", 12, 104, 75, 25);
  Button7->SetCaption("删除");
  Button7->OnClick = [this](TObject* s) { DeleteClick(s); };
  CheckBox3 = Make<TCheckBox>(this, this, "CheckBox3", 124, top + 2, 140, 17);
  CheckBox3->SetCaption("使用代理服务器");
  CheckBox5 = Make<TCheckBox>(this, this, "CheckBox5", 280, top + 2, 128, 17);
  CheckBox5->SetCaption("使用绿色通道");
  CheckBox5->SetVisible(false);
  GroupBox2 = Make<TGroupBox>(this, this, "GroupBox2", 124, top + 22, 284, 132);
  GroupBox2->SetCaption("");
  RadioButton1 = Make<TRadioButton>(GroupBox2, this, "RadioButton1", 10, 14, 70, 17);
  RadioButton1->SetCaption("HTTP");
  RadioButton2 = Make<TRadioButton>(GroupBox2, this, "RadioButton2", 90, 14, 80, 17);
  RadioButton2->SetCaption("SOCKS 5");
  RadioButton3 = Make<TRadioButton>(GroupBox2, this, "RadioButton3", 180, 14, 80, 17);
  RadioButton3->SetCaption("SOCKS 4");
  Label3 = Make<TLabel>(GroupBox2, this, "Label3", 10, 40, 40, 17);
  Label3->SetCaption("地址:");
  Edit3 = Make<TEdit>(GroupBox2, this, "Edit3", 50, 36, 120, 21);
  Edit3->SetMaxLength(15);
  Label4 = Make<TLabel>(GroupBox2, this, "Label4", 180, 40, 40, 17);
  Label4->SetCaption("端口:");
  Edit4 = Make<TEdit>(GroupBox2, this, "Edit4", 220, 36, 54, 21);
  Edit4->SetMaxLength(5);
  Edit4->SetText("1080");
  CheckBox4 = Make<TCheckBox>(GroupBox2, this, "CheckBox4", 10, 64, 160, 17);
  CheckBox4->SetCaption("代理需要身份验证");
  Label5 = Make<TLabel>(GroupBox2, this, "Label5", 10, 92, 50, 17);
  Label5->SetCaption("用户名:");
  // The connection reads 31 characters of each: more would be cut unseen.
  Edit5 = Make<TEdit>(GroupBox2, this, "Edit5", 60, 88, 80, 21);
  Edit5->SetMaxLength(kCredentialChars);
  Label6 = Make<TLabel>(GroupBox2, this, "Label6", 146, 92, 40, 17);
  Label6->SetCaption("密码:");
  Edit6 = Make<TEdit>(GroupBox2, this, "Edit6", 186, 88, 88, 21);
  Edit6->SetMaxLength(kCredentialChars);
  Edit6->SetPasswordChar('*');

  CheckBox1->OnClick = [this](TObject* s) { SaveCredentialsClick(s); };
  CheckBox2->OnClick = [this](TObject* s) { UpdateDataClick(s); };
  CheckBox3->OnClick = [this](TObject* s) { UseProxyClick(s); };
  CheckBox4->OnClick = [this](TObject* s) { CertUserClick(s); };
  for (TRadioButton* radio : {RadioButton1, RadioButton2, RadioButton3}) {
    radio->OnClick = [this](TObject* s) { ProxyTypeClick(s); };
  }

  Timer1 = new TTimer(this);
  Timer1->SetName("Timer1");
  Timer1->SetEnabled(false);
  Timer1->SetInterval(kProgressInterval);
  Timer1->OnTimer = [this](TObject* s) { Timer1Timer(s); };

  OnCreate = [this](TObject* s) { FormCreate(s); };
  OnClose = [this](TObject* s, TCloseAction& action) { FormClose(s, action); };
}

TClientRight::~TClientRight() {
  // Never leave the worker running behind a dialog that is gone.
  JoinWorker(true);
}

// ---- Creation ----------------------------------------------------------------------------------

void TClientRight::FormCreate(TObject*) {
  if (GetFileAttributesA(kLogoFile) != INVALID_FILE_ATTRIBUTES) Image1->Picture()->LoadFromFile(kLogoFile);

  accountLibrary_ = LoadAccountLibrary();
  if (accountLibrary_ != nullptr) {
    CheckBox1->SetCaption("保存用户名");
    verifyAccount_ = FindVerifyAccount(accountLibrary_);
  }

  servers_.Clear();
  std::memset(userName_, 0, sizeof userName_);
  std::memset(password_, 0, sizeof password_);
  const std::string setting = UserSettingIni();
  {
    // Setting the box raises its click, which would write the value straight back.
    auto keep = CheckBox2->OnClick;
    CheckBox2->OnClick = nullptr;
    CheckBox2->SetChecked(GetPrivateProfileIntA("Parameter", "DownEach", 1, setting.c_str()) == 1);
    CheckBox2->OnClick = keep;
  }

  MigrateUserSettings();
  const UserSettings user = ReadUserSettings(!AccountLibraryPresent());
  CopyField(userName_, sizeof userName_, user.userName);
  CopyField(password_, sizeof password_, user.password);

  servers_ = ReadServerList();
  RefillListBox();

  const ProxySettings proxy = ReadProxySettings();
  CheckBox3->SetChecked(false);
  Edit3->SetText(proxy.address);
  Edit5->SetText(proxy.userName);
  Edit6->SetText(proxy.password);
  Edit4->SetText(std::to_string(proxy.port));
  CheckBox4->SetChecked(proxy.certUser);
  for (TControl* c : std::initializer_list<TControl*>{GroupBox2, RadioButton1, RadioButton2, RadioButton3, Edit3,
                                                      Edit4, CheckBox4, Edit5, Edit6}) {
    c->SetEnabled(false);
  }

  const int count = servers_.Count();
  if (count > 0) Select(ReadLastIndex(count));
  ApplySelectionRule();
  saveCredentials_ = user.savePass;
  CheckBox1->SetChecked(user.savePass);
  Edit1->SetText(saveCredentials_ ? userName_ : "");
  Edit2->SetText(saveCredentials_ && !AccountLibraryPresent() ? password_ : "");

  if (proxy.useProxy != 0 || CheckBox5->Checked()) ShowConfiguration(true);
  if (proxy.useProxy != 0) CheckBox3->SetChecked(true);
  switch (ProxyTypeOfStored(proxy.useProxy)) {
    case kProxySocks5: RadioButton2->SetChecked(true); break;
    case kProxySocks4: RadioButton3->SetChecked(true); break;
    case kProxyHttp: RadioButton1->SetChecked(true); break;
    default: break;
  }
  ApplyProxyRule();

  if (reconnecting_) {
    Button3->SetEnabled(false);
    Button2->SetCaption("取      消");
  }
}

void TClientRight::RefillListBox() {
  ListBox1->Items()->Clear();
  for (int i = 0; i < servers_.Count(); ++i) ListBox1->Items()->Add(servers_[i].name);
}

int TClientRight::SelectedIndex() const {
  const int index = ListBox1->ItemIndex();
  return index >= 0 && index < servers_.Count() ? index : -1;
}

void TClientRight::Select(int index) { ListBox1->SetItemIndex(index); }

// ---- Rules -------------------------------------------------------------------------------------

void TClientRight::ApplySelectionRule() {
  const int index = SelectedIndex();
  if (index >= 0 && servers_[index].HasRelay()) {
    CheckBox5->SetVisible(true);
    CheckBox5->SetChecked(ReadGreenWay());
  } else {
    CheckBox5->SetVisible(false);
    CheckBox5->SetChecked(false);
  }
}

namespace {
ProxyType ChosenType(const TClientRight& d) {
  if (d.RadioButton2->Checked()) return kProxySocks5;
  if (d.RadioButton3->Checked()) return kProxySocks4;
  if (d.RadioButton1->Checked()) return kProxyHttp;
  return kProxyNone;
}
}  // namespace

void TClientRight::ApplyProxyRule() {
  ProxyControls c;
  c.useProxy = CheckBox3->Checked();
  c.type = ChosenType(*this);
  c.certUser = CheckBox4->Checked();
  c = ApplyProxyRules(c);
  for (TControl* control : std::initializer_list<TControl*>{GroupBox2, Edit3, Edit4, RadioButton1, RadioButton2,
                                                            RadioButton3}) {
    control->SetEnabled(c.groupEnabled);
  }
  if (c.type == kProxyHttp && !RadioButton1->Checked()) RadioButton1->SetChecked(true);
  ApplyTypeRule();
}

void TClientRight::ApplyTypeRule() {
  ProxyControls c;
  c.useProxy = CheckBox3->Checked();
  c.type = ChosenType(*this);
  c.certUser = CheckBox4->Checked();
  c = ApplyProxyRules(c);
  if (CheckBox4->Checked() != c.certUser) CheckBox4->SetChecked(c.certUser);
  CheckBox4->SetEnabled(c.certEnabled);
  Edit5->SetEnabled(c.credentialsEnabled);
  Edit6->SetEnabled(c.credentialsEnabled);
}

void TClientRight::ListBox1Click(TObject*) { ApplySelectionRule(); }
void TClientRight::UseProxyClick(TObject*) { ApplyProxyRule(); }
void TClientRight::ProxyTypeClick(TObject*) { ApplyTypeRule(); }

void TClientRight::CertUserClick(TObject*) {
  const bool enabled = CheckBox4->Enabled() && CheckBox4->Checked();
  Edit5->SetEnabled(enabled);
  Edit6->SetEnabled(enabled);
}

void TClientRight::UpdateDataClick(TObject*) {
  WritePrivateProfileStringA("Parameter", "DownEach", CheckBox2->Checked() ? "1" : "0", UserSettingIni().c_str());
}

void TClientRight::SaveCredentialsClick(TObject*) { saveCredentials_ = CheckBox1->Checked(); }

void TClientRight::CredentialEnter(TObject*) {
  if (!AccountLibraryPresent()) SetStatus(kCredentialHint, true);
}

void TClientRight::CredentialExit(TObject*) { SetStatus(""); }

void TClientRight::SetStatus(const char* text, bool blue) {
  Label7->Font()->SetColor(blue ? clBlue : clWindowText);
  Label7->SetCaption(text);
}

void TClientRight::ShowConfiguration(bool show) {
  if (show == configShown_) return;
  configShown_ = show;
  SetClientHeight(ClientHeight() + (show ? kConfigHeight : -kConfigHeight));
  Button4->SetCaption(show ? kConfigClose : kConfigOpen);
}

void TClientRight::Button4Click(TObject*) { ShowConfiguration(!configShown_); }

// ---- The list ----------------------------------------------------------------------------------

void TClientRight::AddClick(TObject*) {
  if (servers_.Full()) return;
  std::unique_ptr<TForm_AddSrv> editor(NewForm<TForm_AddSrv>(this));
  if (editor->ShowModal() != mrOk) return;
  int position = SelectedIndex();
  if (position < 0) position = 0;
  const int inserted = servers_.Insert(position, editor->ServerName().c_str(), editor->Address().c_str(),
                                       editor->Port(), editor->Network());
  if (inserted < 0) return;
  RefillListBox();
  Select(inserted);
  ApplySelectionRule();
  if (Edit1->CanFocus()) Edit1->SetFocus();
}

void TClientRight::EditClick(TObject*) {
  const int index = SelectedIndex();
  if (index < 0) return;
  std::unique_ptr<TForm_AddSrv> editor(NewForm<TForm_AddSrv>(this));
  editor->SetEditing(true);
  const ServerEntry& entry = servers_[index];
  editor->SetValues(entry.name, entry.address, entry.port, entry.network);
  if (editor->ShowModal() != mrOk) return;
  if (!servers_.Update(index, editor->ServerName().c_str(), editor->Address().c_str(), editor->Port(),
                       editor->Network())) {
    return;
  }
  RefillListBox();
  Select(index);
  ApplySelectionRule();
}

void TClientRight::DeleteClick(TObject*) {
  const int index = SelectedIndex();
  if (index < 0) return;
  if (MessageBoxA(Handle(), kDeleteText, "提示", MB_YESNO | MB_ICONQUESTION | MB_TOPMOST) != IDYES) return;
  const int next = servers_.Remove(index);
  RefillListBox();
  if (next >= 0) Select(next);
  ApplySelectionRule();
}

// ---- 联机 --------------------------------------------------------------------------------------

void TClientRight::Button1Click(TObject*) { Connect(true); }

void TClientRight::EnableButtons(bool enabled) {
  Button1->SetEnabled(enabled);
  Button3->SetEnabled(enabled && !reconnecting_);
  Button4->SetEnabled(enabled);
}

void TClientRight::SaveSettings() {
  const int selected = SelectedIndex();
  WriteServerList(servers_, selected);

  UserSettings user;
  CopyField(user.userName, sizeof user.userName, Edit1->Text().c_str());
  CopyField(user.password, sizeof user.password, Edit2->Text().c_str());
  user.savePass = CheckBox1->Checked();
  ProxySettings proxy;
  proxy.greenWay = CheckBox5->Checked();
  if (CheckBox3->Checked()) {
    const ProxyType type = ChosenType(*this);
    proxy.useProxy = type == kProxySocks5 || type == kProxySocks4 ? type : kProxyHttp;
    CopyField(proxy.address, sizeof proxy.address, Edit3->Text().c_str());
    CopyField(proxy.userName, sizeof proxy.userName, Edit5->Text().c_str());
    CopyField(proxy.password, sizeof proxy.password, Edit6->Text().c_str());
    const long port = std::strtol(Edit4->Text().c_str(), nullptr, 10);
    proxy.port = port >= 0 && port <= 0xFFFF ? static_cast<int>(port) : 0;
    proxy.certUser = CheckBox4->Checked();
  }
  // The password stays on disk only when the user asked to keep it and no account library
  // holds the account; the login, the password change and the main window take it from memory.
  WriteUserSettings(user, user.savePass && !AccountLibraryPresent(), proxy);
  RequestCredentials held;
  CopyField(held.userName, sizeof held.userName, user.userName);
  CopyField(held.password, sizeof held.password, user.password);
  SetCredentialSource([held] { return held; });
}

bool TClientRight::CheckAccount() {
  char name[32];
  char password[32];
  CopyField(name, sizeof name, Edit1->Text().c_str());
  CopyField(password, sizeof password, Edit2->Text().c_str());
  // The route as just saved, with the dialog's own boxes deciding whether the line is relayed.
  AccountRoute route = ReadAccountRoute();
  route.greenWay = CheckBox5->Checked();
  route.relayed = CheckBox5->Checked() || CheckBox3->Checked();
  const AccountOutcome outcome = zuvo::net::VerifyAccount(verifyAccount_, name, password, route, accountBounds_);
  if (outcome.Failed()) {
    MessageBoxA(Handle(), AccountFaultText(outcome.fault, AccountPurpose::kLogin).c_str(),
                AccountFaultCaption(outcome.fault, AccountPurpose::kLogin).c_str(),
                MB_OK | MB_TOPMOST | AccountFaultIcon(outcome.fault, AccountPurpose::kLogin));
    return false;
  }
  if (outcome.Refused()) {
    MessageBoxA(Handle(), outcome.text.c_str(), "登录失败", kErrorBox);
    return false;
  }
  if (outcome.result > 0) MessageBoxA(Handle(), outcome.text.c_str(), "提示", kInfoBox);
  return true;
}

void TClientRight::Connect(bool byUser) {
  const int selected = SelectedIndex();
  if (selected < 0 || selected >= kMaxServers) {
    MessageBoxA(Handle(), kNoServerText, "提示", kInfoBox);
    return;
  }
  if (AccountLibraryPresent() && verifyAccount_ == nullptr) {
    const AccountFault missing = AccountFault::kMissingExport;
    MessageBoxA(Handle(), AccountFaultText(missing, AccountPurpose::kLogin).c_str(),
                AccountFaultCaption(missing, AccountPurpose::kLogin).c_str(),
                MB_OK | MB_TOPMOST | AccountFaultIcon(missing, AccountPurpose::kLogin));
    return;
  }
  EnableButtons(false);
  if (byUser || firstServer_ < 0 || firstServer_ >= servers_.Count()) firstServer_ = selected;
  SaveSettings();
  if (verifyAccount_ != nullptr && !CheckAccount()) {
    EnableButtons(true);
    return;
  }

  StartProgress();
  const bool updateMarkets = CheckBox2->Checked();
  int result = host_->ConnectServer(Handle(), reconnecting_, updateMarkets, false);
  if (result == 2) {
    // The data server did not answer on this network: try the entry's other network type.
    WriteNetwork(OtherNetwork(servers_[selected].network));
    StartProgress();
    result = host_->ConnectServer(Handle(), reconnecting_, updateMarkets, false);
    if (result == 2) result = 1;
  }
  if (result == 0) {
    StartWorker();
  } else if (result == 1) {
    Repaint();
    PostMessageA(Handle(), MsgLoginNextServer, 0, 0);
  } else {
    Close();
  }
}

void TClientRight::TryNextServer() {
  const int count = servers_.Count();
  // A retry posted before the user left, or while a worker already runs, has nothing to do.
  if (count == 0 || StopRequested() || worker_ != nullptr || ModalResult() != mrNone) return;
  const int next = NextServerIndex(SelectedIndex(), count);
  if (firstServer_ < 0 || firstServer_ >= count) firstServer_ = next;
  Select(next);
  ApplySelectionRule();
  if (next != firstServer_) {
    Connect(false);
    return;
  }
  // Every server failed once: a last attempt with the login reply kept from an earlier login.
  StartProgress();
  if (!OneStageLogin()) {
    if (host_->ConnectServer(Handle(), reconnecting_, CheckBox2->Checked(), true) == 0) {
      StartWorker();
      return;
    }
  }
  StopProgress();
  MessageBoxA(Handle(), kAllFailedText, "错误", kErrorBox);
}

// ---- The worker ----------------------------------------------------------------------------------

void TClientRight::StartWorker() {
  stopRequested_ = false;
  MarketLoadStopRequested = false;
  workerDone_ = false;
  workerWindow_ = Handle();
  unsigned id = 0;
  const UINT_PTR handle = _beginthreadex(nullptr, 0, &TClientRight::LoginWorker, this, 0, &id);
  if (handle == 0) {
    StopProgress();
    MessageBoxA(Handle(), kAllFailedText, "错误", kErrorBox);
    return;
  }
  worker_ = reinterpret_cast<HANDLE>(handle);
  workerJoined_ = false;
}

unsigned TClientRight::LoginWorker(void* argument) {
  auto* dialog = static_cast<TClientRight*>(argument);
  dialog->host_->StartRealData(dialog);
  dialog->workerDone_ = true;
  PostMessageA(dialog->workerWindow_, WM_CLOSE, 0, 0);
  return 0;
}

void TClientRight::JoinWorker(bool stop) {
  if (workerJoined_) return;
  workerJoined_ = true;
  if (stop && !workerDone_) {
    stopRequested_ = true;
    MarketLoadStopRequested = true;
  }
  // The worker's progress and message boxes are sent to this thread: serve them while waiting.
  zuvo::platform::WaitHandlingSentMessages(worker_, INFINITE);
  CloseHandle(worker_);
  worker_ = nullptr;
  MarketLoadStopRequested = false;
  if (host_ != nullptr) host_->FinishRealData(this);
}

void TClientRight::FormClose(TObject*, TCloseAction&) { JoinWorker(ModalResult() != kResultLoggedIn); }

void TClientRight::Button2Click(TObject*) {
  SetModalResult(kResultExit);
  if (!Modal()) Close();
}

void TClientRight::Button3Click(TObject*) {
  SetModalResult(kResultOffline);
  if (!Modal()) Close();
}

// ---- Progress ------------------------------------------------------------------------------------

void TClientRight::StartProgress() {
  progressRunning_ = false;
  progressTarget_ = 0;
  progressPosition_ = 0;
  Timer1->SetEnabled(true);
  Image2->SetBounds(-Panel1->Width(), 0, Panel1->Width(), Panel1->Height());
  Panel1->SetVisible(true);
  SetStatus("");
}

void TClientRight::StepProgress(int total, int step) {
  if (total <= 0) return;
  progressRunning_ = true;
  const int width = Image2->Width();
  const int old = progressPosition_;
  Image2->SetLeft(old - width);
  progressPosition_ = static_cast<int>(static_cast<long long>(step) * width / total);
  progressTarget_ = old + (progressPosition_ - old) * 3 / 4;
}

void TClientRight::StopProgress() {
  progressRunning_ = false;
  progressTarget_ = 0;
  progressPosition_ = 0;
  Timer1->SetEnabled(false);
  Panel1->SetVisible(false);
  EnableButtons(true);
}

void TClientRight::Timer1Timer(TObject*) {
  if (progressRunning_ && Image2->Left() + Image2->Width() < progressTarget_) Image2->SetLeft(Image2->Left() + 1);
}

// ---- Messages ------------------------------------------------------------------------------------

void TClientRight::WndProc(TMessage& message) {
  const UINT msg = message.Msg;
  if (msg == WM_CLOSE && ModalResult() != mrNone) {
    // The worker's closing post after MsgLoginDone already gave the result: it must not turn
    // the result into a cancel.
    message.Result = 0;
    return;
  }
  if (msg == MsgLoginError) {
    SetStatus("提示: 出错");
    StopProgress();
    BringToFront();
  } else if (msg == MsgLoginSyncMarket) {
    const int total = static_cast<int>(message.WParam);
    const int index = static_cast<int>(message.LParam);
    const TMarketData* table = index >= 0 && index < kMaxMarkets ? MarketTables[index] : nullptr;
    char text[64];
    std::snprintf(text, sizeof text, "提示: 同步 %.14s 信息", table != nullptr ? table->record.name : "");
    SetStatus(text);
    StepProgress(total, index);
  } else if (msg == MsgLoginDone) {
    // A cancel already given stands: the user chose to leave.
    if (!StopRequested() && ModalResult() == mrNone) SetModalResult(kResultLoggedIn);
  } else if (msg == MsgLoginSearchServer) {
    StartProgress();
    SetStatus("提示: 搜索服务器");
    StepProgress(1, 1);
  } else if (msg == MsgLoginConnectServer) {
    StartProgress();
    SetStatus("提示: 连接服务器");
    StepProgress(1, 1);
  } else if (msg == MsgLoginCheckVersion) {
    if (message.WParam == 0) {
      StartProgress();
      SetStatus("提示: 检查版本信息");
      StepProgress(1, 1);
    } else {
      Image2->SetLeft(0);
      progressPosition_ = 0;
      progressTarget_ = 0;
    }
  } else if (msg == MsgLoginUpdateMarkets) {
    SetStatus("提示: 更新市场设置");
  } else if (msg == MsgLoginNextServer) {
    TryNextServer();
  } else {
    TForm::WndProc(message);
    return;
  }
  message.Result = 0;
}

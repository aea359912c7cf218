// The login dialog TClientRight "连接至服务器": the quote-server list and the user's name,
// password and proxy settings (both SERVER.INI copies, net/ServerList.h), the optional account
// check, the request client's connection with its fall-backs (next server, other network type,
// cached login reply), the progress strip and status line, and the login worker that builds the
// market tables. Results: 1 logged in with market data built, 2 exit, cancel or any other
// close, 3 offline browsing.
//
// The dialog reaches the main window only through ILoginHost: the network layer never sees the
// shell. UI thread only, except LoginWorker and ILoginHost::StartRealData on the worker.
// The dialog never ends with its worker running: a cancel or close asks the market load to stop
// at the next market, and every close (the logged-in one too) waits for the worker to finish,
// serving its sent messages and message boxes meanwhile; the clients are then finished on the
// user-interface thread (ILoginHost::FinishRealData).
#pragma once

#include "net/AccountCheck.h"
#include "net/ServerList.h"
#include "platform/Form.h"

#include <atomic>
#include <string>

class TButton;
class TCheckBox;
class TEdit;
class TGroupBox;
class TImage;
class TLabel;
class TListBox;
class TPanel;
class TRadioButton;
class TTimer;
class TClientRight;

// What the dialog asks of the main window.
class ILoginHost {
 public:
  virtual ~ILoginHost() = default;
  // UI thread. Replaces the request client and connects and logs it in, telling `dialog` the
  // progress messages. 0 success, 1 server unreachable, 2 data server unreachable, 3 failure
  // already reported, other values: failure reported with the request client's error text.
  virtual int ConnectServer(HWND dialog, bool skipVersionCheck, bool updateMarketConfig, bool useCachedReply) = 0;
  // On the login worker: unless dialog->Reconnecting(), builds the market tables with the
  // dialog's window as receiver of MsgLoginError / MsgLoginSyncMarket / MsgLoginDone. It must
  // neither create nor destroy a network client (that is FinishRealData's work, on the UI
  // thread). When dialog->StopRequested() is true after a failed load, the user cancelled: it
  // shows nothing.
  virtual void StartRealData(TClientRight* dialog) = 0;
  // UI thread, once the worker has ended (from the dialog's close, also after a stop: then
  // dialog->StopRequested() is true). Creates the push client (not yet connected) and switches
  // the request client to asynchronous operation, unless StartRealData failed.
  virtual void FinishRealData(TClientRight* dialog) = 0;
};

class TClientRight : public TForm {
 public:
  // Modal results.
  static constexpr int kResultLoggedIn = 1;
  static constexpr int kResultExit = 2;
  static constexpr int kResultOffline = 3;
  // Height the configuration part adds to the dialog.
  static constexpr int kConfigHeight = 160;

  // Builds the form; FormCreate (OnCreate) reads the settings. `host` is not owned and must
  // outlive the dialog.
  TClientRight(TComponent* owner, bool reconnecting, ILoginHost* host);
  ~TClientRight() override;
  const char* ClassName() const override { return "TClientRight"; }

  bool Reconnecting() const { return reconnecting_; }
  // Set once the user cancelled or closed the dialog while the worker runs; the market load
  // stops before its next market. Any thread.
  bool StopRequested() const { return stopRequested_.load(); }
  // The dialog's window as the worker may use it (StartRealData's progress receiver): set when the
  // worker starts, so the worker never asks the form for its handle.
  HWND DialogWindow() const { return workerWindow_; }
  // The worker's handle while it runs (null otherwise).
  HANDLE WorkerHandle() const { return worker_; }
  // The in-memory list the dialog edits (written to the program copy at 联机).
  const zuvo::net::ServerList& Servers() const { return servers_; }
  // The first server tried in the current attempt (-1 before 联机).
  int FirstServerTried() const { return firstServer_; }
  // The account library's entry, null when the library or its export is absent.
  QXVerifyAccountProc VerifyAccount() const { return verifyAccount_; }
  bool AccountLibraryPresent() const { return accountLibrary_ != nullptr; }
  // The waits of the account check (tests shorten them).
  void SetAccountCheckBounds(const zuvo::net::AccountCheckBounds& bounds) { accountBounds_ = bounds; }
  // Progress strip state (pixels), for its painting and for tests.
  bool ProgressRunning() const { return progressRunning_; }
  int ProgressTarget() const { return progressTarget_; }
  int ProgressPosition() const { return progressPosition_; }

  // ---- Handlers ----
  void FormCreate(TObject* Sender);
  void FormClose(TObject* Sender, TCloseAction& Action);
  void Button1Click(TObject* Sender);   // 联机
  void Button2Click(TObject* Sender);   // 退出 / 取消
  void Button3Click(TObject* Sender);   // 脱机浏览
  void Button4Click(TObject* Sender);   // 配置>> / 配置<<
  void AddClick(TObject* Sender);       // 添加
  void EditClick(TObject* Sender);      // 修改
  void DeleteClick(TObject* Sender);    // 删除
  void ListBox1Click(TObject* Sender);  // the selection rule
  void UseProxyClick(TObject* Sender);  // the proxy rule
  void ProxyTypeClick(TObject* Sender); // the type rule
  void CertUserClick(TObject* Sender);
  void UpdateDataClick(TObject* Sender);
  void SaveCredentialsClick(TObject* Sender);
  void CredentialEnter(TObject* Sender);
  void CredentialExit(TObject* Sender);
  void Timer1Timer(TObject* Sender);
  void WndProc(TMessage& message) override;

  // ---- Components ----
  TImage* Image1 = nullptr;         // logo across the top (".\logo.bmp" when present)
  TListBox* ListBox1 = nullptr;     // server names
  TLabel* Label1 = nullptr;         // "用户名:"
  TEdit* Edit1 = nullptr;           // user name, 15 characters
  TLabel* Label2 = nullptr;         // "密   码:"
  TEdit* Edit2 = nullptr;           // password, 11 characters, '*'
  TCheckBox* CheckBox1 = nullptr;   // "保存用户名及密码" ("保存用户名" with the account library)
  TCheckBox* CheckBox2 = nullptr;   // "更新系统数据"
  TButton* Button1 = nullptr;       // "联      机" (default)
  TButton* Button2 = nullptr;       // "退      出" (cancel, result 2; "取      消" when reconnecting)
  TButton* Button3 = nullptr;       // "脱机浏览" (result 3)
  TButton* Button4 = nullptr;       // "配置>>"
  // Configuration part.
  TGroupBox* GroupBox1 = nullptr;   // "配置服务器"
  TButton* Button5 = nullptr;       // "添加"
  TButton* Button6 = nullptr;       // "修改"
  TButton* Button7 = nullptr;       // "删除"
  TCheckBox* CheckBox3 = nullptr;   // "使用代理服务器"
  TGroupBox* GroupBox2 = nullptr;   // proxy group
  TRadioButton* RadioButton1 = nullptr;   // "HTTP"
  TRadioButton* RadioButton2 = nullptr;   // "SOCKS 5"
  TRadioButton* RadioButton3 = nullptr;   // "SOCKS 4"
  TLabel* Label3 = nullptr;         // "地址:"
  TEdit* Edit3 = nullptr;           // proxy address, 15 characters
  TLabel* Label4 = nullptr;         // "端口:"
  TEdit* Edit4 = nullptr;           // proxy port, 5 characters, "1080"
  TCheckBox* CheckBox4 = nullptr;   // "代理需要身份验证"
  TLabel* Label5 = nullptr;         // "用户名:"
  TEdit* Edit5 = nullptr;           // proxy user name, 31 characters
  TLabel* Label6 = nullptr;         // "密码:"
  TEdit* Edit6 = nullptr;           // proxy password, 31 characters
  TCheckBox* CheckBox5 = nullptr;   // "使用绿色通道" (shown only for a server with a relay)
  // Status and progress.
  TLabel* Label7 = nullptr;         // status line
  TPanel* Panel1 = nullptr;         // thin progress strip (hidden)
  TImage* Image2 = nullptr;         // the moving picture inside the strip
  TTimer* Timer1 = nullptr;         // 100 ms progress timer

  // ---- Operations the handlers share (public for the main window and tests) ----
  // Progress strip: start (hidden picture, strip shown, status cleared), step (total, k), stop.
  void StartProgress();
  void StepProgress(int total, int step);
  void StopProgress();
  // The fall-back after a failed attempt (the MsgLoginNextServer handler).
  void TryNextServer();

  // The login worker: host->StartRealData(dialog), then WM_CLOSE posted to the dialog; 0.
  static unsigned LoginWorker(void* dialog);

 private:
  // Settles the worker: asks the load to stop (when `stop`), waits for the worker to end while
  // serving its messages, closes the handle and hands over to FinishRealData. Idempotent.
  void JoinWorker(bool stop);
  // 联机 proper: `byUser` false for the dialog's own retry.
  void Connect(bool byUser);
  // Runs the account check; true to go on with the connection.
  bool CheckAccount();
  // Saves both SERVER.INI copies from the dialog.
  void SaveSettings();
  // Starts the worker (result 0 of ConnectServer).
  void StartWorker();
  void EnableButtons(bool enabled);
  void SetStatus(const char* text, bool blue = false);
  void ShowConfiguration(bool show);
  void ApplySelectionRule();
  void ApplyProxyRule();
  void ApplyTypeRule();
  int SelectedIndex() const;
  void Select(int index);
  void RefillListBox();

  ILoginHost* host_ = nullptr;
  bool reconnecting_ = false;
  HANDLE worker_ = nullptr;
  HWND workerWindow_ = nullptr;   // the dialog's window, for the worker's closing post
  std::atomic<bool> stopRequested_{false};
  std::atomic<bool> workerDone_{false};
  bool workerJoined_ = true;
  bool configShown_ = false;
  zuvo::net::ServerList servers_;
  bool saveCredentials_ = true;
  char userName_[32] = {};
  char password_[32] = {};
  int firstServer_ = -1;
  bool progressRunning_ = false;
  int progressTarget_ = 0;
  int progressPosition_ = 0;
  HMODULE accountLibrary_ = nullptr;
  QXVerifyAccountProc verifyAccount_ = nullptr;
  zuvo::net::AccountCheckBounds accountBounds_;
};

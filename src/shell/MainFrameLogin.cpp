// The main window's login, connect command and quiet reconnect: the login dialog run modally
// (first start and by hand), its calls back into the main window (connect the request client,
// build the market tables on the worker, make the push client once the worker has ended), the
// refresh after a connect, the reconnect's connects on a worker of their own, and 连接主站(&C).
//
// Clients are made and destroyed on the UI thread only, all through ShellClients(). While the
// login dialog is shown the one-second timer rests and the reconnect countdown is disarmed, so
// nothing else touches the clients the dialog is making.
#include "shell/MainFrame.h"

#include "data/DataAgent.h"
#include "data/DataIO.h"
#include "data/MarketData.h"
#include "data/Messages.h"
#include "data/NewsIndex.h"
#include "data/UtilData.h"
#include "net/ClientRight.h"
#include "net/RequestFrames.h"
#include "platform/Application.h"
#include "platform/Button.h"
#include "platform/Files.h"
#include "platform/Kernel.h"
#include "platform/Message.h"
#include "platform/MessageBox.h"
#include "platform/Profile.h"
#include "platform/WinUser.h"
#include "shell/ModalDialog.h"
#include "shell/PageWindow.h"
#include "shell/ShellClients.h"
#include "shell/ViewSurfaces.h"

#include <algorithm>
#include <atomic>
#include <cassert>
#include <cstring>
#include <memory>

using namespace zuvo::platform;

namespace {

constexpr UINT kErrorBox = MB_OK | MB_ICONERROR | MB_TOPMOST;
constexpr UINT kInfoBox = MB_OK | MB_ICONINFORMATION | MB_TOPMOST;
constexpr UINT kWarningBox = MB_OK | MB_ICONWARNING | MB_TOPMOST;
constexpr char kNetworkFailureText[] = "网络故障，与服务器的连接已断开。  ";
constexpr char kDataFailedText[] = "初始化数据失败。  ";
// The login names and passwords the main window keeps: at most 30 characters.
constexpr int kLoginFieldChars = 30;

// Quote-list sort columns sorted locally (position and code columns): no server sort.
bool SortsLocally(std::uint32_t column) {
  static constexpr std::uint32_t kLocal[] = {0, 1, 9, 22, 23, 30, 31};
  return std::find(std::begin(kLocal), std::end(kLocal), column) != std::end(kLocal);
}

// Every cell of the page from the last to the first.
template <typename Visit>
void ForEachCellBackwards(TMultiViewMain* page, Visit visit) {
  if (page == nullptr) return;
  for (int i = page->cells.GetSize() - 1; i >= 0; --i) {
    if (TMultiViewChild* cell = page->cells[i]) visit(cell);
  }
}

// The dialog's view of the main window.
class FrameLoginHost : public ILoginHost {
 public:
  explicit FrameLoginHost(TMFrame& frame) : frame_(frame) {}
  int ConnectServer(HWND dialog, bool skipVersionCheck, bool updateMarketConfig, bool useCachedReply) override {
    return frame_.ConnectServer(dialog, skipVersionCheck, updateMarketConfig, useCachedReply);
  }
  void StartRealData(TClientRight* dialog) override { frame_.StartRealData(dialog); }
  void FinishRealData(TClientRight* dialog) override { frame_.FinishRealData(dialog); }

 private:
  TMFrame& frame_;
};

zuvo::shell::ReconnectTrace& ReconnectTraceHook() {
  static zuvo::shell::ReconnectTrace trace;
  return trace;
}

std::atomic<int> reconnectsRunning{0};

}  // namespace

// One quiet reconnect: the clients made on the UI thread, connected on the worker, handed back.
struct ReconnectJob {
  TMFrame* frame = nullptr;
  std::unique_ptr<IPendingClients> clients;
  unsigned generation = 0;
  zuvo::shell::ReconnectOutcome outcome;
};

namespace {

unsigned ReconnectWorker(void* argument) {
  auto* job = static_cast<ReconnectJob*>(argument);
  job->outcome.request = job->clients->ConnectRequest();
  if (job->outcome.request == 0) job->outcome.push = job->clients->ConnectPush();
  // Back to the UI thread, which adopts or destroys the clients (and frees the job).
  RunOnUiThread([job] {
    if (MFrame != nullptr && MFrame == job->frame) {
      MFrame->ReconnectFinished(job);
    } else {
      delete job;
    }
    --reconnectsRunning;
  });
  return 0;
}

}  // namespace

namespace zuvo::shell {

ReconnectTrace SetReconnectTraceForTest(ReconnectTrace trace) {
  ReconnectTrace previous = std::move(ReconnectTraceHook());
  ReconnectTraceHook() = std::move(trace);
  return previous;
}

bool ReconnectRunning() { return reconnectsRunning.load() > 0; }

}  // namespace zuvo::shell

// ---- Login ----------------------------------------------------------------------------------------

bool TMFrame::Login(bool reconnecting) {
  HWND owner = HandleAllocated() ? Handle() : nullptr;
  FrameLoginHost host(*this);
  int result = TClientRight::kResultExit;
  {
    // Nothing but the dialog touches the clients while it is shown: the timer rests (no
    // heartbeats, no reconnect), the countdown is disarmed and a quiet reconnect still running
    // is discarded when it ends.
    const bool timerWasOn = Timer1 != nullptr && Timer1->Enabled();
    if (Timer1 != nullptr) Timer1->SetEnabled(false);
    ReconnectCountdown = -1;
    ++ReconnectGeneration;
    LoginDialogShown = true;
    TClientRight* dialog = NewForm<TClientRight>(this, reconnecting, &host);
    if (reconnecting) {
      if (dialog->Button3 != nullptr) dialog->Button3->SetEnabled(false);
      if (dialog->Button2 != nullptr) dialog->Button2->SetCaption("取      消");
    }
    {
      ModalDialogScope modal;
      result = dialog->ShowModal();
    }
    delete dialog;
    LoginDialogShown = false;
    if (Timer1 != nullptr && timerWasOn) Timer1->SetEnabled(true);
  }

  ReadLoginFields();

  if (result == TClientRight::kResultExit) {
    if (!reconnecting) {
      CloseForced = true;
      PostMessageA(Handle(), WM_CLOSE, 0, 0);
    }
    return false;
  }
  if (result == TClientRight::kResultOffline) {
    MessageBoxA(owner, "脱机浏览时不会显示即时数据。  ", "警告", kWarningBox);
    // From the local files only: no request client, no progress window.
    if (DataIO == nullptr) DataIO = new TDataIO(nullptr);
    if (DataIO->status == -1) {
      MessageBoxA(owner, kDataFailedText, "提示", kErrorBox);
      CloseForced = true;
      PostMessageA(Handle(), WM_CLOSE, 0, 0);
      return false;
    }
  }
  return true;
}

void TMFrame::ReadLoginFields() {
  const std::string file = UserFilePath("SERVER.INI");
  char value[kLoginFieldChars + 1];
  // The password is on disk only when the user keeps it; the login holds it in memory.
  const zuvo::net::RequestCredentials held = zuvo::net::ReadRequestCredentials();
  GetPrivateProfileStringA("Server", "UserName", "", value, sizeof value, file.c_str());
  std::memset(UserName, 0, sizeof UserName);
  std::strncpy(UserName, value[0] != '\0' ? value : held.userName, kLoginFieldChars);
  GetPrivateProfileStringA("Server", "Password", "", value, sizeof value, file.c_str());
  std::memset(Password, 0, sizeof Password);
  std::strncpy(Password, value[0] != '\0' ? value : held.password, kLoginFieldChars);
  std::memset(value, 0, sizeof value);
}

int TMFrame::ConnectServer(HWND dialog, bool skipVersionCheck, bool updateMarketConfig, bool useCachedReply) {
  assert(IsUiThread());
  HWND owner = HandleAllocated() ? Handle() : nullptr;
  IShellClients& clients = ShellClients();
  if (!clients.NewRequestClient()) {
    MessageBoxA(owner, "内存不足，无法连接服务器。  ", "错误", kErrorBox);
    return 3;
  }
  const int result = clients.RequestConnect(dialog, useCachedReply);
  if (result != 0) {
    if (dialog != nullptr) SendMessageA(dialog, MsgLoginError, 0, result);
    if (result != 1 && result != 2) {
      const std::string text = clients.RequestServerText();
      if (!text.empty()) MessageBoxA(owner, text.c_str(), "错误", kErrorBox);
    }
    clients.DestroyRequestClient();
    return result;
  }
  auto networkFailure = [&] {
    clients.DestroyRequestClient();
    if (dialog != nullptr) SendMessageA(dialog, MsgLoginError, 0, 0);
    MessageBoxA(owner, kNetworkFailureText, "登录提示", kErrorBox);
    return 3;
  };
  if (!skipVersionCheck && clients.RequestCheckVersion(dialog) != 0) return networkFailure();
  if (dialog != nullptr) SendMessageA(dialog, MsgLoginUpdateMarkets, 0, 0);
  if (updateMarketConfig && clients.RequestDownloadMarketConfig() != 0) return networkFailure();
  return 0;
}

void TMFrame::StartRealData(TClientRight* dialog) {
  realDataFailed_ = false;
  if (dialog == nullptr || dialog->Reconnecting()) return;
  // The worker is the only thread on the market tables while the dialog waits for it. Its
  // messages go to the dialog's window (made long before the worker started).
  HWND receiver = dialog->HandleAllocated() ? dialog->Handle() : nullptr;
  delete DataIO;
  DataIO = new TDataIO(receiver);
  if (DataIO->status != -1 && ShellClients().HasRequestClient()) return;
  realDataFailed_ = true;
  // A cancelled load is the user's choice: the dialog's result closes the program.
  if (dialog->StopRequested()) return;
  MessageBoxA(HandleAllocated() ? Handle() : nullptr, kDataFailedText, "提示", kErrorBox);
}

void TMFrame::FinishRealData(TClientRight* dialog) {
  assert(IsUiThread());
  if (realDataFailed_ || (dialog != nullptr && dialog->StopRequested())) return;
  IShellClients& clients = ShellClients();
  if (!clients.NewPushClient()) {
    MessageBoxA(HandleAllocated() ? Handle() : nullptr, "内存不足，无法取得即时数据。  ", "提示", kInfoBox);
  }
  if (clients.HasRequestClient()) clients.RequestStartAsync();
}

// ---- After a connect --------------------------------------------------------------------------------

void TMFrame::RefreshAfterConnect() {
  ReconnectCountdown = 12;
  for (int m = 0; m < MarketCount && m < kMaxMarkets; ++m) {
    TMarketData* table = GetMarketTable(m);
    if (table == nullptr) continue;
    for (int c = 0; c < table->record.categoryCount && c < kMaxCategories; ++c) {
      table->ClearCategoryQuotes(c);
      table->ClearCategoryExtras(c);
    }
  }
  ReloadMarketAgents(255, 255);
  bool askedServer = false;
  ForEachCellBackwards(PageWindow(), [&](TMultiViewChild* cell) {
    if (auto* report = dynamic_cast<TReport*>(cell)) {
      if (SortsLocally(report->attr.sortColumn)) return;
      // Replies to the sorts asked before the connect are ignored from now on.
      ++report->requestSerial;
      report->SortReport();
      askedServer = true;
    } else if (auto* chart = dynamic_cast<TDrawView*>(cell)) {
      if (cell->attr.kind == VIEW_TREND || cell->attr.kind == VIEW_KLINE) chart->RefreshView();
    }
  });
  // A list that applies the server's sort resubscribes itself.
  if (!askedServer) UpdateSubscription(this, 1);
}

void TMFrame::RequestNewsAfterConnect() {
  IShellClients& clients = ShellClients();
  if (!clients.HasRequestClient()) return;
  NewsIndex.NewsCatchUpFlag = 1;
  clients.RequestNews(false, 0);
  ForEachCellBackwards(PageWindow(), [](TMultiViewChild* cell) {
    if (auto* news = dynamic_cast<TMsgForm*>(cell)) news->RefreshNewsList();
  });
}

// ---- The quiet reconnect ------------------------------------------------------------------------------

void TMFrame::Reconnect() {
  IShellClients& clients = ShellClients();
  const bool request = !clients.HasRequestClient();
  const bool push = !clients.HasPushClient();
  if (!request && !push) return;
  // One at a time; the countdown tries again on its next step.
  if (zuvo::shell::ReconnectRunning() || LoginDialogShown) return;
  // Made here, on the UI thread; only the blocking connects run on the worker.
  std::unique_ptr<IPendingClients> pending = clients.NewPendingClients(request, push);
  if (!pending) return;
  auto* job = new ReconnectJob;
  job->clients = std::move(pending);
  job->frame = this;
  job->generation = ReconnectGeneration;
  ++reconnectsRunning;
  unsigned id = 0;
  const UINT_PTR thread = _beginthreadex(nullptr, 0, &ReconnectWorker, job, 0, &id);
  if (thread == 0) {
    --reconnectsRunning;
    delete job;
    return;
  }
  CloseHandle(reinterpret_cast<HANDLE>(thread));
}

void TMFrame::ReconnectFinished(ReconnectJob* job) {
  assert(IsUiThread());
  std::unique_ptr<ReconnectJob> owned(job);
  zuvo::shell::ReconnectOutcome& outcome = job->outcome;
  // A login or a disconnect by hand since the start, or the window closing, discards them.
  const bool current = job->generation == ReconnectGeneration && !LoginDialogShown && !CloseForced;
  if (current && outcome.request == 0) {
    IShellClients& clients = ShellClients();
    const bool hadRequest = clients.HasRequestClient();
    const bool requestOk = hadRequest || job->clients->AdoptRequest();
    const bool pushOk = requestOk && (clients.HasPushClient() || job->clients->AdoptPush());
    outcome.adopted = requestOk && pushOk;
    if (clients.HasRequestClient() && clients.HasPushClient()) {
      RefreshAfterConnect();
      RequestNewsAfterConnect();
    }
  }
  // What was not adopted goes here, on the UI thread.
  job->clients.reset();
  if (ReconnectTraceHook()) ReconnectTraceHook()(outcome);
}

// ---- 连接主站(&C) --------------------------------------------------------------------------------------

void TMFrame::C1Click(TObject*) {
  IShellClients& clients = ShellClients();
  HWND owner = HandleAllocated() ? Handle() : nullptr;
  if (clients.HasRequestClient() && clients.HasPushClient()) {
    if (MessageBoxA(owner, "断开与服务器的连接？  ", "确认", MB_YESNO | MB_ICONQUESTION | MB_TOPMOST) != IDYES) return;
    ReconnectCountdown = -1;
    ++ReconnectGeneration;
    clients.DestroyRequestClient();
    clients.DestroyPushClient();
    if (StatusBox4 != nullptr) StatusBox4->Repaint();
    return;
  }

  if (clients.HasRequestClient()) clients.DestroyRequestClient();
  if (clients.HasPushClient()) clients.DestroyPushClient();
  UpdateSystemNow();
  Login(true);
  if (clients.HasRequestClient()) {
    if (clients.HasPushClient()) {
      if (clients.PushConnect() == 1) {
        RefreshAfterConnect();
      } else {
        MessageBoxA(owner, "连接服务器失败，无法取得即时数据。  ", "网络错误", kErrorBox);
        clients.DestroyPushClient();
      }
    }
    clients.RequestSystemMessage();
    RequestNewsAfterConnect();
  }
  if (MessengerWindow != nullptr && GetConnectionState() != 0 && owner != nullptr) {
    PostMessageA(owner, MsgMessengerHello, 0, reinterpret_cast<LPARAM>(MessengerWindow));
  }
}

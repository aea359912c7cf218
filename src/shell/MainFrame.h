// TMFrame: the program's one main window. It holds the menus, tool bar, status bar and the page
// window, runs the start-up order of the whole program after the entry (FormCreate) and the
// shut-down order (FormCloseQuery, FormClose), and answers what cells, views and the page
// commands ask of the main window (IShellHost, IPageHost, IPageListHost).
//
// Operations that later units fill (the keyboard wizard, hot-key captions, the trading and
// user-block menus, the application message hook, the timers, the quote strip, the skinned menu
// bar and quick-order bar, the login dialog) are declared here and do nothing until they land.
#pragma once

#include "data/Records.h"
#include "shell/MainFrameForm.h"
#include "shell/PageList.h"
#include "shell/PageWindow.h"
#include "shell/ShellHost.h"

#include <cstdint>
#include <functional>
#include <string>

class TBlockGroup;
class TDataIO;
class TRealDataClnt;
class EToolTip;
class TClientRight;   // the login dialog (net/ClientRight.h)
struct ReconnectJob;  // one quiet reconnect (MainFrameLogin.cpp)
struct ShowViewVariant;   // shell/Commands.h

// The push client, null while there is none (offline, before the login, between a loss and the
// reconnect). The login creates it; FormClose destroys it.
extern TRealDataClnt* RealDataClnt;

class TMFrame;
// The main window while it exists (set by the constructor, cleared by the destructor).
extern TMFrame* MFrame;

// Bit 0: the request client exists; bit 1: the push client exists.
int GetConnectionState();

// The process-wide objects that exist before the entry runs and go after it returns, as one
// explicit routine: the settings object (user directory; a NotWritable status is shown with
// UserDirNotWritableText), the time-zone table, the lightweight windows' handle map, the news
// index, the registry of data series, the indicator manager (also seeding the random numbers)
// and the formula engine's buffer pools. Shutdown mirrors it (every data series freed, the
// settings object last). Both are idempotent.
// `programDir` goes to TUtilData::Startup (null: the program file's folder; "." keeps the
// current one).
void StartupStaticObjects(const char* programDir = nullptr);
void ShutdownStaticObjects();

// How a login ended.
enum class LoginResult { kOnline, kOffline, kCancelled, kDataFailed };

// [Parameter] SortTime, PageTime and RefreshTime of "..\CFG\SETTING.INI": the periods of the
// views' periodic broadcasts, read once by the main window's creation (filled with the timers).
void LoadRefreshIntervals();

// Sees the main window's start-up and shut-down steps as they begin: FormCreate reports
// ("create", 1..28), FormClose ("close", 1..18). For tests; empty by default.
using FrameStepTrace = std::function<void(const char* phase, int step)>;
FrameStepTrace SetFrameStepTraceForTest(FrameStepTrace trace);

class TMFrame : public TMFrameForm, public IShellHost, public IPageHost, public IPageListHost {
 public:
  // The form's components, the menu bar and quick-order bar objects, the state below, the skin
  // colours of ".\skin\default\skin.ini", then the hot-key captions.
  explicit TMFrame(TComponent* owner);
  // The quick-order bar object, then the menu bar object, then the form.
  ~TMFrame() override;

  // ---- Life ----------------------------------------------------------------------------------
  void FormCreate(TObject* sender);   // the 28 start-up steps
  void FormShow(TObject* sender);     // the page window, then MsgRequestSystemMessage
  void FormCloseQuery(TObject* sender, bool& canClose);
  void FormClose(TObject* sender, TCloseAction& action);   // the 18 shut-down steps
  void FormResize(TObject* sender);

  // Logs in through the modal login dialog (first start, or reconnecting from 连接主站); false
  // when the program may not go on. 脱机浏览 shows the warning and builds the market tables from
  // the local files ("初始化数据失败。  " and a forced close when they fail); leaving the first
  // login closes the program (MainFrameLogin.cpp).
  bool Login(bool reconnecting);

  // ---- Page list (the page commands of the menus, tool bar and status bar) -------------------
  PageCommands& Pages() { return pages_; }
  TMultiViewMain* PageWindow() const { return pageWindow_; }
  // The page window's active cell, or null.
  TMultiViewChild* ActiveView() const;

  // ---- Handlers attached here ----------------------------------------------------------------
  void MenuItem94Click(TObject* sender);   // 走势图优先: toggles its check
  void T1Click(TObject* sender);           // 闪电图优先: toggles its check
  void MenuItem109Click(TObject* sender);  // 退出系统: Close()
  void O2Click(TObject* sender);           // 选项: the view options dialog
  void StatusBox2Paint(TObject* sender);   // the page name
  void StatusBox2Click(TObject* sender);   // the page menu

  // ---- Filled by later units (empty until they land) -----------------------------------------
  void UpdateHotkeyCaptions();
  void CreateKeyboardWizard();
  void BuildTradingMenu();
  void BuildUserBlockMenu();
  void NClick(TObject* sender);            // a block item of 板块 (tag: the block)
  void AppMessage(MSG& msg, bool& handled);
  void AppHint(TObject* sender);
  void Timer1Timer(TObject* sender);
  void ColorClick(TObject* sender);
  void ReferZoneClick(TObject* sender);
  void WebClick(TObject* sender);
  void BuildQuoteStrip();                  // after the quote-strip settings are read
  void CreateMenuBarWindow();              // in Panel9
  void CreateQuickDealWindow();            // in Panel4
  void SetMenuBarCaptions(const std::string& caption, const std::string& caption1);
  void DestroyBarWindows();
  void DestroyKeyboardWizard();            // FormClose step 5
  void CloseAlarmWindows();                // the alarm list and triggered-alarm windows

  // ---- timers and status bar ----
  // Timer1Timer (above) runs the one-second rules of shell/TimerRules.h over this window.
  // Timer2 (every 30 ms, while notices wait): scrolls the ticker one pixel; a notice that has
  // left the box is freed when another follows it (which then starts 30 px in), else it
  // scrolls in again from the right.
  void Timer2Timer(TObject* sender);
  // Appends a notice to the ticker: at most `maxBytes` bytes of `text` (the record it comes
  // in need not be terminated), measured in "Arial" 15 px. At most kMaxWaitingNotices notices
  // wait to scroll: beyond that the oldest one not yet in the box is dropped, so a burst of
  // notices cannot grow the list without bound. Starts Timer2. False (nothing added) for a
  // null text or when out of memory.
  static constexpr int kMaxWaitingNotices = 64;
  bool AddTickerNotice(const char* text, std::size_t maxBytes);
  // Frees every notice of the ticker (the window's close and destruction).
  void FreeTickerNotices();
  // The status boxes' paints: index bar, title letters, clock, ticker (StatusBox2Paint above
  // paints the page name).
  void StatusBox1Paint(TObject* sender);
  void StatusBox4Paint(TObject* sender);
  void StatusBox5Paint(TObject* sender);
  void StatusBox6Paint(TObject* sender);
  // The four title letters into the title box at once ("Tahoma" 16 px bold on Background, from
  // x = 2): the one at `highlighted` red, the others blue (-1: all blue).
  void DrawTitleLetters(int highlighted);
  // The quiet reconnect the countdown calls: the missing clients made here, connected on a
  // worker and handed back to this thread (MainFrameLogin.cpp).
  void Reconnect();

  // ---- hub ----
  // The window procedure: every private message addressed to the main window, and
  // WM_GETMINMAXINFO; the rest (and MsgQuickDeal, MsgTradeWindowOpened / Closed after their
  // handling) to the form's own. A window-menu restore sets RestoredOnce after it went through.
  void WndProc(TMessage& message) override;
  // WM_ACTIVATE and WM_NCMOUSEMOVE are forwarded to the page's active cell; the rest inherited.
  void Dispatch(TMessage& message) override;
  // MsgQuoteEvent: 0 open a view, 2 server clock, 4099 bar limit changed, 0x10005 quote update.
  void QuoteEvent(TMessage& message);
  // The quote strip's unit fills these (empty until it lands): the instrument's cell refreshed,
  // the cells rebuilt for QuoteBlockId, the strip's background (COLOR17) and cell metrics.
  void UpdateQuoteCell(STKPTR instrument);
  void RebuildQuoteStrip();
  void ApplyQuoteStripColors();
  // 系统消息 (the news menus' unit), the connect command (the login unit) and the online-notice
  // window "在线通知" made anew and brought to the front (its own unit); empty until they land.
  void N52Click(TObject* sender);
  void C1Click(TObject* sender);
  void ShowOnlineNoticeWindow();
  // The messenger process this program started (0 none): only its window gets the login block.
  DWORD MessengerProcessId = 0;
  bool RestoredOnce = false;          // a window-menu restore went through once
  int PreviousServerClock = 0;        // the clock before the last MsgQuoteEvent 2, to see midnight

  // ---- commands ----
  // Carries out command 1..81 (hot keys, the keyboard wizard, menus, tool buttons, the status
  // bar); any other id does nothing. Commands that need a kind of active view do nothing
  // without it.
  void ExecuteCommand(std::int8_t id);
  // Makes a quote list the working view (the active one, else the first of the page activated,
  // else the active cell turned into one) and shows block `blockId` in it (-1: none). The list,
  // or null when the page has no active cell to turn into one.
  TMultiViewChild* OpenBlockList(int blockId);
  // Shows the active instrument in a chart of cycle 0..14.
  void ChangeCycle(int cycle);
  // Brings up a view of attr.kind for attr's instrument: an existing one (by the variant's reuse
  // rule, with its steps), else the active cell's content replaced. The view, or null.
  TMultiViewChild* ShowViewOfKind(VIEW_ATTR_12& attr, const ShowViewVariant& variant);
  // 周期设置: the cycle-order dialog, modal.
  void Y1Click(TObject* sender);
  // Actions of the menu unit that the commands run (empty until it lands): the trading menu
  // without an item (48), 循环报价 (58), full screen (59), page cycling (61, 75), data refresh
  // (62), 信息窗口 (66), 预警设置 (81).
  void MenuItem142Click(TObject* sender);
  void N55Click(TObject* sender);
  void MenuItem95Click(TObject* sender);
  void ToolButton23Click(TObject* sender);
  void N22Click(TObject* sender);
  void ToolButton22Click(TObject* sender);
  void S1Click(TObject* sender);

 private:
  void ShowIndexTrend(int slot);
  void SwitchTrendAndKLine();
  void OpenUserBlock();
  void RotateCycle(bool backwards);
  void ShowNews();
  void ShowCompanyInfo();
  void ShowNotes(int category);
  void ShowRanking(int blockId);
  void AddActiveToUserBlock();
  void RunKLineCommand(int id);
  void AfterKeyboardWizard(MSG& msg, bool& handled);
  bool FocusInEdit() const;

 public:
  // ---- end of commands ----

 private:
  // The hub's handlers of single messages (MainFrameHub.cpp).
  void HubGetMinMaxInfo(TMessage& message);
  void HubForwardActivation(TMessage& message);
  void HubRelayToKLines(TMessage& message);
  void HubOptionsChanged(LPARAM what);
  void HubConnectionLost(WPARAM ask, LPARAM which);
  void HubAlarmTriggered();
  void HubShowMessenger();
  void HubServerText();
  void HubOnlineNotice(LPARAM record);
  void HubLinkInstrument(LPARAM view);
  void HubMessengerHello(WPARAM what, LPARAM window);
  void HubQuickDeal(WPARAM button, LPARAM lots);
  void HubServerData(WPARAM codes, LPARAM value);
  void HubNameTableReplaced(LPARAM market);
  void HubBlockDeleted(WPARAM block);

 public:
  // ---- login ----
  // The login dialog's calls (it reaches them through ILoginHost). ConnectServer: UI thread;
  // 0 success, 1 server unreachable, 2 data server unreachable, 3 failure reported, other
  // values failure reported with the request client's text. StartRealData: the login worker,
  // builds the market tables and nothing else. FinishRealData: UI thread after the worker: the
  // push client made (unconnected) and the request client switched to asynchronous operation.
  int ConnectServer(HWND dialog, bool skipVersionCheck, bool updateMarketConfig, bool useCachedReply);
  void StartRealData(TClientRight* dialog);
  void FinishRealData(TClientRight* dialog);
  // Once both clients work again: countdown armed, quotes cleared, data series reloaded, the
  // quote lists' server sorts asked again, charts refreshed, else the subscription renewed.
  void RefreshAfterConnect();
  // 修改密码(&P).
  void N73Click(TObject* sender);
  // True while the login dialog is shown (the timer's network work and the countdown rest).
  bool LoginDialogShown = false;
  // Bumped by every login and disconnect by hand: a quiet reconnect started before is discarded.
  unsigned ReconnectGeneration = 0;
  // The quiet reconnect's end on the UI thread (the worker's job, see MainFrameLogin.cpp).
  void ReconnectFinished(ReconnectJob* job);

 private:
  void ReadLoginFields();
  void RequestNewsAfterConnect();
  bool realDataFailed_ = false;
  // ---- end of login ----

 public:
  // ---- IShellHost ----------------------------------------------------------------------------
  HWND MainWindowHandle() override;
  void SetInfoButtonVisible(bool visible) override;
  void SetLineToolVisible(bool visible) override;
  void SetBlockMenuVisible(bool visible) override;
  void SetLineToolMenuItemVisible(bool visible) override;
  void ShowLineToolBox(bool forKLine) override;
  void SetCycleButtonsVisible(bool visible) override;
  void SetToolGroupVisible(int group, bool visible) override;
  void RelayoutMenuBar() override;
  void CheckPeriodItems(TMultiViewChild* klineView) override;
  bool HasMarketRight(int market, int category) override;
  void NotifyViews(int code, STKPTR instrument, int arg, std::intptr_t extra) override;
  void PostResubscribe() override;
  bool HasNewsRight(int category);

  // ---- IPageHost -----------------------------------------------------------------------------
  bool AutoSavePage() override;
  TWinControl* OverlayParent() override;
  void ActivateMainWindow() override;
  IPageSaveUi* PageSaveUi() override;

  // ---- IPageListHost -------------------------------------------------------------------------
  std::string PagePath() override;
  bool PageHasEmptyCell() override;
  int SavePage(int mode) override;
  void OpenPage(const std::string& path, PageOpenMode mode) override;
  void ReplacePageWindow(PageOpenMode mode) override;
  void SetAutoSavePage(bool checked) override;
  std::vector<TMenuItem*> PageMenus() override;
  void ShowPageBoxText(const std::string& text) override;
  TWinControl* DialogOwner() override;

  // ---- State ---------------------------------------------------------------------------------
  // Skin colours (platform RGB).
  COLORREF SkinBackground = 16777215;
  COLORREF SkinHotBackground = 13041111;
  COLORREF SkinBorder = 12566463;
  COLORREF SkinCtrlBorder = 0;

  // The status bar's index slots of "000001" (0) and "399001" (1).
  struct IndexSlot {
    int index = -1;   // instrument index in its market, -1 when not found
    double previousClose = 0;
    double last = 0;
    double amount = 0;
  };
  IndexSlot IndexSlots[2];

  int ReconnectCountdown = -1;   // 12 arms it
  bool FullScreen = false;       // the window is in full-screen mode
  bool CloseForced = false;      // close without the close query
  // The title-animation letters: Title1 split into whole characters (at most five; the first
  // four are drawn).
  std::string TitleLetters[5];
  bool QuoteCycling = false;

  struct TickerNode {
    TickerNode* next;
    int width;
    char text[1];
  };
  TickerNode* TickerHead = nullptr;
  int TickerOffset = 0;

  std::uint8_t MarketRights[96] = {};
  std::uint8_t InfoRights[16] = {};
  char UserName[31] = {};
  char Password[31] = {};

  TBlockGroup* BlockGroup = nullptr;
  TDataIO* DataIO = nullptr;
  TForm* LineToolBox = nullptr;
  int LineTool = -1;             // the current drawing tool, -1 none
  EToolTip* ToolTip = nullptr;
  HWND MessengerWindow = nullptr;
  int ServerClock = 0;           // minutes since midnight, UTC
  int QuoteCol = 2;              // the quote strip's columns (at least 1)
  int QuoteBlockId = -1;         // the quote strip's block, -1 none
  int Theme = 0;                 // the current colour theme
  int Company = 0;               // the kept trading profile

  // The page name the page box shows ("▲ 默认页面", "▲" + name).
  std::string PageBoxText;

 private:
  // The page window made in `mode` (path from LASTPAGE.DAT in mode 0), parented and sized into
  // ClientPanel; the old one (after its auto-save) is closed and freed first.
  void MakePageWindow(PageOpenMode mode, const std::string& path);
  void ReadDisplaySettings();
  void BuildBlockMenu();
  void BuildColourSchemeMenu();
  void BuildTimeZoneMenu();
  void BuildWebMenu();
  void ApplyWindowPosition();
  void LookUpIndexSlots();
  void WriteSettingsAtClose();
  void ConnectPush();
  void StartMessenger();
  void OpenUserWeb();
  void ClosePageWindow();
  void Trace(const char* phase, int step);

  PageCommands pages_{*this};
  TMultiViewMain* pageWindow_ = nullptr;
  IShellHost* previousShellHost_ = nullptr;
  IPageHost* previousPageHost_ = nullptr;
  bool hooksInstalled_ = false;   // AppMessage and AppHint are the application's
};

// ---- login ----
// The main window's side of the login dialog, the connect command and the quiet reconnect
// (MainFrameLogin.cpp), and the password change (MainFramePassword.cpp). Clients are made and
// destroyed on the UI thread only, through ShellClients().
namespace zuvo::shell {
// How a quiet reconnect that ran on its worker ended: `request` / `push` the connect results
// (request 0 logged in; push 1 connected; -1 not tried), `adopted` whether the clients became
// the process-wide ones (a disconnect by hand, a login or a closed window meanwhile discards
// them).
struct ReconnectOutcome {
  int request = -1;
  int push = -1;
  bool adopted = false;
};
// Sees each quiet reconnect end, on the UI thread (tests and the benchmark); returns the one before.
using ReconnectTrace = std::function<void(const ReconnectOutcome&)>;
ReconnectTrace SetReconnectTraceForTest(ReconnectTrace trace);
// True while a quiet reconnect's worker runs.
bool ReconnectRunning();
// The password-change worker's thread function: the 40-byte block (GuardedAlloc; released
// here): bytes 0-15 the user name, 16-27 the current password, 28-39 the new password.
unsigned PasswordChangeWorker(void* block);
constexpr int kPasswordBlockBytes = 40;
}  // namespace zuvo::shell
// ---- end of login ----

// ---- subscription and rights ----
// Builds the real-time subscription from everything that shows or watches live prices and
// hands it to the push client, and asks the request client for the quote snapshots the views
// still lack (Subscription.cpp). `incremental` 1 sends only when new keys appear (new keys
// first), 0 always sends the whole set. Nothing without both clients and a page window.
void UpdateSubscription(TMFrame* frame, std::uint8_t incremental);
// The page's cells as the reply dispatch sees them (PageCellsAdapter.cpp): installed while the
// main window has a page window (it reads the window's current page on every call).
void InstallPageCells(TMFrame* frame);
void RemovePageCells(TMFrame* frame);
// ---- end of subscription and rights ----

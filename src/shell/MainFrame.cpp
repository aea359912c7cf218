// The main window's life: construction, the start-up steps of FormCreate, the first show, the
// close query, the shut-down steps of FormClose and the destructor; the page window it holds;
// the hosts it is to cells, views and the page commands.
#include "shell/MainFrame.h"

#include "core/GuardedAlloc.h"
#include "data/BlockGroup.h"
#include "data/DataIO.h"
#include "data/IRequestClient.h"
#include "data/MarketData.h"
#include "data/Messages.h"
#include "data/NewsIndex.h"
#include "data/TimeZones.h"
#include "data/UtilData.h"
#include "net/DispatchInfo.h"
#include "net/RealDataClnt.h"
#include "net/RequestQueue.h"
#include "platform/Files.h"
#include "platform/MessageBox.h"
#include "platform/Process.h"
#include "platform/Profile.h"
#include "platform/Shell.h"
#include "platform/Text.h"
#include "platform/WinUser.h"
#include "shell/Cell.h"
#include "shell/ModalDialog.h"
#include "shell/PageFile.h"
#include "shell/ProgramDialogs.h"
#include "shell/SmallWindows.h"
#include "shell/ViewOptions.h"
#include "shell/stubs/FrameStandIns.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>

using namespace zuvo::platform;

TRealDataClnt* RealDataClnt = nullptr;
TMFrame* MFrame = nullptr;

namespace {

FrameStepTrace& StepTrace() {
  static FrameStepTrace trace;
  return trace;
}

const char kProgramSettings[] = "..\\CFG\\SETTING.INI";
const char kSkinFile[] = ".\\skin\\default\\skin.ini";

std::string UserSettings() { return UserFilePath("SETTING.INI"); }

std::string ReadString(const char* section, const char* key, const char* fallback, const std::string& file,
                       std::size_t size) {
  std::string buffer(size + 1, '\0');
  const DWORD n = GetPrivateProfileStringA(section, key, fallback, buffer.data(), static_cast<DWORD>(buffer.size()),
                                           file.c_str());
  buffer.resize(std::min<std::size_t>(n, size));
  return buffer;
}

int ReadInt(const char* section, const char* key, int fallback, const std::string& file) {
  return static_cast<int>(GetPrivateProfileIntA(section, key, fallback, file.c_str()));
}

void WriteString(const char* key, const std::string& value, const std::string& file) {
  WritePrivateProfileStringA("Parameter", key, value.c_str(), file.c_str());
}

// A new menu item under `parent` (owned by it).
TMenuItem* AddItem(TMenuItem* parent, const std::string& caption, int tag, TNotifyEvent onClick) {
  auto* item = new TMenuItem(parent);
  item->SetCaption(caption);
  item->SetTag(tag);
  item->OnClick = std::move(onClick);
  parent->Add(item);
  return item;
}

void AddLine(TMenuItem* parent) { AddItem(parent, "-", 0, nullptr); }

// The market name without a trailing "市场".
std::string WithoutMarketSuffix(const char* name) {
  std::string text(name);
  static const std::string suffix = "市场";
  if (text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0) {
    // Only when the suffix starts on a character boundary of the name.
    std::size_t at = 0;
    while (at < text.size() - suffix.size()) at += gbk::CharLength(text, at);
    if (at == text.size() - suffix.size()) text.resize(at);
  }
  return text;
}

}  // namespace

FrameStepTrace SetFrameStepTraceForTest(FrameStepTrace trace) {
  FrameStepTrace previous = std::move(StepTrace());
  StepTrace() = std::move(trace);
  return previous;
}

void TMFrame::Trace(const char* phase, int step) {
  if (StepTrace()) StepTrace()(phase, step);
}

// ---- Construction ---------------------------------------------------------------------------------

TMFrame::TMFrame(TComponent* owner) : TMFrameForm(owner) {
  MFrame = this;
  previousShellHost_ = SetShellHost(this);
  previousPageHost_ = SetPageHost(this);
  InstallProgramDialogs();

  SkinBackground = static_cast<COLORREF>(GetPrivateProfileIntA("Color", "Background", 16777215, kSkinFile));
  SkinHotBackground = static_cast<COLORREF>(GetPrivateProfileIntA("Color", "HotBackground", 13041111, kSkinFile));
  SkinBorder = static_cast<COLORREF>(GetPrivateProfileIntA("Color", "Border", 12566463, kSkinFile));
  SkinCtrlBorder = static_cast<COLORREF>(GetPrivateProfileIntA("Color", "CtrlBorder", 0, kSkinFile));

  OnCreate = [this](TObject* sender) { FormCreate(sender); };
  OnShow = [this](TObject* sender) { FormShow(sender); };
  OnCloseQuery = [this](TObject* sender, bool& canClose) { FormCloseQuery(sender, canClose); };
  OnClose = [this](TObject* sender, TCloseAction& action) { FormClose(sender, action); };
  OnResize = [this](TObject* sender) { FormResize(sender); };
  if (ClientPanel != nullptr) ClientPanel->OnResize = [this](TObject* sender) { FormResize(sender); };

  auto attach = [](TMenuItem* item, TNotifyEvent handler) {
    if (item != nullptr) item->OnClick = std::move(handler);
  };
  attach(MenuItem94, [this](TObject* s) { MenuItem94Click(s); });
  attach(T1, [this](TObject* s) { T1Click(s); });
  attach(MenuItem109, [this](TObject* s) { MenuItem109Click(s); });
  attach(O2, [this](TObject* s) { O2Click(s); });
  attach(C1, [this](TObject* s) { C1Click(s); });     // the login unit's connect command
  attach(N73, [this](TObject* s) { N73Click(s); });   // and its password change
  attach(N10, [this](TObject* s) { pages_.N10Click(s); });
  attach(N19, [this](TObject* s) { pages_.N19Click(s); });
  attach(N53, [this](TObject* s) { pages_.N53Click(s); });
  attach(N17, [this](TObject* s) { pages_.N17Click(s); });
  if (ToolButton4 != nullptr) ToolButton4->OnClick = [this](TObject* s) { pages_.ToolButton4Click(s); };
  if (StatusBox2 != nullptr) {
    StatusBox2->OnPaint = [this](TObject* s) { StatusBox2Paint(s); };
    StatusBox2->OnClick = [this](TObject* s) { StatusBox2Click(s); };
  }
  if (Timer1 != nullptr) Timer1->OnTimer = [this](TObject* s) { Timer1Timer(s); };
  if (Timer2 != nullptr) Timer2->OnTimer = [this](TObject* s) { Timer2Timer(s); };
  if (StatusBox1 != nullptr) StatusBox1->OnPaint = [this](TObject* s) { StatusBox1Paint(s); };
  if (StatusBox4 != nullptr) StatusBox4->OnPaint = [this](TObject* s) { StatusBox4Paint(s); };
  if (StatusBox5 != nullptr) StatusBox5->OnPaint = [this](TObject* s) { StatusBox5Paint(s); };
  if (StatusBox6 != nullptr) StatusBox6->OnPaint = [this](TObject* s) { StatusBox6Paint(s); };

  UpdateHotkeyCaptions();
}

TMFrame::~TMFrame() {
  // The quick-order bar and menu bar objects go first (their windows went with FormClose).
  DestroyBarWindows();
  // A window freed without its close (tests, a failed start) still leaves nothing behind.
  if (pageWindow_ != nullptr) {
    TComponent::Free(pageWindow_);
    pageWindow_ = nullptr;
  }
  RemovePageCells(this);
  // The ticker's notices (FormClose frees them too).
  FreeTickerNotices();
  // The hint's tip window (FormClose frees it too).
  delete ToolTip;
  ToolTip = nullptr;
  delete DataIO;
  DataIO = nullptr;
  delete BlockGroup;
  BlockGroup = nullptr;
  if (hooksInstalled_) {
    Application->OnMessage = nullptr;
    Application->OnHint = nullptr;
    hooksInstalled_ = false;
  }
  if (ShellHost() == this) SetShellHost(previousShellHost_);
  if (PageHost() == this) SetPageHost(previousPageHost_);
  RemoveProgramDialogs();
  if (MFrame == this) MFrame = nullptr;
}

// ---- FormCreate ----------------------------------------------------------------------------------

void TMFrame::FormCreate(TObject*) {
  Trace("create", 1);
  LoadIndicatorFiles(IndexManager());

  Trace("create", 2);
  ScanPageFiles();

  Trace("create", 3);
  NewsIndex.Load();

  Trace("create", 4);
  zuvo::net::InitDispatchTempFolder();

  Trace("create", 5);
  {
    // Whole characters only: a double-byte character is one letter.
    const std::string title = ReadString("AppTitle", "Title1", "", "..\\cfg\\Setting.ini", 63);
    for (std::string& letter : TitleLetters) letter.clear();
    std::size_t at = 0;
    for (int n = 0; n < 5 && at < title.size(); ++n) {
      const std::size_t length = gbk::CharLength(title, at);
      TitleLetters[n] = title.substr(at, length);
      at += length;
    }
    QuoteCycling = false;
  }

  Trace("create", 6);
  if (MenuItem94 != nullptr) MenuItem94->SetChecked(true);
  SetWindowState(wsMaximized);

  Trace("create", 7);
  LoadRefreshIntervals();

  Trace("create", 8);
  CreateKeyboardWizard();
  pageWindow_ = nullptr;

  Trace("create", 9);
  if (!Login(false)) return;

  Trace("create", 10);
  if (BlockGroup == nullptr) BlockGroup = new TBlockGroup();

  Trace("create", 11);
  BuildTradingMenu();

  Trace("create", 12);
  BuildBlockMenu();

  Trace("create", 13);
  SetToolGroupVisible(0, false);
  SetToolGroupVisible(2, false);
  SetToolGroupVisible(3, false);
  pages_.BuildPageMenu(kPageSelectLastPage);

  Trace("create", 14);
  Application->OnMessage = [this](MSG& msg, bool& handled) { AppMessage(msg, handled); };
  if (Timer1 != nullptr) Timer1->SetEnabled(true);
  Application->OnHint = [this](TObject* sender) { AppHint(sender); };
  hooksInstalled_ = true;

  Trace("create", 15);
  ConnectPush();

  Trace("create", 16);
  BuildColourSchemeMenu();

  Trace("create", 17);
  BuildTimeZoneMenu();

  Trace("create", 18);
  ReadDisplaySettings();
  BuildQuoteStrip();

  Trace("create", 19);
  {
    const std::string caption = ReadString("PARAMETER", "Caption", "", kProgramSettings, 63);
    const std::string caption1 = ReadString("PARAMETER", "Caption1", "", kProgramSettings, 63);
    if (!caption.empty()) SetMenuBarCaptions(caption, caption1);
  }

  Trace("create", 20);
  BuildWebMenu();

  Trace("create", 21);
  CreateMenuBarWindow();
  CreateQuickDealWindow();

  Trace("create", 22);
  if (Alarm == nullptr) Alarm = new TAlarm();

  Trace("create", 23);
  LookUpIndexSlots();

  Trace("create", 24);
  StartMessenger();

  Trace("create", 25);
  if (IRequestClient* client = RequestClient()) {
    NewsIndex.NewsCatchUpFlag = 1;
    client->RequestNews(false, 0);
  }

  Trace("create", 26);
  if (SmartDealTriggeredDlg == nullptr) SmartDealTriggeredDlg = new TSmartDealTriggeredDlg(this);

  Trace("create", 27);
  OpenUserWeb();

  Trace("create", 28);
  ApplyWindowPosition();
}

void TMFrame::ConnectPush() {
  if (RealDataClnt == nullptr) return;
  if (RealDataClnt->ConnectAndLogin() != 0) {
    ReconnectCountdown = 12;
    // Only pushed quotes are shown from now on.
    for (int m = 0; m < MarketCount; ++m) {
      TMarketData* table = GetMarketTable(m);
      if (table == nullptr) continue;
      for (int c = 0; c < table->record.categoryCount; ++c) {
        table->ClearCategoryQuotes(c);
        table->ClearCategoryExtras(c);
      }
    }
    return;
  }
  MessageBoxA(Handle(), "连接服务器失败，无法取得即时数据。  ", "网络错误", MB_OK | MB_ICONERROR | MB_TOPMOST);
  delete RealDataClnt;
  RealDataClnt = nullptr;
}

void TMFrame::BuildBlockMenu() {
  if (BlockMenu1 == nullptr) return;
  BlockMenu1->Clear();
  const TNotifyEvent onClick = [this](TObject* s) { NClick(s); };
  int runningCategory = 0;
  for (int m = 0; m < MarketCount; ++m) {
    TMarketData* table = GetMarketTable(m);
    if (table == nullptr) continue;
    TMenuItem* market = AddItem(BlockMenu1, WithoutMarketSuffix(table->record.name), 0, nullptr);
    AddItem(market, "所有品种", m, onClick);
    AddLine(market);
    for (int c = 0; c < table->record.categoryCount; ++c) {
      AddItem(market, table->record.categories[c].name, MarketCount + runningCategory, onClick);
      ++runningCategory;
    }
    if (m == 2 || m == 6) AddLine(BlockMenu1);
  }
  AddLine(BlockMenu1);
  auto* system = AddItem(BlockMenu1, "系统板块", 0, nullptr);
  for (int i = 0; i < BlockSlotCount; ++i) {
    const BlockRecord& block = BlockTable[i];
    // Preset blocks in use are the system blocks offered here.
    if (block.used == 0 || block.kind != kBlockPreset) continue;
    AddItem(system, block.name, block.id, onClick);
  }
  if (system->Count() == 0) BlockMenu1->Delete(BlockMenu1->IndexOf(system));
  BuildUserBlockMenu();
}

void TMFrame::BuildColourSchemeMenu() {
  if (N68 == nullptr) return;
  N68->Clear();
  const std::string file = UserSettings();
  for (int n = 0;; ++n) {
    char section[32];
    std::snprintf(section, sizeof section, "Color%d", n);
    const std::string name = ReadString(section, "Name", "", file, 63);
    if (name.empty()) break;
    TMenuItem* item = AddItem(N68, name, n, [this](TObject* s) { ColorClick(s); });
    item->SetRadioItem(true);
    if (n == LastTheme) item->SetChecked(true);
  }
}

void TMFrame::BuildTimeZoneMenu() {
  if (Z1 == nullptr) return;
  Z1->Clear();
  for (int z = 0; z < TimeZones.zoneCount && z < kMaxZones; ++z) {
    TMenuItem* item = AddItem(Z1, TimeZones.zones[z].name, z, [this](TObject* s) { ReferZoneClick(s); });
    item->SetRadioItem(true);
    item->SetGroupIndex(2);
    if (z == TimeZones.currentZone) item->SetChecked(true);
  }
}

void TMFrame::ReadDisplaySettings() {
  const std::string file = UserSettings();
  auto check = [&](TMenuItem* item, const char* key, int fallback) {
    const bool on = ReadInt("Parameter", key, fallback, file) != 0;
    if (item != nullptr) item->SetChecked(on);
    return on;
  };
  check(T1, "TickFirst", 1);
  check(MenuItem94, "TrendFirst", 1);
  check(N51, "ReportGridding", 0);
  const bool toolBar = check(MenuItem100, "ToolBar", 1);
  if (ToolBar1 != nullptr) ToolBar1->SetVisible(toolBar);
  if (ToolBar2 != nullptr) ToolBar2->SetChecked(toolBar);
  const bool statusBar = check(MenuItem103, "StatusBar", 1);
  if (StatusBar != nullptr) StatusBar->SetVisible(statusBar);
  if (StatusBar2 != nullptr) StatusBar2->SetChecked(statusBar);
  check(N17, "AutoSavePage", 1);
  const bool quoteBoard = check(Q1, "QuoteBoard", 0);
  if (QuoteBoardBtn != nullptr) QuoteBoardBtn->SetDown(quoteBoard);
  if (Panel1 != nullptr) Panel1->SetVisible(quoteBoard);
  if (Splitter1 != nullptr) {
    Splitter1->SetVisible(quoteBoard);
    Splitter1->SetColor(static_cast<TColor>(SkinBackground));
  }
  QuoteCol = std::max(1, ReadInt("Parameter", "QuoteCol", 2, file));
  const std::string blockName = ReadString("Parameter", "QuoteBlock", "", file, 63);
  const BlockRecord* block = blockName.empty() ? nullptr : FindBlockByName(blockName.c_str());
  QuoteBlockId = block != nullptr ? block->id : -1;
}

void TMFrame::BuildWebMenu() {
  if (Web1 == nullptr) return;
  Web1->SetCaption(ReadString("WEB", "MenuName", "网站", kProgramSettings, 63));
  // Keep the form's own items (手机行情); the entries follow them.
  for (int i = Web1->Count() - 1; i >= 0; --i) {
    if (Web1->Items(i) != N50) Web1->Delete(i);
  }
  for (int n = 1;; ++n) {
    char key[32];
    std::snprintf(key, sizeof key, "Web%d", n);
    const std::string value = ReadString("WEB", key, "", kProgramSettings, 511);
    if (value.empty()) break;
    const std::size_t colon = value.find(':');
    if (colon == std::string::npos) continue;
    AddItem(Web1, value.substr(0, colon), n - 1, [this](TObject* s) { WebClick(s); });
  }
}

void TMFrame::LookUpIndexSlots() {
  const char* codes[2] = {"000001", "399001"};
  for (int slot = 0; slot < 2; ++slot) {
    int market = slot;
    STKPTR stk;
    if (FindStkPtrByCode(codes[slot], &market, &stk, false) != 1) continue;
    TMarketData* table = GetMarketTable(market);
    if (table == nullptr || table->quotes == nullptr) continue;
    const QuoteRecord& quote = table->quotes[stk.index];
    IndexSlots[slot].index = stk.index;
    IndexSlots[slot].previousClose = quote.prevClose;
    IndexSlots[slot].last = quote.last;
    IndexSlots[slot].amount = quote.amount;
  }
}

void TMFrame::StartMessenger() {
  // The messenger reports back with MsgMessengerHello; a missing one is not reported.
  // The handle follows the program's own name: the launcher hands what follows the first
  // token to the program as its argument.
  char commandLine[64];
  std::snprintf(commandLine, sizeof commandLine, ".\\ZuvoMsgr.dll %u",
                static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(Handle())));
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (CreateProcessA(".\\ZuvoMsgr.dll", commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
    // Only this process's window will be given the login block (MsgMessengerHello).
    MessengerProcessId = info.dwProcessId;
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
  }
}

void TMFrame::OpenUserWeb() {
  const std::string web = ReadString("UserInfo", "UserWeb", "", "..\\cfg\\usersetting.ini", 511);
  if (web.empty()) return;
  // Through the shell opener, which opens web addresses only (never a local file or a command).
  ShellExecuteA(Handle(), "open", "iexplore.exe", web.c_str(), nullptr, SW_SHOWMINNOACTIVE);
}

void TMFrame::ApplyWindowPosition() {
  const std::string value = ReadString("Parameter", "WndPos", "", UserSettings(), 127);
  int state = 0, left = 0, top = 0, width = 0, height = 0;
  if (value.empty() || value[0] == '1' || value[0] == '2' ||
      std::sscanf(value.c_str(), "%d,%d,%d,%d,%d", &state, &left, &top, &width, &height) != 5) {
    // Stays maximised (full screen is never restored). Set again: laying out the hidden
    // window's controls since step 6 may have reported it restored.
    SetWindowState(wsMaximized);
    return;
  }
  // A position saved on a screen that is gone would leave the window out of reach: keep it
  // inside the work area.
  const TRect area = Screen->WorkAreaRect();
  constexpr int kMinSize = 100;
  width = std::clamp(width, std::min(kMinSize, area.Width()), area.Width());
  height = std::clamp(height, std::min(kMinSize, area.Height()), area.Height());
  left = std::clamp(left, static_cast<int>(area.left), static_cast<int>(area.right) - width);
  top = std::clamp(top, static_cast<int>(area.top), static_cast<int>(area.bottom) - height);
  SetWindowState(wsNormal);
  SetBorderStyle(bsSizeable);
  SetBounds(left, top, width, height);
}

// ---- FormShow, resize ----------------------------------------------------------------------------

void TMFrame::FormShow(TObject*) {
  if (CloseForced || pageWindow_ != nullptr) return;
  MakePageWindow(PAGE_OPEN_FILE, std::string());
  if (HandleAllocated()) PostMessageA(Handle(), MsgRequestSystemMessage, 0, 0);
}

void TMFrame::MakePageWindow(PageOpenMode mode, const std::string& path) {
  // The old page was auto-saved by the command that replaces it.
  if (pageWindow_ != nullptr) {
    TMultiViewMain* old = pageWindow_;
    pageWindow_ = nullptr;
    TComponent::Free(old);
  }
  auto* page = new TMultiViewMain(this, mode, path);
  pageWindow_ = page;
  TWinControl* parent = ClientPanel != nullptr ? static_cast<TWinControl*>(ClientPanel) : this;
  page->SetParent(parent);
  page->SetBounds(0, 0, parent->ClientWidth(), parent->ClientHeight());
  page->Show();
  InstallPageCells(this);
}

void TMFrame::FormResize(TObject*) {
  if (pageWindow_ == nullptr) return;
  TWinControl* parent = ClientPanel != nullptr ? static_cast<TWinControl*>(ClientPanel) : this;
  pageWindow_->SetBounds(0, 0, parent->ClientWidth(), parent->ClientHeight());
}

// ---- Closing -------------------------------------------------------------------------------------

void TMFrame::FormCloseQuery(TObject*, bool& canClose) {
  canClose = true;
  if (CloseForced) return;
  const std::string path = PagePath();
  HWND owner = HandleAllocated() ? Handle() : nullptr;
  if (!path.empty() && !IsDefaultPagePath(path)) {
    canClose = MessageBoxA(owner, "退出金融投资分析系统？  ", "确认", MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) == IDYES;
    return;
  }
  const int answer = MessageBoxA(owner, "对默认页面所作的修改不会被保存，是否另存当前页面？  ", "确认",
                                 MB_YESNOCANCEL | MB_ICONQUESTION | MB_DEFBUTTON3);
  if (answer == IDNO) return;
  if (answer != IDYES) {
    canClose = false;
    return;
  }
  if (PageHasEmptyCell()) {
    MessageBoxA(owner, "请先指定空白窗口的内容。  ", "提示", MB_OK | MB_ICONINFORMATION);
    canClose = false;
    return;
  }
  // The user chose to keep this page: close only once it is saved.
  canClose = SavePage(kPageSaveAs) == static_cast<int>(PageSaveResult::kSaved);
}

void TMFrame::FormClose(TObject*, TCloseAction&) {
  Trace("close", 1);
  if (MessengerWindow != nullptr) {
    PostMessageA(MessengerWindow, MsgMessengerHello, 3, 0);
    MessengerWindow = nullptr;
  }

  Trace("close", 2);
  FreeTickerNotices();

  Trace("close", 3);
  ReconnectCountdown = -1;

  Trace("close", 4);
  DropRequestClient();
  delete RealDataClnt;
  RealDataClnt = nullptr;

  Trace("close", 5);
  DestroyKeyboardWizard();

  Trace("close", 6);
  if (LineToolBox != nullptr) {
    TForm* box = LineToolBox;
    LineToolBox = nullptr;
    box->Hide();
    TComponent::Free(box);
  }

  Trace("close", 7);
  WriteSettingsAtClose();

  Trace("close", 8);
  SaveTableDefs();

  Trace("close", 9);
  if (SmartDealTriggeredDlg != nullptr) {
    TSmartDealTriggeredDlg* dialog = SmartDealTriggeredDlg;
    SmartDealTriggeredDlg = nullptr;
    dialog->Hide();
    TComponent::Free(dialog);
  }

  Trace("close", 10);
  CloseAlarmWindows();

  Trace("close", 11);
  delete Alarm;
  Alarm = nullptr;

  Trace("close", 12);
  ClosePageWindow();

  // Step 13 once showed the desktop's task bar again; full screen changes only this window's
  // own state, so no other program's window is touched.
  Trace("close", 13);

  Trace("close", 14);
  if (hooksInstalled_) {
    Application->OnHint = nullptr;
    // The message hook must not outlive the window either.
    Application->OnMessage = nullptr;
    hooksInstalled_ = false;
  }
  if (Timer1 != nullptr) Timer1->SetEnabled(false);

  Trace("close", 15);
  delete ToolTip;
  ToolTip = nullptr;

  Trace("close", 16);
  delete DataIO;
  DataIO = nullptr;

  Trace("close", 17);
  delete BlockGroup;
  BlockGroup = nullptr;

  Trace("close", 18);
  DestroyBarWindows();
}

void TMFrame::ClosePageWindow() {
  if (pageWindow_ == nullptr) return;
  TMultiViewMain* page = pageWindow_;
  if (!page->pagePath.empty()) ::WriteLastPage(page->pagePath);
  // Its close auto-saves a named page when auto-save is on.
  TCloseAction action = caFree;
  page->FormClose(page, action);
  pageWindow_ = nullptr;
  RemovePageCells(this);
  TComponent::Free(page);
  if (TranspWnd != nullptr) TComponent::Free(TranspWnd);
}

void TMFrame::WriteSettingsAtClose() {
  const std::string file = UserSettings();
  auto flag = [](bool on) { return std::string(on ? "1" : "0"); };
  WriteString("TickFirst", flag(T1 != nullptr && T1->Checked()), file);
  WriteString("TrendFirst", flag(MenuItem94 != nullptr && MenuItem94->Checked()), file);
  WriteString("Directbysell", flag(Panel4 != nullptr && Panel4->Visible()), file);
  WriteString("LastTheme", std::to_string(Theme), file);
  WriteString("QuoteBoard", flag(Q1 != nullptr && Q1->Checked()), file);
  WriteString("QuoteCol", std::to_string(QuoteCol), file);
  const BlockRecord* block = QuoteBlockId >= 0 ? FindBlockById(static_cast<std::uint16_t>(QuoteBlockId)) : nullptr;
  WriteString("QuoteBlock", block != nullptr ? block->name : "", file);
  const int state = FullScreen ? 1 : WindowState() == wsMaximized ? 2 : 0;
  char pos[80];
  std::snprintf(pos, sizeof pos, "%d,%d,%d,%d,%d", state, Left(), Top(), Width(), Height());
  WriteString("WndPos", pos, file);
}

// ---- Handlers ------------------------------------------------------------------------------------

void TMFrame::MenuItem94Click(TObject*) {
  if (MenuItem94 != nullptr) MenuItem94->SetChecked(!MenuItem94->Checked());
}

void TMFrame::T1Click(TObject*) {
  if (T1 != nullptr) T1->SetChecked(!T1->Checked());
}

void TMFrame::MenuItem109Click(TObject*) { Close(); }

void TMFrame::O2Click(TObject*) { RunViewOptionsCommand(this); }

TMultiViewChild* TMFrame::ActiveView() const { return pageWindow_ != nullptr ? pageWindow_->activeCell : nullptr; }

// ---- IShellHost ----------------------------------------------------------------------------------

HWND TMFrame::MainWindowHandle() { return HandleAllocated() ? Handle() : nullptr; }

void TMFrame::SetInfoButtonVisible(bool visible) {
  if (ToolButton22 != nullptr) ToolButton22->SetVisible(visible);
}

void TMFrame::SetLineToolVisible(bool visible) { SetToolGroupVisible(0, visible); }

void TMFrame::SetBlockMenuVisible(bool visible) { SetToolGroupVisible(3, visible); }

void TMFrame::SetLineToolMenuItemVisible(bool visible) {
  if (MenuItem128 != nullptr) MenuItem128->SetVisible(visible);
}

void TMFrame::ShowLineToolBox(bool forKLine) {
  if (LineToolBox == nullptr) return;
  LineToolBox->SetVisible(forKLine && LineBtn != nullptr && LineBtn->Down());
}

void TMFrame::SetCycleButtonsVisible(bool visible) { SetToolGroupVisible(2, visible); }

void TMFrame::SetToolGroupVisible(int group, bool visible) {
  switch (group) {
    case 0:
      if (LineBtn != nullptr) LineBtn->SetVisible(visible);
      if (MenuItem117 != nullptr) MenuItem117->SetVisible(visible);
      RelayoutMenuBar();
      break;
    case 2:
      for (TToolButton* button : Cycle) {
        if (button != nullptr) button->SetVisible(visible);
      }
      break;
    case 3:
      if (BlockMenu1 != nullptr) BlockMenu1->SetVisible(visible);
      RelayoutMenuBar();
      break;
    default:
      break;
  }
}

void TMFrame::CheckPeriodItems(TMultiViewChild* klineView) {
  if (klineView == nullptr || klineView->viewData == nullptr) return;
  // The period items follow the view's chart cycle.
  const int cycle = klineView->attr.cycle;
  for (TMenuItem* item : CycleItems) {
    if (item != nullptr && item->Tag() == cycle) item->SetChecked(true);
  }
  for (TToolButton* button : Cycle) {
    if (button != nullptr) button->SetDown(button->Tag() == cycle);
  }
}

void TMFrame::PostResubscribe() {
  if (HandleAllocated()) PostMessageA(Handle(), MsgResubscribe, 0, 0);
}

// ---- IPageHost -----------------------------------------------------------------------------------

bool TMFrame::AutoSavePage() { return N17 != nullptr && N17->Checked(); }

TWinControl* TMFrame::OverlayParent() {
  return ClientPanel != nullptr ? static_cast<TWinControl*>(ClientPanel) : this;
}

void TMFrame::ActivateMainWindow() {
  if (HandleAllocated()) SetActiveWindow(Handle());
}

IPageSaveUi* TMFrame::PageSaveUi() { return &pages_; }

// ---- IPageListHost -------------------------------------------------------------------------------

std::string TMFrame::PagePath() { return pageWindow_ != nullptr ? pageWindow_->pagePath : std::string(); }

bool TMFrame::PageHasEmptyCell() {
  if (pageWindow_ == nullptr) return false;
  // From the last cell to the first, as the close query checks them.
  for (int i = pageWindow_->cells.GetSize() - 1; i >= 0; --i) {
    TMultiViewChild* cell = pageWindow_->cells[i];
    if (cell != nullptr && cell->attr.kind == VIEW_NONE) return true;
  }
  return false;
}

int TMFrame::SavePage(int mode) {
  if (pageWindow_ == nullptr) return static_cast<int>(PageSaveResult::kNoPath);
  return static_cast<int>(pageWindow_->SavePage(mode));
}

void TMFrame::OpenPage(const std::string& path, PageOpenMode mode) {
  if (pageWindow_ != nullptr) pageWindow_->OpenPage(path, mode);
}

void TMFrame::ReplacePageWindow(PageOpenMode mode) { MakePageWindow(mode, std::string()); }

void TMFrame::SetAutoSavePage(bool checked) {
  if (N17 != nullptr) N17->SetChecked(checked);
}

std::vector<TMenuItem*> TMFrame::PageMenus() {
  std::vector<TMenuItem*> menus;
  if (N8 != nullptr) menus.push_back(N8);
  if (PopupMenu2 != nullptr) menus.push_back(PopupMenu2->Items());
  return menus;
}

void TMFrame::ShowPageBoxText(const std::string& text) {
  PageBoxText = text;
  if (StatusBox2 != nullptr) StatusBox2->Invalidate();
}

TWinControl* TMFrame::DialogOwner() { return this; }

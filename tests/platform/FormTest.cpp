// Forms, modal runs, timers, and the application, screen and mouse objects, headless: events in
// the class library's order, close actions, the frame arithmetic, dialog keys and focus, modal
// runs through the scripted runner and the message loop, click activation of palettes, size
// limits, the application's message hook, hints and exceptions.
#include "platform/Application.h"
#include "platform/Cursor.h"
#include "platform/DrivenClock.h"
#include "platform/Form.h"
#include "platform/Input.h"
#include "platform/Message.h"
#include "platform/MessageBox.h"
#include "support/TempInstall.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using zuvo::platform::ProcessPendingMessages;

// A focusable windowed control that can answer the dialog's questions like the buttons and
// radio buttons of the widget set will.
class Probe : public TCustomControl {
 public:
  Probe(TWinControl* parent, int x, int y, int w = 40, int h = 20) : TCustomControl(GetParentForm(parent)) {
    SetParent(parent);
    SetBounds(x, y, w, h);
    SetTabStop(true);
  }
  const char* ClassName() const override { return "TFormTestProbe"; }
  LRESULT dialogCode = 0;        // the WM_GETDLGCODE answer
  WORD answersDialogKey = 0;     // CM_DIALOGKEY answered for this key (a default button)
  int dialogKeys = 0;
  int buttonClicks = 0;          // BM_CLICK
  void WndProc(TMessage& m) override {
    if (m.Msg == WM_GETDLGCODE && dialogCode != 0) {
      m.Result = dialogCode;
      return;
    }
    if (m.Msg == BM_CLICK) {
      ++buttonClicks;
      return;
    }
    if (m.Msg == CM_DIALOGKEY && answersDialogKey != 0 && m.WParam == answersDialogKey) {
      ++dialogKeys;
      m.Result = 1;
      return;
    }
    TCustomControl::WndProc(m);
  }
};

class Container : public TCustomControl {
 public:
  Container(TWinControl* parent, int x, int y, int w, int h) : TCustomControl(GetParentForm(parent)) {
    SetParent(parent);
    SetBounds(x, y, w, h);
  }
  const char* ClassName() const override { return "TFormTestPanel"; }
};

// Frees a form at the end of a test unless the test let it go.
struct Owned {
  TForm* form;
  ~Owned() { TComponent::Free(form); }
};

std::function<void(TObject*)> Logs(std::vector<std::string>& log, const std::string& text) {
  return [&log, text](TObject*) { log.push_back(text); };
}

class FormTest : public testing::Test {
 protected:
  void TearDown() override {
    Application->OnMessage = nullptr;
    Application->OnHint = nullptr;
    Application->OnException = nullptr;
    Application->SetMainForm(nullptr);
    Application->HintMouseMessage(nullptr);
    Screen->SetCursor(crDefault);
    ProcessPendingMessages();
    // A quit posted by a test (main form closed) must not end a later loop.
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
  }
  static TForm* MakeForm(int clientWidth = 300, int clientHeight = 200) {
    TForm* form = NewForm<TForm>(nullptr);
    form->SetClientWidth(clientWidth);
    form->SetClientHeight(clientHeight);
    return form;
  }
  static void Click(HWND window, int x = 2, int y = 2) {
    zuvo::platform::SimulateMouse(window, WM_LBUTTONDOWN, x, y, MK_LBUTTON);
    zuvo::platform::SimulateMouse(window, WM_LBUTTONUP, x, y, 0);
    ProcessPendingMessages();
  }
  static void Key(HWND window, int key, UINT modifiers = 0) {
    zuvo::platform::SimulateKey(window, key, true, modifiers);
    zuvo::platform::SimulateKey(window, key, false, modifiers);
    ProcessPendingMessages();
  }
  // Tab pressed on the focus window, with a modifier held.
  static void TabKey(int modifierKey = 0) {
    HWND focus = GetFocus();
    const UINT modifier = modifierKey == VK_SHIFT ? MK_SHIFT : modifierKey == VK_CONTROL ? MK_CONTROL : 0;
    if (modifierKey != 0) zuvo::platform::SimulateKey(focus, modifierKey, true, modifier);
    zuvo::platform::SimulateKey(focus, VK_TAB, true, modifier, "\t");
    zuvo::platform::SimulateKey(focus, VK_TAB, false, modifier);
    if (modifierKey != 0) zuvo::platform::SimulateKey(focus, modifierKey, false, 0);
    ProcessPendingMessages();
  }
  zuvo::platform::ScopedDrivenClock clock_;
};

// ---- Life and events ----------------------------------------------------------------------

TEST_F(FormTest, EventsRunInOrderForEveryCloseAction) {
  struct Case {
    TCloseAction action;
    std::vector<std::string> afterClose;   // events of Close and the messages after it
    bool visible;
    bool freed;
  };
  const Case cases[] = {
      {caHide, {"closequery", "close", "hide"}, false, false},
      {caMinimize, {"closequery", "close"}, true, false},
      {caNone, {"closequery", "close"}, true, false},
      {caFree, {"closequery", "close", "destroy"}, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.action));
    std::vector<std::string> log;
    auto* form = new TForm(nullptr);
    form->OnCreate = Logs(log, "create");
    form->OnShow = Logs(log, "show");
    form->OnHide = Logs(log, "hide");
    form->OnActivate = Logs(log, "activate");
    form->OnCloseQuery = [&](TObject*, bool& canClose) {
      log.push_back("closequery");
      canClose = true;
    };
    form->OnClose = [&](TObject*, TCloseAction& action) {
      log.push_back("close");
      EXPECT_EQ(action, caHide);
      action = c.action;
    };
    form->OnDestroy = Logs(log, "destroy");
    // A plain `new` raises OnCreate before the window is first made, once.
    EXPECT_TRUE(log.empty());
    HWND window = form->Handle();
    form->AfterConstruction();
    EXPECT_EQ(log, std::vector<std::string>({"create"}));
    EXPECT_FALSE(IsWindowVisible(window));

    form->Show();
    ProcessPendingMessages();
    EXPECT_EQ(log, std::vector<std::string>({"create", "show", "activate"}));
    EXPECT_TRUE(form->Active());
    EXPECT_EQ(Screen->ActiveForm(), form);
    log.clear();

    form->Close();
    if (c.freed) {
      // Freed after the current message, not inside Close; a second Release changes nothing.
      EXPECT_EQ(log, std::vector<std::string>({"closequery", "close"}));
      EXPECT_TRUE(IsWindow(window));
      form->Release();
    }
    ProcessPendingMessages();
    EXPECT_EQ(log, c.afterClose);
    EXPECT_EQ(IsWindow(window) != FALSE, !c.freed);
    if (c.freed) continue;
    EXPECT_EQ(form->Visible(), c.visible);
    EXPECT_EQ(IsWindowVisible(window) != FALSE, c.visible);
    if (c.action == caMinimize) {
      EXPECT_EQ(form->WindowState(), wsMinimized);
    }
    log.clear();
    TComponent::Free(form);
    EXPECT_EQ(log.back(), "destroy");
    EXPECT_FALSE(IsWindow(window));
  }
}

TEST_F(FormTest, CloseQueryRefusalKeepsTheFormAndNewFormRaisesOnCreateOnce) {
  std::vector<std::string> log;
  struct Logged : TForm {
    Logged(TComponent* owner, std::vector<std::string>* log) : TForm(owner) {
      OnCreate = Logs(*log, "create");
      OnClose = [log](TObject*, TCloseAction&) { log->push_back("close"); };
      OnCloseQuery = [log](TObject*, bool& canClose) {
        log->push_back("closequery");
        canClose = false;
      };
    }
  };
  auto* form = NewForm<Logged>(nullptr, &log);
  Owned owned{form};
  form->Handle();
  form->Show();
  form->Close();
  SendMessageA(form->Handle(), WM_CLOSE, 0, 0);
  EXPECT_EQ(log, std::vector<std::string>({"create", "closequery", "closequery"}));
  EXPECT_TRUE(IsWindowVisible(form->Handle()));
}

TEST_F(FormTest, FormFreedFromItsOwnHandlersDoesNotCrash) {
  // Freed directly inside OnClose, while WM_CLOSE is still being handled.
  {
    std::vector<std::string> log;
    TForm* form = MakeForm();
    form->OnClose = [&](TObject* sender, TCloseAction& action) {
      TComponent::Free(static_cast<TForm*>(sender));
      action = caFree;
    };
    form->OnDestroy = Logs(log, "destroy");
    form->Show();
    HWND window = form->Handle();
    EXPECT_TRUE(zuvo::platform::SimulateCloseRequest(window));
    ProcessPendingMessages();
    EXPECT_EQ(log, std::vector<std::string>({"destroy"}));
    EXPECT_FALSE(IsWindow(window));
  }
  // caFree released twice (from OnClose and again), and a Release from OnDestroy: one free.
  {
    int destroyed = 0;
    TForm* form = MakeForm();
    form->OnClose = [&](TObject* sender, TCloseAction& action) {
      action = caFree;
      static_cast<TForm*>(sender)->Release();
    };
    form->OnDestroy = [&](TObject* sender) {
      ++destroyed;
      static_cast<TForm*>(sender)->Release();
    };
    form->Show();
    HWND window = form->Handle();
    PostMessageA(window, WM_CLOSE, 0, 0);
    ProcessPendingMessages();
    ProcessPendingMessages();
    EXPECT_EQ(destroyed, 1);
    EXPECT_FALSE(IsWindow(window));
  }
  // A form freed by other means before its posted release arrives is not touched again.
  {
    TForm* form = MakeForm();
    form->Release();
    TComponent::Free(form);
    TForm* other = MakeForm();
    Owned owned{other};
    ProcessPendingMessages();
    EXPECT_EQ(Screen->FormCount(), 1);
    EXPECT_EQ(Screen->Forms(0), other);
  }
}

TEST_F(FormTest, WidthAndHeightAddTheFrameOfTheBorderStyle) {
  const int frameX = GetSystemMetrics(SM_CXFRAME), frameY = GetSystemMetrics(SM_CYFRAME);
  const int dlgX = GetSystemMetrics(SM_CXDLGFRAME), dlgY = GetSystemMetrics(SM_CYDLGFRAME);
  const int caption = GetSystemMetrics(SM_CYCAPTION), smallCaption = GetSystemMetrics(SM_CYSMCAPTION);
  ASSERT_GT(caption, 0);
  struct Case {
    TFormBorderStyle style;
    int frameWidth;
    int frameHeight;
    DWORD exStyle;   // expected among the window's extended styles
  };
  const Case cases[] = {
      {bsNone, 0, 0, 0},
      {bsSingle, 2 * dlgX, 2 * dlgY + caption, 0},
      {bsSizeable, 2 * frameX, 2 * frameY + caption, 0},
      {bsDialog, 2 * dlgX, 2 * dlgY + caption, WS_EX_DLGMODALFRAME},
      {bsToolWindow, 2 * dlgX, 2 * dlgY + smallCaption, WS_EX_TOOLWINDOW},
      {bsSizeToolWin, 2 * frameX, 2 * frameY + smallCaption, WS_EX_TOOLWINDOW},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.style));
    TForm* form = MakeForm();
    Owned owned{form};
    form->SetBorderStyle(c.style);
    form->SetClientWidth(200);
    form->SetClientHeight(100);
    EXPECT_EQ(form->Width(), 200 + c.frameWidth);
    EXPECT_EQ(form->Height(), 100 + c.frameHeight);
    form->SetBounds(10, 20, 400, 300);
    EXPECT_EQ(form->ClientWidth(), 400 - c.frameWidth);
    EXPECT_EQ(form->ClientHeight(), 300 - c.frameHeight);
    // The window itself is the client area.
    RECT client{};
    GetClientRect(form->Handle(), &client);
    EXPECT_EQ(client.right, 400 - c.frameWidth);
    EXPECT_EQ(client.bottom, 300 - c.frameHeight);
    EXPECT_EQ(GetWindowLongPtrA(form->Handle(), GWL_EXSTYLE) & static_cast<LONG_PTR>(c.exStyle),
              static_cast<LONG_PTR>(c.exStyle));
    // A new border style keeps the outer size; the client area takes what is left.
    form->SetBorderStyle(c.style == bsNone ? bsSizeable : bsNone);
    EXPECT_EQ(form->Width(), 400);
    EXPECT_EQ(form->Height(), 300);
  }
  // A form in a parent is a child window without a frame; stay-on-top is WS_EX_TOPMOST.
  TForm* host = MakeForm();
  Owned ownedHost{host};
  host->Show();
  auto* view = new TForm(host);
  view->SetParent(host);
  view->SetBounds(5, 5, 120, 80);
  view->Show();
  EXPECT_EQ(view->ClientWidth(), 120);
  EXPECT_NE(GetWindowLongPtrA(view->Handle(), GWL_STYLE) & WS_CHILD, 0);
  EXPECT_TRUE(IsWindowVisible(view->Handle()));
  EXPECT_EQ(GetActiveWindow(), host->Handle());
  // A form with a window moved into a parent is made again as a child, and back.
  TForm* moved = MakeForm(100, 50);
  Owned ownedMoved{moved};
  moved->Handle();
  moved->SetParent(host);
  EXPECT_NE(GetWindowLongPtrA(moved->Handle(), GWL_STYLE) & WS_CHILD, 0);
  EXPECT_EQ(GetParent(moved->Handle()), host->Handle());
  EXPECT_EQ(moved->Width(), moved->ClientWidth());
  moved->SetParent(nullptr);
  EXPECT_EQ(GetWindowLongPtrA(moved->Handle(), GWL_STYLE) & WS_CHILD, 0);
  TForm* topmost = MakeForm();
  Owned ownedTopmost{topmost};
  topmost->SetFormStyle(fsStayOnTop);
  EXPECT_NE(GetWindowLongPtrA(topmost->Handle(), GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
}

TEST_F(FormTest, ScreenCentredFirstShowAndWindowStates) {
  TForm* form = MakeForm(200, 100);
  Owned owned{form};
  // Without a caption: the layer moves a captioned window by its Qt frame once shown (reported).
  form->SetBorderStyle(bsNone);
  form->SetPosition(poScreenCenter);
  form->Show();
  EXPECT_EQ(form->Left(), (Screen->Width() - form->Width()) / 2);
  EXPECT_EQ(form->Top(), (Screen->Height() - form->Height()) / 2);
  const int normalWidth = form->ClientWidth();
  form->SetWindowState(wsMaximized);
  EXPECT_TRUE(IsZoomed(form->Handle()));
  EXPECT_EQ(form->WindowState(), wsMaximized);
  TRect area = Screen->WorkAreaRect();
  EXPECT_EQ(form->ClientWidth(), area.Width());
  form->SetWindowState(wsNormal);
  EXPECT_EQ(form->ClientWidth(), normalWidth);
  // Later shows keep where the form was put.
  form->Hide();
  form->SetLeft(3);
  form->Show();
  EXPECT_EQ(form->Left(), 3);
}

// ---- Modal runs ---------------------------------------------------------------------------

// A dialog with an edit probe and OK and Cancel probes whose clicks set the modal result.
struct Dialog {
  Dialog() {
    form = MakeDialog();
    edit = new Probe(form, 10, 10, 100, 20);
    edit->SetName("Edit1");
    ok = new Probe(form, 10, 40);
    ok->SetName("OkButton");
    ok->OnClick = [this](TObject*) {
      form->SetModalResult(mrOk);
      if (refuseOk) form->SetModalResult(mrNone);   // a failed check keeps it open
    };
  }
  static TForm* MakeDialog() {
    auto* f = NewForm<TForm>(nullptr);
    f->SetName("OrderDlg");
    f->SetCaption("下单");
    f->SetBorderStyle(bsDialog);
    f->SetClientWidth(200);
    f->SetClientHeight(100);
    return f;
  }
  ~Dialog() { TComponent::Free(form); }
  TForm* form;
  Probe* edit;
  Probe* ok;
  bool refuseOk = false;
};

TEST_F(FormTest, ScriptedModalRunFillsClicksAndReturnsTheResult) {
  zuvo::platform::ScopedScriptedModalRunner runner;
  runner->OnFailure = [](const std::string& text) { ADD_FAILURE() << text; };
  std::vector<std::string> log;
  TForm* main = MakeForm();
  Owned ownedMain{main};
  TForm* other = MakeForm();
  Owned ownedOther{other};
  other->Show();
  main->Show();
  Dialog dialog;
  main->OnDeactivate = Logs(log, "main deactivate");
  main->OnActivate = Logs(log, "main activate");
  dialog.form->OnShow = Logs(log, "show");
  dialog.form->OnCloseQuery = [&](TObject*, bool&) { log.push_back("closequery"); };
  dialog.form->OnClose = [&](TObject*, TCloseAction&) { log.push_back("close"); };
  dialog.form->OnHide = Logs(log, "hide");
  bool ran = false;
  runner->Add("OrderDlg", [&](TForm& form) {
    ran = true;
    EXPECT_TRUE(form.Modal());
    EXPECT_TRUE(IsWindowVisible(form.Handle()));
    EXPECT_EQ(GetActiveWindow(), form.Handle());
    EXPECT_FALSE(IsWindowEnabled(main->Handle()));
    EXPECT_FALSE(IsWindowEnabled(other->Handle()));
    static_cast<Probe*>(form.FindComponent("Edit1"))->SetCaption("600000");
    Click(static_cast<Probe*>(form.FindComponent("OkButton"))->Handle());
  });
  EXPECT_EQ(dialog.form->ShowModal(), mrOk);
  EXPECT_TRUE(ran);
  EXPECT_EQ(dialog.edit->Caption(), "600000");
  // (The window layer may pass on a late activation of the main window from Qt in between.)
  ASSERT_GE(log.size(), 6u);
  EXPECT_EQ(std::vector<std::string>(log.begin(), log.begin() + 2),
            std::vector<std::string>({"show", "main deactivate"}));
  EXPECT_EQ(std::vector<std::string>(log.end() - 4, log.end()),
            std::vector<std::string>({"closequery", "close", "hide", "main activate"}));
  EXPECT_FALSE(dialog.form->Modal());
  EXPECT_FALSE(IsWindowVisible(dialog.form->Handle()));
  EXPECT_TRUE(IsWindowEnabled(main->Handle()));
  EXPECT_TRUE(IsWindowEnabled(other->Handle()));
  EXPECT_EQ(GetActiveWindow(), main->Handle());
  EXPECT_EQ(runner->Ran(), std::vector<std::string>({"OrderDlg"}));
  // Scripts are found by class name and caption too, and are used once each.
  runner->Add("TForm", [](TForm& form) { form.SetModalResult(mrYes); });
  runner->Add("下单", [](TForm& form) { form.SetModalResult(mrNo); });
  dialog.form->SetName("");
  EXPECT_EQ(dialog.form->ShowModal(), mrYes);
  EXPECT_EQ(dialog.form->ShowModal(), mrNo);
}

TEST_F(FormTest, ModalResultResetToZeroStaysOpenUntilClosed) {
  zuvo::platform::ScopedScriptedModalRunner runner;
  runner->OnFailure = [](const std::string& text) { ADD_FAILURE() << text; };
  Dialog dialog;
  dialog.refuseOk = true;
  runner->Add("OrderDlg", [&](TForm& form) {
    Click(dialog.ok->Handle());
    EXPECT_EQ(form.ModalResult(), mrNone);
    EXPECT_TRUE(IsWindowVisible(form.Handle()));
    PostMessageA(form.Handle(), WM_CLOSE, 0, 0);   // the close box
  });
  EXPECT_EQ(dialog.form->ShowModal(), mrCancel);
  // A modal form closing with caNone stays open: the runner reports it left open.
  std::vector<std::string> failures;
  runner->OnFailure = [&](const std::string& text) { failures.push_back(text); };
  dialog.form->OnClose = [](TObject*, TCloseAction& action) { action = caNone; };
  runner->Add("OrderDlg", [](TForm& form) { form.Close(); });
  EXPECT_EQ(dialog.form->ShowModal(), mrCancel);
  EXPECT_EQ(failures, std::vector<std::string>({"modal form OrderDlg left open"}));
}

TEST_F(FormTest, UnscriptedOrLeftOpenModalRunFailsNamingTheForm) {
  zuvo::platform::ScopedScriptedModalRunner runner;
  std::vector<std::string> failures;
  runner->OnFailure = [&](const std::string& text) { failures.push_back(text); };
  Dialog dialog;
  EXPECT_EQ(dialog.form->ShowModal(), mrCancel);
  runner->Add("OrderDlg", [](TForm&) {});
  EXPECT_EQ(dialog.form->ShowModal(), mrCancel);
  const std::vector<std::string> expected = {"no script for modal form OrderDlg", "modal form OrderDlg left open"};
  EXPECT_EQ(failures, expected);
  EXPECT_EQ(runner->Failures(), expected);
  // A visible form cannot be made modal.
  dialog.form->Show();
  EXPECT_THROW(dialog.form->ShowModal(), EInvalidOperation);
}

TEST_F(FormTest, TimerFiresInsideAModalRun) {
  zuvo::platform::ScopedScriptedModalRunner runner;
  runner->OnFailure = [](const std::string& text) { ADD_FAILURE() << text; };
  Dialog dialog;
  auto* timer = new TTimer(dialog.form);
  timer->SetInterval(100);
  int ticks = 0;
  timer->OnTimer = [&](TObject*) {
    if (++ticks == 3) dialog.form->SetModalResult(mrOk);
  };
  runner->Add("OrderDlg", [&](TForm&) { clock_.FastForward(350); });
  EXPECT_EQ(dialog.form->ShowModal(), mrOk);
  EXPECT_EQ(ticks, 3);
}

TEST_F(FormTest, MessageLoopRunnerEndsOnResultCloseOrQuit) {
  Dialog dialog;
  int closes = 0;
  dialog.form->OnClose = [&](TObject*, TCloseAction&) { ++closes; };
  // A posted click sets the result inside the nested loop.
  dialog.form->Handle();
  PostMessageA(dialog.ok->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
  PostMessageA(dialog.ok->Handle(), WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
  EXPECT_EQ(dialog.form->ShowModal(), mrOk);
  EXPECT_EQ(closes, 1);
  // The close box gives mrCancel.
  PostMessageA(dialog.form->Handle(), WM_CLOSE, 0, 0);
  EXPECT_EQ(dialog.form->ShowModal(), mrCancel);
  EXPECT_EQ(closes, 2);
  // A quit ends the run with mrCancel and is passed on to the loop outside.
  PostQuitMessage(7);
  EXPECT_EQ(dialog.form->ShowModal(), mrCancel);
  MSG msg{};
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, WM_QUIT);
  EXPECT_EQ(msg.wParam, 7u);
}

// ---- Timers -------------------------------------------------------------------------------

TEST_F(FormTest, TimerRunsWhileEnabledWithAnEventAndNeverAfterItIsFreed) {
  int ticks = 0;
  auto* timer = new TTimer(nullptr);
  EXPECT_TRUE(timer->Enabled());
  EXPECT_EQ(timer->Interval(), 1000u);
  clock_.FastForward(2000);   // no event: nothing to run
  timer->OnTimer = [&](TObject* sender) {
    EXPECT_EQ(sender, timer);
    ++ticks;
  };
  timer->SetInterval(100);
  clock_.FastForward(300);
  EXPECT_EQ(ticks, 3);
  timer->SetEnabled(false);
  clock_.FastForward(300);
  EXPECT_EQ(ticks, 3);
  timer->SetEnabled(true);
  timer->SetInterval(0);
  clock_.FastForward(300);
  EXPECT_EQ(ticks, 3);
  timer->SetInterval(50);
  clock_.Advance(60);   // due, its message waits
  TComponent::Free(timer);
  clock_.FastForward(300);
  ProcessPendingMessages();
  EXPECT_EQ(ticks, 3);
  // A timer freed from its own event.
  auto* once = new TTimer(nullptr);
  once->SetInterval(10);
  once->OnTimer = [&](TObject* sender) {
    ++ticks;
    TComponent::Free(static_cast<TTimer*>(sender));
  };
  clock_.FastForward(100);
  EXPECT_EQ(ticks, 4);
}

// ---- Keys and focus -----------------------------------------------------------------------

TEST_F(FormTest, TabWalksTabStopsAcrossNestedContainersWithEnterAndExit) {
  TForm* form = MakeForm(400, 300);
  Owned owned{form};
  std::vector<std::string> log;
  auto* left = new Container(form, 0, 0, 150, 300);
  auto* right = new Container(form, 160, 0, 150, 300);
  auto* e1 = new Probe(left, 5, 5);
  auto* e2 = new Probe(left, 5, 40);
  auto* skipped = new Probe(left, 5, 80);
  skipped->SetTabStop(false);
  auto* e3 = new Probe(right, 5, 5);
  auto* e4 = new Probe(form, 320, 5);
  auto* hidden = new Probe(form, 320, 40);
  hidden->SetVisible(false);
  left->OnEnter = Logs(log, "enter left");
  left->OnExit = Logs(log, "exit left");
  right->OnEnter = Logs(log, "enter right");
  right->OnExit = Logs(log, "exit right");
  e2->OnExit = Logs(log, "exit e2");
  e3->OnEnter = Logs(log, "enter e3");
  form->Show();
  // The first tab stop gets the focus when the form is activated.
  EXPECT_EQ(GetFocus(), e1->Handle());
  EXPECT_EQ(form->ActiveControl(), e1);
  const std::vector<TWinControl*> order = {e1, e2, e3, e4, e1};
  for (std::size_t i = 1; i < order.size(); ++i) {
    TabKey();
    EXPECT_EQ(GetFocus(), order[i]->Handle()) << i;
    EXPECT_EQ(form->ActiveControl(), order[i]);
  }
  for (std::size_t i = order.size() - 1; i-- > 0;) {
    TabKey(VK_SHIFT);
    EXPECT_EQ(GetFocus(), order[i]->Handle()) << i;
  }
  log.clear();
  e2->SetFocus();
  log.clear();
  e3->SetFocus();
  EXPECT_EQ(log, std::vector<std::string>({"exit e2", "exit left", "enter right", "enter e3"}));
  // Ctrl+Tab is not a dialog key; focusing a hidden control does nothing.
  TabKey(VK_CONTROL);
  EXPECT_EQ(GetFocus(), e3->Handle());
  hidden->SetFocus();
  EXPECT_EQ(GetFocus(), e3->Handle());
  // Setting the active control of the active form focuses it; of a form in the background, when
  // that form is activated.
  form->SetActiveControl(e4);
  EXPECT_EQ(GetFocus(), e4->Handle());
  form->SetActiveControl(e3);
  // A focused control freed with its container, owned by no one, leaves no stale active control.
  auto* box = new Container(form, 0, 200, 100, 50);
  auto* loose = new Probe(box, 5, 5);
  form->RemoveComponent(loose);
  loose->SetFocus();
  EXPECT_EQ(form->ActiveControl(), loose);
  TComponent::Free(box);
  EXPECT_EQ(form->ActiveControl(), nullptr);
  EXPECT_EQ(form->Perform(CM_DIALOGKEY, VK_TAB, 0), 1);
  EXPECT_EQ(GetFocus(), e1->Handle());
  form->SetActiveControl(e3);
  // The active control is focused again when the form comes back.
  TForm* other = MakeForm();
  Owned ownedOther{other};
  other->Show();
  EXPECT_NE(GetFocus(), e3->Handle());
  form->Show();
  EXPECT_EQ(GetFocus(), e3->Handle());
}

TEST_F(FormTest, FocusInAViewInACellIsSeenByBothForms) {
  TForm* host = MakeForm(400, 300);
  Owned owned{host};
  auto* side = new Probe(host, 300, 5);
  auto* cell = new TForm(host);
  cell->SetParent(host);
  cell->SetBounds(0, 0, 200, 100);
  auto* field = new Probe(cell, 5, 5);
  std::vector<std::string> log;
  cell->OnEnter = Logs(log, "enter cell");
  cell->OnExit = Logs(log, "exit cell");
  cell->Show();
  host->Show();
  EXPECT_EQ(GetParentForm(field), cell);
  EXPECT_EQ(GetParentForm(side), host);
  field->SetFocus();
  EXPECT_EQ(cell->ActiveControl(), field);
  EXPECT_EQ(host->ActiveControl(), cell);
  side->SetFocus();
  EXPECT_EQ(host->ActiveControl(), side);
  EXPECT_EQ(log, std::vector<std::string>({"enter cell", "exit cell"}));
}

TEST_F(FormTest, EnterAndEscapeGoToTheControlsThatAnswerUnlessTheFocusedOneClaimsThem) {
  TForm* form = MakeForm();
  Owned owned{form};
  auto* panel = new Container(form, 0, 0, 300, 100);
  auto* edit = new Probe(form, 10, 150);
  auto* memo = new Probe(form, 60, 150);
  memo->dialogCode = DLGC_WANTALLKEYS;
  auto* okButton = new Probe(panel, 10, 10);   // nested: the broadcast goes depth first
  okButton->answersDialogKey = VK_RETURN;
  auto* cancelButton = new Probe(form, 110, 150);
  cancelButton->answersDialogKey = VK_ESCAPE;
  std::vector<WORD> memoKeys;
  memo->OnKeyDown = [&](TObject*, WORD& key, TShiftState) { memoKeys.push_back(key); };
  std::vector<char> typed;
  edit->OnKeyPress = [&](TObject*, char& key) { typed.push_back(key); };
  form->Show();
  edit->SetFocus();
  zuvo::platform::SimulateKey(form->Handle(), VK_RETURN, true, 0, "\r");
  zuvo::platform::SimulateKey(form->Handle(), VK_RETURN, false, 0);
  ProcessPendingMessages();
  EXPECT_EQ(okButton->dialogKeys, 1);
  EXPECT_TRUE(typed.empty());   // the used key is not typed as well
  Key(form->Handle(), VK_ESCAPE);
  EXPECT_EQ(cancelButton->dialogKeys, 1);
  memo->SetFocus();
  Key(form->Handle(), VK_RETURN);
  EXPECT_EQ(okButton->dialogKeys, 1);
  EXPECT_EQ(memoKeys, std::vector<WORD>({VK_RETURN}));
}

TEST_F(FormTest, ArrowsMoveWithinARadioGroupAndClick) {
  TForm* form = MakeForm();
  Owned owned{form};
  auto* group = new Container(form, 0, 0, 200, 200);
  auto* r1 = new Probe(group, 5, 5);
  auto* r2 = new Probe(group, 5, 30);
  auto* plain = new Probe(group, 5, 55);
  auto* r3 = new Probe(group, 5, 80);
  auto* outside = new Probe(form, 250, 5);   // a radio button of another group
  for (Probe* r : {r1, r2, r3, outside}) r->dialogCode = DLGC_RADIOBUTTON;
  form->Show();
  r1->SetFocus();
  struct Step {
    int key;
    Probe* focus;
  };
  const Step steps[] = {{VK_DOWN, r2}, {VK_RIGHT, r3}, {VK_DOWN, r1}, {VK_UP, r3}, {VK_LEFT, r2}};
  for (const Step& s : steps) {
    Key(form->Handle(), s.key);
    EXPECT_EQ(GetFocus(), s.focus->Handle());
  }
  EXPECT_EQ(r1->buttonClicks, 1);
  EXPECT_EQ(r2->buttonClicks, 2);
  EXPECT_EQ(r3->buttonClicks, 2);
  EXPECT_EQ(outside->buttonClicks, 0);
  // A disabled one is passed over; arrows on a control that is no radio button stay its own.
  r3->SetEnabled(false);
  Key(form->Handle(), VK_DOWN);
  EXPECT_EQ(GetFocus(), r1->Handle());
  plain->SetFocus();
  Key(form->Handle(), VK_DOWN);
  EXPECT_EQ(GetFocus(), plain->Handle());
}

TEST_F(FormTest, KeyPreviewAndApplicationOnMessageSeeKeysFirst) {
  TForm* form = MakeForm();
  Owned owned{form};
  auto* edit = new Probe(form, 10, 10);
  std::vector<std::string> log;
  edit->OnKeyDown = [&](TObject*, WORD& key, TShiftState) { log.push_back("edit " + std::string(1, char(key))); };
  form->OnKeyDown = [&](TObject*, WORD& key, TShiftState) {
    log.push_back("form " + std::string(1, char(key)));
    if (key == 'X') key = 0;
  };
  Application->OnMessage = [&](MSG& msg, bool& handled) {
    if (msg.message != WM_KEYDOWN) return;
    log.push_back("app " + std::string(1, char(msg.wParam)));
    if (msg.wParam == 'A') msg.wParam = 0;   // cleared: the control never sees it
    if (msg.wParam == 'H') handled = true;
  };
  form->Show();
  edit->SetFocus();
  for (int key : {'A', 'H', 'B'}) Key(form->Handle(), key);
  EXPECT_EQ(log, std::vector<std::string>({"app A", "app H", "app B", "edit B"}));
  log.clear();
  form->SetKeyPreview(true);
  for (int key : {'X', 'Y'}) Key(form->Handle(), key);
  EXPECT_EQ(log, std::vector<std::string>({"app X", "form X", "app Y", "form Y", "edit Y"}));
}

// ---- Activation and size limits -----------------------------------------------------------

TEST_F(FormTest, PaletteStaysInactiveWhenClicked) {
  struct AnswersNoActivate : TForm {
    using TForm::TForm;
    void WndProc(TMessage& m) override {
      if (m.Msg == WM_MOUSEACTIVATE) {
        m.Result = MA_NOACTIVATE;
        return;
      }
      TForm::WndProc(m);
    }
  };
  struct NoActivateStyle : TForm {
    using TForm::TForm;
    void CreateParams(TCreateParams& params) override {
      TForm::CreateParams(params);
      params.ExStyle |= WS_EX_NOACTIVATE;
    }
  };
  TForm* main = MakeForm();
  Owned ownedMain{main};
  for (TForm* palette : {static_cast<TForm*>(NewForm<AnswersNoActivate>(nullptr)),
                         static_cast<TForm*>(NewForm<NoActivateStyle>(nullptr))}) {
    Owned owned{palette};
    palette->SetBorderStyle(bsToolWindow);
    int clicks = 0;
    palette->OnClick = [&](TObject*) { ++clicks; };
    palette->Show();
    main->Show();
    ASSERT_EQ(GetActiveWindow(), main->Handle());
    Click(palette->Handle(), 5, 5);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(GetActiveWindow(), main->Handle());
    EXPECT_FALSE(palette->Active());
  }
}

TEST_F(FormTest, MinMaxInfoBoundsMaximiseAndResize) {
  struct Bounded : TForm {
    using TForm::TForm;
    void WndProc(TMessage& m) override {
      if (m.Msg == WM_GETMINMAXINFO) {
        auto* info = reinterpret_cast<MINMAXINFO*>(m.LParam);
        info->ptMaxTrackSize = POINT{400, 300};
        info->ptMinTrackSize = POINT{100, 50};
        m.Result = 0;
        return;
      }
      TForm::WndProc(m);
    }
  };
  auto* form = NewForm<Bounded>(nullptr);
  Owned owned{form};
  form->SetBorderStyle(bsNone);
  form->Show();
  int resizes = 0;
  form->OnResize = [&](TObject*) { ++resizes; };
  form->SetWindowState(wsMaximized);
  EXPECT_EQ(form->ClientWidth(), 400);
  EXPECT_EQ(form->ClientHeight(), 300);
  EXPECT_GE(resizes, 1);
  form->SetWindowState(wsNormal);
  form->SetBounds(0, 0, 1000, 1000);
  EXPECT_EQ(form->ClientWidth(), 400);
  EXPECT_EQ(form->ClientHeight(), 300);
  form->SetBounds(0, 0, 10, 10);
  EXPECT_EQ(form->ClientWidth(), 100);
  EXPECT_EQ(form->ClientHeight(), 50);

  // The bounds hold for the size the window is made with, too: the question comes before
  // WM_NCCREATE, and the form being made answers it.
  auto* early = NewForm<Bounded>(nullptr);
  Owned ownedEarly{early};
  early->SetBorderStyle(bsNone);
  early->SetBounds(0, 0, 1000, 20);
  ASSERT_NE(early->Handle(), nullptr);
  RECT client{};
  GetClientRect(early->Handle(), &client);
  EXPECT_EQ(client.right, 400);
  EXPECT_EQ(client.bottom, 50);
  EXPECT_EQ(early->ClientWidth(), 400);
  EXPECT_EQ(early->ClientHeight(), 50);
}

TEST_F(FormTest, PaintRaisesOnPaintThenPaintsWindowlessChildrenOverIt) {
  struct Swatch : TGraphicControl {
    using TGraphicControl::TGraphicControl;
    void Paint() override {
      Canvas()->Brush()->SetColor(clBlue);
      Canvas()->FillRect(TRect(0, 0, Width(), Height()));
    }
  };
  TForm* form = MakeForm(200, 100);
  Owned owned{form};
  auto* swatch = new Swatch(form);
  swatch->SetParent(form);
  swatch->SetBounds(10, 10, 20, 20);
  int paints = 0;
  form->OnPaint = [&](TObject*) {
    ++paints;
    form->Canvas()->Brush()->SetColor(clRed);
    form->Canvas()->FillRect(TRect(0, 0, 50, 50));
  };
  form->Show();
  ProcessPendingMessages();
  EXPECT_GE(paints, 1);
  HDC dc = GetDC(form->Handle());
  EXPECT_EQ(GetPixel(dc, 5, 5), RGB(255, 0, 0));
  EXPECT_EQ(GetPixel(dc, 15, 15), RGB(0, 0, 255));
  EXPECT_EQ(GetPixel(dc, 100, 80), GetSysColor(COLOR_BTNFACE));
  ReleaseDC(form->Handle(), dc);
}

// ---- Application, screen, mouse -----------------------------------------------------------

TEST_F(FormTest, HintFollowsTheControlUnderThePointer) {
  TForm* form = MakeForm(400, 200);
  Owned owned{form};
  auto* panel = new Container(form, 0, 0, 200, 200);
  panel->SetHint("面板");
  auto* inPanel = new Probe(panel, 10, 10);   // no hint of its own: its parent's
  auto* withHint = new Probe(form, 250, 10);
  withHint->SetHint("买入|以对手价买入");
  auto* bare = new Probe(form, 250, 60);
  std::vector<std::string> hints;
  Application->OnHint = [&](TObject*) { hints.push_back(Application->Hint()); };
  form->Show();
  for (Probe* p : {inPanel, inPanel, withHint, bare, withHint}) {
    zuvo::platform::SimulateMouse(p->Handle(), WM_MOUSEMOVE, 3, 3, 0);
    ProcessPendingMessages();
  }
  EXPECT_EQ(hints, std::vector<std::string>({"面板", "以对手价买入", "", "以对手价买入"}));
}

TEST_F(FormTest, ExceptionsFromHandlersAreShownWithTheTitle) {
  zuvo::platform::ScopedScriptedMessageBoxes boxes;
  Application->SetTitle("柯苏之星");
  TForm* form = MakeForm();
  Owned owned{form};
  auto* button = new Probe(form, 10, 10);
  button->OnClick = [](TObject*) { throw EConvertError("'abc' is not a valid integer"); };
  auto* timer = new TTimer(form);
  timer->SetInterval(100);
  timer->OnTimer = [](TObject* sender) {
    static_cast<TTimer*>(sender)->SetEnabled(false);
    throw Exception("timer failed");
  };
  form->Show();
  Click(button->Handle());
  clock_.FastForward(100);
  auto shown = boxes->Shown();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].text, "'abc' is not a valid integer");
  EXPECT_EQ(shown[0].caption, "柯苏之星");
  EXPECT_EQ(shown[0].icon, MB_ICONERROR);
  EXPECT_EQ(shown[1].text, "timer failed");
  // OnException takes them instead.
  std::vector<std::string> seen;
  Application->OnException = [&](TObject* sender, const std::exception& e) {
    EXPECT_EQ(sender, button);
    seen.push_back(e.what());
  };
  Click(button->Handle());
  EXPECT_EQ(seen, std::vector<std::string>({"'abc' is not a valid integer"}));
  EXPECT_EQ(boxes->Count(), 2u);
}

TEST_F(FormTest, ApplicationRunsTheMainFormUntilItCloses) {
  testsupport::TempInstall install;
  testsupport::WriteBytes(install.bin() / "good.ico", std::string("\0\0\1\0\1\0", 6) + std::string(40, 'x'));
  testsupport::WriteBytes(install.bin() / "bad.ico", "not an icon");
  EXPECT_TRUE(Application->LoadIcon(".\\good.ico"));
  EXPECT_FALSE(Application->LoadIcon(".\\bad.ico"));
  EXPECT_FALSE(Application->LoadIcon(".\\missing.ico"));

  std::vector<std::string> log;
  TForm* main = nullptr;
  Application->Initialize();
  Application->CreateForm(&main);
  ASSERT_NE(main, nullptr);
  EXPECT_EQ(Application->MainForm(), main);
  TForm* second = nullptr;
  Application->CreateForm(&second);
  EXPECT_EQ(Application->MainForm(), main);
  main->OnShow = Logs(log, "show");
  main->OnClose = [&](TObject*, TCloseAction& action) {
    log.push_back("close");
    action = caFree;   // the main form ends the application, whatever it asks
  };
  PostMessageA(main->Handle(), WM_CLOSE, 0, 0);
  Application->Run();
  EXPECT_EQ(log, std::vector<std::string>({"show", "close"}));
  EXPECT_TRUE(Application->Terminated());
  EXPECT_TRUE(IsWindow(main->Handle()));
  TComponent::Free(second);
  TComponent::Free(main);
  EXPECT_EQ(Application->MainForm(), nullptr);
  EXPECT_EQ(Application->ComponentCount(), 0);
}

TEST_F(FormTest, ScreenCursorsWorkAreaFormsAndMouse) {
  struct Case {
    TCursor cursor;
    LPCSTR system;
  };
  // The split and drag shapes are the class library's own, not the system's size arrows.
  const Case cases[] = {{crDefault, IDC_ARROW},
                        {crArrow, IDC_ARROW},
                        {crHourGlass, IDC_WAIT},
                        {crSizeWE, IDC_SIZEWE},
                        {crHSplit, LibraryCursorName(crHSplit)},
                        {crVSplit, LibraryCursorName(crVSplit)},
                        {crDrag, LibraryCursorName(crDrag)},
                        {crNoDrop, LibraryCursorName(crNoDrop)},
                        {crMultiDrag, LibraryCursorName(crMultiDrag)},
                        {crHandPoint, IDC_HAND},
                        {crIBeam, IDC_IBEAM},
                        {crNo, IDC_NO},
                        {crSizeAll, IDC_SIZEALL}};
  for (const Case& c : cases) EXPECT_EQ(Screen->Cursors(c.cursor), LoadCursorA(nullptr, c.system)) << c.cursor;
  EXPECT_EQ(Screen->Cursors(crNone), nullptr);
  Screen->SetCursor(crHourGlass);
  EXPECT_EQ(GetCursor(), LoadCursorA(nullptr, IDC_WAIT));
  EXPECT_EQ(Screen->Cursor(), crHourGlass);

  RECT area{};
  ASSERT_TRUE(SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0));
  EXPECT_EQ(Screen->WorkAreaRect(), TRect(area));
  EXPECT_EQ(Screen->Width(), GetSystemMetrics(SM_CXSCREEN));

  const int before = Screen->FormCount();
  TForm* a = MakeForm();
  TForm* b = MakeForm();
  EXPECT_EQ(Screen->FormCount(), before + 2);
  b->Show();
  a->Show();
  EXPECT_EQ(Screen->ActiveForm(), a);
  TComponent::Free(a);
  EXPECT_EQ(Screen->FormCount(), before + 1);
  EXPECT_EQ(Screen->Forms(before), b);
  EXPECT_THROW(Screen->Forms(before + 1), EListError);
  TComponent::Free(b);

  Mouse->SetCursorPos(TPoint(123, 45));
  EXPECT_EQ(Mouse->CursorPos(), TPoint(123, 45));
}

}  // namespace

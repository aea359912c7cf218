// The form class library's application, screen and mouse objects, forms with their modal runs,
// and timers. UI thread only.
//
// A form is a TWinControl whose window is top-level (or a child when it has a Parent: views in
// cells). Its events come in the class library's order: OnCreate once the form is built,
// OnShow, OnActivate, OnResize, OnPaint; closing runs OnCloseQuery, then OnClose with the
// action (caFree: freed after the current message; caHide; caMinimize; caNone), and freeing
// runs OnDestroy.
//
// Forms are built in code: a form class makes its controls in its constructor and assigns its
// handlers. OnCreate runs from AfterConstruction: NewForm and TApplication::CreateForm call it;
// a form made with a plain `new` runs it before its window is first made.
#pragma once

#include "platform/Control.h"
#include "platform/ScopedDouble.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

using TModalResult = int;
constexpr TModalResult mrNone = 0, mrOk = 1, mrCancel = 2, mrAbort = 3, mrRetry = 4, mrIgnore = 5,
                       mrYes = 6, mrNo = 7, mrAll = 8, mrNoToAll = 9, mrYesToAll = 10;

enum TCloseAction { caNone, caHide, caFree, caMinimize };
enum TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
enum TBorderIcon { biSystemMenu = 0, biMinimize = 1, biMaximize = 2, biHelp = 3 };
using TBorderIcons = std::uint8_t;   // bits 1 << TBorderIcon
constexpr TBorderIcons kDefaultBorderIcons = (1u << biSystemMenu) | (1u << biMinimize) | (1u << biMaximize);
enum TPosition { poDesigned, poDefault, poDefaultPosOnly, poDefaultSizeOnly, poScreenCenter,
                 poDesktopCenter, poMainFormCenter, poOwnerFormCenter };
enum TFormStyle { fsNormal, fsMDIChild, fsMDIForm, fsStayOnTop };
enum TWindowState { wsNormal, wsMinimized, wsMaximized };

using TCloseEvent = std::function<void(TObject* Sender, TCloseAction& Action)>;
using TCloseQueryEvent = std::function<void(TObject* Sender, bool& CanClose)>;

struct TFormLife;

class TForm : public TWinControl {
 public:
  explicit TForm(TComponent* owner);
  ~TForm() override;
  void BeforeDestruction() override;   // OnDestroy, then the window goes
  const char* ClassName() const override { return "TForm"; }

  // Raises OnCreate (once).
  virtual void AfterConstruction();

  // Without a Parent, Width and Height include the frame a window of this border style has
  // (GetSystemMetrics: caption and frame); the window's client area is the rest. A form with
  // a Parent has no frame.
  int Width() const override;
  int Height() const override;
  int ClientWidth() const override { return width_; }
  int ClientHeight() const override { return height_; }
  void SetClientWidth(int v) override;
  void SetClientHeight(int v) override;
  void SetBounds(int left, int top, int width, int height) override;
  int FrameWidth() const;    // added to the client width
  int FrameHeight() const;   // added to the client height

  TFormBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TFormBorderStyle style);
  TBorderIcons BorderIcons() const { return borderIcons_; }
  void SetBorderIcons(TBorderIcons icons) { borderIcons_ = icons; }
  TPosition Position() const { return position_; }
  void SetPosition(TPosition position) { position_ = position; }
  TFormStyle FormStyle() const { return formStyle_; }
  void SetFormStyle(TFormStyle style);   // fsStayOnTop: WS_EX_TOPMOST
  TWindowState WindowState() const;
  void SetWindowState(TWindowState state);
  bool KeyPreview() const { return keyPreview_; }
  void SetKeyPreview(bool value) { keyPreview_ = value; }
  // The control that has (or gets, when the form is activated) the focus; setting it on the
  // active form focuses it (a form in the background gets it when it is activated, so that
  // setting it never steals the activation). Null once the control has left the form.
  TWinControl* ActiveControl() const;
  void SetActiveControl(TWinControl* control);
  bool Active() const;   // the active top-level window is this form's
  TCanvas* Canvas() { return &canvas_; }

  // Shows and activates (a child form is shown without activation); the first show centres
  // the form for poScreenCenter / poDesktopCenter and raises OnShow.
  void Show();
  void Hide();
  // Visible true shows the form as Show does (OnShow first); false hides it (OnHide).
  void SetVisible(bool visible) override;
  // Into a parent: a child window without a frame; out of it: top-level again (the window, when
  // there is one, is made again of the new kind).
  void SetParent(TWinControl* parent) override;
  // CloseQuery (OnCloseQuery); when it allows, OnClose with the action caHide, then that
  // action. A modal form's close sets ModalResult mrCancel instead; closing the main form
  // (any action but caNone) ends the application.
  void Close();
  // Frees the form after the messages now queued (a posted CM_RELEASE); a second call and a
  // call on a form already being freed do nothing.
  void Release();
  virtual bool CloseQuery();
  // Called by a modal runner once ModalResult is non-zero: OnCloseQuery, then OnClose with
  // caHide; a refusal or caNone sets ModalResult back to 0 (the run goes on), caFree releases
  // the form after the run.
  void CloseModal();

  // Runs the form modally through the modal runner and returns its ModalResult (mrCancel when
  // closed).
  virtual TModalResult ShowModal();
  TModalResult ModalResult() const { return modalResult_; }
  void SetModalResult(TModalResult result) { modalResult_ = result; }
  bool Modal() const { return modal_; }

  // Key preview: called by a control of this form before its own key handling when
  // KeyPreview is set; the form's OnKeyDown/OnKeyUp/OnKeyPress see (and may clear) the key.
  void PreviewKeyDown(WORD& key, TShiftState shift) { KeyDown(key, shift); }
  void PreviewKeyUp(WORD& key, TShiftState shift) { KeyUp(key, shift); }
  void PreviewKeyPress(char& key) { KeyPress(key); }
  // Told by a control that received the focus: it becomes the active control (OnExit of the
  // old one and OnEnter of the new one, parents included).
  void FocusChanged(TWinControl* control);

  TNotifyEvent OnCreate;
  TNotifyEvent OnShow;
  TNotifyEvent OnHide;
  TNotifyEvent OnActivate;
  TNotifyEvent OnDeactivate;
  TNotifyEvent OnPaint;
  TCloseQueryEvent OnCloseQuery;
  TCloseEvent OnClose;
  TNotifyEvent OnDestroy;

  void WndProc(TMessage& message) override;
  void Dispatch(TMessage& message) override;

 protected:
  void Notification(TComponent* component, bool inserted) override;
  void CreateParams(TCreateParams& params) override;
  void CreateWnd() override;
  virtual void Paint();      // OnPaint
  virtual void DoShow();     // OnShow
  virtual void DoHide();     // OnHide
  virtual void DoActivate();   // OnActivate (not "Activate": cells use that name for their own activation)
  virtual void Deactivate(); // OnDeactivate
  virtual void DoClose(TCloseAction& action);   // OnClose
  // Tab, Shift+Tab, arrows in a radio group, Enter to the default and Esc to the cancel
  // control (broadcast as CM_DIALOGKEY to the controls); true when used.
  virtual bool DialogKey(WORD key, TShiftState shift);

  TCanvas canvas_;
  TFormBorderStyle borderStyle_ = bsSizeable;
  TBorderIcons borderIcons_ = kDefaultBorderIcons;
  TPosition position_ = poDesigned;
  TFormStyle formStyle_ = fsNormal;
  TWindowState windowState_ = wsNormal;
  bool keyPreview_ = false;
  TWinControl* activeControl_ = nullptr;
  TModalResult modalResult_ = mrNone;
  bool modal_ = false;
  bool created_ = false;     // OnCreate raised
  bool shownOnce_ = false;
  bool releasing_ = false;

 private:
  friend struct FormInternals;
  // Focuses the active control (or the first tab stop, or the form) on activation.
  void SetWindowFocus();
  void ApplyWindowState();
  void ShowTopLevel();   // ShowWindow with the window state (activating)
  bool Holds(const TControl* control) const;   // in this form's tree (compares pointers only)
  TWinControl* focusedControl_ = nullptr;   // the innermost control entered (OnEnter raised)
  // Outlives the form: code that runs handlers able to free it checks `alive` after them.
  std::shared_ptr<TFormLife> life_;
};

// Makes a form and raises its OnCreate.
template <class Form, class... Args>
Form* NewForm(Args&&... args) {
  Form* form = new Form(std::forward<Args>(args)...);
  form->AfterConstruction();
  return form;
}

// ---- Modal runs ------------------------------------------------------------------------------
// Runs a modal form: every other top-level window disabled while it runs and enabled again
// after, the previously active window active again. The default runner pumps a nested message
// loop (timers and posted messages run) until ModalResult is non-zero; a quit message ends it
// with mrCancel and is passed on to the outer loop.
class ModalRunner {
 public:
  virtual ~ModalRunner() = default;
  // Called with the form shown and the other windows disabled; returns when the run is over
  // (the form's ModalResult says how).
  virtual void Run(TForm& form) = 0;
};
namespace zuvo::platform {
std::shared_ptr<ModalRunner> SetModalRunner(std::shared_ptr<ModalRunner> runner);

// A test double: a script per form, found by the form's Name, class name or caption, fills
// controls and clicks; pending messages are then drained. A run without a script, or one the
// script leaves with ModalResult 0, is reported as a failure naming the form and ends with
// mrCancel. Scripts are used once each, in the order given for the same key.
class ScriptedModalRunner : public ModalRunner {
 public:
  using Script = std::function<void(TForm& form)>;
  void Add(const std::string& formKey, Script script);
  void Run(TForm& form) override;
  // Failure texts ("no script for modal form X", "modal form X left open"), in order.
  std::vector<std::string> Failures() const { return failures_; }
  // Called with each failure as it happens (a test sets ADD_FAILURE here).
  std::function<void(const std::string&)> OnFailure;
  // Names of the forms run, in order.
  std::vector<std::string> Ran() const { return ran_; }

 private:
  std::multimap<std::string, Script> scripts_;
  std::vector<std::string> failures_;
  std::vector<std::string> ran_;
};
using ScopedScriptedModalRunner = ScopedDouble<ScriptedModalRunner, ModalRunner, &SetModalRunner>;
}  // namespace zuvo::platform

// ---- Timer -----------------------------------------------------------------------------------
// OnTimer every Interval milliseconds while Enabled, on SetTimer. The timer runs while Enabled
// with a non-zero Interval and raises OnTimer at each tick where one is assigned, so an event
// assigned to a running timer is seen from the next tick on. A freed timer never fires.
class TTimer : public TComponent {
 public:
  explicit TTimer(TComponent* owner);
  ~TTimer() override;
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);
  UINT Interval() const { return interval_; }
  void SetInterval(UINT milliseconds);   // 0 stops it
  TNotifyEvent OnTimer;
  // Re-reads the event: call after assigning OnTimer to a timer already enabled.
  void UpdateTimer();
  virtual void Timer();   // OnTimer

 private:
  bool enabled_ = true;
  UINT interval_ = 1000;
  UINT_PTR id_ = 0;
};

// ---- Application, screen, mouse --------------------------------------------------------------
using TMessageEvent = std::function<void(MSG& Msg, bool& Handled)>;
using TExceptionEvent = std::function<void(TObject* Sender, const std::exception& E)>;

class TApplication : public TComponent {
 public:
  TApplication();
  ~TApplication() override;
  // Makes the window system ready and readies a new run (a program run more than once in one
  // process, as tests do, starts each run not terminated).
  void Initialize();
  const std::string& Title() const { return title_; }
  void SetTitle(const std::string& title) { title_ = title; }
  // Loads an icon file; one that does not load (missing, unreadable, not an icon) is ignored
  // (false). The window layer has no icon images: Icon() stays null, the file is only checked.
  bool LoadIcon(const std::string& path);
  HICON Icon() const { return icon_; }
  // Makes a form owned by the application (OnCreate runs); the first becomes MainForm.
  template <class Form, class... Args>
  void CreateForm(Form** reference, Args&&... args) {
    Form* form = new Form(this, std::forward<Args>(args)...);
    if (reference != nullptr) *reference = form;
    AddCreatedForm(form);
  }
  TForm* MainForm() const { return mainForm_; }
  void SetMainForm(TForm* form) { mainForm_ = form; }
  // Shows the main form and runs the message loop until Terminate (or the main form closes);
  // an exception that leaves a message handler is shown by ShowException and the loop goes on.
  void Run();
  void Terminate();   // PostQuitMessage
  bool Terminated() const { return terminated_; }
  void ProcessMessages();
  void HandleException(TObject* sender, const std::exception& e);
  // A message box with the exception's text, caption Title, error icon.
  void ShowException(const std::exception& e);

  // Sees each queued message before it is dispatched (sent messages are not seen); Handled
  // stops it. The handler may change the message (clear a key's wParam).
  TMessageEvent OnMessage;
  // Raised when the hint of the control under the pointer changes (Hint() holds it).
  TNotifyEvent OnHint;
  TExceptionEvent OnException;
  const std::string& Hint() const { return hint_; }
  // Told by a control the pointer moved over (null when it left every control).
  void HintMouseMessage(TControl* control);

 private:
  friend struct FormInternals;
  void AddCreatedForm(TForm* form);
  void SetHint(const std::string& hint);
  std::string title_;
  HICON icon_ = nullptr;
  TForm* mainForm_ = nullptr;
  bool terminated_ = false;
  int hookId_ = 0;
  std::string hint_;
  // Counts HintMouseMessage calls: the pointer leaving every control clears the hint after the
  // messages now queued, unless it has meanwhile entered another control (no empty hint between
  // two controls).
  unsigned hintGeneration_ = 0;
};

class TScreen : public TComponent {
 public:
  TScreen();
  int Width() const;
  int Height() const;
  TRect WorkAreaRect() const;
  int WorkAreaWidth() const { return WorkAreaRect().Width(); }
  int WorkAreaHeight() const { return WorkAreaRect().Height(); }
  int PixelsPerInch() const { return 96; }
  // While not crDefault, every control shows this cursor instead of its own.
  TCursor Cursor() const { return cursor_; }
  void SetCursor(TCursor cursor);
  // The system cursor of a cursor number (crDefault: the arrow).
  HCURSOR Cursors(TCursor cursor) const;
  TForm* ActiveForm() const;
  int FormCount() const { return static_cast<int>(forms_.size()); }
  TForm* Forms(int index) const;
  // Called by forms as they are made and freed.
  void AddForm(TForm* form);
  void RemoveForm(TForm* form);

 private:
  TCursor cursor_ = crDefault;
  std::vector<TForm*> forms_;
};

class TMouse {
 public:
  TPoint CursorPos() const;
  void SetCursorPos(const TPoint& point);
};

// The process's one application, screen and mouse, made on first use: Application->Run().
template <class T>
struct GlobalObjectRef {
  T* operator->() const { return Get(); }
  T& operator*() const { return *Get(); }
  operator T*() const { return Get(); }
  static T* Get();
};
template <> TApplication* GlobalObjectRef<TApplication>::Get();
template <> TScreen* GlobalObjectRef<TScreen>::Get();
template <> TMouse* GlobalObjectRef<TMouse>::Get();
inline constexpr GlobalObjectRef<TApplication> Application{};
inline constexpr GlobalObjectRef<TScreen> Screen{};
inline constexpr GlobalObjectRef<TMouse> Mouse{};

// Forms, their modal runs, timers, and the application, screen and mouse objects of the form
// class library, on the public window calls only.
#include "platform/Form.h"

#include "platform/Application.h"
#include "platform/Cursor.h"
#include "platform/Files.h"
#include "platform/Message.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <unordered_map>

// What outlives a form: handlers that may free it are followed by a look at `alive`.
struct TFormLife {
  bool alive = true;
  std::uint64_t serial = 0;          // names the form in a posted CM_RELEASE
  TModalResult lastResult = mrNone;  // the modal result when the form was freed during its run
};

// Access of the modal runners and the utility window to private state.
struct FormInternals {
  static std::shared_ptr<TFormLife> Life(TForm& form) { return form.life_; }
  static void ClearHint(unsigned generation) {
    TApplication* application = Application;
    if (generation == application->hintGeneration_) application->SetHint("");
  }
};

namespace {

// ---- Live forms and the utility window --------------------------------------------------

// Forms alive now, by serial: a posted CM_RELEASE names its form by serial, so a form freed by
// other means before the message arrives (and another made at its address) is never touched.
std::map<std::uint64_t, TForm*>& LiveForms() {
  static std::map<std::uint64_t, TForm*> forms;
  return forms;
}

std::uint64_t NextFormSerial() {
  static std::uint64_t serial = 0;
  return ++serial;
}

// The utility window's own message: clear the application's hint (wParam the generation asked).
constexpr UINT kClearHintMessage = WM_USER + 1;

// Running timers of the utility window by id.
std::unordered_map<UINT_PTR, TTimer*>& Timers() {
  static std::unordered_map<UINT_PTR, TTimer*> timers;
  return timers;
}

LRESULT UtilityWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_TIMER) {
    auto it = Timers().find(static_cast<UINT_PTR>(wParam));
    if (it == Timers().end()) return 0;
    TTimer* timer = it->second;
    try {
      timer->Timer();
    } catch (const std::exception& e) {
      Application->HandleException(timer, e);
    }
    return 0;
  }
  if (message == CM_RELEASE) {
    auto& forms = LiveForms();
    if (auto it = forms.find(static_cast<std::uint64_t>(lParam)); it != forms.end()) {
      try {
        TComponent::Free(it->second);
      } catch (const std::exception& e) {
        Application->HandleException(nullptr, e);
      }
    }
    return 0;
  }
  if (message == kClearHintMessage) {
    FormInternals::ClearHint(static_cast<unsigned>(wParam));
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

// A hidden window of the form unit: it carries the timers and the posted releases, so neither
// depends on a form's window staying the same.
HWND UtilityWindow() {
  static HWND window = nullptr;
  if (window != nullptr && IsWindow(window)) return window;
  static bool registered = false;
  if (!registered) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = UtilityWindowProc;
    wc.lpszClassName = "TFormUtilityWindow";
    RegisterClassA(&wc);
    registered = true;
  }
  window = CreateWindowExA(WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, "TFormUtilityWindow", "", WS_POPUP, 0, 0, 0,
                           0, nullptr, nullptr, nullptr, nullptr);
  return window;
}

std::shared_ptr<ModalRunner>& InstalledModalRunner() {
  static std::shared_ptr<ModalRunner> runner;
  return runner;
}

// The form as failures and the run list name it: its Name, else its class name.
std::string FormLabel(const TForm& form) {
  return form.Name().empty() ? std::string(form.ClassName()) : form.Name();
}

LRESULT SendOrPerform(TWinControl* control, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
  if (control->HandleAllocated()) return SendMessageA(control->Handle(), message, wParam, lParam);
  return control->Perform(message, wParam, lParam);
}

bool IsAncestorOrSelf(const TControl* ancestor, const TControl* control) {
  for (const TControl* c = control; c != nullptr; c = c->Parent()) {
    if (c == ancestor) return true;
  }
  return false;
}

// The long part of a hint ("short|long"), as the status line shows it.
std::string LongHint(const std::string& hint) {
  auto bar = hint.find('|');
  return bar == std::string::npos ? hint : hint.substr(bar + 1);
}

}  // namespace


TForm* GetParentForm(TControl* control) {
  for (TControl* c = control; c != nullptr; c = c->Parent()) {
    if (auto* form = dynamic_cast<TForm*>(c)) return form;
  }
  return nullptr;
}

// ---- TForm ----------------------------------------------------------------------------------

TForm::TForm(TComponent* owner) : TWinControl(owner), life_(std::make_shared<TFormLife>()) {
  visible_ = false;
  width_ = 320;
  height_ = 240;
  explicitWidth_ = width_;
  explicitHeight_ = height_;
  parentFont_ = false;
  life_->serial = NextFormSerial();
  LiveForms()[life_->serial] = this;
  Screen->AddForm(this);
}

TForm::~TForm() {
  destroying_ = true;
  life_->alive = false;
  life_->lastResult = modalResult_;
  LiveForms().erase(life_->serial);
  Screen->RemoveForm(this);
  if (Application->MainForm() == this) Application->SetMainForm(nullptr);
}

void TForm::BeforeDestruction() {
  if (!Destroying()) {
    try {
      if (OnDestroy) OnDestroy(this);
    } catch (const std::exception& e) {
      Application->HandleException(this, e);
    }
  }
  Screen->RemoveForm(this);
  TWinControl::BeforeDestruction();
}

void TForm::AfterConstruction() {
  if (created_) return;
  created_ = true;
  try {
    if (OnCreate) OnCreate(this);
  } catch (const std::exception& e) {
    Application->HandleException(this, e);
  }
}

void TForm::Notification(TComponent* component, bool inserted) {
  TWinControl::Notification(component, inserted);
  if (inserted) return;
  if (component == activeControl_) activeControl_ = nullptr;
  if (component == focusedControl_) focusedControl_ = nullptr;
}

// ---- Size and frame -------------------------------------------------------------------------

int TForm::FrameWidth() const {
  if (parent_ != nullptr) return 0;
  switch (borderStyle_) {
    case bsNone: return 0;
    case bsSizeable:
    case bsSizeToolWin: return 2 * GetSystemMetrics(SM_CXFRAME);
    case bsSingle:
    case bsDialog:
    case bsToolWindow: return 2 * GetSystemMetrics(SM_CXDLGFRAME);
  }
  return 0;
}

int TForm::FrameHeight() const {
  if (parent_ != nullptr) return 0;
  const bool tool = borderStyle_ == bsToolWindow || borderStyle_ == bsSizeToolWin;
  const int caption = GetSystemMetrics(tool ? SM_CYSMCAPTION : SM_CYCAPTION);
  switch (borderStyle_) {
    case bsNone: return 0;
    case bsSizeable:
    case bsSizeToolWin: return 2 * GetSystemMetrics(SM_CYFRAME) + caption;
    case bsSingle:
    case bsDialog:
    case bsToolWindow: return 2 * GetSystemMetrics(SM_CYDLGFRAME) + caption;
  }
  return 0;
}

int TForm::Width() const { return width_ + FrameWidth(); }
int TForm::Height() const { return height_ + FrameHeight(); }

void TForm::SetBounds(int left, int top, int width, int height) {
  TWinControl::SetBounds(left, top, std::max(0, width - FrameWidth()), std::max(0, height - FrameHeight()));
}

void TForm::SetClientWidth(int v) { SetBounds(left_, top_, v + FrameWidth(), Height()); }
void TForm::SetClientHeight(int v) { SetBounds(left_, top_, Width(), v + FrameHeight()); }

void TForm::SetBorderStyle(TFormBorderStyle style) {
  if (style == borderStyle_) return;
  // The outer size stays; the client area takes what the new frame leaves.
  const int width = Width();
  const int height = Height();
  borderStyle_ = style;
  SetBounds(left_, top_, width, height);
  RecreateWnd();
}

void TForm::SetFormStyle(TFormStyle style) {
  if (style == formStyle_) return;
  formStyle_ = style;
  if (HandleAllocated() && parent_ == nullptr) {
    SetWindowPos(handle_, style == fsStayOnTop ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    LONG_PTR ex = GetWindowLongPtrA(handle_, GWL_EXSTYLE);
    ex = style == fsStayOnTop ? (ex | WS_EX_TOPMOST) : (ex & ~static_cast<LONG_PTR>(WS_EX_TOPMOST));
    SetWindowLongPtrA(handle_, GWL_EXSTYLE, ex);
  }
}

TWindowState TForm::WindowState() const {
  if (handle_ != nullptr && parent_ == nullptr && IsWindowVisible(handle_)) {
    if (IsZoomed(handle_)) return wsMaximized;
    if (IsIconic(handle_)) return wsMinimized;
    return wsNormal;
  }
  return windowState_;
}

void TForm::SetWindowState(TWindowState state) {
  windowState_ = state;
  if (handle_ != nullptr && parent_ == nullptr && IsWindowVisible(handle_)) ApplyWindowState();
}

void TForm::ApplyWindowState() {
  switch (windowState_) {
    case wsMaximized: ShowWindow(handle_, SW_MAXIMIZE); break;
    case wsMinimized: ShowWindow(handle_, SW_MINIMIZE); break;
    case wsNormal:
      if (IsZoomed(handle_) || IsIconic(handle_)) ShowWindow(handle_, SW_RESTORE);
      break;
  }
}

// ---- Window ---------------------------------------------------------------------------------

void TForm::CreateParams(TCreateParams& params) {
  TWinControl::CreateParams(params);
  // The window gets the client size: the layer's windows have no frame of their own.
  params.Width = width_;
  params.Height = height_;
  if (parent_ != nullptr) {
    params.Style = WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | (params.Style & (WS_VISIBLE | WS_DISABLED));
    params.ExStyle &= ~static_cast<DWORD>(WS_EX_TOPMOST);
    return;
  }
  // Made hidden: CreateWnd shows a visible form as Show does, with its window state.
  DWORD style = WS_CLIPCHILDREN | (params.Style & WS_DISABLED);
  DWORD ex = params.ExStyle;
  switch (borderStyle_) {
    case bsNone: style |= WS_POPUP; break;
    case bsSingle:
    case bsToolWindow: style |= WS_CAPTION | WS_BORDER; break;
    case bsSizeable:
    case bsSizeToolWin: style |= WS_CAPTION | WS_THICKFRAME; break;
    case bsDialog:
      style |= WS_POPUP | WS_CAPTION;
      ex |= WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE;
      break;
  }
  if (borderStyle_ == bsToolWindow || borderStyle_ == bsSizeToolWin) ex |= WS_EX_TOOLWINDOW;
  if (borderStyle_ != bsNone && (borderIcons_ & (1u << biSystemMenu)) != 0) {
    style |= WS_SYSMENU;
    if (borderStyle_ == bsSingle || borderStyle_ == bsSizeable) {
      if ((borderIcons_ & (1u << biMinimize)) != 0) style |= WS_MINIMIZEBOX;
      if ((borderIcons_ & (1u << biMaximize)) != 0) style |= WS_MAXIMIZEBOX;
    }
  }
  if (formStyle_ == fsStayOnTop) ex |= WS_EX_TOPMOST;
  params.Style = style;
  params.ExStyle = ex;
}

void TForm::CreateWnd() {
  // A form made with a plain `new` raises OnCreate before its window is first made.
  if (!created_) {
    auto life = life_;
    AfterConstruction();
    if (!life->alive || handle_ != nullptr) return;   // OnCreate made the window already
  }
  TWinControl::CreateWnd();
  if (handle_ != nullptr && parent_ == nullptr && visible_) ShowTopLevel();
}

void TForm::SetParent(TWinControl* parent) {
  TWinControl::SetParent(parent);
  if (handle_ == nullptr || Destroying()) return;
  const bool child = (GetWindowLongPtrA(handle_, GWL_STYLE) & WS_CHILD) != 0;
  if (child != (parent_ != nullptr)) RecreateWnd();
}

void TForm::ShowTopLevel() {
  int command = SW_SHOWNORMAL;
  if (windowState_ == wsMaximized) command = SW_SHOWMAXIMIZED;
  if (windowState_ == wsMinimized) command = SW_SHOWMINIMIZED;
  ShowWindow(handle_, command);
}

// ---- Showing --------------------------------------------------------------------------------

void TForm::SetVisible(bool visible) {
  auto life = life_;
  if (!visible) {
    if (!visible_) return;
    DoHide();
    if (!life->alive) return;
    TWinControl::SetVisible(false);
    return;
  }
  if (visible_ && (parent_ != nullptr || (handle_ != nullptr && IsWindowVisible(handle_)))) return;
  if (!created_) {
    AfterConstruction();
    if (!life->alive) return;
  }
  if (!shownOnce_) {
    shownOnce_ = true;
    if (parent_ == nullptr) {
      TRect area(0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
      TForm* over = nullptr;
      if (position_ == poMainFormCenter) over = Application->MainForm();
      if (position_ == poOwnerFormCenter) over = dynamic_cast<TForm*>(Owner());
      if (over == this) over = nullptr;
      if (over != nullptr && !over->Showing()) over = nullptr;
      if (over != nullptr) area = over->BoundsRect();
      if (position_ == poScreenCenter || position_ == poDesktopCenter || over != nullptr) {
        SetBounds(area.left + (area.Width() - Width()) / 2, area.top + (area.Height() - Height()) / 2, Width(),
                  Height());
      }
    }
  }
  DoShow();
  if (!life->alive) return;
  if (parent_ != nullptr) {
    // A view in a cell: a child window (made with its parent's), shown without activation.
    visible_ = false;
    TWinControl::SetVisible(true);
    return;
  }
  const bool hadWindow = handle_ != nullptr;
  visible_ = true;
  if (Handle() == nullptr || !life->alive) return;
  if (hadWindow) ShowTopLevel();   // a new window was shown by CreateWnd
  if (!life->alive) return;
  Perform(CM_VISIBLECHANGED, 1);
}

void TForm::Show() {
  auto life = life_;
  SetVisible(true);
  if (!life->alive || handle_ == nullptr || parent_ != nullptr) return;
  if ((GetWindowLongPtrA(handle_, GWL_EXSTYLE) & WS_EX_NOACTIVATE) == 0) {
    BringWindowToTop(handle_);
    SetActiveWindow(handle_);
  }
}

void TForm::Hide() { SetVisible(false); }

bool TForm::Active() const {
  return handle_ != nullptr && GetActiveWindow() != nullptr && GetAncestor(handle_, GA_ROOT) == GetActiveWindow();
}

// ---- Closing --------------------------------------------------------------------------------

bool TForm::CloseQuery() {
  bool canClose = true;
  if (OnCloseQuery) OnCloseQuery(this, canClose);
  return canClose;
}

void TForm::DoClose(TCloseAction& action) {
  if (OnClose) OnClose(this, action);
}

void TForm::Close() {
  if (modal_) {
    // The run ends: its runner asks OnCloseQuery and OnClose (CloseModal).
    modalResult_ = mrCancel;
    return;
  }
  auto life = life_;
  if (!CloseQuery() || !life->alive) return;
  TCloseAction action = caHide;
  DoClose(action);
  if (!life->alive || action == caNone) return;
  if (Application->MainForm() == this) {
    Application->Terminate();
    return;
  }
  switch (action) {
    case caHide: Hide(); break;
    case caMinimize: SetWindowState(wsMinimized); break;
    case caFree: Release(); break;
    case caNone: break;
  }
}

void TForm::CloseModal() {
  auto life = life_;
  TCloseAction action = caNone;
  try {
    if (CloseQuery() && life->alive) {
      action = caHide;
      DoClose(action);
    }
  } catch (const std::exception& e) {
    if (!life->alive) return;
    modalResult_ = mrNone;
    Application->HandleException(this, e);
    return;
  }
  if (!life->alive) return;
  if (action == caNone) modalResult_ = mrNone;
  if (action == caFree) Release();
}

void TForm::Release() {
  if (releasing_ || Destroying() || !life_->alive) return;
  HWND utility = UtilityWindow();
  if (utility == nullptr) return;
  releasing_ = true;
  PostMessageA(utility, CM_RELEASE, 0, static_cast<LPARAM>(life_->serial));
}

// ---- Modal runs -----------------------------------------------------------------------------

namespace {

struct DisabledWindows {
  HWND self;
  std::vector<HWND> windows;
};

BOOL CollectOthers(HWND window, LPARAM param) {
  auto* state = reinterpret_cast<DisabledWindows*>(param);
  if (window != state->self && IsWindowVisible(window) && IsWindowEnabled(window)) state->windows.push_back(window);
  return TRUE;
}

// The nested loop: messages (with the hooks inside GetMessageA) until ModalResult is non-zero
// and CloseModal lets it stand; a quit message ends it with mrCancel and is posted again for
// the loop outside.
class MessageLoopModalRunner : public ModalRunner {
 public:
  void Run(TForm& form) override {
    auto life = FormInternals::Life(form);
    MSG msg{};
    for (;;) {
      if (!life->alive) return;
      if (form.ModalResult() != mrNone) {
        form.CloseModal();
        if (!life->alive || form.ModalResult() != mrNone) return;
      }
      BOOL got = GetMessageA(&msg, nullptr, 0, 0);
      if (got == 0) {
        if (life->alive) form.SetModalResult(mrCancel);
        PostQuitMessage(static_cast<int>(msg.wParam));
        return;
      }
      if (got < 0) {
        if (life->alive) form.SetModalResult(mrCancel);
        return;
      }
      TranslateMessage(&msg);
      try {
        DispatchMessageA(&msg);
      } catch (const std::exception& e) {
        Application->HandleException(nullptr, e);
      }
    }
  }
};

}  // namespace

TModalResult TForm::ShowModal() {
  if (modal_ || (visible_ && handle_ != nullptr && IsWindowVisible(handle_)) || !enabled_) {
    throw EInvalidOperation("Cannot make a visible window modal");
  }
  auto life = life_;
  std::shared_ptr<ModalRunner> runner = InstalledModalRunner();
  if (!runner) runner = std::make_shared<MessageLoopModalRunner>();
  if (GetCapture() != nullptr) ReleaseCapture();
  HWND previous = GetActiveWindow();
  HWND self = Handle();
  if (self == nullptr || !life->alive) return mrCancel;   // no window to run
  DisabledWindows disabled{self, {}};
  EnumWindows(CollectOthers, reinterpret_cast<LPARAM>(&disabled));
  for (HWND w : disabled.windows) EnableWindow(w, FALSE);
  auto restore = [&] {
    for (HWND w : disabled.windows) {
      if (IsWindow(w)) EnableWindow(w, TRUE);
    }
    if (previous != nullptr && IsWindow(previous) && (!life->alive || previous != handle_)) SetActiveWindow(previous);
  };
  modal_ = true;
  modalResult_ = mrNone;
  try {
    Show();
    if (life->alive) runner->Run(*this);
  } catch (...) {
    if (life->alive) {
      modal_ = false;
      Hide();
    }
    restore();
    throw;
  }
  if (!life->alive) {
    restore();
    return life->lastResult != mrNone ? life->lastResult : mrCancel;
  }
  modal_ = false;
  Hide();
  restore();
  return life->alive ? modalResult_ : life->lastResult;
}

namespace zuvo::platform {

std::shared_ptr<ModalRunner> SetModalRunner(std::shared_ptr<ModalRunner> runner) {
  std::swap(InstalledModalRunner(), runner);
  return runner;
}

void ScriptedModalRunner::Add(const std::string& formKey, Script script) {
  scripts_.emplace(formKey, std::move(script));
}

void ScriptedModalRunner::Run(TForm& form) {
  auto life = FormInternals::Life(form);
  const std::string label = FormLabel(form);
  ran_.push_back(label);
  auto fail = [&](const std::string& text) {
    failures_.push_back(text);
    if (OnFailure) OnFailure(text);
  };
  auto script = scripts_.end();
  for (const std::string& key : {form.Name(), std::string(form.ClassName()), form.Caption()}) {
    if (key.empty()) continue;
    script = scripts_.find(key);   // the first given for that key
    if (script != scripts_.end()) break;
  }
  if (script == scripts_.end()) {
    fail("no script for modal form " + label);
    form.SetModalResult(mrCancel);
    return;
  }
  Script run = std::move(script->second);
  scripts_.erase(script);
  run(form);
  // What the script set going: posted messages, paints, releases. Never waits.
  for (int round = 0; round < 100 && ProcessPendingMessages() > 0; ++round) {
  }
  if (!life->alive) return;
  if (form.ModalResult() != mrNone) form.CloseModal();
  if (!life->alive) return;
  if (form.ModalResult() == mrNone) {
    fail("modal form " + label + " left open");
    form.SetModalResult(mrCancel);
  }
}

}  // namespace zuvo::platform

// ---- Focus and keys -------------------------------------------------------------------------

// Whether the control is in the form, found by walking down from the form: the pointer kept
// may name a control already freed (one not owned by the form), so it is only compared.
bool TForm::Holds(const TControl* control) const {
  if (control == nullptr) return false;
  std::vector<const TWinControl*> pending{this};
  while (!pending.empty()) {
    const TWinControl* parent = pending.back();
    pending.pop_back();
    for (int i = 0; i < parent->ControlCount(); ++i) {
      TControl* child = parent->Controls(i);
      if (child == control) return true;
      if (auto* windowed = dynamic_cast<const TWinControl*>(child)) pending.push_back(windowed);
    }
  }
  return false;
}

TWinControl* TForm::ActiveControl() const { return Holds(activeControl_) ? activeControl_ : nullptr; }

void TForm::SetActiveControl(TWinControl* control) {
  if (control != nullptr && (control == this || !ContainsControl(control))) return;
  activeControl_ = control;
  if (control != nullptr && Active() && Showing() && control->CanFocus() && !control->Focused()) control->SetFocus();
}

void TForm::SetWindowFocus() {
  if (handle_ == nullptr) return;
  TWinControl* target = activeControl_;
  if (target != nullptr && (!Holds(target) || !target->CanFocus())) target = nullptr;
  if (target == nullptr) target = FindNextControl(nullptr, true, true);
  if (target != nullptr && target->HandleAllocated()) {
    activeControl_ = target;
    if (!target->Focused()) ::SetFocus(target->Handle());
    return;
  }
  if (GetFocus() == nullptr || GetAncestor(GetFocus(), GA_ROOT) != GetAncestor(handle_, GA_ROOT)) ::SetFocus(handle_);
}

void TForm::FocusChanged(TWinControl* control) {
  TWinControl* target = control == this ? nullptr : control;
  if (target != nullptr && !ContainsControl(target)) return;
  TWinControl* old = focusedControl_;
  if (old != nullptr && !Holds(old)) old = nullptr;
  if (target != nullptr) activeControl_ = target;
  if (old == target) return;
  focusedControl_ = target;
  auto life = life_;
  // Left: the old control and its containers that do not hold the new one, innermost first.
  std::vector<TWinControl*> exits;
  for (TWinControl* c = old; c != nullptr && c != this && !IsAncestorOrSelf(c, target); c = c->Parent()) {
    exits.push_back(c);
  }
  // Entered: the new control's containers that did not hold the old one, outermost first.
  std::vector<TWinControl*> enters;
  for (TWinControl* c = target; c != nullptr && c != this && !IsAncestorOrSelf(c, old); c = c->Parent()) {
    enters.insert(enters.begin(), c);
  }
  for (TWinControl* c : exits) {
    if (!Holds(c)) continue;
    c->Perform(CM_EXIT);
    if (!life->alive) return;
  }
  for (TWinControl* c : enters) {
    if (!Holds(c)) continue;
    c->Perform(CM_ENTER);
    if (!life->alive) return;
  }
  // A form inside another (a view in a cell) is that form's focused control in turn.
  if (parent_ != nullptr) {
    if (TForm* outer = GetParentForm(parent_)) outer->FocusChanged(this);
  }
}

bool TForm::DialogKey(WORD key, TShiftState shift) {
  switch (key) {
    case VK_TAB: {
      if (shift.Contains(ssCtrl) || shift.Contains(ssAlt)) return false;
      TWinControl* current = ActiveControl();
      TWinControl* next = FindNextControl(current, !shift.Contains(ssShift), true);
      if (next == nullptr) return false;
      next->SetFocus();
      return true;
    }
    case VK_LEFT:
    case VK_RIGHT:
    case VK_UP:
    case VK_DOWN: {
      TWinControl* focused = FromHandle(GetFocus());
      if (focused == nullptr || !ContainsControl(focused)) focused = ActiveControl();
      if (focused == nullptr) return false;
      if ((SendOrPerform(focused, WM_GETDLGCODE) & DLGC_RADIOBUTTON) == 0) return false;
      TWinControl* group = focused->Parent();
      std::vector<TWinControl*> all;
      group->GetTabOrderList(all);
      std::vector<TWinControl*> siblings;
      for (TWinControl* c : all) {
        if (c->Parent() == group) siblings.push_back(c);
      }
      const int count = static_cast<int>(siblings.size());
      const int at = static_cast<int>(std::find(siblings.begin(), siblings.end(), focused) - siblings.begin());
      const bool forward = key == VK_RIGHT || key == VK_DOWN;
      for (int step = 1; step < count; ++step) {
        TWinControl* c = siblings[static_cast<std::size_t>(forward ? (at + step) % count : (at - step + count) % count)];
        if (!c->CanFocus() || (SendOrPerform(c, WM_GETDLGCODE) & DLGC_RADIOBUTTON) == 0) continue;
        auto life = life_;
        c->SetFocus();
        if (life->alive) SendOrPerform(c, BM_CLICK);
        return true;
      }
      return false;
    }
    case VK_RETURN:
    case VK_ESCAPE: {
      // To every control, depth first, until one (a default or cancel button) takes it.
      auto life = life_;
      std::function<bool(TWinControl*)> broadcast = [&](TWinControl* parent) {
        std::vector<TControl*> children = parent->controls_;
        for (TControl* c : children) {
          if (!life->alive) return true;
          if (c->Parent() != parent) continue;
          if (c->Perform(CM_DIALOGKEY, key, 0) != 0) return true;
          auto* windowed = dynamic_cast<TWinControl*>(c);
          if (windowed != nullptr && dynamic_cast<TForm*>(c) == nullptr && broadcast(windowed)) return true;
        }
        return false;
      };
      return broadcast(this);
    }
    default: return false;
  }
}

// ---- Messages -------------------------------------------------------------------------------

void TForm::WndProc(TMessage& message) { TWinControl::WndProc(message); }

void TForm::Dispatch(TMessage& message) {
  switch (message.Msg) {
    case WM_CLOSE:
      // Closing goes through the form's rules; the window is never destroyed here.
      Close();
      message.Result = 0;
      return;
    case CM_RELEASE:
      if (!Destroying()) TComponent::Free(this);
      return;
    case CM_DIALOGKEY:
      message.Result = DialogKey(static_cast<WORD>(message.WParam), KeyboardShiftState()) ? 1 : 0;
      return;
    case WM_ACTIVATE: {
      auto life = life_;
      TWinControl::Dispatch(message);
      // After OnDestroy (the window going) no more events.
      if (!life->alive || Destroying()) return;
      if (LOWORD(static_cast<DWORD_PTR>(message.WParam)) != WA_INACTIVE) {
        try {
          DoActivate();
        } catch (const std::exception& e) {
          Application->HandleException(this, e);
        }
        if (life->alive) SetWindowFocus();
      } else {
        Deactivate();
      }
      return;
    }
    case WM_SIZE:
      if (parent_ == nullptr) {
        if (message.WParam == SIZE_MAXIMIZED) windowState_ = wsMaximized;
        if (message.WParam == SIZE_MINIMIZED) windowState_ = wsMinimized;
        if (message.WParam == SIZE_RESTORED && handle_ != nullptr && !IsZoomed(handle_) && !IsIconic(handle_)) {
          windowState_ = wsNormal;
        }
      }
      TWinControl::Dispatch(message);
      return;
    case WM_SETFOCUS: {
      auto life = life_;
      TWinControl::Dispatch(message);
      if (life->alive && !Destroying()) FocusChanged(this);
      return;
    }
    case WM_PAINT: {
      // OnPaint on the form's canvas, then the windowless children over it; the paint is ended
      // even when a handler throws, so the window does not stay invalid.
      struct PaintScope {
        HWND window;
        HDC given;
        TCanvas* canvas;
        std::shared_ptr<TFormLife> life;
        PAINTSTRUCT paint{};
        HDC dc = nullptr;
        ~PaintScope() {
          if (life->alive) canvas->SetHandle(nullptr);
          if (given == nullptr && dc != nullptr) EndPaint(window, &paint);
        }
      } scope{handle_, reinterpret_cast<HDC>(message.WParam), &canvas_, life_};
      scope.dc = scope.given != nullptr ? scope.given : BeginPaint(handle_, &scope.paint);
      if (scope.dc == nullptr) return;
      canvas_.Font()->Assign(font_);
      canvas_.Brush()->SetColor(color_);
      canvas_.SetHandle(scope.dc);
      Paint();
      if (!scope.life->alive) return;
      canvas_.SetHandle(nullptr);
      PaintControls(scope.dc);
      message.Result = 0;
      return;
    }
    default: TWinControl::Dispatch(message);
  }
}

void TForm::Paint() {
  if (OnPaint) OnPaint(this);
}

void TForm::DoShow() {
  try {
    if (OnShow) OnShow(this);
  } catch (const std::exception& e) {
    Application->HandleException(this, e);
  }
}

void TForm::DoHide() {
  if (OnHide) OnHide(this);
}

void TForm::DoActivate() {
  if (OnActivate) OnActivate(this);
}

void TForm::Deactivate() {
  if (OnDeactivate) OnDeactivate(this);
}

// ---- TTimer ---------------------------------------------------------------------------------

TTimer::TTimer(TComponent* owner) : TComponent(owner) { UpdateTimer(); }

TTimer::~TTimer() {
  if (id_ != 0) {
    KillTimer(UtilityWindow(), id_);
    Timers().erase(id_);
    id_ = 0;
  }
}

void TTimer::SetEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  UpdateTimer();
}

void TTimer::SetInterval(UINT milliseconds) {
  if (milliseconds == interval_) return;
  interval_ = milliseconds;
  UpdateTimer();
}

void TTimer::UpdateTimer() {
  if (id_ != 0) {
    KillTimer(UtilityWindow(), id_);
    Timers().erase(id_);
    id_ = 0;
  }
  if (!enabled_ || interval_ == 0 || Destroying()) return;
  HWND utility = UtilityWindow();
  if (utility == nullptr) return;
  static UINT_PTR nextId = 0;
  const UINT_PTR id = ++nextId;
  if (SetTimer(utility, id, interval_, nullptr) == 0) return;
  id_ = id;
  Timers()[id] = this;
}

void TTimer::Timer() {
  if (OnTimer) OnTimer(this);
}

// ---- TApplication ---------------------------------------------------------------------------

TApplication::TApplication() : TComponent(nullptr) {
  hookId_ = zuvo::platform::AddMessageHook([this](MSG& msg) {
    if (!OnMessage) return false;
    bool handled = false;
    try {
      OnMessage(msg, handled);
    } catch (const std::exception& e) {
      HandleException(this, e);
      return true;
    }
    return handled;
  });
}

TApplication::~TApplication() { zuvo::platform::RemoveMessageHook(hookId_); }

void TApplication::Initialize() {
  zuvo::platform::EnsureApplication();
  terminated_ = false;
}

bool TApplication::LoadIcon(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  // An icon file starts with reserved 0, type 1 and a non-zero image count (16 bits each, LE).
  unsigned char header[6] = {};
  DWORD read = 0;
  const BOOL ok = ReadFile(file, header, sizeof header, &read, nullptr);
  CloseHandle(file);
  if (!ok || read != sizeof header) return false;
  return header[0] == 0 && header[1] == 0 && header[2] == 1 && header[3] == 0 && (header[4] != 0 || header[5] != 0);
}

void TApplication::AddCreatedForm(TForm* form) {
  form->AfterConstruction();
  if (mainForm_ == nullptr && form != nullptr && !form->Destroying()) mainForm_ = form;
}

void TApplication::Run() {
  if (mainForm_ != nullptr && !terminated_) mainForm_->Show();
  zuvo::platform::RunMessageLoop();
  terminated_ = true;
}

void TApplication::Terminate() {
  terminated_ = true;
  PostQuitMessage(0);
}

void TApplication::ProcessMessages() { zuvo::platform::ProcessPendingMessages(); }

void TApplication::HandleException(TObject* sender, const std::exception& e) {
  if (OnException) {
    OnException(sender != nullptr ? sender : this, e);
  } else {
    ShowException(e);
  }
}

void TApplication::ShowException(const std::exception& e) {
  MessageBoxA(nullptr, e.what(), title_.empty() ? nullptr : title_.c_str(), MB_OK | MB_ICONERROR);
}

void TApplication::HintMouseMessage(TControl* control) {
  const unsigned generation = ++hintGeneration_;
  if (control == nullptr) {
    if (!hint_.empty()) {
      if (HWND utility = UtilityWindow()) PostMessageA(utility, kClearHintMessage, generation, 0);
    }
    return;
  }
  std::string hint;
  for (TControl* c = control; c != nullptr; c = c->Parent()) {
    if (!c->Hint().empty()) {
      hint = LongHint(c->Hint());
      break;
    }
  }
  SetHint(hint);
}

void TApplication::SetHint(const std::string& hint) {
  if (hint == hint_) return;
  hint_ = hint;
  if (OnHint) OnHint(this);
}

// ---- TScreen --------------------------------------------------------------------------------

TScreen::TScreen() : TComponent(nullptr) {}

int TScreen::Width() const { return GetSystemMetrics(SM_CXSCREEN); }
int TScreen::Height() const { return GetSystemMetrics(SM_CYSCREEN); }

TRect TScreen::WorkAreaRect() const {
  RECT area{};
  if (SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0)) return TRect(area);
  return TRect(0, 0, Width(), Height());
}

void TScreen::SetCursor(TCursor cursor) {
  cursor_ = cursor;
  if (cursor != crDefault) {
    ::SetCursor(Cursors(cursor));
    return;
  }
  // Back to the cursor of what is under the pointer.
  POINT point{};
  HWND window = GetCursorPos(&point) ? WindowFromPoint(point) : nullptr;
  if (window != nullptr) {
    SendMessageA(window, WM_SETCURSOR, reinterpret_cast<WPARAM>(window), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
  } else {
    ::SetCursor(LoadCursorA(nullptr, IDC_ARROW));
  }
}

HCURSOR TScreen::Cursors(TCursor cursor) const {
  LPCSTR name = IDC_ARROW;
  switch (cursor) {
    case crNone: return nullptr;
    case crCross: name = IDC_CROSS; break;
    case crIBeam: name = IDC_IBEAM; break;
    case crSizeNESW: name = IDC_SIZENESW; break;
    case crSizeNS: name = IDC_SIZENS; break;
    case crSizeNWSE: name = IDC_SIZENWSE; break;
    case crSizeWE: name = IDC_SIZEWE; break;
    case crUpArrow: name = IDC_UPARROW; break;
    case crHourGlass:
    case crSQLWait:
    case crAppStart: name = IDC_WAIT; break;
    case crNo: name = IDC_NO; break;
    case crHandPoint: name = IDC_HAND; break;
    case crSizeAll: name = IDC_SIZEALL; break;
    // The class library's own shapes: the split bars and the drag cursors.
    case crDrag:
    case crNoDrop:
    case crHSplit:
    case crVSplit:
    case crMultiDrag: name = LibraryCursorName(cursor); break;
    default: name = IDC_ARROW; break;   // crDefault, crArrow, crHelp
  }
  return LoadCursorA(nullptr, name);
}

TForm* TScreen::ActiveForm() const {
  HWND active = GetActiveWindow();
  if (active == nullptr) return nullptr;
  for (TForm* form : forms_) {
    if (form->HandleAllocated() && form->Handle() == active) return form;
  }
  return nullptr;
}

TForm* TScreen::Forms(int index) const {
  if (index < 0 || index >= FormCount()) throw EListError("List index out of bounds (" + std::to_string(index) + ")");
  return forms_[static_cast<std::size_t>(index)];
}

void TScreen::AddForm(TForm* form) {
  if (std::find(forms_.begin(), forms_.end(), form) == forms_.end()) forms_.push_back(form);
}

void TScreen::RemoveForm(TForm* form) { forms_.erase(std::remove(forms_.begin(), forms_.end(), form), forms_.end()); }

// ---- TMouse ---------------------------------------------------------------------------------

TPoint TMouse::CursorPos() const {
  POINT point{};
  GetCursorPos(&point);
  return TPoint(point);
}

void TMouse::SetCursorPos(const TPoint& point) { ::SetCursorPos(point.x, point.y); }

// ---- The global objects ---------------------------------------------------------------------
// Made on first use and never destroyed: forms still owned by the application at exit would
// otherwise destroy their windows after the window system is gone.

template <>
TApplication* GlobalObjectRef<TApplication>::Get() {
  static TApplication* application = new TApplication;
  return application;
}
template <>
TScreen* GlobalObjectRef<TScreen>::Get() {
  static TScreen* screen = new TScreen;
  return screen;
}
template <>
TMouse* GlobalObjectRef<TMouse>::Get() {
  static TMouse* mouse = new TMouse;
  return mouse;
}

// Push buttons, check boxes, radio buttons and speed buttons, headless: clicks by mouse, Space,
// Enter and Esc, modal results, the BM_ states, notifications to subclasses, grouping, the
// parent's brush and owner drawing, and speed-button groups.
#include "platform/Button.h"

#include "platform/DrivenClock.h"
#include "platform/Form.h"
#include "platform/Input.h"
#include "platform/Message.h"
#include "platform/Panel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace {

using zuvo::platform::ProcessPendingMessages;
using zuvo::platform::SimulateKey;
using zuvo::platform::SimulateMouse;

using Strings = std::vector<std::string>;

// A form that can answer its buttons' WM_CTLCOLORBTN and logs their WM_DRAWITEM.
class TLogForm : public TForm {
 public:
  using TForm::TForm;
  const char* ClassName() const override { return "TButtonTestForm"; }
  HBRUSH buttonBrush = nullptr;   // answered to WM_CTLCOLORBTN when set
  std::vector<HWND> askedFor;     // the windows WM_CTLCOLORBTN came for
  std::vector<DRAWITEMSTRUCT> drawn;
  COLORREF ownerFill = RGB(0, 0, 255);
  void WndProc(TMessage& m) override {
    if (m.Msg == WM_CTLCOLORBTN) askedFor.push_back(reinterpret_cast<HWND>(m.LParam));
    if (m.Msg == WM_CTLCOLORBTN && buttonBrush != nullptr) {
      m.Result = reinterpret_cast<LRESULT>(buttonBrush);
      return;
    }
    if (m.Msg == WM_DRAWITEM) {
      const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(m.LParam);
      drawn.push_back(*item);
      HBRUSH fill = CreateSolidBrush(ownerFill);
      FillRect(item->hDC, &item->rcItem, fill);
      DeleteObject(fill);
    }
    TForm::WndProc(m);
  }
};

// Logs the library notifications a control receives, as a face painted elsewhere watches them.
template <class Base>
class TLogged : public Base {
 public:
  explicit TLogged(TComponent* owner) : Base(owner) {}
  std::vector<UINT> notes;
  void WndProc(TMessage& m) override {
    if (m.Msg == CM_CHANGED || m.Msg == CM_TABSTOPCHANGED || m.Msg == CM_ENABLEDCHANGED || m.Msg == CN_DRAWITEM) {
      notes.push_back(m.Msg);
    }
    Base::WndProc(m);
  }
  int Count(UINT msg) const { return static_cast<int>(std::count(notes.begin(), notes.end(), msg)); }
};

// A focusable control that is no button (an edit box, as far as dialog keys go).
class TField : public TCustomControl {
 public:
  explicit TField(TComponent* owner) : TCustomControl(owner) { SetTabStop(true); }
  const char* ClassName() const override { return "TButtonTestField"; }
};

LRESULT State(TWinControl* c) { return SendMessageA(c->Handle(), BM_GETSTATE, 0, 0); }

COLORREF PixelOf(HWND window, int x, int y) {
  UpdateWindow(window);
  HDC dc = GetDC(window);
  COLORREF pixel = GetPixel(dc, x, y);
  ReleaseDC(window, dc);
  return pixel;
}

class ButtonTest : public testing::Test {
 protected:
  void SetUp() override {
    form_ = NewForm<TLogForm>(nullptr);
    form_->SetName("ButtonDlg");
    form_->SetClientWidth(320);
    form_->SetClientHeight(240);
  }
  void TearDown() override {
    TComponent::Free(form_);
    ReleaseCapture();
    ProcessPendingMessages();
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
  }
  template <class T>
  T* Make(TWinControl* parent, int left, int top, int width, int height, const std::string& caption = "") {
    T* c = new T(form_);
    c->SetBounds(left, top, width, height);
    c->SetCaption(caption);
    c->SetParent(parent);
    return c;
  }
  static void Mouse(HWND window, UINT message, int x, int y, WPARAM keys) {
    SimulateMouse(window, message, x, y, keys);
    ProcessPendingMessages();
  }
  static void Click(HWND window, int x = 5, int y = 5) {
    Mouse(window, WM_LBUTTONDOWN, x, y, MK_LBUTTON);
    Mouse(window, WM_LBUTTONUP, x, y, 0);
  }
  static void KeyDown(int key, UINT modifiers = 0, const char* text = nullptr) {
    SimulateKey(GetFocus(), key, true, modifiers, text);
    ProcessPendingMessages();
  }
  static void KeyUp(int key, UINT modifiers = 0) {
    SimulateKey(GetFocus(), key, false, modifiers);
    ProcessPendingMessages();
  }
  static void Key(int key, UINT modifiers = 0, const char* text = nullptr) {
    KeyDown(key, modifiers, text);
    KeyUp(key, modifiers);
  }

  zuvo::platform::ScopedDrivenClock clock_;
  TLogForm* form_ = nullptr;
};

// ---- Clicks ---------------------------------------------------------------------------------

TEST_F(ButtonTest, AMouseClickNeedsThePressAndTheReleaseInside) {
  struct Step {
    UINT message;
    int x;
    int y;
  };
  struct Case {
    const char* name;
    std::vector<Step> steps;
    int clicks;
  };
  const Case cases[] = {
      {"inside", {{WM_LBUTTONDOWN, 10, 10}, {WM_LBUTTONUP, 12, 12}}, 1},
      {"released outside", {{WM_LBUTTONDOWN, 10, 10}, {WM_MOUSEMOVE, 90, 10}, {WM_LBUTTONUP, 90, 10}}, 0},
      {"out and back", {{WM_LBUTTONDOWN, 10, 10}, {WM_MOUSEMOVE, 90, 10}, {WM_MOUSEMOVE, 20, 10}, {WM_LBUTTONUP, 20, 10}}, 1},
      {"double click", {{WM_LBUTTONDOWN, 10, 10}, {WM_LBUTTONUP, 10, 10}, {WM_LBUTTONDBLCLK, 10, 10}, {WM_LBUTTONUP, 10, 10}}, 2},
  };
  auto* button = Make<TButton>(form_, 10, 10, 75, 25, "OK");
  Strings log;
  button->OnClick = [&](TObject*) { log.push_back("click"); };
  button->OnMouseUp = [&](TObject*, TMouseButton, TShiftState, int, int) { log.push_back("up"); };
  form_->Show();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    log.clear();
    for (const Step& s : c.steps) Mouse(button->Handle(), s.message, s.x, s.y, s.message == WM_LBUTTONUP ? 0 : MK_LBUTTON);
    EXPECT_EQ(std::count(log.begin(), log.end(), "click"), c.clicks);
    if (c.clicks == 1) {
      EXPECT_EQ(log, Strings({"click", "up"}));   // the click comes before OnMouseUp
    }
    EXPECT_EQ(State(button) & BST_PUSHED, 0);
    EXPECT_EQ(GetCapture(), nullptr);
  }
  // A press on the form released over the button clicks nothing.
  log.clear();
  Mouse(form_->Handle(), WM_LBUTTONDOWN, 200, 200, MK_LBUTTON);
  Mouse(button->Handle(), WM_LBUTTONUP, 10, 10, 0);
  EXPECT_TRUE(log.empty());
}

TEST_F(ButtonTest, SpaceShowsThePressAndClicksAtItsRelease) {
  auto* button = Make<TButton>(form_, 10, 10, 75, 25, "OK");
  auto* other = Make<TButton>(form_, 100, 10, 75, 25, "Other");
  int clicks = 0;
  button->OnClick = [&](TObject*) { ++clicks; };
  form_->Show();
  button->SetFocus();
  KeyDown(VK_SPACE, 0, " ");
  EXPECT_EQ(State(button), BST_FOCUS | BST_PUSHED);
  EXPECT_EQ(clicks, 0);
  KeyUp(VK_SPACE);
  EXPECT_EQ(State(button), BST_FOCUS);
  EXPECT_EQ(clicks, 1);
  // The focus leaving while Space is held drops the press.
  KeyDown(VK_SPACE, 0, " ");
  other->SetFocus();
  ProcessPendingMessages();
  EXPECT_EQ(State(button), 0);
  SimulateKey(button->Handle(), VK_SPACE, false, 0);
  ProcessPendingMessages();
  EXPECT_EQ(clicks, 1);
  // BM_CLICK clicks an enabled button only.
  SendMessageA(button->Handle(), BM_CLICK, 0, 0);
  EXPECT_EQ(clicks, 2);
  button->SetEnabled(false);
  SendMessageA(button->Handle(), BM_CLICK, 0, 0);
  Click(button->Handle());
  EXPECT_EQ(clicks, 2);
}

TEST_F(ButtonTest, EnterAndEscapeReachTheDefaultAndCancelButtons) {
  auto* field = Make<TField>(form_, 10, 10, 80, 20);
  auto* ok = Make<TButton>(form_, 10, 50, 75, 25, "OK");
  auto* cancel = Make<TButton>(form_, 100, 50, 75, 25, "Cancel");
  auto* other = Make<TButton>(form_, 190, 50, 75, 25, "Apply");
  ok->SetDefault(true);
  ok->SetModalResult(mrOk);
  cancel->SetCancel(true);
  cancel->SetModalResult(mrCancel);
  Strings log;
  for (auto [b, name] : {std::pair{ok, "ok"}, std::pair{cancel, "cancel"}, std::pair{other, "apply"}}) {
    b->OnClick = [&log, name = std::string(name)](TObject*) { log.push_back(name); };
  }
  form_->Show();
  struct Case {
    TWinControl* focus;
    int key;
    UINT modifiers;
    const char* clicked;   // empty: nothing
  };
  const Case cases[] = {
      {field, VK_RETURN, 0, "ok"},
      {field, VK_ESCAPE, 0, "cancel"},
      {field, VK_RETURN, MK_SHIFT, ""},
      {other, VK_RETURN, 0, "apply"},    // a focused button is the active default
      {cancel, VK_RETURN, 0, "cancel"},
      {other, VK_ESCAPE, 0, "cancel"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.focus->Caption()) + " " + std::to_string(c.key));
    log.clear();
    c.focus->SetFocus();
    if (c.modifiers == MK_SHIFT) SimulateKey(GetFocus(), VK_SHIFT, true, MK_SHIFT);
    Key(c.key, c.modifiers, c.key == VK_RETURN ? "\r" : "\x1b");
    if (c.modifiers == MK_SHIFT) SimulateKey(GetFocus(), VK_SHIFT, false, 0);
    ProcessPendingMessages();
    EXPECT_EQ(log, *c.clicked ? Strings{c.clicked} : Strings{});
  }
  // The default style follows: on the focused button, else on the Default one.
  auto style = [](TButton* b) { return SendMessageA(b->Handle(), WM_GETDLGCODE, 0, 0); };
  other->SetFocus();
  EXPECT_EQ(style(other), DLGC_BUTTON | DLGC_DEFPUSHBUTTON);
  EXPECT_EQ(style(ok), DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON);
  field->SetFocus();
  EXPECT_EQ(style(other), DLGC_BUTTON | DLGC_UNDEFPUSHBUTTON);
  EXPECT_EQ(style(ok), DLGC_BUTTON | DLGC_DEFPUSHBUTTON);
  // The caption's accelerator clicks, offered as CM_DIALOGCHAR.
  log.clear();
  other->SetCaption("&Apply");
  EXPECT_TRUE(BroadcastDialogChar(form_, 'a'));
  EXPECT_FALSE(BroadcastDialogChar(form_, 'x'));
  EXPECT_EQ(log, Strings({"apply"}));
  // Alt+A typed on another control of the form reaches it the same way.
  log.clear();
  field->SetFocus();
  SimulateKey(GetFocus(), VK_MENU, true, zuvo::platform::kSimulatedAlt);
  SimulateKey(GetFocus(), 'A', true, zuvo::platform::kSimulatedAlt, "a");
  SimulateKey(GetFocus(), 'A', false, zuvo::platform::kSimulatedAlt);
  SimulateKey(GetFocus(), VK_MENU, false, 0);
  ProcessPendingMessages();
  EXPECT_EQ(log, Strings({"apply"}));
}

TEST_F(ButtonTest, ModalResultOfTheClickedButtonEndsShowModal) {
  zuvo::platform::ScopedScriptedModalRunner runner;
  runner->OnFailure = [](const std::string& text) { ADD_FAILURE() << text; };
  auto* ok = Make<TButton>(form_, 10, 50, 75, 25, "OK");
  ok->SetModalResult(mrOk);
  auto* cancel = Make<TButton>(form_, 100, 50, 75, 25, "Cancel");
  cancel->SetCancel(true);
  cancel->SetModalResult(mrCancel);
  auto* plain = Make<TButton>(form_, 190, 50, 75, 25, "Plain");
  runner->Add("ButtonDlg", [&](TForm& form) {
    Click(plain->Handle());
    EXPECT_EQ(form.ModalResult(), mrNone);   // a button without a result keeps the run going
    Click(ok->Handle());
  });
  EXPECT_EQ(form_->ShowModal(), mrOk);
  runner->Add("ButtonDlg", [&](TForm&) { Key(VK_ESCAPE, 0, "\x1b"); });
  EXPECT_EQ(form_->ShowModal(), mrCancel);
  EXPECT_TRUE(runner->Failures().empty());
}

TEST_F(ButtonTest, AButtonFreedByItsOwnClickIsLeftAlone) {
  // Through Free, and through a plain delete (the handling after the click must not touch it).
  for (bool plainDelete : {false, true}) {
    SCOPED_TRACE(plainDelete ? "delete" : "Free");
    auto* button = Make<TButton>(form_, 10, 10, 75, 25, "Close");
    button->OnClick = [plainDelete](TObject* sender) {
      auto* self = static_cast<TButton*>(sender);
      if (plainDelete) {
        delete self;
      } else {
        TComponent::Free(self);
      }
    };
    form_->Show();
    HWND window = button->Handle();
    Click(window);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(form_->ControlCount(), 0);
  }
}

// ---- States and notifications ---------------------------------------------------------------

TEST_F(ButtonTest, GetStateReportsFocusPushAndCheck) {
  auto* away = Make<TField>(form_, 10, 100, 80, 20);   // first in the tab order: focused at the show
  auto* box = Make<TCheckBox>(form_, 10, 10, 97, 17, "Box");
  box->SetAllowGrayed(true);
  form_->Show();
  HWND w = box->Handle();
  struct Step {
    const char* what;
    std::function<void()> act;
    LRESULT state;
  };
  const Step steps[] = {
      {"start", [] {}, 0},
      {"focused", [&] { box->SetFocus(); }, BST_FOCUS},
      {"pressed", [&] { Mouse(w, WM_LBUTTONDOWN, 5, 5, MK_LBUTTON); }, BST_FOCUS | BST_PUSHED},
      {"dragged out", [&] { Mouse(w, WM_MOUSEMOVE, 150, 5, MK_LBUTTON); }, BST_FOCUS},
      {"dragged back", [&] { Mouse(w, WM_MOUSEMOVE, 5, 5, MK_LBUTTON); }, BST_FOCUS | BST_PUSHED},
      {"released", [&] { Mouse(w, WM_LBUTTONUP, 5, 5, 0); }, BST_FOCUS | BST_CHECKED},
      {"space held", [&] { KeyDown(VK_SPACE, 0, " "); }, BST_FOCUS | BST_PUSHED | BST_CHECKED},
      {"space up", [&] { KeyUp(VK_SPACE); }, BST_FOCUS | BST_INDETERMINATE},
      {"pushed by message", [&] { SendMessageA(w, BM_SETSTATE, TRUE, 0); }, BST_FOCUS | BST_PUSHED | BST_INDETERMINATE},
      {"released by message", [&] { SendMessageA(w, BM_SETSTATE, FALSE, 0); }, BST_FOCUS | BST_INDETERMINATE},
      {"checked by message", [&] { SendMessageA(w, BM_SETCHECK, BST_CHECKED, 0); }, BST_FOCUS | BST_CHECKED},
      {"focus gone", [&] { away->SetFocus(); }, BST_CHECKED},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.what);
    s.act();
    EXPECT_EQ(State(box), s.state);
  }
  EXPECT_EQ(SendMessageA(w, BM_GETCHECK, 0, 0), static_cast<LRESULT>(BST_CHECKED));
  EXPECT_EQ(SendMessageA(w, WM_GETDLGCODE, 0, 0), DLGC_BUTTON);
}

TEST_F(ButtonTest, EveryCheckBoxStateChangeSendsChangedThenClick) {
  struct Case {
    bool allowGrayed;
    std::function<void(TCheckBox*)> act;
    TCheckBoxState state;
    int changed;   // CM_CHANGED and OnClick each
  };
  const Case cases[] = {
      {false, [](TCheckBox* b) { Click(b->Handle()); }, cbChecked, 1},
      {false, [](TCheckBox* b) { Click(b->Handle()); Click(b->Handle()); }, cbUnchecked, 2},
      {true, [](TCheckBox* b) { Click(b->Handle()); Click(b->Handle()); }, cbGrayed, 2},
      {true, [](TCheckBox* b) { for (int i = 0; i < 3; ++i) Click(b->Handle()); }, cbUnchecked, 3},
      {false, [](TCheckBox* b) { b->SetChecked(true); }, cbChecked, 1},
      {false, [](TCheckBox* b) { b->SetState(cbGrayed); }, cbGrayed, 1},
      {false, [](TCheckBox* b) { b->SetState(cbUnchecked); }, cbUnchecked, 0},
      {false, [](TCheckBox* b) { SendMessageA(b->Handle(), BM_SETCHECK, BST_INDETERMINATE, 0); }, cbGrayed, 1},
      {false, [](TCheckBox* b) { SendMessageA(b->Handle(), BM_CLICK, 0, 0); }, cbChecked, 1},
  };
  form_->Show();
  for (const Case& c : cases) {
    SCOPED_TRACE(&c - cases);
    auto* box = Make<TLogged<TCheckBox>>(form_, 10, 10, 97, 17, "Box");
    box->SetAllowGrayed(c.allowGrayed);
    int clicks = 0;
    box->OnClick = [&](TObject*) { ++clicks; };
    c.act(box);
    EXPECT_EQ(box->State(), c.state);
    EXPECT_EQ(box->Checked(), c.state == cbChecked);
    EXPECT_EQ(box->Count(CM_CHANGED), c.changed);
    EXPECT_EQ(clicks, c.changed);
    TComponent::Free(box);
  }
}

TEST_F(ButtonTest, CheckingARadioButtonUnchecksItsSiblingsAndTellsBoth) {
  auto* group = Make<TPanel>(form_, 0, 0, 200, 120);
  auto* r1 = Make<TLogged<TRadioButton>>(group, 5, 5, 100, 17, "One");
  auto* r2 = Make<TLogged<TRadioButton>>(group, 5, 30, 100, 17, "Two");
  auto* r3 = Make<TLogged<TRadioButton>>(group, 5, 55, 100, 17, "Three");
  auto* elsewhere = Make<TLogged<TRadioButton>>(form_, 220, 5, 90, 17, "Apart");
  elsewhere->SetChecked(true);
  Strings clicks;
  for (auto* r : {r1, r2, r3}) r->OnClick = [&clicks, r](TObject*) { clicks.push_back(r->Caption()); };
  form_->Show();
  auto checks = [&] {
    std::string s;
    for (auto* r : {r1, r2, r3, elsewhere}) s += r->Checked() ? '1' : '0';
    return s;
  };
  auto clearNotes = [&] {
    for (auto* r : {r1, r2, r3, elsewhere}) r->notes.clear();
  };
  Click(r1->Handle());
  EXPECT_EQ(checks(), "1001");
  clearNotes();
  Click(r2->Handle());
  EXPECT_EQ(checks(), "0101");
  for (auto* r : {r1, r2}) {
    SCOPED_TRACE(r->Caption());
    EXPECT_EQ(r->Count(CM_TABSTOPCHANGED), 1);
    EXPECT_EQ(r->Count(CM_CHANGED), 1);
  }
  EXPECT_TRUE(r3->notes.empty());
  EXPECT_TRUE(elsewhere->notes.empty());
  EXPECT_FALSE(r1->TabStop());
  EXPECT_TRUE(r2->TabStop());
  EXPECT_EQ(SendMessageA(r2->Handle(), BM_GETCHECK, 0, 0), static_cast<LRESULT>(BST_CHECKED));
  // A click on the checked one changes nothing.
  clicks.clear();
  Click(r2->Handle());
  EXPECT_TRUE(clicks.empty());
  // Arrows move within the group and check (the form's BM_CLICK).
  r2->SetFocus();
  Key(VK_DOWN);
  EXPECT_EQ(GetFocus(), r3->Handle());
  EXPECT_EQ(checks(), "0011");
  Key(VK_DOWN);
  EXPECT_EQ(GetFocus(), r1->Handle());
  EXPECT_EQ(checks(), "1001");
  EXPECT_EQ(clicks, Strings({"Three", "One"}));
  EXPECT_EQ(SendMessageA(r1->Handle(), WM_GETDLGCODE, 0, 0), DLGC_BUTTON | DLGC_RADIOBUTTON);
  // BM_SETCHECK from outside goes through the same rules.
  SendMessageA(r3->Handle(), BM_SETCHECK, BST_CHECKED, 0);
  EXPECT_EQ(checks(), "0011");
}

TEST_F(ButtonTest, EnablingSendsEnabledChangedAndADisabledButtonIgnoresInput) {
  auto* button = Make<TLogged<TButton>>(form_, 10, 10, 75, 25, "OK");
  int clicks = 0;
  button->OnClick = [&](TObject*) { ++clicks; };
  form_->Show();
  button->SetEnabled(false);
  EXPECT_EQ(button->Count(CM_ENABLEDCHANGED), 1);
  Click(button->Handle());
  SendMessageA(button->Handle(), BM_CLICK, 0, 0);
  EXPECT_EQ(clicks, 0);
  button->SetEnabled(true);
  EXPECT_EQ(button->Count(CM_ENABLEDCHANGED), 2);
  Click(button->Handle());
  EXPECT_EQ(clicks, 1);
  // Disabled while held: the press is dropped and the release clicks nothing.
  Mouse(button->Handle(), WM_LBUTTONDOWN, 5, 5, MK_LBUTTON);
  EXPECT_NE(State(button) & BST_PUSHED, 0);
  button->SetEnabled(false);
  EXPECT_EQ(State(button) & BST_PUSHED, 0);
  button->SetEnabled(true);
  Mouse(button->Handle(), WM_LBUTTONUP, 5, 5, 0);
  EXPECT_EQ(clicks, 1);
}

TEST_F(ButtonTest, ControlsAnswerWithTheirFontHandle) {
  auto* button = Make<TButton>(form_, 10, 10, 75, 25, "OK");
  auto* box = Make<TCheckBox>(form_, 10, 40, 97, 17, "Box");
  form_->Show();
  for (TButtonControl* c : {static_cast<TButtonControl*>(button), static_cast<TButtonControl*>(box)}) {
    EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageA(c->Handle(), WM_GETFONT, 0, 0)), c->Font()->Handle());
  }
  button->Font()->SetHeight(-20);
  EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageA(button->Handle(), WM_GETFONT, 0, 0)), button->Font()->Handle());
  HFONT other = CreateFontA(-16, 0, 0, 0, 400, 0, 0, 0, 0, 0, 0, 0, 0, "Tahoma");
  SendMessageA(box->Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(other), 1);
  EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageA(box->Handle(), WM_GETFONT, 0, 0)), other);
  DeleteObject(other);
}

// ---- Painting ---------------------------------------------------------------------------------

TEST_F(ButtonTest, TheParentsButtonBrushPaintsTheBackground) {
  auto* box = Make<TCheckBox>(form_, 10, 10, 97, 17, "");
  auto* button = Make<TButton>(form_, 10, 40, 75, 25, "");
  form_->Show();
  // No answer from the parent: the control's own colour, the button face by default.
  EXPECT_EQ(PixelOf(box->Handle(), 60, 8), GetSysColor(COLOR_BTNFACE));
  EXPECT_EQ(PixelOf(button->Handle(), 30, 12), GetSysColor(COLOR_BTNFACE));
  box->SetColor(clAqua);
  EXPECT_EQ(PixelOf(box->Handle(), 60, 8), RGB(0, 255, 255));
  // The parent's brush, asked with the button's context and window.
  form_->buttonBrush = CreateSolidBrush(RGB(255, 0, 0));
  box->Invalidate();
  button->Invalidate();
  EXPECT_EQ(PixelOf(box->Handle(), 60, 8), RGB(255, 0, 0));
  EXPECT_EQ(PixelOf(button->Handle(), 30, 12), RGB(255, 0, 0));
  // The box itself is drawn over it: white inside, its edge around.
  EXPECT_EQ(PixelOf(box->Handle(), 6, 8), GetSysColor(COLOR_WINDOW));
  EXPECT_EQ(PixelOf(box->Handle(), 0, 2), GetSysColor(COLOR_BTNSHADOW));
  EXPECT_NE(std::find(form_->askedFor.begin(), form_->askedFor.end(), box->Handle()), form_->askedFor.end());
  // Alignment taLeftJustify puts the box at the right end.
  box->SetAlignment(taLeftJustify);
  EXPECT_EQ(PixelOf(box->Handle(), 0, 2), RGB(255, 0, 0));
  EXPECT_EQ(PixelOf(box->Handle(), 97 - 13, 2), GetSysColor(COLOR_BTNSHADOW));
  DeleteObject(form_->buttonBrush);
  form_->buttonBrush = nullptr;
}

TEST_F(ButtonTest, AButtonRepaintsWhenMovedRelabelledOrPushed) {
  Make<TField>(form_, 200, 200, 20, 20);   // takes the focus: the button is drawn unfocused
  auto* button = Make<TButton>(form_, 10, 10, 75, 25, "");
  form_->Show();
  auto darkInCentre = [&] {
    UpdateWindow(button->Handle());
    HDC dc = GetDC(button->Handle());
    int dark = 0;
    for (int y = 6; y < 19; ++y) {
      for (int x = 8; x < 67; ++x) {
        COLORREF p = GetPixel(dc, x, y);
        if (GetRValue(p) + GetGValue(p) + GetBValue(p) < 200) ++dark;
      }
    }
    ReleaseDC(button->Handle(), dc);
    return dark;
  };
  EXPECT_EQ(darkInCentre(), 0);
  button->SetCaption("MMMM");
  EXPECT_GT(darkInCentre(), 10);
  button->SetBounds(100, 60, 90, 30);
  RECT placed{};
  GetWindowRect(button->Handle(), &placed);
  POINT origin{0, 0};
  ClientToScreen(form_->Handle(), &origin);
  EXPECT_EQ(placed.left - origin.x, 100);
  EXPECT_EQ(placed.right - placed.left, 90);
  // The classic edge: light top-left, dark bottom-right; pushed it turns.
  EXPECT_EQ(PixelOf(button->Handle(), 0, 0), GetSysColor(COLOR_BTNHIGHLIGHT));
  EXPECT_EQ(PixelOf(button->Handle(), 89, 29), GetSysColor(COLOR_3DDKSHADOW));
  SendMessageA(button->Handle(), BM_SETSTATE, TRUE, 0);
  EXPECT_EQ(PixelOf(button->Handle(), 0, 0), GetSysColor(COLOR_3DDKSHADOW));
}

// A check box whose subclass paints every pixel itself, as the widget package's do.
class TOwnFaceCheckBox : public TCheckBox {
 public:
  using TCheckBox::TCheckBox;
  const char* ClassName() const override { return "TOwnFaceCheckBox"; }
  std::vector<LRESULT> paintedStates;
  void WndProc(TMessage& m) override {
    if (m.Msg == WM_ERASEBKGND) {
      m.Result = 1;
      return;
    }
    if (m.Msg == WM_PAINT) {
      PAINTSTRUCT ps{};
      HDC dc = BeginPaint(Handle(), &ps);
      paintedStates.push_back(SendMessageA(Handle(), BM_GETSTATE, 0, 0));
      HBRUSH green = CreateSolidBrush(RGB(0, 128, 0));
      RECT all{0, 0, Width(), Height()};
      FillRect(dc, &all, green);
      DeleteObject(green);
      EndPaint(Handle(), &ps);
      m.Result = 0;
      return;
    }
    TCheckBox::WndProc(m);
  }
};

TEST_F(ButtonTest, ASubclassPaintingItselfKeepsClickingCheckingAndKeys) {
  auto* box = Make<TOwnFaceCheckBox>(form_, 10, 10, 97, 17, "Own");
  int clicks = 0;
  box->OnClick = [&](TObject*) { ++clicks; };
  form_->Show();
  Click(box->Handle());
  EXPECT_TRUE(box->Checked());
  box->SetFocus();
  Key(VK_SPACE, 0, " ");
  EXPECT_FALSE(box->Checked());
  EXPECT_EQ(clicks, 2);
  EXPECT_EQ(PixelOf(box->Handle(), 5, 8), RGB(0, 128, 0));
  // Every state change repainted it, and it saw the state it paints.
  box->paintedStates.clear();
  box->SetChecked(true);
  UpdateWindow(box->Handle());
  ASSERT_FALSE(box->paintedStates.empty());
  EXPECT_EQ(box->paintedStates.back(), static_cast<LRESULT>(BST_FOCUS | BST_CHECKED));
}

// A push button that makes itself owner-drawn at creation, paints every pixel in WM_PAINT,
// keeps BM_SETSTYLE from taking owner drawing away and repaints on the library's notices.
class TOwnFaceButton : public TButton {
 public:
  using TButton::TButton;
  const char* ClassName() const override { return "TOwnFaceButton"; }
  int paints = 0;
  void WndProc(TMessage& m) override {
    switch (m.Msg) {
      case WM_CREATE: {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(m.LParam);
        SetWindowLongPtrA(Handle(), GWL_STYLE, (create->style & ~BS_TYPEMASK) | BS_OWNERDRAW);
        break;
      }
      case WM_ERASEBKGND:
        m.Result = 1;
        return;
      case WM_PAINT: {
        PAINTSTRUCT ps{};
        BeginPaint(Handle(), &ps);
        ++paints;
        EndPaint(Handle(), &ps);
        m.Result = 0;
        return;
      }
      case BM_SETSTYLE:
        m.WParam = (m.WParam & ~static_cast<WPARAM>(BS_TYPEMASK)) | BS_OWNERDRAW;
        break;
      case CM_ENABLEDCHANGED:
      case CN_DRAWITEM:
        InvalidateRect(Handle(), nullptr, FALSE);
        break;
      default:
        break;
    }
    TButton::WndProc(m);
  }
};

TEST_F(ButtonTest, AnOwnFacedDefaultButtonStillAnswersEnterClicksAndEndsTheModalRun) {
  zuvo::platform::ScopedScriptedModalRunner runner;
  runner->OnFailure = [](const std::string& text) { ADD_FAILURE() << text; };
  auto* field = Make<TField>(form_, 10, 10, 80, 20);
  auto* ok = Make<TOwnFaceButton>(form_, 10, 50, 75, 25, "OK");
  ok->SetDefault(true);
  ok->SetModalResult(mrOk);
  int clicks = 0;
  ok->OnClick = [&](TObject*) { ++clicks; };
  runner->Add("ButtonDlg", [&](TForm& form) {
    EXPECT_EQ(GetFocus(), field->Handle());
    EXPECT_EQ(GetWindowLongPtrA(ok->Handle(), GWL_STYLE) & BS_TYPEMASK, static_cast<LONG_PTR>(BS_OWNERDRAW));
    Key(VK_RETURN, 0, "\r");
    EXPECT_EQ(form.ModalResult(), mrOk);
    form.SetModalResult(mrNone);
    Click(ok->Handle());   // focuses it on the way
    EXPECT_EQ(State(ok), BST_FOCUS);
    EXPECT_EQ(GetWindowLongPtrA(ok->Handle(), GWL_STYLE) & BS_TYPEMASK, static_cast<LONG_PTR>(BS_OWNERDRAW));
  });
  EXPECT_EQ(form_->ShowModal(), mrOk);
  EXPECT_EQ(clicks, 2);
  EXPECT_GT(ok->paints, 0);
  EXPECT_TRUE(form_->drawn.empty());   // it paints itself: the parent draws nothing
}

TEST_F(ButtonTest, AnOwnerDrawnButtonIsDrawnByItsParentWithItsState) {
  auto* away = Make<TField>(form_, 10, 100, 80, 20);
  auto* button = Make<TLogged<TButton>>(form_, 10, 10, 75, 25, "OK");
  form_->Show();
  SendMessageA(button->Handle(), BM_SETSTYLE, BS_OWNERDRAW, 1);
  HWND w = button->Handle();
  struct Step {
    const char* what;
    std::function<void()> act;
    UINT state;
  };
  const Step steps[] = {
      {"plain", [] {}, 0},
      {"focused", [&] { button->SetFocus(); }, ODS_FOCUS},
      {"pressed", [&] { Mouse(w, WM_LBUTTONDOWN, 5, 5, MK_LBUTTON); }, ODS_FOCUS | ODS_SELECTED},
      {"released", [&] { Mouse(w, WM_LBUTTONUP, 5, 5, 0); }, ODS_FOCUS},
      {"unfocused", [&] { away->SetFocus(); }, 0},
      {"disabled", [&] { button->SetEnabled(false); }, ODS_DISABLED},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.what);
    form_->drawn.clear();
    s.act();
    InvalidateRect(w, nullptr, FALSE);
    UpdateWindow(w);
    ASSERT_FALSE(form_->drawn.empty());
    const DRAWITEMSTRUCT& item = form_->drawn.back();
    EXPECT_EQ(item.CtlType, ODT_BUTTON);
    EXPECT_EQ(item.itemAction, ODA_DRAWENTIRE);
    EXPECT_EQ(item.itemState, s.state);
    EXPECT_EQ(item.hwndItem, w);
    EXPECT_EQ(TRect(item.rcItem), TRect(0, 0, 75, 25));
  }
  // The parent's drawing is the face; the button heard of it as CN_DRAWITEM.
  EXPECT_EQ(PixelOf(w, 37, 12), RGB(0, 0, 255));
  EXPECT_GT(button->Count(CN_DRAWITEM), 0);
}

// ---- Speed buttons ----------------------------------------------------------------------------

TEST_F(ButtonTest, SpeedButtonGroupsFollowTheirClicks) {
  struct Case {
    const char* name;
    bool allowAllUp;
    std::string clicks;   // buttons clicked: a b c of group 7, p plain, t the toggle of group 1
    std::string down;     // Down of a b c p t after them
  };
  const Case cases[] = {
      {"one goes down", false, "a", "10000"},
      {"another takes over", false, "ab", "01000"},
      {"a down one stays down", false, "bb", "01000"},
      {"all up allowed", true, "aa", "00000"},
      {"all up, then another", true, "aac", "00100"},
      {"plain never down", false, "pp", "00000"},
      {"toggle apart from the group", false, "atb", "01001"},
      {"toggle back up", false, "tt", "00000"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto* palette = Make<TPanel>(form_, 0, 0, 200, 60);
    std::vector<TSpeedButton*> buttons;
    std::string seen;
    for (int i = 0; i < 5; ++i) {
      auto* b = new TSpeedButton(form_);
      b->SetBounds(i * 26, 0, 25, 25);
      b->SetParent(palette);
      b->SetTag(i);
      b->OnClick = [&seen, b](TObject*) { seen += b->Down() ? 'D' : 'u'; };   // Down already changed
      buttons.push_back(b);
    }
    for (int i = 0; i < 3; ++i) {
      buttons[i]->SetGroupIndex(7);
      buttons[i]->SetAllowAllUp(c.allowAllUp);
    }
    buttons[4]->SetGroupIndex(1);
    buttons[4]->SetAllowAllUp(true);
    form_->Show();
    std::string expectedSeen;
    for (char k : c.clicks) {
      const int index = k == 'p' ? 3 : k == 't' ? 4 : k - 'a';
      Click(palette->Handle(), index * 26 + 12, 12);
      expectedSeen += buttons[index]->Down() ? 'D' : 'u';
    }
    std::string down;
    for (auto* b : buttons) down += b->Down() ? '1' : '0';
    EXPECT_EQ(down, c.down);
    EXPECT_EQ(seen, expectedSeen);
    EXPECT_EQ(seen.size(), c.clicks.size());
    TComponent::Free(palette);
  }
}

// The line-tool palette's arrangement: 29 flat 25-pixel buttons tagged with their tool codes,
// all but 19 and 28 in group 7 that may be all up, 28 a toggle of its own group, 19 a plain
// button twice as wide.
TEST_F(ButtonTest, TheLineToolPaletteTracksTheCurrentTool) {
  const int layout[10][3] = {{1, 2, 3},    {24, 25, 8},  {26, 27, 4},  {7, 12, 9},   {5, 6, 29},
                             {11, 10, 13}, {14, 15, 28}, {16, 22, 23}, {17, 20, 21}, {18, 19, 0}};
  struct Case {
    std::vector<int> clicks;
    int tool;
    bool cycleTable;
    std::vector<int> down;
  };
  const Case cases[] = {
      {{1}, 1, false, {1}},
      {{1, 1}, -1, false, {}},
      {{1, 24}, 24, false, {24}},
      {{24, 19}, -1, false, {24}},   // the plain button leaves no tool, the group as it was
      {{28, 5}, 5, true, {5, 28}},
      {{28, 28}, -1, false, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.clicks.size());
    auto* palette = Make<TPanel>(form_, 0, 0, 115, 259);
    palette->SetBevelOuter(bvNone);
    TSpeedButton* byTag[30] = {};
    int tool = -1;
    bool cycleTable = false;
    for (int row = 0; row < 10; ++row) {
      for (int column = 0; column < 3; ++column) {
        const int tag = layout[row][column];
        if (tag == 0) continue;
        auto* b = new TSpeedButton(form_);
        b->SetBounds(column * 26, row * 26, tag == 19 ? 51 : 25, 25);
        b->SetParent(palette);
        b->SetFlat(true);
        b->SetTag(tag);
        b->SetHint("tool " + std::to_string(tag));
        if (tag == 28) {
          b->SetGroupIndex(1);
          b->SetAllowAllUp(true);
          b->OnClick = [&cycleTable, b](TObject*) { cycleTable = b->Down(); };
        } else {
          if (tag != 19) {
            b->SetGroupIndex(7);
            b->SetAllowAllUp(true);
          }
          b->OnClick = [&tool, b](TObject*) { tool = b->Down() ? b->Tag() : -1; };
        }
        byTag[tag] = b;
      }
    }
    form_->Show();
    for (int tag : c.clicks) {
      const TSpeedButton* b = byTag[tag];
      Click(palette->Handle(), b->Left() + b->Width() / 2, b->Top() + 12);
    }
    EXPECT_EQ(tool, c.tool);
    EXPECT_EQ(cycleTable, c.cycleTable);
    std::vector<int> down;
    for (int tag = 1; tag <= 29; ++tag) {
      if (byTag[tag]->Down()) down.push_back(tag);
    }
    EXPECT_EQ(down, c.down);
    TComponent::Free(palette);
  }
}

TEST_F(ButtonTest, SpeedButtonReleasedOutsideDoesNothingAndADownGroupStaysDown) {
  auto* palette = Make<TPanel>(form_, 0, 0, 200, 60);
  auto* a = new TSpeedButton(form_);
  a->SetBounds(0, 0, 25, 25);
  a->SetParent(palette);
  auto* b = new TSpeedButton(form_);
  b->SetBounds(26, 0, 25, 25);
  b->SetParent(palette);
  for (auto* s : {a, b}) s->SetGroupIndex(3);
  int clicks = 0;
  a->OnClick = [&](TObject*) { ++clicks; };
  form_->Show();
  HWND w = palette->Handle();
  Mouse(w, WM_LBUTTONDOWN, 10, 10, MK_LBUTTON);
  EXPECT_EQ(a->State(), bsDown);
  Mouse(w, WM_MOUSEMOVE, 150, 10, MK_LBUTTON);
  EXPECT_EQ(a->State(), bsUp);
  Mouse(w, WM_LBUTTONUP, 150, 10, 0);
  EXPECT_EQ(clicks, 0);
  EXPECT_FALSE(a->Down());
  a->SetDown(true);
  EXPECT_TRUE(a->Down());
  EXPECT_EQ(a->State(), bsExclusive);
  a->SetDown(false);   // the group may not be all up
  EXPECT_TRUE(a->Down());
  b->SetDown(true);
  EXPECT_FALSE(a->Down());
  EXPECT_EQ(clicks, 0);   // programmatic changes are no clicks
}

// A 6 x 4 glyph: a red 2 x 2 square in the middle of the transparent colour (its bottom-left
// pixel's, green).
HBITMAP MakeGlyph() {
  HDC memory = CreateCompatibleDC(nullptr);
  HBITMAP glyph = CreateCompatibleBitmap(memory, 6, 4);
  HGDIOBJ old = SelectObject(memory, glyph);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 6; ++x) SetPixel(memory, x, y, x >= 2 && x < 4 && y >= 1 && y < 3 ? RGB(255, 0, 0) : RGB(0, 255, 0));
  }
  SelectObject(memory, old);
  DeleteDC(memory);
  return glyph;
}

TEST_F(ButtonTest, SpeedButtonDrawsItsGlyphTransparentAndShiftedWhenDown) {
  auto* palette = Make<TPanel>(form_, 0, 0, 200, 60);
  palette->SetBevelOuter(bvNone);
  palette->SetColor(clWhite);
  auto* b = new TSpeedButton(form_);
  b->SetBounds(10, 10, 26, 24);
  b->SetParent(palette);
  b->SetFlat(true);
  b->SetGroupIndex(1);
  b->SetAllowAllUp(true);
  HBITMAP glyph = MakeGlyph();
  b->SetGlyph(glyph);
  DeleteObject(glyph);   // the button keeps its own copy
  form_->Show();
  HWND w = palette->Handle();
  auto pixel = [&](int x, int y) {
    InvalidateRect(w, nullptr, TRUE);
    return PixelOf(w, x, y);
  };
  // The glyph sits centred: (26 - 6) / 2 = 10, (24 - 4) / 2 = 10 inside the button.
  EXPECT_EQ(pixel(10 + 10 + 2, 10 + 10 + 1), RGB(255, 0, 0));
  EXPECT_EQ(pixel(10 + 10 + 0, 10 + 10 + 0), RGB(255, 255, 255));   // transparent: the panel shows
  EXPECT_EQ(pixel(10, 10), RGB(255, 255, 255));                     // flat and up: no edge
  b->SetDown(true);
  EXPECT_EQ(pixel(10 + 11 + 2, 10 + 11 + 1), RGB(255, 0, 0));
  EXPECT_EQ(pixel(10, 10), GetSysColor(COLOR_BTNSHADOW));
  b->SetDown(false);
  // Flat shows its raised edge while the pointer is over it.
  Mouse(w, WM_MOUSEMOVE, 15, 15, 0);
  EXPECT_EQ(pixel(10, 10), GetSysColor(COLOR_BTNHIGHLIGHT));
  EXPECT_EQ(pixel(35, 33), GetSysColor(COLOR_BTNSHADOW));
  Mouse(w, WM_MOUSEMOVE, 150, 50, 0);
  EXPECT_EQ(pixel(10, 10), RGB(255, 255, 255));
  b->SetEnabled(false);
  // Disabled: the shape embossed in the system colours.
  EXPECT_EQ(pixel(10 + 10 + 2, 10 + 10 + 1), GetSysColor(COLOR_BTNSHADOW));
  EXPECT_EQ(pixel(10 + 10 + 4, 10 + 10 + 3), GetSysColor(COLOR_BTNHIGHLIGHT));
}

}  // namespace

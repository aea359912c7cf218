#include "platform/Control.h"
#include "platform/DrivenClock.h"
#include "platform/Form.h"
#include "platform/Input.h"
#include "platform/Menu.h"
#include "platform/Message.h"
#include "platform/WinUser.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using zuvo::platform::ProcessPendingMessages;

std::vector<std::string> journal;

// A windowed control whose window procedure a test can answer messages in; it logs what its
// default handling receives and answers WM_GETDLGCODE with dlgCode.
class TProbe : public TCustomControl {
 public:
  explicit TProbe(TComponent* owner, const std::string& name = "") : TCustomControl(owner) { SetName(name); }
  const char* ClassName() const override { return "TProbe"; }
  // Answers the message itself (true) or lets the inherited handling run.
  std::function<bool(TMessage&)> answer;
  LRESULT dlgCode = 0;
  int border = 0;   // kept by AdjustClientRect
  std::vector<UINT> defaults;   // messages that reached DefaultHandler
  std::vector<UINT> received;

  void WndProc(TMessage& m) override {
    received.push_back(m.Msg);
    if (m.Msg == WM_DESTROY) journal.push_back(Name() + ":WM_DESTROY");
    if (answer && answer(m)) return;
    if (m.Msg == WM_GETDLGCODE) {
      m.Result = dlgCode;
      return;
    }
    TCustomControl::WndProc(m);
  }
  void DefaultHandler(TMessage& m) override {
    defaults.push_back(m.Msg);
    TCustomControl::DefaultHandler(m);
  }
  void AdjustClientRect(TRect& r) override {
    r.left += border;
    r.top += border;
    r.right -= border;
    r.bottom -= border;
  }
  int Received(UINT msg) const { return static_cast<int>(std::count(received.begin(), received.end(), msg)); }
};

// A windowless control that fills itself with its colour (far past its bounds: the parent
// clips it), or paints nothing and lets the pointer through when transparent.
class TSwatch : public TGraphicControl {
 public:
  explicit TSwatch(TComponent* owner, bool transparent = false) : TGraphicControl(owner), transparent_(transparent) {}
  const char* ClassName() const override { return "TSwatch"; }
  bool HitTest(int, int) const override { return !transparent_; }
  std::vector<UINT> received;
  void WndProc(TMessage& m) override {
    received.push_back(m.Msg);
    TGraphicControl::WndProc(m);
  }

 protected:
  void Paint() override {
    if (transparent_) return;
    RECT all{-500, -500, 1000, 1000};
    HBRUSH brush = CreateSolidBrush(ColorToRGB(Color()));
    FillRect(Canvas()->Handle(), &all, brush);
    DeleteObject(brush);
  }

 private:
  bool transparent_;
};

class TLogged : public TComponent {
 public:
  TLogged(TComponent* owner, const std::string& name) : TComponent(owner) { SetName(name); }
  ~TLogged() override { journal.push_back("delete " + Name()); }
  void BeforeDestruction() override {
    TComponent::BeforeDestruction();
    journal.push_back("before " + Name());
  }
};

std::string MouseLog(const char* what, TShiftState shift, int x, int y) {
  return std::string(what) + "(" + std::to_string(shift.Bits()) + "," + std::to_string(x) + "," + std::to_string(y) + ")";
}

// Logs the mouse events of a control into the journal, prefixed with its name.
void LogMouse(TControl* c, const std::string& name) {
  c->OnMouseDown = [name](TObject*, TMouseButton b, TShiftState s, int x, int y) {
    journal.push_back(name + ":" + MouseLog(b == mbLeft ? "down" : b == mbRight ? "rdown" : "mdown", s, x, y));
  };
  c->OnMouseUp = [name](TObject*, TMouseButton b, TShiftState s, int x, int y) {
    journal.push_back(name + ":" + MouseLog(b == mbLeft ? "up" : b == mbRight ? "rup" : "mup", s, x, y));
  };
  c->OnMouseMove = [name](TObject*, TShiftState s, int x, int y) { journal.push_back(name + ":" + MouseLog("move", s, x, y)); };
  c->OnClick = [name](TObject*) { journal.push_back(name + ":click"); };
  c->OnDblClick = [name](TObject*) { journal.push_back(name + ":dblclick"); };
}

LPARAM Point(int x, int y) { return MAKELPARAM(static_cast<WORD>(static_cast<short>(x)), static_cast<WORD>(static_cast<short>(y))); }

using Strings = std::vector<std::string>;

class ControlTest : public testing::Test {
 protected:
  void SetUp() override { journal.clear(); }
  void TearDown() override {
    SetPopupMenuPresenter(nullptr);
    ReleaseCapture();
    // The test's top controls are owned by owner_, freed with the fixture.
  }
  // A shown top-level container of the given client size.
  TProbe* Top(int width = 200, int height = 100, const std::string& name = "top") {
    auto* top = new TProbe(&owner_, name);
    top->SetBounds(40, 30, width, height);
    top->HandleNeeded();
    return top;
  }
  template <class T, class... Args>
  T* Child(TWinControl* parent, int l, int t, int w, int h, Args&&... args) {
    T* c = new T(&owner_, std::forward<Args>(args)...);
    c->SetBounds(l, t, w, h);
    c->SetParent(parent);
    return c;
  }

  zuvo::platform::ScopedDrivenClock clock_;
  TComponent owner_{nullptr};
};

// ---- Components ------------------------------------------------------------------------------

TEST_F(ControlTest, OwnerFindsByNameAndFreesWhatItOwnsLastFirst) {
  auto* root = new TLogged(nullptr, "root");
  auto* a = new TLogged(root, "Alpha");
  auto* b = new TLogged(root, "Beta");
  new TLogged(b, "BetaChild");
  new TLogged(root, "Gamma");
  EXPECT_EQ(root->ComponentCount(), 3);
  EXPECT_EQ(root->FindComponent("alpha"), a);
  EXPECT_EQ(root->FindComponent("BETA"), b);
  EXPECT_EQ(root->FindComponent("BetaChild"), nullptr);   // only what it owns itself
  EXPECT_EQ(root->FindComponent(""), nullptr);
  EXPECT_EQ(root->Components(1), b);
  EXPECT_THROW(root->Components(3), EListError);
  EXPECT_THROW(root->Components(-1), EListError);

  // A freed component leaves its owner; moving ownership takes it out of the old one.
  TComponent::Free(a);
  EXPECT_EQ(root->ComponentCount(), 2);
  EXPECT_EQ(root->FindComponent("Alpha"), nullptr);
  auto* other = new TLogged(nullptr, "other");
  other->InsertComponent(b);
  EXPECT_EQ(b->Owner(), other);
  EXPECT_EQ(root->ComponentCount(), 1);
  other->RemoveComponent(b);
  EXPECT_EQ(b->Owner(), nullptr);
  root->InsertComponent(b);

  journal.clear();
  TComponent::Free(root);
  TComponent::Free(other);
  TComponent::Free(nullptr);
  // Each runs BeforeDestruction while whole; what it owns is freed, last first, once its own
  // destructor body has run (the base destructor frees them).
  EXPECT_EQ(journal, (Strings{"before root", "delete root", "before Beta", "delete Beta", "before BetaChild",
                              "delete BetaChild", "before Gamma", "delete Gamma", "before other", "delete other"}));
}

TEST_F(ControlTest, ParentFreesItsChildrenAndAFreedControlLeavesParentAndOwner) {
  TProbe* top = Top();
  auto* panel = Child<TProbe>(top, 0, 0, 100, 50, "panel");
  auto* inner = Child<TProbe>(panel, 0, 0, 10, 10, "inner");
  auto* label = Child<TSwatch>(panel, 20, 0, 10, 10);
  HWND innerWindow = inner->Handle();
  ASSERT_NE(innerWindow, nullptr);
  const int owned = owner_.ComponentCount();

  // Freed through Free: the override still sees WM_DESTROY, the window goes.
  TComponent::Free(inner);
  EXPECT_EQ(journal, Strings{"inner:WM_DESTROY"});
  EXPECT_FALSE(IsWindow(innerWindow));
  EXPECT_EQ(panel->ControlCount(), 1);
  EXPECT_EQ(owner_.ComponentCount(), owned - 1);
  EXPECT_EQ(TWinControl::FromHandle(innerWindow), nullptr);

  // Freeing the panel frees its windowless child too (owned by someone else).
  TComponent::Free(panel);
  EXPECT_EQ(top->ControlCount(), 0);
  EXPECT_EQ(owner_.ComponentCount(), owned - 3);
  EXPECT_EQ(owner_.FindComponent("panel"), nullptr);
  (void)label;
}

TEST_F(ControlTest, AControlFreedFromItsOwnEventIsDeletedWhenTheMessageReturns) {
  TProbe* top = Top();
  auto* button = Child<TProbe>(top, 10, 10, 50, 20, "button");
  auto* spot = Child<TSwatch>(top, 100, 10, 50, 20);
  HWND buttonWindow = button->Handle();
  const int owned = owner_.ComponentCount();
  // The handlers free their own control; the events after Click must not run on it.
  button->OnClick = [](TObject* sender) { TComponent::Free(static_cast<TComponent*>(sender)); };
  button->OnMouseUp = [](TObject*, TMouseButton, TShiftState, int, int) { journal.push_back("button up after free"); };
  spot->OnClick = [](TObject* sender) { TComponent::Free(static_cast<TComponent*>(sender)); };
  spot->OnMouseUp = [](TObject*, TMouseButton, TShiftState, int, int) { journal.push_back("spot up after free"); };

  SendMessageA(buttonWindow, WM_LBUTTONDOWN, MK_LBUTTON, Point(5, 5));
  SendMessageA(buttonWindow, WM_LBUTTONUP, 0, Point(5, 5));
  EXPECT_FALSE(IsWindow(buttonWindow));
  EXPECT_EQ(owner_.ComponentCount(), owned - 1);
  EXPECT_EQ(top->ControlCount(), 1);

  // A windowless control, reached through its parent's window.
  SendMessageA(top->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, Point(110, 15));
  SendMessageA(top->Handle(), WM_LBUTTONUP, 0, Point(110, 15));
  EXPECT_EQ(top->ControlCount(), 0);
  EXPECT_EQ(owner_.ComponentCount(), owned - 2);
  EXPECT_EQ(journal, Strings{"button:WM_DESTROY"});   // nothing ran on the freed controls

  // A plain delete from its own handler, and a new control made in its place there.
  auto* old = Child<TProbe>(top, 10, 10, 50, 20, "old");
  TProbe* replacement = nullptr;
  old->OnClick = [&](TObject* sender) {
    delete sender;
    replacement = Child<TProbe>(top, 10, 10, 50, 20, "new");
  };
  old->OnMouseUp = [](TObject*, TMouseButton, TShiftState, int, int) { journal.push_back("old up after delete"); };
  HWND oldWindow = old->Handle();
  SendMessageA(oldWindow, WM_LBUTTONDOWN, MK_LBUTTON, Point(5, 5));
  SendMessageA(oldWindow, WM_LBUTTONUP, 0, Point(5, 5));
  EXPECT_FALSE(IsWindow(oldWindow));
  ASSERT_NE(replacement, nullptr);
  EXPECT_EQ(top->ControlCount(), 1);
  EXPECT_EQ(journal, Strings{"button:WM_DESTROY"});
  // The newcomer is freed at once when not busy, and deferred while busy, as any other.
  replacement->OnClick = [](TObject* sender) { TComponent::Free(static_cast<TComponent*>(sender)); };
  HWND newWindow = replacement->Handle();
  SendMessageA(newWindow, WM_LBUTTONDOWN, MK_LBUTTON, Point(5, 5));
  SendMessageA(newWindow, WM_LBUTTONUP, 0, Point(5, 5));
  EXPECT_FALSE(IsWindow(newWindow));
  EXPECT_EQ(top->ControlCount(), 0);

  // A child's click freeing its whole container (the owner frees the busy child too).
  auto* box = Child<TProbe>(top, 0, 0, 100, 100, "box");
  auto* ok = new TProbe(box, "ok");
  ok->SetBounds(5, 5, 20, 20);
  ok->SetParent(box);
  ok->OnClick = [box](TObject*) { TComponent::Free(box); };
  HWND okWindow = ok->Handle();
  SendMessageA(okWindow, WM_LBUTTONDOWN, MK_LBUTTON, Point(1, 1));
  SendMessageA(okWindow, WM_LBUTTONUP, 0, Point(1, 1));
  EXPECT_FALSE(IsWindow(okWindow));
  EXPECT_EQ(top->ControlCount(), 0);
}

// ---- The window procedure chain ----------------------------------------------------------------

TEST_F(ControlTest, EachControlKindHasItsClassWithTheSharedProcedure) {
  TProbe* top = Top();
  HWND window = top->Handle();
  char name[32] = {};
  GetClassNameA(window, name, sizeof name);
  EXPECT_STREQ(name, "TProbe");
  WNDCLASSA wc{};
  ASSERT_TRUE(GetClassInfoA(nullptr, "TProbe", &wc));
  EXPECT_EQ(wc.lpfnWndProc, &ControlWindowProc);
  EXPECT_NE(wc.style & CS_DBLCLKS, 0u);
  EXPECT_EQ(TWinControl::FromHandle(window), top);
  EXPECT_EQ(GetWindowLongPtrA(window, GWL_USERDATA), 0);   // left to the program
  EXPECT_EQ(GetWindowLongPtrA(window, GWL_WNDPROC), reinterpret_cast<LONG_PTR>(&ControlWindowProc));

  // A window of that class made without an object gets default handling.
  HWND bare = CreateWindowExA(0, "TProbe", "bare", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(bare, nullptr);
  EXPECT_EQ(TWinControl::FromHandle(bare), nullptr);
  EXPECT_EQ(SendMessageA(bare, WM_GETTEXTLENGTH, 0, 0), 4);
  SendMessageA(bare, WM_CLOSE, 0, 0);
  EXPECT_FALSE(IsWindow(bare));
}

TEST_F(ControlTest, AnOverrideAnsweringAMessageKeepsItsEventsFromRunning) {
  TProbe* top = Top();
  LogMouse(top, "top");
  bool answer = true;
  top->answer = [&](TMessage& m) {
    if (m.Msg != WM_LBUTTONDBLCLK || !answer) return false;
    journal.push_back("answered");
    return true;
  };
  HWND w = top->Handle();
  SendMessageA(w, WM_LBUTTONDBLCLK, MK_LBUTTON, Point(3, 4));
  EXPECT_EQ(journal, Strings{"answered"});

  journal.clear();
  answer = false;   // the inherited handling runs: both events
  SendMessageA(w, WM_LBUTTONDBLCLK, MK_LBUTTON, Point(3, 4));
  EXPECT_EQ(journal, (Strings{"top:dblclick", "top:" + MouseLog("down", TShiftState{ssLeft, ssDouble}, 3, 4)}));
  SendMessageA(w, WM_LBUTTONUP, 0, Point(3, 4));

  // A detached event is skipped, a re-attached one called; a swapped one calls the new handler.
  journal.clear();
  TNotifyEvent saved = top->OnClick;
  top->OnClick = nullptr;
  SendMessageA(w, WM_LBUTTONDOWN, MK_LBUTTON, Point(3, 4));
  SendMessageA(w, WM_LBUTTONUP, 0, Point(3, 4));
  EXPECT_EQ(std::count(journal.begin(), journal.end(), "top:click"), 0);
  top->OnClick = saved;
  SendMessageA(w, WM_LBUTTONDOWN, MK_LBUTTON, Point(3, 4));
  SendMessageA(w, WM_LBUTTONUP, 0, Point(3, 4));
  EXPECT_EQ(std::count(journal.begin(), journal.end(), "top:click"), 1);
}

LRESULT (*subclassedOld)(HWND, UINT, WPARAM, LPARAM) = nullptr;
int subclassSeen = 0;
LRESULT SubclassProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  if (m == WM_LBUTTONUP) ++subclassSeen;
  return CallWindowProcA(subclassedOld, w, m, wp, lp);
}

TEST_F(ControlTest, ASubclassedControlStillReachesItsObjectAndAFreedOneGetsDefaultHandling) {
  TProbe* top = Top();
  auto* button = Child<TProbe>(top, 0, 0, 50, 20, "button");
  int clicks = 0;
  button->OnClick = [&](TObject*) { ++clicks; };
  HWND w = button->Handle();
  subclassSeen = 0;
  subclassedOld = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(w, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(&SubclassProc)));
  ASSERT_EQ(subclassedOld, &ControlWindowProc);
  SendMessageA(w, WM_LBUTTONDOWN, MK_LBUTTON, Point(1, 1));
  SendMessageA(w, WM_LBUTTONUP, 0, Point(1, 1));
  EXPECT_EQ(subclassSeen, 1);
  EXPECT_EQ(clicks, 1);

  // Once the object is gone, the class procedure gives the default answer without touching it
  // (the sanitizer would see a freed object being used).
  TComponent::Free(button);
  EXPECT_EQ(ControlWindowProc(w, WM_LBUTTONUP, 0, Point(1, 1)), 0);
  EXPECT_EQ(clicks, 1);
}

TEST_F(ControlTest, AnExceptionLeavingAHandlerGoesToTheApplication) {
  std::vector<std::string> reported;
  TExceptionEvent saved = Application->OnException;
  Application->OnException = [&](TObject*, const std::exception& e) { reported.push_back(e.what()); };
  Application->HandleException(nullptr, Exception("probe"));
  if (reported.empty()) {
    Application->OnException = saved;
    GTEST_SKIP() << "Application->HandleException does not reach OnException yet";
  }
  reported.clear();
  TProbe* top = Top();
  top->OnClick = [](TObject*) { throw Exception("boom"); };
  EXPECT_NO_THROW({
    SendMessageA(top->Handle(), WM_LBUTTONDOWN, MK_LBUTTON, Point(1, 1));
    SendMessageA(top->Handle(), WM_LBUTTONUP, 0, Point(1, 1));
  });
  EXPECT_EQ(reported, Strings{"boom"});
  Application->OnException = saved;
}

// ---- Mouse -----------------------------------------------------------------------------------

TEST_F(ControlTest, ShiftStateBitsFollowTheMouseKeys) {
  struct Case {
    WPARAM keys;
    std::uint8_t bits;
  } cases[] = {
      {0, 0},
      {MK_SHIFT, 1u << 0},
      {MK_CONTROL, 1u << 2},
      {MK_LBUTTON, 1u << 3},
      {MK_RBUTTON, 1u << 4},
      {MK_MBUTTON, 1u << 5},
      {MK_SHIFT | MK_CONTROL | MK_LBUTTON | MK_RBUTTON | MK_MBUTTON, 0x3D},
  };
  for (const Case& c : cases) EXPECT_EQ(KeysToShiftState(c.keys).Bits(), c.bits) << c.keys;
  TShiftState s{ssShift, ssDouble};
  EXPECT_TRUE(s.Contains(ssDouble));
  EXPECT_EQ(s.Bits(), 0x41);
  s >> ssShift;
  EXPECT_EQ(s, TShiftState{ssDouble});
}

TEST_F(ControlTest, ADoubleClickRaisesDblClickThenADoubleMouseDownAndOneClick) {
  TProbe* top = Top();
  LogMouse(top, "top");
  HWND w = top->Handle();
  using zuvo::platform::SimulateMouse;
  SimulateMouse(w, WM_LBUTTONDOWN, 7, 8, MK_LBUTTON);
  SimulateMouse(w, WM_LBUTTONUP, 7, 8, 0);
  SimulateMouse(w, WM_LBUTTONDBLCLK, 7, 8, MK_LBUTTON | MK_SHIFT);
  SimulateMouse(w, WM_LBUTTONUP, 7, 8, 0);
  ProcessPendingMessages();
  EXPECT_EQ(journal, (Strings{"top:" + MouseLog("down", TShiftState{ssLeft}, 7, 8), "top:click",
                              "top:" + MouseLog("up", TShiftState{}, 7, 8), "top:dblclick",
                              "top:" + MouseLog("down", TShiftState{ssShift, ssLeft, ssDouble}, 7, 8),
                              "top:" + MouseLog("up", TShiftState{}, 7, 8)}));

  // Alt comes from the key state the message left.
  journal.clear();
  SimulateMouse(w, WM_RBUTTONDOWN, 2, 3, MK_RBUTTON | MK_CONTROL | zuvo::platform::kSimulatedAlt);
  SimulateMouse(w, WM_RBUTTONUP, 2, 3, 0);
  ProcessPendingMessages();
  ASSERT_FALSE(journal.empty());
  EXPECT_EQ(journal.front(), "top:" + MouseLog("rdown", TShiftState{ssAlt, ssCtrl, ssRight}, 2, 3));
}

TEST_F(ControlTest, AClickNeedsAPressAndAReleaseInsideAndCoordinatesAreSigned) {
  TProbe* top = Top(100, 50);
  LogMouse(top, "top");
  HWND w = top->Handle();
  struct Case {
    const char* name;
    bool press;
    int releaseX, releaseY;
    bool click;
  } cases[] = {
      {"inside", true, 10, 10, true},
      {"released outside right", true, 100, 10, false},
      {"released left of it", true, -3, 10, false},
      {"released above it", true, 10, -1, false},
      {"no press", false, 10, 10, false},
  };
  for (const Case& c : cases) {
    journal.clear();
    if (c.press) {
      SendMessageA(w, WM_LBUTTONDOWN, MK_LBUTTON, Point(10, 10));
      EXPECT_EQ(GetCapture(), w) << c.name;   // the release comes here wherever it is
    }
    SendMessageA(w, WM_LBUTTONUP, 0, Point(c.releaseX, c.releaseY));
    EXPECT_EQ(std::count(journal.begin(), journal.end(), "top:click"), c.click ? 1 : 0) << c.name;
    EXPECT_EQ(journal.back(), "top:" + MouseLog("up", TShiftState{}, c.releaseX, c.releaseY)) << c.name;
    EXPECT_EQ(GetCapture(), nullptr) << c.name;
  }
}

TEST_F(ControlTest, MouseOverAWindowlessChildGoesToItInItsOwnCoordinatesUntilReleased) {
  TProbe* top = Top(200, 100);
  auto* spot = Child<TSwatch>(top, 50, 20, 40, 30);
  auto* glass = Child<TSwatch>(top, 120, 20, 40, 30, true);
  LogMouse(top, "top");
  LogMouse(spot, "spot");
  LogMouse(glass, "glass");
  HWND w = top->Handle();

  SendMessageA(w, WM_MOUSEMOVE, 0, Point(60, 30));
  SendMessageA(w, WM_LBUTTONDOWN, MK_LBUTTON, Point(60, 30));
  EXPECT_EQ(GetCapture(), w);
  SendMessageA(w, WM_MOUSEMOVE, MK_LBUTTON, Point(150, 90));   // outside it, button held
  SendMessageA(w, WM_LBUTTONUP, 0, Point(150, 90));
  EXPECT_EQ(journal, (Strings{"spot:" + MouseLog("move", {}, 10, 10), "spot:" + MouseLog("down", {ssLeft}, 10, 10),
                              "spot:" + MouseLog("move", {ssLeft}, 100, 70), "spot:" + MouseLog("up", {}, 100, 70)}));
  EXPECT_EQ(GetCapture(), nullptr);

  journal.clear();
  SendMessageA(w, WM_LBUTTONDOWN, MK_LBUTTON, Point(89, 49));
  SendMessageA(w, WM_LBUTTONUP, 0, Point(89, 49));
  EXPECT_EQ(journal, (Strings{"spot:" + MouseLog("down", {ssLeft}, 39, 29), "spot:click",
                              "spot:" + MouseLog("up", {}, 39, 29)}));

  // The transparent one lets the pointer through to the parent; a hidden or disabled one too.
  journal.clear();
  SendMessageA(w, WM_LBUTTONDOWN, MK_LBUTTON, Point(130, 30));
  SendMessageA(w, WM_LBUTTONUP, 0, Point(130, 30));
  spot->SetEnabled(false);
  SendMessageA(w, WM_LBUTTONDOWN, MK_LBUTTON, Point(60, 30));
  SendMessageA(w, WM_LBUTTONUP, 0, Point(60, 30));
  EXPECT_EQ(journal, (Strings{"top:" + MouseLog("down", {ssLeft}, 130, 30), "top:click", "top:" + MouseLog("up", {}, 130, 30),
                              "top:" + MouseLog("down", {ssLeft}, 60, 30), "top:click", "top:" + MouseLog("up", {}, 60, 30)}));
  EXPECT_EQ(top->ControlAtPos(TPoint(130, 30)), nullptr);
  EXPECT_EQ(top->ControlAtPos(TPoint(60, 30), true), spot);
}

TEST_F(ControlTest, WindowlessChildrenAreToldWhenThePointerEntersAndLeaves) {
  TProbe* top = Top(200, 100);
  auto* a = Child<TSwatch>(top, 0, 0, 50, 50);
  auto* b = Child<TSwatch>(top, 40, 0, 50, 50);   // over a where they overlap
  HWND w = top->Handle();
  auto notes = [](TSwatch* s) {
    std::vector<UINT> out;
    for (UINT m : s->received) {
      if (m == CM_MOUSEENTER || m == CM_MOUSELEAVE) out.push_back(m);
    }
    return out;
  };
  SendMessageA(w, WM_MOUSEMOVE, 0, Point(10, 10));   // a
  SendMessageA(w, WM_MOUSEMOVE, 0, Point(45, 10));   // b, the topmost
  SendMessageA(w, WM_MOUSEMOVE, 0, Point(150, 10));  // none
  EXPECT_EQ(notes(a), (std::vector<UINT>{CM_MOUSEENTER, CM_MOUSELEAVE}));
  EXPECT_EQ(notes(b), (std::vector<UINT>{CM_MOUSEENTER, CM_MOUSELEAVE}));
}

TEST_F(ControlTest, WindowedControlsAreToldWhenThePointerEntersAndLeaves) {
  TProbe* top = Top(200, 100);
  auto* left = Child<TProbe>(top, 0, 0, 50, 50, "left");
  auto* right = Child<TProbe>(top, 100, 0, 50, 50, "right");
  ProcessPendingMessages();
  for (TProbe* p : {top, left, right}) p->received.clear();
  auto notes = [](TProbe* p) {
    std::vector<UINT> out;
    for (UINT m : p->received) {
      if (m == CM_MOUSEENTER || m == CM_MOUSELEAVE) out.push_back(m);
    }
    return out;
  };
  using zuvo::platform::SimulateMouse;
  SimulateMouse(left->Handle(), WM_MOUSEMOVE, 5, 5, 0);
  SimulateMouse(left->Handle(), WM_MOUSEMOVE, 6, 5, 0);
  ProcessPendingMessages();
  SimulateMouse(right->Handle(), WM_MOUSEMOVE, 5, 5, 0);
  ProcessPendingMessages();
  EXPECT_EQ(notes(left), (std::vector<UINT>{CM_MOUSEENTER, CM_MOUSELEAVE}));
  EXPECT_EQ(notes(right), std::vector<UINT>{CM_MOUSEENTER});
}

TEST_F(ControlTest, ARightReleaseShowsThePopupMenuAtTheScreenPoint) {
  static std::vector<std::string> shown;
  shown.clear();
  TPopupMenu popup(nullptr);   // made first: a popup menu installs the real presenter
  SetPopupMenuPresenter([](TPopupMenu* menu, int x, int y) {
    shown.push_back(std::to_string(reinterpret_cast<std::uintptr_t>(menu)) + "@" + std::to_string(x) + "," +
                    std::to_string(y));
    return true;
  });
  TProbe* top = Top(200, 100);
  auto* spot = Child<TSwatch>(top, 50, 20, 40, 30);
  TPopupMenu* menu = &popup;
  HWND w = top->Handle();
  SendMessageA(w, WM_RBUTTONDOWN, MK_RBUTTON, Point(60, 30));
  SendMessageA(w, WM_RBUTTONUP, 0, Point(60, 30));
  EXPECT_TRUE(shown.empty());   // no menu set
  spot->SetPopupMenu(menu);
  SendMessageA(w, WM_RBUTTONDOWN, MK_RBUTTON, Point(60, 30));
  SendMessageA(w, WM_RBUTTONUP, 0, Point(60, 30));
  TPoint screen = top->ClientToScreen(TPoint(60, 30));
  EXPECT_EQ(shown, Strings{std::to_string(reinterpret_cast<std::uintptr_t>(menu)) + "@" + std::to_string(screen.x) +
                            "," + std::to_string(screen.y)});
  EXPECT_EQ(spot->ClientToScreen(TPoint(10, 10)), screen);
  spot->SetPopupMenu(nullptr);
}

TEST_F(ControlTest, TheCursorIsTheScreensThenTheControlsUnderThePointer) {
  HCURSOR hand = Screen->Cursors(crHandPoint);
  if (hand == nullptr) GTEST_SKIP() << "Screen->Cursors does not give system cursors yet";
  TProbe* top = Top(200, 100);
  auto* spot = Child<TSwatch>(top, 50, 20, 40, 30);
  HWND w = top->Handle();
  TPoint overSpot = top->ClientToScreen(TPoint(60, 30));
  SetCursorPos(overSpot.x, overSpot.y);
  POINT now{};
  GetCursorPos(&now);
  if (now.x != overSpot.x || now.y != overSpot.y) GTEST_SKIP() << "the pointer cannot be placed here";
  LPARAM client = MAKELPARAM(HTCLIENT, WM_MOUSEMOVE);
  HCURSOR arrow = LoadCursorA(nullptr, IDC_ARROW);

  SendMessageA(w, WM_SETCURSOR, reinterpret_cast<WPARAM>(w), client);
  EXPECT_EQ(GetCursor(), arrow);   // crDefault: the class's cursor
  spot->SetCursor(crHandPoint);
  SendMessageA(w, WM_SETCURSOR, reinterpret_cast<WPARAM>(w), client);
  EXPECT_EQ(GetCursor(), hand);
  Screen->SetCursor(crHourGlass);
  SendMessageA(w, WM_SETCURSOR, reinterpret_cast<WPARAM>(w), client);
  EXPECT_EQ(GetCursor(), Screen->Cursors(crHourGlass));
  Screen->SetCursor(crDefault);
}

// ---- Keys ------------------------------------------------------------------------------------

// The focused control inside a top container that uses Enter, Esc, Tab and arrows as dialog keys.
class KeyTest : public ControlTest {
 protected:
  void SetUp() override {
    ControlTest::SetUp();
    top = Top(200, 100);
    top->answer = [this](TMessage& m) {
      if (m.Msg != CM_DIALOGKEY) return false;
      dialogKeys.push_back(static_cast<int>(m.WParam));
      shiftSeen = KeyboardShiftState();
      m.Result = dialogAnswer;
      return true;
    };
    edit = Child<TProbe>(top, 10, 10, 80, 20, "edit");
    edit->OnKeyDown = [](TObject*, WORD& key, TShiftState s) {
      journal.push_back("down " + std::to_string(key) + " " + std::to_string(s.Bits()));
    };
    edit->OnKeyUp = [](TObject*, WORD& key, TShiftState) { journal.push_back("up " + std::to_string(key)); };
    edit->OnKeyPress = [](TObject*, char& key) { journal.push_back("press " + std::to_string(static_cast<int>(key))); };
    ::SetFocus(edit->Handle());
    ASSERT_EQ(GetFocus(), edit->Handle());
  }
  void Press(int vk, const char* text, UINT modifiers = 0) {
    HWND w = edit->Handle();
    zuvo::platform::SimulateKey(w, vk, true, modifiers, text);
    zuvo::platform::SimulateKey(w, vk, false, modifiers);
    ProcessPendingMessages();
  }
  TProbe* top = nullptr;
  TProbe* edit = nullptr;
  std::vector<int> dialogKeys;
  LRESULT dialogAnswer = 1;
  TShiftState shiftSeen;
};

TEST_F(KeyTest, DialogKeysGoToTheTopUnlessTheControlClaimsThem) {
  struct Case {
    const char* name;
    int vk;
    const char* text;
    LRESULT dlgCode;
    bool toDialog;
  } cases[] = {
      {"Enter", VK_RETURN, "\r", 0, true},
      {"Enter claimed", VK_RETURN, "\r", DLGC_WANTALLKEYS, false},
      {"Enter with arrows wanted", VK_RETURN, "\r", DLGC_WANTARROWS, true},
      {"Esc", VK_ESCAPE, "\x1b", 0, true},
      {"Tab", VK_TAB, "\t", 0, true},
      {"Tab claimed", VK_TAB, "\t", DLGC_WANTTAB, false},
      {"Down", VK_DOWN, nullptr, 0, true},
      {"Down claimed", VK_DOWN, nullptr, DLGC_WANTARROWS, false},
      {"a letter", 'A', "a", 0, false},
  };
  for (const Case& c : cases) {
    journal.clear();
    dialogKeys.clear();
    edit->dlgCode = c.dlgCode;
    Press(c.vk, c.text);
    Strings expected;
    if (!c.toDialog) expected.push_back("down " + std::to_string(c.vk) + " 0");
    // The character of a used dialog key is not typed.
    if (!c.toDialog && c.text != nullptr) expected.push_back("press " + std::to_string(static_cast<int>(c.text[0])));
    expected.push_back("up " + std::to_string(c.vk));
    EXPECT_EQ(journal, expected) << c.name;
    EXPECT_EQ(dialogKeys, c.toDialog ? std::vector<int>{c.vk} : std::vector<int>{}) << c.name;
  }

  // A dialog key the top does not use reaches the control after all.
  journal.clear();
  dialogAnswer = 0;
  edit->dlgCode = 0;
  Press(VK_RETURN, "\r", MK_SHIFT);
  EXPECT_EQ(journal, (Strings{"down 13 1", "press 13", "up 13"}));
  EXPECT_EQ(shiftSeen, TShiftState{ssShift});
}

TEST_F(KeyTest, AKeyClearedToZeroStopsEverythingAfterIt) {
  HWND w = edit->Handle();
  // Consumed before it came (Application->OnMessage clears wParam): nothing runs.
  SendMessageA(w, WM_KEYDOWN, 0, 0);
  SendMessageA(w, WM_CHAR, 0, 0);
  EXPECT_TRUE(journal.empty());
  EXPECT_TRUE(dialogKeys.empty());
  EXPECT_EQ(std::count(edit->defaults.begin(), edit->defaults.end(), WM_KEYDOWN), 0);

  // A handler clearing the key keeps it from the default handling; a changed key goes on.
  edit->OnKeyDown = [](TObject*, WORD& key, TShiftState) {
    if (key == 'A') key = 0;
    if (key == 'B') key = 'C';
  };
  edit->OnKeyPress = [](TObject*, char& key) { key = 0; };
  edit->defaults.clear();
  SendMessageA(w, WM_KEYDOWN, 'A', 0);
  SendMessageA(w, WM_CHAR, 'x', 0);
  EXPECT_TRUE(edit->defaults.empty());
  std::vector<WPARAM> keysSeen;
  edit->answer = [&](TMessage& m) {
    if (m.Msg == WM_KEYDOWN) {
      edit->TCustomControl::WndProc(m);
      keysSeen.push_back(m.WParam);   // what the handling passed on
      return true;
    }
    return false;
  };
  SendMessageA(w, WM_KEYDOWN, 'B', 0);
  EXPECT_EQ(edit->defaults, std::vector<UINT>{WM_KEYDOWN});
  EXPECT_EQ(keysSeen, std::vector<WPARAM>{'C'});
}

TEST_F(KeyTest, TheFormPreviewsItsControlsKeys) {
  auto* form = new TForm(&owner_);
  auto* field = Child<TProbe>(form, 0, 0, 10, 10, "field");
  if (GetParentForm(field) != form) GTEST_SKIP() << "GetParentForm does not find forms yet";
  form->SetKeyPreview(true);
  form->OnKeyDown = [](TObject*, WORD& key, TShiftState) {
    journal.push_back("form down " + std::to_string(key));
    if (key == 'A') key = 0;
  };
  field->OnKeyDown = [](TObject*, WORD& key, TShiftState) { journal.push_back("field down " + std::to_string(key)); };
  field->Perform(WM_KEYDOWN, 'A', 0);
  field->Perform(WM_KEYDOWN, 'B', 0);
  EXPECT_EQ(journal, (Strings{"form down 65", "form down 66", "field down 66"}));
}

// ---- Focus and tab order -----------------------------------------------------------------------

TEST_F(ControlTest, TabOrderWalksTabStopsDepthFirstAndWraps) {
  TProbe* top = Top(300, 200);
  auto* a = Child<TProbe>(top, 0, 0, 10, 10, "a");
  auto* panel = Child<TProbe>(top, 0, 50, 100, 100, "panel");
  auto* b = Child<TProbe>(panel, 0, 0, 10, 10, "b");
  auto* c = Child<TProbe>(panel, 20, 0, 10, 10, "c");
  auto* d = Child<TProbe>(top, 20, 0, 10, 10, "d");
  for (TWinControl* x : {a, b, c, d}) x->SetTabStop(true);
  auto names = [&] {
    std::vector<TWinControl*> list;
    top->GetTabOrderList(list);
    std::string out;
    for (TWinControl* x : list) out += x->Name() + " ";
    return out;
  };
  EXPECT_EQ(names(), "a panel b c d ");
  d->SetTabOrder(0);
  c->SetTabOrder(99);   // clamped to the last place among its siblings
  b->SetTabOrder(-5);
  EXPECT_EQ(names(), "d a panel b c ");
  EXPECT_EQ(d->TabOrder(), 0);
  EXPECT_EQ(c->TabOrder(), 1);
  EXPECT_EQ(top->TabOrder(), -1);

  EXPECT_EQ(top->FindNextControl(a, true, true), b);   // the panel is no tab stop
  EXPECT_EQ(top->FindNextControl(c, true, true), d);   // wraps
  EXPECT_EQ(top->FindNextControl(d, false, true), c);
  EXPECT_EQ(top->FindNextControl(a, true, false), panel);
  EXPECT_EQ(top->FindNextControl(nullptr, true, true), d);
  b->SetVisible(false);
  c->SetEnabled(false);
  EXPECT_EQ(top->FindNextControl(a, true, true), d);
  panel->SetTabStop(true);
  EXPECT_EQ(top->FindNextControl(a, true, true), panel);

  top->SelectNext(d, true, true);
  EXPECT_EQ(GetFocus(), a->Handle());
  EXPECT_TRUE(a->Focused());
  // A hidden or disabled control (or one in a hidden parent) does not take the focus.
  b->SetFocus();
  c->SetFocus();
  EXPECT_EQ(GetFocus(), a->Handle());
  b->SetVisible(true);
  panel->SetVisible(false);
  EXPECT_FALSE(b->CanFocus());
  b->SetFocus();
  EXPECT_EQ(GetFocus(), a->Handle());
  panel->SetVisible(true);
  b->SetFocus();
  EXPECT_EQ(GetFocus(), b->Handle());
}

TEST_F(ControlTest, FocusOnAFormNotShownYetOnlyRecordsTheActiveControl) {
  auto* form = new TForm(&owner_);
  auto* field = Child<TProbe>(form, 0, 0, 10, 10, "field");
  if (GetParentForm(field) != form) GTEST_SKIP() << "GetParentForm does not find forms yet";
  HWND before = GetFocus();
  field->SetFocus();
  EXPECT_EQ(form->ActiveControl(), field);
  EXPECT_EQ(GetFocus(), before);
  field->SetVisible(false);
  form->SetActiveControl(nullptr);
  field->SetFocus();
  EXPECT_EQ(form->ActiveControl(), nullptr);
}

// ---- Alignment --------------------------------------------------------------------------------

TEST_F(ControlTest, AlignedControlsShareTheClientAreaAndNeverGetNegativeSizes) {
  TProbe* top = Top(200, 100);
  auto* t = Child<TProbe>(top, 0, 0, 5, 20, "t");
  auto* b = Child<TProbe>(top, 0, 0, 5, 10, "b");
  auto* l = Child<TSwatch>(top, 0, 0, 30, 5);
  auto* r = Child<TProbe>(top, 0, 0, 40, 5, "r");
  auto* c = Child<TProbe>(top, 0, 0, 1, 1, "c");
  auto* inner = Child<TProbe>(c, 0, 0, 5, 15, "inner");
  auto* rest = Child<TProbe>(c, 0, 0, 5, 5, "rest");
  // Set out of the class library's order: the order of kinds decides, not the order of calls.
  c->SetAlign(alClient);
  r->SetAlign(alRight);
  l->SetAlign(alLeft);
  b->SetAlign(alBottom);
  t->SetAlign(alTop);
  inner->SetAlign(alTop);
  rest->SetAlign(alClient);

  struct Case {
    int width, height;
    TRect t, b, l, r, c, inner, rest;
  } cases[] = {
      {200, 100, {0, 0, 200, 20}, {0, 90, 200, 100}, {0, 20, 30, 90}, {160, 20, 200, 90}, {30, 20, 160, 90},
       {0, 0, 130, 15}, {0, 15, 130, 70}},
      {50, 25, {0, 0, 50, 20}, {0, 20, 50, 25}, {0, 20, 30, 20}, {30, 20, 50, 20}, {30, 20, 30, 20},
       {0, 0, 0, 0}, {0, 0, 0, 0}},
      {10, 5, {0, 0, 10, 5}, {0, 5, 10, 5}, {0, 5, 10, 5}, {10, 5, 10, 5}, {10, 5, 10, 5}, {0, 0, 0, 0}, {0, 0, 0, 0}},
      {-20, -1, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}},
      // Room again: the controls get back the sizes they were given.
      {200, 100, {0, 0, 200, 20}, {0, 90, 200, 100}, {0, 20, 30, 90}, {160, 20, 200, 90}, {30, 20, 160, 90},
       {0, 0, 130, 15}, {0, 15, 130, 70}},
  };
  for (const Case& k : cases) {
    top->SetBounds(top->Left(), top->Top(), k.width, k.height);
    std::string at = std::to_string(k.width) + "x" + std::to_string(k.height);
    EXPECT_EQ(t->BoundsRect(), k.t) << at;
    EXPECT_EQ(b->BoundsRect(), k.b) << at;
    EXPECT_EQ(l->BoundsRect(), k.l) << at;
    EXPECT_EQ(r->BoundsRect(), k.r) << at;
    EXPECT_EQ(c->BoundsRect(), k.c) << at;
    EXPECT_EQ(inner->BoundsRect(), k.inner) << at;
    EXPECT_EQ(rest->BoundsRect(), k.rest) << at;
    RECT window{};
    GetClientRect(c->Handle(), &window);
    EXPECT_EQ(TRect(window), c->ClientRect()) << at;
  }

  // Hiding one gives its room to the others; a kept border narrows the area.
  t->SetVisible(false);
  EXPECT_EQ(l->BoundsRect(), TRect(0, 0, 30, 90));
  top->border = 5;
  top->Realign();
  EXPECT_EQ(b->BoundsRect(), TRect(5, 85, 195, 95));
  EXPECT_EQ(c->BoundsRect(), TRect(35, 5, 155, 85));
  // Resizing an aligned control moves its neighbours.
  b->SetHeight(30);
  EXPECT_EQ(b->BoundsRect(), TRect(5, 65, 195, 95));
  EXPECT_EQ(c->BoundsRect(), TRect(35, 5, 155, 65));
}

TEST_F(ControlTest, ResizeFollowsEverySizeChangeOnce) {
  TProbe* top = Top(100, 50);
  int resizes = 0;
  top->OnResize = [&](TObject*) { ++resizes; };
  top->SetBounds(top->Left(), top->Top(), 120, 50);
  EXPECT_EQ(resizes, 1);
  top->SetLeft(top->Left() + 5);   // a move is no resize
  EXPECT_EQ(resizes, 1);
  MoveWindow(top->Handle(), 0, 0, 80, 40, TRUE);   // the window resized by someone else
  EXPECT_EQ(resizes, 2);
  EXPECT_EQ(top->Width(), 80);
  EXPECT_EQ(top->Height(), 40);
  auto* spot = Child<TSwatch>(top, 0, 0, 10, 10);
  int spotResizes = 0;
  spot->OnResize = [&](TObject*) { ++spotResizes; };
  spot->SetAlign(alClient);
  EXPECT_EQ(spotResizes, 1);
  EXPECT_EQ(spot->BoundsRect(), TRect(0, 0, 80, 40));
}

// ---- Painting ---------------------------------------------------------------------------------

TEST_F(ControlTest, WindowlessControlsPaintOverTheParentsColourAndATransparentOneShowsIt) {
  TProbe* top = Top(120, 60);
  top->SetColor(clRed);
  auto* blue = Child<TSwatch>(top, 10, 10, 20, 20);
  blue->SetColor(clBlue);
  auto* glass = Child<TSwatch>(top, 40, 10, 20, 20, true);
  auto* follower = Child<TSwatch>(top, 70, 10, 20, 20);
  follower->SetParentColor(true);
  auto* hidden = Child<TSwatch>(top, 95, 10, 20, 20);
  hidden->SetColor(clBlue);
  hidden->SetVisible(false);
  HWND w = top->Handle();
  auto paintAndRead = [&](int x, int y) {
    InvalidateRect(w, nullptr, TRUE);
    UpdateWindow(w);
    HDC dc = GetDC(w);
    COLORREF pixel = GetPixel(dc, x, y);
    ReleaseDC(w, dc);
    return pixel;
  };
  EXPECT_EQ(follower->Color(), clRed);
  EXPECT_EQ(paintAndRead(5, 5), RGB(255, 0, 0));     // the parent's own colour
  EXPECT_EQ(paintAndRead(10, 10), RGB(0, 0, 255));   // the child, at its place
  EXPECT_EQ(paintAndRead(29, 29), RGB(0, 0, 255));
  EXPECT_EQ(paintAndRead(30, 30), RGB(255, 0, 0));   // clipped to its bounds
  EXPECT_EQ(paintAndRead(45, 15), RGB(255, 0, 0));   // transparent
  EXPECT_EQ(paintAndRead(75, 15), RGB(255, 0, 0));   // follows the parent's colour
  EXPECT_EQ(paintAndRead(100, 15), RGB(255, 0, 0));  // hidden

  top->SetColor(clLime);
  EXPECT_EQ(follower->Color(), clLime);
  EXPECT_EQ(paintAndRead(75, 15), RGB(0, 255, 0));
  EXPECT_EQ(paintAndRead(15, 15), RGB(0, 0, 255));
  // A child brought down under another is painted before it.
  blue->SetBounds(65, 5, 20, 20);
  follower->BringToFront();
  EXPECT_EQ(paintAndRead(72, 12), RGB(0, 255, 0));
  follower->SendToBack();
  EXPECT_EQ(paintAndRead(72, 12), RGB(0, 0, 255));
  (void)glass;
}

TEST_F(ControlTest, ACanvasOutsidePaintingDrawsOnTheWindowAndMeasuresWithTheControlsFont) {
  TProbe* top = Top(120, 60);
  TCanvas* canvas = top->Canvas();
  top->Font()->SetHeight(-24);
  const int wide = canvas->TextWidth("MMMM");
  EXPECT_GT(wide, 0);
  // XOR feedback drawn between paints lands in the window's image.
  canvas->Brush()->SetColor(clBlue);
  canvas->FillRect(TRect(0, 0, 10, 10));
  HWND w = top->Handle();
  HDC dc = GetDC(w);
  EXPECT_EQ(GetPixel(dc, 5, 5), RGB(0, 0, 255));
  ReleaseDC(w, dc);
  // Painting gives the canvas the control's font.
  struct Measuring : TProbe {
    using TProbe::TProbe;
    int height = 0;
    void Paint() override { height = Canvas()->Font()->Height(); }
  };
  auto* child = Child<Measuring>(top, 0, 0, 50, 20);
  child->Font()->SetHeight(-20);
  InvalidateRect(child->Handle(), nullptr, TRUE);
  UpdateWindow(child->Handle());
  EXPECT_EQ(child->height, -20);
  // The window going away gives the context back; the canvas takes a new one when asked.
  top->RecreateWnd();
  EXPECT_EQ(canvas->TextWidth("MMMM"), wide);
}

TEST_F(ControlTest, FreeNotificationTellsEachSideOfTheOthersFreeing) {
  struct Watcher : TComponent {
    using TComponent::TComponent;
    std::vector<TComponent*> freed;
    void Notification(TComponent* c, bool inserted) override {
      if (!inserted) freed.push_back(c);
    }
  };
  auto* watcher = new Watcher(nullptr);
  auto* a = new TComponent(nullptr);
  auto* b = new TComponent(nullptr);
  a->FreeNotification(watcher);
  b->FreeNotification(watcher);
  b->RemoveFreeNotification(watcher);
  TComponent::Free(a);
  TComponent::Free(b);
  EXPECT_EQ(watcher->freed, (std::vector<TComponent*>{a}));
  // The watcher freed first: the watched one no longer tells it.
  auto* c = new TComponent(nullptr);
  c->FreeNotification(watcher);
  TComponent::Free(watcher);
  TComponent::Free(c);
}

TEST_F(ControlTest, BoundsIncludeTheWindowsEdgesAndTheClientAreaLiesInside) {
  struct Bordered : TProbe {
    using TProbe::TProbe;
    void CreateParams(TCreateParams& params) override {
      TProbe::CreateParams(params);
      params.Style |= WS_BORDER;
    }
  };
  TProbe* top = Top(300, 200);
  auto* framed = Child<Bordered>(top, 10, 20, 100, 50);
  auto* filler = Child<TProbe>(framed, 0, 0, 5, 5);
  filler->SetAlign(alClient);
  ASSERT_NE(framed->Handle(), nullptr);
  EXPECT_EQ(framed->BoundsRect(), TRect(10, 20, 110, 70));
  EXPECT_EQ(framed->ClientWidth(), 98);
  EXPECT_EQ(framed->ClientHeight(), 48);
  EXPECT_EQ(filler->BoundsRect(), TRect(0, 0, 98, 48));
  framed->SetBounds(15, 25, 120, 60);
  EXPECT_EQ(framed->BoundsRect(), TRect(15, 25, 135, 85));
  EXPECT_EQ(filler->BoundsRect(), TRect(0, 0, 118, 58));
}

TEST_F(ControlTest, NotificationsOfAChildAreReflectedToIt) {
  TProbe* top = Top();
  auto* child = Child<TProbe>(top, 0, 0, 20, 20);
  std::vector<UINT> reflected;
  child->answer = [&](TMessage& m) {
    if (m.Msg < CN_BASE) return false;
    reflected.push_back(m.Msg - CN_BASE);
    m.Result = 7;
    return true;
  };
  HWND c = child->Handle();
  DRAWITEMSTRUCT item{};
  item.hwndItem = c;
  const LPARAM self = reinterpret_cast<LPARAM>(c);
  EXPECT_EQ(SendMessageA(top->Handle(), WM_COMMAND, MAKEWPARAM(0, BN_CLICKED), self), 7);
  EXPECT_EQ(SendMessageA(top->Handle(), WM_VSCROLL, SB_LINEDOWN, self), 7);
  EXPECT_EQ(SendMessageA(top->Handle(), WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&item)), 7);
  EXPECT_EQ(SendMessageA(top->Handle(), WM_CTLCOLORBTN, 0, self), 7);
  EXPECT_EQ(reflected, (std::vector<UINT>{WM_COMMAND, WM_VSCROLL, WM_DRAWITEM, WM_CTLCOLORBTN}));
  // A window that is not one of this library's controls gets the default answer.
  EXPECT_EQ(SendMessageA(top->Handle(), WM_COMMAND, 0, 0), 0);
}

TEST_F(ControlTest, PropertiesReachTheWindowAndNotifyTheControl) {
  TProbe* top = Top();
  auto* child = new TProbe(&owner_, "child");
  child->SetCaption("早");
  child->SetBounds(5, 6, 30, 20);
  child->SetEnabled(false);
  EXPECT_FALSE(child->HandleAllocated());   // setters make no window
  child->SetParent(top);                     // its parent has one: so does it now
  HWND w = child->Handle();
  ASSERT_TRUE(child->HandleAllocated());
  EXPECT_EQ(GetParent(w), top->Handle());
  EXPECT_FALSE(IsWindowEnabled(w));
  RECT r{};
  GetWindowRect(w, &r);
  POINT origin{0, 0};
  ClientToScreen(top->Handle(), &origin);
  EXPECT_EQ(TRect(r), TRect(origin.x + 5, origin.y + 6, origin.x + 35, origin.y + 26));
  char text[16] = {};
  GetWindowTextA(w, text, sizeof text);
  EXPECT_STREQ(text, "早");

  child->received.clear();
  child->SetCaption("晚");
  child->SetEnabled(true);
  child->SetVisible(false);
  EXPECT_EQ(child->Received(CM_TEXTCHANGED), 1);
  EXPECT_EQ(child->Received(CM_ENABLEDCHANGED), 1);
  EXPECT_EQ(child->Received(CM_VISIBLECHANGED), 1);
  EXPECT_TRUE(IsWindowEnabled(w));
  EXPECT_FALSE(IsWindowVisible(w));
  GetWindowTextA(w, text, sizeof text);
  EXPECT_STREQ(text, "晚");
  SetWindowTextA(w, "夜");   // the window's text is the caption
  EXPECT_EQ(child->Caption(), "夜");
  child->SetVisible(true);
  EXPECT_TRUE(IsWindowVisible(w));
  EXPECT_TRUE(child->Showing());
  top->SetVisible(false);
  EXPECT_FALSE(child->Showing());
  EXPECT_TRUE(child->Visible());
}

TEST_F(ControlTest, ParentFontAndColourFollowTheParentUntilSetOnTheControl) {
  TProbe* top = Top();
  auto* panel = Child<TProbe>(top, 0, 0, 50, 50, "panel");
  auto* label = Child<TSwatch>(panel, 0, 0, 10, 10);
  label->SetParentColor(true);
  top->Font()->SetSize(12);
  EXPECT_EQ(panel->Font()->Size(), 12);   // through the panel, which follows too
  EXPECT_EQ(label->Font()->Size(), 12);
  EXPECT_TRUE(label->ParentFont());
  label->Font()->SetName("SimSun");       // its own font now
  EXPECT_FALSE(label->ParentFont());
  top->Font()->SetSize(14);
  EXPECT_EQ(panel->Font()->Size(), 14);
  EXPECT_EQ(label->Font()->Size(), 12);
  label->SetParentFont(true);
  EXPECT_EQ(label->Font()->Size(), 14);
  EXPECT_EQ(label->Font()->Name(), "Tahoma");

  panel->SetColor(clYellow);
  EXPECT_EQ(label->Color(), clYellow);
  label->SetColor(clNavy);
  EXPECT_FALSE(label->ParentColor());
  panel->SetColor(clAqua);
  EXPECT_EQ(label->Color(), clNavy);
  // Moved to another parent, a follower takes that parent's.
  label->SetParentColor(true);
  label->SetParent(top);
  EXPECT_EQ(label->Color(), top->Color());
}

// ---- Bad input -------------------------------------------------------------------------------

TEST_F(ControlTest, CallsOnAControlWhoseWindowIsGoneDoNothing) {
  TProbe* top = Top(100, 50);
  auto* child = Child<TProbe>(top, 0, 0, 30, 20, "child");
  child->SetCaption("before");
  HWND old = child->Handle();
  ASSERT_NE(old, nullptr);
  DestroyWindow(old);
  EXPECT_FALSE(child->HandleAllocated());
  EXPECT_EQ(TWinControl::FromHandle(old), nullptr);
  EXPECT_EQ(SendMessageA(old, WM_GETTEXTLENGTH, 0, 0), 0);

  child->SetCaption("after");
  child->SetBounds(1, 2, -5, -7);
  child->SetVisible(false);
  child->SetVisible(true);
  child->SetEnabled(false);
  child->SetEnabled(true);
  child->SetColor(clWhite);
  child->Invalidate();
  child->Repaint();
  child->SetFocus();
  child->BringToFront();
  child->SetTabStop(true);
  EXPECT_EQ(child->Perform(WM_GETTEXTLENGTH), 0);
  EXPECT_FALSE(child->HandleAllocated());
  EXPECT_FALSE(child->Focused());
  EXPECT_EQ(child->Caption(), "after");
  EXPECT_EQ(child->BoundsRect(), TRect(1, 2, 1, 2));

  // Asking for the handle makes the window again, with what was set meanwhile.
  HWND again = child->Handle();
  ASSERT_NE(again, nullptr);
  char text[16] = {};
  GetWindowTextA(again, text, sizeof text);
  EXPECT_STREQ(text, "after");
}

TEST_F(ControlTest, NegativeSizesIndexesAndImpossibleParentsAreRefused) {
  TProbe* top = Top(100, 50);
  auto* panel = Child<TProbe>(top, 0, 0, 30, 20, "panel");
  auto* spot = Child<TSwatch>(panel, 0, 0, 5, 5);
  spot->SetBounds(3, 4, -1, -100);
  EXPECT_EQ(spot->Width(), 0);
  EXPECT_EQ(spot->Height(), 0);
  panel->SetWidth(-10);
  EXPECT_EQ(panel->Width(), 0);
  RECT client{};
  GetClientRect(panel->Handle(), &client);
  EXPECT_EQ(client.right, 0);
  EXPECT_THROW(panel->Controls(1), EListError);
  EXPECT_THROW(panel->Controls(-1), EListError);
  EXPECT_EQ(panel->Controls(0), spot);
  EXPECT_THROW(panel->SetParent(panel), EInvalidOperation);
  auto* inner = Child<TProbe>(panel, 0, 0, 5, 5, "inner");
  EXPECT_THROW(top->SetParent(inner), EInvalidOperation);
  EXPECT_EQ(top->Parent(), nullptr);
  EXPECT_TRUE(top->ContainsControl(inner));
  EXPECT_FALSE(inner->ContainsControl(top));

  // Moving a windowed control to another parent remakes its window there.
  HWND before = inner->Handle();
  inner->SetParent(top);
  EXPECT_FALSE(IsWindow(before));
  EXPECT_EQ(GetParent(inner->Handle()), top->Handle());
  inner->SetParent(nullptr);
  EXPECT_FALSE(inner->HandleAllocated());
  EXPECT_EQ(top->ControlCount(), 1);
}

}  // namespace

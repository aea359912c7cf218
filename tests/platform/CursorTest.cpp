// Cursors and the pointer, headless: which cursor WM_SETCURSOR shows, the program's cursor
// pictures, the virtual pointer with SetCursorPos and ClipCursor, hover tracking on the driven
// clock, and keybd_event / mouse_event typing and clicking into our own windows.
#include "platform/Cursor.h"

#include "platform/Application.h"

#include "platform/Button.h"
#include "platform/Desktop.h"
#include "platform/DrivenClock.h"
#include "platform/Edit.h"
#include "platform/FakeDesktop.h"
#include "platform/Form.h"
#include "platform/Input.h"
#include "platform/Kernel.h"
#include "platform/Message.h"
#include "platform/Paths.h"
#include "platform/internal/Cursor.h"

#include "support/TempInstall.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace {

using zuvo::platform::ProcessPendingMessages;
using zuvo::platform::SimulateMouse;

HCURSOR System(LPCSTR id) { return LoadCursorA(nullptr, id); }

// A control that logs its mouse messages and hit-test codes and may answer WM_NCHITTEST.
class TProbe : public TCustomControl {
 public:
  explicit TProbe(TComponent* owner) : TCustomControl(owner) {}
  const char* ClassName() const override { return "TCursorTestProbe"; }
  std::optional<LRESULT> hitAnswer;
  std::vector<TMessage> seen;   // WM_SETCURSOR, WM_NCHITTEST, WM_MOUSEMOVE, WM_MOUSEHOVER
  void WndProc(TMessage& m) override {
    if (m.Msg == WM_SETCURSOR || m.Msg == WM_NCHITTEST || m.Msg == WM_MOUSEMOVE || m.Msg == WM_MOUSEHOVER) {
      seen.push_back(m);
    }
    if (m.Msg == WM_NCHITTEST && hitAnswer) {
      m.Result = *hitAnswer;
      return;
    }
    TCustomControl::WndProc(m);
  }
  int Count(UINT msg) const {
    int n = 0;
    for (const TMessage& m : seen) n += m.Msg == msg ? 1 : 0;
    return n;
  }
  std::vector<POINT> Points(UINT msg) const {
    std::vector<POINT> points;
    for (const TMessage& m : seen) {
      if (m.Msg == msg) points.push_back(POINT{GET_X_LPARAM(m.LParam), GET_Y_LPARAM(m.LParam)});
    }
    return points;
  }
};

// A window that answers WM_SETCURSOR for its own window only and passes its children's on, as
// the chart does; `answerChildren` makes it decide for its children too (the wait cursor).
class TChartLike : public TProbe {
 public:
  using TProbe::TProbe;
  bool answerChildren = false;
  void WndProc(TMessage& m) override {
    if (m.Msg == WM_SETCURSOR && reinterpret_cast<HWND>(m.WParam) == Handle()) {
      ::SetCursor(LoadCursorA(nullptr, IDC_SIZENS));
      m.Result = 1;
      return;
    }
    if (m.Msg == WM_SETCURSOR && answerChildren) {
      ::SetCursor(LoadCursorA(nullptr, IDC_WAIT));
      m.Result = 1;
      return;
    }
    TProbe::WndProc(m);
  }
};

class CursorTest : public testing::Test {
 protected:
  void SetUp() override {
    form_ = NewForm<TForm>(nullptr);
    form_->SetBounds(100, 80, 400, 300);
    chart_ = new TChartLike(form_);
    chart_->SetBounds(10, 10, 300, 200);
    chart_->SetParent(form_);
    pane_ = new TProbe(chart_);
    pane_->SetBounds(20, 20, 100, 80);
    pane_->SetParent(chart_);
    form_->Show();
    ProcessPendingMessages();
  }
  void TearDown() override {
    ClipCursor(nullptr);
    ReleaseCapture();
    Screen->SetCursor(crDefault);
    TComponent::Free(form_);
    ProcessPendingMessages();
  }
  // The screen point of a client point of a control.
  static POINT ScreenOf(TWinControl* c, int x, int y) {
    POINT p{x, y};
    ClientToScreen(c->Handle(), &p);
    return p;
  }
  static void Move(TWinControl* c, int x, int y) {
    SimulateMouse(c->Handle(), WM_MOUSEMOVE, x, y, 0);
    ProcessPendingMessages();
  }

  TForm* form_ = nullptr;
  TChartLike* chart_ = nullptr;
  TProbe* pane_ = nullptr;
};

// ---- Which cursor shows --------------------------------------------------------------------------

TEST_F(CursorTest, SetCursorAsksTheHitTestThenTheScreenTheParentTheControlAndTheClass) {
  struct Case {
    const char* what;
    TCursor screen;
    TCursor paneCursor;
    bool chartAnswersChildren;
    std::optional<LRESULT> hit;   // the pane's WM_NCHITTEST answer; default handling when none
    LPCSTR shown;
    WORD hitSeen;
  };
  const Case cases[] = {
      {"the class cursor", crDefault, crDefault, false, std::nullopt, IDC_ARROW, HTCLIENT},
      {"the control's Cursor", crDefault, crCross, false, std::nullopt, IDC_CROSS, HTCLIENT},
      {"a parent answering first", crDefault, crCross, true, std::nullopt, IDC_WAIT, HTCLIENT},
      {"Screen->Cursor over everything", crHandPoint, crCross, true, std::nullopt, IDC_HAND, HTCLIENT},
      {"a hit outside the client area", crDefault, crCross, false, HTBORDER, IDC_ARROW, HTBORDER},
      {"the hit-test answer reaches the parent", crDefault, crDefault, true, HTBORDER, IDC_WAIT, HTBORDER},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Screen->SetCursor(c.screen);
    pane_->SetCursor(c.paneCursor);
    pane_->hitAnswer = c.hit;
    chart_->answerChildren = c.chartAnswersChildren;
    pane_->seen.clear();
    ::SetCursor(System(IDC_NO));
    Move(pane_, 30, 30);
    EXPECT_EQ(GetCursor(), System(c.shown));
    ASSERT_EQ(pane_->Count(WM_SETCURSOR), 1);
    ASSERT_GE(pane_->Count(WM_NCHITTEST), 1);
    EXPECT_EQ(pane_->seen.front().Msg, static_cast<UINT>(WM_NCHITTEST));   // asked before the cursor
    for (const TMessage& m : pane_->seen) {
      if (m.Msg == WM_SETCURSOR) {
        EXPECT_EQ(LOWORD(static_cast<DWORD>(m.LParam)), c.hitSeen);
        EXPECT_EQ(HIWORD(static_cast<DWORD>(m.LParam)), WM_MOUSEMOVE);
      }
    }
  }
}

TEST_F(CursorTest, AChartLikeWindowAnswersForItselfAndItsChildrenKeepTheirOwn) {
  pane_->SetCursor(crCross);
  ::SetCursor(System(IDC_NO));
  Move(chart_, 200, 150);   // the chart itself
  EXPECT_EQ(GetCursor(), System(IDC_SIZENS));
  Move(pane_, 10, 10);      // its child: passed on, the child's own cursor
  EXPECT_EQ(GetCursor(), System(IDC_CROSS));
  pane_->SetCursor(crDefault);
  Move(pane_, 12, 10);
  EXPECT_EQ(GetCursor(), System(IDC_ARROW));
}

TEST_F(CursorTest, NothingIsAskedWhileTheMouseIsCaptured) {
  pane_->SetCursor(crCross);
  SetCapture(pane_->Handle());
  ::SetCursor(System(IDC_NO));
  pane_->seen.clear();
  Move(pane_, 30, 30);
  Move(pane_, 500, 30);   // outside, still the capture's
  EXPECT_EQ(GetCursor(), System(IDC_NO));
  EXPECT_EQ(pane_->Count(WM_SETCURSOR), 0);
  EXPECT_EQ(pane_->Count(WM_NCHITTEST), 0);
  EXPECT_EQ(pane_->Count(WM_MOUSEMOVE), 2);
}

TEST(CursorShapes, LibraryShapesAndTheProgramsPicturesLoadOnceAndBadNamesGiveNull) {
  ASSERT_TRUE(zuvo::platform::EnsureApplication());   // pictures need the application
  testsupport::TempInstall install;
  const auto shipped = std::filesystem::path(__FILE__).parent_path() / ".." / ".." / "dist" / "bin" / "cursors";
  std::filesystem::copy(shipped, install.bin() / "cursors");
  testsupport::WriteBytes(install.bin() / "cursors" / "IDC_BROKEN.png", "\x89PNG\r\n\x1a\nnot really");
  zuvo::platform::paths::InvalidateCache();

  // The class library's split, drag and no-drop shapes are cursors of their own.
  for (short number : {crDrag, crNoDrop, crHSplit, crVSplit, crMultiDrag}) {
    SCOPED_TRACE(number);
    EXPECT_NE(LoadCursorA(nullptr, LibraryCursorName(number)), nullptr);
  }
  EXPECT_NE(LoadCursorA(nullptr, LibraryCursorName(crHSplit)), LoadCursorA(nullptr, LibraryCursorName(crVSplit)));
  EXPECT_EQ(zuvo::platform::cursor::QtCursorOf(LoadCursorA(nullptr, LibraryCursorName(crHSplit))).shape(),
            Qt::SplitHCursor);

  HINSTANCE self = GetModuleHandleA(nullptr);
  for (const char* name : {"IDC_CROSS", "IDC_HAND", "IDC_HAND2", "IDC_RUBBER", "IDC_DRAG"}) {
    SCOPED_TRACE(name);
    HCURSOR cursor = LoadCursorA(self, name);
    ASSERT_NE(cursor, nullptr);
    EXPECT_EQ(LoadCursorA(self, name), cursor);
    const QCursor shown = zuvo::platform::cursor::QtCursorOf(cursor);
    EXPECT_EQ(shown.shape(), Qt::BitmapCursor);
    EXPECT_EQ(shown.pixmap().width(), 32);
  }
  EXPECT_EQ(LoadCursorA(self, "idc_cross"), LoadCursorA(self, "IDC_CROSS"));
  EXPECT_EQ(zuvo::platform::cursor::QtCursorOf(LoadCursorA(self, "IDC_CROSS")).hotSpot(), QPoint(15, 15));

  for (const char* bad : {"IDC_NOSUCH", "IDC_BROKEN", "..\\cfg\\SETTING", "", "IDC CROSS"}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(LoadCursorA(self, bad), nullptr);
  }
  EXPECT_EQ(LoadCursorA(nullptr, "IDC_CROSS"), nullptr);        // a name needs the program's instance
  EXPECT_EQ(LoadCursorA(self, IDC_ARROW), nullptr);             // the program has no numbered cursors
  EXPECT_EQ(LoadCursorA(nullptr, MAKEINTRESOURCEA(12345)), nullptr);
  // A handle that is no cursor shows the arrow rather than crash.
  EXPECT_EQ(zuvo::platform::cursor::QtCursorOf(reinterpret_cast<HCURSOR>(&install)).shape(), Qt::ArrowCursor);
}

// ---- The virtual pointer --------------------------------------------------------------------------

TEST_F(CursorTest, SetCursorPosMovesTheVirtualPointerWithExactlyOneMove) {
  const POINT inPane = ScreenOf(pane_, 40, 30);
  pane_->seen.clear();
  ASSERT_TRUE(SetCursorPos(inPane.x, inPane.y));
  ProcessPendingMessages();
  POINT now{};
  ASSERT_TRUE(GetCursorPos(&now));
  EXPECT_EQ(now.x, inPane.x);
  EXPECT_EQ(now.y, inPane.y);
  ASSERT_EQ(pane_->Count(WM_MOUSEMOVE), 1);
  EXPECT_EQ(pane_->Points(WM_MOUSEMOVE)[0].x, 40);
  EXPECT_EQ(pane_->Points(WM_MOUSEMOVE)[0].y, 30);

  // Real moves update it too.
  Move(pane_, 5, 6);
  GetCursorPos(&now);
  EXPECT_EQ(now.x, ScreenOf(pane_, 5, 6).x);
  EXPECT_EQ(now.y, ScreenOf(pane_, 5, 6).y);

  // Off every window of ours: the pointer moves, nobody is told.
  pane_->seen.clear();
  SetCursorPos(5, 5);
  ProcessPendingMessages();
  GetCursorPos(&now);
  EXPECT_EQ(now.x, 5);
  EXPECT_EQ(pane_->Count(WM_MOUSEMOVE), 0);

  // While captured the one move goes to the capture.
  SetCapture(pane_->Handle());
  SetCursorPos(6, 7);
  ProcessPendingMessages();
  ASSERT_EQ(pane_->Count(WM_MOUSEMOVE), 1);
  EXPECT_EQ(pane_->Points(WM_MOUSEMOVE)[0].x, 6 - ScreenOf(pane_, 0, 0).x);
}

TEST_F(CursorTest, ClipCursorClampsThePointerAndTheDeliveredCoordinates) {
  const POINT origin = ScreenOf(pane_, 0, 0);
  // Inverted: put right way round.
  RECT clip{origin.x + 50, origin.y + 40, origin.x + 10, origin.y + 20};
  ASSERT_TRUE(ClipCursor(&clip));
  RECT got{};
  GetClipCursor(&got);
  EXPECT_EQ(got.left, origin.x + 10);
  EXPECT_EQ(got.top, origin.y + 20);
  EXPECT_EQ(got.right, origin.x + 50);
  EXPECT_EQ(got.bottom, origin.y + 40);

  POINT now{};
  SetCursorPos(0, 0);
  ProcessPendingMessages();
  GetCursorPos(&now);
  EXPECT_EQ(now.x, origin.x + 10);
  EXPECT_EQ(now.y, origin.y + 20);

  struct Case {
    int x, y;           // where the real pointer went, in the pane's client coordinates
    int wantX, wantY;   // what the pane is told
  };
  const Case cases[] = {{30, 30, 30, 30}, {90, 30, 49, 30}, {2, 70, 10, 39}, {-5, -5, 10, 20}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.x << "," << c.y);
    pane_->seen.clear();
    Move(pane_, c.x, c.y);
    ASSERT_EQ(pane_->Count(WM_MOUSEMOVE), 1);
    EXPECT_EQ(pane_->Points(WM_MOUSEMOVE)[0].x, c.wantX);
    EXPECT_EQ(pane_->Points(WM_MOUSEMOVE)[0].y, c.wantY);
    GetCursorPos(&now);
    EXPECT_EQ(now.x, origin.x + c.wantX);
    EXPECT_EQ(now.y, origin.y + c.wantY);
  }

  ClipCursor(nullptr);
  SetCursorPos(3, 4);
  GetCursorPos(&now);
  EXPECT_EQ(now.x, 3);
  EXPECT_EQ(now.y, 4);
}

// ---- Hover ----------------------------------------------------------------------------------------

TEST_F(CursorTest, OneHoverAfterTheHoverTimeAndNoneWhenThePointerLeftTheBoxFirst) {
  zuvo::platform::ScopedDrivenClock clock;
  auto arm = [&](DWORD time) {
    TRACKMOUSEEVENT track{sizeof(TRACKMOUSEEVENT), TME_HOVER, pane_->Handle(), time};
    ASSERT_TRUE(TrackMouseEvent(&track));
  };

  // Still: one WM_MOUSEHOVER at 400 ms, where the pointer is.
  Move(pane_, 30, 30);
  pane_->seen.clear();
  arm(HOVER_DEFAULT);
  clock.FastForward(399);
  EXPECT_EQ(pane_->Count(WM_MOUSEHOVER), 0);
  clock.FastForward(1);
  ProcessPendingMessages();
  ASSERT_EQ(pane_->Count(WM_MOUSEHOVER), 1);
  EXPECT_EQ(pane_->Points(WM_MOUSEHOVER)[0].x, 30);
  EXPECT_EQ(pane_->Points(WM_MOUSEHOVER)[0].y, 30);
  clock.FastForward(2000);   // once per request
  EXPECT_EQ(pane_->Count(WM_MOUSEHOVER), 1);

  // Small moves inside the 4 x 4 box keep the time running.
  pane_->seen.clear();
  arm(HOVER_DEFAULT);
  clock.FastForward(200);
  Move(pane_, 31, 29);
  clock.FastForward(200);
  ProcessPendingMessages();
  EXPECT_EQ(pane_->Count(WM_MOUSEHOVER), 1);

  // Leaving the box first: nothing at 400 ms; the time starts again from the new place.
  pane_->seen.clear();
  arm(HOVER_DEFAULT);
  clock.FastForward(200);
  Move(pane_, 34, 31);
  clock.FastForward(200);
  ProcessPendingMessages();
  EXPECT_EQ(pane_->Count(WM_MOUSEHOVER), 0);
  clock.FastForward(200);
  ProcessPendingMessages();
  EXPECT_EQ(pane_->Count(WM_MOUSEHOVER), 1);

  // A time of its own; leaving the window ends it; cancelling withdraws it.
  pane_->seen.clear();
  arm(100);
  clock.FastForward(100);
  ProcessPendingMessages();
  EXPECT_EQ(pane_->Count(WM_MOUSEHOVER), 1);
  arm(HOVER_DEFAULT);
  Move(chart_, 250, 150);
  clock.FastForward(1000);
  arm(HOVER_DEFAULT);
  TRACKMOUSEEVENT cancel{sizeof(TRACKMOUSEEVENT), TME_HOVER | TME_CANCEL, pane_->Handle(), 0};
  TrackMouseEvent(&cancel);
  clock.FastForward(1000);
  ProcessPendingMessages();
  EXPECT_EQ(pane_->Count(WM_MOUSEHOVER), 1);
}

// ---- Synthesised input ----------------------------------------------------------------------------

void Press(BYTE key, DWORD flags = 0) {
  keybd_event(key, 0, flags, 0);
  keybd_event(key, 0, flags | KEYEVENTF_KEYUP, 0);
}

TEST_F(CursorTest, KeybdEventTypesIntoTheFocusedEditWithAUsLayout) {
  auto* edit = new TEdit(form_);
  edit->SetBounds(10, 220, 200, 24);
  edit->SetParent(form_);
  edit->SetFocus();
  ProcessPendingMessages();

  // "MA(,)" as the formula editor enters a template, then the caret two to the left.
  keybd_event(VK_SHIFT, 0, 0, 0);
  Press('M');
  Press('A');
  Press('9');
  keybd_event(VK_SHIFT, 0, KEYEVENTF_KEYUP, 0);
  Press(VK_OEM_COMMA);
  keybd_event(VK_SHIFT, 0, 0, 0);
  Press('0');
  keybd_event(VK_SHIFT, 0, KEYEVENTF_KEYUP, 0);
  Press(VK_LEFT, KEYEVENTF_EXTENDEDKEY);
  Press(VK_LEFT, KEYEVENTF_EXTENDEDKEY);
  ProcessPendingMessages();
  EXPECT_EQ(edit->Text(), "MA(,)");
  EXPECT_EQ(edit->SelStart(), 3);
  EXPECT_EQ(edit->SelLength(), 0);

  // The other shifted symbols of the templates, and plain punctuation and digits.
  edit->SetText("");
  const std::pair<BYTE, bool> keys[] = {
      {VK_OEM_4, true}, {VK_OEM_6, true}, {VK_OEM_1, true}, {VK_OEM_COMMA, true}, {VK_OEM_PERIOD, true},
      {VK_OEM_7, true}, {'4', true},      {VK_OEM_1, false}, {VK_OEM_7, false},   {'4', false}, {'C', false}};
  for (const auto& [key, shift] : keys) {
    if (shift) keybd_event(VK_SHIFT, 0, 0, 0);
    Press(key);
    if (shift) keybd_event(VK_SHIFT, 0, KEYEVENTF_KEYUP, 0);
  }
  ProcessPendingMessages();
  EXPECT_EQ(edit->Text(), "{}:<>\"$;'4c");

  // The key state follows as the keys leave the queue.
  keybd_event(VK_SHIFT, 0, 0, 0);
  ProcessPendingMessages();
  EXPECT_NE(GetKeyState(VK_SHIFT) & 0x8000, 0);
  keybd_event(VK_SHIFT, 0, KEYEVENTF_KEYUP, 0);
  ProcessPendingMessages();
  EXPECT_EQ(GetKeyState(VK_SHIFT) & 0x8000, 0);
}

TEST_F(CursorTest, MouseEventClicksTheButtonUnderTheVirtualPointer) {
  auto* button = new TButton(form_);
  button->SetBounds(320, 220, 60, 24);
  button->SetParent(form_);
  int clicks = 0;
  button->OnClick = [&](TObject*) { ++clicks; };
  ProcessPendingMessages();

  const POINT on = ScreenOf(button, 30, 12);
  SetCursorPos(on.x, on.y);
  mouse_event(MOUSEEVENTF_LEFTDOWN, 0, 0, 0, 0);
  mouse_event(MOUSEEVENTF_LEFTUP, 0, 0, 0, 0);
  ProcessPendingMessages();
  EXPECT_EQ(clicks, 1);
  mouse_event(MOUSEEVENTF_LEFTDOWN | MOUSEEVENTF_LEFTUP, 0, 0, 0, 0);
  ProcessPendingMessages();
  EXPECT_EQ(clicks, 2);

  // Pressed on the button, released elsewhere: the button's capture gets the release, no click.
  mouse_event(MOUSEEVENTF_LEFTDOWN, 0, 0, 0, 0);
  ProcessPendingMessages();
  const POINT off = ScreenOf(form_, 5, 5);
  SetCursorPos(off.x, off.y);
  mouse_event(MOUSEEVENTF_LEFTUP, 0, 0, 0, 0);
  ProcessPendingMessages();
  EXPECT_EQ(clicks, 2);
  EXPECT_EQ(GetCapture(), nullptr);
}

// With another program's window in front the same calls go to the desktop instead; once ours
// is in front again they reach our windows.
TEST_F(CursorTest, SynthesisedInputGoesToTheProgramInFront) {
  auto* edit = new TEdit(form_);
  edit->SetBounds(10, 220, 200, 24);
  edit->SetParent(form_);
  edit->SetFocus();
  ProcessPendingMessages();
  zuvo::platform::ScopedFakeDesktop desktop;
  HWND other = desktop->AddWindow(desktop->AddProcess("C:\\a.exe"), {.title = "a", .rect = {600, 500, 700, 560}});
  ASSERT_EQ(desktop->Foreground(), other);

  const POINT onEdit = ScreenOf(edit, 5, 5);
  SetCursorPos(onEdit.x, onEdit.y);
  Press('X');
  mouse_event(MOUSEEVENTF_LEFTDOWN | MOUSEEVENTF_LEFTUP, 0, 0, 0, 0);
  ProcessPendingMessages();
  EXPECT_EQ(edit->Text(), "");
  EXPECT_EQ(desktop->LogLines().size(), 4u);   // the key down and up, the button down and up

  desktop->SetForeground(nullptr);
  Press('Y');
  ProcessPendingMessages();
  EXPECT_EQ(edit->Text(), "y");
  EXPECT_EQ(desktop->LogLines().size(), 4u);
}

}  // namespace

#include "platform/ScrollBar.h"

#include "platform/DrivenClock.h"
#include "platform/Form.h"
#include "platform/Input.h"
#include "platform/Message.h"
#include "platform/WinUser.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace {

using zuvo::platform::ProcessPendingMessages;
using zuvo::platform::SimulateKey;
using zuvo::platform::SimulateMouse;

struct Event {
  int code;
  int pos;
  bool operator==(const Event&) const = default;
};
using Events = std::vector<Event>;

std::ostream& operator<<(std::ostream& out, const Event& e) { return out << "{" << e.code << "," << e.pos << "}"; }

// A form that logs the scroll notifications its children send it.
class THostForm : public TForm {
 public:
  using TForm::TForm;
  std::vector<std::pair<UINT, WORD>> scrolls;   // message, code
  void WndProc(TMessage& m) override {
    if (m.Msg == WM_HSCROLL || m.Msg == WM_VSCROLL) scrolls.emplace_back(m.Msg, m.WParamLo());
    TForm::WndProc(m);
  }
};

// Stands for the edit an up-down is associated with: its caption is its text.
class TTextDouble : public TWinControl {
 public:
  using TWinControl::TWinControl;
  const char* ClassName() const override { return "TTextDouble"; }
  // Keeps the arrows, as an edit does.
  void WndProc(TMessage& m) override {
    if (m.Msg == WM_GETDLGCODE) {
      m.Result = DLGC_WANTARROWS;
      return;
    }
    TWinControl::WndProc(m);
  }
};

class ScrollBarTest : public testing::Test {
 public:
  void SetUp() override {
    form_ = NewForm<THostForm>(nullptr);
    form_->SetClientWidth(400);
    form_->SetClientHeight(300);
    form_->Show();
    ProcessPendingMessages();
  }
  void TearDown() override {
    ReleaseCapture();
    TComponent::Free(form_);
    ProcessPendingMessages();
  }

  // A vertical bar 16 x 200: arrows 0..15 and 184..199, a 168-pixel track.
  TScrollBar* Bar(TScrollBarKind kind = sbVertical, int length = 200) {
    auto* bar = new TScrollBar(form_);
    bar->SetKind(kind);
    if (kind == sbVertical) bar->SetBounds(10, 10, 16, length); else bar->SetBounds(10, 10, length, 16);
    bar->SetParent(form_);
    bar->OnScroll = [this](TObject*, TScrollCode code, int& pos) { events_.push_back({code, pos}); };
    ProcessPendingMessages();
    return bar;
  }
  void Mouse(TWinControl* c, UINT msg, int x, int y) {
    SimulateMouse(c->Handle(), msg, x, y, msg == WM_LBUTTONUP ? 0 : MK_LBUTTON);
    ProcessPendingMessages();
  }
  void Down(TWinControl* c, int x, int y) { Mouse(c, WM_LBUTTONDOWN, x, y); }
  void SecondDown(TWinControl* c, int x, int y) { Mouse(c, WM_LBUTTONDBLCLK, x, y); }   // of a double click
  void Move(TWinControl* c, int x, int y) { Mouse(c, WM_MOUSEMOVE, x, y); }
  void Up(TWinControl* c, int x, int y) { Mouse(c, WM_LBUTTONUP, x, y); }
  void Key(TWinControl* c, int key) {
    SimulateKey(c->Handle(), key, true, 0);
    ProcessPendingMessages();
    SimulateKey(c->Handle(), key, false, 0);
    ProcessPendingMessages();
  }
  void Wait(UINT ms) { clock_.FastForward(ms); }

 protected:
  zuvo::platform::ScopedDrivenClock clock_;
  THostForm* form_ = nullptr;
  Events events_;
};

// ---- Scroll codes ----------------------------------------------------------------------------------

// Geometry of the vertical 16 x 200 bar with range 0..100 and no page: the thumb is 16 pixels,
// and position p puts its top at 16 + 152 * p / 100 (position 50: 92..107).
TEST_F(ScrollBarTest, InputSequencesGiveTheClassLibrarysScrollCodes) {
  using Fixture = ScrollBarTest;
  struct Case {
    const char* name;
    TScrollBarKind kind;
    int max;
    int page;
    int start;
    std::function<void(Fixture&, TScrollBar*)> input;
    Events expected;
    int final;
  };
  const Case cases[] = {
      {"down arrow held for three repeats", sbVertical, 100, 0, 50,
       [](Fixture& f, TScrollBar* b) {
         f.Down(b, 8, 195);
         f.Wait(TScrollBar::kRepeatDelay);                  // first repeat
         f.Wait(2 * TScrollBar::kRepeatInterval);           // two more
         f.Up(b, 8, 195);
         f.Wait(10 * TScrollBar::kRepeatInterval);          // released: nothing more
       },
       {{scLineDown, 51}, {scLineDown, 52}, {scLineDown, 53}, {scLineDown, 54}, {scEndScroll, 54}}, 54},
      {"arrow held with the pointer off it repeats nothing until it comes back", sbVertical, 100, 0, 50,
       [](Fixture& f, TScrollBar* b) {
         f.Down(b, 8, 5);
         f.Move(b, 40, 5);
         f.Wait(TScrollBar::kRepeatDelay + 3 * TScrollBar::kRepeatInterval);
         f.Move(b, 8, 5);
         f.Wait(TScrollBar::kRepeatInterval);
         f.Up(b, 8, 5);
       },
       {{scLineUp, 49}, {scLineUp, 48}, {scEndScroll, 48}}, 48},
      {"left arrow click on a horizontal bar", sbHorizontal, 100, 0, 50,
       [](Fixture& f, TScrollBar* b) {
         f.Down(b, 3, 8);
         f.Up(b, 3, 8);
       },
       {{scLineUp, 49}, {scEndScroll, 49}}, 49},
      {"page click below the thumb", sbVertical, 100, 0, 50,
       [](Fixture& f, TScrollBar* b) {
         f.Down(b, 8, 150);
         f.Up(b, 8, 150);
       },
       {{scPageDown, 60}, {scEndScroll, 60}}, 60},
      {"page held until the thumb reaches the pointer", sbVertical, 100, 0, 50,
       [](Fixture& f, TScrollBar* b) {
         f.Down(b, 8, 150);
         f.Wait(TScrollBar::kRepeatDelay + 10 * TScrollBar::kRepeatInterval);
         f.Up(b, 8, 150);
       },
       // Thumb tops 107, 122, 138: at 80 the thumb covers row 150.
       {{scPageDown, 60}, {scPageDown, 70}, {scPageDown, 80}, {scEndScroll, 80}}, 80},
      {"page up above the thumb", sbVertical, 100, 0, 50,
       [](Fixture& f, TScrollBar* b) {
         f.Down(b, 8, 40);
         f.Up(b, 8, 40);
       },
       {{scPageUp, 40}, {scEndScroll, 40}}, 40},
      {"thumb drag, past the end, back, release", sbVertical, 100, 0, 50,
       [](Fixture& f, TScrollBar* b) {
         f.Down(b, 8, 100);   // 8 pixels into the thumb
         f.Move(b, 8, 130);   // top 122: 70
         f.Move(b, 8, 131);   // top 123: still 70, no report
         f.Move(b, 8, 300);   // held at the end
         f.Move(b, 30, 40);   // top 32: 11 (the pointer may leave the bar sideways)
         f.Up(b, 30, 40);
       },
       {{scTrack, 70}, {scTrack, 100}, {scTrack, 11}, {scPosition, 11}, {scEndScroll, 11}}, 11},
      {"thumb pressed and released without moving", sbVertical, 100, 0, 50,
       [](Fixture& f, TScrollBar* b) {
         f.Down(b, 8, 95);
         f.Up(b, 8, 95);
       },
       {{scPosition, 50}, {scEndScroll, 50}}, 50},
      {"thumb dragged to the end with a page: the last page", sbVertical, 100, 20, 0,
       [](Fixture& f, TScrollBar* b) {
         f.Down(b, 8, 20);
         f.Move(b, 8, 199);
         f.Up(b, 8, 199);
       },
       {{scTrack, 81}, {scPosition, 81}, {scEndScroll, 81}}, 81},
      {"positions past 16 bits reach the handler whole", sbVertical, 200000, 0, 0,
       [](Fixture& f, TScrollBar* b) {
         f.Down(b, 8, 20);
         f.Move(b, 8, 199);
         f.Up(b, 8, 199);
       },
       {{scTrack, 200000}, {scPosition, 200000}, {scEndScroll, 200000}}, 200000},
      {"keyboard: arrows, pages, home, end", sbVertical, 100, 0, 50,
       [](Fixture& f, TScrollBar* b) {
         b->SetFocus();
         for (int key : {VK_DOWN, VK_NEXT, VK_HOME, VK_END, VK_UP, VK_PRIOR}) f.Key(b, key);
       },
       {{scLineDown, 51}, {scEndScroll, 51}, {scPageDown, 61}, {scEndScroll, 61}, {scTop, 0}, {scEndScroll, 0},
        {scBottom, 100}, {scEndScroll, 100}, {scLineUp, 99}, {scEndScroll, 99}, {scPageUp, 89}, {scEndScroll, 89}},
       89},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TScrollBar* bar = Bar(c.kind);
    bar->SetParams(c.start, 0, c.max);
    bar->SetPageSize(c.page);
    bar->SetPosition(c.start);
    bar->SetLargeChange(10);
    events_.clear();
    form_->scrolls.clear();
    c.input(*this, bar);
    EXPECT_EQ(events_, c.expected);
    EXPECT_EQ(bar->Position(), c.final);
    EXPECT_EQ(GetCapture(), nullptr);
    // Every code went through the parent as the window message of the bar's kind.
    ASSERT_EQ(form_->scrolls.size(), c.expected.size());
    for (std::size_t i = 0; i < c.expected.size(); ++i) {
      EXPECT_EQ(form_->scrolls[i].first, c.kind == sbVertical ? WM_VSCROLL : WM_HSCROLL);
      EXPECT_EQ(form_->scrolls[i].second, c.expected[i].code);
    }
    TComponent::Free(bar);
  }
}

TEST_F(ScrollBarTest, TheHandlersPositionIsTheOneKept) {
  TScrollBar* bar = Bar();
  int changes = 0;
  bar->OnChange = [&](TObject*) { ++changes; };
  // Lines move by whole tens; a drag only previews (the position stays until the release);
  // a handler's answer out of range is held to it.
  bar->OnScroll = [&](TObject*, TScrollCode code, int& pos) {
    events_.push_back({code, pos});
    if (code == scLineDown) pos = (pos / 10 + 1) * 10;
    if (code == scTrack) pos = bar->Position();
    if (code == scPosition) pos = pos / 10 * 10;
    if (code == scPageDown) pos = 1000;
  };
  bar->SetPosition(42);
  changes = 0;
  Down(bar, 8, 195);
  Up(bar, 8, 195);
  EXPECT_EQ(bar->Position(), 50);
  EXPECT_EQ(changes, 1);

  Down(bar, 8, 100);       // thumb at 92..107
  Move(bar, 8, 130);       // 70
  EXPECT_EQ(bar->Position(), 50);
  EXPECT_EQ(bar->TrackPosition(), 70);
  Move(bar, 8, 132);       // 71
  Up(bar, 8, 132);
  EXPECT_EQ(bar->Position(), 70);
  EXPECT_EQ(changes, 2);

  Down(bar, 8, 170);
  Up(bar, 8, 170);
  EXPECT_EQ(bar->Position(), 100);
  EXPECT_EQ(changes, 3);
  // At the end a line down is offered the end and changes nothing.
  events_.clear();
  bar->OnScroll = [&](TObject*, TScrollCode code, int& pos) { events_.push_back({code, pos}); };
  Down(bar, 8, 195);
  Up(bar, 8, 195);
  EXPECT_EQ(events_, (Events{{scLineDown, 100}, {scEndScroll, 100}}));
  EXPECT_EQ(changes, 3);
}

// ---- Subclassing through the window procedure -------------------------------------------------------

namespace subclass {
WNDPROC previous = nullptr;
std::vector<std::string> seen;
bool scrollInProgress = false;
// Watches the press and the capture change, as a list view watching its scroll bar does, and
// hands everything on.
LRESULT Proc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_LBUTTONDOWN) {
    seen.push_back("press");
    scrollInProgress = true;
  }
  if (msg == WM_CAPTURECHANGED && reinterpret_cast<HWND>(lParam) != window) {
    seen.push_back(lParam == 0 ? "capture released" : "capture taken");
    scrollInProgress = false;
  }
  if (msg == WM_TIMER) seen.push_back("timer");
  return previous != nullptr ? CallWindowProcA(previous, window, msg, wParam, lParam) : 0;
}
}  // namespace subclass

TEST_F(ScrollBarTest, ASubclassSeesThePressAndTheCaptureChangeAndPuttingItBackRestores) {
  TScrollBar* bar = Bar();
  bar->SetPosition(50);
  bar->SetLargeChange(10);
  HWND window = bar->Handle();
  subclass::seen.clear();
  subclass::previous = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(window, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(&subclass::Proc)));
  ASSERT_NE(subclass::previous, nullptr);

  // A thumb drag: in progress from the press to the release's capture change.
  Down(bar, 8, 100);
  EXPECT_TRUE(subclass::scrollInProgress);
  Move(bar, 8, 130);
  EXPECT_TRUE(subclass::scrollInProgress);
  Up(bar, 8, 130);
  EXPECT_FALSE(subclass::scrollInProgress);
  EXPECT_EQ(subclass::seen, (std::vector<std::string>{"press", "capture released"}));
  EXPECT_EQ(events_, (Events{{scTrack, 70}, {scPosition, 70}, {scEndScroll, 70}}));

  // An arrow held, then the capture taken by another window: the repeat stops, the press ends.
  subclass::seen.clear();
  events_.clear();
  Down(bar, 8, 195);
  Wait(TScrollBar::kRepeatDelay);
  SetCapture(form_->Handle());
  EXPECT_FALSE(subclass::scrollInProgress);
  EXPECT_EQ(bar->PressedPart(), sbpNone);
  Wait(10 * TScrollBar::kRepeatInterval);
  Up(form_, 8, 195);
  EXPECT_EQ(subclass::seen, (std::vector<std::string>{"press", "timer", "capture taken"}));
  EXPECT_EQ(events_, (Events{{scLineDown, 71}, {scLineDown, 72}, {scEndScroll, 72}}));
  ReleaseCapture();

  // A drag cut short by the capture going: no position report, the thumb stays at Position.
  events_.clear();
  Down(bar, 8, 120);   // thumb of 72 at 125..140: a page up
  Up(bar, 8, 120);
  Down(bar, 8, 115);   // thumb of 62: 110..125
  Move(bar, 8, 150);
  SetCapture(form_->Handle());
  EXPECT_EQ(events_, (Events{{scPageUp, 62}, {scEndScroll, 62}, {scTrack, 85}, {scEndScroll, 85}}));
  EXPECT_FALSE(bar->Tracking());
  ReleaseCapture();

  // A quick second click is a second press (the bar's class takes no double clicks).
  subclass::seen.clear();
  events_.clear();
  Down(bar, 8, 195);
  Up(bar, 8, 195);
  SecondDown(bar, 8, 195);
  Up(bar, 8, 195);
  EXPECT_EQ(subclass::seen, (std::vector<std::string>{"press", "capture released", "press", "capture released"}));
  EXPECT_EQ(events_, (Events{{scLineDown, 86}, {scEndScroll, 86}, {scLineDown, 87}, {scEndScroll, 87}}));
  bar->SetPosition(85);

  // The old procedure put back: the subclass hears nothing more, the bar works as before.
  SetWindowLongPtrA(window, GWL_WNDPROC, reinterpret_cast<LONG_PTR>(subclass::previous));
  subclass::seen.clear();
  events_.clear();
  Down(bar, 8, 5);
  Up(bar, 8, 5);
  EXPECT_TRUE(subclass::seen.empty());
  EXPECT_EQ(events_, (Events{{scLineUp, 84}, {scEndScroll, 84}}));
}

// ---- Range ---------------------------------------------------------------------------------------

TEST_F(ScrollBarTest, RangeRefusesMinAboveMaxAndHoldsPositionAndPage) {
  struct Case {
    const char* name;
    std::function<void(TScrollBar*)> change;
    int min, max, position, page;
    int changes;
  };
  // Each starts from range 0..100, position 40, no page.
  const Case cases[] = {
      {"params with min above max refused", [](TScrollBar* b) { b->SetParams(50, 10, 5); }, 0, 100, 40, 0, 0},
      {"min above max refused", [](TScrollBar* b) { b->SetMin(200); }, 0, 100, 40, 0, 0},
      {"max below min refused", [](TScrollBar* b) { b->SetMax(-5); }, 0, 100, 40, 0, 0},
      {"position above max", [](TScrollBar* b) { b->SetPosition(150); }, 0, 100, 100, 0, 1},
      {"position below min", [](TScrollBar* b) { b->SetPosition(-3); }, 0, 100, 0, 0, 1},
      {"position with a page stops at the last page", [](TScrollBar* b) { b->SetPageSize(20); b->SetPosition(100); },
       0, 100, 81, 20, 1},
      {"page larger than the range", [](TScrollBar* b) { b->SetPageSize(500); }, 0, 100, 0, 101, 1},
      {"negative page", [](TScrollBar* b) { b->SetPageSize(-4); }, 0, 100, 40, 0, 0},
      {"max lowered below the position", [](TScrollBar* b) { b->SetMax(30); }, 0, 30, 30, 0, 1},
      {"min raised above the position", [](TScrollBar* b) { b->SetMin(60); }, 60, 100, 60, 0, 1},
      {"range shrunk under the page", [](TScrollBar* b) { b->SetPageSize(50); b->SetParams(0, 0, 9); }, 0, 9, 0, 10, 1},
      {"one-value range", [](TScrollBar* b) { b->SetParams(7, 5, 5); }, 5, 5, 5, 0, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto* bar = new TScrollBar(form_);
    bar->SetParams(40, 0, 100);
    int changes = 0;
    bar->OnChange = [&](TObject*) { ++changes; };
    c.change(bar);
    EXPECT_EQ(bar->Min(), c.min);
    EXPECT_EQ(bar->Max(), c.max);
    EXPECT_EQ(bar->Position(), c.position);
    EXPECT_EQ(bar->PageSize(), c.page);
    EXPECT_EQ(changes, c.changes);
    TComponent::Free(bar);
  }
  auto* bar = new TScrollBar(form_);
  bar->SetSmallChange(0);
  bar->SetLargeChange(-5);
  EXPECT_EQ(bar->SmallChange(), 1);
  EXPECT_EQ(bar->LargeChange(), 1);
  // A new kind turns the bar round.
  bar->SetBounds(0, 0, 121, 16);
  bar->SetKind(sbVertical);
  EXPECT_EQ(bar->Width(), 16);
  EXPECT_EQ(bar->Height(), 121);
}

// ---- Pixels ---------------------------------------------------------------------------------------

namespace {
COLORREF Pixel(TWinControl* c, int x, int y) {
  HDC dc = GetDC(c->Handle());
  COLORREF colour = GetPixel(dc, x, y);
  ReleaseDC(c->Handle(), dc);
  return colour;
}
// The last row of the thumb in a vertical bar's track: its dark bottom edge.
int ThumbBottom(TScrollBar* bar) {
  for (int y = 16; y < bar->Height() - 16; ++y) {
    if (Pixel(bar, 5, y) == GetSysColor(COLOR_3DDKSHADOW)) return y;
  }
  return -1;
}
}  // namespace

TEST_F(ScrollBarTest, TheThumbIsDrawnAtItsPosition) {
  // 16 x 100: a 68-pixel track between the arrows.
  struct Case {
    int page, max, position;
    int bottom;   // last row of the thumb; -1: no thumb
  };
  const Case cases[] = {
      {0, 100, 0, 31},     // a 16-pixel thumb at the top of the track
      {0, 100, 50, 57},    // 16 + 26
      {0, 100, 100, 83},   // at the bottom
      {50, 99, 25, 66},    // a 34-pixel half-track thumb, half way: 33..66
      {100, 99, 0, 83},    // everything in view: the thumb fills the track
  };
  TScrollBar* bar = Bar(sbVertical, 100);
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "page " << c.page << " position " << c.position);
    bar->SetParams(c.position, 0, c.max);
    bar->SetPageSize(c.page);
    bar->SetPosition(c.position);
    ProcessPendingMessages();
    EXPECT_EQ(ThumbBottom(bar), c.bottom);
    const TRect thumb = bar->PartRect(sbpThumb);
    EXPECT_EQ(thumb.bottom - 1, c.bottom);
    // The thumb's face is solid; the track beside it is checkered face and highlight.
    EXPECT_EQ(Pixel(bar, 5, thumb.top + 1), GetSysColor(COLOR_BTNHIGHLIGHT));
    EXPECT_EQ(Pixel(bar, 5, thumb.top + 2), GetSysColor(COLOR_BTNFACE));
    EXPECT_EQ(Pixel(bar, 5, thumb.top + 3), GetSysColor(COLOR_BTNFACE));
    if (thumb.bottom < 84) {
      EXPECT_EQ(Pixel(bar, 5, 84 - 1), GetSysColor(COLOR_BTNHIGHLIGHT));   // (5 + 83) even
      EXPECT_EQ(Pixel(bar, 5, 84 - 2), GetSysColor(COLOR_BTNFACE));
    }
  }
  // The arrows: raised with a black glyph; a held arrow is flat and its glyph moves down-right.
  bar->SetParams(50, 0, 100);
  bar->SetPageSize(0);
  ProcessPendingMessages();
  EXPECT_EQ(Pixel(bar, 1, 1), GetSysColor(COLOR_BTNHIGHLIGHT));
  EXPECT_EQ(Pixel(bar, 7, 6), GetSysColor(COLOR_BTNTEXT));   // the up glyph's point
  Down(bar, 8, 5);
  EXPECT_EQ(Pixel(bar, 0, 0), GetSysColor(COLOR_BTNSHADOW));
  EXPECT_EQ(Pixel(bar, 1, 1), GetSysColor(COLOR_BTNFACE));
  EXPECT_EQ(Pixel(bar, 7, 6), GetSysColor(COLOR_BTNFACE));
  EXPECT_EQ(Pixel(bar, 8, 7), GetSysColor(COLOR_BTNTEXT));
  Up(bar, 8, 5);
  // A dragged thumb is drawn where the pointer holds it, even while the handler keeps Position.
  bar->OnScroll = [bar](TObject*, TScrollCode code, int& pos) {
    if (code == scTrack) pos = bar->Position();
  };
  bar->SetPosition(0);
  ProcessPendingMessages();
  Down(bar, 8, 20);
  Move(bar, 8, 46);   // top 42: position 50
  EXPECT_EQ(bar->TrackPosition(), 50);
  EXPECT_EQ(bar->Position(), 0);
  EXPECT_EQ(ThumbBottom(bar), 57);
  Up(bar, 8, 46);
}

// ---- TUpDown -------------------------------------------------------------------------------------

class UpDownTest : public ScrollBarTest {
 protected:
  // An up-down of 16 x 24 beside a text double at (20, 20, 80, 24).
  TUpDown* Spin(int min, int max, int position, int increment = 1) {
    edit_ = new TTextDouble(form_);
    edit_->SetBounds(20, 20, 80, 24);
    edit_->SetParent(form_);
    auto* spin = new TUpDown(form_);
    spin->SetParent(form_);
    spin->SetMax(max);
    spin->SetMin(min);
    spin->SetPosition(position);
    spin->SetIncrement(increment);
    spin->SetAssociate(edit_);
    spin->OnClick = [this](TObject*, TUDBtnType b) { clicks_.push_back(b == btNext ? "next" : "prev"); };
    ProcessPendingMessages();
    return spin;
  }
  TTextDouble* edit_ = nullptr;
  std::vector<std::string> clicks_;
};

TEST_F(UpDownTest, AutoRepeatStopsAtMaxAndTheTextFollows) {
  TUpDown* spin = Spin(0, 10, 2, 3);
  EXPECT_EQ(edit_->Text(), "2");
  // Placed against the associated control's right edge at its height.
  EXPECT_EQ(spin->Left(), 100);
  EXPECT_EQ(spin->Top(), 20);
  EXPECT_EQ(spin->Height(), 24);

  Down(spin, 8, 3);
  EXPECT_EQ(spin->Position(), 5);
  EXPECT_EQ(edit_->Text(), "5");
  Wait(TUpDown::kRepeatDelay);
  EXPECT_EQ(spin->Position(), 8);
  Wait(20 * TUpDown::kRepeatInterval);
  EXPECT_EQ(spin->Position(), 10);
  EXPECT_EQ(edit_->Text(), "10");
  EXPECT_EQ(clicks_, (std::vector<std::string>{"next", "next", "next"}));
  EXPECT_EQ(spin->PressedButton(), 1);
  Up(spin, 8, 3);
  EXPECT_EQ(GetCapture(), nullptr);
  EXPECT_EQ(spin->PressedButton(), 0);

  // Down to the other end the same way.
  clicks_.clear();
  Down(spin, 8, 20);
  Wait(TUpDown::kRepeatDelay + 20 * TUpDown::kRepeatInterval);
  Up(spin, 8, 20);
  EXPECT_EQ(spin->Position(), 0);
  EXPECT_EQ(clicks_, (std::vector<std::string>{"prev", "prev", "prev", "prev"}));   // 7 4 1 0

  // The pointer off the button pauses the repeat; losing the capture ends it.
  clicks_.clear();
  Down(spin, 8, 3);
  Move(spin, 40, 3);
  Wait(TUpDown::kRepeatDelay + 5 * TUpDown::kRepeatInterval);
  EXPECT_EQ(spin->Position(), 3);
  Move(spin, 8, 3);
  Wait(TUpDown::kRepeatInterval);
  EXPECT_EQ(spin->Position(), 6);
  SetCapture(form_->Handle());
  Wait(10 * TUpDown::kRepeatInterval);
  EXPECT_EQ(spin->Position(), 6);
  EXPECT_EQ(spin->PressedButton(), 0);
}

TEST_F(UpDownTest, AFreedAssociatedControlIsForgotten) {
  TUpDown* spin = Spin(0, 10, 2);
  TComponent::Free(edit_);
  edit_ = nullptr;
  EXPECT_EQ(spin->Associate(), nullptr);
  spin->SetPosition(4);   // no text to write: nothing is touched
  EXPECT_EQ(spin->Position(), 4);
  // Freed the other way round, the control no longer tells a freed up-down.
  TUpDown* second = Spin(0, 10, 1);
  TTextDouble* kept = edit_;
  TComponent::Free(second);
  TComponent::Free(kept);
  edit_ = nullptr;
}

TEST_F(UpDownTest, StepsWrapHoldAndReadTheTypedText) {
  struct Case {
    const char* name;
    int min, max, start, increment;
    bool wrap;
    const char* typed;   // put into the associated control before the step; null: none
    bool up;
    int expected;
    const char* click;   // "" when the step changed nothing
  };
  const Case cases[] = {
      {"plain step", 0, 10, 4, 1, false, nullptr, true, 5, "next"},
      {"increment", 0, 100, 4, 25, false, nullptr, true, 29, "next"},
      {"held at max", 0, 10, 10, 1, false, nullptr, true, 10, ""},
      {"held at min", 0, 10, 0, 1, false, nullptr, false, 0, ""},
      {"wrap past max", 0, 10, 10, 1, true, nullptr, true, 0, "next"},
      {"wrap past min", 0, 10, 0, 1, true, nullptr, false, 10, "prev"},
      {"wrap with a larger increment goes round", 0, 10, 9, 3, true, nullptr, true, 1, "next"},
      {"typed number is the start", 0, 100, 4, 1, false, "50", true, 51, "next"},
      {"typed number with group commas", 0, 32767, 4, 1, false, "1,234", false, 1233, "prev"},
      {"typed text that is no number", 0, 100, 4, 1, false, "abc", true, 5, "next"},
      {"typed number out of range", 0, 100, 4, 1, false, "500", true, 5, "next"},
      {"the whole of 0..32767", 0, 32767, 32766, 1, false, nullptr, true, 32767, "next"},
      {"32767 is the end", 0, 32767, 32767, 100, false, nullptr, true, 32767, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    clicks_.clear();
    TUpDown* spin = Spin(c.min, c.max, c.start, c.increment);
    spin->SetWrap(c.wrap);
    if (c.typed != nullptr) edit_->SetText(c.typed);
    Down(spin, 8, c.up ? 3 : 20);
    Up(spin, 8, c.up ? 3 : 20);
    EXPECT_EQ(spin->Position(), c.expected);
    EXPECT_EQ(edit_->Text(), std::to_string(c.expected));
    EXPECT_EQ(clicks_, std::string(c.click).empty() ? std::vector<std::string>{} : std::vector<std::string>{c.click});
    TComponent::Free(spin);
    TComponent::Free(edit_);
  }
}

TEST_F(UpDownTest, KeysHalvesAndRefusals) {
  TUpDown* spin = Spin(0, 32767, 100);
  // Up and Down typed into the associated control step the up-down; the control never sees them.
  std::vector<WORD> editKeys;
  edit_->OnKeyDown = [&](TObject*, WORD& key, TShiftState) { editKeys.push_back(key); };
  edit_->SetFocus();
  Key(edit_, VK_UP);
  Key(edit_, VK_UP);
  Key(edit_, VK_DOWN);
  EXPECT_EQ(spin->Position(), 101);
  EXPECT_EQ(edit_->Text(), "101");
  EXPECT_TRUE(editKeys.empty());
  spin->SetArrowKeys(false);
  Key(edit_, VK_UP);
  EXPECT_EQ(spin->Position(), 101);
  EXPECT_EQ(editKeys, std::vector<WORD>{VK_UP});
  spin->SetArrowKeys(true);

  // Grouped digits only when asked for.
  spin->SetPosition(32767);
  EXPECT_EQ(edit_->Text(), "32767");
  spin->SetThousands(true);
  EXPECT_EQ(edit_->Text(), "32,767");
  spin->SetThousands(false);

  // Range: min above max refused, position held to it.
  spin->SetMin(40000);
  spin->SetMax(-1);
  EXPECT_EQ(spin->Min(), 0);
  EXPECT_EQ(spin->Max(), 32767);
  spin->SetPosition(99999);
  EXPECT_EQ(spin->Position(), 32767);
  spin->SetMax(500);
  EXPECT_EQ(spin->Position(), 500);
  EXPECT_EQ(edit_->Text(), "500");

  // OnChanging refuses a step.
  clicks_.clear();
  spin->OnChanging = [](TObject*, bool& allow) { allow = false; };
  Down(spin, 8, 20);
  Up(spin, 8, 20);
  EXPECT_EQ(spin->Position(), 500);
  EXPECT_TRUE(clicks_.empty());
  spin->OnChanging = nullptr;

  // An odd height: the middle line belongs to neither button.
  spin->SetHeight(25);
  EXPECT_EQ(spin->ButtonAt(8, 11), 1);
  EXPECT_EQ(spin->ButtonAt(8, 12), 0);
  EXPECT_EQ(spin->ButtonAt(8, 13), 2);
  Down(spin, 8, 12);
  Up(spin, 8, 12);
  EXPECT_EQ(spin->Position(), 500);

  // Horizontal: the left button goes down, the right one up.
  spin->SetOrientation(udHorizontal);
  spin->SetBounds(spin->Left(), spin->Top(), 30, 16);
  Down(spin, 3, 8);
  Up(spin, 3, 8);
  EXPECT_EQ(spin->Position(), 499);
  Down(spin, 27, 8);
  Up(spin, 27, 8);
  EXPECT_EQ(spin->Position(), 500);
  EXPECT_EQ(clicks_, (std::vector<std::string>{"prev", "next"}));

  // One control, one up-down.
  auto* other = new TUpDown(form_);
  other->SetParent(form_);
  EXPECT_THROW(other->SetAssociate(edit_), EInvalidOperation);
  EXPECT_EQ(other->Associate(), nullptr);
  spin->SetAssociate(nullptr);
  other->SetAssociate(edit_);
  EXPECT_EQ(other->Associate(), edit_);
}

TEST_F(UpDownTest, ThePressedButtonIsDrawnFlat) {
  TUpDown* spin = Spin(0, 10, 5);
  ProcessPendingMessages();
  // Raised: highlight inside the top-left corner of each button.
  EXPECT_EQ(Pixel(spin, 1, 1), GetSysColor(COLOR_BTNHIGHLIGHT));
  EXPECT_EQ(Pixel(spin, 1, 13), GetSysColor(COLOR_BTNHIGHLIGHT));
  Down(spin, 8, 20);
  EXPECT_EQ(Pixel(spin, 1, 1), GetSysColor(COLOR_BTNHIGHLIGHT));
  EXPECT_EQ(Pixel(spin, 0, 12), GetSysColor(COLOR_BTNSHADOW));
  EXPECT_EQ(Pixel(spin, 1, 13), GetSysColor(COLOR_BTNFACE));
  Up(spin, 8, 20);
  EXPECT_EQ(Pixel(spin, 1, 13), GetSysColor(COLOR_BTNHIGHLIGHT));
}

// A face of its own, as the widget package paints one: it answers WM_PAINT and WM_ERASEBKGND and
// turns a double click into a press, and leaves the rest to the up-down.
class TOwnFaceUpDown : public TUpDown {
 public:
  using TUpDown::TUpDown;
  int doubleClicks = 0;
  int paints = 0;
  void WndProc(TMessage& m) override {
    if (m.Msg == WM_LBUTTONDBLCLK) {
      ++doubleClicks;
      m.Msg = WM_LBUTTONDOWN;
    }
    if (m.Msg == WM_PAINT) {
      ++paints;
      PAINTSTRUCT ps{};
      HDC dc = BeginPaint(Handle(), &ps);
      RECT all{0, 0, Width(), Height()};
      HBRUSH brush = CreateSolidBrush(RGB(183, 207, 251));
      FillRect(dc, &all, brush);
      DeleteObject(brush);
      EndPaint(Handle(), &ps);
      m.Result = 0;
      return;
    }
    if (m.Msg == WM_ERASEBKGND) {
      m.Result = 1;
      return;
    }
    TUpDown::WndProc(m);
  }
};

TEST_F(UpDownTest, AFaceOfItsOwnKeepsTheSpinning) {
  edit_ = new TTextDouble(form_);
  edit_->SetBounds(20, 20, 80, 24);
  edit_->SetParent(form_);
  auto* spin = new TOwnFaceUpDown(form_);
  spin->SetParent(form_);
  spin->SetMax(32767);
  spin->SetAssociate(edit_);
  ProcessPendingMessages();
  const int paintsBefore = spin->paints;

  Down(spin, 8, 3);
  Up(spin, 8, 3);
  SecondDown(spin, 8, 3);   // a double click, taken as a second press
  Wait(TUpDown::kRepeatDelay + 2 * TUpDown::kRepeatInterval);
  Up(spin, 8, 3);
  EXPECT_EQ(spin->doubleClicks, 1);
  EXPECT_EQ(spin->Position(), 5);
  EXPECT_EQ(edit_->Text(), "5");
  // The presses brought paints about, and every pixel is the own face's.
  EXPECT_GT(spin->paints, paintsBefore);
  EXPECT_EQ(Pixel(spin, 1, 1), RGB(183, 207, 251));
  EXPECT_EQ(Pixel(spin, 1, 13), RGB(183, 207, 251));
}

}  // namespace

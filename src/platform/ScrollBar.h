// The class library's scroll bar and up-down controls, drawn by us.
//
// TScrollBar. The window layer has no native scroll bar: the control's default handling
// (DefaultHandler, what the window procedure does when nothing above it answers) is the native
// part. It paints the arrows, the track and the thumb; it takes the mouse capture while a part is
// pressed; arrow and page presses repeat while held (a timer on the control's window: the first
// repeat after kRepeatDelay, then every kRepeatInterval; a page press stops repeating once the
// thumb reaches the pointer, and nothing repeats while the pointer is off the pressed part);
// dragging the thumb reports track positions and, at the release, the position; every press
// ends with an end-scroll code, at the release or when the capture is lost (the window gets
// WM_CAPTURECHANGED through its procedure, so a GWL_WNDPROC subclass sees it; a lost drag
// leaves the thumb at Position). When focused, the arrows, PageUp, PageDown, Home and End
// scroll, and the key's release ends the scroll.
// Each action goes to the parent window as WM_HSCROLL / WM_VSCROLL (scroll code in the low word,
// the position in the high word, the bar in lParam); the parent reflects it back as
// CN_HSCROLL / CN_VSCROLL, where the bar computes the new position (track and thumb positions
// are taken from the bar itself, not from the 16-bit high word), raises OnScroll, whose handler
// may change the position, and sets Position to what the handler left.
//
// Range rules: Min above Max is refused (nothing changes, no exception); PageSize is held to
// 0..Max-Min+1; Position is held to Min..Max-PageSize+1 (Min..Max without a page size), the
// positions the thumb can reach. OnChange follows every change of Position.
//
// TUpDown. Two buttons (upper and lower, or left and right); a press on one steps the position
// by Increment at once and again while held (kRepeatDelay, then kRepeatInterval) as long as the
// pointer stays on it; a press on the middle line of an odd size steps nothing. The first
// button (upper, or left) is btNext for a vertical up-down and btPrev for a horizontal one. The
// position never leaves Min..Max: a step past an end stops there, or with Wrap goes round.
// Before each step the associated control's text is read back (typed digits become the
// position when they are a number in the range); after each step the text shows the position.
// With ArrowKeys, Up and Down pressed in the associated control (and the arrows in the up-down
// itself when it has the focus) step it too.
//
// Painting is in WM_PAINT only, through the virtual Paint: a subclass that answers WM_PAINT and
// WM_ERASEBKGND itself keeps every behaviour.
#pragma once

#include "platform/Control.h"

#include <functional>
#include <memory>

// ---- TScrollBar ----------------------------------------------------------------------------------

enum TScrollBarKind { sbHorizontal, sbVertical };
enum TScrollCode { scLineUp, scLineDown, scPageUp, scPageDown, scPosition, scTrack, scTop, scBottom, scEndScroll };
using TScrollEvent = std::function<void(TObject* Sender, TScrollCode ScrollCode, int& ScrollPos)>;

// The parts of a scroll bar, from the top (or left) end.
enum TScrollBarPart { sbpNone, sbpLineUp, sbpPageUp, sbpThumb, sbpPageDown, sbpLineDown };

class TScrollBar : public TWinControl {
 public:
  static constexpr UINT kRepeatDelay = 250;     // press to the first repeat, milliseconds
  static constexpr UINT kRepeatInterval = 50;   // between repeats
  static constexpr int kMinThumb = 8;           // the smallest thumb, pixels

  explicit TScrollBar(TComponent* owner);   // horizontal, 121 x 16, range 0..100, tab stop
  ~TScrollBar() override;
  const char* ClassName() const override { return "TScrollBar"; }

  TScrollBarKind Kind() const { return kind_; }
  void SetKind(TScrollBarKind kind);   // swaps width and height
  int Min() const { return min_; }
  int Max() const { return max_; }
  int Position() const { return position_; }
  int PageSize() const { return pageSize_; }
  int SmallChange() const { return smallChange_; }
  int LargeChange() const { return largeChange_; }
  void SetMin(int value) { SetParams(position_, value, max_); }
  void SetMax(int value) { SetParams(position_, min_, value); }
  void SetPosition(int value) { SetParams(value, min_, max_); }
  void SetPageSize(int value);
  void SetSmallChange(int value) { smallChange_ = std::max(1, value); }   // at least 1
  void SetLargeChange(int value) { largeChange_ = std::max(1, value); }
  // Sets range and position at once (refused whole when max < min).
  void SetParams(int position, int min, int max);
  // The highest position: Max - PageSize + 1 with a page size, else Max.
  int MaxPosition() const;

  TScrollEvent OnScroll;
  TNotifyEvent OnChange;

  // Geometry of the face, client coordinates (for a face drawn by a subclass too).
  TScrollBarPart PartAt(int x, int y) const;
  TRect PartRect(TScrollBarPart part) const;   // empty when the part is not there
  // The part held down with the pointer on it (sbpNone when none, or the pointer left it).
  TScrollBarPart PressedPart() const;
  bool Tracking() const { return pressed_ == sbpThumb; }
  int TrackPosition() const { return trackPos_; }   // the dragged thumb's position

  void Dispatch(TMessage& message) override;        // CN_HSCROLL / CN_VSCROLL
  void DefaultHandler(TMessage& message) override;  // the native part

 protected:
  void CreateParams(TCreateParams& params) override;
  virtual void Scroll(TScrollCode code, int& position);   // OnScroll
  virtual void Change();                                  // OnChange
  // The classic face: raised arrow buttons, a dithered track, a raised thumb.
  virtual void Paint(HDC dc);

 private:
  struct Layout {
    int length = 0;       // along the bar
    int arrow = 0;        // each arrow button's length
    int thumbStart = 0;   // from the bar's start; thumbSize 0: no thumb
    int thumbSize = 0;
  };
  Layout ComputeLayout(int position) const;
  int PositionAtThumb(int thumbStart) const;   // the position of a thumb dragged to thumbStart
  int Along(int x, int y) const { return kind_ == sbVertical ? y : x; }
  TRect Span(int from, int to) const;          // a slice along the bar, full thickness
  void DoScroll(TScrollCode code, int highWord);
  void Notify(TScrollCode code, int position);
  void Act(TScrollBarPart part);
  void Press(int x, int y);
  void Release();
  void EndPress(bool captureLost);
  void TimerTick();
  void StopTimer();
  bool Alive() const { return !destroying_ && handle_ != nullptr; }

  TScrollBarKind kind_ = sbHorizontal;
  int min_ = 0;
  int max_ = 100;
  int position_ = 0;
  int pageSize_ = 0;
  int smallChange_ = 1;
  int largeChange_ = 1;
  // The press being held.
  TScrollBarPart pressed_ = sbpNone;
  int pointer_ = 0;         // the pointer along the bar, last seen
  int pointerAcross_ = 0;   // and across it
  int grabOffset_ = 0;      // the pointer's distance from the thumb's start at the press
  int trackPos_ = 0;
  bool timerRunning_ = false;
  bool repeating_ = false;  // the timer runs at the repeat interval
  WORD keyScrolling_ = 0;   // the key whose release ends a keyboard scroll
  bool notifying_ = false;  // the native part is telling the parent: positions come from it
  int notifyPos_ = 0;
};

// A scroll bar window of a control (a grid, a list box): hidden until the control shows it and
// out of the tab order; its scrolling goes to the control after OnScroll, which stays free for
// the program.
class TControlScrollBar : public TScrollBar {
 public:
  using Scrolled = std::function<void(TScrollCode code, int& position)>;
  TControlScrollBar(TWinControl* control, TScrollBarKind kind, Scrolled scrolled);
  // Range, page and position at once (nothing when unchanged); the page is cleared first, so
  // no step in between holds the position to a smaller range.
  void SetRange(int position, int min, int max, int page);

 protected:
  void Scroll(TScrollCode code, int& position) override;

 private:
  TWinControl* control_;
  Scrolled scrolled_;
};

// ---- TUpDown -------------------------------------------------------------------------------------

enum TUDOrientation { udHorizontal, udVertical };
enum TUDAlignButton { udLeft, udRight };
enum TUDBtnType { btNext, btPrev };
enum TUpDownDirection { updNone, updUp, updDown };
using TUDClickEvent = std::function<void(TObject* Sender, TUDBtnType Button)>;
using TUDChangingEvent = std::function<void(TObject* Sender, bool& AllowChange)>;
using TUDChangingEventEx =
    std::function<void(TObject* Sender, bool& AllowChange, int NewValue, TUpDownDirection Direction)>;

class TUpDown : public TWinControl {
 public:
  static constexpr UINT kRepeatDelay = 400;
  static constexpr UINT kRepeatInterval = 100;

  explicit TUpDown(TComponent* owner);   // vertical, 16 x 24, range 0..100, increment 1
  ~TUpDown() override;
  const char* ClassName() const override { return "TUpDown"; }

  int Min() const { return min_; }
  int Max() const { return max_; }
  void SetMin(int value);   // refused when above Max
  void SetMax(int value);   // refused when below Min
  int Position() const { return position_; }
  void SetPosition(int value);   // held to the range; the associated text follows
  int Increment() const { return increment_; }
  void SetIncrement(int value) { increment_ = value; }
  TUDOrientation Orientation() const { return orientation_; }
  void SetOrientation(TUDOrientation value);
  bool Wrap() const { return wrap_; }
  void SetWrap(bool value) { wrap_ = value; }
  bool ArrowKeys() const { return arrowKeys_; }
  void SetArrowKeys(bool value) { arrowKeys_ = value; }
  // Digit grouping of the associated text. Off by default: the programs read the text back as
  // a plain number, which "32,767" is not.
  bool Thousands() const { return thousands_; }
  void SetThousands(bool value);
  TUDAlignButton AlignButton() const { return alignButton_; }
  void SetAlignButton(TUDAlignButton value) { alignButton_ = value; }
  // The control whose text follows the position. Associating shows the position in it and, when
  // both share a parent, places the up-down against its right (or left) edge at its height. An
  // EInvalidOperation when another up-down of the same parent already has it. A freed
  // associated control is forgotten.
  TWinControl* Associate() const { return associate_; }
  void SetAssociate(TWinControl* control);

  // Raised after each step that changed the position, with the button that made it.
  TUDClickEvent OnClick;
  // Before each step; clearing AllowChange refuses it.
  TUDChangingEvent OnChanging;
  TUDChangingEventEx OnChangingEx;

  // Which button a client point is on: 0 none (the middle line), 1 the first, 2 the second.
  int ButtonAt(int x, int y) const;
  // The button held down with the pointer on it (0 when none).
  int PressedButton() const;

  void DefaultHandler(TMessage& message) override;   // the native part

 protected:
  using TControl::Click;
  virtual void Click(TUDBtnType button);   // OnClick
  virtual bool CanChange(int newValue, TUpDownDirection direction);   // OnChanging, OnChangingEx
  // The classic face: two raised buttons with arrows, the pressed one flat.
  virtual void Paint(HDC dc);
  void Notification(TComponent* component, bool inserted) override;

 private:
  TUDBtnType ButtonType(int button) const;
  void Step(TUDBtnType button);
  void ReadAssociate();
  void WriteAssociate();
  void StopTimer();
  void EndPress();
  void UpdateKeyHook();
  bool Alive() const { return !destroying_ && handle_ != nullptr; }

  int min_ = 0;
  int max_ = 100;
  int position_ = 0;
  int increment_ = 1;
  TUDOrientation orientation_ = udVertical;
  bool wrap_ = false;
  bool arrowKeys_ = true;
  bool thousands_ = false;
  TUDAlignButton alignButton_ = udRight;
  TWinControl* associate_ = nullptr;
  int keyHook_ = 0;
  std::shared_ptr<TUpDown*> hookSelf_;   // what the key hook reaches the up-down through
  int pressed_ = 0;   // the button held down
  int pointerX_ = 0;
  int pointerY_ = 0;
  bool timerRunning_ = false;
  bool repeating_ = false;
};

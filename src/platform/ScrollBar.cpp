// The scroll bar and the up-down: their native parts (mouse, timer, keys, capture) and their
// classic faces.
#include "platform/ScrollBar.h"

#include "platform/Message.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>

namespace {

constexpr UINT_PTR kRepeatTimer = 1;

// a * b / c rounded to the nearest, for non-negative a, b and positive c.
int MulDivRound(std::int64_t a, std::int64_t b, std::int64_t c) {
  if (c <= 0) return 0;
  return static_cast<int>((a * b * 2 + c) / (c * 2));
}

int Clamp64(std::int64_t value, int low, int high) {
  return static_cast<int>(std::clamp<std::int64_t>(value, low, high));
}

void Fill(HDC dc, const RECT& r, COLORREF colour) {
  if (r.right <= r.left || r.bottom <= r.top) return;
  HBRUSH brush = CreateSolidBrush(colour);
  FillRect(dc, &r, brush);
  DeleteObject(brush);
}

void Fill(HDC dc, int left, int top, int right, int bottom, COLORREF colour) {
  Fill(dc, RECT{left, top, right, bottom}, colour);
}

// A classic raised button: face, light top-left edges, dark bottom-right edges.
void DrawRaised(HDC dc, const RECT& r) {
  const int w = r.right - r.left;
  const int h = r.bottom - r.top;
  if (w <= 0 || h <= 0) return;
  Fill(dc, r, GetSysColor(COLOR_BTNFACE));
  if (w < 2 || h < 2) return;
  // Outer edge.
  Fill(dc, r.left, r.top, r.right - 1, r.top + 1, GetSysColor(COLOR_3DLIGHT));
  Fill(dc, r.left, r.top, r.left + 1, r.bottom - 1, GetSysColor(COLOR_3DLIGHT));
  Fill(dc, r.left, r.bottom - 1, r.right, r.bottom, GetSysColor(COLOR_3DDKSHADOW));
  Fill(dc, r.right - 1, r.top, r.right, r.bottom, GetSysColor(COLOR_3DDKSHADOW));
  if (w < 4 || h < 4) return;
  // Inner edge.
  Fill(dc, r.left + 1, r.top + 1, r.right - 2, r.top + 2, GetSysColor(COLOR_BTNHIGHLIGHT));
  Fill(dc, r.left + 1, r.top + 1, r.left + 2, r.bottom - 2, GetSysColor(COLOR_BTNHIGHLIGHT));
  Fill(dc, r.left + 1, r.bottom - 2, r.right - 1, r.bottom - 1, GetSysColor(COLOR_BTNSHADOW));
  Fill(dc, r.right - 2, r.top + 1, r.right - 1, r.bottom - 1, GetSysColor(COLOR_BTNSHADOW));
}

// A classic pushed button: face in a one-pixel shadow frame.
void DrawPushed(HDC dc, const RECT& r) {
  if (r.right <= r.left || r.bottom <= r.top) return;
  Fill(dc, r, GetSysColor(COLOR_BTNSHADOW));
  Fill(dc, r.left + 1, r.top + 1, r.right - 1, r.bottom - 1, GetSysColor(COLOR_BTNFACE));
}

enum class Arrow { Up, Down, Left, Right };

void DrawTriangle(HDC dc, const RECT& r, Arrow arrow, int shift, COLORREF colour) {
  const int w = r.right - r.left;
  const int h = r.bottom - r.top;
  const int size = std::min(w, h);
  const int depth = std::max(1, (size - 4) / 3);
  if (arrow == Arrow::Up || arrow == Arrow::Down) {
    const int cx = r.left + (w - 1) / 2 + shift;
    const int top = r.top + (h - depth) / 2 + shift;
    for (int i = 0; i < depth; ++i) {
      const int half = arrow == Arrow::Up ? i : depth - 1 - i;
      Fill(dc, cx - half, top + i, cx + half + 1, top + i + 1, colour);
    }
  } else {
    const int cy = r.top + (h - 1) / 2 + shift;
    const int left = r.left + (w - depth) / 2 + shift;
    for (int i = 0; i < depth; ++i) {
      const int half = arrow == Arrow::Left ? i : depth - 1 - i;
      Fill(dc, left + i, cy - half, left + i + 1, cy + half + 1, colour);
    }
  }
}

// A button with an arrow, raised or pushed (the glyph one pixel down-right), greyed when
// disabled.
void DrawArrowButton(HDC dc, const RECT& r, Arrow arrow, bool pushed, bool enabled) {
  if (pushed) DrawPushed(dc, r); else DrawRaised(dc, r);
  if (!enabled) {
    DrawTriangle(dc, r, arrow, 1, GetSysColor(COLOR_BTNHIGHLIGHT));
    DrawTriangle(dc, r, arrow, 0, GetSysColor(COLOR_BTNSHADOW));
    return;
  }
  DrawTriangle(dc, r, arrow, pushed ? 1 : 0, GetSysColor(COLOR_BTNTEXT));
}

// The scroll track: face and highlight in a checkerboard (highlight where x + y is even). Made in
// a memory image from a 2 x 2 tile doubled out to the size, then copied in one blit.
void DrawTrack(HDC dc, const RECT& r) {
  const int w = r.right - r.left;
  const int h = r.bottom - r.top;
  if (w <= 0 || h <= 0) return;
  HDC mem = CreateCompatibleDC(dc);
  HBITMAP image = CreateCompatibleBitmap(dc, w, h);
  if (mem == nullptr || image == nullptr) {
    if (image != nullptr) DeleteObject(image);
    if (mem != nullptr) DeleteDC(mem);
    Fill(dc, r, GetSysColor(COLOR_BTNFACE));
    return;
  }
  HGDIOBJ old = SelectObject(mem, image);
  Fill(mem, RECT{0, 0, w, h}, GetSysColor(COLOR_BTNFACE));
  const COLORREF light = GetSysColor(COLOR_BTNHIGHLIGHT);
  for (int y = 0; y < std::min(2, h); ++y) {
    for (int x = 0; x < std::min(2, w); ++x) {
      if (((x + y + r.left + r.top) & 1) == 0) SetPixelV(mem, x, y, light);
    }
  }
  for (int k = 2; k < w; k *= 2) BitBlt(mem, k, 0, std::min(k, w - k), std::min(2, h), mem, 0, 0, SRCCOPY);
  for (int k = 2; k < h; k *= 2) BitBlt(mem, 0, k, w, std::min(k, h - k), mem, 0, 0, SRCCOPY);
  BitBlt(dc, r.left, r.top, w, h, mem, 0, 0, SRCCOPY);
  SelectObject(mem, old);
  DeleteObject(image);
  DeleteDC(mem);
}

std::string FormatNumber(int value, bool thousands) {
  std::string digits = std::to_string(value < 0 ? -static_cast<std::int64_t>(value) : value);
  if (thousands) {
    for (int i = static_cast<int>(digits.size()) - 3; i > 0; i -= 3) digits.insert(static_cast<std::size_t>(i), ",");
  }
  return value < 0 ? "-" + digits : digits;
}

// A whole number in the text (sign, digits, group commas and surrounding blanks allowed).
bool ParseNumber(const std::string& text, std::int64_t& value) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  std::int64_t result = 0;
  int digits = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c == ',') continue;
    if (c < '0' || c > '9') break;
    result = result * 10 + (c - '0');
    if (++digits > 12) return false;
  }
  while (i < text.size() && text[i] == ' ') ++i;
  if (digits == 0 || i != text.size()) return false;
  value = negative ? -result : result;
  return true;
}

}  // namespace

// ---- TScrollBar ----------------------------------------------------------------------------------

TScrollBar::TScrollBar(TComponent* owner) : TWinControl(owner) {
  width_ = 121;
  height_ = GetSystemMetrics(SM_CYHSCROLL);
  explicitWidth_ = width_;
  explicitHeight_ = height_;
  tabStop_ = true;
}

TScrollBar::~TScrollBar() = default;

void TScrollBar::CreateParams(TCreateParams& params) {
  TWinControl::CreateParams(params);
  // Every press is a press: a quick second click on an arrow steps again, and a subclass sees
  // WM_LBUTTONDOWN for it.
  params.ClassStyle &= ~CS_DBLCLKS;
}

void TScrollBar::SetKind(TScrollBarKind kind) {
  if (kind == kind_) return;
  kind_ = kind;
  SetBounds(left_, top_, Height(), Width());
  Invalidate();
}

int TScrollBar::MaxPosition() const { return std::max(min_, max_ - std::max(pageSize_ - 1, 0)); }

void TScrollBar::SetParams(int position, int min, int max) {
  if (max < min) return;   // refused: the range stays as it was
  const int old = position_;
  min_ = min;
  max_ = max;
  pageSize_ = static_cast<int>(std::min<std::int64_t>(pageSize_, static_cast<std::int64_t>(max_) - min_ + 1));
  position_ = std::clamp(position, min_, MaxPosition());
  Invalidate();
  if (position_ != old) Change();
}

void TScrollBar::SetPageSize(int value) {
  const std::int64_t count = static_cast<std::int64_t>(max_) - min_ + 1;
  value = Clamp64(value, 0, static_cast<int>(std::min<std::int64_t>(count, INT32_MAX)));
  if (value == pageSize_) return;
  pageSize_ = value;
  SetParams(position_, min_, max_);
  Invalidate();
}

void TScrollBar::Scroll(TScrollCode code, int& position) {
  if (OnScroll) {
    TScrollEvent handler = OnScroll;
    handler(this, code, position);
  }
}

void TScrollBar::Change() {
  if (OnChange) {
    TNotifyEvent handler = OnChange;
    handler(this);
  }
}

// ---- Geometry

TScrollBar::Layout TScrollBar::ComputeLayout(int position) const {
  Layout l;
  const int thickness = kind_ == sbVertical ? width_ : height_;
  l.length = kind_ == sbVertical ? height_ : width_;
  l.arrow = std::max(0, std::min(thickness, l.length / 2));
  const int track = l.length - 2 * l.arrow;
  int thumb = thickness;
  if (pageSize_ > 0) {
    thumb = std::max(kMinThumb, MulDivRound(track, pageSize_, static_cast<std::int64_t>(max_) - min_ + 1));
  }
  if (!enabled_ || track <= 0 || thumb > track) return l;   // no thumb
  const int free = track - thumb;
  const int maxPos = MaxPosition();
  const int pos = std::clamp(position, min_, maxPos);
  l.thumbSize = thumb;
  l.thumbStart = l.arrow + (maxPos > min_ ? MulDivRound(free, static_cast<std::int64_t>(pos) - min_,
                                                        static_cast<std::int64_t>(maxPos) - min_)
                                          : 0);
  return l;
}

int TScrollBar::PositionAtThumb(int thumbStart) const {
  Layout l = ComputeLayout(position_);
  const int free = l.length - 2 * l.arrow - l.thumbSize;
  if (l.thumbSize == 0 || free <= 0) return position_;
  const int offset = std::clamp(thumbStart - l.arrow, 0, free);
  return min_ + MulDivRound(offset, static_cast<std::int64_t>(MaxPosition()) - min_, free);
}

TRect TScrollBar::Span(int from, int to) const {
  if (to <= from) return TRect(0, 0, 0, 0);
  return kind_ == sbVertical ? TRect(0, from, width_, to) : TRect(from, 0, to, height_);
}

TRect TScrollBar::PartRect(TScrollBarPart part) const {
  Layout l = ComputeLayout(Tracking() ? trackPos_ : position_);
  switch (part) {
    case sbpLineUp: return Span(0, l.arrow);
    case sbpLineDown: return Span(l.length - l.arrow, l.length);
    case sbpPageUp: return l.thumbSize > 0 ? Span(l.arrow, l.thumbStart) : TRect(0, 0, 0, 0);
    case sbpThumb: return l.thumbSize > 0 ? Span(l.thumbStart, l.thumbStart + l.thumbSize) : TRect(0, 0, 0, 0);
    case sbpPageDown:
      return l.thumbSize > 0 ? Span(l.thumbStart + l.thumbSize, l.length - l.arrow) : TRect(0, 0, 0, 0);
    default: return TRect(0, 0, 0, 0);
  }
}

TScrollBarPart TScrollBar::PartAt(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return sbpNone;
  Layout l = ComputeLayout(position_);
  const int a = Along(x, y);
  if (a < l.arrow) return sbpLineUp;
  if (a >= l.length - l.arrow) return sbpLineDown;
  if (l.thumbSize == 0) return sbpNone;
  if (a < l.thumbStart) return sbpPageUp;
  if (a < l.thumbStart + l.thumbSize) return sbpThumb;
  return sbpPageDown;
}

TScrollBarPart TScrollBar::PressedPart() const {
  if (pressed_ == sbpNone || pressed_ == sbpThumb) return pressed_;
  const int x = kind_ == sbVertical ? pointerAcross_ : pointer_;
  const int y = kind_ == sbVertical ? pointer_ : pointerAcross_;
  return PartAt(x, y) == pressed_ ? pressed_ : sbpNone;
}

// ---- The library's side: scroll notifications reflected by the parent

void TScrollBar::Dispatch(TMessage& message) {
  if (message.Msg == CN_HSCROLL || message.Msg == CN_VSCROLL) {
    DoScroll(static_cast<TScrollCode>(message.WParamLo()), message.WParamHi());
    message.Result = 0;
    return;
  }
  TWinControl::Dispatch(message);
}

void TScrollBar::DoScroll(TScrollCode code, int highWord) {
  std::int64_t next = position_;
  switch (code) {
    case scLineUp: next -= smallChange_; break;
    case scLineDown: next += smallChange_; break;
    case scPageUp: next -= largeChange_; break;
    case scPageDown: next += largeChange_; break;
    case scPosition:
    case scTrack: next = notifying_ ? notifyPos_ : highWord; break;
    case scTop: next = min_; break;
    case scBottom: next = MaxPosition(); break;
    default: break;
  }
  int position = Clamp64(next, min_, MaxPosition());
  Scroll(code, position);
  if (destroying_) return;
  SetPosition(position);
}

// ---- The native part

void TScrollBar::Notify(TScrollCode code, int position) {
  if (!Alive()) return;
  const bool wasNotifying = notifying_;
  const int wasPos = notifyPos_;
  notifying_ = true;
  notifyPos_ = position;
  const UINT msg = kind_ == sbVertical ? WM_VSCROLL : WM_HSCROLL;
  const WPARAM wParam = MAKEWPARAM(static_cast<WORD>(code), static_cast<WORD>(position));
  HWND self = handle_;
  HWND parent = GetParent(self);
  if (parent != nullptr && TWinControl::FromHandle(parent) != nullptr) {
    SendMessageA(parent, msg, wParam, reinterpret_cast<LPARAM>(self));
  } else {
    // A parent outside the library reflects nothing: the bar hears itself.
    Perform(CN_BASE + msg, wParam, reinterpret_cast<LPARAM>(self));
  }
  notifying_ = wasNotifying;
  notifyPos_ = wasPos;
}

void TScrollBar::Act(TScrollBarPart part) {
  switch (part) {
    case sbpLineUp: Notify(scLineUp, position_); break;
    case sbpLineDown: Notify(scLineDown, position_); break;
    case sbpPageUp: Notify(scPageUp, position_); break;
    case sbpPageDown: Notify(scPageDown, position_); break;
    default: break;
  }
}

void TScrollBar::StopTimer() {
  if (timerRunning_ && handle_ != nullptr) KillTimer(handle_, kRepeatTimer);
  timerRunning_ = false;
  repeating_ = false;
}

void TScrollBar::Press(int x, int y) {
  if (pressed_ != sbpNone) return;
  const TScrollBarPart part = PartAt(x, y);
  if (part == sbpNone) return;
  if (tabStop_ && GetFocus() != handle_) {
    ::SetFocus(handle_);
    if (!Alive()) return;
  }
  SetCapture(handle_);
  pressed_ = part;
  pointer_ = Along(x, y);
  pointerAcross_ = kind_ == sbVertical ? x : y;
  Invalidate();
  if (part == sbpThumb) {
    grabOffset_ = pointer_ - ComputeLayout(position_).thumbStart;
    trackPos_ = position_;
    return;
  }
  Act(part);
  if (!Alive() || pressed_ != part) return;
  if (SetTimer(handle_, kRepeatTimer, kRepeatDelay, nullptr) != 0) timerRunning_ = true;
}

void TScrollBar::TimerTick() {
  if (pressed_ == sbpNone || pressed_ == sbpThumb) {
    StopTimer();
    return;
  }
  if (!repeating_) {
    SetTimer(handle_, kRepeatTimer, kRepeatInterval, nullptr);
    repeating_ = true;
  }
  // Nothing while the pointer is off the pressed part; a page press meets the thumb and stops.
  if (PressedPart() == pressed_) Act(pressed_);
}

void TScrollBar::Release() {
  if (pressed_ == sbpNone) return;
  const TScrollBarPart part = pressed_;
  const int finalPos = trackPos_;
  pressed_ = sbpNone;
  StopTimer();
  if (GetCapture() == handle_) ReleaseCapture();
  if (!Alive()) return;
  Invalidate();
  if (part == sbpThumb) {
    Notify(scPosition, finalPos);
    if (!Alive()) return;
  }
  Notify(scEndScroll, position_);
}

// The capture went elsewhere while a part was held: the press ends here, a drag is dropped.
void TScrollBar::EndPress(bool captureLost) {
  if (pressed_ == sbpNone) return;
  pressed_ = sbpNone;
  StopTimer();
  Invalidate();
  if (captureLost) Notify(scEndScroll, position_);
}

void TScrollBar::DefaultHandler(TMessage& message) {
  switch (message.Msg) {
    case WM_PAINT: {
      if (handle_ == nullptr) break;
      TPaintScope scope(handle_, message);
      if (scope.Dc() != nullptr) Paint(scope.Dc());
      message.Result = 0;
      return;
    }
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      Press(GET_X_LPARAM(message.LParam), GET_Y_LPARAM(message.LParam));
      message.Result = 0;
      return;
    case WM_MOUSEMOVE:
    case WM_LBUTTONUP: {
      if (pressed_ == sbpNone) break;
      const int x = GET_X_LPARAM(message.LParam);
      const int y = GET_Y_LPARAM(message.LParam);
      const TScrollBarPart before = PressedPart();
      pointer_ = Along(x, y);
      pointerAcross_ = kind_ == sbVertical ? x : y;
      if (pressed_ == sbpThumb) {
        const int next = PositionAtThumb(pointer_ - grabOffset_);
        if (next != trackPos_) {
          trackPos_ = next;
          Invalidate();
          Notify(scTrack, trackPos_);
          if (!Alive()) return;
        }
      } else if (PressedPart() != before) {
        Invalidate();
      }
      if (message.Msg == WM_LBUTTONUP) Release();
      message.Result = 0;
      return;
    }
    case WM_TIMER:
      if (message.WParam != kRepeatTimer) break;
      TimerTick();
      message.Result = 0;
      return;
    case WM_CAPTURECHANGED:
      if (reinterpret_cast<HWND>(message.LParam) != handle_) EndPress(true);
      message.Result = 0;
      return;
    case WM_CANCELMODE:
      if (pressed_ != sbpNone && GetCapture() == handle_) ReleaseCapture();
      EndPress(true);
      message.Result = 0;
      return;
    case WM_GETDLGCODE:
      message.Result = DLGC_WANTARROWS;
      return;
    case WM_KEYDOWN: {
      TScrollCode code;
      switch (message.WParam) {
        case VK_UP: case VK_LEFT: code = scLineUp; break;
        case VK_DOWN: case VK_RIGHT: code = scLineDown; break;
        case VK_PRIOR: code = scPageUp; break;
        case VK_NEXT: code = scPageDown; break;
        case VK_HOME: code = scTop; break;
        case VK_END: code = scBottom; break;
        default: TWinControl::DefaultHandler(message); return;
      }
      keyScrolling_ = static_cast<WORD>(message.WParam);
      Notify(code, position_);
      message.Result = 0;
      return;
    }
    case WM_KEYUP:
      if (keyScrolling_ != 0 && message.WParam == keyScrolling_) {
        keyScrolling_ = 0;
        Notify(scEndScroll, position_);
        message.Result = 0;
        return;
      }
      break;
    case WM_DESTROY:
      StopTimer();
      pressed_ = sbpNone;
      break;
    default:
      break;
  }
  TWinControl::DefaultHandler(message);
}

void TScrollBar::Paint(HDC dc) {
  Layout l = ComputeLayout(Tracking() ? trackPos_ : position_);
  const bool vertical = kind_ == sbVertical;
  const TScrollBarPart down = PressedPart();
  const TRect first = Span(0, l.arrow);
  const TRect last = Span(l.length - l.arrow, l.length);
  DrawArrowButton(dc, first, vertical ? Arrow::Up : Arrow::Left, down == sbpLineUp, enabled_);
  DrawArrowButton(dc, last, vertical ? Arrow::Down : Arrow::Right, down == sbpLineDown, enabled_);
  if (l.thumbSize == 0) {
    DrawTrack(dc, Span(l.arrow, l.length - l.arrow));
    return;
  }
  const TRect pageUp = Span(l.arrow, l.thumbStart);
  const TRect pageDown = Span(l.thumbStart + l.thumbSize, l.length - l.arrow);
  // A held page part shows dark.
  if (down == sbpPageUp) Fill(dc, pageUp, GetSysColor(COLOR_BTNSHADOW)); else DrawTrack(dc, pageUp);
  if (down == sbpPageDown) Fill(dc, pageDown, GetSysColor(COLOR_BTNSHADOW)); else DrawTrack(dc, pageDown);
  DrawRaised(dc, Span(l.thumbStart, l.thumbStart + l.thumbSize));
}

// ---- TUpDown -------------------------------------------------------------------------------------

TUpDown::TUpDown(TComponent* owner) : TWinControl(owner) {
  width_ = 16;
  height_ = 24;
  explicitWidth_ = width_;
  explicitHeight_ = height_;
}

TUpDown::~TUpDown() {
  if (keyHook_ != 0) zuvo::platform::RemoveMessageHook(keyHook_);
  keyHook_ = 0;
  if (hookSelf_) *hookSelf_ = nullptr;
}

void TUpDown::SetMin(int value) {
  if (value > max_) return;   // refused
  min_ = value;
  if (position_ < min_) SetPosition(min_);
}

void TUpDown::SetMax(int value) {
  if (value < min_) return;   // refused
  max_ = value;
  if (position_ > max_) SetPosition(max_);
}

void TUpDown::SetPosition(int value) {
  position_ = std::clamp(value, min_, max_);
  WriteAssociate();
}

void TUpDown::SetOrientation(TUDOrientation value) {
  if (value == orientation_) return;
  orientation_ = value;
  Invalidate();
}

void TUpDown::SetThousands(bool value) {
  if (value == thousands_) return;
  thousands_ = value;
  WriteAssociate();
}

void TUpDown::SetAssociate(TWinControl* control) {
  if (control == associate_) return;
  if (control == this) throw EInvalidOperation("An up-down cannot be associated with itself");
  if (control != nullptr && parent_ != nullptr) {
    for (int i = 0; i < parent_->ControlCount(); ++i) {
      auto* other = dynamic_cast<TUpDown*>(parent_->Controls(i));
      if (other != nullptr && other != this && other->associate_ == control) {
        throw EInvalidOperation(control->Name() + " is already associated with " + other->Name());
      }
    }
  }
  if (associate_ != nullptr) associate_->RemoveFreeNotification(this);
  associate_ = control;
  if (control != nullptr) control->FreeNotification(this);
  UpdateKeyHook();
  if (control == nullptr) return;
  if (parent_ != nullptr && control->Parent() == parent_) {
    const int left = alignButton_ == udRight ? control->Left() + control->Width() : control->Left() - Width();
    SetBounds(left, control->Top(), Width(), control->Height());
  }
  WriteAssociate();
}

void TUpDown::Notification(TComponent* component, bool inserted) {
  TWinControl::Notification(component, inserted);
  // The associated control freed first: forget it.
  if (!inserted && component == associate_) {
    associate_ = nullptr;
    UpdateKeyHook();
  }
}

// Up and Down typed into the associated control step the up-down. The hook holds the up-down
// through a cell the destructor clears, so a hook list copied before the up-down went never
// reaches it.
void TUpDown::UpdateKeyHook() {
  if (associate_ == nullptr) {
    if (keyHook_ != 0) zuvo::platform::RemoveMessageHook(keyHook_);
    keyHook_ = 0;
    return;
  }
  if (keyHook_ != 0) return;
  if (!hookSelf_) hookSelf_ = std::make_shared<TUpDown*>(this);
  std::shared_ptr<TUpDown*> self = hookSelf_;
  keyHook_ = zuvo::platform::AddMessageHook([self](MSG& msg) {
    TUpDown* updown = *self;
    if (updown == nullptr || msg.message != WM_KEYDOWN || (msg.wParam != VK_UP && msg.wParam != VK_DOWN)) return false;
    if (!updown->arrowKeys_ || !updown->enabled_ || updown->associate_ == nullptr || msg.hwnd == nullptr) return false;
    // Compared, never followed: the associated control is known to be alive by its window.
    if (TWinControl::FromHandle(msg.hwnd) != updown->associate_) return false;
    updown->Step(msg.wParam == VK_UP ? btNext : btPrev);
    return true;
  });
}

void TUpDown::ReadAssociate() {
  if (associate_ == nullptr) return;
  std::int64_t value = 0;
  if (ParseNumber(associate_->Text(), value) && value >= min_ && value <= max_) {
    position_ = static_cast<int>(value);
  }
}

void TUpDown::WriteAssociate() {
  if (associate_ != nullptr) associate_->SetText(FormatNumber(position_, thousands_));
}

int TUpDown::ButtonAt(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
  const bool vertical = orientation_ == udVertical;
  const int p = vertical ? y : x;
  const int size = vertical ? height_ : width_;
  const int half = size / 2;
  if (p < half) return 1;
  if (p < size - half) return 0;   // the middle line of an odd size
  return 2;
}

int TUpDown::PressedButton() const {
  return pressed_ != 0 && ButtonAt(pointerX_, pointerY_) == pressed_ ? pressed_ : 0;
}

TUDBtnType TUpDown::ButtonType(int button) const {
  // The upper button counts up; on a horizontal up-down the right one does.
  if (orientation_ == udVertical) return button == 1 ? btNext : btPrev;
  return button == 1 ? btPrev : btNext;
}

bool TUpDown::CanChange(int newValue, TUpDownDirection direction) {
  bool allow = true;
  if (OnChanging) {
    TUDChangingEvent handler = OnChanging;
    handler(this, allow);
  }
  if (allow && OnChangingEx) {
    TUDChangingEventEx handler = OnChangingEx;
    handler(this, allow, newValue, direction);
  }
  return allow;
}

void TUpDown::Click(TUDBtnType button) {
  if (OnClick) {
    TUDClickEvent handler = OnClick;
    handler(this, button);
  }
}

// One step: from the associated text when it holds a number in the range, by Increment, held
// to the range or wrapped round it.
void TUpDown::Step(TUDBtnType button) {
  ReadAssociate();
  const std::int64_t delta = static_cast<std::int64_t>(increment_) * (button == btNext ? 1 : -1);
  const std::int64_t target = static_cast<std::int64_t>(position_) + delta;
  const std::int64_t count = static_cast<std::int64_t>(max_) - min_ + 1;
  std::int64_t next = target;
  if (target > max_) next = wrap_ ? min_ + (target - max_ - 1) % count : max_;
  if (target < min_) next = wrap_ ? max_ - (min_ - target - 1) % count : min_;
  const int value = static_cast<int>(next);
  if (value == position_) {
    WriteAssociate();   // typed text that was no number shows the position again
    return;
  }
  if (!CanChange(value, button == btNext ? updUp : updDown) || destroying_) return;
  position_ = value;
  WriteAssociate();
  if (destroying_) return;
  Click(button);
}

void TUpDown::StopTimer() {
  if (timerRunning_ && handle_ != nullptr) KillTimer(handle_, kRepeatTimer);
  timerRunning_ = false;
  repeating_ = false;
}

void TUpDown::EndPress() {
  if (pressed_ == 0) return;
  pressed_ = 0;
  StopTimer();
  Invalidate();
}

void TUpDown::DefaultHandler(TMessage& message) {
  switch (message.Msg) {
    case WM_PAINT: {
      if (handle_ == nullptr) break;
      TPaintScope scope(handle_, message);
      if (scope.Dc() != nullptr) Paint(scope.Dc());
      message.Result = 0;
      return;
    }
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
      message.Result = 0;
      if (pressed_ != 0) return;
      pointerX_ = GET_X_LPARAM(message.LParam);
      pointerY_ = GET_Y_LPARAM(message.LParam);
      const int button = ButtonAt(pointerX_, pointerY_);
      if (button == 0) return;
      SetCapture(handle_);
      pressed_ = button;
      Invalidate();
      Step(ButtonType(button));
      if (!Alive() || pressed_ != button) return;
      if (SetTimer(handle_, kRepeatTimer, kRepeatDelay, nullptr) != 0) timerRunning_ = true;
      return;
    }
    case WM_MOUSEMOVE:
    case WM_LBUTTONUP: {
      if (pressed_ == 0) break;
      const int before = PressedButton();
      pointerX_ = GET_X_LPARAM(message.LParam);
      pointerY_ = GET_Y_LPARAM(message.LParam);
      if (PressedButton() != before) Invalidate();
      if (message.Msg == WM_LBUTTONUP) {
        EndPress();
        if (GetCapture() == handle_) ReleaseCapture();
      }
      message.Result = 0;
      return;
    }
    case WM_TIMER:
      if (message.WParam != kRepeatTimer) break;
      if (pressed_ == 0) {
        StopTimer();
      } else {
        if (!repeating_) {
          SetTimer(handle_, kRepeatTimer, kRepeatInterval, nullptr);
          repeating_ = true;
        }
        if (PressedButton() == pressed_) Step(ButtonType(pressed_));
      }
      message.Result = 0;
      return;
    case WM_CAPTURECHANGED:
      if (reinterpret_cast<HWND>(message.LParam) != handle_) EndPress();
      message.Result = 0;
      return;
    case WM_CANCELMODE:
      EndPress();
      if (GetCapture() == handle_) ReleaseCapture();
      message.Result = 0;
      return;
    case WM_GETDLGCODE:
      message.Result = arrowKeys_ ? DLGC_WANTARROWS : 0;
      return;
    case WM_KEYDOWN:
      if (arrowKeys_) {
        if (message.WParam == VK_UP || message.WParam == VK_RIGHT) {
          Step(btNext);
          message.Result = 0;
          return;
        }
        if (message.WParam == VK_DOWN || message.WParam == VK_LEFT) {
          Step(btPrev);
          message.Result = 0;
          return;
        }
      }
      break;
    case WM_DESTROY:
      StopTimer();
      pressed_ = 0;
      break;
    default:
      break;
  }
  TWinControl::DefaultHandler(message);
}

void TUpDown::Paint(HDC dc) {
  const bool vertical = orientation_ == udVertical;
  const int size = vertical ? height_ : width_;
  const int half = size / 2;
  const int down = PressedButton();
  Fill(dc, 0, 0, width_, height_, GetSysColor(COLOR_BTNFACE));
  const TRect first = vertical ? TRect(0, 0, width_, half) : TRect(0, 0, half, height_);
  const TRect second = vertical ? TRect(0, height_ - half, width_, height_) : TRect(width_ - half, 0, width_, height_);
  DrawArrowButton(dc, first, vertical ? Arrow::Up : Arrow::Left, down == 1, enabled_);
  DrawArrowButton(dc, second, vertical ? Arrow::Down : Arrow::Right, down == 2, enabled_);
}

// ---- TControlScrollBar --------------------------------------------------------------------------

TControlScrollBar::TControlScrollBar(TWinControl* control, TScrollBarKind kind, Scrolled scrolled)
    : TScrollBar(control), control_(control), scrolled_(std::move(scrolled)) {
  SetKind(kind);
  tabStop_ = false;
  SetVisible(false);
  SetParent(control);
}

void TControlScrollBar::SetRange(int position, int min, int max, int page) {
  if (Min() == min && Max() == max && PageSize() == page && Position() == position) return;
  SetPageSize(0);
  SetParams(position, min, max);
  SetPageSize(page);
  SetPosition(position);
}

void TControlScrollBar::Scroll(TScrollCode code, int& position) {
  TScrollBar::Scroll(code, position);
  if (!control_->Destroying() && !Destroying() && scrolled_) scrolled_(code, position);
}

// Push buttons, check boxes, radio buttons and speed buttons of the form class library.
#include "platform/Button.h"

#include <algorithm>
#include <vector>

namespace {

constexpr int kCheckBoxSize = 13;
constexpr int kRadioSize = 12;
constexpr int kCaptionGap = 4;   // between the box and the caption
// The parent's colour questions, reflected to the control.
constexpr UINT kReflectedCtlColorBtn = CN_BASE + WM_CTLCOLORBTN;
constexpr UINT kReflectedCtlColorStatic = CN_BASE + WM_CTLCOLORSTATIC;

bool Inside(int x, int y, int width, int height) { return x >= 0 && y >= 0 && x < width && y < height; }

void FillColor(HDC dc, const RECT& rect, TColor color) {
  HBRUSH brush = CreateSolidBrush(ColorToRGB(color));
  FillRect(dc, &rect, brush);
  DeleteObject(brush);
}

// A one-pixel ring just inside `rect`: top and left lines in one colour, bottom and right in the
// other (the classic raised or sunken edge).
void Edge(HDC dc, const RECT& rect, TColor topLeft, TColor bottomRight) {
  if (rect.right - rect.left < 1 || rect.bottom - rect.top < 1) return;
  FillColor(dc, RECT{rect.left, rect.top, rect.right - 1, rect.top + 1}, topLeft);
  FillColor(dc, RECT{rect.left, rect.top, rect.left + 1, rect.bottom - 1}, topLeft);
  FillColor(dc, RECT{rect.left, rect.bottom - 1, rect.right, rect.bottom}, bottomRight);
  FillColor(dc, RECT{rect.right - 1, rect.top, rect.right, rect.bottom}, bottomRight);
}

void Shrink(RECT& rect, int by) {
  rect.left += by;
  rect.top += by;
  rect.right -= by;
  rect.bottom -= by;
}

// Caption text on a transparent background; a disabled caption is embossed as the classic
// controls draw it.
void DrawCaption(HDC dc, const std::string& text, RECT rect, UINT format, bool enabled, TColor color) {
  if (text.empty()) return;
  const int oldMode = SetBkMode(dc, TRANSPARENT);
  const COLORREF oldColor = GetTextColor(dc);
  if (enabled) {
    SetTextColor(dc, ColorToRGB(color));
    DrawTextA(dc, text.c_str(), -1, &rect, format);
  } else {
    RECT raised = rect;
    OffsetRect(&raised, 1, 1);
    SetTextColor(dc, ColorToRGB(clBtnHighlight));
    DrawTextA(dc, text.c_str(), -1, &raised, format);
    SetTextColor(dc, ColorToRGB(clBtnShadow));
    DrawTextA(dc, text.c_str(), -1, &rect, format);
  }
  SetTextColor(dc, oldColor);
  SetBkMode(dc, oldMode);
}

// The focus frame around a caption drawn left-aligned and centred vertically in `area`.
void CaptionFocus(HDC dc, const std::string& text, const RECT& area, UINT format) {
  RECT measured = area;
  DrawTextA(dc, text.empty() ? " " : text.c_str(), -1, &measured, format | DT_CALCRECT);
  const int height = measured.bottom - measured.top;
  RECT frame{area.left - 1, area.top + (area.bottom - area.top - height) / 2 - 1, measured.right + 1, 0};
  frame.bottom = frame.top + height + 2;
  frame.top = std::max<LONG>(frame.top, 0);
  frame.right = std::min<LONG>(frame.right, area.right);
  frame.bottom = std::min<LONG>(frame.bottom, area.bottom);
  DrawFocusRect(dc, &frame);
}

// The window's controls inside `root`, depth first.
template <class Visit>
void ForEachControl(TWinControl* root, Visit visit) {
  for (int i = 0; i < root->ControlCount(); ++i) {
    TControl* c = root->Controls(i);
    visit(c);
    if (auto* w = dynamic_cast<TWinControl*>(c); w != nullptr && dynamic_cast<TForm*>(w) == nullptr) {
      ForEachControl(w, visit);
    }
  }
}

}  // namespace

// ---- TButtonControl ---------------------------------------------------------------------------

TButtonControl::TButtonControl(TComponent* owner) : TWinControl(owner) {}

TButtonControl::~TButtonControl() {
  canvas_.FreeHandle();
  if (brush_ != nullptr) DeleteObject(brush_);
}

void TButtonControl::CreateParams(TCreateParams& params) {
  TWinControl::CreateParams(params);
  params.Style = (params.Style & ~static_cast<DWORD>(BS_TYPEMASK)) | (initialStyle_ & BS_TYPEMASK);
}

void TButtonControl::CreateWnd() {
  TWinControl::CreateWnd();
  if (handle_ != nullptr) SendMessageA(handle_, WM_SETFONT, reinterpret_cast<WPARAM>(Font()->Handle()), 0);
}

void TButtonControl::DestroyWnd() {
  canvas_.FreeHandle();
  if (handle_ != nullptr) {
    // A window made again keeps the button type it was given (owner drawing, say).
    initialStyle_ = static_cast<DWORD>(GetWindowLongPtrA(handle_, GWL_STYLE)) & BS_TYPEMASK;
  }
  TWinControl::DestroyWnd();
  pushed_ = focused_ = mouseDown_ = spaceDown_ = false;
  fontHandle_ = nullptr;
}

DWORD TButtonControl::ButtonStyle() const {
  if (handle_ == nullptr) return initialStyle_ & BS_TYPEMASK;
  return static_cast<DWORD>(GetWindowLongPtrA(handle_, GWL_STYLE)) & BS_TYPEMASK;
}

HBRUSH TButtonControl::ColorBrush() {
  if (brush_ == nullptr || brushColor_ != Color()) {
    if (brush_ != nullptr) DeleteObject(brush_);
    brushColor_ = Color();
    brush_ = CreateSolidBrush(ColorToRGB(brushColor_));
  }
  return brush_;
}

void TButtonControl::InvalidateFace() {
  if (handle_ != nullptr) InvalidateRect(handle_, nullptr, FALSE);
}

void TButtonControl::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  // The click comes from the window procedure's notification, never from the generic mouse
  // handling: a press and release inside would otherwise click twice.
  mouseCaptured_ = false;
  TWinControl::MouseDown(button, shift, x, y);
}

void TButtonControl::WndProc(TMessage& message) { TWinControl::WndProc(message); }

void TButtonControl::Dispatch(TMessage& message) {
  switch (message.Msg) {
    case WM_PAINT:
    case WM_ERASEBKGND:
      // The whole face is the window procedure's (below the class handlers).
      DefaultHandler(message);
      return;
    case CN_COMMAND:
      if (HIWORD(static_cast<DWORD_PTR>(message.WParam)) == BN_CLICKED) ButtonClicked();
      message.Result = 0;
      return;
    case kReflectedCtlColorBtn:
    case kReflectedCtlColorStatic: {
      HDC dc = reinterpret_cast<HDC>(message.WParam);
      SetTextColor(dc, ColorToRGB(Font()->Color()));
      SetBkColor(dc, ColorToRGB(Color()));
      message.Result = reinterpret_cast<LRESULT>(ColorBrush());
      return;
    }
    case CM_FONTCHANGED:
      if (handle_ != nullptr) SendMessageA(handle_, WM_SETFONT, reinterpret_cast<WPARAM>(Font()->Handle()), 1);
      return;
    case CM_COLORCHANGED:
      InvalidateFace();
      return;
    case CM_ENABLEDCHANGED:
      if (!Enabled()) CancelPress();
      InvalidateFace();
      TWinControl::Dispatch(message);
      return;
    default:
      TWinControl::Dispatch(message);
      return;
  }
}

void TButtonControl::DefaultHandler(TMessage& message) {
  ButtonMessage(message);
}

// The button's own window procedure: what the system's button does for its messages.
void TButtonControl::ButtonMessage(TMessage& message) {
  const UINT msg = message.Msg;
  switch (msg) {
    case BM_GETSTATE:
      message.Result = static_cast<LRESULT>(CheckState()) | (pushed_ ? BST_PUSHED : 0) | (focused_ ? BST_FOCUS : 0);
      return;
    case BM_SETSTATE:
      SetPushed(message.WParam != 0);
      message.Result = 0;
      return;
    case BM_GETCHECK:
      message.Result = static_cast<LRESULT>(CheckState());
      return;
    case BM_SETCHECK:
      if (ButtonKind() != Kind::Push) SetCheckState(message.WParam);
      message.Result = 0;
      return;
    case BM_CLICK:
      if (handle_ != nullptr && IsWindowEnabled(handle_)) NotifyClick();
      message.Result = 0;
      return;
    case BM_SETSTYLE: {
      const DWORD type = static_cast<DWORD>(message.WParam) & BS_TYPEMASK;
      if (handle_ != nullptr) {
        LONG_PTR style = GetWindowLongPtrA(handle_, GWL_STYLE);
        style = (style & ~static_cast<LONG_PTR>(BS_TYPEMASK)) | static_cast<LONG_PTR>(type);
        SetWindowLongPtrA(handle_, GWL_STYLE, style);
      } else {
        initialStyle_ = type;
      }
      if (message.LParam != 0) InvalidateFace();
      message.Result = 0;
      return;
    }
    case WM_GETDLGCODE:
      switch (ButtonKind()) {
        case Kind::Push:
          message.Result = DLGC_BUTTON | (ButtonStyle() == BS_DEFPUSHBUTTON ? DLGC_DEFPUSHBUTTON : DLGC_UNDEFPUSHBUTTON);
          break;
        case Kind::Radio: message.Result = DLGC_BUTTON | DLGC_RADIOBUTTON; break;
        case Kind::Check: message.Result = DLGC_BUTTON; break;
      }
      return;
    case WM_SETFONT:
      fontHandle_ = reinterpret_cast<HFONT>(message.WParam);
      if (LOWORD(static_cast<DWORD_PTR>(message.LParam)) != 0) InvalidateFace();
      message.Result = 0;
      return;
    case WM_GETFONT:
      message.Result = reinterpret_cast<LRESULT>(fontHandle_);
      return;
    case WM_PAINT:
      PaintButton(message);
      return;
    case WM_ERASEBKGND:
      message.Result = 1;
      return;
    case WM_SETFOCUS:
      focused_ = true;
      InvalidateFace();
      break;
    case WM_KILLFOCUS:
      focused_ = false;
      CancelPress();
      InvalidateFace();
      break;
    case WM_ENABLE:
      if (message.WParam == 0) CancelPress();
      InvalidateFace();
      break;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      if (handle_ == nullptr) break;
      if (!focused_) ::SetFocus(handle_);
      if (handle_ == nullptr) return;   // the focus change took the window away
      SetCapture(handle_);
      mouseDown_ = true;
      SetPushed(true);
      message.Result = 0;
      return;
    case WM_MOUSEMOVE:
      if (mouseDown_) SetPushed(Inside(GET_X_LPARAM(message.LParam), GET_Y_LPARAM(message.LParam), width_, height_));
      break;
    case WM_LBUTTONUP: {
      if (!mouseDown_) break;
      mouseDown_ = false;
      const bool click = pushed_;
      SetPushed(spaceDown_);
      if (handle_ != nullptr && GetCapture() == handle_) ReleaseCapture();
      if (click) NotifyClick();
      message.Result = 0;
      return;
    }
    case WM_CAPTURECHANGED:
      if (mouseDown_ && reinterpret_cast<HWND>(message.LParam) != handle_) {
        // Taken away while held: no click follows.
        mouseDown_ = false;
        SetPushed(spaceDown_);
      }
      break;
    case WM_KEYDOWN:
      if (message.WParam == VK_SPACE) {
        if (!spaceDown_ && !mouseDown_) {
          spaceDown_ = true;
          SetPushed(true);
        }
        message.Result = 0;
        return;
      }
      break;
    case WM_KEYUP:
      if (message.WParam == VK_SPACE) {
        if (spaceDown_) {
          spaceDown_ = false;
          const bool click = pushed_ && !mouseDown_;
          SetPushed(mouseDown_ && pushed_);
          if (click) NotifyClick();
        }
        message.Result = 0;
        return;
      }
      break;
    default:
      break;
  }
  TWinControl::DefaultHandler(message);
}

void TButtonControl::NotifyClick() {
  if (handle_ == nullptr) return;
  HWND parent = GetParent(handle_);
  if (parent == nullptr) return;
  const WORD id = static_cast<WORD>(GetDlgCtrlID(handle_));
  SendMessageA(parent, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(handle_));
}

void TButtonControl::SetPushed(bool pushed) {
  if (pushed == pushed_) return;
  pushed_ = pushed;
  InvalidateFace();
}

void TButtonControl::CancelPress() {
  if (mouseDown_ && handle_ != nullptr && GetCapture() == handle_) {
    mouseDown_ = false;
    ReleaseCapture();
  }
  mouseDown_ = false;
  spaceDown_ = false;
  SetPushed(false);
}

// Background from the parent's WM_CTLCOLORBTN brush, then the face: the class's Paint, or the
// parent's WM_DRAWITEM for an owner-drawn button.
void TButtonControl::PaintButton(TMessage& message) {
  TPaintScope scope(handle_, message);
  HDC dc = scope.Dc();
  message.Result = 0;
  if (dc == nullptr) return;
  // Taken back from the canvas before the scope ends the paint.
  struct Release {
    TCanvas& canvas;
    ~Release() { canvas.SetHandle(nullptr); }
  } release{canvas_};
  const RECT client{0, 0, ClientWidth(), ClientHeight()};
  HWND parent = handle_ != nullptr ? GetParent(handle_) : nullptr;
  HBRUSH brush = parent != nullptr
                     ? reinterpret_cast<HBRUSH>(SendMessageA(parent, WM_CTLCOLORBTN, reinterpret_cast<WPARAM>(dc),
                                                             reinterpret_cast<LPARAM>(handle_)))
                     : nullptr;
  if (brush == nullptr || GetObjectType(brush) != OBJ_BRUSH) brush = GetSysColorBrush(COLOR_BTNFACE);
  FillRect(dc, &client, brush);
  if (ButtonStyle() == BS_OWNERDRAW) {
    if (parent == nullptr) return;
    DRAWITEMSTRUCT item{};
    item.CtlType = ODT_BUTTON;
    item.CtlID = static_cast<UINT>(GetDlgCtrlID(handle_));
    item.itemAction = ODA_DRAWENTIRE;
    item.itemState = (pushed_ ? ODS_SELECTED : 0) | (focused_ ? ODS_FOCUS : 0) |
                     (IsWindowEnabled(handle_) ? 0 : ODS_DISABLED) |
                     (ButtonKind() != Kind::Push && CheckState() == BST_CHECKED ? ODS_CHECKED : 0);
    item.hwndItem = handle_;
    item.hDC = dc;
    item.rcItem = client;
    SendMessageA(parent, WM_DRAWITEM, item.CtlID, reinterpret_cast<LPARAM>(&item));
    return;
  }
  canvas_.FreeHandle();
  canvas_.Font()->Assign(font_);
  canvas_.SetHandle(dc);
  Paint();
}

// ---- TButton ----------------------------------------------------------------------------------

TButton::TButton(TComponent* owner) : TButtonControl(owner) {
  SetBounds(0, 0, 75, 25);
  tabStop_ = true;
}

void TButton::CreateParams(TCreateParams& params) {
  initialStyle_ = (initialStyle_ & BS_TYPEMASK) == BS_OWNERDRAW ? BS_OWNERDRAW
                                                                 : (default_ ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
  TButtonControl::CreateParams(params);
}

void TButton::SetDefault(bool value) {
  default_ = value;
  if (handle_ == nullptr) return;
  // Every button of the form may change: the default one is active unless a button is focused.
  TWinControl* root = GetParentForm(this);
  if (root == nullptr) root = this;
  HWND focus = GetFocus();
  UpdateButtonStyle(focus);
  ForEachControl(root, [focus](TControl* c) {
    if (auto* b = dynamic_cast<TButton*>(c)) b->UpdateButtonStyle(focus);
  });
}

bool TButton::ActiveFor(HWND focus) const {
  if (handle_ != nullptr && focus == handle_) return true;
  if (focus != nullptr) {
    auto* focused = dynamic_cast<TButton*>(FromHandle(focus));
    if (focused != nullptr && focused != this && GetParentForm(focused) == GetParentForm(const_cast<TButton*>(this))) {
      return false;
    }
  }
  return default_;
}

bool TButton::ActiveDefault() const { return ActiveFor(GetFocus()); }

void TButton::UpdateButtonStyle(HWND focus) {
  if (handle_ == nullptr) return;
  if (ButtonStyle() == BS_OWNERDRAW) {
    // An owner-drawn button keeps its type: its drawer shows the default state itself.
    InvalidateFace();
    return;
  }
  const DWORD want = ActiveFor(focus) ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
  if (ButtonStyle() != want) SendMessageA(handle_, BM_SETSTYLE, want, 1);
}

void TButton::Click() {
  if (TForm* form = GetParentForm(this)) form->SetModalResult(modalResult_);
  TButtonControl::Click();
}

void TButton::Dispatch(TMessage& message) {
  switch (message.Msg) {
    case CM_DIALOGKEY: {
      const WPARAM key = message.WParam;
      if (((key == VK_RETURN && ActiveDefault()) || (key == VK_ESCAPE && cancel_)) && KeyboardShiftState().Empty() &&
          CanFocus()) {
        Click();
        message.Result = 1;
        return;
      }
      break;
    }
    case CM_DIALOGCHAR:
      if (IsAccel(static_cast<WORD>(message.WParam), Caption()) && CanFocus()) {
        Click();
        message.Result = 1;
        return;
      }
      break;
    case CM_FOCUSCHANGED: {
      auto* focused = reinterpret_cast<TWinControl*>(message.LParam);
      UpdateButtonStyle(focused != nullptr && focused->HandleAllocated() ? focused->Handle() : nullptr);
      break;
    }
    case WM_SETFOCUS:
    case WM_KILLFOCUS: {
      TButtonControl::Dispatch(message);
      // The form's default style moves to a focused button and back when the focus leaves.
      HWND focus = message.Msg == WM_SETFOCUS ? handle_ : reinterpret_cast<HWND>(message.WParam);
      TWinControl* root = GetParentForm(this);
      if (root == nullptr) root = this;
      UpdateButtonStyle(focus);
      ForEachControl(root, [this, focus](TControl* c) {
        if (auto* b = dynamic_cast<TButton*>(c); b != nullptr && b != this) b->UpdateButtonStyle(focus);
      });
      return;
    }
    default:
      break;
  }
  TButtonControl::Dispatch(message);
}

// The classic push button: a raised two-pixel edge (sunken while pushed), a dark frame around
// the active default, the caption centred, the focus frame inside the edge.
void TButton::Paint() {
  HDC dc = Canvas()->Handle();
  RECT rect{0, 0, width_, height_};
  const bool isDefault = ButtonStyle() == BS_DEFPUSHBUTTON;
  if (isDefault) {
    Edge(dc, rect, clWindowFrame, clWindowFrame);
    Shrink(rect, 1);
  }
  if (Pushed()) {
    if (isDefault) {
      Edge(dc, rect, clBtnShadow, clBtnShadow);
    } else {
      Edge(dc, rect, cl3DDkShadow, clBtnHighlight);
      Shrink(rect, 1);
      Edge(dc, rect, clBtnShadow, cl3DLight);
    }
  } else {
    Edge(dc, rect, clBtnHighlight, cl3DDkShadow);
    Shrink(rect, 1);
    Edge(dc, rect, cl3DLight, clBtnShadow);
  }
  RECT text{4, 4, width_ - 4, height_ - 4};
  if (Pushed()) OffsetRect(&text, 1, 1);
  DrawCaption(dc, Caption(), text, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS, Enabled(), Font()->Color());
  if (HasFocus()) {
    RECT focus{4, 4, width_ - 4, height_ - 4};
    DrawFocusRect(dc, &focus);
  }
}

// ---- TCheckBox --------------------------------------------------------------------------------

TCheckBox::TCheckBox(TComponent* owner) : TButtonControl(owner) {
  SetBounds(0, 0, 97, 17);
  tabStop_ = true;
  initialStyle_ = BS_3STATE;
}

void TCheckBox::SetState(TCheckBoxState value) {
  if (value == state_) return;
  state_ = value;
  InvalidateFace();
  Perform(CM_CHANGED);
  if (!ClicksDisabled()) Click();
}

WPARAM TCheckBox::CheckState() const {
  switch (state_) {
    case cbChecked: return BST_CHECKED;
    case cbGrayed: return BST_INDETERMINATE;
    default: return BST_UNCHECKED;
  }
}

void TCheckBox::SetCheckState(WPARAM state) {
  SetState(state == BST_CHECKED ? cbChecked : state == BST_INDETERMINATE ? cbGrayed : cbUnchecked);
}

void TCheckBox::Toggle() {
  switch (state_) {
    case cbUnchecked: SetState(cbChecked); break;
    case cbChecked: SetState(allowGrayed_ ? cbGrayed : cbUnchecked); break;
    case cbGrayed: SetState(cbUnchecked); break;
  }
}

void TCheckBox::SetAlignment(TAlignment value) {
  if (value == alignment_) return;
  alignment_ = value;
  InvalidateFace();
}

void TCheckBox::Dispatch(TMessage& message) {
  if (message.Msg == CM_DIALOGCHAR && IsAccel(static_cast<WORD>(message.WParam), Caption()) && CanFocus()) {
    SetFocus();
    if (Focused()) Toggle();
    message.Result = 1;
    return;
  }
  TButtonControl::Dispatch(message);
}

// The classic check box: a sunken 13-pixel box (white, or face-coloured while pushed, disabled
// or grayed) with the tick, the caption beside it with the focus frame around it.
void TCheckBox::Paint() {
  HDC dc = Canvas()->Handle();
  const bool boxRight = alignment_ == taLeftJustify;
  const int boxLeft = boxRight ? width_ - kCheckBoxSize : 0;
  const int boxTop = (height_ - kCheckBoxSize) / 2;
  RECT box{boxLeft, boxTop, boxLeft + kCheckBoxSize, boxTop + kCheckBoxSize};
  Edge(dc, box, clBtnShadow, clBtnHighlight);
  Shrink(box, 1);
  Edge(dc, box, cl3DDkShadow, cl3DLight);
  Shrink(box, 1);
  const bool enabled = Enabled();
  FillColor(dc, box, Pushed() || !enabled || state_ == cbGrayed ? clBtnFace : clWindow);
  if (state_ != cbUnchecked) {
    // A three-pixel-thick tick of seven columns, lowest at the third.
    const COLORREF tick = ColorToRGB(state_ == cbGrayed || !enabled ? clBtnShadow : clWindowText);
    for (int column = 0; column < 7; ++column) {
      const int top = column < 3 ? 2 + column : 6 - column;
      for (int row = top; row < top + 3; ++row) SetPixelV(dc, box.left + 1 + column, box.top + row, tick);
    }
  }
  const RECT text = boxRight ? RECT{0, 0, width_ - kCheckBoxSize - kCaptionGap, height_}
                             : RECT{kCheckBoxSize + kCaptionGap, 0, width_, height_};
  const UINT format = DT_LEFT | DT_VCENTER | DT_SINGLELINE;
  DrawCaption(dc, Caption(), text, format, enabled, Font()->Color());
  if (HasFocus()) CaptionFocus(dc, Caption(), text, format);
}

// ---- TRadioButton -----------------------------------------------------------------------------

TRadioButton::TRadioButton(TComponent* owner) : TButtonControl(owner) {
  SetBounds(0, 0, 113, 17);
  initialStyle_ = BS_RADIOBUTTON;
}

void TRadioButton::SetChecked(bool value) {
  if (value == checked_) return;
  checked_ = value;
  // Only the checked button of a group is a tab stop; the notification goes out even when the
  // flag was already right, so that a face painted elsewhere is told of every check change.
  const bool tabStopChanges = tabStop_ != value;
  SetTabStop(value);
  if (!tabStopChanges) Perform(CM_TABSTOPCHANGED);
  InvalidateFace();
  if (value && parent_ != nullptr) {
    TWinControl* group = parent_;
    std::vector<TControl*> siblings;
    for (int i = 0; i < group->ControlCount(); ++i) siblings.push_back(group->Controls(i));
    for (TControl* c : siblings) {
      auto* radio = dynamic_cast<TRadioButton*>(c);
      if (radio != nullptr && radio != this && group->ContainsControl(radio) && radio->Parent() == group) {
        radio->SetChecked(false);
      }
    }
  }
  Perform(CM_CHANGED);
  if (value && !ClicksDisabled()) Click();
}

void TRadioButton::SetAlignment(TAlignment value) {
  if (value == alignment_) return;
  alignment_ = value;
  InvalidateFace();
}

void TRadioButton::Dispatch(TMessage& message) {
  if (message.Msg == CM_DIALOGCHAR && IsAccel(static_cast<WORD>(message.WParam), Caption()) && CanFocus()) {
    SetFocus();
    if (Focused()) SetChecked(true);
    message.Result = 1;
    return;
  }
  TButtonControl::Dispatch(message);
}

// The classic radio button: a round sunken box with a dot when checked, the caption beside it.
void TRadioButton::Paint() {
  TCanvas* canvas = Canvas();
  HDC dc = canvas->Handle();
  const bool boxRight = alignment_ == taLeftJustify;
  const int left = boxRight ? width_ - kRadioSize : 0;
  const int top = (height_ - kRadioSize) / 2;
  const bool enabled = Enabled();
  canvas->Pen()->SetColor(clBtnShadow);
  canvas->Brush()->SetColor(clBtnHighlight);
  canvas->Ellipse(left, top, left + kRadioSize, top + kRadioSize);
  canvas->Pen()->SetColor(cl3DDkShadow);
  canvas->Brush()->SetColor(Pushed() || !enabled ? clBtnFace : clWindow);
  canvas->Ellipse(left + 1, top + 1, left + kRadioSize - 1, top + kRadioSize - 1);
  if (checked_) {
    const TColor dot = enabled ? clWindowText : clBtnShadow;
    canvas->Pen()->SetColor(dot);
    canvas->Brush()->SetColor(dot);
    canvas->Ellipse(left + 4, top + 4, left + 8, top + 8);
  }
  const RECT text = boxRight ? RECT{0, 0, width_ - kRadioSize - kCaptionGap, height_}
                             : RECT{kRadioSize + kCaptionGap + 1, 0, width_, height_};
  const UINT format = DT_LEFT | DT_VCENTER | DT_SINGLELINE;
  dc = canvas->Handle();
  DrawCaption(dc, Caption(), text, format, enabled, Font()->Color());
  if (HasFocus()) CaptionFocus(dc, Caption(), text, format);
}

// ---- TSpeedButton -----------------------------------------------------------------------------

TSpeedButton::TSpeedButton(TComponent* owner) : TGraphicControl(owner) { SetBounds(0, 0, 23, 22); }

TSpeedButton::~TSpeedButton() {
  DropImages();
  if (glyph_ != nullptr) DeleteObject(glyph_);
}

void TSpeedButton::SetGroupIndex(int value) {
  if (value == groupIndex_) return;
  groupIndex_ = value;
  UpdateExclusive();
}

void TSpeedButton::SetDown(bool value) {
  if (groupIndex_ == 0) value = false;
  if (value == down_) return;
  // A group that may not be all up keeps its down button down until another goes down.
  if (down_ && !allowAllUp_) return;
  down_ = value;
  state_ = value ? bsExclusive : bsUp;
  Invalidate();
  if (value) UpdateExclusive();
}

void TSpeedButton::SetAllowAllUp(bool value) {
  if (value == allowAllUp_) return;
  allowAllUp_ = value;
  UpdateExclusive();
}

void TSpeedButton::SetFlat(bool value) {
  if (value == flat_) return;
  flat_ = value;
  Invalidate();
}

void TSpeedButton::SetNumGlyphs(int value) {
  if (value < 1 || value > 4 || value == numGlyphs_) return;
  numGlyphs_ = value;
  DropImages();
  Invalidate();
}

void TSpeedButton::SetSpacing(int value) {
  if (value == spacing_) return;
  spacing_ = value;
  Invalidate();
}

void TSpeedButton::SetGlyph(HBITMAP bitmap) {
  HBITMAP copy = nullptr;
  BITMAP info{};
  if (bitmap != nullptr && GetObjectA(bitmap, sizeof(info), &info) != 0 && info.bmWidth > 0 && info.bmHeight > 0) {
    HDC source = CreateCompatibleDC(nullptr);
    HDC target = CreateCompatibleDC(nullptr);
    copy = CreateCompatibleBitmap(source, info.bmWidth, info.bmHeight);
    if (source != nullptr && target != nullptr && copy != nullptr) {
      HGDIOBJ oldSource = SelectObject(source, bitmap);
      HGDIOBJ oldTarget = SelectObject(target, copy);
      BitBlt(target, 0, 0, info.bmWidth, info.bmHeight, source, 0, 0, SRCCOPY);
      SelectObject(source, oldSource);
      SelectObject(target, oldTarget);
    }
    if (source != nullptr) DeleteDC(source);
    if (target != nullptr) DeleteDC(target);
  }
  DropImages();
  if (glyph_ != nullptr) DeleteObject(glyph_);
  glyph_ = copy;
  Invalidate();
}

bool TSpeedButton::LoadGlyph(const std::string& fileName) {
  auto* bitmap = static_cast<HBITMAP>(LoadImageA(nullptr, fileName.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE));
  if (bitmap == nullptr) return false;
  DropImages();
  if (glyph_ != nullptr) DeleteObject(glyph_);
  glyph_ = bitmap;
  Invalidate();
  return true;
}

void TSpeedButton::DropImages() {
  if (images_ != nullptr) ImageList_Destroy(images_);
  images_ = nullptr;
  glyphWidth_ = glyphHeight_ = 0;
}

// The glyph's pictures in an image list masked by the colour of its bottom-left pixel.
bool TSpeedButton::BuildImages() {
  if (images_ != nullptr) return true;
  BITMAP info{};
  if (glyph_ == nullptr || GetObjectA(glyph_, sizeof(info), &info) == 0) return false;
  const int width = info.bmWidth / numGlyphs_;
  const int height = info.bmHeight;
  if (width < 1 || height < 1) return false;
  HDC memory = CreateCompatibleDC(nullptr);
  if (memory == nullptr) return false;
  // A copy goes into the list: adding with a mask colour blackens the masked pixels.
  HBITMAP copy = CreateCompatibleBitmap(memory, info.bmWidth, height);
  HDC source = CreateCompatibleDC(nullptr);
  COLORREF transparent = CLR_NONE;
  if (copy != nullptr && source != nullptr) {
    HGDIOBJ oldSource = SelectObject(source, glyph_);
    HGDIOBJ oldMemory = SelectObject(memory, copy);
    BitBlt(memory, 0, 0, info.bmWidth, height, source, 0, 0, SRCCOPY);
    transparent = GetPixel(source, 0, height - 1);
    SelectObject(memory, oldMemory);
    SelectObject(source, oldSource);
  }
  if (source != nullptr) DeleteDC(source);
  DeleteDC(memory);
  if (copy == nullptr) return false;
  images_ = ImageList_Create(width, height, ILC_COLOR32 | ILC_MASK, numGlyphs_, 0);
  if (images_ != nullptr) ImageList_AddMasked(images_, copy, transparent);
  DeleteObject(copy);
  if (images_ == nullptr) return false;
  glyphWidth_ = width;
  glyphHeight_ = height;
  return true;
}

// The picture of the state, or for a disabled button without its own picture the up picture
// embossed: its shape in highlight one pixel down and right, then in shadow.
void TSpeedButton::DrawGlyph(HDC dc, int x, int y, bool enabled) {
  const int count = ImageList_GetImageCount(images_);
  int index = 0;
  if (!enabled) {
    index = count > 1 ? 1 : -1;
  } else if (state_ == bsDown) {
    index = count > 2 ? 2 : 0;
  } else if (state_ == bsExclusive) {
    index = count > 3 ? 3 : count > 2 ? 2 : 0;
  }
  if (index >= 0) {
    ImageList_Draw(images_, index, dc, x, y, ILD_TRANSPARENT);
    return;
  }
  HDC memory = CreateCompatibleDC(dc);
  HBITMAP mask = CreateCompatibleBitmap(dc, glyphWidth_, glyphHeight_);
  if (memory == nullptr || mask == nullptr) {
    if (mask != nullptr) DeleteObject(mask);
    if (memory != nullptr) DeleteDC(memory);
    return;
  }
  HGDIOBJ old = SelectObject(memory, mask);
  ImageList_Draw(images_, 0, memory, 0, 0, ILD_MASK);
  std::vector<bool> shape(static_cast<std::size_t>(glyphWidth_ * glyphHeight_));
  for (int py = 0; py < glyphHeight_; ++py) {
    for (int px = 0; px < glyphWidth_; ++px) {
      shape[static_cast<std::size_t>(py * glyphWidth_ + px)] = (GetPixel(memory, px, py) & 0xFFFFFF) == 0;
    }
  }
  SelectObject(memory, old);
  DeleteObject(mask);
  DeleteDC(memory);
  for (const auto& [dx, color] : {std::pair{1, clBtnHighlight}, std::pair{0, clBtnShadow}}) {
    const COLORREF rgb = ColorToRGB(color);
    for (int py = 0; py < glyphHeight_; ++py) {
      for (int px = 0; px < glyphWidth_; ++px) {
        if (shape[static_cast<std::size_t>(py * glyphWidth_ + px)]) SetPixelV(dc, x + px + dx, y + py + dx, rgb);
      }
    }
  }
}

void TSpeedButton::Paint() {
  HDC dc = Canvas()->Handle();
  const bool enabled = Enabled();
  const bool pressedLook = enabled && (state_ == bsDown || state_ == bsExclusive);
  RECT rect{0, 0, Width(), Height()};
  if (!flat_) {
    FillColor(dc, rect, clBtnFace);
    if (pressedLook) {
      Edge(dc, rect, cl3DDkShadow, clBtnHighlight);
      Shrink(rect, 1);
      Edge(dc, rect, clBtnShadow, clBtnFace);
    } else {
      Edge(dc, rect, clBtnHighlight, cl3DDkShadow);
      Shrink(rect, 1);
      Edge(dc, rect, clBtnFace, clBtnShadow);
    }
    Shrink(rect, 1);
  } else if (pressedLook || (mouseInControl_ && enabled)) {
    Edge(dc, rect, pressedLook ? clBtnShadow : clBtnHighlight, pressedLook ? clBtnHighlight : clBtnShadow);
    Shrink(rect, 1);
  }
  if (state_ == bsExclusive && enabled && !(flat_ && mouseInControl_)) {
    // Down and not being pressed: the classic checkered face.
    const COLORREF face = ColorToRGB(clBtnFace);
    const COLORREF light = ColorToRGB(clBtnHighlight);
    for (int y = rect.top; y < rect.bottom; ++y) {
      for (int x = rect.left; x < rect.right; ++x) SetPixelV(dc, x, y, ((x + y) & 1) != 0 ? light : face);
    }
  }
  // The glyph, then the caption after it, the two centred together.
  const std::string caption = Caption();
  SIZE text{0, 0};
  if (!caption.empty()) {
    RECT measured{0, 0, 0, 0};
    DrawTextA(dc, caption.c_str(), -1, &measured, DT_SINGLELINE | DT_CALCRECT);
    text.cx = measured.right;
    text.cy = measured.bottom;
  }
  const bool glyph = BuildImages();
  const int total = (glyph ? glyphWidth_ : 0) + (glyph && !caption.empty() ? spacing_ : 0) + text.cx;
  const int offset = pressedLook ? 1 : 0;
  int x = (Width() - total) / 2 + offset;
  if (glyph) {
    DrawGlyph(dc, x, (Height() - glyphHeight_) / 2 + offset, enabled);
    x += glyphWidth_ + (caption.empty() ? 0 : spacing_);
  }
  if (!caption.empty()) {
    RECT area{x, (Height() - text.cy) / 2 + offset, x + text.cx, (Height() - text.cy) / 2 + offset + text.cy};
    DrawCaption(dc, caption, area, DT_LEFT | DT_SINGLELINE, enabled, Font()->Color());
  }
}

void TSpeedButton::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  // The click is decided at the release by this button's own tracking.
  mouseCaptured_ = false;
  TGraphicControl::MouseDown(button, shift, x, y);
  if (button != mbLeft || !Enabled()) return;
  if (!down_) {
    state_ = bsDown;
    Invalidate();
  }
  dragging_ = true;
}

void TSpeedButton::MouseMove(TShiftState shift, int x, int y) {
  TGraphicControl::MouseMove(shift, x, y);
  if (!dragging_) return;
  TButtonState next = down_ ? bsExclusive : bsUp;
  if (Inside(x, y, Width(), Height())) next = down_ ? bsExclusive : bsDown;
  if (next != state_) {
    state_ = next;
    Invalidate();
  }
}

void TSpeedButton::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  TGraphicControl::MouseUp(button, shift, x, y);
  if (!dragging_ || button != mbLeft) return;
  dragging_ = false;
  const bool click = Inside(x, y, Width(), Height());
  if (groupIndex_ == 0) {
    state_ = bsUp;
  } else if (click) {
    SetDown(!down_);
  } else {
    state_ = down_ ? bsExclusive : bsUp;
  }
  Invalidate();
  if (click) Click();
}

void TSpeedButton::Click() { TGraphicControl::Click(); }

void TSpeedButton::UpdateExclusive() {
  if (groupIndex_ == 0 || parent_ == nullptr) return;
  TWinControl* parent = parent_;
  std::vector<TControl*> siblings;
  for (int i = 0; i < parent->ControlCount(); ++i) siblings.push_back(parent->Controls(i));
  for (TControl* c : siblings) {
    if (c != this && c->Parent() == parent) {
      c->Perform(CM_BUTTONPRESSED, static_cast<WPARAM>(groupIndex_), reinterpret_cast<LPARAM>(this));
    }
  }
}

void TSpeedButton::ButtonPressed(int group, TSpeedButton* sender) {
  if (group != groupIndex_ || sender == this || sender == nullptr) return;
  if (sender->down_ && down_) {
    down_ = false;
    state_ = bsUp;
    Invalidate();
  }
  allowAllUp_ = sender->allowAllUp_;
}

void TSpeedButton::WndProc(TMessage& message) {
  switch (message.Msg) {
    case CM_BUTTONPRESSED:
      ButtonPressed(static_cast<int>(message.WParam), reinterpret_cast<TSpeedButton*>(message.LParam));
      return;
    case CM_MOUSEENTER:
    case CM_MOUSELEAVE:
      mouseInControl_ = message.Msg == CM_MOUSEENTER;
      if (flat_ && Enabled()) Invalidate();
      break;
    case CM_DIALOGCHAR:
      if (IsAccel(static_cast<WORD>(message.WParam), Caption()) && Enabled() && Visible() && parent_ != nullptr &&
          parent_->Showing()) {
        Click();
        message.Result = 1;
        return;
      }
      break;
    default:
      break;
  }
  TGraphicControl::WndProc(message);
}

// The image list and the tool bar with its buttons.

#include "platform/ToolBar.h"

#include <algorithm>
#include <string>

namespace {

constexpr UINT kListFlags = ILC_COLOR32 | ILC_MASK;
constexpr int kSeparatorWidth = 8;
constexpr int kButtonTop = 2;      // the row starts below a 2-pixel margin, as the classic bar's
constexpr int kCaptionGap = 2;     // between an image and the caption under it
constexpr COLORREF kWhite = RGB(255, 255, 255);

UINT StyleFlags(TDrawingStyle style) {
  switch (style) {
    case dsFocus: return ILD_FOCUS;
    case dsSelected: return ILD_SELECTED;
    case dsTransparent: return ILD_TRANSPARENT;
    case dsNormal: break;
  }
  return ILD_NORMAL;
}

// A memory context with its own white bitmap, freed with the object.
class ScratchBitmap {
 public:
  ScratchBitmap(int width, int height) {
    dc_ = CreateCompatibleDC(nullptr);
    bitmap_ = dc_ != nullptr ? CreateCompatibleBitmap(dc_, width, height) : nullptr;
    if (bitmap_ != nullptr) old_ = SelectObject(dc_, bitmap_);
  }
  ~ScratchBitmap() {
    if (old_ != nullptr) SelectObject(dc_, old_);
    if (bitmap_ != nullptr) DeleteObject(bitmap_);
    if (dc_ != nullptr) DeleteDC(dc_);
  }
  ScratchBitmap(const ScratchBitmap&) = delete;
  ScratchBitmap& operator=(const ScratchBitmap&) = delete;
  bool ok() const { return old_ != nullptr; }
  HDC dc() const { return dc_; }
  void Fill(int width, int height, COLORREF colour) {
    RECT all{0, 0, width, height};
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(dc_, &all, brush);
    DeleteObject(brush);
  }

 private:
  HDC dc_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ old_ = nullptr;
};

void FillSolid(HDC dc, int left, int top, int right, int bottom, COLORREF colour) {
  if (right <= left || bottom <= top) return;
  RECT r{left, top, right, bottom};
  HBRUSH brush = CreateSolidBrush(colour);
  FillRect(dc, &r, brush);
  DeleteObject(brush);
}

// A one-pixel edge: topLeft along the top and left, bottomRight along the bottom and right.
void Edge(HDC dc, const TRect& r, COLORREF topLeft, COLORREF bottomRight) {
  FillSolid(dc, r.left, r.top, r.right - 1, r.top + 1, topLeft);
  FillSolid(dc, r.left, r.top + 1, r.left + 1, r.bottom - 1, topLeft);
  FillSolid(dc, r.left, r.bottom - 1, r.right, r.bottom, bottomRight);
  FillSolid(dc, r.right - 1, r.top, r.right, r.bottom - 1, bottomRight);
}

TRect Shrunk(const TRect& r, int by) { return TRect(r.left + by, r.top + by, r.right - by, r.bottom - by); }

// Halfway between the face and the highlight: the face of a checked flat button.
COLORREF CheckedFace() {
  COLORREF a = GetSysColor(COLOR_BTNFACE), b = GetSysColor(COLOR_BTNHIGHLIGHT);
  return RGB((GetRValue(a) + GetRValue(b)) / 2, (GetGValue(a) + GetGValue(b)) / 2, (GetBValue(a) + GetBValue(b)) / 2);
}

}  // namespace

// ---- TChangeLink -----------------------------------------------------------------------------

TChangeLink::~TChangeLink() {
  if (sender_ != nullptr) sender_->UnRegisterChanges(this);
}

// ---- TImageList ------------------------------------------------------------------------------

TImageList::TImageList(TComponent* owner) : TImageList(owner, 16, 16) {}

TImageList::TImageList(TComponent* owner, int width, int height) : TComponent(owner) {
  width_ = std::max(1, width);
  height_ = std::max(1, height);
  handle_ = ImageList_Create(width_, height_, kListFlags, 4, 4);
  if (handle_ == nullptr) throw EOutOfResources("Image list of " + std::to_string(width) + " x " + std::to_string(height));
}

TImageList::~TImageList() {
  // Clients let the list go: Sender is null when they are told.
  std::vector<TChangeLink*> links;
  links.swap(links_);
  for (TChangeLink* link : links) link->sender_ = nullptr;
  for (TChangeLink* link : links) {
    if (link->OnChange) link->OnChange();
  }
  ImageList_Destroy(handle_);
}

void TImageList::SetSize(int width, int height) {
  if (width < 1 || height < 1 || (width == width_ && height == height_)) return;
  HIMAGELIST made = ImageList_Create(width, height, kListFlags, 4, 4);
  if (made == nullptr) return;   // too large: the list stays as it was
  ImageList_Destroy(handle_);
  handle_ = made;
  width_ = width;
  height_ = height;
  if (bkColor_ != clNone) ImageList_SetBkColor(handle_, ColorToRGB(bkColor_));
  Change();
}

int TImageList::Count() const { return ImageList_GetImageCount(handle_); }

int TImageList::Add(HBITMAP image, HBITMAP mask) {
  int first = ImageList_Add(handle_, image, mask);
  if (first >= 0) Change();
  return first;
}

int TImageList::AddMasked(HBITMAP image, TColor maskColor) {
  int first = maskColor == clNone ? ImageList_Add(handle_, image, nullptr)
                                  : ImageList_AddMasked(handle_, image, ColorToRGB(maskColor));
  if (first >= 0) Change();
  return first;
}

void TImageList::Delete(int index) {
  if (index < 0 || index >= Count()) return;
  ImageList_Remove(handle_, index);
  Change();
}

void TImageList::Clear() {
  ImageList_Remove(handle_, -1);
  Change();
}

void TImageList::SetBkColor(TColor color) {
  if (color == bkColor_) return;
  bkColor_ = color;
  ImageList_SetBkColor(handle_, color == clNone ? CLR_NONE : ColorToRGB(color));
  Change();
}

void TImageList::Draw(TCanvas* canvas, int x, int y, int index, bool enabled) {
  if (canvas == nullptr) return;
  Draw(canvas->Handle(), x, y, index, enabled);
}

void TImageList::Draw(HDC dc, int x, int y, int index, bool enabled) {
  if (dc == nullptr || index < 0 || index >= Count()) return;
  if (enabled) {
    ImageList_DrawEx(handle_, index, dc, x, y, 0, 0, CLR_DEFAULT, CLR_DEFAULT, StyleFlags(drawingStyle_));
  } else {
    DrawDisabled(dc, x, y, index, true);
  }
}

// The greyed image: its inked pixels become a shape, drawn once in the highlight colour one pixel
// right and down (unless not etched) and once in the shadow colour in place, each through blits
// (the shape blacks out the destination, the coloured shape is merged in).
void TImageList::DrawDisabled(HDC dc, int x, int y, int index, bool etched) {
  if (dc == nullptr || index < 0 || index >= Count()) return;
  ScratchBitmap shape(width_, height_);
  if (!shape.ok()) return;
  shape.Fill(width_, height_, kWhite);
  ImageList_DrawEx(handle_, index, shape.dc(), 0, 0, 0, 0, CLR_NONE, CLR_NONE, ILD_TRANSPARENT);
  // Black where the image has ink, white where it is transparent or white.
  for (int row = 0; row < height_; ++row) {
    for (int column = 0; column < width_; ++column) {
      if (GetPixel(shape.dc(), column, row) != kWhite) SetPixelV(shape.dc(), column, row, RGB(0, 0, 0));
    }
  }
  auto stamp = [&](int left, int top, COLORREF colour) {
    ScratchBitmap coloured(width_, height_);
    if (!coloured.ok()) return;
    // ~(shape | ~colour) is the colour on the ink and black elsewhere.
    coloured.Fill(width_, height_, ~colour & 0xFFFFFF);
    BitBlt(coloured.dc(), 0, 0, width_, height_, shape.dc(), 0, 0, NOTSRCERASE);
    BitBlt(dc, left, top, width_, height_, shape.dc(), 0, 0, SRCAND);
    BitBlt(dc, left, top, width_, height_, coloured.dc(), 0, 0, SRCPAINT);
  };
  if (etched) stamp(x + 1, y + 1, GetSysColor(COLOR_BTNHIGHLIGHT));
  stamp(x, y, GetSysColor(COLOR_BTNSHADOW));
}

void TImageList::RegisterChanges(TChangeLink* link) {
  if (link == nullptr || link->sender_ == this) return;
  if (link->sender_ != nullptr) link->sender_->UnRegisterChanges(link);
  link->sender_ = this;
  links_.push_back(link);
}

void TImageList::UnRegisterChanges(TChangeLink* link) {
  auto it = std::find(links_.begin(), links_.end(), link);
  if (it == links_.end()) return;
  links_.erase(it);
  link->sender_ = nullptr;
}

void TImageList::Change() {
  std::vector<TChangeLink*> links = links_;
  for (TChangeLink* link : links) {
    // A client told earlier may have let the list go.
    if (std::find(links_.begin(), links_.end(), link) != links_.end() && link->OnChange) link->OnChange();
  }
  if (OnChange) {
    TNotifyEvent handler = OnChange;
    handler(this);
  }
}

// ---- TToolButton -----------------------------------------------------------------------------

TToolButton::TToolButton(TComponent* owner) : TGraphicControl(owner) {
  TGraphicControl::SetBounds(0, 0, 23, 22);
}

TToolButton::~TToolButton() {
  if (toolBar_ != nullptr) toolBar_->ForgetButton(this);
}

int TToolButton::Index() const {
  if (toolBar_ == nullptr) return -1;
  auto& list = toolBar_->buttons_;
  auto it = std::find(list.begin(), list.end(), this);
  return it == list.end() ? -1 : static_cast<int>(it - list.begin());
}

void TToolButton::SetIndex(int index) {
  int current = Index();
  if (current < 0) return;
  auto& list = toolBar_->buttons_;
  index = std::clamp(index, 0, static_cast<int>(list.size()) - 1);
  if (index == current) return;
  list.erase(list.begin() + current);
  list.insert(list.begin() + index, this);
  toolBar_->ArrangeButtons();
}

void TToolButton::SetStyle(TToolButtonStyle style) {
  if (style == style_) return;
  style_ = style;
  if (style == tbsSeparator || style == tbsDivider) {
    pressed_ = false;
    if (toolBar_ != nullptr && toolBar_->hot_ == this) toolBar_->SetHot(nullptr);
  }
  if (toolBar_ != nullptr) toolBar_->ArrangeButtons();
  Invalidate();
}

void TToolButton::SetDown(bool down) {
  if (down == down_) return;
  down_ = down;
  Invalidate();
  if (!down || !grouped_ || style_ != tbsCheck || toolBar_ == nullptr) return;
  // Going down raises the others of its run of grouped check buttons.
  const auto& list = toolBar_->buttons_;
  const int at = Index();
  auto raise = [&](int from, int step) {
    for (int i = from; i >= 0 && i < static_cast<int>(list.size()); i += step) {
      TToolButton* other = list[static_cast<std::size_t>(i)];
      if (!other->grouped_ || other->style_ != tbsCheck) break;
      if (other->down_) {
        other->down_ = false;
        other->Invalidate();
      }
    }
  };
  raise(at - 1, -1);
  raise(at + 1, +1);
}

void TToolButton::SetImageIndex(int index) {
  if (index == imageIndex_) return;
  imageIndex_ = index;
  Invalidate();
}

void TToolButton::SetBounds(int left, int top, int width, int height) {
  if (toolBar_ == nullptr || toolBar_->arranging_) {
    TGraphicControl::SetBounds(left, top, width, height);
    return;
  }
  // On a bar the bar places its buttons; only a separator's width is its own.
  if (style_ == tbsSeparator || style_ == tbsDivider) separatorWidth_ = std::max(0, width);
  toolBar_->ArrangeButtons();
}

void TToolButton::SetPressed(bool pressed) {
  if (pressed == pressed_) return;
  pressed_ = pressed;
  Invalidate();
}

void TToolButton::WndProc(TMessage& message) {
  switch (message.Msg) {
    case WM_LBUTTONDBLCLK:
      // A quick second click is a click like the first.
      message.Msg = WM_LBUTTONDOWN;
      break;
    case CM_MOUSEENTER:
      if (toolBar_ != nullptr) toolBar_->SetHot(this);
      break;
    case CM_MOUSELEAVE:
      if (toolBar_ != nullptr && toolBar_->hot_ == this) toolBar_->SetHot(nullptr);
      break;
    case CM_VISIBLECHANGED:
    case CM_ENABLEDCHANGED:
      if (!visible_ || !enabled_) {
        pressed_ = false;
        if (toolBar_ != nullptr && toolBar_->hot_ == this) toolBar_->SetHot(nullptr);
      }
      if (message.Msg == CM_VISIBLECHANGED && toolBar_ != nullptr) toolBar_->ArrangeButtons();
      break;
    default:
      break;
  }
  TGraphicControl::WndProc(message);
}

void TToolButton::Click() {
  if (style_ == tbsSeparator || style_ == tbsDivider) return;
  SetPressed(false);
  if (style_ == tbsCheck) {
    if (!grouped_) {
      SetDown(!down_);
    } else if (!down_) {
      SetDown(true);
    } else if (allowAllUp_) {
      SetDown(false);
    }
  }
  TGraphicControl::Click();
}

void TToolButton::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  if (button == mbLeft && style_ != tbsSeparator && style_ != tbsDivider) SetPressed(true);
  TGraphicControl::MouseDown(button, shift, x, y);
}

void TToolButton::MouseMove(TShiftState shift, int x, int y) {
  // Held: pressed while the pointer is on it, raised while it is off.
  if (mouseCaptured_ && style_ != tbsSeparator && style_ != tbsDivider) {
    SetPressed(x >= 0 && y >= 0 && x < Width() && y < Height());
  }
  TGraphicControl::MouseMove(shift, x, y);
}

void TToolButton::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  if (button == mbLeft) SetPressed(false);
  TGraphicControl::MouseUp(button, shift, x, y);
}

// ---- TToolBar --------------------------------------------------------------------------------

TToolBar::TToolBar(TComponent* owner) : TCustomControl(owner) {
  TCustomControl::SetBounds(0, 0, 150, 26);
  SetAlign(alTop);
  imageLink_.OnChange = [this] {
    if (imageLink_.Sender() == nullptr) images_ = nullptr;   // the list was freed
    Invalidate();
  };
}

TToolBar::~TToolBar() {
  // The buttons are freed by the base destructor, after this bar's part is gone.
  for (TToolButton* button : buttons_) button->toolBar_ = nullptr;
  buttons_.clear();
  hot_ = nullptr;
}

TToolButton* TToolBar::Buttons(int index) const {
  if (index < 0 || index >= ButtonCount()) throw EListError("List index out of bounds (" + std::to_string(index) + ")");
  return buttons_[static_cast<std::size_t>(index)];
}

void TToolBar::SetFlat(bool flat) {
  if (flat == flat_) return;
  flat_ = flat;
  if (!flat) hot_ = nullptr;
  Invalidate();
}

void TToolBar::SetButtonWidth(int width) {
  if (width < 1 || width == buttonWidth_) return;
  buttonWidth_ = width;
  ArrangeButtons();
}

void TToolBar::SetButtonHeight(int height) {
  if (height < 1 || height == buttonHeight_) return;
  buttonHeight_ = height;
  ArrangeButtons();
}

void TToolBar::SetIndent(int indent) {
  if (indent == indent_) return;
  indent_ = indent;
  ArrangeButtons();
}

void TToolBar::SetShowCaptions(bool value) {
  if (value == showCaptions_) return;
  showCaptions_ = value;
  Invalidate();
}

void TToolBar::SetImages(TImageList* images) {
  if (images == images_) return;
  if (images_ != nullptr) images_->UnRegisterChanges(&imageLink_);
  images_ = images;
  if (images_ != nullptr) images_->RegisterChanges(&imageLink_);
  Invalidate();
}

TCustomDrawState TToolBar::ButtonState(const TToolButton* button) const {
  TCustomDrawState state;
  if (button == nullptr) return state;
  if (button->pressed_ || (button->down_ && button->style_ == tbsButton)) state << cdsSelected;
  if (button->down_ && button->style_ == tbsCheck) state << cdsChecked;
  if (button == hot_) state << cdsHot;
  if (!button->Enabled() || !Enabled()) state << cdsDisabled;
  return state;
}

void TToolBar::ControlsChanged() {
  // Buttons that left (the bar hears of it after the fact) and buttons that joined, at the end.
  for (auto it = buttons_.begin(); it != buttons_.end();) {
    if (std::find(controls_.begin(), controls_.end(), *it) == controls_.end()) {
      TToolButton* gone = *it;
      it = buttons_.erase(it);
      gone->toolBar_ = nullptr;
      gone->pressed_ = false;
      if (hot_ == gone) hot_ = nullptr;
    } else {
      ++it;
    }
  }
  for (TControl* control : controls_) {
    auto* button = dynamic_cast<TToolButton*>(control);
    if (button != nullptr && button->toolBar_ != this) {
      button->toolBar_ = this;
      buttons_.push_back(button);
    }
  }
  ArrangeButtons();
}

void TToolBar::ForgetButton(TToolButton* button) {
  auto it = std::find(buttons_.begin(), buttons_.end(), button);
  if (it != buttons_.end()) buttons_.erase(it);
  if (hot_ == button) hot_ = nullptr;
  button->toolBar_ = nullptr;
  ArrangeButtons();
}

void TToolBar::ArrangeButtons() {
  if (arranging_ || destroying_) return;
  arranging_ = true;
  int x = indent_;
  std::vector<TToolButton*> list = buttons_;
  for (TToolButton* button : list) {
    if (button->toolBar_ != this || !button->Visible()) continue;
    const bool separator = button->style_ == tbsSeparator || button->style_ == tbsDivider;
    const int width = separator ? button->separatorWidth_ : buttonWidth_;
    button->SetBounds(x, kButtonTop, width, buttonHeight_);
    x += width;
  }
  arranging_ = false;
}

void TToolBar::SetHot(TToolButton* button) {
  if (button != nullptr &&
      (!flat_ || !button->Enabled() || !button->Visible() || button->style_ == tbsSeparator || button->style_ == tbsDivider)) {
    button = nullptr;
  }
  if (button == hot_) return;
  TToolButton* old = hot_;
  hot_ = button;
  if (old != nullptr) old->Invalidate();
  if (button != nullptr) button->Invalidate();
}

void TToolBar::Dispatch(TMessage& message) {
  if (message.Msg == WM_ERASEBKGND && OnAdvancedCustomDraw) {
    HDC dc = reinterpret_cast<HDC>(message.WParam);
    const TRect client = ClientRect();
    TTBAdvancedCustomDrawEvent handler = OnAdvancedCustomDraw;
    auto raise = [&](TCustomDrawStage stage) {
      bool defaultDraw = true;
      canvas_.FreeHandle();
      canvas_.Font()->Assign(font_);
      canvas_.SetHandle(dc);
      handler(this, client, stage, defaultDraw);
      canvas_.SetHandle(nullptr);
      return defaultDraw;
    };
    if (raise(cdPreErase)) TCustomControl::Dispatch(message);
    raise(cdPostErase);
    message.Result = 1;
    return;
  }
  TCustomControl::Dispatch(message);
  if (message.Msg == WM_CAPTURECHANGED && reinterpret_cast<HWND>(message.LParam) != handle_) {
    // The capture taken away while a button was held: no click follows, nothing stays pressed.
    for (TToolButton* button : buttons_) button->SetPressed(false);
  }
}

void TToolBar::Paint() {
  const TRect client = ClientRect();
  TTBAdvancedCustomDrawEvent handler = OnAdvancedCustomDraw;
  bool defaultDraw = true;
  if (handler) handler(this, client, cdPrePaint, defaultDraw);
  if (!defaultDraw) return;
  std::vector<TToolButton*> list = buttons_;
  for (TToolButton* button : list) {
    // A handler may have taken a button off the bar, or freed it.
    if (std::find(buttons_.begin(), buttons_.end(), button) != buttons_.end() && button->Visible()) PaintButton(button);
  }
  if (handler) {
    bool post = true;
    handler(this, client, cdPostPaint, post);
  }
}

void TToolBar::PaintButton(TToolButton* button) {
  if (button->style_ == tbsSeparator || button->style_ == tbsDivider) {
    DrawSeparator(button);
    return;
  }
  const TCustomDrawState state = ButtonState(button);
  TTBCustomDrawFlags flags;
  bool defaultDraw = true;
  TTBAdvancedCustomDrawBtnEvent handler = OnAdvancedCustomDrawButton;
  if (handler) handler(this, button, state, cdPrePaint, flags, defaultDraw);
  if (!defaultDraw || std::find(buttons_.begin(), buttons_.end(), button) == buttons_.end()) return;
  // A button cut by the bar's right edge is left blank rather than drawn in part.
  if (button->Left() + button->Width() <= ClientWidth()) DrawButtonFace(button, state, flags);
  if (handler) {
    bool post = true;
    handler(this, button, state, cdPostPaint, flags, post);
  }
}

void TToolBar::DrawSeparator(TToolButton* button) {
  if (button->style_ != tbsDivider && !flat_) return;
  const TRect r = button->BoundsRect();
  if (r.right > ClientWidth()) return;
  HDC dc = canvas_.Handle();
  const int middle = r.left + r.Width() / 2 - 1;
  FillSolid(dc, middle, r.top, middle + 1, r.bottom, GetSysColor(COLOR_BTNSHADOW));
  FillSolid(dc, middle + 1, r.top, middle + 2, r.bottom, GetSysColor(COLOR_BTNHIGHLIGHT));
}

void TToolBar::DrawButtonFace(TToolButton* button, TCustomDrawState state, TTBCustomDrawFlags flags) {
  HDC dc = canvas_.Handle();
  if (dc == nullptr) return;
  const TRect r = button->BoundsRect();
  const bool pressed = state.Contains(cdsSelected);
  const bool checked = state.Contains(cdsChecked);
  const bool hot = state.Contains(cdsHot);
  const bool disabled = state.Contains(cdsDisabled);
  const bool sunken = pressed || checked;
  const bool edges = !flags.Contains(tbNoEdges);
  const COLORREF highlight = GetSysColor(COLOR_BTNHIGHLIGHT);
  const COLORREF shadow = GetSysColor(COLOR_BTNSHADOW);

  if (flat_) {
    if (hot && flags.Contains(tbHiliteHotTrack)) {
      FillSolid(dc, r.left, r.top, r.right, r.bottom, GetSysColor(COLOR_HIGHLIGHT));
    } else if (checked && !hot && !pressed) {
      FillSolid(dc, r.left + 1, r.top + 1, r.right - 1, r.bottom - 1, CheckedFace());
    }
    if (edges && sunken) {
      Edge(dc, r, shadow, highlight);
    } else if (edges && hot) {
      Edge(dc, r, highlight, shadow);
    }
  } else {
    FillSolid(dc, r.left, r.top, r.right, r.bottom,
              checked && !pressed ? CheckedFace() : ColorToRGB(Color()));
    if (edges && sunken) {
      Edge(dc, r, shadow, highlight);
      Edge(dc, Shrunk(r, 1), GetSysColor(COLOR_3DDKSHADOW), GetSysColor(COLOR_3DLIGHT));
    } else if (edges) {
      Edge(dc, r, highlight, GetSysColor(COLOR_3DDKSHADOW));
      Edge(dc, Shrunk(r, 1), GetSysColor(COLOR_3DLIGHT), shadow);
    }
  }

  const int offset = sunken && !flags.Contains(tbNoOffset) ? 1 : 0;
  const bool hasImage = images_ != nullptr && button->imageIndex_ >= 0 && button->imageIndex_ < images_->Count();
  const std::string caption = showCaptions_ ? button->Caption() : std::string();
  int textHeight = 0;
  if (!caption.empty()) {
    SIZE extent{};
    GetTextExtentPoint32A(dc, caption.c_str(), static_cast<int>(caption.size()), &extent);
    textHeight = extent.cy;
  }
  const int imageHeight = hasImage ? images_->Height() : 0;
  const int contentHeight = imageHeight + (hasImage && textHeight > 0 ? kCaptionGap : 0) + textHeight;
  const int top = r.top + (r.Height() - contentHeight) / 2 + offset;
  if (hasImage) {
    const int x = r.left + (r.Width() - images_->Width()) / 2 + offset;
    if (disabled) {
      images_->DrawDisabled(dc, x, top, button->imageIndex_, !flags.Contains(tbNoEtchedEffect));
    } else {
      images_->Draw(dc, x, top, button->imageIndex_, true);
    }
  }
  if (!caption.empty()) {
    RECT text{r.left + offset, top + imageHeight + (hasImage ? kCaptionGap : 0), r.right + offset, top + contentHeight};
    SetBkMode(dc, TRANSPARENT);
    if (disabled && !flags.Contains(tbNoEtchedEffect)) {
      RECT etched{text.left + 1, text.top + 1, text.right + 1, text.bottom + 1};
      SetTextColor(dc, highlight);
      DrawTextA(dc, caption.c_str(), static_cast<int>(caption.size()), &etched, DT_CENTER | DT_SINGLELINE | DT_NOCLIP);
    }
    SetTextColor(dc, disabled ? GetSysColor(COLOR_GRAYTEXT) : ColorToRGB(Font()->Color()));
    DrawTextA(dc, caption.c_str(), static_cast<int>(caption.size()), &text, DT_CENTER | DT_SINGLELINE | DT_NOCLIP);
  }
}

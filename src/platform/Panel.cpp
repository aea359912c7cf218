// Panels, paint boxes, labels, static texts, group boxes, bevels, images and splitters.
#include "platform/Panel.h"

#include "platform/Gdi.h"
#include "platform/Rect.h"
#include "platform/WinUser.h"

#include <algorithm>
#include <vector>

namespace {

// Raises an event through a copy of its handler: a handler that frees its own control still
// runs to its end.
template <class Event, class... Args>
void Raise(const Event& event, Args&&... args) {
  if (!event) return;
  Event handler = event;
  handler(std::forward<Args>(args)...);
}

// A memory context with a font selected: measures text without a window.
class MeasureDc {
 public:
  explicit MeasureDc(TFont* font) : dc_(CreateCompatibleDC(nullptr)) {
    if (dc_ != nullptr) old_ = SelectObject(dc_, font->Handle());
  }
  ~MeasureDc() {
    if (dc_ == nullptr) return;
    if (old_ != nullptr) SelectObject(dc_, old_);
    DeleteDC(dc_);
  }
  MeasureDc(const MeasureDc&) = delete;
  MeasureDc& operator=(const MeasureDc&) = delete;
  HDC dc() const { return dc_; }
  int TextHeight(const char* text) const {
    SIZE size{0, 0};
    if (dc_ != nullptr) GetTextExtentPoint32A(dc_, text, static_cast<int>(std::char_traits<char>::length(text)), &size);
    return size.cy;
  }

 private:
  HDC dc_;
  HGDIOBJ old_ = nullptr;
};

UINT AlignmentFlag(TAlignment alignment) {
  switch (alignment) {
    case taRightJustify: return DT_RIGHT;
    case taCenter: return DT_CENTER;
    default: return DT_LEFT;
  }
}

// The text a label measures: an empty caption, or one that is only the prefix, still has the
// height of a line.
std::string MeasuredText(const std::string& caption, bool showAccelChar) {
  if (caption.empty() || (showAccelChar && caption == "&")) return caption + " ";
  return caption;
}

// Draws text through the canvas (its font, transparent unless the brush is solid); disabled text
// is embossed: highlight one pixel down and right, shadow over it.
void DrawCaption(TCanvas* canvas, const std::string& text, TRect rect, UINT flags, bool enabled) {
  if (!enabled) {
    const TColor colour = canvas->Font()->Color();
    OffsetRect(&rect, 1, 1);
    canvas->Font()->SetColor(clBtnHighlight);
    DrawTextA(canvas->Handle(), text.c_str(), -1, &rect, flags);
    OffsetRect(&rect, -1, -1);
    canvas->Font()->SetColor(clBtnShadow);
    DrawTextA(canvas->Handle(), text.c_str(), -1, &rect, flags);
    canvas->Font()->SetColor(colour);
    return;
  }
  DrawTextA(canvas->Handle(), text.c_str(), -1, &rect, flags);
}

// Whether `candidate` is a windowed control of the tree `from` sits in. Compares pointers only,
// so a control freed meanwhile (and so gone from the tree) is never read.
bool InSameTree(TControl* from, const TWinControl* candidate) {
  if (from == nullptr || candidate == nullptr) return false;
  TControl* top = from;
  while (top->Parent() != nullptr) top = top->Parent();
  auto* root = dynamic_cast<TWinControl*>(top);
  if (root == nullptr) return false;
  if (root == candidate) return true;
  std::vector<TWinControl*> list;
  root->GetTabOrderList(list);
  return std::find(list.begin(), list.end(), candidate) != list.end();
}

bool Holds(const TWinControl* parent, const TControl* control) {
  if (parent == nullptr) return false;
  for (int i = 0; i < parent->ControlCount(); ++i) {
    if (parent->Controls(i) == control) return true;
  }
  return false;
}

// The accelerator of a label-like control: focuses `target` when the key is the caption's.
bool FocusByAccel(TControl* self, TWinControl* target, bool showAccelChar, WPARAM key, const std::string& caption) {
  if (target == nullptr || !self->Enabled() || !showAccelChar) return false;
  if (!IsAccel(static_cast<WORD>(key), caption)) return false;
  if (!InSameTree(self, target) || !target->CanFocus()) return false;
  target->SetFocus();
  return true;
}

}  // namespace

// ---- Shared calls -----------------------------------------------------------------------------

void Frame3D(TCanvas* canvas, TRect& rect, TColor topColor, TColor bottomColor, int width) {
  TPen* pen = canvas->Pen();
  pen->SetWidth(1);
  pen->SetStyle(psSolid);
  pen->SetMode(pmCopy);
  --rect.bottom;
  --rect.right;
  for (; width > 0; --width) {
    pen->SetColor(topColor);
    const POINT top[] = {{rect.left, rect.bottom}, {rect.left, rect.top}, {rect.right, rect.top}};
    canvas->Polyline(top, 3);
    pen->SetColor(bottomColor);
    const POINT bottom[] = {{rect.right, rect.top}, {rect.right, rect.bottom}, {rect.left - 1, rect.bottom}};
    canvas->Polyline(bottom, 3);
    InflateRect(&rect, -1, -1);
  }
  ++rect.bottom;
  ++rect.right;
}

// ---- TPanel -----------------------------------------------------------------------------------

TPanel::TPanel(TComponent* owner) : TCustomControl(owner) { SetBounds(0, 0, 185, 41); }

void TPanel::FrameChanged() {
  Realign();
  Invalidate();
}

void TPanel::SetBevelOuter(TBevelCut value) {
  if (value == bevelOuter_) return;
  bevelOuter_ = value;
  FrameChanged();
}

void TPanel::SetBevelInner(TBevelCut value) {
  if (value == bevelInner_) return;
  bevelInner_ = value;
  FrameChanged();
}

void TPanel::SetBevelWidth(TBevelWidth value) {
  value = std::max(1, value);
  if (value == bevelWidth_) return;
  bevelWidth_ = value;
  FrameChanged();
}

void TPanel::SetBorderWidth(int value) {
  value = std::max(0, value);
  if (value == borderWidth_) return;
  borderWidth_ = value;
  FrameChanged();
}

void TPanel::SetBorderStyle(TBorderStyle value) {
  if (value == borderStyle_) return;
  borderStyle_ = value;
  RecreateWnd();
}

void TPanel::SetAlignment(TAlignment value) {
  if (value == alignment_) return;
  alignment_ = value;
  Invalidate();
}

void TPanel::CreateParams(TCreateParams& params) {
  TCustomControl::CreateParams(params);
  if (borderStyle_ == bsSingle) params.Style |= WS_BORDER;
}

int TPanel::FrameSize() const {
  int size = borderWidth_;
  if (bevelOuter_ != bvNone) size += bevelWidth_;
  if (bevelInner_ != bvNone) size += bevelWidth_;
  return size;
}

void TPanel::AdjustClientRect(TRect& rect) {
  TCustomControl::AdjustClientRect(rect);
  const int inset = FrameSize();
  InflateRect(&rect, -inset, -inset);
}

void TPanel::Resize() {
  Invalidate();
  TCustomControl::Resize();
}

void TPanel::Paint() {
  TCanvas* canvas = Canvas();
  TRect rect = ClientRect();
  auto bevel = [&](TBevelCut cut) {
    if (cut == bvNone) return;
    if (cut == bvSpace) {
      Frame3D(canvas, rect, Color(), Color(), bevelWidth_);
    } else {
      const bool lowered = cut == bvLowered;
      Frame3D(canvas, rect, lowered ? clBtnShadow : clBtnHighlight, lowered ? clBtnHighlight : clBtnShadow, bevelWidth_);
    }
  };
  bevel(bevelOuter_);
  Frame3D(canvas, rect, Color(), Color(), borderWidth_);
  bevel(bevelInner_);
  canvas->Brush()->SetColor(Color());
  canvas->Brush()->SetStyle(bsSolid);
  canvas->FillRect(rect);

  const std::string text = Caption();
  if (text.empty()) return;
  canvas->Brush()->SetStyle(bsClear);
  const int fontHeight = canvas->TextHeight("W");
  rect.top = (rect.bottom + rect.top - fontHeight) / 2;
  rect.bottom = rect.top + fontHeight;
  DrawCaption(canvas, text, rect, DT_EXPANDTABS | DT_VCENTER | AlignmentFlag(alignment_), Enabled());
}

// ---- TPaintBox --------------------------------------------------------------------------------

void TGraphicControlCanvas::CreateHandle() {
  TWinControl* parent = control_->Parent();
  if (parent == nullptr) return;
  HWND window = parent->Handle();
  if (window == nullptr) return;
  HDC dc = GetDC(window);
  if (dc == nullptr) return;
  const TRect bounds = control_->BoundsRect();
  SetViewportOrgEx(dc, bounds.left, bounds.top, nullptr);
  IntersectClipRect(dc, 0, 0, bounds.Width(), bounds.Height());
  own_ = dc;
  ownWindow_ = window;
  ownBounds_ = bounds;
  Font()->Assign(*control_->Font());
  SetHandle(dc);
}

void TGraphicControlCanvas::FreeHandle() {
  if (own_ == nullptr) return;
  if (dc_ == own_) SetHandle(nullptr);
  ReleaseDC(ownWindow_, own_);
  own_ = nullptr;
  ownWindow_ = nullptr;
}

void TGraphicControlCanvas::SetPaintHandle(HDC dc) {
  FreeHandle();
  SetHandle(dc);
}

void TGraphicControlCanvas::Revalidate() {
  if (own_ == nullptr || dc_ != own_) return;
  TWinControl* parent = control_->Parent();
  const bool samePlace = parent != nullptr && parent->HandleAllocated() && parent->Handle() == ownWindow_ &&
                         IsWindow(ownWindow_) && control_->BoundsRect() == ownBounds_;
  if (!samePlace) FreeHandle();
}

TPaintBox::TPaintBox(TComponent* owner) : TGraphicControl(owner) {
  SetBounds(0, 0, 105, 105);
  parentColor_ = true;
}

TPaintBox::~TPaintBox() { boxCanvas_.FreeHandle(); }

TCanvas* TPaintBox::Canvas() {
  boxCanvas_.Revalidate();
  return &boxCanvas_;
}

void TPaintBox::SetBounds(int left, int top, int width, int height) {
  boxCanvas_.FreeHandle();
  TGraphicControl::SetBounds(left, top, width, height);
}

void TPaintBox::SetParent(TWinControl* parent) {
  boxCanvas_.FreeHandle();
  TGraphicControl::SetParent(parent);
}

void TPaintBox::SetParentPaintDc(HDC dc) {
  boxCanvas_.SetPaintHandle(dc);
  if (dc != nullptr) {
    boxCanvas_.Font()->Assign(font_);
    boxCanvas_.Brush()->SetColor(Color());
  }
}

void TPaintBox::Paint() { Raise(OnPaint, this); }

// ---- TLabel -----------------------------------------------------------------------------------

TLabel::TLabel(TComponent* owner) : TGraphicControl(owner) {
  SetBounds(0, 0, 65, 17);
  parentColor_ = true;
}

UINT TLabel::TextFlags() const {
  UINT flags = DT_EXPANDTABS | AlignmentFlag(alignment_);
  if (wordWrap_) flags |= DT_WORDBREAK;
  if (!showAccelChar_) flags |= DT_NOPREFIX;
  return flags;
}

void TLabel::SetAlignment(TAlignment value) {
  if (value == alignment_) return;
  alignment_ = value;
  Invalidate();
}

void TLabel::SetLayout(TTextLayout value) {
  if (value == layout_) return;
  layout_ = value;
  Invalidate();
}

void TLabel::SetAutoSize(bool value) {
  if (value == autoSize_) return;
  autoSize_ = value;
  AdjustBounds();
}

void TLabel::SetWordWrap(bool value) {
  if (value == wordWrap_) return;
  wordWrap_ = value;
  AdjustBounds();
  Invalidate();
}

void TLabel::SetTransparent(bool value) {
  if (value == transparent_) return;
  transparent_ = value;
  Invalidate();
}

void TLabel::SetShowAccelChar(bool value) {
  if (value == showAccelChar_) return;
  showAccelChar_ = value;
  AdjustBounds();
  Invalidate();
}

void TLabel::AdjustBounds() {
  if (!autoSize_) return;
  MeasureDc measure(&font_);
  if (measure.dc() == nullptr) return;
  const std::string text = MeasuredText(Caption(), showAccelChar_);
  TRect rect = ClientRect();
  DrawTextA(measure.dc(), text.c_str(), -1, &rect, TextFlags() | DT_CALCRECT);
  int left = left_;
  if (alignment_ == taRightJustify) left += Width() - rect.right;
  SetBounds(left, top_, rect.right, rect.bottom);
}

void TLabel::Dispatch(TMessage& message) {
  switch (message.Msg) {
    case CM_TEXTCHANGED:
    case CM_FONTCHANGED:
      TGraphicControl::Dispatch(message);
      AdjustBounds();
      Invalidate();
      return;
    case CM_DIALOGCHAR:
      if (FocusByAccel(this, focusControl_, showAccelChar_, message.WParam, Caption())) {
        message.Result = 1;
        return;
      }
      break;
    default:
      break;
  }
  TGraphicControl::Dispatch(message);
}

void TLabel::Paint() {
  TCanvas* canvas = TGraphicControl::Canvas();
  const TRect client = ClientRect();
  if (!transparent_) {
    canvas->Brush()->SetColor(Color());
    canvas->Brush()->SetStyle(bsSolid);
    canvas->FillRect(client);
  }
  canvas->Brush()->SetStyle(bsClear);
  const std::string text = Caption();
  TRect rect = client;
  const UINT flags = TextFlags();
  if (layout_ != tlTop) {
    TRect calc = rect;
    const std::string measured = MeasuredText(text, showAccelChar_);
    DrawTextA(canvas->Handle(), measured.c_str(), -1, &calc, flags | DT_CALCRECT);
    const int free = Height() - calc.bottom;
    OffsetRect(&rect, 0, layout_ == tlBottom ? free : free / 2);
  }
  DrawCaption(canvas, text, rect, flags, Enabled());
}

// ---- TStaticText ------------------------------------------------------------------------------

TStaticText::TStaticText(TComponent* owner) : TCustomControl(owner) { SetBounds(0, 0, 65, 17); }

void TStaticText::SetAlignment(TAlignment value) {
  if (value == alignment_) return;
  alignment_ = value;
  Invalidate();
}

void TStaticText::SetAutoSize(bool value) {
  if (value == autoSize_) return;
  autoSize_ = value;
  AdjustBounds();
}

void TStaticText::SetBorderStyle(TStaticBorderStyle value) {
  if (value == borderStyle_) return;
  borderStyle_ = value;
  RecreateWnd();
  AdjustBounds();
}

void TStaticText::SetShowAccelChar(bool value) {
  if (value == showAccelChar_) return;
  showAccelChar_ = value;
  AdjustBounds();
  Invalidate();
}

void TStaticText::CreateParams(TCreateParams& params) {
  TCustomControl::CreateParams(params);
  if (borderStyle_ == sbsSingle) params.Style |= WS_BORDER;
  if (borderStyle_ == sbsSunken) params.ExStyle |= WS_EX_STATICEDGE;
}

void TStaticText::AdjustBounds() {
  if (!autoSize_) return;
  MeasureDc measure(&font_);
  if (measure.dc() == nullptr) return;
  const std::string text = MeasuredText(Caption(), showAccelChar_);
  TRect rect(0, 0, 0, 0);
  DrawTextA(measure.dc(), text.c_str(), -1, &rect,
            DT_EXPANDTABS | DT_SINGLELINE | DT_CALCRECT | (showAccelChar_ ? 0 : DT_NOPREFIX));
  const int frame = borderStyle_ == sbsNone ? 0 : 2;   // one pixel of edge on each side
  const int width = rect.right + frame;
  int left = left_;
  if (alignment_ == taRightJustify) left += Width() - width;
  SetBounds(left, top_, width, rect.bottom + frame);
}

void TStaticText::Dispatch(TMessage& message) {
  switch (message.Msg) {
    case CM_TEXTCHANGED:
    case CM_FONTCHANGED:
      TCustomControl::Dispatch(message);
      AdjustBounds();
      Invalidate();
      return;
    case CM_DIALOGCHAR:
      if (FocusByAccel(this, focusControl_, showAccelChar_, message.WParam, Caption())) {
        message.Result = 1;
        return;
      }
      break;
    default:
      break;
  }
  TCustomControl::Dispatch(message);
}

void TStaticText::Paint() {
  TCanvas* canvas = Canvas();
  const TRect client = ClientRect();
  canvas->Brush()->SetColor(Color());
  canvas->Brush()->SetStyle(bsSolid);
  canvas->FillRect(client);
  canvas->Brush()->SetStyle(bsClear);
  UINT flags = DT_EXPANDTABS | DT_WORDBREAK | AlignmentFlag(alignment_);
  if (!showAccelChar_) flags |= DT_NOPREFIX;
  DrawCaption(canvas, Caption(), client, flags, Enabled());
}

// ---- TGroupBox --------------------------------------------------------------------------------

TGroupBox::TGroupBox(TComponent* owner) : TCustomControl(owner) { SetBounds(0, 0, 185, 105); }

void TGroupBox::AdjustClientRect(TRect& rect) {
  TCustomControl::AdjustClientRect(rect);
  MeasureDc measure(&font_);
  rect.top += measure.TextHeight("0");
  InflateRect(&rect, -2, -2);   // the etched frame's two lines
}

void TGroupBox::Dispatch(TMessage& message) {
  if (message.Msg == CM_DIALOGCHAR && IsAccel(static_cast<WORD>(message.WParam), Caption()) && CanFocus()) {
    if (TWinControl* first = FindNextControl(nullptr, true, true)) {
      first->SetFocus();
      message.Result = 1;
      return;
    }
  }
  TCustomControl::Dispatch(message);
}

void TGroupBox::Paint() {
  TCanvas* canvas = Canvas();
  const int textHeight = canvas->TextHeight("0");
  // The etched frame: a highlight frame one pixel down and right under a shadow frame.
  TRect frame(1, textHeight / 2, Width(), Height());
  canvas->Brush()->SetStyle(bsSolid);
  canvas->Brush()->SetColor(clBtnHighlight);
  canvas->FrameRect(frame);
  OffsetRect(&frame, -1, -1);
  canvas->Brush()->SetColor(clBtnShadow);
  canvas->FrameRect(frame);

  const std::string text = Caption();
  if (text.empty()) return;
  TRect rect(8, 0, 0, textHeight);
  DrawTextA(canvas->Handle(), text.c_str(), -1, &rect, DT_LEFT | DT_SINGLELINE | DT_CALCRECT);
  canvas->Brush()->SetColor(Color());   // the caption cuts the top line
  DrawCaption(canvas, text, rect, DT_LEFT | DT_SINGLELINE, Enabled());
}

// ---- TBevel -----------------------------------------------------------------------------------

TBevel::TBevel(TComponent* owner) : TGraphicControl(owner) { SetBounds(0, 0, 50, 50); }

void TBevel::SetShape(TBevelShape value) {
  if (value == shape_) return;
  shape_ = value;
  Invalidate();
}

void TBevel::SetStyle(TBevelStyle value) {
  if (value == style_) return;
  style_ = value;
  Invalidate();
}

void TBevel::Paint() {
  TCanvas* canvas = TGraphicControl::Canvas();
  TPen* pen = canvas->Pen();
  pen->SetWidth(1);
  pen->SetStyle(psSolid);
  pen->SetMode(pmCopy);
  TColor color1 = style_ == bsLowered ? clBtnShadow : clBtnHighlight;
  TColor color2 = style_ == bsLowered ? clBtnHighlight : clBtnShadow;
  auto bevelRect = [&](const TRect& r) {
    pen->SetColor(color1);
    const POINT topLeft[] = {{r.left, r.bottom}, {r.left, r.top}, {r.right, r.top}};
    canvas->Polyline(topLeft, 3);
    pen->SetColor(color2);
    const POINT bottomRight[] = {{r.right, r.top}, {r.right, r.bottom}, {r.left, r.bottom}};
    canvas->Polyline(bottomRight, 3);
  };
  auto bevelLine = [&](TColor color, int x1, int y1, int x2, int y2) {
    pen->SetColor(color);
    canvas->MoveTo(x1, y1);
    canvas->LineTo(x2, y2);
  };
  const int w = Width();
  const int h = Height();
  switch (shape_) {
    case bsBox:
      bevelRect(TRect(0, 0, w - 1, h - 1));
      break;
    case bsFrame: {
      const TColor first = color1;
      color1 = color2;
      bevelRect(TRect(1, 1, w - 1, h - 1));
      color2 = first;
      color1 = first;
      bevelRect(TRect(0, 0, w - 2, h - 2));
      break;
    }
    case bsTopLine:
      bevelLine(color1, 0, 0, w, 0);
      bevelLine(color2, 0, 1, w, 1);
      break;
    case bsBottomLine:
      bevelLine(color1, 0, h - 2, w, h - 2);
      bevelLine(color2, 0, h - 1, w, h - 1);
      break;
    case bsLeftLine:
      bevelLine(color1, 0, 0, 0, h);
      bevelLine(color2, 1, 0, 1, h);
      break;
    case bsRightLine:
      bevelLine(color1, w - 2, 0, w - 2, h);
      bevelLine(color2, w - 1, 0, w - 1, h);
      break;
    case bsSpacer:
      break;
  }
}

// ---- TImage -----------------------------------------------------------------------------------

TPicture::~TPicture() {
  if (bitmap_ != nullptr) DeleteObject(bitmap_);
}

bool TPicture::LoadFromFile(const std::string& fileName) {
  HANDLE loaded = LoadImageA(nullptr, fileName.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE);
  if (loaded == nullptr) return false;
  SetBitmap(static_cast<HBITMAP>(loaded));
  return true;
}

bool TPicture::LoadFromBytes(const void* bytes, std::size_t size) {
  if (bytes == nullptr) return false;
  HBITMAP loaded = zuvo::platform::CreateBitmapFromBmpBytes(bytes, size);
  if (loaded == nullptr) return false;
  SetBitmap(loaded);
  return true;
}

void TPicture::SetBitmap(HBITMAP bitmap) {
  if (bitmap == bitmap_) return;
  HBITMAP old = bitmap_;
  bitmap_ = bitmap;
  BITMAP info{};
  if (bitmap_ != nullptr && GetObjectA(bitmap_, sizeof info, &info) != 0) {
    width_ = info.bmWidth;
    height_ = info.bmHeight;
  } else {
    bitmap_ = nullptr;   // a dead handle holds no picture
    width_ = 0;
    height_ = 0;
  }
  if (old != nullptr) DeleteObject(old);
  if (OnChange) OnChange();
}

TImage::TImage(TComponent* owner) : TGraphicControl(owner) {
  SetBounds(0, 0, 105, 105);
  picture_.OnChange = [this] { PictureChanged(); };
}

void TImage::SetStretch(bool value) {
  if (value == stretch_) return;
  stretch_ = value;
  Invalidate();
}

void TImage::SetCenter(bool value) {
  if (value == center_) return;
  center_ = value;
  Invalidate();
}

void TImage::SetTransparent(bool value) {
  if (value == transparent_) return;
  transparent_ = value;
  Invalidate();
}

void TImage::SetAutoSize(bool value) {
  if (value == autoSize_) return;
  autoSize_ = value;
  PictureChanged();
}

void TImage::PictureChanged() {
  if (autoSize_ && !picture_.Empty()) SetBounds(left_, top_, picture_.Width(), picture_.Height());
  Invalidate();
}

TRect TImage::DestRect() const {
  int w = picture_.Width();
  int h = picture_.Height();
  const int cw = Width();
  const int ch = Height();
  if (stretch_) {
    w = cw;
    h = ch;
  }
  int x = 0;
  int y = 0;
  if (center_) {
    x = (cw - w) / 2;
    y = (ch - h) / 2;
  }
  return TRect(x, y, x + w, y + h);
}

void TImage::Paint() {
  if (picture_.Empty()) return;
  const TRect dest = DestRect();
  if (dest.Width() <= 0 || dest.Height() <= 0) return;
  HDC dc = TGraphicControl::Canvas()->Handle();
  if (dc == nullptr) return;
  HDC source = CreateCompatibleDC(dc);
  if (source == nullptr) return;
  HGDIOBJ old = SelectObject(source, picture_.Bitmap());
  if (!transparent_) {
    StretchBlt(dc, dest.left, dest.top, dest.Width(), dest.Height(), source, 0, 0, picture_.Width(),
               picture_.Height(), SRCCOPY);
  } else {
    // The picture at its drawn size, masked by the colour of its bottom-left pixel. The copy is
    // masked, never the picture itself.
    const COLORREF key = GetPixel(source, 0, picture_.Height() - 1);
    HBITMAP sized = CreateCompatibleBitmap(dc, dest.Width(), dest.Height());
    HDC work = sized != nullptr ? CreateCompatibleDC(dc) : nullptr;
    HIMAGELIST list = ImageList_Create(dest.Width(), dest.Height(), ILC_MASK | ILC_COLOR32, 1, 0);
    if (work != nullptr && list != nullptr) {
      HGDIOBJ oldWork = SelectObject(work, sized);
      StretchBlt(work, 0, 0, dest.Width(), dest.Height(), source, 0, 0, picture_.Width(), picture_.Height(), SRCCOPY);
      SelectObject(work, oldWork);
      if (ImageList_AddMasked(list, sized, key) >= 0) ImageList_Draw(list, 0, dc, dest.left, dest.top, ILD_TRANSPARENT);
    }
    if (list != nullptr) ImageList_Destroy(list);
    if (work != nullptr) DeleteDC(work);
    if (sized != nullptr) DeleteObject(sized);
  }
  SelectObject(source, old);
  DeleteDC(source);
}

// ---- TSplitter --------------------------------------------------------------------------------

TSplitter::TSplitter(TComponent* owner) : TGraphicControl(owner) {
  align_ = alLeft;
  cursor_ = crHSplit;
  SetBounds(0, 0, 3, 100);
}

TSplitter::~TSplitter() {
  if (lineVisible_) DrawLine();
  StopSizing();
}

void TSplitter::SetMinSize(int value) { minSize_ = std::max(1, value); }

void TSplitter::SetBeveled(bool value) {
  if (value == beveled_) return;
  beveled_ = value;
  Invalidate();
}

// A splitter's own cursor follows its axis; a cursor set to something else stays.
void TSplitter::FollowAlign() {
  if (cursor_ != crHSplit && cursor_ != crVSplit) return;
  cursor_ = align_ == alTop || align_ == alBottom ? crVSplit : crHSplit;
}

void TSplitter::SetAlign(TAlign align) {
  TGraphicControl::SetAlign(align);
  FollowAlign();
}

void TSplitter::SetBounds(int left, int top, int width, int height) {
  FollowAlign();
  TGraphicControl::SetBounds(left, top, width, height);
}

void TSplitter::Paint() {
  TCanvas* canvas = TGraphicControl::Canvas();
  TRect rect = ClientRect();
  canvas->Brush()->SetColor(Color());
  canvas->Brush()->SetStyle(bsSolid);
  canvas->FillRect(rect);
  if (beveled_) Frame3D(canvas, rect, clBtnHighlight, clBtnShadow, 1);
}

TControl* TSplitter::FindControl() const {
  if (parent_ == nullptr) return nullptr;
  POINT p{left_, top_};
  switch (align_) {
    case alLeft: --p.x; break;
    case alRight: p.x += Width(); break;
    case alTop: --p.y; break;
    case alBottom: p.y += Height(); break;
    default: return nullptr;
  }
  const bool before = align_ == alLeft || align_ == alTop;
  for (int i = 0; i < parent_->ControlCount(); ++i) {
    TControl* c = parent_->Controls(i);
    if (c == this || !c->Visible() || !c->Enabled()) continue;
    TRect r = c->BoundsRect();
    // A neighbour dragged down to nothing is still found at its edge.
    if (r.Width() == 0) (before ? r.left : r.right) += before ? -1 : 1;
    if (r.Height() == 0) (before ? r.top : r.bottom) += before ? -1 : 1;
    if (PtInRect(&r, p)) return c;
  }
  return nullptr;
}

// The neighbour's size for a pointer at (x, y), held between MinSize and the most the other
// aligned controls leave, and the splitter's offset from its place for that size.
void TSplitter::CalcSplitSize(int x, int y, int& newSize, int& split) const {
  const int current = Horizontal() ? control_->Width() : control_->Height();
  const int moved = Horizontal() ? x - downPos_.x : y - downPos_.y;
  const bool before = align_ == alLeft || align_ == alTop;
  const int wanted = before ? current + moved : current - moved;
  newSize = std::max(minSize_, std::min(wanted, maxSize_));
  if (maxSize_ < minSize_) newSize = current;   // no room to move at all
  split = before ? newSize - current : current - newSize;
}

bool TSplitter::CanResize(int& newSize) {
  bool accept = true;
  Raise(OnCanResize, this, newSize, accept);
  return accept;
}

bool TSplitter::DoCanResize(int& newSize) {
  const bool accept = CanResize(newSize);
  if (accept && autoSnap_ && newSize <= minSize_) newSize = 0;
  return accept;
}

void TSplitter::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  TGraphicControl::MouseDown(button, shift, x, y);
  if (button != mbLeft || control_ != nullptr || parent_ == nullptr) return;
  TControl* neighbour = FindControl();
  if (neighbour == nullptr) return;
  control_ = neighbour;
  downPos_ = TPoint(x, y);
  // What the parent's client area (inside its frame) leaves after the other aligned controls of
  // this axis, keeping MinSize for the rest.
  TRect client = parent_->ClientRect();
  parent_->AdjustClientRect(client);
  const bool horizontal = Horizontal();
  maxSize_ = (horizontal ? client.Width() : client.Height()) - minSize_;
  for (int i = 0; i < parent_->ControlCount(); ++i) {
    TControl* c = parent_->Controls(i);
    if (!c->Visible()) continue;
    if (horizontal && (c->Align() == alLeft || c->Align() == alRight)) maxSize_ -= c->Width();
    if (!horizontal && (c->Align() == alTop || c->Align() == alBottom)) maxSize_ -= c->Height();
  }
  oldSize_ = horizontal ? control_->Width() : control_->Height();
  maxSize_ += oldSize_;
  CalcSplitSize(x, y, newSize_, split_);
  if (resizeStyle_ == rsLine || resizeStyle_ == rsPattern) {
    AllocateLineDcs();
    DrawLine();
  }
}

void TSplitter::MouseMove(TShiftState shift, int x, int y) {
  TGraphicControl::MouseMove(shift, x, y);
  if (control_ == nullptr) return;
  if (!shift.Contains(ssLeft) || !Holds(parent_, control_)) {
    // The button went up elsewhere (the capture was taken), or the neighbour left: no resize.
    if (lineVisible_) DrawLine();
    StopSizing();
    return;
  }
  int newSize = 0;
  int split = 0;
  CalcSplitSize(x, y, newSize, split);
  if (!DoCanResize(newSize)) return;
  const int current = Horizontal() ? control_->Width() : control_->Height();
  split = align_ == alLeft || align_ == alTop ? newSize - current : current - newSize;
  const bool line = resizeStyle_ == rsLine || resizeStyle_ == rsPattern;
  if (line && lineVisible_) DrawLine();
  newSize_ = newSize;
  split_ = split;
  if (resizeStyle_ == rsUpdate) UpdateControlSize();
  if (line) DrawLine();
}

void TSplitter::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  TGraphicControl::MouseUp(button, shift, x, y);
  if (button != mbLeft || control_ == nullptr) return;
  if (lineVisible_) DrawLine();
  if (Holds(parent_, control_)) UpdateControlSize();
  StopSizing();
}

void TSplitter::UpdateControlSize() {
  if (newSize_ == oldSize_ || control_ == nullptr) return;
  TControl* c = control_;
  switch (align_) {
    case alLeft: c->SetWidth(newSize_); break;
    case alTop: c->SetHeight(newSize_); break;
    case alRight: c->SetBounds(c->Left() + c->Width() - newSize_, c->Top(), newSize_, c->Height()); break;
    case alBottom: c->SetBounds(c->Left(), c->Top() + c->Height() - newSize_, c->Width(), newSize_); break;
    default: break;
  }
  oldSize_ = newSize_;
  split_ = 0;
  Update();
  Raise(OnMoved, this);
}

// Contexts of the parent's window and of the windowed descendants lying across the band the bar
// moves in: the screen shows each window's own image, so the feedback goes on every one it
// crosses.
void TSplitter::AllocateLineDcs() {
  HWND parentWindow = parent_->Handle();
  if (parentWindow == nullptr) return;
  if (HDC dc = GetDC(parentWindow)) lineTargets_.push_back({parentWindow, dc, {0, 0}});
  const TPoint origin = parent_->ClientOrigin();
  TRect band = parent_->ClientRect();
  if (Horizontal()) {
    band.top = top_;
    band.bottom = top_ + Height();
  } else {
    band.left = left_;
    band.right = left_ + Width();
  }
  std::vector<TWinControl*> pending{parent_};
  while (!pending.empty()) {
    TWinControl* container = pending.back();
    pending.pop_back();
    for (int i = 0; i < container->ControlCount(); ++i) {
      auto* child = dynamic_cast<TWinControl*>(container->Controls(i));
      if (child == nullptr || !child->Visible() || !child->HandleAllocated()) continue;
      HWND window = child->Handle();
      const TPoint at = child->ClientOrigin();
      RECT client{};
      GetClientRect(window, &client);
      const POINT offset{at.x - origin.x, at.y - origin.y};
      RECT placed{offset.x, offset.y, offset.x + client.right, offset.y + client.bottom};
      RECT common{};
      if (!IntersectRect(&common, &placed, &band)) continue;
      if (HDC dc = GetDC(window)) lineTargets_.push_back({window, dc, offset});
      pending.push_back(child);
    }
  }
}

// The bar at its new place, inverted: drawn again, it is gone.
void TSplitter::DrawLine() {
  if (lineTargets_.empty()) return;
  lineVisible_ = !lineVisible_;
  int x = left_;
  int y = top_;
  if (Horizontal()) x += split_; else y += split_;
  for (const LineTarget& target : lineTargets_) {
    PatBlt(target.dc, x - target.offset.x, y - target.offset.y, Width(), Height(), DSTINVERT);
  }
}

void TSplitter::StopSizing() {
  for (const LineTarget& target : lineTargets_) ReleaseDC(target.window, target.dc);
  lineTargets_.clear();
  lineVisible_ = false;
  control_ = nullptr;
}

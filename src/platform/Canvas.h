// The form class library's drawing objects: colours with system-colour codes, pens, brushes and
// fonts that make their GDI objects on demand, and a canvas over a device context. They draw
// with the GDI calls of Gdi.h only. UI thread only.
#pragma once

#include "platform/Gdi.h"
#include "platform/Rect.h"

#include <functional>
#include <memory>
#include <string>

// ---- Geometry --------------------------------------------------------------------------------
struct TPoint : POINT {
  TPoint() : POINT{0, 0} {}
  TPoint(int x, int y) : POINT{x, y} {}
  TPoint(const POINT& p) : POINT(p) {}
  bool operator==(const TPoint& o) const { return x == o.x && y == o.y; }
};
struct TRect : RECT {
  TRect() : RECT{0, 0, 0, 0} {}
  TRect(int l, int t, int r, int b) : RECT{l, t, r, b} {}
  TRect(const RECT& r) : RECT(r) {}
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  bool operator==(const TRect& o) const {
    return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
  }
};

// ---- Colours ---------------------------------------------------------------------------------
// A COLORREF (0x00BBGGRR), or a system colour: 0x80000000 | COLOR_xxx.
using TColor = std::int32_t;
constexpr TColor clBlack = 0x000000, clMaroon = 0x000080, clGreen = 0x008000, clOlive = 0x008080,
                 clNavy = 0x800000, clPurple = 0x800080, clTeal = 0x808000, clGray = 0x808080,
                 clSilver = 0xC0C0C0, clRed = 0x0000FF, clLime = 0x00FF00, clYellow = 0x00FFFF,
                 clBlue = 0xFF0000, clFuchsia = 0xFF00FF, clAqua = 0xFFFF00, clWhite = 0xFFFFFF;
constexpr TColor clNone = 0x1FFFFFFF;
constexpr TColor clDefault = 0x20000000;
constexpr TColor SystemColor(int index) { return static_cast<TColor>(0x80000000u | static_cast<unsigned>(index)); }
constexpr TColor clScrollBar = SystemColor(COLOR_SCROLLBAR), clBackground = SystemColor(COLOR_BACKGROUND),
                 clActiveCaption = SystemColor(COLOR_ACTIVECAPTION), clInactiveCaption = SystemColor(COLOR_INACTIVECAPTION),
                 clMenu = SystemColor(COLOR_MENU), clWindow = SystemColor(COLOR_WINDOW),
                 clWindowFrame = SystemColor(COLOR_WINDOWFRAME), clMenuText = SystemColor(COLOR_MENUTEXT),
                 clWindowText = SystemColor(COLOR_WINDOWTEXT), clCaptionText = SystemColor(COLOR_CAPTIONTEXT),
                 clActiveBorder = SystemColor(COLOR_ACTIVEBORDER), clInactiveBorder = SystemColor(COLOR_INACTIVEBORDER),
                 clAppWorkSpace = SystemColor(COLOR_APPWORKSPACE), clHighlight = SystemColor(COLOR_HIGHLIGHT),
                 clHighlightText = SystemColor(COLOR_HIGHLIGHTTEXT), clBtnFace = SystemColor(COLOR_BTNFACE),
                 clBtnShadow = SystemColor(COLOR_BTNSHADOW), clGrayText = SystemColor(COLOR_GRAYTEXT),
                 clBtnText = SystemColor(COLOR_BTNTEXT), clInactiveCaptionText = SystemColor(COLOR_INACTIVECAPTIONTEXT),
                 clBtnHighlight = SystemColor(COLOR_BTNHIGHLIGHT), cl3DDkShadow = SystemColor(COLOR_3DDKSHADOW),
                 cl3DLight = SystemColor(COLOR_3DLIGHT), clInfoText = SystemColor(COLOR_INFOTEXT),
                 clInfoBk = SystemColor(COLOR_INFOBK);
// The RGB value: system colours through GetSysColor; clNone and clDefault give black.
COLORREF ColorToRGB(TColor color);

// ---- Pen, brush, font ------------------------------------------------------------------------
enum TPenStyle { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame };
// Raster operations of the pen (SetROP2): pmCopy R2_COPYPEN, pmXor R2_XORPEN, pmNot R2_NOT...
enum TPenMode { pmBlack, pmWhite, pmNop, pmNot, pmCopy, pmNotCopy, pmMergePenNot, pmMaskPenNot,
                pmMergeNotPen, pmMaskNotPen, pmMerge, pmNotMerge, pmMask, pmNotMask, pmXor, pmNotXor };
enum TBrushStyle { bsSolid, bsClear, bsHorizontal, bsVertical, bsFDiagonal, bsBDiagonal, bsCross, bsDiagCross };
enum TFontStyle { fsBold = 0, fsItalic = 1, fsUnderline = 2, fsStrikeOut = 3 };
using TFontStyles = std::uint8_t;   // bits 1 << TFontStyle
constexpr TFontStyles FontStyleBit(TFontStyle s) { return static_cast<TFontStyles>(1u << s); }

// The GDI object is made when Handle is first asked after a change and deleted with the next
// change or the object. OnChange follows every change.
class TPen {
 public:
  TPen();
  ~TPen();
  TPen(const TPen&) = delete;
  TPen& operator=(const TPen&) = delete;
  void Assign(const TPen& other);
  TColor Color() const { return color_; }
  void SetColor(TColor color);
  int Width() const { return width_; }
  void SetWidth(int width);   // below 1 becomes 1
  TPenStyle Style() const { return style_; }
  void SetStyle(TPenStyle style);
  TPenMode Mode() const { return mode_; }
  void SetMode(TPenMode mode);   // applied by the canvas with SetROP2
  HPEN Handle();
  std::function<void()> OnChange;

 private:
  // OnChange runs before the old object is deleted, so a canvas can take it out of its context.
  void Changed(bool remake);
  TColor color_ = clBlack;
  int width_ = 1;
  TPenStyle style_ = psSolid;
  TPenMode mode_ = pmCopy;
  HPEN handle_ = nullptr;
};

class TBrush {
 public:
  TBrush();
  ~TBrush();
  TBrush(const TBrush&) = delete;
  TBrush& operator=(const TBrush&) = delete;
  void Assign(const TBrush& other);
  TColor Color() const { return color_; }
  void SetColor(TColor color);   // a hollow brush becomes solid
  TBrushStyle Style() const { return style_; }
  void SetStyle(TBrushStyle style);
  HBRUSH Handle();   // bsClear: the hollow stock brush; hatched styles draw solid
  std::function<void()> OnChange;

 private:
  void Changed();
  TColor color_ = clWhite;
  TBrushStyle style_ = bsSolid;
  HBRUSH handle_ = nullptr;
};

// A font by face, size and style. Size is in points at the font's dots per inch (at first the
// screen's, GetDeviceCaps LOGPIXELSY of the screen: 96; a canvas sets its context's), Height in
// pixels, negative for a size in points (Tahoma 9 pt = Height -12 at 96 dpi, -38 at 300);
// setting one sets the other, rounded half away from zero as MulDiv rounds (Size = -Height *
// 72 / ppi). Made off the UI thread a font takes 96 dpi without asking the screen.
class TFont {
 public:
  TFont();   // "Tahoma", 9 pt, clWindowText, no style, GB2312 character set
  ~TFont();
  TFont(const TFont&) = delete;
  TFont& operator=(const TFont&) = delete;
  void Assign(const TFont& other);
  const std::string& Name() const { return name_; }
  void SetName(const std::string& name);
  int Size() const;
  void SetSize(int points);
  int Height() const { return height_; }
  void SetHeight(int height);
  TColor Color() const { return color_; }
  void SetColor(TColor color);
  TFontStyles Style() const { return style_; }
  void SetStyle(TFontStyles style);
  BYTE Charset() const { return charset_; }
  void SetCharset(BYTE charset);
  int PixelsPerInch() const { return pixelsPerInch_; }
  // Moves the font to a device of other dots per inch: a size in points stays that size (the
  // height in pixels follows), a positive height in pixels stays. Below 1 is ignored.
  void SetPixelsPerInch(int ppi);
  HFONT Handle();
  std::function<void()> OnChange;

 private:
  void Changed(bool remake);
  std::string name_ = "Tahoma";
  int height_ = -12;
  TColor color_ = clWindowText;
  TFontStyles style_ = 0;
  BYTE charset_ = 134;   // GB2312_CHARSET
  int pixelsPerInch_ = 96;
  HFONT handle_ = nullptr;
};

// ---- Canvas ----------------------------------------------------------------------------------
enum TFillStyle { fsSurface, fsBorder };
enum TCanvasTextFlag { tfNone = 0 };

// Draws on a device context with its pen, brush and font, which it selects into the context
// before each drawing call (with the pen's ROP2 mode, the font's colour as text colour, and the
// brush's colour as an opaque background, or a transparent one when the brush is bsClear). The
// context's own objects are put back when the pen, brush or font changes, when the handle is
// set to another context (set it to null before releasing the context) and when the canvas
// dies. Without a context (a control canvas asks its control via CreateHandle) nothing is
// drawn. The pen position is the context's. The canvas takes the OnChange of its own pen,
// brush and font; its OnChange follows each drawing call. A context of other dots per inch
// (a printer page, LOGPIXELSY) moves the font there as it is set, so points stay points.
class TCanvas {
 public:
  TCanvas();
  virtual ~TCanvas();
  TCanvas(const TCanvas&) = delete;
  TCanvas& operator=(const TCanvas&) = delete;

  HDC Handle();                    // CreateHandle first; pen, brush and font selected
  void SetHandle(HDC dc);          // the canvas does not own the context
  bool HandleAllocated() const { return dc_ != nullptr; }
  TPen* Pen() { return &pen_; }
  TBrush* Brush() { return &brush_; }
  TFont* Font() { return &font_; }

  TPoint PenPos() const;
  void SetPenPos(const POINT& p) { MoveTo(p.x, p.y); }
  void MoveTo(int x, int y);
  void LineTo(int x, int y);   // the end point is not drawn
  void Rectangle(int left, int top, int right, int bottom);
  void Rectangle(const RECT& r) { Rectangle(r.left, r.top, r.right, r.bottom); }
  void RoundRect(int left, int top, int right, int bottom, int w, int h);
  void Ellipse(int left, int top, int right, int bottom);
  void Polygon(const POINT* points, int count);
  void Polyline(const POINT* points, int count);
  void FillRect(const RECT& rect);    // with the brush
  void FrameRect(const RECT& rect);   // one pixel of the brush colour
  void DrawFocusRect(const RECT& rect);
  // Flood fill with the brush colour from a point (fsSurface: the 4-connected area of `color`,
  // fsBorder: up to `color`), bounded by the context's clip box.
  void FloodFill(int x, int y, TColor color, TFillStyle style);
  // Text at a point with the font (transparent when the brush is bsClear, else on the brush).
  void TextOut(int x, int y, const std::string& text);
  // Text clipped to the rectangle, the rectangle first filled with the brush (unless bsClear).
  void TextRect(const RECT& rect, int x, int y, const std::string& text);
  SIZE TextExtent(const std::string& text);
  int TextWidth(const std::string& text) { return TextExtent(text).cx; }
  int TextHeight(const std::string& text) { return TextExtent(text).cy; }
  // The pixel's colour; CLR_INVALID (as a TColor) outside the image or without a context.
  TColor Pixels(int x, int y);
  void SetPixels(int x, int y, TColor color);
  // Copies a rectangle of another canvas (StretchBlt with CopyMode, SRCCOPY by default).
  void CopyRect(const RECT& dest, TCanvas* source, const RECT& sourceRect);
  DWORD CopyMode() const { return copyMode_; }
  void SetCopyMode(DWORD rop) { copyMode_ = rop; }
  TRect ClipRect();   // the context's clip box

  std::function<void()> OnChange;

 protected:
  // Called when Handle is needed and there is no context: a control canvas gets one.
  virtual void CreateHandle() {}
  void RequireState();   // selects pen, brush and font and sets colours before a drawing call
  HDC dc_ = nullptr;

 private:
  // RequireState, then whether there is a context to draw on.
  bool Ready();
  void Changed();
  void DeselectObjects();
  // Moves the font to the context's dots per inch.
  void FollowResolution();
  // Puts the context's own object of one kind back in place of ours.
  void Deselect(HGDIOBJ& original, HGDIOBJ& selected);
  void Select(HGDIOBJ object, HGDIOBJ& original, HGDIOBJ& selected);
  TPen pen_;
  TBrush brush_;
  TFont font_;
  DWORD copyMode_ = SRCCOPY;
  // The context's own objects, and ours selected in their place (null when none is).
  HGDIOBJ oldPen_ = nullptr;
  HGDIOBJ oldBrush_ = nullptr;
  HGDIOBJ oldFont_ = nullptr;
  HGDIOBJ selPen_ = nullptr;
  HGDIOBJ selBrush_ = nullptr;
  HGDIOBJ selFont_ = nullptr;
};

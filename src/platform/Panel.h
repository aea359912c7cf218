// The class library's panels, labels, pictures, bevels and splitters, drawn with the GDI calls in
// a plain classic face (system colours). Windowed ones (TPanel, TGroupBox, TStaticText) paint in
// their Paint, called from WM_PAINT; windowless ones (TPaintBox, TLabel, TBevel, TImage,
// TSplitter) paint into their parent's image. Containers keep their frames out of the area
// aligned children get (AdjustClientRect). UI thread only; text is GBK.
#pragma once

#include "platform/Control.h"
#include "platform/Form.h"

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

// ---- Kinds ------------------------------------------------------------------------------------
enum TAlignment { taLeftJustify, taRightJustify, taCenter };
enum TTextLayout { tlTop, tlCenter, tlBottom };
enum TBevelCut { bvNone, bvLowered, bvRaised, bvSpace };
using TBevelWidth = int;
// A control's frame: bsNone or bsSingle of the form's border styles.
using TBorderStyle = TFormBorderStyle;
enum TStaticBorderStyle { sbsNone, sbsSingle, sbsSunken };
enum TBevelShape { bsBox, bsFrame, bsTopLine, bsBottomLine, bsLeftLine, bsRightLine, bsSpacer };
enum TBevelStyle { bsLowered, bsRaised };
enum TResizeStyle { rsNone, rsLine, rsUpdate, rsPattern };

// The class library's three-dimensional frame: `width` rings inward from `rect`, each with its
// top and left lines in `topColor` and its right and bottom lines in `bottomColor`; `rect`
// shrinks by `width` on every side.
void Frame3D(TCanvas* canvas, TRect& rect, TColor topColor, TColor bottomColor, int width);

// ---- TPanel -----------------------------------------------------------------------------------
// A container with an outer and an inner bevel, a border between them, and a caption centred
// vertically. Aligned children sit inside the bevels and the border.
class TPanel : public TCustomControl {
 public:
  explicit TPanel(TComponent* owner);   // 185 x 41, raised outer bevel, centred caption
  const char* ClassName() const override { return "TPanel"; }

  TBevelCut BevelOuter() const { return bevelOuter_; }
  void SetBevelOuter(TBevelCut value);
  TBevelCut BevelInner() const { return bevelInner_; }
  void SetBevelInner(TBevelCut value);
  TBevelWidth BevelWidth() const { return bevelWidth_; }
  void SetBevelWidth(TBevelWidth value);   // below 1 becomes 1
  int BorderWidth() const { return borderWidth_; }
  void SetBorderWidth(int value);           // below 0 becomes 0
  // bsSingle gives the window WS_BORDER (the window is made again).
  TBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TBorderStyle value);
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment value);

  void AdjustClientRect(TRect& rect) override;

 protected:
  void CreateParams(TCreateParams& params) override;
  void Paint() override;
  void Resize() override;   // the bevels follow the size: the whole panel is repainted
  // The part inside the bevels and the border.
  int FrameSize() const;

 private:
  void FrameChanged();
  TBevelCut bevelOuter_ = bvRaised;
  TBevelCut bevelInner_ = bvNone;
  TBevelWidth bevelWidth_ = 1;
  int borderWidth_ = 0;
  TBorderStyle borderStyle_ = bsNone;
  TAlignment alignment_ = taCenter;
};

// ---- TPaintBox --------------------------------------------------------------------------------
// The canvas of a windowless control: while the control paints, the parent's paint context
// (moved to the control and clipped to it); at other times a context of the parent's window
// moved and clipped the same way, so that a handler may draw into the control at once.
class TGraphicControlCanvas : public TCanvas {
 public:
  explicit TGraphicControlCanvas(TControl* control) : control_(control) {}
  ~TGraphicControlCanvas() override { FreeHandle(); }
  // Gives back the context taken outside painting.
  void FreeHandle();
  // Painting: the parent's paint context (null when painting ends).
  void SetPaintHandle(HDC dc);
  // Drops a context taken outside painting that no longer matches the control's place.
  void Revalidate();

 protected:
  void CreateHandle() override;

 private:
  TControl* control_;
  HWND ownWindow_ = nullptr;
  HDC own_ = nullptr;
  TRect ownBounds_;
};

// A windowless area its OnPaint handler draws: nothing of its own, so the parent shows through
// until the handler paints. Its canvas has the box's font and colour as brush.
class TPaintBox : public TGraphicControl {
 public:
  explicit TPaintBox(TComponent* owner);   // 105 x 105, parent colour
  ~TPaintBox() override;
  const char* ClassName() const override { return "TPaintBox"; }
  // The box's canvas (hides the base's): also usable outside painting.
  TCanvas* Canvas();
  void SetBounds(int left, int top, int width, int height) override;
  void SetParent(TWinControl* parent) override;

  TNotifyEvent OnPaint;

 protected:
  void Paint() override;
  void SetParentPaintDc(HDC dc) override;

 private:
  TGraphicControlCanvas boxCanvas_{this};
};

// ---- TLabel -----------------------------------------------------------------------------------
// Windowless text: "&x" underlines x (ShowAccelChar), the background in the label's colour
// (its parent's unless set) or none when Transparent, word wrap, horizontal alignment and
// vertical layout. AutoSize fits the size to the text whenever the caption, font or wrapping
// changes (with WordWrap the text breaks at the width the label has; a right-aligned label keeps
// its right edge). A disabled label draws its text embossed in grey. CM_DIALOGCHAR with the
// accelerator focuses FocusControl.
class TLabel : public TGraphicControl {
 public:
  explicit TLabel(TComponent* owner);   // 65 x 17, auto size, parent colour
  const char* ClassName() const override { return "TLabel"; }

  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment value);
  TTextLayout Layout() const { return layout_; }
  void SetLayout(TTextLayout value);
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool value);
  bool WordWrap() const { return wordWrap_; }
  void SetWordWrap(bool value);
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool value);
  bool ShowAccelChar() const { return showAccelChar_; }
  void SetShowAccelChar(bool value);
  TWinControl* FocusControl() const { return focusControl_; }
  void SetFocusControl(TWinControl* control) { focusControl_ = control; }

  void Dispatch(TMessage& message) override;

 protected:
  void Paint() override;
  // Fits the size to the text (when AutoSize).
  void AdjustBounds();

 private:
  UINT TextFlags() const;
  TAlignment alignment_ = taLeftJustify;
  TTextLayout layout_ = tlTop;
  bool autoSize_ = true;
  bool wordWrap_ = false;
  bool transparent_ = false;
  bool showAccelChar_ = true;
  TWinControl* focusControl_ = nullptr;
};

// ---- TStaticText ------------------------------------------------------------------------------
// A label with a window of its own: text with "&x", alignment, an optional frame (sbsSingle:
// WS_BORDER, sbsSunken: WS_EX_STATICEDGE), auto size (text plus frame) and FocusControl.
class TStaticText : public TCustomControl {
 public:
  explicit TStaticText(TComponent* owner);   // 65 x 17, auto size
  const char* ClassName() const override { return "TStaticText"; }

  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment value);
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool value);
  TStaticBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TStaticBorderStyle value);   // the window is made again
  bool ShowAccelChar() const { return showAccelChar_; }
  void SetShowAccelChar(bool value);
  TWinControl* FocusControl() const { return focusControl_; }
  void SetFocusControl(TWinControl* control) { focusControl_ = control; }

  void Dispatch(TMessage& message) override;

 protected:
  void CreateParams(TCreateParams& params) override;
  void Paint() override;
  void AdjustBounds();

 private:
  TAlignment alignment_ = taLeftJustify;
  bool autoSize_ = true;
  TStaticBorderStyle borderStyle_ = sbsNone;
  bool showAccelChar_ = true;
  TWinControl* focusControl_ = nullptr;
};

// ---- TGroupBox --------------------------------------------------------------------------------
// A container framed by an etched line with its caption in the top line; aligned children sit
// below the caption, inside the frame. Its accelerator focuses its first child in tab order.
class TGroupBox : public TCustomControl {
 public:
  explicit TGroupBox(TComponent* owner);   // 185 x 105
  const char* ClassName() const override { return "TGroupBox"; }
  void AdjustClientRect(TRect& rect) override;
  void Dispatch(TMessage& message) override;

 protected:
  void Paint() override;
};

// ---- TBevel -----------------------------------------------------------------------------------
// A windowless etched box, frame or line.
class TBevel : public TGraphicControl {
 public:
  explicit TBevel(TComponent* owner);   // 50 x 50, lowered box
  const char* ClassName() const override { return "TBevel"; }
  TBevelShape Shape() const { return shape_; }
  void SetShape(TBevelShape value);
  TBevelStyle Style() const { return style_; }
  void SetStyle(TBevelStyle value);

 protected:
  void Paint() override;

 private:
  TBevelShape shape_ = bsBox;
  TBevelStyle style_ = bsLowered;
};

// ---- TImage -----------------------------------------------------------------------------------
// A bitmap the picture owns: loaded from a BMP file or from a BMP file's bytes (a picture stored
// with the program). A load that fails (missing, short or damaged file) keeps the picture there
// was. OnChange follows every change.
class TPicture {
 public:
  TPicture() = default;
  ~TPicture();
  TPicture(const TPicture&) = delete;
  TPicture& operator=(const TPicture&) = delete;

  // A Windows-form path; false, keeping the picture, when the file is no readable BMP.
  bool LoadFromFile(const std::string& fileName);
  // The bytes of a BMP file; false, keeping the picture, when they are no readable BMP.
  bool LoadFromBytes(const void* bytes, std::size_t size);
  // Takes the bitmap over (null clears); the picture it replaces is deleted.
  void SetBitmap(HBITMAP bitmap);
  void Clear() { SetBitmap(nullptr); }
  HBITMAP Bitmap() const { return bitmap_; }
  bool Empty() const { return bitmap_ == nullptr; }
  int Width() const { return width_; }
  int Height() const { return height_; }

  std::function<void()> OnChange;

 private:
  HBITMAP bitmap_ = nullptr;
  int width_ = 0;
  int height_ = 0;
};

// A windowless picture: at its top-left, centred, or stretched over the whole control. With
// Transparent the colour of the picture's bottom-left pixel lets the parent show through.
// AutoSize makes the control the picture's size.
class TImage : public TGraphicControl {
 public:
  explicit TImage(TComponent* owner);   // 105 x 105
  const char* ClassName() const override { return "TImage"; }
  TPicture* Picture() { return &picture_; }
  bool Stretch() const { return stretch_; }
  void SetStretch(bool value);
  bool Center() const { return center_; }
  void SetCenter(bool value);
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool value);
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool value);
  // Where the picture lands in the control.
  TRect DestRect() const;

 protected:
  void Paint() override;

 private:
  void PictureChanged();
  TPicture picture_;
  bool stretch_ = false;
  bool center_ = false;
  bool transparent_ = false;
  bool autoSize_ = false;
};

// ---- TSplitter --------------------------------------------------------------------------------
using TCanResizeEvent = std::function<void(TObject* Sender, int& NewSize, bool& Accept)>;

// A windowless bar between an aligned control (its neighbour: the visible, enabled control of the
// parent touching the splitter's edge on the side it is aligned to) and the rest of the parent.
// Dragging it with the left button resizes the neighbour: the new size stays between MinSize
// and what leaves the other aligned controls of that axis plus MinSize for the rest of the
// client area. While dragging, rsLine and rsPattern show the bar's new place inverted on the
// parent's window and on the windows of the parent's windowed descendants it crosses (each
// window shows its own image), drawn again to erase it; rsUpdate resizes at every move, rsNone
// at the release only. OnCanResize may change or refuse each new size; OnMoved follows each
// change of the neighbour's size (at the release, or at every move with rsUpdate). A move
// without the button held (the capture taken away) cancels the drag. AutoSnap: a size at or
// below MinSize becomes 0 (off here: a drag stops at the minimum). The cursor is crHSplit
// beside left and right neighbours, crVSplit beside top and bottom ones.
class TSplitter : public TGraphicControl {
 public:
  explicit TSplitter(TComponent* owner);   // aligned left, 3 x 100, MinSize 30, rsPattern
  ~TSplitter() override;
  const char* ClassName() const override { return "TSplitter"; }

  int MinSize() const { return minSize_; }
  void SetMinSize(int value);   // below 1 becomes 1
  TResizeStyle ResizeStyle() const { return resizeStyle_; }
  void SetResizeStyle(TResizeStyle value) { resizeStyle_ = value; }
  bool AutoSnap() const { return autoSnap_; }
  void SetAutoSnap(bool value) { autoSnap_ = value; }
  bool Beveled() const { return beveled_; }
  void SetBeveled(bool value);
  // Also sets the cursor for the new axis (hides the base's).
  void SetAlign(TAlign align);
  void SetBounds(int left, int top, int width, int height) override;
  // True while a drag is in progress.
  bool Sizing() const { return control_ != nullptr; }

  TCanResizeEvent OnCanResize;
  TNotifyEvent OnMoved;

 protected:
  void Paint() override;
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void MouseMove(TShiftState shift, int x, int y) override;
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
  virtual bool CanResize(int& newSize);

 private:
  TControl* FindControl() const;
  void CalcSplitSize(int x, int y, int& newSize, int& split) const;
  bool DoCanResize(int& newSize);
  void UpdateControlSize();
  void AllocateLineDcs();
  void DrawLine();
  void StopSizing();
  void FollowAlign();
  bool Horizontal() const { return align_ == alLeft || align_ == alRight; }

  int minSize_ = 30;
  int maxSize_ = 0;
  TResizeStyle resizeStyle_ = rsPattern;
  bool autoSnap_ = false;
  bool beveled_ = false;
  TControl* control_ = nullptr;   // the neighbour being resized (null when not dragging)
  TPoint downPos_;
  int newSize_ = 0;
  int oldSize_ = 0;
  int split_ = 0;
  // The windows the feedback is drawn on, each with its offset from the parent's client area.
  struct LineTarget {
    HWND window;
    HDC dc;
    POINT offset;
  };
  std::vector<LineTarget> lineTargets_;
  bool lineVisible_ = false;
};

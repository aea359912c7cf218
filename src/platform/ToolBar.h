// The class library's image list and tool bar. An image list keeps pictures of one size by
// index, each with a mask, over the ImageList_* calls; a tool bar lays its tool buttons out in
// one row from the left and draws them from its image list, raising its custom-draw events
// before painting the bar and each button so that the owner may paint them itself.
// UI thread only, like the controls underneath. Text is GBK.
//
// Tool buttons are windowless controls of their bar (as in the class library): a button joins
// the bar by SetParent, in the order of joining (SetIndex moves it). The bar paints every
// button itself in its own Paint, in the bar's coordinates and on the bar's Canvas, so the
// custom-draw handlers draw with Sender->Canvas() at Button->BoundsRect(). Behaviour (pressing,
// checking, grouping, hot tracking, clicks) lives in the button and is kept by a subclass that
// paints differently.
#pragma once

#include "platform/Control.h"

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <vector>

// A small set of enumeration values, as the class library's sets of states and flags.
template <class E>
class TCustomDrawSet {
 public:
  constexpr TCustomDrawSet() = default;
  constexpr TCustomDrawSet(std::initializer_list<E> values) {
    for (E v : values) bits_ |= Bit(v);
  }
  constexpr bool Contains(E v) const { return (bits_ & Bit(v)) != 0; }
  constexpr TCustomDrawSet& operator<<(E v) { bits_ |= Bit(v); return *this; }
  constexpr TCustomDrawSet& operator>>(E v) { bits_ &= ~Bit(v); return *this; }
  constexpr bool Empty() const { return bits_ == 0; }
  constexpr std::uint32_t Bits() const { return bits_; }
  constexpr bool operator==(const TCustomDrawSet&) const = default;

 private:
  static constexpr std::uint32_t Bit(E v) { return 1u << static_cast<unsigned>(v); }
  std::uint32_t bits_ = 0;
};

// ---- Image list ------------------------------------------------------------------------------
class TImageList;

// Tells a client (a tool bar) that an image list changed. When the list is freed, Sender
// becomes null and OnChange runs once more, so the client lets the list go.
class TChangeLink {
 public:
  TChangeLink() = default;
  ~TChangeLink();   // unregisters from its list
  TChangeLink(const TChangeLink&) = delete;
  TChangeLink& operator=(const TChangeLink&) = delete;
  TImageList* Sender() const { return sender_; }
  std::function<void()> OnChange;

 private:
  friend class TImageList;
  TImageList* sender_ = nullptr;
};

// The class library's drawing styles, as ILD_NORMAL, ILD_TRANSPARENT, ILD_FOCUS, ILD_SELECTED.
enum TDrawingStyle { dsFocus, dsSelected, dsNormal, dsTransparent };

// Pictures of Width x Height (16 x 16 unless set), kept at 32 bits with a mask each. The list
// handle is made with the component and lives until it is freed; changing the size empties the
// list (the handle is made anew). Adding fails without changing the list when the bitmap is
// dead or narrower than one image.
class TImageList : public TComponent {
 public:
  explicit TImageList(TComponent* owner);
  // Sizes below 1 become 1; EOutOfResources when the list cannot be made (larger than the
  // image lists allow).
  TImageList(TComponent* owner, int width, int height);
  ~TImageList() override;   // client links are told (Sender null)

  int Width() const { return width_; }
  int Height() const { return height_; }
  void SetWidth(int width) { SetSize(width, height_); }
  void SetHeight(int height) { SetSize(width_, height); }
  // Sizes below 1, or too large for a list, are refused (unchanged). A new size empties the list.
  void SetSize(int width, int height);
  int Count() const;
  // The ImageList_* handle (not null while the component lives); the list keeps it.
  HIMAGELIST Handle() const { return handle_; }

  // Adds one image per whole Width-wide column of the bitmap, left to right. With a mask bitmap,
  // its white pixels are transparent; without, none. Returns the index of the first image
  // added, -1 when nothing was. The bitmaps stay the caller's.
  int Add(HBITMAP image, HBITMAP mask);
  // As Add, the pixels of maskColor being transparent. clNone adds the pixels as they are.
  int AddMasked(HBITMAP image, TColor maskColor);
  // Removes one image (the later ones move down); an index outside the list does nothing.
  void Delete(int index);
  void Clear();

  // The colour transparent pixels are drawn in with dsNormal; clNone (the initial one): they
  // keep what is under them.
  TColor BkColor() const { return bkColor_; }
  void SetBkColor(TColor color);
  TDrawingStyle DrawingStyle() const { return drawingStyle_; }
  void SetDrawingStyle(TDrawingStyle style) { drawingStyle_ = style; }

  // Draws image `index` with its top-left at (x, y) on the canvas, in the list's drawing style.
  // Disabled, the image's shape is drawn greyed: the inked pixels (neither transparent nor
  // white) in the button highlight colour one pixel right and down, then in the button shadow
  // colour in place. An index outside the list, or a canvas without a context, draws nothing.
  void Draw(TCanvas* canvas, int x, int y, int index, bool enabled = true);
  // The same on a device context.
  void Draw(HDC dc, int x, int y, int index, bool enabled = true);

  void RegisterChanges(TChangeLink* link);
  void UnRegisterChanges(TChangeLink* link);
  TNotifyEvent OnChange;

 private:
  friend class TToolBar;   // draws disabled images without the etched copy on request
  void Change();
  void DrawDisabled(HDC dc, int x, int y, int index, bool etched);
  int width_ = 16;
  int height_ = 16;
  TColor bkColor_ = clNone;
  TDrawingStyle drawingStyle_ = dsNormal;
  HIMAGELIST handle_ = nullptr;
  std::vector<TChangeLink*> links_;
};

// ---- Tool bar --------------------------------------------------------------------------------
class TToolBar;
class TToolButton;

enum TToolButtonStyle { tbsButton, tbsCheck, tbsSeparator = 3, tbsDivider };

// When a custom-draw event is raised.
enum TCustomDrawStage { cdPrePaint, cdPostPaint, cdPreErase, cdPostErase };
// The state of the button being drawn: cdsSelected pressed (the mouse held on it, or a plain
// button kept Down), cdsChecked a check button Down, cdsHot under the pointer on a flat bar,
// cdsDisabled not enabled.
enum TCustomDrawStateItem { cdsSelected, cdsGrayed, cdsDisabled, cdsChecked, cdsFocused, cdsDefault,
                            cdsHot, cdsMarked, cdsIndeterminate };
using TCustomDrawState = TCustomDrawSet<TCustomDrawStateItem>;
// What a button handler may ask of the default drawing: no edge, the hot button filled with the
// highlight colour, no offset of a pressed button's image and caption, no etched (highlight)
// copy of a disabled image. tbNoMark is accepted.
enum TTBCustomDrawFlag { tbNoEdges, tbHiliteHotTrack, tbNoOffset, tbNoMark, tbNoEtchedEffect };
using TTBCustomDrawFlags = TCustomDrawSet<TTBCustomDrawFlag>;

// ARect is the bar's client rectangle. DefaultDraw false in cdPrePaint: no button is drawn (and
// no cdPostPaint follows); in cdPreErase: the background is not filled.
using TTBAdvancedCustomDrawEvent =
    std::function<void(TToolBar* Sender, const TRect& ARect, TCustomDrawStage Stage, bool& DefaultDraw)>;
// DefaultDraw false in cdPrePaint: nothing of that button is drawn, and no cdPostPaint follows.
using TTBAdvancedCustomDrawBtnEvent =
    std::function<void(TToolBar* Sender, TToolButton* Button, TCustomDrawState State, TCustomDrawStage Stage,
                       TTBCustomDrawFlags& Flags, bool& DefaultDraw)>;

// A button of a tool bar. Width and height are the bar's ButtonWidth and ButtonHeight; a
// separator or divider keeps its own width (8 unless set). Positions are the bar's: SetBounds
// from outside only changes a separator's width.
//
// A left press inside shows it pressed while the pointer stays on it; the release on it clicks
// (a double click is a press). Clicking a check button toggles Down before OnClick runs; a
// Grouped check button belongs to the run of adjacent Grouped check buttons around it (any
// other button or separator ends the run): going Down raises the others of its run, and a
// click on one already Down leaves it Down unless AllowAllUp. Setting Down from code follows
// the same grouping and never clicks. Disabled and hidden buttons take no clicks; hidden ones
// take no room.
class TToolButton : public TGraphicControl {
 public:
  explicit TToolButton(TComponent* owner);
  ~TToolButton() override;
  const char* ClassName() const override { return "TToolButton"; }

  TToolBar* ToolBar() const { return toolBar_; }
  // The position among the bar's buttons, -1 without a bar; SetIndex moves it (clamped).
  int Index() const;
  void SetIndex(int index);

  TToolButtonStyle Style() const { return style_; }
  void SetStyle(TToolButtonStyle style);
  bool Down() const { return down_; }
  void SetDown(bool down);
  bool Grouped() const { return grouped_; }
  void SetGrouped(bool grouped) { grouped_ = grouped; }
  bool AllowAllUp() const { return allowAllUp_; }
  void SetAllowAllUp(bool value) { allowAllUp_ = value; }
  // The image of the bar's Images; one outside the list draws none.
  int ImageIndex() const { return imageIndex_; }
  void SetImageIndex(int index);
  // Held by the mouse with the pointer on it.
  bool Pressed() const { return pressed_; }

  void SetBounds(int left, int top, int width, int height) override;
  void WndProc(TMessage& message) override;

 protected:
  void Click() override;
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void MouseMove(TShiftState shift, int x, int y) override;
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
  // The bar paints its buttons; the button's own paint adds nothing.
  void Paint() override {}

 private:
  friend class TToolBar;
  void SetPressed(bool pressed);
  TToolBar* toolBar_ = nullptr;
  TToolButtonStyle style_ = tbsButton;
  bool down_ = false;
  bool grouped_ = false;
  bool allowAllUp_ = false;
  bool pressed_ = false;
  int imageIndex_ = -1;
  int separatorWidth_ = 8;
};

// A tool bar, aligned to the top, 150 x 26 by default, its buttons in one row from Indent at
// the top of 2 (no wrapping: a row wider than the bar runs past its right edge). A button
// whose right edge lies beyond the bar's client width is left blank by the default drawing.
//
// Painting: WM_ERASEBKGND raises OnAdvancedCustomDraw cdPreErase, fills the client with Color
// unless refused, then cdPostErase. Paint raises cdPrePaint, then for each visible button in
// order OnAdvancedCustomDrawButton cdPrePaint, its default drawing and cdPostPaint, then the
// bar's cdPostPaint. Separators and dividers raise no button event: a divider (and on a flat bar
// a separator) is an etched vertical line in its middle.
//
// The default face: on a flat bar only the hot button has a raised edge and a pressed or
// checked one a sunken edge, a checked one that is not hot a lighter face; otherwise every
// button has a raised edge, sunken when pressed or checked. The image is centred (above the
// caption with ShowCaptions), one pixel right and down when pressed or checked.
class TToolBar : public TCustomControl {
 public:
  explicit TToolBar(TComponent* owner);
  ~TToolBar() override;
  const char* ClassName() const override { return "TToolBar"; }

  int ButtonCount() const { return static_cast<int>(buttons_.size()); }
  TToolButton* Buttons(int index) const;   // EListError outside 0..ButtonCount-1

  bool Flat() const { return flat_; }
  void SetFlat(bool flat);
  int ButtonWidth() const { return buttonWidth_; }
  void SetButtonWidth(int width);     // below 1 refused
  int ButtonHeight() const { return buttonHeight_; }
  void SetButtonHeight(int height);   // below 1 refused
  int Indent() const { return indent_; }
  void SetIndent(int indent);
  bool ShowCaptions() const { return showCaptions_; }
  void SetShowCaptions(bool value);
  // The list the buttons' images come from (not owned); a freed list is let go.
  TImageList* Images() const { return images_; }
  void SetImages(TImageList* images);
  // The button under the pointer on a flat bar, or null.
  TToolButton* HotButton() const { return hot_; }
  // The state a button is drawn in now.
  TCustomDrawState ButtonState(const TToolButton* button) const;

  TTBAdvancedCustomDrawEvent OnAdvancedCustomDraw;
  TTBAdvancedCustomDrawBtnEvent OnAdvancedCustomDrawButton;

  void Dispatch(TMessage& message) override;

 protected:
  void Paint() override;
  // The default face of a button (not a separator) in the given state.
  virtual void DrawButtonFace(TToolButton* button, TCustomDrawState state, TTBCustomDrawFlags flags);
  void ControlsChanged() override;

 private:
  friend class TToolButton;
  void ArrangeButtons();
  void SetHot(TToolButton* button);
  void PaintButton(TToolButton* button);
  void DrawSeparator(TToolButton* button);
  void ButtonDown(TToolButton* button);
  void ForgetButton(TToolButton* button);
  std::vector<TToolButton*> buttons_;
  TToolButton* hot_ = nullptr;
  TImageList* images_ = nullptr;
  TChangeLink imageLink_;
  bool flat_ = false;
  bool showCaptions_ = false;
  int buttonWidth_ = 25;
  int buttonHeight_ = 22;
  int indent_ = 0;
  bool arranging_ = false;
};

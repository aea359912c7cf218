// The class library's buttons: push buttons, check boxes and radio buttons on one windowed base
// whose own window procedure plays the part of the system's button (states, the BM_ messages,
// keyboard and mouse clicks, the click notification to the parent, the classic face), and the
// windowless speed button with glyph and groups. UI thread only; text is GBK.
//
// Behaviour and painting are apart: a subclass that answers WM_PAINT and WM_ERASEBKGND itself
// (or overrides `Paint`) keeps clicking, checking, grouping, keys and notifications, and reads
// the state with BM_GETSTATE. Every state change invalidates the window; nothing is drawn
// outside WM_PAINT.
//
// The click path is the class library's: a press and release inside (the button holds the
// mouse capture meanwhile), Space pressed and released, or BM_CLICK make the button send
// WM_COMMAND with BN_CLICKED to its parent, which reflects it as CN_COMMAND; the button then
// clicks (TButton), toggles (TCheckBox) or checks itself (TRadioButton). A release outside, or
// losing the capture or the focus while held, clicks nothing. A disabled button clicks nothing.
#pragma once

#include "platform/Control.h"
#include "platform/Form.h"
#include "platform/Panel.h"   // TAlignment, IsAccel

#include <string>

// Told to the controls of a speed button's parent when the button went down: wParam the group
// index, lParam the button (TSpeedButton*).
constexpr UINT CM_BUTTONPRESSED = 0xB00A;

enum TCheckBoxState { cbUnchecked, cbChecked, cbGrayed };

// ---- TButtonControl ---------------------------------------------------------------------------
// The windowed base of the button family. Its window procedure (DefaultHandler, below the
// class handlers) is the button itself:
// - the pushed state: set while the left button, pressed inside, is held with the pointer
//   inside, and while Space is held; the focus state; BM_GETSTATE answers BST_FOCUS (8),
//   BST_PUSHED (4) and the check state (BST_CHECKED 1, BST_INDETERMINATE 2);
// - BM_SETSTATE (pushed on or off), BM_GETCHECK / BM_SETCHECK (through the class's check
//   state), BM_CLICK (the click notification), BM_SETSTYLE (the BS_ type bits of the window
//   style; lParam non-zero repaints);
// - WM_GETDLGCODE: DLGC_BUTTON, with DLGC_DEFPUSHBUTTON or DLGC_UNDEFPUSHBUTTON for push
//   buttons (by the BS_DEFPUSHBUTTON style) and DLGC_RADIOBUTTON for radio buttons;
// - WM_SETFONT / WM_GETFONT: the font handle given (the control gives its own font's at
//   creation and at each font change);
// - WM_PAINT: WM_CTLCOLORBTN to the parent (wParam the paint context, lParam the button's
//   window); the brush it returns fills the client area (none: the button face). The parent's
//   default answer is the button's own brush, of its Color. Then the face: `Paint` on the
//   canvas, or with the BS_OWNERDRAW style WM_DRAWITEM to the parent (ODT_BUTTON; states
//   ODS_SELECTED, ODS_FOCUS, ODS_DISABLED, ODS_CHECKED; action ODA_DRAWENTIRE, every state
//   change being a repaint), which the library reflects to the button as CN_DRAWITEM.
//   WM_ERASEBKGND draws nothing (the paint covers it).
// Checking and the dialog codes follow the class, not the BS_ type bits, so a check box or radio
// button made owner-drawn keeps its check state, grouping and arrow keys.
class TButtonControl : public TWinControl {
 public:
  explicit TButtonControl(TComponent* owner);
  ~TButtonControl() override;
  const char* ClassName() const override { return "TButtonControl"; }

  // The check state as a boolean: a check box is checked only in cbChecked.
  bool Checked() const { return GetChecked(); }
  virtual void SetChecked(bool value) {}
  // The caption as the window has it.
  std::string GetText() const { return Caption(); }
  bool GetEnabled() const { return Enabled(); }
  // The canvas of the face: the paint context while `Paint` runs.
  TCanvas* Canvas() { return &canvas_; }

  void WndProc(TMessage& message) override;
  void Dispatch(TMessage& message) override;
  void DefaultHandler(TMessage& message) override;

 protected:
  // What the window procedure's click does and which dialog code it answers.
  enum class Kind { Push, Check, Radio };
  virtual Kind ButtonKind() const { return Kind::Push; }
  virtual bool GetChecked() const { return false; }
  // The BST_ check state BM_GETCHECK answers, and BM_SETCHECK's change.
  virtual WPARAM CheckState() const { return GetChecked() ? BST_CHECKED : BST_UNCHECKED; }
  virtual void SetCheckState(WPARAM state) { SetChecked(state == BST_CHECKED); }
  // The reflected click notification (WM_COMMAND with BN_CLICKED from the window procedure).
  virtual void ButtonClicked() { Click(); }
  // The face, painted on Canvas() over the background (the WM_CTLCOLORBTN brush).
  virtual void Paint() {}

  void CreateParams(TCreateParams& params) override;
  void CreateWnd() override;
  void DestroyWnd() override;
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;

  // The window procedure's state, for painting.
  bool Pushed() const { return pushed_; }
  bool HasFocus() const { return focused_; }
  // The BS_ type bits of the window style (the style asked for before there is a window).
  DWORD ButtonStyle() const;
  // Click handlers (OnClick) are not run by programmatic changes while set.
  bool ClicksDisabled() const { return clicksDisabled_; }
  void SetClicksDisabled(bool value) { clicksDisabled_ = value; }
  // The brush of the control's Color, the default answer to WM_CTLCOLORBTN.
  HBRUSH ColorBrush();
  // Repaints when the window is there (no erase: the paint covers the whole button).
  void InvalidateFace();
  // The style before the window exists (BM_SETSTYLE then only changes this).
  DWORD initialStyle_ = BS_PUSHBUTTON;

 private:
  void ButtonMessage(TMessage& message);
  void NotifyClick();
  void SetPushed(bool pushed);
  void PaintButton(TMessage& message);
  void CancelPress();

  TControlCanvas canvas_{this};
  HBRUSH brush_ = nullptr;
  TColor brushColor_ = clNone;
  HFONT fontHandle_ = nullptr;    // from WM_SETFONT
  bool pushed_ = false;
  bool focused_ = false;
  bool mouseDown_ = false;        // the left button pressed inside and held: tracking the pointer
  bool spaceDown_ = false;        // Space pressed while focused
  bool clicksDisabled_ = false;
};

// ---- TButton ----------------------------------------------------------------------------------
// A push button. Default: Enter (CM_DIALOGKEY VK_RETURN from the form) clicks it while it is
// the form's active default: focused itself, or Default and no other push button of the form
// focused. Cancel: Esc clicks it. Neither works with Shift, Ctrl or Alt held, nor on a button
// that cannot be focused. A click sets the parent form's ModalResult to the button's (mrNone
// too), which ends a modal run of the form, then raises OnClick. The accelerator of the
// caption (CM_DIALOGCHAR with the "&" letter, either case) clicks it. The form's active default
// carries the BS_DEFPUSHBUTTON style (moved by BM_SETSTYLE as the focus moves between buttons),
// drawn as a dark frame by the classic face.
class TButton : public TButtonControl {
 public:
  explicit TButton(TComponent* owner);   // 75 x 25, TabStop
  const char* ClassName() const override { return "TButton"; }

  bool Default() const { return default_; }
  void SetDefault(bool value);
  bool Cancel() const { return cancel_; }
  void SetCancel(bool value) { cancel_ = value; }
  TModalResult ModalResult() const { return modalResult_; }
  void SetModalResult(TModalResult value) { modalResult_ = value; }
  void Click() override;

  void Dispatch(TMessage& message) override;

 protected:
  void CreateParams(TCreateParams& params) override;
  void Paint() override;
  // Focused, or Default with no other push button of the form focused (by the focus window).
  bool ActiveFor(HWND focus) const;
  bool ActiveDefault() const;
  // Gives the window BS_DEFPUSHBUTTON or BS_PUSHBUTTON by ActiveFor (BM_SETSTYLE when it
  // differs); an owner-drawn button keeps BS_OWNERDRAW and is only repainted.
  void UpdateButtonStyle(HWND focus);

 private:
  bool default_ = false;
  bool cancel_ = false;
  TModalResult modalResult_ = mrNone;
};

// ---- TCheckBox --------------------------------------------------------------------------------
// A box with a caption beside it. Every change of State (clicks, BM_SETCHECK, SetState,
// SetChecked) sends CM_CHANGED to the check box and then raises OnClick, as the class library
// does, unless clicks are disabled. A click cycles cbUnchecked -> cbChecked -> cbGrayed (when
// AllowGrayed, else back to cbUnchecked) -> cbUnchecked. Alignment taRightJustify puts the
// caption right of the box, taLeftJustify left of it.
class TCheckBox : public TButtonControl {
 public:
  explicit TCheckBox(TComponent* owner);   // 97 x 17, TabStop
  const char* ClassName() const override { return "TCheckBox"; }

  TCheckBoxState State() const { return state_; }
  void SetState(TCheckBoxState value);
  void SetChecked(bool value) override { SetState(value ? cbChecked : cbUnchecked); }
  bool AllowGrayed() const { return allowGrayed_; }
  void SetAllowGrayed(bool value) { allowGrayed_ = value; }
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment value);

  void Dispatch(TMessage& message) override;

 protected:
  Kind ButtonKind() const override { return Kind::Check; }
  bool GetChecked() const override { return state_ == cbChecked; }
  WPARAM CheckState() const override;
  void SetCheckState(WPARAM state) override;
  void ButtonClicked() override { Toggle(); }
  virtual void Toggle();
  void Paint() override;

 private:
  TCheckBoxState state_ = cbUnchecked;
  bool allowGrayed_ = false;
  TAlignment alignment_ = taRightJustify;
};

// ---- TRadioButton -----------------------------------------------------------------------------
// A round box with a caption. Checking one (a click, BM_CLICK from the form's arrow keys,
// BM_SETCHECK, SetChecked(true)) unchecks the radio buttons among its parent's children; the
// checked one becomes a tab stop and the others stop being one, and each button whose check
// changed gets CM_TABSTOPCHANGED and CM_CHANGED. Checking raises OnClick (unless clicks are
// disabled); unchecking does not. Clicking a checked one changes nothing.
class TRadioButton : public TButtonControl {
 public:
  explicit TRadioButton(TComponent* owner);   // 113 x 17
  const char* ClassName() const override { return "TRadioButton"; }

  void SetChecked(bool value) override;
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment value);

  void Dispatch(TMessage& message) override;

 protected:
  Kind ButtonKind() const override { return Kind::Radio; }
  bool GetChecked() const override { return checked_; }
  void ButtonClicked() override { SetChecked(true); }
  void Paint() override;

 private:
  bool checked_ = false;
  TAlignment alignment_ = taRightJustify;
};

// ---- TSpeedButton -----------------------------------------------------------------------------
enum TButtonState { bsUp, bsDisabled, bsDown, bsExclusive };

// A windowless button with a glyph and a caption. A press and release inside clicks it (the
// pointer leaving while held shows it up again). GroupIndex 0: a plain button, never Down.
// Otherwise a click puts it Down and raises the button of the same group that was down (the
// parent's speed buttons); a click on a Down button raises it only when the group AllowAllUp
// (set on one, the whole group follows); SetDown(false) on the down button of a group that may
// not be all up changes nothing. Down is already changed when OnClick runs. Flat shows
// no edge unless the pointer is over it or it is down. The glyph's bottom-left pixel colour is
// transparent; with NumGlyphs 2 to 4 the glyph holds that many pictures side by side: up,
// disabled, pressed, down (a missing one falls back to up; disabled without its own is
// embossed from the up picture).
class TSpeedButton : public TGraphicControl {
 public:
  explicit TSpeedButton(TComponent* owner);   // 23 x 22
  ~TSpeedButton() override;
  const char* ClassName() const override { return "TSpeedButton"; }

  int GroupIndex() const { return groupIndex_; }
  void SetGroupIndex(int value);
  bool Down() const { return down_; }
  void SetDown(bool value);
  bool AllowAllUp() const { return allowAllUp_; }
  void SetAllowAllUp(bool value);
  bool Flat() const { return flat_; }
  void SetFlat(bool value);
  // The glyph, a copy of the bitmap given (null clears it); the caller keeps its own.
  HBITMAP Glyph() const { return glyph_; }
  void SetGlyph(HBITMAP bitmap);
  // A BMP file as the glyph; false, keeping the glyph, when it does not load.
  bool LoadGlyph(const std::string& fileName);
  int NumGlyphs() const { return numGlyphs_; }
  void SetNumGlyphs(int value);   // 1 to 4; others ignored
  int Spacing() const { return spacing_; }
  void SetSpacing(int value);
  TButtonState State() const { return state_; }

  void Click() override;
  void WndProc(TMessage& message) override;

 protected:
  void Paint() override;
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void MouseMove(TShiftState shift, int x, int y) override;
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;

 private:
  void UpdateExclusive();
  void ButtonPressed(int group, TSpeedButton* sender);
  void DropImages();
  bool BuildImages();
  void DrawGlyph(HDC dc, int x, int y, bool enabled);

  int groupIndex_ = 0;
  bool down_ = false;
  bool allowAllUp_ = false;
  bool flat_ = false;
  int numGlyphs_ = 1;
  int spacing_ = 4;
  TButtonState state_ = bsUp;
  bool dragging_ = false;
  bool mouseInControl_ = false;
  HBITMAP glyph_ = nullptr;
  HIMAGELIST images_ = nullptr;   // the glyph's pictures with their mask, made when first drawn
  int glyphWidth_ = 0;            // of one picture
  int glyphHeight_ = 0;
};

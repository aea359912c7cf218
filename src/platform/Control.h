// The form class library's core objects, in their own names: components that own components,
// controls with bounds, alignment, colour, font and events, windowed controls on the window
// layer's public calls (one registered class per control kind, one shared window procedure),
// controls with a canvas and windowless controls painted into their parent.
// UI thread only, like the windows underneath. Text is GBK.
//
// Properties are read with the name (`Visible()`) and written with `Set` and the name
// (`SetVisible(false)`); events are public members holding a handler, null when none, that
// may be swapped or detached at any time: `grid->OnClick = Handler(this, &TForm1::GridClick)`.
//
// Message path: the shared window procedure finds the object behind the handle and calls its
// virtual `WndProc`. The base `WndProc` routes a windowed control's mouse messages to the
// windowless child under the pointer, then calls `Dispatch`, which turns messages into the
// virtual handlers (`Paint`, `MouseDown`, `KeyDown`, `Click`, `Resize`...) that raise the
// events; what no handler answers goes to `DefaultHandler` (DefWindowProcA, or the procedure a
// subclass wraps). An override of `WndProc` or `Dispatch` that answers a message without
// calling the inherited one keeps every event of that message from running.
//
// Life: a component frees what it owns when freed (`Free`, or its owner being freed); a
// windowed control frees its child controls; a freed control leaves its parent and its owner.
// `Free` destroys the window while the object is still whole, so overrides of `WndProc` still
// see WM_DESTROY; a plain `delete` of a windowed control destroys the window from the base
// destructor, where only the base handling runs. Messages that reach a handle after its object
// is gone get DefWindowProcA. A control freed with `Free` while one of its own messages is
// being handled (from its OnClick, say) leaves its parent and owner at once and is deleted when
// that message returns; one deleted outright there is never touched again by the handling still
// on the stack (events run through a copy of their handler).
//
// Property setters never make a window: they change the window when there is one. Only
// `Handle()` (and inserting a control into a parent that has a window) makes windows.
#pragma once

#include "platform/Canvas.h"
#include "platform/Rect.h"
#include "platform/WinUser.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <vector>

// ---- Exceptions ------------------------------------------------------------------------------
// The library's exceptions carry their text (GBK) in `Message`; `what()` returns the same.
class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : Message(std::move(message)) {}
  const char* what() const noexcept override { return Message.c_str(); }
  std::string Message;
};
class EConvertError : public Exception { using Exception::Exception; };       // text to number
class EListError : public Exception { using Exception::Exception; };          // index out of a list
class EStringListError : public EListError { using EListError::EListError; };
class EInvalidOperation : public Exception { using Exception::Exception; };   // e.g. focusing a hidden control
class EPrinter : public Exception { using Exception::Exception; };
class EOutOfResources : public Exception { using Exception::Exception; };

// ---- Messages of the library ------------------------------------------------------------------
// A message as a control's WndProc sees it; Result is what the window procedure returns.
struct TMessage {
  UINT Msg = 0;
  WPARAM WParam = 0;
  LPARAM LParam = 0;
  LRESULT Result = 0;
  WORD WParamLo() const { return LOWORD(static_cast<DWORD_PTR>(WParam)); }
  WORD WParamHi() const { return HIWORD(static_cast<DWORD_PTR>(WParam)); }
  WORD LParamLo() const { return LOWORD(static_cast<DWORD_PTR>(LParam)); }
  WORD LParamHi() const { return HIWORD(static_cast<DWORD_PTR>(LParam)); }
};

// The library's own notifications, sent to controls with Perform.
constexpr UINT CM_BASE = 0xB000;
constexpr UINT CM_ACTIVATE = 0xB000;          // posted to a form (or cell) being activated
constexpr UINT CM_DEACTIVATE = 0xB001;
constexpr UINT CM_DIALOGKEY = 0xB005;         // to the form: wParam key, lParam key data; Result 1 = used
constexpr UINT CM_DIALOGCHAR = 0xB006;
constexpr UINT CM_FOCUSCHANGED = 0xB007;      // to the form's controls: lParam the newly focused control
constexpr UINT CM_VISIBLECHANGED = 0xB00B;    // wParam the new state
constexpr UINT CM_ENABLEDCHANGED = 0xB00C;
constexpr UINT CM_COLORCHANGED = 0xB00D;
constexpr UINT CM_FONTCHANGED = 0xB00E;
constexpr UINT CM_TEXTCHANGED = 0xB012;
constexpr UINT CM_MOUSEENTER = 0xB013;        // the pointer entered a control (also windowless)
constexpr UINT CM_MOUSELEAVE = 0xB014;
constexpr UINT CM_ENTER = 0xB01A;             // the control became the form's active control
constexpr UINT CM_EXIT = 0xB01B;
constexpr UINT CM_RELEASE = 0xB021;           // posted by TForm::Release
constexpr UINT CM_TABSTOPCHANGED = 0xB028;
constexpr UINT CM_CHANGED = 0xB037;
constexpr UINT CN_BASE = 0xBC00;              // notifications reflected to the control: CN_BASE + WM_xxx
constexpr UINT CN_DRAWITEM = CN_BASE + WM_DRAWITEM;
constexpr UINT CN_COMMAND = CN_BASE + WM_COMMAND;
constexpr UINT CN_HSCROLL = CN_BASE + WM_HSCROLL;
constexpr UINT CN_VSCROLL = CN_BASE + WM_VSCROLL;
constexpr UINT CN_NOTIFY = CN_BASE + WM_NOTIFY;   // from NMHDR::hwndFrom

// ---- Events ----------------------------------------------------------------------------------
class TObject {
 public:
  virtual ~TObject() = default;
};

enum TShiftStateBit { ssShift = 0, ssAlt = 1, ssCtrl = 2, ssLeft = 3, ssRight = 4, ssMiddle = 5, ssDouble = 6 };
class TShiftState {
 public:
  constexpr TShiftState() = default;
  constexpr TShiftState(std::initializer_list<TShiftStateBit> bits) {
    for (auto b : bits) bits_ |= static_cast<std::uint8_t>(1u << b);
  }
  constexpr bool Contains(TShiftStateBit b) const { return (bits_ >> b) & 1u; }
  constexpr TShiftState& operator<<(TShiftStateBit b) { bits_ |= static_cast<std::uint8_t>(1u << b); return *this; }
  constexpr TShiftState& operator>>(TShiftStateBit b) { bits_ &= static_cast<std::uint8_t>(~(1u << b)); return *this; }
  constexpr bool Empty() const { return bits_ == 0; }
  constexpr std::uint8_t Bits() const { return bits_; }
  constexpr bool operator==(const TShiftState&) const = default;

 private:
  std::uint8_t bits_ = 0;
};
// From the MK_ flags of a mouse message (Alt from the key state).
TShiftState KeysToShiftState(WPARAM keys);
// From the key state as the current key message left it (Shift, Alt, Ctrl).
TShiftState KeyboardShiftState();

enum TMouseButton { mbLeft, mbRight, mbMiddle };

using TNotifyEvent = std::function<void(TObject* Sender)>;
using TMouseEvent = std::function<void(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;
using TMouseMoveEvent = std::function<void(TObject* Sender, TShiftState Shift, int X, int Y)>;
using TKeyEvent = std::function<void(TObject* Sender, WORD& Key, TShiftState Shift)>;   // Key 0 = consumed
using TKeyPressEvent = std::function<void(TObject* Sender, char& Key)>;                 // Key 0 = consumed

// A handler bound to an object's method: Handler(this, &TForm1::Button1Click).
template <class Object, class Result, class... Args>
std::function<Result(Args...)> Handler(Object* object, Result (Object::*method)(Args...)) {
  return [object, method](Args... args) -> Result { return (object->*method)(std::forward<Args>(args)...); };
}

// ---- Components ------------------------------------------------------------------------------
class TComponent : public TObject {
 public:
  explicit TComponent(TComponent* owner);
  ~TComponent() override;   // frees the owned components (last first), leaves the owner
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  // Runs BeforeDestruction, then deletes. Null does nothing.
  static void Free(TComponent* component);
  // Called once by Free (and by an owner freeing what it owns) while the object is whole.
  virtual void BeforeDestruction();

  const std::string& Name() const { return name_; }
  void SetName(const std::string& name) { name_ = name; }
  int Tag() const { return tag_; }
  void SetTag(int tag) { tag_ = tag; }
  TComponent* Owner() const { return owner_; }
  int ComponentCount() const { return static_cast<int>(components_.size()); }
  TComponent* Components(int index) const;   // EListError outside 0..ComponentCount-1
  // The owned component of that name (ASCII case ignored), or null.
  TComponent* FindComponent(const std::string& name) const;
  void InsertComponent(TComponent* component);   // takes ownership (leaves its old owner)
  void RemoveComponent(TComponent* component);   // gives it up without freeing it
  // True from the start of BeforeDestruction / the destructor.
  bool Destroying() const { return destroying_; }
  // Asks that `component`'s Notification(this, false) be called when this component is freed
  // (and this one's when `component` is freed): how a control forgets one it points at.
  void FreeNotification(TComponent* component);
  void RemoveFreeNotification(TComponent* component);

 protected:
  // Told when a component is inserted into or removed (also freed) from this owner, and when a
  // component this one asked FreeNotification of is freed.
  virtual void Notification(TComponent* component, bool inserted) {}
  bool destroying_ = false;

 private:
  friend class TControl;
  friend class TWinControl;
  friend struct ComponentBusy;
  std::string name_;
  int tag_ = 0;
  TComponent* owner_ = nullptr;
  std::vector<TComponent*> components_;
  std::vector<TComponent*> freeNotifies_;   // told of each other's freeing
  int busy_ = 0;                  // messages of this object being handled (nested)
  bool freeCalled_ = false;       // Free ran (or the owner freed it)
  bool freePending_ = false;      // freed while busy: deleted when the last message returns
};

class TWinControl;
class TPopupMenu;

// The class library's order.
enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };

// Cursor numbers: 0 the default of the control's window, negative the system's shapes.
using TCursor = short;
constexpr TCursor crDefault = 0, crNone = -1, crArrow = -2, crCross = -3, crIBeam = -4, crSizeNESW = -6,
                  crSizeNS = -7, crSizeNWSE = -8, crSizeWE = -9, crUpArrow = -10, crHourGlass = -11,
                  crDrag = -12, crNoDrop = -13, crHSplit = -14, crVSplit = -15, crMultiDrag = -16,
                  crSQLWait = -17, crNo = -18, crAppStart = -19, crHelp = -20, crHandPoint = -21,
                  crSizeAll = -22;

// Shows a control's popup menu at a screen point; installed by the menu unit. Returns whether a
// menu was shown.
using PopupMenuPresenter = bool (*)(TPopupMenu* menu, int screenX, int screenY);
void SetPopupMenuPresenter(PopupMenuPresenter presenter);

class TControl : public TComponent {
 public:
  explicit TControl(TComponent* owner);
  ~TControl() override;   // leaves the parent

  // The class name used for window classes and modal scripts ("TPanel").
  virtual const char* ClassName() const { return "TControl"; }

  TWinControl* Parent() const { return parent_; }
  virtual void SetParent(TWinControl* parent);   // null takes it out of its parent

  int Left() const { return left_; }
  int Top() const { return top_; }
  virtual int Width() const { return width_; }
  virtual int Height() const { return height_; }
  void SetLeft(int v) { SetBounds(v, top_, Width(), Height()); }
  void SetTop(int v) { SetBounds(left_, v, Width(), Height()); }
  void SetWidth(int v) { SetBounds(left_, top_, v, Height()); }
  void SetHeight(int v) { SetBounds(left_, top_, Width(), v); }
  // Moves and sizes (negative sizes become 0); a change re-aligns the parent and this
  // control's children and raises Resize when the size changed.
  virtual void SetBounds(int left, int top, int width, int height);
  TRect BoundsRect() const { return TRect(left_, top_, left_ + Width(), top_ + Height()); }
  void SetBoundsRect(const TRect& r) { SetBounds(r.left, r.top, r.Width(), r.Height()); }
  // The client area: the whole control unless a subclass keeps a frame (forms).
  virtual int ClientWidth() const { return width_; }
  virtual int ClientHeight() const { return height_; }
  virtual void SetClientWidth(int v) { SetWidth(v); }
  virtual void SetClientHeight(int v) { SetHeight(v); }
  TRect ClientRect() const { return TRect(0, 0, ClientWidth(), ClientHeight()); }
  // Screen position of the client area's origin.
  virtual TPoint ClientOrigin() const;
  TPoint ClientToScreen(const TPoint& point) const;
  TPoint ScreenToClient(const TPoint& point) const;

  TAlign Align() const { return align_; }
  void SetAlign(TAlign align);

  bool Visible() const { return visible_; }
  virtual void SetVisible(bool visible);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  // Visible with every parent visible (and the top parent's window shown).
  bool Showing() const;
  // The control's own flag; disabled parents disable their children's windows too.
  virtual bool Enabled() const { return enabled_; }
  virtual void SetEnabled(bool enabled);   // sends CM_ENABLEDCHANGED

  TColor Color() const { return color_; }
  void SetColor(TColor color);   // clears ParentColor; CM_COLORCHANGED, repaint
  bool ParentColor() const { return parentColor_; }
  void SetParentColor(bool value);
  // The control's font; changing it clears ParentFont. With ParentFont the control follows
  // its parent's font.
  TFont* Font() { return &font_; }
  bool ParentFont() const { return parentFont_; }
  void SetParentFont(bool value);

  // Caption and Text are one text: a windowed control's window text.
  virtual std::string Caption() const;
  virtual void SetCaption(const std::string& text);   // CM_TEXTCHANGED, repaint
  std::string Text() const { return Caption(); }
  void SetText(const std::string& text) { SetCaption(text); }
  const std::string& Hint() const { return hint_; }
  void SetHint(const std::string& hint) { hint_ = hint; }
  bool ShowHint() const { return showHint_; }
  void SetShowHint(bool value) { showHint_ = value; }
  TCursor Cursor() const { return cursor_; }
  void SetCursor(TCursor cursor);
  TPopupMenu* PopupMenu() const { return popupMenu_; }
  void SetPopupMenu(TPopupMenu* menu);
  // Raised by a right click (at its release, in client coordinates) before the popup menu
  // shows; Handled set stops the menu.
  std::function<void(TObject* Sender, TPoint MousePos, bool& Handled)> OnContextPopup;

  // Painting: Invalidate marks the control (a windowless one: its rectangle in the parent)
  // for repainting, Update paints what is invalid now, Repaint and Refresh do both.
  virtual void Invalidate();
  virtual void Update();
  virtual void Repaint();
  void Refresh() { Repaint(); }

  // Calls WndProc directly with the message and returns its result.
  LRESULT Perform(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
  // Z-order among the parent's controls (windowless ones stay below windowed ones).
  void BringToFront();
  void SendToBack();

  TNotifyEvent OnClick;
  TNotifyEvent OnDblClick;
  TMouseEvent OnMouseDown;
  TMouseMoveEvent OnMouseMove;
  TMouseEvent OnMouseUp;
  TNotifyEvent OnResize;

  virtual void WndProc(TMessage& message);
  // Turns messages into the virtual handlers; the rest goes to DefaultHandler.
  virtual void Dispatch(TMessage& message);
  // Default processing: a windowless control's result is 0.
  virtual void DefaultHandler(TMessage& message);

  // The control under a point of the parent's client area is found by the parent; a
  // windowless control with a false answer lets the point through (transparent parts).
  virtual bool HitTest(int x, int y) const { return true; }
  bool MouseCaptured() const { return mouseCaptured_; }

 protected:
  // Forgets a popup menu that is freed.
  void Notification(TComponent* component, bool inserted) override;
  virtual void Click();      // OnClick
  virtual void DblClick();   // OnDblClick
  virtual void MouseDown(TMouseButton button, TShiftState shift, int x, int y);
  virtual void MouseMove(TShiftState shift, int x, int y);
  virtual void MouseUp(TMouseButton button, TShiftState shift, int x, int y);
  virtual void Resize();     // OnResize
  // The colour and font inherited from a new parent or a parent's change.
  virtual void ParentChanged();
  // Mouse handling shared by windowed and windowless controls: raises the events, the click
  // after a press and release inside, the double bit, the popup menu on a right release.
  void MouseMessage(TMessage& message);
  void MoveInZOrder(bool toFront);
  // Drawing surface of a windowless control's paint (set by the parent while painting).
  virtual void SetParentPaintDc(HDC dc) {}

  TWinControl* parent_ = nullptr;
  int left_ = 0;
  int top_ = 0;
  int width_ = 0;
  int height_ = 0;
  TAlign align_ = alNone;
  bool visible_ = true;
  bool enabled_ = true;
  TColor color_ = clBtnFace;
  bool parentColor_ = false;
  TFont font_;
  bool parentFont_ = true;
  std::string caption_;
  std::string hint_;
  bool showHint_ = false;
  TCursor cursor_ = crDefault;
  TPopupMenu* popupMenu_ = nullptr;
  bool mouseCaptured_ = false;   // pressed inside: a release inside is a click
  bool mouseInside_ = false;
  // The size last asked for outside alignment: what an aligned control gets back when its
  // parent has room again.
  int explicitWidth_ = 0;
  int explicitHeight_ = 0;
  bool adoptingFont_ = false;   // the font is being set from the parent's: ParentFont stays

  friend class TComponent;
  friend class TWinControl;
  friend class TForm;

 private:
  void InvalidateInParent(const TRect& rect);
  HWND MouseWindow() const;   // the window that carries this control's mouse capture
};

// What CreateWnd passes to CreateWindowExA; a subclass changes styles in CreateParams.
struct TCreateParams {
  std::string Caption;
  DWORD Style = 0;
  DWORD ExStyle = 0;
  int X = 0;
  int Y = 0;
  int Width = 0;
  int Height = 0;
  HWND WndParent = nullptr;
  std::string WinClassName;   // registered once per name with CS_DBLCLKS and the shared procedure
  UINT ClassStyle = CS_DBLCLKS;
};

class TWinControl : public TControl {
 public:
  explicit TWinControl(TComponent* owner);
  ~TWinControl() override;   // destroys the window, frees the child controls
  void BeforeDestruction() override;
  const char* ClassName() const override { return "TWinControl"; }

  // The window, made on first use (with the parent's window first); a control without a
  // parent window is made top-level. Null only when creation failed.
  HWND Handle();
  bool HandleAllocated() const { return handle_ != nullptr; }
  void HandleNeeded() { Handle(); }
  // Destroys and re-makes the window (after a style change), keeping text and bounds.
  void RecreateWnd();

  int ControlCount() const { return static_cast<int>(controls_.size()); }
  TControl* Controls(int index) const;   // z-order, bottom first; EListError outside
  bool ContainsControl(const TControl* control) const;   // a descendant
  // The visible, enabled (unless allowed) child under a client point, topmost first; null when none.
  TControl* ControlAtPos(const TPoint& point, bool allowDisabled = false) const;

  // Tab order among the parent's windowed controls, 0-based; setting moves the others.
  int TabOrder() const;
  void SetTabOrder(int order);
  bool TabStop() const { return tabStop_; }
  void SetTabStop(bool value);   // CM_TABSTOPCHANGED
  // Visible, enabled, with visible and enabled parents.
  virtual bool CanFocus() const;
  bool Focused() const;
  // Gives the control the keyboard focus; nothing when it cannot take it (hidden, disabled).
  virtual void SetFocus();
  // The windowed descendants in tab order, depth first (a container's children after it).
  void GetTabOrderList(std::vector<TWinControl*>& list) const;
  // The next (or previous) control after `current` in this control's tab order list, wrapping;
  // with checkTabStop only TabStop controls, always only ones that CanFocus. Null when none.
  TWinControl* FindNextControl(TWinControl* current, bool forward, bool checkTabStop) const;
  void SelectNext(TWinControl* current, bool forward, bool checkTabStop);

  // Keys (WM_KEYDOWN, WM_SYSKEYDOWN, WM_KEYUP, WM_SYSKEYUP, WM_CHAR) in this order, each step
  // stopping everything after it by clearing the key (wParam 0 on arrival stops all):
  // 1. the form's preview when it has KeyPreview (PreviewKeyDown/Up/Press);
  // 2. on WM_KEYDOWN of Tab, Enter, Esc or an arrow that the control does not claim through
  //    Perform(WM_GETDLGCODE) (DLGC_WANTTAB, DLGC_WANTARROWS, DLGC_WANTALLKEYS), CM_DIALOGKEY to
  //    the form (or the top control); a non-zero answer uses the key, and its WM_CHAR is dropped;
  // 3. KeyDown / KeyUp / KeyPress (the events); 4. DefaultHandler.
  TNotifyEvent OnEnter;
  TNotifyEvent OnExit;
  TKeyEvent OnKeyDown;
  TKeyEvent OnKeyUp;
  TKeyPressEvent OnKeyPress;

  void SetBounds(int left, int top, int width, int height) override;
  // The window's client area (inside its edges); the bounds before the window is made.
  int ClientWidth() const override;
  int ClientHeight() const override;
  void SetVisible(bool visible) override;
  void SetEnabled(bool enabled) override;
  std::string Caption() const override;
  void SetCaption(const std::string& text) override;
  void Invalidate() override;
  void Update() override;
  void Repaint() override;
  TPoint ClientOrigin() const override;
  void WndProc(TMessage& message) override;
  void Dispatch(TMessage& message) override;
  // CallWindowProcA of DefWndProc: DefWindowProcA unless a subclass wraps another procedure.
  // WM_COMMAND, WM_HSCROLL, WM_VSCROLL, WM_DRAWITEM and WM_CTLCOLOR... from a child control of
  // this library are reflected to it as CN_BASE + the message, and its answer returned.
  void DefaultHandler(TMessage& message) override;

  // Lays the aligned children out in the client area (after AdjustClientRect): top, bottom,
  // left, right, client, each kind in z-order; no room gives empty rectangles.
  virtual void AlignControls(TControl* control, TRect& rect);
  void Realign();
  virtual void AdjustClientRect(TRect& rect) {}

  // The object bound to a window made by this library, or null.
  static TWinControl* FromHandle(HWND window);

 protected:
  virtual void CreateParams(TCreateParams& params);
  // Makes the window (CreateParams, class registration, CreateWindowExA with the object as
  // the creation parameter), then the children's windows.
  virtual void CreateWnd();
  virtual void DestroyWnd();
  // The window's default procedure, called by DefaultHandler.
  WNDPROC DefWndProc = DefWindowProcA;
  // Makes the control a superclass of a registered window class ("EDIT"...): its procedure
  // becomes DefWndProc (unchanged when there is no such class).
  void InheritWindowClass(const char* className);

  virtual void KeyDown(WORD& key, TShiftState shift);   // OnKeyDown
  virtual void KeyUp(WORD& key, TShiftState shift);     // OnKeyUp
  virtual void KeyPress(char& key);                      // OnKeyPress
  virtual void DoEnter();                                // OnEnter
  virtual void DoExit();                                 // OnExit
  // Paints the windowless children over the window's own painting, bottom first.
  void PaintControls(HDC dc);
  // Called after a child is inserted or removed.
  virtual void ControlsChanged() {}

  HWND handle_ = nullptr;
  std::vector<TControl*> controls_;   // z-order, bottom first
  std::vector<TWinControl*> tabList_; // tab order
  bool tabStop_ = false;
  int alignLevel_ = 0;

 private:
  friend class TComponent;
  friend class TControl;
  friend class TForm;
  friend LRESULT ControlWindowProc(HWND, UINT, WPARAM, LPARAM);
  void InsertControl(TControl* control);
  void RemoveControl(TControl* control);
  void HandleKey(TMessage& message);
  bool RouteMouseToChild(TMessage& message);
  void SetMouseControl(TControl* control);
  void SetCursorMessage(TMessage& message);
  void PaintMessage(TMessage& message);
  void SizeChanged(int width, int height);
  void FollowWindow(bool size = true);   // the fields from the window rectangle
  void ApplyFontAndColorToChildren();
  // Still one of this control's children (a child met in a copy of the list may have left, or
  // been freed, while the list was walked).
  bool Holds(const TControl* control) const {
    return std::find(controls_.begin(), controls_.end(), control) != controls_.end();
  }
  TControl* mouseControl_ = nullptr;     // the windowless child that has the pointer
  TControl* captureControl_ = nullptr;   // the windowless child pressed: gets the mouse until release
  bool inButtonUp_ = false;   // the window's class is handling a left-button release
  TControl* aligningControl_ = nullptr;  // the child being placed by AlignControls
  char droppedChar_ = 0;                 // the character of a dialog key just used, not to be typed
};

// The context a WM_PAINT paints with: the one given in wParam (a parent painting a control
// into its own context), else BeginPaint's until the scope ends with EndPaint. Dc() is null
// when the window is gone.
class TPaintScope {
 public:
  TPaintScope(HWND window, const TMessage& message);
  ~TPaintScope();
  TPaintScope(const TPaintScope&) = delete;
  TPaintScope& operator=(const TPaintScope&) = delete;
  HDC Dc() const { return dc_; }

 private:
  HWND began_ = nullptr;   // the window BeginPaint was called for
  PAINTSTRUCT paint_{};
  HDC dc_ = nullptr;
};

// The canvas of a windowed control: outside painting it draws through a context of the
// control's window (GetDC, made on first use: measuring text, XOR feedback), given back with
// FreeHandle, when painting starts and when the window goes. Taking a context gives the canvas
// the control's font.
class TControlCanvas : public TCanvas {
 public:
  explicit TControlCanvas(TWinControl* control) : control_(control) {}
  ~TControlCanvas() override { FreeHandle(); }
  void FreeHandle();

 protected:
  void CreateHandle() override;

 private:
  TWinControl* control_;
  HWND ownWindow_ = nullptr;
  HDC own_ = nullptr;
};

// A windowed control with a canvas on its window and a virtual Paint. The canvas paints with
// the control's font.
class TCustomControl : public TWinControl {
 public:
  explicit TCustomControl(TComponent* owner);
  ~TCustomControl() override;
  const char* ClassName() const override { return "TCustomControl"; }
  TCanvas* Canvas() { return &canvas_; }
  void Dispatch(TMessage& message) override;   // WM_PAINT: Paint on the paint context, then the windowless children

 protected:
  void DestroyWnd() override;
  virtual void Paint() {}
  TControlCanvas canvas_{this};
};

// A control without a window: painted into its parent's image after the parent, in z-order,
// and given its mouse messages by the parent in its own coordinates. The canvas paints with
// the control's font.
class TGraphicControl : public TControl {
 public:
  explicit TGraphicControl(TComponent* owner);
  ~TGraphicControl() override;
  const char* ClassName() const override { return "TGraphicControl"; }
  TCanvas* Canvas() { return &canvas_; }
  void Dispatch(TMessage& message) override;   // WM_PAINT (wParam the parent's context): Paint

 protected:
  virtual void Paint() {}
  TCanvas canvas_;
};

// True when `caption` marks `key` as its accelerator ("&N" for N or n; "&&" marks nothing).
bool IsAccel(WORD key, const std::string& caption);

// Offers an accelerator character to every control inside `container` (windowless ones too,
// children before their own children, bottom of the z-order first) as CM_DIALOGCHAR until one
// answers non-zero. True when one took it. Alt+letter (WM_SYSCHAR) on a control is offered to its form (or top control) this way; a label whose
// caption marks the letter focuses its FocusControl.
bool BroadcastDialogChar(TWinControl* container, WORD key);

// The form (or top windowed control) a control sits in; null when none.
class TForm;
TForm* GetParentForm(TControl* control);

// The one window procedure of every class the library registers: finds the object bound to the
// window and calls its WndProc (DefWindowProcA when there is none). An exception leaving a
// handler goes to Application->HandleException, never into the window layer.
LRESULT ControlWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Components, controls and the shared window procedure of the form class library.
#include "platform/Control.h"

#include "platform/Menu.h"

#include "platform/Form.h"

#include <algorithm>
#include <set>
#include <string>
#include <unordered_map>

// ---- Shift state and the popup hook -------------------------------------------------------

TShiftState KeysToShiftState(WPARAM keys) {
  TShiftState shift;
  if (keys & MK_SHIFT) shift << ssShift;
  if (GetKeyState(VK_MENU) < 0) shift << ssAlt;
  if (keys & MK_CONTROL) shift << ssCtrl;
  if (keys & MK_LBUTTON) shift << ssLeft;
  if (keys & MK_RBUTTON) shift << ssRight;
  if (keys & MK_MBUTTON) shift << ssMiddle;
  return shift;
}

TShiftState KeyboardShiftState() {
  TShiftState shift;
  if (GetKeyState(VK_SHIFT) < 0) shift << ssShift;
  if (GetKeyState(VK_MENU) < 0) shift << ssAlt;
  if (GetKeyState(VK_CONTROL) < 0) shift << ssCtrl;
  return shift;
}

namespace {

PopupMenuPresenter& Presenter() {
  static PopupMenuPresenter presenter = nullptr;
  return presenter;
}

// The windows of this library by handle. UI thread only, like the windows.
std::unordered_map<HWND, TWinControl*>& HandleMap() {
  static std::unordered_map<HWND, TWinControl*> map;
  return map;
}

// Raises an event through a copy of its handler: a handler that deletes its own control (and so
// the member holding it) still runs to its end.
template <class Event, class... Args>
void Raise(const Event& event, Args&&... args) {
  if (!event) return;
  Event handler = event;
  handler(std::forward<Args>(args)...);
}

bool IsMouseMessage(UINT message) {
  return message >= WM_MOUSEMOVE && message <= WM_MBUTTONDBLCLK;
}

constexpr WPARAM kButtonKeys = MK_LBUTTON | MK_RBUTTON | MK_MBUTTON;

LPARAM PackPoint(int x, int y) {
  return MAKELPARAM(static_cast<WORD>(static_cast<short>(x)), static_cast<WORD>(static_cast<short>(y)));
}

bool AsciiEqualNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

TWinControl* TopControl(TControl* control) {
  TWinControl* top = dynamic_cast<TWinControl*>(control);
  for (TWinControl* p = control->Parent(); p != nullptr; p = p->Parent()) top = p;
  return top;
}

}  // namespace

void SetPopupMenuPresenter(PopupMenuPresenter presenter) { Presenter() = presenter; }

// Marks a component busy while one of its messages (or a call that raises events) is handled;
// when the last one returns, a component freed meanwhile is deleted. The guards open now form a
// stack: a component deleted outright (a plain `delete` from its own handler) marks its guards,
// so nothing on the stack touches it again, even if a new component takes its address.
struct ComponentBusy {
  explicit ComponentBusy(TComponent* c) : component(c) {
    ++component->busy_;
    Open().push_back(this);
  }
  ~ComponentBusy() {
    Open().pop_back();
    if (deleted) return;
    if (--component->busy_ == 0 && component->freePending_) {
      component->freePending_ = false;   // its destructor's own messages must not delete it again
      delete component;
    }
  }
  ComponentBusy(const ComponentBusy&) = delete;
  ComponentBusy& operator=(const ComponentBusy&) = delete;

  static std::vector<ComponentBusy*>& Open() {
    static std::vector<ComponentBusy*> open;
    return open;
  }
  // Called by a component's destructor: the guards of its messages still open forget it.
  static void Deleted(const TComponent* c) {
    for (ComponentBusy* g : Open()) {
      if (g->component == c) g->deleted = true;
    }
  }
  // True when the component was freed (or deleted) by a handler of the message being handled.
  // Reads nothing of a deleted component: its newest open guard knows.
  static bool Gone(const TComponent* c) {
    auto& open = Open();
    for (auto it = open.rbegin(); it != open.rend(); ++it) {
      if ((*it)->component == c) return (*it)->deleted || c->destroying_;
    }
    return c->destroying_;
  }

  TComponent* component;
  bool deleted = false;
};

namespace {
bool Gone(const TComponent* c) { return ComponentBusy::Gone(c); }
}  // namespace

// ---- The shared window procedure ------------------------------------------------------------

namespace {
// The control whose CreateWindowExA is running (UI thread only, like every control).
TWinControl*& CreatingControl() {
  static TWinControl* creating = nullptr;
  return creating;
}
}  // namespace

LRESULT ControlWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto& map = HandleMap();
  TWinControl* control = nullptr;
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
    control = create != nullptr ? static_cast<TWinControl*>(create->lpCreateParams) : nullptr;
    if (control != nullptr) {
      map[window] = control;
      control->handle_ = window;
    }
    CreatingControl() = nullptr;
  } else if (auto it = map.find(window); it != map.end()) {
    control = it->second;
  } else if (CreatingControl() != nullptr) {
    // A top-level window is asked for its size bounds before WM_NCCREATE: the control being
    // made answers, so a form's handler bounds its first size too.
    control = CreatingControl();
    CreatingControl() = nullptr;
    map[window] = control;
    control->handle_ = window;
  }
  if (control == nullptr) return DefWindowProcA(window, message, wParam, lParam);

  TMessage m{message, wParam, lParam, 0};
  {
    ComponentBusy busy(control);
    try {
      control->WndProc(m);
    } catch (const std::exception& e) {
      Application->HandleException(Gone(control) ? nullptr : control, e);
    } catch (...) {
      Application->HandleException(Gone(control) ? nullptr : control, Exception("Unknown exception"));
    }
  }
  if (message == WM_NCDESTROY) {
    // The object may be gone (freed from its own message); the map knows whether it is not.
    if (auto it = map.find(window); it != map.end()) {
      if (it->second->handle_ == window) it->second->handle_ = nullptr;
      map.erase(it);
    }
  }
  return m.Result;
}

// ---- Accelerators ----------------------------------------------------------------------------

bool IsAccel(WORD key, const std::string& caption) {
  auto upper = [](unsigned c) { return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c; };
  for (std::size_t i = 0; i < caption.size(); ++i) {
    const auto c = static_cast<unsigned char>(caption[i]);
    if (c >= 0x81 && i + 1 < caption.size()) {   // a double-byte character: its second byte is no '&'
      ++i;
      continue;
    }
    if (c != '&' || i + 1 >= caption.size()) continue;
    const auto next = static_cast<unsigned char>(caption[i + 1]);
    if (next == '&') {   // "&&" is a plain "&"
      ++i;
      continue;
    }
    return next < 0x80 && upper(next) == upper(key);
  }
  return false;
}

bool BroadcastDialogChar(TWinControl* container, WORD key) {
  if (container == nullptr) return false;
  auto Holds = [](const TWinControl* parent, const TControl* control) {
    for (int i = 0; i < parent->ControlCount(); ++i) {
      if (parent->Controls(i) == control) return true;
    }
    return false;
  };
  std::vector<TControl*> children;
  for (int i = 0; i < container->ControlCount(); ++i) children.push_back(container->Controls(i));
  for (TControl* c : children) {
    if (!Holds(container, c)) continue;   // left (or freed) while an earlier one answered
    if (c->Perform(CM_DIALOGCHAR, key, 0) != 0) return true;
    if (!Holds(container, c)) continue;
    if (auto* w = dynamic_cast<TWinControl*>(c); w != nullptr && BroadcastDialogChar(w, key)) return true;
  }
  return false;
}

// ---- TComponent ---------------------------------------------------------------------------

TComponent::TComponent(TComponent* owner) {
  if (owner != nullptr) owner->InsertComponent(this);
}

TComponent::~TComponent() {
  destroying_ = true;
  // Last made, first freed.
  while (!components_.empty()) {
    TComponent* c = components_.back();
    components_.pop_back();
    c->owner_ = nullptr;
    Notification(c, false);
    Free(c);
  }
  if (owner_ != nullptr) owner_->RemoveComponent(this);
  // Whoever asked to be told forgets this component now.
  std::vector<TComponent*> told;
  told.swap(freeNotifies_);
  for (TComponent* c : told) {
    c->freeNotifies_.erase(std::remove(c->freeNotifies_.begin(), c->freeNotifies_.end(), this), c->freeNotifies_.end());
    c->Notification(this, false);
  }
  if (busy_ > 0) ComponentBusy::Deleted(this);
}

void TControl::SetPopupMenu(TPopupMenu* menu) {
  if (popupMenu_ == menu) return;
  if (popupMenu_ != nullptr) RemoveFreeNotification(popupMenu_);
  popupMenu_ = menu;
  if (menu != nullptr) FreeNotification(menu);
}

void TControl::Notification(TComponent* component, bool inserted) {
  TComponent::Notification(component, inserted);
  if (!inserted && component == popupMenu_) popupMenu_ = nullptr;
}

void TComponent::FreeNotification(TComponent* component) {
  if (component == nullptr || component == this) return;
  auto add = [](std::vector<TComponent*>& list, TComponent* c) {
    if (std::find(list.begin(), list.end(), c) == list.end()) list.push_back(c);
  };
  add(freeNotifies_, component);
  add(component->freeNotifies_, this);
}

void TComponent::RemoveFreeNotification(TComponent* component) {
  if (component == nullptr) return;
  freeNotifies_.erase(std::remove(freeNotifies_.begin(), freeNotifies_.end(), component), freeNotifies_.end());
  component->freeNotifies_.erase(std::remove(component->freeNotifies_.begin(), component->freeNotifies_.end(), this),
                                 component->freeNotifies_.end());
}

void TComponent::Free(TComponent* component) {
  if (component == nullptr || component->freeCalled_) return;
  component->freeCalled_ = true;
  component->BeforeDestruction();
  if (component->busy_ > 0) {
    // Its own message is still being handled: it leaves its owner and parent now and is
    // deleted when that message returns.
    component->freePending_ = true;
    if (component->owner_ != nullptr) component->owner_->RemoveComponent(component);
    if (auto* control = dynamic_cast<TControl*>(component); control != nullptr && control->parent_ != nullptr) {
      control->parent_->RemoveControl(control);
    }
    return;
  }
  delete component;
}

void TComponent::BeforeDestruction() { destroying_ = true; }

TComponent* TComponent::Components(int index) const {
  if (index < 0 || index >= ComponentCount()) {
    throw EListError("List index out of bounds (" + std::to_string(index) + ")");
  }
  return components_[static_cast<std::size_t>(index)];
}

TComponent* TComponent::FindComponent(const std::string& name) const {
  if (name.empty()) return nullptr;
  for (TComponent* c : components_) {
    if (AsciiEqualNoCase(c->name_, name)) return c;
  }
  return nullptr;
}

void TComponent::InsertComponent(TComponent* component) {
  if (component == nullptr || component == this || component->owner_ == this) return;
  if (component->owner_ != nullptr) component->owner_->RemoveComponent(component);
  components_.push_back(component);
  component->owner_ = this;
  Notification(component, true);
}

void TComponent::RemoveComponent(TComponent* component) {
  auto it = std::find(components_.begin(), components_.end(), component);
  if (it == components_.end()) return;
  components_.erase(it);
  component->owner_ = nullptr;
  Notification(component, false);
}

// ---- TControl -----------------------------------------------------------------------------

TControl::TControl(TComponent* owner) : TComponent(owner) {
  font_.OnChange = [this] {
    if (!adoptingFont_) parentFont_ = false;
    Perform(CM_FONTCHANGED);
    if (auto* w = dynamic_cast<TWinControl*>(this)) w->ApplyFontAndColorToChildren();
    Invalidate();
  };
}

TControl::~TControl() {
  destroying_ = true;
  font_.OnChange = nullptr;
  if (parent_ != nullptr) parent_->RemoveControl(this);
}

void TControl::SetParent(TWinControl* parent) {
  if (parent == parent_) return;
  if (parent == this) throw EInvalidOperation("A control cannot be its own parent");
  if (auto* self = dynamic_cast<TWinControl*>(this); self != nullptr && parent != nullptr && self->ContainsControl(parent)) {
    throw EInvalidOperation("A control cannot be placed inside its own child");
  }
  if (parent_ != nullptr) parent_->RemoveControl(this);
  if (parent != nullptr) parent->InsertControl(this);
}

void TControl::InvalidateInParent(const TRect& rect) {
  if (parent_ == nullptr || parent_->handle_ == nullptr) return;
  InvalidateRect(parent_->handle_, &rect, TRUE);
}

void TControl::SetBounds(int left, int top, int width, int height) {
  ComponentBusy busy(this);   // a handler freeing the control is deferred past this call
  width = std::max(0, width);
  height = std::max(0, height);
  const bool aligning = parent_ != nullptr && parent_->aligningControl_ == this;
  if (!aligning) {
    explicitWidth_ = width;
    explicitHeight_ = height;
  }
  if (left == left_ && top == top_ && width == width_ && height == height_) return;
  const bool resized = width != width_ || height != height_;
  if (visible_) InvalidateInParent(BoundsRect());
  left_ = left;
  top_ = top;
  width_ = width;
  height_ = height;
  if (visible_) InvalidateInParent(BoundsRect());
  if (!aligning && parent_ != nullptr && align_ != alNone) parent_->Realign();
  if (resized && !Gone(this)) Resize();
}

TPoint TControl::ClientOrigin() const {
  if (parent_ == nullptr) return TPoint(left_, top_);
  TPoint origin = parent_->ClientOrigin();
  return TPoint(origin.x + left_, origin.y + top_);
}

TPoint TControl::ClientToScreen(const TPoint& point) const {
  TPoint origin = ClientOrigin();
  return TPoint(point.x + origin.x, point.y + origin.y);
}

TPoint TControl::ScreenToClient(const TPoint& point) const {
  TPoint origin = ClientOrigin();
  return TPoint(point.x - origin.x, point.y - origin.y);
}

void TControl::SetAlign(TAlign align) {
  if (align == align_) return;
  TAlign old = align_;
  align_ = align;
  if (old == alNone) {
    explicitWidth_ = width_;
    explicitHeight_ = height_;
  }
  if (parent_ != nullptr) parent_->Realign();
}

void TControl::SetVisible(bool visible) {
  if (visible == visible_) return;
  ComponentBusy busy(this);   // a handler freeing the control is deferred past this call
  visible_ = visible;
  InvalidateInParent(BoundsRect());
  Perform(CM_VISIBLECHANGED, visible ? 1 : 0);
  if (!Gone(this) && parent_ != nullptr && align_ != alNone) parent_->Realign();
}

bool TControl::Showing() const {
  if (!visible_) return false;
  if (parent_ != nullptr) return parent_->Showing();
  auto* self = dynamic_cast<const TWinControl*>(this);
  return self != nullptr && self->handle_ != nullptr && IsWindowVisible(self->handle_);
}

void TControl::SetEnabled(bool enabled) {
  if (enabled == enabled_) return;
  ComponentBusy busy(this);
  enabled_ = enabled;
  Perform(CM_ENABLEDCHANGED);
  if (!Gone(this)) Invalidate();
}

void TControl::SetColor(TColor color) {
  parentColor_ = false;
  if (color == color_) return;
  ComponentBusy busy(this);
  color_ = color;
  Perform(CM_COLORCHANGED);
  if (Gone(this)) return;
  if (auto* w = dynamic_cast<TWinControl*>(this)) w->ApplyFontAndColorToChildren();
  if (!Gone(this)) Invalidate();
}

void TControl::SetParentColor(bool value) {
  parentColor_ = value;
  if (value) ParentChanged();
}

void TControl::SetParentFont(bool value) {
  parentFont_ = value;
  if (value) ParentChanged();
}

void TControl::ParentChanged() {
  if (parent_ == nullptr) return;
  ComponentBusy busy(this);
  if (parentColor_ && color_ != parent_->color_) {
    color_ = parent_->color_;
    Perform(CM_COLORCHANGED);
    if (Gone(this)) return;
    if (auto* w = dynamic_cast<TWinControl*>(this)) w->ApplyFontAndColorToChildren();
    if (Gone(this)) return;
    Invalidate();
  }
  if (parentFont_ && parent_ != nullptr) {
    adoptingFont_ = true;
    font_.Assign(*parent_->Font());
    adoptingFont_ = false;
  }
}

std::string TControl::Caption() const { return caption_; }

void TControl::SetCaption(const std::string& text) {
  if (text == caption_) return;
  ComponentBusy busy(this);
  caption_ = text;
  Perform(CM_TEXTCHANGED);
  if (!Gone(this)) Invalidate();
}

void TControl::SetCursor(TCursor cursor) { cursor_ = cursor; }

void TControl::Invalidate() {
  if (visible_) InvalidateInParent(BoundsRect());
}

void TControl::Update() {
  if (parent_ != nullptr) parent_->Update();
}

void TControl::Repaint() {
  Invalidate();
  Update();
}

LRESULT TControl::Perform(UINT message, WPARAM wParam, LPARAM lParam) {
  TMessage m{message, wParam, lParam, 0};
  ComponentBusy busy(this);
  WndProc(m);
  return m.Result;
}

void TControl::BringToFront() { MoveInZOrder(true); }

void TControl::SendToBack() { MoveInZOrder(false); }

void TControl::MoveInZOrder(bool toFront) {
  auto* windowed = dynamic_cast<TWinControl*>(this);
  auto placeWindow = [&] {
    if (windowed != nullptr && windowed->handle_ != nullptr) {
      SetWindowPos(windowed->handle_, toFront ? HWND_TOP : HWND_BOTTOM, 0, 0, 0, 0,
                   SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
  };
  if (parent_ == nullptr) {
    placeWindow();
    return;
  }
  auto& list = parent_->controls_;
  list.erase(std::find(list.begin(), list.end(), this));
  list.insert(toFront ? list.end() : list.begin(), this);
  placeWindow();
  Invalidate();
  if (align_ != alNone) parent_->Realign();
}

void TControl::WndProc(TMessage& message) { Dispatch(message); }

void TControl::Dispatch(TMessage& message) {
  if (IsMouseMessage(message.Msg)) {
    MouseMessage(message);
    return;
  }
  DefaultHandler(message);
}

void TControl::DefaultHandler(TMessage& message) { message.Result = 0; }

void TControl::Click() {
  Raise(OnClick, this);
}

void TControl::DblClick() {
  Raise(OnDblClick, this);
}

void TControl::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  Raise(OnMouseDown, this, button, shift, x, y);
}

void TControl::MouseMove(TShiftState shift, int x, int y) {
  if (OnMouseMove) OnMouseMove(this, shift, x, y);
}

void TControl::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  Raise(OnMouseUp, this, button, shift, x, y);
}

void TControl::Resize() {
  Raise(OnResize, this);
}

HWND TControl::MouseWindow() const {
  if (auto* w = dynamic_cast<const TWinControl*>(this)) return w->handle_;
  return parent_ != nullptr ? parent_->handle_ : nullptr;
}

// The events of one mouse message. Every handler may free the control: after each one the
// handling stops when it did (the memory stays valid until the message returns).
void TControl::MouseMessage(TMessage& message) {
  const int x = GET_X_LPARAM(message.LParam);
  const int y = GET_Y_LPARAM(message.LParam);
  TShiftState shift = KeysToShiftState(message.WParam);
  auto press = [&](TMouseButton button, bool twice) {
    if (HWND window = MouseWindow(); window != nullptr && GetCapture() != window) SetCapture(window);
    if (twice) shift << ssDouble;
    if (button == mbLeft) {
      if (twice) {
        DblClick();
        if (Gone(this)) return;
      } else {
        mouseCaptured_ = true;
      }
    }
    MouseDown(button, shift, x, y);
  };
  auto release = [&](TMouseButton button) {
    bool clicked = button == mbLeft && mouseCaptured_;
    if (button == mbLeft) mouseCaptured_ = false;
    if ((message.WParam & kButtonKeys) == 0) {
      if (HWND window = MouseWindow(); window != nullptr && GetCapture() == window) ReleaseCapture();
    }
    bool inside = x >= 0 && y >= 0 && x < ClientWidth() && y < ClientHeight();
    if (clicked && inside) {
      Click();
      if (Gone(this)) return;
    }
    MouseUp(button, shift, x, y);
    if (Gone(this)) return;
    if (button == mbRight && inside) {
      bool handled = false;
      if (OnContextPopup) OnContextPopup(this, TPoint(x, y), handled);
      if (Gone(this) || handled) return;
      if (popupMenu_ != nullptr && Presenter() != nullptr) {
        TPoint screen = ClientToScreen(TPoint(x, y));
        popupMenu_->SetPopupComponent(this);
        Presenter()(popupMenu_, screen.x, screen.y);
      }
    }
  };
  switch (message.Msg) {
    case WM_MOUSEMOVE: MouseMove(shift, x, y); break;
    case WM_LBUTTONDOWN: press(mbLeft, false); break;
    case WM_LBUTTONDBLCLK: press(mbLeft, true); break;
    case WM_RBUTTONDOWN: press(mbRight, false); break;
    case WM_RBUTTONDBLCLK: press(mbRight, true); break;
    case WM_MBUTTONDOWN: press(mbMiddle, false); break;
    case WM_MBUTTONDBLCLK: press(mbMiddle, true); break;
    case WM_LBUTTONUP: release(mbLeft); break;
    case WM_RBUTTONUP: release(mbRight); break;
    case WM_MBUTTONUP: release(mbMiddle); break;
    default: break;
  }
}

// ---- TWinControl --------------------------------------------------------------------------

TWinControl::TWinControl(TComponent* owner) : TControl(owner) {}

TWinControl::~TWinControl() {
  destroying_ = true;
  // Only the base handling sees these last messages: the derived parts are gone.
  DestroyWnd();
  // A parent frees its children, last first.
  while (!controls_.empty()) {
    TControl* child = controls_.back();
    if (child->freeCalled_) {
      // Freed earlier but still handling a message: it only leaves.
      RemoveControl(child);
      continue;
    }
    Free(child);
    if (!controls_.empty() && controls_.back() == child) RemoveControl(child);
  }
}

void TWinControl::BeforeDestruction() {
  TControl::BeforeDestruction();
  // While the object is whole, so that overrides see WM_DESTROY.
  DestroyWnd();
}

HWND TWinControl::Handle() {
  if (handle_ == nullptr && !destroying_) {
    if (parent_ != nullptr) parent_->Handle();   // makes this window too when it makes its own
    if (handle_ == nullptr && (parent_ == nullptr || parent_->handle_ != nullptr)) CreateWnd();
  }
  return handle_;
}

void TWinControl::RecreateWnd() {
  if (handle_ == nullptr || destroying_) return;
  caption_ = Caption();
  DestroyWnd();
  CreateWnd();
}

void TWinControl::CreateParams(TCreateParams& params) {
  params.Caption = caption_;
  params.Style = parent_ != nullptr ? WS_CHILD | WS_CLIPSIBLINGS : WS_POPUP;
  params.Style |= WS_CLIPCHILDREN;
  if (visible_) params.Style |= WS_VISIBLE;
  if (!enabled_) params.Style |= WS_DISABLED;
  if (tabStop_) params.Style |= WS_TABSTOP;
  params.ExStyle = 0;
  params.X = left_;
  params.Y = top_;
  params.Width = width_;
  params.Height = height_;
  params.WndParent = parent_ != nullptr ? parent_->handle_ : nullptr;
  params.WinClassName = ClassName();
  params.ClassStyle = CS_DBLCLKS;
}

void TWinControl::CreateWnd() {
  if (handle_ != nullptr || destroying_) return;
  TCreateParams params;
  CreateParams(params);
  if (parent_ != nullptr && params.WndParent == nullptr) return;   // no parent window to sit in
  static std::set<std::string> registered;
  if (registered.count(params.WinClassName) == 0) {
    WNDCLASSA wc{};
    wc.style = params.ClassStyle;
    wc.lpfnWndProc = ControlWindowProc;
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.lpszClassName = params.WinClassName.c_str();
    // A class of that name already there (registered by someone else) is used as it is.
    RegisterClassA(&wc);
    registered.insert(params.WinClassName);
  }
  CreatingControl() = this;
  HWND window = CreateWindowExA(params.ExStyle, params.WinClassName.c_str(), params.Caption.c_str(),
                                params.Style, params.X, params.Y, params.Width, params.Height,
                                params.WndParent, nullptr, nullptr, this);
  CreatingControl() = nullptr;
  if (window != nullptr && handle_ != window) {
    // The class of that name is someone else's: the window never reached this object.
    DestroyWindow(window);
    return;
  }
  if (window == nullptr) return;
  // The children's windows, bottom first, so that the window z-order follows the list.
  std::vector<TControl*> children = controls_;
  for (TControl* child : children) {
    if (!Holds(child)) continue;
    if (auto* w = dynamic_cast<TWinControl*>(child)) w->CreateWnd();
  }
  if (handle_ != nullptr && !controls_.empty()) Realign();
}

void TWinControl::DestroyWnd() {
  if (handle_ == nullptr) return;
  caption_ = Caption();
  HWND window = handle_;
  DestroyWindow(window);
  // WM_NCDESTROY unbound it; a window already dead at this point is unbound here.
  if (handle_ == window) {
    HandleMap().erase(window);
    handle_ = nullptr;
  }
}

TControl* TWinControl::Controls(int index) const {
  if (index < 0 || index >= ControlCount()) {
    throw EListError("List index out of bounds (" + std::to_string(index) + ")");
  }
  return controls_[static_cast<std::size_t>(index)];
}

bool TWinControl::ContainsControl(const TControl* control) const {
  for (const TControl* c = control; c != nullptr; c = c->parent_) {
    if (c->parent_ == this) return true;
  }
  return false;
}

TControl* TWinControl::ControlAtPos(const TPoint& point, bool allowDisabled) const {
  // Windowed children lie above the windowless ones; each kind topmost first.
  for (int pass = 0; pass < 2; ++pass) {
    for (auto it = controls_.rbegin(); it != controls_.rend(); ++it) {
      TControl* c = *it;
      bool windowed = dynamic_cast<TWinControl*>(c) != nullptr;
      if (windowed != (pass == 0)) continue;
      if (!c->visible_ || (!allowDisabled && !c->enabled_)) continue;
      if (point.x < c->left_ || point.y < c->top_ || point.x >= c->left_ + c->Width() ||
          point.y >= c->top_ + c->Height()) {
        continue;
      }
      if (c->HitTest(point.x - c->left_, point.y - c->top_)) return c;
    }
  }
  return nullptr;
}

int TWinControl::TabOrder() const {
  if (parent_ == nullptr) return -1;
  auto& list = parent_->tabList_;
  auto it = std::find(list.begin(), list.end(), this);
  return it == list.end() ? -1 : static_cast<int>(it - list.begin());
}

void TWinControl::SetTabOrder(int order) {
  if (parent_ == nullptr) return;
  auto& list = parent_->tabList_;
  auto it = std::find(list.begin(), list.end(), this);
  if (it == list.end()) return;
  list.erase(it);
  order = std::clamp(order, 0, static_cast<int>(list.size()));
  list.insert(list.begin() + order, this);
}

void TWinControl::SetTabStop(bool value) {
  if (value == tabStop_) return;
  tabStop_ = value;
  if (handle_ != nullptr) {
    LONG_PTR style = GetWindowLongPtrA(handle_, GWL_STYLE);
    style = value ? (style | WS_TABSTOP) : (style & ~static_cast<LONG_PTR>(WS_TABSTOP));
    SetWindowLongPtrA(handle_, GWL_STYLE, style);
  }
  Perform(CM_TABSTOPCHANGED);
}

bool TWinControl::CanFocus() const {
  for (const TControl* c = this; c != nullptr; c = c->parent_) {
    if (!c->visible_ || !c->Enabled()) return false;
  }
  return true;
}

bool TWinControl::Focused() const { return handle_ != nullptr && GetFocus() == handle_; }

void TWinControl::SetFocus() {
  if (destroying_) return;
  TForm* form = GetParentForm(this);
  // Hidden or disabled, itself or a parent below the form: nothing.
  for (const TControl* c = this; c != nullptr && c != form; c = c->parent_) {
    if (!c->visible_ || !c->Enabled()) return;
  }
  if (form != nullptr && form != this) {
    if (!form->Enabled()) return;
    if (!form->Visible() || form->handle_ == nullptr || !IsWindowVisible(form->handle_)) {
      // Not shown yet: focused when the form is.
      form->SetActiveControl(this);
      return;
    }
  }
  if (handle_ != nullptr) ::SetFocus(handle_);
}

void TWinControl::GetTabOrderList(std::vector<TWinControl*>& list) const {
  for (TWinControl* c : tabList_) {
    list.push_back(c);
    c->GetTabOrderList(list);
  }
}

TWinControl* TWinControl::FindNextControl(TWinControl* current, bool forward, bool checkTabStop) const {
  std::vector<TWinControl*> list;
  GetTabOrderList(list);
  const int count = static_cast<int>(list.size());
  if (count == 0) return nullptr;
  int start = -1;
  if (auto it = std::find(list.begin(), list.end(), current); it != list.end()) {
    start = static_cast<int>(it - list.begin());
  }
  if (start < 0) start = forward ? count - 1 : 0;
  int i = start;
  for (int step = 0; step < count; ++step) {
    i = forward ? (i + 1) % count : (i + count - 1) % count;
    TWinControl* c = list[static_cast<std::size_t>(i)];
    if ((!checkTabStop || c->tabStop_) && c->CanFocus()) return c;
  }
  return nullptr;
}

void TWinControl::SelectNext(TWinControl* current, bool forward, bool checkTabStop) {
  if (TWinControl* next = FindNextControl(current, forward, checkTabStop)) next->SetFocus();
}

void TWinControl::InsertControl(TControl* control) {
  controls_.push_back(control);
  control->parent_ = this;
  auto* windowed = dynamic_cast<TWinControl*>(control);
  if (windowed != nullptr) tabList_.push_back(windowed);
  control->ParentChanged();
  if (windowed != nullptr) {
    // A window made before it had a parent was top-level: it is made again as a child.
    windowed->DestroyWnd();
    if (handle_ != nullptr) windowed->CreateWnd();
  } else {
    control->Invalidate();
  }
  if (control->align_ != alNone) Realign();
  ControlsChanged();
}

void TWinControl::RemoveControl(TControl* control) {
  auto it = std::find(controls_.begin(), controls_.end(), control);
  if (it == controls_.end()) return;
  // The form's active control is not left pointing at a control that leaves it.
  if (!destroying_) {
    if (TForm* form = GetParentForm(this); form != nullptr && !form->Destroying()) {
      TWinControl* active = form->ActiveControl();
      auto* windowed = dynamic_cast<TWinControl*>(control);
      if (active != nullptr && (active == control || (windowed != nullptr && windowed->ContainsControl(active)))) {
        form->SetActiveControl(nullptr);
      }
    }
  }
  it = std::find(controls_.begin(), controls_.end(), control);
  if (it == controls_.end()) return;
  if (control->visible_ && dynamic_cast<TWinControl*>(control) == nullptr) control->Invalidate();
  controls_.erase(it);
  if (auto t = std::find(tabList_.begin(), tabList_.end(), control); t != tabList_.end()) tabList_.erase(t);
  if (mouseControl_ == control) mouseControl_ = nullptr;
  if (captureControl_ == control) captureControl_ = nullptr;
  if (aligningControl_ == control) aligningControl_ = nullptr;
  control->parent_ = nullptr;
  control->mouseCaptured_ = false;
  control->mouseInside_ = false;
  // A child window cannot outlive its place: it is made again when the control gets a parent.
  if (auto* windowed = dynamic_cast<TWinControl*>(control)) windowed->DestroyWnd();
  if (control->align_ != alNone && !destroying_) Realign();
  if (!destroying_) ControlsChanged();
}

void TWinControl::SetBounds(int left, int top, int width, int height) {
  ComponentBusy busy(this);
  width = std::max(0, width);
  height = std::max(0, height);
  const bool aligning = parent_ != nullptr && parent_->aligningControl_ == this;
  if (!aligning) {
    explicitWidth_ = width;
    explicitHeight_ = height;
  }
  if (left == left_ && top == top_ && width == width_ && height == height_) return;
  left_ = left;
  top_ = top;
  if (handle_ != nullptr) {
    // WM_SIZE brings the client size (re-aligning and raising Resize); the window may also be
    // held to other sizes (WM_GETMINMAXINFO), or an override may have eaten WM_SIZE: the
    // fields follow the window.
    MoveWindow(handle_, left, top, width, height, TRUE);
    if (Gone(this)) return;
    FollowWindow();
  } else {
    SizeChanged(width, height);
  }
  if (Gone(this)) return;
  if (!aligning && parent_ != nullptr && align_ != alNone) parent_->Realign();
}

// The bounds are the window's rectangle (edges included) in the parent's client coordinates
// (on the screen for a top-level window); the client size is the window's client area.
void TWinControl::FollowWindow(bool size) {
  RECT r{};
  if (handle_ == nullptr || !GetWindowRect(handle_, &r)) return;
  POINT corner{r.left, r.top};
  if ((GetWindowLongPtrA(handle_, GWL_STYLE) & WS_CHILD) != 0) ::ScreenToClient(GetParent(handle_), &corner);
  left_ = corner.x;
  top_ = corner.y;
  if (size) SizeChanged(r.right - r.left, r.bottom - r.top);
}

int TWinControl::ClientWidth() const {
  RECT client{};
  return handle_ != nullptr && GetClientRect(handle_, &client) ? client.right : width_;
}

int TWinControl::ClientHeight() const {
  RECT client{};
  return handle_ != nullptr && GetClientRect(handle_, &client) ? client.bottom : height_;
}

// The size became this: the children are laid out again and Resize is raised.
void TWinControl::SizeChanged(int width, int height) {
  if (width == width_ && height == height_) return;
  width_ = width;
  height_ = height;
  Realign();
  if (!Gone(this)) Resize();
}

void TWinControl::SetVisible(bool visible) {
  if (visible == visible_) return;
  ComponentBusy busy(this);
  visible_ = visible;
  if (handle_ != nullptr) ShowWindow(handle_, visible ? (parent_ != nullptr ? SW_SHOW : SW_SHOWNOACTIVATE) : SW_HIDE);
  if (Gone(this)) return;
  Perform(CM_VISIBLECHANGED, visible ? 1 : 0);
  if (!Gone(this) && parent_ != nullptr && align_ != alNone) parent_->Realign();
}

void TWinControl::SetEnabled(bool enabled) {
  if (enabled == enabled_) return;
  ComponentBusy busy(this);
  enabled_ = enabled;
  if (handle_ != nullptr) EnableWindow(handle_, enabled ? TRUE : FALSE);
  if (Gone(this)) return;
  Perform(CM_ENABLEDCHANGED);
  Invalidate();
}

std::string TWinControl::Caption() const {
  if (handle_ == nullptr) return caption_;
  int length = GetWindowTextLengthA(handle_);
  std::string text(static_cast<std::size_t>(length) + 1, '\0');
  int copied = GetWindowTextA(handle_, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(std::max(0, copied)));
  return text;
}

void TWinControl::SetCaption(const std::string& text) {
  if (text == Caption()) return;
  ComponentBusy busy(this);
  caption_ = text;
  if (handle_ != nullptr) SetWindowTextA(handle_, text.c_str());
  if (Gone(this)) return;
  Perform(CM_TEXTCHANGED);
  Invalidate();
}

void TWinControl::Invalidate() {
  if (handle_ != nullptr) InvalidateRect(handle_, nullptr, TRUE);
}

void TWinControl::Update() {
  if (handle_ != nullptr) UpdateWindow(handle_);
}

void TWinControl::Repaint() {
  Invalidate();
  Update();
}

TPoint TWinControl::ClientOrigin() const {
  if (handle_ != nullptr) {
    POINT origin{0, 0};
    if (::ClientToScreen(handle_, &origin)) return TPoint(origin);
  }
  return TControl::ClientOrigin();
}

// ---- Messages of windowed controls ----------------------------------------------------------

void TWinControl::WndProc(TMessage& message) {
  if (IsMouseMessage(message.Msg)) {
    if (message.Msg == WM_MOUSEMOVE && !mouseInside_ && handle_ != nullptr) {
      // The pointer came in: ask to be told when it leaves.
      mouseInside_ = true;
      TRACKMOUSEEVENT track{sizeof(TRACKMOUSEEVENT), TME_LEAVE, handle_, 0};
      TrackMouseEvent(&track);
      Perform(CM_MOUSEENTER);
      if (Gone(this)) return;
    }
    if (RouteMouseToChild(message)) return;
  }
  Dispatch(message);
}

// A mouse message over a windowless child (or while a button pressed on one is held) goes to
// that child in its own coordinates. True when it went there.
bool TWinControl::RouteMouseToChild(TMessage& message) {
  TPoint point(GET_X_LPARAM(message.LParam), GET_Y_LPARAM(message.LParam));
  TControl* target = captureControl_;
  if (target == nullptr) {
    TControl* under = ControlAtPos(point);
    if (under != nullptr && dynamic_cast<TWinControl*>(under) == nullptr) target = under;
  }
  if (message.Msg == WM_MOUSEMOVE) {
    SetMouseControl(target);
    if (target != nullptr && target->parent_ != this) return false;   // left during the notifications
  }
  if (target == nullptr || Gone(this)) return false;
  const UINT msg = message.Msg;
  if (msg == WM_LBUTTONDOWN || msg == WM_RBUTTONDOWN || msg == WM_MBUTTONDOWN || msg == WM_LBUTTONDBLCLK ||
      msg == WM_RBUTTONDBLCLK || msg == WM_MBUTTONDBLCLK) {
    captureControl_ = target;
  } else if ((msg == WM_LBUTTONUP || msg == WM_RBUTTONUP || msg == WM_MBUTTONUP) &&
             (message.WParam & kButtonKeys) == 0) {
    captureControl_ = nullptr;
  }
  if (msg == WM_MOUSEMOVE) Application->HintMouseMessage(target);
  message.Result = target->Perform(msg, message.WParam, PackPoint(point.x - target->left_, point.y - target->top_));
  return true;
}

// The windowless child under the pointer changed: leave the old, enter the new.
void TWinControl::SetMouseControl(TControl* control) {
  if (control == mouseControl_) return;
  TControl* old = mouseControl_;
  mouseControl_ = control;
  if (old != nullptr) {
    old->mouseInside_ = false;
    old->Perform(CM_MOUSELEAVE);
  }
  if (control != nullptr && mouseControl_ == control) {
    control->mouseInside_ = true;
    control->Perform(CM_MOUSEENTER);
  }
}

void TWinControl::Dispatch(TMessage& message) {
  switch (message.Msg) {
    case WM_PAINT:
      PaintMessage(message);
      return;
    case WM_COMMAND:
    case WM_HSCROLL:
    case WM_VSCROLL:
    case WM_DRAWITEM:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_NOTIFY: {
      // Notifications of a child control of this library go back to it (CN_BASE + message),
      // so each control handles its own; the others get the default handling.
      HWND from = nullptr;
      if (message.Msg == WM_DRAWITEM) {
        if (message.LParam != 0) from = reinterpret_cast<const DRAWITEMSTRUCT*>(message.LParam)->hwndItem;
      } else if (message.Msg == WM_NOTIFY) {
        if (message.LParam != 0) from = reinterpret_cast<const NMHDR*>(message.LParam)->hwndFrom;
      } else {
        from = reinterpret_cast<HWND>(message.LParam);
      }
      TWinControl* child = from != nullptr && from != handle_ ? FromHandle(from) : nullptr;
      if (child != nullptr) {
        message.Result = child->Perform(CN_BASE + message.Msg, message.WParam, message.LParam);
        return;
      }
      DefaultHandler(message);
      return;
    }
    case WM_ERASEBKGND: {
      // A control built on a window class of its own (an edit, a combo box...) leaves the
      // background to that class, which paints it (or shows a widget there).
      if (DefWndProc != DefWindowProcA) {
        DefaultHandler(message);
        return;
      }
      HDC dc = reinterpret_cast<HDC>(message.WParam);
      RECT client{0, 0, ClientWidth(), ClientHeight()};
      HBRUSH brush = CreateSolidBrush(ColorToRGB(Color()));
      FillRect(dc, &client, brush);
      DeleteObject(brush);
      message.Result = 1;
      return;
    }
    case WM_SIZE:
      DefaultHandler(message);
      if (message.WParam != SIZE_MINIMIZED) FollowWindow();
      return;
    case WM_MOVE:
      DefaultHandler(message);
      FollowWindow(false);
      return;
    case WM_SETTEXT:
      DefaultHandler(message);
      caption_ = message.LParam != 0 ? reinterpret_cast<const char*>(message.LParam) : "";
      return;
    case WM_SETFOCUS:
      DefaultHandler(message);
      if (TForm* form = GetParentForm(this); form != nullptr && form != this && !form->Destroying()) {
        form->FocusChanged(this);
      }
      return;
    case WM_SETCURSOR:
      SetCursorMessage(message);
      return;
    case WM_MOUSELEAVE:
      DefaultHandler(message);
      mouseInside_ = false;
      SetMouseControl(nullptr);
      if (Gone(this)) return;
      Perform(CM_MOUSELEAVE);
      if (!Gone(this)) {
        // The pointer went to another window when that window's move is already queued (the
        // leave is posted just before it): only leaving every window clears the hint, so the
        // hint does not blink empty between two controls.
        MSG next{};
        if (!PeekMessageA(&next, nullptr, WM_MOUSEMOVE, WM_MOUSEMOVE, PM_NOREMOVE)) Application->HintMouseMessage(nullptr);
      }
      return;
    case WM_CAPTURECHANGED:
      DefaultHandler(message);
      if (reinterpret_cast<HWND>(message.LParam) != handle_ && !inButtonUp_) {
        // Capture taken away while a button was held: no click follows. A class that lets the
        // capture go as it handles the release itself (an edit) ends the press normally.
        mouseCaptured_ = false;
        if (captureControl_ != nullptr) captureControl_->mouseCaptured_ = false;
        captureControl_ = nullptr;
      }
      return;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYUP:
    case WM_CHAR:
      HandleKey(message);
      return;
    case WM_SYSCHAR: {
      // Alt+letter: the accelerator of a control of the form (a label's, a button's).
      TControl* top = this;
      if (TForm* form = GetParentForm(this)) {
        top = form;
      } else {
        while (top->parent_ != nullptr) top = top->parent_;
      }
      if (message.WParam != 0 && BroadcastDialogChar(static_cast<TWinControl*>(top), static_cast<WORD>(message.WParam))) {
        message.Result = 0;
        return;
      }
      DefaultHandler(message);
      return;
    }
    case CM_ENTER:
      DoEnter();
      return;
    case CM_EXIT:
      DoExit();
      return;
    case WM_DESTROY:
      mouseInside_ = false;
      mouseControl_ = nullptr;
      captureControl_ = nullptr;
      DefaultHandler(message);
      return;
    default:
      break;
  }
  if (IsMouseMessage(message.Msg)) {
    const bool buttonUp = message.Msg == WM_LBUTTONUP;
    if (buttonUp) inButtonUp_ = true;
    DefaultHandler(message);
    // The default handling may have clicked a control whose handler freed it.
    if (Gone(this)) return;
    if (buttonUp) inButtonUp_ = false;
    LRESULT result = message.Result;
    if (message.Msg == WM_MOUSEMOVE) {
      SetMouseControl(nullptr);
      if (Gone(this)) return;
      Application->HintMouseMessage(this);
      if (Gone(this)) return;
    }
    MouseMessage(message);
    message.Result = result;
    return;
  }
  DefaultHandler(message);
}

void TWinControl::InheritWindowClass(const char* className) {
  WNDCLASSA wc{};
  if (GetClassInfoA(nullptr, className, &wc) && wc.lpfnWndProc != nullptr) DefWndProc = wc.lpfnWndProc;
}

void TWinControl::DefaultHandler(TMessage& message) {
  message.Result = handle_ != nullptr
                       ? CallWindowProcA(DefWndProc, handle_, message.Msg, message.WParam, message.LParam)
                       : 0;
}

// The screen's cursor while it is not the default. Else the parent decides first, and the
// cursor of the control under the pointer (a windowless child's, or this one's) stands in for
// the class cursor; the default cursor falls to default handling (parent, then class cursor).
void TWinControl::SetCursorMessage(TMessage& message) {
  if (message.LParamLo() == HTCLIENT && reinterpret_cast<HWND>(message.WParam) == handle_) {
    if (Screen->Cursor() != crDefault) {
      ::SetCursor(Screen->Cursors(Screen->Cursor()));
      message.Result = TRUE;
      return;
    }
    TCursor cursor = cursor_;
    POINT screen{};
    if (GetCursorPos(&screen)) {
      TPoint point = ScreenToClient(TPoint(screen));
      TControl* under = captureControl_ != nullptr ? captureControl_ : ControlAtPos(point);
      if (under != nullptr && dynamic_cast<TWinControl*>(under) == nullptr && under->cursor_ != crDefault) {
        cursor = under->cursor_;
      }
    }
    if (cursor != crDefault) {
      HWND parent = (GetWindowLongA(handle_, GWL_STYLE) & WS_CHILD) != 0 ? GetParent(handle_) : nullptr;
      if (parent != nullptr) {
        if (LRESULT answer = SendMessageA(parent, WM_SETCURSOR, message.WParam, message.LParam); answer != 0) {
          message.Result = answer;
          return;
        }
      }
      ::SetCursor(Screen->Cursors(cursor));
      message.Result = TRUE;
      return;
    }
  }
  DefaultHandler(message);
}

// Paints the window's own part (nothing for a plain windowed control), then the windowless
// children. A context in wParam is painted into as it is.
void TWinControl::PaintMessage(TMessage& message) {
  bool hasWindowless = std::any_of(controls_.begin(), controls_.end(),
                                   [](TControl* c) { return dynamic_cast<TWinControl*>(c) == nullptr; });
  if (message.WParam != 0) {
    DefaultHandler(message);
    PaintControls(reinterpret_cast<HDC>(message.WParam));
    return;
  }
  if (DefWndProc != DefWindowProcA || !hasWindowless) {
    DefaultHandler(message);
    if (hasWindowless && handle_ != nullptr) {
      HDC dc = GetDC(handle_);
      PaintControls(dc);
      ReleaseDC(handle_, dc);
    }
    return;
  }
  PAINTSTRUCT ps{};
  HDC dc = BeginPaint(handle_, &ps);
  if (dc == nullptr) return;
  struct End {
    HWND window;
    PAINTSTRUCT* ps;
    ~End() { EndPaint(window, ps); }
  } end{handle_, &ps};
  PaintControls(dc);
  message.Result = 0;
}

void TWinControl::PaintControls(HDC dc) {
  if (dc == nullptr) return;
  RECT clip{};
  bool hasClip = GetClipBox(dc, &clip) != 0;
  std::vector<TControl*> children = controls_;
  for (TControl* c : children) {
    if (!Holds(c) || !c->visible_ || dynamic_cast<TWinControl*>(c) != nullptr) continue;
    TRect bounds = c->BoundsRect();
    RECT common{};
    if (bounds.Width() <= 0 || bounds.Height() <= 0) continue;
    if (hasClip && !IntersectRect(&common, &clip, &bounds)) continue;
    int saved = SaveDC(dc);
    IntersectClipRect(dc, bounds.left, bounds.top, bounds.right, bounds.bottom);
    OffsetViewportOrgEx(dc, bounds.left, bounds.top, nullptr);
    struct Restore {
      HDC dc;
      int saved;
      ~Restore() { RestoreDC(dc, saved); }
    } restore{dc, saved};
    c->Perform(WM_PAINT, reinterpret_cast<WPARAM>(dc), 0);
  }
}

// Keys in the class library's order: a key cleared to 0 (by Application->OnMessage, the
// form's preview or a handler) stops everything after it.
void TWinControl::HandleKey(TMessage& message) {
  if (message.WParam == 0) return;
  const UINT msg = message.Msg;
  const bool down = msg == WM_KEYDOWN || msg == WM_SYSKEYDOWN;
  const bool up = msg == WM_KEYUP || msg == WM_SYSKEYUP;
  if (msg == WM_CHAR) {
    char expected = droppedChar_;
    droppedChar_ = 0;
    if (expected != 0 && static_cast<char>(message.WParam) == expected) return;   // the dialog key's own character
  } else if (down) {
    droppedChar_ = 0;
  }
  const TShiftState shift = KeyboardShiftState();
  TForm* form = GetParentForm(this);

  // (1) The form sees its controls' keys first.
  if (form != nullptr && form != this && form->KeyPreview()) {
    if (down || up) {
      WORD key = static_cast<WORD>(message.WParam);
      if (down) form->PreviewKeyDown(key, shift); else form->PreviewKeyUp(key, shift);
      if (Gone(this) || key == 0) return;
      message.WParam = key;
    } else {
      char key = static_cast<char>(message.WParam);
      form->PreviewKeyPress(key);
      if (Gone(this) || key == 0) return;
      message.WParam = static_cast<unsigned char>(key);
    }
  }

  // (2) Dialog keys go to the form unless this control claims them.
  if (msg == WM_KEYDOWN) {
    const WORD key = static_cast<WORD>(message.WParam);
    LRESULT mask = 0;
    char character = 0;
    switch (key) {
      case VK_TAB: mask = DLGC_WANTTAB | DLGC_WANTALLKEYS; character = '\t'; break;
      case VK_RETURN: mask = DLGC_WANTALLKEYS; character = '\r'; break;
      case VK_ESCAPE: mask = DLGC_WANTALLKEYS; character = '\x1b'; break;
      case VK_LEFT: case VK_RIGHT: case VK_UP: case VK_DOWN: mask = DLGC_WANTARROWS | DLGC_WANTALLKEYS; break;
      default: break;
    }
    if (mask != 0) {
      MSG pending{handle_, msg, message.WParam, message.LParam, 0, {0, 0}};
      LRESULT code = Perform(WM_GETDLGCODE, message.WParam, reinterpret_cast<LPARAM>(&pending));
      if (Gone(this)) return;
      if ((code & mask) == 0) {
        TWinControl* target = form != nullptr ? static_cast<TWinControl*>(form) : TopControl(this);
        droppedChar_ = character;
        // The dialog key may free this control (Esc closing its form): the busy mark keeps it
        // readable until this message returns.
        if (target != nullptr && target->Perform(CM_DIALOGKEY, message.WParam, message.LParam) != 0) {
          message.Result = 0;
          return;
        }
        droppedChar_ = 0;
        if (Gone(this)) return;
      }
    }
  }

  // (3) The control's own handler.
  if (down || up) {
    WORD key = static_cast<WORD>(message.WParam);
    if (down) KeyDown(key, shift); else KeyUp(key, shift);
    if (Gone(this) || key == 0) return;
    message.WParam = key;
  } else {
    char key = static_cast<char>(message.WParam);
    KeyPress(key);
    if (Gone(this) || key == 0) return;
    message.WParam = static_cast<unsigned char>(key);
  }

  // (4) The window's default.
  DefaultHandler(message);
}

void TWinControl::KeyDown(WORD& key, TShiftState shift) {
  Raise(OnKeyDown, this, key, shift);
}

void TWinControl::KeyUp(WORD& key, TShiftState shift) {
  Raise(OnKeyUp, this, key, shift);
}

void TWinControl::KeyPress(char& key) {
  Raise(OnKeyPress, this, key);
}

void TWinControl::DoEnter() {
  Raise(OnEnter, this);
}

void TWinControl::DoExit() {
  Raise(OnExit, this);
}

// ---- Alignment ------------------------------------------------------------------------------

void TWinControl::AlignControls(TControl*, TRect& rect) {
  // A rectangle that is already inverted holds nothing.
  if (rect.right < rect.left) rect.right = rect.left;
  if (rect.bottom < rect.top) rect.bottom = rect.top;
  std::vector<TControl*> children = controls_;
  for (TAlign kind : {alTop, alBottom, alLeft, alRight, alClient}) {
    for (TControl* c : children) {
      if (!Holds(c) || c->align_ != kind || !c->visible_) continue;
      const int w = rect.right - rect.left;
      const int h = rect.bottom - rect.top;
      TRect place;
      switch (kind) {
        case alTop: {
          int height = std::clamp(c->explicitHeight_, 0, h);
          place = TRect(rect.left, rect.top, rect.right, rect.top + height);
          rect.top += height;
          break;
        }
        case alBottom: {
          int height = std::clamp(c->explicitHeight_, 0, h);
          place = TRect(rect.left, rect.bottom - height, rect.right, rect.bottom);
          rect.bottom -= height;
          break;
        }
        case alLeft: {
          int width = std::clamp(c->explicitWidth_, 0, w);
          place = TRect(rect.left, rect.top, rect.left + width, rect.bottom);
          rect.left += width;
          break;
        }
        case alRight: {
          int width = std::clamp(c->explicitWidth_, 0, w);
          place = TRect(rect.right - width, rect.top, rect.right, rect.bottom);
          rect.right -= width;
          break;
        }
        default:
          place = rect;
          break;
      }
      aligningControl_ = c;
      c->SetBounds(place.left, place.top, place.Width(), place.Height());
      aligningControl_ = nullptr;
      if (Gone(this)) return;
    }
  }
}

void TWinControl::Realign() {
  if (alignLevel_ > 0 || destroying_) return;
  if (std::none_of(controls_.begin(), controls_.end(), [](TControl* c) { return c->align_ != alNone; })) return;
  ComponentBusy busy(this);
  TRect rect = ClientRect();
  AdjustClientRect(rect);
  ++alignLevel_;
  AlignControls(nullptr, rect);
  --alignLevel_;
}

TWinControl* TWinControl::FromHandle(HWND window) {
  auto& map = HandleMap();
  auto it = map.find(window);
  return it == map.end() ? nullptr : it->second;
}

void TWinControl::ApplyFontAndColorToChildren() {
  std::vector<TControl*> children = controls_;
  for (TControl* c : children) {
    if (Holds(c)) c->ParentChanged();
    if (Gone(this)) return;
  }
}

// ---- TCustomControl -------------------------------------------------------------------------

void TControlCanvas::CreateHandle() {
  HWND window = control_->Handle();
  if (window == nullptr) return;
  own_ = GetDC(window);
  ownWindow_ = window;
  Font()->Assign(*control_->Font());
  SetHandle(own_);
}

void TControlCanvas::FreeHandle() {
  if (own_ == nullptr) return;
  if (dc_ == own_) SetHandle(nullptr);
  ReleaseDC(ownWindow_, own_);
  own_ = nullptr;
  ownWindow_ = nullptr;
}

TPaintScope::TPaintScope(HWND window, const TMessage& message) {
  dc_ = reinterpret_cast<HDC>(message.WParam);
  if (dc_ == nullptr && window != nullptr) {
    dc_ = BeginPaint(window, &paint_);
    if (dc_ != nullptr) began_ = window;
  }
}

TPaintScope::~TPaintScope() {
  if (began_ != nullptr) EndPaint(began_, &paint_);
}

TCustomControl::TCustomControl(TComponent* owner) : TWinControl(owner) {}

TCustomControl::~TCustomControl() { canvas_.FreeHandle(); }

void TCustomControl::DestroyWnd() {
  canvas_.FreeHandle();
  TWinControl::DestroyWnd();
}

void TCustomControl::Dispatch(TMessage& message) {
  if (message.Msg != WM_PAINT) {
    TWinControl::Dispatch(message);
    return;
  }
  TPaintScope scope(handle_, message);
  HDC dc = scope.Dc();
  if (dc == nullptr) return;
  // Taken back from the canvas before the scope ends the paint.
  struct Release {
    TCanvas& canvas;
    ~Release() { canvas.SetHandle(nullptr); }
  } release{canvas_};
  canvas_.FreeHandle();
  canvas_.Font()->Assign(font_);
  canvas_.SetHandle(dc);
  Paint();
  canvas_.SetHandle(nullptr);
  if (!Gone(this)) PaintControls(dc);
  message.Result = 0;
}

// ---- TGraphicControl ------------------------------------------------------------------------

TGraphicControl::TGraphicControl(TComponent* owner) : TControl(owner) {}

TGraphicControl::~TGraphicControl() { canvas_.SetHandle(nullptr); }

void TGraphicControl::Dispatch(TMessage& message) {
  if (message.Msg != WM_PAINT) {
    TControl::Dispatch(message);
    return;
  }
  HDC dc = reinterpret_cast<HDC>(message.WParam);
  if (dc == nullptr) return;
  struct Release {
    TCanvas& canvas;
    ~Release() { canvas.SetHandle(nullptr); }
  } release{canvas_};
  canvas_.Font()->Assign(font_);
  canvas_.SetHandle(dc);
  SetParentPaintDc(dc);
  Paint();
  SetParentPaintDc(nullptr);
  message.Result = 0;
}

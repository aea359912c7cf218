// Placeholder bodies: replaced by the control unit's implementation.
#include "platform/Control.h"

#include "platform/Form.h"

TShiftState KeysToShiftState(WPARAM) { return {}; }
TShiftState KeyboardShiftState() { return {}; }
void SetPopupMenuPresenter(PopupMenuPresenter) {}

TComponent::TComponent(TComponent* owner) { if (owner) owner->InsertComponent(this); }
TComponent::~TComponent() = default;
void TComponent::Free(TComponent* c) { delete c; }
void TComponent::BeforeDestruction() {}
TComponent* TComponent::Components(int i) const { return components_.at(i); }
TComponent* TComponent::FindComponent(const std::string&) const { return nullptr; }
void TComponent::InsertComponent(TComponent* c) { components_.push_back(c); c->owner_ = this; }
void TComponent::RemoveComponent(TComponent*) {}

TControl::TControl(TComponent* owner) : TComponent(owner) {}
TControl::~TControl() = default;
void TControl::SetParent(TWinControl* p) { parent_ = p; }
void TControl::SetBounds(int l, int t, int w, int h) { left_ = l; top_ = t; width_ = w; height_ = h; }
TPoint TControl::ClientOrigin() const { return {}; }
TPoint TControl::ClientToScreen(const TPoint& p) const { return p; }
TPoint TControl::ScreenToClient(const TPoint& p) const { return p; }
void TControl::SetAlign(TAlign a) { align_ = a; }
void TControl::SetVisible(bool v) { visible_ = v; }
bool TControl::Showing() const { return visible_; }
void TControl::SetEnabled(bool e) { enabled_ = e; }
void TControl::SetColor(TColor c) { color_ = c; }
void TControl::SetParentColor(bool v) { parentColor_ = v; }
void TControl::SetParentFont(bool v) { parentFont_ = v; }
std::string TControl::Caption() const { return caption_; }
void TControl::SetCaption(const std::string& t) { caption_ = t; }
void TControl::SetCursor(TCursor c) { cursor_ = c; }
void TControl::Invalidate() {}
void TControl::Update() {}
void TControl::Repaint() {}
LRESULT TControl::Perform(UINT m, WPARAM w, LPARAM l) { TMessage msg{m, w, l, 0}; WndProc(msg); return msg.Result; }
void TControl::BringToFront() {}
void TControl::SendToBack() {}
void TControl::WndProc(TMessage& m) { Dispatch(m); }
void TControl::Dispatch(TMessage& m) { DefaultHandler(m); }
void TControl::DefaultHandler(TMessage&) {}
void TControl::Click() {}
void TControl::DblClick() {}
void TControl::MouseDown(TMouseButton, TShiftState, int, int) {}
void TControl::MouseMove(TShiftState, int, int) {}
void TControl::MouseUp(TMouseButton, TShiftState, int, int) {}
void TControl::Resize() {}
void TControl::ParentChanged() {}
void TControl::MouseMessage(TMessage&) {}

TWinControl::TWinControl(TComponent* owner) : TControl(owner) {}
TWinControl::~TWinControl() = default;
void TWinControl::BeforeDestruction() {}
HWND TWinControl::Handle() { return handle_; }
void TWinControl::RecreateWnd() {}
TControl* TWinControl::Controls(int i) const { return controls_.at(i); }
bool TWinControl::ContainsControl(const TControl*) const { return false; }
TControl* TWinControl::ControlAtPos(const TPoint&, bool) const { return nullptr; }
int TWinControl::TabOrder() const { return -1; }
void TWinControl::SetTabOrder(int) {}
void TWinControl::SetTabStop(bool v) { tabStop_ = v; }
bool TWinControl::CanFocus() const { return false; }
bool TWinControl::Focused() const { return false; }
void TWinControl::SetFocus() {}
void TWinControl::GetTabOrderList(std::vector<TWinControl*>&) const {}
TWinControl* TWinControl::FindNextControl(TWinControl*, bool, bool) const { return nullptr; }
void TWinControl::SelectNext(TWinControl*, bool, bool) {}
void TWinControl::SetBounds(int l, int t, int w, int h) { TControl::SetBounds(l, t, w, h); }
void TWinControl::SetVisible(bool v) { TControl::SetVisible(v); }
void TWinControl::SetEnabled(bool e) { TControl::SetEnabled(e); }
std::string TWinControl::Caption() const { return caption_; }
void TWinControl::SetCaption(const std::string& t) { caption_ = t; }
void TWinControl::Invalidate() {}
void TWinControl::Update() {}
void TWinControl::Repaint() {}
void TWinControl::WndProc(TMessage& m) { Dispatch(m); }
void TWinControl::Dispatch(TMessage& m) { DefaultHandler(m); }
void TWinControl::DefaultHandler(TMessage&) {}
void TWinControl::AlignControls(TControl*, TRect&) {}
void TWinControl::Realign() {}
TWinControl* TWinControl::FromHandle(HWND) { return nullptr; }
void TWinControl::CreateParams(TCreateParams&) {}
void TWinControl::CreateWnd() {}
void TWinControl::DestroyWnd() {}
void TWinControl::KeyDown(WORD&, TShiftState) {}
void TWinControl::KeyUp(WORD&, TShiftState) {}
void TWinControl::KeyPress(char&) {}
void TWinControl::DoEnter() {}
void TWinControl::DoExit() {}
void TWinControl::PaintControls(HDC) {}
void TWinControl::InsertControl(TControl*) {}
void TWinControl::RemoveControl(TControl*) {}
void TWinControl::HandleKey(TMessage&) {}

TCustomControl::TCustomControl(TComponent* owner) : TWinControl(owner) {}
TCustomControl::~TCustomControl() = default;
void TCustomControl::Dispatch(TMessage& m) { TWinControl::Dispatch(m); }
TGraphicControl::TGraphicControl(TComponent* owner) : TControl(owner) {}
TGraphicControl::~TGraphicControl() = default;
void TGraphicControl::Dispatch(TMessage& m) { TControl::Dispatch(m); }

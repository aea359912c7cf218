// Placeholder bodies: replaced by the form unit's implementation.
#include "platform/Form.h"

TForm* GetParentForm(TControl*) { return nullptr; }

TForm::TForm(TComponent* owner) : TWinControl(owner) {}
TForm::~TForm() = default;
void TForm::BeforeDestruction() { TWinControl::BeforeDestruction(); }
void TForm::AfterConstruction() {}
int TForm::Width() const { return width_; }
int TForm::Height() const { return height_; }
void TForm::SetClientWidth(int v) { width_ = v; }
void TForm::SetClientHeight(int v) { height_ = v; }
void TForm::SetBounds(int l, int t, int w, int h) { TWinControl::SetBounds(l, t, w, h); }
int TForm::FrameWidth() const { return 0; }
int TForm::FrameHeight() const { return 0; }
void TForm::SetBorderStyle(TFormBorderStyle s) { borderStyle_ = s; }
void TForm::SetFormStyle(TFormStyle s) { formStyle_ = s; }
TWindowState TForm::WindowState() const { return windowState_; }
void TForm::SetWindowState(TWindowState s) { windowState_ = s; }
void TForm::SetActiveControl(TWinControl* c) { activeControl_ = c; }
bool TForm::Active() const { return false; }
void TForm::Show() {}
void TForm::Hide() {}
void TForm::Close() {}
void TForm::Release() {}
bool TForm::CloseQuery() { return true; }
TModalResult TForm::ShowModal() { return mrCancel; }
void TForm::FocusChanged(TWinControl*) {}
void TForm::WndProc(TMessage& m) { TWinControl::WndProc(m); }
void TForm::Dispatch(TMessage& m) { TWinControl::Dispatch(m); }
void TForm::CreateParams(TCreateParams& p) { TWinControl::CreateParams(p); }
void TForm::CreateWnd() { TWinControl::CreateWnd(); }
void TForm::Paint() {}
void TForm::DoShow() {}
void TForm::DoHide() {}
void TForm::Activate() {}
void TForm::Deactivate() {}
void TForm::DoClose(TCloseAction&) {}
bool TForm::DialogKey(WORD, TShiftState) { return false; }

namespace zuvo::platform {
std::shared_ptr<ModalRunner> SetModalRunner(std::shared_ptr<ModalRunner> r) { return r; }
void ScriptedModalRunner::Add(const std::string& k, Script s) { scripts_.emplace(k, std::move(s)); }
void ScriptedModalRunner::Run(TForm&) {}
}  // namespace zuvo::platform

TTimer::TTimer(TComponent* owner) : TComponent(owner) {}
TTimer::~TTimer() = default;
void TTimer::SetEnabled(bool e) { enabled_ = e; }
void TTimer::SetInterval(UINT i) { interval_ = i; }
void TTimer::UpdateTimer() {}
void TTimer::Timer() {}

TApplication::TApplication() : TComponent(nullptr) {}
TApplication::~TApplication() = default;
void TApplication::Initialize() {}
bool TApplication::LoadIcon(const std::string&) { return false; }
void TApplication::Run() {}
void TApplication::Terminate() {}
void TApplication::ProcessMessages() {}
void TApplication::HandleException(TObject*, const std::exception&) {}
void TApplication::ShowException(const std::exception&) {}
void TApplication::HintMouseMessage(TControl*) {}
void TApplication::AddCreatedForm(TForm* f) { if (!mainForm_) mainForm_ = f; }

TScreen::TScreen() : TComponent(nullptr) {}
int TScreen::Width() const { return 0; }
int TScreen::Height() const { return 0; }
TRect TScreen::WorkAreaRect() const { return {}; }
void TScreen::SetCursor(TCursor c) { cursor_ = c; }
HCURSOR TScreen::Cursors(TCursor) const { return nullptr; }
TForm* TScreen::ActiveForm() const { return nullptr; }
TForm* TScreen::Forms(int i) const { return forms_.at(i); }
void TScreen::AddForm(TForm* f) { forms_.push_back(f); }
void TScreen::RemoveForm(TForm*) {}

TPoint TMouse::CursorPos() const { return {}; }
void TMouse::SetCursorPos(const TPoint&) {}

template <> TApplication* GlobalObjectRef<TApplication>::Get() { static TApplication a; return &a; }
template <> TScreen* GlobalObjectRef<TScreen>::Get() { static TScreen s; return &s; }
template <> TMouse* GlobalObjectRef<TMouse>::Get() { static TMouse m; return &m; }

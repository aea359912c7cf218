// The class library's edit controls: windows of their own classes over the "EDIT" class's
// procedure (see Edit.h).
#include "platform/Edit.h"

#include "platform/Form.h"
#include "platform/Gdi.h"

#include <algorithm>
#include <vector>

namespace {

// Lines of a memo's text: split at CR LF (or a lone CR or LF); a text ending in a line break
// has no empty line after it.
std::vector<std::string> SplitMemoLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t i = 0;
  const std::size_t n = text.size();
  while (i < n) {
    const std::size_t start = i;
    while (i < n && text[i] != '\r' && text[i] != '\n') ++i;
    lines.push_back(text.substr(start, i - start));
    if (i < n && text[i] == '\r') ++i;
    if (i < n && text[i] == '\n') ++i;
  }
  return lines;
}

[[noreturn]] void LineIndexError(int index) {
  throw EStringListError("List index out of bounds (" + std::to_string(index) + ")");
}

}  // namespace

// ---- TCustomEdit --------------------------------------------------------------------------------

TCustomEdit::TCustomEdit(TComponent* owner) : TWinControl(owner) {
  color_ = clWindow;
  tabStop_ = true;
  SetBounds(0, 0, 121, 21);
  InheritWindowClass("EDIT");
}

TCustomEdit::~TCustomEdit() {
  if (brush_ != nullptr) DeleteObject(brush_);
}

LRESULT TCustomEdit::Send(UINT message, WPARAM wParam, LPARAM lParam) const {
  return handle_ != nullptr ? SendMessageA(handle_, message, wParam, lParam) : 0;
}

void TCustomEdit::CreateParams(TCreateParams& params) {
  TWinControl::CreateParams(params);
  params.Style |= EditStyle();
  if (readOnly_) params.Style |= ES_READONLY;
  if (passwordChar_ != 0) params.Style |= ES_PASSWORD;
  params.ExStyle |= WS_EX_CLIENTEDGE;
}

void TCustomEdit::CreateWnd() {
  const bool modified = modified_;
  TWinControl::CreateWnd();
  if (handle_ == nullptr) return;
  Send(EM_LIMITTEXT, static_cast<WPARAM>(maxLength_));
  if (passwordChar_ != 0) Send(EM_SETPASSWORDCHAR, static_cast<unsigned char>(passwordChar_));
  Send(WM_SETFONT, reinterpret_cast<WPARAM>(font_.Handle()), FALSE);
  Send(EM_SETMODIFY, modified ? TRUE : FALSE);
}

void TCustomEdit::DestroyWnd() {
  if (handle_ != nullptr) modified_ = Modified();
  TWinControl::DestroyWnd();
}

void TCustomEdit::SetMaxLength(int value) {
  maxLength_ = std::max(0, value);
  Send(EM_LIMITTEXT, static_cast<WPARAM>(maxLength_));
}

void TCustomEdit::SetPasswordChar(char value) {
  if (value == passwordChar_) return;
  passwordChar_ = value;
  if (handle_ == nullptr) return;
  Send(EM_SETPASSWORDCHAR, static_cast<unsigned char>(value));
  Invalidate();
}

void TCustomEdit::SetReadOnly(bool value) {
  readOnly_ = value;
  Send(EM_SETREADONLY, value ? TRUE : FALSE);
}

bool TCustomEdit::Modified() const {
  return handle_ != nullptr ? Send(EM_GETMODIFY) != 0 : modified_;
}

void TCustomEdit::SetModified(bool value) {
  modified_ = value;
  Send(EM_SETMODIFY, value ? TRUE : FALSE);
}

int TCustomEdit::SelStart() const {
  DWORD start = 0;
  Send(EM_GETSEL, reinterpret_cast<WPARAM>(&start), 0);
  return static_cast<int>(start);
}

void TCustomEdit::SetSelStart(int value) {
  Send(EM_SETSEL, static_cast<WPARAM>(value), static_cast<LPARAM>(value));
}

int TCustomEdit::SelLength() const {
  DWORD start = 0, end = 0;
  Send(EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  return static_cast<int>(end - start);
}

void TCustomEdit::SetSelLength(int value) {
  const int start = SelStart();
  Send(EM_SETSEL, static_cast<WPARAM>(start), static_cast<LPARAM>(start + std::max(0, value)));
}

std::string TCustomEdit::SelText() const {
  DWORD start = 0, end = 0;
  Send(EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  if (end <= start) return {};
  const std::string text = Text();
  if (start >= text.size()) return {};
  return text.substr(start, std::min<std::size_t>(end, text.size()) - start);
}

void TCustomEdit::SetSelText(const std::string& text) {
  Send(EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(text.c_str()));
}

void TCustomEdit::SelectAll() { Send(EM_SETSEL, 0, -1); }
void TCustomEdit::ClearSelection() { Send(WM_CLEAR); }
void TCustomEdit::CopyToClipboard() { Send(WM_COPY); }
void TCustomEdit::CutToClipboard() { Send(WM_CUT); }
void TCustomEdit::PasteFromClipboard() { Send(WM_PASTE); }
void TCustomEdit::Clear() { SetText(""); }
bool TCustomEdit::CanUndo() const { return Send(EM_CANUNDO) != 0; }
void TCustomEdit::Undo() { Send(WM_UNDO); }
void TCustomEdit::ClearUndo() { Send(EM_EMPTYUNDOBUFFER); }

void TCustomEdit::Change() {
  if (OnChange) {
    TNotifyEvent handler = OnChange;
    handler(this);
  }
}

void TCustomEdit::DoEnter() {
  // Entered by the keyboard (not by a click), a single-line edit selects its whole text.
  if (autoSelect_ && handle_ != nullptr && (GetKeyState(VK_LBUTTON) & 0x8000) == 0 &&
      (GetWindowLongA(handle_, GWL_STYLE) & ES_MULTILINE) == 0) {
    SelectAll();
  }
  TWinControl::DoEnter();
}

HBRUSH TCustomEdit::ColorBrush() {
  const COLORREF color = ColorToRGB(Color());
  if (brush_ == nullptr || brushColor_ != color) {
    if (brush_ != nullptr) DeleteObject(brush_);
    brush_ = CreateSolidBrush(color);
    brushColor_ = color;
  }
  return brush_;
}

void TCustomEdit::Dispatch(TMessage& message) {
  switch (message.Msg) {
    case CN_COMMAND:
      if (message.WParamHi() == EN_CHANGE) Change();
      message.Result = 0;
      return;
    case CN_BASE + WM_CTLCOLOREDIT:
    case CN_BASE + WM_CTLCOLORSTATIC: {
      auto dc = reinterpret_cast<HDC>(message.WParam);
      SetTextColor(dc, ColorToRGB(Font()->Color()));
      SetBkColor(dc, ColorToRGB(Color()));
      message.Result = reinterpret_cast<LRESULT>(ColorBrush());
      return;
    }
    case CM_FONTCHANGED:
      TWinControl::Dispatch(message);
      Send(WM_SETFONT, reinterpret_cast<WPARAM>(font_.Handle()), TRUE);
      return;
    case WM_SETCURSOR:
      // The edit's I-beam unless the control has a cursor of its own.
      if (cursor_ == crDefault && message.LParamLo() == HTCLIENT && Screen->Cursor() == crDefault &&
          reinterpret_cast<HWND>(message.WParam) == handle_) {
        ::SetCursor(LoadCursorA(nullptr, IDC_IBEAM));
        message.Result = TRUE;
        return;
      }
      break;
    default:
      break;
  }
  TWinControl::Dispatch(message);
}

// ---- TMemoStrings -------------------------------------------------------------------------------

std::vector<std::string> TMemoStrings::Lines() const {
  if (buffering_) return buffer_;
  return SplitMemoLines(memo_->Text());
}

void TMemoStrings::Store(const std::vector<std::string>& lines) {
  if (buffering_) {
    buffer_ = lines;
    bufferChanged_ = true;
    return;
  }
  std::string text;
  for (const std::string& line : lines) {
    text += line;
    text += "\r\n";
  }
  memo_->SetText(text);
}

int TMemoStrings::Count() const { return static_cast<int>(Lines().size()); }

std::string TMemoStrings::Get(int index) const {
  std::vector<std::string> lines = Lines();
  if (index < 0 || index >= static_cast<int>(lines.size())) LineIndexError(index);
  return lines[static_cast<std::size_t>(index)];
}

void TMemoStrings::Put(int index, const std::string& s) {
  std::vector<std::string> lines = Lines();
  if (index < 0 || index >= static_cast<int>(lines.size())) LineIndexError(index);
  lines[static_cast<std::size_t>(index)] = s;
  Store(lines);
}

void TMemoStrings::Insert(int index, const std::string& s) {
  std::vector<std::string> lines = Lines();
  if (index < 0 || index > static_cast<int>(lines.size())) LineIndexError(index);
  // A line holds no line break: one given with them becomes several lines.
  std::vector<std::string> added = SplitMemoLines(s);
  if (added.empty()) added.emplace_back();
  lines.insert(lines.begin() + index, added.begin(), added.end());
  Store(lines);
}

void TMemoStrings::Delete(int index) {
  std::vector<std::string> lines = Lines();
  if (index < 0 || index >= static_cast<int>(lines.size())) LineIndexError(index);
  lines.erase(lines.begin() + index);
  Store(lines);
}

void TMemoStrings::Clear() {
  if (buffering_) {
    buffer_.clear();
    bufferChanged_ = true;
    return;
  }
  memo_->SetText("");
}

void TMemoStrings::SetUpdateState(bool updating) {
  if (updating) {
    buffer_ = SplitMemoLines(memo_->Text());
    bufferChanged_ = false;
    buffering_ = true;
    return;
  }
  buffering_ = false;
  if (bufferChanged_) Store(buffer_);
  buffer_.clear();
  bufferChanged_ = false;
}

// ---- TCustomMemo --------------------------------------------------------------------------------

TCustomMemo::TCustomMemo(TComponent* owner) : TCustomEdit(owner) {
  SetBounds(left_, top_, 185, 89);
}

DWORD TCustomMemo::EditStyle() const {
  DWORD style = ES_MULTILINE | ES_AUTOVSCROLL;
  if (!wordWrap_) style |= ES_AUTOHSCROLL;
  return style;
}

void TCustomMemo::CreateParams(TCreateParams& params) {
  TCustomEdit::CreateParams(params);
  if (scrollBars_ == ssVertical || scrollBars_ == ssBoth) params.Style |= WS_VSCROLL;
  // A horizontal scroll bar only where lines do not wrap.
  if ((scrollBars_ == ssHorizontal || scrollBars_ == ssBoth) && !wordWrap_) params.Style |= WS_HSCROLL;
}

void TCustomMemo::SetWordWrap(bool value) {
  if (value == wordWrap_) return;
  wordWrap_ = value;
  RecreateWnd();
}

void TCustomMemo::SetScrollBars(TScrollStyle value) {
  if (value == scrollBars_) return;
  scrollBars_ = value;
  RecreateWnd();
}

void TCustomMemo::Dispatch(TMessage& message) {
  if (message.Msg == WM_GETDLGCODE) {
    TCustomEdit::Dispatch(message);
    // Tab and Enter are the form's unless the memo wants them.
    const auto* pending = reinterpret_cast<const MSG*>(message.LParam);
    const WPARAM key = pending != nullptr && pending->message == WM_KEYDOWN ? pending->wParam : message.WParam;
    if (wantTabs_) message.Result |= DLGC_WANTTAB;
    else message.Result &= ~DLGC_WANTTAB;
    if ((key == VK_TAB && !wantTabs_) || (key == VK_RETURN && !wantReturns_)) message.Result &= ~DLGC_WANTALLKEYS;
    return;
  }
  if (message.Msg == WM_CHAR && message.WParam == '\r' && !wantReturns_) {
    message.Result = 0;
    return;
  }
  TCustomEdit::Dispatch(message);
}

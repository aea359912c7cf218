// Edit controls: the raw "EDIT" window class and the class library's TCustomEdit, TEdit and
// TMemo over it.
//
// The "EDIT" class (CreateWindowExA(0, "EDIT", ...)) shows a Qt line edit, or a plain-text
// edit with ES_MULTILINE, in its client area (platform-internal Wrapped.h): caret, selection,
// undo, input methods and scrolling are Qt's, while keys, characters and the mouse pass our
// message chain first. Everything at its interface is GBK, as an ANSI edit answers:
// - WM_SETTEXT / WM_GETTEXT / WM_GETTEXTLENGTH in GBK bytes; a multi-line edit's lines are
//   separated by CR LF. WM_SETTEXT clears the undo history and the modified flag and puts the
//   caret at the start; the limit does not apply to it.
// - Positions (EM_SETSEL, EM_GETSEL, EM_LINEINDEX...) count GBK bytes, CR LF as two; a position
//   inside a double-byte character means the character's start; beyond the text, its end.
// - The length limit (EM_LIMITTEXT, 30000 at first, 0 for none) counts GBK bytes. Typed text
//   that would pass it is refused with a beep and EN_MAXTEXT; pasted text and EM_REPLACESEL
//   keep the whole characters that fit (EN_MAXTEXT, a beep when something was left out).
// - A character GBK cannot hold never enters: typed it is dropped with a beep before it becomes
//   WM_CHAR, pasted the whole paste is refused with a beep.
// - ES_NUMBER refuses typed and pasted text that is not all digits (a beep). ES_PASSWORD shows
//   every character as the password character ('*', EM_SETPASSWORDCHAR) and never copies.
//   ES_READONLY (EM_SETREADONLY) keeps the text from the user. A single-line edit without
//   ES_AUTOHSCROLL refuses text that would not fit its width; a multi-line one without
//   ES_AUTOHSCROLL or WS_HSCROLL wraps its lines at the width. WS_HSCROLL / WS_VSCROLL show the
//   edit's scroll bars. ES_CENTER / ES_RIGHT align a single line; ES_UPPERCASE / ES_LOWERCASE
//   change typed and pasted letters.
// - Clipboard: WM_COPY, WM_CUT, WM_PASTE, WM_CLEAR; the keys Ctrl+C, Ctrl+X, Ctrl+V, Ctrl+Z and
//   Ctrl+A act through their characters (3, 24, 22, 26, 1), as an edit takes them, so a window
//   procedure that drops control characters stops them; Ctrl+Insert, Shift+Insert and
//   Shift+Delete act on the key. Each sends the clipboard message to the window itself.
// - Notifications to the parent (WM_COMMAND, the window's id): EN_CHANGE after every change of
//   the text (WM_SETTEXT included), EN_SETFOCUS, EN_KILLFOCUS, EN_MAXTEXT.
// - WM_GETDLGCODE: DLGC_WANTCHARS | DLGC_HASSETSEL | DLGC_WANTARROWS, and DLGC_WANTALLKEYS for a
//   multi-line edit. EM_GETLINECOUNT is 1 for a single-line edit, else the number of lines
//   (paragraphs: a wrapped line counts once).
// - Colours: before painting the edit asks its parent with WM_CTLCOLOREDIT (WM_CTLCOLORSTATIC
//   when read-only or disabled) as an edit does: the text colour set on the context and the
//   brush returned colour the text and the background.
//
// TEdit / TMemo are windows of their own classes ("TEdit", "TMemo") whose default procedure is
// the "EDIT" class's: OnKeyDown, OnKeyPress, a subclassed WndProc and the application's message
// hook see the input first. Properties set before the window exists are kept and applied when
// it is made. UI thread only.
#pragma once

#include "platform/Control.h"
#include "platform/StringList.h"

#include <string>

// The scroll bars of a memo (and of a grid).
enum TScrollStyle { ssNone, ssHorizontal, ssVertical, ssBoth };

// The shared base of the edit controls: text, selection, limit, clipboard and change events
// over the "EDIT" class's messages. Without a window the text and settings are kept and the
// selection reads 0.
class TCustomEdit : public TWinControl {
 public:
  explicit TCustomEdit(TComponent* owner);   // 121 x 21, white, sunken edge, tab stop
  ~TCustomEdit() override;
  const char* ClassName() const override { return "TCustomEdit"; }

  // The limit in GBK bytes; 0 for none. Text already there stays.
  int MaxLength() const { return maxLength_; }
  void SetMaxLength(int value);
  // 0 shows the text; any other character hides every character behind it.
  char PasswordChar() const { return passwordChar_; }
  void SetPasswordChar(char value);
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool value);
  // The whole text is selected when the control is entered by the keyboard (single line).
  bool AutoSelect() const { return autoSelect_; }
  void SetAutoSelect(bool value) { autoSelect_ = value; }
  // Changed by the user since the text was last set (or the flag cleared).
  bool Modified() const;
  void SetModified(bool value);

  // The selection in GBK bytes (CR LF counting two); setting SelStart empties the selection.
  int SelStart() const;
  void SetSelStart(int value);
  int SelLength() const;
  void SetSelLength(int value);
  std::string SelText() const;
  void SetSelText(const std::string& text);   // replaces the selection (the limit applies)
  void SelectAll();
  void ClearSelection();   // deletes the selected text
  void CopyToClipboard();
  void CutToClipboard();
  void PasteFromClipboard();
  void Clear();            // empties the text
  bool CanUndo() const;
  void Undo();
  void ClearUndo();

  // After every change of the text, by the user or by code.
  TNotifyEvent OnChange;

  void Dispatch(TMessage& message) override;

 protected:
  void CreateParams(TCreateParams& params) override;
  void CreateWnd() override;
  void DestroyWnd() override;
  void DoEnter() override;
  virtual void Change();   // OnChange
  // The window's extra styles of this kind of edit (ES_AUTOHSCROLL, ES_MULTILINE...).
  virtual DWORD EditStyle() const { return ES_AUTOHSCROLL; }
  LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;

 private:
  HBRUSH ColorBrush();
  int maxLength_ = 0;
  char passwordChar_ = 0;
  bool readOnly_ = false;
  bool autoSelect_ = true;
  bool modified_ = false;   // kept while there is no window
  HBRUSH brush_ = nullptr;
  COLORREF brushColor_ = 0;
};

class TEdit : public TCustomEdit {
 public:
  explicit TEdit(TComponent* owner) : TCustomEdit(owner) {}
  const char* ClassName() const override { return "TEdit"; }
};

class TCustomMemo;

// A memo's lines, read from and written to its text: each line followed by CR LF, as
// TStrings::Text gives it (a last line without CR LF counts too). Changes between
// BeginUpdate and EndUpdate are written to the memo once, at the last EndUpdate. Lines carry
// no objects.
class TMemoStrings : public TStrings {
 public:
  explicit TMemoStrings(TCustomMemo* memo) : memo_(memo) {}
  int Count() const override;
  std::string Get(int index) const override;
  void Put(int index, const std::string& s) override;
  void* GetObject(int) const override { return nullptr; }
  void PutObject(int, void*) override {}
  void Insert(int index, const std::string& s) override;   // index == Count appends
  void Delete(int index) override;
  void Clear() override;

 protected:
  void SetUpdateState(bool updating) override;

 private:
  std::vector<std::string> Lines() const;
  void Store(const std::vector<std::string>& lines);
  TCustomMemo* memo_;
  bool buffering_ = false;
  std::vector<std::string> buffer_;   // the lines while updating
  bool bufferChanged_ = false;
};

class TCustomMemo : public TCustomEdit {
 public:
  explicit TCustomMemo(TComponent* owner);   // 185 x 89
  const char* ClassName() const override { return "TCustomMemo"; }

  TStrings* Lines() { return &lines_; }
  void SetLines(const TStrings& lines) { lines_.Assign(lines); }
  // Long lines wrap at the width (the default) or scroll sideways.
  bool WordWrap() const { return wordWrap_; }
  void SetWordWrap(bool value);
  TScrollStyle ScrollBars() const { return scrollBars_; }
  void SetScrollBars(TScrollStyle value);
  // Enter types a line break (the default) or goes to the form (the default button).
  bool WantReturns() const { return wantReturns_; }
  void SetWantReturns(bool value) { wantReturns_ = value; }
  // Tab types a tab, or moves the focus (the default).
  bool WantTabs() const { return wantTabs_; }
  void SetWantTabs(bool value) { wantTabs_ = value; }

  void Dispatch(TMessage& message) override;

 protected:
  void CreateParams(TCreateParams& params) override;
  DWORD EditStyle() const override;

 private:
  TMemoStrings lines_{this};
  bool wordWrap_ = true;
  TScrollStyle scrollBars_ = ssNone;
  bool wantReturns_ = true;
  bool wantTabs_ = false;
};

class TMemo : public TCustomMemo {
 public:
  explicit TMemo(TComponent* owner) : TCustomMemo(owner) {}
  const char* ClassName() const override { return "TMemo"; }
};

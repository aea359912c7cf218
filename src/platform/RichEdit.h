// The rich edit: the window class "RichEdit20A" (a Qt plain-text editor hosted in our window, see
// internal/Wrapped.h) and the class library's TRichEdit over it.
//
// The control only ever holds plain text: nothing is read as HTML or RTF, "<b>x</b>" shows as
// typed. Character positions (EM_EXSETSEL, EM_EXGETSEL, EM_GETTEXTRANGE, the link ranges) count
// characters, a Chinese character being one, and a line break one. Text crosses the boundary as
// GBK: WM_GETTEXT gives line breaks as CR LF, EM_GETTEXTRANGE and EM_GETSELTEXT give one CR per
// break, so that a range's bytes line up with its positions. Ranges beyond the text are held to
// it; a null buffer gives 0.
//
// Links: with EM_AUTOURLDETECT on, text starting with "http://", "https://", "ftp://", "mailto:"
// or "www." (ASCII case ignored, not inside a word) is a link up to the first blank, non-ASCII
// character or character no address holds; trailing '.', ',', ';', ':', '!', '?', quotes and
// unbalanced closing brackets are not part of it. Links are shown underlined in the link colour
// and hold ASCII only, so a link's length in characters is its length in GBK bytes. With ENM_LINK
// in the event mask, every mouse message over a link goes first to the parent as WM_NOTIFY
// EN_LINK (an ENLINK with the message and the link's range); a non-zero answer swallows the
// message, so the editor never sees it.
//
// With ENM_CHANGE the parent gets WM_COMMAND EN_CHANGE after every change of the text, made by
// the user or by code. UI thread only.
#pragma once

#include "platform/Control.h"
#include "platform/Grid.h"    // TScrollStyle
#include "platform/Panel.h"   // TBorderStyle
#include "platform/StringList.h"
#include "platform/WinUser.h"

#include <string>
#include <string_view>
#include <vector>

// ---- Structures and messages of the rich edit ----------------------------------------------------

// A range of character positions, cpMax excluded; cpMax -1 means the end of the text.
struct CHARRANGE {
  LONG cpMin;
  LONG cpMax;
};

// EM_GETTEXTRANGE: the range and a buffer the caller made large enough for the range's GBK bytes
// and a terminating zero (two bytes a character is always enough).
struct TEXTRANGEA {
  CHARRANGE chrg;
  LPSTR lpstrText;
};

// WM_NOTIFY EN_LINK: the mouse message over a link and the link's range.
struct ENLINK {
  NMHDR nmhdr;
  UINT msg;
  WPARAM wParam;
  LPARAM lParam;
  CHARRANGE chrg;
};

// EM_SETCHARFORMAT: the text is plain, so the one colour applies to the whole text whatever the
// SCF_ scope; only CFM_COLOR is honoured.
struct CHARFORMATA {
  UINT cbSize;
  DWORD dwMask;
  DWORD dwEffects;
  LONG yHeight;
  LONG yOffset;
  COLORREF crTextColor;
  BYTE bCharSet;
  BYTE bPitchAndFamily;
  char szFaceName[32];
};

constexpr UINT EM_EXGETSEL = WM_USER + 52;        // lParam CHARRANGE*
constexpr UINT EM_EXLIMITTEXT = WM_USER + 53;
constexpr UINT EM_EXSETSEL = WM_USER + 55;        // lParam CHARRANGE*; {0, -1} all, cpMin -1 none
constexpr UINT EM_GETEVENTMASK = WM_USER + 59;
constexpr UINT EM_GETSELTEXT = WM_USER + 62;      // lParam buffer; returns the bytes copied
constexpr UINT EM_HIDESELECTION = WM_USER + 63;   // wParam TRUE hides the selection
constexpr UINT EM_SETBKGNDCOLOR = WM_USER + 67;   // wParam TRUE: the system colour, else lParam; returns the old one
constexpr UINT EM_SETCHARFORMAT = WM_USER + 68;   // wParam SCF_, lParam CHARFORMATA*
constexpr UINT EM_SETEVENTMASK = WM_USER + 69;    // lParam ENM_ bits; returns the old mask
constexpr UINT EM_GETTEXTRANGE = WM_USER + 75;    // lParam TEXTRANGEA*; returns the bytes copied
constexpr UINT EM_AUTOURLDETECT = WM_USER + 91;   // wParam TRUE turns link detection on; returns 0
constexpr UINT EM_GETAUTOURLDETECT = WM_USER + 92;

constexpr UINT EN_LINK = 0x070B;

constexpr DWORD ENM_NONE = 0x00000000;
constexpr DWORD ENM_CHANGE = 0x00000001;
constexpr DWORD ENM_SELCHANGE = 0x00080000;
constexpr DWORD ENM_LINK = 0x04000000;

constexpr WPARAM SCF_DEFAULT = 0x0000;
constexpr WPARAM SCF_SELECTION = 0x0001;
constexpr WPARAM SCF_ALL = 0x0004;
constexpr DWORD CFM_COLOR = 0x40000000;
constexpr DWORD CFE_AUTOCOLOR = 0x40000000;

constexpr WPARAM AURL_ENABLEURL = 1;

namespace zuvo::platform {

// The links in a text (UTF-16, one unit a character), in order, by the rules above; ranges are
// positions in `text`.
std::vector<CHARRANGE> FindLinks(std::u16string_view text);

}  // namespace zuvo::platform

// ---- TRichEdit -----------------------------------------------------------------------------

class TRichEdit;

// The lines of a rich edit, live: reading gives the text as it is now. Between BeginUpdate and
// EndUpdate (SetText, Assign, LoadFromFile) the lines are kept aside and the text is replaced
// once at the end; before the window exists they are kept until it is made. Objects are not
// kept (always null).
class TRichEditStrings : public TStrings {
 public:
  explicit TRichEditStrings(TRichEdit* edit) : edit_(edit) {}
  int Count() const override;
  std::string Get(int index) const override;
  void Put(int index, const std::string& s) override;
  void* GetObject(int index) const override;
  void PutObject(int index, void* object) override;
  void Insert(int index, const std::string& s) override;
  void Delete(int index) override;
  void Clear() override;

 protected:
  void SetUpdateState(bool updating) override;

 private:
  friend class TRichEdit;
  void Check(int index, int count) const;
  // Takes the lines out of the window into the buffer (a no-op when they are there already).
  void Hold();
  // Puts the buffer into the window when it changed, and reads from the window again.
  void Release();
  HWND Window() const;
  TRichEdit* edit_;
  std::vector<std::string> buffer_;
  bool held_ = true;    // the lines are in buffer_, not in the window
  bool dirty_ = false;  // buffer_ changed since it was taken
};

class TRichEdit : public TWinControl {
 public:
  explicit TRichEdit(TComponent* owner);   // 185 x 89, clWindow, sunken edge, tab stop
  ~TRichEdit() override;
  const char* ClassName() const override { return "TRichEdit"; }

  TStrings* Lines() { return &lines_; }
  void SetLines(const TStrings& lines) { lines_.Assign(lines); }
  // Replaces the text by the file's (GBK; bytes GBK has no character for show as U+FFFD and
  // never stop the load). A file that cannot be read leaves the text empty and gives false.
  bool LoadFromFile(const std::string& path);
  void Clear();

  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool value);
  TScrollStyle ScrollBars() const { return scrollBars_; }
  void SetScrollBars(TScrollStyle value);   // the window is made again
  bool WordWrap() const { return wordWrap_; }
  void SetWordWrap(bool value);             // the window is made again
  TBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TBorderStyle value);  // bsSingle: a sunken edge; the window is made again
  // Tab inserts a tab instead of moving the focus; Enter inserts a line break instead of going
  // to the form (a default button).
  bool WantTabs() const { return wantTabs_; }
  void SetWantTabs(bool value) { wantTabs_ = value; }
  bool WantReturns() const { return wantReturns_; }
  void SetWantReturns(bool value) { wantReturns_ = value; }
  // The selection is not shown while the control has no focus.
  bool HideSelection() const { return hideSelection_; }
  void SetHideSelection(bool value);

  // Selection in character positions.
  int SelStart();
  void SetSelStart(int position);   // no selection, the caret there
  int SelLength();
  void SetSelLength(int length);    // from SelStart
  std::string SelText();            // GBK, one CR per line break
  void SetSelText(const std::string& text);
  void SelectAll();
  // The text of a range (GBK, one CR per line break); held to the text.
  std::string TextRange(int start, int end);
  int GetTextLen();   // WM_GETTEXTLENGTH: GBK bytes, line breaks as CR LF

  void CopyToClipboard();
  void CutToClipboard();
  void PasteFromClipboard();
  void ClearSelection();
  bool CanUndo();
  void Undo();
  void ClearUndo();

  // After every change of the text (by the user or by code).
  TNotifyEvent OnChange;

  void WndProc(TMessage& message) override;

 protected:
  void CreateParams(TCreateParams& params) override;
  void CreateWnd() override;
  void DestroyWnd() override;
  void KeyPress(char& key) override;
  virtual void Change();

 private:
  friend class TRichEditStrings;
  LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
  void ApplyFontAndColor();
  TRichEditStrings lines_{this};
  bool readOnly_ = false;
  TScrollStyle scrollBars_ = ssNone;
  bool wordWrap_ = true;
  TBorderStyle borderStyle_ = bsSingle;
  bool wantTabs_ = false;
  bool wantReturns_ = true;
  bool hideSelection_ = true;
};

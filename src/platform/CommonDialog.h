// The common dialogs: the class library's open, save, colour, font and print dialogs, and the
// file-dialog calls GetOpenFileNameA / GetSaveFileNameA with their record. Every dialog goes
// through one service: the default shows Qt's own dialogs (never the desktop's) modally over
// the owner, every other top-level window disabled while it runs; tests install
// ScriptedDialogs, which answers from a queue and records what was asked. A dialog nobody
// scripted prints what was asked and stops the run.
//
// Paths: a chosen file comes back as a GBK path the file layer opens as it stands. A file
// inside the install tree comes back in the program's own form, relative to its folder
// (".\shot.png", "..\user\a.pio", a drive folder as "C:\x"); any other file as its absolute
// path in Windows form ("\home\u\Shot.PNG"), spelt as on disk, no case folded. The initial
// folder ".\" is the program's folder. The dialogs never change the current directory,
// whatever the options say: the program's relative paths (".\pit.dat", "..\cfg\...") depend
// on it.
// UI thread; a worker's call is run on the UI thread and waits for it.
#pragma once

#include "platform/Canvas.h"
#include "platform/Control.h"
#include "platform/ScopedDouble.h"
#include "platform/WinBase.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// ---- The file-dialog calls -----------------------------------------------------------------

constexpr DWORD OFN_READONLY = 0x00000001;
constexpr DWORD OFN_OVERWRITEPROMPT = 0x00000002;
constexpr DWORD OFN_HIDEREADONLY = 0x00000004;
constexpr DWORD OFN_NOCHANGEDIR = 0x00000008;
constexpr DWORD OFN_SHOWHELP = 0x00000010;
constexpr DWORD OFN_ENABLEHOOK = 0x00000020;
constexpr DWORD OFN_ENABLETEMPLATE = 0x00000040;
constexpr DWORD OFN_ENABLETEMPLATEHANDLE = 0x00000080;
constexpr DWORD OFN_NOVALIDATE = 0x00000100;
constexpr DWORD OFN_ALLOWMULTISELECT = 0x00000200;
constexpr DWORD OFN_EXTENSIONDIFFERENT = 0x00000400;
constexpr DWORD OFN_PATHMUSTEXIST = 0x00000800;
constexpr DWORD OFN_FILEMUSTEXIST = 0x00001000;
constexpr DWORD OFN_CREATEPROMPT = 0x00002000;
constexpr DWORD OFN_SHAREAWARE = 0x00004000;
constexpr DWORD OFN_NOREADONLYRETURN = 0x00008000;
constexpr DWORD OFN_NOTESTFILECREATE = 0x00010000;
constexpr DWORD OFN_NONETWORKBUTTON = 0x00020000;
constexpr DWORD OFN_NOLONGNAMES = 0x00040000;
constexpr DWORD OFN_EXPLORER = 0x00080000;
constexpr DWORD OFN_NODEREFERENCELINKS = 0x00100000;
constexpr DWORD OFN_LONGNAMES = 0x00200000;
constexpr DWORD OFN_ENABLEINCLUDENOTIFY = 0x00400000;
constexpr DWORD OFN_ENABLESIZING = 0x00800000;
constexpr DWORD OFN_DONTADDTORECENT = 0x02000000;
constexpr DWORD OFN_FORCESHOWHIDDEN = 0x10000000;

// CommDlgExtendedError codes.
constexpr DWORD CDERR_DIALOGFAILURE = 0xFFFF;
constexpr DWORD CDERR_STRUCTSIZE = 0x0001;
constexpr DWORD CDERR_INITIALIZATION = 0x0002;
constexpr DWORD FNERR_INVALIDFILENAME = 0x3002;
constexpr DWORD FNERR_BUFFERTOOSMALL = 0x3003;

using LPOFNHOOKPROC = UINT_PTR (*)(HWND, UINT, WPARAM, LPARAM);

struct OPENFILENAMEA {
  DWORD lStructSize;
  HWND hwndOwner;
  HINSTANCE hInstance;
  LPCSTR lpstrFilter;        // pairs of texts: description, pattern ("*.png;*.jpg"); "" ends
  LPSTR lpstrCustomFilter;   // not used
  DWORD nMaxCustFilter;
  DWORD nFilterIndex;        // from 1, in and out
  LPSTR lpstrFile;           // in: the start name; out: the chosen path
  DWORD nMaxFile;            // bytes of lpstrFile, the closing zero included
  LPSTR lpstrFileTitle;      // optional: out, the chosen name without its folder
  DWORD nMaxFileTitle;
  LPCSTR lpstrInitialDir;
  LPCSTR lpstrTitle;
  DWORD Flags;
  WORD nFileOffset;          // out: where the name starts in lpstrFile
  WORD nFileExtension;       // out: where the extension starts (0 without one)
  LPCSTR lpstrDefExt;        // without the dot
  LPARAM lCustData;
  LPOFNHOOKPROC lpfnHook;
  LPCSTR lpTemplateName;
  void* pvReserved;
  DWORD dwReserved;
  DWORD FlagsEx;
};
// The record size of the older dialog (up to lpTemplateName), also accepted.
constexpr DWORD OPENFILENAME_SIZE_VERSION_400A = static_cast<DWORD>(offsetof(OPENFILENAMEA, pvReserved));

// Shows the open or save dialog. TRUE with the chosen path in lpstrFile (and nFilterIndex,
// nFileOffset, nFileExtension, lpstrFileTitle set) when the user chose a file; FALSE when he
// cancelled (CommDlgExtendedError 0) or the call failed:
// - CDERR_INITIALIZATION for a null record or name buffer, CDERR_STRUCTSIZE for another size;
// - FNERR_BUFFERTOOSMALL when the chosen path and its zero do not fit in nMaxFile bytes (or the
//   name in nMaxFileTitle): the name is never cut; the first two bytes of lpstrFile then hold
//   the size needed, as a WORD, when nMaxFile is at least 2.
// The filter list is read pair by pair up to its closing empty text; a list without it is read
// no further than kMaxFilterListBytes, and a lone description at the end is dropped, so the
// list ends at the last complete pair. A filter index outside the list is taken as 1.
// The start name in lpstrFile is read up to its zero within nMaxFile bytes. lpstrDefExt is
// appended, after a dot, to a chosen name that has no extension. OFN_NOCHANGEDIR is implied.
BOOL GetOpenFileNameA(OPENFILENAMEA* record);
BOOL GetSaveFileNameA(OPENFILENAMEA* record);
// The error of the calling thread's last file-dialog call (0 after success or a cancel).
DWORD CommDlgExtendedError();

// ---- The class library's dialogs -------------------------------------------------------------

enum TOpenOption {
  ofReadOnly, ofOverwritePrompt, ofHideReadOnly, ofNoChangeDir, ofShowHelp, ofNoValidate,
  ofAllowMultiSelect, ofExtensionDifferent, ofPathMustExist, ofFileMustExist, ofCreatePrompt,
  ofShareAware, ofNoReadOnlyReturn, ofNoTestFileCreate, ofNoNetworkButton, ofNoLongNames,
  ofOldStyleDialog, ofNoDereferenceLinks, ofEnableIncludeNotify, ofEnableSizing,
  ofDontAddToRecent, ofForceShowHidden
};
class TOpenOptions {
 public:
  constexpr TOpenOptions() = default;
  constexpr TOpenOptions(std::initializer_list<TOpenOption> options) {
    for (TOpenOption o : options) bits_ |= 1u << o;
  }
  constexpr bool Contains(TOpenOption o) const { return (bits_ >> o) & 1u; }
  constexpr TOpenOptions& operator<<(TOpenOption o) { bits_ |= 1u << o; return *this; }
  constexpr TOpenOptions& operator>>(TOpenOption o) { bits_ &= ~(1u << o); return *this; }
  constexpr bool Empty() const { return bits_ == 0; }
  constexpr std::uint32_t Bits() const { return bits_; }
  constexpr bool operator==(const TOpenOptions&) const = default;

  // The OFN_ flags of the options and back (flags without an option are dropped).
  DWORD ToFlags() const;
  static TOpenOptions FromFlags(DWORD flags);

 private:
  std::uint32_t bits_ = 0;
};

class TCommonDialog : public TComponent {
 public:
  explicit TCommonDialog(TComponent* owner) : TComponent(owner) {}
  virtual const char* ClassName() const { return "TCommonDialog"; }
  // Shows the dialog modally over the active window; true when the user chose (OK).
  virtual bool Execute() = 0;
};

// The open dialog. Filter is "description|pattern|description|pattern..." (a lone description
// at the end is dropped); FilterIndex counts from 1, is read before and set after the dialog,
// and is taken as 1 when outside the list. FileName is the start name before and the chosen
// path after (see the header's note on paths). Options start as [ofHideReadOnly, ofEnableSizing].
class TOpenDialog : public TCommonDialog {
 public:
  explicit TOpenDialog(TComponent* owner) : TCommonDialog(owner) {}
  const char* ClassName() const override { return "TOpenDialog"; }
  const std::string& FileName() const { return fileName_; }
  void SetFileName(const std::string& name) { fileName_ = name; }
  const std::string& Filter() const { return filter_; }
  void SetFilter(const std::string& filter) { filter_ = filter; }
  int FilterIndex() const { return filterIndex_; }
  void SetFilterIndex(int index) { filterIndex_ = index; }
  const std::string& InitialDir() const { return initialDir_; }
  void SetInitialDir(const std::string& dir) { initialDir_ = dir; }
  const std::string& Title() const { return title_; }
  void SetTitle(const std::string& title) { title_ = title; }
  const std::string& DefaultExt() const { return defaultExt_; }
  void SetDefaultExt(const std::string& ext) { defaultExt_ = ext; }
  TOpenOptions Options() const { return options_; }
  void SetOptions(TOpenOptions options) { options_ = options; }
  bool Execute() override;

 protected:
  virtual bool Saving() const { return false; }

 private:
  std::string fileName_;
  std::string filter_;
  int filterIndex_ = 1;
  std::string initialDir_;
  std::string title_;
  std::string defaultExt_;
  TOpenOptions options_{ofHideReadOnly, ofEnableSizing};
};

class TSaveDialog : public TOpenDialog {
 public:
  explicit TSaveDialog(TComponent* owner) : TOpenDialog(owner) {}
  const char* ClassName() const override { return "TSaveDialog"; }

 protected:
  bool Saving() const override { return true; }
};

// Color is read before and set after the dialog; only its low 24 bits (0x00BBGGRR) are shown
// and given back.
class TColorDialog : public TCommonDialog {
 public:
  explicit TColorDialog(TComponent* owner) : TCommonDialog(owner) {}
  const char* ClassName() const override { return "TColorDialog"; }
  TColor Color() const { return color_; }
  void SetColor(TColor color) { color_ = color; }
  bool Execute() override;

 private:
  TColor color_ = clBlack;
};

// Font is read before and set after the dialog: face, height, style bits and colour. The real
// dialog shows the face through the drawing layer's face substitution (宋体 shows as the
// installed family that draws it) and gives the face back unchanged when the user kept that
// family.
class TFontDialog : public TCommonDialog {
 public:
  explicit TFontDialog(TComponent* owner) : TCommonDialog(owner) {}
  const char* ClassName() const override { return "TFontDialog"; }
  TFont* Font() { return &font_; }
  bool Execute() override;

 private:
  TFont font_;
};

// Lets the user choose a printer; the chosen one becomes the current printer.
class TPrintDialog : public TCommonDialog {
 public:
  explicit TPrintDialog(TComponent* owner) : TCommonDialog(owner) {}
  const char* ClassName() const override { return "TPrintDialog"; }
  bool Execute() override;
};

namespace zuvo::platform {

// ---- The current printer ------------------------------------------------------------------
// The printer that printing uses (UTF-8 name as the print system knows it); empty for the
// system's default printer. Any thread.
std::string CurrentPrinterName();
void SetCurrentPrinterName(const std::string& name);
// Where the print dialog gets the printers to offer. By default (and after null is set) the
// print system's own list through Qt, the names UTF-8 as CurrentPrinterName takes them; empty on
// a machine without printers, where printing goes to PDF files. Tests install a source of their
// own. Setting is any thread; the default list is read on the UI thread (as the print dialog
// does), a source set is called on the caller's.
using PrinterListSource = std::function<std::vector<std::string>()>;
void SetPrinterListSource(PrinterListSource source);
std::vector<std::string> AvailablePrinters();

// ---- The dialog service -------------------------------------------------------------------

enum class DialogKind { Open, Save, Color, Font, Print };
const char* DialogKindName(DialogKind kind);

struct FileFilter {
  std::string description;   // GBK
  std::string pattern;       // GBK, patterns separated by ';'
  bool operator==(const FileFilter&) const = default;
};

struct FontChoice {
  std::string name;     // GBK face
  int height = -12;     // as TFont::Height (negative: character height in pixels)
  TFontStyles style = 0;
  TColor color = clBlack;
  bool operator==(const FontChoice&) const = default;
};

// What a dialog asks.
struct DialogRequest {
  DialogKind kind = DialogKind::Open;
  HWND owner = nullptr;
  std::string title;               // GBK; empty for the dialog's own
  // File dialogs.
  std::vector<FileFilter> filters;
  int filterIndex = 1;             // from 1; 1 also with no filters
  std::string initialDir;          // GBK, as given
  std::string initialFolder;       // the folder shown: absolute, native (UTF-8)
  std::string fileName;            // GBK start name, as given
  std::string defaultExt;          // GBK, without the dot
  TOpenOptions options;
  // Colour dialog: the start colour (low 24 bits).
  TColor color = clBlack;
  // Font dialog: the start font.
  FontChoice font;
  // Print dialog: the printers offered and the current one.
  std::vector<std::string> printers;
  std::string currentPrinter;
};

// What the user answered.
struct DialogAnswer {
  bool ok = false;
  // File dialogs: the chosen file as the dialog gives it, a native path (UTF-8; absolute, or
  // relative to the folder shown), and the filter chosen (from 1; 0 keeps the one asked).
  std::string path;
  int filterIndex = 0;
  TColor color = clBlack;
  FontChoice font;
  std::string printer;
};

class DialogService {
 public:
  virtual ~DialogService() = default;
  // Shows one dialog and returns when it is closed. UI thread.
  virtual DialogAnswer Show(const DialogRequest& request) = 0;
};

// Installs a service (null restores Qt's dialogs) and returns the previous one (null when none
// was installed or made yet). Any thread.
std::shared_ptr<DialogService> SetDialogService(std::shared_ptr<DialogService> service);
std::shared_ptr<DialogService> GetDialogService();

// A test double: each dialog takes the next answer, which must be for its kind (Cancel suits
// any). A dialog without an answer, or with one for another kind, prints what was asked and
// stops the run (std::abort). Records every request. Thread-safe.
class ScriptedDialogs : public DialogService {
 public:
  // A file chosen in an open or save dialog: a native path, relative ones taken in the folder
  // shown; filterIndex 0 keeps the filter asked.
  void AnswerFile(const std::string& nativePath, int filterIndex = 0);
  void AnswerColor(TColor color);
  void AnswerFont(const FontChoice& font);
  void AnswerPrinter(const std::string& printer);
  void Cancel();

  DialogAnswer Show(const DialogRequest& request) override;
  std::vector<DialogRequest> Asked() const;
  std::size_t Count() const;
  std::size_t Pending() const;   // answers not used yet

 private:
  struct Scripted {
    bool any = false;   // Cancel: suits every kind
    bool fileKind = false;
    DialogKind kind = DialogKind::Open;
    DialogAnswer answer;
  };
  mutable std::mutex mutex_;
  std::deque<Scripted> answers_;
  std::vector<DialogRequest> asked_;
};

using ScopedScriptedDialogs = ScopedDouble<ScriptedDialogs, DialogService, &SetDialogService>;

// The form a chosen native path comes back in (see the header's note), GBK. Exposed for tests.
std::string ProgramFormOf(const std::string& nativePath);

// The filter list of the file-dialog calls is read no further than this.
constexpr std::size_t kMaxFilterListBytes = 4096;

}  // namespace zuvo::platform

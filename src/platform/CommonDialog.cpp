#include "platform/CommonDialog.h"

#include "platform/Application.h"
#include "platform/Gdi.h"
#include "platform/Message.h"
#include "platform/Paths.h"
#include "platform/Text.h"
#include "platform/WinUser.h"
#include "platform/internal/GdiRegistry.h"
#include "platform/internal/HostWidget.h"
#include "platform/internal/Ownership.h"
#include "platform/internal/Window.h"

#include <QColorDialog>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDialog>
#include <QGuiApplication>
#include <QListWidget>
#include <QMessageBox>
#include <QVBoxLayout>

#if defined(ZUVO_HAVE_QT_PRINTSUPPORT) && __has_include(<QPrinterInfo>)
#define ZUVO_SYSTEM_PRINTERS 1
#include <QPrinterInfo>
#endif

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;
using namespace zuvo::platform;

namespace {

thread_local DWORD lastDialogError = 0;

struct OptionFlag {
  TOpenOption option;
  DWORD flag;
};
constexpr OptionFlag kOptionFlags[] = {
    {ofReadOnly, OFN_READONLY},
    {ofOverwritePrompt, OFN_OVERWRITEPROMPT},
    {ofHideReadOnly, OFN_HIDEREADONLY},
    {ofNoChangeDir, OFN_NOCHANGEDIR},
    {ofShowHelp, OFN_SHOWHELP},
    {ofNoValidate, OFN_NOVALIDATE},
    {ofAllowMultiSelect, OFN_ALLOWMULTISELECT},
    {ofExtensionDifferent, OFN_EXTENSIONDIFFERENT},
    {ofPathMustExist, OFN_PATHMUSTEXIST},
    {ofFileMustExist, OFN_FILEMUSTEXIST},
    {ofCreatePrompt, OFN_CREATEPROMPT},
    {ofShareAware, OFN_SHAREAWARE},
    {ofNoReadOnlyReturn, OFN_NOREADONLYRETURN},
    {ofNoTestFileCreate, OFN_NOTESTFILECREATE},
    {ofNoNetworkButton, OFN_NONETWORKBUTTON},
    {ofNoLongNames, OFN_NOLONGNAMES},
    {ofNoDereferenceLinks, OFN_NODEREFERENCELINKS},
    {ofEnableIncludeNotify, OFN_ENABLEINCLUDENOTIFY},
    {ofEnableSizing, OFN_ENABLESIZING},
    {ofDontAddToRecent, OFN_DONTADDTORECENT},
    {ofForceShowHidden, OFN_FORCESHOWHIDDEN},
};

std::vector<FileFilter> PairUp(const std::vector<std::string>& texts) {
  std::vector<FileFilter> filters;
  // A lone description at the end has no pattern: the list ends at the last complete pair.
  for (std::size_t i = 0; i + 1 < texts.size(); i += 2) filters.push_back(FileFilter{texts[i], texts[i + 1]});
  return filters;
}

// "desc|*.ext|desc|*.ext". A trail byte of a GBK character may be '|' (0x7C): split only on
// a '|' that is a character of its own.
std::vector<FileFilter> ParsePipeFilter(const std::string& filter) {
  std::vector<std::string> texts;
  if (filter.empty()) return {};
  std::string current;
  for (std::size_t i = 0; i < filter.size();) {
    const std::size_t length = gbk::CharLength(filter, i);
    if (length == 1 && filter[i] == '|') {
      texts.push_back(std::move(current));
      current.clear();
    } else {
      current.append(filter, i, length);
    }
    i += length;
  }
  texts.push_back(std::move(current));
  return PairUp(texts);
}

// Texts ended by NUL, the list by an empty text. Read no further than kMaxFilterListBytes, so a
// list without its closing empty text cannot lead the reader through foreign memory; a text
// cut by that bound is dropped.
std::vector<FileFilter> ParseNulFilter(const char* list) {
  if (list == nullptr) return {};
  std::vector<std::string> texts;
  std::size_t at = 0;
  while (at < kMaxFilterListBytes) {
    std::size_t end = at;
    while (end < kMaxFilterListBytes && list[end] != '\0') ++end;
    if (end >= kMaxFilterListBytes) break;   // unterminated
    if (end == at) break;                    // the closing empty text
    texts.emplace_back(list + at, end - at);
    at = end + 1;
  }
  return PairUp(texts);
}

int IndexInList(int index, std::size_t count) {
  return index >= 1 && static_cast<std::size_t>(index) <= count ? index : 1;
}

std::string CurrentFolder() {
  std::error_code error;
  fs::path cwd = fs::current_path(error);
  return error ? std::string("/") : cwd.string();
}

// The folder the dialog opens in: the given one when it exists, else the program's folder
// (the current directory; ".\" names it too).
std::string InitialFolder(const std::string& initialDir) {
  if (initialDir.empty()) return CurrentFolder();
  const std::string resolved = paths::Resolve(initialDir);
  std::error_code error;
  if (!resolved.empty() && fs::is_directory(resolved, error)) return fs::path(resolved).lexically_normal().string();
  return CurrentFolder();
}

bool UnderFolder(const fs::path& file, const fs::path& folder, fs::path* relative) {
  if (folder.empty()) return false;
  fs::path rel = file.lexically_relative(folder);
  if (rel.empty() || rel == ".") return false;
  auto first = rel.begin();
  if (first != rel.end() && *first == "..") return false;
  *relative = rel;
  return true;
}

// A folder as written and with its links followed: a file is inside it in either spelling.
std::vector<fs::path> Spellings(const fs::path& folder) {
  std::vector<fs::path> spellings{folder.lexically_normal()};
  std::error_code error;
  fs::path canonical = fs::weakly_canonical(folder, error);
  if (!error && canonical != spellings.front()) spellings.push_back(canonical.lexically_normal());
  return spellings;
}

// Collects the top-level windows a modal dialog disables.
BOOL CollectEnabled(HWND window, LPARAM param) {
  if (IsWindowVisible(window) && IsWindowEnabled(window)) reinterpret_cast<std::vector<HWND>*>(param)->push_back(window);
  return TRUE;
}

// Shows the dialog modally: every other top-level window disabled while it runs, the active
// window active again after.
DialogAnswer ShowModally(const DialogRequest& request) {
  DialogAnswer answer;
  RunOnUiThread([&] {
    std::shared_ptr<DialogService> service = GetDialogService();
    std::vector<HWND> disabled;
    EnumWindows(CollectEnabled, reinterpret_cast<LPARAM>(&disabled));
    const HWND previous = GetActiveWindow();
    for (HWND w : disabled) EnableWindow(w, FALSE);
    struct Restore {
      std::vector<HWND>& windows;
      HWND previous;
      ~Restore() {
        for (HWND w : windows) {
          if (IsWindow(w)) EnableWindow(w, TRUE);
        }
        if (previous != nullptr && IsWindow(previous)) SetActiveWindow(previous);
      }
    } restore{disabled, previous};
    answer = service->Show(request);
  });
  return answer;
}

// A file dialog's outcome: the chosen file in the program's form and the filter chosen.
struct FileChoice {
  bool ok = false;
  DWORD error = 0;
  std::string path;   // GBK
  int filterIndex = 1;
};

FileChoice RunFileDialog(DialogRequest& request) {
  request.filterIndex = IndexInList(request.filterIndex, request.filters.size());
  request.initialFolder = InitialFolder(request.initialDir);
  const DialogAnswer answer = ShowModally(request);
  FileChoice choice;
  if (!answer.ok) return choice;
  fs::path chosen(answer.path);
  if (chosen.is_relative()) chosen = fs::path(request.initialFolder) / chosen;
  chosen = chosen.lexically_normal();
  std::string name = chosen.filename().string();
  if (answer.path.empty() || name.empty() || name == "." || name == "..") {
    choice.error = FNERR_INVALIDFILENAME;
    return choice;
  }
  // A name typed without an extension gets the default one.
  if (!request.defaultExt.empty() && name.find('.') == std::string::npos) {
    chosen += "." + gbk::ToUtf8(request.defaultExt);
  }
  choice.ok = true;
  choice.path = ProgramFormOf(chosen.string());
  choice.filterIndex = answer.filterIndex == 0 ? request.filterIndex
                                               : IndexInList(answer.filterIndex, request.filters.size());
  return choice;
}

// Where the name starts in a Windows-form path: after its last separator.
std::size_t NameOffset(const std::string& path) {
  std::size_t offset = 0;
  for (std::size_t i = 0; i < path.size();) {
    const std::size_t length = gbk::CharLength(path, i);
    if (length == 1 && (path[i] == '\\' || path[i] == '/' || path[i] == ':')) offset = i + 1;
    i += length;
  }
  return offset;
}

// Where the extension starts (after the name's last dot); the end of the path without one.
std::size_t ExtensionOffset(const std::string& path, std::size_t nameOffset) {
  std::size_t dot = std::string::npos;
  for (std::size_t i = nameOffset; i < path.size();) {
    const std::size_t length = gbk::CharLength(path, i);
    if (length == 1 && path[i] == '.') dot = i;
    i += length;
  }
  return dot == std::string::npos ? path.size() : dot + 1;
}

BOOL FileNameCall(OPENFILENAMEA* record, DialogKind kind) {
  lastDialogError = 0;
  if (record == nullptr || record->lpstrFile == nullptr) {
    lastDialogError = CDERR_INITIALIZATION;
    return FALSE;
  }
  if (record->lStructSize != sizeof(OPENFILENAMEA) && record->lStructSize != OPENFILENAME_SIZE_VERSION_400A) {
    lastDialogError = CDERR_STRUCTSIZE;
    return FALSE;
  }
  DialogRequest request;
  request.kind = kind;
  request.owner = record->hwndOwner;
  request.title = record->lpstrTitle != nullptr ? record->lpstrTitle : "";
  request.filters = ParseNulFilter(record->lpstrFilter);
  request.filterIndex = static_cast<int>(std::min<DWORD>(record->nFilterIndex, 0x7FFFFFFF));
  request.initialDir = record->lpstrInitialDir != nullptr ? record->lpstrInitialDir : "";
  // The start name counts only when it ends within the buffer.
  const std::size_t startLength = strnlen(record->lpstrFile, record->nMaxFile);
  if (startLength < record->nMaxFile) request.fileName.assign(record->lpstrFile, startLength);
  request.defaultExt = record->lpstrDefExt != nullptr ? record->lpstrDefExt : "";
  request.options = TOpenOptions::FromFlags(record->Flags);

  const FileChoice choice = RunFileDialog(request);
  if (!choice.ok) {
    lastDialogError = choice.error;
    return FALSE;
  }
  const std::size_t nameOffset = NameOffset(choice.path);
  const std::size_t needed = choice.path.size() + 1;
  const std::size_t titleNeeded = choice.path.size() - nameOffset + 1;
  // Never cut: a cut path would name another file.
  if (needed > record->nMaxFile || needed > 0xFFFF ||
      (record->lpstrFileTitle != nullptr && titleNeeded > record->nMaxFileTitle)) {
    if (needed > record->nMaxFile && record->nMaxFile >= 2) {
      const WORD size = static_cast<WORD>(std::min<std::size_t>(needed, 0xFFFF));
      std::memcpy(record->lpstrFile, &size, sizeof size);
    }
    lastDialogError = FNERR_BUFFERTOOSMALL;
    return FALSE;
  }
  std::memcpy(record->lpstrFile, choice.path.c_str(), needed);
  if (record->lpstrFileTitle != nullptr) std::memcpy(record->lpstrFileTitle, choice.path.c_str() + nameOffset, titleNeeded);
  record->nFilterIndex = static_cast<DWORD>(choice.filterIndex);
  record->nFileOffset = static_cast<WORD>(nameOffset);
  record->nFileExtension = static_cast<WORD>(ExtensionOffset(choice.path, nameOffset));
  record->Flags &= ~OFN_READONLY;
  return TRUE;
}

// ---- Qt's dialogs ------------------------------------------------------------------------------

bool Headless() {
  const QString name = QGuiApplication::platformName();
  return name == QLatin1String("offscreen") || name == QLatin1String("minimal");
}

QString Qs(const std::string& gbkText) { return QString::fromStdU16String(gbk::ToUtf16(gbkText)); }
QString FromNative(const std::string& utf8) { return QString::fromUtf8(utf8.data(), static_cast<int>(utf8.size())); }
std::string ToNative(const QString& text) { return text.toUtf8().toStdString(); }

// The widget of the owner's top-level window, for placing the dialog over it.
QWidget* OwnerWidget(HWND owner) {
  if (owner == nullptr) owner = GetActiveWindow();
  if (owner == nullptr) return nullptr;
  win::WindowPtr window = win::Find(win::RootOf(owner));
  return window ? static_cast<QWidget*>(window->widget) : nullptr;
}

LOGFONTA LogFontOf(const FontChoice& font) {
  LOGFONTA lf{};
  lf.lfHeight = font.height;
  lf.lfWeight = (font.style & (1u << fsBold)) != 0 ? 700 : 400;
  lf.lfItalic = (font.style & (1u << fsItalic)) != 0 ? 1 : 0;
  lf.lfUnderline = (font.style & (1u << fsUnderline)) != 0 ? 1 : 0;
  lf.lfStrikeOut = (font.style & (1u << fsStrikeOut)) != 0 ? 1 : 0;
  lf.lfCharSet = 134;
  const std::size_t length = gbk::CutLength(font.name, LF_FACESIZE - 1);
  std::memcpy(lf.lfFaceName, font.name.data(), length);
  return lf;
}

class QtDialogService : public DialogService {
 public:
  DialogAnswer Show(const DialogRequest& request) override {
    if (!EnsureApplication()) return {};
    if (Headless()) {
      // Nobody could answer it: cancelled at once rather than hanging.
      std::fprintf(stderr, "%s dialog \"%s\" cancelled: no screen\n", DialogKindName(request.kind),
                   gbk::ToUtf8(request.title).c_str());
      return {};
    }
    queue::ModalScope scope;
    switch (request.kind) {
      case DialogKind::Open:
      case DialogKind::Save: return ShowFile(request);
      case DialogKind::Color: return ShowColor(request);
      case DialogKind::Font: return ShowFont(request);
      case DialogKind::Print: return ShowPrinters(request);
    }
    return {};
  }

 private:
  static DialogAnswer ShowFile(const DialogRequest& request) {
    const bool saving = request.kind == DialogKind::Save;
    QFileDialog dialog(OwnerWidget(request.owner));
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setWindowTitle(!request.title.empty() ? Qs(request.title) : saving ? QString::fromUtf16(u"另存为") : QString::fromUtf16(u"打开"));
    dialog.setAcceptMode(saving ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(!saving && request.options.Contains(ofFileMustExist) ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.options.Contains(ofOverwritePrompt));
    dialog.setSizeGripEnabled(request.options.Contains(ofEnableSizing));
    dialog.setDirectory(FromNative(request.initialFolder));
    QStringList filters;
    for (const FileFilter& filter : request.filters) {
      // Qt reads the patterns from the last parenthesised group, separated by blanks.
      QString patterns = Qs(filter.pattern);
      patterns.replace(QChar(';'), QChar(' '));
      filters << Qs(filter.description) + QStringLiteral(" (") + patterns.simplified() + QChar(')');
    }
    if (!filters.isEmpty()) {
      dialog.setNameFilters(filters);
      dialog.selectNameFilter(filters.value(request.filterIndex - 1));
    }
    if (!request.fileName.empty()) {
      const bool hasFolder = request.fileName.find_first_of("\\/:") != std::string::npos;
      dialog.selectFile(hasFolder ? FromNative(paths::Resolve(request.fileName)) : Qs(request.fileName));
    }
    for (;;) {
      if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
      const QString file = dialog.selectedFiles().front();
      const QFileInfo info(file);
      QString refusal;
      if (request.options.Contains(ofPathMustExist) && !info.absoluteDir().exists()) {
        refusal = QString::fromUtf16(u"路径不存在：") + info.absolutePath();
      } else if (request.options.Contains(ofFileMustExist) && !info.exists()) {
        refusal = QString::fromUtf16(u"文件不存在：") + file;
      } else if (request.options.Contains(ofNoReadOnlyReturn) && info.exists() && !info.isWritable()) {
        refusal = QString::fromUtf16(u"文件是只读的：") + file;
      }
      if (refusal.isEmpty()) {
        DialogAnswer answer;
        answer.ok = true;
        answer.path = ToNative(file);
        answer.filterIndex = filters.isEmpty() ? 1 : static_cast<int>(filters.indexOf(dialog.selectedNameFilter())) + 1;
        if (answer.filterIndex < 1) answer.filterIndex = 1;
        return answer;
      }
      QMessageBox::warning(&dialog, dialog.windowTitle(), refusal);
    }
  }

  static DialogAnswer ShowColor(const DialogRequest& request) {
    QColorDialog dialog(OwnerWidget(request.owner));
    dialog.setOption(QColorDialog::DontUseNativeDialog, true);
    if (!request.title.empty()) dialog.setWindowTitle(Qs(request.title));
    const COLORREF start = static_cast<COLORREF>(request.color) & 0xFFFFFF;
    dialog.setCurrentColor(QColor(GetRValue(start), GetGValue(start), GetBValue(start)));
    if (dialog.exec() != QDialog::Accepted) return {};
    const QColor chosen = dialog.currentColor();
    DialogAnswer answer;
    answer.ok = true;
    answer.color = static_cast<TColor>(RGB(chosen.red(), chosen.green(), chosen.blue()));
    return answer;
  }

  static DialogAnswer ShowFont(const DialogRequest& request) {
    // The face as the drawing layer shows it: 宋体 appears as the family that draws it.
    const QFont start = gdi::MakeFont(LogFontOf(request.font))->qfont.value_or(QFont());
    QFontDialog dialog(start, OwnerWidget(request.owner));
    dialog.setOption(QFontDialog::DontUseNativeDialog, true);
    if (!request.title.empty()) dialog.setWindowTitle(Qs(request.title));
    if (dialog.exec() != QDialog::Accepted) return {};
    const QFont chosen = dialog.selectedFont();
    DialogAnswer answer;
    answer.ok = true;
    answer.font = request.font;
    if (chosen.family() != start.family()) {
      const std::string face = gbk::FromUtf16(chosen.family().toStdU16String());
      answer.font.name = face.substr(0, gbk::CutLength(face, LF_FACESIZE - 1));
    }
    if (chosen.pixelSize() > 0) {
      answer.font.height = -chosen.pixelSize();
    } else if (chosen.pointSizeF() > 0) {
      answer.font.height = -static_cast<int>(std::lround(chosen.pointSizeF() * 96.0 / 72.0));
    }
    TFontStyles style = 0;
    if (chosen.weight() >= QFont::DemiBold) style |= 1u << fsBold;
    if (chosen.italic()) style |= 1u << fsItalic;
    if (chosen.underline()) style |= 1u << fsUnderline;
    if (chosen.strikeOut()) style |= 1u << fsStrikeOut;
    answer.font.style = style;
    return answer;
  }

  // A small chooser: the printers offered, the current one selected; with none known, the
  // system's default printer (an empty name).
  static DialogAnswer ShowPrinters(const DialogRequest& request) {
    QDialog dialog(OwnerWidget(request.owner));
    dialog.setWindowTitle(!request.title.empty() ? Qs(request.title) : QString::fromUtf16(u"打印"));
    auto* layout = new QVBoxLayout(&dialog);
    auto* list = new QListWidget(&dialog);
    std::vector<std::string> names = request.printers;
    if (names.empty()) names.push_back(std::string());
    for (const std::string& name : names) {
      list->addItem(name.empty() ? QString::fromUtf16(u"默认打印机") : FromNative(name));
    }
    auto current = std::find(names.begin(), names.end(), request.currentPrinter);
    list->setCurrentRow(current != names.end() ? static_cast<int>(current - names.begin()) : 0);
    layout->addWidget(list);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    QObject::connect(list, &QListWidget::itemDoubleClicked, &dialog, &QDialog::accept);
    layout->addWidget(buttons);
    if (dialog.exec() != QDialog::Accepted || list->currentRow() < 0) return {};
    DialogAnswer answer;
    answer.ok = true;
    answer.printer = names[static_cast<std::size_t>(list->currentRow())];
    return answer;
  }
};

ServiceSlot<DialogService, QtDialogService>& dialogService() {
  // Never destroyed: a dialog may be asked for while the process exits.
  static auto* slot = new ServiceSlot<DialogService, QtDialogService>;
  return *slot;
}

struct PrinterState {
  std::mutex mutex;
  std::string current;
  PrinterListSource source;
};
PrinterState& Printers() {
  static auto* state = new PrinterState;
  return *state;
}

// The print system's printers, by the names Qt's printer info knows them by.
std::vector<std::string> SystemPrinters() {
  std::vector<std::string> names;
#ifdef ZUVO_SYSTEM_PRINTERS
  if (!EnsureApplication()) return names;
  for (const QString& name : QPrinterInfo::availablePrinterNames()) names.push_back(name.toStdString());
#endif
  return names;
}

std::string Describe(const DialogRequest& r) {
  std::string text = std::string(DialogKindName(r.kind)) + " dialog \"" + gbk::ToUtf8(r.title) + "\"";
  switch (r.kind) {
    case DialogKind::Open:
    case DialogKind::Save:
      text += "\n  filters:";
      for (const FileFilter& f : r.filters) text += " [" + gbk::ToUtf8(f.description) + " | " + gbk::ToUtf8(f.pattern) + "]";
      text += "\n  filter index " + std::to_string(r.filterIndex) + ", initial dir \"" + gbk::ToUtf8(r.initialDir) +
              "\" (" + r.initialFolder + "), file \"" + gbk::ToUtf8(r.fileName) + "\", default ext \"" +
              gbk::ToUtf8(r.defaultExt) + "\", options 0x" ;
      {
        char hex[16];
        std::snprintf(hex, sizeof hex, "%X", static_cast<unsigned>(r.options.Bits()));
        text += hex;
      }
      break;
    case DialogKind::Color: {
      char hex[16];
      std::snprintf(hex, sizeof hex, "%06X", static_cast<unsigned>(r.color) & 0xFFFFFFu);
      text += "\n  colour 0x" + std::string(hex);
      break;
    }
    case DialogKind::Font:
      text += "\n  font \"" + gbk::ToUtf8(r.font.name) + "\" height " + std::to_string(r.font.height) + " style " +
              std::to_string(r.font.style) + " colour " + std::to_string(r.font.color);
      break;
    case DialogKind::Print:
      text += "\n  printers:";
      for (const std::string& p : r.printers) text += " \"" + p + "\"";
      text += ", current \"" + r.currentPrinter + "\"";
      break;
  }
  return text;
}

FontChoice ChoiceOf(TFont& font) {
  return FontChoice{font.Name(), font.Height(), font.Style(), font.Color()};
}

}  // namespace

// ---- Options ---------------------------------------------------------------------------------

DWORD TOpenOptions::ToFlags() const {
  DWORD flags = 0;
  for (const OptionFlag& m : kOptionFlags) {
    if (Contains(m.option)) flags |= m.flag;
  }
  return flags;
}

TOpenOptions TOpenOptions::FromFlags(DWORD flags) {
  TOpenOptions options;
  for (const OptionFlag& m : kOptionFlags) {
    if ((flags & m.flag) != 0) options << m.option;
  }
  return options;
}

// ---- The file-dialog calls -------------------------------------------------------------------

BOOL GetOpenFileNameA(OPENFILENAMEA* record) { return FileNameCall(record, DialogKind::Open); }
BOOL GetSaveFileNameA(OPENFILENAMEA* record) { return FileNameCall(record, DialogKind::Save); }
DWORD CommDlgExtendedError() { return lastDialogError; }

// ---- The class library's dialogs -------------------------------------------------------------

bool TOpenDialog::Execute() {
  DialogRequest request;
  request.kind = Saving() ? DialogKind::Save : DialogKind::Open;
  request.owner = GetActiveWindow();
  request.title = title_;
  request.filters = ParsePipeFilter(filter_);
  request.filterIndex = filterIndex_;
  request.initialDir = initialDir_;
  request.fileName = fileName_;
  request.defaultExt = defaultExt_;
  request.options = options_;
  const FileChoice choice = RunFileDialog(request);
  if (!choice.ok) return false;
  fileName_ = choice.path;
  filterIndex_ = choice.filterIndex;
  return true;
}

bool TColorDialog::Execute() {
  DialogRequest request;
  request.kind = DialogKind::Color;
  request.owner = GetActiveWindow();
  request.color = color_ & 0xFFFFFF;
  const DialogAnswer answer = ShowModally(request);
  if (!answer.ok) return false;
  color_ = answer.color & 0xFFFFFF;
  return true;
}

bool TFontDialog::Execute() {
  DialogRequest request;
  request.kind = DialogKind::Font;
  request.owner = GetActiveWindow();
  request.font = ChoiceOf(font_);
  const DialogAnswer answer = ShowModally(request);
  if (!answer.ok) return false;
  const FontChoice& chosen = answer.font;
  if (!chosen.name.empty()) font_.SetName(chosen.name.substr(0, gbk::CutLength(chosen.name, LF_FACESIZE - 1)));
  if (chosen.height != 0) font_.SetHeight(chosen.height);
  font_.SetStyle(chosen.style);
  font_.SetColor(chosen.color);
  return true;
}

bool TPrintDialog::Execute() {
  DialogRequest request;
  request.kind = DialogKind::Print;
  request.owner = GetActiveWindow();
  request.printers = AvailablePrinters();
  request.currentPrinter = CurrentPrinterName();
  const DialogAnswer answer = ShowModally(request);
  if (!answer.ok) return false;
  SetCurrentPrinterName(answer.printer);
  return true;
}

namespace zuvo::platform {

std::string CurrentPrinterName() {
  std::lock_guard lock(Printers().mutex);
  return Printers().current;
}

void SetCurrentPrinterName(const std::string& name) {
  std::lock_guard lock(Printers().mutex);
  Printers().current = name;
}

void SetPrinterListSource(PrinterListSource source) {
  std::lock_guard lock(Printers().mutex);
  Printers().source = std::move(source);
}

std::vector<std::string> AvailablePrinters() {
  PrinterListSource source;
  {
    std::lock_guard lock(Printers().mutex);
    source = Printers().source;
  }
  return source ? source() : SystemPrinters();
}

const char* DialogKindName(DialogKind kind) {
  switch (kind) {
    case DialogKind::Open: return "open";
    case DialogKind::Save: return "save";
    case DialogKind::Color: return "colour";
    case DialogKind::Font: return "font";
    case DialogKind::Print: return "print";
  }
  return "?";
}

std::shared_ptr<DialogService> SetDialogService(std::shared_ptr<DialogService> service) {
  return dialogService().Set(std::move(service));
}

std::shared_ptr<DialogService> GetDialogService() { return dialogService().Get(); }

std::string ProgramFormOf(const std::string& nativePath) {
  const fs::path file = fs::path(nativePath).lexically_normal();
  const std::vector<fs::path> programSpellings = Spellings(CurrentFolder());
  fs::path relative;
  for (const fs::path& program : programSpellings) {
    if (UnderFolder(file, program, &relative)) return ".\\" + paths::ToWindows(relative.string());
  }
  const std::string root = paths::InstallRoot();
  if (root.empty()) return paths::ToWindows(file.string());
  for (const fs::path& rootSpelling : Spellings(root)) {
    if (!UnderFolder(file, rootSpelling, &relative)) continue;
    // A drive folder is the drive.
    const std::string first = relative.begin()->string();
    if (first.size() == 7 && first.compare(0, 6, "drive_") == 0 && std::isalpha(static_cast<unsigned char>(first[6]))) {
      const fs::path rest = relative.lexically_relative(first);
      const char drive = static_cast<char>(std::toupper(static_cast<unsigned char>(first[6])));
      return std::string(1, drive) + ":\\" + (rest == "." ? std::string() : paths::ToWindows(rest.string()));
    }
    // Elsewhere in the tree: climbing from the program's folder ("..\user\a.pio"), as the
    // program names its own files.
    for (const fs::path& program : programSpellings) {
      fs::path programInRoot;
      if (!UnderFolder(program, rootSpelling, &programInRoot)) continue;
      std::string climb;
      for (auto it = programInRoot.begin(); it != programInRoot.end(); ++it) climb += "..\\";
      return climb + paths::ToWindows(relative.string());
    }
  }
  return paths::ToWindows(file.string());
}

// ---- The scripted double ---------------------------------------------------------------------

void ScriptedDialogs::AnswerFile(const std::string& nativePath, int filterIndex) {
  Scripted s;
  s.fileKind = true;
  s.answer.ok = true;
  s.answer.path = nativePath;
  s.answer.filterIndex = filterIndex;
  std::lock_guard lock(mutex_);
  answers_.push_back(std::move(s));
}

void ScriptedDialogs::AnswerColor(TColor color) {
  Scripted s;
  s.kind = DialogKind::Color;
  s.answer.ok = true;
  s.answer.color = color;
  std::lock_guard lock(mutex_);
  answers_.push_back(std::move(s));
}

void ScriptedDialogs::AnswerFont(const FontChoice& font) {
  Scripted s;
  s.kind = DialogKind::Font;
  s.answer.ok = true;
  s.answer.font = font;
  std::lock_guard lock(mutex_);
  answers_.push_back(std::move(s));
}

void ScriptedDialogs::AnswerPrinter(const std::string& printer) {
  Scripted s;
  s.kind = DialogKind::Print;
  s.answer.ok = true;
  s.answer.printer = printer;
  std::lock_guard lock(mutex_);
  answers_.push_back(std::move(s));
}

void ScriptedDialogs::Cancel() {
  Scripted s;
  s.any = true;
  std::lock_guard lock(mutex_);
  answers_.push_back(std::move(s));
}

DialogAnswer ScriptedDialogs::Show(const DialogRequest& request) {
  std::lock_guard lock(mutex_);
  asked_.push_back(request);
  const bool fileDialog = request.kind == DialogKind::Open || request.kind == DialogKind::Save;
  const char* problem = nullptr;
  if (answers_.empty()) {
    problem = "with no scripted answer";
  } else {
    const Scripted& next = answers_.front();
    if (!next.any && (next.fileKind ? !fileDialog : next.kind != request.kind)) problem = "with an answer for another kind";
  }
  if (problem != nullptr) {
    std::fprintf(stderr, "A %s\nwas shown %s.\n", Describe(request).c_str(), problem);
    std::fflush(stderr);
    std::abort();
  }
  DialogAnswer answer = answers_.front().answer;
  answers_.pop_front();
  return answer;
}

std::vector<DialogRequest> ScriptedDialogs::Asked() const {
  std::lock_guard lock(mutex_);
  return asked_;
}

std::size_t ScriptedDialogs::Count() const {
  std::lock_guard lock(mutex_);
  return asked_.size();
}

std::size_t ScriptedDialogs::Pending() const {
  std::lock_guard lock(mutex_);
  return answers_.size();
}

}  // namespace zuvo::platform

// The clipboard: the calls of the window layer (text as CF_TEXT, GBK in global memory) and the
// class library's TClipboard over them. Behind both is a clipboard service holding Unicode
// text; the default one is the system clipboard through Qt, and tests install an in-memory one
// (ScopedInMemoryClipboard) so they never depend on the machine's clipboard. Text is converted
// at that boundary: text from elsewhere that GBK cannot hold, and data that is no text, are
// refused (GetClipboardData gives null) rather than handed on changed.
//
// The clipboard is opened by one window (and its thread) at a time: every call that reads or
// changes it, except IsClipboardFormatAvailable, fails with ERROR_CLIPBOARD_NOT_OPEN on any
// other thread or when it is not open.
#pragma once

#include "platform/Control.h"
#include "platform/Kernel.h"
#include "platform/ScopedDouble.h"
#include "platform/WinBase.h"

#include <memory>
#include <mutex>
#include <optional>
#include <string>

constexpr UINT CF_TEXT = 1;

// FALSE (ERROR_ACCESS_DENIED) while another window or thread has it open; the same window
// opening it again succeeds (without nesting). A window that is no window fails
// (ERROR_INVALID_WINDOW_HANDLE); null opens it for no window.
BOOL OpenClipboard(HWND window);
BOOL CloseClipboard();
// Clears the clipboard (and frees the data it owned).
BOOL EmptyClipboard();
// Puts a CF_TEXT block (zero-terminated GBK; without a zero byte the whole block) on the
// clipboard and takes the block: the caller must not free it. Returns the handle; null when
// the clipboard is not open, the format is not CF_TEXT (ERROR_INVALID_PARAMETER) or the handle
// is no global memory (ERROR_INVALID_HANDLE), and then the block stays the caller's.
HANDLE SetClipboardData(UINT format, HANDLE memory);
// The clipboard's CF_TEXT block (zero-terminated GBK); it stays the clipboard's, valid until
// the clipboard changes. Null when there is no text (ERROR_NOT_FOUND) or the text is one GBK
// cannot hold exactly (ERROR_INVALID_DATA). Text put by this process comes back byte for byte.
HANDLE GetClipboardData(UINT format);
// TRUE when GetClipboardData(format) would give data. Needs no open clipboard.
BOOL IsClipboardFormatAvailable(UINT format);

namespace zuvo::platform {

// The clipboard behind the calls. Any thread (the Qt one does its work on the UI thread).
class ClipboardService {
 public:
  virtual ~ClipboardService() = default;
  // The text held; nullopt when the clipboard is empty or holds data of another kind.
  virtual std::optional<std::u16string> Text() = 0;
  virtual void SetText(const std::u16string& text) = 0;
  virtual void Clear() = 0;
};

// Installs a service (null restores the system clipboard) and returns the previous one (null
// when none was installed or asked for yet). Any thread.
std::shared_ptr<ClipboardService> SetClipboardService(std::shared_ptr<ClipboardService> service);
std::shared_ptr<ClipboardService> GetClipboardService();

// A clipboard in memory for tests: holds text, or stands for data of another kind (as another
// program's image would). Thread-safe.
class InMemoryClipboard : public ClipboardService {
 public:
  std::optional<std::u16string> Text() override;
  void SetText(const std::u16string& text) override;
  void Clear() override;
  // Replaces the contents by data that is no text.
  void SetNonText();

 private:
  std::mutex mutex_;
  std::optional<std::u16string> text_;
};

using ScopedInMemoryClipboard = ScopedDouble<InMemoryClipboard, ClipboardService, &SetClipboardService>;

}  // namespace zuvo::platform

// Raised by TClipboard when the clipboard cannot be opened.
class EClipboardException : public Exception { using Exception::Exception; };

// The class library's clipboard object. Open/Close nest: the clipboard is opened by the first
// Open and closed by the matching Close; the other members open it around themselves. Used
// from one thread at a time.
class TClipboard {
 public:
  void Open();    // raises EClipboardException when another window has the clipboard
  void Close();
  void Clear();
  bool HasFormat(UINT format) const;
  // The text held (GBK), empty when there is none or it is one GBK cannot hold.
  AnsiString AsText();
  // Replaces the contents by the text (up to its first zero byte).
  void SetAsText(const AnsiString& text);

 private:
  int openCount_ = 0;
};

// The process's one clipboard object.
TClipboard* Clipboard();

#include "widgets/Xppriceedit.h"

#include "platform/Clipboard.h"
#include "widgets/Package.h"

#include <algorithm>

namespace {

constexpr char kBackspace = 8;

}  // namespace

void TXPPriceEdit::WndProc(TMessage& message) {
  if (message.Msg == WM_CHAR) {
    const char typed = static_cast<char>(message.WParam & 0xFF);
    const bool digit = typed >= '0' && typed <= '9';
    const bool point = typed == '.' && Text().find('.') == std::string::npos;
    if (!digit && !point && typed != kBackspace) {
      message.Result = 0;
      return;
    }
  } else if (message.Msg == WM_PASTE && HandleAllocated()) {
    // Left unfiltered, letters pasted into a threshold read as 0, which fires at once.
    if (!zuvo::widgets::IsPriceText(TextAfterPaste())) {
      message.Result = 0;
      return;
    }
  }
  TXPFlatBorder<TEdit>::WndProc(message);
}

std::string TXPPriceEdit::TextAfterPaste() const {
  const std::string pasted = Clipboard()->AsText();
  std::string text = Text();
  DWORD start = 0, end = 0;
  SendMessageA(handle_, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  const std::size_t from = std::min<std::size_t>(start, text.size());
  const std::size_t to = std::clamp<std::size_t>(end, from, text.size());
  return text.substr(0, from) + pasted + text.substr(to);
}

namespace zuvo::widgets {

bool IsPriceText(const std::string& text) {
  int points = 0;
  for (char c : text) {
    if (c == '.') {
      if (++points > 1) return false;
    } else if (c < '0' || c > '9') {
      return false;
    }
  }
  return true;
}

void RegisterXppriceedit() { RegisterComponentClass("TXPPriceEdit"); }

}  // namespace zuvo::widgets

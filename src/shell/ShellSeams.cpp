// The process-wide seams of the shell: the modal-dialog count, the main-window host and the
// dialog registry.
#include "shell/ModalDialog.h"
#include "shell/ShellDialogs.h"
#include "shell/ShellHost.h"

namespace {
int modalDepth = 0;
IShellHost* host = nullptr;

// Without registered dialogs every dialog is cancelled.
class CancellingDialogs final : public IShellDialogs {
 public:
  std::optional<std::uint16_t> ChooseBlock(TWinControl*, const BlockChooserRequest&) override {
    return std::nullopt;
  }
  void ShowQuoteOptions(TWinControl*, const QuoteOptionsFill&) override {}
};
CancellingDialogs cancelling;
IShellDialogs* dialogs = nullptr;
}  // namespace

ModalDialogScope::ModalDialogScope() { ++modalDepth; }
ModalDialogScope::~ModalDialogScope() { --modalDepth; }
bool ModalDialogOpen() { return modalDepth > 0; }
int ModalDialogDepth() { return modalDepth; }

IShellHost* ShellHost() { return host; }
IShellHost* SetShellHost(IShellHost* next) {
  IShellHost* previous = host;
  host = next;
  return previous;
}

IShellDialogs& ShellDialogs() { return dialogs != nullptr ? *dialogs : cancelling; }
IShellDialogs* SetShellDialogs(IShellDialogs* next) {
  IShellDialogs* previous = dialogs;
  dialogs = next;
  return previous;
}

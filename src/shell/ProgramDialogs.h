// The program's own dialogs behind the shell's dialog seam (ShellDialogs.h): the options dialog
// filled from a QuoteOptionsFill and run modally; the block chooser answers "cancelled" until
// the block dialog exists. Also gives the dialogs the indicator lookup of IndicatorCatalog().
// UI thread only.
#pragma once

#include "shell/ShellDialogs.h"

class TQuoteOptionDlg;

class TProgramDialogs final : public IShellDialogs {
 public:
  std::optional<std::uint16_t> ChooseBlock(TWinControl* owner, const BlockChooserRequest& request) override;
  // Makes the options dialog owned by `owner` (its window receives MsgOptionsChanged), fills it,
  // runs it modally and frees it. The caller holds ModalDialogOpen().
  void ShowQuoteOptions(TWinControl* owner, const QuoteOptionsFill& fill) override;
};

// Puts the fill into the dialog's controls as the options command gives them: caption,
// instrument, the page list at its entry (and its click run), the "save as default" box shown or
// hidden, the check boxes, lists, edits and the detail rows with their ids.
void FillQuoteOptionDlg(TQuoteOptionDlg& dialog, const QuoteOptionsFill& fill);

// Called when the main window is made: registers the program's dialogs unless dialogs are
// registered already (a test's double stays in place), and the indicator lookup of
// IndicatorCatalog() for the dialogs unless one is registered already. Idempotent.
void InstallProgramDialogs();
// Called when the main window goes: takes back what InstallProgramDialogs registered, leaving
// anything registered by others.
void RemoveProgramDialogs();

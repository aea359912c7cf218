// The options command of the main window ("选项(&O)"): the options dialog opened on the user's
// view defaults ([UI] of defui.ini, [Parameter] of the user's SETTING.ini). They only affect
// views created afterwards. Saving is the dialog's own; this unit only fills and shows it.
#pragma once

#include "shell/ShellDialogs.h"

class TWinControl;

// The dialog's controls as the current settings give them. Missing files and keys give the
// defaults; nothing fails.
QuoteOptionsFill BuildViewOptionsFill();

// Builds the fill and shows the options dialog modally through ShellDialogs(), owned by
// `owner` (the main window), with ModalDialogOpen() true while it is shown.
void RunViewOptionsCommand(TWinControl* owner);

// The process-wide "a modal dialog is open" state. While it is set the application key hook
// leaves keys and characters alone, so hot keys and the keyboard wizard cannot act behind a
// dialog. It is a nesting count held by scope guards: a dialog opened from inside another
// cannot clear it for the outer one, and activating a cell does not touch it.
#pragma once

class ModalDialogScope {
 public:
  ModalDialogScope();
  ~ModalDialogScope();
  ModalDialogScope(const ModalDialogScope&) = delete;
  ModalDialogScope& operator=(const ModalDialogScope&) = delete;
};

// True while at least one ModalDialogScope lives.
bool ModalDialogOpen();
int ModalDialogDepth();

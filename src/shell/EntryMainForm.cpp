// The entry's default main form: the terminal's main window, made through the application
// object so that it becomes the application's main form (kept apart from the entry so that a
// test of the entry alone need not make it).
#include "platform/Form.h"
#include "shell/Entry.h"
#include "shell/MainFrame.h"

void CreateMainFrameForm(TApplication& application) {
  TMFrame* frame = nullptr;
  application.CreateForm(&frame);
}

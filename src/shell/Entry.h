// The terminal's process entry: the application title, the program folder as the current
// directory, the write test, the hand-off to the update copier, the disk-space warnings, then
// the application object with the main window and its message loop.
#pragma once

#include "platform/WinBase.h"

#include <string>

class TApplication;

// [AppTitle] Title of "..\cfg\setting.ini" (default "柯苏之星"), cut to at most 30 bytes without
// splitting a double-byte character. Relative to the current directory.
std::string ReadAppTitle();

// Runs the whole program (the static objects are the caller's: see StartupStaticObjects).
// Uses none of its arguments; always returns 0.
int WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show);

// What the entry makes once the application object is ready: by default it creates TMFrame
// through the application object. Tests replace it to run the entry's checks alone; null puts
// the default back. Returns the previous one.
using MainFormFactory = void (*)(TApplication& application);
MainFormFactory SetMainFormFactory(MainFormFactory factory);
// The default factory: `application.CreateForm(&frame)` of a TMFrame.
void CreateMainFrameForm(TApplication& application);

// The write test's file creation fails while a count is set (tests run as root, where a
// read-only folder is still writable). Returns the previous value.
bool SetWriteTestFailsForTest(bool fails);

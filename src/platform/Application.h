// The Qt application behind the window system: created on first use by whichever thread first
// needs a window (that thread becomes the UI thread) or explicitly by the program's entry.
// Headless runs set QT_QPA_PLATFORM=offscreen.
#pragma once

namespace zuvo::platform {

// Creates the application when there is none (idempotent). Returns false when it could not be
// created (no display and no offscreen platform).
bool EnsureApplication();
// True on the thread that created the application; before it exists, on the process's main
// thread.
bool IsUiThread();
// Runs the message loop until PostQuitMessage; returns its exit code.
int RunMessageLoop();

}  // namespace zuvo::platform

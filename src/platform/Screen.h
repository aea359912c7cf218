// The screen as the program sees it through the screen's device context: GetDC(nullptr),
// GetWindowDC(nullptr) and CreateDCA("DISPLAY"). Drawing calls (BitBlt, GetPixel...) that read
// from such a context read the screen as it is at that moment.
//
// Where the screen comes from:
// - The real primary screen, where the windowing system lets a program read it (X11, also a
//   virtual frame buffer): a grab of the whole screen.
// - Elsewhere (the offscreen platform, Wayland) there is no screen to read, so the screen is
//   made up the way a real one would look: our own visible windows at their places, the oldest
//   top-level window at the bottom (as WindowFromPoint stacks them) and each window's children
//   over it, drawn over the desktop colour (GetSysColor(COLOR_BACKGROUND)).
// - In tests, SetSourceForTest: that made-up screen even where a real one exists, or a given
//   picture, and the colour depth to report (capture code takes another path on a palette
//   screen, and there is no other way to reach it).
//
// GetDeviceCaps of a display context (screen, window or memory) reports the source's depth
// (BITSPIXEL), PLANES 1, its size (HORZRES / VERTRES, as GetSystemMetrics(SM_CXSCREEN /
// SM_CYSCREEN), which follow a test picture's size) and 96 dots per inch.
//
// Each screen context shows the screen as it was when the context was made (GetDC(NULL),
// CreateDCA("DISPLAY")). What is drawn on it is not kept: the next screen context reads the
// screen afresh, as the windows beneath would repaint over it.
//
// A window with WS_EX_TRANSPARENT shows what lies beneath it: when it is shown, its image starts
// as the pixels under it (the windows below it and its parent, composed as above), so that a
// window which does not erase its background (the overlay a divider drag draws XOR lines on)
// shows the page under it with its own drawing over it. Every other window starts white: each
// window has an image of its own here, and nothing else would ever fill an unpainted one.
#pragma once

#include "platform/Gdi.h"
#include "platform/WinBase.h"

#include <optional>
#include <vector>

// A context on the display: `driver` "DISPLAY" (without regard to case) and `device` null or
// "DISPLAY"; the same context GetDC(nullptr) gives, deleted with DeleteDC. Null for any other
// device (printers have their own way in). UI thread.
HDC CreateDCA(LPCSTR driver, LPCSTR device, LPCSTR output, const void* initData);

namespace zuvo::platform::screen {

// The colour depth display contexts report (BITSPIXEL).
int BitsPerPixel();

// ---- Test seam ----------------------------------------------------------------------------

// A picture in place of the screen: width x height pixels, rows top first.
struct Picture {
  int width = 0;
  int height = 0;
  std::vector<COLORREF> pixels;
};

struct TestSource {
  // What BITSPIXEL reports: 1, 4, 8, 16, 24 or 32 (others are taken as 32).
  int bitsPerPixel = 32;
  // Shown in place of the screen, at (0, 0); none: our own windows composed over the desktop
  // colour, also where a real screen could be read. A picture without pixels counts as none.
  std::optional<Picture> picture;
};

// Replaces the screen source (nullopt: back to the real screen or the composed one) and returns
// the previous replacement. Any thread.
std::optional<TestSource> SetSourceForTest(std::optional<TestSource> source);

class ScopedScreenSource {
 public:
  explicit ScopedScreenSource(TestSource source) : previous_(SetSourceForTest(std::move(source))) {}
  ~ScopedScreenSource() { SetSourceForTest(std::move(previous_)); }
  ScopedScreenSource(const ScopedScreenSource&) = delete;
  ScopedScreenSource& operator=(const ScopedScreenSource&) = delete;

 private:
  std::optional<TestSource> previous_;
};

}  // namespace zuvo::platform::screen

// Screen capture of a 1920 x 1080 screen, step by step: the snapshot of the screen, the framed
// picture cut from the window, the BMP file built and written (24 bits from a true-colour
// screen, 8 bits from a palette screen), and its conversion to PNG by the picture library.
#include "BenchInstall.h"
#include "BenchOffscreenMain.h"

#include "dialogs/Captureform.h"
#include "dialogs/PictureLibrary.h"
#include "platform/Files.h"
#include "platform/Form.h"
#include "platform/Gdi.h"
#include "platform/Message.h"
#include "platform/Screen.h"
#include "platform/WinUser.h"

#include <benchmark/benchmark.h>

#include <optional>
#include <vector>

namespace {

using zuvo::platform::screen::Picture;
using zuvo::platform::screen::ScopedScreenSource;
using zuvo::platform::screen::TestSource;

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

// A screen of chart-like content: a dark background with bands of a few colours.
TestSource Screen(int bits) {
  Picture picture{kWidth, kHeight, {}};
  picture.pixels.reserve(static_cast<std::size_t>(kWidth) * kHeight);
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      const int band = (x / 37 + y / 23) % 7;
      picture.pixels.push_back(band == 0 ? RGB(255, 0, 0) : band == 1 ? RGB(0, 255, 255) : band == 2 ? RGB(x & 0xFF, y & 0xFF, 80) : RGB(0, 0, 0));
    }
  }
  return TestSource{bits, picture};
}

// The dialog over the screen, its frame all but the outermost pixels.
struct Capture {
  explicit Capture(int bits) : source(Screen(bits)) {
    dlg = NewForm<TCaptureDlg>(nullptr, &library);
    dlg->Show();
    zuvo::platform::ProcessPendingMessages();
    dlg->Update();
  }
  ~Capture() { TComponent::Free(dlg); }

  HBITMAP Cut() {
    HDC dc = GetDC(dlg->Handle());
    HBITMAP picture = CreateCompatibleBitmap(dc, kWidth - 2, kHeight - 2);
    HDC memory = CreateCompatibleDC(dc);
    HGDIOBJ previous = SelectObject(memory, picture);
    BitBlt(memory, 0, 0, kWidth - 2, kHeight - 2, dc, 1, 1, SRCCOPY);
    SelectObject(memory, previous);
    DeleteDC(memory);
    ReleaseDC(dlg->Handle(), dc);
    return picture;
  }

  ScopedScreenSource source;
  zuvo::dialogs::SmoothDcPictureLibrary library;
  TCaptureDlg* dlg = nullptr;
};

void BM_Snapshot(benchmark::State& state) {
  ScopedScreenSource source(Screen(32));
  for (auto _ : state) {
    HDC screen = GetDC(nullptr);
    HBITMAP snapshot = CreateCompatibleBitmap(screen, kWidth, kHeight);
    HDC memory = CreateCompatibleDC(screen);
    HGDIOBJ previous = SelectObject(memory, snapshot);
    BitBlt(memory, 0, 0, kWidth, kHeight, screen, 0, 0, SRCCOPY);
    SelectObject(memory, previous);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    DeleteObject(snapshot);
  }
}
BENCHMARK(BM_Snapshot)->Unit(benchmark::kMillisecond);

void BM_PictureCut(benchmark::State& state) {
  Capture capture(32);
  for (auto _ : state) DeleteObject(capture.Cut());
}
BENCHMARK(BM_PictureCut)->Unit(benchmark::kMillisecond);

// The BMP built from the picture and written whole under its name.
void BM_BmpWritten(benchmark::State& state) {
  const int screenBits = static_cast<int>(state.range(0));
  benchsupport::BenchInstall tree("capture-bench");
  Capture capture(screenBits);
  HBITMAP picture = capture.Cut();
  for (auto _ : state) {
    HDC screen = CreateDCA("DISPLAY", nullptr, nullptr, nullptr);
    const int bits = zuvo::dialogs::capture::DibDepth(GetDeviceCaps(screen, BITSPIXEL) * GetDeviceCaps(screen, PLANES));
    const auto bmp = zuvo::dialogs::capture::BuildBmpFile(screen, picture, bits);
    DeleteDC(screen);
    if (!bmp || !zuvo::platform::files::AtomicReplace(".\\shot.bmp", bmp->data(), bmp->size())) {
      state.SkipWithError("BMP not written");
      break;
    }
  }
  DeleteObject(picture);
}
BENCHMARK(BM_BmpWritten)->Arg(32)->Arg(8)->ArgName("screenBits")->Unit(benchmark::kMillisecond);

void BM_PngConverted(benchmark::State& state) {
  benchsupport::BenchInstall tree("capture-bench");
  Capture capture(32);
  HBITMAP picture = capture.Cut();
  HDC screen = CreateDCA("DISPLAY", nullptr, nullptr, nullptr);
  const auto bmp = zuvo::dialogs::capture::BuildBmpFile(screen, picture, 24);
  DeleteDC(screen);
  DeleteObject(picture);
  if (!bmp || !zuvo::platform::files::AtomicReplace(".\\shot.bmp", bmp->data(), bmp->size())) {
    state.SkipWithError("BMP not written");
    return;
  }
  for (auto _ : state) {
    if (!capture.library.ConvertBitmapFile(".\\shot.bmp", ".\\shot.png")) {
      state.SkipWithError("not converted");
      break;
    }
  }
}
BENCHMARK(BM_PngConverted)->Unit(benchmark::kMillisecond);

}  // namespace

ZUVO_OFFSCREEN_BENCHMARK_MAIN();

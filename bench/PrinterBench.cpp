// Printing to PDF files as on a machine without a printer: twenty A4 pages of 9-point text at 300
// dpi, and a 1920 x 1080 view turned into a two-colour image pixel by pixel and stretched onto an
// A4 page at 300 dpi, as the list and chart views print. Counters: the PDF file's size in bytes.
#include "BenchOffscreenMain.h"
#include "BenchInstall.h"

#include "platform/MessageBox.h"
#include "platform/Printer.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

using zuvo::platform::ScopedPdfPrinter;
using zuvo::platform::ScopedScriptedMessageBoxes;

// Prints the document, then measures and removes its file.
template <typename Draw>
void PrintToPdf(benchmark::State& state, const char* title, Draw draw) {
  benchsupport::BenchInstall tree("zuvo-bench-print");
  ScopedScriptedMessageBoxes boxes;
  ScopedPdfPrinter pdf((tree.user() / "printed").string(), 300);
  double bytes = 0;
  for (auto _ : state) {
    TPrinter* p = Printer();
    p->SetTitle(title);
    p->BeginDoc();
    draw(p);
    p->EndDoc();
    state.PauseTiming();
    bytes = static_cast<double>(std::filesystem::file_size(pdf.LastFile()));
    std::filesystem::remove(pdf.LastFile());
    state.ResumeTiming();
  }
  state.counters["pdf_bytes"] = bytes;
}

void BM_TwentyPagesOfTextToPdf(benchmark::State& state) {
  int lines = 0;
  PrintToPdf(state, "notes", [&lines](TPrinter* p) {
    TCanvas* c = p->Canvas();
    c->Font()->SetName("宋体");
    c->Font()->SetSize(9);
    const int step = c->TextHeight("证") + 8;
    const int margin = p->PageWidth() / 20;
    lines = 0;
    for (int page = 0; page < 20; ++page) {
      if (page > 0) p->NewPage();
      for (int y = margin; y + step <= p->PageHeight() - margin; y += step) {
        c->TextOut(margin, y, "上证信息  2024-05-17 15:00  关于期货合约交易保证金比例和涨跌停板幅度调整的通知 " +
                                  std::to_string(++lines));
      }
    }
  });
  state.counters["lines"] = lines;
}
BENCHMARK(BM_TwentyPagesOfTextToPdf)->Unit(benchmark::kSecond)->Iterations(3);

void BM_ViewAsTwoColourImageOnA4(benchmark::State& state) {
  constexpr int w = 1920, h = 1080;
  // The view: a quote list's stripes, text-like specks and a chart line on the button face.
  HDC view = CreateCompatibleDC(nullptr);
  HBITMAP viewBitmap = CreateCompatibleBitmap(view, w, h);
  HGDIOBJ oldView = SelectObject(view, viewBitmap);
  RECT all{0, 0, w, h};
  HBRUSH face = GetSysColorBrush(COLOR_BTNFACE);
  FillRect(view, &all, face);
  for (int y = 0; y < h; y += 24) {
    for (int x = (y / 24) % 7; x < w; x += 9) SetPixelV(view, x, y + 12, RGB(255, 255, 0));
  }
  for (int x = 0; x < w; ++x) SetPixelV(view, x, h / 2 + static_cast<int>(200 * ((x * 37 % 101) / 101.0 - 0.5)), RGB(255, 0, 0));
  const COLORREF background = GetSysColor(COLOR_BTNFACE);

  PrintToPdf(state, "view", [&](TPrinter* p) {
    const int pw = p->PageWidth(), ph = p->PageHeight();
    const int mx = pw / 20, my = ph / 20;
    const int aw = pw - 2 * mx, ah = ph - 2 * my;
    // The page is portrait and the view landscape: turned, as the views print.
    const float t = std::min(static_cast<float>(ah) / w, static_cast<float>(aw) / h);
    const int outW = static_cast<int>(h * t) - 1, outH = static_cast<int>(w * t) - 1;
    HDC mono = CreateCompatibleDC(p->Handle());
    HBITMAP bits = CreateBitmap(h, w, 1, 1, nullptr);
    HGDIOBJ old = SelectObject(mono, bits);
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        const COLORREF c = GetPixel(view, x, y);
        SetPixelV(mono, h - 1 - y, x, c == background ? RGB(255, 255, 255) : RGB(0, 0, 0));
      }
    }
    p->Canvas()->Pen()->SetColor(clBlack);
    p->Canvas()->Rectangle(mx - 1, my - 1, mx + outW + 2, my + outH + 2);
    StretchBlt(p->Handle(), mx, my, outW, outH, mono, 0, 0, h, w, SRCCOPY);
    SelectObject(mono, old);
    DeleteObject(bits);
    DeleteDC(mono);
  });
  SelectObject(view, oldView);
  DeleteObject(viewBitmap);
  DeleteDC(view);
}
BENCHMARK(BM_ViewAsTwoColourImageOnA4)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

ZUVO_OFFSCREEN_BENCHMARK_MAIN()

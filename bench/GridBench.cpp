// The draw grid as a quote list uses it: 1920 x 1080, 20 columns, 60 visible rows, every cell
// painted by OnDrawCell with text. Full paint, one row redrawn through a window context, a scroll
// by one row and by one page; each with 200 and with 7168 rows (the row count must not matter).
#include "BenchOffscreenMain.h"
#include "platform/Form.h"
#include "platform/Grid.h"
#include "platform/Message.h"
#include "platform/WinUser.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

class GridBench {
 public:
  explicit GridBench(int rows) {
    form_ = NewForm<TForm>(nullptr);
    form_->SetClientWidth(1920);
    form_->SetClientHeight(1080);
    grid_ = new TDrawGrid(form_);
    grid_->SetBounds(0, 0, 1920, 1080);
    grid_->SetColCount(20);
    grid_->SetRowCount(rows);
    grid_->SetFixedCols(1);
    grid_->SetFixedRows(1);
    grid_->SetDefaultColWidth(95);    // 20 x (95 + 1) = 1920
    grid_->SetDefaultRowHeight(17);   // 60 x (17 + 1) = 1080
    grid_->SetDefaultDrawing(false);
    grid_->SetScrollBars(ssNone);   // the quote list keeps its own bars
    grid_->SetOptions(grid_->Options() | goRowSelect);
    for (int i = 0; i < 20; ++i) texts_.push_back("12345." + std::to_string(10 + i));
    grid_->OnDrawCell = [this](TObject*, int c, int r, TRect rect, TGridDrawState state) {
      TCanvas* canvas = grid_->Canvas();
      canvas->Brush()->SetColor((state & gdSelected) ? clNavy : clBlack);
      canvas->Font()->SetColor(c == 0 ? clYellow : ((r & 1) ? clRed : clLime));
      canvas->TextRect(rect, rect.left + 2, rect.top + 1, texts_[static_cast<std::size_t>(c)]);
      ++cells_;
    };
    grid_->SetParent(form_);
    form_->Show();
    zuvo::platform::ProcessPendingMessages();
    Paint();
  }
  ~GridBench() {
    TComponent::Free(form_);
    zuvo::platform::ProcessPendingMessages();
  }
  void Paint() {
    InvalidateRect(grid_->Handle(), nullptr, FALSE);
    UpdateWindow(grid_->Handle());
  }
  TDrawGrid* grid_ = nullptr;
  long cells_ = 0;

 private:
  TForm* form_ = nullptr;
  std::vector<std::string> texts_;
};

void BM_FullPaint(benchmark::State& state) {
  GridBench bench(static_cast<int>(state.range(0)));
  for (auto _ : state) bench.Paint();
  state.counters["visible_rows"] = bench.grid_->VisibleRowCount() + 1;
}

void BM_RedrawRow(benchmark::State& state) {
  GridBench bench(static_cast<int>(state.range(0)));
  int row = 1;
  for (auto _ : state) {
    bench.grid_->RedrawRow(row);
    row = row % 58 + 1;
  }
}

void BM_ScrollOneRow(benchmark::State& state) {
  GridBench bench(static_cast<int>(state.range(0)));
  bool down = true;
  for (auto _ : state) {
    bench.grid_->SetTopRow(bench.grid_->TopRow() + (down ? 1 : -1));
    UpdateWindow(bench.grid_->Handle());
    down = !down;
  }
}

void BM_ScrollOnePage(benchmark::State& state) {
  GridBench bench(static_cast<int>(state.range(0)));
  const int page = bench.grid_->VisibleRowCount();
  bool down = true;
  for (auto _ : state) {
    bench.grid_->SetTopRow(bench.grid_->TopRow() + (down ? page : -page));
    UpdateWindow(bench.grid_->Handle());
    down = !down;
  }
}

BENCHMARK(BM_FullPaint)->Arg(200)->Arg(7168)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RedrawRow)->Arg(200)->Arg(7168)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ScrollOneRow)->Arg(200)->Arg(7168)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScrollOnePage)->Arg(200)->Arg(7168)->Unit(benchmark::kMillisecond);

}  // namespace

ZUVO_OFFSCREEN_BENCHMARK_MAIN()

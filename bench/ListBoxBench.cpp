// The list box with a market's instrument names: 7168 GBK names added one by one to a sorted box
// (each goes to its place), and a full paint of a 7168-row box, with 200 rows beside it (the row
// count must not matter to painting).
#include "BenchOffscreenMain.h"
#include "platform/Form.h"
#include "platform/ListBox.h"
#include "platform/Message.h"
#include "platform/WinUser.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

// Names in no order: a double-byte prefix, an ASCII code and a number scrambled by a stride.
std::vector<std::string> Names(int count) {
  const char* prefixes[] = {"白糖", "豆粕", "铜", "玉米", "Au", "cu", "螺纹", "棉花"};
  std::vector<std::string> out;
  out.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    const int k = (i * 7919) % count;
    out.push_back(std::string(prefixes[k % 8]) + std::to_string(2000 + k));
  }
  return out;
}

class Box {
 public:
  Box() {
    form_ = NewForm<TForm>(nullptr);
    form_->SetClientWidth(400);
    form_->SetClientHeight(800);
    box_ = new TListBox(form_);
    box_->SetBounds(0, 0, 400, 800);
    box_->SetParent(form_);
    form_->Show();
    zuvo::platform::ProcessPendingMessages();
  }
  ~Box() {
    TComponent::Free(form_);
    zuvo::platform::ProcessPendingMessages();
  }
  TListBox* box_ = nullptr;

 private:
  TForm* form_ = nullptr;
};

void BM_SortedAdd7168(benchmark::State& state) {
  const std::vector<std::string> names = Names(7168);
  Box b;
  b.box_->SetSorted(true);
  for (auto _ : state) {
    b.box_->Items()->Clear();
    for (const std::string& n : names) b.box_->Items()->Add(n);
    benchmark::DoNotOptimize(b.box_->Items()->Count());
  }
}

void BM_FullPaint(benchmark::State& state) {
  Box b;
  for (const std::string& n : Names(static_cast<int>(state.range(0)))) b.box_->Items()->Add(n);
  b.box_->SetItemIndex(3);
  for (auto _ : state) {
    InvalidateRect(b.box_->Handle(), nullptr, FALSE);
    UpdateWindow(b.box_->Handle());
  }
}

BENCHMARK(BM_SortedAdd7168)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FullPaint)->Arg(200)->Arg(7168)->Unit(benchmark::kMillisecond);

}  // namespace

ZUVO_OFFSCREEN_BENCHMARK_MAIN()

// The page's split tree: laying out a full-screen page of 32 cells (what a resize or the end of
// a drag costs beside the windows' own moves), and one step of a divider drag (the rectangles
// of both sides laid out again; it has to fit well inside a 16 ms frame).
#include "shell/SplitTree.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

namespace {

// The page window's side with nothing behind it: cells are numbered tokens.
class QuietHost final : public ISplitTreeHost {
 public:
  TMultiViewChild* CreateCell(PageNode*, const VIEW_ATTR_12*) override {
    auto* cell = reinterpret_cast<TMultiViewChild*>(static_cast<std::uintptr_t>(++lastId) << 4);
    cells.push_back(cell);
    return cell;
  }
  void SetCellNode(TMultiViewChild*, PageNode*) override {}
  void DestroyCell(TMultiViewChild*) override {}
  void PlaceCell(TMultiViewChild*, int left, int top, int width, int height) override {
    benchmark::DoNotOptimize(left + top + width + height);
  }
  void InitCell(TMultiViewChild*) override {}
  void ShowCell(TMultiViewChild*, bool) override {}
  void SetCellZoomFlag(TMultiViewChild*, bool) override {}
  TMultiViewChild* ZoomedCell() override { return nullptr; }
  void SetZoomedCell(TMultiViewChild*) override {}
  TMultiViewChild* ActiveCell() override { return nullptr; }
  void ActivateCell(TMultiViewChild*) override {}
  TMultiViewChild* CellAt(int index) override { return index < static_cast<int>(cells.size()) ? cells[index] : nullptr; }
  void ShowRefusal(const char*, const char*) override {}
  void XorFeedbackLine(const PageNode&, int, int position) override { benchmark::DoNotOptimize(position); }
  void RepaintPage() override {}

  int lastId = 0;
  std::vector<TMultiViewChild*> cells;
};

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

// 32 cells: every cell split in turn, across and down alternately (an 8 x 4 grid of subtrees).
void BuildPage(SplitTree& tree, QuietHost& host) {
  tree.SplitCell(tree.Root(), nullptr, 1.0f, SPLIT_HORZ);
  tree.LayoutPage(kWidth, kHeight);
  for (int round = 0; host.cells.size() < 32; ++round) {
    const std::vector<TMultiViewChild*> existing = host.cells;
    for (TMultiViewChild* cell : existing) {
      if (host.cells.size() >= 32) break;
      tree.SplitCell(tree.FindNode(cell), nullptr, 0.5f, round % 2 == 0 ? SPLIT_VERT : SPLIT_HORZ);
    }
    tree.LayoutPage(kWidth, kHeight);
  }
}

void BM_LayoutPage32Cells(benchmark::State& state) {
  QuietHost host;
  SplitTree tree(&host);
  BuildPage(tree, host);
  for (auto _ : state) {
    tree.LayoutPage(kWidth, kHeight);
    benchmark::DoNotOptimize(tree.TopNode()->width);
  }
  state.counters["cells"] = static_cast<double>(host.cells.size());
}
BENCHMARK(BM_LayoutPage32Cells);

// The page's middle divider (16 cells on each side) moved a pixel right and back, one step per
// iteration.
void BM_DividerDragStep(benchmark::State& state) {
  QuietHost host;
  SplitTree tree(&host);
  BuildPage(tree, host);
  const PageNode* left = tree.TopNode()->first;
  const int x = left->left + left->width - 1;
  const int y = kHeight / 3;
  EdgeHit hit = tree.HitTestEdge(x, y);
  if (!hit || !tree.BeginDrag(hit, x, y)) {
    state.SkipWithError("no divider under the point");
    return;
  }
  int step = 1;
  for (auto _ : state) {
    benchmark::DoNotOptimize(tree.DragEdge(tree.DragX() + step, y));
    step = -step;
  }
  tree.EndDrag();
}
BENCHMARK(BM_DividerDragStep);

// The hit test the mouse runs on every move over the page.
void BM_HitTest32Cells(benchmark::State& state) {
  QuietHost host;
  SplitTree tree(&host);
  BuildPage(tree, host);
  int x = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(tree.HitTestEdge(x, kHeight / 2));
    x = (x + 37) % kWidth;
  }
}
BENCHMARK(BM_HitTest32Cells);

}  // namespace

BENCHMARK_MAIN();

// Speed of the core containers and the block pool against the C heap.
#include "core/EArray.h"
#include "core/EBufferPool.h"

#include <benchmark/benchmark.h>

#include <cstdlib>

namespace {

// One block taken and returned per iteration; the block size is the formula engine's first pool.
void PoolAllocFree(benchmark::State& state) {
  EBufferPool pool(8224, 32, static_cast<std::uint32_t>(state.range(0)), false);
  for (auto _ : state) {
    void* block = pool.Alloc();
    benchmark::DoNotOptimize(block);
    pool.Free(block);
  }
}
BENCHMARK(PoolAllocFree)->Arg(1)->Arg(2)->ArgName("lanes");

void MallocFree(benchmark::State& state) {
  for (auto _ : state) {
    void* block = std::malloc(8224);
    benchmark::DoNotOptimize(block);
    std::free(block);
  }
}
BENCHMARK(MallocFree);

// Sixteen blocks held at once, then returned: walks the free lists beyond a single slot.
void PoolAllocFreeBurst(benchmark::State& state) {
  EBufferPool pool(8224, 32, static_cast<std::uint32_t>(state.range(0)), false);
  void* blocks[16];
  for (auto _ : state) {
    for (void*& block : blocks) block = pool.Alloc();
    benchmark::DoNotOptimize(blocks);
    for (void* block : blocks) pool.Free(block);
  }
  state.SetItemsProcessed(state.iterations() * 16);
}
BENCHMARK(PoolAllocFreeBurst)->Arg(1)->Arg(2)->ArgName("lanes");

void MallocFreeBurst(benchmark::State& state) {
  void* blocks[16];
  for (auto _ : state) {
    for (void*& block : blocks) block = std::malloc(8224);
    benchmark::DoNotOptimize(blocks);
    for (void* block : blocks) std::free(block);
  }
  state.SetItemsProcessed(state.iterations() * 16);
}
BENCHMARK(MallocFreeBurst);

struct Record12 {
  std::uint32_t a, b, c;
};

// Grow step 384 (a subscription list's) doubles about twelve times; a step of 1M never grows.
void ArrayAddMillion(benchmark::State& state) {
  for (auto _ : state) {
    EArray<Record12> array(static_cast<int>(state.range(0)));
    for (std::uint32_t i = 0; i < 1000000; ++i) array.Add(Record12{i, i, i});
    benchmark::DoNotOptimize(array.GetData());
  }
  state.SetItemsProcessed(state.iterations() * 1000000);
}
BENCHMARK(ArrayAddMillion)->Arg(384)->Arg(1000000)->ArgName("step")->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

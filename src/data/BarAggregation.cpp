#include "data/BarAggregation.h"

#include "core/PackedTime.h"
#include "data/CacheRecords.h"

#include <cstring>

namespace {

// Accumulates consecutive base bars into one merged bar.
class BarMerger {
 public:
  explicit BarMerger(bool sumAmount) : sumAmount_(sumAmount) {}

  bool empty() const { return size_ == 0; }
  int size() const { return size_; }
  std::uint32_t lastTime() const { return merged_.time; }

  void Start(const ChartBar& bar) {
    merged_ = bar;
    size_ = 1;
  }

  void Add(const ChartBar& bar) {
    merged_.time = bar.time;
    merged_.close = bar.close;
    if (bar.high > merged_.high) merged_.high = bar.high;
    if (bar.low < merged_.low) merged_.low = bar.low;
    merged_.volume += bar.volume;
    // Open interest is a level, not a flow: the group keeps the last one.
    merged_.amount = sumAmount_ ? merged_.amount + bar.amount : bar.amount;
    merged_.settlement = bar.settlement;
    ++size_;
  }

  // Writes the merged bar; safe when output aliases the input, because a group is written at
  // an index no greater than that of its first base bar, which has already been read.
  void Flush(ChartBar* output, int* written) {
    if (size_ == 0) return;
    std::memcpy(&output[*written], &merged_, sizeof merged_);
    ++*written;
    size_ = 0;
  }

 private:
  ChartBar merged_{};
  int size_ = 0;
  bool sumAmount_;
};

void CopyBars(const ChartBar* base, int count, ChartBar* output, int* outCount) {
  if (output != base) std::memmove(output, base, static_cast<std::size_t>(count) * sizeof(ChartBar));
  *outCount = count;
}

// Merges consecutive base bars into groups: closesGroup(merger, bar) says whether bar starts a
// new group after the open one. *lastGroupSize (when given) receives the size of the final
// group, 0 without bars.
template <typename ClosesGroup>
int GroupBars(const ChartBar* base, int count, ChartBar* output, bool sumAmount, ClosesGroup closesGroup,
              int* lastGroupSize = nullptr) {
  BarMerger merger(sumAmount);
  int written = 0;
  for (int i = 0; i < count; ++i) {
    const ChartBar bar = base[i];
    if (!merger.empty() && closesGroup(merger, bar)) merger.Flush(output, &written);
    if (merger.empty()) {
      merger.Start(bar);
    } else {
      merger.Add(bar);
    }
  }
  if (lastGroupSize) *lastGroupSize = merger.size();
  merger.Flush(output, &written);
  return written;
}

// Groups of `size` consecutive bars that fall on one day; a new day closes the group early.
int GroupWithinDays(const ChartBar* base, int count, ChartBar* output, int size, bool sumAmount) {
  if (size < 1) size = 1;
  return GroupBars(base, count, output, sumAmount, [size](const BarMerger& merger, const ChartBar& bar) {
    return merger.size() >= size || !IsSameDay(merger.lastTime(), bar.time);
  });
}

// Consecutive bars that share a calendar period with the group's latest bar.
template <typename SamePeriod>
int GroupByCalendar(const ChartBar* base, int count, ChartBar* output, bool sumAmount,
                    SamePeriod samePeriod) {
  return GroupBars(base, count, output, sumAmount, [&samePeriod](const BarMerger& merger, const ChartBar& bar) {
    return !samePeriod(merger.lastTime(), bar.time);
  });
}

// Groups of n consecutive bars without calendar alignment; reports whether the last is whole.
int GroupByCount(const ChartBar* base, int count, ChartBar* output, int n, bool sumAmount,
                 bool* lastComplete) {
  int lastGroupSize = 0;
  const int written = GroupBars(
      base, count, output, sumAmount, [n](const BarMerger& merger, const ChartBar&) { return merger.size() >= n; },
      &lastGroupSize);
  if (lastGroupSize > 0 && lastGroupSize < n && lastComplete) *lastComplete = false;
  return written;
}

}  // namespace

bool IsStockLikeMarket(int marketKind) { return marketKind == 1 || marketKind == 6; }

void AggregateBars(int cycle, int n, const ChartBar* base, int count, ChartBar* output,
                   int* outCount, int marketKind, bool* lastBarComplete) {
  if (lastBarComplete) *lastBarComplete = true;
  if (!outCount) return;
  *outCount = 0;
  if (!base || !output || count <= 0) return;
  const bool sumAmount = IsStockLikeMarket(marketKind);

  switch (cycle) {
    case kCycleWeek:
      *outCount = GroupByCalendar(base, count, output, sumAmount,
                                  [](std::uint32_t a, std::uint32_t b) { return IsSameWeek(a, b); });
      return;
    case kCycleMonth:
      *outCount = GroupByCalendar(base, count, output, sumAmount,
                                  [](std::uint32_t a, std::uint32_t b) { return IsSameMonth(a, b); });
      return;
    case kCycleQuarter:
      *outCount = GroupByCalendar(base, count, output, sumAmount, [](std::uint32_t a, std::uint32_t b) {
        return IsSameQuarter(a, b);
      });
      return;
    case kCycleNDay:
      // N of 0 or below has no meaning as a group size: the day bars are shown as they are.
      if (n <= 1) break;
      *outCount = GroupByCount(base, count, output, n, sumAmount, lastBarComplete);
      return;
    case kCycle3Min:
    case kCycle15Min:
      *outCount = GroupWithinDays(base, count, output, 3, sumAmount);
      return;
    case kCycle30Min:
      *outCount = GroupWithinDays(base, count, output, 6, sumAmount);
      return;
    case kCycle120Min:
      *outCount = GroupWithinDays(base, count, output, 2, sumAmount);
      return;
    case kCycle240Min:
      *outCount = GroupWithinDays(base, count, output, 4, sumAmount);
      return;
    case kCycleNMin:
      if (n <= 1 || n == 5 || n == 60) break;
      *outCount = GroupWithinDays(base, count, output, n / BarFileMinutes(MinuteBarFileFor(n)), sumAmount);
      return;
    default:
      break;
  }
  CopyBars(base, count, output, outCount);
}

void AggregateMinuteBars(int cycle, int n, const ChartBar* minutes, int count, ChartBar* output,
                         int* outCount, int marketKind) {
  if (!outCount) return;
  *outCount = 0;
  if (!minutes || !output || count <= 0) return;
  int groupSize = 1;
  switch (cycle) {
    case kCycle1Min: groupSize = 1; break;
    case kCycle3Min: groupSize = 3; break;
    case kCycleNMin: groupSize = n; break;
    case kCycle5Min: groupSize = 5; break;
    case kCycle15Min: groupSize = 15; break;
    case kCycle30Min: groupSize = 30; break;
    case kCycle60Min: groupSize = 60; break;
    case kCycle120Min: groupSize = 120; break;
    case kCycle240Min: groupSize = 240; break;
    default: groupSize = 1; break;
  }
  if (groupSize <= 1) {
    CopyBars(minutes, count, output, outCount);
    return;
  }
  *outCount = GroupWithinDays(minutes, count, output, groupSize, IsStockLikeMarket(marketKind));
}

// Placeholder until the merges are written.
#include "net/CacheMerge.h"

void MergeBars(const char*, const ChartBar*, int, int) {}
void MergeAdvice(const char*, const std::uint8_t*, int) {}

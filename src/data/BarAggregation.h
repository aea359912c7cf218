// Builds the bars of a chart cycle from bars of its base period: weeks, months and quarters from
// day bars, N-day groups, and intraday groups (3, 15, 30, 120, 240 or N minutes) from one-,
// five- or sixty-minute bars. A merged bar takes the time and close of its last base bar, the
// open of its first, the extremes, the summed volume, the summed amount in stock-like markets
// (kinds 1 and 6) or the last amount elsewhere (open interest is a level), and the last
// settlement. Pure computation; the output may be the input array itself (in-place merge).
#pragma once

#include "data/Records.h"

// Merges count base bars (file order, oldest first) into bars of the cycle:
// - copied unchanged: cycles 0, 1, 4, 7, 8, unknown cycles, cycle 12 with n <= 1, cycle 3 with
//   n of 1, 5 or 60 or below 1;
// - 9, 10, 11: consecutive bars of the same week (weeks end on Saturday), month or quarter;
// - 2, 5, 6, 3, 13, 14: groups of g consecutive bars of the same day, a new day always starting
//   a new group; g is 3, 3, 6, and for 3, 13, 14 the period (n, 120, 240 minutes) over the base
//   period of the cycle's base file, at least 1;
// - 12 with n > 1: groups of n consecutive bars; *lastBarComplete becomes false when the last
//   group is short.
// output holds at least count bars. *outCount gets the bars written; *lastBarComplete (may be
// null) starts true. A null input, output or count <= 0 gives 0 bars.
void AggregateBars(int cycle, int n, const ChartBar* base, int count, ChartBar* output,
                   int* outCount, int marketKind, bool* lastBarComplete);

// Merges today's one-minute bars into bars of an intraday cycle: cycle 1 and cycle 3 with
// n <= 1 are copied; otherwise groups of g one-minute bars of the same day, g = 3, n, 5, 15, 30,
// 60, 120, 240 for cycles 2, 3, 4, 5, 6, 7, 13, 14 and 1 for any other cycle.
void AggregateMinuteBars(int cycle, int n, const ChartBar* minutes, int count, ChartBar* output,
                         int* outCount, int marketKind);

// True for the market kinds whose bar amounts are money and are summed (1 and 6).
bool IsStockLikeMarket(int marketKind);

// The model-derived files of the sample install tree, for every instrument the model loaded:
// the quotes (real.<ext>), day bars (.day), sixty-, five- and one-minute bars (.hr, .min, .m1),
// the trend history of the newest days (.trn), the newest day's trades (.tik) and the ex-rights
// records (.wgt, stocks only). Each file holds exactly what the model answers for the moment
// `now`, so the quote server serves the same bytes; written after the description files.
#pragma once

#include "MarketModel.h"

#include <cstdint>
#include <filesystem>

// Days of the trend history file (the newest trading days up to the last completed one).
constexpr int kSampleTrendDays = 6;

// Writes the files under <root>/data/<market folder>/. False when a file cannot be written.
bool WriteSampleHistory(const std::filesystem::path& root, const zuvo::model::MarketModel& model, std::int64_t now);

// History files of the sample market for every instrument of SampleMarkets(): day bars (.day),
// sixty-, five- and one-minute bars (.hr, .min, .m1), the trend history of the newest days
// (.trn) and the newest day's trades (.tik). Deterministic: the newest trading day is fixed
// (Friday 2024-06-28) and prices come from a per-instrument walk seeded by its code, so every
// run writes the same bytes. Written after the markets by the generator's main.
#pragma once

#include <filesystem>

// Writes the history files under <root>/data/<market folder>/. Returns false when a file
// cannot be written.
bool WriteSampleHistory(const std::filesystem::path& root);

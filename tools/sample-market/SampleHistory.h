// History files of the sample market (bars, trend history, ticks) for the instruments of
// SampleMarkets(). Written after the markets by the generator's main.
#pragma once

#include <filesystem>

// Writes the history files under <root>/data/<market folder>/. Returns false when a file
// cannot be written.
bool WriteSampleHistory(const std::filesystem::path& root);

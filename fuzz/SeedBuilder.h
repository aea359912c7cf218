// The seed corpora of the fuzz targets: small inputs built by code (checked in under
// fuzz/seeds/) and inputs made from the sample market and the shipped settings files.
#pragma once

#include <filesystem>

// Writes the built-in seeds of every target to <out>/<target>/. False when a file cannot be
// written.
bool WriteBuiltinSeeds(const std::filesystem::path& out);
// Writes seeds made from a sample market tree (tools/sample-market) and the repository's
// shipped files (dist/) to <out>/<target>/. False when a file cannot be written.
bool WriteSampleSeeds(const std::filesystem::path& out, const std::filesystem::path& sampleRoot,
                      const std::filesystem::path& repositoryRoot);

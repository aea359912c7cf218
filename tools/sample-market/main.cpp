// sample-market <root> [--seed N]: writes the sample install tree under <root>.
#include "MarketModel.h"
#include "SampleHistory.h"
#include "SampleMarket.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

int main(int argc, char** argv) {
  std::uint32_t seed = zuvo::model::kSampleSeed;
  if (argc == 4 && std::strcmp(argv[2], "--seed") == 0) {
    char* end = nullptr;
    const unsigned long value = std::strtoul(argv[3], &end, 10);
    if (end == argv[3] || *end != '\0' || value > 0xFFFFFFFFul) {
      std::fprintf(stderr, "sample-market: bad seed %s\n", argv[3]);
      return 2;
    }
    seed = static_cast<std::uint32_t>(value);
  } else if (argc != 2) {
    std::fprintf(stderr, "usage: sample-market <root> [--seed N]\n");
    return 2;
  }
  const std::filesystem::path root = argv[1];
  if (!WriteSampleMarkets(root)) {
    std::fprintf(stderr, "sample-market: cannot write the markets under %s\n", argv[1]);
    return 1;
  }
  std::string error;
  const auto model = zuvo::model::MarketModel::Load(root, seed, &error);
  if (model == nullptr) {
    std::fprintf(stderr, "sample-market: %s\n", error.c_str());
    return 1;
  }
  if (!WriteSampleHistory(root, *model, zuvo::model::kSampleNow)) {
    std::fprintf(stderr, "sample-market: cannot write the history under %s\n", argv[1]);
    return 1;
  }
  return 0;
}

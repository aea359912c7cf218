// sample-market <root>: writes the sample install tree under <root>.
#include "SampleHistory.h"
#include "SampleMarket.h"

#include <cstdio>
#include <filesystem>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: sample-market <root>\n");
    return 2;
  }
  const std::filesystem::path root = argv[1];
  if (!WriteSampleMarkets(root)) {
    std::fprintf(stderr, "sample-market: cannot write the markets under %s\n", argv[1]);
    return 1;
  }
  if (!WriteSampleHistory(root)) {
    std::fprintf(stderr, "sample-market: cannot write the history under %s\n", argv[1]);
    return 1;
  }
  return 0;
}

// fuzz_seeds --builtin <out> | fuzz_seeds <out> <sample-root> <repository-root>
// Writes seed inputs to <out>/<target>/: the small built-in set, or the set made from a sample
// market tree and the repository's shipped files.
#include "SeedBuilder.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--builtin") return WriteBuiltinSeeds(argv[2]) ? 0 : 1;
  if (argc == 4) return WriteSampleSeeds(argv[1], argv[2], argv[3]) ? 0 : 1;
  std::fprintf(stderr, "usage: fuzz_seeds --builtin <out> | fuzz_seeds <out> <sample-root> <repository-root>\n");
  return 2;
}

// Replays kept inputs through a fuzz target without a fuzzer, as an ordinary test:
//   fuzz_replay <target> <file or folder>...   every file beneath each folder, in name order;
//                                               a missing folder holds no inputs
//   fuzz_replay --list                          the target names
// A broken property aborts (the test fails); otherwise prints how many inputs ran.
#include "FuzzSupport.h"
#include "FuzzTargets.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

// Leaks inside system libraries that the program cannot free, as in the unit tests.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig\n"
         "leak:libQt6\n"
         "leak:libglib\n"
         "leak:libdbus\n";
}

namespace {

namespace fs = std::filesystem;

// Notes and dot files beside the inputs are not inputs.
bool IsInput(const fs::path& file) {
  const std::string name = file.filename().string();
  return !name.empty() && name[0] != '.' && name.rfind("README", 0) != 0;
}

void Collect(const fs::path& where, std::vector<fs::path>& inputs) {
  std::error_code error;
  if (fs::is_regular_file(where, error)) {
    inputs.push_back(where);
    return;
  }
  if (!fs::is_directory(where, error)) return;
  std::vector<fs::path> found;
  for (auto it = fs::recursive_directory_iterator(where, error); !error && it != fs::recursive_directory_iterator();
       it.increment(error)) {
    if (it->is_regular_file(error) && IsInput(it->path())) found.push_back(it->path());
  }
  std::sort(found.begin(), found.end());
  inputs.insert(inputs.end(), found.begin(), found.end());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::string(argv[1]) == "--list") {
    for (int i = 0; i < kFuzzTargetCount; ++i) std::printf("%s\n", kFuzzTargets[i].name);
    return 0;
  }
  if (argc < 2) {
    std::fprintf(stderr, "usage: fuzz_replay <target> <file or folder>... | --list\n");
    return 2;
  }
  const FuzzTarget* target = FindFuzzTarget(argv[1]);
  if (!target) {
    std::fprintf(stderr, "no fuzz target named %s\n", argv[1]);
    return 2;
  }
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  std::vector<fs::path> inputs;
  for (int i = 2; i < argc; ++i) Collect(argv[i], inputs);
  for (const fs::path& file : inputs) {
    std::ifstream in(file, std::ios::binary);
    const std::string input((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::fprintf(stderr, "%s: %s\n", target->name, file.string().c_str());
    RunFuzzTarget(*target, reinterpret_cast<const std::uint8_t*>(input.data()), input.size());
  }
  std::printf("%s: %zu inputs replayed\n", target->name, inputs.size());
  return 0;
}

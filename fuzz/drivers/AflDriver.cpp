// The fuzzer's driver of one target (ZUVO_FUZZ_TARGET names it): AFL++'s persistent loop over
// inputs handed over in shared memory, built with afl-g++-fast. Given file arguments it runs
// those files once each instead, to reproduce a finding in the fuzzing build.
#include "FuzzSupport.h"
#include "FuzzTargets.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#ifndef ZUVO_FUZZ_TARGET
#error "ZUVO_FUZZ_TARGET must name the target this driver runs"
#endif

__AFL_FUZZ_INIT();

int main(int argc, char** argv) {
  const FuzzTarget* target = FindFuzzTarget(ZUVO_FUZZ_TARGET);
  if (!target) {
    std::fprintf(stderr, "no fuzz target named %s\n", ZUVO_FUZZ_TARGET);
    return 2;
  }
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  // One install tree for the whole run, made before the fork server: every child reuses it.
  fuzz::Sandbox::Prepare();

  if (argc > 1) {
    for (int i = 1; i < argc; ++i) {
      std::ifstream in(argv[i], std::ios::binary);
      const std::string input((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      RunFuzzTarget(*target, reinterpret_cast<const std::uint8_t*>(input.data()), input.size());
    }
    return 0;
  }

  __AFL_INIT();
  const unsigned char* buffer = __AFL_FUZZ_TESTCASE_BUF;
  while (__AFL_LOOP(10000)) {
    const int length = __AFL_FUZZ_TESTCASE_LEN;
    RunFuzzTarget(*target, buffer, static_cast<std::size_t>(length));
  }
  return 0;
}

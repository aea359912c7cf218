// The main of every test executable.
#include <gtest/gtest.h>

#include <cstdlib>

// Leaks inside system libraries (font configuration, Qt's own caches) that the program cannot
// free. LeakSanitizer asks for this list itself, so a test binary run by hand needs no options.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig\n"
         "leak:libQt6\n"
         "leak:libglib\n"
         "leak:libdbus\n"
         "leak:libX11\n"
         "leak:libxcb\n";
}

int main(int argc, char** argv) {
  // Tests never need a display: a test binary run by hand, without ctest's environment, uses
  // the offscreen platform unless the developer asked for another one. Set before anything
  // creates the application.
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

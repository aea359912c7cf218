// The main of every test executable.
#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
  // Tests never need a display: a test binary run by hand, without ctest's environment, uses
  // the offscreen platform unless the developer asked for another one. Set before anything
  // creates the application.
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

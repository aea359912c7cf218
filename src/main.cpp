// The terminal's process: the static objects around the entry.
#include "shell/Entry.h"
#include "shell/MainFrame.h"

#include <string>

int main(int argc, char** argv) {
  std::string commandLine;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) commandLine += ' ';
    commandLine += argv[i];
  }
  StartupStaticObjects();
  const int result = WinMain(nullptr, nullptr, commandLine.data(), 0);
  ShutdownStaticObjects();
  return result;
}

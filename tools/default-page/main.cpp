// default-page [<root>]: writes <root>/cfg/Default.ppg from the install tree's markets, blocks
// and settings. Without a root the current directory is the tree's bin/ folder. Exit status 0
// when the page was written, 1 (the reason on standard error) when not, 2 for a bad command line.
#include "DefaultPage.h"

#include "platform/Paths.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

int main(int argc, char** argv) {
  if (argc > 2) {
    std::fprintf(stderr, "usage: %s [<install root>]\n", argv[0]);
    return 2;
  }
  if (argc == 2) {
    const std::filesystem::path root = std::filesystem::absolute(argv[1]);
    std::error_code error;
    std::filesystem::current_path(root / "bin", error);
    if (error) {
      std::fprintf(stderr, "default-page: cannot enter %s: %s\n", (root / "bin").c_str(), error.message().c_str());
      return 1;
    }
    zuvo::platform::paths::SetInstallRoot(root.lexically_normal().string());
  }
  const std::string error = zuvo::tools::WriteDefaultPage();
  if (!error.empty()) {
    std::fprintf(stderr, "default-page: %s\n", error.c_str());
    return 1;
  }
  return 0;
}

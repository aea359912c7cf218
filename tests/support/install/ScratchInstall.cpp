#include "support/install/ScratchInstall.h"

#include "platform/Paths.h"
#include "platform/Profile.h"

#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <system_error>

using namespace zuvo::platform;

namespace testsupport {

ScratchInstall::ScratchInstall(const std::string& prefix) {
  std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed for " + pattern);
  root_ = pattern;
  for (const char* sub : {"bin", "cfg", "data", "user"}) std::filesystem::create_directories(root_ / sub);
  previousDir_ = std::filesystem::current_path();
  std::filesystem::current_path(root_ / "bin");
  paths::SetInstallRoot(root_.string());
  paths::InvalidateCache();
  profile::ClearCache();
}

ScratchInstall::~ScratchInstall() {
  std::error_code ignored;
  std::filesystem::current_path(previousDir_, ignored);
  std::filesystem::permissions(root_, std::filesystem::perms::owner_all, ignored);
  std::filesystem::remove_all(root_, ignored);
  paths::InvalidateCache();
  profile::ClearCache();
}

void WriteWholeFile(const std::filesystem::path& file, const void* bytes, std::size_t size) {
  std::filesystem::create_directories(file.parent_path());
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(static_cast<const char*>(bytes), static_cast<std::streamsize>(size));
  out.close();
  paths::InvalidateCache();
  profile::ClearCache();
}

}  // namespace testsupport

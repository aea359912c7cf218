#include "support/TempInstall.h"

#include "platform/Paths.h"
#include "platform/Profile.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace testsupport {

TempInstall::TempInstall() {
  std::string pattern = (std::filesystem::temp_directory_path() / "zuvo-test-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  root_ = pattern;
  for (const char* sub : {"bin", "cfg", "data", "user"}) std::filesystem::create_directories(root_ / sub);
  previousDir_ = std::filesystem::current_path();
  std::filesystem::current_path(root_ / "bin");
  paths::SetInstallRoot(root_.string());
  paths::InvalidateCache();
  profile::ClearCache();
}

TempInstall::~TempInstall() {
  std::error_code ignored;
  std::filesystem::current_path(previousDir_, ignored);
  std::filesystem::permissions(root_, std::filesystem::perms::owner_all, ignored);
  std::filesystem::remove_all(root_, ignored);
  paths::InvalidateCache();
  profile::ClearCache();
}

void WriteBytes(const std::filesystem::path& file, std::string_view bytes) {
  std::filesystem::create_directories(file.parent_path());
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  paths::InvalidateCache();
  profile::ClearCache();
}

std::string ReadBytes(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string CrlfLines(std::initializer_list<std::string_view> lines) {
  std::string out;
  for (auto line : lines) {
    out.append(line);
    out.append("\r\n");
  }
  return out;
}

}  // namespace testsupport

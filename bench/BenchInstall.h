// A throw-away install tree for one benchmark program: <root>/{bin,cfg,data,user} in the
// temporary folder, bin/ the current directory and <root> the platform's install root, so
// "..\cfg\x.ini" reaches <root>/cfg. Aborts the program when the tree cannot be made; when it
// goes away it restores the previous current directory, removes the tree and drops the path and
// profile caches.
#pragma once

#include "platform/Paths.h"
#include "platform/Profile.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <string_view>
#include <system_error>

namespace benchsupport {

class BenchInstall {
 public:
  // The tree's folder is named `prefix` and a random number.
  explicit BenchInstall(const std::string& prefix) {
    std::random_device random;
    for (int attempt = 0; root_.empty(); ++attempt) {
      if (attempt == 100) std::abort();
      std::string name = prefix;
      name += '-';
      name += std::to_string(random());
      const std::filesystem::path candidate = std::filesystem::temp_directory_path() / name;
      std::error_code error;
      if (std::filesystem::create_directory(candidate, error)) root_ = candidate;
    }
    for (const char* dir : {"bin", "cfg", "data", "user"}) std::filesystem::create_directories(root_ / dir);
    previous_ = std::filesystem::current_path();
    std::filesystem::current_path(root_ / "bin");
    paths::SetInstallRoot(root_.string());
    paths::InvalidateCache();
  }
  ~BenchInstall() {
    std::error_code ignored;
    std::filesystem::current_path(previous_, ignored);
    std::filesystem::remove_all(root_, ignored);
    paths::InvalidateCache();
    profile::ClearCache();
  }
  BenchInstall(const BenchInstall&) = delete;
  BenchInstall& operator=(const BenchInstall&) = delete;

  const std::filesystem::path& root() const { return root_; }
  std::filesystem::path cfg() const { return root_ / "cfg"; }
  std::filesystem::path data() const { return root_ / "data"; }
  std::filesystem::path user() const { return root_ / "user"; }

 private:
  std::filesystem::path root_;
  std::filesystem::path previous_;
};

// Writes a whole file, creating its folders, and drops the path cache so the program sees it
// at once.
inline void WriteFile(const std::filesystem::path& file, const void* bytes, std::size_t size) {
  std::filesystem::create_directories(file.parent_path());
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(static_cast<const char*>(bytes), static_cast<std::streamsize>(size));
  out.close();
  paths::InvalidateCache();
}
inline void WriteFile(const std::filesystem::path& file, std::string_view bytes) {
  WriteFile(file, bytes.data(), bytes.size());
}

}  // namespace benchsupport

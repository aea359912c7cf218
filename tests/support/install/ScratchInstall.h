// A throw-away install tree for a test or a benchmark: <root>/{bin,cfg,data,user} in the
// temporary folder, with bin/ as the current directory and <root> as the platform's install
// root, so "..\cfg\x.ini" reaches <root>/cfg. Throws std::runtime_error when the tree cannot be
// made. When it goes away it restores the previous current directory, removes the tree (giving
// its root back the owner's permissions a test may have taken) and drops the path and profile
// caches.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

namespace testsupport {

class ScratchInstall {
 public:
  // The tree's folder is named `prefix`, a dash and six random characters.
  explicit ScratchInstall(const std::string& prefix);
  ~ScratchInstall();
  ScratchInstall(const ScratchInstall&) = delete;
  ScratchInstall& operator=(const ScratchInstall&) = delete;

  const std::filesystem::path& root() const { return root_; }
  std::filesystem::path bin() const { return root_ / "bin"; }
  std::filesystem::path cfg() const { return root_ / "cfg"; }
  std::filesystem::path data() const { return root_ / "data"; }
  std::filesystem::path user() const { return root_ / "user"; }

 private:
  std::filesystem::path root_;
  std::filesystem::path previousDir_;
};

// Writes a whole file, creating its folders, and drops the path and profile caches so that the
// program sees it at once.
void WriteWholeFile(const std::filesystem::path& file, const void* bytes, std::size_t size);

}  // namespace testsupport

// A throw-away install tree for one benchmark program: <root>/{bin,cfg,data,user} in the
// temporary folder, bin/ the current directory and <root> the platform's install root, so
// "..\cfg\x.ini" reaches <root>/cfg. Ends the program when the tree cannot be made; when it
// goes away it restores the previous current directory, removes the tree and drops the path and
// profile caches. The tests' install tree, under another name.
#pragma once

#include "support/install/ScratchInstall.h"

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

namespace benchsupport {

class BenchInstall : public testsupport::ScratchInstall {
 public:
  // The tree's folder is named `prefix`, a dash and six random characters.
  explicit BenchInstall(const std::string& prefix) : ScratchInstall(prefix) {}
};

// Writes a whole file, creating its folders, and drops the path and profile caches so the
// program sees it at once.
inline void WriteFile(const std::filesystem::path& file, const void* bytes, std::size_t size) {
  testsupport::WriteWholeFile(file, bytes, size);
}
inline void WriteFile(const std::filesystem::path& file, std::string_view bytes) {
  WriteFile(file, bytes.data(), bytes.size());
}

}  // namespace benchsupport

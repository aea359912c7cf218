// A temporary install tree for one test: <root>/{bin,cfg,data,user}, with bin/ as the current
// directory and <root> as the platform's install root, so "..\cfg\x.ini" reaches <root>/cfg.
// Everything is removed and the previous current directory restored when it goes away.
#pragma once

#include "support/install/ScratchInstall.h"

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

namespace testsupport {

class TempInstall : public ScratchInstall {
 public:
  TempInstall() : ScratchInstall("zuvo-test") {}
};

// Whole-file helpers on POSIX paths (parents are created by WriteBytes).
void WriteBytes(const std::filesystem::path& file, std::string_view bytes);
std::string ReadBytes(const std::filesystem::path& file);

// Joins lines with CRLF, as the program's INI files are written ("a", "b" -> "a\r\nb\r\n").
std::string CrlfLines(std::initializer_list<std::string_view> lines);

}  // namespace testsupport

// A temporary install tree for one test: <root>/{bin,cfg,data,user}, with bin/ as the current
// directory and <root> as the platform's install root, so "..\cfg\x.ini" reaches <root>/cfg.
// Everything is removed and the previous current directory restored when it goes away.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

namespace testsupport {

class TempInstall {
 public:
  TempInstall();
  ~TempInstall();
  TempInstall(const TempInstall&) = delete;
  TempInstall& operator=(const TempInstall&) = delete;

  const std::filesystem::path& root() const { return root_; }
  std::filesystem::path bin() const { return root_ / "bin"; }
  std::filesystem::path cfg() const { return root_ / "cfg"; }
  std::filesystem::path data() const { return root_ / "data"; }
  std::filesystem::path user() const { return root_ / "user"; }

 private:
  std::filesystem::path root_;
  std::filesystem::path previousDir_;
};

// Whole-file helpers on POSIX paths (parents are created by WriteBytes).
void WriteBytes(const std::filesystem::path& file, std::string_view bytes);
std::string ReadBytes(const std::filesystem::path& file);

// Joins lines with CRLF, as the program's INI files are written ("a", "b" -> "a\r\nb\r\n").
std::string CrlfLines(std::initializer_list<std::string_view> lines);

}  // namespace testsupport

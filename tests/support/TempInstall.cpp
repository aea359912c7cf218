#include "support/TempInstall.h"

#include <fstream>
#include <iterator>

namespace testsupport {

void WriteBytes(const std::filesystem::path& file, std::string_view bytes) {
  WriteWholeFile(file, bytes.data(), bytes.size());
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

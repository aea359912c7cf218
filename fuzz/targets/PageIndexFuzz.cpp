// Fuzz target "pageindex": the page index "zvpage.idx" and the page list scan over it and the
// page folders (ScanPageFiles, WritePageIndex).
// Input: parts cut at the separator: the index's bytes, then up to three files put in the user
// folder as zvpage0.ppg .. zvpage2.ppg.
// Property: the scan never changes or removes a page file; it lists at most 128 pages, each one
// a file the page reader reads, under the name in its header; the index is left as it was or
// holds exactly the word 1 and the listed paths; an index written from the list scans back to
// the same list.
#include "FuzzSupport.h"
#include "FuzzTargets.h"
#include "shell/PageList.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string IndexOfList() {
  std::string bytes(4 + kPagePathSize * static_cast<std::size_t>(PageListCount()), '\0');
  const std::uint32_t word = 1;
  std::memcpy(bytes.data(), &word, 4);
  for (int i = 0; i < PageListCount(); ++i) {
    const CPageData& entry = PageListEntry(i);
    std::memcpy(bytes.data() + 4 + kPagePathSize * static_cast<std::size_t>(i), entry.path, strnlen(entry.path, kPagePathSize));
  }
  return bytes;
}

std::vector<std::string> ListedPaths() {
  std::vector<std::string> paths;
  for (int i = 0; i < PageListCount(); ++i) paths.emplace_back(PageListEntry(i).path, strnlen(PageListEntry(i).path, kPagePathSize));
  return paths;
}

}  // namespace

int FuzzPageIndex(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string_view> parts = fuzz::SplitParts(input, 4);
  const std::string index(parts[0]);
  fuzz::Sandbox::Write("user/zvpage.idx", index);
  std::vector<std::string> pages;
  for (std::size_t i = 1; i < parts.size(); ++i) {
    pages.emplace_back(parts[i]);
    fuzz::Sandbox::Write("user/zvpage" + std::to_string(i - 1) + ".ppg", pages.back());
  }

  ScanPageFiles();
  for (std::size_t i = 0; i < pages.size(); ++i) {
    FUZZ_CHECK(fuzz::Sandbox::Read("user/zvpage" + std::to_string(i) + ".ppg") == pages[i],
               "the scan never changes or removes a page file");
  }
  FUZZ_CHECK(PageListCount() <= kPageListCapacity, "at most 128 pages");
  for (int i = 0; i < PageListCount(); ++i) {
    const CPageData& entry = PageListEntry(i);
    FUZZ_CHECK(strnlen(entry.path, kPagePathSize) < kPagePathSize && strnlen(entry.name, kPageNameSize) < kPageNameSize,
               "entries are zero-terminated");
    PageModel model;
    FUZZ_CHECK(LoadPageFile(entry.path, model) == PageLoadResult::kLoaded, "every listed page reads");
    FUZZ_CHECK(strncmp(model.name, entry.name, kPageNameSize - 1) == 0, "the name is the header's");
  }
  const std::string after = fuzz::Sandbox::Read("user/zvpage.idx");
  FUZZ_CHECK(after == index || after == IndexOfList(), "the index is the old one or the list");

  const std::vector<std::string> listed = ListedPaths();
  FUZZ_CHECK(WritePageIndex(), "the index is written");
  FUZZ_CHECK(fuzz::Sandbox::Read("user/zvpage.idx") == IndexOfList(), "the index holds the list");
  ScanPageFiles();
  FUZZ_CHECK(ListedPaths() == listed, "a written index scans back to the same list");
  ClearPageList();
  return 0;
}

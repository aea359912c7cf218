// An install tree the whole terminal can start in, for the start-up test and benchmark: the
// generated sample market's configuration and data, the shipped settings (SETTING.INI,
// blocks.ini, UserPath.INI: the user directory is ..\user\), the default page built as the
// install step builds it, and optionally a page of rows x columns cells in the user directory
// that LASTPAGE.DAT names. Header-only (no GoogleTest): the benchmarks use it too. Needs
// zuvo_defaultpage. bin/ of the tree must be the current directory.
#pragma once

#include "DefaultPage.h"

#include "data/BlockGroup.h"
#include "data/DataIO.h"
#include "data/MarketData.h"
#include "platform/Files.h"
#include "platform/Paths.h"
#include "platform/Profile.h"
#include "shell/PageFile.h"
#include "shell/PageWindow.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <string>
#include <system_error>
#include <vector>

namespace testsupport {

// The user page GridPage writes, as the page list would name it.
inline constexpr const char* kGridPagePath = "..\\USER\\ZVPAGE1.PPG";

inline std::filesystem::path SourceTop() {
  // Normalised first: reached through another include folder, the name holds "..".
  return std::filesystem::path(__FILE__).lexically_normal().parent_path().parent_path().parent_path();
}

// Copies the sample tree's cfg/ and data/ and the shipped settings into `root`, then writes the
// default page. Empty on success, else the reason.
inline std::string FillSampleStartupTree(const std::filesystem::path& root, const std::filesystem::path& sampleTree) {
  namespace fs = std::filesystem;
  std::error_code error;
  if (!fs::exists(sampleTree / "cfg" / "mkinfo.cfg")) return "no sample tree at " + sampleTree.string();
  const auto options = fs::copy_options::recursive | fs::copy_options::overwrite_existing;
  fs::copy(sampleTree / "cfg", root / "cfg", options, error);
  if (!error) fs::copy(sampleTree / "data", root / "data", options, error);
  for (const char* name : {"SETTING.INI", "blocks.ini", "UserPath.INI"}) {
    if (!error) fs::copy_file(SourceTop() / "dist" / "cfg" / name, root / "cfg" / name, fs::copy_options::overwrite_existing, error);
  }
  if (error) return "copying the sample tree: " + error.message();
  zuvo::platform::paths::InvalidateCache();
  zuvo::platform::profile::ClearCache();
  return zuvo::tools::WriteDefaultPage();
}

namespace detail {

inline std::unique_ptr<PageModelNode> CopyCell(const PageModelNode& cell) {
  auto node = std::make_unique<PageModelNode>();
  node->attr = cell.attr;
  node->data = cell.data;
  return node;
}

// Equal shares: the first part takes 1/n of the whole and the rest is split again the same way.
inline std::unique_ptr<PageModelNode> Join(std::vector<std::unique_ptr<PageModelNode>> parts, bool sideBySide) {
  std::unique_ptr<PageModelNode> rest = std::move(parts.back());
  for (std::size_t i = parts.size() - 1; i-- > 0;) {
    const float share = 1.0f / static_cast<float>(parts.size() - i);
    auto node = std::make_unique<PageModelNode>();
    parts[i]->side = sideBySide ? NODE_LEFT : NODE_TOP;
    parts[i]->ratio = share;
    rest->side = sideBySide ? NODE_RIGHT : NODE_BOTTOM;
    rest->ratio = 1.0f - share;
    node->first = std::move(parts[i]);
    node->second = std::move(rest);
    rest = std::move(node);
  }
  return rest;
}

inline void Leaves(const PageModelNode& node, std::vector<const PageModelNode*>& out) {
  if (node.IsLeaf()) {
    out.push_back(&node);
    return;
  }
  Leaves(*node.first, out);
  Leaves(*node.second, out);
}

}  // namespace detail

// Writes a page of rows x columns cells (the default page's kinds in turn: quote list, trend,
// K-line, news) to kGridPagePath and names it in LASTPAGE.DAT. Needs FillSampleStartupTree
// first. Empty on success, else the reason.
inline std::string WriteGridPage(int rows, int columns) {
  DeleteMarketTables();
  if (!ReadMarketConfig() || MarketConfigCount == 0) return "no market in ..\\cfg\\mkinfo.cfg";
  for (int i = 0; i < MarketConfigCount; ++i) {
    auto* table = new (std::nothrow) TMarketData(i, MarketConfigRecords[i]);
    if (table == nullptr) return "no memory for the market tables";
    MarketTables[i] = table;
    MarketCount = i + 1;
    LoadNameTable(table);
  }
  RebuildBlocks();
  std::string result;
  PageModel defaults;
  if (zuvo::tools::BuildDefaultPage(defaults, result)) {
    std::vector<const PageModelNode*> kinds;
    detail::Leaves(*defaults.top, kinds);
    std::vector<std::unique_ptr<PageModelNode>> rowNodes;
    for (int r = 0; r < rows; ++r) {
      std::vector<std::unique_ptr<PageModelNode>> cells;
      for (int c = 0; c < columns; ++c) cells.push_back(detail::CopyCell(*kinds[static_cast<std::size_t>(r * columns + c) % kinds.size()]));
      rowNodes.push_back(detail::Join(std::move(cells), true));
    }
    PageModel model;
    std::snprintf(model.name, sizeof model.name, "%s", "网格页面");
    model.version = kPageFileVersion;
    model.top = detail::Join(std::move(rowNodes), false);
    model.top->side = NODE_LEFT;
    model.top->ratio = 1.0f;
    const std::string bytes = BuildPageFile(model, model.name);
    char last[kPagePathSize] = {};
    std::snprintf(last, sizeof last, "%s", kGridPagePath);
    if (!zuvo::platform::files::AtomicReplace(kGridPagePath, bytes.data(), bytes.size()) ||
        !zuvo::platform::files::AtomicReplace("..\\user\\LASTPAGE.DAT", last, sizeof last)) {
      result = "cannot write the grid page";
    }
  }
  ClearBlocks();
  DeleteMarketTables();
  return result;
}

}  // namespace testsupport

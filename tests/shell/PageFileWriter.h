// Test-side writer of page files of every version, built from the record structs, so that tests
// and fuzz seeds need no binary fixtures. Independent of the product's writer: it lays the body
// out depth first itself, and tests may bend any field (offsets, leaf flags, sides, lengths)
// through the hooks or by patching the bytes it returns.
#pragma once

#include "shell/PageFile.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>
#include <algorithm>

namespace pagetest {

template <typename T>
std::string Raw(const T& value) {
  return std::string(reinterpret_cast<const char*>(&value), sizeof value);
}

// Zero-filled record of a type (the structs are plain byte images).
template <typename T>
T Zeroed() {
  T value;
  std::memset(static_cast<void*>(&value), 0, sizeof value);
  return value;
}

inline void PutText(char* field, std::size_t size, const char* text) {
  std::memset(field, 0, size);
  std::memcpy(field, text, std::min(std::strlen(text), size));
}

// One node as a file holds it: a leaf's records are given as bytes of the version's sizes.
struct WNode {
  int side = NODE_LEFT;
  float ratio = 1.0f;
  std::string attr;   // leaves: the attribute record's bytes
  std::string data;   // leaves: the view data record's bytes
  std::unique_ptr<WNode> first, second;
  bool IsLeaf() const { return !first && !second; }
};

inline std::unique_ptr<WNode> Leaf(std::string attr, std::string data, int side = NODE_LEFT, float ratio = 1.0f) {
  auto node = std::make_unique<WNode>();
  node->side = side;
  node->ratio = ratio;
  node->attr = std::move(attr);
  node->data = std::move(data);
  return node;
}

// A split into two parts: sides 1/2 when `horizontal`, else 3/4; the first takes `ratio`.
inline std::unique_ptr<WNode> Split(std::unique_ptr<WNode> a, std::unique_ptr<WNode> b, bool horizontal, float ratio,
                                    int side = NODE_LEFT, float ownRatio = 1.0f) {
  auto node = std::make_unique<WNode>();
  node->side = side;
  node->ratio = ownRatio;
  a->side = horizontal ? NODE_LEFT : NODE_TOP;
  a->ratio = ratio;
  b->side = horizontal ? NODE_RIGHT : NODE_BOTTOM;
  b->ratio = 1.0f - ratio;
  node->first = std::move(a);
  node->second = std::move(b);
  return node;
}

namespace detail {
inline void AppendNode(std::string& body, const WNode& node) {
  const std::size_t at = body.size();
  PAGE_NODE_RECORD record{0, 0, node.IsLeaf() ? 1 : 0, node.side, node.ratio};
  body += Raw(record);
  if (node.IsLeaf()) {
    body += node.attr;
    body += node.data;
    return;
  }
  const WNode* children[2] = {node.first.get(), node.second.get()};
  for (int i = 0; i < 2; ++i) {
    if (children[i] == nullptr) continue;
    const auto offset = static_cast<std::int32_t>(body.size());
    std::memcpy(body.data() + at + 4 * i, &offset, 4);
    AppendNode(body, *children[i]);
  }
}
}  // namespace detail

inline std::string Body(const WNode& top) {
  std::string body;
  detail::AppendNode(body, top);
  return body;
}

// A whole file: "zvpageNN", the name, the body length and the body.
inline std::string PageFileBytes(int version, const std::string& body, const char* name = "") {
  PAGE_FILE_HEADER header = Zeroed<PAGE_FILE_HEADER>();
  char magic[9];
  std::snprintf(magic, sizeof magic, "zvpage%02d", version);
  std::memcpy(header.magic, magic, 8);
  PutText(header.name, sizeof header.name, name);
  header.bodyLength = static_cast<std::uint32_t>(body.size());
  return Raw(header) + body;
}

inline std::string PageFileBytes(int version, const WNode& top, const char* name = "") {
  return PageFileBytes(version, Body(top), name);
}

// ---- Records of each version from the version-12 images ----------------------------------------

inline void SetStk(std::uint8_t out[4], std::uint8_t market, std::uint8_t category, std::uint16_t index) {
  out[0] = market;
  out[1] = category;
  std::memcpy(out + 2, &index, 2);
}

// The narrow attribute part of a VIEW_ATTR_12 (tab ids as signed 32-bit, counts as given).
inline VIEW_ATTR_FILE_VERSION_5 NarrowAttr(const VIEW_ATTR_12& a) {
  auto n = Zeroed<VIEW_ATTR_FILE_VERSION_5>();
  n.kind = a.kind;
  std::memcpy(n.instrument, &a.instrument, 4);
  n.columnCount = a.columnCount;
  n.fixedColumns = a.fixedColumns;
  n.sortColumn = a.sortColumn;
  std::memcpy(n.columnIds, a.columnIds, 64);
  n.blockTabCount = a.blockTabCount;
  n.currentBlock = a.currentBlock;
  for (int i = 0; i < 16; ++i) n.blockTabs[i] = a.blockTabs[i];
  n.paneCount = a.paneCount;
  std::memcpy(n.paneIndicators, a.paneIndicators, sizeof n.paneIndicators);
  n.cycle = a.cycle;
  n.modeFlags = a.modeFlags;
  return n;
}

// The attribute record of `version` holding `a`, with tab names and the instrument text given.
inline std::string AttrRecord(int version, const VIEW_ATTR_12& a, const std::vector<std::string>& tabNames = {},
                              const char* instrumentText = "") {
  switch (version) {
    case 5: return Raw(NarrowAttr(a));
    case 7: {
      auto r = Zeroed<VIEW_ATTR_FILE_VERSION_7>();
      r.base = NarrowAttr(a);
      for (std::size_t i = 0; i < tabNames.size() && i < 16; ++i) PutText(r.tabNames[i], 16, tabNames[i].c_str());
      return Raw(r);
    }
    case 8:
    case 9:
    case 10: {
      auto r = Zeroed<VIEW_ATTR_FILE_VERSION_10>();
      r.v8.base = NarrowAttr(a);
      r.v8.fontStep = a.fontStep;
      r.v8.topRowOrN = a.topRowOrN;
      for (std::size_t i = 0; i < tabNames.size() && i < 16; ++i) PutText(r.v8.tabNames[i], 16, tabNames[i].c_str());
      PutText(r.instrumentText, 32, instrumentText);
      return version == 10 ? Raw(r) : Raw(r.v8);
    }
    case 11: {
      auto r = Zeroed<VIEW_ATTR_FILE_VERSION_11>();
      std::memcpy(r.attr, &a, sizeof r.attr);
      for (std::size_t i = 0; i < tabNames.size() && i < 64; ++i) PutText(r.tabNames[i], 16, tabNames[i].c_str());
      PutText(r.instrumentText, 32, instrumentText);
      return Raw(r);
    }
    default: {
      auto r = Zeroed<VIEW_ATTR_FILE_VERSION_12>();
      std::memcpy(r.attr, &a, sizeof r.attr);
      for (std::size_t i = 0; i < tabNames.size() && i < 64; ++i) PutText(r.tabNames[i], 16, tabNames[i].c_str());
      PutText(r.instrumentText, 32, instrumentText);
      return Raw(r);
    }
  }
}

// The narrow view data record of a MVCDATA_12 (tabs as signed 32-bit; ratios and texts as given).
inline MVCDATA_10 NarrowData(const MVCDATA_12& d) {
  auto n = Zeroed<MVCDATA_10>();
  MVCDATA_5& b = n.v8.v7.base;
  b.blockTabCount = d.blockTabCount;
  b.currentBlock = d.currentBlock;
  for (int i = 0; i < 16; ++i) b.blockTabs[i] = d.blockTabs[i];
  b.columnCount = d.columnCount;
  b.fixedColumns = d.fixedColumns;
  b.sortColumn = d.sortColumn;
  std::memcpy(b.columnIds, d.columnIds, 64);
  b.trendPaneCount = d.trendPaneCount;
  b.klinePaneCount = d.klinePaneCount;
  std::memcpy(b.paneIndicators, d.paneIndicators, sizeof b.paneIndicators);
  std::memcpy(b.overIndicators, d.overIndicators, sizeof b.overIndicators);
  std::memcpy(b.overlays, &d.overlays, sizeof b.overlays);
  b.arbitrageParam = d.arbitrageParam;
  std::memcpy(b.refLines, d.refLines, sizeof b.refLines);
  std::memcpy(b.paneParams, d.paneParams, sizeof b.paneParams);
  std::memcpy(b.overParams, d.overParams, sizeof b.overParams);
  b.flags[0] = d.arbitrage;
  b.flags[1] = d.overlayByte;
  b.flags[2] = d.linkFlag;
  b.flags[3] = d.sidePanelShown;
  std::memcpy(n.v8.v7.paneRatios, d.paneRatios, sizeof d.paneRatios);
  std::memcpy(n.overlayTexts, d.overlayTexts, sizeof d.overlayTexts);
  return n;
}

inline std::string DataRecord(int version, const MVCDATA_12& d) {
  const MVCDATA_10 n = NarrowData(d);
  switch (version) {
    case 5: return Raw(n.v8.v7.base);
    case 7: return Raw(n.v8.v7);
    case 8:
    case 9: return Raw(n.v8);
    case 10: return Raw(n);
    case 11: return Raw(d).substr(0, kViewDataVersion11Size);
    default: return Raw(d);
  }
}

}  // namespace pagetest

// Lookups in the built-in function table: by position and by name (binary search, case ignored).
#include "formula/FunctionTable.h"

#include "platform/Text.h"

#include <array>
#include <cstring>
#include <string_view>

using zuvo::platform::gbk::CompareNoCase;

namespace {

constexpr int kMaxFunctionNameLength = kFunctionNameSize - 1;

// The names of the table as views, measured once.
std::string_view EntryName(int index) {
  static const auto names = [] {
    std::array<std::string_view, kFunctionCount> views{};
    for (int i = 0; i < kFunctionCount; ++i) {
      views[static_cast<std::size_t>(i)] = std::string_view(IndexFunctionTable[i].name, strnlen(IndexFunctionTable[i].name, kFunctionNameSize));
    }
    return views;
  }();
  return names[static_cast<std::size_t>(index)];
}

// The row of a name, or -1. The ends are tested first, so the neighbour checks inside the loop
// never look past either end of the table; a name that falls between two neighbours fails
// without searching further.
int FindRow(std::string_view name) {
  if (CompareNoCase(name, EntryName(0)) < 0 || CompareNoCase(name, EntryName(kFunctionCount - 1)) > 0) return -1;
  int low = 0;
  int high = kFunctionCount - 1;
  while (low <= high) {
    const int middle = (low + high) / 2;
    const int order = CompareNoCase(EntryName(middle), name);
    if (order == 0) return middle;
    if (order < 0) {
      if (CompareNoCase(EntryName(middle + 1), name) > 0) return -1;
      low = middle + 1;
    } else {
      if (CompareNoCase(EntryName(middle - 1), name) < 0) return -1;
      high = middle - 1;
    }
  }
  return -1;
}

int FindRow(const char* text, int length) {
  if (!text || length < 1 || length > kMaxFunctionNameLength) return -1;
  return FindRow(std::string_view(text, static_cast<std::size_t>(length)));
}

int FindRow(const char* name) {
  if (!name) return -1;
  return FindRow(std::string_view(name));
}

bool CopyRow(int row, IndexFunctionEntry* out) {
  if (row < 0) return false;
  if (out) *out = IndexFunctionTable[row];
  return true;
}

}  // namespace

int GetFunctionCount() { return kFunctionCount; }

bool GetFunctionEntry(int index, IndexFunctionEntry* out) {
  if (index < 0 || index >= kFunctionCount) return false;
  return CopyRow(index, out);
}

bool FindFunctionByName(const char* name, IndexFunctionEntry* out) { return CopyRow(FindRow(name), out); }

bool FindFunctionByName(const char* text, int length, IndexFunctionEntry* out) {
  return CopyRow(FindRow(text, length), out);
}

IndexEvaluator FindFunctionEvaluator(const char* name) {
  const int row = FindRow(name);
  return row < 0 ? nullptr : IndexFunctionTable[row].evaluator;
}

IndexEvaluator FindFunctionEvaluator(const char* text, int length) {
  const int row = FindRow(text, length);
  return row < 0 ? nullptr : IndexFunctionTable[row].evaluator;
}

const IndexFunctionEntry* FindFunctionEntry(const char* text, int length) {
  const int row = FindRow(text, length);
  return row < 0 ? nullptr : &IndexFunctionTable[row];
}

#include "widgets/Package.h"

#include <algorithm>
#include <mutex>

namespace zuvo::widgets {
namespace {

std::mutex& TableLock() {
  static std::mutex lock;
  return lock;
}

std::vector<std::string>& Table() {
  static std::vector<std::string> table;
  return table;
}

}  // namespace

void RegisterComponentClass(const char* className) {
  if (className == nullptr || *className == '\0') return;
  std::lock_guard<std::mutex> guard(TableLock());
  auto& table = Table();
  if (std::find(table.begin(), table.end(), className) == table.end()) table.emplace_back(className);
}

std::vector<std::string> RegisteredComponentClasses() {
  std::lock_guard<std::mutex> guard(TableLock());
  return Table();
}

}  // namespace zuvo::widgets

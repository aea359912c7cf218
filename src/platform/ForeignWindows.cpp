// The sources of foreign window handles (see internal/ForeignWindows.h).
#include "platform/internal/ForeignWindows.h"

#include <algorithm>
#include <mutex>

namespace zuvo::platform::win {
namespace {

struct Sources {
  std::mutex mutex;
  std::vector<std::shared_ptr<ForeignWindowSource>> list;
};

// A deliberately leaked function-local static: a window call from another static's destructor
// still finds it.
Sources& TheSources() {
  static Sources* sources = new Sources();
  return *sources;
}

}  // namespace

void AddForeignSource(std::shared_ptr<ForeignWindowSource> source) {
  if (!source) return;
  Sources& s = TheSources();
  std::lock_guard lock(s.mutex);
  s.list.push_back(std::move(source));
}

void RemoveForeignSource(const std::shared_ptr<ForeignWindowSource>& source) {
  Sources& s = TheSources();
  std::lock_guard lock(s.mutex);
  s.list.erase(std::remove(s.list.begin(), s.list.end(), source), s.list.end());
}

std::shared_ptr<ForeignWindowSource> FindForeign(HWND window) {
  if (window == nullptr) return nullptr;
  for (const auto& source : ForeignSources()) {
    if (source->Owns(window)) return source;
  }
  return nullptr;
}

std::vector<std::shared_ptr<ForeignWindowSource>> ForeignSources() {
  Sources& s = TheSources();
  std::lock_guard lock(s.mutex);
  return s.list;
}

}  // namespace zuvo::platform::win

#include "shell/stubs/IndicatorStandIn.h"

#include "platform/Text.h"

#include <cstring>
#include <mutex>
#include <string_view>
#include <vector>

namespace {

constexpr unsigned kSubChart = 0;
constexpr unsigned kOverMain = 1;
constexpr unsigned kMainChart = 2;

struct StandInGroup {
  const char* name;
  std::vector<IndicatorDef> indicators;
};

IndicatorDef MakeDef(const char* name, const char* description, unsigned placement) {
  IndicatorDef def;
  std::memset(def.name, 0, sizeof def.name);
  std::strncpy(def.name, name, sizeof def.name - 1);
  def.description = description;
  def.flags = placement;
  return def;
}

class StandInCatalog final : public IIndicatorCatalog {
 public:
  StandInCatalog()
      : groups_{
            {"主图指标", {MakeDef("K", "K线", kMainChart)}},
            {"叠加指标", {MakeDef("MA", "移动平均线", kOverMain), MakeDef("BOLL", "布林线", kOverMain)}},
            {"副图指标",
             {MakeDef("VOL", "成交量", kSubChart), MakeDef("MACD", "指数平滑异同平均线", kSubChart),
              MakeDef("KDJ", "随机指标", kSubChart), MakeDef("RSI", "相对强弱指标", kSubChart)}},
        } {}

  const IndicatorDef* GetIndexAt(int n) override {
    if (n < 0) return nullptr;
    for (const StandInGroup& group : groups_) {
      if (n < static_cast<int>(group.indicators.size())) return &group.indicators[static_cast<std::size_t>(n)];
      n -= static_cast<int>(group.indicators.size());
    }
    return nullptr;
  }

  const IndicatorDef* FindIndex(const char* name) override {
    if (name == nullptr) return nullptr;
    const std::string_view wanted(name, strnlen(name, sizeof(IndicatorDef::name)));
    for (const StandInGroup& group : groups_) {
      for (const IndicatorDef& def : group.indicators) {
        if (zuvo::platform::gbk::EqualsNoCase(std::string_view(def.name), wanted)) return &def;
      }
    }
    return nullptr;
  }

  void Lock() override { lock_.lock(); }
  void Unlock() override { lock_.unlock(); }

 private:
  const std::vector<StandInGroup> groups_;   // never changes, so reads need no lock
  std::mutex lock_;
};

}  // namespace

IIndicatorCatalog& IndicatorStandIn() {
  static StandInCatalog catalog;
  return catalog;
}

#include "shell/IndicatorCatalog.h"

#include "ShellSettingsFixture.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

namespace {

TEST(IndicatorCatalog, BuiltInListInGroupOrder) {
  IIndicatorCatalog& catalog = IndicatorCatalog();
  struct Expected {
    const char* name;
    int placement;
  };
  const Expected expected[] = {{"K", 2},   {"MA", 1},  {"BOLL", 1}, {"VOL", 0},
                               {"MACD", 0}, {"KDJ", 0}, {"RSI", 0}};
  for (int i = 0; i < 7; ++i) {
    SCOPED_TRACE(expected[i].name);
    const IndicatorDef* def = catalog.GetIndexAt(i);
    ASSERT_NE(def, nullptr);
    EXPECT_STREQ(def->name, expected[i].name);
    EXPECT_EQ(def->Placement(), expected[i].placement);
    EXPECT_FALSE(def->description.empty());
    EXPECT_EQ(catalog.FindIndex(expected[i].name), def);
  }
  EXPECT_EQ(catalog.GetIndexAt(7), nullptr);
  EXPECT_EQ(catalog.GetIndexAt(-1), nullptr);
}

TEST(IndicatorCatalog, FindIndexIgnoresAsciiCaseOnly) {
  IIndicatorCatalog& catalog = IndicatorCatalog();
  EXPECT_EQ(catalog.FindIndex("macd"), catalog.GetIndexAt(4));
  EXPECT_EQ(catalog.FindIndex("Boll"), catalog.GetIndexAt(2));
  EXPECT_EQ(catalog.FindIndex("MAC"), nullptr);
  EXPECT_EQ(catalog.FindIndex("MACD "), nullptr);
  EXPECT_EQ(catalog.FindIndex(""), nullptr);
  EXPECT_EQ(catalog.FindIndex(nullptr), nullptr);
}

TEST(IndicatorCatalog, LockExcludesOtherThreads) {
  IIndicatorCatalog& catalog = IndicatorCatalog();
  long shared = 0;   // plain: only the lock keeps the two writers apart
  auto add = [&] {
    for (int i = 0; i < 20000; ++i) {
      catalog.Lock();
      ++shared;
      catalog.Unlock();
    }
  };
  std::thread other(add);
  add();
  other.join();
  EXPECT_EQ(shared, 40000);
}

TEST(IndicatorCatalog, RegisteredCatalogReplacesTheBuiltInOne) {
  IIndicatorCatalog* builtIn = &IndicatorCatalog();
  shelltest::ScriptedIndicatorCatalog scripted({{"EXPMA", 1}});
  {
    shelltest::ScopedIndicatorCatalog installed(&scripted);
    EXPECT_EQ(&IndicatorCatalog(), &scripted);
    EXPECT_EQ(IndicatorCatalog().FindIndex("K"), nullptr);
    EXPECT_STREQ(IndicatorCatalog().FindIndex("expma")->name, "EXPMA");
  }
  EXPECT_EQ(&IndicatorCatalog(), builtIn);
  EXPECT_EQ(SetIndicatorCatalog(nullptr), nullptr) << "nothing registered: the built-in list serves";
}

}  // namespace

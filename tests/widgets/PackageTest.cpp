#include "widgets/Package.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

TEST(WidgetPackage, RegistersEachClassOnceInOrder) {
  using namespace zuvo::widgets;
  RegisterComponentClass("TPackageProbeA");
  RegisterComponentClass("TPackageProbeB");
  RegisterComponentClass("TPackageProbeA");
  RegisterComponentClass(nullptr);
  RegisterComponentClass("");
  auto classes = RegisteredComponentClasses();
  auto a = std::find(classes.begin(), classes.end(), "TPackageProbeA");
  auto b = std::find(classes.begin(), classes.end(), "TPackageProbeB");
  ASSERT_NE(a, classes.end());
  ASSERT_NE(b, classes.end());
  EXPECT_LT(a, b);
  EXPECT_EQ(std::count(classes.begin(), classes.end(), "TPackageProbeA"), 1);
  EXPECT_EQ(std::count(classes.begin(), classes.end(), ""), 0);
}

}  // namespace

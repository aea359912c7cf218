// A page saver killed at random moments: the page file is always the old page or the new one,
// whole and readable, never a mixture, a cut file or a lost page.
#include "shell/PageFile.h"

#include "ShellSettingsFixture.h"

#include "support/KillTestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <random>
#include <string>
#include <thread>

using killtest::ReadWhole;

namespace {

namespace fs = std::filesystem;

std::unique_ptr<PageModelNode> Cell(ViewKind kind, float ratio, int side) {
  auto node = std::make_unique<PageModelNode>();
  node->attr.kind = kind;
  node->side = side;
  node->ratio = ratio;
  return node;
}

// One cell against four: the two files differ in size and in almost every record.
PageModel SmallPage() {
  PageModel model;
  model.top = Cell(VIEW_KLINE, 1.0f, NODE_LEFT);
  return model;
}
PageModel LargePage() {
  PageModel model;
  model.top = Cell(VIEW_NONE, 1.0f, NODE_LEFT);
  model.top->attr = VIEW_ATTR_12();
  auto left = Cell(VIEW_NONE, 0.5f, NODE_LEFT);
  left->first = Cell(VIEW_REPORT, 0.5f, NODE_TOP);
  left->second = Cell(VIEW_TREND, 0.5f, NODE_BOTTOM);
  auto right = Cell(VIEW_NONE, 0.5f, NODE_RIGHT);
  right->first = Cell(VIEW_NEWS, 0.25f, NODE_TOP);
  right->second = Cell(VIEW_F10, 0.75f, NODE_BOTTOM);
  model.top->first = std::move(left);
  model.top->second = std::move(right);
  return model;
}

TEST(PageFileKill, AKilledSaveLeavesTheOldOrTheNewPage) {
  shelltest::ShellSettings settings;
  const fs::path file = settings.install().user() / "zvpage2.ppg";
  const char* const path = "..\\user\\zvpage2.ppg";
  const PageModel small = SmallPage();
  const PageModel large = LargePage();
  char name[kPageNameSize] = "页面";
  const std::string smallBytes = BuildPageFile(small, name);
  const std::string largeBytes = BuildPageFile(large, name);
  testsupport::WriteBytes(file, smallBytes);

  // The kill window spans two saves as long as one takes on this machine now.
  std::string timedPath = path;
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(SavePageFile(small, timedPath, kPageSaveAuto, nullptr), PageSaveResult::kSaved);
  const auto oneSave =
      std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start).count();
  std::uniform_int_distribution<int> killAfter(0, std::max<int>(3000, static_cast<int>(2 * oneSave)));
  std::mt19937 random(20240917);
  int sawSmall = 0, sawLarge = 0;
  for (int round = 0; round < 150; ++round) {
    ASSERT_TRUE(killtest::KillASaverAfter(
        [&](int i) {
          std::string pagePath = path;
          SavePageFile(i % 2 == 0 ? large : small, pagePath, kPageSaveAuto, nullptr);
        },
        killAfter(random)));

    const std::string now = ReadWhole(file);
    ASSERT_TRUE(now == smallBytes || now == largeBytes) << "round " << round << " left " << now.size() << " bytes";
    (now == smallBytes ? sawSmall : sawLarge)++;
    PageModel back;
    ASSERT_EQ(LoadPageFile(path, back), PageLoadResult::kLoaded) << "round " << round;
  }
  // Both pages were seen, so kills fell on both sides of renames.
  EXPECT_GT(sawSmall, 0);
  EXPECT_GT(sawLarge, 0);
}

}  // namespace

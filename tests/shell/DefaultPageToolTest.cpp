// The default page generator (tools/default-page) on the generated sample market with the
// shipped settings, and its place in the install tree assembly (scripts/assemble-install.sh).
#include "DefaultPage.h"

#include "data/BlockGroup.h"
#include "data/DataIO.h"
#include "data/MarketData.h"
#include "data/UtilData.h"
#include "platform/Profile.h"
#include "shell/PageFile.h"
#include "support/TempInstall.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using testsupport::ReadBytes;
using testsupport::WriteBytes;

const fs::path& SourceTop() {
  static const fs::path top = fs::path(__FILE__).parent_path().parent_path().parent_path();
  return top;
}

// Reports nothing anywhere: a load error fails the test through TDataIO's status.
class QuietNotifier final : public ILoadNotifier {
 public:
  void Send(HWND, UINT, WPARAM, LPARAM) override {}
  void ShowError(const char* text, const char*) override { errors.push_back(text); }
  std::vector<std::string> errors;
};

std::string BlockName(std::uint16_t id) {
  const BlockRecord* block = FindBlockById(id);
  return block != nullptr ? block->name : "<none>";
}

class DefaultPageToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::memcpy(savedUserDir_, UserDir, sizeof savedUserDir_);
    UserDir[0] = '\0';   // as the tool runs: no user's defaults, the built-in ones
    zuvo::platform::profile::ClearCache();
  }
  void TearDown() override {
    ClearBlocks();
    DeleteMarketTables();
    std::memcpy(UserDir, savedUserDir_, sizeof savedUserDir_);
    zuvo::platform::profile::ClearCache();
  }

  // The shipped settings and blocks, and the markets' configuration and name tables of the
  // sample tree the build generates (all the generator reads).
  void InstallSampleMarket() {
#ifndef ZUVO_SAMPLE_TREE
    GTEST_SKIP() << "the sample market generator is not built";
#else
    const fs::path sample = ZUVO_SAMPLE_TREE;
    ASSERT_TRUE(fs::exists(sample / "cfg" / "mkinfo.cfg")) << sample;
    for (const char* name : {"SETTING.INI", "blocks.ini"}) {
      fs::copy_file(SourceTop() / "dist" / "cfg" / name, install.cfg() / name, fs::copy_options::overwrite_existing);
    }
    fs::copy_file(sample / "cfg" / "mkinfo.cfg", install.cfg() / "mkinfo.cfg");
    for (const auto& market : fs::directory_iterator(sample / "data")) {
      if (!market.is_directory()) continue;
      for (const auto& file : fs::directory_iterator(market.path())) {
        if (file.path().filename().string().rfind("nametbl", 0) != 0) continue;
        fs::create_directories(install.data() / market.path().filename());
        fs::copy_file(file.path(), install.data() / market.path().filename() / file.path().filename());
      }
    }
    zuvo::platform::profile::ClearCache();
#endif
  }

  testsupport::TempInstall install;
  char savedUserDir_[kUserDirSize] = {};
};

TEST_F(DefaultPageToolTest, WritesTheSampleMarketsDefaultPage) {
  InstallSampleMarket();
  if (IsSkipped()) return;
  ASSERT_EQ(zuvo::tools::WriteDefaultPage(), "");
  // The generator leaves no tables behind.
  EXPECT_EQ(MarketCount, 0);
  EXPECT_EQ(BlockSlotCount, 0);

  const std::string bytes = ReadBytes(install.cfg() / "Default.ppg");
  ASSERT_EQ(ValidatePageFile(bytes), 12);

  // Read back as the terminal reads it: over the tables its own loader builds.
  QuietNotifier notifier;
  TDataIO markets(nullptr, &notifier);
  ASSERT_EQ(markets.status, 0) << (notifier.errors.empty() ? "" : notifier.errors.front());
  RebuildBlocks();
  PageModel model;
  ASSERT_EQ(LoadPageFile("..\\cfg\\Default.ppg", model), PageLoadResult::kLoaded);
  EXPECT_STREQ(model.name, "Default");
  EXPECT_EQ(model.version, 12);

  // (quote list | (trend | K-line)) over news.
  const PageModelNode* top = model.top.get();
  ASSERT_TRUE(top != nullptr && !top->IsLeaf());
  const PageModelNode* upper = top->first.get();
  const PageModelNode* news = top->second.get();
  ASSERT_TRUE(upper != nullptr && !upper->IsLeaf());
  ASSERT_TRUE(news != nullptr && news->IsLeaf());
  EXPECT_EQ(upper->side, NODE_TOP);
  EXPECT_EQ(news->side, NODE_BOTTOM);
  const PageModelNode* report = upper->first.get();
  const PageModelNode* charts = upper->second.get();
  ASSERT_TRUE(report != nullptr && report->IsLeaf());
  ASSERT_TRUE(charts != nullptr && !charts->IsLeaf());
  EXPECT_EQ(report->side, NODE_LEFT);
  const PageModelNode* trend = charts->first.get();
  const PageModelNode* kline = charts->second.get();
  ASSERT_TRUE(trend != nullptr && trend->IsLeaf() && kline != nullptr && kline->IsLeaf());
  EXPECT_EQ(trend->side, NODE_LEFT);
  EXPECT_EQ(kline->side, NODE_RIGHT);
  EXPECT_EQ(report->attr.kind, VIEW_REPORT);
  EXPECT_EQ(trend->attr.kind, VIEW_TREND);
  EXPECT_EQ(kline->attr.kind, VIEW_KLINE);
  EXPECT_EQ(news->attr.kind, VIEW_NEWS);
  for (const PageModelNode* split : {top, upper, charts}) {
    EXPECT_NEAR(split->first->ratio + split->second->ratio, 1.0f, 1e-6f);
  }

  // The quote list's tabs are the shipped SysBlocks in order, on the first of them; the charts
  // show that block's first instrument, the index of the Shanghai market.
  const std::vector<std::string> sysBlocks = {"上海证券", "深圳证券", "商品期货", "香港股市", "沪深指数", "银行地产", "期货主力"};
  ASSERT_EQ(report->attr.blockTabCount, sysBlocks.size());
  for (std::size_t i = 0; i < sysBlocks.size(); ++i) {
    EXPECT_EQ(BlockName(static_cast<std::uint16_t>(report->attr.blockTabs[i])), sysBlocks[i]) << i;
  }
  EXPECT_EQ(BlockName(static_cast<std::uint16_t>(report->attr.currentBlock)), "上海证券");
  EXPECT_GT(report->attr.columnCount, 0u);
  const TMarketData* sh = MarketTables[0];
  ASSERT_NE(sh, nullptr);
  const int index = sh->FindCode("000001");
  ASSERT_GE(index, 0);
  for (const PageModelNode* chart : {trend, kline}) {
    EXPECT_EQ(chart->attr.instrument.market, 0);
    EXPECT_EQ(chart->attr.instrument.index, index);
  }
  EXPECT_GE(kline->attr.paneCount, 1u);
  EXPECT_STREQ(kline->attr.paneIndicators[0], "K");
}

TEST_F(DefaultPageToolTest, FailsWithItsReasonAndWritesNothingWithoutMarkets) {
  // No market configuration: no block, so nothing to show.
  const std::string error = zuvo::tools::WriteDefaultPage();
  EXPECT_NE(error.find("mkinfo.cfg"), std::string::npos) << error;
  EXPECT_FALSE(fs::exists(install.cfg() / "Default.ppg"));
  EXPECT_EQ(MarketCount, 0);
}

// ---- The assembly runs the generator -------------------------------------------------------

struct ScriptRun {
  int status = -1;
  std::string errors;
};
ScriptRun Assemble(const fs::path& build, const fs::path& root, const fs::path& errorFile) {
  std::string command;
  for (const fs::path& word : {SourceTop() / "scripts" / "assemble-install.sh", build, root}) {
    command.append("\"").append(word.string()).append("\" ");
  }
  command.append(">/dev/null 2>\"").append(errorFile.string()).append("\"");
  const int raw = std::system(command.c_str());
  ScriptRun run;
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  run.errors = ReadBytes(errorFile);
  return run;
}

void WriteProgram(const fs::path& program, const std::string& body) {
  WriteBytes(program, "#!/bin/sh\n" + body + "\n");
  fs::permissions(program, fs::perms::owner_all);
}

TEST_F(DefaultPageToolTest, TheAssemblyWritesTheDefaultPageOrFailsWithTheReason) {
  struct Case {
    const char* name;
    const char* generator;   // the default page generator's shell body; null: not built
    int status;
    const char* reason;      // in the message; empty for success
  };
  // The stand-in is run in <root>/bin with the root as its argument.
  const Case cases[] = {
      {"page written", "[ \"$(basename \"$PWD\")\" = bin ] && echo page > \"$1/cfg/Default.ppg\"", 0, ""},
      {"generator fails", "echo 'default-page: no system block' >&2; exit 1", 1, "no system block"},
      {"generator not built", nullptr, 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path build = install.root() / c.name / "build";
    const fs::path root = install.root() / c.name / "tree";
    WriteProgram(build / "tools" / "sample-market" / "sample-market",
                 "mkdir -p \"$1/data/SH\" && echo x > \"$1/data/SH/nametbl.sh\"");
    if (c.generator != nullptr) WriteProgram(build / "tools" / "default-page" / "default-page", c.generator);

    const ScriptRun run = Assemble(build, root, install.root() / "errors.txt");
    EXPECT_EQ(run.status, c.status) << run.errors;
    if (c.status == 0) {
      EXPECT_TRUE(run.errors.empty()) << run.errors;
      EXPECT_EQ(fs::exists(root / "cfg" / "Default.ppg"), c.generator != nullptr);
    } else {
      EXPECT_NE(run.errors.find(c.reason), std::string::npos) << run.errors;
      EXPECT_NE(run.errors.find("default page"), std::string::npos) << run.errors;
    }
  }
}

}  // namespace

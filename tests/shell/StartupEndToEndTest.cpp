// The whole terminal started in-process as its main does (static objects, entry, static
// objects gone) on an install tree of the sample market, offscreen: the offline warning
// answered, the first page painted, the program closed through the close query, and the page
// it showed left in LASTPAGE.DAT.
#include "shell/Entry.h"
#include "LoginScript.h"

#include "data/UtilData.h"
#include "platform/Form.h"
#include "platform/Gdi.h"
#include "platform/Kernel.h"
#include "platform/Message.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"
#include "platform/Profile.h"
#include "platform/Text.h"
#include "platform/WinUser.h"
#include "shell/Cell.h"
#include "shell/MainFrame.h"
#include "shell/PageFile.h"
#include "shell/PageWindow.h"
#include "shell/stubs/DropSourceStandIn.h"
#include "shell/stubs/StubViews.h"
#include "support/SampleStartupTree.h"
#include "support/TempInstall.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

using namespace zuvo::platform;
namespace fs = std::filesystem;

namespace {

constexpr UINT kProbeMessage = WM_USER + 77;
constexpr int kMaxProbes = 50;

// What the probe saw of one cell of the first page.
struct CellSeen {
  ViewKind kind = VIEW_NONE;
  std::string firstLine;   // the stand-in's first painted line: its title
  bool inked = false;      // title pixels at the top left over the cell's background
  bool insideItsNode = false;
};

struct ProbeLog {
  int probes = 0;
  std::string pagePath;
  std::vector<CellSeen> cells;
  bool closePosted = false;
  int closes = 1;   // closes posted one behind the other
};
ProbeLog* probeLog = nullptr;
HWND probeWindow = nullptr;

void CollectCells(PageNode* node, std::vector<PageNode*>& leaves) {
  if (node == nullptr) return;
  if (node->cell != nullptr) leaves.push_back(node);
  CollectCells(node->first, leaves);
  CollectCells(node->second, leaves);
}

std::vector<PageNode*> Leaves() {
  std::vector<PageNode*> leaves;
  if (MFrame != nullptr && MFrame->PageWindow() != nullptr) CollectCells(MFrame->PageWindow()->Root(), leaves);
  return leaves;
}

bool EveryCellPainted() {
  const std::vector<PageNode*> leaves = Leaves();
  if (leaves.empty()) return false;
  for (PageNode* leaf : leaves) {
    auto* recorder = dynamic_cast<StubRecorder*>(leaf->cell);
    if (recorder == nullptr || recorder->paints == 0) return false;
  }
  return true;
}

CellSeen Look(PageNode* leaf) {
  CellSeen seen;
  TMultiViewChild* cell = leaf->cell;
  seen.kind = cell->attr.kind;
  if (auto* recorder = dynamic_cast<StubRecorder*>(cell); recorder != nullptr && !recorder->paintedLines.empty()) {
    seen.firstLine = recorder->paintedLines[0];
  }
  seen.insideItsNode = cell->Width() > 0 && cell->Height() > 0 && cell->Left() >= leaf->left &&
                       cell->Top() >= leaf->top && cell->Left() + cell->Width() <= leaf->left + leaf->width &&
                       cell->Top() + cell->Height() <= leaf->top + leaf->height;
  // The title is the first line, drawn from (4, 4) over the cell's background (antialiased, so
  // any pixel off the background counts); the far corner shows the background.
  const COLORREF background = ColorTable[0] & 0xFFFFFFu;
  HDC dc = GetDC(cell->Handle());
  const bool backgroundShown = GetPixel(dc, cell->Width() - 3, cell->Height() - 3) == background;
  for (int y = 4; y < std::min(22, cell->Height()) && !seen.inked; ++y) {
    for (int x = 4; x < std::min(80, cell->Width()) && !seen.inked; ++x) seen.inked = GetPixel(dc, x, y) != background;
  }
  seen.inked = seen.inked && backgroundShown;
  ReleaseDC(cell->Handle(), dc);
  return seen;
}

// Runs inside the program's message loop: lets the pending paints happen, looks at the page once
// every cell has painted, then asks the main window to close as the user would.
LRESULT ProbeProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != kProbeMessage) return DefWindowProcA(window, message, wParam, lParam);
  ++probeLog->probes;
  ProcessPendingMessages();
  if (!EveryCellPainted() && probeLog->probes < kMaxProbes) {
    PostMessageA(window, kProbeMessage, 0, 0);
    return 0;
  }
  probeLog->pagePath = MFrame != nullptr ? MFrame->PagePath() : "<no main window>";
  for (PageNode* leaf : Leaves()) probeLog->cells.push_back(Look(leaf));
  for (int i = 0; i < probeLog->closes && MFrame != nullptr; ++i) {
    probeLog->closePosted = PostMessageA(MFrame->Handle(), WM_CLOSE, 0, 0) != FALSE;
  }
  return 0;
}

// The real main window, and the probe posted to act once the message loop runs.
void ProbedMainFrame(TApplication& application) {
  CreateMainFrameForm(application);
  static bool registered = false;
  if (!registered) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = ProbeProc;
    wc.lpszClassName = "StartupProbe";
    RegisterClassA(&wc);
    registered = true;
  }
  probeWindow = CreateWindowExA(0, "StartupProbe", "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
  PostMessageA(probeWindow, kProbeMessage, 0, 0);
}

const char* StubTitle(ViewKind kind) {
  switch (kind) {
    case VIEW_REPORT: return "报价画面";
    case VIEW_NEWS: return "新闻画面";
    case VIEW_TREND: return "分时图";
    case VIEW_KLINE: return "K线图";
    default: return "?";
  }
}

std::string ReadLastPageFile(const fs::path& userDir) {
  for (const auto& entry : fs::directory_iterator(userDir)) {
    if (gbk::EqualsNoCase(entry.path().filename().string(), "LASTPAGE.DAT")) return testsupport::ReadBytes(entry.path());
  }
  return "<missing>";
}

class StartupEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    std::memcpy(savedUserDir_, UserDir, sizeof savedUserDir_);
#ifndef ZUVO_SAMPLE_TREE
    GTEST_SKIP() << "the sample market generator is not built";
#else
    ASSERT_EQ(testsupport::FillSampleStartupTree(install.root(), ZUVO_SAMPLE_TREE), "");
#endif
    probeLog = &log;
    shelltest::AnswerLoginOffline(*runner, 1);
    previousFactory_ = SetMainFormFactory(&ProbedMainFrame);
  }
  void TearDown() override {
    SetMainFormFactory(previousFactory_);
    if (probeWindow != nullptr) DestroyWindow(probeWindow);
    probeWindow = nullptr;
    probeLog = nullptr;
    std::memcpy(UserDir, savedUserDir_, sizeof savedUserDir_);
    profile::ClearCache();
  }

  // The terminal's main, with the program file in bin/ and plenty of disk space.
  int RunProgram() {
    kernel::ScopedModuleFileName program(paths::ToWindows(install.bin().string()) + "\\zuvo");
    kernel::ScopedDiskFreeSpace space([](const std::string&) { return std::optional<ULONGLONG>(1ull << 32); });
    StartupStaticObjects();
    const int result = WinMain(nullptr, nullptr, nullptr, 0);
    ShutdownStaticObjects();
    return result;
  }

  void ExpectPainted(const std::vector<ViewKind>& kinds) {
    ASSERT_EQ(log.cells.size(), kinds.size()) << "probes: " << log.probes;
    for (std::size_t i = 0; i < kinds.size(); ++i) {
      SCOPED_TRACE("cell " + std::to_string(i));
      EXPECT_EQ(log.cells[i].kind, kinds[i]);
      EXPECT_EQ(log.cells[i].firstLine, StubTitle(kinds[i]));
      EXPECT_TRUE(log.cells[i].inked) << "no title pixel";
      EXPECT_TRUE(log.cells[i].insideItsNode);
    }
    EXPECT_TRUE(log.closePosted);
  }

  void ExpectOfflineWarningThen(const char* closeQuestion) {
    const std::vector<MessageBoxRequest> shown = boxes->Shown();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0].text, "脱机浏览时不会显示即时数据。  ");
    EXPECT_EQ(shown[0].caption, "警告");
    EXPECT_EQ(shown[1].text, closeQuestion);
    EXPECT_EQ(shown[1].caption, "确认");
  }

  // The program ended whole: no main window, no drag source.
  void ExpectEndedWhole() {
    EXPECT_EQ(MFrame, nullptr);
    EXPECT_EQ(ReportViewDropSource, nullptr);
    EXPECT_EQ(CReportViewDropSource::LiveCount(), 0);
    EXPECT_EQ(Application->ComponentCount(), 0);
  }

  testsupport::TempInstall install;
  ScopedScriptedMessageBoxes boxes;
  ScopedScriptedModalRunner runner;
  ProbeLog log;

 private:
  char savedUserDir_[kUserDirSize] = {};
  MainFormFactory previousFactory_ = nullptr;
};

TEST_F(StartupEndToEnd, FirstStartShowsTheDefaultPageAndClosesWithoutSavingIt) {
  boxes->Answer(IDOK);   // the offline warning
  boxes->Answer(IDNO);   // do not save the default page under a name

  EXPECT_EQ(RunProgram(), 0);

  ExpectOfflineWarningThen("对默认页面所作的修改不会被保存，是否另存当前页面？  ");
  EXPECT_TRUE(IsDefaultPagePath(log.pagePath)) << log.pagePath;
  ExpectPainted({VIEW_REPORT, VIEW_TREND, VIEW_KLINE, VIEW_NEWS});
  const std::string last = ReadLastPageFile(install.user());
  ASSERT_EQ(last.size(), kPagePathSize);
  EXPECT_TRUE(IsDefaultPagePath(last.c_str())) << last.c_str();
  EXPECT_EQ(last.find_first_not_of('\0', std::strlen(last.c_str())), std::string::npos);
  ExpectEndedWhole();
}

TEST_F(StartupEndToEnd, ReopensTheLastPageOfNineCellsAndClosesOnYes) {
  ASSERT_EQ(testsupport::WriteGridPage(3, 3), "");
  boxes->Answer(IDOK);
  boxes->Answer(IDYES);   // leave the program

  EXPECT_EQ(RunProgram(), 0);

  ExpectOfflineWarningThen("退出金融投资分析系统？  ");
  EXPECT_TRUE(gbk::EqualsNoCase(log.pagePath, testsupport::kGridPagePath)) << log.pagePath;
  std::vector<ViewKind> kinds;
  const ViewKind cycle[] = {VIEW_REPORT, VIEW_TREND, VIEW_KLINE, VIEW_NEWS};
  for (int i = 0; i < 9; ++i) kinds.push_back(cycle[i % 4]);
  ExpectPainted(kinds);
  const std::string last = ReadLastPageFile(install.user());
  ASSERT_EQ(last.size(), kPagePathSize);
  EXPECT_TRUE(gbk::EqualsNoCase(last.c_str(), testsupport::kGridPagePath)) << last.c_str();
  ExpectEndedWhole();
}

TEST_F(StartupEndToEnd, CloseTakenBackKeepsTheProgramRunningUntilTheNextClose) {
  log.closes = 2;
  boxes->Answer(IDOK);
  boxes->Answer(IDCANCEL);   // the first close is taken back
  boxes->Answer(IDNO);       // the second goes through without saving

  EXPECT_EQ(RunProgram(), 0);

  const std::vector<MessageBoxRequest> shown = boxes->Shown();
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(shown[1].text, "对默认页面所作的修改不会被保存，是否另存当前页面？  ");
  EXPECT_EQ(shown[2].text, shown[1].text);
  ExpectEndedWhole();
}

}  // namespace

// The main window against the local quote server over loopback: the markets stored by a real
// login, the main window's start-up on them, a page of a trend view and a quote list, then the
// real request and push clients connected by the test (the login dialog comes later). The
// subscription the main window builds reaches the server, whose snapshots of the new keys come
// back as pushed quotes through the main window's quote event to the views and the index slots.
#include "net/RequestServerFixture.h"
#include "LoginScript.h"

#include "data/BlockGroup.h"
#include "data/Messages.h"
#include "net/NetHooks.h"
#include "net/PushRecords.h"
#include "net/RealDataClnt.h"
#include "net/ServerRights.h"
#include "platform/Form.h"
#include "platform/MessageBox.h"
#include "platform/Process.h"
#include "platform/Profile.h"
#include "platform/Shell.h"
#include "shell/MainFrame.h"
#include "shell/PageWindow.h"
#include "shell/ViewFactory.h"
#include "shell/ViewSurfaces.h"
#include "shell/stubs/FrameStandIns.h"
#include "shell/stubs/StubViews.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <set>
#include <utility>

namespace {

using zuvo::quoteserver::PortRole;

class QuoteServerEndToEnd : public nettest::RequestServerTest {
 protected:
  void SetUp() override {
    RequestServerTest::SetUp();
    zuvo::net::ResetPushState();
  }
  void TearDown() override {
    window_.reset();
    if (frame_ != nullptr) TComponent::Free(frame_);
    frame_ = nullptr;
    delete RealDataClnt;
    RealDataClnt = nullptr;
    delete Alarm;
    Alarm = nullptr;
    main_.Pump();
    RequestServerTest::TearDown();
    zuvo::net::ResetPushState();
    zuvo::net::ClearServerRights();
  }

  // A login stores the markets in the install tree; the main window starts on them offline,
  // then the request client logs in again and stays.
  void StartFrame() {
    Start();
    Connect();
    NormalClnt = nullptr;
    owner_.reset();
    client_ = nullptr;
    main_.Pump();
    zuvo::platform::profile::ClearCache();
    shelltest::AnswerLoginOffline(*runner_, 1);
    frame_ = NewForm<TMFrame>(nullptr);
    ASSERT_FALSE(frame_->CloseForced) << "the stored markets loaded";
    Connect();
    window_ = std::make_unique<zuvo::net::ScopedMainWindow>(frame_->Handle());
  }

  // The page: a quote list of the first rows of market 0's block and a trend view.
  void MakePage(STKPTR trendInstrument) {
    frame_->ReplacePageWindow(PAGE_OPEN_EMPTY);
    TMultiViewMain* page = frame_->PageWindow();
    ASSERT_NE(page, nullptr);
    VIEW_ATTR_12 attr{};
    DefaultViewAttr(VIEW_TREND, &attr);
    attr.instrument = trendInstrument;
    trend_ = page->ChangeCellView(page->cells[0]->node, &attr, 0);
    ASSERT_NE(trend_, nullptr);
    trend_->initialised = true;
    const BlockRecord* block = FindBlockByName(Table(0)->record.name);
    ASSERT_NE(block, nullptr) << "market 0's block";
    DefaultViewAttr(VIEW_REPORT, &attr);
    attr.blockTabs[0] = block->id;
    attr.blockTabCount = 1;
    attr.currentBlock = block->id;
    attr.topRowOrN = 1;
    report_ = dynamic_cast<TReport*>(page->SplitCell(trend_->node, &attr, 0.5f, NODE_RIGHT));
    ASSERT_NE(report_, nullptr);
    report_->initialised = true;
    page->SetBounds(0, 0, 1000, 800);
    page->LayoutPage();
    ASSERT_GT(report_->RowCount(), 0);
  }

  std::unique_ptr<zuvo::net::ScopedMainWindow> window_;
  TMFrame* frame_ = nullptr;
  TMultiViewChild* trend_ = nullptr;
  TReport* report_ = nullptr;
  zuvo::platform::ScopedScriptedMessageBoxes boxes_;
  zuvo::platform::ScopedScriptedModalRunner runner_;
  zuvo::platform::ScopedRecordingShell shell_;
  zuvo::platform::ScopedProcessLauncher launcher_{[](const zuvo::platform::ProcessLaunch&) {
    return zuvo::platform::LaunchResult{false, ERROR_FILE_NOT_FOUND, 0};
  }};
};

TEST_F(QuoteServerEndToEnd, APushedQuoteReachesTheTrendViewAndTheIndexSlotsAndTheServerHasThePagesKeys) {
  StartFrame();
  if (HasFatalFailure()) return;
  ASSERT_GE(frame_->IndexSlots[0].index, 0) << "000001 of market 0";
  const int trendIndex = Index(0, "600100");
  MakePage(STKPTR(0, 0, static_cast<unsigned short>(trendIndex)));
  if (HasFatalFailure()) return;

  WritePrivateProfileStringA("Server", "dsAddr", "127.0.0.1", ".\\server.ini");
  WritePrivateProfileStringA("Server", "Port2", std::to_string(pushPort()).c_str(), ".\\server.ini");
  RealDataClnt = new TRealDataClnt();
  ASSERT_EQ(RealDataClnt->ConnectAndLogin(), 1);
  ASSERT_EQ(GetConnectionState(), 3);

  // The full subscription: the trend view's instrument and the two indexes.
  frame_->IndexSlots[0].last = 0;
  UpdateSubscription(frame_, 0);
  ASSERT_TRUE(server_->AwaitReceived(PortRole::kPush, kSubscriptionType, 1, 20000));
  std::size_t subscribed = 0;
  for (const auto& connection : server_->Connections()) {
    if (connection.role == PortRole::kPush) subscribed = connection.subscribed;
  }
  ASSERT_NE(RealDataClnt->subscription, nullptr);
  EXPECT_EQ(subscribed, static_cast<std::size_t>(RealDataClnt->subscription->GetSize()))
      << "the server holds every key sent";
  std::set<std::pair<int, int>> sent;
  for (int i = 0; i < RealDataClnt->subscription->GetSize(); ++i) {
    const STKMS key = (*RealDataClnt->subscription)[i];
    sent.insert({static_cast<int>(key.market), static_cast<int>(key.index)});
  }
  EXPECT_TRUE(sent.count({0, trendIndex}));
  EXPECT_TRUE(sent.count({0, frame_->IndexSlots[0].index}));
  const STKPTR firstRow = report_->RowInstrument(0);
  EXPECT_TRUE(sent.count({firstRow.market, firstRow.index})) << "the quote list's first row";
  EXPECT_GT(sent.size(), 3u) << "the quote list's visible rows";

  // The snapshots of the new keys come back as pushed quotes.
  auto* recorder = dynamic_cast<StubRecorder*>(trend_);
  ASSERT_NE(recorder, nullptr);
  auto trendQuoted = [&] {
    return std::any_of(recorder->notifications.begin(), recorder->notifications.end(), [&](const ViewNotifyRecord& n) {
      return n.code == VN_QUOTE && n.instrument.market == 0 && n.instrument.index == trendIndex;
    });
  };
  ASSERT_TRUE(Pump(trendQuoted)) << "the trend view got its quote";
  ASSERT_TRUE(Pump([&] { return frame_->IndexSlots[0].last != 0; })) << "index 1 got its quote";
  const QuoteRecord& index = Table(0)->quotes[frame_->IndexSlots[0].index];
  EXPECT_EQ(frame_->IndexSlots[0].last, index.last);
  EXPECT_EQ(frame_->IndexSlots[0].previousClose, index.prevClose);
  EXPECT_NE(Table(0)->quotes[trendIndex].last, 0u);

  // Nothing new: an incremental rebuild sends nothing more.
  const EArray<STKMS>* last = RealDataClnt->subscription.get();
  UpdateSubscription(frame_, 1);
  EXPECT_EQ(RealDataClnt->subscription.get(), last);
}

}  // namespace

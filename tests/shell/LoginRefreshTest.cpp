// The refresh once both clients work again: the countdown armed, the quotes cleared, the quote
// list's server sort asked again under a new serial (the subscription then follows its reply)
// or, with only locally sorted lists, the subscription renewed at once; the charts refreshed.
#include "TimerFrameFixture.h"

#include "shell/Cell.h"
#include "shell/PageWindow.h"
#include "shell/ViewFactory.h"
#include "shell/ViewSurfaces.h"
#include "shell/stubs/StubViews.h"

#include <algorithm>
#include <string>

namespace shelltest {
namespace {

class LoginRefreshTest : public TimerFrameTest {
 protected:
  // A page of a trend view and a quote list sorted by `sortColumn`.
  void MakePage(std::uint32_t sortColumn) {
    frame->ReplacePageWindow(PAGE_OPEN_EMPTY);
    TMultiViewMain* page = frame->PageWindow();
    ASSERT_NE(page, nullptr);
    VIEW_ATTR_12 attr{};
    DefaultViewAttr(VIEW_TREND, &attr);
    trend = page->ChangeCellView(page->cells[0]->node, &attr, 0);
    ASSERT_NE(trend, nullptr);
    trend->initialised = true;
    DefaultViewAttr(VIEW_REPORT, &attr);
    attr.sortColumn = sortColumn;
    report = dynamic_cast<TReport*>(page->SplitCell(trend->node, &attr, 0.5f, NODE_RIGHT));
    ASSERT_NE(report, nullptr);
    report->initialised = true;
  }
  static std::vector<std::string> Calls(TMultiViewChild* view) {
    auto* recorder = dynamic_cast<StubRecorder*>(view);
    return recorder != nullptr ? recorder->calls : std::vector<std::string>{};
  }
  static bool Has(const std::vector<std::string>& calls, const std::string& prefix) {
    return std::any_of(calls.begin(), calls.end(), [&](const std::string& c) { return c.rfind(prefix, 0) == 0; });
  }
  bool Subscribed() const {
    return std::any_of(clients.calls.begin(), clients.calls.end(),
                       [](const std::string& c) { return c.rfind("PushSubscribe", 0) == 0; });
  }

  TMultiViewChild* trend = nullptr;
  TReport* report = nullptr;
};

TEST_F(LoginRefreshTest, AServerSortedListAsksAgainAndTheSubscriptionWaitsForItsReply) {
  MakePage(5);
  if (HasFatalFailure()) return;
  clients.requestClient = clients.pushClient = true;
  TMarketData* table = GetMarketTable(0);
  ASSERT_NE(table, nullptr);
  table->quotes[0].last = 777;
  const std::uint32_t serial = report->requestSerial;
  frame->ReconnectCountdown = -1;

  frame->RefreshAfterConnect();

  EXPECT_EQ(frame->ReconnectCountdown, 12);
  EXPECT_EQ(table->quotes[0].last, 0u) << "quotes of before the loss are cleared";
  EXPECT_EQ(report->requestSerial, serial + 1) << "older sort replies are ignored";
  EXPECT_TRUE(Has(Calls(report), "ServerSort 5 " + std::to_string(serial + 1)));
  EXPECT_TRUE(Has(Calls(trend), "RefreshView"));
  EXPECT_FALSE(Subscribed()) << "the list's sort reply resubscribes";
}

TEST_F(LoginRefreshTest, OnlyLocallySortedListsResubscribeAtOnce) {
  for (std::uint32_t column : {0u, 1u, 9u, 22u, 23u, 30u, 31u}) {
    SCOPED_TRACE("sort column " + std::to_string(column));
    MakePage(column);
    if (HasFatalFailure()) return;
    clients.DestroyPushClient();   // a new push client: nothing subscribed yet
    clients.calls.clear();
    clients.requestClient = clients.pushClient = true;
    const std::uint32_t serial = report->requestSerial;
    frame->RefreshAfterConnect();
    EXPECT_EQ(report->requestSerial, serial) << "no server sort";
    EXPECT_FALSE(Has(Calls(report), "ServerSort"));
    EXPECT_TRUE(Subscribed());
  }
}

}  // namespace
}  // namespace shelltest

// The main window's hot paths on a page of nine stand-in views: one pushed quote through the
// quote event (view notification to every cell, the data series, the index slots) and one
// rebuild of the real-time subscription (nine quote lists of 40 visible rows, 200 data series).
#include "BenchInstall.h"
#include "BenchOffscreenMain.h"

#include "data/BlockGroup.h"
#include "data/DataAgent.h"
#include "data/MarketData.h"
#include "data/Messages.h"
#include "data/UtilData.h"
#include "net/PushRecords.h"
#include "net/ServerRights.h"
#include "platform/Control.h"
#include "platform/Form.h"
#include "platform/Message.h"
#include "platform/Profile.h"
#include "shell/Cell.h"
#include "shell/MainFrame.h"
#include "shell/PageWindow.h"
#include "shell/ShellClients.h"
#include "shell/Subscription.h"
#include "shell/ViewFactory.h"
#include "shell/ViewSurfaces.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kInstruments = 500;
constexpr int kCells = 9;
constexpr int kVisibleRows = 40;
constexpr int kRowHeight = 18;
constexpr int kSeries = 200;

// Both clients present; what is handed over is dropped, and the last subscription kept so
// that incremental calls compare against it.
class NullClients final : public IShellClients {
 public:
  bool HasRequestClient() override { return true; }
  bool HasPushClient() override { return true; }
  int PushSubscribe(EArray<STKMS>* list, std::int16_t, bool) override {
    last.reset(list);
    return 0;
  }
  const EArray<STKMS>* PushSubscription() override { return last.get(); }
  int PushSendHeartbeat() override { return 0; }
  std::uint32_t PushLastTraffic() override { return 0; }
  void DestroyPushClient() override {}
  SOCKET PushSocket() override { return INVALID_SOCKET; }
  int RequestSendHeartbeat() override { return 0; }
  void RequestQuotes(EArray<STKMS>* keys) override { delete keys; }
  void RequestNameTable(int) override {}
  void RequestSystemMessage() override {}
  void RequestNews(bool, int) override {}
  std::string RequestServerText() override { return {}; }
  SOCKET RequestSocket() override { return INVALID_SOCKET; }
  void DestroyRequestClient() override {}
  std::unique_ptr<EArray<STKMS>> last;
};

// One market "SH" of 500 instruments (the first "000001") with its market block, installed
// in a scratch tree that the offline login of a main window can load.
void WriteMarket(const benchsupport::BenchInstall& install) {
  MarketRecord record{};
  record.kind = 1;
  std::strcpy(record.code, "SH");
  std::strcpy(record.name, "SH");
  std::strcpy(record.fileExt, "sh");
  record.hourOffset = 8;
  record.capacity = kInstruments + 8;
  record.categoryCount = 1;
  record.categories[0].sessionCount = 2;
  record.categories[0].openMinute[0] = 540;
  record.categories[0].closeMinute[0] = 690;
  record.categories[0].openMinute[1] = 780;
  record.categories[0].closeMinute[1] = 900;
  record.categories[0].dayChangeMinute = 530;
  std::vector<InstrumentRecord> names(kInstruments);
  std::vector<QuoteRecord> quotes(kInstruments);
  for (int i = 0; i < kInstruments; ++i) {
    std::snprintf(names[i].code, sizeof names[i].code, "%06d", i == 0 ? 1 : 600000 + i);
    names[i].priceDivisor = 100;
    names[i].volumeDivisor = 1;
    quotes[i].prevClose = 1000;
    quotes[i].last = 1010;
  }
  benchsupport::WriteFile(install.root() / "cfg" / "mkinfo.cfg", &record, sizeof record);
  benchsupport::WriteFile(install.root() / "data" / "SH" / "nametbl.sh", names.data(), names.size() * sizeof names[0]);
  benchsupport::WriteFile(install.root() / "data" / "SH" / "real.sh", quotes.data(), quotes.size() * sizeof quotes[0]);
  zuvo::platform::profile::ClearCache();
}

// Nine quote lists of the market block, 40 rows each, the lists 20 rows apart (200 distinct
// instruments among them).
void FillPage(TMultiViewMain* page) {
  const BlockRecord* block = FindBlockByName("SH");
  for (int c = 0; c < kCells; ++c) {
    VIEW_ATTR_12 attr{};
    DefaultViewAttr(VIEW_REPORT, &attr);
    if (block != nullptr) {
      attr.blockTabs[0] = block->id;
      attr.blockTabCount = 1;
      attr.currentBlock = block->id;
    }
    attr.topRowOrN = 1 + c * 20;
    TChildView* view = CreateView(VIEW_REPORT, page, &attr, nullptr, nullptr, nullptr);
    view->SetBounds(0, 0, 400, (kVisibleRows + 1) * kRowHeight);
    view->initialised = true;
  }
}

// A main window after its offline start-up on the scratch market, with a page of the nine
// quote lists and 200 minute series in use (instruments 0 to 199, the ones the lists show).
class Scene {
 public:
  Scene() : install_("shellhub") {
    WriteMarket(install_);
    frame = NewForm<TMFrame>(nullptr);
    frame->ReplacePageWindow(PAGE_OPEN_EMPTY);
    FillPage(frame->PageWindow());
    // Every market category granted.
    std::uint8_t rights[128];
    std::memset(rights, 0xFF, sizeof rights);
    zuvo::net::TakeServerRights(rights);
    for (int i = 0; i < kSeries; ++i) {
      series_.push_back(SubscribeAgent(STKPTR(0, 0, static_cast<unsigned short>(i)), kAgentMinutes, 0, frame->Handle()));
    }
    zuvo::platform::ProcessPendingMessages();
  }
  ~Scene() {
    for (int series : series_) UnsubscribeAgent(series, reinterpret_cast<std::uintptr_t>(frame->Handle()), kSubscribeWindow);
    zuvo::net::ClearServerRights();
    TComponent::Free(frame);
    zuvo::platform::ProcessPendingMessages();
  }
  bool Ready(benchmark::State& state) const {
    if (FindBlockByName("SH") == nullptr || frame->PageWindow() == nullptr) {
      state.SkipWithError("the scratch market did not load");
      return false;
    }
    return true;
  }

  TMFrame* frame = nullptr;

 private:
  benchsupport::BenchInstall install_;
  std::vector<int> series_;
};

void BM_QuoteEvent9Cells200Series(benchmark::State& state) {
  Scene scene;
  if (!scene.Ready(state)) return;
  _zvapp_pkg_ slot{};
  slot.instrument = STKPTR(0, 0, 10);
  slot.flags = 0x100;
  TMessage message;
  message.Msg = MsgQuoteEvent;
  message.WParam = 0x10005;
  message.LParam = reinterpret_cast<LPARAM>(&slot);
  for (auto _ : state) {
    scene.frame->QuoteEvent(message);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_QuoteEvent9Cells200Series)->Unit(benchmark::kMicrosecond);

void BM_UpdateSubscription9Cells200Series(benchmark::State& state) {
  Scene scene;
  if (!scene.Ready(state)) return;
  NullClients clients;
  IShellClients* previous = SetShellClients(&clients);
  // Full rebuilds: the whole set is built and handed over every time.
  for (auto _ : state) {
    UpdateSubscription(scene.frame, 0);
    benchmark::ClobberMemory();
  }
  state.counters["keys"] = clients.last != nullptr ? clients.last->GetSize() : 0;
  SetShellClients(previous);
}
BENCHMARK(BM_UpdateSubscription9Cells200Series)->Unit(benchmark::kMicrosecond);

}  // namespace

ZUVO_OFFSCREEN_BENCHMARK_MAIN();

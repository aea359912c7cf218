// The real-time subscription's rules (CollectSubscription, SendSubscription), the main window's
// glue that gathers their inputs (UpdateSubscription), the user's rights as the main window
// answers them, and which clients exist.
#include "shell/Subscription.h"

#include "data/BlockGroup.h"
#include "data/DataAgent.h"
#include "data/MarketData.h"
#include "net/ServerRights.h"
#include "shell/Cell.h"
#include "shell/MainFrame.h"
#include "shell/PageWindow.h"
#include "shell/ShellClients.h"
#include "shell/ViewSurfaces.h"
#include "shell/stubs/FrameStandIns.h"

#include <algorithm>
#include <memory>

namespace {

// The instrument's record, or null when the key names none.
const InstrumentRecord* Record(int market, int index) {
  const TMarketData* table = GetMarketTable(market);
  if (table == nullptr || table->names == nullptr || index < 0 || index >= table->count) return nullptr;
  return &table->names[index];
}

// True when the key names an instrument of a market category the user may see.
bool Entitled(const SubscriptionSources& sources, int market, int index) {
  const InstrumentRecord* record = Record(market, index);
  return record != nullptr && sources.hasMarketRight && sources.hasMarketRight(market, record->category);
}

STKMS Key(int market, int index) {
  return STKMS{static_cast<std::uint8_t>(market), static_cast<std::uint16_t>(index)};
}

void AddEntitled(const SubscriptionSources& sources, EArray<STKMS>& keys, const STKPTR& instrument) {
  if (Entitled(sources, instrument.market, instrument.index)) AddSubscriptionKey(keys, Key(instrument.market, instrument.index));
}

void CutTo(EArray<STKMS>& keys, int limit) {
  if (keys.GetSize() > limit) keys.SetSize(limit);
}

// A trend or K-line view whose instrument has no snapshot yet (its extra record is empty).
void CollectChartSnapshot(const TMultiViewChild& cell, EArray<STKMS>& snapshot) {
  if (cell.attr.kind != VIEW_TREND && cell.attr.kind != VIEW_KLINE) return;
  const STKPTR& instrument = cell.attr.instrument;
  const TMarketData* table = GetMarketTable(instrument.market);
  if (Record(instrument.market, instrument.index) == nullptr || table->extras == nullptr) return;
  if (table->extras[instrument.index].filled == 0) AddSubscriptionKey(snapshot, Key(instrument.market, instrument.index));
}

}  // namespace

void AddSubscriptionKey(EArray<STKMS>& keys, STKMS key) {
  for (int i = keys.GetSize() - 1; i >= 0; --i) {
    if (keys[i] == key) return;
  }
  if (keys.GetSize() < kMaxSubscriptionKeys) keys.Add(key);
}

void CollectSubscription(const SubscriptionSources& sources, EArray<STKMS>& push, EArray<STKMS>& snapshot) {
  // Alarms not yet fired.
  if (sources.alarms != nullptr) {
    for (int i = 0; i < sources.alarms->GetSize(); ++i) {
      const AlarmData& alarm = (*sources.alarms)[i];
      if (alarm.reasons == 0) AddEntitled(sources, push, alarm.stk);
    }
  }
  // Conditional orders still waiting; a spread or ratio order needs both of its instruments.
  if (sources.deals != nullptr) {
    for (int i = 0; i < sources.deals->GetSize(); ++i) {
      const DealData& deal = (*sources.deals)[i];
      if (deal.state != 0) continue;
      const bool twoLegs = deal.kind == 2 || deal.kind == 3;
      if (!Entitled(sources, deal.stk1.market, deal.stk1.index)) continue;
      if (twoLegs && !Entitled(sources, deal.stk2.market, deal.stk2.index)) continue;
      AddSubscriptionKey(push, Key(deal.stk1.market, deal.stk1.index));
      if (twoLegs) AddSubscriptionKey(push, Key(deal.stk2.market, deal.stk2.index));
    }
  }
  // The page's cells, last to first; the quote lists may overshoot, which the cut ends.
  if (sources.page != nullptr) {
    const EArray<TMultiViewChild*>& cells = sources.page->cells;
    for (int i = cells.GetSize() - 1; i >= 0; --i) {
      TMultiViewChild* cell = cells[i];
      if (cell == nullptr) continue;
      cell->ViewCollectInstruments(push);
      if (auto* report = dynamic_cast<TReport*>(cell)) {
        report->CollectSnapshotRequests(snapshot);
      } else {
        CollectChartSnapshot(*cell, snapshot);
      }
      if (push.GetSize() >= kMaxSubscriptionKeys) {
        CutTo(push, kMaxSubscriptionKeys);
        break;
      }
    }
  }
  // The data series in use: instruments that formulas and overlays refer to.
  if (sources.registry != nullptr) {
    for (int i = 0; i < sources.registry->GetSize(); ++i) {
      const CDataAgent& agent = (*sources.registry)[i];
      if (agent.InUse()) AddEntitled(sources, push, agent.instrument);
    }
  }
  // The two indexes of the status bar: no rights asked, but no second copy either.
  for (int slot = 0; slot < 2; ++slot) {
    if (sources.indexes[slot] >= 0) AddSubscriptionKey(push, Key(slot, sources.indexes[slot]));
  }
  // The quote strip's tiles.
  if (sources.stripBlock != nullptr && sources.stripBlock->members != nullptr) {
    const int tiles = std::min<int>(sources.stripTiles, sources.stripBlock->memberCount);
    for (int k = 0; k < tiles && k < kMaxBlockMembers; ++k) {
      const BlockMember& member = sources.stripBlock->members[k];
      if (Entitled(sources, member.market, member.index)) AddSubscriptionKey(push, Key(member.market, member.index));
    }
  }
  CutTo(push, kMaxSubscriptionKeys);
}

void SendSubscription(IShellClients& clients, EArray<STKMS>* push, EArray<STKMS>* snapshot, bool incremental) {
  std::unique_ptr<EArray<STKMS>> keys(push);
  std::unique_ptr<EArray<STKMS>> snapshots(snapshot);
  if (keys != nullptr) {
    CutTo(*keys, kMaxSubscriptionKeys);
    const EArray<STKMS>* last = incremental ? clients.PushSubscription() : nullptr;
    if (last != nullptr) {
      // New keys (not in the last subscription) first, in their order, then the kept ones.
      STKMS fresh[kMaxSubscriptionKeys];
      STKMS kept[kMaxSubscriptionKeys];
      int freshCount = 0;
      int keptCount = 0;
      for (int i = 0; i < keys->GetSize(); ++i) {
        const STKMS key = (*keys)[i];
        bool known = false;
        for (int j = 0; j < last->GetSize() && !known; ++j) known = (*last)[j] == key;
        (known ? kept[keptCount++] : fresh[freshCount++]) = key;
      }
      if (freshCount > 0) {
        for (int i = 0; i < freshCount; ++i) (*keys)[i] = fresh[i];
        for (int i = 0; i < keptCount; ++i) (*keys)[freshCount + i] = kept[i];
        clients.PushSubscribe(keys.release(), static_cast<std::int16_t>(freshCount), true);
      }
    } else {
      const auto count = static_cast<std::int16_t>(keys->GetSize());
      clients.PushSubscribe(keys.release(), count, true);
    }
  }
  if (snapshots != nullptr && snapshots->GetSize() > 0) {
    CutTo(*snapshots, kMaxSubscriptionKeys);
    clients.RequestQuotes(snapshots.release());
  }
}

void UpdateSubscriptionFrom(IShellClients& clients, const SubscriptionSources& sources, std::uint8_t incremental) {
  if (!clients.HasRequestClient() || !clients.HasPushClient() || sources.page == nullptr) return;
  auto push = std::make_unique<EArray<STKMS>>(kSubscriptionGrowStep);
  auto snapshot = std::make_unique<EArray<STKMS>>(kSubscriptionGrowStep);
  CollectSubscription(sources, *push, *snapshot);
  SendSubscription(clients, push.release(), snapshot.release(), incremental == 1);
}

// ---- The main window's glue -------------------------------------------------------------------------

namespace {

// How many tiles the quote strip shows of its block. The strip lays its block out in
// ceil(members / columns) rows; until its own grid reports the rows that fit, every member
// counts (the subscription's cut bounds them).
int QuoteStripTiles(const TMFrame& frame, const BlockRecord& block) {
  const int columns = std::max(1, frame.QuoteCol);
  const int rows = (block.memberCount + columns - 1) / columns;
  return columns * rows;
}

}  // namespace

void UpdateSubscription(TMFrame* frame, std::uint8_t incremental) {
  if (frame == nullptr) return;
  IShellClients& clients = ShellClients();
  if (!clients.HasRequestClient() || !clients.HasPushClient() || frame->PageWindow() == nullptr) return;
  SubscriptionSources sources;
  sources.hasMarketRight = [frame](int market, int category) { return frame->HasMarketRight(market, category); };
  if (Alarm != nullptr) {
    sources.alarms = &Alarm->alarms;
    sources.deals = &Alarm->deals;
  }
  sources.page = frame->PageWindow();
  sources.registry = &GetAgentRegistry();
  for (int slot = 0; slot < 2; ++slot) sources.indexes[slot] = frame->IndexSlots[slot].index;
  if (frame->Panel1 != nullptr && frame->Panel1->Visible() && frame->QuoteBlockId >= 0) {
    if (const BlockRecord* block = FindBlockById(static_cast<std::uint16_t>(frame->QuoteBlockId))) {
      if (block->used) {
        sources.stripBlock = block;
        sources.stripTiles = QuoteStripTiles(*frame, *block);
      }
    }
  }
  UpdateSubscriptionFrom(clients, sources, incremental);
}

// ---- Rights and connections -------------------------------------------------------------------------

bool TMFrame::HasMarketRight(int market, int category) { return zuvo::net::HasMarketRight(market, category); }

bool TMFrame::HasNewsRight(int category) { return zuvo::net::HasNewsRight(category); }

int GetConnectionState() {
  IShellClients& clients = ShellClients();
  return (clients.HasRequestClient() ? 1 : 0) | (clients.HasPushClient() ? 2 : 0);
}

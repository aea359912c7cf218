// The real-time subscription: which instruments the push client is asked for (at most 256, no
// duplicates) and which quote snapshots the request client is asked for, gathered from the
// alarms, the conditional orders, the page's cells, the data series, the two index instruments
// and the quote strip. The rules work on the inputs handed in here, so tests drive them without
// a main window or sockets; UpdateSubscription (MainFrame.h) gathers the inputs and sends.
//
// UI thread only.
#pragma once

#include "core/EArray.h"
#include "data/Records.h"

#include <cstdint>
#include <functional>

class IShellClients;
class TMultiViewMain;
struct AlarmData;
struct BlockRecord;
struct CDataAgent;
struct DealData;

// The size of the subscription frame: no set holds more keys.
constexpr int kMaxSubscriptionKeys = 256;
// Both sets are created with this grow step.
constexpr int kSubscriptionGrowStep = 384;

struct SubscriptionSources {
  // Whether the user may see a market category (the main window's HasMarketRight).
  std::function<bool(int market, int category)> hasMarketRight;
  // The alarm engine's lists; null without an alarm engine.
  const EArray<AlarmData>* alarms = nullptr;
  const EArray<DealData>* deals = nullptr;
  // The page window; null when there is none (then nothing is built or sent).
  TMultiViewMain* page = nullptr;
  // The data-series registry (null: none).
  const EArray<CDataAgent>* registry = nullptr;
  // The instrument index of "000001" in market 0 and of "399001" in market 1; -1 not found.
  int indexes[2] = {-1, -1};
  // The quote strip's block while the strip is visible (null otherwise) and how many of its
  // tiles the strip shows (columns x rows).
  const BlockRecord* stripBlock = nullptr;
  int stripTiles = 0;
};

// Adds `key` unless `keys` holds it already (searched from the end) or holds 256 keys.
void AddSubscriptionKey(EArray<STKMS>& keys, STKMS key);

// Fills `push` with the keys to subscribe, in the order alarms, waiting orders, cells (last to
// first), data series, the two indexes, the quote strip, cut to 256 without duplicates; and
// `snapshot` with the instruments whose quote snapshot the cells still lack.
void CollectSubscription(const SubscriptionSources& sources, EArray<STKMS>& push, EArray<STKMS>& snapshot);

// Hands the sets over (both are taken). An incremental call with a last subscription sends
// only when new keys appear, new keys first; otherwise the whole set is sent. A snapshot set
// that is not empty is cut to 256 and asked for; an empty one is deleted.
void SendSubscription(IShellClients& clients, EArray<STKMS>* push, EArray<STKMS>* snapshot, bool incremental);

// The whole rebuild on given inputs: nothing unless both clients exist and there is a page;
// else CollectSubscription and SendSubscription (`incremental` 1: only when new keys appear).
void UpdateSubscriptionFrom(IShellClients& clients, const SubscriptionSources& sources, std::uint8_t incremental);

// The series registry, subscriptions and the notification paths.
//
// Every message to a subscriber may re-enter: the receiver may subscribe (the registry grows and
// moves), unsubscribe (the lists shrink, a series may be freed and its slot reused). So each
// path copies the lists it walks, fetches the entry by index after every send, stops when the
// slot no longer holds the same series (its requestTag changed), and skips targets that left
// the list meanwhile.
//
// The registry keeps the slots in use of each instrument, so that a quote or a server reply for
// one instrument costs the same however many series other instruments have. The walks over one
// instrument take a copy of that list (slot and tag) when they begin and visit the series in
// registry order, skipping those freed meanwhile; series created while the walk goes round were
// loaded just now and are not visited.
#include "data/DataAgent.h"

#include "core/GuardedAlloc.h"
#include "data/AgentLoad.h"
#include "data/CacheRecords.h"
#include "data/IRequestClient.h"
#include "data/Messages.h"
#include "data/UtilData.h"
#include "platform/WinUser.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <vector>

namespace {

// Taken by every new series; never reset, so a tag names one series for the program's life.
std::uint32_t nextRequestTag = 1;

CDataAgent* AgentInUse(int index) {
  CDataAgent* agent = GetAgent(index);
  return agent != nullptr && agent->InUse() ? agent : nullptr;
}

// The entry at index when it still holds the series of that tag.
CDataAgent* SameSeries(int index, std::uint32_t tag) {
  CDataAgent* agent = AgentInUse(index);
  return agent != nullptr && agent->requestTag == tag ? agent : nullptr;
}

bool HasWindow(const CDataAgent& agent, HWND window) {
  for (std::uint32_t i = 0; i < agent.windowCount; ++i)
    if (agent.windows[i] == window) return true;
  return false;
}

bool HasDependent(const CDataAgent& agent, int dependent) {
  for (std::uint32_t i = 0; i < agent.dependentCount; ++i)
    if (agent.dependents[i] == dependent) return true;
  return false;
}

bool KeyMatches(const CDataAgent& agent, const STKPTR& instrument, int kind, std::uint32_t period) {
  if (!agent.InUse() || agent.kind != kind || agent.instrument != instrument) return false;
  return kind == kAgentTicks || kind == kAgentRecentTrades || agent.period == period;
}

// Removes the first occurrence of target from list[0..*count), closing the gap; the slot freed
// at the end is cleared so no stale entry stays behind the count. False when it is not there.
template <typename T>
bool RemoveFirst(T* list, std::uint32_t* count, T target, T cleared) {
  for (std::uint32_t i = 0; i < *count; ++i) {
    if (list[i] != target) continue;
    for (std::uint32_t k = i + 1; k < *count; ++k) list[k - 1] = list[k];
    list[--*count] = cleared;
    return true;
  }
  return false;
}

void ClearEntry(CDataAgent* agent) {
  GuardedFree(agent->records);
  GuardedFree(agent->todayBars);
  *agent = CDataAgent{};
}

// Sends the percent to every window the series had when this started and still has.
void SendToWindows(int index, int percent) {
  CDataAgent* agent = AgentInUse(index);
  if (agent == nullptr || agent->windowCount == 0) return;
  const std::uint32_t tag = agent->requestTag;
  HWND windows[kMaxAgentWindows];
  const std::uint32_t count = agent->windowCount;
  std::memcpy(windows, agent->windows, sizeof(HWND) * count);
  for (std::uint32_t i = 0; i < count; ++i) {
    agent = SameSeries(index, tag);
    if (agent == nullptr) return;
    if (!HasWindow(*agent, windows[i])) continue;
    SendMessageA(windows[i], MsgAgentData, static_cast<WPARAM>(percent), static_cast<LPARAM>(index));
  }
}

// RefreshDependent on every dependent the series had when this started and that still hangs on it.
void RefreshDependents(int index, int percent) {
  CDataAgent* agent = AgentInUse(index);
  if (agent == nullptr || agent->dependentCount == 0) return;
  const std::uint32_t tag = agent->requestTag;
  std::int32_t dependents[kMaxAgentDependents];
  const std::uint32_t count = agent->dependentCount;
  std::memcpy(dependents, agent->dependents, sizeof(std::int32_t) * count);
  for (std::uint32_t i = 0; i < count; ++i) {
    agent = SameSeries(index, tag);
    if (agent == nullptr) return;
    if (!HasDependent(*agent, dependents[i])) continue;
    const CDataAgent* dependent = AgentInUse(dependents[i]);
    if (dependent == nullptr || dependent->baseIndex != index) continue;
    CDataAgent::RefreshDependent(dependents[i], percent);
  }
}

// Loads a series of kind 1, 2 or 3 from the cache, or a bar series re-reading its history.
void LoadByKind(int index, bool downloads) {
  const CDataAgent* agent = AgentInUse(index);
  if (agent == nullptr) return;
  switch (agent->kind) {
    case kAgentTicks:
      CDataAgent::LoadTicks(index, downloads);
      break;
    case kAgentRecentTrades:
      CDataAgent::LoadRecentTrades(index, downloads);
      break;
    case kAgentMinutes:
      CDataAgent::LoadMinutes(index, downloads);
      break;
    default:
      if (IsBarAgentKind(agent->kind)) CDataAgent::LoadBars(index, true, 0);
      break;
  }
}

}  // namespace

namespace {

// A series' key leaves the category byte out: market number and instrument index.
std::uint32_t InstrumentKey(const STKPTR& instrument) {
  return (std::uint32_t{instrument.market} << 16) | instrument.index;
}

// The registry, with the slots in use of each instrument in ascending order: every slot in use
// is listed under its instrument and no other slot anywhere. SubscribeAgent lists a slot when it
// fills it, UnsubscribeAgent unlists it before clearing it. At exit the registry frees the
// series' buffers, not only its own storage.
class AgentRegistry : public EArray<CDataAgent> {
 public:
  AgentRegistry() : EArray<CDataAgent>(kAgentRegistryStep) {}
  ~AgentRegistry() override {
    for (int i = 0; i < GetSize(); ++i) ClearEntry(&(*this)[i]);
  }

  // The slots in use of an instrument in registry order, or null when it has none. Valid until
  // the next subscription or release.
  const std::vector<int>* SlotsOf(const STKPTR& instrument) const {
    const auto found = slotsByInstrument_.find(InstrumentKey(instrument));
    return found != slotsByInstrument_.end() ? &found->second : nullptr;
  }
  void List(int slot) {
    std::vector<int>& slots = slotsByInstrument_[InstrumentKey((*this)[slot].instrument)];
    slots.insert(std::lower_bound(slots.begin(), slots.end(), slot), slot);
  }
  void Unlist(int slot) {
    const auto found = slotsByInstrument_.find(InstrumentKey((*this)[slot].instrument));
    if (found == slotsByInstrument_.end()) return;
    std::vector<int>& slots = found->second;
    const auto at = std::lower_bound(slots.begin(), slots.end(), slot);
    if (at != slots.end() && *at == slot) slots.erase(at);
    // An instrument without series leaves the map, so it stays as small as the live series.
    if (slots.empty()) slotsByInstrument_.erase(found);
  }
  void UnlistAll() { slotsByInstrument_.clear(); }

 private:
  std::unordered_map<std::uint32_t, std::vector<int>> slotsByInstrument_;
};

AgentRegistry& Registry() {
  static AgentRegistry registry;
  return registry;
}

// A series as a walk found it when it began: its slot and the tag that names it.
struct Visit {
  int slot;
  std::uint32_t tag;
};

// The series in use of an instrument as they stand now, in registry order (nothing is
// allocated for an instrument without series).
std::vector<Visit> SeriesOf(const STKPTR& instrument) {
  std::vector<Visit> visits;
  const std::vector<int>* slots = Registry().SlotsOf(instrument);
  if (slots == nullptr) return visits;
  visits.reserve(slots->size());
  for (int slot : *slots) visits.push_back({slot, GetAgent(slot)->requestTag});
  return visits;
}

}  // namespace

const EArray<CDataAgent>& GetAgentRegistry() { return Registry(); }

CDataAgent* GetAgent(int index) {
  AgentRegistry& registry = Registry();
  if (index < 0 || index >= registry.GetSize()) return nullptr;
  return registry.GetData() + index;
}

int CDataAgent::GetRecords(int series, void** records, int* count) {
  const CDataAgent* agent = AgentInUse(series);
  const int n = agent != nullptr && agent->records != nullptr ? agent->recordCount : 0;
  if (records) *records = agent != nullptr && n > 0 ? agent->records : nullptr;
  if (count) *count = n;
  return n;
}

int SubscribeAgent(STKPTR instrument, int kind, std::uint32_t period, std::uintptr_t target, int mode) {
  if (mode != kSubscribeWindow && mode != kSubscribeDependent) return -1;
  AgentRegistry& registry = Registry();
  const HWND window = reinterpret_cast<HWND>(target);
  const auto dependent = static_cast<std::int32_t>(target);

  // A target may hold several subscriptions to one series (a chart and its formula's reference
  // to the same instrument, a rebinding that subscribes before it releases): each is one entry,
  // and each UnsubscribeAgent gives back one. The instrument's slots come in registry order, so
  // the first match with room is the first in the registry.
  if (const std::vector<int>* slots = registry.SlotsOf(instrument)) {
    for (int i : *slots) {
      CDataAgent& agent = registry[i];
      if (!KeyMatches(agent, instrument, kind, period)) continue;
      if (mode == kSubscribeWindow && agent.windowCount < kMaxAgentWindows) {
        agent.windows[agent.windowCount++] = window;
        return i;
      }
      if (mode == kSubscribeDependent && agent.dependentCount < kMaxAgentDependents) {
        agent.dependents[agent.dependentCount++] = dependent;
        return i;
      }
    }
  }

  int index = -1;
  for (int i = 0; i < registry.GetSize(); ++i) {
    if (!registry[i].InUse()) {
      index = i;
      break;
    }
  }
  if (index < 0) {
    index = registry.Add(CDataAgent{});
    if (index < 0) return -1;
  } else {
    ClearEntry(&registry[index]);
  }

  CDataAgent& agent = registry[index];
  agent.instrument = instrument;
  agent.kind = static_cast<std::uint8_t>(kind);
  agent.period = period;
  agent.requestTag = nextRequestTag++;
  if (mode == kSubscribeWindow) {
    agent.windows[0] = window;
    agent.windowCount = 1;
  } else {
    agent.dependents[0] = dependent;
    agent.dependentCount = 1;
  }
  registry.List(index);

  switch (kind) {
    case kAgentTicks:
    case kAgentRecentTrades:
      agent.recordSize = sizeof(TradeRecord);
      agent.period = 0;
      if (kind == kAgentTicks)
        CDataAgent::LoadTicks(index, true);
      else
        CDataAgent::LoadRecentTrades(index, true);
      break;
    case kAgentMinutes:
      agent.recordSize = sizeof(TodayMinuteRecord);
      CDataAgent::LoadMinutes(index, true);
      break;
    default:
      if (IsBarAgentKind(kind)) {
        agent.recordSize = sizeof(ChartBar);
        // The nested subscription may move the registry: address the entry by index afterwards.
        const int base = SubscribeAgent(instrument, kAgentMinutes, 0, static_cast<std::uintptr_t>(index),
                                        kSubscribeDependent);
        GetAgent(index)->baseIndex = base;
        CDataAgent::LoadBars(index, true, 0);
      }
      break;
  }
  return index;
}

void UnsubscribeAgent(int series, std::uintptr_t target, int mode) {
  if (mode != kSubscribeWindow && mode != kSubscribeDependent) return;
  CDataAgent* agent = AgentInUse(series);
  if (agent == nullptr) return;
  const bool removed =
      mode == kSubscribeWindow
          ? RemoveFirst(agent->windows, &agent->windowCount, reinterpret_cast<HWND>(target), HWND{})
          : RemoveFirst(agent->dependents, &agent->dependentCount, static_cast<std::int32_t>(target), 0);
  if (!removed || agent->InUse()) return;

  const int base = agent->baseIndex;
  agent->baseIndex = -1;
  if (base >= 0) UnsubscribeAgent(base, static_cast<std::uintptr_t>(series), kSubscribeDependent);
  // Unsubscribing creates no series, so the registry has not moved; fetch again all the same.
  Registry().Unlist(series);
  ClearEntry(GetAgent(series));
}

void CycleToAgentKind(int cycle, int n, int* kind, int* period) {
  int k = kAgentMinuteBars;
  int p = 1;
  switch (cycle) {
    case 1: p = 1; break;
    case 2: p = 3; break;
    case 3: p = n; break;
    case 4: p = 5; break;
    case 5: p = 15; break;
    case 6: p = 30; break;
    case 7: p = 60; break;
    case 13: p = 120; break;
    case 14: p = 240; break;
    case 9: k = kAgentWeekBars; break;
    case 10: k = kAgentMonthBars; break;
    case 11: k = kAgentQuarterBars; break;
    case 12: k = kAgentDayBars; p = n; break;
    default: k = kAgentDayBars; break;
  }
  if (kind) *kind = k;
  if (period) *period = p;
}

void CDataAgent::RequestBars(int series) {
  const CDataAgent* agent = AgentInUse(series);
  if (agent == nullptr || agent->recordCount >= MaxDataRecords) return;
  int cycle = 0;
  int multiplier = 1;
  switch (agent->kind) {
    case kAgentMinuteBars:
      // A minute bar file's kind is the chart cycle code of its own period.
      cycle = MinuteBarFileFor(agent->period);
      multiplier = static_cast<int>(agent->period / static_cast<std::uint32_t>(BarFileMinutes(cycle)));
      break;
    case kAgentDayBars:
      cycle = 8;
      multiplier = static_cast<int>(agent->period);
      break;
    case kAgentWeekBars: cycle = 9; break;
    case kAgentMonthBars: cycle = 10; break;
    case kAgentQuarterBars: cycle = 11; break;
    default: return;
  }
  if (IRequestClient* client = RequestClient())
    client->RequestHistoryBars(agent->instrument.market, agent->instrument.index, 0, cycle,
                               multiplier, 1, agent->requestTag);
}

void CDataAgent::Reload(int series) {
  const CDataAgent* agent = AgentInUse(series);
  if (agent == nullptr) return;
  const std::uint32_t tag = agent->requestTag;
  if (IsBarAgentKind(agent->kind)) {
    // The base notifies its own windows and rebuilds its dependents, this one among them.
    if (agent->baseIndex >= 0) Reload(agent->baseIndex);
    if (SameSeries(series, tag) == nullptr) return;   // given up by a window meanwhile
    LoadBars(series, true, 0);
  } else {
    LoadByKind(series, true);
  }
  SendToWindows(series, kAgentComplete);
  if (SameSeries(series, tag) == nullptr) return;
  RefreshDependents(series, kAgentComplete);
}

void CDataAgent::Refresh(int series, int percent) {
  const CDataAgent* agent = AgentInUse(series);
  if (agent == nullptr) return;
  const std::uint32_t tag = agent->requestTag;
  if (percent == kAgentComplete) LoadByKind(series, false);
  SendToWindows(series, percent);
  if (SameSeries(series, tag) == nullptr) return;
  RefreshDependents(series, percent);
}

void CDataAgent::RefreshDependent(int series, int percent) {
  const CDataAgent* agent = AgentInUse(series);
  if (agent == nullptr) return;
  if ((percent == kAgentLiveUpdate || percent == kAgentComplete) && IsBarAgentKind(agent->kind))
    LoadBars(series, false, 0);
  SendToWindows(series, percent);
}

void UpdateAgentsFromQuote(STKPTR instrument, const QuoteRecord* quote, std::uint32_t flags) {
  if (quote == nullptr) return;
  const std::vector<Visit> visits = SeriesOf(instrument);
  if (visits.empty()) return;
  // The quote may live in the market table, which a handler could change: work on a copy.
  const QuoteRecord pushed = *quote;
  for (const Visit& visit : visits) {
    const CDataAgent* agent = SameSeries(visit.slot, visit.tag);
    if (agent == nullptr) continue;       // freed by a handler meanwhile
    const int kind = agent->kind;
    if (IsBarAgentKind(kind)) continue;   // bar series follow through their base
    if (kind == kAgentTicks)
      CDataAgent::AppendTick(visit.slot, pushed, flags);
    else if (kind == kAgentRecentTrades)
      CDataAgent::AppendRecentTrade(visit.slot, pushed, flags);
    else if (kind == kAgentMinutes)
      CDataAgent::UpdateMinute(visit.slot, pushed, flags);
    SendToWindows(visit.slot, kAgentLiveUpdate);
    if (SameSeries(visit.slot, visit.tag) == nullptr) continue;
    RefreshDependents(visit.slot, kAgentLiveUpdate);
  }
}

void NotifyAgentsDataArrived(STKPTR instrument, int kind, std::uint32_t period, int percent) {
  for (const Visit& visit : SeriesOf(instrument)) {
    const CDataAgent* agent = SameSeries(visit.slot, visit.tag);
    if (agent == nullptr) continue;
    bool refresh = false;
    if (kind == kAgentMinuteBars) {
      refresh = agent->kind == kAgentMinuteBars &&
                static_cast<std::uint32_t>(BarFileMinutes(MinuteBarFileFor(agent->period))) == period;
    } else if (kind == kAgentDayBars) {
      refresh = agent->kind >= kAgentDayBars && agent->kind <= kAgentUnusedBars11;
    } else {
      refresh = agent->kind == kind &&
                (kind == kAgentTicks || kind == kAgentRecentTrades || agent->period == period);
    }
    if (refresh) CDataAgent::Refresh(visit.slot, percent);
  }
}

void ReloadInstrumentAgents(STKPTR instrument) {
  for (const Visit& visit : SeriesOf(instrument))
    if (SameSeries(visit.slot, visit.tag) != nullptr) CDataAgent::Reload(visit.slot);
}

void ReloadMarketAgents(int market, int category) {
  // A whole market is most of the registry, and each reload reads files: a walk in registry
  // order costs nothing next to that. The category is the one the series' reference holds.
  std::vector<Visit> visits;
  const AgentRegistry& registry = Registry();
  for (int i = 0; i < registry.GetSize(); ++i) {
    const CDataAgent& agent = registry[i];
    if (!agent.InUse()) continue;
    if (market != 255 && agent.instrument.market != market) continue;
    if (category != 255 && agent.instrument.category != category) continue;
    visits.push_back({i, agent.requestTag});
  }
  for (const Visit& visit : visits)
    if (SameSeries(visit.slot, visit.tag) != nullptr) CDataAgent::Reload(visit.slot);
}

void FreeAllAgents() {
  AgentRegistry& registry = Registry();
  for (int i = 0; i < registry.GetSize(); ++i) ClearEntry(&registry[i]);
  registry.RemoveAll();
  registry.UnlistAll();
}

// A recording stand-in for the request client: every request is recorded with its arguments,
// and DownloadNameTable hands out scripted name tables (or fails) the way the real download
// fills a market table. Install it into a RequestClientOwner, as the program installs its client.
#pragma once

#include "data/IRequestClient.h"
#include "data/MarketData.h"
#include "data/Records.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

class FakeRequestClient : public IRequestClient {
 public:
  struct Call {
    std::string op;                 // the operation's name, e.g. "RequestTicks"
    std::vector<std::int64_t> args; // its numeric arguments in declaration order
    std::string text;               // its text argument, when it has one
  };

  std::vector<Call> calls;
  // DownloadNameTable(m) copies nameTables[m] into MarketTables[m] (at most capacity records)
  // and returns the count; a market in failDownloads (or without a table here) gets -1 after
  // partialRecords records.
  std::map<int, std::vector<InstrumentRecord>> nameTables;
  std::set<int> failDownloads;
  int partialRecords = 0;
  bool infoMineIndexResult = true;
  // Counts this client's destruction when set (the owner destroys a dropped client).
  int* destructions = nullptr;

  ~FakeRequestClient() override {
    if (destructions != nullptr) ++*destructions;
  }

  int CountCalls(const std::string& op) const {
    return static_cast<int>(std::count_if(calls.begin(), calls.end(),
                                          [&](const Call& call) { return call.op == op; }));
  }
  const Call* LastCall(const std::string& op) const {
    for (auto it = calls.rbegin(); it != calls.rend(); ++it) {
      if (it->op == op) return &*it;
    }
    return nullptr;
  }

  int DownloadNameTable(int market) override {
    calls.push_back({"DownloadNameTable", {market}, {}});
    TMarketData* table = market >= 0 && market < kMaxMarkets ? MarketTables[market] : nullptr;
    if (table == nullptr || table->names == nullptr) return -1;
    table->count = 0;
    const auto found = nameTables.find(market);
    const bool fail = failDownloads.count(market) != 0 || found == nameTables.end();
    const std::vector<InstrumentRecord> none;
    const std::vector<InstrumentRecord>& source = found != nameTables.end() ? found->second : none;
    int n = std::min<int>(static_cast<int>(source.size()), table->capacity);
    if (fail) n = std::min(n, partialRecords);
    for (int i = 0; i < n; ++i) table->names[i] = source[static_cast<std::size_t>(i)];
    table->count = n;
    return fail ? -1 : n;
  }

  void RequestHistoryBars(int market, int index, int reserved, int cycle, int n, int older,
                          std::uint32_t requester) override {
    calls.push_back({"RequestHistoryBars", {market, index, reserved, cycle, n, older, requester}, {}});
  }
  void RequestTicks(int market, int index, std::uint32_t requester) override {
    calls.push_back({"RequestTicks", {market, index, requester}, {}});
  }
  void RequestTradeDetails(int market, int index, std::uint32_t requester) override {
    calls.push_back({"RequestTradeDetails", {market, index, requester}, {}});
  }
  void RequestRecentTicks(int market, int index, int count, std::uint32_t requester) override {
    calls.push_back({"RequestRecentTicks", {market, index, count, requester}, {}});
  }
  void RequestTrendDay(int market, int index, std::uint32_t day, std::uint32_t requester) override {
    calls.push_back({"RequestTrendDay", {market, index, day, requester}, {}});
  }
  void RequestWeights(int market, int index, std::uint32_t requester) override {
    calls.push_back({"RequestWeights", {market, index, requester}, {}});
  }
  void RequestBrokerQueue(int market, int index) override {
    calls.push_back({"RequestBrokerQueue", {market, index}, {}});
  }
  void RequestNews(bool older, int category) override {
    calls.push_back({"RequestNews", {older ? 1 : 0, category}, {}});
  }
  void RequestNewsText(const NewsRecord&) override { calls.push_back({"RequestNewsText", {}, {}}); }
  bool RequestInfoMineIndex(int market, int index, int n, std::uint32_t requester) override {
    calls.push_back({"RequestInfoMineIndex", {market, index, n, requester}, {}});
    return infoMineIndexResult;
  }
  void RequestInfoMineText(int market, int index, int selector, const char* fileName,
                           std::uint32_t offset, std::uint32_t length,
                           std::uint32_t requester) override {
    calls.push_back({"RequestInfoMineText", {market, index, selector, offset, length, requester},
                     fileName != nullptr ? fileName : ""});
  }
  void RequestNotesList(int n) override { calls.push_back({"RequestNotesList", {n}, {}}); }
  void RequestNote(int listNumber, const char* noteFileName, int noteNumber) override {
    calls.push_back({"RequestNote", {listNumber, noteNumber}, noteFileName != nullptr ? noteFileName : ""});
  }
  void RequestNameTable(int market) override { calls.push_back({"RequestNameTable", {market}, {}}); }
};

// What the quote server changes while it runs, shared by the parts that answer and push: the
// fault switches, the news flashes made so far, and the shifted name tables of restart-names.
// Used on the server's thread only.
#pragma once

#include "FaultSwitches.h"
#include "InstallTree.h"
#include "MarketModel.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zuvo::quoteserver {

class ServerState {
 public:
  explicit ServerState(const InstallTree& tree) : tree_(tree) {}

  FaultSwitches faults;

  // ---- News flashes -------------------------------------------------------------------------
  // The flashes made so far, oldest first; they join the news lists and texts.
  const std::vector<model::NewsItem>& flashes() const { return flashes_; }
  // Makes a flash at `now` (GBK title, cut to 79 bytes; empty: a title of its own). Its id lies
  // above every stored item and below the next trading day's: the model leaves ids 9 to 63 of
  // each day's block free. False with *error when the day's free ids are used up.
  bool MakeFlash(const model::MarketModel& model, std::int64_t now, const std::string& title, model::NewsItem* flash,
                 std::string* error);

  // ---- restart-names: one instrument inserted in the middle of every name table ----------------
  // Starts or ends the shifted tables (the server calls this when it comes back from `down`).
  void SetNamesShifted(bool shifted);
  bool namesShifted() const { return shifted_; }
  // The index the inserted instrument takes in a market's served table, or -1 when none.
  int InsertedAt(int market) const;
  // The served name table of a market: the tree's, with the inserted instrument when shifted.
  const std::vector<InstrumentRecord>& Names(int market) const;
  // A client's index to the server's (-1: the inserted instrument, or out of range), and back.
  int ServerIndex(int market, int clientIndex) const;
  int ClientIndex(int market, int serverIndex) const;

 private:
  const InstallTree& tree_;
  std::vector<model::NewsItem> flashes_;
  int flashSerial_ = 0;
  bool shifted_ = false;
  std::vector<std::vector<InstrumentRecord>> shiftedNames_;
};

}  // namespace zuvo::quoteserver

// The answers to the asynchronous requests of the request connection, from the market model
// at the server clock's now: bars, ticks, trade details, the newest trades, a past day's
// trend, ex-rights records, company and information texts, news, notes, advice, quote
// snapshot extras, broker queues, messages and server-side sorts.
//
// Each reply is one message of frames whose bodies start with the reply head (the first bytes
// of the request body) followed by whole records; a request that names nothing the server
// knows (an unknown instrument, list, file name, selector or sort code, a body shorter than
// its layout) is refused with a quiet type-2 reply, so the client's queue moves on. Names a
// client sends (note files, information text files) only select among what the model made.
#pragma once

#include "InstallTree.h"
#include "ReplyWriter.h"
#include "ServerClock.h"
#include "ServerOptions.h"
#include "ServerState.h"

#include <cstdint>
#include <map>
#include <string>
#include <tuple>
#include <vector>

namespace zuvo::model {
class MarketModel;
}

namespace zuvo::quoteserver {

// The wire codes of the requests answered here; each reply carries the same type, except the
// quote snapshot (9), trend day (31), news (15), notes (16), company text (21), weights (18),
// advice (33), information index and text (40, 41) and sort (101) as tabled in the source.
class RequestAnswers {
 public:
  RequestAnswers(const ServerConfig& config, const InstallTree& tree, const model::MarketModel& model,
                 ServerClock clock, ServerState* state);

  // Answers one request frame into *writer. False (nothing written) when the type is not an
  // asynchronous request; a known type whose body cannot be answered gets the quiet type-2
  // reply and true, with the reason in *note.
  bool Answer(std::uint8_t type, const std::uint8_t* body, std::size_t length, ReplyWriter* writer,
              std::string* note);

 private:
  struct Request;
  void Bars(const Request& request, ReplyWriter* writer, std::string* note) const;
  void CompanyText(const Request& request, ReplyWriter* writer, std::string* note) const;
  void News(const Request& request, ReplyWriter* writer, std::string* note) const;
  void TradeDetails(const Request& request, ReplyWriter* writer, std::string* note) const;
  void RecentTrades(const Request& request, ReplyWriter* writer, std::string* note) const;
  void Weights(const Request& request, ReplyWriter* writer, std::string* note) const;
  void Ticks(const Request& request, ReplyWriter* writer, std::string* note) const;
  void BrokerQueue(const Request& request, ReplyWriter* writer, std::string* note) const;
  void Message(const Request& request, ReplyWriter* writer, std::string* note) const;
  void Notes(const Request& request, ReplyWriter* writer, std::string* note) const;
  void QuoteExtras(const Request& request, ReplyWriter* writer, std::string* note) const;
  void Advice(const Request& request, ReplyWriter* writer, std::string* note) const;
  void TrendDay(const Request& request, ReplyWriter* writer, std::string* note) const;
  void InfoIndex(const Request& request, ReplyWriter* writer, std::string* note) const;
  void InfoText(const Request& request, ReplyWriter* writer, std::string* note) const;
  void Sort(const Request& request, ReplyWriter* writer, std::string* note) const;
  // The instrument named by a market byte and an 8-byte code field; -1 with *note set when the
  // market or the code is unknown.
  int Instrument(int market, const std::uint8_t* code, std::string* note) const;
  // The instrument's bar history of a file kind at now. Kept until the last completed trading
  // day moves on: the history changes only then, and long bar replies then cost a copy.
  const std::vector<ChartBar>& HistoryBars(int market, int index, int fileKind, std::int64_t now) const;

  struct History {
    PackedTime lastDay = 0;
    std::vector<ChartBar> bars;
  };

  const ServerConfig& config_;
  const InstallTree& tree_;
  const model::MarketModel& model_;
  ServerClock clock_;
  ServerState* state_;
  // By (market, index, file kind); used on the server's thread only.
  mutable std::map<std::tuple<int, int, int>, History> histories_;
};

// Quote column of a server sort code (the inverse of the client's column-to-code table), or -1.
int SortColumnOfCode(int code);

}  // namespace zuvo::quoteserver

// HEADER READY
//
// The deterministic sample market: every price, trade, bar, quote, news item, note and text the
// local quote server answers and the sample install tree holds comes from here, so the files
// the generator writes for a day equal the server's answers for that day byte for byte.
//
// Model rules (the contract both programs rely on):
// - Everything is a pure function of (seed, market number, instrument code, date) and of the
//   chain of earlier trading days; nothing depends on when the program runs. "now" arguments
//   only cut what has happened yet.
// - The market opens at the model epoch, Monday 2015-01-05: no trading day lies before it.
//   Trading days are Monday to Friday from the epoch on (no holidays), up to 2199-12-31.
// - All times are market time (UTC plus the market's `hourOffset`). "now" is UTC, in seconds
//   since 1970-01-01 (UnixFromPacked / PackedFromUnix convert).
// - The trading day D of a category runs from `dayChangeMinute` + 2 of calendar day D to the
//   same minute of D + 1; a session minute before `dayChangeMinute` + 2 falls on D + 1.
// - Each trading day is one path of trades over the category's trading minutes: 1 to 3 trades
//   a minute plus the opening trade at the first open, a mean-reverting walk from the
//   previous close held within +-10% of it, volumes in whole lots (multiples of the
//   instrument's `volumeDivisor`). Futures-like markets (kinds 2 and 7) carry open interest
//   and a settlement price (the day's volume-weighted average). Ticks, minute records, trend
//   minutes, bars and the quote are all aggregates of these paths.
// - Stock instruments (markets of kind 1 and 6, categories with depth) have one ex-rights event
//   a year; on its day the walk starts from the ex-rights reference price, so the day bars
//   show the gap.
//
// Threads: one MarketModel may be used from any number of threads (its caches are guarded; a
// quote position kept between calls is used by one thread at a time, another meanwhile computes
// from scratch); separate instances share nothing.
#pragma once

#include "core/PackedTime.h"
#include "data/CacheRecords.h"
#include "data/Records.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace zuvo::model {

// The first trading day of the model: Monday 2015-01-05. Day bars start here.
constexpr PackedTime kModelEpoch = MakePackedTime(2015, 1, 5);
// The last date the model trades on.
constexpr PackedTime kModelEnd = MakePackedTime(2199, 12, 31);

// The moment the sample install tree is written for: Saturday 2024-06-29 00:00 UTC (08:00 in
// the sample markets' time), after every category's Friday 2024-06-28 has closed and before
// the next trading day begins. tools/sample-market writes the model's answers for this now.
constexpr std::int64_t kSampleNow = 1719619200;
// The seed of the sample install tree and of the server's default.
constexpr std::uint32_t kSampleSeed = 1;

// History kept to the last completed trading day (days of the intraday bar files).
constexpr int kHourBarDays = 250;
constexpr int kFiveMinuteBarDays = 60;
constexpr int kOneMinuteBarDays = 10;

constexpr int kNewsDays = 30;          // trading days of news held
constexpr int kNewsPerDay = 8;         // items per trading day
constexpr int kNewsCategories = 6;     // categories 1..6
constexpr int kNotesLists = 5;         // lists 0..4
constexpr int kNotesPerList = 30;
constexpr int kInfoKinds = 3;          // information index files 1..3

// Unix seconds <-> PackedTime (seconds dropped / zero). Invalid words give -1.
std::int64_t UnixFromPacked(PackedTime time);
PackedTime PackedFromUnix(std::int64_t seconds);

#pragma pack(push, 1)

// An ex-rights record (.wgt and the type-18 reply), 36 bytes.
struct WeightRecord {
  std::uint32_t date;             // PackedTime of the ex-rights day, time bits 0
  std::uint32_t bonusShares;      // per 10 shares, x 10000
  std::uint32_t rightsShares;     // per 10 shares, x 10000
  std::uint32_t rightsPrice;      // raw price units
  std::uint32_t cashDividend;     // per 10 shares, raw price units
  std::uint32_t conversionShares; // per 10 shares, x 10000
  std::uint32_t totalShares;      // after the event, 10 000 shares
  std::uint32_t tradableShares;   // after the event, 10 000 shares
  std::uint32_t reserved;
};
static_assert(sizeof(WeightRecord) == 36);

// One news list entry as the type-15 reply carries it, 90 bytes.
struct NewsEntry {
  std::uint8_t subKind;           // 0 (a list entry)
  std::uint8_t category;          // 1..6
  std::uint32_t id;
  std::uint32_t stamp;            // low 20 bits YYMMDD as a decimal number, high 12 bits HHMM
  char title[80];                 // GBK, NUL-terminated
};
static_assert(sizeof(NewsEntry) == 90);

// One notes list entry as the type-16 reply carries it, 108 bytes.
struct NoteEntry {
  std::uint8_t header;            // list number in bits 0-4, 0 in bits 5-7
  std::uint8_t flags;             // 0
  std::uint16_t number;           // 1..30 within its list
  std::uint16_t reserved;
  char title[80];                 // GBK, NUL-terminated
  std::uint32_t stamp;            // as NewsEntry::stamp
  char fileName[16];              // plain 8.3 name, NUL-terminated, e.g. "N1240628.TXT"
  std::uint8_t spare[2];
};
static_assert(sizeof(NoteEntry) == 108);

// One information index record (.idx, the type-40 reply), 256 bytes.
struct InfoMineRecord {
  std::uint8_t reserved0[3];
  std::uint32_t date;             // decimal YYYYMMDD
  std::uint32_t time;             // decimal HHMMSS
  char title[64];                 // GBK, NUL-terminated; never empty here
  char key[80];                   // the text file's name, NUL-terminated (kind-36 `text`)
  std::int32_t offset;            // byte offset of the section in the text
  std::uint32_t length;           // bytes of the section
  std::uint8_t reserved1[93];
};
static_assert(sizeof(InfoMineRecord) == 256);

// One advice record (.adv, the type-33 reply), 108 bytes; keyed by its first word.
struct AdviceRecord {
  PackedTime time;                // the key: market time of the advice, ascending
  std::uint8_t action;            // 0 buy, 1 sell, 2 hold
  std::uint8_t strength;          // 1..5
  std::uint16_t reserved;
  std::uint32_t price;            // stored price the advice refers to
  std::uint32_t target;           // stored price
  std::uint32_t stop;             // stored price
  char text[88];                  // GBK, NUL-terminated
};
static_assert(sizeof(AdviceRecord) == 108);

// One entry of the type-9 reply (quote snapshot extras), 28 bytes.
struct QuoteExtraEntry {
  std::uint8_t market;
  std::uint16_t index;
  std::uint8_t side;              // 0 long-side values apply, else short-side
  std::uint32_t balancePrice;
  std::uint32_t longStop;
  std::uint32_t longTarget;
  std::uint32_t shortStop;
  std::uint32_t shortCover;
  float refVolume;                // 5-day average volume; previous open interest in kinds 2, 7
};
static_assert(sizeof(QuoteExtraEntry) == 28);

#pragma pack(pop)

// One market as loaded: its description and its name table (codes and names trimmed of
// trailing blanks, `index` = position, `market` = number).
struct ModelMarket {
  MarketRecord record{};
  std::vector<InstrumentRecord> instruments;
  std::vector<InstrumentExtRecord> altCodes;   // market number 3 only (same length), else empty
};

// A news item: the list entry and its text (GBK).
struct NewsItem {
  NewsEntry entry{};
  std::string text;
};

// A note: the list entry and its text (GBK).
struct Note {
  NoteEntry entry{};
  std::string text;
};

// An information index file and the text its records point into.
struct InfoIndex {
  std::vector<InfoMineRecord> records;   // oldest first
  std::string textName;                  // the key every record carries
  std::string text;                      // GBK; sections are [offset, offset + length)
};

// Today's trade details as the type-10 reply and the .TRD file carry them.
struct TradeDetails {
  TradeDetailsHeader header{};
  std::vector<TodayMinuteRecord> minutes;   // from minute index 0
};

// One broker of the broker list (cfg/Brokerlist.dbf): the first seat number of its range and
// its GBK name (at most 20 bytes). A seat n belongs to the last broker whose first seat <= n.
struct Broker {
  std::uint16_t firstSeat;
  std::string name;
};

class MarketModel {
 public:
  // Builds the model over markets given in memory (tests, the generator). Market numbers are
  // the positions; instrument `index` and `market` fields are set here.
  MarketModel(std::vector<ModelMarket> markets, std::uint32_t seed);
  ~MarketModel();
  MarketModel(const MarketModel&) = delete;
  MarketModel& operator=(const MarketModel&) = delete;

  // Loads root/cfg/mkinfo.cfg and root/data/<code>/nametbl.<ext> (and nametble.<ext> for market
  // number 3) of an install tree. Null with a one-line reason in *error when a file is missing,
  // not a whole number of records, or names an impossible market (no categories, a category
  // out of range in the name table).
  static std::unique_ptr<MarketModel> Load(const std::filesystem::path& root, std::uint32_t seed,
                                           std::string* error);

  std::uint32_t seed() const;

  // Computes every instrument's chain of day summaries up to now's trading day, so that the
  // first answers (day bars from the epoch, quotes) are as quick as later ones. Optional:
  // everything is computed on demand otherwise; the answers are the same either way.
  void Prepare(std::int64_t now) const;

  // ---- Markets and instruments ------------------------------------------------------------
  int MarketCount() const;
  // Null when market is out of range.
  const ModelMarket* Market(int market) const;
  int InstrumentCount(int market) const;   // 0 for an unknown market
  // Null when market or index is out of range.
  const InstrumentRecord* Instrument(int market, int index) const;
  // The index of code in market (compared as the name table holds it, trailing blanks and case
  // ignored); -1 when not listed. Code need not be terminated beyond maxLength bytes.
  int FindInstrument(int market, const char* code, std::size_t maxLength = 12) const;
  // The members of the automatic per-category block (market, category) in name-table order.
  std::vector<int> CategoryMembers(int market, int category) const;

  // ---- Calendar and clock -------------------------------------------------------------------
  // True for Monday..Friday dates from kModelEpoch to kModelEnd (time bits ignored).
  static bool IsTradingDay(PackedTime date);
  // The trading day before / after date (date need not trade); 0 when there is none.
  static PackedTime PrevTradingDay(PackedTime date);
  static PackedTime NextTradingDay(PackedTime date);
  // The market's time for a UTC moment, as a PackedTime and the second within its minute.
  PackedTime MarketTime(int market, std::int64_t now, int* second = nullptr) const;
  // The calendar date of the trading-day window holding now (may be a weekend: no trading).
  PackedTime TradingDayAt(int market, int category, std::int64_t now) const;
  // The trading day the market shows at now: TradingDayAt when it trades, else the trading day
  // before it. 0 before the epoch.
  PackedTime CurrentTradingDay(int market, int category, std::int64_t now) const;
  // The newest trading day whose last session has closed by now; 0 when none.
  PackedTime LastCompletedTradingDay(int market, int category, std::int64_t now) const;
  // The category's trading minutes as minutes of day, in trading order (index = minute index).
  std::vector<int> TradingMinutes(int market, int category) const;
  // The stored moment of trading minute index i of trading day `day`: its date (the next
  // calendar day for minutes before the day change) and its clock minute.
  PackedTime MinuteStamp(int market, int category, PackedTime day, int minuteIndex) const;

  // ---- A trading day of one instrument (empty vectors for an unknown instrument or a day that
  // does not trade) -------------------------------------------------------------------------
  // Every trade of the day, oldest first, stamped in market time (.tik).
  std::vector<TradeRecord> DayTrades(int market, int index, PackedTime day) const;
  // The trades of CurrentTradingDay up to now (the whole day once it has closed).
  std::vector<TradeRecord> TodayTrades(int market, int index, std::int64_t now) const;
  // The .TRD contents of CurrentTradingDay at now: the header (buyer- and seller-initiated
  // volume so far, refPrice = previous close, refAmount = open interest before the first
  // trade in kinds 2 and 7, else 0) and one record per minute index from 0 to the minute in
  // progress (all minutesPerDay once closed; none before the first trade).
  TradeDetails TodayDetails(int market, int index, std::int64_t now) const;
  // The day's minutesPerDay + 1 trend minutes: slot 0 the opening trade, slot i the close,
  // volume and amount (open interest in kinds other than 1 and 6) of minute index i - 1.
  std::vector<TrendDayMinute> TrendDay(int market, int index, PackedTime day) const;
  // The quote at now: CurrentTradingDay's trades up to now. Before the first trade: prevClose
  // (previous settlement in kinds 2 and 7) with open, high, low, last 0. Five depth levels one
  // price step apart around the last price (none in `noDepth` categories); `settlement` in
  // kinds 2 and 7 once the day's last trade has happened; `updateTime` the last trade's hour,
  // minute and second.
  // `fastChange` 0. A zero record for an unknown instrument.
  // Each instrument keeps where its quote stood at the last call, so that calls for moments a
  // little apart (the server's push steps) cost a few steps rather than the day's arithmetic
  // and a search of its trades; the answer is the same.
  QuoteRecord Quote(int market, int index, std::int64_t now) const;
  // The same quote worked out from scratch each time: the reference Quote is tested against.
  QuoteRecord QuoteUncached(int market, int index, std::int64_t now) const;
  // The previous close that CurrentTradingDay's walk starts from (after any ex-rights gap).
  std::uint32_t PrevClose(int market, int index, PackedTime day) const;

  // ---- History ------------------------------------------------------------------------------
  // Bars of a file kind (kBarFileDay, kBarFile60Min, kBarFile5Min, kBarFile1Min) over the
  // trading days in [firstDay, lastDay] (dates, time bits ignored), strictly ascending. Day
  // bars carry time bits 0; intraday bars are stamped with the minute their period ends
  // (chunks of 1, 5 or 60 trading minutes counted from the day's first minute, the last chunk
  // shorter). Settlement only in day bars of kinds 2 and 7. Empty for another kind.
  std::vector<ChartBar> Bars(int market, int index, int fileKind, PackedTime firstDay,
                             PackedTime lastDay) const;
  // The bar history as of now: to LastCompletedTradingDay, day bars from the epoch, 60-minute
  // bars for kHourBarDays trading days, 5-minute for kFiveMinuteBarDays, 1-minute for
  // kOneMinuteBarDays.
  std::vector<ChartBar> HistoryBars(int market, int index, int fileKind, std::int64_t now) const;
  // The first day of that history (kModelEpoch for day bars), 0 when there is none.
  PackedTime HistoryFirstDay(int market, int index, int fileKind, std::int64_t now) const;
  // The ex-rights events up to and including `through`, oldest first (stocks only).
  std::vector<WeightRecord> Weights(int market, int index, PackedTime through) const;
  // Snapshot extras at now for the type-9 reply (market and index filled in): side, balance
  // price, stops and targets around the quote, refVolume the 5-day average day volume (the
  // previous day's closing open interest in kinds 2 and 7).
  QuoteExtraEntry QuoteExtra(int market, int index, std::int64_t now) const;

  // ---- Market 3's broker queues -------------------------------------------------------------
  // The brokers of cfg/Brokerlist.dbf, ascending first seats.
  static const std::vector<Broker>& Brokers();
  // The broker queue at now for markets of kind 6 (depth categories): per side, a level
  // separator (isLevel 1, number = level 1..5) followed by the seats queueing at that level,
  // at most 40 entries a side. Counts 0 elsewhere.
  BrokerQueueRecord BrokerQueue(int market, int index, std::int64_t now) const;

  // ---- Texts ---------------------------------------------------------------------------------
  // The news of the kNewsDays trading days up to now's date (market 0's time), kNewsPerDay a
  // day, categories 1..6, ascending ids; only items stamped at or before now. Ids of trading
  // day d are NewsIdBase(d) + 1 .. + kNewsPerDay; NewsIdBase(d) + 9 .. + 63 are never used by
  // the model (free for flashes of that day), so every later day's ids are higher.
  std::vector<NewsItem> News(std::int64_t now) const;
  static std::uint32_t NewsIdBase(PackedTime day);
  // The company summary text (the kind-8 reply).
  std::string CompanySummary(int market, int index) const;
  // Information index n (1..3) as of now: n = 1 the company sections (undated), n = 2 a dated
  // item each month from the epoch, n = 3 a timed item each week from the epoch; oldest first,
  // offsets stable as the index grows. Empty for another n or an unknown instrument.
  InfoIndex Info(int market, int index, int kind, std::int64_t now) const;
  // Notes list 0..4 as of now: kNotesPerList notes, one per trading day up to now, oldest
  // first, plain 8.3 file names. Empty for another list.
  std::vector<Note> Notes(int list, std::int64_t now) const;
  // Advice of an instrument as of now: one to two records per trading day of the last
  // kNewsDays trading days, keys ascending.
  std::vector<AdviceRecord> Advice(int market, int index, std::int64_t now) const;
  // The system message (kind 22) and the real-time message (kind 23) at now, GBK.
  std::string SystemMessage(std::int64_t now) const;
  std::string RealtimeMessage(std::int64_t now, std::uint32_t value1) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace zuvo::model

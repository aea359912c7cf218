#include "MarketModel.h"

#include "data/DbfTable.h"
#include "support/TempInstall.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

using testsupport::ReadBytes;
using testsupport::TempInstall;
using testsupport::WriteBytes;
using zuvo::model::MarketModel;
using zuvo::model::ModelMarket;

namespace {

// ---- A small market built by code ---------------------------------------------------------------

CategoryRecord Category(const char* name, bool noDepth, std::initializer_list<std::pair<int, int>> sessions,
                        int dayChange) {
  CategoryRecord category{};
  category.noDepth = noDepth ? 1 : 0;
  std::strncpy(category.name, name, sizeof category.name - 1);
  for (const auto& [open, close] : sessions) {
    category.openMinute[category.sessionCount] = static_cast<std::uint16_t>(open);
    category.closeMinute[category.sessionCount] = static_cast<std::uint16_t>(close);
    ++category.sessionCount;
  }
  category.dayChangeMinute = static_cast<std::uint16_t>(dayChange);
  return category;
}

InstrumentRecord Instrument(const char* code, int category, std::uint32_t priceDivisor, std::uint32_t volumeDivisor) {
  InstrumentRecord record{};
  std::memcpy(record.code, code, std::min(std::strlen(code), sizeof record.code - 1));
  std::memcpy(record.name, code, std::min(std::strlen(code), sizeof record.name - 1));
  record.category = static_cast<std::uint8_t>(category);
  record.priceDivisor = priceDivisor;
  record.volumeDivisor = volumeDivisor;
  return record;
}

ModelMarket Market(const char* code, int kind, std::vector<CategoryRecord> categories,
                   std::vector<InstrumentRecord> instruments) {
  ModelMarket market;
  market.record.kind = static_cast<std::uint8_t>(kind);
  std::strncpy(market.record.code, code, sizeof market.record.code - 1);
  std::strncpy(market.record.fileExt, "tst", sizeof market.record.fileExt - 1);
  market.record.hourOffset = 8;
  market.record.capacity = 64;
  market.record.categoryCount = static_cast<std::uint16_t>(categories.size());
  for (std::size_t c = 0; c < categories.size(); ++c) market.record.categories[c] = categories[c];
  market.instruments = std::move(instruments);
  return market;
}

constexpr int H(int hour, int minute = 0) { return hour * 60 + minute; }

// Market 0: stocks (an index and two shares); 1: futures with an evening session; 2: kind 6 with
// broker queues.
std::vector<ModelMarket> TestMarkets() {
  const auto stockSessions = {std::pair{H(9, 30), H(11, 30)}, std::pair{H(13), H(15)}};
  return {
      Market("STK", 1, {Category("IDX", true, stockSessions, H(9)), Category("SHR", false, stockSessions, H(9))},
             {Instrument("IDX1", 0, 100, 100), Instrument("S001", 1, 100, 100), Instrument("S002", 1, 100, 100)}),
      Market("FUT", 2,
             {Category("NGT", false, {{H(9), H(10, 15)}, {H(10, 30), H(11, 30)}, {H(13, 30), H(15)}, {H(21), H(23)}},
                       H(8, 50))},
             {Instrument("F001", 0, 1, 1), Instrument("F002", 0, 10, 1)}),
      Market("HKM", 6,
             {Category("IDX", true, {{H(9, 30), H(12)}, {H(13), H(16)}}, H(9)),
              Category("MAIN", false, {{H(9, 30), H(12)}, {H(13), H(16)}}, H(9))},
             {Instrument("HIDX", 0, 100, 1), Instrument("H001", 1, 1000, 500)}),
  };
}

// UTC seconds of a moment given in the markets' time (UTC+8).
std::int64_t At(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
  return zuvo::model::UnixFromPacked(MakePackedTime(year, month, day, hour, minute)) - 8 * 3600 + second;
}

template <typename Record>
std::string Bytes(const std::vector<Record>& records) {
  return std::string(reinterpret_cast<const char*>(records.data()), records.size() * sizeof(Record));
}
template <typename Record>
std::string Bytes(const Record& record) {
  return std::string(reinterpret_cast<const char*>(&record), sizeof record);
}

std::string Describe(PackedTime t) {
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d", PackedYear(t), PackedMonth(t), PackedDay(t), PackedHour(t),
                PackedMinute(t));
  return text;
}

// Every answer of one instrument on one day, as bytes, for comparing two models.
std::string Everything(const MarketModel& model, int market, int index, PackedTime day, std::int64_t now) {
  std::string all = Bytes(model.DayTrades(market, index, day)) + Bytes(model.TrendDay(market, index, day)) +
                    Bytes(model.Quote(market, index, now)) + Bytes(model.TodayDetails(market, index, now).minutes) +
                    Bytes(model.TodayDetails(market, index, now).header) + Bytes(model.Weights(market, index, day)) +
                    Bytes(model.QuoteExtra(market, index, now)) + Bytes(model.BrokerQueue(market, index, now)) +
                    Bytes(model.Advice(market, index, now)) + model.CompanySummary(market, index);
  for (int kind : {kBarFileDay, kBarFile60Min, kBarFile5Min, kBarFile1Min}) all += Bytes(model.HistoryBars(market, index, kind, now));
  for (int kind = 1; kind <= 3; ++kind) {
    const auto info = model.Info(market, index, kind, now);
    all += Bytes(info.records) + info.text;
  }
  return all;
}

TEST(MarketModelTest, OneSeedGivesTheSameBytesTwice) {
  const std::int64_t now = At(2024, 6, 27, 10, 17, 30);
  const PackedTime day = MakePackedTime(2024, 6, 27);
  MarketModel first(TestMarkets(), 7);
  MarketModel second(TestMarkets(), 7);
  MarketModel other(TestMarkets(), 8);
  for (int market = 0; market < first.MarketCount(); ++market) {
    for (int index = 0; index < first.InstrumentCount(market); ++index) {
      SCOPED_TRACE(first.Instrument(market, index)->code);
      const std::string bytes = Everything(first, market, index, day, now);
      EXPECT_EQ(bytes, Everything(second, market, index, day, now));
      EXPECT_NE(Bytes(first.DayTrades(market, index, day)), Bytes(other.DayTrades(market, index, day)));
    }
  }
  std::string news, otherNews;
  for (const auto& item : first.News(now)) news += Bytes(item.entry) + item.text;
  for (const auto& item : second.News(now)) otherNews += Bytes(item.entry) + item.text;
  EXPECT_EQ(news, otherNews);
  for (int list = 0; list < zuvo::model::kNotesLists; ++list) {
    const auto a = first.Notes(list, now);
    const auto b = second.Notes(list, now);
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t i = 0; i < a.size(); ++i) EXPECT_EQ(Bytes(a[i].entry) + a[i].text, Bytes(b[i].entry) + b[i].text);
  }
}

TEST(MarketModelTest, ADaysDataDoesNotDependOnNowOrOnTheOrderOfQuestions) {
  const PackedTime early = MakePackedTime(2016, 5, 5);
  const PackedTime late = MakePackedTime(2024, 6, 27);
  for (int market = 0; market < 3; ++market) {
    for (int index = 0; index < 2; ++index) {
      MarketModel forward(TestMarkets(), 3);
      MarketModel backward(TestMarkets(), 3);
      SCOPED_TRACE(forward.Instrument(market, index)->code);
      const auto earlyFirst = forward.DayTrades(market, index, early);
      const auto lateSecond = forward.DayTrades(market, index, late);
      const auto lateFirst = backward.DayTrades(market, index, late);
      EXPECT_EQ(Bytes(earlyFirst), Bytes(backward.DayTrades(market, index, early)));
      EXPECT_EQ(Bytes(lateSecond), Bytes(lateFirst));

      // The history as of a later moment extends the history as of an earlier one.
      const auto before = forward.HistoryBars(market, index, kBarFileDay, At(2020, 3, 3, 20));
      const auto after = backward.HistoryBars(market, index, kBarFileDay, At(2024, 6, 29, 8));
      ASSERT_LT(before.size(), after.size());
      EXPECT_EQ(Bytes(before), Bytes(std::vector<ChartBar>(after.begin(), after.begin() + static_cast<std::ptrdiff_t>(before.size()))));
      const auto hourBefore = forward.HistoryBars(market, index, kBarFile60Min, At(2024, 6, 20, 20));
      const auto hourAfter = backward.HistoryBars(market, index, kBarFile60Min, At(2024, 6, 29, 8));
      const auto common = std::find_if(hourBefore.begin(), hourBefore.end(),
                                       [&](const ChartBar& bar) { return bar.time == hourAfter.front().time; });
      ASSERT_NE(common, hourBefore.end());
      const std::size_t overlap = static_cast<std::size_t>(hourBefore.end() - common);
      EXPECT_EQ(Bytes(std::vector<ChartBar>(common, hourBefore.end())),
                Bytes(std::vector<ChartBar>(hourAfter.begin(), hourAfter.begin() + static_cast<std::ptrdiff_t>(overlap))));

      // Today's trades at any moment are the start of the whole day's trades.
      const auto whole = forward.DayTrades(market, index, late);
      const auto sofar = backward.TodayTrades(market, index, At(2024, 6, 27, 10, 40, 20));
      ASSERT_FALSE(sofar.empty());
      ASSERT_LT(sofar.size(), whole.size());
      EXPECT_EQ(Bytes(sofar), Bytes(std::vector<TradeRecord>(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(sofar.size()))));
    }
  }
}

// The trading minutes of a day as stamps.
std::set<PackedTime> MinuteStamps(const MarketModel& model, int market, int category, PackedTime day) {
  std::set<PackedTime> stamps;
  const int minutes = static_cast<int>(model.TradingMinutes(market, category).size());
  for (int i = 0; i < minutes; ++i) stamps.insert(model.MinuteStamp(market, category, day, i));
  return stamps;
}

TEST(MarketModelTest, PathsStayInTheirLimitsHoursAndLotsAndEveryAggregateAgrees) {
  MarketModel model(TestMarkets(), 11);
  const std::vector<PackedTime> days = {MakePackedTime(2015, 1, 5), MakePackedTime(2019, 11, 29), MakePackedTime(2024, 6, 28)};
  for (int market = 0; market < model.MarketCount(); ++market) {
    const bool futures = model.Market(market)->record.kind == 2;
    for (int index = 0; index < model.InstrumentCount(market); ++index) {
      const InstrumentRecord& record = *model.Instrument(market, index);
      const bool noDepth = model.Market(market)->record.categories[record.category].noDepth != 0;
      const std::size_t minutesPerDay = model.TradingMinutes(market, record.category).size();
      for (PackedTime day : days) {
        SCOPED_TRACE(std::string(record.code) + " " + Describe(day));
        const auto trades = model.DayTrades(market, index, day);
        ASSERT_GE(trades.size(), minutesPerDay);
        const std::uint32_t base = model.PrevClose(market, index, day);
        const std::set<PackedTime> stamps = MinuteStamps(model, market, record.category, day);
        double volume = 0;
        std::uint32_t high = 0, low = 0xFFFFFFFF;
        for (std::size_t i = 0; i < trades.size(); ++i) {
          const TradeRecord& trade = trades[i];
          EXPECT_GE(trade.price, static_cast<std::uint32_t>(std::ceil(base * 0.9)));
          EXPECT_LE(trade.price, std::max(base + 1, static_cast<std::uint32_t>(std::floor(base * 1.1))));
          EXPECT_GT(trade.volume, 0.0f);
          EXPECT_EQ(std::fmod(trade.volume, static_cast<float>(record.volumeDivisor)), 0.0f) << trade.volume;
          EXPECT_TRUE(stamps.count(trade.time)) << Describe(trade.time);
          if (i > 0) {
            EXPECT_GE(trade.time, trades[i - 1].time);
          }
          EXPECT_EQ(trade.openInterest > 0, futures);
          volume += trade.volume;
          high = std::max(high, trade.price);
          low = std::min(low, trade.price);
        }

        const auto dayBars = model.Bars(market, index, kBarFileDay, day, day);
        ASSERT_EQ(dayBars.size(), 1u);
        const ChartBar& bar = dayBars[0];
        EXPECT_EQ(bar.time, day);
        EXPECT_EQ(bar.open, trades.front().price);
        EXPECT_EQ(bar.close, trades.back().price);
        EXPECT_EQ(bar.high, high);
        EXPECT_EQ(bar.low, low);
        EXPECT_NEAR(bar.volume, volume, volume * 1e-6);
        if (futures) {
          EXPECT_EQ(bar.amount, trades.back().openInterest);
          EXPECT_GE(bar.settlement, low);
          EXPECT_LE(bar.settlement, high);
        } else {
          EXPECT_EQ(bar.settlement, 0u);
          EXPECT_GT(bar.amount, 0.0f);
        }

        const auto trend = model.TrendDay(market, index, day);
        ASSERT_EQ(trend.size(), minutesPerDay + 1);
        EXPECT_EQ(trend[0].price, trades.front().price);
        EXPECT_EQ(trend.back().price, trades.back().price);
        double trendVolume = 0;
        for (const TrendDayMinute& minute : trend) trendVolume += minute.volume;
        EXPECT_NEAR(trendVolume, volume, volume * 1e-6);

        for (int kind : {kBarFile60Min, kBarFile5Min, kBarFile1Min}) {
          const auto bars = model.Bars(market, index, kind, day, day);
          const std::size_t period = static_cast<std::size_t>(BarFileMinutes(kind));
          ASSERT_EQ(bars.size(), (minutesPerDay + period - 1) / period) << kind;
          double barVolume = 0;
          for (std::size_t i = 0; i < bars.size(); ++i) {
            if (i > 0) {
              EXPECT_GT(bars[i].time, bars[i - 1].time);
            }
            EXPECT_LE(bars[i].low, bars[i].open);
            EXPECT_GE(bars[i].high, bars[i].close);
            barVolume += bars[i].volume;
          }
          EXPECT_EQ(bars.front().open, bar.open);
          EXPECT_EQ(bars.back().close, bar.close);
          EXPECT_NEAR(barVolume, volume, volume * 1e-6);
        }

        // The next calendar day at 08:00 market time (midnight UTC): the day has closed and the
        // next has not begun.
        const QuoteRecord quote = model.Quote(market, index, zuvo::model::UnixFromPacked(DayAfter(day)));
        EXPECT_EQ(quote.last, bar.close);
        EXPECT_EQ(quote.high, bar.high);
        EXPECT_EQ(quote.bids[0].price, noDepth ? 0u : bar.close - 1);
        EXPECT_EQ(quote.asks[4].price, noDepth ? 0u : bar.close + 5);
        EXPECT_EQ(quote.settlement, futures ? bar.settlement : 0u);
        const PackedTime previousDay = MarketModel::PrevTradingDay(day);
        if (futures && previousDay != 0) {
          EXPECT_EQ(quote.prevClose, model.Bars(market, index, kBarFileDay, previousDay, previousDay).at(0).settlement);
        } else if (!futures) {
          EXPECT_EQ(quote.prevClose, base);
        }
      }
    }
  }
}

TEST(MarketModelTest, StocksHaveAYearlyExRightsEventWithItsPriceGap) {
  MarketModel model(TestMarkets(), 5);
  const PackedTime through = MakePackedTime(2023, 12, 31);
  for (int index : {1, 2}) {
    SCOPED_TRACE(index);
    const auto events = model.Weights(0, index, through);
    ASSERT_EQ(events.size(), 9u);   // one in each of 2015 .. 2023
    for (std::size_t i = 0; i < events.size(); ++i) {
      const auto& event = events[i];
      EXPECT_EQ(PackedYear(event.date), 2015 + static_cast<int>(i));
      EXPECT_TRUE(MarketModel::IsTradingDay(event.date));
      EXPECT_EQ(PackedDate(event.date), event.date);
      EXPECT_GT(event.cashDividend, 0u);
      EXPECT_GT(event.totalShares, 0u);
      const PackedTime before = MarketModel::PrevTradingDay(event.date);
      const ChartBar previous = model.Bars(0, index, kBarFileDay, before, before).at(0);
      const std::uint32_t start = model.PrevClose(0, index, event.date);
      // The day starts from the ex-rights price, below the previous close by the handed-out value.
      EXPECT_LT(start, previous.close);
      const double ratio = (10.0 + (event.bonusShares + event.conversionShares + event.rightsShares) / 10000.0) / 10.0;
      EXPECT_NEAR(start, (previous.close * 10.0 - event.cashDividend + event.rightsPrice * event.rightsShares / 10000.0) / 10.0 / ratio, 1.0);
      EXPECT_EQ(model.PrevClose(0, index, before), model.Bars(0, index, kBarFileDay, MarketModel::PrevTradingDay(before),
                                                              MarketModel::PrevTradingDay(before)).at(0).close);
      const ChartBar gapDay = model.Bars(0, index, kBarFileDay, event.date, event.date).at(0);
      EXPECT_LE(gapDay.high, static_cast<std::uint32_t>(std::floor(start * 1.1)));
    }
    // Records up to a date stop there; none before the first event.
    EXPECT_EQ(model.Weights(0, index, events[3].date).size(), 4u);
    EXPECT_EQ(model.Weights(0, index, MarketModel::PrevTradingDay(events[0].date)).size(), 0u);
  }
  EXPECT_TRUE(model.Weights(0, 0, through).empty());   // the index
  EXPECT_TRUE(model.Weights(1, 0, through).empty());   // futures
}

TEST(MarketModelTest, CalendarAndClock) {
  MarketModel model(TestMarkets(), 1);
  const PackedTime thursday = MakePackedTime(2024, 6, 27);
  const PackedTime friday = MakePackedTime(2024, 6, 28);
  const PackedTime monday = MakePackedTime(2024, 7, 1);
  struct Case {
    const char* what;
    int market;
    std::int64_t now;
    PackedTime tradingDayAt, current, lastCompleted;
  };
  const Case cases[] = {
      {"stocks before the day change", 0, At(2024, 6, 28, 9, 1), thursday, thursday, thursday},
      {"stocks at the day change + 2", 0, At(2024, 6, 28, 9, 2), friday, friday, thursday},
      {"stocks in the last minute", 0, At(2024, 6, 28, 14, 59, 59), friday, friday, thursday},
      {"stocks after the close", 0, At(2024, 6, 28, 15, 0), friday, friday, friday},
      {"saturday", 0, At(2024, 6, 29, 12, 0), MakePackedTime(2024, 6, 29), friday, friday},
      {"monday before the change", 0, At(2024, 7, 1, 8, 0), MakePackedTime(2024, 6, 30), friday, friday},
      {"futures after the day close, before the evening", 1, At(2024, 6, 28, 16, 0), friday, friday, thursday},
      {"futures after the evening session", 1, At(2024, 6, 28, 23, 0), friday, friday, friday},
      {"futures monday 08:52", 1, At(2024, 7, 1, 8, 52), monday, monday, friday},
      {"before the epoch", 0, At(2015, 1, 2, 12), MakePackedTime(2015, 1, 2), 0, 0},
      {"the epoch's first minute", 0, At(2015, 1, 5, 9, 30), zuvo::model::kModelEpoch, zuvo::model::kModelEpoch, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(model.TradingDayAt(c.market, 0, c.now), c.tradingDayAt);
    EXPECT_EQ(model.CurrentTradingDay(c.market, 0, c.now), c.current);
    EXPECT_EQ(model.LastCompletedTradingDay(c.market, 0, c.now), c.lastCompleted);
  }
  EXPECT_EQ(MarketModel::PrevTradingDay(monday), friday);
  EXPECT_EQ(MarketModel::NextTradingDay(friday), monday);
  EXPECT_EQ(MarketModel::PrevTradingDay(zuvo::model::kModelEpoch), 0u);
  EXPECT_EQ(MarketModel::NextTradingDay(MakePackedTime(2010, 1, 1)), zuvo::model::kModelEpoch);
  EXPECT_FALSE(MarketModel::IsTradingDay(MakePackedTime(2024, 13, 1)));
  EXPECT_FALSE(MarketModel::IsTradingDay(0));
  EXPECT_EQ(zuvo::model::PackedFromUnix(zuvo::model::kSampleNow), MakePackedTime(2024, 6, 29));
  EXPECT_EQ(zuvo::model::UnixFromPacked(MakePackedTime(2024, 2, 30)), -1);
}

TEST(MarketModelTest, TheQuoteAndTodaysDetailsFollowTheTradesUpToNow) {
  MarketModel model(TestMarkets(), 2);
  const PackedTime day = MakePackedTime(2024, 6, 27);
  const auto trades = model.DayTrades(0, 1, day);
  const std::uint32_t base = model.PrevClose(0, 1, day);

  // Before the first trade: the previous close alone.
  const QuoteRecord waiting = model.Quote(0, 1, At(2024, 6, 27, 9, 29));
  EXPECT_EQ(waiting.prevClose, base);
  EXPECT_EQ(waiting.last, 0u);
  EXPECT_EQ(waiting.volume, 0.0f);
  EXPECT_EQ(waiting.bids[0].price, 0u);
  EXPECT_TRUE(model.TodayTrades(0, 1, At(2024, 6, 27, 9, 29)).empty());
  EXPECT_TRUE(model.TodayDetails(0, 1, At(2024, 6, 27, 9, 29)).minutes.empty());
  EXPECT_EQ(model.TodayDetails(0, 1, At(2024, 6, 27, 9, 29)).header.refPrice, base);

  // In the lunch break: everything of the morning, minute records through 11:29.
  const std::int64_t lunch = At(2024, 6, 27, 12, 0);
  const auto morning = model.TodayTrades(0, 1, lunch);
  ASSERT_FALSE(morning.empty());
  EXPECT_EQ(PackedHour(morning.back().time) * 60 + PackedMinute(morning.back().time), H(11, 29));
  const QuoteRecord quote = model.Quote(0, 1, lunch);
  EXPECT_EQ(quote.last, morning.back().price);
  EXPECT_EQ(quote.lastVolume, morning.back().volume);
  EXPECT_EQ(quote.updateTime >> 6, static_cast<std::uint32_t>((11 << 6) | 29));
  double volume = 0, buy = 0, sell = 0;
  for (const TradeRecord& trade : morning) {
    volume += trade.volume;
    if (trade.direction == kTradeBuy) buy += trade.volume;
    if (trade.direction == kTradeSell) sell += trade.volume;
  }
  EXPECT_NEAR(quote.volume, volume, volume * 1e-6);
  const auto details = model.TodayDetails(0, 1, lunch);
  ASSERT_EQ(details.minutes.size(), 120u);
  EXPECT_EQ(details.minutes.back().price, quote.last);
  EXPECT_NEAR(details.minutes.back().cumVolume, volume, volume * 1e-6);
  EXPECT_NEAR(details.header.buyVolume, buy, buy * 1e-6 + 1);
  EXPECT_NEAR(details.header.sellVolume, sell, sell * 1e-6 + 1);
  for (std::size_t i = 1; i < details.minutes.size(); ++i) {
    EXPECT_GE(details.minutes[i].cumVolume, details.minutes[i - 1].cumVolume);
    EXPECT_LE(details.minutes[i].low, details.minutes[i].price);
    EXPECT_GE(details.minutes[i].high, details.minutes[i].price);
  }

  // Within one minute: a trade at second s has happened from second s on.
  const auto atTen = model.TodayTrades(0, 1, At(2024, 6, 27, 10, 0, 0));
  const auto atTenLater = model.TodayTrades(0, 1, At(2024, 6, 27, 10, 0, 59));
  EXPECT_LT(atTen.size(), atTenLater.size());
  EXPECT_EQ(model.TodayDetails(0, 1, At(2024, 6, 27, 10, 0, 0)).minutes.size(), 31u);

  // Closed: every minute, the whole day.
  EXPECT_EQ(model.TodayDetails(0, 1, At(2024, 6, 27, 20, 0)).minutes.size(), 240u);
  EXPECT_EQ(model.TodayTrades(0, 1, At(2024, 6, 27, 20, 0)).size(), trades.size());

  // Futures before the first trade keep the open interest and quote the previous settlement.
  const QuoteRecord futures = model.Quote(1, 0, At(2024, 6, 27, 8, 55));
  const ChartBar thursdayBefore = model.Bars(1, 0, kBarFileDay, MakePackedTime(2024, 6, 26), MakePackedTime(2024, 6, 26)).at(0);
  EXPECT_EQ(futures.prevClose, thursdayBefore.settlement);
  EXPECT_EQ(futures.amount, thursdayBefore.amount);
  EXPECT_EQ(model.TodayDetails(1, 0, At(2024, 6, 27, 8, 55)).header.refAmount, thursdayBefore.amount);
}

TEST(MarketModelTest, HistoryRunsToTheLastCompletedDayWithItsDepths) {
  MarketModel model(TestMarkets(), 4);
  const std::int64_t now = At(2024, 6, 28, 14, 0);   // Friday, trading: Thursday is the last complete day
  struct Case {
    int kind;
    int days;
  };
  for (const Case& c : {Case{kBarFileDay, 0}, Case{kBarFile60Min, 250}, Case{kBarFile5Min, 60}, Case{kBarFile1Min, 10}}) {
    SCOPED_TRACE(c.kind);
    const auto bars = model.HistoryBars(0, 1, c.kind, now);
    ASSERT_FALSE(bars.empty());
    for (std::size_t i = 1; i < bars.size(); ++i) ASSERT_GT(bars[i].time, bars[i - 1].time) << i;
    EXPECT_EQ(PackedDate(bars.back().time), MakePackedTime(2024, 6, 27));
    if (c.kind == kBarFileDay) {
      EXPECT_EQ(bars.front().time, zuvo::model::kModelEpoch);
      for (const ChartBar& bar : bars) ASSERT_EQ(bar.time & 0x7FFu, 0u);
    } else {
      std::set<PackedTime> dates;
      for (const ChartBar& bar : bars) dates.insert(PackedDate(bar.time));
      EXPECT_EQ(dates.size(), static_cast<std::size_t>(c.days));
      EXPECT_EQ(*dates.begin(), model.HistoryFirstDay(0, 1, c.kind, now));
    }
  }
  EXPECT_TRUE(model.HistoryBars(0, 1, 5, now).empty());
  EXPECT_TRUE(model.HistoryBars(0, 1, kBarFileDay, At(2015, 1, 5, 12)).empty());
}

TEST(MarketModelTest, NewsNotesInformationAndAdviceAreOrderedAndComplete) {
  MarketModel model(TestMarkets(), 6);
  const std::int64_t weekend = At(2024, 6, 29, 12);
  const auto news = model.News(weekend);
  ASSERT_EQ(news.size(), static_cast<std::size_t>(zuvo::model::kNewsDays * zuvo::model::kNewsPerDay));
  std::set<int> categories;
  for (std::size_t i = 0; i < news.size(); ++i) {
    if (i > 0) {
      EXPECT_GT(+news[i].entry.id, +news[i - 1].entry.id);
    }
    categories.insert(+news[i].entry.category);
    EXPECT_NE(std::memchr(news[i].entry.title, 0, sizeof news[i].entry.title), nullptr);
    EXPECT_GT(std::strlen(news[i].entry.title), 0u);
    EXPECT_FALSE(news[i].text.empty());
  }
  EXPECT_EQ(categories, (std::set<int>{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(+news.back().entry.stamp & 0xFFFFFu, 240628u);
  EXPECT_EQ(+news.back().entry.id, MarketModel::NewsIdBase(MakePackedTime(2024, 6, 28)) + 8);
  // During a day only what was stamped by now; the day before is whole; ids stay the same.
  const auto morning = model.News(At(2024, 6, 28, 10, 0));
  ASSERT_EQ(morning.size(), news.size() - 8 + 2);   // 08:00 and 09:05 have appeared
  EXPECT_EQ(+morning[morning.size() - 3].entry.id, MarketModel::NewsIdBase(MakePackedTime(2024, 6, 27)) + 8);
  EXPECT_EQ(Bytes(morning.back().entry), Bytes(news[news.size() - 8 + 1].entry));

  for (int list = 0; list < zuvo::model::kNotesLists; ++list) {
    SCOPED_TRACE(list);
    const auto notes = model.Notes(list, weekend);
    ASSERT_EQ(notes.size(), static_cast<std::size_t>(zuvo::model::kNotesPerList));
    std::set<std::string> names;
    for (const auto& note : notes) {
      const std::string name(note.entry.fileName, strnlen(note.entry.fileName, sizeof note.entry.fileName));
      ASSERT_LT(name.size(), sizeof note.entry.fileName);
      const std::size_t dot = name.find('.');
      EXPECT_TRUE(dot != std::string::npos && dot <= 8 && name.size() - dot - 1 <= 3) << name;
      EXPECT_EQ(name.find_first_of("/\\:"), std::string::npos);
      names.insert(name);
      EXPECT_FALSE(note.text.empty());
    }
    EXPECT_EQ(names.size(), notes.size());
  }
  EXPECT_TRUE(model.Notes(5, weekend).empty());
  EXPECT_TRUE(model.Notes(-1, weekend).empty());

  for (int kind = 1; kind <= 3; ++kind) {
    SCOPED_TRACE(kind);
    const auto earlier = model.Info(0, 1, kind, At(2023, 3, 1, 12));
    const auto info = model.Info(0, 1, kind, weekend);
    ASSERT_FALSE(info.records.empty());
    for (std::size_t i = 0; i < info.records.size(); ++i) {
      const auto& record = info.records[i];
      EXPECT_NE(record.title[0], '\0');
      EXPECT_EQ(std::string(record.key), info.textName);
      ASSERT_GE(+record.offset, 0);
      EXPECT_LE(static_cast<std::size_t>(record.offset) + record.length, info.text.size());
      if (i > 0 && kind > 1) {
        EXPECT_GT(+record.date * 1000000ull + record.time, +info.records[i - 1].date * 1000000ull + info.records[i - 1].time);
      }
    }
    // An index only grows: earlier records and their text stay where they were.
    ASSERT_LE(earlier.records.size(), info.records.size());
    EXPECT_EQ(Bytes(earlier.records), Bytes(std::vector<zuvo::model::InfoMineRecord>(
                                          info.records.begin(), info.records.begin() + static_cast<std::ptrdiff_t>(earlier.records.size()))));
    EXPECT_EQ(info.text.compare(0, earlier.text.size(), earlier.text), 0);
  }
  EXPECT_TRUE(model.Info(0, 1, 4, weekend).records.empty());
  EXPECT_TRUE(model.Info(0, 1, 0, weekend).records.empty());

  const auto advice = model.Advice(0, 1, weekend);
  ASSERT_GE(advice.size(), static_cast<std::size_t>(zuvo::model::kNewsDays));
  for (std::size_t i = 1; i < advice.size(); ++i) EXPECT_GT(+advice[i].time, +advice[i - 1].time);
  EXPECT_LE(+advice.back().time, MakePackedTime(2024, 6, 28, 15, 0));
}

TEST(MarketModelTest, BrokerQueuesOnlyInKindSixWithSeatsOfKnownBrokers) {
  MarketModel model(TestMarkets(), 9);
  const std::int64_t now = At(2024, 6, 27, 10, 30);
  const auto& brokers = MarketModel::Brokers();
  const BrokerQueueRecord queue = model.BrokerQueue(2, 1, now);
  ASSERT_GT(+queue.buyCount, 0);
  ASSERT_LE(+queue.buyCount, 40);
  ASSERT_LE(+queue.sellCount, 40);
  EXPECT_EQ(+queue.buy[0].isLevel, 1);
  EXPECT_EQ(+queue.buy[0].number, 1);
  for (int i = 0; i < queue.buyCount; ++i) {
    if (queue.buy[i].isLevel) continue;
    EXPECT_GE(+queue.buy[i].number, brokers.front().firstSeat);
    EXPECT_LT(+queue.buy[i].number, brokers.back().firstSeat);
  }
  for (const auto& [market, index] : {std::pair{2, 0}, std::pair{0, 1}, std::pair{1, 0}, std::pair{2, 9}}) {
    const BrokerQueueRecord none = model.BrokerQueue(market, index, now);
    EXPECT_EQ(none.buyCount + none.sellCount, 0) << market << "/" << index;
  }
}

TEST(MarketModelTest, UnknownInstrumentsAndImpossibleDatesGiveNothing) {
  MarketModel model(TestMarkets(), 1);
  const PackedTime day = MakePackedTime(2024, 6, 27);
  const std::int64_t now = At(2024, 6, 27, 12);
  struct Case {
    int market, index;
    PackedTime day;
  };
  for (const Case& c : {Case{0, 3, day}, Case{-1, 0, day}, Case{3, 0, day}, Case{0, 1, MakePackedTime(2024, 13, 2)},
                        Case{0, 1, MakePackedTime(2024, 6, 29)}, Case{0, 1, 0}, Case{0, 1, MakePackedTime(2014, 6, 2)}}) {
    SCOPED_TRACE(std::to_string(c.market) + "/" + std::to_string(c.index) + " " + Describe(c.day));
    EXPECT_TRUE(model.DayTrades(c.market, c.index, c.day).empty());
    EXPECT_TRUE(model.TrendDay(c.market, c.index, c.day).empty());
    EXPECT_TRUE(model.Bars(c.market, c.index, kBarFile5Min, c.day, c.day).empty());
    EXPECT_TRUE(model.Bars(c.market, c.index, kBarFileDay, c.day, c.day).empty());
  }
  EXPECT_EQ(Bytes(model.Quote(0, 3, now)), Bytes(QuoteRecord{}));
  EXPECT_TRUE(model.Bars(0, 1, kBarFileDay, day, MakePackedTime(2024, 6, 1)).empty());   // reversed range
  EXPECT_EQ(model.FindInstrument(0, "s001"), 1);
  EXPECT_EQ(model.FindInstrument(0, "S001  "), 1);
  EXPECT_EQ(model.FindInstrument(0, "S00"), -1);
  EXPECT_EQ(model.FindInstrument(0, "S0012345678", 4), 1);   // only maxLength bytes are read
  EXPECT_EQ(model.FindInstrument(7, "S001"), -1);
  EXPECT_EQ(model.CategoryMembers(0, 1), (std::vector<int>{1, 2}));
}

// ---- The sample install tree ---------------------------------------------------------------------

std::string SampleMarketTool() {
  if (const char* tools = std::getenv("ZUVO_TOOLS_DIR"); tools != nullptr && tools[0] != '\0') {
    return std::string(tools) + "/sample-market/sample-market";
  }
  return (std::filesystem::canonical("/proc/self/exe").parent_path().parent_path() / "tools" / "sample-market" / "sample-market").string();
}

class SampleInstallTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string command = "\"";
    command.append(SampleMarketTool()).append("\" \"").append(install.root().string()).append("\"");
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    std::string error;
    model = MarketModel::Load(install.root(), zuvo::model::kSampleSeed, &error);
    ASSERT_NE(model, nullptr) << error;
  }

  TempInstall install;
  std::unique_ptr<MarketModel> model;
};

TEST_F(SampleInstallTest, InstalledFilesEqualTheModelsAnswersForTheirDays) {
  const std::int64_t now = zuvo::model::kSampleNow;
  ASSERT_EQ(model->MarketCount(), 4);
  for (int market = 0; market < model->MarketCount(); ++market) {
    const auto& description = *model->Market(market);
    const std::filesystem::path folder = install.data() / description.record.code;
    std::vector<QuoteRecord> quotes;
    for (int index = 0; index < model->InstrumentCount(market); ++index) {
      const InstrumentRecord& record = *model->Instrument(market, index);
      const std::string code = record.code;
      SCOPED_TRACE(code);
      quotes.push_back(model->Quote(market, index, now));
      const PackedTime last = model->LastCompletedTradingDay(market, record.category, now);
      EXPECT_EQ(last, MakePackedTime(2024, 6, 28));
      EXPECT_EQ(ReadBytes(folder / "day" / (code + ".day")), Bytes(model->HistoryBars(market, index, kBarFileDay, now)));
      EXPECT_EQ(ReadBytes(folder / "hour" / (code + ".hr")), Bytes(model->HistoryBars(market, index, kBarFile60Min, now)));
      EXPECT_EQ(ReadBytes(folder / "min" / (code + ".min")), Bytes(model->HistoryBars(market, index, kBarFile5Min, now)));
      EXPECT_EQ(ReadBytes(folder / "min1" / (code + ".m1")), Bytes(model->HistoryBars(market, index, kBarFile1Min, now)));
      EXPECT_EQ(ReadBytes(folder / "tick" / (code + ".tik")), Bytes(model->DayTrades(market, index, last)));
      EXPECT_EQ(ReadBytes(folder / "tick" / (code + ".tik")), Bytes(model->TodayTrades(market, index, now)));
      const auto weights = model->Weights(market, index, last);
      EXPECT_EQ(ReadBytes(folder / "weight" / (code + ".wgt")), Bytes(weights));

      // The trend history: its slot count, then the newest days, each the model's trend day.
      const std::string trend = ReadBytes(folder / "trend" / (code + ".trn"));
      std::uint32_t slots = 0;
      ASSERT_GE(trend.size(), 4u);
      std::memcpy(&slots, trend.data(), 4);
      EXPECT_EQ(slots, model->TradingMinutes(market, record.category).size() + 1);
      const std::size_t block = 4 + 12 * static_cast<std::size_t>(slots);
      ASSERT_EQ((trend.size() - 4) % block, 0u);
      PackedTime day = last;
      for (std::size_t at = trend.size() - block; at >= 4; at -= block) {
        PackedTime stored = 0;
        std::memcpy(&stored, trend.data() + at, 4);
        EXPECT_EQ(stored, day);
        EXPECT_EQ(trend.substr(at + 4, block - 4), Bytes(model->TrendDay(market, index, day)));
        day = MarketModel::PrevTradingDay(day);
        if (at < block) break;
      }
    }
    EXPECT_EQ(ReadBytes(folder / (std::string("real.") + description.record.fileExt)), Bytes(quotes));
  }
}

TEST_F(SampleInstallTest, RankingCategoriesAndTheBrokerListAreInstalled) {
  // Markets 0 and 1 carry categories 0..5, with members in the ranking categories 1, 2 and 5.
  for (int market : {0, 1}) {
    SCOPED_TRACE(market);
    EXPECT_EQ(+model->Market(market)->record.categoryCount, 6);
    for (int category : {1, 2, 5}) EXPECT_FALSE(model->CategoryMembers(market, category).empty()) << category;
  }
  // Market 3 has alternative codes and its kind gives broker queues.
  EXPECT_EQ(model->Market(3)->altCodes.size(), static_cast<std::size_t>(model->InstrumentCount(3)));
  EXPECT_GT(+model->BrokerQueue(3, 1, zuvo::model::kSampleNow).buyCount, 0);

  TDbfTable table("..\\cfg\\Brokerlist.dbf");
  ASSERT_TRUE(table.Open(false));
  const auto& brokers = MarketModel::Brokers();
  ASSERT_EQ(table.recordCount, static_cast<int>(brokers.size()));
  for (std::size_t i = 0; i < brokers.size(); ++i) {
    ASSERT_TRUE(table.GoTo(static_cast<int>(i)));
    EXPECT_EQ(std::atoi(table.GetFieldByName("IDS")), brokers[i].firstSeat);
    std::string name = table.GetFieldByName("BROKERNAME");
    name.erase(name.find_last_not_of(' ') + 1);
    EXPECT_EQ(name, brokers[i].name);
  }
  // A seat inside a broker's range finds that broker.
  EXPECT_EQ(table.FindInterval("IDS", brokers[2].firstSeat + 37), 2);
}

// ---- The quote position kept between calls --------------------------------------------------------

// TestMarkets plus market 3, whose calendar is out of the ordinary: a session after midnight
// listed before the day's (its trades are not in time order), a day change past midnight, a
// category without trading minutes, and a clock five hours behind UTC.
std::vector<ModelMarket> QuoteCursorMarkets() {
  std::vector<ModelMarket> markets = TestMarkets();
  markets.push_back(Market("ODD", 2,
                           {Category("MID", false, {{H(0), H(1)}, {H(9), H(11, 30)}, {H(21), H(24)}}, H(8, 50)),
                            Category("LATE", false, {{H(9), H(15)}}, 1500), Category("NONE", false, {}, H(9))},
                           {Instrument("M001", 0, 10, 1), Instrument("L001", 1, 1, 1), Instrument("N001", 2, 1, 1)}));
  markets.back().record.hourOffset = -5;
  return markets;
}

// Walks the instruments through a list of moments, each moment for every instrument in turn,
// and compares Quote with QuoteUncached; stops after a few differences.
void ExpectQuotesAsFromScratch(const MarketModel& model, const std::vector<std::pair<int, int>>& instruments,
                               const std::vector<std::int64_t>& moments, const char* walk) {
  SCOPED_TRACE(walk);
  int differences = 0;
  for (const std::int64_t now : moments) {
    for (const auto& [market, index] : instruments) {
      const QuoteRecord kept = model.Quote(market, index, now);
      if (Bytes(kept) == Bytes(model.QuoteUncached(market, index, now))) continue;
      ADD_FAILURE() << model.Instrument(market, index)->code << " at " << Describe(zuvo::model::PackedFromUnix(now))
                    << " UTC + " << ((now % 60) + 60) % 60 << " s (" << now << ")";
      if (++differences == 5) return;
    }
  }
}

TEST(MarketModelQuoteTest, KeptPositionsGiveTheQuotesComputedFromScratch) {
  MarketModel model(QuoteCursorMarkets(), 5);
  std::vector<std::pair<int, int>> instruments;
  for (int market = 0; market < model.MarketCount(); ++market) {
    for (int index = 0; index < model.InstrumentCount(market); ++index) instruments.emplace_back(market, index);
  }
  std::uint64_t state = 12345;
  auto below = [&state](std::int64_t n) {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<std::int64_t>((state >> 33) % static_cast<std::uint64_t>(n));
  };

  // Wednesday to the Tuesday after (a weekend between), forward and backward in uneven steps
  // from a second to several minutes: sessions, breaks, day changes and the weekend.
  const std::int64_t first = At(2024, 6, 26, 0, 0, 7);
  const std::int64_t last = At(2024, 7, 2, 23, 59);
  std::vector<std::int64_t> forward;
  for (std::int64_t now = first; now < last; now += 1 + below(400)) forward.push_back(now);
  ExpectQuotesAsFromScratch(model, instruments, forward, "forward");
  ExpectQuotesAsFromScratch(model, instruments, std::vector<std::int64_t>(forward.rbegin(), forward.rend()), "backward");

  // Second by second over an opening, a lunch break and a day change of each market's clock.
  std::vector<std::int64_t> dense;
  for (const std::int64_t start : {At(2024, 6, 27, 9, 28), At(2024, 6, 27, 11, 29), At(2024, 6, 27, 8, 49),
                                   At(2024, 6, 27, 13, 59), At(2024, 6, 28, 20, 59), At(2024, 6, 28, 23, 59)}) {
    for (std::int64_t now = start; now < start + 180; ++now) dense.push_back(now);
  }
  ExpectQuotesAsFromScratch(model, instruments, dense, "second by second");

  // Jumps: back and forth within a day, and between days years apart, around the model's
  // first day and before it.
  std::vector<std::int64_t> jumps;
  for (int i = 0; i < 600; ++i) {
    switch (i % 3) {
      case 0: jumps.push_back(At(2024, 6, 27) + below(86400)); break;
      case 1: jumps.push_back(At(2015, 1, 1) + below(9 * 86400)); break;
      default: jumps.push_back(At(2015, 1, 1) + below(At(2024, 7, 3) - At(2015, 1, 1))); break;
    }
  }
  ExpectQuotesAsFromScratch(model, instruments, jumps, "jumps");

  // A repeated moment answers the same quote each time.
  const std::int64_t now = At(2024, 6, 27, 10, 5, 30);
  EXPECT_EQ(Bytes(model.Quote(1, 0, now)), Bytes(model.Quote(1, 0, now)));
  EXPECT_EQ(Bytes(model.Quote(1, 0, now)), Bytes(model.QuoteUncached(1, 0, now)));
}

// More instruments than the model keeps positions for, so that instruments share them, and
// threads asking for the same instruments at once: every answer as computed from scratch.
TEST(MarketModelQuoteTest, SharedAndContendedPositionsGiveTheSameQuotes) {
  std::vector<InstrumentRecord> many;
  for (int i = 0; i < 1100; ++i) {
    char code[8];
    std::snprintf(code, sizeof code, "S%d", 1000 + i);
    many.push_back(Instrument(code, 1, 100, 100));
  }
  std::vector<ModelMarket> markets = TestMarkets();
  markets[0].instruments = many;
  MarketModel model(std::move(markets), 9);
  MarketModel reference(TestMarkets(), 9);
  std::vector<std::pair<int, int>> all;
  for (int index = 0; index < model.InstrumentCount(0); ++index) all.emplace_back(0, index);
  // Near the first day, so that each instrument's history is short.
  std::vector<std::int64_t> moments;
  for (std::int64_t now = At(2015, 1, 6, 9, 25); now < At(2015, 1, 6, 15, 5); now += 1177) moments.push_back(now);
  moments.push_back(At(2015, 1, 7, 10, 0));
  moments.push_back(At(2015, 1, 6, 10, 0));
  ExpectQuotesAsFromScratch(model, all, moments, "many instruments");

  // Four threads over the same instruments and moments, each from its own start.
  std::vector<std::pair<int, int>> few;
  for (int market = 0; market < reference.MarketCount(); ++market) {
    for (int index = 0; index < reference.InstrumentCount(market); ++index) few.emplace_back(market, index);
  }
  std::vector<std::int64_t> steps;
  for (std::int64_t now = At(2024, 6, 27, 9, 0); now < At(2024, 6, 28, 0, 0); now += 53) steps.push_back(now);
  std::vector<std::string> expected;
  for (const std::int64_t now : steps) {
    for (const auto& [market, index] : few) expected.push_back(Bytes(reference.QuoteUncached(market, index, now)));
  }
  std::atomic<int> differences{0};
  std::vector<std::thread> threads;
  for (std::size_t t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (std::size_t k = 0; k < steps.size(); ++k) {
        const std::size_t s = (k + t * steps.size() / 4) % steps.size();
        for (std::size_t i = 0; i < few.size(); ++i) {
          const QuoteRecord quote = reference.Quote(few[i].first, few[i].second, steps[s]);
          if (Bytes(quote) != expected[s * few.size() + i]) differences.fetch_add(1);
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(differences.load(), 0);
}

TEST(MarketModelLoadTest, RefusesIncompleteInstallTrees) {
  TempInstall install;
  std::string error;
  EXPECT_EQ(MarketModel::Load(install.root(), 1, &error), nullptr);
  EXPECT_NE(error.find("mkinfo.cfg"), std::string::npos) << error;

  std::vector<ModelMarket> markets = TestMarkets();
  std::string config;
  for (const auto& market : markets) config += Bytes(market.record);
  WriteBytes(install.cfg() / "mkinfo.cfg", config + "x");
  error.clear();
  EXPECT_EQ(MarketModel::Load(install.root(), 1, &error), nullptr);
  EXPECT_NE(error.find("whole"), std::string::npos) << error;

  WriteBytes(install.cfg() / "mkinfo.cfg", config);
  for (const auto& market : markets) {
    WriteBytes(install.data() / market.record.code / "nametbl.tst", Bytes(market.instruments));
  }
  error.clear();
  auto model = MarketModel::Load(install.root(), 1, &error);
  ASSERT_NE(model, nullptr) << error;
  EXPECT_EQ(model->InstrumentCount(1), 2);
  MarketModel direct(TestMarkets(), 1);
  EXPECT_EQ(Bytes(model->DayTrades(1, 1, MakePackedTime(2024, 6, 27))), Bytes(direct.DayTrades(1, 1, MakePackedTime(2024, 6, 27))));

  // A name table naming a category its market lacks, or cut inside a record.
  std::vector<InstrumentRecord> bad = markets[0].instruments;
  bad[1].category = 2;
  WriteBytes(install.data() / "STK" / "nametbl.tst", Bytes(bad));
  EXPECT_EQ(MarketModel::Load(install.root(), 1, &error), nullptr);
  EXPECT_NE(error.find("category"), std::string::npos) << error;
  WriteBytes(install.data() / "STK" / "nametbl.tst", Bytes(markets[0].instruments).substr(0, 40));
  EXPECT_EQ(MarketModel::Load(install.root(), 1, &error), nullptr);

  // A folder name that would leave the data folder.
  markets[0].record.code[0] = '.';
  markets[0].record.code[1] = '.';
  config.clear();
  for (const auto& market : markets) config += Bytes(market.record);
  WriteBytes(install.cfg() / "mkinfo.cfg", config);
  EXPECT_EQ(MarketModel::Load(install.root(), 1, &error), nullptr);
}

}  // namespace

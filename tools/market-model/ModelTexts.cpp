// The model's texts and lists: brokers, news, company texts, information indexes, notes, advice
// and the two server messages. Like the prices they are functions of the seed, the instrument
// and the date; "now" only decides which items exist yet.
#include "MarketModel.h"

#include "ModelInternal.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>

namespace zuvo::model {

using namespace detail;

namespace {

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
  char buffer[1024];
  va_list args;
  va_start(args, format);
  const int length = std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  if (length < 0) return {};
  return std::string(buffer, static_cast<std::size_t>(std::min<int>(length, sizeof buffer - 1)));
}

// YYMMDD in the low 20 bits and HHMM in the high 12, as news and notes stamp their items.
std::uint32_t ItemStamp(PackedTime time) {
  const std::uint32_t date = static_cast<std::uint32_t>((PackedYear(time) % 100) * 10000 + PackedMonth(time) * 100 + PackedDay(time));
  const std::uint32_t clock = static_cast<std::uint32_t>(PackedHour(time) * 100 + PackedMinute(time));
  return (clock << 20) | date;
}

// The newest `days` trading days up to and including `last`, oldest first.
std::vector<PackedTime> TradingDaysThrough(PackedTime last, int days) {
  std::vector<PackedTime> result;
  if (!MarketModel::IsTradingDay(last)) return result;
  const std::int64_t ordinal = OrdinalOfDay(DayNumberOf(last));
  for (std::int64_t k = std::max<std::int64_t>(0, ordinal - (days - 1)); k <= ordinal; ++k) {
    result.push_back(DateOfDayNumber(DayOfOrdinal(k)));
  }
  return result;
}

// Items of a day whose clock minute is at or before now (every item of an earlier day).
bool HasHappened(PackedTime day, int minuteOfDay, PackedTime localNow) {
  return DateOfDayNumber(DayNumberOf(day), minuteOfDay) <= localNow;
}

constexpr const char* kNewsLabels[kNewsCategories] = {"财经要闻", "公司新闻", "行业动态", "市场评论", "期货资讯", "公告提示"};
constexpr const char* kNotesLabels[kNotesLists] = {"每日提示", "操作策略", "技术分析", "行业研究", "投资日记"};
constexpr const char* kSectionTitles[] = {"公司概况", "经营范围", "股本结构", "主要股东", "财务摘要", "分红送配"};

}  // namespace

const std::vector<Broker>& MarketModel::Brokers() {
  // Seat ranges of 100 numbers each; the last row only ends the ranges.
  static const std::vector<Broker> brokers = {
      {1000, "青松证券"}, {1100, "白鹭证券"}, {1200, "金桥证券"}, {1300, "银杏证券"},
      {1400, "远帆证券"}, {1500, "星河经纪"}, {1600, "晨曦证券"}, {1700, "明湖证券"},
      {1800, "瑞雪经纪"}, {1900, "翠峰证券"}, {2000, "云台证券"}, {2100, "海棠证券"},
      {2200, "其他席位"},
  };
  return brokers;
}

std::uint32_t MarketModel::NewsIdBase(PackedTime day) {
  const PackedTime date = CheckedDate(day);
  if (date == 0) return 0;
  return static_cast<std::uint32_t>((TradingDaysBefore(DayNumberOf(date)) + 1) * 64);
}

std::vector<NewsItem> MarketModel::News(std::int64_t now) const {
  std::vector<NewsItem> items;
  const PackedTime local = MarketTime(0, now);
  if (local == 0) return items;
  const PackedTime today = PackedDate(local);
  const PackedTime last = IsTradingDay(today) ? today : PrevTradingDay(today);
  std::vector<const InstrumentRecord*> all;
  for (const ModelMarket& market : impl_->markets) {
    for (const InstrumentRecord& record : market.instruments) all.push_back(&record);
  }
  for (PackedTime day : TradingDaysThrough(last, kNewsDays)) {
    for (int k = 1; k <= kNewsPerDay; ++k) {
      const int minute = 8 * 60 + (k - 1) * 65;
      if (!HasHappened(day, minute, local)) break;
      const std::int64_t ordinal = OrdinalOfDay(DayNumberOf(day));
      const int category = 1 + static_cast<int>((ordinal + k) % kNewsCategories);
      Rng rng(HashOf({impl_->seed, 0x4E455753u, day, static_cast<std::uint64_t>(k)}));
      const char* name = all.empty() ? "本地市场" : all[rng.Below(static_cast<std::uint32_t>(all.size()))]->name;
      const char* code = all.empty() ? "" : all[rng.Below(static_cast<std::uint32_t>(all.size()))]->code;
      std::string title;
      switch (category) {
        case 1: title = Format("%s：%04d年%02d月%02d日市场综述之%d", kNewsLabels[0], PackedYear(day), PackedMonth(day), PackedDay(day), k); break;
        case 2: title = Format("%s：%s发布经营情况公告", kNewsLabels[1], name); break;
        case 3: title = Format("%s：%s所在行业景气回升", kNewsLabels[2], name); break;
        case 4: title = Format("%s：%s今日成交活跃", kNewsLabels[3], name); break;
        case 5: title = Format("%s：%s持仓变化分析", kNewsLabels[4], name); break;
        default: title = Format("%s：%s召开股东大会", kNewsLabels[5], name); break;
      }
      NewsItem item;
      item.entry.subKind = 0;
      item.entry.category = static_cast<std::uint8_t>(category);
      item.entry.id = NewsIdBase(day) + static_cast<std::uint32_t>(k);
      item.entry.stamp = ItemStamp(DateOfDayNumber(DayNumberOf(day), minute));
      SetText(item.entry.title, title);
      item.text = Format("%s\r\n\r\n%04d年%02d月%02d日 %02d:%02d\r\n\r\n"
                         "本条资讯由本地行情服务器生成，编号%u，相关代码%s。\r\n"
                         "内容仅供测试与演示，不构成任何投资建议。\r\n",
                         title.c_str(), PackedYear(day), PackedMonth(day), PackedDay(day), minute / 60, minute % 60,
                         item.entry.id, code);
      items.push_back(std::move(item));
    }
  }
  return items;
}

std::string MarketModel::CompanySummary(int market, int index) const {
  const InstrumentInfo* info = impl_->Info(market, index);
  if (info == nullptr) return {};
  const ModelMarket& owner = impl_->markets[static_cast<std::size_t>(market)];
  const InstrumentRecord& record = owner.instruments[static_cast<std::size_t>(index)];
  return Format("【公司简介】\r\n证券代码：%s\r\n证券简称：%s\r\n所属市场：%s\r\n所属板块：%s\r\n"
                "总股本：%.0f万股\r\n\r\n本资料由本地行情服务器生成，仅供测试。\r\n",
                record.code, record.name, owner.record.name, owner.record.categories[record.category].name,
                info->totalShares0);
}

InfoIndex MarketModel::Info(int market, int index, int kind, std::int64_t now) const {
  InfoIndex result;
  const InstrumentInfo* info = impl_->Info(market, index);
  if (info == nullptr || kind < 1 || kind > kInfoKinds) return result;
  const InstrumentRecord& record = impl_->markets[static_cast<std::size_t>(market)].instruments[static_cast<std::size_t>(index)];
  result.textName = Format("%s_%d.txt", record.code, kind);
  const PackedTime local = MarketTime(market, now);

  auto add = [&](std::uint32_t date, std::uint32_t time, const std::string& title, const std::string& text) {
    InfoMineRecord item{};
    item.date = date;
    item.time = time;
    SetText(item.title, title);
    SetText(item.key, result.textName);
    item.offset = static_cast<std::int32_t>(result.text.size());
    item.length = static_cast<std::uint32_t>(text.size());
    result.text += text;
    result.records.push_back(item);
  };

  if (kind == 1) {
    for (std::size_t s = 0; s < std::size(kSectionTitles); ++s) {
      add(0, 0, kSectionTitles[s],
          Format("【%s】\r\n%s（%s）%s。\r\n本节内容由本地行情服务器生成，仅供测试。\r\n", kSectionTitles[s], record.name,
                 record.code, s == 2 ? Format("总股本%.0f万股", info->totalShares0).c_str() : "资料完整"));
    }
    return result;
  }
  if (local == 0) return result;
  const std::int64_t todayNumber = DayNumberOf(local);
  if (kind == 2) {
    // One dated item a month from the epoch's month on.
    for (int year = PackedYear(kModelEpoch); year <= PackedYear(local); ++year) {
      for (int month = 1; month <= 12; ++month) {
        const std::uint64_t h = HashOf({info->key, 0x1AF02u, static_cast<std::uint64_t>(year * 100 + month)});
        std::int64_t day = DayNumber(year, month, 1 + static_cast<int>(h % 20));
        while (WeekdayOf(day) == 0 || WeekdayOf(day) == 6) ++day;
        if (day < kEpochDay || day > todayNumber) continue;
        const PackedTime date = DateOfDayNumber(day);
        if (!HasHappened(date, 9 * 60, local)) continue;
        add(static_cast<std::uint32_t>(year * 10000 + month * 100 + PackedDay(date)), 90000,
            Format("%04d年%02d月重要事项", year, month),
            Format("%s（%s）%04d年%02d月%02d日重要事项提示。\r\n本条信息由本地行情服务器生成，仅供测试。\r\n",
                   record.name, record.code, year, month, PackedDay(date)));
      }
    }
    return result;
  }
  // Kind 3: one timed item every week, on its first trading day at 10:30.
  for (std::int64_t k = 0;; k += 5) {
    const std::int64_t day = DayOfOrdinal(k);
    if (day > todayNumber || day > kEndDay) break;
    const PackedTime date = DateOfDayNumber(day);
    if (!HasHappened(date, 10 * 60 + 30, local)) break;
    add(static_cast<std::uint32_t>(PackedYear(date) * 10000 + PackedMonth(date) * 100 + PackedDay(date)), 103000,
        Format("%02d月%02d日盘中提示", PackedMonth(date), PackedDay(date)),
        Format("%s（%s）%04d年%02d月%02d日 10:30 盘中提示。\r\n本条信息由本地行情服务器生成，仅供测试。\r\n",
               record.name, record.code, PackedYear(date), PackedMonth(date), PackedDay(date)));
  }
  return result;
}

std::vector<Note> MarketModel::Notes(int list, std::int64_t now) const {
  std::vector<Note> notes;
  if (list < 0 || list >= kNotesLists) return notes;
  const PackedTime local = MarketTime(0, now);
  if (local == 0) return notes;
  const PackedTime today = PackedDate(local);
  constexpr int kNoteMinute = 7 * 60 + 30;
  PackedTime last = IsTradingDay(today) ? today : PrevTradingDay(today);
  if (last == today && !HasHappened(today, kNoteMinute, local)) last = PrevTradingDay(today);
  if (last == 0) return notes;
  std::uint16_t number = 0;
  for (PackedTime day : TradingDaysThrough(last, kNotesPerList)) {
    Note note;
    note.entry.header = static_cast<std::uint8_t>(list & 0x1F);
    note.entry.number = ++number;
    const std::string title = Format("%s %04d-%02d-%02d", kNotesLabels[list], PackedYear(day), PackedMonth(day), PackedDay(day));
    SetText(note.entry.title, title);
    note.entry.stamp = ItemStamp(DateOfDayNumber(DayNumberOf(day), kNoteMinute));
    SetText(note.entry.fileName, Format("N%d%02d%02d%02d.TXT", list, PackedYear(day) % 100, PackedMonth(day), PackedDay(day)));
    Rng rng(HashOf({impl_->seed, 0x4E4F5445u, day, static_cast<std::uint64_t>(list)}));
    note.text = Format("%s\r\n\r\n今日要点%u条，关注度%u级。\r\n本文由本地行情服务器生成，仅供测试。\r\n", title.c_str(),
                       1 + rng.Below(5), 1 + rng.Below(5));
    notes.push_back(std::move(note));
  }
  return notes;
}

std::vector<AdviceRecord> MarketModel::Advice(int market, int index, std::int64_t now) const {
  std::vector<AdviceRecord> records;
  const InstrumentInfo* info = impl_->Info(market, index);
  if (info == nullptr) return records;
  const CategoryInfo& category = impl_->Category(*info);
  const int minutes = static_cast<int>(category.minutes.size());
  if (minutes == 0) return records;
  const PackedTime current = CurrentTradingDay(market, info->category, now);
  const PackedTime local = MarketTime(market, now);
  const char* name = impl_->markets[static_cast<std::size_t>(market)].instruments[static_cast<std::size_t>(index)].name;
  for (PackedTime day : TradingDaysThrough(current, kNewsDays)) {
    Rng rng(HashOf({impl_->seed, info->key, day, 0xAD71CEu}));
    const bool second = rng.Below(2) == 0;
    for (int slot = 0; slot < (second ? 2 : 1); ++slot) {
      const int minuteIndex = slot == 0 ? minutes / 8 : minutes * 5 / 8;
      const PackedTime stamp = MinuteStamp(market, info->category, day, minuteIndex);
      if (stamp == 0 || stamp > local) break;
      const auto path = impl_->Path(*info, day, false);
      if (path == nullptr || path->size() == 0) break;
      std::size_t t = 0;
      while (t + 1 < path->size() && path->minute[t + 1] <= minuteIndex) ++t;
      AdviceRecord advice{};
      advice.time = stamp;
      advice.action = static_cast<std::uint8_t>(rng.Below(3));
      advice.strength = static_cast<std::uint8_t>(1 + rng.Below(5));
      advice.price = path->trades[t].price;
      const bool selling = advice.action == 1;
      advice.target = static_cast<std::uint32_t>(std::floor(advice.price * (selling ? 0.95 : 1.05) + 0.5));
      advice.stop = static_cast<std::uint32_t>(std::floor(advice.price * (selling ? 1.03 : 0.97) + 0.5));
      static constexpr const char* kActions[] = {"买入", "卖出", "持有"};
      SetText(advice.text, Format("%s信号：%s于%02d:%02d出现%s机会，强度%u级。", kActions[advice.action], name,
                                  PackedHour(stamp), PackedMinute(stamp), kActions[advice.action], advice.strength));
      records.push_back(advice);
    }
  }
  return records;
}

std::string MarketModel::SystemMessage(std::int64_t now) const {
  const PackedTime local = MarketTime(0, now);
  return Format("系统消息：%04d年%02d月%02d日，本地行情服务器运行正常。", PackedYear(local), PackedMonth(local), PackedDay(local));
}

std::string MarketModel::RealtimeMessage(std::int64_t now, std::uint32_t value1) const {
  const PackedTime local = MarketTime(0, now);
  return Format("即时消息（%d）：%04d年%02d月%02d日 %02d:%02d，行情推送正常。", static_cast<std::int32_t>(value1),
                PackedYear(local), PackedMonth(local), PackedDay(local), PackedHour(local), PackedMinute(local));
}

}  // namespace zuvo::model

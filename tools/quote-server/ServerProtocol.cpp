#include "ServerProtocol.h"

#include "PushFeed.h"
#include "RequestAnswers.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace zuvo::quoteserver {
namespace {

constexpr char kBadLoginText[] = "用户名或密码错误。";
constexpr char kBadPasswordText[] = "原密码错误。";
constexpr char kLoginFirstText[] = "请先登录。";
constexpr char kFaultErrorText[] = "服务器按测试开关拒绝了这个请求。";
// The type of the unexpected login answer of login-type5.
constexpr std::uint8_t kUnexpectedLoginType = 5;
constexpr std::size_t kShortLoginBlock = 64;

// Login modes of the wire-3 body's word at 60.
constexpr std::uint32_t kFirstStageMode = 0;
constexpr std::uint32_t kOneStageMode = 2;

std::uint32_t Get32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
void Put32(std::uint8_t* p, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

bool IsLeap(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

bool EqualNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
           return lower(x) == lower(y);
         });
}

std::uint32_t NameHash(const std::string& name) {
  std::uint32_t hash = 2166136261u;
  for (unsigned char c : name) hash = (hash ^ c) * 16777619u;
  return hash;
}

}  // namespace

const char* PortRoleName(PortRole role) {
  switch (role) {
    case PortRole::kMain: return "main";
    case PortRole::kRequest: return "request";
    case PortRole::kPush: return "push";
  }
  return "?";
}

bool FieldText(const std::uint8_t* field, std::size_t size, std::string* text) {
  const void* end = std::memchr(field, 0, size);
  if (end == nullptr) return false;
  text->assign(reinterpret_cast<const char*>(field), static_cast<const std::uint8_t*>(end) - field);
  return true;
}

ServerProtocol::ServerProtocol(const ServerConfig& config, const InstallTree& tree, RequestAnswers* answers,
                               ServerClock clock, ServerState* state, PushFeed* push)
    : config_(config), tree_(tree), answers_(answers), clock_(std::move(clock)), state_(state), push_(push) {
  for (const UserEntry& user : config.users) passwords_[user.name] = user.password;
}

bool ServerProtocol::Admits(const std::uint8_t* nameField, const std::uint8_t* passwordField, std::string* user) const {
  std::string password;
  if (!FieldText(nameField, 16, user) || !FieldText(passwordField, 12, &password)) return false;
  if (config_.users.empty()) return true;
  const auto found = passwords_.find(*user);
  return found != passwords_.end() && found->second == password;
}

void ServerProtocol::BuildLoginBlock(const std::string& user, std::uint8_t* block) const {
  std::memset(block, 0, kLoginBlock);
  // Valid for a year from today; 29 February becomes 28 February in a common year.
  const UtcDateTime today = BreakDownUtc(clock_());
  const int year = today.year + 1;
  const int day = (today.month == 2 && today.day == 29 && !IsLeap(year)) ? 28 : today.day;
  const std::uint16_t expiry =
      static_cast<std::uint16_t>((day & 0x1F) | ((today.month & 0xF) << 5) | (((year - 2000) & 0x7F) << 9));
  block[0] = static_cast<std::uint8_t>(expiry);
  block[1] = static_cast<std::uint8_t>(expiry >> 8);

  // Market rights: bit (market x 16 + category), most significant bit first in each byte.
  std::uint8_t* marketRights = block + 2;
  for (std::size_t m = 0; m < tree_.markets().size(); ++m) {
    for (int c = 0; c < tree_.markets()[m].record.categoryCount; ++c) {
      const bool denied = std::any_of(config_.denied.begin(), config_.denied.end(), [&](const DeniedRight& right) {
        return right.market == static_cast<int>(m) && right.category == c;
      });
      if (denied) continue;
      const std::size_t bit = m * 16 + static_cast<std::size_t>(c);
      marketRights[bit / 8] |= static_cast<std::uint8_t>(0x80 >> (bit % 8));
    }
  }
  // Every information class 1 to 128.
  std::memset(block + 98, 0xFF, 16);
  std::memcpy(block + 114, config_.dataAddress.data(), 4);
  // The ticket: the client only hands it back in the second stage.
  Put32(block + 118, NameHash(user));
  block[122] = 'Z';
  block[123] = 'V';
  Put32(block + 124, config_.seed);
}

bool ServerProtocol::Handle(Session* session, std::uint8_t type, const std::uint8_t* body, std::size_t length,
                            ReplyWriter* writer, ReplyPlan* plan, std::string* note) {
  FaultSwitches& faults = state_->faults;
  if (session->role == PortRole::kPush) {
    if (push_ == nullptr) {
      *note = "push frames are not served";
      return false;
    }
    return push_->Handle(&session->push, type, body, length, writer, note, clock_());
  }
  if (type == wire::kHeartbeat) {
    if (faults.On(Fault::kEchoHeartbeat)) {
      faults.Fired(Fault::kEchoHeartbeat);
      writer->Empty(wire::kHeartbeat);
    }
    return true;
  }
  // The switches that answer a request type their own way.
  if (const int level = faults.ErrorLevel(type); level >= 0) {
    faults.Fired(Fault::kError);
    *note = "error=" + std::to_string(type) + ":" + std::to_string(level);
    writer->Error(static_cast<std::uint8_t>(level), level == 0 ? std::string_view() : kFaultErrorText);
  } else if (faults.SkipKind(type)) {
    faults.Fired(Fault::kSkip);
    *note = "skip=" + std::to_string(type) + ": not answered";
    return true;
  } else {
    const bool keep = session->role == PortRole::kMain ? HandleMain(type, body, length, writer, plan, note)
                                                       : HandleRequest(session, type, body, length, writer, plan, note);
    if (!keep) return false;
  }
  if (writer->frames() == 0) return true;
  if (faults.LateKind(type)) {
    faults.Fired(Fault::kLate);
    plan->hold = true;
  }
  if (faults.stallMs() > 0) {
    faults.Fired(Fault::kStall);
    plan->delayMs = faults.stallMs();
  }
  if (faults.On(Fault::kFinWithData)) {
    faults.Fired(Fault::kFinWithData);
    plan->closeAfter = true;
  }
  return true;
}

bool ServerProtocol::HandleMain(std::uint8_t type, const std::uint8_t* body, std::size_t length, ReplyWriter* writer,
                                ReplyPlan* plan, std::string* note) {
  if (type == wire::kLogin) {
    if (length < kLoginBody) {
      *note = "login body shorter than 64 bytes";
      writer->Error(kQuietLevel);
    } else if (Get32(body + 60) != kFirstStageMode) {
      *note = "one-stage login on the main port";
      writer->Error(kQuietLevel);
    } else {
      return AnswerLogin(body, writer, plan, note);
    }
    return true;
  }
  if (type == wire::kPasswordChange) {
    AnswerPasswordChange(body, length, writer, note);
    return true;
  }
  *note = "unknown type on the main port";
  writer->Error(kQuietLevel);
  return true;
}

bool ServerProtocol::SpoilLogin(ReplyWriter* writer, std::string* note) {
  FaultSwitches& faults = state_->faults;
  if (faults.On(Fault::kLoginRefuse)) {
    faults.Fired(Fault::kLoginRefuse);
    *note = "login-refuse";
    writer->Error(kShownLevel, faults.loginRefuseText());
    return true;
  }
  if (faults.On(Fault::kLoginType5)) {
    faults.Fired(Fault::kLoginType5);
    *note = "login-type5";
    const std::uint8_t body[4] = {};
    writer->Single(kUnexpectedLoginType, body, sizeof body);
    return true;
  }
  return false;
}

bool ServerProtocol::AnswerLogin(const std::uint8_t* body, ReplyWriter* writer, ReplyPlan* plan, std::string* note) {
  FaultSwitches& faults = state_->faults;
  if (faults.Drops(DropPoint::kLogin)) {
    faults.Fired(Fault::kDrop);
    *note = "drop=login: closed before the login reply";
    return false;
  }
  if (SpoilLogin(writer, note)) return true;
  std::string user;
  if (!Admits(body, body + 16, &user)) {
    *note = "login refused";
    writer->Error(kShownLevel, kBadLoginText);
    return true;
  }
  std::uint8_t block[kLoginBlock];
  BuildLoginBlock(user, block);
  std::size_t size = sizeof block;
  if (faults.On(Fault::kShortLogin)) {
    faults.Fired(Fault::kShortLogin);
    size = kShortLoginBlock;
  }
  writer->Single(wire::kLogin, block, size);
  if (faults.Drops(DropPoint::kLoginMid)) {
    faults.Fired(Fault::kDrop);
    plan->cutInside = true;
    plan->cutReason = "drop=login-mid";
  }
  return true;
}

void ServerProtocol::AnswerPasswordChange(const std::uint8_t* body, std::size_t length, ReplyWriter* writer,
                                          std::string* note) {
  if (length < kPasswordBody) {
    *note = "password change body shorter than 40 bytes";
    writer->Error(kQuietLevel);
    return;
  }
  std::string user;
  std::string newPassword;
  if (!Admits(body, body + 16, &user) || !FieldText(body + 28, 12, &newPassword) ||
      newPassword.size() > kMaxPassword) {
    *note = "password change refused";
    writer->Error(kShownLevel, kBadPasswordText);
    return;
  }
  if (!config_.users.empty()) passwords_[user] = newPassword;
  const std::uint8_t done[4] = {};
  writer->Single(wire::kPasswordChange, done, sizeof done);
}

bool ServerProtocol::AnswerDataLogin(Session* session, const std::uint8_t* body, std::size_t length,
                                     ReplyWriter* writer, std::string* note) {
  FaultSwitches& faults = state_->faults;
  std::string user;
  if (length < kDataLoginBody) {
    *note = "data-server login body shorter than 160 bytes";
    writer->Error(kQuietLevel);
  } else if (faults.Drops(DropPoint::kLogin)) {
    faults.Fired(Fault::kDrop);
    *note = "drop=login: closed before the login reply";
    return false;
  } else if (SpoilLogin(writer, note)) {
  } else if (!Admits(body, body + 16, &user)) {
    *note = "login refused";
    writer->Error(kShownLevel, kBadLoginText);
  } else {
    session->loggedIn = true;
    const std::uint8_t accepted[4] = {};
    writer->Single(wire::kDataLogin, accepted, sizeof accepted);
  }
  return true;
}

void ServerProtocol::AnswerVersion(std::size_t length, ReplyWriter* writer, std::string* note) {
  FaultSwitches& faults = state_->faults;
  if (length < 4) {
    *note = "version body shorter than 4 bytes";
    writer->Error(kQuietLevel);
    return;
  }
  std::int32_t offered = config_.version;
  if (faults.On(Fault::kVersion)) {
    faults.Fired(Fault::kVersion);
    offered = faults.version();
  }
  std::uint8_t version[4];
  Put32(version, static_cast<std::uint32_t>(offered));
  std::size_t size = sizeof version;
  if (faults.On(Fault::kShortVersion)) {
    faults.Fired(Fault::kShortVersion);
    size = 2;
  }
  writer->Single(wire::kVersion, version, size);
}

bool ServerProtocol::HandleRequest(Session* session, std::uint8_t type, const std::uint8_t* body, std::size_t length,
                                   ReplyWriter* writer, ReplyPlan* plan, std::string* note) {
  FaultSwitches& faults = state_->faults;
  if (type == wire::kDataLogin) return AnswerDataLogin(session, body, length, writer, note);
  if (type == wire::kLogin && length >= kLoginBody && Get32(body + 60) == kOneStageMode) {
    std::string user;
    const bool admitted = Admits(body, body + 16, &user);
    if (!AnswerLogin(body, writer, plan, note)) return false;
    if (admitted && !writer->frameTypes().empty() && writer->frameTypes()[0] == wire::kLogin) session->loggedIn = true;
    return true;
  }
  if (!session->loggedIn) {
    *note = "request before the login";
    writer->Error(kShownLevel, kLoginFirstText);
    return false;
  }
  auto cutIf = [&](DropPoint point, const char* reason) {
    if (writer->frames() > 0 && faults.Drops(point)) {
      faults.Fired(Fault::kDrop);
      plan->cutInside = true;
      plan->cutReason = reason;
    }
  };
  switch (type) {
    case wire::kLogin:
      *note = length < kLoginBody ? "login body shorter than 64 bytes" : "first-stage login on the request port";
      writer->Error(kQuietLevel);
      return true;
    case wire::kVersion:
      if (faults.Drops(DropPoint::kVersion)) {
        faults.Fired(Fault::kDrop);
        *note = "drop=version: closed before the version reply";
        return false;
      }
      AnswerVersion(length, writer, note);
      return true;
    case wire::kConfigFile:
      AnswerConfigFile(body, length, writer, note);
      cutIf(DropPoint::kConfigMid, "drop=config-mid");
      return true;
    case wire::kNameTable:
      AnswerNameTable(body, length, writer, note);
      cutIf(DropPoint::kNamesMid, "drop=names-mid");
      return true;
    case wire::kAltCodes: AnswerAltCodes(body, length, writer, note); return true;
    case wire::kPasswordChange: AnswerPasswordChange(body, length, writer, note); return true;
    default: break;
  }
  if (answers_ == nullptr || !answers_->Answer(type, body, length, writer, note)) {
    if (note->empty()) *note = "unknown request type";
    writer->Error(kQuietLevel);
    return true;
  }
  plan->reorder = faults.On(Fault::kReorder);
  if (writer->frames() >= 2) cutIf(DropPoint::kReplyMid, "drop=reply-mid");
  return true;
}

void ServerProtocol::AnswerConfigFile(const std::uint8_t* body, std::size_t length, ReplyWriter* writer,
                                      std::string* note) {
  std::string name;
  if (length < kConfigHead) {
    *note = "download body shorter than 38 bytes";
    writer->Error(kQuietLevel);
    return;
  }
  const ServedFile* file = nullptr;
  if (FieldText(body, 32, &name)) {
    for (const ServedFile* candidate : {&tree_.marketConfig(), &tree_.timeZones()}) {
      if (EqualNoCase(name, candidate->name)) file = candidate;
    }
  }
  if (file == nullptr) {
    *note = "download of a file the server does not offer";
    writer->Error(kQuietLevel);
    return;
  }
  ServedFile spoiled;
  FaultSwitches& faults = state_->faults;
  if (file == &tree_.marketConfig() && faults.On(Fault::kBadConfig)) {
    // Half a record short, dated today: newer than any copy the client holds.
    faults.Fired(Fault::kBadConfig);
    spoiled = *file;
    spoiled.bytes.resize(spoiled.bytes.size() > sizeof(MarketRecord) / 2 ? spoiled.bytes.size() - sizeof(MarketRecord) / 2
                                                                          : 1);
    // The server's today; the day after when the file bears that date already.
    const std::int64_t now = clock_();
    for (std::int64_t day = 0; day < 2; ++day) {
      const UtcDateTime date = BreakDownUtc(now + day * 86400);
      spoiled.date = static_cast<std::uint32_t>(date.year * 10000 + date.month * 100 + date.day);
      if (spoiled.date != file->date) break;
    }
    file = &spoiled;
  }
  std::uint8_t head[kConfigHead] = {};
  std::memcpy(head, body, 32);
  const std::uint16_t size = static_cast<std::uint16_t>(file->bytes.size());
  head[32] = static_cast<std::uint8_t>(size);
  head[33] = static_cast<std::uint8_t>(size >> 8);
  Put32(head + 34, file->date);
  const std::string_view headView(reinterpret_cast<const char*>(head), sizeof head);
  const bool upToDate = body[32] == head[32] && body[33] == head[33] && Get32(body + 34) == file->date;
  if (upToDate) {
    writer->Single(wire::kConfigFile, head, sizeof head);
    return;
  }
  writer->Text(wire::kConfigFile, headView,
               std::string_view(reinterpret_cast<const char*>(file->bytes.data()), file->bytes.size()));
}

void ServerProtocol::AnswerNameTable(const std::uint8_t* body, std::size_t length, ReplyWriter* writer,
                                     std::string* note) {
  const ServedMarket* market = length >= 1 ? tree_.Market(body[0]) : nullptr;
  if (market == nullptr) {
    *note = length < 1 ? "name-table body empty" : "name table of an unknown market";
    writer->Error(kQuietLevel);
    return;
  }
  FaultSwitches& faults = state_->faults;
  const std::string_view head(reinterpret_cast<const char*>(body), 1);
  if (faults.On(Fault::kNamesError)) {
    faults.Fired(Fault::kNamesError);
    *note = "names-error";
    writer->Error(kQuietLevel);
    return;
  }
  if (faults.On(Fault::kNamesEmpty)) {
    faults.Fired(Fault::kNamesEmpty);
    *note = "names-empty";
    writer->Single(wire::kNameTable, body, 1);
    return;
  }
  const std::vector<InstrumentRecord>& names = state_->Names(body[0]);
  if (faults.On(Fault::kBadMarket)) {
    // The market byte of the head names a market the client has no table for.
    faults.Fired(Fault::kBadMarket);
    const char badMarket[1] = {static_cast<char>(kBadMarketNumber)};
    writer->Records(wire::kNameTable, std::string_view(badMarket, 1), names.data(), sizeof(InstrumentRecord),
                    names.size());
    return;
  }
  if (faults.On(Fault::kNamesOverflow)) {
    // More records than the market can hold: the table filled up to its capacity and beyond.
    faults.Fired(Fault::kNamesOverflow);
    std::vector<InstrumentRecord> overflowing = names;
    const std::size_t total = static_cast<std::size_t>(market->record.capacity) +
                              static_cast<std::size_t>(faults.namesOverflow());
    for (std::size_t i = overflowing.size(); i < total; ++i) {
      InstrumentRecord extra = names.empty() ? InstrumentRecord{} : names.back();
      std::snprintf(extra.code, sizeof extra.code, "F%05zu", i % 100000);
      std::snprintf(extra.name, sizeof extra.name, "F%05zu", i % 100000);
      extra.market = body[0];
      extra.index = static_cast<std::uint16_t>(i);
      overflowing.push_back(extra);
    }
    writer->Records(wire::kNameTable, head, overflowing.data(), sizeof(InstrumentRecord), overflowing.size());
    return;
  }
  writer->Records(wire::kNameTable, head, names.data(), sizeof(InstrumentRecord), names.size());
}

void ServerProtocol::AnswerAltCodes(const std::uint8_t* body, std::size_t length, ReplyWriter* writer,
                                    std::string* note) {
  const ServedMarket* market = length >= 1 ? tree_.Market(body[0]) : nullptr;
  if (market == nullptr || market->altCodes.empty()) {
    *note = length < 1 ? "extension body empty" : "extension records of a market without them";
    writer->Error(kQuietLevel);
    return;
  }
  std::vector<std::uint8_t> entries(market->names.size() * kAltCodeEntry, 0);
  for (std::size_t i = 0; i < market->names.size(); ++i) {
    std::uint8_t* entry = entries.data() + i * kAltCodeEntry;
    std::memcpy(entry, market->altCodes[i].code, 7);
    std::memcpy(entry + 7, market->names[i].code, 7);
  }
  writer->Records(wire::kAltCodes, std::string_view(reinterpret_cast<const char*>(body), 1), entries.data(),
                  kAltCodeEntry, market->names.size());
}

}  // namespace zuvo::quoteserver

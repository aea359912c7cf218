#include "FaultSwitches.h"

#include "platform/Text.h"

#include <charconv>
#include <limits>
#include <utility>

using namespace zuvo::platform;

namespace zuvo::quoteserver {
namespace {

enum class Value { kNone, kDropPoint, kMs, kKind, kKindLevel, kText, kNumber };
enum class Group { kPlain, kFraming, kProxy, kAccount };

struct Entry {
  Fault fault;
  const char* name;
  Value value;
  Group group;
  std::uint8_t onlyScope;   // framing switches that exist for one scope alone; 0 for any
  long long minimum;        // for kMs and kNumber
  long long maximum;
};

constexpr long long kInt32Min = std::numeric_limits<std::int32_t>::min();
constexpr long long kInt32Max = std::numeric_limits<std::int32_t>::max();

constexpr Entry kTable[] = {
    {Fault::kDrop, "drop", Value::kDropPoint, Group::kPlain, 0, 0, 0},
    {Fault::kFinWithData, "fin-with-data", Value::kNone, Group::kPlain, 0, 0, 0},
    {Fault::kSilent, "silent", Value::kNone, Group::kPlain, 0, 0, 0},
    {Fault::kStopReading, "stop-reading", Value::kNone, Group::kPlain, 0, 0, 0},
    {Fault::kStall, "stall", Value::kMs, Group::kPlain, 0, 1, 600000},
    {Fault::kLate, "late", Value::kKind, Group::kPlain, 0, 0, 0},
    {Fault::kSkip, "skip", Value::kKind, Group::kPlain, 0, 0, 0},
    {Fault::kReorder, "reorder", Value::kNone, Group::kPlain, 0, 0, 0},
    {Fault::kError, "error", Value::kKindLevel, Group::kPlain, 0, 0, 0},
    {Fault::kNewsEndless, "news-endless", Value::kNone, Group::kPlain, 0, 0, 0},
    {Fault::kDribble, "dribble", Value::kNone, Group::kFraming, 0, 0, 0},
    {Fault::kSplit, "split", Value::kMs, Group::kFraming, 0, 0, 60000},
    {Fault::kCoalesce, "coalesce", Value::kNone, Group::kFraming, 0, 0, 0},
    {Fault::kBadMagic, "bad-magic", Value::kNone, Group::kFraming, 0, 0, 0},
    {Fault::kLen8193, "len-8193", Value::kNone, Group::kFraming, 0, 0, 0},
    {Fault::kIndexEqCount, "index-eq-count", Value::kNone, Group::kFraming, 0, 0, 0},
    {Fault::kCountZero, "count-zero", Value::kNone, Group::kFraming, 0, 0, 0},
    {Fault::kHashRequest, "hash-request", Value::kNone, Group::kFraming, kScopeRequest, 0, 0},
    {Fault::kSlowNet, "slow-net", Value::kNone, Group::kFraming, kScopePush, 0, 0},
    {Fault::kFlagOnPlain, "flag-on-plain", Value::kNone, Group::kFraming, 0, 0, 0},
    {Fault::kLzwTruncated, "lzw-truncated", Value::kNone, Group::kFraming, 0, 0, 0},
    {Fault::kLzwCodeAhead, "lzw-code-ahead", Value::kNone, Group::kFraming, 0, 0, 0},
    {Fault::kLzwWidenForever, "lzw-widen-forever", Value::kNone, Group::kFraming, 0, 0, 0},
    {Fault::kLzwDictOverflow, "lzw-dict-overflow", Value::kNone, Group::kFraming, 0, 0, 0},
    {Fault::kLzwOversize, "lzw-oversize", Value::kNone, Group::kFraming, 0, 0, 0},
    {Fault::kZlibGarbage, "zlib-garbage", Value::kNone, Group::kFraming, 0, 0, 0},
    {Fault::kZlibOversize, "zlib-oversize", Value::kNone, Group::kFraming, 0, 0, 0},
    {Fault::kUnknownType, "unknown-type", Value::kNone, Group::kPlain, 0, 0, 0},
    {Fault::kEchoHeartbeat, "echo-heartbeat", Value::kNone, Group::kPlain, 0, 0, 0},
    {Fault::kLoginRefuse, "login-refuse", Value::kText, Group::kPlain, 0, 0, 0},
    {Fault::kLoginType5, "login-type5", Value::kNone, Group::kPlain, 0, 0, 0},
    {Fault::kShortLogin, "short-login", Value::kNone, Group::kPlain, 0, 0, 0},
    {Fault::kShortVersion, "short-version", Value::kNone, Group::kPlain, 0, 0, 0},
    {Fault::kShortBroker, "short-broker", Value::kNone, Group::kPlain, 0, 0, 0},
    {Fault::kBrokerCount, "broker-count", Value::kNumber, Group::kPlain, 0, 41, 65535},
    {Fault::kUnterminated, "unterminated", Value::kNone, Group::kPlain, 0, 0, 0},
    {Fault::kInfoOffset, "info-offset", Value::kNumber, Group::kPlain, 0, kInt32Min, kInt32Max},
    {Fault::kBadIndex, "bad-index", Value::kNone, Group::kPlain, 0, 0, 0},
    {Fault::kPathCode, "path-code", Value::kNone, Group::kPlain, 0, 0, 0},
    {Fault::kBadMarket, "bad-market", Value::kNone, Group::kPlain, 0, 0, 0},
    {Fault::kBadNoteName, "bad-note-name", Value::kNone, Group::kPlain, 0, 0, 0},
    {Fault::kClock, "clock", Value::kNumber, Group::kPlain, 0, 1440, 65535},
    {Fault::kLongFlash, "long-flash", Value::kNone, Group::kPlain, 0, 0, 0},
    {Fault::kNamesError, "names-error", Value::kNone, Group::kPlain, 0, 0, 0},
    {Fault::kNamesEmpty, "names-empty", Value::kNone, Group::kPlain, 0, 0, 0},
    {Fault::kNamesOverflow, "names-overflow", Value::kNumber, Group::kPlain, 0, 1, 65535},
    {Fault::kBadConfig, "bad-config", Value::kNone, Group::kPlain, 0, 0, 0},
    {Fault::kUnsortedBars, "unsorted-bars", Value::kNone, Group::kPlain, 0, 0, 0},
    {Fault::kVersion, "version", Value::kNumber, Group::kPlain, 0, kInt32Min, kInt32Max},
    {Fault::kRestartNames, "restart-names", Value::kNone, Group::kPlain, 0, 0, 0},
    {Fault::kProxySplit, "proxy-split", Value::kNone, Group::kProxy, 0, 0, 0},
    {Fault::kSocks5DomainBound, "socks5-domain-bound", Value::kNone, Group::kProxy, 0, 0, 0},
    {Fault::kSocks5Refuse, "socks5-refuse", Value::kNone, Group::kProxy, 0, 0, 0},
    {Fault::kSocks4Refuse, "socks4-refuse", Value::kNone, Group::kProxy, 0, 0, 0},
    {Fault::kHttp407, "http-407", Value::kNone, Group::kProxy, 0, 0, 0},
    {Fault::kHttp407Lower, "http-407-lower", Value::kNone, Group::kProxy, 0, 0, 0},
    {Fault::kRelayHttp11, "relay-http11", Value::kNone, Group::kProxy, 0, 0, 0},
    {Fault::kRelayLongHeader, "relay-long-header", Value::kNone, Group::kProxy, 0, 0, 0},
    {Fault::kAccountRefuse, "account-refuse", Value::kNone, Group::kAccount, 0, 0, 0},
    {Fault::kAccountNotice, "account-notice", Value::kNone, Group::kAccount, 0, 0, 0},
    {Fault::kAccountNoBar, "account-no-bar", Value::kNone, Group::kAccount, 0, 0, 0},
    {Fault::kAccountSilent, "account-silent", Value::kNone, Group::kAccount, 0, 0, 0},
};
static_assert(sizeof kTable / sizeof kTable[0] == kFaultCount, "one entry per switch");

constexpr const char* kDropPoints[kDropPointCount] = {"accept",     "login",     "login-mid", "stage2",  "version",
                                                      "config-mid", "names-mid", "reply-mid", "push-mid"};

const Entry* Find(const std::string& name) {
  for (const Entry& entry : kTable) {
    if (name == entry.name) return &entry;
  }
  return nullptr;
}

bool ParseInt(const std::string& text, long long minimum, long long maximum, long long* value) {
  long long parsed = 0;
  const char* end = text.data() + text.size();
  const auto [rest, error] = std::from_chars(text.data(), end, parsed);
  if (text.empty() || error != std::errc() || rest != end || parsed < minimum || parsed > maximum) return false;
  *value = parsed;
  return true;
}

bool IsUtf8(const std::string& text) {
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const std::size_t length = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
    if (length == 0 || i + length > text.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    }
    i += length;
  }
  return true;
}

}  // namespace

std::string TypedTextToGbk(const std::string& text) { return IsUtf8(text) ? gbk::FromUtf8(text) : text; }

const std::vector<std::string>& FaultNames() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> all;
    for (const Entry& entry : kTable) all.emplace_back(entry.name);
    return all;
  }();
  return names;
}

const std::vector<std::string>& ProxyFaultNames() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> proxy;
    for (const Entry& entry : kTable) {
      if (entry.group == Group::kProxy) proxy.emplace_back(entry.name);
    }
    return proxy;
  }();
  return names;
}

const std::vector<std::string>& AccountFaultNames() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> account;
    for (const Entry& entry : kTable) {
      if (entry.group == Group::kAccount) account.emplace_back(entry.name);
    }
    return account;
  }();
  return names;
}

const char* FaultName(Fault fault) { return kTable[static_cast<std::size_t>(fault)].name; }

bool FaultSwitches::Set(const std::string& text, std::string* error) {
  std::string name = text;
  std::string value;
  std::uint8_t scope = kScopeBoth;
  bool scoped = false;
  for (const auto& [suffix, bits] : {std::pair<std::string, std::uint8_t>{"@request", kScopeRequest},
                                     std::pair<std::string, std::uint8_t>{"@push", kScopePush}}) {
    if (name.size() > suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) {
      name.resize(name.size() - suffix.size());
      scope = bits;
      scoped = true;
      break;
    }
  }
  if (!scoped && name.find('=') == std::string::npos && name.find('@') != std::string::npos) {
    *error = "fault " + text + ": the scope is @request or @push";
    return false;
  }
  bool hasValue = false;
  if (const std::size_t equals = name.find('='); equals != std::string::npos) {
    value = name.substr(equals + 1);
    name.resize(equals);
    hasValue = true;
  }
  const Entry* entry = Find(name);
  if (entry == nullptr) {
    *error = "unknown fault \"" + name + "\"";
    return false;
  }
  if (scoped && entry->group != Group::kFraming) {
    *error = "fault " + name + " takes no @request or @push";
    return false;
  }
  if (entry->onlyScope != 0) {
    if (scoped && scope != entry->onlyScope) {
      *error = "fault " + name + " acts on the " + (entry->onlyScope == kScopePush ? "push" : "request") +
               " connection only";
      return false;
    }
    scope = entry->onlyScope;
  }
  if (entry->value == Value::kNone && hasValue) {
    *error = "fault " + name + " takes no value";
    return false;
  }
  if (entry->value != Value::kNone && (!hasValue || value.empty())) {
    *error = "fault " + name + " needs a value";
    return false;
  }
  auto bad = [&](const std::string& expected) {
    *error = "fault " + name + "=" + value + ": expected " + expected;
    return false;
  };

  const std::size_t index = static_cast<std::size_t>(entry->fault);
  long long number = 0;
  switch (entry->value) {
    case Value::kNone: break;
    case Value::kDropPoint: {
      std::size_t point = 0;
      while (point < kDropPointCount && value != kDropPoints[point]) ++point;
      if (point == kDropPointCount) {
        return bad("accept, login, login-mid, stage2, version, config-mid, names-mid, reply-mid or push-mid");
      }
      drops_.insert(static_cast<DropPoint>(point));
      break;
    }
    case Value::kMs:
      if (!ParseInt(value, entry->minimum, entry->maximum, &number)) {
        return bad("milliseconds " + std::to_string(entry->minimum) + "-" + std::to_string(entry->maximum));
      }
      (entry->fault == Fault::kStall ? stallMs_ : splitMs_) = static_cast<int>(number);
      break;
    case Value::kKind:
      if (!ParseInt(value, 0, 255, &number)) return bad("a request type code 0-255");
      (entry->fault == Fault::kLate ? late_ : skip_).insert(static_cast<int>(number));
      break;
    case Value::kKindLevel: {
      const std::size_t colon = value.find(':');
      long long level = 0;
      if (colon == std::string::npos || !ParseInt(value.substr(0, colon), 0, 255, &number) ||
          !ParseInt(value.substr(colon + 1), 0, 255, &level)) {
        return bad("KIND:LEVEL, a request type code and a level 0-255");
      }
      errors_[static_cast<int>(number)] = static_cast<int>(level);
      break;
    }
    case Value::kText: {
      std::string gbkText = TypedTextToGbk(value);
      if (gbkText.size() > 250) return bad("a text of at most 250 bytes");
      loginRefuse_ = std::move(gbkText);
      break;
    }
    case Value::kNumber:
      if (!ParseInt(value, entry->minimum, entry->maximum, &number)) {
        return bad("a number " + std::to_string(entry->minimum) + "-" + std::to_string(entry->maximum));
      }
      switch (entry->fault) {
        case Fault::kBrokerCount: brokerCount_ = static_cast<int>(number); break;
        case Fault::kInfoOffset: infoOffset_ = static_cast<std::int32_t>(number); break;
        case Fault::kClock: clockMinutes_ = static_cast<int>(number); break;
        case Fault::kNamesOverflow: namesOverflow_ = static_cast<int>(number); break;
        default: version_ = static_cast<std::int32_t>(number); break;
      }
      break;
  }
  // A scoped switch set again for the other scope acts on both.
  scope_[index] = on_[index] && entry->group == Group::kFraming && entry->onlyScope == 0
                      ? static_cast<std::uint8_t>(scope_[index] | scope)
                      : scope;
  on_[index] = true;
  return true;
}

bool FaultSwitches::Clear(const std::string& name, std::string* error) {
  const Entry* entry = Find(name);
  if (entry == nullptr) {
    *error = "unknown fault \"" + name + "\"";
    return false;
  }
  const std::size_t index = static_cast<std::size_t>(entry->fault);
  on_[index] = false;
  scope_[index] = 0;
  switch (entry->fault) {
    case Fault::kDrop: drops_.clear(); break;
    case Fault::kLate: late_.clear(); break;
    case Fault::kSkip: skip_.clear(); break;
    case Fault::kError: errors_.clear(); break;
    case Fault::kSplit: splitMs_ = 0; break;
    default: break;
  }
  return true;
}

void FaultSwitches::ClearAll() {
  for (const Entry& entry : kTable) {
    std::string ignored;
    Clear(entry.name, &ignored);
  }
}

int FaultSwitches::ErrorLevel(int type) const {
  if (!On(Fault::kError)) return -1;
  const auto found = errors_.find(type);
  return found == errors_.end() ? -1 : found->second;
}

FrameFaults FaultSwitches::ForFrames(ScopeBits scope) const {
  FrameFaults faults;
  faults.unknownType = On(Fault::kUnknownType);
  faults.badMagic = OnFor(Fault::kBadMagic, scope);
  faults.hashRequest = OnFor(Fault::kHashRequest, scope);
  faults.slowNet = OnFor(Fault::kSlowNet, scope);
  faults.len8193 = OnFor(Fault::kLen8193, scope);
  faults.indexEqCount = OnFor(Fault::kIndexEqCount, scope);
  faults.countZero = OnFor(Fault::kCountZero, scope);
  faults.flagOnPlain = OnFor(Fault::kFlagOnPlain, scope);
  for (Fault body : {Fault::kLzwTruncated, Fault::kLzwCodeAhead, Fault::kLzwWidenForever, Fault::kLzwDictOverflow,
                     Fault::kLzwOversize, Fault::kZlibGarbage, Fault::kZlibOversize}) {
    if (OnFor(body, scope)) faults.body = body;
  }
  return faults;
}

void FaultSwitches::FiredFrames(const FrameFaults& faults) {
  if (faults.unknownType) Fired(Fault::kUnknownType);
  if (faults.badMagic) Fired(Fault::kBadMagic);
  if (faults.hashRequest) Fired(Fault::kHashRequest);
  if (faults.slowNet) Fired(Fault::kSlowNet);
  if (faults.len8193) Fired(Fault::kLen8193);
  if (faults.indexEqCount) Fired(Fault::kIndexEqCount);
  if (faults.countZero) Fired(Fault::kCountZero);
  if (faults.flagOnPlain) Fired(Fault::kFlagOnPlain);
  if (faults.body != Fault::kCount) Fired(faults.body);
}

std::vector<std::string> FaultSwitches::Describe() const {
  std::vector<std::string> lines;
  for (const Entry& entry : kTable) {
    const std::size_t index = static_cast<std::size_t>(entry.fault);
    if (!on_[index] && fired_[index] == 0) continue;
    std::string line = entry.name;
    std::string values;
    auto add = [&](const std::string& value) { values += (values.empty() ? "" : ",") + value; };
    switch (entry.fault) {
      case Fault::kDrop:
        for (DropPoint point : drops_) add(kDropPoints[static_cast<std::size_t>(point)]);
        break;
      case Fault::kLate:
        for (int kind : late_) add(std::to_string(kind));
        break;
      case Fault::kSkip:
        for (int kind : skip_) add(std::to_string(kind));
        break;
      case Fault::kError:
        for (const auto& [kind, level] : errors_) add(std::to_string(kind) + ":" + std::to_string(level));
        break;
      case Fault::kStall: add(std::to_string(stallMs_)); break;
      case Fault::kSplit: add(std::to_string(splitMs_)); break;
      case Fault::kLoginRefuse: add(gbk::ToUtf8(loginRefuse_)); break;
      case Fault::kBrokerCount: add(std::to_string(brokerCount_)); break;
      case Fault::kInfoOffset: add(std::to_string(infoOffset_)); break;
      case Fault::kClock: add(std::to_string(clockMinutes_)); break;
      case Fault::kNamesOverflow: add(std::to_string(namesOverflow_)); break;
      case Fault::kVersion: add(std::to_string(version_)); break;
      default: break;
    }
    if (on_[index] && !values.empty()) line += "=" + values;
    if (on_[index] && entry.group == Group::kFraming && entry.onlyScope == 0 && scope_[index] != kScopeBoth) {
      line += scope_[index] == kScopePush ? "@push" : "@request";
    }
    line += on_[index] ? " on" : " off";
    line += ", fired " + std::to_string(fired_[index]);
    lines.push_back(line);
  }
  return lines;
}

}  // namespace zuvo::quoteserver

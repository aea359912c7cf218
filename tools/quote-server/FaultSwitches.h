// The quote server's fault switches: each makes the server misbehave in one named way on demand,
// so that the clients' tests meet every fault a real server or network could show them. Set with
// --fault NAME[=VALUE] (repeatable) or the console's `fault` command, cleared with `fault -NAME`.
// Framing and compression switches take a scope, NAME@request (the main and request ports) or
// NAME@push (the push port); without one they act on both. Every time a switch changes what the
// server does it is counted, and `status` shows the counts.
//
// KIND values are the type codes of the request frames as they travel (12 bars, 15 news, 202 the
// version check, ...), not the client's request kinds.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace zuvo::quoteserver {

enum class Fault {
  // Disconnects.
  kDrop, kFinWithData, kSilent, kStopReading,
  // Timing and order.
  kStall, kLate, kSkip, kReorder, kError, kNewsEndless,
  // Framing.
  kDribble, kSplit, kCoalesce, kBadMagic, kLen8193, kIndexEqCount, kCountZero, kHashRequest, kSlowNet,
  // Compression.
  kFlagOnPlain, kLzwTruncated, kLzwCodeAhead, kLzwWidenForever, kLzwDictOverflow, kLzwOversize, kZlibGarbage,
  kZlibOversize,
  // Content.
  kUnknownType, kEchoHeartbeat, kLoginRefuse, kLoginType5, kShortLogin, kShortVersion, kShortBroker, kBrokerCount,
  kUnterminated, kInfoOffset, kBadIndex, kPathCode, kBadMarket, kBadNoteName, kClock, kLongFlash, kNamesError, kNamesEmpty,
  kNamesOverflow, kBadConfig, kUnsortedBars, kVersion,
  kRestartNames,
  // The fixture proxies (ProxyFixtures.h).
  kProxySplit, kSocks5DomainBound, kSocks5Refuse, kSocks4Refuse, kHttp407, kHttp407Lower, kRelayHttp11,
  kRelayLongHeader,
  // The account-verification server (AccountServer.h).
  kAccountRefuse, kAccountNotice, kAccountNoBar, kAccountSilent,
  kCount
};
constexpr std::size_t kFaultCount = static_cast<std::size_t>(Fault::kCount);

// Where drop=POINT closes a connection.
enum class DropPoint {
  kAccept,      // every new connection, at once
  kLogin,       // at a login request, before the reply
  kLoginMid,    // half-way through the type-3 login reply
  kStage2,      // every new request-port (data server) connection, at once
  kVersion,     // at the version check, before the reply
  kConfigMid,   // inside the reply of a configuration file download
  kNamesMid,    // inside a name-table reply
  kReplyMid,    // inside an asynchronous reply of several frames
  kPushMid,     // inside the next push frame
};
constexpr std::size_t kDropPointCount = 9;

// Which connections a framing or compression switch acts on.
enum ScopeBits : std::uint8_t { kScopeRequest = 1, kScopePush = 2, kScopeBoth = 3 };

// What the framing, compression and type switches do to each frame of one connection.
struct FrameFaults {
  bool unknownType = false;     // type code 250
  bool badMagic = false;        // magic 'X'
  bool hashRequest = false;     // magic '#' on the request connection
  bool slowNet = false;         // magic '#' on the push connection
  bool len8193 = false;         // the length field says 8193
  bool indexEqCount = false;    // index = count
  bool countZero = false;       // count 0
  bool flagOnPlain = false;     // compressed flag on a plain body
  Fault body = Fault::kCount;   // a compression switch replacing the body, or kCount
  bool any() const {
    return unknownType || badMagic || hashRequest || slowNet || len8193 || indexEqCount || countZero || flagOnPlain ||
           body != Fault::kCount;
  }
};

class FaultSwitches {
 public:
  // Turns a switch on from its text NAME[=VALUE][@request|@push]. False with a one-line reason
  // (unknown name, a value missing, not wanted or out of range, a scope the switch does not
  // take), and nothing changed.
  bool Set(const std::string& text, std::string* error);
  // Turns a switch off (every value of it). False for an unknown name.
  bool Clear(const std::string& name, std::string* error);
  void ClearAll();

  bool On(Fault fault) const { return on_[Index(fault)]; }
  // Counts one use of a switch.
  void Fired(Fault fault) { ++fired_[Index(fault)]; }
  std::uint64_t fired(Fault fault) const { return fired_[Index(fault)]; }

  // Switch values.
  bool Drops(DropPoint point) const { return On(Fault::kDrop) && drops_.count(point) != 0; }
  bool LateKind(int type) const { return On(Fault::kLate) && late_.count(type) != 0; }
  bool SkipKind(int type) const { return On(Fault::kSkip) && skip_.count(type) != 0; }
  // The level of error=KIND:LEVEL for the type, or -1.
  int ErrorLevel(int type) const;
  int stallMs() const { return On(Fault::kStall) ? stallMs_ : 0; }
  int splitMs() const { return splitMs_; }
  const std::string& loginRefuseText() const { return loginRefuse_; }
  int brokerCount() const { return brokerCount_; }
  std::int32_t infoOffset() const { return infoOffset_; }
  int clockMinutes() const { return clockMinutes_; }
  int namesOverflow() const { return namesOverflow_; }
  std::int32_t version() const { return version_; }

  // True when a scoped switch is on for connections of the scope (kScopeRequest or kScopePush).
  bool OnFor(Fault fault, ScopeBits scope) const { return On(fault) && (scope_[Index(fault)] & scope) != 0; }
  // The frame faults for connections of the scope.
  FrameFaults ForFrames(ScopeBits scope) const;
  // Counts one use of every switch in the frame faults.
  void FiredFrames(const FrameFaults& faults);

  // One line per switch that is on or has fired: "NAME[=VALUE][@scope] on|off, fired N".
  std::vector<std::string> Describe() const;

 private:
  static std::size_t Index(Fault fault) { return static_cast<std::size_t>(fault); }

  std::array<bool, kFaultCount> on_{};
  std::array<std::uint8_t, kFaultCount> scope_{};
  std::array<std::uint64_t, kFaultCount> fired_{};
  std::set<DropPoint> drops_;
  std::set<int> late_;
  std::set<int> skip_;
  std::map<int, int> errors_;
  int stallMs_ = 0;
  int splitMs_ = 0;
  std::string loginRefuse_;
  int brokerCount_ = 0;
  std::int32_t infoOffset_ = 0;
  int clockMinutes_ = 0;
  int namesOverflow_ = 0;
  std::int32_t version_ = 0;
};

// Text typed at the console or on the command line as GBK: UTF-8 (what terminals send) is
// converted; anything else is taken as GBK already.
std::string TypedTextToGbk(const std::string& text);

// The names of every switch, in table order (for help texts and tests).
const std::vector<std::string>& FaultNames();
// The name of a switch.
const char* FaultName(Fault fault);
// The names of the switches that act on the fixture proxies alone.
const std::vector<std::string>& ProxyFaultNames();
// The names of the switches that act on the account-verification server alone.
const std::vector<std::string>& AccountFaultNames();

}  // namespace zuvo::quoteserver

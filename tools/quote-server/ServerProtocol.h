// What the quote server says to each frame a client sends, per port: logins and the password
// change on the main port; on the request port the one- or two-stage login, then the version,
// the configuration downloads, the name tables and every asynchronous request (handed to
// RequestAnswers); on the push port the opening frame and the subscriptions (handed to
// PushFeed). Heartbeats are never answered. A frame the server cannot use is answered with a
// quiet refusal (type 2, level 0) where the client waits for a reply; a request before the
// login gets level 20 and the connection closes. The fault switches bend all of this on demand.
#pragma once

#include "InstallTree.h"
#include "ReplyWriter.h"
#include "ServerClock.h"
#include "ServerOptions.h"
#include "ServerState.h"

#include <array>
#include <map>
#include <string>
#include <vector>

namespace zuvo::quoteserver {

class PushFeed;
class RequestAnswers;

enum class PortRole { kMain, kRequest, kPush };
const char* PortRoleName(PortRole role);

// Wire codes of the frames the server knows.
namespace wire {
constexpr std::uint8_t kError = 2;
constexpr std::uint8_t kHeartbeat = 1;
constexpr std::uint8_t kLogin = 3;
constexpr std::uint8_t kNameTable = 6;
constexpr std::uint8_t kPasswordChange = 30;
constexpr std::uint8_t kAltCodes = 34;
constexpr std::uint8_t kVersion = 202;
constexpr std::uint8_t kOpening = 202;     // the push connection's first frame
constexpr std::uint8_t kSubscribe = 100;
constexpr std::uint8_t kPushRecords = 8;
constexpr std::uint8_t kConfigFile = 206;
constexpr std::uint8_t kDataLogin = 207;
}  // namespace wire

// Sizes of the login bodies and of the block the first stage answers with.
constexpr std::size_t kLoginBody = 64;
constexpr std::size_t kDataLoginBody = 160;
constexpr std::size_t kPasswordBody = 40;
constexpr std::size_t kLoginBlock = 128;
constexpr std::size_t kConfigHead = 38;
constexpr std::size_t kAltCodeEntry = 14;

// Type-2 levels: 0 completes a request quietly, 20 shows the text to the user.
constexpr std::uint8_t kQuietLevel = 0;
constexpr std::uint8_t kShownLevel = 20;

// The market number bad-index and bad-market put into replies: one no client has a table for.
constexpr std::uint8_t kBadMarketNumber = 200;

constexpr std::size_t kPushRecord = 128;
constexpr std::size_t kSubscriptionBody = 774;
constexpr std::size_t kMaxSubscribed = 256;

// A subscribed instrument (server numbering) and what was last pushed for it.
struct PushKey {
  std::uint8_t market = 0;
  std::uint16_t index = 0;
  bool sent = false;           // pushed at least once
  std::uint64_t version = 0;   // the version of the instrument's record last pushed (PushFeed)
};

// The push connection's state.
struct PushSession {
  bool opened = false;
  int clockMinutes = -1;          // minutes of the last clock record sent
  std::vector<PushKey> keys;      // the subscription, each instrument once
};

struct Session {
  PortRole role = PortRole::kRequest;
  bool loggedIn = false;
  PushSession push;
};

// How an answer leaves, as the timing and disconnect switches decide.
struct ReplyPlan {
  bool hold = false;          // late=KIND: until released (or 25 s)
  bool reorder = false;       // reorder: changes places with the next asynchronous reply
  int delayMs = 0;            // stall=MS
  bool cutInside = false;     // drop=...-mid: cut inside the reply, then close
  bool closeAfter = false;    // fin-with-data: close once the reply is sent
  const char* cutReason = "";
};

class ServerProtocol {
 public:
  ServerProtocol(const ServerConfig& config, const InstallTree& tree, RequestAnswers* answers, ServerClock clock,
                 ServerState* state, PushFeed* push);

  // Answers one frame into *writer and says in *plan how the answer leaves. Returns false when
  // the connection must close once the answer is sent; *note then (or for a refusal) says why,
  // for the log.
  bool Handle(Session* session, std::uint8_t type, const std::uint8_t* body, std::size_t length,
              ReplyWriter* writer, ReplyPlan* plan, std::string* note);

  // How answers on a port are compressed.
  Compression CompressionFor(PortRole role) const {
    return role == PortRole::kPush ? config_.pushCompression : config_.compression;
  }
  ServerState& state() { return *state_; }
  PushFeed* push() { return push_; }
  ServerClock clock() const { return clock_; }

  // The 128-byte block of a successful first-stage or one-stage login.
  void BuildLoginBlock(const std::string& user, std::uint8_t* block) const;

 private:
  bool HandleMain(std::uint8_t type, const std::uint8_t* body, std::size_t length, ReplyWriter* writer,
                  ReplyPlan* plan, std::string* note);
  bool HandleRequest(Session* session, std::uint8_t type, const std::uint8_t* body, std::size_t length,
                     ReplyWriter* writer, ReplyPlan* plan, std::string* note);
  // The login answers; false when drop=login closes instead.
  bool AnswerLogin(const std::uint8_t* body, ReplyWriter* writer, ReplyPlan* plan, std::string* note);
  bool AnswerDataLogin(Session* session, const std::uint8_t* body, std::size_t length, ReplyWriter* writer,
                       std::string* note);
  // Answers a login with what the login switches ask for instead; true when one did.
  bool SpoilLogin(ReplyWriter* writer, std::string* note);
  void AnswerVersion(std::size_t length, ReplyWriter* writer, std::string* note);
  void AnswerPasswordChange(const std::uint8_t* body, std::size_t length, ReplyWriter* writer, std::string* note);
  void AnswerConfigFile(const std::uint8_t* body, std::size_t length, ReplyWriter* writer, std::string* note);
  void AnswerNameTable(const std::uint8_t* body, std::size_t length, ReplyWriter* writer, std::string* note);
  void AnswerAltCodes(const std::uint8_t* body, std::size_t length, ReplyWriter* writer, std::string* note);
  // Name and password fields of a login body; true when they may log in.
  bool Admits(const std::uint8_t* nameField, const std::uint8_t* passwordField, std::string* user) const;

  const ServerConfig& config_;
  const InstallTree& tree_;
  RequestAnswers* answers_;
  ServerClock clock_;
  ServerState* state_;
  PushFeed* push_;
  // Names and passwords when --user was given; a password change lasts for the server's life.
  std::map<std::string, std::string> passwords_;
};

// Text of a fixed, NUL-padded field: up to its first NUL. False when the field has none.
bool FieldText(const std::uint8_t* field, std::size_t size, std::string* text);

}  // namespace zuvo::quoteserver

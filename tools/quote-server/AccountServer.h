// The quote server's account-verification server (--login-port): plays the service the account
// library talks to. It reads one line per connection, "QXVERIFY|user|password" or
// "QXMODIFY|user|current|new" ended by a line feed (at most 511 bytes), and answers one line
// "field0|result|text\n" (field0 repeats the request's name): result 0 accepted, -1 refused
// (a name or password the --user list does not hold, or a request it does not know), then
// closes once the answer is out.
//
// Its fault switches bend the answer: account-refuse answers result -3 with a text,
// account-notice result 1 with a notice, account-no-bar a line without any "|", account-silent
// nothing at all (the connection stays open until the client closes it).
//
// Runs on the server's thread beside the fixture proxies (AddPolls / HandlePolls).
#pragma once

#include "FaultSwitches.h"
#include "ServerOptions.h"

#include <poll.h>

#include <cstdint>
#include <functional>
#include <list>
#include <string>
#include <vector>

namespace zuvo::quoteserver {

// The refusal and notice texts of the switches (GBK).
extern const char kAccountRefusedText[];
extern const char kAccountNoticeText[];
extern const char kAccountNoBarText[];

// The answer line to one request line (its line feed removed), as the switches make it; empty
// for account-silent.
std::string AccountAnswer(const std::string& request, const ServerConfig& config, FaultSwitches* faults);

class AccountServer {
 public:
  using Log = std::function<void(const std::string& line)>;

  // log may be null; config and faults must outlive the server.
  AccountServer(const ServerConfig& config, FaultSwitches* faults, Log log);
  ~AccountServer();
  AccountServer(const AccountServer&) = delete;
  AccountServer& operator=(const AccountServer&) = delete;

  // Binds the port when the configuration asks for one; *bound is 0 when it is off. False with
  // a one-line reason.
  bool Listen(std::uint16_t* bound, std::string* error);
  void AddPolls(std::vector<pollfd>* polls);
  void HandlePolls(const pollfd* polls, std::size_t count);
  void CloseAll();

  std::size_t open() const { return links_.size(); }

 private:
  struct Link {
    int fd = -1;
    std::string in;
    std::string out;
    bool answered = false;   // the answer is queued: close once it is out
    bool closed = false;
  };
  void Accept();
  void Read(Link* link);
  void Write(Link* link);
  void Close(Link* link, const std::string& why);

  const ServerConfig& config_;
  FaultSwitches* faults_;
  Log log_;
  int listener_ = -1;
  std::list<Link> links_;
  std::vector<Link*> polled_;
};

}  // namespace zuvo::quoteserver

#include "AccountServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace zuvo::quoteserver {
namespace {

constexpr std::size_t kMaxRequest = 511;

std::vector<std::string> Split(const std::string& line) {
  std::vector<std::string> fields;
  std::size_t at = 0;
  for (;;) {
    const std::size_t bar = line.find('|', at);
    fields.push_back(line.substr(at, bar == std::string::npos ? std::string::npos : bar - at));
    if (bar == std::string::npos) return fields;
    at = bar + 1;
  }
}

bool Known(const ServerConfig& config, const std::string& user, const std::string& password) {
  if (config.users.empty()) return true;
  for (const UserEntry& entry : config.users) {
    if (entry.name == user && entry.password == password) return true;
  }
  return false;
}

}  // namespace

const char kAccountRefusedText[] = "该账号已被停用，请与客户服务中心联系。";
const char kAccountNoticeText[] = "您的账号将于7日后到期，请及时续费。";
const char kAccountNoBarText[] = "账号验证服务暂停";

std::string AccountAnswer(const std::string& request, const ServerConfig& config, FaultSwitches* faults) {
  std::string line = request;
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
  const std::vector<std::string> fields = Split(line);
  const std::string& name = fields[0];
  if (faults->On(Fault::kAccountSilent)) {
    faults->Fired(Fault::kAccountSilent);
    return {};
  }
  if (faults->On(Fault::kAccountNoBar)) {
    faults->Fired(Fault::kAccountNoBar);
    return std::string(kAccountNoBarText) + "\n";
  }
  if (faults->On(Fault::kAccountRefuse)) {
    faults->Fired(Fault::kAccountRefuse);
    return name + "|-3|" + kAccountRefusedText + "\n";
  }
  bool accepted = false;
  if (name == "QXVERIFY" && fields.size() == 3) accepted = Known(config, fields[1], fields[2]);
  if (name == "QXMODIFY" && fields.size() == 4) accepted = Known(config, fields[1], fields[2]) && !fields[3].empty();
  if (!accepted) return name + "|-1|用户名或密码错误。\n";
  if (faults->On(Fault::kAccountNotice)) {
    faults->Fired(Fault::kAccountNotice);
    return name + "|1|" + kAccountNoticeText + "\n";
  }
  return name + "|0|\n";
}

AccountServer::AccountServer(const ServerConfig& config, FaultSwitches* faults, Log log)
    : config_(config), faults_(faults), log_(std::move(log)) {}

AccountServer::~AccountServer() { CloseAll(); }

bool AccountServer::Listen(std::uint16_t* bound, std::string* error) {
  *bound = 0;
  if (config_.loginPort < 0) return true;
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    *error = std::string("cannot create the login socket: ") + std::strerror(errno);
    return false;
  }
  const int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(config_.loginPort));
  inet_pton(AF_INET, config_.bindAddress.c_str(), &address.sin_addr);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 16) != 0) {
    *error = "cannot listen on " + config_.bindAddress + ":" + std::to_string(config_.loginPort) +
             " (login port): " + std::strerror(errno);
    ::close(fd);
    return false;
  }
  socklen_t size = sizeof address;
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
  *bound = ntohs(address.sin_port);
  listener_ = fd;
  return true;
}

void AccountServer::AddPolls(std::vector<pollfd>* polls) {
  links_.remove_if([](const Link& link) { return link.closed; });
  polled_.clear();
  polls->push_back({listener_, static_cast<short>(listener_ >= 0 ? POLLIN : 0), 0});
  for (Link& link : links_) {
    short events = link.answered ? 0 : POLLIN;
    if (!link.out.empty()) events |= POLLOUT;
    polls->push_back({link.fd, events, 0});
    polled_.push_back(&link);
  }
}

void AccountServer::HandlePolls(const pollfd* polls, std::size_t count) {
  if (count == 0) return;
  for (std::size_t i = 0; i < polled_.size() && i + 1 < count; ++i) {
    Link* link = polled_[i];
    const short revents = polls[i + 1].revents;
    if (link->closed) continue;
    if (revents & (POLLIN | POLLHUP | POLLERR)) Read(link);
    if (!link->closed && (revents & POLLOUT)) Write(link);
  }
  if (listener_ >= 0 && (polls[0].revents & POLLIN)) Accept();
}

void AccountServer::CloseAll() {
  for (Link& link : links_) Close(&link, "server stopping");
  links_.clear();
  polled_.clear();
  if (listener_ >= 0) ::close(listener_);
  listener_ = -1;
}

void AccountServer::Accept() {
  for (;;) {
    const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) return;
    Link link;
    link.fd = fd;
    links_.push_back(std::move(link));
    if (log_) log_("[login] connected");
  }
}

void AccountServer::Read(Link* link) {
  char buffer[512];
  for (;;) {
    const ssize_t got = ::recv(link->fd, buffer, sizeof buffer, 0);
    if (got == 0) return Close(link, "peer closed");
    if (got < 0) {
      if (errno == EAGAIN || errno == EWOULDBLOCK) break;
      if (errno == EINTR) continue;
      return Close(link, std::string("receive failed: ") + std::strerror(errno));
    }
    if (link->answered) continue;   // account-silent: what follows is ignored
    link->in.append(buffer, static_cast<std::size_t>(got));
    const std::size_t end = link->in.find('\n');
    if (end == std::string::npos) {
      if (link->in.size() > kMaxRequest) return Close(link, "request line too long");
      continue;
    }
    const std::string answer = AccountAnswer(link->in.substr(0, end), config_, faults_);
    link->in.clear();
    link->answered = true;
    if (answer.empty()) {
      if (log_) log_("[login] request held without an answer");
      continue;
    }
    link->out = answer;
    if (log_) log_("[login] answered " + answer.substr(0, answer.size() - 1));
    Write(link);
    if (link->closed) return;
  }
}

void AccountServer::Write(Link* link) {
  while (!link->out.empty()) {
    const ssize_t sent = ::send(link->fd, link->out.data(), link->out.size(), MSG_NOSIGNAL);
    if (sent < 0) {
      if (errno == EAGAIN || errno == EWOULDBLOCK) return;
      if (errno == EINTR) continue;
      return Close(link, std::string("send failed: ") + std::strerror(errno));
    }
    link->out.erase(0, static_cast<std::size_t>(sent));
  }
  if (link->answered) Close(link, "answered");
}

void AccountServer::Close(Link* link, const std::string& why) {
  if (link->closed) return;
  if (link->fd >= 0) ::close(link->fd);
  link->fd = -1;
  link->closed = true;
  if (log_) log_("[login] closed: " + why);
}

}  // namespace zuvo::quoteserver

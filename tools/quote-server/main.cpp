// quote-server: the local quote server program. Serves in the foreground until SIGINT, SIGTERM
// or the console's quit; see ServerOptions.h for the command line. Standard input takes one
// console command a line (help lists them); its end leaves the server running.
#include "QuoteServer.h"

#include <unistd.h>

#include <csignal>
#include <cstdio>

namespace {

zuvo::quoteserver::QuoteServer* runningServer = nullptr;

extern "C" void StopOnSignal(int) {
  if (runningServer != nullptr) runningServer->RequestStop();
}

}  // namespace

int main(int argc, char** argv) {
  using namespace zuvo::quoteserver;
  const std::vector<std::string> args(argv + 1, argv + argc);
  ServerConfig config;
  bool help = false;
  std::string error;
  if (!ParseCommandLine(args, &config, &help, &error)) {
    std::fprintf(stderr, "quote-server: %s\n%s", error.c_str(), UsageText());
    return 2;
  }
  if (help) {
    std::fputs(UsageText(), stdout);
    return 0;
  }
  QuoteServer server(config);
  if (!server.Open(&error)) {
    std::fprintf(stderr, "quote-server: %s\n", error.c_str());
    return 2;
  }
  const ServerPorts ports = server.ports();
  std::printf("quote-server: listening on %s, main port %u, request port %u, push port %u\n",
              config.bindAddress.c_str(), ports.main, ports.request, ports.push);
  if (isatty(STDIN_FILENO)) std::printf("quote-server: type help for the console commands\n");
  if (ports.socks5 != 0 || ports.socks4 != 0 || ports.httpProxy != 0 || ports.relay != 0) {
    std::printf("quote-server: proxies: socks5 port %u, socks4 port %u, http proxy port %u, relay port %u (0: off)\n",
                ports.socks5, ports.socks4, ports.httpProxy, ports.relay);
  }
  if (ports.login != 0) std::printf("quote-server: account verification on port %u\n", ports.login);
  std::fflush(stdout);
  server.SetConsole(STDIN_FILENO, STDOUT_FILENO);

  runningServer = &server;
  struct sigaction action {};
  action.sa_handler = StopOnSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  std::signal(SIGPIPE, SIG_IGN);
  server.Run();
  runningServer = nullptr;
  return 0;
}

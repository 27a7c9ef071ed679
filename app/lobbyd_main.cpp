// ombrix-lobbyd: the lobby server. Hosts register their tables over one
// kept connection and get invite codes; lobbies list the public tables and
// join any table by its code, directly or through the server's relay.
//
//   ombrix-lobbyd [--port N] [--bind ADDRESS] [--web-port N | --no-web]
//   ombrix-lobbyd --help | --version
//
// One line on standard error for each table registered and withdrawn;
// SIGINT or SIGTERM stops it. On its web port it serves the web table: a
// host's link "http://SERVER:PORT/+CODE" opens the page, whose WebSocket is
// relayed to the table as a joining lobby's connection is.
#include <sys/resource.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

#include "lobbyd/server.h"
#include "ombrix_build.h"

namespace {

constexpr const char* kUsage = "usage: ombrix-lobbyd [--port N] [--bind ADDRESS] [--web-port N | --no-web]\n";
// The web table's port unless told: the one a host serves it on too.
constexpr int kDefaultWebPort = 7780;

int usage() {
  std::fprintf(stderr, "%s       ombrix-lobbyd --help | --version\n", kUsage);
  return 2;
}

void help() {
  std::printf(
      "%s\n"
      "The Ombrix lobby server. A host registers its table and gets an invite\n"
      "code (\"+\" and seven characters); lobbies list the public tables and join\n"
      "any table by its code, directly when the host can be reached, otherwise\n"
      "through this server's relay.\n\n"
      "  --port N        listen on TCP port N (default %d)\n"
      "  --bind ADDRESS  listen on this address only (default: every IPv6 and\n"
      "                  IPv4 address)\n"
      "  --web-port N    serve the web table on TCP port N (default %d): a\n"
      "                  browser joins a table by its link http://SERVER:N/+CODE\n"
      "  --no-web        no web table\n"
      "  -h, --help      show this text\n"
      "  -v, --version   show the version\n\n"
      "A line on standard error for each table registered and withdrawn;\n"
      "SIGINT or SIGTERM stops it.\n",
      kUsage, ombrix::lobbywire::kDefaultServerPort, kDefaultWebPort);
}

void say(std::string_view line) {
  std::fprintf(stderr, "ombrix-lobbyd: %.*s\n", static_cast<int>(line.size()), line.data());
}

}  // namespace

int main(int argc, char** argv) {
  int port = ombrix::lobbywire::kDefaultServerPort;
  int webPort = kDefaultWebPort;
  bool web = true, webPortGiven = false;
  std::string bind;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--help" || a == "-h") {
      help();
      return 0;
    }
    if (a == "--version" || a == "-v") {
      std::printf("ombrix-lobbyd %s (build %s)\n", OMBRIX_VERSION, OMBRIX_BUILD);
      return 0;
    }
    if (a == "--no-web") {
      web = false;
      continue;
    }
    if (i + 1 >= argc) return usage();
    const std::string value = argv[++i];
    if (a == "--port" || a == "--web-port") {
      char* end = nullptr;
      const long p = std::strtol(value.c_str(), &end, 10);
      if (value.empty() || *end || p < 0 || p > 65535) return usage();
      (a == "--port" ? port : webPort) = static_cast<int>(p);
      webPortGiven = webPortGiven || a == "--web-port";
    } else if (a == "--bind") {
      bind = value;
    } else {
      return usage();
    }
  }
  // Every connection is a descriptor: take all the system allows.
  rlimit files;
  if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
    files.rlim_cur = files.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &files);
  }
  // Signals arrive as a descriptor the loop watches, so the stop runs on the
  // loop like everything else.
  sigset_t stops;
  sigemptyset(&stops);
  sigaddset(&stops, SIGINT);
  sigaddset(&stops, SIGTERM);
  sigprocmask(SIG_BLOCK, &stops, nullptr);
  std::signal(SIGPIPE, SIG_IGN);
  const int sfd = ::signalfd(-1, &stops, SFD_NONBLOCK | SFD_CLOEXEC);
  if (sfd < 0) {
    std::perror("ombrix-lobbyd: signalfd");
    return 1;
  }
  ombrix::lobbyd::Reactor loop;
  ombrix::lobbyd::LobbyServer server(loop, {}, {}, say);
  try {
    server.listen(bind, port);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "ombrix-lobbyd: cannot listen on port %d%s%s: %s\n", port, bind.empty() ? "" : " at ",
                 bind.c_str(), e.what());
    return 1;
  }
  say("listening on port " + std::to_string(server.port()) + (bind.empty() ? "" : " at " + bind));
  const ombrix::webgate::Site site =
      web ? ombrix::webgate::Site::load(ombrix::webgate::webRoot(argv[0]), ombrix::webgate::cardDeck())
          : ombrix::webgate::Site();
  if (web) {
    if (!site.problem().empty()) say("web: " + site.problem());
    try {
      server.listenWeb(bind, webPort, site);
      say("web table on port " + std::to_string(server.webPort()));
    } catch (const std::exception& e) {
      // Asked for: an error. The usual port taken (a host's web table on
      // this machine): the server runs without one, and says so.
      std::fprintf(stderr, "ombrix-lobbyd: %s web port %d: %s\n", webPortGiven ? "cannot listen on" : "no web table:",
                   webPort, e.what());
      if (webPortGiven) return 1;
    }
  }
  loop.watch(sfd, ombrix::lobbyd::Reactor::kReadable, [&loop](int fd, int) {
    signalfd_siginfo info;
    if (::read(fd, &info, sizeof info) > 0) {
      say("stopping");
      loop.stop();
    }
  });
  loop.run();
  return 0;
}

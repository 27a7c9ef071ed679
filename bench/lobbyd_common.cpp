#include "bench/lobbyd_common.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

namespace ombrix::bench {

void die(const std::string& why) {
  std::fprintf(stderr, "lobbyd_bench: %s\n", why.c_str());
  std::exit(1);
}

Process::~Process() {
  if (pid > 0) {
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
  }
}

double Process::cpuSeconds(bool userOnly) const {
  std::ifstream f("/proc/" + std::to_string(pid) + "/stat");
  std::string s((std::istreambuf_iterator<char>(f)), {});
  std::istringstream rest(s.substr(s.rfind(')') + 2));
  std::string field;
  unsigned long utime = 0, stime = 0;
  for (int i = 3; i <= 15 && rest >> field; ++i) {
    if (i == 14) utime = std::stoul(field);
    if (i == 15) stime = std::stoul(field);
  }
  return static_cast<double>(userOnly ? utime : utime + stime) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

long Process::rssKb() const {
  std::ifstream f("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(f, line);)
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  return 0;
}

void startLobbyd(Process& p, const std::string& dir, const std::string& bind, bool web) {
  int pipeFd[2];
  if (::pipe(pipeFd) != 0) die("pipe");
  p.pid = ::fork();
  // Another build of the server may be measured in its place.
  const char* other = std::getenv("OMBRIX_LOBBYD");
  const std::string program = other && *other ? std::string(other) : dir + "ombrix-lobbyd";
  if (p.pid == 0) {
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);  // a benchmark stopped midway leaves nothing running
    ::dup2(pipeFd[1], 2);
    ::closefrom(3);
    std::vector<const char*> args = {"ombrix-lobbyd", "--port", "0"};
    if (!bind.empty()) args.insert(args.end(), {"--bind", bind.c_str()});
    // No web door unless asked for (servers side by side would share its
    // port); a server of another build may know no such option.
    if (web) args.insert(args.end(), {"--web-port", "0"});
    else if (!other || !*other) args.push_back("--no-web");
    args.push_back(nullptr);
    ::execv(program.c_str(), const_cast<char* const*>(args.data()));
    std::_Exit(127);
  }
  ::close(pipeFd[1]);
  FILE* log = ::fdopen(pipeFd[0], "r");
  char line[512];
  while ((!p.port || (web && !p.webPort)) && std::fgets(line, sizeof line, log)) {
    if (const char* s = std::strstr(line, "listening on port ")) p.port = std::atoi(s + 18);
    if (const char* s = std::strstr(line, "web table on port ")) p.webPort = std::atoi(s + 18);
  }
  if (!p.port || (web && !p.webPort)) die("the lobby server did not start");
  if (::fork() == 0) {
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    while (std::fgets(line, sizeof line, log)) {
    }
    std::_Exit(0);
  }
  std::fclose(log);
}

std::string loopback(int group, int n) {
  return "127." + std::to_string(group) + "." + std::to_string(n / 250) + "." + std::to_string(n % 250 + 1);
}

int connectFrom(const std::string& from, int port, const std::string& to, bool must) {
  const bool v6 = to.find(':') != std::string::npos;
  const int fd = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM, 0);
  sockaddr_storage a{};
  socklen_t len;
  auto fill = [&](const std::string& host, int p) {
    a = {};
    if (v6) {
      auto& a6 = reinterpret_cast<sockaddr_in6&>(a);
      a6.sin6_family = AF_INET6;
      a6.sin6_port = htons(static_cast<uint16_t>(p));
      ::inet_pton(AF_INET6, host.c_str(), &a6.sin6_addr);
      len = sizeof a6;
    } else {
      auto& a4 = reinterpret_cast<sockaddr_in&>(a);
      a4.sin_family = AF_INET;
      a4.sin_port = htons(static_cast<uint16_t>(p));
      ::inet_pton(AF_INET, host.c_str(), &a4.sin_addr);
      len = sizeof a4;
    }
  };
  fill(from, 0);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&a), len) != 0) die("bind " + from);
  fill(to, port);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&a), len) != 0) {
    if (must) die("connect from " + from);
    ::close(fd);
    return -1;
  }
  const int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  return fd;
}

void sendAll(int fd, const std::string& s) {
  for (size_t at = 0; at < s.size();) {
    const ssize_t n = ::send(fd, s.data() + at, s.size() - at, MSG_NOSIGNAL);
    if (n <= 0) die("send");
    at += static_cast<size_t>(n);
  }
}

lobbywire::Message readMessage(int fd) {
  std::string line;
  char c;
  while (::recv(fd, &c, 1, 0) == 1 && c != '\n') line.push_back(c);
  auto m = lobbywire::parseLine(line, false);
  if (!m) die("the server said: " + line);
  return *m;
}

lobbywire::Message readUntil(int fd, lobbywire::Op op) {
  for (;;) {
    lobbywire::Message m = readMessage(fd);
    if (m.op == op) return m;
    if (m.op == lobbywire::Op::Error) die("the server refused: " + m.error);
  }
}

int closedPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  ::close(fd);
  return ntohs(a.sin_port);
}

}  // namespace ombrix::bench

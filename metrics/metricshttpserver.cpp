#include "metricshttpserver.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unordered_map>

namespace {

using Clock = std::chrono::steady_clock;

// A page of 255 hosts takes milliseconds to build and write; a flood of scrapes must never take
// the CPU from the pinging. Nice 10 gives way to the pinging threads (about a tenth of the weight);
// at 19 a scrape on a loaded machine (load 6 on 2 cores) waited up to 0.9 s for the CPU, at 10 up
// to 0.16 s (bench/metrics_bench --hostile).
constexpr int ServerNice = 10;
constexpr int AcceptsPerWake = 256;
constexpr int EventsPerWait = 64;

struct TConnection {
  std::string in;
  THttpReply out;
  std::size_t sent = 0;  // bytes of out.head and out.body written so far
  bool writing = false;
  bool peerClosed = false;  // the client shut its sending side; answer what came, then close
  bool waitingIdle = true;  // no byte of the next request yet
  std::uint32_t events = 0;
  Clock::time_point deadline;
};

THttpReply plainReply(const char* status) {
  THttpReply reply;
  const std::string body = std::string(status) + "\n";
  reply.head = std::string("HTTP/1.1 ") + status + "\r\nContent-Type: text/plain\r\nContent-Length: " +
               std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n";
  reply.body = std::make_shared<const std::string>(body);
  return reply;
}

// Closes with a reset (SO_LINGER 0): the client sees "connection refused/reset" at once and the
// socket leaves no TIME_WAIT behind.
void resetAndClose(int fd) {
  const linger reset{1, 0};
  setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
  close(fd);
}

int openListener(const std::string& address, int port, std::string& problem) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(port);
  if (const int code = getaddrinfo(address.c_str(), service.c_str(), &hints, &found)) {
    problem = gai_strerror(code);
    return -1;
  }
  int fd = -1;
  for (addrinfo* at = found; at && fd < 0; at = at->ai_next) {
    fd = socket(at->ai_family, at->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, at->ai_protocol);
    if (fd < 0) {
      problem = std::strerror(errno);
      continue;
    }
    const int on = 1, off = 0;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    // "::" serves IPv4 clients too, as the settings file says.
    if (at->ai_family == AF_INET6) setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off);
    if (bind(fd, at->ai_addr, at->ai_addrlen) != 0 || listen(fd, SOMAXCONN) != 0) {
      problem = std::strerror(errno);
      close(fd);
      fd = -1;
    }
  }
  freeaddrinfo(found);
  if (fd >= 0) problem.clear();
  return fd;
}

// The descriptors the process may open, raised towards wanted within the hard limit.
rlim_t descriptorLimit(rlim_t wanted) {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return 1024;
  if (limit.rlim_cur < wanted) {
    limit.rlim_cur = std::min(wanted, limit.rlim_max);
    setrlimit(RLIMIT_NOFILE, &limit);
    getrlimit(RLIMIT_NOFILE, &limit);
  }
  return limit.rlim_cur;
}

}  // namespace

int TMetricsHttpServer::connectionLimit() const {
  constexpr rlim_t Fewest = 16;
  const rlim_t descriptors = descriptorLimit(MaxConnections + ReservedDescriptors);
  const rlim_t left = descriptors > ReservedDescriptors + Fewest ? descriptors - ReservedDescriptors
                                                                 : Fewest;
  return static_cast<int>(std::min<rlim_t>(left, MaxConnections));
}

struct TMetricsHttpServer::TConnections {
  int epoll = -1;
  // A spare descriptor: when the process has none left, it is given up to accept and reset one
  // waiting client, so the listen queue cannot wake the loop for ever.
  int reserve = -1;
  const THttpAnswer* answer = nullptr;
  std::size_t limit = MaxConnections;
  std::unordered_map<int, TConnection> open;

  void acceptWaiting(int listener);
  void handle(int fd, std::uint32_t events);
  bool advance(int fd, TConnection& c);
  bool readFrom(int fd, TConnection& c);
  // false when the connection failed; sets blocked when the client's window is full.
  bool writeTo(int fd, TConnection& c, bool& blocked);
  void want(int fd, TConnection& c, std::uint32_t events);
  void drop(int fd);
  void sweep(Clock::time_point now);
};

void TMetricsHttpServer::TConnections::acceptWaiting(int listener) {
  for (int i = 0; i < AcceptsPerWake; ++i) {
    const int fd = accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      if ((errno == EMFILE || errno == ENFILE) && reserve >= 0) {
        close(reserve);
        const int refused = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (refused >= 0) resetAndClose(refused);
        reserve = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        continue;
      }
      return;  // EAGAIN: none waiting
    }
    if (open.size() >= limit) {
      resetAndClose(fd);
      continue;
    }
    TConnection& c = open[fd];
    c.deadline = Clock::now() + HeadTimeout;
    c.events = EPOLLIN | EPOLLRDHUP;
    epoll_event event{};
    event.events = c.events;
    event.data.fd = fd;
    if (epoll_ctl(epoll, EPOLL_CTL_ADD, fd, &event) != 0) drop(fd);
  }
}

void TMetricsHttpServer::TConnections::handle(int fd, std::uint32_t events) {
  const auto found = open.find(fd);
  if (found == open.end()) return;
  TConnection& c = found->second;
  bool keep = (events & EPOLLERR) == 0;
  if (keep && !c.writing && (events & (EPOLLIN | EPOLLRDHUP | EPOLLHUP))) keep = readFrom(fd, c);
  if (keep) keep = advance(fd, c);
  if (!keep) drop(fd);
}

bool TMetricsHttpServer::TConnections::readFrom(int fd, TConnection& c) {
  char chunk[4096];
  while (c.in.size() <= MaxHeadBytes) {
    const ssize_t got = recv(fd, chunk, sizeof chunk, 0);
    if (got > 0) {
      if (c.waitingIdle) {
        c.waitingIdle = false;
        c.deadline = std::min(c.deadline, Clock::now() + HeadTimeout);
      }
      c.in.append(chunk, static_cast<std::size_t>(got));
    } else if (got == 0) {
      c.peerClosed = true;
      return true;
    } else if (errno == EINTR) {
      continue;
    } else {
      return errno == EAGAIN || errno == EWOULDBLOCK;
    }
  }
  return true;
}

bool TMetricsHttpServer::TConnections::writeTo(int fd, TConnection& c, bool& blocked) {
  const std::string empty;
  const std::string& body = c.out.body ? *c.out.body : empty;
  const std::size_t total = c.out.head.size() + body.size();
  blocked = false;
  while (c.sent < total) {
    iovec parts[2];
    int count = 0;
    if (c.sent < c.out.head.size())
      parts[count++] = {c.out.head.data() + c.sent, c.out.head.size() - c.sent};
    const std::size_t bodyFrom = c.sent > c.out.head.size() ? c.sent - c.out.head.size() : 0;
    if (bodyFrom < body.size())
      parts[count++] = {const_cast<char*>(body.data()) + bodyFrom, body.size() - bodyFrom};
    msghdr message{};
    message.msg_iov = parts;
    message.msg_iovlen = static_cast<std::size_t>(count);
    const ssize_t wrote = sendmsg(fd, &message, MSG_NOSIGNAL);
    if (wrote > 0) {
      c.sent += static_cast<std::size_t>(wrote);
    } else if (wrote < 0 && errno == EINTR) {
      continue;
    } else {
      blocked = wrote < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
      return blocked;
    }
  }
  return true;
}

bool TMetricsHttpServer::TConnections::advance(int fd, TConnection& c) {
  for (;;) {
    if (c.writing) {
      bool blocked = false;
      if (!writeTo(fd, c, blocked)) return false;
      if (blocked) {
        want(fd, c, EPOLLOUT);
        return true;
      }
      if (!c.out.keepAlive) return false;
      c.writing = false;
      c.out = {};
      c.waitingIdle = c.in.empty();
      c.deadline = Clock::now() + (c.waitingIdle ? std::chrono::seconds(KeepAliveTimeout)
                                                 : std::chrono::seconds(HeadTimeout));
    }
    const std::optional<std::size_t> end = requestHeadEnd(c.in);
    if (!end && c.in.size() <= MaxHeadBytes) {
      if (c.peerClosed) return false;
      want(fd, c, EPOLLIN | EPOLLRDHUP);
      return true;
    }
    if (!end || *end > MaxHeadBytes) {
      c.out = plainReply("431 Request Header Fields Too Large");
    } else {
      const std::optional<THttpRequestHead> request =
          parseRequestHead(std::string_view(c.in).substr(0, *end));
      c.in.erase(0, *end);
      c.out = request ? (*answer)(*request) : plainReply("400 Bad Request");
      if (!request) c.out.keepAlive = false;
    }
    c.sent = 0;
    c.writing = true;
    c.deadline = Clock::now() + WriteTimeout;
  }
}

void TMetricsHttpServer::TConnections::want(int fd, TConnection& c, std::uint32_t events) {
  if (c.events == events) return;
  epoll_event event{};
  event.events = events;
  event.data.fd = fd;
  epoll_ctl(epoll, EPOLL_CTL_MOD, fd, &event);
  c.events = events;
}

void TMetricsHttpServer::TConnections::drop(int fd) {
  epoll_ctl(epoll, EPOLL_CTL_DEL, fd, nullptr);
  close(fd);
  open.erase(fd);
}

void TMetricsHttpServer::TConnections::sweep(Clock::time_point now) {
  for (auto at = open.begin(); at != open.end();) {
    if (at->second.deadline <= now) {
      epoll_ctl(epoll, EPOLL_CTL_DEL, at->first, nullptr);
      resetAndClose(at->first);
      at = open.erase(at);
    } else {
      ++at;
    }
  }
}

TMetricsHttpServer::TMetricsHttpServer(const std::string& address, int port, THttpAnswer answerWith)
    : answer(std::move(answerWith)), connections(std::make_unique<TConnections>()) {
  listener = openListener(address, port, problemText);
  if (listener < 0) return;
  connections->answer = &answer;
  connections->limit = static_cast<std::size_t>(connectionLimit());
  connections->epoll = epoll_create1(EPOLL_CLOEXEC);
  connections->reserve = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  epoll_event event{};
  event.events = EPOLLIN;
  event.data.fd = listener;
  const bool added = connections->epoll >= 0 && wake >= 0 &&
                     epoll_ctl(connections->epoll, EPOLL_CTL_ADD, listener, &event) == 0;
  event.data.fd = wake;
  if (!added || epoll_ctl(connections->epoll, EPOLL_CTL_ADD, wake, &event) != 0) {
    problemText = std::strerror(errno);
    close(listener);
    listener = -1;
    return;
  }
  thread = std::thread([this] { serve(); });
}

TMetricsHttpServer::~TMetricsHttpServer() {
  if (thread.joinable()) {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t wrote = write(wake, &one, sizeof one);
    thread.join();
  }
  for (const auto& [fd, connection] : connections->open) close(fd);
  for (const int fd : {listener, wake, connections->epoll, connections->reserve})
    if (fd >= 0) close(fd);
}

void TMetricsHttpServer::serve() {
  setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), ServerNice);
  epoll_event events[EventsPerWait];
  auto lastSweep = Clock::now();
  for (;;) {
    const int ready = epoll_wait(connections->epoll, events, EventsPerWait,
                                 static_cast<int>(SweepEvery.count()));
    for (int i = 0; i < ready; ++i) {
      const int fd = events[i].data.fd;
      if (fd == wake) return;
      if (fd == listener) connections->acceptWaiting(listener);
      else connections->handle(fd, events[i].events);
    }
    const auto now = Clock::now();
    if (now - lastSweep >= SweepEvery) {
      connections->sweep(now);
      lastSweep = now;
    }
  }
}

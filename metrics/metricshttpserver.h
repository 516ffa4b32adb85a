#pragma once
// The HTTP server of the metrics endpoint: one thread of its own at a low priority (nice 10),
// non-blocking sockets under epoll, so no client can hold up another's scrape.
//
//   1. Every connection has a deadline: HeadTimeout for its request head to arrive whole (counted
//      from the connection, or from the first byte of a later request on a kept-alive one),
//      KeepAliveTimeout while it waits idle between requests, WriteTimeout for the client to take
//      the reply. A connection past its deadline is closed; deadlines are checked every SweepEvery.
//   2. A head longer than MaxHeadBytes gets 431 and is closed.
//   3. Beyond MaxConnections open at once, a new connection is accepted and reset at once, so the
//      client learns it at once instead of waiting in the listen queue. The limit is lower where
//      the process may not open MaxConnections descriptors beside ReservedDescriptors for the
//      rest of the program (the soft limit is raised towards the hard one for that, as Go's
//      runtime does; nothing here uses select()).
//   4. A request's answer comes from the answer function, on this thread; its reply is written out
//      as the client takes it, interleaved with every other connection's.
// Idle and slow clients thus cost a socket and a few hundred bytes each, not a thread.

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "httprequesthead.h"

struct THttpReply {
  std::string head;                         // status line and headers, blank line included
  std::shared_ptr<const std::string> body;  // may be empty (HEAD)
  bool keepAlive = false;
};

using THttpAnswer = std::function<THttpReply(const THttpRequestHead&)>;

class TMetricsHttpServer {
 public:
  static constexpr std::chrono::seconds HeadTimeout{5};
  static constexpr std::chrono::seconds KeepAliveTimeout{30};
  static constexpr std::chrono::seconds WriteTimeout{10};
  static constexpr std::chrono::milliseconds SweepEvery{250};
  static constexpr std::size_t MaxHeadBytes = 8192;
  static constexpr int MaxConnections = 1000;
  static constexpr int ReservedDescriptors = 512;

  // Listens on address (a numeric address or a name) and port, and serves until destroyed.
  TMetricsHttpServer(const std::string& address, int port, THttpAnswer answer);
  ~TMetricsHttpServer();  // stops the thread and closes every connection
  TMetricsHttpServer(const TMetricsHttpServer&) = delete;
  TMetricsHttpServer& operator=(const TMetricsHttpServer&) = delete;

  bool listening() const { return listener >= 0; }
  // Why it is not listening (the system's words: "Address already in use"); empty while it is.
  const std::string& problem() const { return problemText; }
  // How many connections may be open at once (MaxConnections or fewer, see above).
  int connectionLimit() const;

 private:
  struct TConnections;

  void serve();

  THttpAnswer answer;
  int listener = -1;
  int wake = -1;  // eventfd: written once to stop the thread
  std::string problemText;
  std::unique_ptr<TConnections> connections;
  std::thread thread;
};

// The endpoint's own HTTP server against hostile clients on 127.0.0.1: idle and slow connections
// never hold up a scrape, a slow head is cut off, connections beyond the limit are refused at
// once; and the request heads it reads, gzip replies included.

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

#include "core/tolvohosts.h"
#include "metrics/httprequesthead.h"
#include "metrics/metricshttpserver.h"
#include "metrics/metricsservice.h"
#include "metrics/scrapesupport.h"

namespace {

using Clock = std::chrono::steady_clock;

TEST(HttpRequestHead, KeepAliveGzipAndBadRequestLines) {
  EXPECT_EQ(requestHeadEnd("GET / HTTP/1.1\r\nHost: a\r\n"), std::nullopt);
  EXPECT_EQ(requestHeadEnd("GET / HTTP/1.1\r\n\r\nGET"), 18u);
  EXPECT_EQ(requestHeadEnd("GET / HTTP/1.0\n\n"), 16u);

  struct Case { const char* head; bool keepAlive; bool gzip; };
  for (const Case& c : {Case{"GET /metrics HTTP/1.1\r\n\r\n", true, false},
                        Case{"GET /metrics HTTP/1.0\r\n\r\n", false, false},
                        Case{"GET /metrics HTTP/1.0\r\nConnection: Keep-Alive\r\n\r\n", true, false},
                        Case{"GET /metrics HTTP/1.1\r\nconnection: close\r\n\r\n", false, false},
                        Case{"GET /metrics HTTP/1.1\r\nAccept-Encoding: gzip\r\n\r\n", true, true},
                        Case{"GET /metrics HTTP/1.1\r\nAccept-Encoding: br, GZIP;q=0.5\r\n\r\n", true, true},
                        Case{"GET /metrics HTTP/1.1\r\nAccept-Encoding: gzip;q=0\r\n\r\n", true, false},
                        Case{"GET /metrics HTTP/1.1\r\nAccept-Encoding: x-gzip2\r\n\r\n", true, false},
                        Case{"GET /metrics HTTP/1.1\r\nContent-Length: 5\r\n\r\n", false, false}}) {
    const auto request = parseRequestHead(c.head);
    ASSERT_TRUE(request) << c.head;
    EXPECT_EQ(request->target, "/metrics");
    EXPECT_EQ(request->keepAlive, c.keepAlive) << c.head;
    EXPECT_EQ(request->acceptsGzip, c.gzip) << c.head;
  }
  for (const char* bad : {"GET /metrics\r\n\r\n", "GET HTTP/1.1\r\n\r\n", " / HTTP/1.1\r\n\r\n",
                          "GET /a b HTTP/1.1\r\n\r\n", "GET / HTTP/2\r\n\r\n", "\r\n\r\n"})
    EXPECT_FALSE(parseRequestHead(bad)) << bad;
}

std::string gunzip(const std::string& body) {
  z_stream stream{};
  inflateInit2(&stream, 15 + 16);
  std::string out(body.size() * 40 + 1024, '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(body.data()));
  stream.avail_in = static_cast<uInt>(body.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  const int result = inflate(&stream, Z_FINISH);
  out.resize(stream.total_out);
  inflateEnd(&stream);
  return result == Z_STREAM_END ? out : std::string();
}

// Whether the server closed (or reset) the connection within limitMs.
bool closedWithin(int fd, int limitMs) {
  pollfd watched{fd, POLLIN, 0};
  if (poll(&watched, 1, limitMs) <= 0) return false;
  char some[256];
  return recv(fd, some, sizeof some, MSG_DONTWAIT) <= 0;
}

// A GET of /metrics with the given extra header lines; the reply's head and body.
std::pair<std::string, std::string> get(int port, const std::string& headers) {
  const int fd = scrape::connectTo(port);
  if (fd < 0) return {};
  const std::string request = "GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\n" + headers +
                              "Connection: close\r\n\r\n";
  send(fd, request.data(), request.size(), MSG_NOSIGNAL);
  std::string reply;
  char chunk[65536];
  for (int round = 0; round < 1000; ++round) {
    pollfd watched{fd, POLLIN, 0};
    if (poll(&watched, 1, 2000) <= 0) break;
    const ssize_t got = recv(fd, chunk, sizeof chunk, 0);
    if (got <= 0) break;
    reply.append(chunk, static_cast<std::size_t>(got));
  }
  close(fd);
  const std::size_t body = reply.find("\r\n\r\n");
  if (body == std::string::npos) return {reply, ""};
  return {reply.substr(0, body), reply.substr(body + 4)};
}

TEST(MetricsEndpoint, IdleAndSlowClientsNeverHoldUpAScrape) {
  rlimit limit{};
  getrlimit(RLIMIT_NOFILE, &limit);
  if (limit.rlim_max < 4096) GTEST_SKIP() << "needs 4096 descriptors, the hard limit is lower";
  limit.rlim_cur = limit.rlim_max;
  setrlimit(RLIMIT_NOFILE, &limit);

  TTolvoHosts hosts;
  hosts.echoService = [](const std::string&, std::int32_t) { return TEchoOutcome{}; };
  for (int i = 1; i <= TTolvoHosts::MaxHosts; ++i) {
    std::unique_ptr<TTolvoHost> host = hosts.newHost();
    host->callingName = "h" + std::to_string(i);
    host->ipAddress = "10.2.0." + std::to_string(i);
    hosts.appendHost(host);
  }
  const int port = scrape::freePort();
  TMetricsService service(hosts, {true, "127.0.0.1", port});
  ASSERT_TRUE(service.listening()) << service.problem();
  const auto opened = Clock::now();

  std::vector<int> idle, slow;
  for (int i = 0; i < 500; ++i) idle.push_back(scrape::connectTo(port));
  for (int i = 0; i < 20; ++i) {
    slow.push_back(scrape::connectTo(port));
    send(slow.back(), "GET /metrics HTTP/1.1\r\n", 23, MSG_NOSIGNAL);
  }
  ASSERT_EQ(std::count(idle.begin(), idle.end(), -1) + std::count(slow.begin(), slow.end(), -1), 0);
  // The slow ones send a header line every half second (for at most 10 s).
  std::atomic<bool> stop{false};
  std::thread trickle([&] {
    for (int round = 0; round < 20 && !stop; ++round) {
      for (const int fd : slow) send(fd, "X-Slow: 1\r\n", 11, MSG_NOSIGNAL);
      std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
  });

  for (int round = 0; round < 3; ++round) {
    const auto before = Clock::now();
    const auto page = scrape::httpGet(port, "/metrics", 3000);
    const auto took = Clock::now() - before;
    ASSERT_TRUE(page) << "round " << round;
    EXPECT_EQ(scrape::sample(*page, "sorvelo_hosts"), TTolvoHosts::MaxHosts);
    EXPECT_LT(took, std::chrono::seconds(1)) << "round " << round;
  }
  // gzip when asked for, the same page inside.
  const auto [head, body] = get(port, "Accept-Encoding: gzip\r\n");
  EXPECT_NE(head.find("Content-Encoding: gzip"), std::string::npos) << head;
  EXPECT_EQ(scrape::sample(gunzip(body), "sorvelo_hosts"), TTolvoHosts::MaxHosts);

  // Beyond the limit a connection is accepted and reset at once.
  std::vector<int> extra;
  for (int i = 0; i < TMetricsHttpServer::MaxConnections; ++i) extra.push_back(scrape::connectTo(port));
  EXPECT_TRUE(closedWithin(extra.back(), 1000)) << "the connection over the limit was kept";

  // A head still arriving after HeadTimeout is cut off, and so are the idle ones.
  std::this_thread::sleep_until(opened + TMetricsHttpServer::HeadTimeout +
                                2 * TMetricsHttpServer::SweepEvery);
  const auto cutBy = opened + TMetricsHttpServer::HeadTimeout + std::chrono::seconds(2);
  for (const int fd : slow) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(cutBy - Clock::now());
    EXPECT_TRUE(closedWithin(fd, std::max<int>(0, static_cast<int>(left.count()))));
  }
  EXPECT_TRUE(closedWithin(idle.front(), 1000));
  stop = true;
  trickle.join();
  for (const auto* group : {&idle, &slow, &extra})
    for (const int fd : *group)
      if (fd >= 0) close(fd);
  EXPECT_TRUE(scrape::httpGet(port, "/metrics", 3000));
}

}  // namespace

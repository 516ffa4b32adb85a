// The cost of the metrics endpoint with 255 hosts, every host's histogram filled.
//
//   build/bench/metrics_bench                   page building alone (ours and prometheus-cpp's
//                                               serializer), and one whole scrape over HTTP on
//                                               127.0.0.1 (connect, request, full reply)
//   build/bench/metrics_bench --scrape PORT RATE SECONDS
//                                               scrapes http://127.0.0.1:PORT/metrics at RATE per
//                                               second for SECONDS (bounded: at most RATE x SECONDS
//                                               scrapes), and prints how many succeeded and their
//                                               mean and worst time; bench/headless_bench.sh runs
//                                               this against the program and reads its CPU time.
//   build/bench/metrics_bench --hostile SECONDS
//                                               serves 255 hosts and scrapes them 10 times a second
//                                               for SECONDS while 500 idle connections and 20 slow
//                                               senders (a header line every half second) are held
//                                               open, reopened as the server cuts them off; prints
//                                               the scrape latency p50, p99 and worst.

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <prometheus/text_serializer.h>

#include <chrono>
#include <algorithm>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "core/tolvohosts.h"
#include "metrics/metricsobserver.h"
#include "metrics/metricspage.h"
#include "metrics/metricsregistry.h"
#include "metrics/metricshttphandler.h"
#include "metrics/metricsservice.h"

namespace {

using SteadyClock = std::chrono::steady_clock;

// 255 hosts, each with answered and lost echoes and round trips spread over the buckets.
void fill(TTolvoHosts& hosts) {
  hosts.echoService = [](const std::string&, std::int32_t) { return TEchoOutcome{}; };
  for (int i = 1; i <= TTolvoHosts::MaxHosts; ++i) {
    std::unique_ptr<TTolvoHost> host = hosts.newHost();
    host->callingName = "host-" + std::to_string(i);
    host->ipAddress = "127.0.0." + std::to_string(i);
    hosts.appendHost(host);
  }
}

void feed(TTolvoHosts& hosts) {
  for (int slot = 1; slot <= TTolvoHosts::MaxHosts; ++slot) {
    TTolvoHost& host = *hosts.hostAt(slot);
    for (std::int64_t rtt = 50; rtt < 20'000'000; rtt *= 3) hosts.events().echoResult(host, {0, true, rtt});
    hosts.events().echoResult(host, {0, false, -1});
    hosts.events().hostStatusChanged(host, hsOk);
  }
  hosts.events().connectionChanged(csUp);
}

// One HTTP/1.0 GET; the number of bytes of the reply, 0 on failure.
std::size_t scrapeOnce(int port, bool gzip = false) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<std::uint16_t>(port));
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::size_t total = 0;
  if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0) {
    const std::string request = std::string("GET /metrics HTTP/1.0\r\nHost: 127.0.0.1\r\n") +
                                (gzip ? "Accept-Encoding: gzip\r\n" : "") + "\r\n";
    if (send(fd, request.data(), request.size(), MSG_NOSIGNAL) > 0) {
      char chunk[65536];
      ssize_t got;
      while ((got = recv(fd, chunk, sizeof chunk, 0)) > 0) total += static_cast<std::size_t>(got);
    }
  }
  if (fd >= 0) close(fd);
  return total;
}

void BM_Collect255Hosts(benchmark::State& state) {
  TTolvoHosts hosts;
  fill(hosts);
  auto registry = std::make_shared<TMetricsRegistry>("1");
  TMetricsObserver observer(hosts, registry);
  feed(hosts);
  for (auto _ : state) benchmark::DoNotOptimize(registry->Collect());
}
BENCHMARK(BM_Collect255Hosts)->Unit(benchmark::kMicrosecond);

void BM_RenderPage255Hosts(benchmark::State& state) {
  TTolvoHosts hosts;
  fill(hosts);
  auto registry = std::make_shared<TMetricsRegistry>("1");
  TMetricsObserver observer(hosts, registry);
  feed(hosts);
  std::size_t bytes = 0;
  for (auto _ : state) {
    bytes = renderMetricsPage(registry->Collect()).size();
    benchmark::DoNotOptimize(bytes);
  }
  state.counters["page_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_RenderPage255Hosts)->Unit(benchmark::kMicrosecond);

// For comparison: the same page through prometheus-cpp's text serializer.
void BM_LibrarySerializer255Hosts(benchmark::State& state) {
  TTolvoHosts hosts;
  fill(hosts);
  auto registry = std::make_shared<TMetricsRegistry>("1");
  TMetricsObserver observer(hosts, registry);
  feed(hosts);
  std::size_t bytes = 0;
  for (auto _ : state) {
    bytes = prometheus::TextSerializer().Serialize(registry->Collect()).size();
    benchmark::DoNotOptimize(bytes);
  }
  state.counters["page_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_LibrarySerializer255Hosts)->Unit(benchmark::kMicrosecond);

void BM_Scrape255HostsOverHttp(benchmark::State& state) {
  TTolvoHosts hosts;
  fill(hosts);
  const int port = 10427 + 1000 + static_cast<int>(getpid() % 1000);
  TMetricsService service(hosts, {true, "127.0.0.1", port});
  if (!service.listening()) {
    state.SkipWithError(service.problem().c_str());
    return;
  }
  feed(hosts);
  std::size_t bytes = 0;
  timespec before{}, after{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &before);
  for (auto _ : state) {
    bytes = scrapeOnce(port, state.range(0) != 0);
    state.PauseTiming();
    std::this_thread::sleep_for(TMetricsHttpHandler::PageReuse);
    state.ResumeTiming();
  }
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &after);
  const double cpuMs = static_cast<double>(after.tv_sec - before.tv_sec) * 1e3 +
                       static_cast<double>(after.tv_nsec - before.tv_nsec) / 1e6;
  // Server and client together: the client's part is the CPU column.
  state.counters["process_cpu_ms_per_scrape"] = cpuMs / static_cast<double>(state.iterations());
  state.counters["reply_bytes"] = static_cast<double>(bytes);
}
// Each scrape comes after the page's reuse time, so every one builds a fresh page. Argument 1:
// the scraper accepts gzip, as Prometheus does, and gets the page compressed.
BENCHMARK(BM_Scrape255HostsOverHttp)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond)->UseRealTime();

int pacedScrapes(int port, int rate, int seconds) {
  if (port < 1 || port > 65535 || rate < 1 || rate > 100000 || seconds < 1 || seconds > 600) {
    std::fprintf(stderr, "metrics_bench: --scrape PORT RATE SECONDS (RATE 1-100000, SECONDS 1-600)\n");
    return 2;
  }
  const auto period = std::chrono::nanoseconds(1'000'000'000 / rate);
  const auto start = SteadyClock::now();
  const long planned = static_cast<long>(rate) * seconds;
  long succeeded = 0;
  double totalMs = 0, worstMs = 0;
  for (long i = 0; i < planned; ++i) {
    std::this_thread::sleep_until(start + i * period);
    const auto before = SteadyClock::now();
    if (scrapeOnce(port) > 0) ++succeeded;
    const double ms = std::chrono::duration<double, std::milli>(SteadyClock::now() - before).count();
    totalMs += ms;
    if (ms > worstMs) worstMs = ms;
  }
  const double wall = std::chrono::duration<double>(SteadyClock::now() - start).count();
  std::printf("scrapes=%ld ok=%ld rate=%.1f/s mean_ms=%.3f worst_ms=%.3f\n", planned, succeeded,
              static_cast<double>(planned) / wall, totalMs / static_cast<double>(planned), worstMs);
  return succeeded == planned ? 0 : 1;
}

int connectTo(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<std::uint16_t>(port));
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0) return fd;
  if (fd >= 0) close(fd);
  return -1;
}

// Idle and slow connections kept open: each one the server has closed is opened again.
struct THostileLoad {
  int port;
  std::vector<int> idle = std::vector<int>(500, -1);
  std::vector<int> slow = std::vector<int>(20, -1);
  int reopened = 0;

  void refill() {
    for (auto* group : {&idle, &slow})
      for (int& fd : *group) {
        pollfd watched{fd, POLLIN, 0};
        char some[64];
        if (fd >= 0 && (poll(&watched, 1, 0) == 0 || recv(fd, some, sizeof some, MSG_DONTWAIT) > 0))
          continue;
        if (fd >= 0) {
          close(fd);
          ++reopened;
        }
        fd = connectTo(port);
        if (fd >= 0 && group == &slow) send(fd, "GET /metrics HTTP/1.1\r\n", 23, MSG_NOSIGNAL);
      }
  }
  void trickle() const {
    for (const int fd : slow)
      if (fd >= 0) send(fd, "X-Slow: 1\r\n", 11, MSG_NOSIGNAL);
  }
  ~THostileLoad() {
    for (auto* group : {&idle, &slow})
      for (const int fd : *group)
        if (fd >= 0) close(fd);
  }
};

int hostileScrapes(int seconds) {
  if (seconds < 1 || seconds > 600) {
    std::fprintf(stderr, "metrics_bench: --hostile SECONDS (1-600)\n");
    return 2;
  }
  rlimit limit{};
  getrlimit(RLIMIT_NOFILE, &limit);
  limit.rlim_cur = std::max<rlim_t>(limit.rlim_cur, std::min<rlim_t>(limit.rlim_max, 4096));
  setrlimit(RLIMIT_NOFILE, &limit);
  TTolvoHosts hosts;
  fill(hosts);
  const int port = 10427 + 2000 + static_cast<int>(getpid() % 1000);
  TMetricsService service(hosts, {true, "127.0.0.1", port});
  if (!service.listening()) {
    std::fprintf(stderr, "metrics_bench: %s\n", service.problem().c_str());
    return 1;
  }
  feed(hosts);
  THostileLoad load{port};
  load.refill();
  std::vector<double> ms;
  int failed = 0;
  const auto start = SteadyClock::now();
  for (int i = 0; i < seconds * 10; ++i) {
    std::this_thread::sleep_until(start + i * std::chrono::milliseconds(100));
    if (i % 5 == 0) load.trickle();
    load.refill();
    const auto before = SteadyClock::now();
    if (scrapeOnce(port) == 0) ++failed;
    ms.push_back(std::chrono::duration<double, std::milli>(SteadyClock::now() - before).count());
  }
  std::sort(ms.begin(), ms.end());
  const auto at = [&](double share) {
    return ms[static_cast<std::size_t>(share * static_cast<double>(ms.size() - 1))];
  };
  std::printf("hostile load: 500 idle + 20 slow connections held (%d reopened); scrapes=%zu "
              "failed=%d p50_ms=%.2f p99_ms=%.2f worst_ms=%.2f\n",
              load.reopened, ms.size(), failed, at(0.5), at(0.99), ms.back());
  return failed == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::string(argv[1]) == "--scrape")
    return pacedScrapes(std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]));
  if (argc == 3 && std::string(argv[1]) == "--hostile") return hostileScrapes(std::atoi(argv[2]));
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

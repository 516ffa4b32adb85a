// The host engine's costs.
//
//   hosts_bench --echo-seconds=20   255 hosts on 127.0.0.1..255 pinged over loopback through the real
//                                   scheduler and workers (interval 3: each host due every 4
//                                   seconds): echoes per second and CPU seconds per 1,000 echoes
//   hosts_bench --idle-seconds=10   255 workers with nothing to do: CPU share of one core
//   hosts_bench --rtt-echoes=500    round-trip accuracy while both cores are busy: echoes to
//                                   127.0.0.1 every 10 ms with two threads spinning, the program's
//                                   figure (TPing::ReplyMicros) against the kernel's receive time
//                                   stamps of the request and the reply on loopback (seen by a raw
//                                   socket of its own); run it in a private namespace as root:
//                                   unshare -n sh -c 'ip link set lo up; build/bench/hosts_bench
//                                   --rtt-echoes=500'
//   hosts_bench                     both of the above (20 s and 10 s), then the Google Benchmark
//                                   cases: one connection evaluation and one scheduler tick over
//                                   255 hosts
// Any argument Google Benchmark knows (--benchmark_filter=...) is passed on to it; a time of 0
// leaves that measurement out. The echoes need root (raw ICMP sockets) or a ping_group_range that
// admits the user; they go to loopback only.

#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/tolvohosts.h"
#include "icmp/ping.h"

namespace {

using SteadyClock = std::chrono::steady_clock;

// The whole process, or (RUSAGE_THREAD) the calling thread only: the scheduler runs on the main
// thread, so the process less the main thread is what the echo service and the worker loops cost.
double cpuSeconds(int who = RUSAGE_SELF) {
  rusage usage{};
  getrusage(who, &usage);
  auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

void fillLoopbackHosts(TTolvoHosts& list, std::int32_t interval) {
  for (int x = 1; x <= TTolvoHosts::MaxHosts; ++x) {
    auto host = list.newHost();
    host->hostName = host->ipAddress = host->callingName = "127.0.0." + std::to_string(x);
    host->timeout = 2000;
    host->interval = interval;
    list.appendHost(host);
  }
}

// The run control's fastest speed: a tick every 20 ms, four passes per tick.
void runTicks(TTolvoHosts& list, double seconds) {
  constexpr auto TickPeriod = std::chrono::milliseconds(20);
  const auto end = SteadyClock::now() + std::chrono::duration<double>(seconds);
  auto next = SteadyClock::now();
  while (SteadyClock::now() < end) {
    for (int i = 0; i < 4; ++i) list.schedulerPass();
    next += TickPeriod;
    std::this_thread::sleep_until(next);
  }
}

void measureEchoes(double seconds) {
  TTolvoHosts list;
  fillLoopbackHosts(list, 3);
  // One round first, so all 255 workers exist and their start-up is not counted.
  runTicks(list, 2.0);
  const std::int64_t pingsBefore = list.totalPings();
  const double cpuBefore = cpuSeconds();
  const double schedulerBefore = cpuSeconds(RUSAGE_THREAD);
  const auto start = SteadyClock::now();
  runTicks(list, seconds);
  const double wall = std::chrono::duration<double>(SteadyClock::now() - start).count();
  const double cpu = cpuSeconds() - cpuBefore;
  const double workers = cpu - (cpuSeconds(RUSAGE_THREAD) - schedulerBefore);
  const auto echoes = static_cast<std::int32_t>(list.totalPings() - pingsBefore);
  std::int32_t failed = 0;
  for (int slot = 1; slot <= TTolvoHosts::MaxHosts; ++slot) failed += list.hostAt(slot)->failedCount;
  const auto per1000 = [echoes](double s) { return echoes > 0 ? s * 1000.0 / echoes : 0.0; };
  std::printf(
      "sorvelo: rate=%.1f/s echoes=%d failed=%d cpu_s=%.3f cpu_s_per_1000=%.4f "
      "workers_cpu_s_per_1000=%.4f\n",
      echoes / wall, echoes, failed, cpu, per1000(cpu), per1000(workers));
}

void measureIdle(double seconds) {
  TManualClock clock(encodeDateTime(2026, 1, 10));
  TTolvoHosts list(clock);
  fillLoopbackHosts(list, 3);
  // Each host's first step starts its worker; the manual clock never moves, so none is ever due.
  for (int i = 0; i < TTolvoHosts::MaxHosts; ++i) list.schedulerPass();
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  const double cpuBefore = cpuSeconds();
  const auto start = SteadyClock::now();
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  const double wall = std::chrono::duration<double>(SteadyClock::now() - start).count();
  const double cpu = cpuSeconds() - cpuBefore;
  std::printf("idle: workers=%d seconds=%.1f cpu_s=%.4f share_of_one_core=%.3f%%\n",
              list.hostCount(), wall, cpu, 100.0 * cpu / wall);
}

// 255 hosts whose 500-entry histories are full, half of them up.
std::unique_ptr<TTolvoHosts> hostsWithFullHistories(const TClock& clock) {
  auto list = std::make_unique<TTolvoHosts>(clock);
  fillLoopbackHosts(*list, 3);
  for (int slot = 1; slot <= TTolvoHosts::MaxHosts; ++slot) {
    TTolvoHost* host = list->hostAt(slot);
    const bool up = slot % 2 == 0;
    for (int i = 0; i < TTolvoHost::HistorySize; ++i) host->addResult({true, up, clock.now(), 1});
    (up ? host->succeededCount : host->failedCount) = 250;
  }
  return list;
}

void BM_EvaluateConnection(benchmark::State& state) {
  TManualClock clock(encodeDateTime(2026, 1, 10));
  auto list = hostsWithFullHistories(clock);
  for (auto _ : state) benchmark::DoNotOptimize(list->evaluateConnection());
}
BENCHMARK(BM_EvaluateConnection);

// A tick of four passes over 255 hosts whose workers are running and idle (none is due).
void BM_SchedulerTick(benchmark::State& state) {
  TManualClock clock(encodeDateTime(2026, 1, 10));
  TTolvoHosts list(clock);
  fillLoopbackHosts(list, 3);
  for (int i = 0; i < TTolvoHosts::MaxHosts; ++i) list.schedulerPass();
  for (auto _ : state)
    for (int i = 0; i < 4; ++i) list.schedulerPass();
}
BENCHMARK(BM_SchedulerTick);

// The kernel's receive stamps of every ICMP echo request and reply on loopback, in order.
struct TStampSniffer {
  int fd = socket(AF_INET, SOCK_RAW, IPPROTO_ICMP);
  std::atomic<bool> stop{false};
  std::vector<std::int64_t> requests, replies;  // nanoseconds

  void run() {
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
    while (!stop) {
      pollfd watched{fd, POLLIN, 0};
      if (poll(&watched, 1, 50) <= 0) continue;
      std::uint8_t packet[256];
      alignas(cmsghdr) char control[128];
      iovec part{packet, sizeof packet};
      msghdr message{};
      message.msg_iov = &part;
      message.msg_iovlen = 1;
      message.msg_control = control;
      message.msg_controllen = sizeof control;
      const ssize_t length = recvmsg(fd, &message, 0);
      if (length < 28) continue;
      const std::size_t ihl = static_cast<std::size_t>(packet[0] & 0x0F) * 4;
      timespec stamp{};
      for (cmsghdr* c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c))
        if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS)
          std::memcpy(&stamp, CMSG_DATA(c), sizeof stamp);
      const std::int64_t ns = stamp.tv_sec * 1'000'000'000LL + stamp.tv_nsec;
      if (packet[ihl] == 8) requests.push_back(ns);
      if (packet[ihl] == 0) replies.push_back(ns);
    }
  }
};

void measureRoundTripAccuracy(int echoes) {
  TStampSniffer sniffer;
  if (sniffer.fd < 0) {
    std::printf("rtt: needs root (a raw socket sees the kernel's stamps)\n");
    return;
  }
  std::thread sniffing([&] { sniffer.run(); });
  std::atomic<bool> spin{true};
  std::vector<std::thread> busy;
  for (int i = 0; i < 2; ++i)
    busy.emplace_back([&] {
      volatile std::uint64_t n = 0;
      while (spin) n = n + 1;
    });
  std::vector<std::int64_t> program;
  {
    TPing ping;
    ping.setAddress("127.0.0.1");
    ping.setTimeout(1000);
    for (int i = 0; i < echoes; ++i) {
      program.push_back(ping.Ping() == 1 ? ping.ReplyMicros() * 1000 : -1);
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  spin = false;
  sniffer.stop = true;
  for (auto& t : busy) t.join();
  sniffing.join();
  close(sniffer.fd);
  std::vector<double> errorsUs, kernelUs, programUs;
  const std::size_t n = std::min({program.size(), sniffer.requests.size(), sniffer.replies.size()});
  for (std::size_t i = 0; i < n; ++i) {
    if (program[i] < 0) continue;
    const double kernel = static_cast<double>(sniffer.replies[i] - sniffer.requests[i]) / 1000.0;
    const double ours = static_cast<double>(program[i]) / 1000.0;
    kernelUs.push_back(kernel);
    programUs.push_back(ours);
    errorsUs.push_back(std::fabs(ours - kernel));
  }
  auto quantile = [](std::vector<double> v, double q) {
    if (v.empty()) return 0.0;
    std::sort(v.begin(), v.end());
    return v[static_cast<std::size_t>(q * static_cast<double>(v.size() - 1))];
  };
  std::printf(
      "rtt: echoes=%zu kernel_median_us=%.1f program_median_us=%.1f error_median_us=%.1f "
      "error_p99_us=%.1f error_max_us=%.1f\n",
      errorsUs.size(), quantile(kernelUs, 0.5), quantile(programUs, 0.5), quantile(errorsUs, 0.5),
      quantile(errorsUs, 0.99), quantile(errorsUs, 1.0));
}

double secondsOption(int& argc, char** argv, const char* name, double fallback) {
  const std::string prefix = std::string("--") + name + "=";
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], prefix.c_str(), prefix.size()) != 0) continue;
    const double value = std::atof(argv[i] + prefix.size());
    for (int j = i; j < argc - 1; ++j) argv[j] = argv[j + 1];
    --argc;
    return value < 0 ? 0 : (value > 600 ? 600 : value);
  }
  return fallback;
}

}  // namespace

int main(int argc, char** argv) {
  const bool onlyOne = argc > 1;
  const double echoSeconds = secondsOption(argc, argv, "echo-seconds", onlyOne ? 0 : 20);
  const double idleSeconds = secondsOption(argc, argv, "idle-seconds", onlyOne ? 0 : 10);
  const double rttEchoes = secondsOption(argc, argv, "rtt-echoes", 0);
  if (rttEchoes > 0) measureRoundTripAccuracy(static_cast<int>(rttEchoes));
  if (echoSeconds > 0) measureEchoes(echoSeconds);
  if (idleSeconds > 0) measureIdle(idleSeconds);
  std::fflush(stdout);
  if (onlyOne && argc == 1) return 0;  // only timed measurements were asked for
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

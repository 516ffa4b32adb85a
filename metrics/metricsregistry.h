#pragma once
// The series of the metrics endpoint, kept so that the HTTP server's threads can read them while
// the interface thread updates them: every member is guarded by one lock, held only to copy or to
// change a few numbers, never while a page is written.
//
//   sorvelo_host_up{host,address}                      1 up, 0 down; absent while unknown
//   sorvelo_echoes_total{host,address,result}          result="answered" or "lost"
//   sorvelo_echo_rtt_seconds{host,address}             histogram of answered round trips
//   sorvelo_connection_up                              the overall verdict; absent while unknown
//   sorvelo_hosts                                      hosts in the list
//   sorvelo_build_info{version}                        always 1
//   sorvelo_path_hops{host}                            hops of the host's last path round
//   sorvelo_path_hop_rtt_seconds{host,hop,address}     round trip of each answering hop then
//   sorvelo_path_changes_total{host}                   route changes seen since the start
// (the path series only for hosts whose path is traced; host is the host's calling name as its
// other series have it, its address while it has none there)
//
// Hosts are keyed by the engine's run id, so a rename keeps its counts. Label values may hold any
// bytes (host names come from a hand-editable file): the page escapes quotes, backslashes and line
// feeds (metricspage.h); bytes that are not UTF-8 are taken as Latin-1 here, since a scraper
// rejects the whole page for one invalid UTF-8 label.

#include <prometheus/collectable.h>
#include <prometheus/metric_family.h>

#include <array>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class TMetricsRegistry final : public prometheus::Collectable {
 public:
  // Upper bounds of the round-trip buckets: 100 microseconds to 10 seconds, 1-2-5 per decade.
  static constexpr std::array<double, 16> RttBucketsSeconds = {
      0.0001, 0.0002, 0.0005, 0.001, 0.002, 0.005, 0.01, 0.02,
      0.05,   0.1,    0.2,    0.5,   1.0,   2.0,   5.0,  10.0};

  explicit TMetricsRegistry(std::string version);

  // Adds the host, or gives it new labels and keeps its counts.
  void setHost(std::uint64_t id, const std::string& host, const std::string& address);
  void removeHost(std::uint64_t id);
  // rttMicros below 0 counts the echo without a round trip.
  void countEcho(std::uint64_t id, bool answered, std::int64_t rttMicros);
  void setHostUp(std::uint64_t id, bool up);
  void setConnectionUp(bool up);

  struct TPathHop {
    int hop = 0;
    std::string address;  // "" when lost: no round-trip series then
    double rttSeconds = 0;
  };
  // The last path round of the host at `address` and its route changes so far.
  void setPath(const std::string& address, std::vector<TPathHop> hops, std::uint64_t changes);

  std::vector<prometheus::MetricFamily> Collect() const override;

 private:
  struct THostSeries {
    std::string host;
    std::string address;
    std::optional<bool> up;
    std::uint64_t answered = 0;
    std::uint64_t lost = 0;
    std::array<std::uint64_t, RttBucketsSeconds.size()> inBucket{};  // not cumulative
    std::uint64_t rttCount = 0;
    double rttSumSeconds = 0;
  };

  mutable std::mutex lock;
  std::map<std::uint64_t, THostSeries> hosts;
  std::optional<bool> connectionUp;
  struct TPathSeries {
    std::vector<TPathHop> hops;
    std::uint64_t changes = 0;
  };
  std::map<std::string, TPathSeries> paths;  // by the host's address
  const std::string version;
};

// The bytes as UTF-8: valid sequences kept, every other byte taken as a Latin-1 character.
std::string utf8LabelText(const std::string& bytes);

#include "metricsregistry.h"

#include <algorithm>
#include <limits>
#include <set>
#include <utility>

namespace {

using prometheus::ClientMetric;
using prometheus::MetricFamily;
using prometheus::MetricType;

// Length of the valid UTF-8 sequence at `at`, or 0 (overlong forms, surrogates and code points
// above U+10FFFF are not valid).
std::size_t utf8SequenceAt(const std::string& s, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char lead = byte(at);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  unsigned low = 0x80, high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) length = 2;
  else if (lead == 0xE0) length = 3, low = 0xA0;
  else if (lead == 0xED) length = 3, high = 0x9F;
  else if (lead >= 0xE1 && lead <= 0xEF) length = 3;
  else if (lead == 0xF0) length = 4, low = 0x90;
  else if (lead == 0xF4) length = 4, high = 0x8F;
  else if (lead >= 0xF1 && lead <= 0xF3) length = 4;
  else return 0;
  if (at + length > s.size()) return 0;
  if (byte(at + 1) < low || byte(at + 1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i)
    if (byte(at + i) < 0x80 || byte(at + i) > 0xBF) return 0;
  return length;
}

ClientMetric withLabels(std::vector<ClientMetric::Label> labels) {
  ClientMetric metric;
  metric.label = std::move(labels);
  return metric;
}

MetricFamily family(const char* name, const char* help, MetricType type) {
  MetricFamily f;
  f.name = name;
  f.help = help;
  f.type = type;
  return f;
}

}  // namespace

std::string utf8LabelText(const std::string& bytes) {
  std::string text;
  text.reserve(bytes.size());
  for (std::size_t at = 0; at < bytes.size();) {
    if (const std::size_t length = utf8SequenceAt(bytes, at)) {
      text.append(bytes, at, length);
      at += length;
      continue;
    }
    const auto latin1 = static_cast<unsigned char>(bytes[at++]);
    text += static_cast<char>(0xC0 | (latin1 >> 6));
    text += static_cast<char>(0x80 | (latin1 & 0x3F));
  }
  return text;
}

TMetricsRegistry::TMetricsRegistry(std::string versionText) : version(std::move(versionText)) {}

void TMetricsRegistry::setHost(std::uint64_t id, const std::string& host,
                               const std::string& address) {
  std::string hostLabel = utf8LabelText(host);
  std::string addressLabel = utf8LabelText(address);
  std::lock_guard guard(lock);
  THostSeries& series = hosts[id];
  series.host = std::move(hostLabel);
  series.address = std::move(addressLabel);
}

void TMetricsRegistry::removeHost(std::uint64_t id) {
  std::lock_guard guard(lock);
  hosts.erase(id);
}

void TMetricsRegistry::countEcho(std::uint64_t id, bool answered, std::int64_t rttMicros) {
  std::lock_guard guard(lock);
  const auto found = hosts.find(id);
  if (found == hosts.end()) return;
  THostSeries& series = found->second;
  if (!answered) {
    ++series.lost;
    return;
  }
  ++series.answered;
  if (rttMicros < 0) return;
  const double seconds = static_cast<double>(rttMicros) / 1e6;
  const auto bucket = std::lower_bound(RttBucketsSeconds.begin(), RttBucketsSeconds.end(), seconds);
  if (bucket != RttBucketsSeconds.end()) ++series.inBucket[bucket - RttBucketsSeconds.begin()];
  ++series.rttCount;
  series.rttSumSeconds += seconds;
}

void TMetricsRegistry::setHostUp(std::uint64_t id, bool up) {
  std::lock_guard guard(lock);
  if (const auto found = hosts.find(id); found != hosts.end()) found->second.up = up;
}

void TMetricsRegistry::setConnectionUp(bool up) {
  std::lock_guard guard(lock);
  connectionUp = up;
}

void TMetricsRegistry::setPath(const std::string& address, std::vector<TPathHop> hops,
                               std::uint64_t changes) {
  for (TPathHop& hop : hops) hop.address = utf8LabelText(hop.address);
  std::string key = utf8LabelText(address);
  std::lock_guard guard(lock);
  paths[std::move(key)] = {std::move(hops), changes};
}

std::vector<MetricFamily> TMetricsRegistry::Collect() const {
  std::vector<THostSeries> snapshot;
  std::optional<bool> connection;
  std::map<std::string, TPathSeries> pathSnapshot;
  {
    std::lock_guard guard(lock);
    pathSnapshot = paths;
    snapshot.reserve(hosts.size());
    for (const auto& [id, series] : hosts) snapshot.push_back(series);
    connection = connectionUp;
  }

  MetricFamily up =
      family("sorvelo_host_up", "Whether the host answers (1) or not (0); absent while unknown.",
             MetricType::Gauge);
  MetricFamily echoes =
      family("sorvelo_echoes_total", "Echo requests per host by result.", MetricType::Counter);
  MetricFamily rtt = family("sorvelo_echo_rtt_seconds", "Round-trip times of answered echoes.",
                            MetricType::Histogram);
  // Two hosts with the same names and address (a hand-edited hosts file) would give one series
  // twice, which a scraper rejects: later ones get their position after the name.
  std::set<std::pair<std::string, std::string>> seen;
  for (THostSeries& series : snapshot) {
    const std::string name = series.host;
    for (int n = 2; !seen.emplace(series.host, series.address).second; ++n)
      series.host = name + " #" + std::to_string(n);
    const std::vector<ClientMetric::Label> labels{{"host", series.host},
                                                  {"address", series.address}};
    if (series.up) {
      up.metric.push_back(withLabels(labels));
      up.metric.back().gauge.value = *series.up ? 1 : 0;
    }
    for (const auto& [result, count] : {std::pair{"answered", series.answered},
                                        std::pair{"lost", series.lost}}) {
      auto withResult = labels;
      withResult.push_back({"result", result});
      echoes.metric.push_back(withLabels(std::move(withResult)));
      echoes.metric.back().counter.value = static_cast<double>(count);
    }
    ClientMetric histogram = withLabels(labels);
    std::uint64_t cumulative = 0;
    for (std::size_t i = 0; i < RttBucketsSeconds.size(); ++i) {
      cumulative += series.inBucket[i];
      histogram.histogram.bucket.push_back({cumulative, RttBucketsSeconds[i]});
    }
    histogram.histogram.bucket.push_back({series.rttCount, std::numeric_limits<double>::infinity()});
    histogram.histogram.sample_count = series.rttCount;
    histogram.histogram.sample_sum = series.rttSumSeconds;
    rtt.metric.push_back(std::move(histogram));
  }

  std::vector<MetricFamily> families{std::move(up), std::move(echoes), std::move(rtt)};
  if (connection) {
    families.push_back(family("sorvelo_connection_up",
                              "The overall connection verdict: 1 OK, 0 down; absent while unknown.",
                              MetricType::Gauge));
    families.back().metric.push_back({});
    families.back().metric.back().gauge.value = *connection ? 1 : 0;
  }
  families.push_back(family("sorvelo_hosts", "Hosts in the list.", MetricType::Gauge));
  families.back().metric.push_back({});
  families.back().metric.back().gauge.value = static_cast<double>(snapshot.size());
  if (!pathSnapshot.empty()) {
    std::map<std::string, std::string> hostOf;  // address -> host label
    for (const THostSeries& series : snapshot) hostOf.emplace(series.address, series.host);
    MetricFamily hops = family("sorvelo_path_hops", "Hops of the host's last path round.",
                               MetricType::Gauge);
    MetricFamily hopRtt = family("sorvelo_path_hop_rtt_seconds",
                                 "Round trip of each answering hop in the host's last path round.",
                                 MetricType::Gauge);
    MetricFamily changes = family("sorvelo_path_changes_total",
                                  "Route changes of the host's path seen since the start.",
                                  MetricType::Counter);
    for (const auto& [address, path] : pathSnapshot) {
      const auto named = hostOf.find(address);
      const std::string host = named != hostOf.end() ? named->second : address;
      hops.metric.push_back(withLabels({{"host", host}}));
      hops.metric.back().gauge.value = static_cast<double>(path.hops.size());
      for (const TPathHop& hop : path.hops) {
        if (hop.address.empty()) continue;
        hopRtt.metric.push_back(withLabels(
            {{"host", host}, {"hop", std::to_string(hop.hop)}, {"address", hop.address}}));
        hopRtt.metric.back().gauge.value = hop.rttSeconds;
      }
      changes.metric.push_back(withLabels({{"host", host}}));
      changes.metric.back().counter.value = static_cast<double>(path.changes);
    }
    families.push_back(std::move(hops));
    families.push_back(std::move(hopRtt));
    families.push_back(std::move(changes));
  }
  families.push_back(family("sorvelo_build_info", "The running version.", MetricType::Gauge));
  families.back().metric.push_back(withLabels({{"version", version}}));
  families.back().metric.back().gauge.value = 1;
  return families;
}

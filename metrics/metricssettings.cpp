#include "metricssettings.h"

#include <charconv>
#include <optional>

#include "config/settings.h"

namespace {

constexpr const char* Section = "metrics";

// Each key and its default, named once.
struct TMetricsKeys {
  static constexpr const char* Enabled = "enabled";
  static constexpr const char* Address = "address";
  static constexpr const char* Port = "port";
  static constexpr const char* DefaultAddress = "127.0.0.1";
  static constexpr int DefaultPort = 10427;
};

std::optional<int> wholeNumber(const std::optional<std::string>& text, int low, int high) {
  if (!text || text->empty()) return std::nullopt;
  int value = 0;
  const char* end = text->data() + text->size();
  const auto [at, error] = std::from_chars(text->data(), end, value);
  if (error != std::errc() || at != end || value < low || value > high) return std::nullopt;
  return value;
}

}  // namespace

TMetricsSettings readMetricsSettings(bool headless) {
  TMetricsSettings metrics;
  const std::optional<int> enabled =
      wholeNumber(extraSetting(Section, TMetricsKeys::Enabled), -2147483647, 2147483647);
  metrics.enabled = enabled ? *enabled != 0 : headless;
  const std::optional<std::string> address = extraSetting(Section, TMetricsKeys::Address);
  metrics.address = address && !address->empty() ? *address : TMetricsKeys::DefaultAddress;
  metrics.port = wholeNumber(extraSetting(Section, TMetricsKeys::Port), 1, 65535)
                     .value_or(TMetricsKeys::DefaultPort);
  return metrics;
}

std::string listeningAddress(const TMetricsSettings& metrics) {
  const bool ipv6 = metrics.address.find(':') != std::string::npos;
  const std::string host =
      ipv6 && metrics.address.front() != '[' ? "[" + metrics.address + "]" : metrics.address;
  return host + ":" + std::to_string(metrics.port);
}

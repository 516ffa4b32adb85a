#include "metricspage.h"

#include <charconv>
#include <cmath>

namespace {

using prometheus::ClientMetric;
using prometheus::MetricFamily;
using prometheus::MetricType;

void appendNumber(std::string& out, double value) {
  if (std::isnan(value)) {
    out += "NaN";
  } else if (std::isinf(value)) {
    out += value > 0 ? "+Inf" : "-Inf";
  } else {
    // As printf's %.16g, the form the other clients write ("0.0001", not "1e-04"): "le" labels
    // are compared as text, so a bucket must be written the same way in every scrape.
    char text[32];
    const auto written =
        std::to_chars(text, text + sizeof text, value, std::chars_format::general, 16);
    out.append(text, written.ptr);
  }
}

void appendNumber(std::string& out, std::uint64_t value) {
  char text[24];
  const auto written = std::to_chars(text, text + sizeof text, value);
  out.append(text, written.ptr);
}

// `quote` is escaped in label values only; help texts escape backslash and line feed.
void appendEscaped(std::string& out, const std::string& text, bool quote) {
  for (const char c : text) {
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '"' && quote) {
      out += "\\\"";
    } else {
      out += c;
    }
  }
}

// name{a="x",b="y",le="0.5"} value
template <typename Number>
void appendSample(std::string& out, const std::string& name, const char* suffix,
                  const ClientMetric& metric, Number value, const char* extraLabel = nullptr,
                  double extraValue = 0) {
  out += name;
  out += suffix;
  if (!metric.label.empty() || extraLabel) {
    out += '{';
    const char* separator = "";
    for (const ClientMetric::Label& label : metric.label) {
      out += separator;
      out += label.name;
      out += "=\"";
      appendEscaped(out, label.value, true);
      out += '"';
      separator = ",";
    }
    if (extraLabel) {
      out += separator;
      out += extraLabel;
      out += "=\"";
      appendNumber(out, extraValue);
      out += '"';
    }
    out += '}';
  }
  out += ' ';
  appendNumber(out, value);
  out += '\n';
}

const char* typeName(MetricType type) {
  switch (type) {
    case MetricType::Counter: return "counter";
    case MetricType::Gauge: return "gauge";
    case MetricType::Histogram: return "histogram";
    case MetricType::Summary: return "summary";
    default: return "untyped";
  }
}

void appendMetric(std::string& out, const MetricFamily& family, const ClientMetric& metric) {
  switch (family.type) {
    case MetricType::Counter:
      appendSample(out, family.name, "", metric, metric.counter.value);
      break;
    case MetricType::Gauge:
      appendSample(out, family.name, "", metric, metric.gauge.value);
      break;
    case MetricType::Histogram:
      appendSample(out, family.name, "_count", metric, metric.histogram.sample_count);
      appendSample(out, family.name, "_sum", metric, metric.histogram.sample_sum);
      for (const ClientMetric::Bucket& bucket : metric.histogram.bucket)
        appendSample(out, family.name, "_bucket", metric, bucket.cumulative_count, "le",
                     bucket.upper_bound);
      break;
    case MetricType::Summary:
      appendSample(out, family.name, "_count", metric, metric.summary.sample_count);
      appendSample(out, family.name, "_sum", metric, metric.summary.sample_sum);
      for (const ClientMetric::Quantile& q : metric.summary.quantile)
        appendSample(out, family.name, "", metric, q.value, "quantile", q.quantile);
      break;
    default:
      appendSample(out, family.name, "", metric, metric.untyped.value);
      break;
  }
}

}  // namespace

std::string renderMetricsPage(const std::vector<MetricFamily>& families) {
  std::string out;
  std::size_t samples = 0;
  for (const MetricFamily& family : families)
    for (const ClientMetric& metric : family.metric)
      samples += 1 + metric.histogram.bucket.size() + 2;
  out.reserve(samples * 96);
  for (const MetricFamily& family : families) {
    out += "# HELP ";
    out += family.name;
    out += ' ';
    appendEscaped(out, family.help, false);
    out += "\n# TYPE ";
    out += family.name;
    out += ' ';
    out += typeName(family.type);
    out += '\n';
    for (const ClientMetric& metric : family.metric) appendMetric(out, family, metric);
  }
  return out;
}

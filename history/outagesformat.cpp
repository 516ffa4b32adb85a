#include "outagesformat.h"

#include <QDateTime>

#include "base/csvtext.h"

#include <cstdio>
#include <cstdlib>

namespace {

std::string jsonString(const std::string& s) {
  std::string quoted = "\"";
  for (unsigned char c : s) {
    if (c == '"' || c == '\\') {
      quoted += '\\';
      quoted += static_cast<char>(c);
    } else if (c < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      quoted += escaped;
    } else {
      quoted += static_cast<char>(c);
    }
  }
  return quoted + "\"";
}

}  // namespace

std::string outageTime(std::int64_t ms) {
  const QDateTime at = QDateTime::fromMSecsSinceEpoch(ms);
  const int offset = at.offsetFromUtc();
  const int minutes = std::abs(offset) / 60;
  char zone[16];
  std::snprintf(zone, sizeof zone, "%c%02d:%02d", offset < 0 ? '-' : '+', minutes / 60,
                minutes % 60);
  return at.toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss")).toStdString() + zone;
}

std::string outageSeconds(std::int64_t ms) {
  char text[32];
  std::snprintf(text, sizeof text, "%lld.%03lld", static_cast<long long>(ms / 1000),
                static_cast<long long>(ms % 1000));
  return text;
}

std::string outagesCsv(const std::vector<THostOutage>& list) {
  std::string out = "host,host_name,address,start,end,duration_s,lost,end_reason,last_hop";
  out += CsvLineEnd;
  for (const auto& [host, o, hop] : list)
    out += csvField(host.callingName) + ',' + csvField(host.hostName) + ',' +
           csvField(host.address) + ',' + outageTime(o.startMs) + ',' +
           (o.endMs ? outageTime(*o.endMs) : std::string()) + ',' + outageSeconds(o.durationMs) +
           ',' + std::to_string(o.lostCount) + ',' + outageEndText(o.endedBy) + ',' +
           (hop ? csvField(lastHopText(*hop)) : std::string()) + CsvLineEnd;
  return out;
}

std::string outagesJson(const std::vector<THostOutage>& list) {
  std::string out = "[";
  for (std::size_t i = 0; i < list.size(); ++i) {
    const auto& [host, o, hop] = list[i];
    out += (i ? ",\n " : "\n ");
    out += "{\"host\": " + jsonString(host.callingName) +
           ", \"host_name\": " + jsonString(host.hostName) +
           ", \"address\": " + jsonString(host.address) + ", \"start\": \"" +
           outageTime(o.startMs) +
           "\", \"end\": " + (o.endMs ? "\"" + outageTime(*o.endMs) + "\"" : std::string("null")) +
           ", \"duration_s\": " + outageSeconds(o.durationMs) +
           ", \"lost\": " + std::to_string(o.lostCount) + ", \"end_reason\": " +
           (o.endMs ? jsonString(outageEndText(o.endedBy)) : std::string("null")) +
           ", \"last_hop\": " + (hop ? jsonString(lastHopText(*hop)) : std::string("null")) + '}';
  }
  out += list.empty() ? "]\n" : "\n]\n";
  return out;
}

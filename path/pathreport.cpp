#include "path/pathreport.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <cstdio>
#include <sstream>

namespace {

std::string milliseconds(double micros) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", micros / 1000.0);
  return text;
}

std::string padded(const std::string& text, std::size_t width) {
  return text.size() >= width ? text + " " : text + std::string(width - text.size(), ' ');
}

std::string rightAligned(const std::string& text, std::size_t width) {
  return text.size() >= width ? " " + text : std::string(width - text.size(), ' ') + text;
}

// A JSON string, with quotes; control characters escaped, other bytes passed as they are.
std::string jsonText(const std::string& text) {
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') {
      quoted += '\\';
      quoted += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
      quoted += escaped;
    } else {
      quoted += c;
    }
  }
  return quoted + "\"";
}

std::string jsonMs(const THopStats& hop, double micros) {
  if (hop.received == 0) return "null";
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", micros / 1000.0);
  return text;
}

}  // namespace

std::string formatText(const TPathReport& report) {
  std::ostringstream out;
  out << "Path to " << report.host << " (" << report.address << "), " << report.rounds
      << (report.rounds == 1 ? " round\n" : " rounds\n");
  out << "Hop  " << padded("Address", 40) << padded("Name", 32) << rightAligned("Loss%", 6)
      << rightAligned("Last", 8) << rightAligned("Mean", 8) << rightAligned("Best", 8)
      << rightAligned("Worst", 8) << rightAligned("StDev", 8) << "\n";
  for (const TPathReport::THop& line : report.hops) {
    const THopStats& hop = line.stats;
    char loss[16];
    std::snprintf(loss, sizeof loss, "%.1f%%", hop.lossPercent());
    out << rightAligned(std::to_string(hop.hop), 3) << "  "
        << padded(hop.received == 0 ? "*" : hop.lastAddress, 40) << padded(line.name, 32)
        << rightAligned(loss, 6);
    if (hop.received > 0) {
      out << rightAligned(milliseconds(static_cast<double>(hop.lastMicros)), 8)
          << rightAligned(milliseconds(hop.meanMicros), 8)
          << rightAligned(milliseconds(static_cast<double>(hop.bestMicros)), 8)
          << rightAligned(milliseconds(static_cast<double>(hop.worstMicros)), 8)
          << rightAligned(milliseconds(hop.stdevMicros()), 8);
    }
    out << "\n";
    for (const std::string& other : hop.addresses) {
      if (other != hop.lastAddress) out << "     " << other << "\n";
    }
  }
  if (!report.reached) out << report.host << " did not answer in any round.\n";
  return out.str();
}

std::string formatJson(const TPathReport& report) {
  std::ostringstream out;
  out << "{\"host\":" << jsonText(report.host) << ",\"address\":" << jsonText(report.address)
      << ",\"rounds\":" << report.rounds << ",\"reached\":" << (report.reached ? "true" : "false")
      << ",\"hops\":[";
  bool first = true;
  for (const TPathReport::THop& line : report.hops) {
    const THopStats& hop = line.stats;
    out << (first ? "" : ",") << "\n{\"hop\":" << hop.hop
        << ",\"address\":" << (hop.received == 0 ? "null" : jsonText(hop.lastAddress))
        << ",\"addresses\":[";
    for (std::size_t i = 0; i < hop.addresses.size(); ++i)
      out << (i == 0 ? "" : ",") << jsonText(hop.addresses[i]);
    char loss[32];
    std::snprintf(loss, sizeof loss, "%.1f", hop.lossPercent());
    out << "],\"name\":" << (line.name.empty() ? "null" : jsonText(line.name))
        << ",\"sent\":" << hop.sent << ",\"received\":" << hop.received
        << ",\"loss_percent\":" << loss
        << ",\"last_ms\":" << jsonMs(hop, static_cast<double>(hop.lastMicros))
        << ",\"mean_ms\":" << jsonMs(hop, hop.meanMicros)
        << ",\"best_ms\":" << jsonMs(hop, static_cast<double>(hop.bestMicros))
        << ",\"worst_ms\":" << jsonMs(hop, static_cast<double>(hop.worstMicros))
        << ",\"stdev_ms\":" << jsonMs(hop, hop.stdevMicros()) << "}";
    first = false;
  }
  out << "]}\n";
  return out.str();
}

std::string addressOf(const sockaddr_storage& address) {
  char text[INET6_ADDRSTRLEN] = {};
  if (address.ss_family == AF_INET6)
    inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6&>(address).sin6_addr, text,
              sizeof text);
  else if (address.ss_family == AF_INET)
    inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in&>(address).sin_addr, text, sizeof text);
  return text;
}

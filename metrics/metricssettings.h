#pragma once
// The [metrics] section of the settings file: whether the endpoint runs, and where it listens.
//
//   enabled   "1" or "0"; default 1 in headless mode, 0 in the desktop program
//   address   default 127.0.0.1: the endpoint is reachable from this machine only unless the
//             user names another address (0.0.0.0 or :: for every interface)
//   port      default 10427 (outside 9100-9999, the range of registered exporter ports)
//
// A value that is not a whole number in range reads as its default, like the other settings.

#include <string>

struct TMetricsSettings {
  bool enabled = false;
  std::string address;
  int port = 0;
};

TMetricsSettings readMetricsSettings(bool headless);

// The address and port as the HTTP server takes them: "127.0.0.1:10427", "[::1]:10427".
std::string listeningAddress(const TMetricsSettings& metrics);

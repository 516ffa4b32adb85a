#pragma once
// The settings of path tracing, section [paths] of the settings file:
//   trace_all=0             trace every host (off by default)
//   trace.<address>=1       trace this host (0: not even with trace_all)
//   probes_per_second=20    the cap on probes of all rounds together (1 to 1000)
// A value that is not 0/1 or out of range is refused with a message and its default kept.

#include <map>
#include <string>
#include <vector>

struct TPathSettings {
  static constexpr double DefaultProbesPerSecond = 20;
  bool traceAll = false;
  std::map<std::string, bool> traceHost;  // by address
  double probesPerSecond = DefaultProbesPerSecond;

  bool tracedFor(const std::string& address) const;

  static TPathSettings load(const std::vector<std::string>& addresses,
                            std::vector<std::string>* problems = nullptr);
  // Writes the global values and the switches of the addresses given (an address without its own
  // switch has its key emptied).
  void store(const std::vector<std::string>& addresses) const;
};

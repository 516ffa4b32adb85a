#pragma once
// The general log: one line of 16 ";"-separated fields per event, appended to the file that the
// settings name. The enable flags and the file name are read from `settings` at every entry, so a
// change applies to the next entry. A line that cannot be written is dropped silently.

#include <cstdint>
#include <string>

#include "base/tolvotime.h"

class TTolvoLogger {
 public:
  // The program path defaults to the running program file; tests pass their own clock and path.
  explicit TTolvoLogger(const TClock& clock = systemClock(), std::string programPath = {});

  void logConnectionStatus(std::int32_t state);  // 1 "UP", 2 "DOWN", anything else nothing
  void logHostStatus(const std::string& hostName, const std::string& ipAddress,
                     std::int32_t status);  // 1 "UP", 2 "DOWN", anything else nothing
  void logProgram(bool starting);           // "STARTUP" / "SHUTDOWN"
  void logPinging(bool started);            // "START" / "STOP"
  void logTimestamp(const std::string& text);

  std::string formatEntry(const std::string& kind, const std::string& subject,
                          const std::string& state, const std::string& detail) const;
  static bool appendLine(const std::string& fileName, const std::string& line);

 private:
  const TClock& clock;
  std::string programPath;
};

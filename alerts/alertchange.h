#pragma once
// What alerts report: a change of a host's confirmed state (or of the connection), with the names it
// had at that moment, so a change outlives the host it describes.

#include <cstdint>
#include <string>

// A host's confirmed state for alerts; the connection uses Unknown, Up and Down.
enum class TAlertLevel : std::uint8_t { Unknown, Up, Degraded, Down };

enum class TAlertKind : std::uint8_t { None, HostDown, HostUp, Degraded, Recovered, ConnectionDown, ConnectionUp };

struct TAlertChange {
  std::uint64_t runId = 0;  // the host's run id; 0 for the connection
  TAlertLevel from = TAlertLevel::Unknown;
  TAlertLevel to = TAlertLevel::Unknown;
  std::int64_t atUnixMs = 0;
  std::string callingName;
  std::string hostName;
  std::string address;
  std::string detail;  // why a host is degraded, or how many echoes confirmed the change

  bool isConnection() const { return runId == 0; }
  // The name to show: the calling name, else the host name, else the address.
  std::string shownName() const;
};

// What a change means. Unknown -> Up (the first answers of a run) means nothing; a host coming back
// while degraded counts as up.
TAlertKind kindOf(const TAlertChange& change);

// "unknown", "up", "degraded", "down": the words a command receives.
const char* levelWord(TAlertLevel level);

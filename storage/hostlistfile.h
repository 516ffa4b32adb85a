#pragma once
// Loading the host list from the hosts file, with what the caller needs to know about the file.
// TTolvoHosts::loadFromFile is this with only `ok` returned.

#include <memory>
#include <string>

#include "hostsfile.h"

class TTolvoHost;
class TTolvoHosts;

// A loaded host's echo time-out is kept within this range, whatever the file says: a hand-edited
// time-out of minutes would keep a worker (and every wait for it) busy that long.
constexpr int MinTimeoutMs = 100;
constexpr int MaxTimeoutMs = 60000;

struct THostsLoadReport {
  bool ok = false;     // the operation's result: the file was read to its end without an error
  bool whole = false;  // and every host in it is in the list, so a save gives it all back
  THostsFileState state = THostsFileState::missing;
  std::string keptAs;  // where the original was moved, when it was not read whole
};

// Empties the list and fills it from the file (a missing or unopenable file leaves it as it was).
// First removes what a save killed half-way left beside the file. When the file is there but was
// not read whole, the original is moved aside (see hostsfilekeeper.h) and the user is told where it
// is, after any message of the format itself.
THostsLoadReport loadHostList(TTolvoHosts& list, const std::string& fileName);

// A new host (not yet in the list) as a loaded one starts: the list's defaults, then the seven
// values the file keeps.
std::unique_ptr<TTolvoHost> hostFromRecord(const TTolvoHosts& list, const THostFileRecord& r);

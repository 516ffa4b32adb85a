#pragma once
// Another program (sorvelo --add, --remove) may change the hosts file while this one monitors the
// list read from it. Such a change is taken into the running list instead of being saved over or
// moved aside: the hosts the file gained are added, the hosts it lost are removed, and every host
// on both sides keeps its counts. Telling the other program's changes from this one's needs the
// hosts the file held when this program last read or wrote it (the base); hosts are told apart by
// their address.
//
// Main thread only, like the host list's load and save.

#include <string>
#include <vector>

#include "hostsfile.h"

class TTolvoHosts;

// The addresses of the hosts of `fileName` as this program just read or wrote it.
void rememberHostsOnFile(const std::string& fileName, const std::vector<THostFileRecord>& records);

struct THostsMergeResult {
  bool merged = false;  // the file was read whole and its change taken
  THostsFileState state = THostsFileState::missing;
  int added = 0;     // hosts the file gained, now in the list
  int removed = 0;   // hosts the file lost, now out of the list
  int notTaken = 0;  // hosts the file gained that found no free slot
};

// Reads the file and takes its change since the base into the list. A file that cannot be read
// whole changes nothing (merged false; the caller keeps the file as it always did). Afterwards the
// file counts as read: the next save may write over it.
THostsMergeResult mergeHostsFile(TTolvoHosts& list, const std::string& fileName);

// The host list to and from the hosts file: the file functions know the format, this turns hosts
// into records and records into hosts.

#include <vector>

#include "hostsfile.h"
#include "core/tolvohosts.h"

bool TTolvoHosts::saveToFile(const std::string& fileName) const {
  std::vector<THostFileRecord> records;
  for (int slot = 1; slot <= MaxHosts; ++slot) {
    const TTolvoHost* host = hostAt(slot);
    if (!host) continue;
    THostFileRecord r;
    r.callingName = host->callingName;
    r.hostName = host->hostName;
    r.ipAddress = host->ipAddress;
    r.timeout = host->timeout;
    r.interval = host->interval;
    r.succeededCount = host->succeededCount;
    r.failedCount = host->failedCount;
    r.lastSucceededAt = host->lastSuccess.at;
    r.lastFailedAt = host->lastFailure.at;
    r.lastSentAt = host->lastSentAt;
    records.push_back(std::move(r));
  }
  return writeHostsFile(fileName, records, regional);
}

bool TTolvoHosts::loadFromFile(const std::string& fileName) {
  // A loaded host starts as a new one (no last answer or failure, last sent now) with the list's
  // defaults, then takes the seven values the file keeps; the dates in the file are not read back.
  auto onHost = [this](const THostFileRecord& r) {
    std::unique_ptr<TTolvoHost> host = newHost();
    host->timeout = 2000;
    host->interval = 4;
    host->callingName = r.callingName;
    host->hostName = r.hostName;
    host->ipAddress = r.ipAddress;
    host->timeout = r.timeout;
    host->interval = r.interval;
    host->succeededCount = r.succeededCount;
    host->failedCount = r.failedCount;
    appendHost(host);  // a full list: the host is discarded and loading goes on
  };
  // The list is emptied only once the file has been opened: a missing file leaves it as it was.
  const THostsFileReadResult result =
      readHostsFile(fileName, onHost, [this] { clearHosts(); }, regional);
  return result.ok;
}

// The host list to and from the hosts file: the file functions know the format, this turns hosts
// into records and records into hosts, and sees to it that no save destroys a file it should not.

#include "hostlistfile.h"

#include <algorithm>
#include <vector>

#include "base/usermessages.h"
#include "config/atomicfile.h"
#include "core/tolvohosts.h"
#include "hostsfilekeeper.h"
#include "hostsfilelock.h"
#include "hostsfilemerge.h"

namespace {

std::string quoted(const std::string& text) { return "\"" + text + "\""; }

// The message after a load that did not read the file whole. The format's own messages (if any)
// have been shown before it.
void tellWhatWasKept(const std::string& fileName, THostsLoadReport& report) {
  if (report.state == THostsFileState::notRegular) {
    showUserMessage("The hosts file " + quoted(fileName) +
                    " is not a regular file; it was not read and the host list will not be saved there.");
    return;
  }
  std::string why;
  report.keptAs = keepAside(fileName, why);
  if (report.keptAs.empty()) {
    showUserMessage("The hosts file " + quoted(fileName) +
                    " could not be read completely, and it could not be moved aside (" + why +
                    "); the host list will not be saved over it.");
    return;
  }
  showUserMessage("The hosts file " + quoted(fileName) +
                  " could not be read completely. So that nothing in it is lost, the original file has "
                  "been moved to " + quoted(report.keptAs) +
                  "; the host list will be saved as a new " + quoted(fileName) + ".");
}


}  // namespace

// A loaded host starts as a new one (no last answer or failure, last sent now) with the list's
// defaults, then takes the seven values the file keeps; the dates in the file are not read back.
std::unique_ptr<TTolvoHost> hostFromRecord(const TTolvoHosts& list, const THostFileRecord& r) {
  std::unique_ptr<TTolvoHost> host = list.newHost();
  host->callingName = r.callingName;
  host->hostName = r.hostName;
  host->ipAddress = r.ipAddress;
  host->timeout = std::clamp<std::int32_t>(r.timeout, MinTimeoutMs, MaxTimeoutMs);
  host->interval = r.interval;
  host->succeededCount = r.succeededCount;
  host->failedCount = r.failedCount;
  return host;
}

// The hosts are taken into the list once the whole file has been read. The list is replaced only
// when the file was opened: a missing file leaves it as it was. A file read only in part replaces an
// empty list with the hosts before the fault (start-up), but never a running list (a reload): the
// hosts being monitored are not dropped for a damaged file.
THostsLoadReport loadHostList(TTolvoHosts& list, const std::string& fileName) {
  // The leftovers of a killed save are told from a save still running by the writers' lock.
  const THostsFileLock lock(fileName);
  removeLeftoverTemporaryFiles(fileName);
  std::vector<THostFileRecord> records;
  bool allAppended = true;
  bool opened = false;
  auto onHost = [&records, &allAppended](const THostFileRecord& r) {
    // A full list: the host is discarded and loading goes on.
    if (records.size() < TTolvoHosts::MaxHosts) {
      records.push_back(r);
    } else {
      allAppended = false;
    }
  };
  const THostsFileReadResult result =
      readHostsFile(fileName, onHost, [&opened] { opened = true; }, list.regional);
  THostsLoadReport report;
  report.ok = result.ok;
  report.state = result.state;
  report.whole = result.state == THostsFileState::whole && allAppended;
  if (opened && (report.whole || list.hostCount() == 0)) {
    list.clearHosts();
    for (const THostFileRecord& r : records) {
      std::unique_ptr<TTolvoHost> host = hostFromRecord(list, r);
      list.appendHost(host);
    }
  }
  if (report.whole) {
    rememberHostsFile(result.identity);
    rememberHostsOnFile(fileName, records);
  } else if (result.state != THostsFileState::missing) {
    tellWhatWasKept(fileName, report);
  }
  return report;
}

bool TTolvoHosts::loadFromFile(const std::string& fileName) { return loadHostList(*this, fileName).ok; }

// Writes over the file only when it is one this program read whole or wrote, unchanged since; any
// other file at that name is moved aside first (and the user told), and a name that is not a regular
// file is left alone: false, like any failed save.
bool TTolvoHosts::saveToFile(const std::string& fileName) {
  const std::string target = resolvedFileName(fileName);
  // Read-modify-write against the other writers of the file (sorvelo --add, another save).
  const THostsFileLock lock(target);
  std::optional<TFileFound> found = findFile(target);
  if (found && !found->isRegular) return false;
  // A hosts file another program changed (sorvelo --add) is merged, not saved over or moved aside.
  if (found && !isRememberedHostsFile(found->identity) && mergeHostsFile(*this, target).merged)
    found = findFile(target);
  if (found && !isRememberedHostsFile(found->identity)) {
    std::string why;
    const std::string keptAs = keepAside(target, why);
    if (keptAs.empty()) return false;
    showUserMessage("The file " + quoted(fileName) +
                    " was not read as a hosts file by this program, so it is not written over: the "
                    "original file has been moved to " + quoted(keptAs) +
                    " and the host list is saved as a new " + quoted(fileName) + ".");
  }
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
  if (!writeHostsFile(target, records, regional)) return false;
  rememberHostsOnFile(target, records);
  if (const std::optional<TFileFound> written = findFile(target)) rememberHostsFile(written->identity);
  return true;
}

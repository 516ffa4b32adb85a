#include "hostsfilemerge.h"

#include <map>
#include <set>

#include "core/tolvohosts.h"
#include "hostlistfile.h"
#include "hostsfilekeeper.h"

namespace {

std::map<std::string, std::set<std::string>>& basesByFile() {
  static std::map<std::string, std::set<std::string>> bases;
  return bases;
}

}  // namespace

void rememberHostsOnFile(const std::string& fileName, const std::vector<THostFileRecord>& records) {
  std::set<std::string>& base = basesByFile()[resolvedFileName(fileName)];
  base.clear();
  for (const THostFileRecord& r : records) base.insert(r.ipAddress);
}

THostsMergeResult mergeHostsFile(TTolvoHosts& list, const std::string& fileName) {
  std::vector<THostFileRecord> theirs;
  const THostsFileReadResult read = readHostsFile(
      fileName, [&theirs](const THostFileRecord& r) { theirs.push_back(r); }, [] {}, list.regional);
  THostsMergeResult result;
  result.state = read.state;
  if (read.state != THostsFileState::whole) return result;

  const std::set<std::string> base = basesByFile()[resolvedFileName(fileName)];
  std::set<std::string> inFile;
  for (const THostFileRecord& r : theirs) inFile.insert(r.ipAddress);
  // Removed there: in the base, no longer in the file. Hosts added here since stay.
  for (int slot = 1; slot <= TTolvoHosts::MaxHosts; ++slot) {
    TTolvoHost* host = list.hostAt(slot);
    if (host && base.count(host->ipAddress) && !inFile.count(host->ipAddress)) {
      list.deleteHost(host);
      ++result.removed;
    }
  }
  // Added there: not in the base; hosts removed here since (in the base, gone from the list) stay out.
  for (const THostFileRecord& r : theirs) {
    if (base.count(r.ipAddress) || list.hostExists(r.ipAddress)) continue;
    std::unique_ptr<TTolvoHost> host = hostFromRecord(list, r);
    if (list.appendHost(host))
      ++result.added;
    else
      ++result.notTaken;
  }
  rememberHostsOnFile(fileName, theirs);
  rememberHostsFile(read.identity);
  result.merged = true;
  return result;
}

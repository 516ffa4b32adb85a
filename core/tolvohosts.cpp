// The host list: slots 1..255, the scheduler pass, the enumeration and the connection state.
//
// One scheduler pass (the run control calls four per timer tick):
//   1. Return at once when a pass is already running or the list is empty.
//   2. If slot `nextIndex` holds a host: raise an interval below 3 to 3, then step the host (the host
//      itself decides whether a request is due).
//   3. Move `nextIndex` on by one, 255 wrapping to 1, and on past empty slots, so that the next pass
//      finds a host there (a host deleted meanwhile is skipped by the next pass).
// Every walk over the hosts goes in slot order; a new host takes the lowest free slot.

#include "tolvohosts.h"

#include "base/usermessages.h"

TTolvoHosts::TTolvoHosts(const TClock& clockSource) : clock(clockSource) {
  evaluatedStatus.fill(hsUnknown);
}

TTolvoHosts::~TTolvoHosts() { clearHosts(); }

TTolvoHost* TTolvoHosts::hostAt(int slot) const {
  if (slot < 1 || slot > MaxHosts) return nullptr;
  return hosts[static_cast<std::size_t>(slot)].get();
}

std::vector<std::string> TTolvoHosts::addresses() const {
  std::vector<std::string> list;
  for (int slot = 1; slot <= MaxHosts; ++slot)
    if (const TTolvoHost* host = hostAt(slot)) list.push_back(host->ipAddress);
  return list;
}

std::unique_ptr<TTolvoHost> TTolvoHosts::newHost() const {
  auto host = std::make_unique<TTolvoHost>(clock, echoService);
  host->preferIpv6 = preferV6;
  return host;
}

void TTolvoHosts::setPreferIpv6(bool prefer) {
  preferV6 = prefer;
  for (const auto& host : hosts)
    if (host) host->preferIpv6 = prefer;
}

bool TTolvoHosts::appendHost(std::unique_ptr<TTolvoHost>& host) {
  if (!host) return false;
  for (std::size_t slot = 1; slot <= MaxHosts; ++slot) {
    if (hosts[slot]) continue;
    hosts[slot] = std::move(host);
    ++occupied;
    ++changes;
    evaluatedStatus[slot] = hsUnknown;
    hosts[slot]->events = &eventHub;
    eventHub.hostAdded(*hosts[slot]);
    return true;
  }
  return false;
}

bool TTolvoHosts::deleteHost(TTolvoHost* host) {
  if (!host) return false;
  for (std::size_t slot = 1; slot <= MaxHosts; ++slot) {
    if (hosts[slot].get() != host) continue;
    eventHub.hostDeleting(*host);
    echoesOfRemovedHosts += host->echoesThisRun;
    hosts[slot].reset();
    --occupied;
    ++changes;
    return true;
  }
  return false;
}

bool TTolvoHosts::clearHosts() {
  // Tell every worker to end first (which interrupts its echo), so that they all wind down side by
  // side rather than one after the other while each host is destroyed.
  for (const auto& host : hosts) {
    if (!host || !host->worker) continue;
    host->worker->keepRunning.store(false, std::memory_order_release);
    host->worker->stop();
  }
  for (auto& host : hosts) {
    if (!host) continue;
    eventHub.hostDeleting(*host);
    echoesOfRemovedHosts += host->echoesThisRun;
    host.reset();
    --occupied;
    ++changes;
  }
  return true;
}

void TTolvoHosts::hostEdited(TTolvoHost* host, const THostNames& before) {
  if (!host) return;
  ++changes;
  for (const auto& held : hosts)
    if (held.get() == host) eventHub.hostEdited(*host, before);
}

std::int32_t TTolvoHosts::hostCount() const { return occupied; }

std::int64_t TTolvoHosts::totalPings() const {
  std::int64_t total = 0;
  for (const auto& host : hosts)
    if (host) total += std::int64_t{host->succeededCount} + host->failedCount;
  return total;
}

std::uint64_t TTolvoHosts::echoesThisRun() const {
  std::uint64_t total = echoesOfRemovedHosts;
  for (const auto& host : hosts)
    if (host) total += host->echoesThisRun;
  return total;
}

bool TTolvoHosts::hasMoreHosts() const {
  for (int slot = enumCursor + 1; slot <= MaxHosts; ++slot)
    if (hostAt(slot)) return true;
  return false;
}

bool TTolvoHosts::firstHost() {
  enumCursor = 0;
  enumDone = false;
  return hasMoreHosts();
}

bool TTolvoHosts::nextHost(TTolvoHost*& out) {
  int slot = enumCursor + 1;
  while (slot <= MaxHosts && !hostAt(slot)) ++slot;
  if (slot > MaxHosts) return hasMoreHosts();
  enumCursor = slot;
  out = hostAt(slot);
  // Once the last host has been delivered, a host added behind the cursor is still delivered, but
  // with false, so a loop that runs until false ends.
  if (enumDone) return false;
  if (hasMoreHosts()) return true;
  enumDone = true;
  return true;
}

namespace {

int followingSlot(int slot, int maxHosts) { return slot >= maxHosts ? 1 : slot + 1; }

}  // namespace

void TTolvoHosts::schedulerPass() {
  if (passBusy || hostCount() == 0) return;
  passBusy = true;
  if (TTolvoHost* host = hostAt(nextIndex)) {
    if (host->interval < 3) host->interval = 3;
    host->pingStep();
  }
  // The step may have run for a while (a dead worker is waited for); the list still holds a host,
  // as nothing deletes hosts from inside a step, but check so this can never spin.
  if (hostCount() > 0) {
    nextIndex = followingSlot(nextIndex, MaxHosts);
    while (!hostAt(nextIndex)) nextIndex = followingSlot(nextIndex, MaxHosts);
  }
  passBusy = false;
}

// The passes that idleTicksAhead foresees are those that schedulerPass would make: the same slots in
// the same order, so skipping them changes nothing but the moments at which the interface thread
// wakes up for nothing.
int TTolvoHosts::idleTicksAhead(int passesPerTick, std::int64_t tickMs, int maxTicks) const {
  if (occupied == 0 || passBusy) return 0;
  const std::int64_t now = clock.monotonicMs();
  int slot = nextIndex;
  for (int tick = 1; tick <= maxTicks; ++tick) {
    // A step may come up to one tick late; a host due by then is not idle.
    const std::int64_t stepAt = now + (tick + 1) * tickMs;
    for (int pass = 0; pass < passesPerTick; ++pass) {
      const TTolvoHost* host = hostAt(slot);
      if (host && !host->idleUntil(stepAt)) return tick - 1;
      slot = followingSlot(slot, MaxHosts);
      while (!hostAt(slot)) slot = followingSlot(slot, MaxHosts);
    }
  }
  return maxTicks;
}

void TTolvoHosts::skipPasses(int passes) {
  if (occupied == 0 || passBusy) return;
  for (int pass = 0; pass < passes; ++pass) {
    nextIndex = followingSlot(nextIndex, MaxHosts);
    while (!hostAt(nextIndex)) nextIndex = followingSlot(nextIndex, MaxHosts);
  }
}

// A host's "HOST_STATUS" entry records a real transition: it is written when the status computed
// now differs from the one computed at the previous evaluation of that host (kept per slot here,
// apart from the host's own `status`, which the grid shows and each collected result overwrites),
// and only for Ok ("UP") and Down ("DOWN"). A single failed echo of a host that stays up writes
// nothing; unknown and thread-dead write nothing.
//
// The connection is judged only on results of this run: while no host has one, the state stays as
// it is and nothing is logged, so a program that cannot send a single echo never reports the
// connection up.
bool TTolvoHosts::evaluateConnection() {
  std::int64_t upTotal = 0;
  std::int64_t downTotal = 0;
  bool anyResult = false;
  const TTolvoHost* unable = nullptr;
  for (std::size_t slot = 1; slot <= MaxHosts; ++slot) {
    TTolvoHost* host = hosts[slot].get();
    if (!host) continue;
    const hostStatus computed = host->getStatus();
    host->updateStatus();
    if (computed != evaluatedStatus[slot] && (computed == hsOk || computed == hsDown))
      eventHub.hostStatusChanged(*host, computed);
    evaluatedStatus[slot] = computed;
    if (computed == hsOk) upTotal += host->succeededCount;
    if (computed == hsDown) downTotal += host->failedCount;
    if (host->historyAt(TTolvoHost::HistorySize).used) anyResult = true;  // this run's only
    if (!unable && !host->cannotPing.empty()) unable = host;
  }
  tellCannotPing(unable);
  known = anyResult;

  const bool ok = upTotal >= downTotal;
  if (!known) return ok;
  if (ok && connectionState == csDown) {
    connectionState = csUp;
    eventHub.connectionChanged(csUp);
  } else if (!ok && connectionState == csUp) {
    lastDownAt = clock.now();
    connectionState = csDown;
    eventHub.connectionChanged(csDown);
  } else if (connectionState == csUnknown) {
    connectionState = ok ? csUp : csDown;
    eventHub.connectionChanged(connectionState);
  }
  return ok;
}

// The user hears once that pinging is not possible, not at every echo that cannot be sent; again
// only after pinging worked in between (every host could send, and echoes were collected).
void TTolvoHosts::tellCannotPing(const TTolvoHost* unable) {
  if (!unable) {
    unableCause.clear();
    if (cannotPingTold && echoesThisRun() > echoesWhenTold) cannotPingTold = false;
    return;
  }
  unableCause = unable->cannotPingCause.empty() ? unable->cannotPing : unable->cannotPingCause;
  if (cannotPingTold) return;
  cannotPingTold = true;
  echoesWhenTold = echoesThisRun();
  postUserMessage("error #1\n\n" + unableCause);
}

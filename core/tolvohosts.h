#pragma once
// The one host list: up to 255 hosts in slots 1..255, the scheduler pass, the enumeration the
// windows use, the connection state, and the stream of engine events (see engineevents.h) that the
// event log and every other consumer subscribe to. Loading and saving the list (`loadFromFile`,
// `saveToFile`) are defined with the hosts file format, in storage.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/regionalformat.h"
#include "engineevents.h"
#include "hoststate.h"
#include "threadping.h"
#include "tolvohost.h"

// Name lookups for addHost: forward (name -> dotted address) or reverse (address -> name). Returns
// the asked text when the lookup fails. The program uses dnsQueryClass; tests may count or fake.
using TNameLookup = std::function<std::string(const std::string& text, bool forward)>;

class TTolvoHosts {
 public:
  static constexpr int MaxHosts = 255;

  explicit TTolvoHosts(const TClock& clock = systemClock());
  ~TTolvoHosts();
  TTolvoHosts(const TTolvoHosts&) = delete;
  TTolvoHosts& operator=(const TTolvoHosts&) = delete;

  // Subscribers of the engine's events, served in the order they subscribed.
  TEngineEventHub& events() { return eventHub; }
  // The maintenance dialog calls this after it changed a host's names or address.
  void hostEdited(TTolvoHost* host, const THostNames& before);

  // Takes the host into the lowest free slot (ownership moves); false when full (the host stays
  // with the caller).
  bool appendHost(std::unique_ptr<TTolvoHost>& host);
  bool deleteHost(TTolvoHost* host);
  bool clearHosts();
  std::int32_t hostCount() const;

  bool firstHost();
  bool nextHost(TTolvoHost*& out);
  bool hasMoreHosts() const;

  void schedulerPass();
  // How many of the next scheduler ticks (of `passesPerTick` passes, one every `tickMs`) would step
  // only hosts with nothing to do: a worker idle, no request in flight, not due before the step,
  // interval already 3 or more. At most `maxTicks`; 0 when the next tick has work.
  int idleTicksAhead(int passesPerTick, std::int64_t tickMs, int maxTicks) const;
  // Moves the scheduler on by `passes` passes without stepping anyone, as passes over idle hosts
  // would (they change nothing but the position).
  void skipPasses(int passes);
  // Sum of the hosts' counters (earlier runs' included), in 64 bits.
  std::int64_t totalPings() const;
  // Echoes collected in this run, by every host the list has held (deleted ones included), so it
  // only ever grows: the pings-per-second figure is drawn from it.
  std::uint64_t echoesThisRun() const;
  // Names with addresses of both families are pinged over IPv6 rather than IPv4 (the setting
  // PreferIpv6Setting); applies to every host, present and future.
  void setPreferIpv6(bool prefer);
  bool preferIpv6() const { return preferV6; }
  bool evaluateConnection();
  // Whether the last evaluation had a result of this run to go by. Until some host has one (none
  // was sent yet, or none can be sent) the connection state is unknown: the evaluation decides and
  // logs nothing then, and the windows say so.
  bool connectionKnown() const { return known; }
  // Why some host cannot ping now (its echo facility's cause, with the remedy), as of the last
  // evaluation; empty while every host can.
  const std::string& cannotPingCause() const { return unableCause; }

  // Adding hosts from text (dotted address or host name), with lookups and the duplicate test.
  TTolvoHost* addHost(const std::string& text, bool reverseResolve);
  bool hostExists(const std::string& text) const;

  // Not const: a file another program changed meanwhile is merged into the list first.
  bool saveToFile(const std::string& fileName);
  bool loadFromFile(const std::string& fileName);

  // The host in a slot (1..255), or nullptr.
  TTolvoHost* hostAt(int slot) const;
  // The hosts' addresses in slot order (what per-address settings are read for).
  std::vector<std::string> addresses() const;
  // Goes up whenever a host is added, deleted or edited: addresses() may differ only after it has.
  std::uint64_t listChanges() const { return changes; }
  // A new host with this list's clock and echo service, not yet in the list.
  std::unique_ptr<TTolvoHost> newHost() const;

  connState connectionState = csUnknown;
  TDateTime lastDownAt = 0;

  // Dates in the hosts file follow this format (the user's locale unless a test sets another).
  TRegionalFormat regional = TRegionalFormat::fromLocale();
  // Handed to every new host's worker; empty means the real ICMP echo.
  TEchoService echoService;
  // Lookups of addHost; empty means dnsQueryClass.
  TNameLookup nameLookup;

 private:
  const TClock& clock;
  TEngineEventHub eventHub;
  std::array<std::unique_ptr<TTolvoHost>, MaxHosts + 1> hosts;  // index 0 unused
  std::int32_t enumCursor = 0;
  bool passBusy = false;
  bool enumDone = false;
  std::int32_t nextIndex = 1;
  std::int32_t occupied = 0;  // hosts in the slots
  std::uint64_t changes = 0;  // listChanges()
  std::uint64_t echoesOfRemovedHosts = 0;
  bool preferV6 = false;
  void tellCannotPing(const TTolvoHost* unable);

  bool known = false;
  std::string unableCause;
  // The user was told that pinging is not possible, when this run had collected so many echoes.
  bool cannotPingTold = false;
  std::uint64_t echoesWhenTold = 0;
  // Per slot, the status computed at the previous evaluation (see evaluateConnection).
  std::array<hostStatus, MaxHosts + 1> evaluatedStatus{};
};

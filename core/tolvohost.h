#pragma once
// One monitored host: its names and address, timeout and target interval, counters, the dates of its
// last events, its last 500 results, and the request/result handshake with its own worker thread.

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "base/tolvotime.h"
#include "hoststate.h"
#include "threadping.h"

struct pingResult {
  bool used = false;
  bool succeeded = false;
  TDateTime at = 0;
  std::int32_t pingTime = 0;
};

class TEngineObserver;

class TTolvoHost {
 public:
  static constexpr int HistorySize = 500;

  explicit TTolvoHost(const TClock& clock = systemClock(), TEchoService echoService = {});
  ~TTolvoHost();  // stops and releases the worker
  TTolvoHost(const TTolvoHost&) = delete;
  TTolvoHost& operator=(const TTolvoHost&) = delete;

  std::string hostName;
  std::string ipAddress;
  std::string callingName;
  std::int32_t timeout = 5000;
  std::int32_t interval = 1;
  std::int32_t succeededCount = 0;
  std::int32_t failedCount = 0;
  pingResult lastSuccess;
  pingResult lastFailure;
  TDateTime lastResultAt = 0;
  TDateTime lastSentAt = 0;  // the creation time
  bool inFlight = false;
  std::unique_ptr<TThreadPing> worker;
  hostStatus status = hsUnknown;
  // Why the last echo could not be sent (the echo facility's message), empty once one was; shown
  // after the status text.
  std::string cannotPing;
  // The cause behind `cannotPing`, with its remedy (for the user's message and notes).
  std::string cannotPingCause;
  // Echoes whose result was collected in this run (the counters above also hold earlier runs').
  std::uint64_t echoesThisRun = 0;
  // Names with addresses of both families are pinged over IPv6 (IPv4 by default).
  bool preferIpv6 = false;

  // Unique within the run, never reused: subscribers key their own records of a host by it.
  const std::uint64_t runId;
  // Where collected results are published; the host list sets it when it takes the host.
  TEngineObserver* events = nullptr;

  // Position 1 is the oldest entry, 500 the newest.
  const pingResult& historyAt(int position) const;

  void pingStep();
  // The next step sends a request (after an edited address: the new one is pinged at once).
  void dueNow();
  // A step at monotonic time `atMs` would do nothing: a worker that is idle with nothing in flight
  // and no result waiting, not due by then, and an interval the scheduler need not raise.
  bool idleUntil(std::int64_t atMs) const;
  void addResult(pingResult result);
  double averagePingTime() const;
  bool recentlyUp(std::int32_t n) const;
  hostStatus getStatus() const;
  bool updateStatus();
  std::string statusText(hostStatus s) const;

 private:
  void startWorker();
  void collectResult();
  bool workerLooksDead(std::int64_t nowMs) const;
  void sendRequest(std::int64_t nowMs);

  const TClock& clock;
  TEchoService echoService;
  std::int64_t sentUnixMs = 0;  // wall-clock time of the request in flight
  // Monotonic time of the last request handed over (the creation time before the first): the due
  // and dead-worker tests measure from it, so a wall clock that steps never moves them.
  std::int64_t lastSentMs = 0;
  TDateTime sentAtBefore = 0;  // lastSentAt before the request in flight
  // The history as a ring: `historyHead` is the index of position 1.
  std::array<pingResult, HistorySize> history{};
  int historyHead = 0;
};

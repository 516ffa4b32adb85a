#pragma once
// The engine's one stream of events. Everything that reacts to the monitor (the event log, the
// results database, alerts, metrics, the overview) subscribes here instead of reaching into the
// host list. Events are published on the interface thread, in the order they happen; subscribers
// are served in the order they subscribed (the event log first) and must not block.

#include <cstdint>
#include <string>
#include <vector>

#include "hoststate.h"

class TTolvoHost;

// One echo's outcome as the engine collected it.
struct TEchoResult {
  std::int64_t sentUnixMs = 0;  // wall-clock time of the send, UTC milliseconds since 1970
  bool answered = false;
  std::int64_t rttMicros = -1;  // round trip in microseconds; -1 when lost
};

// A host's names and address before an edit.
struct THostNames {
  std::string callingName;
  std::string hostName;
  std::string ipAddress;
};

class TEngineObserver {
 public:
  virtual ~TEngineObserver() = default;
  virtual void echoResult(const TTolvoHost& /*host*/, const TEchoResult& /*result*/) {}
  // A real transition of the host's evaluated status (Ok or Down), as the event log records it.
  virtual void hostStatusChanged(const TTolvoHost& /*host*/, hostStatus /*status*/) {}
  virtual void connectionChanged(connState /*state*/) {}
  virtual void hostAdded(const TTolvoHost& /*host*/) {}
  // Published before the host is destroyed; the reference is valid until the call returns.
  virtual void hostDeleting(const TTolvoHost& /*host*/) {}
  virtual void hostEdited(const TTolvoHost& /*host*/, const THostNames& /*before*/) {}
};

// Hands every event to each subscriber in turn. A subscriber unsubscribes before it is destroyed.
class TEngineEventHub final : public TEngineObserver {
 public:
  void subscribe(TEngineObserver* observer);
  void unsubscribe(TEngineObserver* observer);
  bool empty() const;

  void echoResult(const TTolvoHost& host, const TEchoResult& result) override;
  void hostStatusChanged(const TTolvoHost& host, hostStatus status) override;
  void connectionChanged(connState state) override;
  void hostAdded(const TTolvoHost& host) override;
  void hostDeleting(const TTolvoHost& host) override;
  void hostEdited(const TTolvoHost& host, const THostNames& before) override;

 private:
  template <typename Call>
  void each(Call call);

  // A subscriber that leaves while an event is handed out is blanked and taken out once the last
  // event being handed out is done, so an event costs no copy of the list.
  std::vector<TEngineObserver*> observers;
  int handingOut = 0;
  bool blanked = false;
};

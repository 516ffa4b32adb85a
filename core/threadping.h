#pragma once
// The ping worker: one thread per host that sends that host's echo requests, one at a time, so a
// slow or unanswered echo never blocks the interface thread.
//
// Handshake with the host (which runs on the interface thread):
//   1. The host writes `timeout` and `address`, then sets `requestPending` (release).
//   2. The worker sees `requestPending` (acquire), sends one echo, writes `replied` and `pingTime`,
//      clears `requestPending`, then sets `resultReady` (release) — in that order, so that a request
//      the host sends in the same step in which it collects the result is never cleared.
//   3. The host sees `resultReady` (acquire), reads `replied` and `pingTime`, clears `resultReady`.
// Between requests the worker sleeps on a futex (a wake-up counter), so a request or a release is
// taken up at once and an idle worker costs next to nothing: one wake by the host and one wait by the
// worker per echo, and no lock that the two would take in turn. A release also fires the worker's cancel handle,
// which ends an echo in progress (its name lookup or its wait for the reply) at once.
//
// The real echo goes through one TPing that the worker keeps: its sockets are opened at the first
// request and kept, and opened afresh after the echo facility failed.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

// The outcome of one echo.
struct TEchoOutcome {
  bool replied = false;
  std::int32_t pingTime = -1;  // ms; -1 when not answered
  std::int64_t rttMicros = -1;  // the same round trip in microseconds
};

// Sends one echo and waits for it. May throw TICMPException when the echo facility cannot be opened.
using TEchoService = std::function<TEchoOutcome(const std::string& address, std::int32_t timeoutMs)>;

// One real echo with a TPing of its own (opened and closed for this echo), other settings default.
TEchoOutcome icmpEcho(const std::string& address, std::int32_t timeoutMs);

class TPing;

class TThreadPing {
 public:
  // Created without running; start() runs the loop. An empty service means the real ICMP echo over
  // the worker's own TPing.
  explicit TThreadPing(TEchoService echoService = {});
  ~TThreadPing();  // release()
  TThreadPing(const TThreadPing&) = delete;
  TThreadPing& operator=(const TThreadPing&) = delete;

  void start();
  // Asks the loop to end and interrupts the real echo in progress, without waiting.
  void stop();
  // stop(), then waits until the loop has ended.
  void release();
  // Wakes the worker after a request was set.
  void notify();
  void setPriorityNormal();
  // Worker threads of the program running now (started and not yet ended), for checks and tests.
  static int runningWorkers();

  // Fields shared with the host, in the handshake order described above.
  bool replied = false;             // worker writes before resultReady
  std::int32_t pingTime = 0;        // worker writes before resultReady
  std::int64_t rttMicros = -1;      // worker writes before resultReady
  // The echo could not be sent because the echo facility cannot be opened (no permission for ICMP
  // sockets, say): no result at all. `notSentReason` is the facility's message.
  bool notSent = false;             // worker writes before resultReady
  std::string notSentReason;        // worker writes before resultReady
  std::string notSentCause;         // worker writes before resultReady: why, and the remedy
  std::int32_t timeout = 0;         // host writes before requestPending
  std::string address;              // host writes before requestPending
  bool preferIpv6 = false;          // host writes before requestPending
  std::atomic<std::int32_t> stage{0};
  std::atomic<bool> resultReady{false};
  std::atomic<bool> keepRunning{true};
  std::atomic<bool> requestPending{false};

 private:
  void Execute();
  void pause();
  void serveRequest();
  bool shouldWake() const;
  TEchoOutcome realEcho(const std::string& target, std::int32_t limit);

  TEchoService echoService;  // empty: realEcho
  std::unique_ptr<TPing> ping;  // the real echo's facility, owned by the worker's thread
  int cancelFd = -1;  // eventfd, readable once release() was called
  bool priorityNormal = false;
  std::atomic<bool> terminated{false};
  // Raised after every request and at the release; the worker sleeps while it keeps the value it
  // read before its look at the flags.
  std::atomic<std::uint32_t> wakeCount{0};
  std::thread thread;
};

// The ping worker's loop and its handshake with the host.
//
//   1. stage 1: wait on the wake-up counter until notify() (a request was set) or release() (the
//      loop must end) wakes it. stage 2.
//   2. No request pending: go round again.
//   3. A request: clear resultReady, stage 5 and 6, send one echo through the echo service (which
//      blocks for at most the request's timeout), stage 7.
//   4. Store `replied` and `pingTime` (-1 when not answered); stage 8, 9.
//   5. The echo service could not be opened (TICMPException): store no result: the echo was never
//      sent (`notSent`, with the facility's message and its cause), so the host counts and records
//      nothing for it. The host list tells the user, once (see TTolvoHosts::evaluateConnection).
//   6. Clear requestPending, then set resultReady (release): the host may hand over the next request
//      in the same step in which it collects this result, and that request must survive.
//   7. When keepRunning is cleared or release() is called the loop ends: requestPending cleared,
//      resultReady set, stage 10.

#include "threadping.h"

#include <linux/futex.h>
#include <pthread.h>
#include <sched.h>
#include <sys/eventfd.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <exception>

#include "icmp/ping.h"
#include "base/usermessages.h"

namespace {

// Every request and every release wakes the worker at once (each sets its flag, raises the counter
// and wakes the futex), so the wait needs no time limit: a timed wait would arm and cancel a kernel
// timer at every echo, and 255 workers polling every 100 ms cost about 4.5 % of a core (some 13 us
// per wake-up on our reference machine).

static_assert(sizeof(std::atomic<std::uint32_t>) == sizeof(std::uint32_t));

std::uint32_t* futexWord(std::atomic<std::uint32_t>& counter) {
  return reinterpret_cast<std::uint32_t*>(&counter);
}

// Sleeps while the counter still holds `seen` (returns at once when it moved on meanwhile).
void futexWait(std::atomic<std::uint32_t>& counter, std::uint32_t seen) {
  syscall(SYS_futex, futexWord(counter), FUTEX_WAIT_PRIVATE, seen, nullptr, nullptr, 0);
}

void futexWake(std::atomic<std::uint32_t>& counter, int sleepers) {
  syscall(SYS_futex, futexWord(counter), FUTEX_WAKE_PRIVATE, sleepers, nullptr, nullptr, 0);
}

std::atomic<int> workersRunning{0};

}  // namespace

TThreadPing::TThreadPing(TEchoService service)
    : echoService(std::move(service)), cancelFd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

TThreadPing::~TThreadPing() {
  release();
  ping.reset();
  if (cancelFd >= 0) close(cancelFd);
}

void TThreadPing::start() {
  if (thread.joinable()) return;
  terminated.store(false, std::memory_order_release);
  workersRunning.fetch_add(1, std::memory_order_relaxed);
  thread = std::thread([this] {
    Execute();
    workersRunning.fetch_sub(1, std::memory_order_release);
  });
}

int TThreadPing::runningWorkers() { return workersRunning.load(std::memory_order_acquire); }

void TThreadPing::stop() {
  terminated.store(true, std::memory_order_release);
  wakeCount.fetch_add(1, std::memory_order_release);
  futexWake(wakeCount, 1);
  if (cancelFd >= 0) {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = write(cancelFd, &one, sizeof one);
  }
}

void TThreadPing::release() {
  stop();
  if (thread.joinable() && thread.get_id() != std::this_thread::get_id()) thread.join();
}

void TThreadPing::notify() {
  // The flag was set before; raising the counter after it means a worker between its look at the
  // flags and its wait finds the counter moved on and looks again, so the wake-up cannot be lost.
  wakeCount.fetch_add(1, std::memory_order_release);
  futexWake(wakeCount, 1);
}

void TThreadPing::setPriorityNormal() {
  // Workers are created with the ordinary time-sharing policy; this only undoes a change that
  // something else may have made, and costs one system call the first time.
  if (priorityNormal || !thread.joinable()) return;
  sched_param param{};
  param.sched_priority = 0;
  pthread_setschedparam(thread.native_handle(), SCHED_OTHER, &param);
  priorityNormal = true;
}

bool TThreadPing::shouldWake() const {
  return requestPending.load(std::memory_order_acquire) ||
         !keepRunning.load(std::memory_order_acquire) || terminated.load(std::memory_order_acquire);
}

void TThreadPing::pause() {
  for (;;) {
    const std::uint32_t seen = wakeCount.load(std::memory_order_acquire);
    if (shouldWake()) return;
    futexWait(wakeCount, seen);
  }
}

namespace {

// Errors after which the worker's sockets are not to be trusted again: open them afresh.
bool facilityBroken(std::int32_t error) {
  return error == EBADF || error == ENOTSOCK || error == ENOBUFS || error == ENOMEM;
}

}  // namespace

TEchoOutcome TThreadPing::realEcho(const std::string& target, std::int32_t limit) {
  if (!ping) {
    ping = std::make_unique<TPing>();  // throws TICMPException; the next request tries again
    ping->setCancelHandle(cancelFd);
  }
  ping->setAddress(target);
  ping->resolveAgain();  // a name is looked up for every echo, as it always was (not an address)
  ping->setPreferIpv6(preferIpv6);
  ping->setTimeout(limit);
  TEchoOutcome outcome;
  try {
    outcome.replied = ping->Ping() == 1;
  } catch (const TICMPException&) {
    ping.reset();
    throw;
  }
  outcome.pingTime = outcome.replied ? static_cast<std::int32_t>(ping->Reply().rtt) : -1;
  outcome.rttMicros = outcome.replied ? ping->ReplyMicros() : -1;
  if (facilityBroken(ping->ErrorCode())) ping.reset();
  return outcome;
}

void TThreadPing::serveRequest() {
  resultReady.store(false, std::memory_order_relaxed);
  bool answered = false;
  bool sent = true;
  std::string reason;
  std::string cause;
  std::int32_t time = -1;
  std::int64_t micros = -1;
  try {
    stage.store(5, std::memory_order_relaxed);
    const std::string target = address;
    const std::int32_t limit = timeout;
    stage.store(6, std::memory_order_relaxed);
    const TEchoOutcome outcome = echoService ? echoService(target, limit) : realEcho(target, limit);
    stage.store(7, std::memory_order_relaxed);
    answered = outcome.replied;
    time = answered ? outcome.pingTime : -1;
    if (answered)
      micros = outcome.rttMicros >= 0 ? outcome.rttMicros : std::int64_t{outcome.pingTime} * 1000;
  } catch (const TICMPException& e) {
    sent = false;
    reason = e.what();
    cause = e.cause();
  } catch (const std::exception& e) {
    // Anything else the echo service throws must not end the program from a worker thread.
    postUserMessage("error #1\n\n" + std::string(e.what()));
  }
  replied = answered;
  pingTime = time;
  rttMicros = micros;
  notSent = !sent;
  notSentReason = std::move(reason);
  notSentCause = std::move(cause);
  stage.store(8, std::memory_order_relaxed);
  stage.store(9, std::memory_order_relaxed);
  requestPending.store(false, std::memory_order_release);
  resultReady.store(true, std::memory_order_release);
}

void TThreadPing::Execute() {
  while (keepRunning.load(std::memory_order_acquire) &&
         !terminated.load(std::memory_order_acquire)) {
    stage.store(1, std::memory_order_relaxed);
    pause();
    stage.store(2, std::memory_order_relaxed);
    if (!keepRunning.load(std::memory_order_acquire) ||
        terminated.load(std::memory_order_acquire))
      break;
    if (!requestPending.load(std::memory_order_acquire)) continue;
    serveRequest();
  }
  requestPending.store(false, std::memory_order_release);
  resultReady.store(true, std::memory_order_release);
  stage.store(10, std::memory_order_relaxed);
}

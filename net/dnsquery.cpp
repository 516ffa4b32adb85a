#include "dnsquery.h"

#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>

#include "asyncsocket.h"
#include "socketerrors.h"

namespace {

// The system resolver gives up on its own long before this (a few seconds per server and try);
// the limit is only there so that a resolver that never answers cannot stop the caller for good.
// A lookup cut off by it counts as failed (time-out), like any other resolver failure.
constexpr std::chrono::seconds LookupWaitLimit{30};

std::atomic<bool> ipv6First{false};

bool isIpv6Text(const std::string& address) { return address.find(':') != std::string::npos; }

}  // namespace

void setPreferIpv6(bool prefer) { ipv6First = prefer; }
bool preferIpv6() { return ipv6First; }

dnsQueryClass::dnsQueryClass() : socket(std::make_unique<TAsyncSocket>()) {
  socket->OnDnsLookupDone = [this](TAsyncSocket*, std::uint16_t code) { lookupDone(code); };
}

dnsQueryClass::~dnsQueryClass() = default;  // the socket cancels what is still pending

void dnsQueryClass::lookupDone(std::uint16_t code) {
  errorCode = code;
  done = true;
  if (waiting) waiting->quit();
}

void dnsQueryClass::lookup(const std::string& text, bool forward, std::string& result) {
  // A dotted address completes inside the start call, so done must be cleared before it.
  done = false;
  errorCode = 0;
  if (forward)
    socket->DnsLookup(text);
  else
    socket->ReverseDnsLookup(text);

  if (!done) {
    // Sleeps in the event loop until the answer (or the limit) wakes it; timers, painting and
    // input go on meanwhile. The loop also ends when the application quits all its loops.
    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    limit.start(LookupWaitLimit);
    waiting = &loop;
    loop.exec();
    waiting = nullptr;
    if (!done) {
      socket->CancelDnsLookup();
      errorCode = socketcode::TimedOut;
      done = true;
    }
  }
  if (errorCode != 0) {
    result = text;
    return;
  }
  result = socket->DnsResult();
  if (forward && preferIpv6()) {
    const auto& found = socket->DnsResultList();
    const auto v6 = std::find_if(found.begin(), found.end(), isIpv6Text);
    if (v6 != found.end()) result = *v6;
  }
}

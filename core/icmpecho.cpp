// The real echo: one TPing per request, as the worker's contract asks, so no state of one echo
// carries over to the next.

#include <cstdint>
#include <string>

#include "icmp/ping.h"
#include "threadping.h"

TEchoOutcome icmpEcho(const std::string& address, std::int32_t timeoutMs) {
  TPing ping;  // throws TICMPException when the echo facility cannot be opened
  ping.setAddress(address);
  ping.setTimeout(timeoutMs);
  TEchoOutcome outcome;
  outcome.replied = ping.Ping() == 1;
  outcome.pingTime = outcome.replied ? static_cast<std::int32_t>(ping.Reply().rtt) : -1;
  outcome.rttMicros = outcome.replied ? ping.ReplyMicros() : -1;
  return outcome;
}

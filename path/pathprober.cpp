#include "path/pathprober.h"

#include <arpa/inet.h>
#include <linux/errqueue.h>
#include <linux/icmp.h>
#include <netinet/icmp6.h>
#include <netinet/in.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

#include "icmp/echopacket.h"
#include "icmp/echosocket.h"
#include "path/probepacket.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::size_t SequenceBlock = 64;
constexpr std::int32_t ProbeDataBytes = 32;
constexpr std::size_t ReceiveBytes = 1500;

// One datagram or error-queue entry as recvmsg fills it: the bytes, the peer, the control messages.
struct TReceived {
  std::array<std::uint8_t, ReceiveBytes> bytes{};
  sockaddr_storage peer{};
  iovec part{};
  alignas(cmsghdr) char control[512];
  msghdr message{};
  TReceived() {
    part = {bytes.data(), bytes.size()};
    message.msg_name = &peer;
    message.msg_namelen = sizeof peer;
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
  }
  TReceived(const TReceived&) = delete;
  TReceived& operator=(const TReceived&) = delete;
};

std::string addressText(const sockaddr* address) {
  char text[INET6_ADDRSTRLEN] = {};
  if (address->sa_family == AF_INET6)
    inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr, text,
              sizeof text);
  else if (address->sa_family == AF_INET)
    inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, text, sizeof text);
  return text;
}

bool sameHost(const sockaddr_storage& a, const sockaddr_storage& b) {
  if (a.ss_family != b.ss_family) return false;
  if (a.ss_family == AF_INET6)
    return std::memcmp(&reinterpret_cast<const sockaddr_in6&>(a).sin6_addr,
                       &reinterpret_cast<const sockaddr_in6&>(b).sin6_addr, sizeof(in6_addr)) == 0;
  return reinterpret_cast<const sockaddr_in&>(a).sin_addr.s_addr ==
         reinterpret_cast<const sockaddr_in&>(b).sin_addr.s_addr;
}

// A raw socket sees every ICMP message of the host: let through echo replies and the two errors
// that answer probes. The error queue stays off: the errors arrive as packets already.
void prepareRaw(int fd, bool v6) {
  const int off = 0;
  if (v6) {
    icmp6_filter filter{};
    ICMP6_FILTER_SETBLOCKALL(&filter);
    ICMP6_FILTER_SETPASS(ICMP6_ECHO_REPLY, &filter);
    ICMP6_FILTER_SETPASS(ICMP6_TIME_EXCEEDED, &filter);
    ICMP6_FILTER_SETPASS(ICMP6_DST_UNREACH, &filter);
    setsockopt(fd, IPPROTO_ICMPV6, ICMP6_FILTER, &filter, sizeof filter);
    setsockopt(fd, IPPROTO_IPV6, IPV6_RECVERR, &off, sizeof off);
    return;
  }
  icmp_filter filter{};  // set bits block a type
  filter.data = ~((1U << echopacket::TypeEchoReply) | (1U << echopacket::TypeTimeExceeded) |
                  (1U << echopacket::TypeDestUnreachable));
  setsockopt(fd, SOL_RAW, ICMP_FILTER, &filter, sizeof filter);
  setsockopt(fd, IPPROTO_IP, IP_RECVERR, &off, sizeof off);
}

}  // namespace

struct TPathProber::TRound {
  enum class TState { waiting, sent, done };
  struct TProbe {
    TState state = TState::waiting;
    Clock::time_point deadline{};
    timespec sentAt{};
  };
  explicit TRound(const TPathProbeOptions& chosen) : options(chosen) {}
  const TPathProbeOptions& options;
  std::array<TProbe, TPathProbeOptions::MaxHops + 1> probes{};  // by TTL; 0 unused
  TPathRound result;
  int stopAt = 0;  // the highest TTL that counts
  int inFlight = 0;

  // The TTL a sequence number stands for in this round, or 0.
  int ttlOf(std::uint16_t sequence, std::uint16_t base) const {
    const int ttl = static_cast<std::uint16_t>(sequence - base);
    return ttl >= 1 && ttl <= stopAt && probes[ttl].state == TState::sent ? ttl : 0;
  }
  void settle(int ttl) {
    probes[ttl].state = TState::done;
    --inFlight;
  }
  // The host (or a router refusing to go on) answered at `ttl`: nothing above it counts.
  void endAt(int ttl) {
    for (int above = ttl + 1; above <= stopAt; ++above) {
      if (probes[above].state == TState::sent) settle(above);
      probes[above].state = TState::done;
    }
    stopAt = ttl;
  }
};

TPathProber::TPathProber(const sockaddr_storage& host, TTokenBucket& sharedBucket)
    : target(host), bucket(sharedBucket) {
  const TEchoSocket opened = openEchoSocket(v6() ? AF_INET6 : AF_INET);
  fd = opened.fd;
  datagram = opened.datagram;
  if (!datagram) prepareRaw(fd, v6());
  // Apart from the echo workers' identifier (the process id), so their raw sockets and ours do not
  // mistake each other's replies.
  identifier = static_cast<std::uint16_t>((getpid() ^ 0x5A5A) & 0xFFFF);
  sequenceBase = static_cast<std::uint16_t>(identifier * 7);
}

TPathProber::~TPathProber() {
  if (fd >= 0) close(fd);
}

// An ICMP error that reached a datagram socket also becomes its pending error (sk_err, set by
// ping_err in net/ipv4/ping.c), and the next send takes that error and fails with it instead of
// sending (sock_alloc_send_pskb checks sock_error first). With probes in flight, "time exceeded"
// for an earlier TTL is the rule, not the exception: so a failed send is tried again, and only one
// that fails three times running is taken as the kernel's refusal (no route, for example).
bool TPathProber::sendPacket(std::span<const std::uint8_t> packet) {
  const socklen_t length = v6() ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
  for (int attempt = 0; attempt < 3; ++attempt) {
    if (sendto(fd, packet.data(), packet.size(), 0, reinterpret_cast<const sockaddr*>(&target),
               length) >= 0)
      return true;
    if (errno == EINTR || errno == EAGAIN) continue;
    if (errno == EACCES || errno == EPERM || errno == EINVAL || errno == EMSGSIZE) return false;
  }
  return false;
}

bool TPathProber::sendProbe(TRound& round, int ttl) {
  const int hops = ttl;
  const int set = v6() ? setsockopt(fd, IPPROTO_IPV6, IPV6_UNICAST_HOPS, &hops, sizeof hops)
                       : setsockopt(fd, IPPROTO_IP, IP_TTL, &hops, sizeof hops);
  const auto sequence = static_cast<std::uint16_t>(sequenceBase + ttl);
  const auto data = echopacket::echoData(ProbeDataBytes);
  const auto packet = v6() ? echopacket::echoRequestV6(identifier, sequence, data)
                           : echopacket::echoRequest(identifier, sequence, data);
  auto& probe = round.probes[ttl];
  probe.sentAt = wallClockNow();
  if (set != 0 || !sendPacket(packet)) {
    // No route, no permission for this TTL...: the probe is lost and the round goes no further,
    // since every later probe would be refused the same way.
    round.result.sendError = errno;
    probe.state = TRound::TState::done;
    round.endAt(ttl);
    return false;
  }
  probe.state = TRound::TState::sent;
  probe.deadline = Clock::now() + round.options.probeTimeout;
  ++round.inFlight;
  return true;
}

TPathRound TPathProber::runRound(const TPathProbeOptions& options) {
  TRound round(options);
  round.stopAt = std::clamp(options.maxHops, 1, TPathProbeOptions::MaxHops);
  const int maxInFlight = std::max(options.maxInFlight, 1);
  sequenceBase = static_cast<std::uint16_t>(sequenceBase + SequenceBlock);
  int nextTtl = 1;
  // Bounded: every pass sends, settles or sleeps until a deadline, and the last probe of at most
  // MaxHops is sent within MaxHops tokens; the round's own deadline is a second guard.
  const auto roundLimit =
      Clock::now() + options.probeTimeout * (round.stopAt + 1) + std::chrono::seconds(round.stopAt);
  while (Clock::now() < roundLimit) {
    auto now = Clock::now();
    for (int ttl = 1; ttl <= round.stopAt; ++ttl) {
      if (round.probes[ttl].state == TRound::TState::sent && round.probes[ttl].deadline <= now)
        round.settle(ttl);
    }
    while (nextTtl <= round.stopAt && round.inFlight < maxInFlight && bucket.take(now)) {
      if (!sendProbe(round, nextTtl++)) break;
    }
    if (nextTtl > round.stopAt && round.inFlight == 0) break;
    auto wake = roundLimit;
    for (int ttl = 1; ttl <= round.stopAt; ++ttl) {
      if (round.probes[ttl].state == TRound::TState::sent)
        wake = std::min(wake, round.probes[ttl].deadline);
    }
    if (nextTtl <= round.stopAt && round.inFlight < maxInFlight)
      wake = std::min(wake, bucket.nextTokenAt(now));
    const auto waitMs = std::chrono::ceil<std::chrono::milliseconds>(wake - now).count();
    pollfd watched[2] = {{fd, POLLIN, 0}, {options.cancelFd, POLLIN, 0}};
    const int ready = poll(watched, options.cancelFd >= 0 ? 2 : 1,
                           static_cast<int>(std::max<std::int64_t>(waitMs, 0)));
    if (ready > 0 && options.cancelFd >= 0 && (watched[1].revents & POLLIN) != 0) break;
    if (ready > 0) drain(round);
  }
  round.result.hops.erase(
      std::remove_if(round.result.hops.begin(), round.result.hops.end(),
                     [&](const THopAnswer& hop) { return hop.hop > round.stopAt; }),
      round.result.hops.end());
  // Hops without an answer are listed as lost, in order.
  const int lastHop = std::min(round.stopAt, nextTtl - 1);
  std::vector<THopAnswer> ordered(static_cast<std::size_t>(std::max(lastHop, 0)));
  for (int ttl = 1; ttl <= lastHop; ++ttl) ordered[ttl - 1].hop = ttl;
  for (auto& answered : round.result.hops) ordered[answered.hop - 1] = answered;
  round.result.hops = std::move(ordered);
  round.result.reached = lastHop >= 1 && round.result.hops.back().isHost;
  return round.result;
}

void TPathProber::drain(TRound& round) {
  // Bounded by what is queued: each call consumes one entry or reports an empty queue.
  for (int taken = 0; taken < 256; ++taken) {
    const bool received = takeReceived(round);
    const bool queued = datagram && takeQueuedError(round);
    if (!received && !queued) return;
  }
}

bool TPathProber::takeReceived(TRound& round) {
  TReceived in;
  const ssize_t length = recvmsg(fd, &in.message, MSG_DONTWAIT);
  if (length < 0) return false;
  const sockaddr_storage& from = in.peer;
  msghdr& message = in.message;
  const auto bytes = std::span<const std::uint8_t>(in.bytes.data(), static_cast<std::size_t>(length));
  std::optional<probepacket::TProbeAnswer> answer;
  if (datagram) {
    answer = probepacket::parseEchoAnswer(bytes, v6());
  } else if (v6()) {
    echopacket::TIpv6Bytes host{};
    std::memcpy(host.data(), &reinterpret_cast<const sockaddr_in6&>(target).sin6_addr, host.size());
    answer = probepacket::parseRawAnswerV6(bytes, host);
  } else {
    answer = probepacket::parseRawAnswerV4(
        bytes, reinterpret_cast<const sockaddr_in&>(target).sin_addr.s_addr);
  }
  if (!answer || (!datagram && answer->identifier != identifier)) return true;
  // An echo reply counts from the host only; the kernel hands datagram sockets replies from anyone.
  if (answer->kind == probepacket::TAnswerKind::echoReply && !sameHost(from, target)) return true;
  const int ttl = round.ttlOf(answer->sequence, sequenceBase);
  if (ttl == 0) return true;
  THopAnswer hop;
  hop.hop = ttl;
  hop.address = addressText(reinterpret_cast<const sockaddr*>(&from));
  hop.rttMicros =
      echopacket::roundTripMicros(round.probes[ttl].sentAt, kernelReceiveTime(message));
  hop.isHost = answer->kind == probepacket::TAnswerKind::echoReply;
  hop.unreachable = answer->kind == probepacket::TAnswerKind::unreachable;
  round.settle(ttl);
  round.result.hops.push_back(hop);
  if (hop.isHost || hop.unreachable) round.endAt(ttl);
  return true;
}

bool TPathProber::takeQueuedError(TRound& round) {
  TReceived in;  // the bytes are our own request as the router quoted it
  const ssize_t length = recvmsg(fd, &in.message, MSG_ERRQUEUE | MSG_DONTWAIT);
  if (length < 0) return false;
  msghdr& message = in.message;
  const auto& original = in.bytes;
  const sock_extended_err* failure = extendedSocketError(message);
  if (failure == nullptr ||
      (failure->ee_origin != SO_EE_ORIGIN_ICMP && failure->ee_origin != SO_EE_ORIGIN_ICMP6))
    return true;
  const auto answer = probepacket::parseQueuedError(
      failure->ee_type,
      std::span<const std::uint8_t>(original.data(), static_cast<std::size_t>(length)),
      failure->ee_origin == SO_EE_ORIGIN_ICMP6);
  if (!answer) return true;
  const int ttl = round.ttlOf(answer->sequence, sequenceBase);
  if (ttl == 0) return true;
  THopAnswer hop;
  hop.hop = ttl;
  hop.address = addressText(SO_EE_OFFENDER(failure));
  hop.rttMicros =
      echopacket::roundTripMicros(round.probes[ttl].sentAt, kernelReceiveTime(message));
  hop.unreachable = answer->kind == probepacket::TAnswerKind::unreachable;
  round.settle(ttl);
  round.result.hops.push_back(hop);
  if (hop.unreachable) round.endAt(ttl);
  return true;
}

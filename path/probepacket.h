#pragma once
// What comes back for a TTL-limited echo, as bytes in and a result out (no sockets), so every
// layout is tested with byte fixtures.
//
// A probe is an echo request whose TTL (hop limit) may run out on the way. Three answers count:
//   - the echo reply: the host itself was reached;
//   - "time exceeded" (ICMP 11 / ICMPv6 3): a router on the way dropped it at TTL 0 and says so;
//   - "destination unreachable" (ICMP 3 / ICMPv6 1): a router or the host says it cannot go
//     further.
// The two errors quote the request they are about: its IP header, then at least the 8 bytes of its
// ICMP header (RFC 792; RFC 4443 quotes as much as fits), which carry our identifier and sequence.
//
// How they arrive depends on the socket (see pathprober.h):
//   - raw IPv4 sockets hand over every ICMP packet with its IPv4 header: parseRawAnswerV4;
//   - raw ICMPv6 sockets hand over the ICMPv6 message alone: parseRawAnswerV6;
//   - datagram sockets hand echo replies over alone (parseEchoAnswer) and put the errors on the
//     error queue as a sock_extended_err plus the request as we sent it (parseQueuedError).

#include <cstdint>
#include <optional>
#include <span>

#include "icmp/echopacket.h"

namespace probepacket {

enum class TAnswerKind { echoReply, timeExceeded, unreachable };

struct TProbeAnswer {
  TAnswerKind kind = TAnswerKind::echoReply;
  std::uint16_t identifier = 0;  // of the request the answer is about
  std::uint16_t sequence = 0;
};

// The probed host's address, in the forms echopacket uses (network order for IPv4).
struct TProbeTarget {
  bool v6 = false;
  std::uint32_t v4 = 0;
  echopacket::TIpv6Bytes v6Bytes{};
};

// An ICMP message without IP header: an echo reply gives its identifier and sequence, anything else
// nothing. `v6` picks the ICMPv6 type numbers. Whether the sender is the host is the caller's
// check.
std::optional<TProbeAnswer> parseEchoAnswer(std::span<const std::uint8_t> icmp, bool v6);

// A whole IPv4 packet from a raw socket: an echo reply, or an error quoting an echo request of ours
// that was sent to `target`. Anything else (our own request seen on loopback, a quoted UDP packet,
// a truncated packet) gives nothing.
std::optional<TProbeAnswer> parseRawAnswerV4(std::span<const std::uint8_t> packet,
                                             std::uint32_t target);

// The same for an ICMPv6 message from a raw ICMPv6 socket.
std::optional<TProbeAnswer> parseRawAnswerV6(std::span<const std::uint8_t> message,
                                             const echopacket::TIpv6Bytes& target);

// An entry of a datagram socket's error queue: the ICMP type from its sock_extended_err
// (`v6` when its origin was ICMPv6) and `original`, the echo request the error was about as the
// socket sent it. Errors other than time exceeded and unreachable give nothing.
std::optional<TProbeAnswer> parseQueuedError(std::uint8_t type,
                                             std::span<const std::uint8_t> original, bool v6);

}  // namespace probepacket

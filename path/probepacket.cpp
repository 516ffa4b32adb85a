#include "path/probepacket.h"

#include <algorithm>
#include <cstring>

namespace probepacket {

namespace {

constexpr std::size_t IcmpHeaderBytes = 8;
constexpr std::size_t Ipv6HeaderBytes = 40;
constexpr std::uint8_t ProtocolIcmp = 1;
constexpr std::uint8_t NextHeaderIcmpV6 = 58;

std::uint16_t read16(const std::uint8_t* bytes) {
  return static_cast<std::uint16_t>((bytes[0] << 8) | bytes[1]);
}

std::optional<TAnswerKind> errorKind(std::uint8_t type, bool v6) {
  if (type == (v6 ? echopacket::TypeV6TimeExceeded : echopacket::TypeTimeExceeded))
    return TAnswerKind::timeExceeded;
  if (type == (v6 ? echopacket::TypeV6DestUnreachable : echopacket::TypeDestUnreachable))
    return TAnswerKind::unreachable;
  return std::nullopt;
}

// The identifier and sequence of an echo request's ICMP header at the start of `request`.
std::optional<TProbeAnswer> quotedRequest(std::span<const std::uint8_t> request, TAnswerKind kind,
                                          bool v6) {
  if (request.size() < IcmpHeaderBytes) return std::nullopt;
  if (request[0] != (v6 ? echopacket::TypeV6EchoRequest : echopacket::TypeEchoRequest))
    return std::nullopt;
  return TProbeAnswer{kind, read16(&request[4]), read16(&request[6])};
}

}  // namespace

std::optional<TProbeAnswer> parseEchoAnswer(std::span<const std::uint8_t> icmp, bool v6) {
  if (icmp.size() < IcmpHeaderBytes) return std::nullopt;
  if (icmp[0] != (v6 ? echopacket::TypeV6EchoReply : echopacket::TypeEchoReply) || icmp[1] != 0)
    return std::nullopt;
  return TProbeAnswer{TAnswerKind::echoReply, read16(&icmp[4]), read16(&icmp[6])};
}

std::optional<TProbeAnswer> parseRawAnswerV4(std::span<const std::uint8_t> packet,
                                             std::uint32_t target) {
  // Outer IPv4 header: version 4, length in 32-bit words (IHL), at least 20 bytes.
  if (packet.size() < echopacket::IpHeaderMinBytes || (packet[0] >> 4) != 4) return std::nullopt;
  const std::size_t outer = static_cast<std::size_t>(packet[0] & 0x0F) * 4;
  if (outer < echopacket::IpHeaderMinBytes || packet.size() < outer + IcmpHeaderBytes)
    return std::nullopt;
  const auto icmp = packet.subspan(outer);
  const auto kind = errorKind(icmp[0], false);
  if (!kind) return parseEchoAnswer(icmp, false);
  // The quoted request: its IPv4 header (ICMP, sent to the target), then its ICMP header.
  const auto inner = icmp.subspan(IcmpHeaderBytes);
  if (inner.size() < echopacket::IpHeaderMinBytes || (inner[0] >> 4) != 4) return std::nullopt;
  const std::size_t innerHeader = static_cast<std::size_t>(inner[0] & 0x0F) * 4;
  if (innerHeader < echopacket::IpHeaderMinBytes || inner.size() < innerHeader) return std::nullopt;
  std::uint32_t destination = 0;
  std::memcpy(&destination, &inner[16], sizeof destination);
  if (inner[9] != ProtocolIcmp || destination != target) return std::nullopt;
  return quotedRequest(inner.subspan(innerHeader), *kind, false);
}

std::optional<TProbeAnswer> parseRawAnswerV6(std::span<const std::uint8_t> message,
                                             const echopacket::TIpv6Bytes& target) {
  if (message.size() < IcmpHeaderBytes) return std::nullopt;
  const auto kind = errorKind(message[0], true);
  if (!kind) return parseEchoAnswer(message, true);
  // The quoted request: its IPv6 header (next header ICMPv6, sent to the target; a request of ours
  // carries no extension headers), then its ICMPv6 header.
  const auto inner = message.subspan(IcmpHeaderBytes);
  if (inner.size() < Ipv6HeaderBytes || (inner[0] >> 4) != 6 || inner[6] != NextHeaderIcmpV6)
    return std::nullopt;
  if (!std::equal(target.begin(), target.end(), inner.begin() + 24)) return std::nullopt;
  return quotedRequest(inner.subspan(Ipv6HeaderBytes), *kind, true);
}

std::optional<TProbeAnswer> parseQueuedError(std::uint8_t type,
                                             std::span<const std::uint8_t> original, bool v6) {
  const auto kind = errorKind(type, v6);
  if (!kind) return std::nullopt;
  return quotedRequest(original, *kind, v6);
}

}  // namespace probepacket

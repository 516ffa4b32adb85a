#include "icmp/echopacket.h"

#include <algorithm>
#include <cstring>

namespace echopacket {

namespace {

std::uint16_t readBigEndian16(const std::uint8_t* bytes) {
  return static_cast<std::uint16_t>((bytes[0] << 8) | bytes[1]);
}

void writeBigEndian16(std::uint8_t* bytes, std::uint16_t value) {
  bytes[0] = static_cast<std::uint8_t>(value >> 8);
  bytes[1] = static_cast<std::uint8_t>(value & 0xFF);
}

// Identifier and sequence of an ICMP echo header at `icmp` (at least 8 bytes).
bool sameEcho(const std::uint8_t* icmp, const TEchoExpected& expected) {
  return readBigEndian16(icmp + 4) == expected.identifier &&
         readBigEndian16(icmp + 6) == expected.sequence;
}

}  // namespace

std::vector<std::uint8_t> echoData(std::int32_t size) {
  if (size <= 0) return {};
  std::vector<std::uint8_t> data(static_cast<std::size_t>(size), ' ');
  const std::size_t patterned = std::min(data.size(), PatternBytes);
  constexpr char digits[] = "1234567890";
  for (std::size_t i = 0; i < patterned; ++i) data[i] = static_cast<std::uint8_t>(digits[i % 10]);
  return data;
}

std::uint16_t internetChecksum(std::span<const std::uint8_t> bytes) {
  std::uint32_t sum = 0;
  std::size_t i = 0;
  for (; i + 1 < bytes.size(); i += 2) sum += readBigEndian16(&bytes[i]);
  if (i < bytes.size()) sum += static_cast<std::uint32_t>(bytes[i]) << 8;
  while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
  const auto folded = static_cast<std::uint16_t>(~sum & 0xFFFF);
  // Hand it back in wire order, ready to be copied into the packet.
  std::uint8_t wire[2];
  writeBigEndian16(wire, folded);
  std::uint16_t stored = 0;
  std::memcpy(&stored, wire, sizeof stored);
  return stored;
}

void stampEchoRequest(std::span<std::uint8_t> packet, std::uint8_t type, std::uint16_t identifier,
                      std::uint16_t sequence, bool withChecksum) {
  packet[0] = type;
  packet[1] = 0;
  packet[2] = packet[3] = 0;
  writeBigEndian16(&packet[4], identifier);
  writeBigEndian16(&packet[6], sequence);
  if (!withChecksum) return;
  const std::uint16_t checksum = internetChecksum(packet);
  std::memcpy(&packet[2], &checksum, sizeof checksum);
}

std::vector<std::uint8_t> echoRequest(std::uint16_t identifier, std::uint16_t sequence,
                                      std::span<const std::uint8_t> data) {
  std::vector<std::uint8_t> packet(IcmpHeaderBytes + data.size(), 0);
  std::copy(data.begin(), data.end(), packet.begin() + IcmpHeaderBytes);
  stampEchoRequest(packet, TypeEchoRequest, identifier, sequence, true);
  return packet;
}

namespace {

// The verdict on an ICMP message at `icmp` (of `length` bytes, at least a header) of either family.
TEchoReplyInfo judgeEcho(const std::uint8_t* icmp, std::size_t length, std::uint8_t replyType,
                         std::uint16_t identifier, std::uint16_t sequence, bool fromSource) {
  TEchoReplyInfo info;
  if (icmp[0] != replyType || icmp[1] != 0) {
    info.verdict = TEchoVerdict::wrongType;
  } else if (readBigEndian16(icmp + 4) != identifier) {
    info.verdict = TEchoVerdict::wrongIdentifier;
  } else if (readBigEndian16(icmp + 6) != sequence) {
    info.verdict = TEchoVerdict::wrongSequence;
  } else if (!fromSource) {
    info.verdict = TEchoVerdict::wrongSource;
  } else {
    info.verdict = TEchoVerdict::match;
    info.dataSize = static_cast<std::uint16_t>(length - IcmpHeaderBytes);
  }
  return info;
}

}  // namespace

TEchoReplyInfo parseEchoReply(std::span<const std::uint8_t> datagram, bool withIpHeader,
                              std::uint32_t sender, const TEchoExpected& expected) {
  TEchoReplyInfo info;
  std::size_t offset = 0;
  if (withIpHeader) {
    if (datagram.size() < IpHeaderMinBytes) return info;
    const std::size_t headerBytes = static_cast<std::size_t>(datagram[0] & 0x0F) * 4;
    // A version other than 4 or a header length below the minimum is no IPv4 packet of ours.
    if ((datagram[0] >> 4) != 4 || headerBytes < IpHeaderMinBytes) return info;
    offset = headerBytes;
  }
  if (datagram.size() < offset + IcmpHeaderBytes) return info;
  return judgeEcho(datagram.data() + offset, datagram.size() - offset, TypeEchoReply,
                   expected.identifier, expected.sequence, sender == expected.source);
}

std::vector<std::uint8_t> echoRequestV6(std::uint16_t identifier, std::uint16_t sequence,
                                        std::span<const std::uint8_t> data) {
  std::vector<std::uint8_t> packet(IcmpHeaderBytes + data.size(), 0);
  std::copy(data.begin(), data.end(), packet.begin() + IcmpHeaderBytes);
  stampEchoRequest(packet, TypeV6EchoRequest, identifier, sequence, false);
  return packet;
}

TEchoReplyInfo parseEchoReplyV6(std::span<const std::uint8_t> datagram, const TIpv6Bytes& sender,
                                const TEchoExpectedV6& expected) {
  if (datagram.size() < IcmpHeaderBytes) return {};
  return judgeEcho(datagram.data(), datagram.size(), TypeV6EchoReply, expected.identifier,
                   expected.sequence, sender == expected.source);
}

bool isErrorForRequestV6(std::span<const std::uint8_t> original,
                         const TIpv6Bytes& originalDestination, const TEchoExpectedV6& expected) {
  if (original.size() < IcmpHeaderBytes) return false;
  return original[0] == TypeV6EchoRequest && readBigEndian16(&original[4]) == expected.identifier &&
         readBigEndian16(&original[6]) == expected.sequence &&
         originalDestination == expected.source;
}

std::uint32_t replyStatusForErrorV6(std::uint8_t type, std::uint8_t code) {
  switch (type) {
    case TypeV6DestUnreachable:
      // 0 no route, 1 prohibited, 3 address unreachable, 4 port unreachable (RFC 4443, 3.1).
      return code == 0 ? 11002 : code == 4 ? 11005 : 11003;
    case TypeV6PacketTooBig: return 11009;
    case TypeV6TimeExceeded: return code == 0 ? 11013 : 11014;
    default: return 11050;
  }
}

bool isErrorForRequest(std::span<const std::uint8_t> original, std::uint32_t originalDestination,
                       const TEchoExpected& expected) {
  if (original.size() < IcmpHeaderBytes) return false;
  return original[0] == TypeEchoRequest && sameEcho(original.data(), expected) &&
         originalDestination == expected.source;
}

std::uint32_t replyStatusForError(std::uint8_t type, std::uint8_t code) {
  constexpr std::uint32_t GeneralFailure = 11050;
  if (type == TypeDestUnreachable) {
    switch (code) {
      case 0: return 11002;   // net unreachable
      case 1: return 11003;   // host unreachable
      case 2: return 11004;   // protocol unreachable
      case 3: return 11005;   // port unreachable
      case 4: return 11009;   // fragmentation needed with DF set: packet too big
      default: return 11003;  // administratively prohibited and the like: host unreachable
    }
  }
  if (type == TypeTimeExceeded) return code == 0 ? 11013 : 11014;
  return GeneralFailure;
}

std::uint32_t roundTripMs(const timespec& sent, const timespec& received) {
  const std::int64_t nanoseconds =
      (static_cast<std::int64_t>(received.tv_sec) - static_cast<std::int64_t>(sent.tv_sec)) *
          1'000'000'000 +
      (static_cast<std::int64_t>(received.tv_nsec) - static_cast<std::int64_t>(sent.tv_nsec));
  if (nanoseconds <= 0) return 0;
  const std::int64_t ms = nanoseconds / 1'000'000;
  return ms > 0xFFFFFFFFLL ? 0xFFFFFFFFU : static_cast<std::uint32_t>(ms);
}

std::int64_t roundTripMicros(const timespec& sent, const timespec& received) {
  const std::int64_t nanoseconds =
      (static_cast<std::int64_t>(received.tv_sec) - static_cast<std::int64_t>(sent.tv_sec)) *
          1'000'000'000 +
      (static_cast<std::int64_t>(received.tv_nsec) - static_cast<std::int64_t>(sent.tv_nsec));
  return nanoseconds <= 0 ? 0 : nanoseconds / 1000;
}

}  // namespace echopacket

#pragma once
// ICMP echo packets as bytes: building a request and judging what a socket hands back.
//
// Pure functions, no sockets: what arrives on an ICMP socket is a byte string plus the sender's
// address, and whether it answers our request depends on those alone. Two layouts arrive:
//   - datagram ICMP sockets (SOCK_DGRAM, IPPROTO_ICMP) deliver the ICMP message alone;
//   - raw ICMP sockets deliver it behind the IPv4 header, which has to be skipped (IHL words).
// The error queue (IP_RECVERR) of either kind hands back the ICMP header and data of our own request
// that an ICMP error (destination unreachable, time exceeded) was sent for.
//
// IPv4 addresses are in network byte order, as in sockaddr_in; IPv6 addresses are the 16 bytes of
// sockaddr_in6. Identifier and sequence are in host order.
//
// ICMPv6 (RFC 4443) arrives without the IPv6 header on both kinds of socket; its checksum covers a
// pseudo-header that only the kernel knows, so the kernel fills it in on sending (RFC 3542).

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <array>
#include <span>
#include <vector>

namespace echopacket {

constexpr std::uint8_t TypeEchoReply = 0;
constexpr std::uint8_t TypeDestUnreachable = 3;
constexpr std::uint8_t TypeEchoRequest = 8;
constexpr std::uint8_t TypeTimeExceeded = 11;
constexpr std::size_t IcmpHeaderBytes = 8;
constexpr std::size_t IpHeaderMinBytes = 20;
// The largest echo data that fits one IPv4 datagram: 65535 - 20 (IP header) - 8 (ICMP header).
constexpr std::int32_t MaxDataBytes = 65507;
// Only this many leading bytes carry the digit pattern; the rest of larger requests is blanks.
constexpr std::size_t PatternBytes = 140;

// The echo data of `size` bytes: "1234567890" repeated over the first min(size, 140) bytes, blanks
// after that. A negative size gives no data.
std::vector<std::uint8_t> echoData(std::int32_t size);

// The Internet checksum (RFC 1071) over `bytes`: the one's complement of the one's complement sum of
// the 16-bit words, an odd last byte padded with zero. Returned in network byte order as two bytes
// would be read from the wire into a uint16_t, so it can be stored with memcpy.
std::uint16_t internetChecksum(std::span<const std::uint8_t> bytes);

// Writes the header of an echo request (`type`, code 0, identifier, sequence, and the checksum when
// asked) over the first 8 bytes of `packet`, whose echo data is in place after them: a sender that
// keeps its packet between echoes rewrites only this.
void stampEchoRequest(std::span<std::uint8_t> packet, std::uint8_t type, std::uint16_t identifier,
                      std::uint16_t sequence, bool withChecksum);

// A complete echo request: type 8, code 0, checksum, identifier, sequence, then `data`. Datagram
// sockets overwrite the identifier and checksum on sending; raw sockets send it as it is.
std::vector<std::uint8_t> echoRequest(std::uint16_t identifier, std::uint16_t sequence,
                                      std::span<const std::uint8_t> data);

// What a reply must carry to answer our request.
struct TEchoExpected {
  std::uint16_t identifier = 0;
  std::uint16_t sequence = 0;
  std::uint32_t source = 0;  // the address pinged
};

enum class TEchoVerdict {
  match,          // the echo reply to our request
  truncated,      // too short for the headers it claims
  wrongType,      // some other ICMP message (our own request looped back, for example)
  wrongIdentifier,
  wrongSequence,
  wrongSource,    // a reply with our identifier and sequence, but from another host
};

struct TEchoReplyInfo {
  TEchoVerdict verdict = TEchoVerdict::truncated;
  std::uint16_t dataSize = 0;  // bytes of echo data after the ICMP header (when matched)
};

// Judges one received datagram. `withIpHeader` is true for raw sockets. `sender` is the source
// address the socket reported for it.
TEchoReplyInfo parseEchoReply(std::span<const std::uint8_t> datagram, bool withIpHeader,
                              std::uint32_t sender, const TEchoExpected& expected);

// Judges an entry of the error queue: `original` is the echo request as the error quoted it (ICMP
// header first), `originalDestination` the address it was sent to. True when the error is about
// our request.
bool isErrorForRequest(std::span<const std::uint8_t> original, std::uint32_t originalDestination,
                       const TEchoExpected& expected);

// The reply status the program's reply header uses for an ICMP error of `type` and `code`:
// 11002 net, 11003 host, 11004 protocol, 11005 port unreachable, 11013 time-to-live expired in
// transit, 11014 expired during reassembly, 11050 for anything else.
std::uint32_t replyStatusForError(std::uint8_t type, std::uint8_t code);

// Whole milliseconds from `sent` to `received` (both CLOCK_REALTIME), rounded down. Never negative:
// a wall clock set back between the two readings gives 0, not a huge unsigned number.
std::uint32_t roundTripMs(const timespec& sent, const timespec& received);
// The same in microseconds, never negative.
std::int64_t roundTripMicros(const timespec& sent, const timespec& received);

// ICMPv6 echoes (RFC 4443): request 128, reply 129; errors about a request quote it in the same
// way as for IPv4.
constexpr std::uint8_t TypeV6DestUnreachable = 1;
constexpr std::uint8_t TypeV6PacketTooBig = 2;
constexpr std::uint8_t TypeV6TimeExceeded = 3;
constexpr std::uint8_t TypeV6EchoRequest = 128;
constexpr std::uint8_t TypeV6EchoReply = 129;

using TIpv6Bytes = std::array<std::uint8_t, 16>;

struct TEchoExpectedV6 {
  std::uint16_t identifier = 0;
  std::uint16_t sequence = 0;
  TIpv6Bytes source{};  // the address pinged
};

// An ICMPv6 echo request with a zero checksum, which the kernel computes on sending.
std::vector<std::uint8_t> echoRequestV6(std::uint16_t identifier, std::uint16_t sequence,
                                        std::span<const std::uint8_t> data);

TEchoReplyInfo parseEchoReplyV6(std::span<const std::uint8_t> datagram, const TIpv6Bytes& sender,
                                const TEchoExpectedV6& expected);

bool isErrorForRequestV6(std::span<const std::uint8_t> original,
                         const TIpv6Bytes& originalDestination, const TEchoExpectedV6& expected);

// The reply status for an ICMPv6 error, in the same codes as replyStatusForError.
std::uint32_t replyStatusForErrorV6(std::uint8_t type, std::uint8_t code);

}  // namespace echopacket

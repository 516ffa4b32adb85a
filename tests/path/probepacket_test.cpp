// Answers to TTL-limited echoes as bytes: which ones are about our probes, and what they say.

#include "path/probepacket.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <vector>

#include "icmp/echopacket.h"

namespace {

using probepacket::TAnswerKind;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint16_t Id = 0x1234;
constexpr std::uint16_t Seq = 0x0105;

std::uint32_t v4(const char* text) { return inet_addr(text); }

// An IPv4 header of `length` bytes (20 or more) for `protocol`, sent to `destination`.
Bytes ipHeader(std::uint8_t protocol, std::uint32_t destination, std::size_t length = 20) {
  Bytes header(length, 0);
  header[0] = static_cast<std::uint8_t>(0x40 | (length / 4));
  header[8] = 1;  // TTL
  header[9] = protocol;
  std::memcpy(&header[16], &destination, 4);
  return header;
}

Bytes join(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

Bytes request() { return echopacket::echoRequest(Id, Seq, echopacket::echoData(32)); }

// A raw IPv4 packet from a router: ICMP `type` quoting `quoted` (IP header and request).
Bytes routerError(std::uint8_t type, const Bytes& quoted) {
  return join({ipHeader(1, v4("192.0.2.1")), Bytes{type, 0, 0, 0, 0, 0, 0, 0}, quoted});
}

TEST(ProbePacket, RawIpv4AnswersAreTiedToOurRequestToTheHost) {
  const std::uint32_t host = v4("198.51.100.9");
  Bytes reply = request();
  reply[0] = echopacket::TypeEchoReply;
  const Bytes ownRequest = join({ipHeader(1, host), request()});
  const Bytes requestHeader(ownRequest.begin() + 20, ownRequest.begin() + 28);
  struct TCase {
    const char* what;
    Bytes packet;
    std::optional<TAnswerKind> kind;
  } cases[] = {
      {"time exceeded", routerError(11, join({ipHeader(1, host), request()})),
       TAnswerKind::timeExceeded},
      {"unreachable", routerError(3, join({ipHeader(1, host), request()})),
       TAnswerKind::unreachable},
      {"quoted header with options", routerError(11, join({ipHeader(1, host, 24), request()})),
       TAnswerKind::timeExceeded},
      {"only the 8 quoted bytes RFC 792 asks for",
       routerError(11, join({ipHeader(1, host), requestHeader})), TAnswerKind::timeExceeded},
      {"echo reply", join({ipHeader(1, v4("198.51.100.9")), reply}), TAnswerKind::echoReply},
      {"about a request to another host",
       routerError(11, join({ipHeader(1, v4("198.51.100.10")), request()})), std::nullopt},
      {"about a UDP packet", routerError(11, join({ipHeader(17, host), request()})), std::nullopt},
      {"quote cut short", routerError(11, join({ipHeader(1, host), Bytes{8, 0, 0, 0}})),
       std::nullopt},
      {"our own request seen on loopback", ownRequest, std::nullopt},
      {"not IPv4", Bytes(28, 0x60), std::nullopt},
  };
  for (const TCase& c : cases) {
    const auto answer = probepacket::parseRawAnswerV4(c.packet, host);
    ASSERT_EQ(answer.has_value(), c.kind.has_value()) << c.what;
    if (!answer) continue;
    EXPECT_EQ(answer->kind, *c.kind) << c.what;
    EXPECT_EQ(answer->identifier, Id) << c.what;
    EXPECT_EQ(answer->sequence, Seq) << c.what;
  }
}

TEST(ProbePacket, RawIpv6AnswersQuoteTheHostAndOurRequest) {
  echopacket::TIpv6Bytes host{};
  inet_pton(AF_INET6, "2001:db8:3::2", host.data());
  const Bytes requestV6 = echopacket::echoRequestV6(Id, Seq, echopacket::echoData(32));
  const auto quoting = [&](std::uint8_t type, std::uint8_t nextHeader, std::uint8_t lastByte) {
    Bytes header(40, 0);
    header[0] = 0x60;
    header[6] = nextHeader;
    std::copy(host.begin(), host.end(), header.begin() + 24);
    header[39] = lastByte;
    return join({Bytes{type, 0, 0, 0, 0, 0, 0, 0}, header, requestV6});
  };
  const auto exceeded = probepacket::parseRawAnswerV6(quoting(3, 58, host[15]), host);
  ASSERT_TRUE(exceeded);
  EXPECT_EQ(exceeded->kind, TAnswerKind::timeExceeded);
  EXPECT_EQ(exceeded->sequence, Seq);
  EXPECT_EQ(probepacket::parseRawAnswerV6(quoting(1, 58, host[15]), host)->kind,
            TAnswerKind::unreachable);
  EXPECT_FALSE(probepacket::parseRawAnswerV6(quoting(3, 58, 0x77), host)) << "another host";
  EXPECT_FALSE(probepacket::parseRawAnswerV6(quoting(3, 17, host[15]), host)) << "UDP";
  Bytes reply = requestV6;
  reply[0] = echopacket::TypeV6EchoReply;
  EXPECT_EQ(probepacket::parseRawAnswerV6(reply, host)->kind, TAnswerKind::echoReply);
}

TEST(ProbePacket, QueuedErrorsGiveTheirKindAndTheRequestsSequence) {
  const auto exceeded = probepacket::parseQueuedError(11, request(), false);
  ASSERT_TRUE(exceeded);
  EXPECT_EQ(exceeded->kind, TAnswerKind::timeExceeded);
  EXPECT_EQ(exceeded->sequence, Seq);
  const Bytes requestV6 = echopacket::echoRequestV6(Id, Seq, {});
  EXPECT_EQ(probepacket::parseQueuedError(1, requestV6, true)->kind, TAnswerKind::unreachable);
  EXPECT_FALSE(probepacket::parseQueuedError(12, request(), false)) << "parameter problem";
  EXPECT_FALSE(probepacket::parseQueuedError(11, requestV6, false)) << "an ICMPv6 request";
}

}  // namespace

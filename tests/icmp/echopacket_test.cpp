// Building echo requests and judging received datagrams, with byte fixtures and no socket.

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "icmp/echopacket.h"

using namespace echopacket;

namespace {

using Bytes = std::vector<std::uint8_t>;

const std::uint32_t Target = inet_addr("127.0.0.7");
const std::uint32_t Other = inet_addr("127.0.0.8");
const TEchoExpected Expected{0x1234, 0x0102, Target};

// An ICMP message as it would come off the wire: type, code, zero checksum, identifier, sequence,
// then `dataBytes` bytes of data.
Bytes icmpMessage(std::uint8_t type, std::uint16_t identifier, std::uint16_t sequence,
                  std::size_t dataBytes) {
  Bytes bytes{type, 0, 0, 0, static_cast<std::uint8_t>(identifier >> 8),
              static_cast<std::uint8_t>(identifier), static_cast<std::uint8_t>(sequence >> 8),
              static_cast<std::uint8_t>(sequence)};
  bytes.resize(IcmpHeaderBytes + dataBytes, 'x');
  return bytes;
}

// The same behind an IPv4 header of `headerWords` 32-bit words (5 without options), as raw
// sockets deliver it.
Bytes behindIpHeader(const Bytes& icmp, std::uint8_t headerWords = 5) {
  Bytes packet(headerWords * 4u, 0);
  packet[0] = static_cast<std::uint8_t>(0x40 | headerWords);
  packet[9] = 1;  // protocol ICMP
  std::memcpy(&packet[12], &Target, 4);
  packet.insert(packet.end(), icmp.begin(), icmp.end());
  return packet;
}

std::uint16_t wireChecksum(std::uint8_t high, std::uint8_t low) {
  const std::uint8_t wire[2] = {high, low};
  std::uint16_t value = 0;
  std::memcpy(&value, wire, 2);
  return value;
}

}  // namespace

TEST(EchoData, DigitsOverTheFirst140BytesThenBlanks) {
  const std::string runs = "1234567890";
  for (const std::int32_t size : {0, 1, 9, 10, 56, 139, 140, 141, 300}) {
    const Bytes data = echoData(size);
    ASSERT_EQ(data.size(), static_cast<std::size_t>(size)) << size;
    for (std::size_t i = 0; i < data.size(); ++i) {
      const char wanted = i < 140 ? runs[i % 10] : ' ';
      ASSERT_EQ(data[i], wanted) << "size " << size << " byte " << i;
    }
  }
  const Bytes standard = echoData(56);
  EXPECT_EQ(std::string(standard.begin(), standard.end()),
            "12345678901234567890123456789012345678901234567890123456");
  EXPECT_TRUE(echoData(-1).empty());
}

TEST(EchoRequest, HeaderFieldsAndAValidChecksum) {
  const Bytes data = echoData(56);
  const Bytes packet = echoRequest(0xBEEF, 0x0A0B, data);
  ASSERT_EQ(packet.size(), 64u);
  EXPECT_EQ(packet[0], TypeEchoRequest);
  EXPECT_EQ(packet[1], 0);
  EXPECT_EQ(packet[4], 0xBE);
  EXPECT_EQ(packet[5], 0xEF);
  EXPECT_EQ(packet[6], 0x0A);
  EXPECT_EQ(packet[7], 0x0B);
  EXPECT_TRUE(std::equal(data.begin(), data.end(), packet.begin() + 8));
  // A message with its checksum in place sums to all ones, so its checksum is zero.
  EXPECT_EQ(internetChecksum(packet), 0);
  // Odd data lengths pad the last byte, and the sum still checks.
  EXPECT_EQ(internetChecksum(echoRequest(1, 2, echoData(57))), 0);
}

TEST(InternetChecksum, KnownSums) {
  // The worked example of RFC 1071: the words sum to 0xddf2, whose complement is 0x220d.
  const Bytes rfcExample{0x00, 0x01, 0xf2, 0x03, 0xf4, 0xf5, 0xf6, 0xf7};
  EXPECT_EQ(internetChecksum(rfcExample), wireChecksum(0x22, 0x0d));
  // Carries out of the top are folded back in: 0xffff + 0x0001 = 0x0001 after folding.
  EXPECT_EQ(internetChecksum(Bytes{0xff, 0xff, 0x00, 0x01}), wireChecksum(0xff, 0xfe));
  EXPECT_EQ(internetChecksum(Bytes{0x01}), wireChecksum(0xfe, 0xff));
}

struct ReplyCase {
  const char* name;
  Bytes datagram;
  bool withIpHeader;
  std::uint32_t sender;
  TEchoVerdict verdict;
  std::uint16_t dataSize;
};

class ParseEchoReply : public testing::TestWithParam<ReplyCase> {};

TEST_P(ParseEchoReply, Verdict) {
  const ReplyCase& c = GetParam();
  const TEchoReplyInfo info = parseEchoReply(c.datagram, c.withIpHeader, c.sender, Expected);
  EXPECT_EQ(info.verdict, c.verdict);
  if (c.verdict == TEchoVerdict::match) {
    EXPECT_EQ(info.dataSize, c.dataSize);
  }
}

const Bytes OurReply = icmpMessage(TypeEchoReply, 0x1234, 0x0102, 56);

INSTANTIATE_TEST_SUITE_P(
    Fixtures, ParseEchoReply,
    testing::Values(
        ReplyCase{"datagram_match", OurReply, false, Target, TEchoVerdict::match, 56},
        ReplyCase{"raw_match", behindIpHeader(OurReply), true, Target, TEchoVerdict::match, 56},
        ReplyCase{"raw_with_ip_options", behindIpHeader(OurReply, 7), true, Target,
                  TEchoVerdict::match, 56},
        ReplyCase{"empty_data", icmpMessage(TypeEchoReply, 0x1234, 0x0102, 0), false, Target,
                  TEchoVerdict::match, 0},
        ReplyCase{"own_request_looped_back",
                  behindIpHeader(icmpMessage(TypeEchoRequest, 0x1234, 0x0102, 56)), true, Target,
                  TEchoVerdict::wrongType, 0},
        ReplyCase{"unreachable_is_no_reply",
                  icmpMessage(TypeDestUnreachable, 0x1234, 0x0102, 28), false, Target,
                  TEchoVerdict::wrongType, 0},
        ReplyCase{"another_pingers_identifier",
                  behindIpHeader(icmpMessage(TypeEchoReply, 0x4321, 0x0102, 56)), true, Target,
                  TEchoVerdict::wrongIdentifier, 0},
        ReplyCase{"earlier_sequence", icmpMessage(TypeEchoReply, 0x1234, 0x0101, 56), false,
                  Target, TEchoVerdict::wrongSequence, 0},
        ReplyCase{"another_host", OurReply, false, Other, TEchoVerdict::wrongSource, 0},
        ReplyCase{"raw_from_another_host", behindIpHeader(OurReply), true, Other,
                  TEchoVerdict::wrongSource, 0},
        ReplyCase{"short_icmp_header", Bytes(OurReply.begin(), OurReply.begin() + 7), false,
                  Target, TEchoVerdict::truncated, 0},
        ReplyCase{"short_ip_header", Bytes(19, 0x45), true, Target, TEchoVerdict::truncated, 0},
        ReplyCase{"ip_options_longer_than_packet",
                  [] {
                    Bytes b = behindIpHeader(OurReply, 15);
                    b.resize(64);
                    return b;
                  }(),
                  true, Target, TEchoVerdict::truncated, 0},
        ReplyCase{"ip_header_length_below_minimum",
                  [] {
                    Bytes b = behindIpHeader(OurReply);
                    b[0] = 0x44;
                    return b;
                  }(),
                  true, Target, TEchoVerdict::truncated, 0},
        ReplyCase{"not_ipv4",
                  [] {
                    Bytes b = behindIpHeader(OurReply);
                    b[0] = 0x65;
                    return b;
                  }(),
                  true, Target, TEchoVerdict::truncated, 0}),
    [](const testing::TestParamInfo<ReplyCase>& test) { return std::string(test.param.name); });

TEST(ErrorForRequest, MatchesOnlyOurQuotedRequest) {
  const Bytes quoted = icmpMessage(TypeEchoRequest, 0x1234, 0x0102, 56);
  EXPECT_TRUE(isErrorForRequest(quoted, Target, Expected));
  EXPECT_TRUE(isErrorForRequest(Bytes(quoted.begin(), quoted.begin() + 8), Target, Expected));
  EXPECT_FALSE(isErrorForRequest(quoted, Other, Expected));
  EXPECT_FALSE(isErrorForRequest(icmpMessage(TypeEchoRequest, 0x1234, 0x0103, 56), Target,
                                 Expected));
  EXPECT_FALSE(isErrorForRequest(icmpMessage(TypeEchoRequest, 0x9999, 0x0102, 56), Target,
                                 Expected));
  EXPECT_FALSE(isErrorForRequest(icmpMessage(TypeEchoReply, 0x1234, 0x0102, 56), Target,
                                 Expected));
  EXPECT_FALSE(isErrorForRequest(Bytes(quoted.begin(), quoted.begin() + 7), Target, Expected));
}

TEST(ReplyStatusForError, UnreachableAndTimeExceededKinds) {
  EXPECT_EQ(replyStatusForError(TypeDestUnreachable, 0), 11002u);
  EXPECT_EQ(replyStatusForError(TypeDestUnreachable, 1), 11003u);
  EXPECT_EQ(replyStatusForError(TypeDestUnreachable, 3), 11005u);
  EXPECT_EQ(replyStatusForError(TypeDestUnreachable, 4), 11009u);
  EXPECT_EQ(replyStatusForError(TypeDestUnreachable, 13), 11003u);
  EXPECT_EQ(replyStatusForError(TypeTimeExceeded, 0), 11013u);
  EXPECT_EQ(replyStatusForError(TypeTimeExceeded, 1), 11014u);
  EXPECT_EQ(replyStatusForError(12, 0), 11050u);
}

TEST(RoundTripMs, WholeMillisecondsNeverNegative) {
  struct Case {
    timespec sent, received;
    std::uint32_t ms;
  };
  const Case cases[] = {
      {{100, 0}, {100, 0}, 0},
      {{100, 0}, {100, 10'000}, 0},               // a loopback answer: 10 microseconds
      {{100, 0}, {100, 999'999}, 0},              // rounded down
      {{100, 0}, {100, 1'000'000}, 1},
      {{100, 999'500'000}, {101, 1'600'000}, 2},  // across a second boundary
      {{100, 0}, {104, 0}, 4000},
      {{100, 5'000'000}, {100, 0}, 0},            // the wall clock was set back
      {{100, 0}, {99, 0}, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(roundTripMs(c.sent, c.received), c.ms)
        << c.sent.tv_sec << "." << c.sent.tv_nsec << " -> " << c.received.tv_sec << "."
        << c.received.tv_nsec;
  }
}

TEST(EchoV6, RequestRepliesAndErrorsMatchIdentifierSequenceAndSource) {
  const TIpv6Bytes target{0xfd, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 7};
  TIpv6Bytes other = target;
  other[15] = 8;
  const TEchoExpectedV6 expected{0x1234, 0x0102, target};

  const Bytes request = echoRequestV6(0x1234, 0x0102, echoData(56));
  Bytes wanted = icmpMessage(TypeV6EchoRequest, 0x1234, 0x0102, 0);
  const auto data = echoData(56);
  wanted.insert(wanted.end(), data.begin(), data.end());
  EXPECT_EQ(request, wanted);
  EXPECT_EQ(request[2] | request[3], 0) << "the kernel fills in the checksum";

  const struct {
    Bytes datagram;
    TIpv6Bytes sender;
    TEchoVerdict verdict;
  } cases[] = {
      {icmpMessage(TypeV6EchoReply, 0x1234, 0x0102, 56), target, TEchoVerdict::match},
      {icmpMessage(TypeV6EchoReply, 0x1234, 0x0101, 56), target, TEchoVerdict::wrongSequence},
      {icmpMessage(TypeV6EchoReply, 0x4321, 0x0102, 56), target, TEchoVerdict::wrongIdentifier},
      {icmpMessage(TypeV6EchoReply, 0x1234, 0x0102, 56), other, TEchoVerdict::wrongSource},
      {icmpMessage(TypeEchoReply, 0x1234, 0x0102, 56), target, TEchoVerdict::wrongType},
      {icmpMessage(TypeV6EchoRequest, 0x1234, 0x0102, 56), target, TEchoVerdict::wrongType},
      {Bytes(7, 0), target, TEchoVerdict::truncated},
  };
  for (const auto& c : cases)
    EXPECT_EQ(parseEchoReplyV6(c.datagram, c.sender, expected).verdict, c.verdict);
  EXPECT_EQ(parseEchoReplyV6(cases[0].datagram, target, expected).dataSize, 56);

  EXPECT_TRUE(isErrorForRequestV6(request, target, expected));
  EXPECT_FALSE(isErrorForRequestV6(request, other, expected)) << "another socket's echo";
  EXPECT_FALSE(isErrorForRequestV6(echoRequestV6(0x1234, 0x0101, {}), target, expected));
  EXPECT_EQ(replyStatusForErrorV6(TypeV6DestUnreachable, 0), 11002u);
  EXPECT_EQ(replyStatusForErrorV6(TypeV6DestUnreachable, 1), 11003u);
  EXPECT_EQ(replyStatusForErrorV6(TypeV6PacketTooBig, 0), 11009u);
  EXPECT_EQ(replyStatusForErrorV6(TypeV6TimeExceeded, 1), 11014u);
}

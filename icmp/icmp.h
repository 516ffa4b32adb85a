#pragma once
// TICMP: the echo facility inside a TPing. It keeps one Linux ICMP socket per address family for its
// whole life (IPv4 opened at creation, ICMPv6 at the first IPv6 echo), resolves the address, sends
// one echo request and waits for the matching reply.
//
// One Ping:
//   1. Resolve Address if it changed since the last resolution: a dotted IPv4 address, an IPv6
//      literal (a zone such as "%eth0" included), else the system resolver, bounded by Timeout and
//      the cancel handle. Of a name's addresses the first IPv4 one is taken, or the first IPv6 one
//      when IPv6 is preferred; the other family when the preferred one has none. No address: 0
//      replies, error 11018, nothing sent.
//   2. Set TTL (hop limit) and the don't-fragment choice on the socket when they changed; take the
//      next sequence number of the process; note the wall-clock time; send.
//   3. Wait with poll() until a monotonic deadline Timeout ms after the send, or until the cancel
//      handle becomes readable (error ECANCELED). Every datagram that arrives is judged by
//      echopacket; foreign ones (another host, an old sequence) are dropped and the wait goes on.
//      An ICMP error about our request (error queue) ends the wait with 0 replies.
//   4. A match fills the reply header; the round-trip time is the kernel's receive timestamp minus
//      the time noted before sending.

#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdint>
#include <ctime>
#include <span>
#include <string>
#include <vector>

#include "icmp/echopacket.h"
#include "icmp/ping.h"

class TICMP {
 public:
  // Opens the IPv4 socket; throws TICMPException when neither kind of ICMP socket can be had.
  explicit TICMP(TPing& owner);
  ~TICMP();
  TICMP(const TICMP&) = delete;
  TICMP& operator=(const TICMP&) = delete;

  void setAddress(const std::string& text);
  const std::string& address() const { return addressText; }
  // A name is looked up again at the next echo; an address written as one (no zone) keeps what it
  // gave, as it can give nothing else.
  void forgetResolution() { resolved = resolved && literal; }

  // Throws TICMPException when an IPv6 address needs an ICMPv6 socket that cannot be had.
  std::int32_t ping();
  const TEchoReplyHeader& lastReply() const { return reply; }
  std::int64_t lastReplyMicros() const { return replyMicros; }
  std::int32_t errorCode() const { return error; }
  bool usedDatagramSocket() const { return current().datagram; }
  int resolvedFamily() const { return target.ss_family; }
  const std::string& hostName() const { return resolvedName; }
  const std::string& hostAddressText() const { return resolvedText; }

  std::int32_t size = 56;
  std::int32_t timeout = 4000;
  std::int32_t ttl = 64;
  std::int32_t flags = 0;
  bool preferIpv6 = false;
  int cancelFd = -1;

 private:
  // One family's socket and what has been set on it, so an unchanged echo costs no option calls.
  struct TFamilySocket {
    int fd = -1;
    bool datagram = false;
    int appliedTtl = -1;
    int appliedPmtu = -1;
    bool identifierKnown = false;
    sockaddr_storage peer{};  // raw sockets: the address the socket is connected to
    std::uint16_t identifier = 0;  // datagram sockets: the kernel's, read back after the first send
  };

  bool v6() const { return target.ss_family == AF_INET6; }
  TFamilySocket& current() { return v6() ? sock6 : sock4; }
  const TFamilySocket& current() const { return v6() ? sock6 : sock4; }
  void resolve();
  bool useLookedUp(const struct TNameAnswer& answer);
  void connectRaw(TFamilySocket& s);
  bool applyIpOptions(TFamilySocket& s);
  bool send(TFamilySocket& s, std::span<const std::uint8_t> packet);
  std::uint16_t identifierOf(TFamilySocket& s);
  std::int32_t awaitReply(std::uint16_t identifier, std::uint16_t sequence, const timespec& sentAt);
  // One datagram from the receive queue: 1 for our reply, 0 for anything else.
  std::int32_t takeReceived(std::span<std::uint8_t> buffer, std::uint16_t identifier,
                            std::uint16_t sequence, const timespec& sentAt);
  // One entry of the error queue: true when it was about our request (the wait ends).
  bool takeError(std::uint16_t identifier, std::uint16_t sequence);
  void display(const std::string& text) const;

  TPing& owner;
  TFamilySocket sock4;
  TFamilySocket sock6;
  std::string addressText;
  bool resolved = false;
  bool literal = false;  // the address text is a numeric address without a zone
  sockaddr_storage target{};  // AF_UNSPEC = none
  std::string resolvedName;
  std::string resolvedText;
  TEchoReplyHeader reply{};
  std::int64_t replyMicros = -1;
  std::int32_t error = 0;
  // Kept between echoes, so an echo allocates nothing: the request (header room, then the data of
  // `packetDataSize` bytes; only the header is written per echo) and the receive buffer.
  std::vector<std::uint8_t> packet;
  std::int32_t packetDataSize = -1;
  std::vector<std::uint8_t> receiveBuffer;
};

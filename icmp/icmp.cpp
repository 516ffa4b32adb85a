#include "icmp/icmp.h"

#include <arpa/inet.h>
#include <linux/errqueue.h>
#include <netdb.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

#include "icmp/echosocket.h"
#include "icmp/namelookup.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::int32_t NoAddressError = 11018;
constexpr std::uint32_t NoAddress = 0xFFFFFFFF;
// Room for the largest IPv4 header (60 bytes) and the ICMP header in front of the echoed data.
constexpr std::size_t HeaderRoomBytes = 128;
constexpr std::size_t QuotedBytes = 576;  // an ICMP error quotes at most this much of our request

// One sequence counter for the whole process: requests of different TPing objects (different
// threads) never share a sequence number until it wraps at 65536, which is what lets raw sockets,
// whose identifier is the process's, tell their replies apart.
std::uint16_t nextSequence() {
  static std::atomic<std::uint16_t> counter{0};
  return ++counter;
}

// The process's identifier, read once (the program never forks to ping).
std::uint16_t rawIdentifier() {
  static const std::uint16_t identifier = static_cast<std::uint16_t>(getpid() & 0xFFFF);
  return identifier;
}

echopacket::TIpv6Bytes bytesOf(const in6_addr& a) {
  echopacket::TIpv6Bytes bytes{};
  std::memcpy(bytes.data(), &a, bytes.size());
  return bytes;
}

// A message header for recvmsg: the sender's address, one data part, room for ancillary data.
msghdr receiveMessage(sockaddr_storage& address, iovec& part, char* control,
                      std::size_t controlSize) {
  msghdr message{};
  message.msg_name = &address;
  message.msg_namelen = sizeof address;
  message.msg_iov = &part;
  message.msg_iovlen = 1;
  message.msg_control = control;
  message.msg_controllen = controlSize;
  return message;
}

}  // namespace

TICMP::TICMP(TPing& ownerPing) : owner(ownerPing) {
  const TEchoSocket opened = openEchoSocket(AF_INET);
  sock4.fd = opened.fd;
  sock4.datagram = opened.datagram;
  target.ss_family = AF_UNSPEC;
}

TICMP::~TICMP() {
  if (sock4.fd >= 0) close(sock4.fd);
  if (sock6.fd >= 0) close(sock6.fd);
}

void TICMP::setAddress(const std::string& text) {
  if (text == addressText) return;
  addressText = text;
  resolved = false;
}

void TICMP::display(const std::string& text) const {
  if (owner.OnDisplay) owner.OnDisplay(text);
}

// Of a name's addresses, the first of the preferred family, else the first of the other.
bool TICMP::useLookedUp(const TNameAnswer& answer) {
  const int preferred = preferIpv6 ? AF_INET6 : AF_INET;
  const TLookedUpAddress* chosen = nullptr;
  for (const auto& a : answer.addresses) {
    if (a.address.ss_family == preferred) {
      chosen = &a;
      break;
    }
    if (chosen == nullptr) chosen = &a;
  }
  if (chosen == nullptr) return false;
  std::memcpy(&target, &chosen->address, chosen->length);
  resolvedName = answer.canonicalName;
  return true;
}

// The dotted form first, with inet_addr's rules (so "255.255.255.255" gives the none value, like a
// text that is no address at all), then an IPv6 literal, then the system resolver, in both
// families, within the echo's timeout. getaddrinfo is safe to call from several workers at once.
void TICMP::resolve() {
  target = {};
  target.ss_family = AF_UNSPEC;
  literal = false;
  const in_addr_t dotted = inet_addr(addressText.c_str());
  bool found = false;
  if (dotted != NoAddress) {
    auto& v4 = reinterpret_cast<sockaddr_in&>(target);
    v4.sin_family = AF_INET;
    v4.sin_addr.s_addr = dotted;
    resolvedName = addressText;
    found = true;
    literal = true;
  } else if (addressText.find(':') != std::string::npos) {
    // A literal never waits for a name server; its zone ("%eth0") becomes the scope id.
    addrinfo hints{};
    hints.ai_family = AF_INET6;
    hints.ai_flags = AI_NUMERICHOST;
    addrinfo* numeric = nullptr;
    if (getaddrinfo(addressText.c_str(), nullptr, &hints, &numeric) == 0 && numeric != nullptr) {
      std::memcpy(&target, numeric->ai_addr, std::min<std::size_t>(numeric->ai_addrlen, sizeof target));
      resolvedName = addressText;
      found = true;
      literal = addressText.find('%') == std::string::npos;
      freeaddrinfo(numeric);
    }
  } else if (const auto answer = lookUpName(addressText, timeout, cancelFd)) {
    found = useLookedUp(*answer);
  }
  if (found && !v6() &&
      reinterpret_cast<const sockaddr_in&>(target).sin_addr.s_addr == NoAddress) {
    // "255.255.255.255" read as a name: inet_addr's none value, which cannot be pinged.
    target = {};
    target.ss_family = AF_UNSPEC;
    return;
  }
  if (!found) {
    target = {};
    target.ss_family = AF_UNSPEC;
    display("Unable to resolve " + addressText);
    return;
  }
  char text[INET6_ADDRSTRLEN] = {};
  if (v6())
    inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6&>(target).sin6_addr, text, sizeof text);
  else
    inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in&>(target).sin_addr, text, sizeof text);
  resolvedText = text;
  resolved = true;
}

std::int32_t TICMP::ping() {
  error = 0;
  if (!resolved) resolve();
  if (target.ss_family == AF_UNSPEC) {
    error = NoAddressError;
    display("Invalid host address");
    return 0;
  }
  if (v6() && sock6.fd < 0) {
    const TEchoSocket opened = openEchoSocket(AF_INET6);  // throws TICMPException
    sock6.fd = opened.fd;
    sock6.datagram = opened.datagram;
  }
  TFamilySocket& s = current();
  if (!s.datagram) connectRaw(s);
  reply = {};
  replyMicros = -1;
  if (owner.OnEchoRequest) owner.OnEchoRequest();
  std::int32_t result = 0;
  if (size < 0 || size > echopacket::MaxDataBytes) {
    error = EMSGSIZE;  // no IPv4 datagram can carry it; nothing is sent
  } else if (applyIpOptions(s)) {
    const std::uint16_t sequence = nextSequence();
    const std::uint16_t identifier = s.datagram ? 0 : rawIdentifier();
    if (packetDataSize != size) {
      const auto data = echopacket::echoData(size);
      packet.assign(echopacket::IcmpHeaderBytes, 0);
      packet.insert(packet.end(), data.begin(), data.end());
      packetDataSize = size;
    }
    // ICMPv6 checksums are the kernel's (they cover the addresses); ICMP ones are ours.
    echopacket::stampEchoRequest(
        packet, v6() ? echopacket::TypeV6EchoRequest : echopacket::TypeEchoRequest, identifier,
        sequence, !v6());
    const timespec sentAt = wallClockNow();
    if (send(s, packet)) result = awaitReply(identifierOf(s), sequence, sentAt);
  }
  if (owner.OnEchoReply) owner.OnEchoReply(result);
  return result;
}

// A raw ICMP socket is handed a copy of every echo reply that reaches the host. Kept open between
// echoes, one per worker, each would queue every other worker's replies: work for nothing, and a
// full receive queue drops the reply that was ours. Connected to its host's address, it is handed
// only that host's replies (the kernel's raw_v4_match / raw_v6_match compare the peer address), as
// a datagram socket is handed only those with its own identifier.
void TICMP::connectRaw(TFamilySocket& s) {
  const socklen_t length = v6() ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
  if (std::memcmp(&s.peer, &target, length) == 0) return;
  if (connect(s.fd, reinterpret_cast<const sockaddr*>(&target), length) == 0) {
    std::memcpy(&s.peer, &target, length);
    // The kernel still hands a connected raw socket the replies to other programs' echoes to the
    // same host; a filter of its own keeps those out of its queue.
    if (v6())
      attachReplyFilter(s.fd, reinterpret_cast<const sockaddr_in6&>(target).sin6_addr,
                        rawIdentifier());
    else
      attachReplyFilter(s.fd, reinterpret_cast<const sockaddr_in&>(target).sin_addr.s_addr,
                        rawIdentifier());
  } else {
    s.peer = {};  // unconnected: every reply still passes through the user-space checks
  }
}

// Datagram sockets: the kernel put its own identifier (the socket's "port") into the request; it
// stays the socket's for its life, so it is read back once.
std::uint16_t TICMP::identifierOf(TFamilySocket& s) {
  if (!s.datagram) return rawIdentifier();
  if (!s.identifierKnown) {
    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    getsockname(s.fd, reinterpret_cast<sockaddr*>(&bound), &length);
    s.identifier = bound.ss_family == AF_INET6
                       ? ntohs(reinterpret_cast<const sockaddr_in6&>(bound).sin6_port)
                       : ntohs(reinterpret_cast<const sockaddr_in&>(bound).sin_port);
    s.identifierKnown = true;
  }
  return s.identifier;
}

// TTL is used as one byte. Of the flags byte only "don't fragment" (2) has a Linux counterpart, the
// path-MTU discovery mode of the socket; the other bits are ignored. Without the flag fragmenting is
// allowed, as the program's requests always were (Linux would set DF by default). Each is set only
// when it differs from what the socket already has.
bool TICMP::applyIpOptions(TFamilySocket& s) {
  const int ttlByte = ttl & 0xFF;
  const bool dontFragment = (flags & 0x02) != 0;
  if (ttlByte != s.appliedTtl) {
    const int ok = v6() ? setsockopt(s.fd, IPPROTO_IPV6, IPV6_UNICAST_HOPS, &ttlByte, sizeof ttlByte)
                        : setsockopt(s.fd, IPPROTO_IP, IP_TTL, &ttlByte, sizeof ttlByte);
    if (ok != 0) {
      error = errno;  // TTL 0: no packet may leave with it
      s.appliedTtl = -1;
      return false;
    }
    s.appliedTtl = ttlByte;
  }
  const int mode = v6() ? (dontFragment ? IPV6_PMTUDISC_DO : IPV6_PMTUDISC_DONT)
                        : (dontFragment ? IP_PMTUDISC_DO : IP_PMTUDISC_DONT);
  if (mode != s.appliedPmtu) {
    if (v6())
      setsockopt(s.fd, IPPROTO_IPV6, IPV6_MTU_DISCOVER, &mode, sizeof mode);
    else
      setsockopt(s.fd, IPPROTO_IP, IP_MTU_DISCOVER, &mode, sizeof mode);
    s.appliedPmtu = mode;
  }
  return true;
}

// "No route" and the like fail here at once (ENETUNREACH, EHOSTUNREACH, EMSGSIZE with DF).
bool TICMP::send(TFamilySocket& s, std::span<const std::uint8_t> packet) {
  const socklen_t length = v6() ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
  const ssize_t sent = sendto(s.fd, packet.data(), packet.size(), 0,
                              reinterpret_cast<const sockaddr*>(&target), length);
  if (sent < 0) {
    error = errno;
    return false;
  }
  return true;
}

// Waits until the deadline for our reply, dropping whatever else arrives. The loop is bounded by the
// deadline: every pass either consumes a datagram or sleeps in poll() until the deadline. The
// cancel handle (when set) ends the wait at once.
std::int32_t TICMP::awaitReply(std::uint16_t identifier, std::uint16_t sequence,
                               const timespec& sentAt) {
  const int fd = current().fd;
  const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeout, 0));
  receiveBuffer.resize(static_cast<std::size_t>(size) + HeaderRoomBytes);
  const std::span<std::uint8_t> buffer(receiveBuffer);
  // A near host's reply is often queued by the time sendto returns (loopback delivers it in the
  // same system call): take it without going to sleep in poll() and being woken again.
  if (takeReceived(buffer, identifier, sequence, sentAt) == 1) return 1;
  while (true) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    pollfd watched[2] = {{fd, POLLIN, 0}, {cancelFd, POLLIN, 0}};
    const int ready = poll(watched, cancelFd >= 0 ? 2 : 1,
                           static_cast<int>(std::max<std::int64_t>(left.count(), 0)));
    if (ready < 0 && errno != EINTR) {
      error = errno;
      return 0;
    }
    if (ready > 0) {
      if (cancelFd >= 0 && (watched[1].revents & POLLIN) != 0) {
        error = ECANCELED;
        return 0;
      }
      if ((watched[0].revents & POLLNVAL) != 0) {
        error = EBADF;
        return 0;
      }
      if ((watched[0].revents & POLLERR) != 0 && takeError(identifier, sequence)) return 0;
      if ((watched[0].revents & POLLIN) != 0 &&
          takeReceived(buffer, identifier, sequence, sentAt) == 1)
        return 1;
    }
    if (Clock::now() >= deadline) {
      error = ETIMEDOUT;
      return 0;
    }
  }
}

std::int32_t TICMP::takeReceived(std::span<std::uint8_t> buffer, std::uint16_t identifier,
                                 std::uint16_t sequence, const timespec& sentAt) {
  sockaddr_storage from{};
  iovec part{buffer.data(), buffer.size()};
  alignas(cmsghdr) char control[256];
  msghdr message = receiveMessage(from, part, control, sizeof control);
  const ssize_t length = recvmsg(current().fd, &message, MSG_DONTWAIT);
  if (length < 0) return 0;  // nothing after all, or a pending socket error (read by takeError)
  const auto datagram = buffer.first(static_cast<std::size_t>(length));
  echopacket::TEchoReplyInfo info;
  if (v6()) {
    echopacket::TEchoExpectedV6 expected;
    expected.identifier = identifier;
    expected.sequence = sequence;
    expected.source = bytesOf(reinterpret_cast<const sockaddr_in6&>(target).sin6_addr);
    info = echopacket::parseEchoReplyV6(
        datagram, bytesOf(reinterpret_cast<const sockaddr_in6&>(from).sin6_addr), expected);
  } else {
    echopacket::TEchoExpected expected;
    expected.identifier = identifier;
    expected.sequence = sequence;
    expected.source = reinterpret_cast<const sockaddr_in&>(target).sin_addr.s_addr;
    info = echopacket::parseEchoReply(datagram, !current().datagram,
                                      reinterpret_cast<const sockaddr_in&>(from).sin_addr.s_addr,
                                      expected);
  }
  if (info.verdict != echopacket::TEchoVerdict::match) return 0;
  reply = {};
  if (!v6()) reply.address = reinterpret_cast<const sockaddr_in&>(from).sin_addr.s_addr;
  reply.status = 0;
  const timespec receivedAt = kernelReceiveTime(message);
  reply.rtt = echopacket::roundTripMs(sentAt, receivedAt);
  replyMicros = echopacket::roundTripMicros(sentAt, receivedAt);
  reply.dataSize = info.dataSize;
  error = 0;
  return 1;
}

// An ICMP error quoting our request: destination unreachable, packet too big, time exceeded. It is
// no reply: the header gets the router's address (IPv4) and the matching status, and Ping returns 0
// without waiting on. Errors about other requests (an earlier echo of this socket) are dropped.
bool TICMP::takeError(std::uint16_t identifier, std::uint16_t sequence) {
  const int fd = current().fd;
  std::uint8_t original[QuotedBytes];
  sockaddr_storage destination{};
  iovec part{original, sizeof original};
  alignas(cmsghdr) char control[512];
  msghdr message = receiveMessage(destination, part, control, sizeof control);
  const ssize_t length = recvmsg(fd, &message, MSG_ERRQUEUE | MSG_DONTWAIT);
  if (length < 0) {
    // A socket error without a queue entry: reading SO_ERROR clears it, so poll() stops reporting it.
    int pending = 0;
    socklen_t optionLength = sizeof pending;
    getsockopt(fd, SOL_SOCKET, SO_ERROR, &pending, &optionLength);
    return false;
  }
  const sock_extended_err* failure = extendedSocketError(message);
  if (failure == nullptr) return false;
  const auto quoted = std::span(original, static_cast<std::size_t>(length));
  bool ours = false;
  if (v6()) {
    echopacket::TEchoExpectedV6 expected;
    expected.identifier = identifier;
    expected.sequence = sequence;
    expected.source = bytesOf(reinterpret_cast<const sockaddr_in6&>(target).sin6_addr);
    ours = echopacket::isErrorForRequestV6(
        quoted, bytesOf(reinterpret_cast<const sockaddr_in6&>(destination).sin6_addr), expected);
  } else {
    echopacket::TEchoExpected expected;
    expected.identifier = identifier;
    expected.sequence = sequence;
    expected.source = reinterpret_cast<const sockaddr_in&>(target).sin_addr.s_addr;
    ours = echopacket::isErrorForRequest(
        quoted, reinterpret_cast<const sockaddr_in&>(destination).sin_addr.s_addr, expected);
  }
  if (!ours) return false;
  reply = {};
  if (failure->ee_origin == SO_EE_ORIGIN_ICMP)
    reply.status = echopacket::replyStatusForError(failure->ee_type, failure->ee_code);
  else if (failure->ee_origin == SO_EE_ORIGIN_ICMP6)
    reply.status = echopacket::replyStatusForErrorV6(failure->ee_type, failure->ee_code);
  else
    reply.status = 11050;
  const auto* offender = reinterpret_cast<const sockaddr_in*>(SO_EE_OFFENDER(failure));
  if (offender->sin_family == AF_INET) reply.address = offender->sin_addr.s_addr;
  error = static_cast<std::int32_t>(failure->ee_errno);
  return true;
}

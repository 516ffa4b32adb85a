#include "icmp/icmp.h"

#include <arpa/inet.h>
#include <linux/errqueue.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

#include "icmp/echosocket.h"

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

std::uint16_t rawIdentifier() { return static_cast<std::uint16_t>(getpid() & 0xFFFF); }

timespec wallClockNow() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return now;
}

// The kernel's receive timestamp (SO_TIMESTAMPNS) of a datagram, or now when it gave none.
timespec receiveTime(msghdr& message) {
  for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
    if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS &&
        c->cmsg_len >= CMSG_LEN(sizeof(timespec))) {
      timespec stamp{};
      std::memcpy(&stamp, CMSG_DATA(c), sizeof stamp);
      return stamp;
    }
  }
  return wallClockNow();
}

const sock_extended_err* extendedError(msghdr& message) {
  for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
    if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_RECVERR) {
      return reinterpret_cast<const sock_extended_err*>(CMSG_DATA(c));
    }
  }
  return nullptr;
}

}  // namespace

TICMP::TICMP(TPing& ownerPing) : owner(ownerPing) {
  const TEchoSocket opened = openEchoSocket();
  handle = opened.fd;
  datagram = opened.datagram;
}

TICMP::~TICMP() {
  if (handle >= 0) close(handle);
}

void TICMP::setAddress(const std::string& text) {
  if (text == addressText) return;
  addressText = text;
  resolved = false;
}

void TICMP::display(const std::string& text) const {
  if (owner.OnDisplay) owner.OnDisplay(text);
}

// The dotted form first, with inet_addr's rules (so "255.255.255.255" gives the none value, like a
// text that is no address at all), then the system resolver, first IPv4 address of its answer.
// getaddrinfo is safe to call from several workers at once; gethostbyname would not be.
void TICMP::resolve() {
  ip = inet_addr(addressText.c_str());
  if (ip == NoAddress) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    hints.ai_flags = AI_CANONNAME;
    addrinfo* found = nullptr;
    if (getaddrinfo(addressText.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) {
      display("Unable to resolve " + addressText);
      return;
    }
    ip = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
    resolvedName = found->ai_canonname != nullptr ? found->ai_canonname : addressText;
    freeaddrinfo(found);
  } else {
    resolvedName = addressText;
  }
  char text[INET_ADDRSTRLEN] = {};
  in_addr dotted{};
  dotted.s_addr = ip;
  inet_ntop(AF_INET, &dotted, text, sizeof text);
  resolvedText = text;
  resolved = true;
}

std::int32_t TICMP::ping() {
  error = 0;
  if (!resolved) resolve();
  if (ip == NoAddress) {
    error = NoAddressError;
    display("Invalid host address");
    return 0;
  }
  reply = {};
  replyMicros = -1;
  if (owner.OnEchoRequest) owner.OnEchoRequest();
  std::int32_t result = 0;
  if (size < 0 || size > echopacket::MaxDataBytes) {
    error = EMSGSIZE;  // no IPv4 datagram can carry it; nothing is sent
  } else if (applyIpOptions()) {
    echopacket::TEchoExpected expected;
    expected.identifier = datagram ? 0 : rawIdentifier();
    expected.sequence = nextSequence();
    expected.source = ip;
    const auto data = echopacket::echoData(size);
    const auto packet = echopacket::echoRequest(expected.identifier, expected.sequence, data);
    const timespec sentAt = wallClockNow();
    if (send(packet)) {
      if (datagram) {
        // The kernel put its own identifier (the socket's "port") into the request.
        sockaddr_in bound{};
        socklen_t length = sizeof bound;
        getsockname(handle, reinterpret_cast<sockaddr*>(&bound), &length);
        expected.identifier = ntohs(bound.sin_port);
      }
      result = awaitReply(expected, sentAt);
    }
  }
  if (owner.OnEchoReply) owner.OnEchoReply(result);
  return result;
}

// TTL is used as one byte. Of the flags byte only "don't fragment" (2) has a Linux counterpart, the
// path-MTU discovery mode of the socket; the other bits are ignored. Without the flag fragmenting is
// allowed, as the program's requests always were (Linux would set DF by default).
bool TICMP::applyIpOptions() {
  const int ttlByte = ttl & 0xFF;
  if (setsockopt(handle, IPPROTO_IP, IP_TTL, &ttlByte, sizeof ttlByte) != 0) {
    error = errno;  // TTL 0: no packet may leave with it
    return false;
  }
  const int mode = (flags & 0x02) != 0 ? IP_PMTUDISC_DO : IP_PMTUDISC_DONT;
  setsockopt(handle, IPPROTO_IP, IP_MTU_DISCOVER, &mode, sizeof mode);
  return true;
}

// "No route" and the like fail here at once (ENETUNREACH, EHOSTUNREACH, EMSGSIZE with DF).
bool TICMP::send(std::span<const std::uint8_t> packet) {
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = ip;
  const ssize_t sent = sendto(handle, packet.data(), packet.size(), 0,
                              reinterpret_cast<const sockaddr*>(&to), sizeof to);
  if (sent < 0) {
    error = errno;
    return false;
  }
  return true;
}

// Waits until the deadline for our reply, dropping whatever else arrives. The loop is bounded by the
// deadline: every pass either consumes a datagram or sleeps in poll() until the deadline.
std::int32_t TICMP::awaitReply(const echopacket::TEchoExpected& expected, const timespec& sentAt) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeout, 0));
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(size) + HeaderRoomBytes);
  while (true) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    pollfd watched{handle, POLLIN, 0};
    const int ready = poll(&watched, 1, static_cast<int>(std::max<std::int64_t>(left.count(), 0)));
    if (ready < 0 && errno != EINTR) {
      error = errno;
      return 0;
    }
    if (ready > 0) {
      if ((watched.revents & POLLNVAL) != 0) {
        error = EBADF;
        return 0;
      }
      if ((watched.revents & POLLERR) != 0 && takeError(expected)) return 0;
      if ((watched.revents & POLLIN) != 0 && takeReceived(buffer, expected, sentAt) == 1) return 1;
    }
    if (Clock::now() >= deadline) {
      error = ETIMEDOUT;
      return 0;
    }
  }
}

namespace {

// A message header for recvmsg: the sender's address, one data part, room for ancillary data.
msghdr receiveMessage(sockaddr_in& address, iovec& part, char* control, std::size_t controlSize) {
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

std::int32_t TICMP::takeReceived(std::span<std::uint8_t> buffer,
                                 const echopacket::TEchoExpected& expected,
                                 const timespec& sentAt) {
  sockaddr_in from{};
  iovec part{buffer.data(), buffer.size()};
  alignas(cmsghdr) char control[256];
  msghdr message = receiveMessage(from, part, control, sizeof control);
  const ssize_t length = recvmsg(handle, &message, MSG_DONTWAIT);
  if (length < 0) return 0;  // nothing after all, or a pending socket error (read by takeError)
  const auto info =
      echopacket::parseEchoReply(buffer.first(static_cast<std::size_t>(length)), !datagram,
                                 from.sin_addr.s_addr, expected);
  if (info.verdict != echopacket::TEchoVerdict::match) return 0;
  reply = {};
  reply.address = from.sin_addr.s_addr;
  reply.status = 0;
  const timespec receivedAt = receiveTime(message);
  reply.rtt = echopacket::roundTripMs(sentAt, receivedAt);
  replyMicros = echopacket::roundTripMicros(sentAt, receivedAt);
  reply.dataSize = info.dataSize;
  error = 0;
  return 1;
}

// An ICMP error quoting our request: destination unreachable, time exceeded. It is no reply: the
// header gets the router's address and the matching status, and Ping returns 0 without waiting on.
bool TICMP::takeError(const echopacket::TEchoExpected& expected) {
  std::uint8_t original[QuotedBytes];
  sockaddr_in destination{};
  iovec part{original, sizeof original};
  alignas(cmsghdr) char control[512];
  msghdr message = receiveMessage(destination, part, control, sizeof control);
  const ssize_t length = recvmsg(handle, &message, MSG_ERRQUEUE | MSG_DONTWAIT);
  if (length < 0) {
    // A socket error without a queue entry: reading SO_ERROR clears it, so poll() stops reporting it.
    int pending = 0;
    socklen_t optionLength = sizeof pending;
    getsockopt(handle, SOL_SOCKET, SO_ERROR, &pending, &optionLength);
    return false;
  }
  const sock_extended_err* failure = extendedError(message);
  if (failure == nullptr ||
      !echopacket::isErrorForRequest(std::span(original, static_cast<std::size_t>(length)),
                                     destination.sin_addr.s_addr, expected)) {
    return false;
  }
  reply = {};
  reply.status = failure->ee_origin == SO_EE_ORIGIN_ICMP
                     ? echopacket::replyStatusForError(failure->ee_type, failure->ee_code)
                     : 11050;
  const auto* offender = reinterpret_cast<const sockaddr_in*>(SO_EE_OFFENDER(failure));
  if (offender->sin_family == AF_INET) reply.address = offender->sin_addr.s_addr;
  error = static_cast<std::int32_t>(failure->ee_errno);
  return true;
}

#include "icmp/echosocket.h"

#include <linux/filter.h>
#include <linux/icmp.h>
#include <netinet/icmp6.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <string>

#include "icmp/echopacket.h"
#include "icmp/ping.h"

namespace {

const char* const NoHandle = "Unable to get ping handle";
const char* const NoFacility = "Unable to register icmp.dll";

std::string readGroupRange() {
  std::ifstream in("/proc/sys/net/ipv4/ping_group_range");
  std::string low, high;
  if (!(in >> low >> high)) return "unknown";
  return low + " " + high;
}

std::string programPath() {
  char path[4096];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return "the program";
  return std::string(path, static_cast<std::size_t>(length));
}

// Permission refused by the kernel or a security policy, as opposed to a shortage or a missing
// feature.
bool isRefusal(int code) { return code == EACCES || code == EPERM; }

bool isUnsupported(int code) { return code == EAFNOSUPPORT || code == EPROTONOSUPPORT; }

[[noreturn]] void throwFor(int family, int datagramErrno, int rawErrno) {
  if (isUnsupported(datagramErrno) && isUnsupported(rawErrno)) {
    throw TICMPException(NoFacility, std::string("This system offers no ") +
                                         (family == AF_INET6 ? "IPv6" : "IPv4") +
                                         " ICMP sockets (" + std::strerror(rawErrno) + ").");
  }
  const auto unavailable = [](int code) { return isRefusal(code) || isUnsupported(code); };
  if (unavailable(datagramErrno) && unavailable(rawErrno)) {
    throw TICMPException(NoHandle, permissionCause(readGroupRange(),
                                                   static_cast<unsigned>(getgid()), programPath()));
  }
  const int shortage = rawErrno != 0 ? rawErrno : datagramErrno;
  throw TICMPException(NoHandle, std::string("The system refused a new ICMP socket: ") +
                                     std::strerror(shortage) + ".");
}

// Options the echo is better for but does not need: every kernel with ICMP sockets has them, and
// should one be refused anyway the echo still works (a clock read in user space instead of the
// kernel's timestamp, a time-out instead of an early end on an ICMP error, replies filtered in user
// space only). So no failure of the facility ever comes from here.
void setHelpfulOptions(int fd, int family, bool datagram) {
  const int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
  if (family == AF_INET6) {
    setsockopt(fd, IPPROTO_IPV6, IPV6_RECVERR, &on, sizeof on);
    if (!datagram) {
      // A raw ICMPv6 socket sees every ICMPv6 message (neighbour discovery included): pass echo
      // replies only. Errors about our requests still reach the error queue.
      icmp6_filter filter{};
      ICMP6_FILTER_SETBLOCKALL(&filter);
      ICMP6_FILTER_SETPASS(ICMP6_ECHO_REPLY, &filter);
      setsockopt(fd, IPPROTO_ICMPV6, ICMP6_FILTER, &filter, sizeof filter);
    }
    return;
  }
  setsockopt(fd, IPPROTO_IP, IP_RECVERR, &on, sizeof on);
  if (!datagram) {
    // A raw ICMP socket receives every ICMP message of the host, our own outgoing requests on
    // loopback included. Set bits block a type; pass echo replies only. ICMP errors about our
    // requests still reach the error queue, which this filter does not touch.
    icmp_filter filter{};
    filter.data = ~(1U << echopacket::TypeEchoReply);
    setsockopt(fd, SOL_RAW, ICMP_FILTER, &filter, sizeof filter);
  }
}

}  // namespace

// A raw IPv4 socket is handed the whole datagram, IP header first. The kernel's own match (connect)
// already compares the source; the filter repeats that and adds the type and the identifier, which
// only user space checked before: another program's echo replies from the same host are dropped
// before they are queued.
bool attachReplyFilter(int fd, std::uint32_t peer, std::uint16_t identifier) {
  sock_filter code[] = {
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, 12),                  // source address
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, ntohl(peer), 0, 6),
      BPF_STMT(BPF_LDX | BPF_B | BPF_MSH, 0),                  // x = IP header length
      BPF_STMT(BPF_LD | BPF_B | BPF_IND, 0),                   // ICMP type
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, echopacket::TypeEchoReply, 0, 3),
      BPF_STMT(BPF_LD | BPF_H | BPF_IND, 4),                   // ICMP identifier
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, identifier, 0, 1),
      BPF_STMT(BPF_RET | BPF_K, 0xFFFF),                       // whole datagram
      BPF_STMT(BPF_RET | BPF_K, 0),                            // dropped
  };
  const sock_fprog program{static_cast<unsigned short>(sizeof code / sizeof code[0]), code};
  return setsockopt(fd, SOL_SOCKET, SO_ATTACH_FILTER, &program, sizeof program) == 0;
}

// A raw ICMPv6 socket is handed the ICMPv6 message alone (the kernel has pulled the IPv6 header
// off before it offers the packet to raw sockets), so type and identifier are read from offset 0;
// the source address is read from the IPv6 header through the network-header offset.
bool attachReplyFilter(int fd, const in6_addr& peer, std::uint16_t identifier) {
  constexpr std::uint8_t Drop = 13;  // index of the last instruction
  sock_filter code[Drop + 1] = {};
  for (int word = 0; word < 4; ++word) {
    std::uint32_t part = 0;
    std::memcpy(&part, &peer.s6_addr[word * 4], sizeof part);
    const auto at = static_cast<std::uint8_t>(word * 2);
    code[at] = BPF_STMT(BPF_LD | BPF_W | BPF_ABS,
                        static_cast<std::uint32_t>(SKF_NET_OFF + 8 + word * 4));  // source address
    code[at + 1] = BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, ntohl(part), 0,
                            static_cast<std::uint8_t>(Drop - (at + 2)));
  }
  code[8] = BPF_STMT(BPF_LD | BPF_B | BPF_ABS, 0);  // ICMPv6 type
  code[9] = BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, ICMP6_ECHO_REPLY, 0, Drop - 10);
  code[10] = BPF_STMT(BPF_LD | BPF_H | BPF_ABS, 4);  // ICMPv6 identifier
  code[11] = BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, identifier, 0, Drop - 12);
  code[12] = BPF_STMT(BPF_RET | BPF_K, 0xFFFF);  // whole message
  code[Drop] = BPF_STMT(BPF_RET | BPF_K, 0);     // dropped
  const sock_fprog program{static_cast<unsigned short>(Drop + 1), code};
  return setsockopt(fd, SOL_SOCKET, SO_ATTACH_FILTER, &program, sizeof program) == 0;
}

std::string permissionCause(const std::string& groupRange, unsigned groupId,
                            const std::string& programPath) {
  return "ICMP sockets are not permitted for this user: group " + std::to_string(groupId) +
         " is outside net.ipv4.ping_group_range (\"" + groupRange +
         "\") and the program lacks the capability CAP_NET_RAW. Allow ICMP sockets for all groups "
         "with: sysctl -w net.ipv4.ping_group_range=\"0 2147483647\", or give the program the "
         "capability with: setcap cap_net_raw+ep " +
         programPath;
}

// Which socket, and why (kernel behaviour as of Linux 6.x, net/ipv4/ping.c and raw.c; the same
// reasoning that the common ping tools follow):
//
// 1. socket(AF_INET, SOCK_DGRAM, IPPROTO_ICMP), the unprivileged ICMP socket. The kernel allows it
//    only when one of the caller's groups lies in net.ipv4.ping_group_range, a setting of each
//    network namespace that is "1 0" (nobody) unless the distribution changes it. Its errors:
//      EACCES        the group is outside ping_group_range. Root is no exception, so on a default
//                    system this is the common case: try the raw socket.
//      EPERM         a security module or seccomp policy refused it; a raw socket may still be
//                    permitted: try it.
//      EAFNOSUPPORT,
//      EPROTONOSUPPORT  the kernel was built without these sockets: try the raw socket.
//      anything else (EMFILE, ENFILE, ENOBUFS, ENOMEM) is a shortage that a second socket will not
//                    cure: fail at once.
// 2. socket(AF_INET, SOCK_RAW, IPPROTO_ICMP) needs CAP_NET_RAW (root, or setcap on the program).
//      EPERM, EACCES  not permitted. With the datagram socket refused too, this user may not send
//                    ICMP at all: "Unable to get ping handle", and the cause names both remedies.
//      EAFNOSUPPORT,
//      EPROTONOSUPPORT  with the datagram kind unsupported as well, the system has no ICMP sockets:
//                    "Unable to register icmp.dll", the closest of the four messages (the facility
//                    itself is missing).
// Of the other two messages, "Error initialising Winsock" cannot arise (Linux sockets need no library
// start-up), nor can "Error loading dll functions" (see setHelpfulOptions).
// IPv6 goes the same way with IPPROTO_ICMPV6 (net/ipv6/ping.c checks the same ping_group_range).
TEchoSocket openEchoSocket(int family) {
  const int protocol = family == AF_INET6 ? IPPROTO_ICMPV6 : IPPROTO_ICMP;
  TEchoSocket opened;
  opened.fd = socket(family, SOCK_DGRAM | SOCK_CLOEXEC, protocol);
  const int datagramErrno = opened.fd < 0 ? errno : 0;
  if (opened.fd >= 0) {
    opened.datagram = true;
  } else {
    if (!isRefusal(datagramErrno) && !isUnsupported(datagramErrno))
      throwFor(family, datagramErrno, 0);
    opened.fd = socket(family, SOCK_RAW | SOCK_CLOEXEC, protocol);
    if (opened.fd < 0) throwFor(family, datagramErrno, errno);
  }
  setHelpfulOptions(opened.fd, family, opened.datagram);
  return opened;
}

timespec wallClockNow() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return now;
}

timespec kernelReceiveTime(msghdr& message) {
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

const sock_extended_err* extendedSocketError(msghdr& message) {
  for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
    if ((c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_RECVERR) ||
        (c->cmsg_level == IPPROTO_IPV6 && c->cmsg_type == IPV6_RECVERR))
      return reinterpret_cast<const sock_extended_err*>(CMSG_DATA(c));
  }
  return nullptr;
}

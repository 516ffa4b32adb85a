#pragma once
// Opening the Linux ICMP socket that carries the echo requests, and the user-facing texts for why it
// could not be opened.

#include <netinet/in.h>
#include <sys/socket.h>
#include <time.h>
// After <time.h>: it uses struct timespec without including it.
#include <linux/errqueue.h>

#include <cstdint>
#include <string>

struct TEchoSocket {
  int fd = -1;
  bool datagram = false;  // SOCK_DGRAM (unprivileged ICMP socket) or SOCK_RAW
};

// Opens a datagram ICMP socket of `family` (AF_INET or AF_INET6, ICMPv6 then), or a raw one where the
// datagram kind is refused, with the options the echo relies on (receive timestamps, the error
// queue, and for raw sockets a filter that passes echo replies only). Throws TICMPException when no
// ICMP socket can be had. Both families follow net.ipv4.ping_group_range and CAP_NET_RAW alike.
TEchoSocket openEchoSocket(int family = AF_INET);

// For a raw IPv4 socket connected to `peer` (network order): a classic BPF filter that passes only
// echo replies from `peer` carrying `identifier`, so the kernel queues no other program's replies
// into it. False when the kernel refused it (the user-space checks still apply).
bool attachReplyFilter(int fd, std::uint32_t peer, std::uint16_t identifier);
// The same for a raw ICMPv6 socket connected to `peer`.
bool attachReplyFilter(int fd, const in6_addr& peer, std::uint16_t identifier);

// Reading what the kernel hands with a received datagram (recvmsg's control messages):
// The wall clock now, in the form the kernel's receive timestamps take.
timespec wallClockNow();
// The kernel's receive timestamp (SO_TIMESTAMPNS, set by openEchoSocket; an error queue entry
// carries the arrival of the ICMP error), or now when it gave none.
timespec kernelReceiveTime(msghdr& message);
// The error of an error-queue entry (IP_RECVERR / IPV6_RECVERR), or nullptr.
const sock_extended_err* extendedSocketError(msghdr& message);

// The cause text for a user whom neither kind of ICMP socket is permitted: what is wrong and the two
// remedies. `groupRange` is the content of net.ipv4.ping_group_range, `programPath` this program.
std::string permissionCause(const std::string& groupRange, unsigned groupId,
                            const std::string& programPath);

#pragma once
// One round of a path trace: echo requests with TTL (IPv6: hop limit) 1, 2, ... towards a host;
// each router where a probe's TTL runs out answers "time exceeded" from its own address, the host
// itself answers the echo. A round ends when every probe up to the host (or up to MaxHops) has its
// answer or its time-out.
//
// A round:
//   1. TTLs are sent in increasing order, several in flight at once (maxInFlight), each only with a
//      token of the shared bucket, so probes of all rounds in the process keep to its rate.
//   2. Every probe has its own deadline (probeTimeout after its sending); one without an answer by
//      then is lost.
//   3. The echo reply (or "destination unreachable") for TTL n ends the round at hop n: no TTL
//      above n is sent, and answers for those already sent are not counted.
//   4. Answers are told apart by sequence: each round has a block of 64 sequence numbers, TTL n
//      carrying the block's n-th, so a late answer from an earlier round is dropped.
//
// The socket (see openEchoSocket): unprivileged ICMP datagram sockets where
// net.ipv4.ping_group_range allows them, with IP_RECVERR (IPV6_RECVERR): "time exceeded" and
// "unreachable" land on the error queue, the router's address in SO_EE_OFFENDER and our request
// (with the kernel's identifier) quoted. Otherwise a raw socket (root or CAP_NET_RAW), unconnected
// so routers' packets reach it, filtered to echo replies and the two errors, which quote our
// identifier and sequence and the host's address (the error queue is switched off there so nothing
// arrives twice).

#include <sys/socket.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "path/tokenbucket.h"

struct THopAnswer {
  int hop = 0;                            // the TTL of the probe
  std::string address;                    // who answered; "" when lost
  std::optional<std::int64_t> rttMicros;  // nullopt when lost
  bool isHost = false;                    // the echo reply of the host itself
  bool unreachable = false;               // "destination unreachable" from `address`
};

struct TPathRound {
  std::vector<THopAnswer> hops;  // hop 1 first, up to where the round ended
  bool reached = false;          // the host answered
  int sendError = 0;             // errno of a refused send (no route, for example), else 0
};

struct TPathProbeOptions {
  static constexpr int MaxHops = 64;
  int maxHops = 30;  // 1..MaxHops
  int maxInFlight = 8;
  std::chrono::milliseconds probeTimeout{2000};
  int cancelFd = -1;  // when readable, the round ends at once (probes in flight count as lost)
};

class TPathProber {
 public:
  // Opens the socket for the family of `target` (sockaddr_in or sockaddr_in6). Throws
  // TICMPException when no ICMP socket can be had.
  TPathProber(const sockaddr_storage& target, TTokenBucket& bucket);
  ~TPathProber();
  TPathProber(const TPathProber&) = delete;
  TPathProber& operator=(const TPathProber&) = delete;

  TPathRound runRound(const TPathProbeOptions& options);
  bool usesDatagramSocket() const { return datagram; }

 private:
  struct TRound;
  bool sendProbe(TRound& round, int ttl);
  bool sendPacket(std::span<const std::uint8_t> packet);
  void drain(TRound& round);
  bool takeReceived(TRound& round);
  bool takeQueuedError(TRound& round);
  bool v6() const { return target.ss_family == AF_INET6; }

  sockaddr_storage target{};
  TTokenBucket& bucket;
  int fd = -1;
  bool datagram = false;
  std::uint16_t identifier = 0;  // raw sockets: ours; datagram sockets: the kernel checks it
  std::uint16_t sequenceBase = 0;
};

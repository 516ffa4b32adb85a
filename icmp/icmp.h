#pragma once
// TICMP: the echo facility inside a TPing. It owns one Linux ICMP socket for its whole life (one per
// TPing, so one per request in the program), resolves the address, sends one echo request and waits
// for the matching reply.
//
// One Ping:
//   1. Resolve Address if it changed since the last resolution (dotted form first, then the system
//      resolver). No address: 0 replies, error 11018, nothing sent.
//   2. Set TTL and the don't-fragment choice on the socket; take the next sequence number of the
//      process; note the wall-clock time; send.
//   3. Wait with poll() until a monotonic deadline Timeout ms after the send. Every datagram that
//      arrives is judged by echopacket::parseEchoReply; foreign ones are dropped and the wait goes
//      on. An ICMP error about our request (error queue) ends the wait with 0 replies.
//   4. A match fills the reply header; the round-trip time is the kernel's receive timestamp minus
//      the time noted before sending, in whole milliseconds.

#include <cstdint>
#include <ctime>
#include <span>
#include <string>

#include "icmp/echopacket.h"
#include "icmp/ping.h"

class TICMP {
 public:
  // Opens the socket; throws TICMPException when neither kind of ICMP socket can be had.
  explicit TICMP(TPing& owner);
  ~TICMP();
  TICMP(const TICMP&) = delete;
  TICMP& operator=(const TICMP&) = delete;

  void setAddress(const std::string& text);
  const std::string& address() const { return addressText; }

  std::int32_t ping();
  const TEchoReplyHeader& lastReply() const { return reply; }
  std::int64_t lastReplyMicros() const { return replyMicros; }
  std::int32_t errorCode() const { return error; }
  bool usedDatagramSocket() const { return datagram; }
  const std::string& hostName() const { return resolvedName; }
  const std::string& hostAddressText() const { return resolvedText; }

  std::int32_t size = 56;
  std::int32_t timeout = 4000;
  std::int32_t ttl = 64;
  std::int32_t flags = 0;

 private:
  void resolve();
  bool applyIpOptions();
  bool send(std::span<const std::uint8_t> packet);
  std::int32_t awaitReply(const echopacket::TEchoExpected& expected, const timespec& sentAt);
  // One datagram from the receive queue: 1 for our reply, 0 for anything else.
  std::int32_t takeReceived(std::span<std::uint8_t> buffer, const echopacket::TEchoExpected& expected,
                            const timespec& sentAt);
  // One entry of the error queue: true when it was about our request (the wait ends).
  bool takeError(const echopacket::TEchoExpected& expected);
  void display(const std::string& text) const;

  TPing& owner;
  int handle = -1;
  bool datagram = false;
  std::string addressText;
  bool resolved = false;
  std::uint32_t ip = 0xFFFFFFFF;  // network order; all ones = none
  std::string resolvedName;
  std::string resolvedText;
  TEchoReplyHeader reply{};
  std::int64_t replyMicros = -1;
  std::int32_t error = 0;
};

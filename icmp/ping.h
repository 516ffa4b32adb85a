#pragma once
// The echo service: one ICMP echo request to one IPv4 or IPv6 address, answered or not, and how fast.
//
// TPing is what a ping worker keeps for its requests: set Address and Timeout, call Ping (0 or 1
// replies), read the round-trip time from Reply. TICMP inside it does the work over Linux ICMP
// sockets that stay open from one Ping to the next. Everything runs on the calling thread; nothing
// is shared between TPing objects.

#include <array>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>

// Raised when the echo facility cannot be opened. what() is one of the four fixed messages
// ("Error initialising Winsock", "Unable to register icmp.dll", "Error loading dll functions",
// "Unable to get ping handle"); cause() says why in words for the user, with the remedy.
class TICMPException : public std::runtime_error {
 public:
  TICMPException(const std::string& message, std::string cause)
      : std::runtime_error(message), causeText(std::move(cause)) {}
  const std::string& cause() const { return causeText; }

 private:
  std::string causeText;
};

// The 28-byte reply header as the program keeps it: replying address, status, round-trip time (ms),
// data size, reserved, data pointer, IP options. Only rtt is read by the program.
struct TEchoReplyHeader {
  std::uint32_t address = 0;  // network byte order
  std::uint32_t status = 0;
  std::uint32_t rtt = 0;
  std::uint16_t dataSize = 0;
  std::uint16_t reserved = 0;
  std::uint32_t data = 0;
  std::array<std::uint8_t, 8> options{};
};
static_assert(sizeof(TEchoReplyHeader) == 28);

class TICMP;

class TPing {
 public:
  explicit TPing(void* owner = nullptr);  // throws TICMPException
  ~TPing();
  TPing(const TPing&) = delete;
  TPing& operator=(const TPing&) = delete;

  void setAddress(const std::string& address);
  const std::string& Address() const;
  void setSize(std::int32_t size);
  std::int32_t Size() const;
  void setTimeout(std::int32_t ms);
  std::int32_t Timeout() const;
  void setTTL(std::int32_t ttl);
  std::int32_t TTL() const;
  void setFlags(std::int32_t flags);
  std::int32_t Flags() const;

  // Resolve if needed, send one echo, wait up to Timeout; the number of replies (0 or 1). Throws
  // TICMPException when an IPv6 address needs an ICMPv6 socket that cannot be had.
  std::int32_t Ping();
  TEchoReplyHeader Reply() const;
  // The last reply's round trip in microseconds (from kernel time stamps); -1 without a reply.
  std::int64_t ReplyMicros() const;
  std::int32_t ErrorCode() const;  // 0, 11018 when the address did not resolve, else errno
  // True when the echo goes over an unprivileged datagram ICMP socket, false for a raw socket.
  bool usedDatagramSocket() const;
  // AF_INET or AF_INET6 for the address last resolved, AF_UNSPEC for none.
  int resolvedFamily() const;

  // Names with addresses of both families: take an IPv6 one first (IPv4 first by default).
  void setPreferIpv6(bool prefer);
  // A handle (an eventfd or pipe of the caller's) that ends a lookup or a wait for a reply at once
  // when it becomes readable; -1 for none. Ping then returns 0 with ErrorCode ECANCELED.
  void setCancelHandle(int fd);
  // The next Ping resolves Address again (a name may have moved), even though it did not change.
  void resolveAgain();

  // Optional notifications; the program sets none of them.
  std::function<void(const std::string&)> OnDisplay;
  std::function<void()> OnEchoRequest;
  std::function<void(std::int32_t)> OnEchoReply;

 private:
  TICMP* icmp;
};

#include "icmp/ping.h"

#include "icmp/icmp.h"

// The owner only matters to a component framework; the program creates every TPing without one.
TPing::TPing(void* /*owner*/) : icmp(new TICMP(*this)) {}

TPing::~TPing() { delete icmp; }

void TPing::setAddress(const std::string& address) { icmp->setAddress(address); }
const std::string& TPing::Address() const { return icmp->address(); }
void TPing::setSize(std::int32_t size) { icmp->size = size; }
std::int32_t TPing::Size() const { return icmp->size; }
void TPing::setTimeout(std::int32_t ms) { icmp->timeout = ms; }
std::int32_t TPing::Timeout() const { return icmp->timeout; }
void TPing::setTTL(std::int32_t ttl) { icmp->ttl = ttl; }
std::int32_t TPing::TTL() const { return icmp->ttl; }
void TPing::setFlags(std::int32_t flags) { icmp->flags = flags; }
std::int32_t TPing::Flags() const { return icmp->flags; }

std::int32_t TPing::Ping() { return icmp->ping(); }
TEchoReplyHeader TPing::Reply() const { return icmp->lastReply(); }
std::int64_t TPing::ReplyMicros() const { return icmp->lastReplyMicros(); }
std::int32_t TPing::ErrorCode() const { return icmp->errorCode(); }
bool TPing::usedDatagramSocket() const { return icmp->usedDatagramSocket(); }
int TPing::resolvedFamily() const { return icmp->resolvedFamily(); }
void TPing::setPreferIpv6(bool prefer) {
  if (prefer != icmp->preferIpv6) icmp->forgetResolution();
  icmp->preferIpv6 = prefer;
}
void TPing::setCancelHandle(int fd) { icmp->cancelFd = fd; }
void TPing::resolveAgain() { icmp->forgetResolution(); }

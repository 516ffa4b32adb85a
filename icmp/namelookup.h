#pragma once
// Name lookups inside an echo, bounded in time. The system resolver (getaddrinfo) may block for as
// long as its name servers take; a worker must still end its echo within the echo's timeout and at
// once when it is released. So the lookup runs on a helper thread of its own, and the worker waits
// for it only until the time limit or the cancel handle fires; a helper that is still waiting then
// finishes by itself later and its answer is thrown away.

#include <sys/socket.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct TLookedUpAddress {
  sockaddr_storage address{};  // sockaddr_in or sockaddr_in6
  socklen_t length = 0;
};

struct TNameAnswer {
  std::vector<TLookedUpAddress> addresses;  // in the resolver's order, both families
  std::string canonicalName;
};

// The answer, or nothing when the name does not resolve, the time limit passed or `cancelFd` (when
// not -1) became readable first.
std::optional<TNameAnswer> lookUpName(const std::string& name, std::int32_t limitMs, int cancelFd);

#include "path/reversenamecache.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>

#include <condition_variable>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>
#include <unordered_map>

struct TReverseNameCache::TShared {
  struct TEntry {
    bool running = false;
    std::string name;
    Clock::time_point answeredAt{};
  };
  std::mutex lock;
  std::condition_variable changed;
  std::unordered_map<std::string, TEntry> entries;
  std::size_t running = 0;
  std::chrono::seconds keepFor;
};

namespace {

// The registered name of an address text, or "" (no name, no address, resolver failure).
std::string lookUpReverse(const std::string& address) {
  sockaddr_storage socketAddress{};
  socklen_t length = 0;
  auto* v4 = reinterpret_cast<sockaddr_in*>(&socketAddress);
  auto* v6 = reinterpret_cast<sockaddr_in6*>(&socketAddress);
  if (inet_pton(AF_INET, address.c_str(), &v4->sin_addr) == 1) {
    v4->sin_family = AF_INET;
    length = sizeof(sockaddr_in);
  } else if (inet_pton(AF_INET6, address.c_str(), &v6->sin6_addr) == 1) {
    v6->sin6_family = AF_INET6;
    length = sizeof(sockaddr_in6);
  } else {
    return {};
  }
  char host[NI_MAXHOST] = {};
  // NI_NAMEREQD: no name is an error, rather than the address handed back as its own name.
  if (getnameinfo(reinterpret_cast<const sockaddr*>(&socketAddress), length, host, sizeof host,
                  nullptr, 0, NI_NAMEREQD) != 0)
    return {};
  return host;
}

}  // namespace

TReverseNameCache::TReverseNameCache(std::chrono::seconds keepFor)
    : shared(std::make_shared<TShared>()) {
  shared->keepFor = keepFor;
}

TReverseNameCache::~TReverseNameCache() = default;

std::optional<std::string> TReverseNameCache::name(const std::string& address) {
  std::unique_lock guard(shared->lock);
  const auto now = Clock::now();
  auto found = shared->entries.find(address);
  if (found != shared->entries.end()) {
    if (found->second.running) return std::nullopt;
    if (now - found->second.answeredAt < shared->keepFor) return found->second.name;
  }
  if (shared->running >= MaxRunning) return std::nullopt;
  if (found == shared->entries.end()) {
    if (shared->entries.size() >= MaxEntries) {
      // Forget the answers; lookups still running keep their entries so their answers land.
      std::erase_if(shared->entries, [](const auto& entry) { return !entry.second.running; });
    }
    found = shared->entries.emplace(address, TShared::TEntry{}).first;
  }
  found->second.running = true;
  ++shared->running;
  try {
    std::thread([state = shared, address] {
      std::string answer = lookUpReverse(address);
      std::lock_guard finished(state->lock);
      auto& entry = state->entries[address];
      entry.running = false;
      entry.name = std::move(answer);
      entry.answeredAt = Clock::now();
      --state->running;
      state->changed.notify_all();
    }).detach();
  } catch (const std::system_error&) {
    // No thread to be had: no name this time, asked again later.
    found->second.running = false;
    found->second.answeredAt = now;
    --shared->running;
    return std::string();
  }
  return std::nullopt;
}

bool TReverseNameCache::waitForPending(std::chrono::milliseconds limit) {
  std::unique_lock guard(shared->lock);
  return shared->changed.wait_for(guard, limit, [this] { return shared->running == 0; });
}

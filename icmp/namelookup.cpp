#include "icmp/namelookup.h"

#include <netdb.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

namespace {

// What the helper and the waiting worker share; whichever lets go last frees it.
struct TLookup {
  std::mutex lock;
  bool done = false;
  std::optional<TNameAnswer> answer;
  int readyFd = -1;  // eventfd the helper signals when it is done
  ~TLookup() {
    if (readyFd >= 0) close(readyFd);
  }
};

void runLookup(const std::shared_ptr<TLookup>& lookup, const std::string& name) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;  // both families; the echo picks by preference
  hints.ai_socktype = SOCK_DGRAM;
  hints.ai_flags = AI_CANONNAME;
  addrinfo* found = nullptr;
  std::optional<TNameAnswer> answer;
  if (getaddrinfo(name.c_str(), nullptr, &hints, &found) == 0 && found != nullptr) {
    answer.emplace();
    answer->canonicalName = found->ai_canonname != nullptr ? found->ai_canonname : name;
    for (const addrinfo* a = found; a != nullptr; a = a->ai_next) {
      if (a->ai_family != AF_INET && a->ai_family != AF_INET6) continue;
      if (a->ai_addrlen > sizeof(sockaddr_storage)) continue;
      TLookedUpAddress entry;
      std::memcpy(&entry.address, a->ai_addr, a->ai_addrlen);
      entry.length = a->ai_addrlen;
      answer->addresses.push_back(entry);
    }
    freeaddrinfo(found);
    if (answer->addresses.empty()) answer.reset();
  }
  std::lock_guard guard(lookup->lock);
  lookup->answer = std::move(answer);
  lookup->done = true;
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t written = write(lookup->readyFd, &one, sizeof one);
}

}  // namespace

std::optional<TNameAnswer> lookUpName(const std::string& name, std::int32_t limitMs, int cancelFd) {
  auto lookup = std::make_shared<TLookup>();
  lookup->readyFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (lookup->readyFd < 0) return std::nullopt;
  try {
    std::thread([lookup, name] { runLookup(lookup, name); }).detach();
  } catch (const std::system_error&) {
    return std::nullopt;  // no thread to be had: as if the name did not resolve
  }
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(limitMs, 0));
  while (true) {
    {
      std::lock_guard guard(lookup->lock);
      if (lookup->done) return lookup->answer;
    }
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return std::nullopt;
    pollfd watched[2] = {{lookup->readyFd, POLLIN, 0}, {cancelFd, POLLIN, 0}};
    const int ready = poll(watched, cancelFd >= 0 ? 2 : 1, static_cast<int>(left));
    if (ready > 0 && cancelFd >= 0 && (watched[1].revents & POLLIN) != 0) return std::nullopt;
  }
}

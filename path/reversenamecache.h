#pragma once
// Names of hop addresses, looked up in the background and kept.
//
// A reverse lookup goes through the system resolver (getnameinfo: /etc/hosts, then DNS), which can
// take as long as its name servers do. A prober must never wait for it, so asking for a name that
// is not known yet starts a lookup on a helper thread and answers "not known yet" at once; the
// answer lands in the cache when it comes. Whoever wants names before printing waits for the
// pending lookups with waitForPending, bounded by its own limit. A lookup still running then ends
// by itself later; its thread holds the shared state, never the cache object.
//
// Addresses are texts in the forms inet_ntop writes. Known answers, names or "no name", are kept
// for `keepFor` and then looked up again (a router's name may change); at most MaxEntries are kept.

#include <chrono>
#include <memory>
#include <optional>
#include <string>

class TReverseNameCache {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::size_t MaxEntries = 4096;
  static constexpr std::size_t MaxRunning = 16;  // lookups at once; more wait for a later ask

  explicit TReverseNameCache(std::chrono::seconds keepFor = std::chrono::hours(1));
  ~TReverseNameCache();
  TReverseNameCache(const TReverseNameCache&) = delete;
  TReverseNameCache& operator=(const TReverseNameCache&) = delete;

  // The name of `address`: a name, "" when it has none (or is no address), nullopt while it is
  // being looked up (a lookup is started when none runs).
  std::optional<std::string> name(const std::string& address);
  // Waits until no lookup runs, or `limit` has passed; true when none runs.
  bool waitForPending(std::chrono::milliseconds limit);

 private:
  struct TShared;
  std::shared_ptr<TShared> shared;
};

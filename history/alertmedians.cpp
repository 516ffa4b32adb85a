#include "alertmedians.h"

#include "core/tolvohosts.h"
#include "historyreader.h"

namespace {
constexpr std::size_t MostWaiting = 1000;
}  // namespace

TAlertMedians::TAlertMedians(TTolvoHosts& hostList, std::function<std::string()> path)
    : hosts(hostList), databasePath(std::move(path)), worker([this] { work(); }) {}

TAlertMedians::~TAlertMedians() { close(); }

void TAlertMedians::close() {
  {
    std::lock_guard guard(lock);
    stopping = true;
  }
  wake.notify_all();
  if (worker.joinable()) worker.join();
}

std::optional<std::int64_t> TAlertMedians::median(std::uint64_t runId, std::int64_t nowMs) {
  const auto asked = askedMs.find(runId);
  if (asked == askedMs.end() || nowMs - asked->second >= AskAgainMs || nowMs < asked->second) {
    for (int slot = 1; slot <= TTolvoHosts::MaxHosts; ++slot) {
      const TTolvoHost* host = hosts.hostAt(slot);
      if (!host || host->runId != runId) continue;
      askedMs[runId] = nowMs;
      TRequest request{runId, host->ipAddress, host->hostName, nowMs,
                       databasePath ? databasePath() : std::string()};
      std::lock_guard guard(lock);
      if (requests.size() < MostWaiting) requests.push_back(std::move(request));
      wake.notify_one();
      break;
    }
  }
  std::lock_guard guard(lock);
  const auto it = known.find(runId);
  return it == known.end() ? std::nullopt : it->second;
}

void TAlertMedians::work() {
  std::unique_ptr<THistoryReader> reader;
  std::string readerPath;
  bool readerOpen = false;
  // The database's id of each host, looked up once per file, names and address (an edit may change
  // them, and the database then keeps the id under the new ones).
  std::map<std::pair<std::string, std::string>, std::int64_t> ids;
  for (bool first = true;; first = false) {
    TRequest request;
    {
      std::unique_lock guard(lock);
      if (!first) wake.wait_for(guard, Pace, [this] { return stopping; });
      wake.wait(guard, [this] { return stopping || !requests.empty(); });
      if (stopping) return;
      request = std::move(requests.front());
      requests.pop_front();
    }
    if (request.databasePath != readerPath || !readerOpen) {
      readerPath = request.databasePath;
      reader = readerPath.empty() ? nullptr : std::make_unique<THistoryReader>(readerPath);
      readerOpen = reader && reader->open();
      ids.clear();
    }
    std::optional<std::int64_t> value;
    if (readerOpen) {
      const auto key = std::make_pair(request.address, request.hostName);
      auto id = ids.find(key);
      if (id == ids.end())
        if (const auto host = reader->findHost(request.address, request.hostName))
          id = ids.emplace(key, host->id).first;
      if (id != ids.end()) value = reader->median24h(id->second, request.nowMs);
    }
    std::lock_guard guard(lock);
    known[request.runId] = value;
  }
}

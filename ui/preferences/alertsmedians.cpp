#include "alertsmedians.h"

#include "core/tolvohosts.h"
#include "history/historyreader.h"

namespace {
constexpr std::int64_t AskAgainMs = 5 * 60 * 1000;
constexpr std::size_t MostWaiting = 1000;
}  // namespace

TAlertMedians::TAlertMedians(TTolvoHosts& hostList, std::function<std::string()> path, QObject* parent)
    : QObject(parent), hosts(hostList), databasePath(std::move(path)), worker([this] { work(); }) {}

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
  const auto it = known.find(runId);
  return it == known.end() ? std::nullopt : it->second;
}

void TAlertMedians::work() {
  std::unique_ptr<THistoryReader> reader;
  std::string readerPath;
  bool readerOpen = false;
  for (;;) {
    TRequest request;
    {
      std::unique_lock guard(lock);
      wake.wait(guard, [this] { return stopping || !requests.empty(); });
      if (stopping) return;
      request = requests.front();
      requests.pop_front();
    }
    if (request.databasePath != readerPath || !readerOpen) {
      readerPath = request.databasePath;
      reader = readerPath.empty() ? nullptr : std::make_unique<THistoryReader>(readerPath);
      readerOpen = reader && reader->open();
    }
    std::optional<std::int64_t> value;
    if (readerOpen)
      if (const auto host = reader->findHost(request.address, request.hostName))
        value = reader->median24h(host->id, request.nowMs);
    QMetaObject::invokeMethod(this, [this, runId = request.runId, value] { known[runId] = value; },
                              Qt::QueuedConnection);
  }
}

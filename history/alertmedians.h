#pragma once
// The 24-hour median round trips of the hosts for the alerts, read from the results database's
// 5-minute summaries on a thread of its own so the engine's thread never waits for a query. The
// alerts ask for a host's median now and then; the answer is what was read last (nothing until the
// first read is back, and the alerts then judge against this run's own median), and a read older
// than five minutes is asked for again. Reads are paced, one host at a time, so the hosts that all
// ask in the same second (they reach their tenth echo together) are read one after the other.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

class TTolvoHosts;

class TAlertMedians {
 public:
  static constexpr std::int64_t AskAgainMs = 5 * 60 * 1000;
  static constexpr std::chrono::milliseconds Pace{20};  // between two reads: 255 hosts in 5 s

  // `databasePath` names the results database at each read (it follows the hosts file).
  TAlertMedians(TTolvoHosts& hosts, std::function<std::string()> databasePath);
  ~TAlertMedians();  // close()
  TAlertMedians(const TAlertMedians&) = delete;
  TAlertMedians& operator=(const TAlertMedians&) = delete;

  // Ends the reading thread and closes its connection to the database (at most the end of the one
  // read in progress). A read-only connection left open after the recorder's would keep the
  // write-ahead log beside the database, so the program closes this one first.
  void close();

  // The median source for the alerts: the host's last known median in microseconds.
  std::optional<std::int64_t> median(std::uint64_t runId, std::int64_t nowMs);

 private:
  struct TRequest {
    std::uint64_t runId;
    std::string address;
    std::string hostName;
    std::int64_t nowMs;
    std::string databasePath;
  };
  void work();

  TTolvoHosts& hosts;
  std::function<std::string()> databasePath;
  std::map<std::uint64_t, std::int64_t> askedMs;  // the asking thread only
  std::mutex lock;
  std::condition_variable wake;
  std::map<std::uint64_t, std::optional<std::int64_t>> known;  // under lock
  std::deque<TRequest> requests;                               // under lock
  bool stopping = false;                                       // under lock
  std::thread worker;
};

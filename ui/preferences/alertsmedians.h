#pragma once
// The 24-hour median round trips of the hosts, read from the results database on a thread of its
// own so the interface never waits for the query (a day of echoes of one host). The alerts ask for a
// host's median now and then; the answer is what was read last (nothing until the first read is
// back, and the alerts then judge against this run's own median), and a read older than five
// minutes is asked for again.

#include <QObject>

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

class TAlertMedians : public QObject {
  Q_OBJECT
 public:
  // `databasePath` names the results database at each read (it follows the hosts file).
  TAlertMedians(TTolvoHosts& hosts, std::function<std::string()> databasePath, QObject* parent = nullptr);
  ~TAlertMedians() override;  // close()

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
  std::map<std::uint64_t, std::optional<std::int64_t>> known;  // interface thread only
  std::map<std::uint64_t, std::int64_t> askedMs;               // interface thread only
  std::mutex lock;
  std::condition_variable wake;
  std::deque<TRequest> requests;
  bool stopping = false;
  std::thread worker;
};

#pragma once
// A reader on a thread of its own, for callers that must not wait for the disk (the windows, the
// alerts): jobs run one after the other on that thread with its reader, and hand their results back
// themselves, for example with QMetaObject::invokeMethod(receiver, ..., Qt::QueuedConnection).
//
//   readerThread.post([=](THistoryReader& reader) {
//     auto echoes = reader.echoes(id, from, to);
//     QMetaObject::invokeMethod(window, [=] { window->show(echoes); }, Qt::QueuedConnection);
//   });

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

class THistoryReader;

class THistoryReaderThread {
 public:
  explicit THistoryReaderThread(std::string databasePath);
  // Lets the running job finish and drops those not started.
  ~THistoryReaderThread();
  THistoryReaderThread(const THistoryReaderThread&) = delete;
  THistoryReaderThread& operator=(const THistoryReaderThread&) = delete;

  void post(std::function<void(THistoryReader&)> job);

 private:
  void run();

  std::string path;
  std::mutex lock;
  std::condition_variable wake;
  std::deque<std::function<void(THistoryReader&)>> jobs;
  bool stopping = false;
  std::thread thread;
};

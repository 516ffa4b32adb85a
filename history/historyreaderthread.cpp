#include "historyreaderthread.h"

#include "historyreader.h"

THistoryReaderThread::THistoryReaderThread(std::string databasePath)
    : path(std::move(databasePath)), thread([this] { run(); }) {}

THistoryReaderThread::~THistoryReaderThread() {
  {
    std::lock_guard guard(lock);
    stopping = true;
    jobs.clear();
  }
  wake.notify_all();
  thread.join();
}

void THistoryReaderThread::post(std::function<void(THistoryReader&)> job) {
  {
    std::lock_guard guard(lock);
    jobs.push_back(std::move(job));
  }
  wake.notify_one();
}

void THistoryReaderThread::run() {
  // The reader's connection belongs to this thread: made, used and closed here.
  THistoryReader reader(path);
  for (;;) {
    std::function<void(THistoryReader&)> job;
    {
      std::unique_lock guard(lock);
      wake.wait(guard, [&] { return stopping || !jobs.empty(); });
      if (stopping) return;
      job = std::move(jobs.front());
      jobs.pop_front();
    }
    job(reader);
  }
}

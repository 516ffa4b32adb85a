#pragma once
// Answers GET /metrics on the HTTP server's threads with the page of the registry's series.
//
// A built page is kept for PageReuse and handed to every scrape in that time, so a flood of
// scrapes costs one page per PageReuse plus the copying out; a single scrape after a quiet spell
// builds a fresh page. Pages are shared read-only, so a slow scraper never holds the lock.

#include <CivetServer.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <string>

class TMetricsRegistry;

class TMetricsHttpHandler final : public CivetHandler {
 public:
  static constexpr std::chrono::milliseconds PageReuse{100};

  explicit TMetricsHttpHandler(std::shared_ptr<TMetricsRegistry> registry);

  bool handleGet(CivetServer* server, mg_connection* connection) override;
  // The current page (built now or within PageReuse).
  std::shared_ptr<const std::string> page();

 private:
  std::shared_ptr<TMetricsRegistry> registry;
  std::mutex lock;
  std::shared_ptr<const std::string> built;
  std::chrono::steady_clock::time_point builtAt;
};

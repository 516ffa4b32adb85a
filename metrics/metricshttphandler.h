#pragma once
// Answers the requests of the metrics endpoint: GET (or HEAD) /metrics gets the page of the
// registry's series, gzip-compressed when the scraper takes it; other paths get 404, other methods
// 405.
//
// A built page (and its compressed form, made when first asked for) is kept for PageReuse and
// handed to every scrape in that time, so a flood of scrapes costs one page per PageReuse; a
// single scrape after a quiet spell builds a fresh page. Pages are shared read-only, so a reply
// still being written never holds the lock.

#include <chrono>
#include <memory>
#include <mutex>
#include <string>

#include "metricshttpserver.h"

class TMetricsRegistry;

class TMetricsHttpHandler final {
 public:
  static constexpr std::chrono::milliseconds PageReuse{100};

  explicit TMetricsHttpHandler(std::shared_ptr<TMetricsRegistry> registry);

  THttpReply answer(const THttpRequestHead& request);
  // The current page (built now or within PageReuse), plain or compressed.
  std::shared_ptr<const std::string> page(bool gzipped = false);

 private:
  std::shared_ptr<TMetricsRegistry> registry;
  std::mutex lock;
  std::shared_ptr<const std::string> built;
  std::shared_ptr<const std::string> builtGzipped;
  std::chrono::steady_clock::time_point builtAt;
};

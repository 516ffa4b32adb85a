#include "metricshttphandler.h"

#include "metricspage.h"
#include "metricsregistry.h"

TMetricsHttpHandler::TMetricsHttpHandler(std::shared_ptr<TMetricsRegistry> series)
    : registry(std::move(series)) {}

std::shared_ptr<const std::string> TMetricsHttpHandler::page() {
  std::lock_guard guard(lock);
  const auto now = std::chrono::steady_clock::now();
  if (!built || now - builtAt >= PageReuse) {
    built = std::make_shared<const std::string>(renderMetricsPage(registry->Collect()));
    builtAt = now;
  }
  return built;
}

bool TMetricsHttpHandler::handleGet(CivetServer*, mg_connection* connection) {
  const std::shared_ptr<const std::string> text = page();
  mg_printf(connection,
            "HTTP/1.1 200 OK\r\n"
            "Content-Type: text/plain; version=0.0.4; charset=utf-8\r\n"
            "Content-Length: %zu\r\n\r\n",
            text->size());
  // A scraper that hangs up half-way ends the write early; nothing else is affected.
  mg_write(connection, text->data(), text->size());
  return true;
}

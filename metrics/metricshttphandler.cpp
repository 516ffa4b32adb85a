#include "metricshttphandler.h"

#include "gzipbody.h"
#include "metricspage.h"
#include "metricsregistry.h"

namespace {

constexpr const char* PageType = "text/plain; version=0.0.4; charset=utf-8";

THttpReply reply(const std::string& status, const std::string& type,
                 std::shared_ptr<const std::string> body, const std::string& extraHeaders,
                 bool keepAlive, bool headOnly) {
  THttpReply out;
  out.head = "HTTP/1.1 " + status + "\r\nContent-Type: " + type +
             "\r\nContent-Length: " + std::to_string(body->size()) + "\r\n" + extraHeaders +
             "Connection: " + (keepAlive ? "keep-alive" : "close") + "\r\n\r\n";
  if (!headOnly) out.body = std::move(body);
  out.keepAlive = keepAlive;
  return out;
}

std::shared_ptr<const std::string> text(const char* words) {
  return std::make_shared<const std::string>(std::string(words) + "\n");
}

}  // namespace

TMetricsHttpHandler::TMetricsHttpHandler(std::shared_ptr<TMetricsRegistry> series)
    : registry(std::move(series)) {}

std::shared_ptr<const std::string> TMetricsHttpHandler::page(bool gzipped) {
  std::lock_guard guard(lock);
  const auto now = std::chrono::steady_clock::now();
  if (!built || now - builtAt >= PageReuse) {
    built = std::make_shared<const std::string>(renderMetricsPage(registry->Collect()));
    builtGzipped.reset();
    builtAt = now;
  }
  if (!gzipped) return built;
  if (!builtGzipped) {
    std::string compressed = gzipBody(*built);
    if (compressed.empty()) return nullptr;
    builtGzipped = std::make_shared<const std::string>(std::move(compressed));
  }
  return builtGzipped;
}

THttpReply TMetricsHttpHandler::answer(const THttpRequestHead& request) {
  const bool headOnly = request.method == "HEAD";
  if (request.method != "GET" && !headOnly)
    return reply("405 Method Not Allowed", "text/plain", text("Only GET and HEAD are served."),
                 "Allow: GET, HEAD\r\n", false, false);
  const std::string path = request.target.substr(0, request.target.find('?'));
  if (path != "/metrics")
    return reply("404 Not Found", "text/plain", text("The series are at /metrics."), "",
                 request.keepAlive, headOnly);
  if (request.acceptsGzip)
    if (auto compressed = page(true))
      return reply("200 OK", PageType, std::move(compressed),
                   "Content-Encoding: gzip\r\nVary: Accept-Encoding\r\n", request.keepAlive,
                   headOnly);
  return reply("200 OK", PageType, page(false), "Vary: Accept-Encoding\r\n", request.keepAlive,
               headOnly);
}

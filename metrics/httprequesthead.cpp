#include "httprequesthead.h"

#include <algorithm>
#include <cctype>

namespace {

std::string lowered(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
    text.remove_suffix(1);
  return text;
}

// Whether a comma-separated header value names a token ("gzip", "close"), a zero weight
// ("gzip;q=0") counting as not named (RFC 9110, 12.4.2).
bool namesToken(std::string_view value, std::string_view token) {
  const std::string list = lowered(value);
  std::string_view rest(list);
  while (!rest.empty()) {
    const std::size_t comma = rest.find(',');
    std::string_view item = trimmed(rest.substr(0, comma));
    rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
    const std::size_t semicolon = item.find(';');
    if (trimmed(item.substr(0, semicolon)) != token) continue;
    if (semicolon == std::string_view::npos) return true;
    std::string_view weight = trimmed(item.substr(semicolon + 1));
    if (weight.rfind("q=", 0) != 0) return true;
    weight.remove_prefix(2);
    return weight.find_first_not_of("0.") != std::string_view::npos;
  }
  return false;
}

}  // namespace

std::optional<std::size_t> requestHeadEnd(std::string_view received) {
  const std::size_t crlf = received.find("\r\n\r\n");
  const std::size_t lf = received.find("\n\n");
  if (crlf == std::string_view::npos && lf == std::string_view::npos) return std::nullopt;
  if (lf == std::string_view::npos || (crlf != std::string_view::npos && crlf < lf))
    return crlf + 4;
  return lf + 2;
}

std::optional<THttpRequestHead> parseRequestHead(std::string_view head) {
  std::size_t lineEnd = head.find('\n');
  const std::string_view requestLine = trimmed(head.substr(0, lineEnd));
  const std::size_t firstSpace = requestLine.find(' ');
  const std::size_t lastSpace = requestLine.rfind(' ');
  if (firstSpace == std::string_view::npos || firstSpace == lastSpace || firstSpace == 0)
    return std::nullopt;
  const std::string_view version = requestLine.substr(lastSpace + 1);
  if (version != "HTTP/1.1" && version != "HTTP/1.0") return std::nullopt;
  THttpRequestHead request;
  request.method = std::string(requestLine.substr(0, firstSpace));
  request.target = std::string(trimmed(requestLine.substr(firstSpace + 1, lastSpace - firstSpace - 1)));
  if (request.target.empty() || request.target.find(' ') != std::string::npos) return std::nullopt;
  request.keepAlive = version == "HTTP/1.1";

  while (lineEnd != std::string_view::npos) {
    const std::size_t start = lineEnd + 1;
    lineEnd = head.find('\n', start);
    const std::string_view line = head.substr(start, lineEnd == std::string_view::npos
                                                         ? std::string_view::npos
                                                         : lineEnd - start);
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    const std::string name = lowered(trimmed(line.substr(0, colon)));
    const std::string_view value = trimmed(line.substr(colon + 1));
    if (name == "connection") {
      if (namesToken(value, "close")) request.keepAlive = false;
      else if (namesToken(value, "keep-alive")) request.keepAlive = true;
    } else if (name == "accept-encoding") {
      request.acceptsGzip = request.acceptsGzip || namesToken(value, "gzip");
    } else if (name == "transfer-encoding" || (name == "content-length" && value != "0")) {
      request.hasBody = true;
    }
  }
  if (request.hasBody) request.keepAlive = false;
  return request;
}

#pragma once
// The head of one HTTP/1.x request as the metrics endpoint needs it, read from the bytes a client
// sent: method, target, whether the connection stays open afterwards, and whether the client takes
// a gzip-compressed reply. A pure function, so odd and hostile heads are tested without a socket.

#include <optional>
#include <string>
#include <string_view>

struct THttpRequestHead {
  std::string method;
  std::string target;     // as sent, query included ("/metrics?x=1")
  bool keepAlive = false;  // HTTP/1.1 unless "Connection: close"; HTTP/1.0 only when asked
  bool acceptsGzip = false;
  bool hasBody = false;    // Content-Length or Transfer-Encoding: not read, so the connection closes
};

// Where the head ends in the bytes received so far (the index past its blank line), or nothing
// while it is incomplete.
std::optional<std::size_t> requestHeadEnd(std::string_view received);

// The head parsed, or nothing when its request line is not "METHOD TARGET HTTP/1.x".
std::optional<THttpRequestHead> parseRequestHead(std::string_view head);

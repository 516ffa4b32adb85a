#pragma once
// Reading a metrics page the way a scraper does: a plain HTTP/1.0 GET over a TCP socket on
// 127.0.0.1 (no helper thread, so it works in whatever network namespace the calling thread is
// in), a free port to listen on, and one sample's value looked up by its series text.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <sstream>
#include <string>

namespace scrape {

inline int connectTo(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<std::uint16_t>(port));
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0) return fd;
  if (fd >= 0) close(fd);
  return -1;
}

// The reply's body, or nothing when the server could not be reached or did not answer 200 within
// the time limit.
inline std::optional<std::string> httpGet(int port, const std::string& path, int limitMs = 5000) {
  const int fd = connectTo(port);
  if (fd < 0) return std::nullopt;
  const std::string request = "GET " + path + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
  std::string reply;
  if (send(fd, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size())) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    char chunk[65536];
    while (std::chrono::steady_clock::now() < deadline) {
      pollfd watched{fd, POLLIN, 0};
      if (poll(&watched, 1, 200) <= 0) continue;
      const ssize_t got = recv(fd, chunk, sizeof chunk, 0);
      if (got <= 0) break;
      reply.append(chunk, static_cast<std::size_t>(got));
    }
  }
  close(fd);
  const std::size_t body = reply.find("\r\n\r\n");
  if (reply.size() < 13 || reply.rfind("HTTP/1.", 0) != 0 || reply.compare(8, 5, " 200 ") != 0 ||
      body == std::string::npos)
    return std::nullopt;
  return reply.substr(body + 4);
}

// A port that was free a moment ago on 127.0.0.1.
inline int freePort() {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in at{};
  at.sin_family = AF_INET;
  at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof at;
  bind(fd, reinterpret_cast<sockaddr*>(&at), sizeof at);
  getsockname(fd, reinterpret_cast<sockaddr*>(&at), &length);
  close(fd);
  return ntohs(at.sin_port);
}

// The value of the sample whose series is written exactly so ("sorvelo_hosts",
// "sorvelo_host_up{host=\"a\",address=\"1.2.3.4\"}"), or nothing when the page lacks it.
inline std::optional<double> sample(const std::string& page, const std::string& series) {
  std::istringstream lines(page);
  std::string line;
  while (std::getline(lines, line))
    if (line.size() > series.size() && line.compare(0, series.size(), series) == 0 &&
        line[series.size()] == ' ')
      return std::stod(line.substr(series.size() + 1));
  return std::nullopt;
}

}  // namespace scrape

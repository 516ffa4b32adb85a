#include "socketresolve.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>

#include <algorithm>
#include <cctype>
#include <cerrno>

#include "socketerrors.h"

namespace {

constexpr std::size_t LongestName = 31;  // protocol and service names
constexpr std::size_t LongestHost = 256;

bool allDigits(const std::string& text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c) != 0; });
}

}  // namespace

bool isDottedQuad(const std::string& text) {
  int parts = 0;
  std::size_t from = 0;
  for (;;) {
    const std::size_t dot = text.find('.', from);
    const std::string part = text.substr(from, dot == std::string::npos ? std::string::npos : dot - from);
    if (!allDigits(part) || part.size() > 3 || std::stoi(part) > 255 || ++parts > 4) return false;
    if (dot == std::string::npos) return parts == 4;
    from = dot + 1;
  }
}

std::string resolveProto(const std::string& proto, int& protocol) {
  if (proto.empty() || proto.size() > LongestName) return "SocketResolveProto: Invalid Protocol.";
  if (allDigits(proto)) {
    protocol = std::stoi(proto.substr(0, 9));
  } else if (const protoent* p = getprotobyname(proto.c_str())) {
    protocol = p->p_proto;
  } else if (proto == "tcp") {  // a system without /etc/protocols still knows TCP
    protocol = IPPROTO_TCP;
  } else {
    return "SocketResolveProto: Cannot convert protocol '" + proto + "', Error #" +
           std::to_string(socketcode::NoData);
  }
  return {};
}

std::string resolvePort(const std::string& port, const std::string& proto, std::uint16_t& number) {
  if (port.empty() || port.size() > LongestName) return "SocketResolvePort: Invalid Port.";
  if (proto.empty() || proto.size() > LongestName) return "SocketResolvePort: Invalid Proto.";
  if (allDigits(port) && port.size() <= 5 && std::stoi(port) <= 65535) {
    number = static_cast<std::uint16_t>(std::stoi(port));
    return {};
  }
  if (!allDigits(port)) {
    if (const servent* s = getservbyname(port.c_str(), proto.c_str())) {
      number = ntohs(static_cast<std::uint16_t>(s->s_port));
      return {};
    }
  }
  return "SocketResolvePort: Cannot convert port '" + port + "', Error #" +
         std::to_string(socketcode::NoData);
}

std::string resolveHost(const std::string& host, std::uint32_t& address) {
  if (host.empty() || host.size() > LongestHost) return "SocketResolveHost: '" + host + "' Invalid Hostname.";
  if (isDottedQuad(host)) {
    // inet_aton reads numbers with a leading 0 as octal, as the system's own tools do.
    in_addr a{};
    if (inet_aton(host.c_str(), &a) == 0 || (a.s_addr == INADDR_NONE && host != "255.255.255.255"))
      return "SocketResolveHost: '" + host + "' Invalid IP address.";
    address = a.s_addr;
    return {};
  }
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const int rc = getaddrinfo(host.c_str(), nullptr, &hints, &found);
  if (rc != 0 || found == nullptr) {
    const int code = socketErrorFromResolver(rc == 0 ? EAI_NONAME : rc, errno);
    return "SocketResolveHost: Cannot convert host address '" + host + "', Error #" + std::to_string(code);
  }
  address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
  freeaddrinfo(found);
  return {};
}

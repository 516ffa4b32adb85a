#include "pastedforms.h"

#include <arpa/inet.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "base/textutils.h"
#include "hosttext.h"

namespace {

constexpr std::size_t LongestShownSource = 80;
constexpr std::size_t LongestPiece = 1024;  // far longer than any host form; longer pieces are junk
constexpr long MaxPort = 65535;

bool isNameCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
}

bool isQuote(char c) { return c == '"' || c == '\''; }

std::string quoted(const std::string& text) { return "\"" + text + "\""; }

// The text inside matching quotes; a quote that never closes (or a lone closing one) is dropped.
std::string withoutQuotes(std::string text) {
  if (text.size() >= 2 && isQuote(text.front()) && text.back() == text.front())
    return text.substr(1, text.size() - 2);
  if (!text.empty() && isQuote(text.front())) text.erase(0, 1);
  if (!text.empty() && isQuote(text.back())) text.pop_back();
  return text;
}

// "scheme://": letters, digits, "+", "-", "." before "://", starting with a letter.
std::size_t schemeEnd(const std::string& text) {
  const std::size_t at = text.find("://");
  if (at == std::string::npos || at == 0 || !std::isalpha(static_cast<unsigned char>(text[0])))
    return std::string::npos;
  for (std::size_t i = 0; i < at; ++i) {
    const char c = text[i];
    if (!isNameCharacter(c) && c != '+' && c != '.') return std::string::npos;
  }
  return at + 3;
}

struct TCut {
  std::string host;
  std::string refusal;  // a form that cannot give a host (bad port, "[" without "]")
};

// host, host:port, [literal], [literal]:port. A port is 1 to 65535; "host:" (ping's "from
// 127.0.0.1:") counts as no port.
TCut cutPort(const std::string& text) {
  TCut cut;
  std::string port;
  if (!text.empty() && text.front() == '[') {
    const std::size_t close = text.find(']');
    if (close == std::string::npos) {
      cut.refusal = "no closing \"]\"";
      return cut;
    }
    cut.host = text.substr(1, close - 1);
    const std::string rest = text.substr(close + 1);
    if (!rest.empty() && rest.front() != ':') {
      cut.refusal = "text after \"]\" that is no port";
      return cut;
    }
    if (!rest.empty()) port = rest.substr(1);
  } else if (std::count(text.begin(), text.end(), ':') == 1) {
    const std::size_t colon = text.find(':');
    cut.host = text.substr(0, colon);
    port = text.substr(colon + 1);
  } else {
    cut.host = text;  // no port, or an IPv6 literal
  }
  if (port.empty()) return cut;
  const bool digits = port.size() <= 6 && std::all_of(port.begin(), port.end(), [](char c) {
                        return c >= '0' && c <= '9';
                      });
  if (!digits) {
    cut.refusal = "the port " + quoted(reportableSource(port)) + " is no number";
  } else if (const long number = std::stol(port); number < 1 || number > MaxPort) {
    cut.refusal = "the port " + port + " is out of range (1 to 65535)";
  }
  return cut;
}

// What the host text of a form is, or nothing when it is no host at all.
bool classify(const std::string& host, const std::set<std::string>& localNames, TFormHost& found) {
  found.host = host;
  if (host.empty()) return false;
  if (isIpAddress(host)) {
    found.reason = unpingableIpv4Reason(host);
    found.kind = found.reason.empty() ? TFormHostKind::Address : TFormHostKind::Refused;
    return true;
  }
  if (const TIpv6Form form = parseIpv6Literal(host); form != TIpv6Form::NotIpv6) {
    found.reason = form == TIpv6Form::BadZone ? "no interface name or number after \"%\""
                                              : unpingableIpv6Reason(host);
    found.kind = found.reason.empty() ? TFormHostKind::Ipv6 : TFormHostKind::Refused;
    return true;
  }
  if (parseAddressBlock(host)) {
    found.kind = TFormHostKind::Block;
    return true;
  }
  if (isHostName(host) || isLongLabelName(host)) {
    found.kind = TFormHostKind::Name;
    return true;
  }
  if (localNames.count(host) != 0) {
    found.kind = TFormHostKind::LocalName;
    return true;
  }
  return false;
}

// One piece of a part between separators: quotes, key=value, URL, user@host, port, in that order.
bool hostInPiece(const std::string& piece, const std::set<std::string>& localNames,
                 TFormHost& found) {
  std::string text = withoutQuotes(piece);
  const std::size_t authority = schemeEnd(text);
  if (authority == std::string::npos) {
    if (const std::size_t equals = text.find('='); equals != std::string::npos)
      text = withoutQuotes(text.substr(equals + 1));
  }
  if (const std::size_t start = schemeEnd(text); start != std::string::npos) {
    text = text.substr(start);
    text = text.substr(0, text.find_first_of("/?#"));
  }
  // user@host and the credentials of a URL: only what follows the last "@" is kept.
  if (const std::size_t at = text.rfind('@'); at != std::string::npos) text = text.substr(at + 1);
  const TCut cut = cutPort(text);
  if (!cut.refusal.empty()) {
    found.kind = TFormHostKind::Refused;
    found.host = reportableSource(text);
    found.reason = cut.refusal;
    return true;
  }
  std::string host = cut.host;
  // A name written with its root dot ("example.com.") or ending a sentence.
  if (host.size() > 1 && host.back() == '.' && !isIpAddress(host)) host.pop_back();
  return classify(host, localNames, found);
}

}  // namespace

std::vector<TFormHost> hostsInForms(const std::string& part, const std::set<std::string>& localNames) {
  std::vector<TFormHost> found;
  // Most skipped parts of a listing are plain words, times and units: with no character of a form
  // in them, only a name of /etc/hosts can be there.
  if (part.find_first_of(",;\t\"'=:@/[") == std::string::npos && (part.empty() || part.back() != '.')) {
    if (localNames.count(part) != 0) found.push_back({TFormHostKind::LocalName, part, part, {}});
    return found;
  }
  std::size_t start = 0;
  while (start <= part.size()) {
    std::size_t end = part.find_first_of(",;\t", start);
    if (end == std::string::npos) end = part.size();
    if (end > start && end - start <= LongestPiece) {
      TFormHost host;
      if (hostInPiece(part.substr(start, end - start), localNames, host)) {
        if (found.empty()) host.source = reportableSource(part);
        else host.source = found.front().source;
        found.push_back(std::move(host));
      }
    }
    start = end + 1;
  }
  return found;
}

std::string unpingableIpv4Reason(const std::string& dotted) {
  long octets[4] = {};
  std::size_t count = 0;
  std::size_t start = 0;
  while (start <= dotted.size() && count < 4) {
    std::size_t end = dotted.find('.', start);
    if (end == std::string::npos) end = dotted.size();
    if (end == start) return "a part of the address is empty";
    std::size_t digits = dotted.find_first_not_of('0', start);
    if (digits == std::string::npos || digits > end) digits = end;
    if (end - digits > 3 || (end > digits && std::stol(dotted.substr(digits, end - digits)) > 255))
      return "an octet above 255 (" + reportableSource(dotted.substr(start, end - start)) + ")";
    octets[count++] = end > digits ? std::stol(dotted.substr(digits, end - digits)) : 0;
    start = end + 1;
  }
  if (count != 4) return "a part of the address is empty";
  if (octets[0] == 255 && octets[1] == 255 && octets[2] == 255 && octets[3] == 255)
    return "the broadcast address";
  if (octets[0] == 0)
    return octets[1] == 0 && octets[2] == 0 && octets[3] == 0
               ? "0.0.0.0 is no host's address"
               : "addresses 0.x.x.x stand for this network and cannot be pinged";
  if (octets[0] >= 224 && octets[0] <= 239) return "a multicast address (224.0.0.0 to 239.255.255.255)";
  return {};
}

std::string unpingableIpv6Reason(const std::string& literal) {
  if (isUnspecifiedIpv6(literal)) return "the unspecified address is no host";
  in6_addr parsed{};
  const std::string address = literal.substr(0, literal.find('%'));
  if (inet_pton(AF_INET6, address.c_str(), &parsed) == 1 && IN6_IS_ADDR_MULTICAST(&parsed))
    return "a multicast address (ff00::/8)";
  return {};
}

std::set<std::string> singleLabelHostNames(const std::string& etcHostsText) {
  std::set<std::string> names;
  std::istringstream lines(etcHostsText);
  for (std::string line; std::getline(lines, line);) {
    line = line.substr(0, line.find('#'));
    std::istringstream words(line);
    std::string word;
    words >> word;  // the address
    while (words >> word)
      if (std::all_of(word.begin(), word.end(), isNameCharacter)) names.insert(word);
  }
  return names;
}

const std::set<std::string>& localHostNames() {
  static const std::set<std::string> names = [] {
    std::ifstream file("/etc/hosts");
    std::stringstream text;
    text << file.rdbuf();
    return singleLabelHostNames(text.str());
  }();
  return names;
}

std::string reportableSource(const std::string& text) {
  std::string shown = text;
  // "user:password@" (of a URL or not): the password goes before anything is kept or shown.
  const std::size_t scheme = schemeEnd(shown);
  const std::size_t start = scheme == std::string::npos ? 0 : scheme;
  const std::size_t end = std::min(shown.find_first_of("/?#", start), shown.size());
  const std::size_t at = shown.rfind('@', end);
  if (at != std::string::npos && at >= start) {
    const std::size_t colon = shown.find(':', start);
    if (colon < at) shown.replace(colon + 1, at - colon - 1, "***");
  }
  if (shown.size() > LongestShownSource) shown = shown.substr(0, LongestShownSource - 3) + "...";
  return shown;
}

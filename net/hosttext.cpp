#include "hosttext.h"

#include <arpa/inet.h>
#include <net/if.h>

#include <algorithm>
#include <cctype>

#include "base/textutils.h"
#include "pastedforms.h"
#include "socketresolve.h"

namespace {

constexpr std::size_t LongestInterfaceName = IF_NAMESIZE - 1;
constexpr std::size_t LongestName = 253;
constexpr std::size_t LongestLabel = 63;
constexpr std::size_t LongestScanLabel = 4;

bool isAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isAsciiDigit(char c) { return c >= '0' && c <= '9'; }

// Interface names as `ip link` makes them: letters, digits, "_", "-", "."; an index is digits.
bool isZoneText(const std::string& zone) {
  return !zone.empty() && zone.size() <= LongestInterfaceName &&
         std::all_of(zone.begin(), zone.end(), [](char c) {
           return isAsciiLetter(c) || isAsciiDigit(c) || c == '_' || c == '-' || c == '.';
         });
}

bool allDigits(const std::string& text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), isAsciiDigit);
}

}  // namespace

TIpv6Form parseIpv6Literal(const std::string& text, std::string* normal, std::string* zone) {
  const std::size_t percent = text.find('%');
  const std::string address = text.substr(0, percent);
  // inet_pton takes exactly the written forms; a colon keeps it from reading an IPv4 text.
  in6_addr parsed{};
  if (address.find(':') == std::string::npos || address.size() >= INET6_ADDRSTRLEN ||
      inet_pton(AF_INET6, address.c_str(), &parsed) != 1)
    return TIpv6Form::NotIpv6;
  const std::string zoneText = percent == std::string::npos ? std::string() : text.substr(percent + 1);
  if (percent != std::string::npos && !isZoneText(zoneText)) return TIpv6Form::BadZone;
  if (normal) {
    char buffer[INET6_ADDRSTRLEN] = {};
    inet_ntop(AF_INET6, &parsed, buffer, sizeof buffer);
    *normal = buffer;
    if (percent != std::string::npos) *normal += "%" + zoneText;
  }
  if (zone) *zone = zoneText;
  return TIpv6Form::Valid;
}

bool isIpv6Literal(const std::string& text) { return parseIpv6Literal(text) == TIpv6Form::Valid; }

bool isUnspecifiedIpv6(const std::string& text) {
  std::string normal;
  return parseIpv6Literal(text, &normal) == TIpv6Form::Valid && normal.rfind("::", 0) == 0 &&
         (normal.size() == 2 || normal[2] == '%');
}

bool isLinkLocalIpv6(const std::string& text) {
  in6_addr parsed{};
  const std::string address = text.substr(0, text.find('%'));
  return inet_pton(AF_INET6, address.c_str(), &parsed) == 1 && IN6_IS_ADDR_LINKLOCAL(&parsed);
}

bool zoneExists(const std::string& zone) {
  if (allDigits(zone)) {
    if (zone.size() > 9) return false;
    char name[IF_NAMESIZE] = {};
    return if_indextoname(static_cast<unsigned>(std::stoul(zone)), name) != nullptr;
  }
  return isZoneText(zone) && if_nametoindex(zone.c_str()) != 0;
}

std::string lastLabel(const std::string& name) {
  const std::size_t dot = name.rfind('.');
  return dot == std::string::npos ? name : name.substr(dot + 1);
}

bool isLongLabelName(const std::string& text) {
  if (text.size() > LongestName || text.find('.') == std::string::npos || text.back() == '.')
    return false;
  const bool nameCharacters = std::all_of(text.begin(), text.end(), [](char c) {
    return isAsciiLetter(c) || isAsciiDigit(c) || c == '-' || c == '.';
  });
  const std::string label = lastLabel(text);
  return nameCharacters && label.size() > LongestScanLabel && label.size() <= LongestLabel &&
         std::all_of(label.begin(), label.end(), isAsciiLetter);
}

std::string TAddressBlock::address(std::uint32_t index) const {
  in_addr a{};
  a.s_addr = htonl(first + index);
  char buffer[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &a, buffer, sizeof buffer);
  return buffer;
}

std::optional<TAddressBlock> parseAddressBlock(const std::string& text) {
  const std::size_t slash = text.find('/');
  if (slash == std::string::npos) return std::nullopt;
  const std::string base = text.substr(0, slash);
  const std::string prefixText = text.substr(slash + 1);
  if (!isDottedQuad(base) || !allDigits(prefixText) || prefixText.size() > 3) return std::nullopt;
  TAddressBlock block;
  block.text = text;
  const int prefix = std::stoi(prefixText);
  if (prefix > 32) {
    block.refusal = "/" + std::to_string(prefix) + " is longer than an IPv4 address (at most /32)";
    return block;
  }
  if (prefix == 0) {
    block.refusal = "/0 is the whole IPv4 address space";
    return block;
  }
  const std::uint64_t count = std::uint64_t{1} << (32 - prefix);
  if (count > TAddressBlock::MaxBlockAddresses) {
    block.refusal = "a /" + std::to_string(prefix) + " block holds " + std::to_string(count) +
                    " addresses, more than " + std::to_string(TAddressBlock::MaxBlockAddresses);
    return block;
  }
  in_addr parsed{};
  inet_pton(AF_INET, base.c_str(), &parsed);
  const std::uint32_t mask = prefix == 32 ? 0xFFFFFFFFu : ~((std::uint32_t{1} << (32 - prefix)) - 1);
  block.first = ntohl(parsed.s_addr) & mask;
  block.count = static_cast<std::uint32_t>(count);
  // The ranges no echo can be answered from are aligned blocks of /4 and longer: either end tells.
  const std::uint32_t firstOctet = block.first >> 24;
  const std::uint32_t last = block.first + block.count - 1;
  if (firstOctet == 0 || (firstOctet >= 224 && firstOctet <= 239) || last == 0xFFFFFFFFu) {
    const std::string end = block.address(last == 0xFFFFFFFFu ? block.count - 1 : 0);
    block.refusal = "holds " + end + ": " + unpingableIpv4Reason(end);
    block.count = 0;
    return block;
  }
  if (prefix <= 30) {
    block.first += 1;
    block.count -= 2;
    block.endsLeftOut = true;
  }
  return block;
}

namespace {

THostPartKind partKindOf(TFormHostKind kind) {
  switch (kind) {
    case TFormHostKind::Address: return THostPartKind::Candidate;
    case TFormHostKind::Ipv6: return THostPartKind::Ipv6;
    case TFormHostKind::Name: return THostPartKind::FormName;
    case TFormHostKind::LocalName: return THostPartKind::LocalName;
    case TFormHostKind::Block: return THostPartKind::Block;
    case TFormHostKind::Refused: break;
  }
  return THostPartKind::Refused;
}

}  // namespace

std::vector<THostPart> hostParts(const std::string& line, const std::set<std::string>& localNames) {
  splitter words;
  words.separators = {" ", "(", ")", "[", "]"};
  words.split(line);
  std::vector<THostPart> found;
  std::size_t nonEmpty = 0;
  for (const std::string& part : words.parts) {
    if (part.empty()) continue;
    ++nonEmpty;
    THostPartKind kind;
    if (isIpAddress(part) || isHostName(part))
      kind = THostPartKind::Candidate;
    else if (const TIpv6Form form = parseIpv6Literal(part); form != TIpv6Form::NotIpv6)
      kind = form == TIpv6Form::Valid ? THostPartKind::Ipv6 : THostPartKind::Ipv6BadZone;
    else if (parseAddressBlock(part))
      kind = THostPartKind::Block;
    else if (isLongLabelName(part))
      kind = THostPartKind::LongLabel;
    else {
      for (TFormHost& inForm : hostsInForms(part, localNames)) {
        // A part that is the host itself ("localhost") is no form to name in the report.
        std::string source =
            inForm.source == inForm.host ? std::string() : std::move(inForm.source);
        found.push_back({partKindOf(inForm.kind), std::move(inForm.host), false,
                         std::move(source), std::move(inForm.reason)});
      }
      continue;
    }
    found.push_back({kind, part, false, {}, {}});
  }
  if (nonEmpty == 1 && found.size() == 1) found.front().aloneOnLine = true;
  return found;
}

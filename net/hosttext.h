#pragma once
// Host texts beyond the dotted addresses and host names that isIpAddress and isHostName accept:
// IPv6 literals, address blocks in CIDR form, and names whose last label is longer than four letters.
// The Add flow of the maintenance dialog takes the first as hosts, offers the others, and reports
// every part of a pasted line that looked like a host. Pure text routines, except zoneExists.

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

enum class TIpv6Form {
  NotIpv6,  // not an IPv6 literal at all
  Valid,    // an IPv6 literal, with a well-formed zone or none
  BadZone,  // an IPv6 literal followed by "%" and something that is no interface name or index
};

// Compressed forms, embedded IPv4 ("::ffff:192.0.2.1") and a zone ("fe80::1%eth0", "fe80::1%2")
// are accepted. normal gets the address in its canonical form (RFC 5952) with the zone as written.
TIpv6Form parseIpv6Literal(const std::string& text, std::string* normal = nullptr,
                           std::string* zone = nullptr);
bool isIpv6Literal(const std::string& text);  // parseIpv6Literal(text) == TIpv6Form::Valid
bool isUnspecifiedIpv6(const std::string& text);  // "::" in any spelling
bool isLinkLocalIpv6(const std::string& text);    // fe80::/10, with or without a zone
// The interface a zone names (by name or index) exists on this machine.
bool zoneExists(const std::string& zone);

// Meets every rule of isHostName except the length of its last label, which is 5 to 63 letters
// (".internal", ".online"); the whole text is at most 253 characters.
bool isLongLabelName(const std::string& text);
std::string lastLabel(const std::string& name);

// "a.b.c.d/n". A text of that form gives a block or, for a prefix that is out of range, a block of
// more than MaxBlockAddresses addresses or addresses that cannot be pinged (multicast, 0.x.x.x,
// broadcast), the reason it is refused. Other texts give nothing.
struct TAddressBlock {
  static constexpr std::uint32_t MaxBlockAddresses = 256;
  std::string text;           // as written
  std::uint32_t first = 0;    // host byte order: the first address given
  std::uint32_t count = 0;    // 0 when refused
  // A block of /30 or wider gives neither its network address (host bits all 0) nor its broadcast
  // address (all 1): no host answers there.
  bool endsLeftOut = false;
  std::string refusal;        // why it is not offered, or empty
  std::string address(std::uint32_t index) const;  // dotted form of first + index
};
std::optional<TAddressBlock> parseAddressBlock(const std::string& text);

// One part of a pasted line, cut as hostCandidates cuts it, with what it looks like.
enum class THostPartKind {
  Candidate,    // a dotted address or a host name: a candidate of hostCandidates
  Ipv6,         // an IPv6 literal (zone still to be checked against the machine)
  Ipv6BadZone,  // an IPv6 literal with junk after "%"
  LongLabel,    // a name with a last label of more than four letters
  Block,        // an address block in CIDR form (maybe refused)
  FormName,     // a host name found inside a form (see pastedforms.h): added only when it resolves
  LocalName,    // a name without a dot that /etc/hosts knows: offered
  Refused,      // found inside a form, but no host that could be pinged: `reason` says why
};
struct THostPart {
  THostPartKind kind = THostPartKind::Candidate;
  std::string text;
  bool aloneOnLine = false;  // the line holds no other non-empty part
  std::string source;        // the form it was found in (reportable); empty for a part as written
  std::string reason;        // Refused only
};
// The parts of a line that look like hosts, in order; every other part is left out, as
// hostCandidates leaves it out. The Candidate parts without a source are exactly
// hostCandidates(line). The parts the scan skips are looked at again for the forms of
// pastedforms.h; `localNames` are the names without a dot that may be offered.
std::vector<THostPart> hostParts(const std::string& line,
                                 const std::set<std::string>& localNames = {});

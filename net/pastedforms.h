#pragma once
// Hosts inside the forms people paste that the host candidate scan passes over: lists separated by
// commas, semicolons or tabs, quoted texts, key=value, host:port and [v6]:port, URLs and user@host.
// Also which addresses can never answer an echo. Pure text routines: bytes in, result out.

#include <set>
#include <string>
#include <vector>

enum class TFormHostKind {
  Address,    // a dotted IPv4 address that can be pinged
  Ipv6,       // an IPv6 literal (zone still to be checked against the machine)
  Name,       // a host name: added when it resolves, offered otherwise
  LocalName,  // a name without a dot that /etc/hosts knows ("localhost"): offered
  Block,      // an address block in CIDR form
  Refused,    // looked like a host but cannot be one; `reason` says why
};

struct TFormHost {
  TFormHostKind kind = TFormHostKind::Address;
  std::string host;    // the host text found (for Refused: what was looked at)
  std::string source;  // the part it was found in, as reported: shortened, a password blanked
  std::string reason;  // Refused only
};

// The hosts in one part of a line that the candidate scan skipped (a part without spaces, round or
// square brackets). Parts holding no form and no known name give nothing: plain words, times and
// units of a pasted listing stay silent as before. `localNames` are the single-label names of
// /etc/hosts.
std::vector<TFormHost> hostsInForms(const std::string& part, const std::set<std::string>& localNames);

// Why an echo to this dotted address can never be answered ("an octet above 255", the broadcast
// address, multicast, 0.x.x.x), or empty when it can be pinged. The text must pass isIpAddress.
std::string unpingableIpv4Reason(const std::string& dotted);
// The same for an IPv6 literal: multicast (ff00::/8) and the unspecified address.
std::string unpingableIpv6Reason(const std::string& literal);

// The names without a dot in the text of an /etc/hosts file (comments and addresses left out).
std::set<std::string> singleLabelHostNames(const std::string& etcHostsText);
// Those of this machine's /etc/hosts, read once.
const std::set<std::string>& localHostNames();

// The text with the password of a URL's "user:password@" replaced by "***", and cut to a length a
// report line can show.
std::string reportableSource(const std::string& text);

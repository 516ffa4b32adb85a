// Adding a host from text the user typed or pasted: a dotted address or a host name, looked up
// forward (and, when asked, backward), refused when already in the list. IPv6 literals are taken
// as addresses too. Below it, the Add flow part by part and its report (see addhost.h).

#include "addhost.h"

#include <memory>

#include "base/textutils.h"
#include "base/usermessages.h"
#include "net/dnsquery.h"
#include "net/pastedforms.h"
#include "tolvohosts.h"

namespace {

// One resolver per call, made at the first lookup and released on every way out (an exception of
// the lookup included).
class TLookups {
 public:
  explicit TLookups(const TNameLookup& fake) : injected(fake) {}
  std::string operator()(const std::string& asked, bool forward) {
    if (injected) return injected(asked, forward);
    if (!dns) dns = std::make_unique<dnsQueryClass>();
    std::string result;
    dns->lookup(asked, forward, result);
    return result;
  }

 private:
  const TNameLookup& injected;
  std::unique_ptr<dnsQueryClass> dns;
};

TTolvoHost* createHost(TTolvoHosts& list, const std::string& name, const std::string& address) {
  std::unique_ptr<TTolvoHost> host = list.newHost();
  host->hostName = name;
  host->ipAddress = address;
  host->callingName = name;
  host->timeout = 2000;
  host->interval = 4;
  TTolvoHost* added = host.get();
  return list.appendHost(host) ? added : nullptr;
}

bool listFull(const TTolvoHosts& list) { return list.hostCount() >= TTolvoHosts::MaxHosts; }

std::string quoted(const std::string& text) { return "\"" + text + "\""; }

std::string reasonOf(TAddOutcome outcome, const std::string& text) {
  switch (outcome) {
    case TAddOutcome::Duplicate: return "already in the list";
    case TAddOutcome::ListFull: return "the list is full (255 hosts)";
    case TAddOutcome::NotResolved: return "the name does not resolve";
    case TAddOutcome::AddedUnresolved: return "added, but the name does not resolve: its pings will fail";
    case TAddOutcome::AddedWithoutZone:
      return "added, but a link-local address needs its interface after \"%\" (such as " + text +
             "%eth0): its pings will fail";
    case TAddOutcome::BadZone: return "no interface name or number after \"%\"";
    case TAddOutcome::Unspecified: return "the unspecified address is no host";
    case TAddOutcome::LongLabel:
      return "its last label " + quoted(lastLabel(text)) + " is longer than four letters";
    default: return {};
  }
}

}  // namespace

bool TTolvoHosts::hostExists(const std::string& text) const {
  for (int slot = 1; slot <= MaxHosts; ++slot) {
    const TTolvoHost* host = hostAt(slot);
    if (host && (host->hostName == text || host->ipAddress == text)) return true;
  }
  return false;
}

TTolvoHost* TTolvoHosts::addHost(const std::string& text, bool reverseResolve) {
  TLookups lookup(nameLookup);
  std::string name = text;
  std::string address = text;
  const bool isAddress = isIpAddress(text);
  // An IPv6 literal is stored in its canonical form, so that "::1" and "0:0::1" are one host.
  std::string v6;
  const bool isV6 = !isAddress && parseIpv6Literal(text, &v6) == TIpv6Form::Valid;
  if (isV6) name = address = v6;
  if (reverseResolve && (isAddress || isV6)) name = lookup(address, false);
  if (isHostName(text)) {
    name = text;
    address = lookup(text, true);
  } else if (!isAddress && !isV6) {
    showUserMessage(text);
  }
  // The list changes only now, after the lookups (the interface kept running during them).
  if (hostExists(name) || hostExists(address)) return nullptr;
  return createHost(*this, name, address);
}

void TAddReport::record(const std::string& text, TAddOutcome outcome, const std::string& reason) {
  if (outcome == TAddOutcome::ListFull) {
    // A paste longer than the free slots: one line names the range left out.
    if (leftOutFull++ == 0) firstLeftOut = text;
    lastLeftOut = text;
    return;
  }
  const bool remark =
      outcome == TAddOutcome::AddedUnresolved || outcome == TAddOutcome::AddedWithoutZone;
  if (outcome == TAddOutcome::Added || remark) ++added;
  if (outcome == TAddOutcome::Added) return;
  const std::string why = reason.empty() ? reasonOf(outcome, text) : reason;
  // Each text with its reason is reported once; past a bound (a huge paste) repeats are counted.
  if (listed.size() < MaxRemembered && !listed.insert(text + '\n' + why).second) return;
  if (remark) {
    if (remarks.size() < MaxListed) remarks.push_back({text, why});
    return;
  }
  if (notAdded.size() < MaxListed)
    notAdded.push_back({text, why});
  else
    ++notAddedUnlisted;
}

void TAddReport::recordFromForm(const std::string& host, const std::string& source) {
  ++added;
  if (remarks.size() < MaxListed && (listed.size() >= MaxRemembered || listed.insert(host + '\n' + source).second))
    remarks.push_back({host, "added from " + quoted(source)});
}

void TAddReport::offer(const TAddOffer& offer) {
  if (offers.size() < MaxOffers && offered.insert(offer.text).second) offers.push_back(offer);
}

std::vector<std::string> TAddReport::lines() const {
  std::vector<std::string> out;
  out.push_back(added == 1 ? "Added 1 host." : "Added " + std::to_string(added) + " hosts.");
  for (const TItem& item : remarks) out.push_back(item.text + ": " + item.reason);
  if (!notAdded.empty()) out.push_back("Not added:");
  for (const TItem& item : notAdded) out.push_back("  " + item.text + ": " + item.reason);
  if (notAddedUnlisted > 0)
    out.push_back("  and " + std::to_string(notAddedUnlisted) + " more");
  if (leftOutFull > 0) {
    if (notAdded.empty()) out.push_back("Not added:");
    const std::string full = reasonOf(TAddOutcome::ListFull, {});
    out.push_back(leftOutFull == 1 ? "  " + firstLeftOut + ": " + full
                                   : "  " + std::to_string(leftOutFull) + " parts from " + firstLeftOut +
                                         " to " + lastLeftOut + ": " + full);
  }
  return out;
}

namespace {

TAddOutcome addThroughAddHost(TTolvoHosts& list, const std::string& text, const std::string& key,
                              bool reverseResolve) {
  // A full list drops the part at once: addHost would refuse it after its lookups, so a long paste
  // into a full list costs no lookups.
  if (listFull(list)) return list.hostExists(key) ? TAddOutcome::Duplicate : TAddOutcome::ListFull;
  const TTolvoHost* host = list.addHost(text, reverseResolve);
  if (!host) return listFull(list) && !list.hostExists(key) ? TAddOutcome::ListFull : TAddOutcome::Duplicate;
  if (isHostName(text) && host->ipAddress == text) return TAddOutcome::AddedUnresolved;
  return TAddOutcome::Added;
}

// A name found in a form: added when it resolves, offered (to be added all the same) when not.
TAddOutcome addFormName(TTolvoHosts& list, const THostPart& part, TAddReport& report,
                        std::string& reason) {
  if (listFull(list)) return list.hostExists(part.text) ? TAddOutcome::Duplicate : TAddOutcome::ListFull;
  if (list.hostExists(part.text)) return TAddOutcome::Duplicate;
  TLookups lookup(list.nameLookup);
  const std::string address = lookup(part.text, true);
  if (address == part.text) {
    reason = "the name does not resolve; offered below";
    report.offer({part.text, false, true});
    return TAddOutcome::NameOffered;
  }
  if (list.hostExists(address)) return TAddOutcome::Duplicate;
  return createHost(list, part.text, address) ? TAddOutcome::Added : TAddOutcome::ListFull;
}

}  // namespace

TAddOutcome addHostPart(TTolvoHosts& list, const THostPart& part, bool reverseResolve,
                        TAddReport& report) {
  TAddOutcome outcome = TAddOutcome::Added;
  std::string reason;
  switch (part.kind) {
    case THostPartKind::Candidate:
      // isIpAddress passes any four groups of digits: those that can never answer go no further.
      reason = isIpAddress(part.text) ? unpingableIpv4Reason(part.text) : std::string();
      outcome = reason.empty() ? addThroughAddHost(list, part.text, part.text, reverseResolve)
                               : TAddOutcome::Unpingable;
      break;
    case THostPartKind::FormName:
      outcome = addFormName(list, part, report, reason);
      break;
    case THostPartKind::LocalName:
      if (list.hostExists(part.text)) {
        outcome = TAddOutcome::Duplicate;
      } else {
        outcome = TAddOutcome::NameOffered;
        reason = "a name without a dot, known to /etc/hosts; offered below";
        report.offer({part.text, false});
      }
      break;
    case THostPartKind::Refused:
      outcome = TAddOutcome::FormRefused;
      reason = part.reason;
      break;
    case THostPartKind::Ipv6: {
      std::string normal;
      std::string zone;
      parseIpv6Literal(part.text, &normal, &zone);
      if (isUnspecifiedIpv6(part.text)) {
        outcome = TAddOutcome::Unspecified;
      } else if (reason = unpingableIpv6Reason(part.text); !reason.empty()) {
        outcome = TAddOutcome::Unpingable;
      } else if (!zone.empty() && !zoneExists(zone)) {
        outcome = TAddOutcome::NoInterface;
        reason = "no network interface " + quoted(zone) + " on this machine";
      } else {
        outcome = addThroughAddHost(list, part.text, normal, reverseResolve);
        // The kernel cannot send to fe80::/10 without knowing the interface.
        if (outcome == TAddOutcome::Added && zone.empty() && isLinkLocalIpv6(normal))
          outcome = TAddOutcome::AddedWithoutZone;
      }
      break;
    }
    case THostPartKind::Ipv6BadZone:
      outcome = TAddOutcome::BadZone;
      break;
    case THostPartKind::LongLabel:
      outcome = TAddOutcome::LongLabel;
      if (part.aloneOnLine) {
        reason = reasonOf(outcome, part.text) + "; offered below";
        report.offer({part.text, false});
      }
      break;
    case THostPartKind::Block: {
      const TAddressBlock block = *parseAddressBlock(part.text);
      if (!block.refusal.empty()) {
        outcome = TAddOutcome::BlockRefused;
        reason = block.refusal;
      } else {
        outcome = TAddOutcome::BlockOffered;
        reason = "a block of " + std::to_string(block.count) + " addresses" +
                 (block.endsLeftOut ? " (its network and broadcast addresses left out)" : "") +
                 "; offered below";
        report.offer({part.text, true});
      }
      break;
    }
  }
  if (!part.source.empty() && outcome == TAddOutcome::Added) {
    report.recordFromForm(part.text, part.source);
  } else {
    // A full list is reported as a range of hosts: their forms would not fit in one line.
    const bool plain = part.source.empty() || outcome == TAddOutcome::ListFull;
    report.record(plain ? part.text : part.text + " (from " + quoted(part.source) + ")", outcome, reason);
  }
  return outcome;
}

TAddOutcome addNamedHost(TTolvoHosts& list, const std::string& name, TAddReport& report,
                         bool evenUnresolved) {
  TAddOutcome outcome = TAddOutcome::Added;
  if (listFull(list)) {
    outcome = TAddOutcome::ListFull;
  } else if (list.hostExists(name)) {
    outcome = TAddOutcome::Duplicate;
  } else {
    TLookups lookup(list.nameLookup);
    const std::string address = lookup(name, true);
    if (address == name && !evenUnresolved)
      outcome = TAddOutcome::NotResolved;
    else if (list.hostExists(address))
      outcome = TAddOutcome::Duplicate;
    else if (!createHost(list, name, address))
      outcome = TAddOutcome::ListFull;
    else if (address == name)
      outcome = TAddOutcome::AddedUnresolved;
  }
  report.record(name, outcome);
  return outcome;
}

void addAddressBlock(TTolvoHosts& list, const TAddressBlock& block, bool reverseResolve,
                     TAddReport& report, const std::function<bool()>& keepGoing) {
  for (std::uint32_t i = 0; i < block.count && keepGoing(); ++i) {
    if (listFull(list)) {
      const std::uint32_t left = block.count - i;
      const std::string rest = left == 1 ? block.address(i)
                                         : block.address(i) + " to " + block.address(block.count - 1);
      report.record(rest, TAddOutcome::ListFull);
      return;
    }
    addHostPart(list, {THostPartKind::Candidate, block.address(i), false, {}, {}}, reverseResolve, report);
  }
}

#pragma once
// The Add of the maintenance dialog, part by part, and the report of what it did.
//
// The parts of a pasted line that hostCandidates takes go to TTolvoHosts::addHost exactly as they
// always did (looked up, refused as duplicates, dropped when the list is full). IPv6 literals go
// the same way. Names whose last label is longer than four letters and address blocks in CIDR form
// are not added by an Add: they are reported, and offered for one more click (a name when it is
// alone on its line, a block wherever it stands). Every part that looked like a host but was not
// added is reported with its reason.
//
// The parts the scan skips are looked at again for the forms people paste (see net/pastedforms.h):
// an address found there is added like any other, a name only when it resolves (else it is
// offered), and the report says which form each came from. Addresses that can never answer an
// echo are refused with the reason, wherever they were found.

#include <cstddef>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "net/hosttext.h"

class TTolvoHosts;

enum class TAddOutcome {
  Added,
  AddedUnresolved,   // added, but its name does not resolve: its echoes will fail
  AddedWithoutZone,  // added, but a link-local address without its interface cannot be pinged
  Duplicate,
  ListFull,
  NotResolved,
  NoInterface,  // an IPv6 zone naming an interface this machine does not have
  BadZone,
  Unspecified,  // "::"
  LongLabel,
  BlockOffered,
  BlockRefused,
  Unpingable,    // an address that can never answer (an octet above 255, broadcast, multicast...)
  NameOffered,   // a name found inside a form, or known to /etc/hosts: offered for one click
  FormRefused,   // a form that cannot give a host (a port out of range, "[" without "]")
};

struct TAddOffer {
  std::string text;
  bool block = false;  // an address block; otherwise a name
  bool evenUnresolved = false;  // a name whose lookup failed: the click adds it all the same
};

class TAddReport {
 public:
  static constexpr std::size_t MaxListed = 100;  // parts listed one by one; the rest are counted
  static constexpr std::size_t MaxOffers = 20;
  static constexpr std::size_t MaxRemembered = 10000;

  struct TItem {
    std::string text;
    std::string reason;
  };

  // Counts an added host, or lists the part with its reason (each text and reason once).
  void record(const std::string& text, TAddOutcome outcome, const std::string& reason = {});
  void offer(const TAddOffer& offer);

  int added = 0;
  std::vector<TItem> notAdded;
  std::size_t notAddedUnlisted = 0;
  std::vector<TItem> remarks;  // hosts added with a remark
  std::vector<TAddOffer> offers;
  // Parts not added because the list was full: how many, and the first and last of them in order
  // (every part in between that is not listed otherwise met the same fate).
  std::size_t leftOutFull = 0;
  std::string firstLeftOut;
  std::string lastLeftOut;

  // A host added from a form: counted, and listed with the form it came from.
  void recordFromForm(const std::string& host, const std::string& source);

  // The report as lines of plain text: the count of added hosts first, then what was not added.
  std::vector<std::string> lines() const;

 private:
  std::set<std::string> listed;
  std::set<std::string> offered;
};

// One part of a line. A lookup that cannot start throws, as addHost does.
TAddOutcome addHostPart(TTolvoHosts& list, const THostPart& part, bool reverseResolve,
                        TAddReport& report);
// The one-click add of an offered name: added only when it resolves, unless `evenUnresolved` (a
// name found in a form that the user wants anyway: stored with the name as its address, as the
// specified Add stores a name that does not resolve).
TAddOutcome addNamedHost(TTolvoHosts& list, const std::string& name, TAddReport& report,
                         bool evenUnresolved = false);
// The one-click add of an offered block: its addresses in order, as if pasted one per line, while
// keepGoing() holds (it is asked before each address; the lookups let the interface run).
void addAddressBlock(TTolvoHosts& list, const TAddressBlock& block, bool reverseResolve,
                     TAddReport& report, const std::function<bool()>& keepGoing);

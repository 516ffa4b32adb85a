#pragma once
// The "Edit host" dialog's rules, apart from the dialog: what a host's fields may hold, and taking
// the edited values into the host. Unlike Maintain hosts, the address may be changed: the host
// stays one host (same place in the list, same history) and the new address is pinged at once.

#include <optional>
#include <string>
#include <vector>

class TTolvoHost;
class TTolvoHosts;

// The allowed ranges, shown beside the fields.
constexpr int EditMinTimeoutMs = 100;
constexpr int EditMaxTimeoutMs = 60000;
constexpr int EditMinIntervalS = 1;
constexpr int EditMaxIntervalS = 86400;
constexpr int SchedulerMinIntervalS = 3;  // the scheduler pings no host more often

struct THostEditTexts {
  std::string callingName;
  std::string hostName;
  std::string address;
  std::string timeout;   // milliseconds
  std::string interval;  // seconds
};

// One message per field, empty when the field is fine; `intervalNote` is no error (1 or 2 seconds,
// which the scheduler raises to 3).
struct THostEditCheck {
  std::string callingName;
  std::string address;
  std::string timeout;
  std::string interval;
  std::string intervalNote;
  bool ok() const { return callingName.empty() && address.empty() && timeout.empty() && interval.empty(); }
};

// `host` is the host being edited (another host's address is a duplicate, its own is not).
THostEditCheck checkHostEdit(const TTolvoHosts& list, const TTolvoHost* host, const THostEditTexts& texts);

// Several hosts at once: only timeout and interval, each either typed (checked as for one host) or
// left as shown (nullopt), which keeps every host's own value.
struct THostsEditTexts {
  std::optional<std::string> timeout;
  std::optional<std::string> interval;
};
THostEditCheck checkHostsEdit(const THostsEditTexts& texts);
void applyHostsEdit(const std::vector<TTolvoHost*>& hosts, const THostsEditTexts& texts);

// The address as the host will hold it: without blanks around it, an IPv6 literal in its canonical
// form.
std::string addressToStore(const std::string& typed);

// Takes valid texts into the host: the list's observers hear of changed names or address (the
// history keeps its one host), and a changed address is pinged at the next step.
void applyHostEdit(TTolvoHosts& list, TTolvoHost& host, const THostEditTexts& texts);

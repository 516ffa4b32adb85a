#include "hostedit.h"

#include "base/textutils.h"
#include "engineevents.h"
#include "net/hosttext.h"
#include "net/pastedforms.h"
#include "tolvohosts.h"

namespace {

std::string trimmedText(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::optional<int> wholeNumber(const std::string& text) {
  const std::string trimmed = trimmedText(text);
  if (trimmed.empty() || trimmed.size() > 9 || trimmed.find_first_not_of("0123456789") != std::string::npos)
    return std::nullopt;
  return std::stoi(trimmed);
}

std::string rangeText(int low, int high, const std::string& unit) {
  return "a whole number of " + unit + " from " + std::to_string(low) + " to " + std::to_string(high);
}

// The address as stored: an IPv6 literal in its canonical form, anything else as typed.
std::string storedAddress(const std::string& typed) {
  std::string normal;
  return parseIpv6Literal(typed, &normal) == TIpv6Form::Valid ? normal : typed;
}

// Timeout and interval as typed; nullopt is a field left as it was (several hosts at once).
void checkTiming(const std::optional<std::string>& timeoutText,
                 const std::optional<std::string>& intervalText, THostEditCheck& check) {
  if (timeoutText) {
    const std::optional<int> timeout = wholeNumber(*timeoutText);
    if (!timeout || *timeout < EditMinTimeoutMs || *timeout > EditMaxTimeoutMs)
      check.timeout = rangeText(EditMinTimeoutMs, EditMaxTimeoutMs, "milliseconds");
  }
  if (intervalText) {
    const std::optional<int> interval = wholeNumber(*intervalText);
    if (!interval || *interval < EditMinIntervalS || *interval > EditMaxIntervalS)
      check.interval = rangeText(EditMinIntervalS, EditMaxIntervalS, "seconds");
    else if (*interval < SchedulerMinIntervalS)
      check.intervalNote = "pinged every 3 seconds: no host is pinged more often";
  }
}

}  // namespace

THostEditCheck checkHostEdit(const TTolvoHosts& list, const TTolvoHost* host, const THostEditTexts& texts) {
  THostEditCheck check;
  if (trimmedText(texts.callingName).empty()) check.callingName = "a host needs a name to be shown by";
  const std::string address = trimmedText(texts.address);
  if (address.empty()) {
    check.address = "an address or a host name to ping";
  } else if (isIpAddress(address)) {
    check.address = unpingableIpv4Reason(address);
  } else if (const TIpv6Form form = parseIpv6Literal(address); form != TIpv6Form::NotIpv6) {
    check.address = form == TIpv6Form::BadZone ? "no interface name or number after \"%\""
                                                : unpingableIpv6Reason(address);
  } else if (!isHostName(address) && !isLongLabelName(address)) {
    check.address = "neither an IPv4 or IPv6 address nor a host name";
  }
  if (check.address.empty()) {
    const std::string stored = storedAddress(address);
    for (int slot = 1; slot <= TTolvoHosts::MaxHosts; ++slot) {
      const TTolvoHost* other = list.hostAt(slot);
      if (other && other != host && other->ipAddress == stored)
        check.address = "the host " + other->callingName + " has this address";
    }
  }
  checkTiming(texts.timeout, texts.interval, check);
  return check;
}

THostEditCheck checkHostsEdit(const THostsEditTexts& texts) {
  THostEditCheck check;
  checkTiming(texts.timeout, texts.interval, check);
  return check;
}

void applyHostsEdit(const std::vector<TTolvoHost*>& hosts, const THostsEditTexts& texts) {
  for (TTolvoHost* host : hosts) {
    if (texts.timeout) host->timeout = *wholeNumber(*texts.timeout);
    if (texts.interval) host->interval = *wholeNumber(*texts.interval);
  }
}

std::string addressToStore(const std::string& typed) { return storedAddress(trimmedText(typed)); }

void applyHostEdit(TTolvoHosts& list, TTolvoHost& host, const THostEditTexts& texts) {
  const THostNames before{host.callingName, host.hostName, host.ipAddress};
  host.callingName = trimmedText(texts.callingName);
  host.hostName = trimmedText(texts.hostName).empty() ? storedAddress(trimmedText(texts.address))
                                                      : trimmedText(texts.hostName);
  host.ipAddress = storedAddress(trimmedText(texts.address));
  host.timeout = *wholeNumber(texts.timeout);
  host.interval = *wholeNumber(texts.interval);
  if (before.callingName != host.callingName || before.hostName != host.hostName ||
      before.ipAddress != host.ipAddress)
    list.hostEdited(&host, before);
  if (before.ipAddress != host.ipAddress) host.dueNow();
}

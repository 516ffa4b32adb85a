// Adding a host from text the user typed or pasted: a dotted address or a host name, looked up
// forward (and, when asked, backward), refused when already in the list.

#include <memory>

#include "net/dnsquery.h"
#include "base/textutils.h"
#include "tolvohosts.h"
#include "base/usermessages.h"

bool TTolvoHosts::hostExists(const std::string& text) const {
  for (int slot = 1; slot <= MaxHosts; ++slot) {
    const TTolvoHost* host = hostAt(slot);
    if (host && (host->hostName == text || host->ipAddress == text)) return true;
  }
  return false;
}

TTolvoHost* TTolvoHosts::addHost(const std::string& text, bool reverseResolve) {
  // One resolver for the whole call, made at the first lookup and released on every way out
  // (an exception of the lookup included).
  std::unique_ptr<dnsQueryClass> dns;
  auto lookup = [&](const std::string& asked, bool forward) {
    if (nameLookup) return nameLookup(asked, forward);
    if (!dns) dns = std::make_unique<dnsQueryClass>();
    std::string result;
    dns->lookup(asked, forward, result);
    return result;
  };

  std::string name = text;
  std::string address = text;
  const bool isAddress = isIpAddress(text);
  if (reverseResolve && isAddress) name = lookup(text, false);
  if (isHostName(text)) {
    name = text;
    address = lookup(text, true);
  } else if (!isAddress) {
    showUserMessage(text);
  }
  // The list changes only now, after the lookups (the interface kept running during them).
  if (hostExists(name) || hostExists(address)) return nullptr;

  std::unique_ptr<TTolvoHost> host = newHost();
  host->hostName = name;
  host->ipAddress = address;
  host->callingName = name;
  host->timeout = 2000;
  host->interval = 4;
  TTolvoHost* added = host.get();
  return appendHost(host) ? added : nullptr;
}

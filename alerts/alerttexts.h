#pragma once
// The texts of a notification made of one gathered batch of changes.
//
// One line per kind of change, in this order: hosts down, connection down, hosts degraded, hosts up,
// hosts recovered, connection up. A kind with one host names it ("gateway is down"); with several it
// counts them and names the first three ("5 hosts down: gateway, nas, printer, …"). The summary is
// the lines joined by "; "; the body gives the lines, each host's
// address and the reason (echoes lost, loss or round trip over 5 minutes).

#include <cstdint>
#include <string>
#include <vector>

#include "alertchange.h"

struct TAlertNotice {
  std::string summary;
  std::string body;
  std::vector<std::uint64_t> runIds;  // the hosts it is about, to select in the overview
  bool urgent = false;                // something went down
};

TAlertNotice composeNotice(const std::vector<TAlertChange>& changes);

// Names joined by ", ", at most `most` of them, "…" after them when there are more.
std::string nameList(const std::vector<std::string>& names, std::size_t most);

#pragma once
// The texts of a notification made of one gathered batch of changes.
//
// One line per kind of change, in this order: hosts down, connection down, hosts degraded, hosts up,
// hosts recovered, connection up. A kind with one host names it ("gateway is down"); with several it
// counts them and names the first three ("5 hosts down: gateway, nas, printer, …"). The summary is
// the lines joined by "; "; the body gives the lines, each host's
// address and the reason (echoes lost, loss or round trip over 5 minutes), and for the connection
// how many hosts are down since when.

#include <cstdint>
#include <string>
#include <vector>

#include "alertchange.h"
#include "alertsettings.h"

struct TAlertNotice {
  std::string summary;
  std::string body;
  std::vector<std::uint64_t> runIds;  // the hosts it is about, to select in the overview
  bool urgent = false;                // something went down
  // The subjects told down and told up again (run ids; 0 is the connection), so an "up again"
  // can take the place of the "down" it answers.
  std::vector<std::uint64_t> downSubjects;
  std::vector<std::uint64_t> upSubjects;
  // It says more about a "down" already shown: it takes the place of a shown notification about
  // no more than its one down subject, instead of standing beside it.
  bool followsDown = false;
};

TAlertNotice composeNotice(const std::vector<TAlertChange>& changes);

// The notice of a round traced when a host went down that stopped short:
// "gateway is down: the path stops after hop 3, 203.0.113.1 (isp-edge.example)". `lastHop` is the
// hop as history's lastHopText writes it ("no hop" when not even the first router answered). It
// follows the host's "down", and an "up again" takes its place in turn.
TAlertNotice pathStopNotice(const std::string& shownName, std::uint64_t runId,
                            const std::string& address, const std::string& lastHop);

// Names joined by ", ", at most `most` of them, "…" after them when there are more.
std::string nameList(const std::vector<std::string>& names, std::size_t most);

// How a host's confirmed state is decided, with the numbers in force for this address (the
// overview's State column explains itself with it; an empty address gives the global numbers).
std::string stateRuleText(const TAlertSettings& settings, const std::string& address);

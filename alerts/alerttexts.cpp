#include "alerttexts.h"

#include <array>
#include <cstdio>

namespace {

constexpr std::size_t NamesInSummary = 3;
constexpr std::size_t NamesInBody = 20;

struct TKindWords {
  TAlertKind kind;
  const char* one;   // after the host's name
  const char* many;  // after the count
};

constexpr std::array<TKindWords, 4> HostKinds = {{
    {TAlertKind::HostDown, " is down", " hosts down"},
    {TAlertKind::Degraded, " is degraded", " hosts degraded"},
    {TAlertKind::HostUp, " is up again", " hosts up again"},
    {TAlertKind::Recovered, " has recovered", " hosts recovered"},
}};

std::string hostDetail(const TAlertChange& c) {
  std::string text = c.shownName();
  if (!c.address.empty() && c.address != text) text += " (" + c.address + ")";
  if (!c.detail.empty()) text += ": " + c.detail;
  return text;
}

// `alone`: the only line of the notice, so the body need not repeat it above the hosts.
void addKind(const TKindWords& words, const std::vector<const TAlertChange*>& changes, bool alone,
             std::vector<std::string>& lines, std::string& body) {
  if (changes.empty()) return;
  std::vector<std::string> names;
  for (const TAlertChange* c : changes) names.push_back(c->shownName());
  const std::string line = changes.size() == 1
                               ? names.front() + words.one
                               : std::to_string(changes.size()) + words.many + ": " +
                                     nameList(names, NamesInSummary);
  lines.push_back(line);
  if (!body.empty()) body += '\n';
  if (changes.size() == 1) {
    body += hostDetail(*changes.front());
    return;
  }
  const std::string indent = alone ? "" : "  ";
  if (!alone) body += std::to_string(changes.size()) + words.many + ":\n";
  for (std::size_t i = 0; i < changes.size() && i < NamesInBody; ++i)
    body += (i ? "\n" : "") + indent + hostDetail(*changes[i]);
  if (changes.size() > NamesInBody)
    body += "\n" + indent + "… and " + std::to_string(changes.size() - NamesInBody) + " more";
}

}  // namespace

std::string nameList(const std::vector<std::string>& names, std::size_t most) {
  std::string text;
  for (std::size_t i = 0; i < names.size() && i < most; ++i) text += (i ? ", " : "") + names[i];
  if (names.size() > most) text += ", …";
  return text;
}

TAlertNotice composeNotice(const std::vector<TAlertChange>& changes) {
  TAlertNotice notice;
  std::vector<std::string> lines;
  bool connectionDown = false;
  bool connectionUp = false;
  std::string connectionDetail;
  for (const TAlertChange& c : changes) {
    const TAlertKind kind = kindOf(c);
    connectionDown |= kind == TAlertKind::ConnectionDown;
    if (kind == TAlertKind::ConnectionDown) connectionDetail = c.detail;
    if (kind == TAlertKind::HostDown || kind == TAlertKind::ConnectionDown) notice.downSubjects.push_back(c.runId);
    if (kind == TAlertKind::HostUp || kind == TAlertKind::ConnectionUp) notice.upSubjects.push_back(c.runId);
    connectionUp |= kind == TAlertKind::ConnectionUp;
    notice.urgent |= kind == TAlertKind::HostDown || kind == TAlertKind::ConnectionDown;
    if (!c.isConnection() && kind != TAlertKind::None) notice.runIds.push_back(c.runId);
  }
  std::vector<std::vector<const TAlertChange*>> groups(HostKinds.size());
  std::size_t kinds = (connectionDown ? 1 : 0) + (connectionUp ? 1 : 0);
  for (std::size_t k = 0; k < HostKinds.size(); ++k) {
    for (const TAlertChange& c : changes)
      if (!c.isConnection() && kindOf(c) == HostKinds[k].kind) groups[k].push_back(&c);
    kinds += groups[k].empty() ? 0 : 1;
  }
  for (std::size_t k = 0; k < HostKinds.size(); ++k) {
    const TKindWords& words = HostKinds[k];
    addKind(words, groups[k], kinds == 1, lines, notice.body);
    if (words.kind == TAlertKind::HostDown && connectionDown) {
      lines.push_back("The connection is down");
      // Alone, the summary says it already and the body tells how many hosts are down.
      std::string line = kinds == 1 ? connectionDetail : "The connection is down";
      if (kinds != 1 && !connectionDetail.empty()) line += ": " + connectionDetail;
      if (line.empty()) line = "The connection is down";
      notice.body += std::string(notice.body.empty() ? "" : "\n") + line;
    }
  }
  if (connectionUp) {
    lines.push_back("The connection is up again");
    notice.body += std::string(notice.body.empty() ? "" : "\n") + "The connection is up again";
  }
  for (const std::string& line : lines) notice.summary += (notice.summary.empty() ? "" : "; ") + line;
  return notice;
}

std::string stateRuleText(const TAlertSettings& settings, const std::string& address) {
  const auto plural = [](std::int32_t n, const char* one, const char* many) {
    return std::to_string(n) + (n == 1 ? one : many);
  };
  const std::int32_t k = settings.lostToDownFor(address);
  const std::int32_t m = settings.answersToUpFor(address);
  std::string text = "Down: " + plural(k, " echo lost", " echoes lost in a row") + ".\n";
  text += "OK: up after " + plural(m, " answer", " answers in a row") + ".\n";
  std::vector<std::string> reasons;
  if (settings.degradedLossPercent > 0) {
    char percent[32];
    std::snprintf(percent, sizeof percent, "%g", settings.degradedLossPercent);
    reasons.push_back("a loss of " + std::string(percent) + " % or more, of at least 2 echoes");
  }
  if (settings.degradedRttMs > 0)
    reasons.push_back("a mean round trip above " + std::to_string(settings.degradedRttMs) + " ms");
  if (settings.degradedRttFactor > 0) {
    char factor[32];
    std::snprintf(factor, sizeof factor, "%g", settings.degradedRttFactor);
    reasons.push_back("a mean round trip above " + std::string(factor) + " times the usual (median) one");
  }
  if (!reasons.empty()) {
    text += "Degraded: while up, over the last 5 minutes (once " + std::to_string(settings.degradedMinEchoes) +
            " echoes are known, leaving out a run of losses still going on):\n";
    for (const std::string& reason : reasons) text += "  - " + reason + "\n";
  }
  text += "Unknown: not confirmed yet in this run.";
  return text;
}

TAlertNotice pathStopNotice(const std::string& shownName, std::uint64_t runId,
                            const std::string& address, const std::string& lastHop) {
  TAlertNotice notice;
  notice.summary = shownName + " is down: the path stops after " + lastHop;
  notice.body = shownName + " (" + address + "): the path stops after " + lastHop +
                "; the hops after it did not answer.";
  notice.runIds = {runId};
  notice.urgent = true;
  notice.downSubjects = {runId};
  notice.followsDown = true;
  return notice;
}

#include "alerttexts.h"

#include <array>

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
  for (const TAlertChange& c : changes) {
    const TAlertKind kind = kindOf(c);
    connectionDown |= kind == TAlertKind::ConnectionDown;
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
      notice.body += std::string(notice.body.empty() ? "" : "\n") + "The connection is down";
    }
  }
  if (connectionUp) {
    lines.push_back("The connection is up again");
    notice.body += std::string(notice.body.empty() ? "" : "\n") + "The connection is up again";
  }
  for (const std::string& line : lines) notice.summary += (notice.summary.empty() ? "" : "; ") + line;
  return notice;
}

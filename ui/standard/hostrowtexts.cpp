#include "hostrowtexts.h"

#include <unordered_map>

#include "core/tolvohost.h"
#include "base/textutils.h"

namespace {

// realToText works from the exact decimal expansion of the value, which costs microseconds; the
// grid asks for the same few values five times a second, so their texts are kept.
const std::string& twoDecimals(double value) {
  constexpr std::size_t MaxKept = 4096;
  thread_local std::unordered_map<double, std::string> kept;
  auto found = kept.find(value);
  if (found != kept.end()) return found->second;
  if (kept.size() >= MaxKept) kept.clear();
  return kept.emplace(value, realToText(2, value)).first->second;
}

}  // namespace

const THostRowTexts& statusTitles() {
  static const THostRowTexts titles = {
      "Host address",  "Status",     "Ping time ms", "Avg ms",     "Last pinged ago",
      "Last succ.ago", "Last fail.ago", "Succ count", "Fail count", "Succ %"};
  return titles;
}

std::string successPercentText(std::int32_t succeeded, std::int32_t failed) {
  if (succeeded <= 0) return "0%";
  // A negative failure count can only come from an edited hosts file: count it as none.
  const double answered = succeeded;
  const double total = answered + (failed > 0 ? failed : 0);
  return twoDecimals(answered / total * 100.0) + "%";
}

std::string elapsedText(TDateTime now, TDateTime at) {
  if (at == 0) return "unknown";
  return formatDuration(stampSecondsSince(now, at));
}

THostRowTexts hostRowTexts(const TTolvoHost& host, bool showHostName, TDateTime now) {
  const std::int32_t pingTime = host.lastSuccess.pingTime;
  return {showHostName ? host.hostName : host.callingName,
          host.statusText(host.getStatus()),
          pingTime < 0 ? std::string("unknown") : integerToText(pingTime),
          twoDecimals(host.averagePingTime()),
          elapsedText(now, host.lastSentAt),
          elapsedText(now, host.lastSuccess.at),
          elapsedText(now, host.lastFailure.at),
          integerToText(host.succeededCount),
          integerToText(host.failedCount),
          successPercentText(host.succeededCount, host.failedCount)};
}

#include "outages.h"

#include <charconv>
#include <string>

#include "config/settings.h"

std::int32_t lostToDownSetting() {
  const std::optional<std::string> stored = extraSetting("alerts", "lost_to_down");
  if (!stored) return DefaultLostToDown;
  std::int32_t value = 0;
  const char* end = stored->data() + stored->size();
  const auto [last, ec] = std::from_chars(stored->data(), end, value);
  return ec == std::errc() && last == end && value >= 1 ? value : DefaultLostToDown;
}

std::vector<TOutage> findOutages(const std::vector<THistoryEcho>& echoes, std::int32_t minLost) {
  if (minLost < 1) minLost = 1;
  std::vector<TOutage> outages;
  TOutage run;
  std::int64_t lastLostMs = 0;
  for (const THistoryEcho& e : echoes) {
    if (!e.answered()) {
      if (run.lostCount == 0) run.startMs = e.sentMs;
      ++run.lostCount;
      lastLostMs = e.sentMs;
      continue;
    }
    if (run.lostCount >= minLost) {
      run.endMs = e.sentMs;
      run.durationMs = std::max<std::int64_t>(0, e.sentMs - run.startMs);
      outages.push_back(run);
    }
    run = TOutage{};
  }
  if (run.lostCount >= minLost) {
    run.durationMs = std::max<std::int64_t>(0, lastLostMs - run.startMs);
    outages.push_back(run);
  }
  return outages;
}

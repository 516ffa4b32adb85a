#pragma once
// The text form of packed raw results and the consolidation of results into a summary.
//
// A minute's echoes are kept as a JSON array of [offset_ms, rtt_us] pairs (offset from the start of
// the minute, rtt -1 when lost), so that sqlite3's json_each reads them without help.

#include <cstdint>
#include <string>
#include <vector>

#include "historytypes.h"

inline constexpr std::int64_t MinuteMs = 60'000;

inline std::int64_t floorTo(std::int64_t ms, std::int64_t stepMs) {
  const std::int64_t r = ms % stepMs;
  return r < 0 ? ms - r - stepMs : ms - r;
}

// Echoes (all in the minute starting at minuteMs) as the stored text.
std::string packEchoes(std::int64_t minuteMs, const std::vector<THistoryEcho>& echoes);
// Appends the echoes of a stored text to `into`; text that is not of the form is skipped.
void unpackEchoes(std::int64_t minuteMs, const std::string& text, std::vector<THistoryEcho>& into);

// Sorts by time sent, keeping the order of equal times.
void sortBySent(std::vector<THistoryEcho>& echoes);

// Gathers the echoes of one step and gives their summary.
class TSummaryBuilder {
 public:
  void add(const THistoryEcho& echo);
  bool empty() const { return sent == 0; }
  THistorySummary summary(std::int64_t startMs, std::int32_t stepSeconds);  // sorts the rtts
  void clear();

 private:
  std::int32_t sent = 0;
  std::int32_t lost = 0;
  std::vector<std::int64_t> rtts;
};

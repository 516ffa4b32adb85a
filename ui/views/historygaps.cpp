#include "historygaps.h"

#include <algorithm>

std::vector<TTimeSpan> unmonitoredSpans(const std::vector<THistoryRun>& runs, std::int64_t fromMs,
                                        std::int64_t toMs,
                                        const std::vector<std::int64_t>& seenMs) {
  std::vector<TTimeSpan> spans;
  const auto add = [&](std::int64_t a, std::int64_t b) {
    a = std::max(a, fromMs);
    b = std::min(b, toMs);
    if (a >= b) return;
    if (!spans.empty() && spans.back().toMs >= a)
      spans.back().toMs = std::max(spans.back().toMs, b);
    else
      spans.push_back({a, b});
  };
  for (std::size_t i = 0; i < runs.size(); ++i) {
    if (i + 1 == runs.size() && !runs[i].stoppedMs) break;  // going on
    const std::int64_t next = i + 1 < runs.size() ? runs[i + 1].startedMs : toMs;
    std::int64_t end = runs[i].startedMs;
    if (runs[i].stoppedMs) {
      end = std::max(end, *runs[i].stoppedMs);
    } else {
      // Ended without saying so: monitored up to its last echo.
      const auto after = std::lower_bound(seenMs.begin(), seenMs.end(), next);
      if (after != seenMs.begin() && *(after - 1) > end) end = *(after - 1);
    }
    add(end, next);
  }
  return spans;
}

bool joins(std::int64_t aMs, std::int64_t bMs, std::int64_t maxGapMs,
           const std::vector<TTimeSpan>& unmonitored) {
  if (maxGapMs > 0 && bMs - aMs > maxGapMs) return false;
  return std::none_of(unmonitored.begin(), unmonitored.end(),
                      [&](const TTimeSpan& s) { return s.fromMs < bMs && s.toMs > aMs; });
}

std::vector<std::pair<std::size_t, std::size_t>> joinedRuns(
    const std::vector<THistoryEcho>& echoes, std::int64_t maxGapMs,
    const std::vector<TTimeSpan>& unmonitored) {
  std::vector<std::pair<std::size_t, std::size_t>> runs;
  bool open = false;
  for (std::size_t i = 0; i < echoes.size(); ++i) {
    if (!echoes[i].answered()) {
      open = false;
      continue;
    }
    if (open && joins(echoes[runs.back().second].sentMs, echoes[i].sentMs, maxGapMs, unmonitored))
      runs.back().second = i;
    else
      runs.emplace_back(i, i);
    open = true;
  }
  return runs;
}

const TTimeSpan* spanAt(const std::vector<TTimeSpan>& spans, std::int64_t ms) {
  for (const TTimeSpan& s : spans)
    if (ms >= s.fromMs && ms < s.toMs) return &s;
  return nullptr;
}

std::int64_t medianSpacingMs(const std::vector<THistoryEcho>& echoes) {
  if (echoes.size() < 2) return 0;
  std::vector<std::int64_t> spacing;
  spacing.reserve(echoes.size() - 1);
  for (std::size_t i = 1; i < echoes.size(); ++i)
    spacing.push_back(echoes[i].sentMs - echoes[i - 1].sentMs);
  const auto middle = spacing.begin() + static_cast<std::ptrdiff_t>(spacing.size() / 2);
  std::nth_element(spacing.begin(), middle, spacing.end());
  return *middle;
}

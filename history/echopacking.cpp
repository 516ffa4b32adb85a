#include "echopacking.h"

#include <algorithm>
#include <charconv>

std::string packEchoes(std::int64_t minuteMs, const std::vector<THistoryEcho>& echoes) {
  std::string text;
  text.reserve(echoes.size() * 14 + 2);
  text += '[';
  char number[24];
  for (const THistoryEcho& e : echoes) {
    if (text.size() > 1) text += ',';
    text += '[';
    text.append(number, std::to_chars(number, number + sizeof number, e.sentMs - minuteMs).ptr);
    text += ',';
    const std::int64_t rtt = e.rttMicros < 0 ? -1 : e.rttMicros;
    text.append(number, std::to_chars(number, number + sizeof number, rtt).ptr);
    text += ']';
  }
  text += ']';
  return text;
}

void unpackEchoes(std::int64_t minuteMs, const std::string& text, std::vector<THistoryEcho>& into) {
  // Numbers in pairs; brackets, commas and blanks only separate them.
  const char* p = text.data();
  const char* end = p + text.size();
  std::int64_t pair[2];
  int have = 0;
  while (p < end) {
    if (*p == '-' || (*p >= '0' && *p <= '9')) {
      std::int64_t value = 0;
      const auto [next, ec] = std::from_chars(p, end, value);
      if (ec != std::errc()) return;
      p = next;
      pair[have++] = value;
      if (have == 2) {
        into.push_back({minuteMs + pair[0], pair[1] < 0 ? -1 : pair[1]});
        have = 0;
      }
    } else {
      ++p;
    }
  }
}

void sortBySent(std::vector<THistoryEcho>& echoes) {
  std::stable_sort(echoes.begin(), echoes.end(),
                   [](const THistoryEcho& a, const THistoryEcho& b) { return a.sentMs < b.sentMs; });
}

void TSummaryBuilder::add(const THistoryEcho& echo) {
  ++sent;
  if (echo.answered())
    rtts.push_back(echo.rttMicros);
  else
    ++lost;
}

THistorySummary TSummaryBuilder::summary(std::int64_t startMs, std::int32_t stepSeconds) {
  THistorySummary s;
  s.startMs = startMs;
  s.stepSeconds = stepSeconds;
  s.sent = sent;
  s.lost = lost;
  if (!rtts.empty()) {
    std::sort(rtts.begin(), rtts.end());
    s.minMicros = rtts.front();
    s.maxMicros = rtts.back();
    long double total = 0;
    for (std::int64_t r : rtts) total += static_cast<long double>(r);
    s.meanMicros = static_cast<std::int64_t>(total / static_cast<long double>(rtts.size()) + 0.5L);
    // Nearest rank: the smallest value with at least 95 % of the values at or below it.
    const std::size_t rank = (rtts.size() * 95 + 99) / 100;
    s.p95Micros = rtts[rank - 1];
  }
  return s;
}

void TSummaryBuilder::clear() {
  sent = 0;
  lost = 0;
  rtts.clear();
}

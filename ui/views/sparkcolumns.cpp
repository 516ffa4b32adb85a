#include "sparkcolumns.h"

#include <algorithm>

#include "historygaps.h"

std::vector<TSparkColumn> sparkColumns(const std::vector<THistoryEcho>& echoes, std::int64_t nowMs,
                                       std::int64_t spanMs, int columns) {
  std::vector<TSparkColumn> out(static_cast<std::size_t>(std::max(columns, 0)));
  if (out.empty() || spanMs <= 0) return out;
  const std::int64_t fromMs = nowMs - spanMs;
  const std::int64_t maxGapMs = GapIntervals * medianSpacingMs(echoes);
  const auto sliceStart = [&](std::size_t c) {
    return fromMs + static_cast<std::int64_t>(static_cast<double>(spanMs) * static_cast<double>(c) /
                                              static_cast<double>(out.size()));
  };
  std::size_t next = 0;  // the first echo not yet placed
  while (next < echoes.size() && echoes[next].sentMs < fromMs) ++next;
  const THistoryEcho* before = next > 0 ? &echoes[next - 1] : nullptr;  // the last placed
  TSparkColumn carried;  // what the last placed echo shows
  if (before)
    carried = before->answered() ? TSparkColumn{TSparkColumn::Answered, before->rttMicros}
                                 : TSparkColumn{TSparkColumn::Lost, -1};
  for (std::size_t c = 0; c < out.size(); ++c) {
    const std::int64_t end = sliceStart(c + 1);
    TSparkColumn& column = out[c];
    bool any = false;
    for (; next < echoes.size() && echoes[next].sentMs < end; ++next) {
      const THistoryEcho& e = echoes[next];
      if (!any) column = {};
      any = true;
      if (!e.answered())
        column = {TSparkColumn::Lost, -1};
      else if (column.kind != TSparkColumn::Lost)
        column = {TSparkColumn::Answered, std::max(column.rttMicros, e.rttMicros)};
      before = &e;
      carried = e.answered() ? TSparkColumn{TSparkColumn::Answered, e.rttMicros}
                             : TSparkColumn{TSparkColumn::Lost, -1};
    }
    if (any || !before) continue;
    // No echo here: continue the last one while the next comes soon enough (or is still due).
    const std::int64_t nextMs = next < echoes.size() ? echoes[next].sentMs : nowMs;
    if (maxGapMs > 0 && nextMs - before->sentMs <= maxGapMs &&
        sliceStart(c) - before->sentMs <= maxGapMs)
      column = carried;
  }
  return out;
}

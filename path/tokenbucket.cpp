#include "path/tokenbucket.h"

#include <algorithm>

TTokenBucket::TTokenBucket(double ratePerSecond, double burst, Clock::time_point start)
    : rate(ratePerSecond > 0 ? ratePerSecond : DefaultRatePerSecond),
      capacity(burst >= 1 ? burst : DefaultBurst),
      tokens(capacity),
      last(start) {}

void TTokenBucket::refill(Clock::time_point now) {
  // A clock reading older than the last one (two threads racing to the lock) adds nothing.
  if (now <= last) return;
  const double seconds = std::chrono::duration<double>(now - last).count();
  tokens = std::min(capacity, tokens + seconds * rate);
  last = now;
}

bool TTokenBucket::take(Clock::time_point now) {
  std::lock_guard guard(lock);
  refill(now);
  if (tokens < 1.0) return false;
  tokens -= 1.0;
  ++takenCount;
  return true;
}

TTokenBucket::Clock::time_point TTokenBucket::nextTokenAt(Clock::time_point now) {
  std::lock_guard guard(lock);
  refill(now);
  if (tokens >= 1.0) return now;
  const auto wait = std::chrono::duration<double>((1.0 - tokens) / rate);
  return now + std::chrono::ceil<Clock::duration>(wait);
}

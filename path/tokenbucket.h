#pragma once
// A cap on probes per second, shared by everything that probes paths in this process (one round
// now; a scheduler tracing many hosts later), so routers' limits on ICMP errors are respected
// (Linux answers about one "time exceeded" per second per source, with a burst of six, by default).
//
// The bucket holds up to `burst` tokens and gains `ratePerSecond` of them per second; a probe takes
// one. Time is passed in, so tests need no clock. Safe to share between threads.

#include <chrono>
#include <cstdint>
#include <mutex>

class TTokenBucket {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr double DefaultRatePerSecond = 20.0;
  static constexpr double DefaultBurst = 5.0;

  // A rate or burst of zero or less is taken as the default, so the cap can never be switched off
  // by a bad setting.
  explicit TTokenBucket(double ratePerSecond = DefaultRatePerSecond, double burst = DefaultBurst,
                        Clock::time_point start = Clock::now());

  // Takes one token when there is one at `now`.
  bool take(Clock::time_point now);
  // When the next token is there (`now` when there is one already).
  Clock::time_point nextTokenAt(Clock::time_point now);
  double ratePerSecond() const { return rate; }
  // Tokens taken so far: the probes sent under this bucket.
  std::uint64_t taken() {
    std::lock_guard guard(lock);
    return takenCount;
  }

 private:
  void refill(Clock::time_point now);

  std::mutex lock;
  double rate;
  double capacity;
  double tokens;
  Clock::time_point last;
  std::uint64_t takenCount = 0;
};

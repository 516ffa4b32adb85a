#pragma once
// Date-times and durations as the program counts them.
//
// A date-time (TDateTime) is local time as a double: whole days since 30 December 1899, the time of
// day as the fraction; 0 means "never". Elapsed times are differences of second stamps, a count of
// seconds that ignores the year (every month counts 31 days).

#include <cstdint>
#include <string>

using TDateTime = double;

struct TDateParts {
  int year = 1899, month = 12, day = 30;
  int hour = 0, minute = 0, second = 0, millisecond = 0;
};

// Where "now" comes from. The program uses systemClock(); tests hand their own clock to the
// objects that read the time, so due times and durations are tested without sleeping.
//
// Two readings: now() is the local wall-clock date-time that is shown and stored; it may step back
// (the end of summer time, an NTP correction). monotonicMs() never steps (CLOCK_MONOTONIC, which
// also drives the echo's own time limits) and measures elapsed times: when a host is due, when a
// worker is dead, when the next time stamp is logged.
class TClock {
 public:
  virtual ~TClock() = default;
  virtual TDateTime now() const;
  virtual std::int64_t monotonicMs() const;
};
const TClock& systemClock();

// The local date-time of a moment given in seconds since 1970 (UTC) and its milliseconds, as
// localtime_r would give it; TClock::now() reads the time through it.
TDateTime localDateTimeAt(std::int64_t unixSeconds, int millisecond);

// A clock that tests (and benchmarks) set by hand. Moving it forward (set() to a later time,
// advanceSeconds() with a positive step) lets that much time pass on both readings; moving the wall
// clock back (set() to an earlier time, a negative step) leaves the monotonic reading where it is,
// as the end of summer time or an NTP correction would.
class TManualClock : public TClock {
 public:
  explicit TManualClock(TDateTime start = 0) : current(start) {}
  TDateTime now() const override { return current; }
  std::int64_t monotonicMs() const override { return monotonic; }
  void set(TDateTime t) {
    if (t > current) monotonic += static_cast<std::int64_t>((t - current) * 86'400'000.0 + 0.5);
    current = t;
  }
  void advanceSeconds(double s) {
    current += s / 86400.0;
    if (s > 0) monotonic += static_cast<std::int64_t>(s * 1000.0 + 0.5);
  }

 private:
  TDateTime current;
  std::int64_t monotonic = 86'400'000;  // any start will do; one day keeps it clear of zero
};

// Whole seconds from `thenMs` to `nowMs` (monotonic readings), counted like stamp seconds: the
// number of second boundaries passed. Never negative.
std::int64_t monotonicSecondsSince(std::int64_t nowMs, std::int64_t thenMs);

TDateTime encodeDateTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
                         int millisecond = 0);
TDateTime encodeDateTime(const TDateParts& parts);
TDateParts decodeDateTime(TDateTime t);

inline constexpr std::int32_t SecondsPerStampMonth = 2'678'400;  // 31 days
inline constexpr std::int32_t SecondsPerStampYear = 32'140'800;  // 12 stamp months, 372 days

std::int32_t secondStamp(TDateTime t);
std::string twoDigits(std::int32_t n);
std::string formatDuration(std::int32_t seconds);

// Stamp seconds elapsed from `since` to `now`, for durations shown to the user. The stamp has no
// year, so across the turn of the year the plain difference is negative; one stamp year is added
// then, so that elapsed times stay right on 1 January as on any other day. Only a real turn of the
// year counts: a wall clock that stepped back (`now` before `since`) gives 0, never a year.
std::int32_t stampSecondsSince(TDateTime now, TDateTime since);

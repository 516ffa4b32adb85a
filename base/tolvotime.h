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
class TClock {
 public:
  virtual ~TClock() = default;
  virtual TDateTime now() const;
};
const TClock& systemClock();

// A clock that tests (and benchmarks) set by hand.
class TManualClock : public TClock {
 public:
  explicit TManualClock(TDateTime start = 0) : current(start) {}
  TDateTime now() const override { return current; }
  void set(TDateTime t) { current = t; }
  void advanceSeconds(double s) { current += s / 86400.0; }

 private:
  TDateTime current;
};

TDateTime encodeDateTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
                         int millisecond = 0);
TDateTime encodeDateTime(const TDateParts& parts);
TDateParts decodeDateTime(TDateTime t);

inline constexpr std::int32_t SecondsPerStampMonth = 2'678'400;  // 31 days
inline constexpr std::int32_t SecondsPerStampYear = 32'140'800;  // 12 stamp months, 372 days

std::int32_t secondStamp(TDateTime t);
std::string twoDigits(std::int32_t n);
std::string formatDuration(std::int32_t seconds);

// Stamp seconds elapsed from `since` to `now`. The stamp has no year, so across the turn of the year
// the plain difference is negative; one stamp year is added then, so that elapsed times stay right
// on 1 January as on any other day.
std::int32_t stampSecondsSince(TDateTime now, TDateTime since);

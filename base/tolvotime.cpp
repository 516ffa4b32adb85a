#include "base/tolvotime.h"

#include <atomic>
#include <cmath>
#include <ctime>

namespace {

constexpr std::int64_t MsPerDay = 86'400'000;

// Days from 1970-01-01 to a civil date and back (proleptic Gregorian), after H. Hinnant's
// public-domain date algorithms.
std::int64_t daysFromCivil(std::int64_t y, int m, int d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void civilFromDays(std::int64_t z, int& y, int& m, int& d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

// 1899-12-30 counted from 1970-01-01.
const std::int64_t EpochOffsetDays = daysFromCivil(1899, 12, 30);

}  // namespace

TDateTime localDateTimeAt(std::int64_t unixSeconds, int millisecond) {
  // The offset from UTC is asked of the C library once a minute: it changes (summer time, a
  // zone's new rule) only at a whole minute, and each echo reads the time twice. One atomic word
  // holds the minute and its offset, so the threads that read the time share it without a lock.
  static std::atomic<std::uint64_t> minuteAndOffset{0};
  const auto floorDiv = [](std::int64_t a, std::int64_t b) { return a / b - (a % b < 0 ? 1 : 0); };
  const std::uint64_t minute = static_cast<std::uint64_t>(floorDiv(unixSeconds, 60)) & 0xffffffff;
  std::uint64_t kept = minuteAndOffset.load(std::memory_order_relaxed);
  auto offset = static_cast<std::int32_t>(static_cast<std::uint32_t>(kept));
  if (kept == 0 || kept >> 32 != minute) {
    const auto t = static_cast<time_t>(unixSeconds);
    tm local{};
    localtime_r(&t, &local);
    offset = static_cast<std::int32_t>(local.tm_gmtoff);
    kept = (minute << 32) | static_cast<std::uint32_t>(offset);
    minuteAndOffset.store(kept, std::memory_order_relaxed);
  }
  const std::int64_t localSeconds = unixSeconds + offset;
  const std::int64_t days = floorDiv(localSeconds, 86'400);
  const std::int64_t secondOfDay = localSeconds - days * 86'400;
  // The same sums as encodeDateTime's, so the result is the very same double.
  const double ms = static_cast<double>(secondOfDay) * 1000.0 + millisecond;
  return static_cast<double>(days - EpochOffsetDays) + ms / static_cast<double>(MsPerDay);
}

TDateTime TClock::now() const {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  return localDateTimeAt(ts.tv_sec, static_cast<int>(ts.tv_nsec / 1'000'000));
}

std::int64_t TClock::monotonicMs() const {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<std::int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1'000'000;
}

std::int64_t monotonicSecondsSince(std::int64_t nowMs, std::int64_t thenMs) {
  const auto wholeSeconds = [](std::int64_t ms) { return ms >= 0 ? ms / 1000 : (ms - 999) / 1000; };
  const std::int64_t seconds = wholeSeconds(nowMs) - wholeSeconds(thenMs);
  return seconds < 0 ? 0 : seconds;
}

const TClock& systemClock() {
  static const TClock clock;
  return clock;
}

TDateTime encodeDateTime(int year, int month, int day, int hour, int minute, int second,
                         int millisecond) {
  const auto days = static_cast<double>(daysFromCivil(year, month, day) - EpochOffsetDays);
  const double ms = ((hour * 60.0 + minute) * 60.0 + second) * 1000.0 + millisecond;
  return days + ms / static_cast<double>(MsPerDay);
}

TDateTime encodeDateTime(const TDateParts& p) {
  return encodeDateTime(p.year, p.month, p.day, p.hour, p.minute, p.second, p.millisecond);
}

TDateParts decodeDateTime(TDateTime t) {
  // Rounded to the millisecond first, so that 9:05:03 stored as a double does not come back as
  // 9:05:02.999.
  const auto totalMs = static_cast<std::int64_t>(std::llround(t * static_cast<double>(MsPerDay)));
  std::int64_t days = totalMs / MsPerDay;
  std::int64_t msOfDay = totalMs % MsPerDay;
  if (msOfDay < 0) {
    msOfDay += MsPerDay;
    days -= 1;
  }
  TDateParts p;
  civilFromDays(days + EpochOffsetDays, p.year, p.month, p.day);
  p.hour = static_cast<int>(msOfDay / 3'600'000);
  p.minute = static_cast<int>(msOfDay / 60'000 % 60);
  p.second = static_cast<int>(msOfDay / 1000 % 60);
  p.millisecond = static_cast<int>(msOfDay % 1000);
  return p;
}

std::int32_t secondStamp(TDateTime t) {
  const TDateParts p = decodeDateTime(t);
  return p.month * SecondsPerStampMonth + p.day * 86'400 + p.hour * 3'600 + p.minute * 60 + p.second;
}

std::string twoDigits(std::int32_t n) {
  return n >= 10 ? std::to_string(n) : "0" + std::to_string(n);
}

std::string formatDuration(std::int32_t n) {
  while (n >= SecondsPerStampYear) n -= SecondsPerStampYear;
  const std::int32_t months = n >= SecondsPerStampMonth ? n / SecondsPerStampMonth : 0;
  n -= months * SecondsPerStampMonth;
  const std::int32_t days = n >= 86'400 ? n / 86'400 : 0;
  n -= days * 86'400;
  const std::int32_t hours = n >= 3'600 ? n / 3'600 : 0;
  n -= hours * 3'600;
  const std::int32_t minutes = n >= 60 ? n / 60 : 0;
  n -= minutes * 60;

  std::string text;
  if (months != 0) text += twoDigits(months) + "m ";
  if (days != 0) text += twoDigits(days) + "d ";
  text += twoDigits(hours) + "h " + twoDigits(minutes) + "m " + twoDigits(n) + "s";
  return text;
}

std::int32_t stampSecondsSince(TDateTime now, TDateTime since) {
  // The wall clock stepped back (summer time, NTP): no time has passed that could be shown.
  if (now < since) return 0;
  const std::int32_t diff = secondStamp(now) - secondStamp(since);
  // Negative only at a real turn of the year: the month of now lies before the month of then.
  return diff < 0 ? diff + SecondsPerStampYear : diff;
}

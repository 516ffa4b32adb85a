#include "base/tolvotime.h"

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

TDateTime TClock::now() const {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  tm local{};
  localtime_r(&ts.tv_sec, &local);
  return encodeDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                        local.tm_min, local.tm_sec, static_cast<int>(ts.tv_nsec / 1'000'000));
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

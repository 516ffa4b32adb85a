#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "base/regionalformat.h"
#include "base/tolvotime.h"

TEST(TolvoTime, EncodeDecodeRoundTripsToTheMillisecond) {
  EXPECT_DOUBLE_EQ(encodeDateTime(1899, 12, 30), 0.0);
  EXPECT_DOUBLE_EQ(encodeDateTime(1900, 1, 1), 2.0);
  const TDateTime t = encodeDateTime(2026, 12, 7, 9, 5, 3, 250);
  const TDateParts p = decodeDateTime(t);
  EXPECT_EQ(p.year, 2026);
  EXPECT_EQ(p.month, 12);
  EXPECT_EQ(p.day, 7);
  EXPECT_EQ(p.hour, 9);
  EXPECT_EQ(p.minute, 5);
  EXPECT_EQ(p.second, 3);
  EXPECT_EQ(p.millisecond, 250);
}

// The offset from UTC is kept for a minute: across the changes to and from summer time and at
// local midnight every second still reads as localtime_r has it.
TEST(TolvoTime, LocalTimeFollowsTheZonesChangesAtTheMinute) {
  const std::string kept = std::getenv("TZ") ? std::getenv("TZ") : "";
  setenv("TZ", "EST5EDT,M3.2.0,M11.1.0", 1);
  tzset();
  // 2026: 8 March 07:00 and 1 November 06:00 UTC (the changes), 9 December 05:00 UTC (midnight).
  for (const std::int64_t change : {1'772'953'200LL, 1'793'512'800LL, 1'796'792'400LL}) {
    for (std::int64_t s = change - 90; s <= change + 90; s += 7) {
      const auto t = static_cast<time_t>(s);
      tm l{};
      localtime_r(&t, &l);
      ASSERT_EQ(localDateTimeAt(s, 123), encodeDateTime(l.tm_year + 1900, l.tm_mon + 1, l.tm_mday,
                                                        l.tm_hour, l.tm_min, l.tm_sec, 123))
          << s;
    }
  }
  kept.empty() ? unsetenv("TZ") : setenv("TZ", kept.c_str(), 1);
  tzset();
}

TEST(TolvoTime, SecondStampIgnoresYearAndCountsThirtyOneDayMonths) {
  EXPECT_EQ(secondStamp(encodeDateTime(2026, 3, 1)) - secondStamp(encodeDateTime(2026, 2, 28)),
            4 * 86400);
  EXPECT_EQ(secondStamp(encodeDateTime(2025, 6, 1, 1, 2, 3)),
            secondStamp(encodeDateTime(2026, 6, 1, 1, 2, 3)));
  EXPECT_EQ(secondStamp(encodeDateTime(2026, 1, 1, 0, 0, 1)), 2678400 + 86400 + 1);
}

TEST(TolvoTime, ElapsedStampsStayRightAcrossTheTurnOfTheYear) {
  const TDateTime lastDecember = encodeDateTime(2026, 12, 31, 23, 59, 58);
  const TDateTime newYear = encodeDateTime(2027, 1, 1, 0, 0, 3);
  EXPECT_EQ(stampSecondsSince(newYear, lastDecember), 5);
  EXPECT_EQ(stampSecondsSince(lastDecember, lastDecember), 0);
  // A wall clock stepping back is no turn of the year: nothing has passed, not 372 days.
  const TDateTime octoberNight = encodeDateTime(2026, 10, 25, 2, 30, 0);
  EXPECT_EQ(stampSecondsSince(octoberNight - 1.0 / 24, octoberNight), 0);
  EXPECT_EQ(stampSecondsSince(encodeDateTime(2026, 2, 28, 23, 59), encodeDateTime(2026, 3, 1)), 0)
      << "back over a month's end";
  EXPECT_EQ(stampSecondsSince(encodeDateTime(2026, 12, 31, 23), encodeDateTime(2027, 1, 1)), 0)
      << "back over new year";
}

TEST(TolvoTime, TheManualClocksMonotonicReadingNeverStepsBack) {
  TManualClock clock(encodeDateTime(2026, 10, 25, 3, 0, 0));
  const std::int64_t start = clock.monotonicMs();
  clock.advanceSeconds(2.5);
  EXPECT_EQ(clock.monotonicMs() - start, 2500);
  clock.advanceSeconds(-3600);
  clock.set(encodeDateTime(2020, 1, 1));
  EXPECT_EQ(clock.monotonicMs() - start, 2500);
  EXPECT_EQ(monotonicSecondsSince(start + 2500, start), 2);
  EXPECT_EQ(monotonicSecondsSince(1999, 1000), 0) << "second boundaries passed, like stamps";
  EXPECT_EQ(monotonicSecondsSince(2000, 1999), 1);
  EXPECT_EQ(monotonicSecondsSince(1000, 5000), 0);
  const std::int64_t a = systemClock().monotonicMs();
  EXPECT_GE(systemClock().monotonicMs(), a);
}

TEST(TolvoTime, TwoDigitsAndDurations) {
  EXPECT_EQ(twoDigits(7), "07");
  EXPECT_EQ(twoDigits(10), "10");
  EXPECT_EQ(twoDigits(-5), "0-5");
  EXPECT_EQ(formatDuration(0), "00h 00m 00s");
  EXPECT_EQ(formatDuration(59), "00h 00m 59s");
  EXPECT_EQ(formatDuration(93784), "01d 02h 03m 04s");
  EXPECT_EQ(formatDuration(2678400), "01m 00h 00m 00s");
  EXPECT_EQ(formatDuration(32140800 + 61), "00h 01m 01s");
  EXPECT_EQ(formatDuration(-5), "00h 00m 0-5s");
}

TEST(RegionalFormat, WritesAndReadsTheUsersFormat) {
  TRegionalFormat f{"%-d.%-m.%Y", "%-H:%M:%S"};
  const TDateTime t = encodeDateTime(2026, 12, 7, 9, 5, 3);
  EXPECT_EQ(f.formatDateTime(t), "7.12.2026 9:05:03");
  EXPECT_EQ(f.formatDateTimeOmitMidnight(encodeDateTime(2026, 12, 7)), "7.12.2026");
  EXPECT_EQ(f.formatDate(0), "30.12.1899");
  ASSERT_TRUE(f.parseDate("7.12.2026").has_value());
  EXPECT_DOUBLE_EQ(*f.parseDate("7.12.2026"), encodeDateTime(2026, 12, 7));
  EXPECT_FALSE(f.parseDate("12/07/26").has_value());
  EXPECT_FALSE(f.parseDate("31.2.2026").has_value());
  EXPECT_FALSE(f.parseDate("").has_value());
}

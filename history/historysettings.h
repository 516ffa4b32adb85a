#pragma once
// The settings of the results database, section [history] of the settings file: how long each level
// is kept, in days. Each key and its default are named once, in the table of historysettings.cpp.
//
//   raw_days          every echo result              default 10
//   five_minute_days  5-minute summaries             default 60
//   hourly_days       hourly summaries               default 730
//   daily_days        daily summaries                default 3650
//
// A missing, unreadable or out-of-range value (below 1, above 36500) reads as its default.

#include <array>
#include <cstdint>
#include <string>

struct THistoryLengths {
  std::int32_t rawDays = 10;
  std::int32_t fiveMinuteDays = 60;
  std::int32_t hourlyDays = 730;
  std::int32_t dailyDays = 3650;
};

struct THistorySettingKey {
  const char* name;
  std::int32_t defaultDays;
  std::int32_t THistoryLengths::*field;
};

inline constexpr const char* HistorySection = "history";
extern const std::array<THistorySettingKey, 4> HistorySettingKeys;
inline constexpr std::int32_t MaxHistoryDays = 36500;

// The lengths from the settings (extraSetting), with defaults for what is missing or wrong.
THistoryLengths historyLengths();
// Stores the lengths through setExtraSetting (written with the other settings at the next save).
void setHistoryLengths(const THistoryLengths& lengths);

// The database file for a hosts file: history.sqlite in the same folder.
std::string historyFilePath(const std::string& hostsFileName);

#pragma once
// Dates and times written in the user's regional format.
//
// The formats are strftime patterns as the C library's LC_TIME locale gives them
// (nl_langinfo(D_FMT) for the short date, nl_langinfo(T_FMT) for the long time). glibc's padding
// flags ("%-d", "%-H") are honoured when writing and accepted when reading, so a fixed format such as
// "%-d.%-m.%Y" / "%-H:%M:%S" writes "7.12.2026 9:05:03".

#include <optional>
#include <string>

#include "base/tolvotime.h"

struct TRegionalFormat {
  std::string shortDate = "%m/%d/%y";
  std::string longTime = "%H:%M:%S";

  // The formats of the process's current LC_TIME locale (call setlocale first; Qt does).
  static TRegionalFormat fromLocale();

  std::string formatDate(TDateTime t) const;
  std::string formatTime(TDateTime t) const;
  // Short date, a blank, long time: the program's standard date-time text.
  std::string formatDateTime(TDateTime t) const;
  // As formatDateTime, but without the time part when the time of day is exactly midnight
  // (how date-times are stored in the hosts file).
  std::string formatDateTimeOmitMidnight(TDateTime t) const;

  // The date part of a text in the short date format; nullopt when it is not a valid date.
  std::optional<TDateTime> parseDate(const std::string& text) const;
};

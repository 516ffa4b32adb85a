#include "base/regionalformat.h"

#include <langinfo.h>

#include <ctime>

namespace {

std::tm toTm(TDateTime t) {
  const TDateParts p = decodeDateTime(t);
  std::tm out{};
  out.tm_year = p.year - 1900;
  out.tm_mon = p.month - 1;
  out.tm_mday = p.day;
  out.tm_hour = p.hour;
  out.tm_min = p.minute;
  out.tm_sec = p.second;
  // Weekday and day of the year, for formats that name them (%a, %j): 30 Dec 1899 was a Saturday.
  const auto whole = static_cast<long long>(t >= 0 ? t : t - 1);
  out.tm_wday = static_cast<int>(((whole + 6) % 7 + 7) % 7);
  out.tm_yday = static_cast<int>(encodeDateTime(p.year, p.month, p.day) - encodeDateTime(p.year, 1, 1));
  return out;
}

std::string format(const std::string& pattern, TDateTime t) {
  if (pattern.empty()) return {};
  const std::tm parts = toTm(t);
  char buffer[256];
  const std::size_t n = std::strftime(buffer, sizeof buffer, pattern.c_str(), &parts);
  return std::string(buffer, n);
}

// strptime knows no padding flags; "%-d" reads as "%d", which accepts one or two digits anyway.
std::string withoutPaddingFlags(const std::string& pattern) {
  std::string out;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    out += pattern[i];
    if (pattern[i] == '%' && i + 1 < pattern.size()) {
      std::size_t j = i + 1;
      while (j < pattern.size() && (pattern[j] == '-' || pattern[j] == '_' || pattern[j] == '0' ||
                                    pattern[j] == '^' || pattern[j] == '#'))
        ++j;
      if (j < pattern.size()) out += pattern[j];
      i = j;
    }
  }
  return out;
}

}  // namespace

TRegionalFormat TRegionalFormat::fromLocale() {
  TRegionalFormat f;
  if (const char* d = nl_langinfo(D_FMT); d && *d) f.shortDate = d;
  if (const char* t = nl_langinfo(T_FMT); t && *t) f.longTime = t;
  return f;
}

std::string TRegionalFormat::formatDate(TDateTime t) const { return format(shortDate, t); }

std::string TRegionalFormat::formatTime(TDateTime t) const { return format(longTime, t); }

std::string TRegionalFormat::formatDateTime(TDateTime t) const {
  return formatDate(t) + " " + formatTime(t);
}

std::string TRegionalFormat::formatDateTimeOmitMidnight(TDateTime t) const {
  const TDateParts p = decodeDateTime(t);
  if (p.hour == 0 && p.minute == 0 && p.second == 0) return formatDate(t);
  return formatDateTime(t);
}

std::optional<TDateTime> TRegionalFormat::parseDate(const std::string& text) const {
  const std::string pattern = withoutPaddingFlags(shortDate);
  std::tm parts{};
  parts.tm_mday = 1;
  const char* end = strptime(text.c_str(), pattern.c_str(), &parts);
  if (end == nullptr || *end != '\0') return std::nullopt;
  const int year = parts.tm_year + 1900, month = parts.tm_mon + 1, day = parts.tm_mday;
  if (month < 1 || month > 12 || day < 1 || day > 31) return std::nullopt;
  const TDateTime value = encodeDateTime(year, month, day);
  const TDateParts back = decodeDateTime(value);
  if (back.day != day || back.month != month) return std::nullopt;  // 31 February and the like
  return value;
}

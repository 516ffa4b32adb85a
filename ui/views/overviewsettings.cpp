#include "overviewsettings.h"

#include <charconv>

#include "config/settings.h"

bool overviewOpenAtStart() {
  return extraSetting(OverviewSection, OverviewOpenAtStartKey).value_or("0") == "1";
}

void setOverviewOpenAtStart(bool open) {
  setExtraSetting(OverviewSection, OverviewOpenAtStartKey, open ? "1" : "0");
}

std::string overviewGeometry() {
  return extraSetting(OverviewSection, OverviewGeometryKey).value_or("");
}

void setOverviewGeometry(const std::string& base64) {
  if (overviewGeometry() != base64) setExtraSetting(OverviewSection, OverviewGeometryKey, base64);
}

TOverviewSort overviewSort() {
  TOverviewSort sort;
  const std::string column = extraSetting(OverviewSection, OverviewSortColumnKey).value_or("-1");
  int value = -1;
  const auto [end, error] = std::from_chars(column.data(), column.data() + column.size(), value);
  if (error == std::errc() && end == column.data() + column.size() && value >= -1)
    sort.column = value;
  sort.descending =
      extraSetting(OverviewSection, OverviewSortOrderKey).value_or("ascending") == "descending";
  return sort;
}

void setOverviewSort(const TOverviewSort& sort) {
  setExtraSetting(OverviewSection, OverviewSortColumnKey, std::to_string(sort.column));
  setExtraSetting(OverviewSection, OverviewSortOrderKey,
                  sort.descending ? "descending" : "ascending");
}

#include "overviewsettings.h"

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

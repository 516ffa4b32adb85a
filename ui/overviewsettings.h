#pragma once
// The overview's settings, section [overview] of the settings file. Each key and its default are
// named once, here.
//
//   open_at_start   "1": the overview opens when the program starts      default "0"
//   geometry        the window's place and size (Qt's saved geometry, base64) default ""

#include <string>

inline constexpr const char* OverviewSection = "overview";
inline constexpr const char* OverviewOpenAtStartKey = "open_at_start";
inline constexpr const char* OverviewGeometryKey = "geometry";

bool overviewOpenAtStart();
void setOverviewOpenAtStart(bool open);
std::string overviewGeometry();
void setOverviewGeometry(const std::string& base64);

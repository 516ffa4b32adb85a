#pragma once
// The overview's settings, section [overview] of the settings file. Each key and its default are
// named once, here.
//
//   open_at_start   "1": the overview opens when the program starts      default "0"
//   geometry        the window's place and size (Qt's saved geometry, base64) default ""
//   sort_column     the column the rows are sorted by, from 0; -1: the list's order  default "-1"
//   sort_order      "ascending" or "descending"                                default "ascending"

#include <string>

inline constexpr const char* OverviewSection = "overview";
inline constexpr const char* OverviewOpenAtStartKey = "open_at_start";
inline constexpr const char* OverviewGeometryKey = "geometry";
inline constexpr const char* OverviewSortColumnKey = "sort_column";
inline constexpr const char* OverviewSortOrderKey = "sort_order";

struct TOverviewSort {
  int column = -1;
  bool descending = false;
};

bool overviewOpenAtStart();
void setOverviewOpenAtStart(bool open);
std::string overviewGeometry();
void setOverviewGeometry(const std::string& base64);
// A stored column that is not a number gives the list's order.
TOverviewSort overviewSort();
void setOverviewSort(const TOverviewSort& sort);

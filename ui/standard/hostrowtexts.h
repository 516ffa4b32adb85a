#pragma once
// The texts of one host's row in the status view, and the title row, as plain strings so the grid
// can compare them with what it shows before it touches a cell.

#include <array>
#include <cstdint>
#include <string>

#include "base/tolvotime.h"

class TTolvoHost;

inline constexpr int StatusColumns = 10;
using THostRowTexts = std::array<std::string, StatusColumns>;

const THostRowTexts& statusTitles();

// The share of answered echoes: succeeded / (succeeded + failed) x 100 with two decimals and "%";
// "0%" while nothing has been answered.
std::string successPercentText(std::int32_t succeeded, std::int32_t failed);

// Time since `at` as a duration, or "unknown" when `at` was never set (0).
std::string elapsedText(TDateTime now, TDateTime at);

THostRowTexts hostRowTexts(const TTolvoHost& host, bool showHostName, TDateTime now);

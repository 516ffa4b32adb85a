#pragma once
// The one form of every CSV file the program writes (overview, history and outages exports,
// `sorvelo --outages`): fields separated by commas, a field quoted when it holds a comma, a quote
// or a line break (quotes doubled inside), every line ended by a line feed alone, numbers without
// units (the unit is in the column's title).

#include <string>
#include <string_view>

inline constexpr char CsvLineEnd = '\n';

std::string csvField(std::string_view text);

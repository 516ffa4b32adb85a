#include "ui/common/chartscale.h"

#include <algorithm>
#include <cmath>

double chartNiceCeiling(double value) {
  const double power = std::pow(10.0, std::floor(std::log10(std::max(value, 1.0))));
  for (double m : {1.0, 2.0, 5.0, 10.0})
    if (m * power >= value) return m * power;
  return 10 * power;
}

std::int64_t chartTimeStep(std::int64_t spanMs, int room) {
  static const std::int64_t steps[] = {60'000,     300'000,        900'000,        1'800'000,
                                       3'600'000,  3 * 3'600'000,  6 * 3'600'000,  12 * 3'600'000,
                                       86'400'000, 2 * 86'400'000, 7 * 86'400'000, 14 * 86'400'000};
  for (std::int64_t s : steps)
    if (spanMs / s <= room) return s;
  return 30 * 86'400'000LL;
}

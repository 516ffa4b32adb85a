#pragma once
// Scales shared by the charts of round trips over time (history, path): a round top for the value
// axis and a step of whole minutes, hours or days for the time axis.

#include <cstdint>

// 1, 2, 5 x 10^n at or above `value` (at least 1).
double chartNiceCeiling(double value);

// The smallest of 1, 5, 15, 30 minutes, 1, 3, 6, 12 hours, 1, 2, 7, 14 days that leaves at most
// `room` ticks over `spanMs`; 30 days beyond that.
std::int64_t chartTimeStep(std::int64_t spanMs, int room);

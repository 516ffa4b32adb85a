#pragma once
// The states the engine reports for a host and for the connection as a whole.

#include <cstdint>

enum hostStatus : std::uint8_t { hsUnknown = 0, hsOk = 1, hsDown = 2, hsThreadDead = 3 };

enum connState : std::uint8_t { csUnknown = 0, csUp = 1, csDown = 2 };

#pragma once

#include <functional>

namespace tessik {

// Points in time are seconds since 1970-01-01 00:00 UTC with their full
// fraction. A double holds sub-microsecond precision for present-day dates,
// which keeps clips taken within one millisecond in order and lets times
// written by other devices round-trip exactly.
using TimePoint = double;

// Seconds between 1970-01-01 and 2001-01-01, the epoch of times in JSON.
inline constexpr double kSecondsFrom1970To2001 = 978307200.0;

// The current wall-clock time. Thread-safe.
TimePoint now();

// A source of the current time; stores take one so tests can move time.
using Clock = std::function<TimePoint()>;

} // namespace tessik

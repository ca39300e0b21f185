#pragma once

#include <cstdint>
#include <ctime>

// Nanoseconds on the system-wide monotonic clock. bench/run reads the same
// clock, so instants taken in different processes compare directly.
inline std::int64_t monotonicNs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return std::int64_t{now.tv_sec} * 1000000000 + now.tv_nsec;
}

inline double msBetween(std::int64_t fromNs, std::int64_t toNs)
{
    return static_cast<double>(toNs - fromNs) / 1e6;
}

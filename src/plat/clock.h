// The monotonic clock that every time-out, duration and estimate uses.
#pragma once

namespace plat {

// Seconds of a monotonic clock; only differences mean something.
double now();
void sleepMs(int ms);

} // namespace plat

// The monotonic clock on POSIX systems.
#include "plat/clock.h"

#include <ctime>

namespace plat {

double now() {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

void sleepMs(int ms) {
    struct timespec t = {ms / 1000, (ms % 1000) * 1000000L};
    while (nanosleep(&t, &t) != 0) {
    }
}

} // namespace plat

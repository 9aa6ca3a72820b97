// The monotonic clock on Windows: the performance counter.
#include "plat/clock.h"

#include "plat/win32/wide.h"

namespace plat {

double now() {
    static const double perSecond = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return double(f.QuadPart);
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return double(t.QuadPart) / perSecond;
}

void sleepMs(int ms) {
    Sleep(ms > 0 ? DWORD(ms) : 0);
}

} // namespace plat

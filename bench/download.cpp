// One download through plat::httpDownload, as the update download makes it.
//
//   qm-bench-download URL PATH
//
// Prints "bytes N seconds S" and exits 0 when the download succeeded; its peak memory is read by
// bench/run_bench.py from the process's resource usage.
#include "plat/http.h"

#include <atomic>
#include <chrono>
#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: qm-bench-download URL PATH\n", stderr);
        return 2;
    }
    std::atomic<unsigned long long> got{0}, total{0};
    std::atomic<bool> stop{false};
    std::string err;
    const auto t0 = std::chrono::steady_clock::now();
    const bool ok = plat::httpDownload(argv[1], "QM-Launcher/" QM_VERSION, argv[2], got, total,
                                       stop, err, 1ull << 40);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (!ok) {
        std::fprintf(stderr, "download failed: %s\n", err.c_str());
        return 1;
    }
    std::printf("bytes %llu seconds %.6f\n", got.load(), seconds);
    return 0;
}

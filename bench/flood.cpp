// A child that floods its standard output with lines, as a chatty build step does.
//
//   qm-bench-flood RATE SECONDS   RATE lines a second, written in bursts every millisecond, for
//                                 SECONDS seconds (a steady flood)
//   qm-bench-flood 0 COUNT        COUNT lines as fast as the pipe takes them
//
// Every line is 64 bytes with its line feed, like a compiler's progress line.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace {

const char* const kLine = "INFO [ 1234/98765] compiling src/recomp/func_00123456.c -O2 ...\n";

void writeLines(long count) {
    static char block[64 * 1024];
    const std::size_t len = std::strlen(kLine);
    const long perBlock = long(sizeof block / len);
    for (long i = 0; i < perBlock; ++i)
        std::memcpy(block + std::size_t(i) * len, kLine, len);
    while (count > 0) {
        const long n = count < perBlock ? count : perBlock;
        if (std::fwrite(block, len, std::size_t(n), stdout) != std::size_t(n)) std::exit(1);
        count -= n;
    }
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fputs("usage: qm-bench-flood RATE SECONDS | 0 COUNT\n", stderr);
        return 2;
    }
    const double rate = std::atof(argv[1]);
    if (rate <= 0) {
        writeLines(std::atol(argv[2]));
        return 0;
    }
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    const auto end = start + std::chrono::duration<double>(std::atof(argv[2]));
    long written = 0;
    for (auto next = start; next < end; next += std::chrono::milliseconds(1)) {
        std::this_thread::sleep_until(next);
        const double due = rate * std::chrono::duration<double>(Clock::now() - start).count();
        writeLines(long(due) - written);
        written = long(due);
    }
    return 0;
}

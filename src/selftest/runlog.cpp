// The self-test's run log: one stamped line per event, flushed at once so that a killed run
// still leaves every line written so far.
#include "plat/clock.h"
#include "plat/fs.h"
#include "selftest/selftest.h"

Selftest::~Selftest() {
    closeLog();
}

void Selftest::openLog() {
    // Text mode: on Windows each line feed reaches the file as CR LF.
    logFile = plat::openFile(plat::joinPath(shotsDir, "selftest.log"), "w");
    logStart = plat::now();
}

void Selftest::closeLog() {
    if (logFile) fclose(logFile);
    logFile = nullptr;
}

void Selftest::log(const char* format, const std::string& a, const std::string& b) {
    fprintf(logFile, "[%8.1f] ", plat::now() - logStart);
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#endif
    fprintf(logFile, format, a.c_str(), b.c_str());
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
    fputc('\n', logFile);
    fflush(logFile);
}

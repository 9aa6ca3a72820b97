// Shared by the fuzz targets: the input as a real file, split into lines or fields, and a check
// that aborts (so that libFuzzer keeps the input) when a property of the code under test fails.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qmfuzz {

// A file of this process's own that holds exactly these bytes; the same path every call.
const std::string& inputFile(const uint8_t* data, size_t size);
const std::string& inputFile(const std::string& bytes);

// The bytes split at each line feed (the last piece without one counts, an empty input is none).
std::vector<std::string> lines(const uint8_t* data, size_t size);

// Prints what failed and aborts.
[[noreturn]] void fail(const char* what, const std::string& detail);

} // namespace qmfuzz

#define QM_FUZZ_EXPECT(cond, detail)                                                               \
    do {                                                                                           \
        if (!(cond)) ::qmfuzz::fail(#cond, (detail));                                              \
    } while (0)

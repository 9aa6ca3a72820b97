// Locale-independent readers for numbers at the start of a text, with the semantics of the C
// scan functions ("%d", atof) but without their undefined behaviour on overflow and without
// the hexadecimal, "inf" and "nan" forms that no settings file or command line of ours writes.
#pragma once

#include <cstddef>
#include <string_view>

enum class ScanResult { Ok, NoNumber, Overflow };

// "%d": white space skipped, an optional sign, then at least one decimal digit. On Ok and
// Overflow, pos moves past the digits; an Overflow clamps value to INT_MIN or INT_MAX. On
// NoNumber neither pos nor value changes.
ScanResult scanInt(std::string_view text, size_t& pos, int& value);

// atof: white space skipped, then the longest prefix that forms a decimal floating-point number
// (optional sign, digits with an optional decimal point, optional exponent); 0 without one. A
// value too large for a double gives plus or minus HUGE_VAL, one too small gives 0.
double scanDouble(std::string_view text);

// The length of the decimal floating-point number that starts text exactly at index 0 (no white
// space skipped); 0 when there is none.
size_t decimalNumberLength(std::string_view text);

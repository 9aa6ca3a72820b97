// Number readers: white space · "%d" · decimal floating-point prefix · atof.
#include "app/scan.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <system_error>

namespace {

// The C locale's isspace, independent of whatever locale the process runs in.
bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

size_t skipDigits(std::string_view text, size_t i) {
    while (i < text.size() && isDigit(text[i]))
        ++i;
    return i;
}

// Where the decimal exponent of a number that from_chars found out of range puts it: above 0
// means it overflowed, otherwise it underflowed. Only the sign of the result matters.
long long roughMagnitude(std::string_view number) {
    size_t i = 0;
    long long leadingDigits = 0;
    bool seenNonZero = false;
    while (i < number.size() && isDigit(number[i])) {
        seenNonZero = seenNonZero || number[i] != '0';
        if (seenNonZero) ++leadingDigits;
        ++i;
    }
    if (!seenNonZero && i < number.size() && number[i] == '.') {
        ++i;
        while (i < number.size() && number[i] == '0') {
            --leadingDigits;
            ++i;
        }
    }
    i = number.find_first_of("eE");
    long long exponent = 0;
    if (i != std::string_view::npos) {
        ++i;
        bool negative = i < number.size() && number[i] == '-';
        if (i < number.size() && (number[i] == '-' || number[i] == '+')) ++i;
        for (; i < number.size() && isDigit(number[i]); ++i)
            if (exponent < 1000000000) exponent = exponent * 10 + (number[i] - '0');
        if (negative) exponent = -exponent;
    }
    return leadingDigits + exponent;
}

} // namespace

ScanResult scanInt(std::string_view text, size_t& pos, int& value) {
    size_t i = pos;
    while (i < text.size() && isSpace(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i >= text.size() || !isDigit(text[i])) return ScanResult::NoNumber;
    // Accumulated as a negative number so that INT_MIN itself fits.
    long long acc = 0;
    bool overflow = false;
    for (; i < text.size() && isDigit(text[i]); ++i) {
        if (overflow) continue;
        acc = acc * 10 - (text[i] - '0');
        if (acc < static_cast<long long>(INT_MIN) - 1) overflow = true;
    }
    pos = i;
    if (!negative) acc = -acc;
    if (overflow || acc > INT_MAX || acc < INT_MIN) {
        value = negative ? INT_MIN : INT_MAX;
        return ScanResult::Overflow;
    }
    value = static_cast<int>(acc);
    return ScanResult::Ok;
}

size_t decimalNumberLength(std::string_view text) {
    size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    size_t intEnd = skipDigits(text, i);
    size_t mantissaDigits = intEnd - i;
    i = intEnd;
    if (i < text.size() && text[i] == '.') {
        size_t fracEnd = skipDigits(text, i + 1);
        mantissaDigits += fracEnd - (i + 1);
        i = fracEnd;
    }
    if (mantissaDigits == 0) return 0;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        size_t j = i + 1;
        if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
        size_t expEnd = skipDigits(text, j);
        if (expEnd > j) i = expEnd; // an exponent without digits is not part of the number
    }
    return i;
}

double scanDouble(std::string_view text) {
    size_t start = 0;
    while (start < text.size() && isSpace(text[start]))
        ++start;
    std::string_view rest = text.substr(start);
    size_t length = decimalNumberLength(rest);
    if (length == 0) return 0.0;
    std::string_view number = rest.substr(0, length);
    bool negative = number[0] == '-';
    if (number[0] == '+' || number[0] == '-') number.remove_prefix(1);

    double value = 0.0;
    auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), value,
                                     std::chars_format::general);
    (void)end;
    if (ec == std::errc::result_out_of_range)
        value = roughMagnitude(number) > 0 ? HUGE_VAL : 0.0;
    else if (ec != std::errc())
        value = 0.0;
    return negative ? -value : value;
}

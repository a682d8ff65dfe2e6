// The double nearest to a decimal number, ties to even, as a correctly rounding
// strtod gives it: the exact reading of the settings' float values, without the
// C++ library's from_chars (42 KB of the plugin) or the C library's strtod (which
// reads the process locale's decimal point and, in older msvcrt, does not round
// every input correctly).
#pragma once

#include <cstdint>

namespace zk {

// 0.D1 D2 D3 ... times 10^Point, with the significant digits D (0 to 9, the first
// one not zero) most significant first.
struct DecimalNumber {
    // A decimal halfway between two doubles has at most 767 significant digits; past
    // this many, all that can matter is whether any dropped digit was not zero.
    static constexpr int kCapacity = 800;
    std::uint8_t Digits[kCapacity];
    int Count = 0;
    long long Point = 0;
    bool Truncated = false;  // a digit that was not zero was dropped
};

// Appends the next digit (0 to 9) after the ones already there. A leading zero is
// the caller's to leave out (it only moves Point).
void AppendDigit(DecimalNumber& number, int digit);

// The nearest double to the number (positive or zero), or infinity beyond the
// largest double. Scales the number in place: it is used up.
double NearestDouble(DecimalNumber& number);

}  // namespace zk

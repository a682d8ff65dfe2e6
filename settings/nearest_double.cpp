#include "settings/nearest_double.h"

#include <cstring>

// The number is scaled by powers of two, exactly in decimal, into [0.5, 1); then
// 53 bits are shifted out above the point and the rest decides the rounding.
// Every step is exact but for digits dropped past the capacity, which only ever
// add to the number (Truncated), so an exact tie is told from a number just above it.

namespace zk {
namespace {

// 9 << 60 and the carry still fit in 64 bits.
constexpr unsigned kMaxShift = 60;

void PutDigit(DecimalNumber& number, int at, std::uint64_t digit) {
    if (at < DecimalNumber::kCapacity) {
        number.Digits[at] = static_cast<std::uint8_t>(digit);
    } else if (digit != 0) {
        number.Truncated = true;
    }
}

void TrimTrailingZeros(DecimalNumber& number) {
    while (number.Count > 0 && number.Digits[number.Count - 1] == 0) --number.Count;
    if (number.Count == 0) number.Point = 0;
}

// Times 2^shift.
void ShiftLeft(DecimalNumber& number, unsigned shift) {
    // A first pass finds how many digits the product gains at the top.
    std::uint64_t carry = 0;
    for (int read = number.Count - 1; read >= 0; --read) {
        carry = (carry + (std::uint64_t{number.Digits[read]} << shift)) / 10;
    }
    int gained = 0;
    for (std::uint64_t rest = carry; rest != 0; rest /= 10) ++gained;

    carry = 0;
    int write = number.Count + gained;
    for (int read = number.Count - 1; read >= 0; --read) {
        const std::uint64_t sum = carry + (std::uint64_t{number.Digits[read]} << shift);
        carry = sum / 10;
        PutDigit(number, --write, sum - carry * 10);
    }
    for (; carry != 0; carry /= 10) PutDigit(number, --write, carry % 10);
    number.Count += gained;
    if (number.Count > DecimalNumber::kCapacity) number.Count = DecimalNumber::kCapacity;
    number.Point += gained;
    TrimTrailingZeros(number);
}

// Divided by 2^shift.
void ShiftRight(DecimalNumber& number, unsigned shift) {
    const std::uint64_t mask = (std::uint64_t{1} << shift) - 1;
    int read = 0;
    std::uint64_t value = 0;
    // Enough leading digits (with zeros past the end) for a first digit out.
    while (value >> shift == 0) {
        value = value * 10 + (read < number.Count ? number.Digits[read] : 0);
        ++read;
    }
    number.Point -= read - 1;
    int write = 0;
    for (; read < number.Count; ++read) {
        number.Digits[write++] = static_cast<std::uint8_t>(value >> shift);
        value = (value & mask) * 10 + number.Digits[read];
    }
    for (; value != 0; value = (value & mask) * 10) PutDigit(number, write++, value >> shift);
    number.Count = write < DecimalNumber::kCapacity ? write : DecimalNumber::kCapacity;
    TrimTrailingZeros(number);
}

// Times 2^shift, in steps of at most kMaxShift.
void Shift(DecimalNumber& number, int shift) {
    const bool left = shift > 0;
    unsigned rest = static_cast<unsigned>(left ? shift : -shift);
    while (rest > 0) {
        const unsigned step = rest < kMaxShift ? rest : kMaxShift;
        if (left) {
            ShiftLeft(number, step);
        } else {
            ShiftRight(number, step);
        }
        rest -= step;
    }
}

// The integer part, rounded to nearest by the fraction, ties to even. The number
// is below 2^54 here.
std::uint64_t RoundedInteger(const DecimalNumber& number) {
    if (number.Point < 0) return 0;  // below 0.1
    std::uint64_t value = 0;
    int at = 0;
    for (; at < number.Point; ++at) value = value * 10 + (at < number.Count ? number.Digits[at] : 0);
    if (at < number.Count) {
        const int next = number.Digits[at];
        const bool tie = next == 5 && at + 1 == number.Count && !number.Truncated;
        if (next > 5 || (next == 5 && !tie) || (tie && (value & 1) != 0)) ++value;
    }
    return value;
}

// Shifts that take 10^n below 1 (n < 9): 2^k just above 10^n.
constexpr std::uint8_t kShiftForPower[] = {1, 3, 6, 9, 13, 16, 19, 23, 26};

double Bits(std::uint64_t bits) {
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

}  // namespace

void AppendDigit(DecimalNumber& number, int digit) {
    if (number.Count < DecimalNumber::kCapacity) {
        number.Digits[number.Count++] = static_cast<std::uint8_t>(digit);
    } else if (digit != 0) {
        number.Truncated = true;
    }
}

double NearestDouble(DecimalNumber& number) {
    constexpr std::uint64_t kInfinity = 0x7FF0000000000000ull;
    TrimTrailingZeros(number);
    if (number.Count == 0) return 0.0;
    // 10^310 is past the largest double, and 10^-330 is below half the smallest.
    if (number.Point > 310) return Bits(kInfinity);
    if (number.Point < -330) return 0.0;

    // Into [0.5, 1), counting the binary exponent.
    int exponent = 0;
    while (number.Point > 0) {
        const int shift = number.Point < 9 ? kShiftForPower[number.Point] : 27;
        Shift(number, -shift);
        exponent += shift;
    }
    while (number.Point < 0 || (number.Point == 0 && number.Digits[0] < 5)) {
        const int shift = -number.Point < 9 ? kShiftForPower[-number.Point] : 27;
        Shift(number, shift);
        exponent -= shift;
    }
    --exponent;  // now the number times 2 lies in [1, 2): 2^exponent is its scale

    // Below the smallest normal exponent the number is subnormal: fewer bits.
    if (exponent < -1022) {
        Shift(number, -(-1022 - exponent));
        exponent = -1022;
    }
    if (exponent > 1023) return Bits(kInfinity);

    Shift(number, 53);
    std::uint64_t mantissa = RoundedInteger(number);
    if (mantissa == std::uint64_t{1} << 53) {  // rounding carried into a new bit
        mantissa >>= 1;
        if (++exponent > 1023) return Bits(kInfinity);
    }
    const bool normal = (mantissa >> 52) != 0;
    const std::uint64_t biased = normal ? static_cast<std::uint64_t>(exponent + 1023) : 0;
    return Bits((biased << 52) | (mantissa & ((std::uint64_t{1} << 52) - 1)));
}

}  // namespace zk

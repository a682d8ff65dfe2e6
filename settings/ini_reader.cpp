#include "settings/ini_reader.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "settings/ini_lines.h"
#include "settings/nearest_double.h"

namespace zk {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int DigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 99;
}

}  // namespace

void IniReader::Open(const char* name, std::size_t length) {
    if (!os::JoinPath(os::PluginFolder(), std::string(name, length), Path)) {
        Path.clear();  // no form on this platform: nothing to read
        return;
    }
    Document.Load(Path);
}

std::int32_t IniReader::ReadInteger(const char* section, const char* key,
                                    std::int32_t defaultValue) const {
    return ParseInteger(Document.GetValue(section, key, std::to_string(defaultValue)));
}

float IniReader::ReadFloat(const char* section, const char* key, float defaultValue) const {
    return ParseFloat(Document.GetValue(section, key, FormatFixed(defaultValue)));
}

std::size_t SkipSpaceAndSign(std::string_view text, bool* negative) {
    std::size_t at = 0;
    while (at < text.size() && IsIniSpace(text[at])) ++at;  // the same six bytes as isspace
    const bool sign = at < text.size() && (text[at] == '+' || text[at] == '-');
    if (negative != nullptr) *negative = sign && text[at] == '-';
    return sign ? at + 1 : at;
}

std::int32_t ParseInteger(std::string_view text) {
    const bool hex = text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const int base = hex ? 16 : 10;
    bool negative = false;
    std::size_t at = SkipSpaceAndSign(text, &negative);
    if (base == 16 && at + 1 < text.size() && text[at] == '0' &&
        (text[at + 1] == 'x' || text[at + 1] == 'X')) {
        at += 2;
    }
    // As a 32-bit strtol: the magnitude saturates, and out of range gives
    // LONG_MAX or LONG_MIN of a 32-bit long.
    constexpr std::uint64_t kLimit = 0x80000000ull;
    std::uint64_t magnitude = 0;
    for (; at < text.size() && DigitValue(text[at]) < base; ++at) {
        magnitude = magnitude * static_cast<unsigned>(base) + static_cast<unsigned>(DigitValue(text[at]));
        if (magnitude > kLimit) magnitude = kLimit + 1;
    }
    if (negative) {
        return magnitude >= kLimit ? std::numeric_limits<std::int32_t>::min()
                                   : -static_cast<std::int32_t>(magnitude);
    }
    return magnitude >= kLimit ? std::numeric_limits<std::int32_t>::max()
                               : static_cast<std::int32_t>(magnitude);
}

double ParseDecimal(std::string_view text) {
    bool negative = false;
    std::size_t at = SkipSpaceAndSign(text, &negative);
    DecimalNumber number;  // Point counts the digits before the point, less leading zeros
    std::size_t digits = 0;
    for (; at < text.size() && IsDigit(text[at]); ++at, ++digits) {
        if (number.Count == 0 && text[at] == '0') continue;
        AppendDigit(number, text[at] - '0');
        ++number.Point;
    }
    if (at < text.size() && text[at] == '.') {
        for (++at; at < text.size() && IsDigit(text[at]); ++at, ++digits) {
            if (number.Count == 0 && text[at] == '0') {
                --number.Point;
                continue;
            }
            AppendDigit(number, text[at] - '0');
        }
    }
    if (digits == 0) return 0.0;  // no number: nothing converted
    if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
        std::size_t exponentAt = at + 1;
        bool exponentNegative = false;
        if (exponentAt < text.size() && (text[exponentAt] == '+' || text[exponentAt] == '-')) {
            exponentNegative = text[exponentAt] == '-';
            ++exponentAt;
        }
        long long exponent = 0;  // held short of overflow: far past any double's range
        for (; exponentAt < text.size() && IsDigit(text[exponentAt]); ++exponentAt) {
            if (exponent < 100000000) exponent = exponent * 10 + (text[exponentAt] - '0');
        }
        number.Point += exponentNegative ? -exponent : exponent;
    }
    const double value = NearestDouble(number);
    return negative ? -value : value;
}

float NarrowToFloat(double value) {
    // Values at or beyond the midpoint between FLT_MAX and 2^128 round to infinity;
    // the cast alone would be undefined for them.
    constexpr double kOverflow = 0x1.ffffffp127;
    if (std::isnan(value)) return std::numeric_limits<float>::quiet_NaN();
    if (value >= kOverflow) return std::numeric_limits<float>::infinity();
    if (value <= -kOverflow) return -std::numeric_limits<float>::infinity();
    if (value > std::numeric_limits<float>::max()) return std::numeric_limits<float>::max();
    if (value < -std::numeric_limits<float>::max()) return -std::numeric_limits<float>::max();
    return static_cast<float>(value);
}

float ParseFloat(std::string_view text) { return NarrowToFloat(ParseDecimal(text)); }

std::string FormatFixed(double value) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    const bool negative = (bits >> 63) != 0;
    const int biased = static_cast<int>((bits >> 52) & 0x7FF);
    std::uint64_t mantissa = bits & ((std::uint64_t{1} << 52) - 1);
    if (biased == 0x7FF) {
        if (mantissa != 0) return negative ? "-nan" : "nan";
        return negative ? "-inf" : "inf";
    }
    int shift = -1074;  // subnormals and zero
    if (biased != 0) {
        mantissa |= std::uint64_t{1} << 52;
        shift = biased - 1075;
    }

    // The magnitude times 10^6, exactly, as 32-bit limbs (least significant first):
    // at most 53 + 20 + 971 bits.
    std::uint32_t limbs[34] = {};
    int count = 0;
    const auto multiplySmall = [&](std::uint32_t factor, std::uint32_t carry) {
        for (int i = 0; i < count; ++i) {
            const std::uint64_t product = std::uint64_t{limbs[i]} * factor + carry;
            limbs[i] = static_cast<std::uint32_t>(product);
            carry = static_cast<std::uint32_t>(product >> 32);
        }
        if (carry != 0) limbs[count++] = carry;
    };
    limbs[0] = static_cast<std::uint32_t>(mantissa);
    limbs[1] = static_cast<std::uint32_t>(mantissa >> 32);
    count = limbs[1] != 0 ? 2 : (limbs[0] != 0 ? 1 : 0);
    multiplySmall(1000000, 0);
    for (int left = shift; left > 0; left -= 31) {
        multiplySmall(std::uint32_t{1} << (left < 31 ? left : 31), 0);
    }
    if (shift < 0) {
        // Drop -shift bits, rounding to nearest with ties to even, as the C library does.
        const int drop = -shift;
        const auto bitAt = [&](int index) {
            return index / 32 < count && ((limbs[index / 32] >> (index % 32)) & 1u) != 0;
        };
        const bool half = bitAt(drop - 1);
        bool below = false;
        for (int i = 0; i < drop - 1 && !below; ++i) below = bitAt(i);
        const int whole = drop / 32;
        const int part = drop % 32;
        int kept = 0;
        for (int i = whole; i < count; ++i) {
            std::uint64_t limb = limbs[i] >> part;
            if (part != 0 && i + 1 < count) limb |= std::uint64_t{limbs[i + 1]} << (32 - part);
            limbs[kept++] = static_cast<std::uint32_t>(limb);
        }
        count = kept;
        while (count > 0 && limbs[count - 1] == 0) --count;
        const bool odd = count > 0 && (limbs[0] & 1u) != 0;
        if (half && (below || odd)) {
            int i = 0;
            while (i < count && ++limbs[i] == 0) ++i;
            if (i == count) limbs[count++] = 1;
        }
    }

    // Decimal digits, nine at a time from the least significant end.
    char digits[340];
    int length = 0;
    while (count > 0) {
        std::uint64_t remainder = 0;
        for (int i = count - 1; i >= 0; --i) {
            const std::uint64_t current = (remainder << 32) | limbs[i];
            limbs[i] = static_cast<std::uint32_t>(current / 1000000000u);
            remainder = current % 1000000000u;
        }
        while (count > 0 && limbs[count - 1] == 0) --count;
        for (int i = 0; i < 9 && (count > 0 || remainder != 0); ++i) {
            digits[length++] = static_cast<char>('0' + remainder % 10);
            remainder /= 10;
        }
    }
    while (length < 7) digits[length++] = '0';  // at least "0.000000"

    std::string text;
    text.reserve(static_cast<std::size_t>(length) + 2);
    if (negative) text.push_back('-');
    for (int i = length - 1; i >= 0; --i) {
        text.push_back(digits[i]);
        if (i == 6) text.push_back('.');
    }
    return text;
}

}  // namespace zk

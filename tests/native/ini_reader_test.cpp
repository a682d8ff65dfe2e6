// Typed reads: strtol and atof as the plugin uses them, the defaults, and where the
// file is looked for.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <vector>

#include <unistd.h>

#include "settings/ini_reader.h"
#include "test_support.h"

using zk::ParseDecimal;
using zk::ParseFloat;
using zk::ParseInteger;

namespace {

std::uint32_t Bits(float value) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, 4);
    return bits;
}

// ---- Integers ----

TEST(ParseInteger, DecimalWithTrailingText) {
    EXPECT_EQ(ParseInteger("1"), 1);
    EXPECT_EQ(ParseInteger("01"), 1);
    EXPECT_EQ(ParseInteger("1.9"), 1);
    EXPECT_EQ(ParseInteger("2"), 2);
    EXPECT_EQ(ParseInteger("-1"), -1);
    EXPECT_EQ(ParseInteger("+7 ; x"), 7);
    EXPECT_EQ(ParseInteger("  \t12abc"), 12);
    EXPECT_EQ(ParseInteger("1e5"), 1);
}

TEST(ParseInteger, HexOnlyAfterALeading0x) {
    EXPECT_EQ(ParseInteger("0x1"), 1);
    EXPECT_EQ(ParseInteger("0X01"), 1);
    EXPECT_EQ(ParseInteger("0x10 ; note"), 16);
    EXPECT_EQ(ParseInteger("0xfF"), 255);
    EXPECT_EQ(ParseInteger("0x1g"), 1);
    EXPECT_EQ(ParseInteger("10"), 10);    // no prefix: decimal
    EXPECT_EQ(ParseInteger("010"), 10);   // a leading zero too: not octal
    EXPECT_EQ(ParseInteger("09"), 9);
    EXPECT_EQ(ParseInteger("1f"), 1);
    EXPECT_EQ(ParseInteger("-0x1"), 0);  // the first byte is '-': decimal "-0"
    EXPECT_EQ(ParseInteger(" 0x10"), 0);  // the first byte is a space: decimal "0"
}

TEST(ParseInteger, NoNumberGivesZero) {
    EXPECT_EQ(ParseInteger(""), 0);
    EXPECT_EQ(ParseInteger("true"), 0);
    EXPECT_EQ(ParseInteger("-"), 0);
    EXPECT_EQ(ParseInteger("+"), 0);
    EXPECT_EQ(ParseInteger("0x"), 0);
    EXPECT_EQ(ParseInteger("0x-1"), 0);
    EXPECT_EQ(ParseInteger("0xx1"), 0);
    EXPECT_EQ(ParseInteger(" "), 0);
}

TEST(ParseInteger, OutOfRangeSaturatesLikeA32BitStrtol) {
    EXPECT_EQ(ParseInteger("2147483647"), 2147483647);
    EXPECT_EQ(ParseInteger("2147483646"), 2147483646);
    EXPECT_EQ(ParseInteger("2147483648"), 2147483647);
    EXPECT_EQ(ParseInteger("-2147483647"), -2147483647);
    EXPECT_EQ(ParseInteger("-2147483648"), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(ParseInteger("-2147483649"), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(ParseInteger("99999999999"), 2147483647);
    EXPECT_EQ(ParseInteger("-99999999999"), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(ParseInteger("0xFFFFFFFF"), 2147483647);
    EXPECT_EQ(ParseInteger("0xFFFFFFFFF"), 2147483647);
    EXPECT_EQ(ParseInteger("0x7FFFFFFF"), 2147483647);
    EXPECT_EQ(ParseInteger("0x80000000"), 2147483647);
    EXPECT_EQ(ParseInteger(std::string(5000, '9')), 2147483647);
    EXPECT_EQ(ParseInteger("4294967297"), 2147483647);  // would wrap to 1 in 32 bits
}

TEST(ParseInteger, OnlyTheSixWhitespaceBytesAreSkipped) {
    EXPECT_EQ(ParseInteger("\v\f\r\n 5"), 5);
    EXPECT_EQ(ParseInteger("\xA0" "5"), 0);
}

// ---- Floats ----

TEST(ParseFloat, DecimalWithFullStop) {
    EXPECT_EQ(ParseFloat("400"), 400.0f);
    EXPECT_EQ(ParseFloat(" -30.5xyz"), -30.5f);
    EXPECT_EQ(ParseFloat("+.5"), 0.5f);
    EXPECT_EQ(ParseFloat("5."), 5.0f);
    EXPECT_EQ(ParseFloat("12,5"), 12.0f);
    EXPECT_EQ(ParseFloat("1e3"), 1000.0f);
    EXPECT_EQ(ParseFloat("1E+2"), 100.0f);
    EXPECT_EQ(ParseFloat("2.5e-1"), 0.25f);
    EXPECT_EQ(ParseFloat("1e"), 1.0f);
    EXPECT_EQ(ParseFloat("1e+"), 1.0f);
    EXPECT_EQ(ParseFloat("3 ; note"), 3.0f);
}

TEST(ParseFloat, NoNumberGivesZero) {
    for (const char* text : {"", "wide", ".", "-", "+", "e5", "-.e1", " ", "nan", "inf",
                             "infinity", "-inf"}) {
        EXPECT_EQ(Bits(ParseFloat(text)), 0u) << text;
    }
}

TEST(ParseFloat, HexIsNotAFloatHere) {
    EXPECT_EQ(ParseFloat("0x10"), 0.0f);
    EXPECT_EQ(ParseFloat("0x1p3"), 0.0f);
}

TEST(ParseFloat, NegativeZeroKeepsItsSign) {
    EXPECT_EQ(Bits(ParseFloat("-0")), 0x80000000u);
    EXPECT_EQ(Bits(ParseFloat("-0.0e5")), 0x80000000u);
}

TEST(ParseFloat, BeyondTheFloatRangeIsInfinity) {
    EXPECT_EQ(ParseFloat("1e30"), 1e30f);
    EXPECT_EQ(ParseFloat("1e40"), std::numeric_limits<float>::infinity());
    EXPECT_EQ(ParseFloat("-1e40"), -std::numeric_limits<float>::infinity());
    EXPECT_EQ(ParseFloat("1e400"), std::numeric_limits<float>::infinity());
    EXPECT_EQ(ParseFloat("-1e99999999999999"), -std::numeric_limits<float>::infinity());
    EXPECT_EQ(ParseFloat("340282346638528859811704183484516925440"),
              std::numeric_limits<float>::max());
    // Between FLT_MAX and the rounding midpoint: still FLT_MAX; at it: infinity.
    EXPECT_EQ(ParseFloat("3.4028235e38"), std::numeric_limits<float>::max());
    EXPECT_EQ(ParseFloat("3.402823567e38"), std::numeric_limits<float>::max());
    EXPECT_EQ(ParseFloat("3.4028236e38"), std::numeric_limits<float>::infinity());
    // Exactly the midpoint, 0x1.ffffffp127: a tie, which rounds to even, infinity.
    EXPECT_EQ(ParseFloat("340282356779733661637539395458142568448"), std::numeric_limits<float>::infinity());
    EXPECT_EQ(ParseFloat("-340282356779733661637539395458142568448"), -std::numeric_limits<float>::infinity());
    // The double just below it (2^75 less): the largest float. (Nearer to the tie,
    // a decimal first rounds to the tie's double, as strtod's does.)
    EXPECT_EQ(ParseFloat("340282356779733623858607532500980858880"), std::numeric_limits<float>::max());
}

TEST(ParseFloat, TinyValuesBecomeZeroOrSubnormal) {
    EXPECT_EQ(Bits(ParseFloat("1e-50")), 0u);
    EXPECT_EQ(Bits(ParseFloat("-1e-50")), 0x80000000u);
    EXPECT_EQ(Bits(ParseFloat("1e-400")), 0u);
    EXPECT_EQ(Bits(ParseFloat("0.000000000000000000000000000000000000000000001")), 1u);
    EXPECT_EQ(Bits(ParseFloat("0e999999")), 0u);
}

TEST(ParseFloat, DoubleThenFloatRounding) {
    // atof rounds to double first; the double then rounds to the nearest float.
    EXPECT_EQ(ParseDecimal("0.1"), 0.1);
    EXPECT_EQ(Bits(ParseFloat("0.1")), 0x3DCCCCCDu);
    EXPECT_EQ(Bits(ParseFloat("2.56")), 0x4023D70Au);
    EXPECT_EQ(Bits(ParseFloat("340")), 0x43AA0000u);
    EXPECT_EQ(ParseDecimal("1.00000000000000011102230246251565404236316680908203125"),
              1.0);  // exactly half an ulp above 1: ties to even
}

TEST(ParseFloat, ManyDigitsStillRoundCorrectly) {
    EXPECT_EQ(ParseDecimal("0." + std::string(400, '0') + "1e401"), 1.0);
    EXPECT_EQ(ParseDecimal(std::string(400, '1') + "e-399"), 10.0 / 9.0);
    EXPECT_EQ(ParseFloat("1" + std::string(40, '0')), std::numeric_limits<float>::infinity());
}

// Against glibc's strtod, which rounds every input correctly: the exact ties
// between two doubles (written out in full from an 80-bit long double, which holds
// them), the decimals one unit in the last place either side of them, ties that
// are not ties only past the reader's 800 digits, and random doubles written with
// 1 to 17 significant digits, across the whole range, subnormals included.
TEST(ParseDecimal, MatchesAnExactStrtod) {
    std::vector<std::string> texts = {"2.2250738585072011e-308", "2.2250738585072012e-308",
                                      "4.9406564584124654e-324", "2.4703282292062327e-324",
                                      "2.4703282292062328e-324", "1.7976931348623157e308",
                                      "1.7976931348623158e308", "1.7976931348623159e308",
                                      "9007199254740993", "9007199254740992.5", "0.1e-330",
                                      "1e-330", "1e310", "123456789012345678901234567890"};
    const auto withLastDigit = [](std::string text, int change) {
        const std::size_t e = text.find('e');
        std::size_t last = e - 1;
        while (change != 0) {  // a decimal change in the last digit, with carry or borrow
            char& c = text[last];
            if (c == '.') { --last; continue; }
            const int digit = c - '0' + change;
            change = digit < 0 ? -1 : digit > 9 ? 1 : 0;
            c = static_cast<char>('0' + (digit + 10) % 10);
            --last;
        }
        return text;
    };
    std::uint64_t state = 0x2545F4914F6CDD1Dull;
    const auto next = [&state] {
        state ^= state << 13, state ^= state >> 7, state ^= state << 17;
        return state;
    };
    for (int i = 0; i < 3000; ++i) {
        const std::uint64_t bits = next() & 0x7FFFFFFFFFFFFFFFull;
        double low;
        std::memcpy(&low, &bits, sizeof low);
        if (!std::isfinite(low)) continue;
        const long double tie = (static_cast<long double>(low) +
                                 std::nextafter(low, std::numeric_limits<double>::infinity())) / 2;
        char exact[1200];
        std::snprintf(exact, sizeof exact, "%.800Le", tie);
        const std::string written = exact;
        // Shortest exact form: the trailing zeros of the 800 places go.
        const std::size_t e = written.find('e');
        std::size_t end = e;
        while (written[end - 1] == '0') --end;
        const std::string mantissa = written.substr(0, end);
        const std::string power = written.substr(e);
        const std::string text = mantissa + power;
        texts.push_back(text);
        texts.push_back(withLastDigit(text, 1));
        texts.push_back(withLastDigit(text, -1));
        // The tie with digits past 800 that are zero, or one that is not.
        texts.push_back(mantissa + std::string(900 - mantissa.size(), '0') + power);
        texts.push_back(mantissa + std::string(900 - mantissa.size(), '0') + "1" + power);
        std::snprintf(exact, sizeof exact, "%.*e", static_cast<int>(next() % 17), low);
        texts.push_back(exact);
    }
    // Just below a power of two by less than a double holds: rounding carries into
    // the next binade, and the exponent must rise with it. 2^k - 1 followed by a
    // fraction of 25 nines, and 2^-k with its last digit, a 5, lowered by one and 25
    // nines after it.
    for (int k = 0; k <= 64; ++k) {
        char power[128];
        std::snprintf(power, sizeof power, "%.0Lf", std::ldexp(1.0L, k) - 1);
        texts.push_back(std::string(power) + "." + std::string(25, '9'));
    }
    for (int k = 1; k <= 60; ++k) {
        char power[128];
        std::snprintf(power, sizeof power, "%.*Lf", k, std::ldexp(1.0L, -k));
        std::string text = power;
        text.back() = '4';
        texts.push_back(text + std::string(25, '9'));
    }
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    std::setlocale(LC_ALL, "C");
    for (const std::string& text : texts) {
        const double expected = std::strtod(text.c_str(), nullptr);
        const double mine = ParseDecimal(text);
        ASSERT_EQ(std::memcmp(&mine, &expected, sizeof mine), 0)
            << text << "\n  gives " << std::hexfloat << mine << ", strtod " << expected;
    }
    std::setlocale(LC_ALL, saved.c_str());
}

TEST(ParseFloat, IndependentOfTheProcessLocale) {
    // A host may set a locale whose decimal point is a comma.
    const char* previous = std::setlocale(LC_ALL, nullptr);
    const std::string saved = previous ? previous : "C";
    const char* german = std::setlocale(LC_ALL, "de_DE.UTF-8");
    ASSERT_NE(german, nullptr) << "the de_DE.UTF-8 locale is missing (scripts/setup.sh makes it)";
    ASSERT_STREQ(std::localeconv()->decimal_point, ",");
    EXPECT_EQ(ParseFloat("12.5"), 12.5f);
    EXPECT_EQ(ParseFloat("12,5"), 12.0f);
    EXPECT_EQ(zk::FormatFixed(340.0), "340.000000");
    std::setlocale(LC_ALL, saved.c_str());
}

TEST(FormatFixed, RendersLikePercentF) {
    EXPECT_EQ(zk::FormatFixed(340.0), "340.000000");
    EXPECT_EQ(zk::FormatFixed(0.0), "0.000000");
    EXPECT_EQ(zk::FormatFixed(-1.5), "-1.500000");
    EXPECT_EQ(zk::FormatFixed(1e-7), "0.000000");
    EXPECT_EQ(zk::FormatFixed(static_cast<double>(3.14159274f)), "3.141593");
    EXPECT_EQ(zk::FormatFixed(1e20), "100000000000000000000.000000");
}

// Every kind of double against the C library's own "%f": exact ties at the sixth
// place (1/128 goes down to even, 3/128 up), values near ties, subnormals, the largest values,
// negative zero, infinities and NaNs, then random bit patterns.
TEST(FormatFixed, MatchesTheCLibraryBitForBit) {
    std::vector<double> values = {0.0, -0.0, 0.0078125, 0.0234375, -1.0078125, 0.0000005, 0.0000015, 0.0000025, -0.0000005,
                                  2.5e-6, 1e-6, 5e-7, 4.9999999999999998e-7, 0.9999995,
                                  9.9999995, 123456.7890125, 0.5, 1.0, 4294967296.0,
                                  9007199254740993.0, 1.8446744073709552e19,
                                  std::numeric_limits<double>::max(),
                                  std::numeric_limits<double>::min(),
                                  std::numeric_limits<double>::denorm_min(),
                                  std::numeric_limits<double>::infinity(),
                                  -std::numeric_limits<double>::infinity(),
                                  std::numeric_limits<double>::quiet_NaN(),
                                  -std::numeric_limits<double>::quiet_NaN()};
    std::uint64_t state = 0x9E3779B97F4A7C15ull;
    for (int i = 0; i < 20000; ++i) {
        state ^= state << 13, state ^= state >> 7, state ^= state << 17;
        double value;
        // Half anywhere, half near the range that six places can tell apart.
        const std::uint64_t exponent = 0x3E0 + static_cast<std::uint64_t>(i / 2) % 0x90;
        const std::uint64_t bits = i % 2 ? state : (state & 0x800FFFFFFFFFFFFFull) | exponent << 52;
        std::memcpy(&value, &bits, sizeof value);
        values.push_back(value);
    }
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    std::setlocale(LC_ALL, "C");
    for (double value : values) {
        char expected[400];
        std::snprintf(expected, sizeof expected, "%f", value);
        ASSERT_EQ(zk::FormatFixed(value), expected) << std::hexfloat << value;
    }
    std::setlocale(LC_ALL, saved.c_str());
}

// ---- The reader over a document ----

class Reader : public testing::Test {
protected:
    void Use(const std::string& text) {
        folder_.Write("settings.ini", text);
        testing_support::ResetPluginState(folder_.Path());
        reader_.Open("settings.ini", 12);
    }
    testing_support::TempFolder folder_;
    zk::IniReader reader_;
};

TEST_F(Reader, ReadIntegerDefaultAndValues) {
    Use("[general]\nForceLodA = 0x10 ; note\nforcelodA=1\nEmpty=\nWord=abc\n");
    EXPECT_EQ(reader_.ReadInteger("GENERAL", "ForceLodA", 0), 16);
    EXPECT_EQ(reader_.ReadInteger("GENERAL", "Missing", 0), 0);
    EXPECT_EQ(reader_.ReadInteger("GENERAL", "Missing", -5), -5);
    EXPECT_EQ(reader_.ReadInteger("GENERAL", "Missing", 0x7FFFFFFF), 0x7FFFFFFF);
    EXPECT_EQ(reader_.ReadInteger("GENERAL", "Missing", std::numeric_limits<std::int32_t>::min()),
              std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(reader_.ReadInteger("OTHER", "ForceLodA", 3), 3);
    EXPECT_EQ(reader_.ReadInteger("GENERAL", "Empty", 3), 0);
    EXPECT_EQ(reader_.ReadInteger("GENERAL", "Word", 3), 0);
}

TEST_F(Reader, ReadFloatDefaultAndValues) {
    Use("[GENERAL]\nFrontSteerAngle = 400\nEmpty=\nWide=wide\nComma=12,5\n");
    EXPECT_EQ(reader_.ReadFloat("GENERAL", "FrontSteerAngle", 340.0f), 400.0f);
    EXPECT_EQ(reader_.ReadFloat("GENERAL", "Missing", 340.0f), 340.0f);
    EXPECT_EQ(reader_.ReadFloat("NONE", "FrontSteerAngle", 340.0f), 340.0f);
    EXPECT_EQ(reader_.ReadFloat("GENERAL", "Empty", 340.0f), 0.0f);
    EXPECT_EQ(reader_.ReadFloat("GENERAL", "Wide", 340.0f), 0.0f);
    EXPECT_EQ(reader_.ReadFloat("GENERAL", "Comma", 340.0f), 12.0f);
}

TEST_F(Reader, ADefaultGoesThroughItsSixDecimalsText) {
    Use("[GENERAL]\n");
    EXPECT_EQ(reader_.ReadFloat("GENERAL", "X", 0.1f), 0.1f);
    EXPECT_EQ(reader_.ReadFloat("GENERAL", "X", 1e-7f), 0.0f);  // "0.000000"
    EXPECT_EQ(reader_.ReadFloat("GENERAL", "X", 2.0000001f), 2.0f);
    EXPECT_EQ(reader_.ReadFloat("GENERAL", "X", -340.0f), -340.0f);
}

TEST_F(Reader, MissingFileGivesDefaults) {
    testing_support::ResetPluginState(folder_.Path());
    reader_.Open("absent.ini", 10);
    EXPECT_EQ(reader_.Path, folder_.Path() + "absent.ini");
    EXPECT_TRUE(reader_.Document.Sections.empty());
    EXPECT_EQ(reader_.ReadFloat("GENERAL", "FrontSteerAngle", 340.0f), 340.0f);
    EXPECT_EQ(reader_.ReadInteger("GENERAL", "ForceLodA", 0), 0);
}

TEST_F(Reader, PathIsThePluginFolderFollowedByTheName) {
    Use("[GENERAL]\nA=1\n");
    EXPECT_EQ(reader_.Path, folder_.Path() + "settings.ini");
    EXPECT_EQ(reader_.ReadInteger("GENERAL", "A", 0), 1);
}

TEST_F(Reader, BackslashesInTheNameAreFolders) {
    folder_.Write("KavrinCars/Car1.ini", "[GENERAL]\nForceLodA=1\n");
    testing_support::ResetPluginState(folder_.Path());
    reader_.Open("KavrinCars\\Car1.ini", 19);
    EXPECT_EQ(reader_.ReadInteger("GENERAL", "ForceLodA", 0), 1);
}

TEST_F(Reader, OnlyTheGivenLengthOfTheNameCounts) {
    Use("[GENERAL]\nA=1\n");
    zk::IniReader reader;
    reader.Open("settings.ini.bak", 12);
    EXPECT_EQ(reader.ReadInteger("GENERAL", "A", 0), 1);
}

TEST(PluginFolder, IsTheFolderOfTheModuleHoldingTheCode) {
    // Without a folder named by UsePluginFolder, it comes from the module that holds
    // the settings code: here, the test program itself, never the working directory.
    zk::os::UsePluginFolder("");
    char exe[4096] = {};
    ASSERT_GT(readlink("/proc/self/exe", exe, sizeof exe - 1), 0);
    const std::string path = exe;
    EXPECT_EQ(zk::os::PluginFolder(), path.substr(0, path.rfind('/') + 1));
}

}  // namespace

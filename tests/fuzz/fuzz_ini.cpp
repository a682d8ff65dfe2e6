// Parse, GetValue and the typed reads on any text. Besides the sanitizers, checks
// what a parsed document must be, and the number conversions against the C
// library's strtol and strtod as oracles.
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "settings/ini_document.h"
#include "settings/ini_lines.h"
#include "settings/ini_reader.h"

namespace {

void Require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "fuzz_ini: %s\n", what);
        std::abort();
    }
}

bool HasLeadingMark(const std::string& text) { return text.rfind("\xEF\xBB\xBF", 0) == 0; }

// strtol of a 32-bit long, with the plugin's choice of base.
std::int32_t OracleInteger(const std::string& text) {
    const char* c = text.c_str();  // stops at a NUL, as the C library does
    const int base = c[0] == '0' && (c[1] == 'x' || c[1] == 'X') ? 16 : 10;
    const long long value = std::strtoll(c, nullptr, base);
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return static_cast<std::int32_t>(value);
}

// strtod, for texts that its grammar reads like atof's classic one: no inf, nan or
// hexadecimal after the sign.
bool OracleDecimal(const std::string& text, double& value) {
    const char* c = text.c_str();
    while (*c == ' ' || (*c >= '\t' && *c <= '\r')) ++c;
    if (*c == '+' || *c == '-') ++c;
    if ((c[0] == 'i' || c[0] == 'I' || c[0] == 'n' || c[0] == 'N') ||
        (c[0] == '0' && (c[1] == 'x' || c[1] == 'X'))) {
        return false;
    }
    value = std::strtod(text.c_str(), nullptr);
    return true;
}

void CheckNumbers(const std::string& text) {
    Require(zk::ParseInteger(text) == OracleInteger(text), "ParseInteger differs from strtol");
    double oracle = 0;
    if (OracleDecimal(text, oracle)) {
        const double mine = zk::ParseDecimal(text);
        Require(std::memcmp(&mine, &oracle, sizeof mine) == 0 || (std::isnan(mine) && std::isnan(oracle)),
                "ParseDecimal differs from strtod");
        const float narrowed = zk::ParseFloat(text);
        Require(std::isinf(narrowed) == (std::fabs(oracle) >= 0x1.ffffffp127), "float overflow rule");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::string text = zk::TranslateTextMode(bytes);
    std::string expected;  // byte by byte: up to 0x1A, each CR of an input CR LF dropped
    for (std::size_t i = 0; i < bytes.size() && bytes[i] != '\x1A'; ++i) {
        if (!(bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')) expected.push_back(bytes[i]);
    }
    Require(text == expected, "text mode");

    zk::IniDocument document;
    Require(document.Parse(text) == !text.empty(), "Parse result");
    for (const auto& [name, keys] : document.Sections) {
        // (A mark may follow whitespace that the cleaning removes after the marks.)
        Require(name.empty() || !zk::IsIniSpace(name.front()), "section name front");
        Require(name.empty() || !zk::IsIniSpace(name.back()), "section name back");
        Require(name.find('\n') == std::string::npos && name.find(';') == std::string::npos, "section name bytes");
        std::string stored;
        const zk::IniDocument::Section* consulted = document.FindSection(name, &stored);
        Require(consulted != nullptr && stored <= name, "the first matching section comes first");
        for (const auto& [key, value] : keys) {
            Require(key.find('=') == std::string::npos && key.find(';') == std::string::npos &&
                        key.find('\n') == std::string::npos, "key bytes");
            Require(!HasLeadingMark(key) && (key.empty() || !zk::IsIniSpace(key.back())), "key cleaning");
            Require(value.empty() || !zk::IsIniSpace(value.front()), "value cleaning");
            Require(value.find(';') == std::string::npos && value.find('\n') == std::string::npos, "value bytes");
            if (consulted == &keys) {
                Require(document.GetValue(name, key, "\x01" "default") == value, "GetValue");
            }
            CheckNumbers(value);
        }
    }
    CheckNumbers(bytes.substr(0, 64));

    // A second parse of the same text changes nothing.
    const auto before = document.Sections;
    document.Parse(text);
    Require(document.Sections == before, "a second parse changed the document");
    return 0;
}

// A settings file beside the plugin, loaded once, with typed reads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/os.h"
#include "settings/ini_document.h"

namespace zk {

struct IniReader {
    os::NativePath Path;  // the plugin's folder followed by the name; empty until Open
    IniDocument Document;

    IniReader() = default;
    IniReader(const IniReader&) = delete;
    IniReader& operator=(const IniReader&) = delete;

    // Resolves Path against the plugin's folder (never the working directory) and
    // loads Document from it. A missing or unreadable file leaves it empty.
    void Open(const char* name, std::size_t length);

    // strtol of the value text (base 16 only after a leading 0x or 0X), as a 32-bit
    // integer; the default when the section or key is missing.
    std::int32_t ReadInteger(const char* section, const char* key,
                             std::int32_t defaultValue) const;

    // atof of the value text in the classic C locale, then the nearest float; the
    // default (rendered with "%f" and read back) when the section or key is missing.
    float ReadFloat(const char* section, const char* key, float defaultValue) const;
};

// Where a number's digits start: after the C library's whitespace and one sign.
std::size_t SkipSpaceAndSign(std::string_view text, bool* negative = nullptr);

// The conversions, on their own.
std::int32_t ParseInteger(std::string_view text);
double ParseDecimal(std::string_view text);
float ParseFloat(std::string_view text);
float NarrowToFloat(double value);  // nearest float; beyond the range, +-infinity
std::string FormatFixed(double value);  // "%f" in the classic C locale

}  // namespace zk

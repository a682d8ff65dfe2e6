// Just enough JSON for the tools' reports: values are built as text and joined.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zk {
struct GlobalSettingsRecord;
}

namespace zk::json {

// A string value. Valid UTF-8 passes through; a byte that is not part of a valid
// UTF-8 sequence is written as \u00XX, so settings text in any code page survives.
std::string String(std::string_view bytes);

std::string Bool(bool value);
std::string Integer(std::int64_t value);
std::string Hex(std::uint32_t value);  // "0x…" as a string value

// A float that reads back as the same float; "inf", "-inf" and "nan" as strings.
std::string Float(float value);

constexpr const char* kNull = "null";

// Members and items are JSON texts already.
std::string Object(const std::vector<std::pair<std::string, std::string>>& members);
std::string Array(const std::vector<std::string>& items);

// The five values of the main settings file, as every report shows them.
std::string GlobalSettings(const GlobalSettingsRecord& settings);

}  // namespace zk::json

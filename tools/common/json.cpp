#include "json.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "settings/global_settings.h"

namespace zk::json {
namespace {

// Length of the valid UTF-8 sequence at text[at], or 0.
std::size_t Utf8Sequence(std::string_view text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    std::size_t length = 0;
    std::uint32_t code = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07;
    } else {
        return 0;
    }
    if (at + length > text.size()) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) return 0;
        code = (code << 6) | (byte(at + i) & 0x3F);
    }
    // No overlong forms, no surrogates, nothing beyond U+10FFFF.
    if ((length == 3 && code < 0x800) || (length == 4 && code < 0x10000) ||
        (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) {
        return 0;
    }
    return length;
}

void AppendEscape(std::string& out, unsigned char byte) {
    char escape[8];
    std::snprintf(escape, sizeof escape, "\\u%04X", byte);
    out += escape;
}

}  // namespace

std::string String(std::string_view bytes) {
    std::string out = "\"";
    for (std::size_t at = 0; at < bytes.size();) {
        const unsigned char c = static_cast<unsigned char>(bytes[at]);
        if (c < 0x80) {
            switch (c) {
                case '"': out += "\\\""; break;
                case '\\': out += "\\\\"; break;
                case '\n': out += "\\n"; break;
                case '\r': out += "\\r"; break;
                case '\t': out += "\\t"; break;
                default:
                    if (c < 0x20 || c == 0x7F) AppendEscape(out, c);
                    else out.push_back(static_cast<char>(c));
            }
            ++at;
            continue;
        }
        const std::size_t length = Utf8Sequence(bytes, at);
        if (length == 0) {
            AppendEscape(out, c);
            ++at;
        } else {
            out.append(bytes.substr(at, length));
            at += length;
        }
    }
    out.push_back('"');
    return out;
}

std::string Bool(bool value) { return value ? "true" : "false"; }

std::string Integer(std::int64_t value) { return std::to_string(value); }

std::string Hex(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "\"0x%X\"", static_cast<unsigned>(value));
    return text;
}

std::string Float(float value) {
    if (std::isnan(value)) return "\"nan\"";
    if (std::isinf(value)) return value > 0 ? "\"inf\"" : "\"-inf\"";
    char text[64];
    const auto written = std::to_chars(text, text + sizeof text, value);
    return std::string(text, written.ptr);
}

std::string Object(const std::vector<std::pair<std::string, std::string>>& members) {
    std::string out = "{";
    for (std::size_t i = 0; i < members.size(); ++i) {
        if (i != 0) out += ", ";
        out += String(members[i].first) + ": " + members[i].second;
    }
    return out + "}";
}

std::string Array(const std::vector<std::string>& items) {
    std::string out = "[";
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i != 0) out += ", ";
        out += items[i];
    }
    return out + "]";
}

std::string GlobalSettings(const GlobalSettingsRecord& settings) {
    std::vector<std::pair<std::string, std::string>> members;
    for (const GlobalKey& key : kGlobalKeys) {
        members.push_back({key.Name, key.Switch != nullptr ? Bool(settings.*key.Switch) : Float(settings.*key.Number)});
    }
    return Object(members);
}

}  // namespace zk::json

// One parsed settings file: sections of keys with their value texts, as bytes.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>

#include "core/os.h"

namespace zk {

struct IniDocument {
    // Both maps order by plain unsigned byte comparison (std::string's own order),
    // so storage is case-sensitive; only the section lookup folds ASCII case.
    using Section = std::map<std::string, std::string, std::less<>>;
    std::map<std::string, Section, std::less<>> Sections;

    // Reads the file whole (text mode, see TranslateTextMode) and parses it. False
    // when it cannot be opened or holds no text; the document is then unchanged.
    bool Load(const os::NativePath& path);

    // Parses text into Sections, adding to what is there; first occurrence of a key
    // in a section wins. False for an empty text.
    bool Parse(std::string_view text);

    // The section lookups use: the first in stored order whose name matches ignoring
    // ASCII case (its stored name in foundName), or null.
    const Section* FindSection(std::string_view name, std::string* foundName = nullptr) const;

    // A copy of the value, or of defaultText when the section or key is missing.
    // The section is the first in stored order whose name matches ignoring ASCII
    // case; only that section is consulted. Keys match exactly.
    std::string GetValue(std::string_view section, std::string_view key,
                         std::string_view defaultText) const;
};

// Cleaning: removes every leading UTF-8 byte-order mark (always), then whitespace
// (09 0A 0B 0C 0D 20) at the front and/or the back.
void Trim(std::string& text, bool front, bool back);

// The platform text mode, done the same on every platform: the text ends at the
// first 0x1A, and CR LF becomes LF (a lone CR stays).
std::string TranslateTextMode(std::string_view bytes);

}  // namespace zk

// The line walk of the INI format: how a settings text splits into lines, what the
// comment and cleaning rules leave of each, and what each line is. IniDocument::Parse
// is built on it; the settings checker walks the same lines to point at mistakes.
#pragma once

#include <cstddef>
#include <string_view>

namespace zk {

inline bool IsIniSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Cleaning without copying: leading byte-order marks (always), then whitespace at
// the front and/or the back.
inline std::string_view TrimView(std::string_view text, bool front, bool back) {
    if (text.empty()) return text;
    while (text.size() >= 3 && text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    if (front) {
        while (!text.empty() && IsIniSpace(text.front())) text.remove_prefix(1);
    }
    if (back) {
        while (!text.empty() && IsIniSpace(text.back())) text.remove_suffix(1);
    }
    return text;
}

struct IniLine {
    enum Kind { kBlank, kHeader, kKey };
    Kind What = kBlank;
    std::size_t Number = 0;   // 1 for the first line of the text
    std::string_view Raw;     // the whole line, comments included
    std::string_view Kept;    // what is left after the comments, cleaned
    std::string_view Name;    // kHeader: the section name, cleaned
    std::string_view Key;     // kKey
    std::string_view Value;   // kKey (empty without an equals sign)
};

// Calls visit(const IniLine&) for every line of the text, in order: lines end at
// line feeds; a last line without one counts, an empty text after the last one
// does not.
template <typename Visit>
void ForEachIniLine(std::string_view text, Visit&& visit) {
    std::size_t start = 0;
    std::size_t number = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        IniLine line;
        line.Number = ++number;
        line.Raw = text.substr(start, end - start);
        start = end + 1;

        std::string_view kept = line.Raw.substr(0, line.Raw.find(';'));
        if (kept.size() >= 3) {
            const std::size_t slashes = kept.rfind(" //");  // the last one cuts
            if (slashes != std::string_view::npos) kept = kept.substr(0, slashes);
        }
        kept = TrimView(kept, true, true);
        line.Kept = kept;
        if (!kept.empty()) {
            // The header test comes first: [a=b] is the section named a=b.
            if (kept.front() == '[' && kept.back() == ']') {
                line.What = IniLine::kHeader;
                line.Name = TrimView(kept.substr(1, kept.size() - 2), true, true);
            } else {
                // Without an equals sign the key is the whole line; cleaned either way.
                line.What = IniLine::kKey;
                const std::size_t equals = kept.find('=');
                line.Key = TrimView(kept.substr(0, equals), false, true);
                if (equals != std::string_view::npos) {
                    line.Value = TrimView(kept.substr(equals + 1), true, false);
                }
            }
        }
        visit(static_cast<const IniLine&>(line));
    }
}

}  // namespace zk

#include "settings/ini_document.h"

namespace zk {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool IsIniSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');  // 09 0A 0B 0C 0D and 20
}

std::string_view TrimView(std::string_view text, bool front, bool back) {
    if (text.empty()) return text;
    while (text.size() >= 3 && text.substr(0, 3) == kByteOrderMark) text.remove_prefix(3);
    if (front) {
        while (!text.empty() && IsIniSpace(text.front())) text.remove_prefix(1);
    }
    if (back) {
        while (!text.empty() && IsIniSpace(text.back())) text.remove_suffix(1);
    }
    return text;
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x + 0x20);
        if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y + 0x20);
        if (x != y) return false;
    }
    return true;
}

}  // namespace

void Trim(std::string& text, bool front, bool back) {
    const std::string_view kept = TrimView(text, front, back);
    if (kept.size() != text.size()) text = std::string(kept);
}

std::string TranslateTextMode(std::string_view bytes) {
    const std::size_t end = bytes.find('\x1A');
    if (end != std::string_view::npos) bytes = bytes.substr(0, end);
    std::string text;
    text.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') continue;
        text.push_back(bytes[i]);
    }
    return text;
}

bool IniDocument::Load(const os::NativePath& path) {
    std::string bytes;
    if (!os::ReadWholeFile(path, bytes)) return false;
    return Parse(TranslateTextMode(bytes));
}

bool IniDocument::Parse(std::string_view text) {
    if (text.empty()) return false;
    Section* current = nullptr;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;

        line = line.substr(0, line.find(';'));
        if (line.size() >= 3) {
            const std::size_t slashes = line.rfind(" //");
            if (slashes != std::string_view::npos) line = line.substr(0, slashes);
        }
        line = TrimView(line, true, true);
        if (line.empty()) continue;

        if (line.front() == '[' && line.back() == ']') {
            const std::string_view name = TrimView(line.substr(1, line.size() - 2), true, true);
            current = &Sections[std::string(name)];
            continue;
        }

        std::string_view key = line;
        std::string_view value;
        const std::size_t equals = line.find('=');
        if (equals != std::string_view::npos) {
            key = TrimView(line.substr(0, equals), false, true);
            value = TrimView(line.substr(equals + 1), true, false);
        }
        if (current == nullptr) current = &Sections[std::string()];
        current->try_emplace(std::string(key), value);  // the first occurrence wins
    }
    return true;
}

std::string IniDocument::GetValue(std::string_view section, std::string_view key,
                                  std::string_view defaultText) const {
    for (const auto& [name, keys] : Sections) {
        if (!EqualsIgnoringAsciiCase(name, section)) continue;
        const auto found = keys.find(key);
        return found != keys.end() ? found->second : std::string(defaultText);
    }
    return std::string(defaultText);
}

}  // namespace zk

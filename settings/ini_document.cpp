#include "settings/ini_document.h"

#include "settings/ini_lines.h"

namespace zk {
namespace {

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
    // Whole runs up to each CR LF, the CR dropped.
    for (std::size_t from = 0;;) {
        const std::size_t crlf = bytes.find("\r\n", from);
        if (crlf == std::string_view::npos) {
            text.append(bytes.substr(from));
            return text;
        }
        text.append(bytes.substr(from, crlf - from));
        from = crlf + 1;
    }
}

bool IniDocument::Load(const os::NativePath& path) {
    std::string bytes;
    if (!os::ReadWholeFile(path, bytes)) return false;
    return Parse(TranslateTextMode(bytes));
}

bool IniDocument::Parse(std::string_view text) {
    if (text.empty()) return false;
    Section* current = nullptr;
    ForEachIniLine(text, [&](const IniLine& line) {
        if (line.What == IniLine::kHeader) {
            current = &Sections[std::string(line.Name)];  // created, or reopened
        } else if (line.What == IniLine::kKey) {
            if (current == nullptr) current = &Sections[std::string()];
            current->try_emplace(std::string(line.Key), line.Value);  // the first one wins
        }
    });
    return true;
}

const IniDocument::Section* IniDocument::FindSection(std::string_view name,
                                                     std::string* foundName) const {
    for (const auto& [stored, keys] : Sections) {
        if (!EqualsIgnoringAsciiCase(stored, name)) continue;
        if (foundName != nullptr) *foundName = stored;
        return &keys;
    }
    return nullptr;
}

std::string IniDocument::GetValue(std::string_view section, std::string_view key,
                                  std::string_view defaultText) const {
    const Section* keys = FindSection(section);
    if (keys == nullptr) return std::string(defaultText);
    const auto found = keys->find(key);
    return found != keys->end() ? found->second : std::string(defaultText);
}

}  // namespace zk

// The fixes the checker is sure of: a settings or car file under a name Explorer
// hides, saved as UTF-16 or UTF-32, with carriage-return-only line ends, or with a
// known key in the wrong letter case or holding a no-break space. Each is planned
// here, with the bytes it will write, and marked on the problems it mends; nothing
// is written until MakeFixes (fix_apply.cpp) is asked to. A split layout's move is
// planned where the layout is read (check_layout.cpp), the VirtualStore copies'
// where they are found (check_virtualstore.cpp).
#include "check_parts.h"

#include <algorithm>
#include <cstdio>
#include <map>

#include "settings/global_settings.h"
#include "settings/ini_lines.h"

namespace zk::check {
namespace {

// UTF-16 or UTF-32 text (the encoding WideEncoding names) as characters, without
// its byte-order mark. False at a unit that is no character.
bool Decode(const std::string& bytes, const std::string& encoding, std::u32string& text) {
    const bool wide32 = encoding.rfind("UTF-32", 0) == 0;
    const bool big = EndsWith(encoding, "BE");
    const std::size_t unit = wide32 ? 4 : 2;
    const auto at = [&](std::size_t i) -> std::uint32_t {
        std::uint32_t value = 0;
        for (std::size_t b = 0; b < unit; ++b) {
            const std::uint32_t byte = static_cast<unsigned char>(bytes[i + (big ? b : unit - 1 - b)]);
            value = value << 8 | byte;
        }
        return value;
    };
    text.clear();
    for (std::size_t i = 0; i + unit <= bytes.size(); i += unit) {
        std::uint32_t c = at(i);
        if (!wide32 && c >= 0xD800 && c < 0xDC00) {
            if (i + 2 * unit > bytes.size()) return false;
            const std::uint32_t low = at(i + unit);
            if (low < 0xDC00 || low >= 0xE000) return false;
            c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
            i += unit;
        } else if ((c >= 0xD800 && c < 0xE000) || c > 0x10FFFF) {
            return false;
        }
        if (!(text.empty() && c == 0xFEFF)) text.push_back(c);
    }
    return bytes.size() % unit == 0;
}

// A character as the report names it: itself (as UTF-8) and its number.
std::string CharacterName(char32_t c) {
    std::string utf8;
    if (c < 0x20 || c == 0x7F) {
    } else if (c < 0x80) {
        utf8 = std::string(1, static_cast<char>(c));
    } else if (c < 0x800) {
        utf8 = {static_cast<char>(0xC0 | c >> 6), static_cast<char>(0x80 | (c & 0x3F))};
    } else if (c < 0x10000) {
        utf8 = {static_cast<char>(0xE0 | c >> 12), static_cast<char>(0x80 | ((c >> 6) & 0x3F)),
                static_cast<char>(0x80 | (c & 0x3F))};
    } else {
        utf8 = {static_cast<char>(0xF0 | c >> 18), static_cast<char>(0x80 | ((c >> 12) & 0x3F)),
                static_cast<char>(0x80 | ((c >> 6) & 0x3F)), static_cast<char>(0x80 | (c & 0x3F))};
    }
    char number[16];
    std::snprintf(number, sizeof number, "U+%04X", static_cast<unsigned>(c));
    return (utf8.empty() ? std::string() : "'" + utf8 + "' ") + "(" + number + ")";
}

// One file's content, mended: the bytes, and what was mended.
struct Content {
    std::string Bytes;
    std::string Encoding;    // rewritten from this wide encoding
    std::string NoEncoding;  // why the wide text cannot be rewritten
    bool LineEnds = false;   // carriage returns alone made CR LF
    std::vector<std::pair<std::size_t, std::string>> Keys;  // line, the key written there
};

Content Mend(const std::string& bytes, const std::vector<std::string>& keys) {
    Content content{bytes, "", "", false, {}};
    IniDocument narrow;
    narrow.Parse(TranslateTextMode(bytes));
    if (narrow.FindSection(kGeneralSection) == nullptr) {
        const std::string encoding = WideEncoding(bytes);
        if (!encoding.empty()) {
            std::u32string text;
            std::size_t bad = 0;
            std::string ansi;
            if (!Decode(bytes, encoding, text)) {
                content.NoEncoding = "it holds bytes that are no " + encoding + " text";
                return content;
            }
            if (!sys::ToAnsiCodePage(text, ansi, bad)) {
                std::size_t line = 1;
                for (std::size_t i = 0; i < bad; ++i) line += text[i] == U'\n';
                content.NoEncoding = "its character " + CharacterName(text[bad]) + " on line " +
                                     std::to_string(line) + " has no exact form in code page " +
                                     std::to_string(sys::AnsiCodePage()) + "; save it as UTF-8 in Notepad instead";
                return content;
            }
            content.Bytes = ansi;
            content.Encoding = encoding;
        }
    }
    std::string& raw = content.Bytes;
    // Carriage returns alone: the plugin reads the whole file as one line.
    if (raw.find('\n') == std::string::npos && TranslateTextMode(raw).find('\r') != std::string::npos) {
        std::string ended;
        for (const char c : raw) ended += c == '\r' ? std::string("\r\n") : std::string(1, c);
        raw = ended;
        content.LineEnds = true;
    }
    // Keys of the consulted [GENERAL] written in another letter case, or with a
    // no-break space in them: certain only when the right key is not there too and
    // just one line writes it so.
    IniDocument document;
    document.Parse(TranslateTextMode(raw));
    std::string consulted;
    const IniDocument::Section* general = document.FindSection(kGeneralSection, &consulted);
    if (general == nullptr) return content;
    const std::string_view read = std::string_view(raw).substr(0, raw.find('\x1A'));
    std::map<std::string, std::vector<std::pair<std::size_t, std::size_t>>> found;  // name -> (line, key offset)
    std::map<std::size_t, std::size_t> lengths;                                      // key offset -> its length
    std::string section;
    bool inSection = false;
    ForEachIniLine(read, [&](const IniLine& line) {
        if (line.What == IniLine::kHeader) {
            section = std::string(line.Name);
            inSection = true;
        }
        if (line.What != IniLine::kKey || !inSection || section != consulted) return;
        const std::string key(line.Key);
        for (const std::string& name : keys) {
            if (key == name) return;
        }
        const std::string plain = WithoutNoBreakSpaces(key);
        for (const std::string& name : keys) {
            if ((plain != key && plain == name) || Fold(key) == Fold(name)) {
                const std::size_t offset = static_cast<std::size_t>(line.Key.data() - read.data());
                found[name].push_back({line.Number, offset});
                lengths[offset] = key.size();
                return;
            }
        }
    });
    std::vector<std::pair<std::size_t, std::string>> edits;  // offset, name
    for (const auto& [name, lines] : found) {
        if (lines.size() != 1 || general->count(name) != 0) continue;
        edits.push_back({lines[0].second, name});
        content.Keys.push_back({lines[0].first, name});
    }
    std::sort(edits.rbegin(), edits.rend());  // from the end: earlier offsets stay
    for (const auto& [offset, name] : edits) raw.replace(offset, lengths[offset], name);
    return content;
}

// The warning about file at line whose message holds `text`.
Warning* FindWarning(Result& result, const std::string& file, std::size_t line, const std::string& text) {
    for (Warning& warning : result.Warnings) {
        if (warning.File == file && warning.Line == line && warning.Message.find(text) != std::string::npos) {
            return &warning;
        }
    }
    return nullptr;
}

void MarkError(Result& result, const std::string& start, const std::string& fix) {
    for (std::size_t i = 0; i < result.Errors.size(); ++i) {
        if (result.Errors[i].rfind(start, 0) == 0) result.ErrorFixes[i] = fix;
    }
}

std::string Joined(const std::vector<std::string>& parts) {
    std::string text;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        text += (i == 0 ? "" : i + 1 == parts.size() ? " and " : ", ") + parts[i];
    }
    return text;
}

// What a mended content does, in words; marks the problems of `file` it mends.
std::vector<std::string> MarkContent(Result& result, const Content& content, const std::string& file) {
    std::vector<std::string> does;
    if (!content.Encoding.empty()) {
        const unsigned codePage = sys::AnsiCodePage();
        const std::string fix =
            "rewrites it from " + content.Encoding + " in " +
            (codePage != 0 ? "the ANSI code page (" + std::to_string(codePage) + ")" : std::string("UTF-8"));
        MarkError(result, file + " is saved as ", fix);
        does.push_back(fix);
    } else if (!content.NoEncoding.empty()) {
        for (std::size_t i = 0; i < result.Errors.size(); ++i) {
            if (result.Errors[i].rfind(file + " is saved as ", 0) == 0) {
                result.Errors[i] += " (no fix: " + content.NoEncoding + ")";
            }
        }
    }
    if (content.LineEnds) {
        const std::string fix = "writes its line ends as CR LF";
        if (Warning* warning = FindWarning(result, file, 0, "lines end in a carriage return only")) warning->Fix = fix;
        does.push_back(fix);
    }
    for (const auto& [line, name] : content.Keys) {
        const std::string fix = "writes the key as '" + name + "', the rest of the line as it is";
        Warning* warning = FindWarning(result, file, line, "is not read: keys are case-sensitive");
        if (warning == nullptr) warning = FindWarning(result, file, line, "is not read: a no-break space");
        if (warning != nullptr) warning->Fix = fix;
        does.push_back("writes the key on line " + std::to_string(line) + " as '" + name + "'");
        // A car file's one key, written right, is there.
        if (name != kForceLodAKey) continue;
        if (Warning* missing = FindWarning(result, file, 0, "has no ForceLodA in [GENERAL]")) {
            missing->Fix = "writes the key on line " + std::to_string(line) + " as 'ForceLodA'";
        }
    }
    return does;
}

std::string Relative(const Result& result, const std::string& path) {
    return Fold(path).rfind(Fold(result.GameFolder), 0) == 0 ? path.substr(result.GameFolder.size()) : FileNameOf(path);
}

// A file to rename (to non-empty) or rewrite, with its content mended.
void PlanFile(Result& result, const std::string& from, const std::string& to, const std::string& file,
              const std::vector<std::string>& keys, std::vector<std::string> does) {
    std::string bytes;
    if (sys::IsLink(from) || !os::ReadWholeFile(os::PathFromUtf8(from), bytes)) return;
    const Content content = Mend(bytes, keys);
    for (const std::string& more : MarkContent(result, content, file)) does.push_back(more);
    if (to.empty() && content.Bytes == bytes) return;
    Fix fix;
    fix.What = to.empty() ? Fix::Kind::Rewrite : Fix::Kind::Rename;
    fix.From = from;
    fix.To = to;
    fix.Base = result.GameFolder;
    fix.Relative = Relative(result, from);
    fix.Rewrites = content.Bytes != bytes;
    fix.Bytes = content.Bytes;
    fix.Seen = bytes;
    fix.Does = file + ": " + Joined(does);
    result.Fixes.push_back(fix);
}

}  // namespace

void PlanMove(Result& result, const std::string& from, const std::string& to, bool folder, Warning& warning) {
    if (sys::IsLink(from)) {
        warning.NoFix = "it is a link";
        return;
    }
    const std::string where = to.substr(0, to.find_last_of("\\/") + 1);
    if (!folder) {
        warning.Fix = "moves it to " + where;
        std::vector<std::string> keys;
        for (const GlobalKey& key : kGlobalKeys) keys.push_back(key.Name);
        PlanFile(result, from, to, FileNameOf(from), keys, {warning.Fix});
        return;
    }
    // A folder moves whole: every file in it goes into the backup first, and none
    // of it may lead out of it.
    std::vector<std::string> pending{from + kSeparator};
    while (!pending.empty()) {
        const std::string inside = pending.back();
        pending.pop_back();
        for (const sys::Entry& entry : sys::ListEverything(inside)) {
            if (sys::IsLink(inside + entry.Name)) {
                warning.NoFix = "it holds a link, " + inside + entry.Name;
                return;
            }
            if (entry.IsFolder) pending.push_back(inside + entry.Name + kSeparator);
        }
    }
    warning.Fix = "moves it to " + where;
    Fix fix;
    fix.What = Fix::Kind::Move;
    fix.From = from;
    fix.To = to;
    fix.Folder = true;
    fix.Base = result.GameFolder;
    fix.Relative = Relative(result, from);
    fix.Does = FileNameOf(from) + ": " + warning.Fix;
    result.Fixes.push_back(fix);
}

void PlanFixes(Result& result, const std::vector<sys::Entry>& pluginEntries) {
    result.ErrorFixes.resize(result.Errors.size());
    if (result.Plugins.empty()) return;  // no plugin reads this folder: nothing is certain
    std::vector<std::string> mainKeys;
    for (const GlobalKey& key : kGlobalKeys) mainKeys.push_back(key.Name);
    const std::string& folder = result.PluginFolder;

    // The settings file under a name Explorer shows as the right one.
    bool hasSettings = false;
    std::vector<std::string> hidden;
    for (const sys::Entry& entry : pluginEntries) {
        const std::string name = Fold(entry.Name);
        hasSettings = hasSettings || SameName(entry.Name, kSettingsFileName);
        if (!entry.IsFolder && (name == "zorbelkavrin.ini.txt" || name == "zorbelkavrin.txt")) hidden.push_back(entry.Name);
    }
    for (const std::string& name : hidden) {
        Warning* warning = FindWarning(result, name, 0, "is not read: the plugin reads only");
        if (warning == nullptr) continue;
        if (hasSettings) {
            warning->NoFix = std::string(kSettingsFileName) + " is there already";
        } else if (hidden.size() > 1) {
            warning->NoFix = "two files could be the one you meant";
        } else if (sys::IsLink(folder + name)) {
            warning->NoFix = "it is a link";
        } else {
            warning->Fix = std::string("renames it to '") + kSettingsFileName + "'";
            PlanFile(result, folder + name, folder + kSettingsFileName, name, mainKeys, {warning->Fix});
        }
    }
    if (result.SettingsFound) PlanFile(result, folder + kSettingsFileName, "", kSettingsFileName, mainKeys, {});

    // The car files: a name that ends in .ini.txt, and each one's content; none in a
    // car folder that is a link (a junction), which would lead out of the game's.
    const std::string cars = folder + kCarFolderName + kSeparator;
    if (sys::IsLink(folder + kCarFolderName)) return;
    const std::vector<sys::Entry> listed = sys::ListEverything(cars);
    for (const Car& car : result.Cars) {
        if (car.Folder) continue;
        const std::string file = std::string(kCarFolderName) + kSeparator + car.Name;
        std::string to;
        std::vector<std::string> does;
        if (EndsWith(Fold(car.Name), ".ini.txt")) {
            const std::string meant = car.Name.substr(0, car.Name.size() - 4);
            Warning* warning = FindWarning(result, file, 0, "the game knows a car by its whole file name");
            const bool taken = std::any_of(listed.begin(), listed.end(),
                                           [&meant](const sys::Entry& entry) { return SameName(entry.Name, meant); });
            if (warning != nullptr && taken) {
                warning->NoFix = "'" + meant + "' is there already";
            } else if (warning != nullptr && !sys::IsLink(cars + car.Name)) {
                warning->Fix = "renames it to '" + meant + "'";
                to = cars + meant;
                does.push_back(warning->Fix);
            }
        }
        PlanFile(result, cars + car.Name, to, file, {kForceLodAKey}, does);
    }
}

}  // namespace zk::check

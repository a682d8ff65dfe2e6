// The line-by-line checks of one settings file: the keys the plugin reads, their
// values as it reads them, and the mistakes players make in them.
#include "check_parts.h"

#include <cmath>
#include <limits>
#include <map>

#include "settings/global_settings.h"
#include "settings/ini_lines.h"
#include "settings/ini_reader.h"

namespace zk::check {
namespace {

bool IsDigitAt(std::string_view text, std::size_t at) {
    return at < text.size() && text[at] >= '0' && text[at] <= '9';
}

// Does strtol find a number at the start (after whitespace and a sign)?
bool HasLeadingInteger(std::string_view text) { return IsDigitAt(text, SkipSpaceAndSign(text)); }

// Does atof find a number at the start?
bool HasLeadingDecimal(std::string_view text) {
    const std::size_t at = SkipSpaceAndSign(text);
    return IsDigitAt(text, at) || (at < text.size() && text[at] == '.' && IsDigitAt(text, at + 1));
}

}  // namespace

// The text with its no-break spaces, ANSI (A0) or UTF-8 (C2 A0), taken out.
std::string WithoutNoBreakSpaces(std::string_view text) {
    std::string plain;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char byte = static_cast<unsigned char>(text[i]);
        if (byte == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0xA0) {
            ++i;
        } else if (byte != 0xA0) {
            plain.push_back(text[i]);
        }
    }
    return plain;
}

// Line-by-line checks of one settings file. keys: what the plugin reads of its
// GENERAL section.
void CheckLines(const std::string& file, const std::string& text, const IniDocument& document,
                const std::vector<std::string>& keys, bool isCar, std::vector<Warning>& warnings) {
    const auto warn = [&](std::size_t line, std::string message) {
        warnings.push_back({file, line, std::move(message)});
    };
    std::string consulted;
    const bool hasGeneral = document.FindSection(kGeneralSection, &consulted) != nullptr;
    const std::string readsOnly = isCar ? "car files are read for ForceLodA only"
                                        : "the plugin reads ForceLodA, FrontSteerAngle, ExpandMemoryPools, "
                                          "InfiniteTuningSliders and InfiniteAutosculptSliders";
    bool inSection = false;
    std::string section;
    std::map<std::pair<std::string, std::string>, std::size_t> firstLine;
    ForEachIniLine(text, [&](const IniLine& line) {
        if (line.What == IniLine::kHeader) {
            inSection = true;
            section = std::string(line.Name);
            if (Fold(section) == "general" && section != consulted) {
                warn(line.Number, "section [" + section + "] is never read: the plugin reads only [" +
                                      consulted + "], the first of that name in byte order");
            }
            return;
        }
        if (line.What != IniLine::kKey) return;
        const std::string key(line.Key);
        const bool hashed = line.Kept.front() == '#';
        if (hashed) {
            warn(line.Number, Quote(line.Kept) + " is no comment here but a key the plugin does not know, "
                                                 "so the line is ignored; comments start with ';'");
        }
        if (line.Kept.find("//") != std::string_view::npos) {
            warn(line.Number, "'//' without a space before it starts no comment: " + Quote(line.Kept) +
                                  " is read as it stands");
        }
        const auto [seen, isNew] = firstLine.try_emplace({section, key}, line.Number);
        if (!isNew) {
            warn(line.Number, Quote(key) + " appears again: the plugin keeps line " +
                                  std::to_string(seen->second) + " and ignores this one");
            return;
        }
        if (!inSection) {
            warn(line.Number, Quote(key) + " stands before any section header: the plugin reads only [GENERAL]");
            return;
        }
        if (Fold(section) != "general") {
            warn(line.Number, Quote(key) + " is in section [" + section + "]: the plugin reads only [GENERAL]");
            return;
        }
        if (!hasGeneral || section != consulted || hashed) return;  // said already

        bool known = false;
        for (const std::string& name : keys) known = known || key == name;
        if (!known) {
            const std::string plain = WithoutNoBreakSpaces(key);
            for (const std::string& name : keys) {
                if (plain != key && plain == name) {
                    warn(line.Number, Quote(key) + " is not read: a no-break space (pasted from a web page) is "
                                                   "part of the key; type a plain space instead");
                    return;
                }
                if (Fold(key) == Fold(name)) {
                    warn(line.Number, Quote(key) + " is not read: keys are case-sensitive; write " + Quote(name));
                    return;
                }
            }
            warn(line.Number, "unknown key " + Quote(key) + " in [GENERAL]: " + readsOnly);
            return;
        }
        const std::string value(line.Value);
        const bool number = std::any_of(std::begin(kGlobalKeys), std::end(kGlobalKeys),
                                        [&key](const GlobalKey& global) { return global.Number && key == global.Name; });
        if (number) {
            if (value.empty()) {
                warn(line.Number, "FrontSteerAngle is empty: the plugin stores 0 as the steering angle");
            } else if (!HasLeadingDecimal(value)) {
                warn(line.Number, Quote(value) + " is not a number: the plugin stores 0 as the steering angle");
            } else {
                const float read = ParseFloat(value);
                if (std::isinf(read)) {
                    warn(line.Number, Quote(value) + " is beyond the range of a float: the plugin stores an "
                                                     "infinite steering angle; write a number such as 340");
                }
                const std::size_t comma = value.find(',');
                if (comma != std::string::npos && comma + 1 < value.size() && value[comma + 1] >= '0' &&
                    value[comma + 1] <= '9') {
                    warn(line.Number, Quote(value) + " is read as " + FloatText(read) +
                                          ": the decimal point is a full stop");
                }
            }
            return;
        }
        for (const GlobalKey& global : kGlobalKeys) {
            if (global.Switch == nullptr || key != global.Name) continue;
            if (!HasLeadingInteger(value)) {
                warn(line.Number, key + " = " + Quote(value) +
                                      " is not a number: the plugin reads 0 (off); write 1 to turn it on");
            } else {
                const std::int32_t read = ParseInteger(value);
                if (read != 0 && read != 1) {
                    warn(line.Number, key + " = " + Quote(value) + " is read as " + std::to_string(read) +
                                          ": only 1 turns it on, so it is off");
                }
            }
        }
    });
}

}  // namespace zk::check

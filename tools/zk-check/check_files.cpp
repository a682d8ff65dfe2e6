// Reading a settings file as the plugin does, telling the wide encodings it cannot
// read, and why a file cannot be read at all, in a player's words.
#include "check_parts.h"

#include <algorithm>

#include "settings/global_settings.h"
#include "settings/ini_reader.h"

namespace zk::check {

// The wide encoding a settings file is saved in ("UTF-16 LE", ...), or empty for
// bytes that read as ANSI or UTF-8. By the byte-order mark, or without one by the
// zero bytes that ASCII text in a wide encoding has beside nearly every character.
std::string WideEncoding(const std::string& bytes) {
    const auto starts = [&bytes](const char* mark, std::size_t size) {
        return bytes.size() >= size && bytes.compare(0, size, mark, size) == 0;
    };
    if (starts("\xFF\xFE\0\0", 4)) return "UTF-32 LE";
    if (starts("\0\0\xFE\xFF", 4)) return "UTF-32 BE";
    if (starts("\xFF\xFE", 2)) return "UTF-16 LE";
    if (starts("\xFE\xFF", 2)) return "UTF-16 BE";
    const std::size_t sample = std::min<std::size_t>(bytes.size(), 4096) / 4 * 4;
    if (sample < 8) return "";
    std::size_t zeros[4] = {};
    for (std::size_t i = 0; i < sample; ++i) zeros[i % 4] += bytes[i] == '\0';
    const std::size_t quarter = sample / 4;
    const auto most = [quarter](std::size_t count) { return count * 10 >= quarter * 9; };
    const auto few = [quarter](std::size_t count) { return count * 2 < quarter; };
    if (few(zeros[0]) && most(zeros[1]) && most(zeros[2]) && most(zeros[3])) return "UTF-32 LE";
    if (most(zeros[0]) && most(zeros[1]) && most(zeros[2]) && few(zeros[3])) return "UTF-32 BE";
    if (few(zeros[0] + zeros[2]) && most(zeros[1]) && most(zeros[3])) return "UTF-16 LE";
    if (most(zeros[0]) && most(zeros[2]) && few(zeros[1] + zeros[3])) return "UTF-16 BE";
    return "";
}

namespace {

// Why a file cannot be read, in a player's words, and what the player can do.
struct Unreadable {
    const char* Cause;  // empty: no reason worth naming
    const char* Fix;
};

Unreadable Explain(sys::ReadFailure failure) {
    using sys::ReadFailure;
    const char* const closeIt = "close the program that holds it (an editor, a sync tool) and check again";
    switch (failure) {
        case ReadFailure::Missing: return {"it does not exist", "check that Notepad can open it"};
        case ReadFailure::AccessDenied:
            return {"access is denied",
                    "give your account read access (the file's Properties, Security), or copy it out of the "
                    "folder and back"};
        case ReadFailure::Shared: return {"another program has it open and shares it with no one", closeIt};
        case ReadFailure::Locked: return {"another program has locked it", closeIt};
        case ReadFailure::DiskError:
            return {"the disk reports an error where it lies", "restore it from a backup or the package"};
        default: return {"", "check that Notepad can open it"};
    }
}

// "<what> cannot be read (<cause>)".

}  // namespace

// A file beside the plugin, read once and parsed as the plugin does, with the
// warnings about its bytes as a whole.
SettingsFile ReadSettingsFile(const std::string& relative, const std::string& file, std::vector<Warning>& warnings) {
    SettingsFile result;
    os::NativePath path;
    std::string bytes;
    result.Read = os::JoinPath(os::PluginFolder(), relative, path) && os::ReadWholeFile(path, bytes);
    if (!result.Read) return result;
    result.Text = TranslateTextMode(bytes);
    result.Document.Parse(result.Text);
    // Read byte by byte, a wide text gives the plugin no [GENERAL] section; then
    // that, and not each of its lines, is what the player needs to hear.
    if (result.Document.FindSection(kGeneralSection) == nullptr) {
        result.Encoding = WideEncoding(bytes);
        if (!result.Encoding.empty()) return result;
    }
    const std::size_t end = bytes.find('\x1A');
    if (end != std::string::npos &&
        bytes.find_first_not_of(" \t\r\n\x1A", end) != std::string::npos) {
        std::size_t line = 1;
        for (char c : result.Text) line += c == '\n';
        warnings.push_back({file, line, "the byte 0x1A ends the text here: everything after it is never read"});
    }
    if (result.Text.find('\r') != std::string::npos && result.Text.find('\n') == std::string::npos) {
        warnings.push_back({file, 0, "lines end in a carriage return only: the plugin reads the whole file as one "
                                     "line; save it with Windows (CR LF) or Unix (LF) line ends"});
    }
    return result;
}

bool ReadProgramHeaders(const std::string& path, std::string& headers) {
    constexpr std::size_t kFirst = 4096, kMost = 1 << 20;
    if (!sys::ReadFileAt(path, 0, kFirst, headers)) return false;
    if (headers.size() < kFirst) return true;  // the whole file
    const std::uint64_t nt = static_cast<unsigned char>(headers[0x3C]) |
                             static_cast<unsigned char>(headers[0x3D]) << 8 |
                             static_cast<unsigned char>(headers[0x3E]) << 16 |
                             std::uint64_t{static_cast<unsigned char>(headers[0x3F])} << 24;
    const std::uint64_t needed = nt + 0x100;  // the signature, file and optional headers' fields read
    return needed <= kFirst || sys::ReadFileAt(path, 0, static_cast<std::size_t>(std::min<std::uint64_t>(needed, kMost)), headers);
}

std::string CannotRead(const std::string& what, sys::ReadFailure failure) {
    const char* cause = Explain(failure).Cause;
    return what + " cannot be read" + (*cause ? std::string(" (") + cause + ")" : "");
}

// The same, then "<consequence>; <fix>".
std::string UnreadableMessage(const std::string& what, const std::string& path, const std::string& consequence) {
    const sys::ReadFailure failure = sys::WhyUnreadable(path);
    return CannotRead(what, failure) + ": " + consequence + "; " + Explain(failure).Fix;
}

}  // namespace zk::check

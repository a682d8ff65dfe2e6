// VirtualStore: Windows lets a 32-bit program without a manifest (the game is one)
// believe it writes under Program Files or the Windows folder, and keeps what it
// wrote in the user's %LOCALAPPDATA%\VirtualStore instead; from then on that
// program reads the hidden copy, not the file the player edits. (zk-check.exe
// carries a manifest, so it sees the real folder and can read both.) The fix moves
// each hidden copy into a folder of its own under %LOCALAPPDATA%: nothing deleted,
// and the game reads the visible file again.
#include "check_parts.h"

#include "settings/global_settings.h"

namespace zk::check {
namespace {

// The line of text that holds position `at`, quoted, or "nothing" past its end.
std::string LineAt(const std::string& text, std::size_t at) {
    if (at >= text.size()) return "nothing";
    const std::size_t start = at == 0 ? 0 : text.rfind('\n', at - 1);
    const std::size_t from = start == std::string::npos || at == 0 ? 0 : start + 1;
    std::string line = text.substr(from, text.find('\n', from) - from);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return Quote(line);
}

// Where two texts first differ: "line N: 'x' here, 'y' in the hidden copy".
std::string FirstDifference(const std::string& visible, const std::string& hidden) {
    std::size_t line = 1, at = 0;
    while (at < visible.size() && at < hidden.size() && visible[at] == hidden[at]) line += visible[at++] == '\n';
    return "line " + std::to_string(line) + ": " + LineAt(visible, at) + " here, " + LineAt(hidden, at) +
           " in the hidden copy";
}

}  // namespace

void CheckVirtualStore(Result& result) {
    const std::string twin = sys::VirtualStoreOf(result.PluginFolder);
    const std::string store = sys::LocalAppData() + "VirtualStore" + kSeparator;
    if (twin.empty()) return;
    result.ErrorFixes.resize(result.Errors.size());
    const std::string fix = "moves the hidden copy into a folder of its own under " + sys::LocalAppData() +
                            ", so that the game reads this one";
    const auto hiddenCopy = [&](const std::string& relative) {
        std::string hidden, visible;
        if (sys::IsLink(twin + relative) || !os::ReadWholeFile(os::PathFromUtf8(twin + relative), hidden)) return;
        const bool seen = os::ReadWholeFile(os::PathFromUtf8(result.PluginFolder + relative), visible);
        const std::string what = "the game reads a hidden copy of " + relative + " that Windows keeps for it, " +
                                 twin + relative + " (it may not write under " + result.GameFolder + ")";
        if (!seen) {
            result.Errors.push_back(what + ": there is no " + relative + " here at all");
            result.ErrorFixes.push_back(fix);
        } else if (hidden != visible) {
            result.Errors.push_back(what + ": it differs from this one (" + FirstDifference(visible, hidden) + ")");
            result.ErrorFixes.push_back(fix);
        } else {
            result.Warnings.push_back({relative, 0, what.substr(4) + ": the same as this one now, but what you save "
                                                                     "here will not reach the game", fix, ""});
        }
        Fix hide;
        hide.What = Fix::Kind::Hide;
        hide.From = twin + relative;
        hide.Base = store;
        hide.Relative = (twin + relative).substr(store.size());
        hide.Seen = hidden;
        hide.Does = relative + ": " + fix;
        result.Fixes.push_back(hide);
    };
    hiddenCopy(kSettingsFileName);
    for (const sys::Entry& entry : sys::ListEverything(twin + kCarFolderName)) {
        if (!entry.IsFolder) hiddenCopy(std::string(kCarFolderName) + kSeparator + entry.Name);
    }
}

}  // namespace zk::check

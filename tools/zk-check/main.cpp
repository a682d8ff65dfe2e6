// zk-check [--plugin-dir DIR] [--exe FILE] [--json] [--fix] [DIR | FILE.ini | GAME.exe]...
// zk-check --running [--json]
// zk-check --dump-ini FILE
// zk-check --version
//
// Started from Explorer (a double-click, a shortcut, files dropped on it) it owns
// its console window: it then checks the folder it lies in unless told otherwise,
// offers the look into the game when one is running, and waits for Enter before
// the window closes.
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "check.h"
#include "live.h"
#include "sys.h"

#ifdef _WIN32
#include <windows.h>

#include <shellapi.h>
#endif

namespace {

const char kUsage[] =
    "usage: zk-check [--plugin-dir DIR] [--exe FILE] [--json] [--fix] [DIR | FILE.ini | GAME.exe]...\n"
    "       zk-check --running [--json]\n"
    "       zk-check --dump-ini FILE\n"
    "       zk-check --version\n"
    "Shows what ZorbelKavrin will make of its settings and what looks like a mistake\n"
    "there. DIR is the plugin's folder or the game's (default: the current folder, or\n"
    "the checker's own when it is started from Explorer); a settings file stands for\n"
    "its folder. --exe (or a .exe given alone) also tells whether FILE is the game\n"
    "build the plugin supports. Files and folders may be dropped on zk-check.exe.\n"
    "--fix makes the fixes the report marks [fix], after a backup of every file it\n"
    "changes; without it nothing is ever written.\n"
    "--running looks into the running game instead, reading only: whether the plugin\n"
    "is loaded, what each place it writes holds, and which other plugin took one.\n"
    "Exit status: 0 clean, 1 warnings, 2 an error (unsupported exe, unreadable input,\n"
    "a broken install).\n";

// The arguments as UTF-8, on every platform.
std::vector<std::string> Arguments(int argc, char** argv) {
    std::vector<std::string> arguments;
#ifdef _WIN32
    (void)argc;
    (void)argv;
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 1; i < count; ++i) arguments.push_back(zk::os::DisplayPath(wide[i]));
    LocalFree(wide);
#else
    for (int i = 1; i < argc; ++i) arguments.push_back(argv[i]);
#endif
    return arguments;
}

bool EndsWithFolded(const std::string& text, const char* end) {
    const std::size_t size = std::strlen(end);
    if (text.size() < size) return false;
    for (std::size_t i = 0; i < size; ++i) {
        char c = text[text.size() - size + i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 0x20);
        if (c != end[i]) return false;
    }
    return true;
}

// The folder a settings file lies in.
std::string FolderOf(const std::string& file) {
    const std::size_t cut = file.find_last_of("\\/");
    return cut == std::string::npos ? "." : file.substr(0, cut + 1);
}

// A line typed at the window's prompt, without its line end.
std::string ReadAnswer() {
    std::string answer;
    int c;
    while ((c = std::getchar()) != EOF && c != '\n') {
        if (c != '\r') answer.push_back(static_cast<char>(c));
    }
    return answer;
}

// The fixes the report marks, the check made again, and what was done; the exit
// status is the second check's.
int Fix(const zk::check::Options& options, const zk::check::Result& before) {
    const zk::check::FixOutcome outcome = zk::check::MakeFixes(before);
    const zk::check::Result after = zk::check::Run(options);
    zk::check::sys::Print(options.Json ? zk::check::RenderFixJson(before, outcome, after)
                                       : zk::check::RenderText(before) + zk::check::RenderFixText(outcome, after));
    return zk::check::ExitStatus(after);
}

// checkedFolder: a folder check ran (so a look into a running game may follow);
// fixable: how many of its problems have a fix, with the options it ran with.
int Check(const std::vector<std::string>& arguments, bool ownsConsole, bool& checkedFolder, std::size_t& fixable,
          zk::check::Options& checked) {
    zk::check::Options options;
    bool hasFolder = false;
    std::string dumpIni;
    bool dump = false;
    bool running = false;
    bool usage = false;
    for (std::size_t i = 0; i < arguments.size() && !usage; ++i) {
        const std::string& argument = arguments[i];
        const bool hasValue = i + 1 < arguments.size();
        if (argument == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (argument == "--version") {
            std::printf("zk-check %s\n", zk::check::kCheckerVersion);
            return 0;
        } else if (argument == "--json") {
            options.Json = true;
        } else if (argument == "--running") {
            running = true;
        } else if (argument == "--fix") {
            options.Fix = true;
        } else if (argument == "--plugin-dir" && hasValue && !hasFolder) {
            options.PluginDir = arguments[++i];
            hasFolder = true;
        } else if (argument == "--exe" && hasValue && options.Exe.empty()) {
            options.Exe = arguments[++i];
        } else if (argument == "--dump-ini" && hasValue) {
            dump = true;
            dumpIni = arguments[++i];
        } else if (argument.rfind("--", 0) == 0 || argument.empty()) {
            usage = true;
        } else if (EndsWithFolded(argument, ".exe")) {  // a dropped game exe
            usage = !options.Exe.empty();
            options.Exe = argument;
        } else {  // a dropped folder, or a settings file standing for its folder
            usage = hasFolder;
            options.PluginDir = EndsWithFolded(argument, ".ini") ? FolderOf(argument) : argument;
            hasFolder = true;
        }
    }
    if (usage || (running && (hasFolder || dump || !options.Exe.empty() || options.Fix))) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    if (running) {
        const zk::check::live::LiveResult result = zk::check::live::RunLive();
        zk::check::sys::Print(options.Json ? zk::check::live::RenderJson(result)
                                           : zk::check::live::RenderText(result));
        return zk::check::live::ExitStatus(result);
    }
    if (dump) {
        const std::string json = zk::check::DumpIniJson(zk::os::PathFromUtf8(dumpIni));
        zk::check::sys::Print(json);
        return json.rfind("{\"found\": true", 0) == 0 ? 0 : 2;
    }
    if (!hasFolder && ownsConsole) options.PluginDir = zk::check::sys::OwnFolder();
    checkedFolder = true;
    const zk::check::Result result = zk::check::Run(options);
    if (options.Fix) return Fix(options, result);
    zk::check::sys::Print(options.Json ? zk::check::RenderJson(result) : zk::check::RenderText(result));
    fixable = zk::check::FixableCount(result);
    checked = options;
    return zk::check::ExitStatus(result);
}

}  // namespace

int main(int argc, char** argv) {
    std::set_terminate(zk::check::PrintTerminateMessage);
    const bool ownsConsole = zk::check::sys::OwnsConsole();
    bool checkedFolder = false;
    std::size_t fixable = 0;
    zk::check::Options checked;
    int status = Check(Arguments(argc, argv), ownsConsole, checkedFolder, fixable, checked);
    if (ownsConsole) {
        // The window closes with the program: keep the report on screen. A player
        // who double-clicked it gets the fixes offered, and the look into the
        // game while it runs.
        std::fflush(stderr);
        const bool running = checkedFolder && !zk::check::live::FindGames().empty();
        std::string prompt;
        if (fixable > 0) {
            prompt = "Press F and Enter to fix the " + std::to_string(fixable) + " problem" + (fixable == 1 ? "" : "s") +
                     " marked [fix]" + (running ? ", L and Enter to see what the plugin did in the running game" : "");
        } else if (running) {
            prompt = "The game is running: press L and Enter to see what the plugin did in it";
        }
        zk::check::sys::Print(prompt.empty() ? "\nPress Enter to close this window.\n"
                                             : "\n" + prompt + "; Enter alone closes this window.\n");
        const std::string answer = ReadAnswer();
        if (fixable > 0 && (answer == "F" || answer == "f")) {
            zk::check::Options options = checked;
            options.Json = false;
            const zk::check::FixOutcome outcome = zk::check::MakeFixes(zk::check::Run(options));
            const zk::check::Result after = zk::check::Run(options);
            zk::check::sys::Print(zk::check::RenderFixText(outcome, after) + "\nPress Enter to close this window.\n");
            status = zk::check::ExitStatus(after);
            ReadAnswer();
        } else if (running && (answer == "L" || answer == "l")) {
            const zk::check::live::LiveResult result = zk::check::live::RunLive();
            zk::check::sys::Print("\n" + zk::check::live::RenderText(result) + "\nPress Enter to close this window.\n");
            status = zk::check::live::ExitStatus(result);
            ReadAnswer();
        }
    }
    return status;
}

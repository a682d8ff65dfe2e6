// zk-check [--plugin-dir DIR] [--exe FILE] [--json]
// zk-check --dump-ini FILE
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "check.h"

#ifdef _WIN32
#include <windows.h>

#include <shellapi.h>
#endif

namespace {

const char kUsage[] =
    "usage: zk-check [--plugin-dir DIR] [--exe FILE] [--json]\n"
    "       zk-check --dump-ini FILE\n"
    "Shows what ZorbelKavrin will make of the settings beside it (DIR, default: the\n"
    "current folder) and what looks like a mistake there. --exe also tells whether\n"
    "FILE is the game build the plugin supports.\n"
    "Exit status: 0 clean, 1 warnings, 2 an error (unsupported exe, unreadable input).\n";

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

void Print(const std::string& text) { std::fwrite(text.data(), 1, text.size(), stdout); }

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> arguments = Arguments(argc, argv);
    zk::check::Options options;
    std::string dumpIni;
    bool dump = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        const bool hasValue = i + 1 < arguments.size();
        if (argument == "--json") {
            options.Json = true;
        } else if (argument == "--plugin-dir" && hasValue) {
            options.PluginDir = arguments[++i];
        } else if (argument == "--exe" && hasValue) {
            options.Exe = arguments[++i];
        } else if (argument == "--dump-ini" && hasValue) {
            dump = true;
            dumpIni = arguments[++i];
        } else {
            std::fputs(kUsage, argument == "--help" ? stdout : stderr);
            return argument == "--help" ? 0 : 2;
        }
    }
    if (dump) {
        const std::string json = zk::check::DumpIniJson(zk::os::PathFromUtf8(dumpIni));
        Print(json);
        return json.rfind("{\"found\": true", 0) == 0 ? 0 : 2;
    }
    const zk::check::Result result = zk::check::Run(options);
    Print(options.Json ? zk::check::RenderJson(result) : zk::check::RenderText(result));
    return zk::check::ExitStatus(result);
}

// A game to look into from outside, as zk-check --running does: a folder laid out as
// a player's (the simulated game as game.exe with its driver, an ASI loader
// stand-in, the plugin and its settings in scripts), the game started there with
// --stay-until, and waited for until its ASI loader has loaded every plugin.
#include "harness_parts.h"

namespace harness {

bool StartGame(const std::wstring& folder, const std::string& ini, RunningGame& game, const std::wstring& arguments) {
    game = RunningGame();
    game.Folder = folder;
    game.EndFile = folder + L"\\end";
    const std::wstring bin = ProgramFolder();
    DeleteTree(folder);
    MakeFolder(folder + L"\\scripts");
    CopyFileW((bin + L"zk-hostsim.exe").c_str(), (folder + L"\\game.exe").c_str(), FALSE);
    CopyFileW((bin + L"zk-hostsim.dll").c_str(), (folder + L"\\zk-hostsim.dll").c_str(), FALSE);
    CopyFileW((bin + L"ZorbelKavrin.asi").c_str(), (folder + L"\\scripts\\ZorbelKavrin.asi").c_str(), FALSE);
    WriteBytes(folder + L"\\dinput8.dll", "MZ loads scripts\\*.asi");
    WriteBytes(folder + L"\\scripts\\ZorbelKavrin.ini", ini);

    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    const std::wstring said = folder + L"\\said.txt";
    HANDLE out = CreateFileW(said.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE) return false;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = out;
    startup.hStdError = out;
    std::wstring command = L"\"" + folder + L"\\game.exe\" --stay-until \"" + game.EndFile + L"\" " + arguments;
    const BOOL started = CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, folder.c_str(),
                                        &startup, &game.Process);
    CloseHandle(out);
    if (!started) return false;
    for (int i = 0; i < 1500; ++i) {  // 30 s
        HANDLE file = CreateFileW(said.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        char text[4096];
        DWORD got = 0;
        if (file != INVALID_HANDLE_VALUE) {
            ReadFile(file, text, sizeof text - 1, &got, nullptr);
            CloseHandle(file);
        }
        game.Said.assign(text, got);
        if (game.Said.find("zk-hostsim: staying") != std::string::npos) return true;
        if (WaitForSingleObject(game.Process.hProcess, 20) == WAIT_OBJECT_0) return false;
    }
    return false;
}

void EndGame(RunningGame& game) {
    if (game.Process.hProcess != nullptr) {
        WriteBytes(game.EndFile, "");
        if (WaitForSingleObject(game.Process.hProcess, 10000) != WAIT_OBJECT_0) {
            TerminateProcess(game.Process.hProcess, 1);
            WaitForSingleObject(game.Process.hProcess, 10000);
        }
        CloseHandle(game.Process.hThread);
        CloseHandle(game.Process.hProcess);
    }
    game.Process = PROCESS_INFORMATION{};
    if (!game.Folder.empty()) DeleteTree(game.Folder);
}

}  // namespace harness

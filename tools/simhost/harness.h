// Runs inside the simulated host process, for the Windows tests and the report
// tool: keeps a pristine copy of the host image, records every VirtualProtect and
// MessageBoxA call of the process, stages each scenario (a fresh folder with a
// fresh copy of ZorbelKavrin.asi and its settings files), and enters the host's
// hooked sites.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "simhost_layout.h"

namespace harness {

// ---- Set-up, once per process (DriverMain) ----
void SilenceDebugOutput();  // OutputDebugString would end the emulated process
void InstallRecorders();    // VirtualProtect and MessageBoxA -> recorders
void TakeHostSnapshot();    // the pristine host image and its page protections
void NoteThreadAttach();    // the driver DLL's DllMain calls it on DLL_THREAD_ATTACH
int ThreadAttachCount();    // thread-attach notifications counted so far

// ---- Windows' own strictness (strict_kernel.cpp, where the rules are listed) ----
// Each returns what it could not wrap, "Name: why; ..." (empty when all are).
// The code-page pretence: GetACP, GetOEMCP and the two conversions.
std::string InstallCodePagePretence();
// The pretence and the strict layer: the KERNEL32 functions the plugin calls then
// refuse what Windows refuses. For Wine; Windows itself needs none of it.
std::string InstallStrictKernel();
bool StrictLayerOn();       // all of the strict layer is installed
bool CodePagePretenceOn();  // all four of the pretence are installed
std::string WrappedStubs();  // "Name: first bytes -> ...; ..." (DescribeStubs)
std::string WineVersion();  // ntdll's wine_get_version(), or empty: not Wine
// Makes the process believe its ANSI and OEM code pages are these (0: its own).
void PretendCodePages(unsigned ansi, unsigned oem);
enum StrictRule {
    kRuleUtf8Defaults, kRuleNoFlags, kRuleUtf8Flags, kRuleErrInvalidChars,
    kRuleLiteral, kRuleMaxPath, kRuleLiteralModule, kRuleOldProtect, kStrictRuleCount
};
int TakeStrictCount(StrictRule rule);  // how often the rule acted since the last take
void CountStrictRule(StrictRule rule);
// A path as Windows takes it literally (\\?\ form) when it is absolute; the
// harness's own file calls use it, so that deep test folders work on Windows too.
std::wstring Literal(const std::wstring& path);
// Overwrites the first bytes of a function with a jump to the replacement.
void RedirectFunction(void* function, const void* replacement);

// ---- Recorders ----
struct ProtectCall {
    std::uint32_t Address;
    std::uint32_t Size;
    std::uint32_t Protection;
    std::uint32_t Previous;  // what the call reported (0 when it failed)
    bool Succeeded;
};
std::vector<ProtectCall> TakeProtectCalls();  // returns and forgets them
// While set, every VirtualProtect call fails without changing anything.
void FailProtection(bool fail);

// After `advances` more successful calls, FindNextFileW fails (access denied)
// instead of advancing a listing; -1 lets it work again.
void FailListingAfter(int advances);

struct MessageCall {
    std::uintptr_t Owner;
    std::string Text;
    std::string Caption;
    unsigned Type;
};
std::vector<MessageCall> TakeMessages();

// ---- The host image ----
std::uint32_t HostImageSize();
const std::vector<std::uint8_t>& PristineImage();
std::vector<std::uint8_t> CurrentImage();
std::uint32_t PristineProtection(std::uint32_t address);
std::uint32_t CurrentProtection(std::uint32_t address);
void RestoreHostImage();  // bytes and protections as they were at start
// Writes bytes into the image whatever its protection (keeps the protection).
void PokeHost(std::uint32_t address, const void* bytes, std::size_t size);
std::uint32_t PeekHost32(std::uint32_t address);
float PeekHostFloat(std::uint32_t address);

// Changed bytes of the image against the pristine copy: address -> new byte.
struct ByteChange {
    std::uint32_t Address;
    std::uint8_t Before;
    std::uint8_t After;
};
std::vector<ByteChange> ChangedBytes();

// The process's command line as UTF-8 arguments, the program's name first.
std::vector<std::string> CommandLineArguments();

// ---- Paths ----
std::wstring Widen(const std::string& utf8);
std::string Narrow(const std::wstring& wide);
std::wstring ProgramFolder();  // where the test program and ZorbelKavrin.asi lie
std::wstring FixtureFolder(const std::wstring& name);  // prepared by the build
void WriteBytes(const std::wstring& path, const std::string& bytes);
void MakeFolder(const std::wstring& path);
void DeleteTree(const std::wstring& path);
void CopyTree(const std::wstring& from, const std::wstring& to);  // files and folders into `to`
// Calls visit for each entry of a folder but "." and "..", in platform order.
void ForEachEntry(const std::wstring& folder, const std::function<void(const WIN32_FIND_DATAW&)>& visit);
std::vector<std::string> ListNames(const std::wstring& folder);  // platform order
std::string FolderFingerprint(const std::wstring& folder);  // names, sizes, times

// ---- A scenario ----
class Scenario {
public:
    // subfolder: the plugin's folder below the scenario root (e.g. "scripts"), or a
    // name of its own (Cyrillic, very long); empty puts it at the root.
    explicit Scenario(const std::wstring& subfolder = L"");
    // The plugin copied into a prepared folder (a fixture too large to write through
    // Wine in a test); only the copy is removed afterwards.
    struct Fixture {
        std::wstring Folder;
    };
    explicit Scenario(const Fixture& fixture);
    ~Scenario();
    Scenario(const Scenario&) = delete;
    Scenario& operator=(const Scenario&) = delete;

    // Relative to the plugin's folder, '/' or '\\' as separators, UTF-8.
    void File(const std::string& relative, const std::string& bytes);
    void Folder(const std::string& relative);
    void Ini(const std::string& text) { File("ZorbelKavrin.ini", text); }

    // LoadLibraryW of the plugin copy (with the \\?\ prefix if asked); true when it
    // loaded.
    bool Load(bool extendedPath = false);
    void Unload();

    HMODULE Module() const { return module_; }
    const std::wstring& Root() const { return root_; }
    const std::wstring& PluginFolder() const { return pluginFolder_; }
    std::wstring PluginPath() const { return pluginFolder_ + L"ZorbelKavrin.asi"; }

private:
    std::wstring root_;
    std::wstring pluginFolder_;
    bool fixture_ = false;
    HMODULE module_ = nullptr;
};

// ---- A game to look into from outside (zk-check --running) ----
struct RunningGame {
    PROCESS_INFORMATION Process{};
    std::wstring Folder;
    std::wstring EndFile;
    std::string Said;  // what it printed until its plugins were loaded
};
// Lays out a game folder (game.exe, its ASI loader stand-in, the plugin in scripts
// with this ZorbelKavrin.ini), starts the simulated game there with --stay-until and
// these arguments, and waits until its plugins are loaded. zk-hostsim.exe and its
// DLL lie beside this program.
bool StartGame(const std::wstring& folder, const std::string& ini, RunningGame& game,
               const std::wstring& arguments = L"");
// Asks it to end (TerminateProcess if it does not), then removes its folder.
void EndGame(RunningGame& game);

// ---- Entering the host's sites ----
void PassLodSite(sim::LodPass& pass);
void PassAttributeSite(sim::AttrPass& pass);
void PassSculptSite(sim::SculptPass& pass);
std::uint32_t CallHostNameHash(const char* name);
void SetLookupTable(const std::vector<sim::LookupEntry>& entries);
int X87Depth(const std::uint8_t* env);  // from an FNSTENV image
std::uint32_t FloatBits(float value);
float BitsFloat(std::uint32_t bits);

// Where the plugin's hooks lie: the targets of the written CALL/JMP.
std::uint32_t RelativeTarget(std::uint32_t site);

}  // namespace harness

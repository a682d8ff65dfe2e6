// A scenario: a fresh folder with a fresh copy of ZorbelKavrin.asi and its
// settings files, the host image and the recorders as the plugin's start-up finds
// them, and the plugin loaded from there.
#include "harness_parts.h"

#include <atomic>

namespace harness {
namespace {

std::atomic<int> gScenarioNumber{0};

}  // namespace

Scenario::Scenario(const std::wstring& subfolder) {
    RestoreHostImage();
    TakeProtectCalls();
    TakeMessages();
    // Per process as well: the test program and the report tool may run at once.
    root_ = ProgramFolder() + L"scenarios\\p" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(++gScenarioNumber);
    DeleteTree(root_);
    pluginFolder_ = root_ + L"\\";
    if (!subfolder.empty()) pluginFolder_ += subfolder + L"\\";
    MakeFolder(pluginFolder_.substr(0, pluginFolder_.size() - 1));
    CopyFileW(Literal(ProgramFolder() + L"ZorbelKavrin.asi").c_str(), Literal(PluginPath()).c_str(), FALSE);
}

Scenario::Scenario(const Fixture& fixture) : root_(fixture.Folder), fixture_(true) {
    RestoreHostImage();
    TakeProtectCalls();
    TakeMessages();
    pluginFolder_ = root_ + L"\\";
    CopyFileW(Literal(ProgramFolder() + L"ZorbelKavrin.asi").c_str(), Literal(PluginPath()).c_str(), FALSE);
}

Scenario::~Scenario() {
    Unload();
    if (fixture_) {
        DeleteFileW(Literal(PluginPath()).c_str());
    } else {
        DeleteTree(root_);
    }
    RestoreHostImage();
    FailProtection(false);
}

void Scenario::File(const std::string& relative, const std::string& bytes) {
    const std::wstring path = pluginFolder_ + NativeRelative(relative);
    const std::wstring parent = FolderOf(path).substr(0, FolderOf(path).size() - 1);
    if (GetFileAttributesW(Literal(parent).c_str()) == INVALID_FILE_ATTRIBUTES) MakeFolder(parent);
    WriteBytes(path, bytes);
}

void Scenario::Folder(const std::string& relative) { MakeFolder(pluginFolder_ + NativeRelative(relative)); }

bool Scenario::Load(bool extendedPath) {
    Unload();
    module_ = LoadLibraryW(((extendedPath ? L"\\\\?\\" : L"") + PluginPath()).c_str());
    return module_ != nullptr;
}

void Scenario::Unload() {
    if (module_ != nullptr) FreeLibrary(module_);
    module_ = nullptr;
}

}  // namespace harness

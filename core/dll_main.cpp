// The plugin's entry: the build check, then the whole start-up, all inside the
// process-attach notification. Thread notifications stay on and do nothing.
#include <windows.h>

#include "core/host_check.h"
#include "core/os.h"
#include "patches/startup_patches.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) noexcept {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    if (!zk::IsSupportedHostImage(zk::os::MainImageBase())) {
        zk::os::ShowErrorMessage(zk::kUnsupportedBuildText, zk::kUnsupportedBuildCaption);
        return FALSE;  // nothing read, nothing written
    }
    try {
        zk::ApplyStartupPatches();
    } catch (...) {
        // Nothing may leave the notification; the settings load, the only part that
        // can throw, is guarded inside already.
    }
    return TRUE;
}

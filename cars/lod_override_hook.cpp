#include "cars/lod_override_hook.h"

#include <cstring>

#include "cars/car_settings.h"
#include "core/host_addresses.h"
#include "settings/global_settings.h"

extern "C" void ApplyLodOverride(char* name, std::uint32_t key) {
    bool carFlag = false;
    for (const auto& record : zk::CarSettingsRegistry) {
        if (record->Key == key) {
            carFlag = record->ForceLodA;  // the first record with the key decides
            break;
        }
    }
    if (!zk::GlobalSettings.ForceLodA && !carFlag) return;
    const std::size_t length = std::strlen(name);
    if (length != 0) name[length - 1] = 'A';
}

#if defined(_WIN32) && defined(__i386__)

extern "C" __attribute__((used)) const std::uint32_t ZkHostLodForwardAddress = zk::kHostLodForward;

// Entered by the host's CALL at 0x777D11, in place of HostLodForward (0x4366B0).
//
//   on entry:  [esp]    return address into the host (0x777D16)
//              [esp+4]  name   (NUL-terminated, writable, the host caller's)
//              [esp+8]  key
//
// Pushes copies of name and key, calls ApplyLodOverride (cdecl, keeps EBX ESI EDI
// EBP), drops the copies, and jumps to HostLodForward through a constant, with the
// host's own return address and arguments in place. HostLodForward therefore returns
// straight to the host: EAX, ECX and EDX reach the caller exactly as it left them,
// the caller removes the arguments. x87 stack untouched. Flags not preserved.
extern "C" __attribute__((naked)) void LodOverrideHook() {
    __asm__(
        "pushl 8(%esp)\n\t"                // key
        "pushl 8(%esp)\n\t"                // name (one slot further down now)
        "call _ApplyLodOverride\n\t"
        "addl $8, %esp\n\t"
        "jmp *_ZkHostLodForwardAddress\n\t");
}

#endif

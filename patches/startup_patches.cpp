#include "patches/startup_patches.h"

#include <cstdint>

#include "cars/attribute_value_hook.h"
#include "cars/lod_override_hook.h"
#include "core/host_addresses.h"
#include "core/patch_primitives.h"
#include "patches/slider_patches.h"
#include "settings/global_settings.h"

namespace zk {
namespace {

std::uint32_t EntryAddress(void (*routine)()) {
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(routine));
}

}  // namespace

void ApplyStartupPatches() {
    if (!TryLoadGlobalSettings()) return;  // nothing written yet: leave the host alone

    // Host data the host keeps writable: a plain store, no protection change.
    *reinterpret_cast<volatile float*>(static_cast<std::uintptr_t>(kSteerAngleAddress)) =
        GlobalSettings.FrontSteerAngle;

    if (GlobalSettings.ExpandMemoryPools) {
        for (const PoolWrite& pool : kPoolWrites) PatchValue(pool.Address, pool.Value);
    }

    PatchCall(kLodCallSite, EntryAddress(&LodOverrideHook));
    PatchJump(kAttributeJumpSite, EntryAddress(&AttributeValueEntryStub));
    PatchNops(kAttributeNopSite, kAttributeNopCount);

    ApplySliderPatches();
}

}  // namespace zk

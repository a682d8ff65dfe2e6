#include "patches/slider_patches.h"

#include <cstdint>

#include "core/host_addresses.h"
#include "core/patch_primitives.h"
#include "settings/global_settings.h"

extern "C" __attribute__((used)) const std::uint32_t ZkAutosculptResumeAddress =
    zk::kAutosculptResume;
extern "C" __attribute__((used)) const std::uint32_t ZkAutosculptSliderValue =
    zk::kAutosculptSliderValueBits;

// Entered by the host's JMP at 0x7E7E79; nothing pushed, ESP is the host's own.
//
//   [esp+4]  receives 2.56f (0x4023D70A); [esp] and all else left alone
//
// One x87 push and one pop (depth unchanged; loading and storing a single keeps the
// bit pattern), then a jump to 0x7E7E7F through a constant. No general register,
// no flag and no stack slot but [esp+4] is touched.
extern "C" __attribute__((naked)) void AutosculptSliderStub() {
    __asm__(
        "flds _ZkAutosculptSliderValue\n\t"
        "fstps 4(%esp)\n\t"
        "jmp *_ZkAutosculptResumeAddress\n\t");
}

namespace zk {

void ApplySliderPatches() {
    if (GlobalSettings.InfiniteTuningSliders) {
        for (const NopWrite& nops : kTuningSliderNops) PatchNops(nops.Address, nops.Count);
        PatchJump(kTuningSliderJumpSite, kTuningSliderJumpTarget);
    }
    if (GlobalSettings.InfiniteAutosculptSliders) {
        PatchNops(kAutosculptSliderNop.Address, kAutosculptSliderNop.Count);
        PatchJump(kAutosculptJumpSite,
                  static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(&AutosculptSliderStub)));
    }
}

}  // namespace zk

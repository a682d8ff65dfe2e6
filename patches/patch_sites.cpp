#include "patches/patch_sites.h"

#include "core/host_addresses.h"
#include "core/patch_primitives.h"

namespace zk {

std::vector<PatchSite> PlanSites() {
    using Record = GlobalSettingsRecord;
    std::vector<PatchSite> sites{{kSteerAngleAddress, 4, SiteKind::SteerAngle, nullptr, 0, "front steering angle",
                                  "the front steering angle", nullptr}};
    for (const PoolWrite& pool : kPoolWrites) {
        sites.push_back({pool.Address, 4, SiteKind::Value, &Record::ExpandMemoryPools, pool.Value,
                         "memory pool value", "a memory pool value", nullptr});
    }
    sites.push_back({kLodCallSite, 5, SiteKind::CallIntoPlugin, nullptr, 0, "level-of-detail hook: CALL",
                     "the level-of-detail call", "LodOverrideHook"});
    sites.push_back({kAttributeJumpSite, 5, SiteKind::JumpIntoPlugin, nullptr, 0, "attribute value hook: JMP",
                     "the attribute value jump", "AttributeValueEntryStub"});
    sites.push_back({kAttributeNopSite, kAttributeNopCount, SiteKind::Nops, nullptr, 0,
                     "after the attribute value hook: no-operations",
                     "the no-operations after the attribute value hook", nullptr});
    for (const NopWrite& nops : kTuningSliderNops) {
        sites.push_back({nops.Address, nops.Count, SiteKind::Nops, &Record::InfiniteTuningSliders, 0,
                         "tuning sliders: no-operations", "a tuning slider limit", nullptr});
    }
    sites.push_back({kTuningSliderJumpSite, 5, SiteKind::HostJump, &Record::InfiniteTuningSliders,
                     kTuningSliderJumpTarget, "tuning sliders: JMP", "the tuning slider jump", nullptr});
    sites.push_back({kAutosculptSliderNop.Address, kAutosculptSliderNop.Count, SiteKind::Nops,
                     &Record::InfiniteAutosculptSliders, 0, "autosculpt sliders: no-operations",
                     "the autosculpt slider limit", nullptr});
    sites.push_back({kAutosculptJumpSite, 5, SiteKind::JumpIntoPlugin, &Record::InfiniteAutosculptSliders, 0,
                     "autosculpt sliders: JMP", "the autosculpt slider jump", "AutosculptSliderStub"});
    return sites;
}

std::vector<std::uint8_t> PlannedBytes(const PatchSite& site) {
    const auto little = [](std::uint8_t opcode, std::uint32_t value) {
        return std::vector<std::uint8_t>{opcode,
                                         static_cast<std::uint8_t>(value),
                                         static_cast<std::uint8_t>(value >> 8),
                                         static_cast<std::uint8_t>(value >> 16),
                                         static_cast<std::uint8_t>(value >> 24)};
    };
    switch (site.Kind) {
        case SiteKind::Value: {
            std::vector<std::uint8_t> bytes = little(0, site.Value);
            return {bytes.begin() + 1, bytes.end()};
        }
        case SiteKind::Nops: return std::vector<std::uint8_t>(site.Width, kNopOpcode);
        case SiteKind::HostJump: return little(kJumpOpcode, RelativeDisplacement(site.Address, site.Value));
        case SiteKind::CallIntoPlugin: return {kCallOpcode};
        case SiteKind::JumpIntoPlugin: return {kJumpOpcode};
        case SiteKind::SteerAngle: break;
    }
    return {};
}

}  // namespace zk

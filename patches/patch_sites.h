// Every place of the host the start-up writes, as one list: for the tools that show
// what the plugin did (the report in the simulated host, the look into a running
// game). The plugin's own plan (startup_patches.cpp, slider_patches.cpp) writes
// them from the same constants; a test of the Windows tier fails when the plan
// writes a byte that no place here holds.
#pragma once

#include <cstdint>
#include <vector>

#include "settings/global_settings.h"

namespace zk {

enum class SiteKind {
    SteerAngle,      // the float the plugin stores, FrontSteerAngle
    Value,           // a 32-bit value, Value
    Nops,            // Width bytes of no-operations
    CallIntoPlugin,  // a five-byte relative CALL into one of the plugin's routines
    JumpIntoPlugin,  // a five-byte relative JMP into one of the plugin's routines
    HostJump,        // a five-byte relative JMP to host code at Value
};

struct PatchSite {
    std::uint32_t Address;
    std::uint32_t Width;
    SiteKind Kind;
    // The switch that makes the plugin write it; null: written at every start.
    bool GlobalSettingsRecord::*Switch;
    std::uint32_t Value;  // Value: the value; HostJump: the target
    const char* What;     // "level-of-detail hook: CALL", as the reports list it
    const char* Name;     // "the level-of-detail call", as a sentence names it
    const char* Routine;  // CallIntoPlugin, JumpIntoPlugin: the routine entered
};

// In the order the start-up writes them.
std::vector<PatchSite> PlanSites();

// The bytes the plugin leaves at a site whose bytes do not depend on where the
// plugin lies or on the steering angle: Value, Nops and HostJump. For the others,
// the opcode alone (E8, E9), and nothing for the steering angle.
std::vector<std::uint8_t> PlannedBytes(const PatchSite& site);

}  // namespace zk

// The start-up plan as the tables give it: the host image and the protection
// windows expected after the plugin has started with given switches and steering
// angle, checked against what the real plugin did.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "harness.h"

namespace plan {

struct Flags {
    bool Pools, Tuning, Autosculpt;
};

constexpr std::uint32_t kDefaultSteerBits = 0x43AA0000;  // 340.0f: 00 00 AA 43

std::string FlagIni(const Flags& flags);

// Loads the scenario's plugin and checks every host byte and every protection
// window; hashCalls: how many car records the load hashes.
void ExpectPlan(harness::Scenario& scenario, const Flags& flags, std::uint32_t steerBits,
                std::uint32_t hashCalls = 0);

}  // namespace plan

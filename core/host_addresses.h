// Everything the plugin knows about the one supported host build: its identity,
// the routines it calls, where its own routines resume host code, and every address
// and value it writes. Addresses are absolute; the host image is based at 0x400000.
#pragma once

#include <cstdint>

namespace zk {

// AddressOfEntryPoint of the supported build's PE optional header.
constexpr std::uint32_t SupportedEntryPointRva = 0x428C25;
constexpr std::uint32_t kHostImageBase = 0x400000;

// Host routines the plugin calls (conventions in host_routines.h).
constexpr std::uint32_t kHostNameHash = 0x436680;
constexpr std::uint32_t kHostLodForward = 0x4366B0;
constexpr std::uint32_t kHostAttributeLookup = 0x754CD0;

// Host data written with a plain store: the front steering angle (float).
constexpr std::uint32_t kSteerAngleAddress = 0xA8918C;
constexpr float kDefaultFrontSteerAngle = 340.0f;

// Memory pool values, written when ExpandMemoryPools is on, in this order.
struct PoolWrite {
    std::uint32_t Address;
    std::uint32_t Value;
};
constexpr PoolWrite kPoolWrites[] = {
    {0x65F761, 0x002C8000},
    {0x65F781, 0x002C8000},
    {0xA58F9C, 0x00177000},
    {0xA60DE4, 0x00027100},
};

// Level-of-detail hook: the host's CALL of HostLodForward, redirected.
constexpr std::uint32_t kLodCallSite = 0x777D11;

// Attribute value hook: the JMP into the stub, where the stub resumes, and the six
// bytes of host code after it that become no-operations.
constexpr std::uint32_t kAttributeJumpSite = 0x773D3C;
constexpr std::uint32_t kAttributeResume = 0x773D44;
constexpr std::uint32_t kAttributeNopSite = 0x773D4F;
constexpr std::uint32_t kAttributeNopCount = 6;
constexpr std::uint32_t kAttributeKeyLowIndex = 0xFDE70341;   // index < 2
constexpr std::uint32_t kAttributeKeyHighIndex = 0x2FC42D62;  // index >= 2
constexpr std::uint32_t kAttributeHolderOffset = 0x3F0;       // in the host object
constexpr std::uint32_t kAttributeSetOffset = 0xD8;           // in the holder
constexpr std::uint32_t kAttributeRecordValueOffset = 4;      // float in the record

// Tuning sliders.
struct NopWrite {
    std::uint32_t Address;
    std::uint32_t Count;
};
constexpr NopWrite kTuningSliderNops[] = {
    {0x5C192C, 8},
    {0x5C18DC, 2},
    {0x5C185A, 2},
};
constexpr std::uint32_t kTuningSliderJumpSite = 0x5C18E6;
constexpr std::uint32_t kTuningSliderJumpTarget = 0x5C19AC;

// Autosculpt sliders.
constexpr NopWrite kAutosculptSliderNop = {0x757290, 2};
constexpr std::uint32_t kAutosculptJumpSite = 0x7E7E79;
constexpr std::uint32_t kAutosculptResume = 0x7E7E7F;
constexpr std::uint32_t kAutosculptSliderValueBits = 0x4023D70A;  // 2.56f

}  // namespace zk

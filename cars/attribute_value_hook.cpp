#include "cars/attribute_value_hook.h"

#include <cstring>

#include "core/host_addresses.h"
#include "core/host_routines.h"

extern "C" float IndexedAttributeValue(const void* object, std::int32_t index,
                                       std::int32_t value) {
    float result = static_cast<float>(value) / 1000.0f;
    if (object == nullptr) return result;
    const void* holder = nullptr;
    std::memcpy(&holder, static_cast<const char*>(object) + zk::kAttributeHolderOffset,
                sizeof holder);
    if (holder == nullptr) return result;
    const std::uint32_t key = index < 2 ? zk::kAttributeKeyLowIndex : zk::kAttributeKeyHighIndex;
    const void* record =
        zk::HostAttributeLookup(static_cast<const char*>(holder) + zk::kAttributeSetOffset, key, 0);
    if (record != nullptr) {
        std::memcpy(&result, static_cast<const char*>(record) + zk::kAttributeRecordValueOffset,
                    sizeof result);
    }
    return result;
}

#if defined(_WIN32) && defined(__i386__)

extern "C" __attribute__((used)) const std::uint32_t ZkAttributeResumeAddress = zk::kAttributeResume;

// Entered by the host's JMP at 0x773D3C; nothing pushed. With S = ESP on entry:
//
//   [S+0x04] host object    [S+0x10] dword the host wants in EAX
//   [S+0x14] host integer   EBP      index
//
//   after pushal:     ESP = S-0x20, so S+0x14 is at 0x34(%esp)
//   after 2 pushes:   ESP = S-0x28, so S+0x04 is at 0x2C(%esp)
//
// Calls IndexedAttributeValue(object, index, integer), whose float result stays on
// the x87 stack (one deeper than on entry). Restores all eight general registers
// (ESP = S again), loads EAX from [S+0x10] and resumes the host at 0x773D44
// through a constant. Flags and SSE registers are not preserved.
extern "C" __attribute__((naked)) void AttributeValueEntryStub() {
    __asm__(
        "pushal\n\t"
        "pushl 0x34(%esp)\n\t"             // integer from S+0x14
        "pushl %ebp\n\t"                   // index
        "pushl 0x2C(%esp)\n\t"             // object from S+0x04
        "call _IndexedAttributeValue\n\t"
        "addl $12, %esp\n\t"
        "popal\n\t"
        "movl 0x10(%esp), %eax\n\t"
        "jmp *_ZkAttributeResumeAddress\n\t");
}

#endif

/* The simulated host: where its parts lie and the records its test entries fill.
 * Shared by simhost.S and the C++ tests; the addresses of the real host it stands
 * in for are written out independently in simhost.S. */
#ifndef ZK_SIMHOST_LAYOUT_H
#define ZK_SIMHOST_LAYOUT_H

#define SIM_IMAGE_BASE 0x400000
#define SIM_ENTRY 0x828C25  /* AddressOfEntryPoint 0x428C25 is relative to the base */
#define SIM_TEXT_START 0x401000
#define SIM_TEXT_END 0x830000
#define SIM_RDATA_START 0x830000
#define SIM_RDATA_END 0xA70000
#define SIM_DATA_START 0xA70000
#define SIM_DATA_END 0xA90000

/* Entries the tests call (cdecl, one pointer argument): each loads the caller's
 * sentinels, runs into a host site and captures the state where the host resumes. */
#define SIM_LOD_PASS 0x777C00      /* reaches the CALL at 0x777D11 */
#define SIM_ATTR_PASS 0x773B00     /* reaches the code at 0x773D3C */
#define SIM_ATTR_CAPTURE 0x773E00
#define SIM_SCULPT_PASS 0x7E7D00   /* reaches the code at 0x7E7E79 */
#define SIM_SCULPT_CAPTURE 0x7E7F00

/* Host data the tests read or fill. */
#define SIM_SCULPT_LIMIT 0x830000       /* float the host's own code at 0x7E7E79 loads */
#define SIM_LOOKUP_COUNT 0xA80000       /* entries in use in the lookup table */
#define SIM_LOOKUP_TABLE 0xA80010       /* {attribute set, key, record} x 16 */
#define SIM_LOOKUP_CAPACITY 16
#define SIM_HASH_CALLS 0xA80100         /* calls of the name hash */
#define SIM_TAIL_PASSES 0xA80104        /* passes through the host code at 0x773D4F */
#define SIM_FORWARD_CALLS 0xA80108      /* calls of the level-of-detail forward routine */
#define SIM_LOOKUP_CALLS 0xA8010C       /* calls of the attribute lookup */

/* Values the host routines leave behind. */
#define SIM_FORWARD_RESULT_XOR 0x5EED5EED  /* forward returns key ^ this */
#define SIM_FORWARD_ECX 0xC1C1C1C1
#define SIM_FORWARD_EDX 0xD1D1D1D1
#define SIM_LOOKUP_ECX 0xC2C2C2C2
#define SIM_LOOKUP_EDX 0xD2D2D2D2

/* General registers, in this order, in every record. */
#define REG_EAX 0
#define REG_ECX 4
#define REG_EDX 8
#define REG_EBX 12
#define REG_ESP 16
#define REG_EBP 20
#define REG_ESI 24
#define REG_EDI 28

/* Level-of-detail pass. */
#define LOD_NAME 0
#define LOD_KEY 4
#define LOD_IN 8
#define LOD_OUT 40
#define LOD_OUT_ARG0 72
#define LOD_OUT_ARG1 76
#define LOD_EXPECTED_ESP 80
#define LOD_FWD_CALLS 84
#define LOD_FWD_NAME 88
#define LOD_FWD_KEY 92
#define LOD_FWD_RETURN 96
#define LOD_FWD_ESP 100
#define LOD_FWD_EBX 104
#define LOD_FWD_ESI 108
#define LOD_FWD_EDI 112
#define LOD_FWD_EBP 116
#define LOD_FWD_TEXT 120
#define LOD_FRAME 184
#define LOD_PREV_TIB 188
#define LOD_STACK_SHIFT 192  /* bytes taken off ESP before the site: any alignment */
#define LOD_SIZE 196

/* Attribute pass: In.Ebp is the index; SlotsIn are [S+0] .. [S+0x1C]. */
#define ATTR_IN 0
#define ATTR_IN_X87 32
#define ATTR_SLOTS_IN 36
#define ATTR_OUT 68
#define ATTR_EXPECTED_ESP 100
#define ATTR_SLOTS_OUT 104
#define ATTR_ENV 136
#define ATTR_TOP 164
#define ATTR_BELOW 168
#define ATTR_LOOKUP_CALLS 172
#define ATTR_LOOKUP_ECX 176
#define ATTR_LOOKUP_KEY 180
#define ATTR_LOOKUP_ARG2 184
#define ATTR_LOOKUP_RETURN 188
#define ATTR_LOOKUP_ESP 192
#define ATTR_FRAME 196
#define ATTR_PREV_TIB 200
#define ATTR_SAVED_CW 204
#define ATTR_STACK_SHIFT 208
#define ATTR_SIZE 212

/* Autosculpt pass: SlotsIn are [S+0] .. [S+0xC]. */
#define SCULPT_IN 0
#define SCULPT_IN_FLAGS 32
#define SCULPT_IN_X87 36
#define SCULPT_SLOTS_IN 40
#define SCULPT_OUT 56
#define SCULPT_OUT_FLAGS 88
#define SCULPT_EXPECTED_ESP 92
#define SCULPT_SLOTS_OUT 96
#define SCULPT_ENV 112
#define SCULPT_TOP 140
#define SCULPT_BELOW 144
#define SCULPT_FRAME 148
#define SCULPT_PREV_TIB 152
#define SCULPT_SAVED_CW 156
#define SCULPT_SIZE 160

#if !defined(__ASSEMBLER__)
#include <cstddef>
#include <cstdint>

namespace sim {

struct Registers {
    std::uint32_t Eax, Ecx, Edx, Ebx, Esp, Ebp, Esi, Edi;
};

struct LodPass {
    std::uint32_t Name, Key;
    Registers In, Out;
    std::uint32_t OutArg0, OutArg1, ExpectedEsp;
    std::uint32_t ForwardCalls, ForwardName, ForwardKey, ForwardReturn, ForwardEsp;
    std::uint32_t ForwardEbx, ForwardEsi, ForwardEdi, ForwardEbp;
    char ForwardText[64];
    std::uint32_t Frame, PrevTib;
    std::uint32_t StackShift;
};

struct AttrPass {
    Registers In;
    std::uint32_t InX87Bits;
    std::uint32_t SlotsIn[8];
    Registers Out;
    std::uint32_t ExpectedEsp;
    std::uint32_t SlotsOut[8];
    std::uint8_t Env[28];
    std::uint32_t TopBits, BelowBits;
    std::uint32_t LookupCalls, LookupEcx, LookupKey, LookupArg2, LookupReturn, LookupEsp;
    std::uint32_t Frame, PrevTib, SavedCw;
    std::uint32_t StackShift;
};

struct SculptPass {
    Registers In;
    std::uint32_t InFlags, InX87Bits;
    std::uint32_t SlotsIn[4];
    Registers Out;
    std::uint32_t OutFlags, ExpectedEsp;
    std::uint32_t SlotsOut[4];
    std::uint8_t Env[28];
    std::uint32_t TopBits, BelowBits;
    std::uint32_t Frame, PrevTib, SavedCw;
};

struct LookupEntry {
    std::uint32_t AttributeSet, Key, Record;
};

static_assert(sizeof(Registers) == 32 && offsetof(Registers, Esp) == REG_ESP, "layout");
static_assert(offsetof(LodPass, Out) == LOD_OUT && offsetof(LodPass, ExpectedEsp) == LOD_EXPECTED_ESP, "layout");
static_assert(offsetof(LodPass, ForwardText) == LOD_FWD_TEXT && sizeof(LodPass) == LOD_SIZE, "layout");
static_assert(offsetof(LodPass, StackShift) == LOD_STACK_SHIFT, "layout");
static_assert(offsetof(AttrPass, StackShift) == ATTR_STACK_SHIFT, "layout");
static_assert(offsetof(AttrPass, Out) == ATTR_OUT && offsetof(AttrPass, Env) == ATTR_ENV, "layout");
static_assert(offsetof(AttrPass, LookupCalls) == ATTR_LOOKUP_CALLS && sizeof(AttrPass) == ATTR_SIZE, "layout");
static_assert(offsetof(SculptPass, Out) == SCULPT_OUT && offsetof(SculptPass, Env) == SCULPT_ENV, "layout");
static_assert(offsetof(SculptPass, TopBits) == SCULPT_TOP && sizeof(SculptPass) == SCULPT_SIZE, "layout");

}  // namespace sim
#endif

#endif

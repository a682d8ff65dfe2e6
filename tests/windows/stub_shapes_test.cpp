// Wrapping through the stub shapes of real KERNEL32 and KERNELBASE builds, on
// synthetic functions in executable memory: each is wrapped, then called through
// the wrapper (its own entry) and through the trampoline.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "detour.h"

namespace {

using Sum = int(__stdcall*)(int, int);
Sum gOriginal = nullptr;
int __stdcall Replacement(int a, int b) { return 1000 + gOriginal(a, b); }

// Executable memory that rows write their stubs and functions into.
struct Code {
    std::uint8_t* Start = static_cast<std::uint8_t*>(
        VirtualAlloc(nullptr, 0x10000, MEM_COMMIT | MEM_RESERVE, PAGE_EXECUTE_READWRITE));
    std::uint8_t* End = Start;
    ~Code() { VirtualFree(Start, 0, MEM_RELEASE); }

    std::uint8_t* Put(std::initializer_list<std::uint8_t> bytes) {
        std::uint8_t* at = End;
        for (std::uint8_t byte : bytes) *End++ = byte;
        End += 16 - (End - Start) % 16;
        return at;
    }
    // E9/EB with the displacement to target, from at.
    static void Rel32(std::uint8_t* at, const void* target) {
        const std::uint32_t d = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(target) -
                                                           reinterpret_cast<std::uintptr_t>(at + 4));
        std::memcpy(at, &d, 4);
    }
    std::uint8_t* Jump(const void* target) {
        std::uint8_t* at = Put({0xE9, 0, 0, 0, 0});
        Rel32(at + 1, target);
        return at;
    }
    std::uint8_t* IndirectJump(const void* target, bool hotPatched) {
        const auto* slot = reinterpret_cast<std::uint8_t*>(Put({0, 0, 0, 0}));
        std::memcpy(const_cast<std::uint8_t*>(slot), &target, 4);
        const auto address = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(slot));
        std::uint8_t a[4];
        std::memcpy(a, &address, 4);
        if (hotPatched) return Put({0x8B, 0xFF, 0x55, 0x8B, 0xEC, 0x5D, 0xFF, 0x25, a[0], a[1], a[2], a[3]});
        return Put({0xFF, 0x25, a[0], a[1], a[2], a[3]});
    }
    // int __stdcall (int a, int b) returning a + b, with the hot-patch prologue.
    std::uint8_t* HotPatchedSum() {
        return Put({0x8B, 0xFF, 0x55, 0x8B, 0xEC, 0x8B, 0x45, 0x08, 0x03, 0x45, 0x0C, 0x5D, 0xC2, 0x08, 0x00});
    }
    // The same as gcc builds it (Wine's own builds): push ebp; mov ebp, esp.
    std::uint8_t* GccSum() {
        return Put({0x55, 0x89, 0xE5, 0x8B, 0x45, 0x08, 0x03, 0x45, 0x0C, 0x5D, 0xC2, 0x08, 0x00});
    }
    // a + b + 7 as a leaf that reads a global first (Wine 8's KERNELBASE!GetACP):
    // movzx eax, word ptr [seven]; add eax, [esp+4]; add eax, [esp+8]; ret 8.
    std::uint8_t* LeafReadingAGlobal() {
        std::uint8_t* seven = Put({7, 0});
        const auto address = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(seven));
        std::uint8_t a[4];
        std::memcpy(a, &address, 4);
        return Put({0x0F, 0xB7, 0x05, a[0], a[1], a[2], a[3], 0x03, 0x44, 0x24, 0x04, 0x03, 0x44, 0x24, 0x08,
                    0xC2, 0x08, 0x00});
    }
    // a + b through the TEB: mov eax, fs:[0x18] (the TEB's own address); mov eax, a;
    // add eax, b; ret 8.
    std::uint8_t* SumAfterATebRead() {
        return Put({0x64, 0xA1, 0x18, 0x00, 0x00, 0x00, 0x8B, 0x44, 0x24, 0x04, 0x03, 0x44, 0x24, 0x08,
                    0xC2, 0x08, 0x00});
    }
    // a + b + 7, the 7 from a call that is the first instruction: call (mov ecx, 7;
    // ret), then mov eax, [esp+4]; add eax, [esp+8]; add eax, ecx; ret 8.
    std::uint8_t* SumAfterACall() {
        std::uint8_t* helper = Put({0xB9, 0x07, 0x00, 0x00, 0x00, 0xC3});
        std::uint8_t* at = Put({0xE8, 0, 0, 0, 0, 0x8B, 0x44, 0x24, 0x04, 0x03, 0x44, 0x24, 0x08,
                                0x01, 0xC8, 0xC2, 0x08, 0x00});
        Rel32(at + 1, helper);
        return at;
    }
};

Code* gCode = nullptr;

bool InTheBlock(const void* target, std::string* why) {
    const auto* at = static_cast<const std::uint8_t*>(target);
    if (at >= gCode->Start && at < gCode->End) return true;
    *why = "it jumps outside the block";
    return false;
}

struct Shape {
    const char* What;
    std::uint8_t* (*Make)(Code&);
    int Sum;  // of 2 and 3, called through the trampoline
};

const Shape kShapes[] = {
    {"plain hot-patch prologue", [](Code& c) { return c.HotPatchedSum(); }, 5},
    {"prologue, pop ebp, then an indirect jump (Windows 7)",
     [](Code& c) { return c.IndirectJump(c.HotPatchedSum(), true); }, 5},
    {"an indirect jump at once (Windows 8 and later)",
     [](Code& c) { return c.IndirectJump(c.HotPatchedSum(), false); }, 5},
    {"a relative jump at once", [](Code& c) { return c.Jump(c.HotPatchedSum()); }, 5},
    {"a short jump to a long one",
     [](Code& c) {
         std::uint8_t* longJump = c.Jump(c.HotPatchedSum());
         std::uint8_t* at = c.Put({0xEB, 0x00});
         at[1] = static_cast<std::uint8_t>(longJump - (at + 2));
         return at;
     }, 5},
    {"an indirect jump to gcc's prologue (Wine)", [](Code& c) { return c.IndirectJump(c.GccSum(), false); }, 5},
    {"a relative call among the first instructions", [](Code& c) { return c.SumAfterACall(); }, 12},
    {"a stub to a leaf that reads a global first (Wine 8)",
     [](Code& c) { return c.IndirectJump(c.LeafReadingAGlobal(), true); }, 12},
    {"a read of the TEB through fs first", [](Code& c) { return c.Jump(c.SumAfterATebRead()); }, 5},
};

TEST(StubShapes, EachIsWrappedAndStillReachesTheOriginal) {
    Code code;
    gCode = &code;
    for (const Shape& shape : kShapes) {
        SCOPED_TRACE(shape.What);
        std::uint8_t* entry = shape.Make(code);
        std::string why;
        void* trampoline = harness::InstallDetour(entry, reinterpret_cast<const void*>(&Replacement), &InTheBlock, &why);
        ASSERT_NE(trampoline, nullptr) << why;
        gOriginal = reinterpret_cast<Sum>(trampoline);
        EXPECT_EQ(reinterpret_cast<Sum>(entry)(2, 3), 1000 + shape.Sum);
        EXPECT_EQ(gOriginal(2, 3), shape.Sum);
        EXPECT_EQ(gOriginal(-40, 1), shape.Sum - 5 - 39);
    }
}

TEST(StubShapes, ThoseThatCannotBeFollowedAreRefusedWithAReason) {
    Code code;
    gCode = &code;
    struct Refusal {
        const char* What;
        std::uint8_t* Entry;
        harness::JumpCheck Check;
        std::string Why;  // how the reason starts
    };
    std::uint8_t* self = code.Put({0xEB, 0xFE});
    std::uint8_t* first = code.Put({0xE9, 0, 0, 0, 0});
    std::uint8_t* second = code.Jump(first);
    Code::Rel32(first + 1, second);
    std::uint8_t* chain = code.HotPatchedSum();
    for (int i = 0; i < 8; ++i) chain = code.Jump(chain);
    std::uint8_t* unreadable = code.Put({0xFF, 0x25, 0x10, 0x00, 0x00, 0x00});
    // test ecx, ecx; je +3: a relative branch among the first five bytes.
    std::uint8_t* immovable = code.Put({0x85, 0xC9, 0x74, 0x03, 0x31, 0xC0, 0x90, 0xC2, 0x08, 0x00});
    Code elsewhere;
    std::uint8_t* foreign = code.Jump(elsewhere.HotPatchedSum());
    std::uint8_t* intoThisDll = code.Jump(reinterpret_cast<const void*>(&Replacement));
    const Refusal refusals[] = {
        {"a jump to itself", self, &InTheBlock, "its jumps loop (back to "},
        {"two stubs that jump to each other", first, &InTheBlock, "its jumps loop (back to "},
        {"nine jumps in a row", chain, &InTheBlock, "more than 8 jumps lead from it"},
        {"an indirect jump through unreadable memory", unreadable, &InTheBlock, "its jump at "},
        {"a relative branch among the first instructions", immovable, &InTheBlock,
         "the first instructions of its code at "},
        {"a jump out of the allowed code", foreign, &InTheBlock, "it jumps outside the block"},
        {"a jump into another module (a hook of someone else's)", intoThisDll, &harness::InSystemModule,
         "it jumps to "},
    };
    for (const Refusal& refusal : refusals) {
        SCOPED_TRACE(refusal.What);
        const std::vector<std::uint8_t> before(refusal.Entry, refusal.Entry + 8);
        std::string why;
        EXPECT_EQ(harness::InstallDetour(refusal.Entry, reinterpret_cast<const void*>(&Replacement),
                                         refusal.Check, &why), nullptr);
        EXPECT_EQ(why.rfind(refusal.Why, 0), 0u) << why;
        EXPECT_EQ(std::vector<std::uint8_t>(refusal.Entry, refusal.Entry + 8), before) << "changed all the same";
    }
}

}  // namespace

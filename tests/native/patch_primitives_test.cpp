// The patch primitives on a region mapped at a fixed 32-bit address, decoded with
// capstone, with the protection read back from the kernel.
#include <gtest/gtest.h>

#include <capstone/capstone.h>
#include <sys/mman.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include "core/os.h"
#include "core/patch_primitives.h"

namespace {

constexpr std::uint32_t kBase = 0x30000000;  // three pages: r-x, r--, rw-
constexpr std::uint32_t kCode = kBase;
constexpr std::uint32_t kReadOnly = kBase + 0x1000;
constexpr std::uint32_t kWritable = kBase + 0x2000;

// The protection of the page holding an address, as /proc/self/maps tells it.
std::string Permissions(std::uint32_t address) {
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line)) {
        unsigned long long start = 0, end = 0;
        char perms[5] = {};
        if (std::sscanf(line.c_str(), "%llx-%llx %4s", &start, &end, perms) == 3 &&
            address >= start && address < end) {
            return std::string(perms, 3);
        }
    }
    return "unmapped";
}

struct Instruction {
    std::string Mnemonic;
    std::uint64_t Target;
    std::size_t Size;
};

Instruction Decode(std::uint32_t address) {
    csh handle;
    EXPECT_EQ(cs_open(CS_ARCH_X86, CS_MODE_32, &handle), CS_ERR_OK);
    cs_insn* insn = nullptr;
    const auto* code = reinterpret_cast<const std::uint8_t*>(static_cast<std::uintptr_t>(address));
    Instruction result{"?", 0, 0};
    if (cs_disasm(handle, code, 16, address, 1, &insn) == 1) {
        result.Mnemonic = insn[0].mnemonic;
        result.Target = std::strtoull(insn[0].op_str, nullptr, 16);
        result.Size = insn[0].size;
        cs_free(insn, 1);
    }
    cs_close(&handle);
    return result;
}

class Primitives : public testing::Test {
protected:
    void SetUp() override {
        void* at = mmap(reinterpret_cast<void*>(kBase), 0x3000, PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
        ASSERT_EQ(at, reinterpret_cast<void*>(kBase)) << "cannot map the test region";
        std::memset(at, 0xCC, 0x3000);
        mprotect(at, 0x1000, PROT_READ | PROT_EXEC);
        mprotect(static_cast<char*>(at) + 0x1000, 0x1000, PROT_READ);
    }
    void TearDown() override { munmap(reinterpret_cast<void*>(kBase), 0x3000); }
    static std::vector<std::uint8_t> Bytes(std::uint32_t address, std::size_t count) {
        const auto* at = reinterpret_cast<const std::uint8_t*>(static_cast<std::uintptr_t>(address));
        return std::vector<std::uint8_t>(at, at + count);
    }
};

TEST_F(Primitives, ValueOfEachWidthAndProtectionRestored) {
    zk::PatchValue(kCode + 0x10, std::uint8_t{0xAB});
    zk::PatchValue(kCode + 0x21, std::uint16_t{0x1234});
    zk::PatchValue(kCode + 0x31, std::uint32_t{0x002C8000});  // unaligned, as at 0x65F761
    EXPECT_EQ(Bytes(kCode + 0x0F, 3), (std::vector<std::uint8_t>{0xCC, 0xAB, 0xCC}));
    EXPECT_EQ(Bytes(kCode + 0x20, 4), (std::vector<std::uint8_t>{0xCC, 0x34, 0x12, 0xCC}));
    EXPECT_EQ(Bytes(kCode + 0x30, 6), (std::vector<std::uint8_t>{0xCC, 0x00, 0x80, 0x2C, 0x00, 0xCC}));
    EXPECT_EQ(Permissions(kCode), "r-x");
    zk::PatchValue(kReadOnly + 0x40, std::uint32_t{0x00177000});
    EXPECT_EQ(Bytes(kReadOnly + 0x40, 4), (std::vector<std::uint8_t>{0x00, 0x70, 0x17, 0x00}));
    EXPECT_EQ(Permissions(kReadOnly), "r--");
}

TEST_F(Primitives, NopsOfEachLength) {
    for (std::uint32_t count : {1u, 2u, 3u, 4u, 6u, 8u, 9u}) {
        const std::uint32_t site = kCode + 0x100 + count * 0x20;
        zk::PatchNops(site, count);
        std::vector<std::uint8_t> expected(count + 2, 0x90);
        expected.front() = expected.back() = 0xCC;
        EXPECT_EQ(Bytes(site - 1, count + 2), expected) << count;
    }
    zk::PatchNops(kCode + 0x800, 0);
    EXPECT_EQ(Bytes(kCode + 0x800, 1), std::vector<std::uint8_t>{0xCC});
    EXPECT_EQ(Permissions(kCode), "r-x");
}

TEST_F(Primitives, CallAndJumpDecodeToTheirTargets) {
    zk::PatchCall(kCode + 0x11, kCode + 0x900);
    zk::PatchJump(kCode + 0x3C, kCode + 0x44);
    const Instruction call = Decode(kCode + 0x11);
    EXPECT_EQ(call.Mnemonic, "call");
    EXPECT_EQ(call.Target, kCode + 0x900);
    EXPECT_EQ(call.Size, 5u);
    const Instruction jump = Decode(kCode + 0x3C);
    EXPECT_EQ(jump.Mnemonic, "jmp");
    EXPECT_EQ(jump.Target, kCode + 0x44);
    EXPECT_EQ(Bytes(kCode + 0x3C, 5), (std::vector<std::uint8_t>{0xE9, 0x03, 0x00, 0x00, 0x00}));
    EXPECT_EQ(Permissions(kCode), "r-x");
}

TEST_F(Primitives, BackwardTargetsStoreTwosComplement) {
    const std::uint32_t site = kCode + 0x200;
    zk::PatchJump(site, site + 5 - 16);
    EXPECT_EQ(Bytes(site, 5), (std::vector<std::uint8_t>{0xE9, 0xF0, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(Decode(site).Target, site - 11);
    zk::PatchCall(site + 0x20, site + 0x20);
    EXPECT_EQ(Bytes(site + 0x20, 5), (std::vector<std::uint8_t>{0xE8, 0xFB, 0xFF, 0xFF, 0xFF}));
}

TEST_F(Primitives, DisplacementWrapsModulo2To32) {
    EXPECT_EQ(zk::RelativeDisplacement(0x5C18E6, 0x5C19AC), 0xC1u);
    EXPECT_EQ(zk::RelativeDisplacement(0x777D11, 0x10001000), 0x10001000u - 0x777D16u);
    EXPECT_EQ(zk::RelativeDisplacement(0xFFFFFFF0, 0x10), 0x1Bu);
    EXPECT_EQ(zk::RelativeDisplacement(0x10, 0xFFFFFFF0), 0xFFFFFFDBu);
}

TEST_F(Primitives, UnopenableRangeIsWrittenOnlyIfAlreadyWritable) {
    // An address with no mapping: the protection change fails and nothing is stored.
    munmap(reinterpret_cast<void*>(kReadOnly), 0x1000);
    zk::PatchValue(kReadOnly + 8, std::uint32_t{0x12345678});
    zk::PatchNops(kReadOnly + 0xFFE, 4);  // straddles into the writable page: not written
    EXPECT_EQ(Permissions(kReadOnly), "unmapped");
    EXPECT_EQ(Bytes(kWritable, 2), (std::vector<std::uint8_t>{0xCC, 0xCC}));
}

TEST(ProtectMemory, ReportsThePreviousProtection) {
    void* at = mmap(reinterpret_cast<void*>(0x31000000), 0x2000, PROT_READ,
                    MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
    ASSERT_EQ(at, reinterpret_cast<void*>(0x31000000));
    std::uint32_t previous = 0;
    ASSERT_TRUE(zk::os::ProtectMemory(0x31000010, 4, zk::os::kPageExecuteReadWrite, &previous));
    EXPECT_EQ(previous, zk::os::kPageReadOnly);
    EXPECT_EQ(Permissions(0x31000000), "rwx");
    EXPECT_EQ(Permissions(0x31001000), "r--");
    EXPECT_TRUE(zk::os::IsRangeWritable(0x31000000, 0x1000));
    EXPECT_FALSE(zk::os::IsRangeWritable(0x31000FFE, 4));
    ASSERT_TRUE(zk::os::ProtectMemory(0x31000010, 4, previous, &previous));
    EXPECT_EQ(previous, zk::os::kPageExecuteReadWrite);
    EXPECT_EQ(Permissions(0x31000000), "r--");
    EXPECT_FALSE(zk::os::ProtectMemory(0x32000000, 4, zk::os::kPageReadWrite, &previous));
    munmap(at, 0x2000);
}

}  // namespace

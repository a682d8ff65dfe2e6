// The supported build by its entry point, in memory and on disk.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "core/host_check.h"

namespace {

// A minimal PE32 header set: DOS header, NT headers at 0x80.
std::string Pe(std::uint32_t entry, std::uint16_t magic = 0x10B, std::uint32_t lfanew = 0x80) {
    std::string image(0x200, '\0');
    image[0] = 'M';
    image[1] = 'Z';
    std::memcpy(&image[0x3C], &lfanew, 4);
    if (static_cast<std::uint64_t>(lfanew) + 0x2C <= image.size()) {
        std::memcpy(&image[lfanew], "PE\0\0", 4);
        std::memcpy(&image[lfanew + 0x18], &magic, 2);
        std::memcpy(&image[lfanew + 0x28], &entry, 4);
    }
    return image;
}

TEST(HostImage, TheEntryPointFieldDecides) {
    const std::string supported = Pe(0x428C25);
    const auto* image = reinterpret_cast<const std::uint8_t*>(supported.data());
    EXPECT_EQ(zk::ReadEntryPointRva(image), 0x428C25u);
    EXPECT_TRUE(zk::IsSupportedHostImage(image));
    for (std::uint32_t other : {0x428C24u, 0x428C26u, 0x28C25u, 0u, 0xFFFFFFFFu, 0x828C25u}) {
        const std::string variant = Pe(other);
        EXPECT_FALSE(zk::IsSupportedHostImage(reinterpret_cast<const std::uint8_t*>(variant.data())))
            << std::hex << other;
    }
}

TEST(HostImage, OnlyTheEntryPointTakesPart) {
    std::string image = Pe(0x428C25, 0x20B);  // even a PE32+ magic: not looked at in memory
    image[0] = 'X';
    std::memcpy(&image[0x84], "\xFF\xFF", 2);
    EXPECT_TRUE(zk::IsSupportedHostImage(reinterpret_cast<const std::uint8_t*>(image.data())));
}

TEST(HostFile, SupportedAndOther) {
    auto check = zk::CheckHostFile(Pe(0x428C25));
    EXPECT_TRUE(check.Supported);
    EXPECT_TRUE(check.HasEntryPoint);
    EXPECT_EQ(check.Error, "");
    check = zk::CheckHostFile(Pe(0x1000));
    EXPECT_FALSE(check.Supported);
    EXPECT_TRUE(check.HasEntryPoint);
    EXPECT_EQ(check.EntryPoint, 0x1000u);
    EXPECT_EQ(check.Error, "");
}

TEST(HostFile, CorruptedHeaders) {
    struct Case {
        std::string Bytes;
        const char* Error;
    };
    std::string noSignature = Pe(0x428C25);
    noSignature[0x80] = 'X';
    std::string unknownMagic = Pe(0x428C25, 0x107);
    const Case cases[] = {
        {"", "not a Windows executable (no MZ header)"},
        {"M", "not a Windows executable (no MZ header)"},
        {"ELF\x7F", "not a Windows executable (no MZ header)"},
        {"MZ" + std::string(20, '\0'), "truncated: the file ends inside the DOS header"},
        {Pe(0x428C25, 0x10B, 0x7FFFFFF0), "truncated: the file ends before the PE header"},
        {Pe(0x428C25, 0x10B, 0xFFFFFFFF), "truncated: the file ends before the PE header"},
        // Each boundary from both sides: the DOS header's last field, the signature.
        {Pe(0x428C25).substr(0, 0x3F), "truncated: the file ends inside the DOS header"},
        {Pe(0x428C25).substr(0, 0x40), "truncated: the file ends before the PE header"},
        {Pe(0x428C25).substr(0, 0x83), "truncated: the file ends before the PE header"},
        {Pe(0x428C25).substr(0, 0x84), "truncated: the file ends inside the PE header"},
        {Pe(0x428C25).substr(0, 0x90), "truncated: the file ends inside the PE header"},
        {Pe(0x428C25).substr(0, 0xA9), "truncated: the file ends inside the optional header"},
        {noSignature, "not a PE executable (no PE signature)"},
        {Pe(0x428C25, 0x20B), "a 64-bit (PE32+) executable; the game is a 32-bit program"},
        {unknownMagic, "not a PE32 executable (unknown optional header)"},
    };
    for (const Case& c : cases) {
        const auto check = zk::CheckHostFile(c.Bytes);
        EXPECT_FALSE(check.Supported);
        EXPECT_FALSE(check.HasEntryPoint);
        EXPECT_EQ(check.Error, c.Error) << c.Bytes.size();
    }
    // Exactly long enough is enough.
    EXPECT_TRUE(zk::CheckHostFile(Pe(0x428C25).substr(0, 0xAC)).Supported);
}

}  // namespace

#include "core/host_check.h"

#include <cstring>

#include "core/host_addresses.h"

namespace zk {
namespace {

constexpr std::uint32_t kLfanewOffset = 0x3C;
constexpr std::uint32_t kEntryPointOffset = 0x28;  // signature 4 + file header 20 + 0x10
constexpr std::uint32_t kMagicOffset = 0x18;       // optional header magic
constexpr std::uint16_t kPe32Magic = 0x10B;
constexpr std::uint16_t kPe32PlusMagic = 0x20B;

std::uint32_t Load32(const std::uint8_t* at) {
    std::uint32_t value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

}  // namespace

std::uint32_t ReadEntryPointRva(const std::uint8_t* image) {
    const std::uint32_t lfanew = Load32(image + kLfanewOffset);
    return Load32(image + lfanew + kEntryPointOffset);
}

bool IsSupportedHostImage(const std::uint8_t* image) {
    return ReadEntryPointRva(image) == SupportedEntryPointRva;
}

HostFileCheck CheckHostFile(const std::string& bytes) {
    HostFileCheck check;
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    const std::uint64_t size = bytes.size();
    if (size < 2 || data[0] != 'M' || data[1] != 'Z') {
        check.Error = "not a Windows executable (no MZ header)";
        return check;
    }
    if (size < kLfanewOffset + 4) {
        check.Error = "truncated: the file ends inside the DOS header";
        return check;
    }
    const std::uint64_t nt = Load32(data + kLfanewOffset);
    if (nt + 4 > size) {
        check.Error = "truncated: the file ends before the PE header";
        return check;
    }
    if (std::memcmp(data + nt, "PE\0\0", 4) != 0) {
        check.Error = "not a PE executable (no PE signature)";
        return check;
    }
    if (nt + kMagicOffset + 2 > size) {
        check.Error = "truncated: the file ends inside the PE header";
        return check;
    }
    std::uint16_t magic;
    std::memcpy(&magic, data + nt + kMagicOffset, sizeof magic);
    if (magic == kPe32PlusMagic) {
        check.Error = "a 64-bit (PE32+) executable; the game is a 32-bit program";
        return check;
    }
    if (magic != kPe32Magic) {
        check.Error = "not a PE32 executable (unknown optional header)";
        return check;
    }
    if (nt + kEntryPointOffset + 4 > size) {
        check.Error = "truncated: the file ends inside the optional header";
        return check;
    }
    check.HasEntryPoint = true;
    check.EntryPoint = Load32(data + nt + kEntryPointOffset);
    check.Supported = check.EntryPoint == SupportedEntryPointRva;
    return check;
}

}  // namespace zk

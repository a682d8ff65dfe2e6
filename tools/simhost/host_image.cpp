// The host image: a pristine copy taken once, put back before every scenario with
// its page protections, the bytes a plugin changed, and the entries into the
// host's hooked sites with what they capture.
#include "harness_parts.h"

#include <cstring>

namespace harness {
namespace {

std::vector<std::uint8_t> gPristine;
std::vector<std::uint32_t> gPristineProtection;  // one per page

constexpr std::uint32_t kPage = 0x1000;

}  // namespace

std::uint32_t HostImageSize() {
    const auto* base = HostByte(SIM_IMAGE_BASE);
    std::uint32_t lfanew = 0, size = 0;
    std::memcpy(&lfanew, base + 0x3C, 4);
    std::memcpy(&size, base + lfanew + 0x50, 4);  // SizeOfImage
    return size;
}

void TakeHostSnapshot() {
    const std::uint32_t size = HostImageSize();
    gPristine.assign(HostByte(SIM_IMAGE_BASE), HostByte(SIM_IMAGE_BASE) + size);
    gPristineProtection.clear();
    for (std::uint32_t at = SIM_IMAGE_BASE; at < SIM_IMAGE_BASE + size; at += kPage) {
        gPristineProtection.push_back(CurrentProtection(at));
    }
}

const std::vector<std::uint8_t>& PristineImage() { return gPristine; }

std::vector<std::uint8_t> CurrentImage() {
    return std::vector<std::uint8_t>(HostByte(SIM_IMAGE_BASE),
                                     HostByte(SIM_IMAGE_BASE) + gPristine.size());
}

std::uint32_t PristineProtection(std::uint32_t address) {
    return gPristineProtection.at((address - SIM_IMAGE_BASE) / kPage);
}

std::uint32_t CurrentProtection(std::uint32_t address) {
    MEMORY_BASIC_INFORMATION region{};
    VirtualQuery(HostByte(address), &region, sizeof region);
    return region.Protect;
}

void RestoreHostImage() {
    for (std::uint32_t offset = 0; offset < gPristine.size(); offset += kPage) {
        std::uint8_t* live = HostByte(SIM_IMAGE_BASE + offset);
        const std::uint32_t length = std::min<std::uint32_t>(kPage, gPristine.size() - offset);
        if (std::memcmp(live, gPristine.data() + offset, length) != 0) {
            DWORD old = 0;
            ProtectDirect(live, length, PAGE_EXECUTE_READWRITE, &old);
            std::memcpy(live, gPristine.data() + offset, length);
            FlushInstructionCache(GetCurrentProcess(), live, length);
        }
    }
    for (std::uint32_t offset = 0; offset < gPristine.size();) {
        MEMORY_BASIC_INFORMATION region{};
        VirtualQuery(HostByte(SIM_IMAGE_BASE + offset), &region, sizeof region);
        const std::uint32_t wanted = gPristineProtection[offset / kPage];
        if (region.Protect != wanted) {
            DWORD old = 0;
            ProtectDirect(HostByte(SIM_IMAGE_BASE + offset), kPage, wanted, &old);
            offset += kPage;
        } else {
            const std::uint32_t regionEnd = static_cast<std::uint32_t>(
                reinterpret_cast<std::uintptr_t>(region.BaseAddress) + region.RegionSize);
            offset = std::max(offset + kPage, regionEnd - SIM_IMAGE_BASE);
        }
    }
}

void PokeHost(std::uint32_t address, const void* bytes, std::size_t size) {
    WriteCode(HostByte(address), bytes, size);
}

std::uint32_t PeekHost32(std::uint32_t address) {
    std::uint32_t value = 0;
    std::memcpy(&value, HostByte(address), 4);
    return value;
}

float PeekHostFloat(std::uint32_t address) { return BitsFloat(PeekHost32(address)); }

std::vector<ByteChange> ChangedBytes() {
    std::vector<ByteChange> changes;
    const std::uint8_t* live = HostByte(SIM_IMAGE_BASE);
    for (std::uint32_t offset = 0; offset < gPristine.size(); offset += kPage) {
        const std::uint32_t length = std::min<std::uint32_t>(kPage, gPristine.size() - offset);
        if (std::memcmp(live + offset, gPristine.data() + offset, length) == 0) continue;
        for (std::uint32_t i = offset; i < offset + length; ++i) {
            if (live[i] != gPristine[i]) {
                changes.push_back({SIM_IMAGE_BASE + i, gPristine[i], live[i]});
            }
        }
    }
    return changes;
}

void PassLodSite(sim::LodPass& pass) {
    reinterpret_cast<void(__cdecl*)(sim::LodPass*)>(SIM_LOD_PASS)(&pass);
}

void PassAttributeSite(sim::AttrPass& pass) {
    reinterpret_cast<void(__cdecl*)(sim::AttrPass*)>(SIM_ATTR_PASS)(&pass);
}

void PassSculptSite(sim::SculptPass& pass) {
    reinterpret_cast<void(__cdecl*)(sim::SculptPass*)>(SIM_SCULPT_PASS)(&pass);
}

std::uint32_t CallHostNameHash(const char* name) {
    return reinterpret_cast<std::uint32_t(__cdecl*)(const char*)>(0x436680)(name);
}

void SetLookupTable(const std::vector<sim::LookupEntry>& entries) {
    const std::uint32_t count = static_cast<std::uint32_t>(std::min<size_t>(entries.size(), SIM_LOOKUP_CAPACITY));
    std::memcpy(HostByte(SIM_LOOKUP_TABLE), entries.data(), count * sizeof(sim::LookupEntry));
    std::memcpy(HostByte(SIM_LOOKUP_COUNT), &count, 4);
}

int X87Depth(const std::uint8_t* env) {
    std::uint16_t tags = 0;
    std::memcpy(&tags, env + 8, 2);  // FTW in the 28-byte protected-mode image
    int depth = 0;
    for (int i = 0; i < 8; ++i) depth += ((tags >> (2 * i)) & 3) != 3;
    return depth;
}

std::uint32_t FloatBits(float value) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, 4);
    return bits;
}

float BitsFloat(std::uint32_t bits) {
    float value;
    std::memcpy(&value, &bits, 4);
    return value;
}

std::uint32_t RelativeTarget(std::uint32_t site) {
    return site + 5 + PeekHost32(site + 1);
}

}  // namespace harness

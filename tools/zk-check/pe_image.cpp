#include "pe_image.h"

#include <algorithm>
#include <cstring>

namespace zk::check {
namespace {

std::uint32_t U16(const std::string& bytes, std::size_t at) {
    return static_cast<unsigned char>(bytes[at]) | static_cast<unsigned char>(bytes[at + 1]) << 8;
}

std::uint32_t U32(const std::string& bytes, std::size_t at) { return U16(bytes, at) | U16(bytes, at + 2) << 16; }

}  // namespace

std::string ReadPeLayout(const std::string& headers, PeLayout& layout, std::size_t* needed) {
    layout = PeLayout();
    *needed = 0;
    const std::uint64_t size = headers.size();
    if (size < 2 || headers[0] != 'M' || headers[1] != 'Z') return "not a Windows program (no MZ header)";
    if (size < 0x40) return "truncated inside its DOS header";
    const std::uint64_t nt = U32(headers, 0x3C);
    const std::uint64_t optional = nt + 24;
    if (optional + 0x20 > size) {
        *needed = static_cast<std::size_t>(std::min<std::uint64_t>(optional + 0x20, 1u << 20));
        return "truncated before the end of its PE header";
    }
    if (std::memcmp(headers.data() + nt, "PE\0\0", 4) != 0) return "not a Windows program (no PE signature)";
    if (U16(headers, optional) != 0x10B) return "not a 32-bit Windows program";
    const std::uint64_t sections = U16(headers, nt + 6);
    const std::uint64_t table = optional + U16(headers, nt + 20);
    if (table + sections * 40 > size) {
        *needed = static_cast<std::size_t>(std::min<std::uint64_t>(table + sections * 40, 1u << 20));
        return "truncated inside its section table";
    }
    layout.ImageBase = U32(headers, optional + 0x1C);
    for (std::uint64_t i = 0; i < sections; ++i) {
        const std::size_t at = static_cast<std::size_t>(table + i * 40);
        layout.Sections.push_back({U32(headers, at + 12), U32(headers, at + 8), U32(headers, at + 20),
                                   U32(headers, at + 16)});
    }
    return "";
}

bool MappedSpan(const PeLayout& layout, std::uint32_t address, std::uint32_t count, std::uint64_t* offset,
                std::uint32_t* fromFile) {
    const std::uint64_t rva = std::uint64_t{address} - layout.ImageBase;
    if (address < layout.ImageBase) return false;
    for (const PeSection& section : layout.Sections) {
        // A section's size in memory may be given as 0: its raw size, then.
        const std::uint64_t span = section.Size != 0 ? section.Size : section.RawSize;
        if (rva < section.Address || rva - section.Address + count > span) continue;
        const std::uint64_t into = rva - section.Address;
        *offset = std::uint64_t{section.RawOffset} + into;
        *fromFile = into >= section.RawSize ? 0 : static_cast<std::uint32_t>(std::min<std::uint64_t>(count, section.RawSize - into));
        return true;
    }
    return false;
}

}  // namespace zk::check

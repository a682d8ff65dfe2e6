// The fixed part of a version resource, found the way Windows' loader finds any
// resource: the optional header's resource directory, then type 16 (RT_VERSION),
// its first name and its first language, whose data entry gives the RVA of a
// VS_VERSIONINFO block; sections map RVAs to file offsets.
#include "pe_version.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace zk::check {
namespace {

constexpr std::uint16_t kRtVersion = 16;
constexpr std::uint32_t kFixedSignature = 0xFEEF04BD;
constexpr std::size_t kFixedSize = 52;  // VS_FIXEDFILEINFO

class Bytes {
  public:
    explicit Bytes(const std::string& bytes) : mData(bytes) {}
    std::size_t Size() const { return mData.size(); }
    bool Has(std::uint64_t at, std::uint64_t count) const { return at <= mData.size() && count <= mData.size() - at; }
    std::uint32_t U16(std::uint64_t at) const { return Byte(at) | Byte(at + 1) << 8; }
    std::uint32_t U32(std::uint64_t at) const { return U16(at) | U16(at + 2) << 16; }

  private:
    std::uint32_t Byte(std::uint64_t at) const { return static_cast<unsigned char>(mData[at]); }
    const std::string& mData;
};

struct Section {
    std::uint32_t Address, Size, RawOffset, RawSize;
};

// The file offset of count bytes at rva, or false when no section holds them all.
bool FileOffset(const std::vector<Section>& sections, const Bytes& file, std::uint64_t rva, std::uint64_t count,
                std::uint64_t* offset) {
    for (const Section& section : sections) {
        const std::uint64_t span = section.RawSize;
        if (rva < section.Address || rva - section.Address >= span || count > span - (rva - section.Address)) continue;
        *offset = std::uint64_t{section.RawOffset} + (rva - section.Address);
        return file.Has(*offset, count);
    }
    return false;
}

PeVersion Problem(const std::string& problem) { return {"", problem}; }

}  // namespace

PeVersion ReadPeVersion(const std::string& bytes) {
    const Bytes file(bytes);
    if (file.Size() == 0) return Problem("the file is empty");
    if (!file.Has(0, 2) || bytes[0] != 'M' || bytes[1] != 'Z') return Problem("not a Windows program (no MZ header)");
    if (!file.Has(0x3C, 4)) return Problem("truncated inside its DOS header");
    const std::uint64_t nt = file.U32(0x3C);
    if (!file.Has(nt, 24)) return Problem("truncated before its PE header");
    if (std::memcmp(bytes.data() + nt, "PE\0\0", 4) != 0) return Problem("not a Windows program (no PE signature)");
    const std::uint32_t sectionCount = file.U16(nt + 6);
    const std::uint64_t optional = nt + 24;
    const std::uint64_t optionalSize = file.U16(nt + 20);
    if (!file.Has(optional, 2)) return Problem("truncated inside its PE header");
    const std::uint32_t magic = file.U16(optional);
    if (magic != 0x10B && magic != 0x20B) return Problem("not a Windows program (unknown optional header)");
    const std::uint64_t directories = optional + (magic == 0x10B ? 96 : 112);
    const std::uint64_t countAt = optional + (magic == 0x10B ? 92 : 108);
    if (!file.Has(countAt, 4) || countAt + 4 > optional + optionalSize) return Problem("truncated inside its optional header");
    if (file.U32(countAt) < 3 || directories + 3 * 8 > optional + optionalSize || !file.Has(directories, 3 * 8)) {
        return Problem("no version resource (no resource directory)");
    }
    const std::uint32_t resourceRva = file.U32(directories + 2 * 8);
    if (resourceRva == 0) return Problem("no version resource (no resources at all)");

    std::vector<Section> sections;
    const std::uint64_t table = optional + optionalSize;
    if (!file.Has(table, std::uint64_t{sectionCount} * 40)) return Problem("truncated inside its section table");
    for (std::uint32_t i = 0; i < sectionCount; ++i) {
        const std::uint64_t at = table + i * 40;
        sections.push_back({file.U32(at + 12), file.U32(at + 8), file.U32(at + 20), file.U32(at + 16)});
    }
    std::uint64_t root;
    if (!FileOffset(sections, file, resourceRva, 16, &root)) return Problem("its resource directory lies outside the file");

    // Three levels, type, name and language: the entry for `id` at the first, the
    // first entry at the others.
    std::uint64_t directory = root;
    for (int level = 0; level < 3; ++level) {
        if (!file.Has(directory, 16)) return Problem("its resource directory is damaged (truncated)");
        const std::uint64_t count = std::uint64_t{file.U16(directory + 12)} + file.U16(directory + 14);
        if (!file.Has(directory + 16, count * 8)) return Problem("its resource directory is damaged (too many entries)");
        std::uint64_t entry = 0;
        for (std::uint64_t i = 0; i < count && entry == 0; ++i) {
            const std::uint64_t at = directory + 16 + i * 8;
            if (level > 0 || file.U32(at) == kRtVersion) entry = at;
        }
        if (entry == 0) return Problem(level == 0 ? "no version resource" : "its version resource is damaged (empty directory)");
        const std::uint32_t target = file.U32(entry + 4);
        const bool subdirectory = (target & 0x80000000u) != 0;
        if (subdirectory != (level < 2)) return Problem("its version resource is damaged (directory levels)");
        directory = root + (target & 0x7FFFFFFFu);
    }
    if (!file.Has(directory, 16)) return Problem("its version resource is damaged (truncated data entry)");
    const std::uint32_t dataRva = file.U32(directory);
    const std::uint32_t dataSize = file.U32(directory + 4);
    std::uint64_t data;
    if (dataSize < 6 || !FileOffset(sections, file, dataRva, dataSize, &data)) {
        return Problem("its version resource is damaged (its data lies outside the file)");
    }

    // VS_VERSIONINFO: wLength, wValueLength, wType, L"VS_VERSION_INFO", padding to
    // 32 bits, then the fixed part.
    const std::uint32_t length = file.U16(data);
    const std::uint32_t valueLength = file.U16(data + 2);
    static const char kKey[] = "VS_VERSION_INFO";
    const std::uint64_t keyBytes = sizeof kKey * 2;
    if (length > dataSize || length < 6 + keyBytes) return Problem("its version resource is damaged (odd lengths)");
    for (std::size_t i = 0; i < sizeof kKey; ++i) {
        if (file.U16(data + 6 + i * 2) != static_cast<unsigned char>(kKey[i])) {
            return Problem("its version resource is damaged (no VS_VERSION_INFO)");
        }
    }
    if (valueLength == 0) return Problem("its version resource has no fixed part");
    const std::uint64_t fixed = data + ((6 + keyBytes + 3) & ~std::uint64_t{3});
    if (valueLength < kFixedSize || fixed + kFixedSize > data + length) {
        return Problem("its version resource is damaged (fixed part too short)");
    }
    if (file.U32(fixed) != kFixedSignature) return Problem("its version resource is damaged (bad signature)");
    const std::uint32_t high = file.U32(fixed + 8), low = file.U32(fixed + 12);
    std::string version = std::to_string(high >> 16) + "." + std::to_string(high & 0xFFFF) + "." +
                          std::to_string(low >> 16);
    if ((low & 0xFFFF) != 0) version += "." + std::to_string(low & 0xFFFF);
    return {version, ""};
}

bool VersionsDiffer(const std::string& a, const std::string& b) {
    const auto parts = [](const std::string& text) {
        std::vector<unsigned long> numbers;
        std::size_t at = 0;
        while (at <= text.size()) {
            const std::size_t dot = std::min(text.find('.', at), text.size());
            numbers.push_back(std::strtoul(text.substr(at, dot - at).c_str(), nullptr, 10));
            at = dot + 1;
        }
        while (numbers.size() < 4) numbers.push_back(0);
        return numbers;
    };
    return parts(a) != parts(b);
}

}  // namespace zk::check

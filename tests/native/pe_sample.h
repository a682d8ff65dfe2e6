// A small PE32 file with one section, .rsrc, that holds a version resource: the
// shape the resource compiler gives ZorbelKavrin.asi, every part of it adjustable
// so that tests and the fuzz target can damage exactly one. Header-only.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

namespace testing_support {

struct PeSample {
    std::uint16_t Version[4] = {1, 0, 0, 0};
    bool Resources = true;           // a resource directory at all
    std::uint32_t ResourceType = 16;  // RT_VERSION
    std::uint16_t Length = 0;        // VS_VERSIONINFO's wLength; 0: the right one
    std::uint16_t ValueLength = 52;  // its wValueLength: the fixed part's size
    std::uint32_t Signature = 0xFEEF04BD;
    std::uint32_t DataOffset = 0x58;  // of VS_VERSIONINFO in the section, in the data entry
    std::uint32_t SectionRaw = 0x200;  // PointerToRawData of .rsrc
    std::uint32_t SectionRawSize = 0x200;  // its SizeOfRawData
    std::uint16_t Magic = 0x10B;
};

inline std::string MakePe(const PeSample& s) {
    std::string f(0x400, '\0');
    const auto put16 = [&f](std::size_t at, std::uint32_t v) { f[at] = char(v); f[at + 1] = char(v >> 8); };
    const auto put32 = [&](std::size_t at, std::uint32_t v) { put16(at, v & 0xFFFF); put16(at + 2, v >> 16); };
    f[0] = 'M';
    f[1] = 'Z';
    put32(0x3C, 0x40);
    std::memcpy(&f[0x40], "PE\0\0", 4);
    put16(0x44, 0x14C);  // i386
    put16(0x46, 1);      // one section
    put16(0x54, 0xE0);   // SizeOfOptionalHeader
    const std::size_t optional = 0x58;
    put16(optional, s.Magic);
    put32(optional + 92, 16);  // NumberOfRvaAndSizes
    if (s.Resources) {
        put32(optional + 96 + 2 * 8, 0x1000);
        put32(optional + 96 + 2 * 8 + 4, 0x100);
    }
    const std::size_t section = optional + 0xE0;
    std::memcpy(&f[section], ".rsrc", 5);
    put32(section + 8, 0x100);            // VirtualSize
    put32(section + 12, 0x1000);          // VirtualAddress
    put32(section + 16, s.SectionRawSize);  // SizeOfRawData
    put32(section + 20, s.SectionRaw);    // PointerToRawData
    const std::size_t r = 0x200;
    // Type, name and language directories, one entry each, then the data entry.
    put16(r + 14, 1);
    put32(r + 16, s.ResourceType);
    put32(r + 20, 0x80000018);
    put16(r + 0x18 + 14, 1);
    put32(r + 0x18 + 16, 1);
    put32(r + 0x18 + 20, 0x80000030);
    put16(r + 0x30 + 14, 1);
    put32(r + 0x30 + 16, 0x409);
    put32(r + 0x30 + 20, 0x48);
    put32(r + 0x48, 0x1000 + s.DataOffset);
    put32(r + 0x48 + 4, 0x5C);
    // VS_VERSIONINFO: lengths, type 0, the key, padding to 32 bits, the fixed part.
    const std::size_t v = r + 0x58;
    put16(v, s.Length != 0 ? s.Length : 0x5C);
    put16(v + 2, s.ValueLength);
    const char key[] = "VS_VERSION_INFO";
    for (std::size_t i = 0; i < sizeof key; ++i) put16(v + 6 + 2 * i, static_cast<unsigned char>(key[i]));
    const std::size_t fixed = v + 40;
    put32(fixed, s.Signature);
    put32(fixed + 4, 0x10000);
    put32(fixed + 8, std::uint32_t{s.Version[0]} << 16 | s.Version[1]);
    put32(fixed + 12, std::uint32_t{s.Version[2]} << 16 | s.Version[3]);
    return f;
}

}  // namespace testing_support

// Where Windows' loader puts a PE file's bytes: the image base and the sections,
// read from the file's headers with every offset checked, so that the bytes a game
// ships at an address can be read from its file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zk::check {

struct PeSection {
    std::uint32_t Address;    // relative to the image base
    std::uint32_t Size;       // in memory
    std::uint32_t RawOffset;  // in the file
    std::uint32_t RawSize;
};

struct PeLayout {
    std::uint32_t ImageBase = 0;
    std::vector<PeSection> Sections;
};

// From the first bytes of a file: empty when they are a 32-bit PE image's headers,
// else why not, in words. *needed: how many bytes the headers take, when more are
// needed than were given.
std::string ReadPeLayout(const std::string& headers, PeLayout& layout, std::size_t* needed);

// The file's bytes the loader maps at [address, address + count), absolute: the
// offset of those that come from the file, and how many do (the rest of a section
// beyond its raw data is zeros). False when no section holds the whole range.
bool MappedSpan(const PeLayout& layout, std::uint32_t address, std::uint32_t count, std::uint64_t* offset,
                std::uint32_t* fromFile);

}  // namespace zk::check

// SHA-256 (FIPS 180-4), for the checksums of the release package.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace zk::check {

// A digest made piece by piece, for files of any size.
struct Sha256 {
    std::uint32_t State[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                              0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    std::uint64_t Length = 0;         // bytes added so far
    unsigned char Block[64] = {};     // the part of a block added so far
};
void AddToSha256(Sha256& digest, const char* bytes, std::size_t size);
// The digest of what was added, as 64 lowercase hex digits, as sha256sum prints it.
std::string FinishSha256(Sha256 digest);

// The digest of bytes, all at once.
std::string Sha256Hex(const std::string& bytes);

}  // namespace zk::check

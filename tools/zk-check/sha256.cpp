#include "sha256.h"

#include <algorithm>
#include <cstdint>

namespace zk::check {
namespace {

constexpr std::uint32_t kRound[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

std::uint32_t Rotate(std::uint32_t x, int n) { return x >> n | x << (32 - n); }

void Compress(std::uint32_t state[8], const unsigned char* block) {
    std::uint32_t w[64];
    for (int i = 0; i < 16; ++i) {
        w[i] = std::uint32_t{block[4 * i]} << 24 | std::uint32_t{block[4 * i + 1]} << 16 |
               std::uint32_t{block[4 * i + 2]} << 8 | block[4 * i + 3];
    }
    for (int i = 16; i < 64; ++i) {
        const std::uint32_t s0 = Rotate(w[i - 15], 7) ^ Rotate(w[i - 15], 18) ^ (w[i - 15] >> 3);
        const std::uint32_t s1 = Rotate(w[i - 2], 17) ^ Rotate(w[i - 2], 19) ^ (w[i - 2] >> 10);
        w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    std::uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
    for (int i = 0; i < 64; ++i) {
        const std::uint32_t t1 = h + (Rotate(e, 6) ^ Rotate(e, 11) ^ Rotate(e, 25)) + ((e & f) ^ (~e & g)) + kRound[i] + w[i];
        const std::uint32_t t2 = (Rotate(a, 2) ^ Rotate(a, 13) ^ Rotate(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
        h = g, g = f, f = e, e = d + t1, d = c, c = b, b = a, a = t1 + t2;
    }
    state[0] += a, state[1] += b, state[2] += c, state[3] += d;
    state[4] += e, state[5] += f, state[6] += g, state[7] += h;
}

}  // namespace

void AddToSha256(Sha256& digest, const char* bytes, std::size_t size) {
    const auto* data = reinterpret_cast<const unsigned char*>(bytes);
    std::size_t filled = static_cast<std::size_t>(digest.Length % 64);
    digest.Length += size;
    while (size > 0) {
        if (filled == 0 && size >= 64) {  // whole blocks straight from the input
            Compress(digest.State, data);
            data += 64;
            size -= 64;
            continue;
        }
        const std::size_t take = std::min<std::size_t>(64 - filled, size);
        for (std::size_t i = 0; i < take; ++i) digest.Block[filled + i] = data[i];
        filled += take;
        data += take;
        size -= take;
        if (filled == 64) {
            Compress(digest.State, digest.Block);
            filled = 0;
        }
    }
}

std::string FinishSha256(Sha256 digest) {
    // The rest, a 1 bit, zeros, and the length in bits: one block or two.
    unsigned char tail[128] = {};
    const std::size_t rest = static_cast<std::size_t>(digest.Length % 64);
    for (std::size_t i = 0; i < rest; ++i) tail[i] = digest.Block[i];
    tail[rest] = 0x80;
    const std::size_t blocks = rest + 9 > 64 ? 2 : 1;
    const std::uint64_t bits = digest.Length * 8;
    for (int i = 0; i < 8; ++i) tail[blocks * 64 - 1 - i] = static_cast<unsigned char>(bits >> (8 * i));
    for (std::size_t i = 0; i < blocks; ++i) Compress(digest.State, tail + 64 * i);
    static const char kHex[] = "0123456789abcdef";
    std::string hex;
    for (std::uint32_t word : digest.State) {
        for (int shift = 28; shift >= 0; shift -= 4) hex.push_back(kHex[(word >> shift) & 0xF]);
    }
    return hex;
}

std::string Sha256Hex(const std::string& bytes) {
    Sha256 digest;
    AddToSha256(digest, bytes.data(), bytes.size());
    return FinishSha256(digest);
}

}  // namespace zk::check

// SHA-256 (FIPS 180-4), for the checksums of the release package.
#pragma once

#include <string>

namespace zk::check {

// The digest of bytes as 64 lowercase hex digits, as sha256sum prints it.
std::string Sha256Hex(const std::string& bytes);

}  // namespace zk::check

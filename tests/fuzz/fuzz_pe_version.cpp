// The version-resource reader: any bytes, and a sample plugin file with part of it
// overwritten by the input (the first two bytes say where), must give a version or
// a reason, never a crash or a read outside the file.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "../native/pe_sample.h"
#include "pe_version.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string raw(reinterpret_cast<const char*>(data), size);
    const zk::check::PeVersion plain = zk::check::ReadPeVersion(raw);
    if (plain.Version.empty() == plain.Problem.empty()) std::abort();  // one of the two, always

    std::string sample = testing_support::MakePe({});
    if (size >= 2) {
        const std::size_t at = (data[0] | data[1] << 8) % sample.size();
        for (std::size_t i = 2; i < size && at + i - 2 < sample.size(); ++i) sample[at + i - 2] = static_cast<char>(data[i]);
        if (size > 2 && data[2] == 0xFF) sample.resize(at);  // or the file cut short there
    }
    const zk::check::PeVersion damaged = zk::check::ReadPeVersion(sample);
    if (damaged.Version.empty() == damaged.Problem.empty()) std::abort();
    return 0;
}

// What several Windows tests put through the host's sites: a host object with an
// attribute set, register checks, and a probe of the level-of-detail hook.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "harness.h"
#include "host_object.h"

namespace sites {

using harness::Address;
using harness::HostObject;
using harness::kKeyHigh;
using harness::kKeyLow;

// EBX ECX EDX ESI EDI EBP as they went in (EAX and ESP are each site's own).
inline void ExpectSixRegistersKept(const sim::Registers& in, const sim::Registers& out) {
    EXPECT_EQ(out.Ebx, in.Ebx);
    EXPECT_EQ(out.Ecx, in.Ecx);
    EXPECT_EQ(out.Edx, in.Edx);
    EXPECT_EQ(out.Esi, in.Esi);
    EXPECT_EQ(out.Edi, in.Edi);
    EXPECT_EQ(out.Ebp, in.Ebp);
}

// Does a name passed through 0x777D11 with the host's key of this car file get
// its 'A'?
inline bool CarForced(const std::string& narrowFileName) {
    char name[] = "CARC";
    sim::LodPass pass{};
    pass.Name = Address(name);
    pass.Key = harness::CallHostNameHash(narrowFileName.c_str());
    harness::PassLodSite(pass);
    return name[3] == 'A';
}

}  // namespace sites

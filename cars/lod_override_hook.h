// The routine the host's CALL at 0x777D11 reaches instead of HostLodForward.
#pragma once

#include <cstdint>

extern "C" {

// The decision: when the global ForceLodA is on, or the first car record with this
// key has it on, the name's last character becomes 'A'. An empty name is left as
// it is. Reads only what start-up filled; allocates nothing.
void ApplyLodOverride(char* name, std::uint32_t key);

#if defined(_WIN32) && defined(__i386__)
// The entry written into host code (naked; contract beside its definition).
void LodOverrideHook();
#endif
}

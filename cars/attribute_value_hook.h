// The routine the host's JMP at 0x773D3C reaches: a value from the host object's
// attribute set, or the host's integer divided by 1000.
#pragma once

#include <cstdint>

extern "C" {

// The value for an index: the float of the attribute the host's lookup finds in
// the object's attribute set (key by index below 2 or not), else value / 1000 in
// single precision. A null object or a null holder falls back at once.
float IndexedAttributeValue(const void* object, std::int32_t index, std::int32_t value);

#if defined(_WIN32) && defined(__i386__)
// The entry written into host code (naked; contract beside its definition).
void AttributeValueEntryStub();
#endif
}

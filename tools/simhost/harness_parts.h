// What the parts of the harness share beyond harness.h: writes over code, the host
// image's bytes by address, and paths.
#pragma once

#include "harness.h"

namespace harness {

// VirtualProtectEx on this process: the recorder's own VirtualProtect stays out.
BOOL ProtectDirect(void* address, SIZE_T size, DWORD protection, DWORD* previous);
// Writes over code whatever its protection, which it keeps, and flushes the bytes.
void WriteCode(void* at, const void* bytes, std::size_t size);

inline std::uint8_t* HostByte(std::uint32_t address) {
    return reinterpret_cast<std::uint8_t*>(static_cast<std::uintptr_t>(address));
}

std::wstring FolderOf(const std::wstring& path);           // up to its last backslash
std::wstring NativeRelative(const std::string& relative);  // UTF-8, '/' made '\'

}  // namespace harness

// Wrapping a system function through the stubs that real KERNEL32 and KERNELBASE
// builds put in front of it (detour.cpp).
#pragma once

#include <cstdint>
#include <string>

namespace harness {

// Whether a stub may jump to target; false says why.
using JumpCheck = bool (*)(const void* target, std::string* why);

// Accepts targets inside KERNEL32, KERNELBASE or ntdll, and nothing else: a jump
// into another module is a hook of someone else's.
bool InSystemModule(const void* target, std::string* why);

// The function that does the work behind entry: each jump of a stub followed, at
// most 8 of them. Null, with why, for a loop, a jump check refuses, or memory that
// cannot be read.
const std::uint8_t* FollowStubs(const void* entry, JumpCheck check, std::string* why);

// "E9 xx xx xx xx .. -> 8B FF 55 8B EC in KERNELBASE.dll, 2 jumps": the first bytes
// of entry and of the function that does the work, for the record of a run.
std::string DescribeStubs(const void* entry);

// Makes every call of entry go to replacement, and returns the function that
// calls the original (a trampoline), or null with why. The jump to replacement is
// written over the first bytes of the function FollowStubs finds; the trampoline
// holds the whole instructions it displaced, relocated where relative.
void* InstallDetour(void* entry, const void* replacement, JumpCheck check, std::string* why);

}  // namespace harness

// Facts about the running process and machine, read from the kernel.
#pragma once
#include <cstdint>
#include <string>

namespace platform {

// Absolute path of the running executable (from /proc/self/exe); empty when
// it cannot be read.
std::string ExecutablePath();

// Bytes of memory the kernel says can be had without swapping (MemAvailable of
// /proc/meminfo; the free RAM when that line is missing). 0 when unknown.
uint64_t AvailableMemoryBytes();

// Bytes of physical memory (RAM) in the machine; 0 when unknown.
uint64_t PhysicalMemoryBytes();

// Value of an environment variable, empty when unset.
std::string GetEnv(const char* Name);

} // namespace platform

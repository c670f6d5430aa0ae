// Facts about the running process and machine, read from the kernel.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

namespace platform {

// Absolute path of the program the user started: the running executable
// (from /proc/self/exe), or the front that started it (see TakeProgramFile);
// empty when it cannot be read.
std::string ExecutablePath();

// The program's front starts the executable that does the work from bin/
// beside it, and names itself in this variable: the program's folder, its
// settings file's name and its desktop entries follow the front.
inline constexpr char kProgramFileVariable[] = "VESTRO_PROGRAM_FILE";
// Takes the front's name from kProgramFileVariable (and removes the variable,
// so that no program started later inherits it). Taken only when the running
// executable lies in the bin/ folder beside that file.
void TakeProgramFile();

// Bytes of memory the kernel says can be had without swapping (MemAvailable of
// /proc/meminfo; the free RAM when that line is missing). 0 when unknown.
uint64_t AvailableMemoryBytes();

// Bytes of physical memory (RAM) in the machine; 0 when unknown.
uint64_t PhysicalMemoryBytes();

// Processors this process may use: the CPUs of its affinity mask, limited by
// its control group's CPU quota (rounded up); at least 1. Read once.
int UsableProcessorCount();

// CPUs the control-group quota allows, rounded up; 0 when no quota applies.
// MountInfo and Cgroup are the texts of /proc/self/mountinfo and
// /proc/self/cgroup; Read gives a file's text ("" when it cannot be read).
// The tightest quota of the group and its parents counts (version 2 cpu.max,
// version 1 cpu.cfs_quota_us over cpu.cfs_period_us).
int CgroupCpuQuota(const std::string& MountInfo, const std::string& Cgroup,
                   const std::function<std::string(const std::string&)>& Read);

// Value of an environment variable, empty when unset.
std::string GetEnv(const char* Name);

} // namespace platform

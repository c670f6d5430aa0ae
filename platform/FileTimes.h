// File times, identity and the read-only bit, for the file list and the writers.
//
// Times are kept raw (seconds since 1970-01-01 UTC plus nanoseconds) so that a
// restored time is exact. "Read-only" is the owner write bit, never access(W_OK),
// which says yes to root for every file.
#pragma once
#include <cstdint>
#include <string>

namespace platform {

struct TFileStamp {
    int64_t Sec = 0;   // seconds since 1970-01-01 00:00:00 UTC
    uint32_t NSec = 0; // 0 .. 999999999
};

struct TFileStat {
    uint64_t Size = 0;    // bytes
    TFileStamp LastWrite; // modification time
    TFileStamp Creation;  // birth time; zero when the file system does not keep it
    bool HasCreation = false;
    uint64_t Dev = 0, Ino = 0; // identity of the file
    bool IsRegular = false, IsDirectory = false;
    bool ReadOnly = false; // owner write bit clear
};

// Fills Out for Path (links followed). False when the file cannot be reached.
bool StatFile(const std::string& Path, TFileStat& Out) noexcept;

// Sets the modification time of Path; the access time is left alone. The
// creation time of a Linux file cannot be set by anyone and is not offered.
bool SetLastWriteTime(const std::string& Path, const TFileStamp& T) noexcept;

// True when both paths reach the same file (device and inode), whatever their
// spelling. False when either does not exist.
bool SameFile(const std::string& A, const std::string& B) noexcept;

// Sets or clears "read-only": clears or sets the owner write bit.
bool SetReadOnly(const std::string& Path, bool ReadOnly) noexcept;

// Local broken-down time of a UTC second count (month 1..12, day 1..31).
struct TLocalTime {
    int32_t Year = 0, Month = 0, Day = 0, Hour = 0, Minute = 0, Second = 0;
};
bool UTCToLocal(int64_t Sec, TLocalTime& Out) noexcept;
// The inverse: a local time to UTC seconds (the time zone's rules decide the
// daylight-saving flag). False when the time cannot be represented.
bool LocalToUTC(const TLocalTime& L, int64_t& Sec) noexcept;

} // namespace platform

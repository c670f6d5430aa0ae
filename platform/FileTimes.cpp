#include "platform/FileTimes.h"

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

bool StatFile(const std::string& Path, TFileStat& Out) noexcept
{
    Out = TFileStat();
    struct statx Sx { };
    if (statx(AT_FDCWD, Path.c_str(), 0, STATX_BASIC_STATS | STATX_BTIME, &Sx) != 0)
        return false;
    Out.Size = Sx.stx_size;
    Out.LastWrite = {Sx.stx_mtime.tv_sec, Sx.stx_mtime.tv_nsec};
    if (Sx.stx_mask & STATX_BTIME) {
        Out.Creation = {Sx.stx_btime.tv_sec, Sx.stx_btime.tv_nsec};
        Out.HasCreation = true;
    }
    Out.Dev = (uint64_t(Sx.stx_dev_major) << 32) | Sx.stx_dev_minor;
    Out.Ino = Sx.stx_ino;
    Out.IsRegular = S_ISREG(Sx.stx_mode);
    Out.IsDirectory = S_ISDIR(Sx.stx_mode);
    Out.ReadOnly = (Sx.stx_mode & S_IWUSR) == 0;
    return true;
}

bool SetLastWriteTime(const std::string& Path, const TFileStamp& T) noexcept
{
    struct timespec Times[2];
    Times[0].tv_sec = 0;
    Times[0].tv_nsec = UTIME_OMIT;
    Times[1].tv_sec = static_cast<time_t>(T.Sec);
    Times[1].tv_nsec = T.NSec;
    return utimensat(AT_FDCWD, Path.c_str(), Times, 0) == 0;
}

bool SameFile(const std::string& A, const std::string& B) noexcept
{
    struct stat Sa {
    }, Sb{};
    if (stat(A.c_str(), &Sa) != 0 || stat(B.c_str(), &Sb) != 0)
        return false;
    return Sa.st_dev == Sb.st_dev && Sa.st_ino == Sb.st_ino;
}

bool SetReadOnly(const std::string& Path, bool ReadOnly) noexcept
{
    struct stat S { };
    if (stat(Path.c_str(), &S) != 0)
        return false;
    mode_t M = S.st_mode & 07777;
    M = ReadOnly ? (M & ~mode_t(S_IWUSR)) : (M | S_IWUSR);
    return chmod(Path.c_str(), M) == 0;
}

bool UTCToLocal(int64_t Sec, TLocalTime& Out) noexcept
{
    time_t T = static_cast<time_t>(Sec);
    struct tm Tm { };
    if (!localtime_r(&T, &Tm))
        return false;
    Out.Year = Tm.tm_year + 1900;
    Out.Month = Tm.tm_mon + 1;
    Out.Day = Tm.tm_mday;
    Out.Hour = Tm.tm_hour;
    Out.Minute = Tm.tm_min;
    Out.Second = Tm.tm_sec;
    return true;
}

bool LocalToUTC(const TLocalTime& L, int64_t& Sec) noexcept
{
    struct tm Tm { };
    Tm.tm_year = L.Year - 1900;
    Tm.tm_mon = L.Month - 1;
    Tm.tm_mday = L.Day;
    Tm.tm_hour = L.Hour;
    Tm.tm_min = L.Minute;
    Tm.tm_sec = L.Second;
    Tm.tm_isdst = -1;
    errno = 0;
    time_t T = mktime(&Tm);
    // -1 is also a valid answer (one second before 1970 UTC); errno tells them apart.
    if (T == time_t(-1) && errno != 0)
        return false;
    Sec = T;
    return true;
}

} // namespace platform

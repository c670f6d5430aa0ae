#include "platform/FileOps.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

namespace platform {

namespace {

std::string FolderOf(const std::string& Path)
{
    const size_t P = Path.find_last_of('/');
    if (P == std::string::npos)
        return ".";
    if (P == 0)
        return "/";
    return Path.substr(0, P);
}

std::string NameOf(const std::string& Path)
{
    const size_t P = Path.find_last_of('/');
    return P == std::string::npos ? Path : Path.substr(P + 1);
}

// The process's file-creation mask, read once before any worker starts: temp
// files are made 0600 by mkstemp and get the mode a plain create would give.
const mode_t CreationMask = [] {
    const mode_t M = ::umask(022);
    ::umask(M);
    return M;
}();

int WriteAll(int Fd, const uint8_t* P, uint64_t N)
{
    while (N > 0) {
        const ssize_t K = ::write(Fd, P, N > (1u << 30) ? (1u << 30) : size_t(N));
        if (K < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        P += K;
        N -= uint64_t(K);
    }
    return 0;
}

} // namespace

bool FileExists(const std::string& Path)
{
    struct stat St;
    return ::stat(Path.c_str(), &St) == 0 && S_ISREG(St.st_mode);
}

bool DirectoryExists(const std::string& Path)
{
    struct stat St;
    return ::stat(Path.c_str(), &St) == 0 && S_ISDIR(St.st_mode);
}

bool PathExists(const std::string& Path)
{
    struct stat St;
    return ::lstat(Path.c_str(), &St) == 0;
}

bool ForceDirectories(const std::string& Path)
{
    if (Path.empty())
        return false;
    if (DirectoryExists(Path))
        return true;
    std::string P = Path;
    while (P.size() > 1 && P.back() == '/')
        P.pop_back();
    const std::string Parent = FolderOf(P);
    if (Parent != P && !DirectoryExists(Parent) && !ForceDirectories(Parent))
        return false;
    return ::mkdir(P.c_str(), 0777) == 0 || (errno == EEXIST && DirectoryExists(P));
}

bool GetFileId(const std::string& Path, TFileId& Id)
{
    struct stat St;
    if (::stat(Path.c_str(), &St) != 0)
        return false;
    Id.Dev = uint64_t(St.st_dev);
    Id.Ino = uint64_t(St.st_ino);
    return true;
}

int RenameNoReplace(const std::string& From, const std::string& To)
{
#ifdef SYS_renameat2
    if (::syscall(SYS_renameat2, AT_FDCWD, From.c_str(), AT_FDCWD, To.c_str(), 1u /*RENAME_NOREPLACE*/) == 0)
        return 0;
    const int E = errno;
    if (E != EINVAL && E != ENOSYS && E != ENOTSUP)
        return E;
#endif
    // No atomic no-replace rename here: a hard link fails on an existing name
    // just the same, then the old name goes.
    if (::link(From.c_str(), To.c_str()) != 0) {
        const int E = errno;
        // Some file systems (FAT through FUSE, sshfs) offer neither; there a
        // plain rename after a look is the best there is.
        if (E != EPERM && E != ENOSYS && E != ENOTSUP && E != EOPNOTSUPP)
            return E;
        if (PathExists(To))
            return EEXIST;
        return RenameReplace(From, To);
    }
    if (::unlink(From.c_str()) != 0) {
        const int E2 = errno;
        ::unlink(To.c_str());
        return E2;
    }
    return 0;
}

int RenameReplace(const std::string& From, const std::string& To)
{
    return ::rename(From.c_str(), To.c_str()) == 0 ? 0 : errno;
}

std::string CreateTempFileBeside(const std::string& Target)
{
    std::string Tmpl = FolderOf(Target) + "/." + NameOf(Target) + ".XXXXXX";
    std::vector<char> Buf(Tmpl.begin(), Tmpl.end());
    Buf.push_back('\0');
    const int Fd = ::mkstemp(Buf.data());
    if (Fd < 0)
        return std::string();
    ::fchmod(Fd, 0666 & ~CreationMask);
    ::close(Fd);
    return std::string(Buf.data());
}

int CopyFile(const std::string& Src, const std::string& Dst, bool FailIfExists)
{
    if (FailIfExists && PathExists(Dst))
        return EEXIST;
    const int In = ::open(Src.c_str(), O_RDONLY | O_CLOEXEC);
    if (In < 0)
        return errno;
    struct stat St;
    if (::fstat(In, &St) != 0 || !S_ISREG(St.st_mode)) {
        const int E = errno ? errno : EINVAL;
        ::close(In);
        return E;
    }
    const std::string Tmp = CreateTempFileBeside(Dst);
    if (Tmp.empty()) {
        const int E = errno;
        ::close(In);
        return E;
    }
    int E = 0;
    const int Out = ::open(Tmp.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (Out < 0)
        E = errno;
    else {
        std::vector<uint8_t> Buf(1 << 20);
        for (;;) {
            const ssize_t K = ::read(In, Buf.data(), Buf.size());
            if (K < 0) {
                if (errno == EINTR)
                    continue;
                E = errno;
                break;
            }
            if (K == 0)
                break;
            if ((E = WriteAll(Out, Buf.data(), uint64_t(K))) != 0)
                break;
        }
        if (E == 0) {
            ::fchmod(Out, St.st_mode & 07777);
            const struct timespec Times[2] = {St.st_atim, St.st_mtim};
            ::futimens(Out, Times);
        }
        if (::close(Out) != 0 && E == 0)
            E = errno;
    }
    ::close(In);
    if (E == 0)
        E = FailIfExists ? RenameNoReplace(Tmp, Dst) : RenameReplace(Tmp, Dst);
    if (E != 0)
        ::unlink(Tmp.c_str());
    return E;
}

bool DeleteFile(const std::string& Path)
{
    return ::unlink(Path.c_str()) == 0 || errno == ENOENT;
}

bool IsReadOnly(const std::string& Path)
{
    struct stat St;
    return ::stat(Path.c_str(), &St) == 0 && (St.st_mode & S_IWUSR) == 0;
}

int64_t FileSize(const std::string& Path)
{
    struct stat St;
    if (::stat(Path.c_str(), &St) != 0)
        return -1;
    return int64_t(St.st_size);
}

int WriteNewFile(const std::string& Path, const void* Data, uint64_t Size)
{
    const int Fd = ::open(Path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (Fd < 0)
        return errno;
    int E = WriteAll(Fd, static_cast<const uint8_t*>(Data), Size);
    if (::close(Fd) != 0 && E == 0)
        E = errno;
    if (E != 0)
        ::unlink(Path.c_str());
    return E;
}

} // namespace platform

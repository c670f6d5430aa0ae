#include "platform/FdFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

int FdCreateNew(const std::string& Path) noexcept
{
    int fd;
    do
        fd = ::open(Path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    while (fd < 0 && errno == EINTR);
    return fd;
}

int FdOpenRead(const std::string& Path) noexcept
{
    // Opened without waiting: a FIFO would otherwise block the open until a
    // writer comes, for good. Only a regular file is kept, and read blocking.
    int fd;
    do
        fd = ::open(Path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return -1;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        errno = EINVAL;
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    return fd;
}

int64_t FdSize(int Fd) noexcept
{
    struct stat st;
    if (::fstat(Fd, &st) != 0 || !S_ISREG(st.st_mode))
        return -1;
    return static_cast<int64_t>(st.st_size);
}

bool FdWriteAll(int Fd, const void* P, size_t N) noexcept
{
    auto* p = static_cast<const uint8_t*>(P);
    while (N > 0) {
        const ssize_t w = ::write(Fd, p, N);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            return false;
        p += w;
        N -= static_cast<size_t>(w);
    }
    return true;
}

bool FdReadAll(int Fd, void* P, size_t N) noexcept
{
    auto* p = static_cast<uint8_t*>(P);
    while (N > 0) {
        const ssize_t r = ::read(Fd, p, N);
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return false;
        p += r;
        N -= static_cast<size_t>(r);
    }
    return true;
}

bool FdClose(int Fd) noexcept
{
    return ::close(Fd) == 0;
}

std::string LastErrorText()
{
    return std::strerror(errno);
}

} // namespace platform

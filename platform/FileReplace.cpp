#include "platform/FileReplace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

namespace platform {

namespace {

// Full write despite short writes and signals.
int WriteAll(int Fd, const char* P, size_t Size) noexcept
{
    while (Size > 0) {
        const ssize_t n = write(Fd, P, Size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        P += n;
        Size -= static_cast<size_t>(n);
    }
    return 0;
}

} // namespace

int ReplaceFileContents(const std::string& Path, const void* Data, size_t Size) noexcept
{
    try {
        std::string target = Path;
        mode_t mode = 0666; // narrowed by the umask for a new file
        struct stat st {};
        if (lstat(Path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
            char resolved[PATH_MAX];
            if (realpath(Path.c_str(), resolved))
                target = resolved;
        }
        bool keepMode = false;
        if (stat(target.c_str(), &st) == 0) {
            mode = st.st_mode & 07777;
            keepMode = true;
        }

        // The temporary name sits in the target's folder so that the rename
        // stays on one file system; pid and counter keep parallel writers apart.
        static std::atomic<unsigned> counter{0};
        int fd = -1;
        std::string tmp;
        for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
            char suffix[64];
            std::snprintf(suffix, sizeof suffix, ".~%ld.%u.tmp", static_cast<long>(getpid()),
                          counter.fetch_add(1));
            tmp = target + suffix;
            fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
            if (fd < 0 && errno != EEXIST)
                return errno;
        }
        if (fd < 0)
            return EEXIST;

        int err = WriteAll(fd, static_cast<const char*>(Data), Size);
        if (!err && keepMode && fchmod(fd, mode) != 0)
            err = errno;
        if (!err && fsync(fd) != 0)
            err = errno;
        if (close(fd) != 0 && !err)
            err = errno;
        if (!err && rename(tmp.c_str(), target.c_str()) != 0)
            err = errno;
        if (err)
            unlink(tmp.c_str());
        return err;
    } catch (...) {
        return ENOMEM;
    }
}

} // namespace platform

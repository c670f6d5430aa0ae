#include "platform/FileMap.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <mutex>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

// Mappings the SIGBUS guard covers. A slot is claimed by setting Used, then
// filled (End before Begin); the handler only reads Begin and End.
struct TGuardSlot {
    std::atomic<bool> Used{false};
    std::atomic<uintptr_t> Begin{0}, End{0};
    std::atomic<bool> Faulted{false};
};
constexpr int kSlots = 256;
// What the bus-error handler reads; plain memory, set up before it is installed.
struct TBusGuard {
    TGuardSlot Slots[kSlots];
    struct sigaction PreviousBus;
    uintptr_t PageBytes = 4096;
};
TBusGuard Guard;

void OnBus(int Sig, siginfo_t* Info, void* Context)
{
    const uintptr_t a = reinterpret_cast<uintptr_t>(Info->si_addr);
    for (TGuardSlot& s : Guard.Slots) {
        const uintptr_t b = s.Begin.load(std::memory_order_acquire);
        if (b == 0 || a < b || a >= s.End.load(std::memory_order_acquire))
            continue;
        // The page lies past the file's new end: put zeros in its place and
        // let the reader go on (mmap is a plain system call, safe here).
        const int saved = errno;
        void* page = reinterpret_cast<void*>(a & ~(Guard.PageBytes - 1));
        const bool ok =
            mmap(page, Guard.PageBytes, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) != MAP_FAILED;
        errno = saved;
        if (ok) {
            s.Faulted.store(true, std::memory_order_release);
            return;
        }
        break;
    }
    // Not one of ours: whatever handled SIGBUS before (a sanitizer, the
    // default action) handles it.
    if (Guard.PreviousBus.sa_flags & SA_SIGINFO) {
        if (Guard.PreviousBus.sa_sigaction) {
            Guard.PreviousBus.sa_sigaction(Sig, Info, Context);
            return;
        }
    } else if (Guard.PreviousBus.sa_handler != SIG_DFL && Guard.PreviousBus.sa_handler != SIG_IGN) {
        Guard.PreviousBus.sa_handler(Sig);
        return;
    }
    signal(SIGBUS, SIG_DFL); // the fault repeats on return and ends the process as it would have
}

void InstallGuard()
{
    static std::once_flag once;
    std::call_once(once, [] {
        Guard.PageBytes = uintptr_t(sysconf(_SC_PAGESIZE));
        struct sigaction sa = {};
        sa.sa_sigaction = OnBus;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_SIGINFO | SA_RESTART;
        sigaction(SIGBUS, &sa, &Guard.PreviousBus);
    });
}

int ClaimSlot()
{
    for (int i = 0; i < kSlots; ++i) {
        bool expected = false;
        if (Guard.Slots[i].Used.compare_exchange_strong(expected, true, std::memory_order_acq_rel))
            return i;
    }
    return -1;
}

} // namespace

bool TMappedFile::Open(const std::string& Path)
{
    Close();
    InstallGuard();
    int fd;
    do
        fd = ::open(Path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return false;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0) {
        ::close(fd);
        return false;
    }
    const uint64_t size = uint64_t(st.st_size);
    const uint64_t mapped = (size + Guard.PageBytes - 1) & ~uint64_t(Guard.PageBytes - 1);
    const int slot = ClaimSlot();
    void* p = slot >= 0 ? mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0) : MAP_FAILED;
    const int saved = errno;
    ::close(fd);
    if (p == MAP_FAILED) {
        if (slot >= 0)
            Guard.Slots[slot].Used.store(false, std::memory_order_release);
        errno = saved;
        return false;
    }
    madvise(p, size, MADV_SEQUENTIAL);
    TGuardSlot& s = Guard.Slots[slot];
    s.Faulted.store(false, std::memory_order_relaxed);
    s.End.store(reinterpret_cast<uintptr_t>(p) + mapped, std::memory_order_release);
    s.Begin.store(reinterpret_cast<uintptr_t>(p), std::memory_order_release);
    FData = static_cast<const uint8_t*>(p);
    FSize = size;
    FMapped = mapped;
    FSlot = slot;
    return true;
}

void TMappedFile::Close()
{
    if (!FData)
        return;
    TGuardSlot& s = Guard.Slots[FSlot];
    s.Begin.store(0, std::memory_order_release);
    s.End.store(0, std::memory_order_release);
    munmap(const_cast<uint8_t*>(FData), FMapped);
    s.Used.store(false, std::memory_order_release);
    FData = nullptr;
    FSize = FMapped = 0;
    FSlot = -1;
}

bool TMappedFile::Damaged() const
{
    return FData && Guard.Slots[FSlot].Faulted.load(std::memory_order_acquire);
}

uint64_t ReleaseMappedPages(const uint8_t* Data, uint64_t From, uint64_t To)
{
    static const uintptr_t page = uintptr_t(sysconf(_SC_PAGESIZE));
    const uintptr_t base = reinterpret_cast<uintptr_t>(Data);
    if (!Data || To <= From || To > UINTPTR_MAX - base - page)
        return From;
    const uintptr_t from = (base + From + page - 1) & ~(page - 1);
    const uintptr_t to = (base + To) & ~(page - 1);
    if (to <= from || madvise(reinterpret_cast<void*>(from), to - from, MADV_DONTNEED) != 0)
        return From;
    return to - base;
}

} // namespace platform

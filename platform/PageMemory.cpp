#include "platform/PageMemory.h"

#include <atomic>
#include <cstring>
#include <pthread.h>
#include <sys/mman.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#define VESTRO_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VESTRO_ASAN 1
#endif
#endif
#ifdef VESTRO_ASAN
#include <sanitizer/asan_interface.h>
#endif

namespace platform {

struct TPageReuseAccess {
    static void** Slots(TPageReuse& R) { return R.FBlock; }
    static uint64_t& Bytes(TPageReuse& R) { return R.FBytes; }
    static uint64_t& Cap(TPageReuse& R) { return R.FCap; }
    static bool NoMore(const TPageReuse& R) { return R.FNoMore; }
};

namespace {
constexpr uint64_t kHeader = 4096; // one page in front of the block holds its length

uint64_t PageGranule() noexcept
{
    static const uint64_t g = static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
    return g;
}

uint64_t* Head(const void* P) noexcept
{
    return reinterpret_cast<uint64_t*>(static_cast<uint8_t*>(const_cast<void*>(P)) - kHeader);
}

// Bytes usable behind P: its mapping less the header page.
uint64_t Capacity(const void* P) noexcept
{
    return Head(P)[0] - kHeader;
}

uint64_t MappingFor(uint64_t Size) noexcept
{
    const uint64_t g = PageGranule();
    return (Size + kHeader + g - 1) / g * g;
}

// A kept block is off limits to everyone until it is handed out again.
void Poison(void* P) noexcept
{
#ifdef VESTRO_ASAN
    ASAN_POISON_MEMORY_REGION(P, Capacity(P));
#else
    (void)P;
#endif
}

void Unpoison(void* P) noexcept
{
#ifdef VESTRO_ASAN
    ASAN_UNPOISON_MEMORY_REGION(P, Capacity(P));
#else
    (void)P;
#endif
}

void Unmap(void* P) noexcept
{
    Unpoison(P); // the addresses may be mapped again for someone else
    munmap(Head(P), Head(P)[0]);
}

// The scope of the calling thread, in a thread-specific key rather than a
// thread_local: the codec library's copy is loaded at run time, and its
// dynamic TLS trips up the leak checker's thread scan. And where pages are
// forwarded to (ForwardPageReuse).
struct TPageState {
    pthread_key_t ReuseKey;
    pthread_once_t ReuseKeyOnce = PTHREAD_ONCE_INIT;
    std::atomic<TPageTakeProc> ForwardTake{nullptr};
    std::atomic<TPageKeepProc> ForwardKeep{nullptr};
};
TPageState& Pages()
{
    static TPageState State;
    return State;
}

void MakeReuseKey()
{
    pthread_key_create(&Pages().ReuseKey, nullptr);
}

TPageReuse* ThreadReuse() noexcept
{
    pthread_once(&Pages().ReuseKeyOnce, MakeReuseKey);
    return static_cast<TPageReuse*>(pthread_getspecific(Pages().ReuseKey));
}

void* MapFresh(uint64_t Size, bool ManyWriters) noexcept
{
    if (Size == 0 || Size > (uint64_t(1) << 46))
        return nullptr;
    const uint64_t total = MappingFor(Size);
    void* base = mmap(nullptr, total, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED)
        return nullptr;
    // Huge pages cut the page faults of the first touch by a factor of 512.
    // Only advice; ignored where the system has none.
    if (ManyWriters && total >= (uint64_t(4) << 20))
        madvise(base, total, MADV_HUGEPAGE);
    auto* head = static_cast<uint64_t*>(base);
    head[0] = total;
    head[1] = Size;
    return static_cast<uint8_t*>(base) + kHeader;
}

// Drops slot I (moving the younger ones down) and returns its block.
void* Remove(TPageReuse& R, int I) noexcept
{
    void** s = TPageReuseAccess::Slots(R);
    void* p = s[I];
    for (int k = I; k + 1 < TPageReuse::kSlots; ++k)
        s[k] = s[k + 1];
    s[TPageReuse::kSlots - 1] = nullptr;
    TPageReuseAccess::Bytes(R) -= Head(p)[0];
    return p;
}
} // namespace

void* TakeKeptPages(uint64_t Size, bool Grow) noexcept
{
    TPageReuse* r = ThreadReuse();
    if (!r || Size == 0 || Size > (uint64_t(1) << 46))
        return nullptr;
    void** s = TPageReuseAccess::Slots(*r);
    // The smallest kept block that covers Size, else the largest that does not.
    int fit = -1, grow = -1;
    for (int i = 0; i < TPageReuse::kSlots && s[i]; ++i) {
        const uint64_t c = Capacity(s[i]);
        if (c >= Size) {
            if (fit < 0 || c < Capacity(s[fit]))
                fit = i;
        } else if (grow < 0 || c > Capacity(s[grow])) {
            grow = i;
        }
    }
    if (fit < 0 && (grow < 0 || !Grow))
        return nullptr;
    void* p = Remove(*r, fit >= 0 ? fit : grow);
    Unpoison(p);
    if (fit < 0) {
        // Its pages stay mapped; only the part added is fresh.
        const uint64_t total = MappingFor(Size);
        void* moved = mremap(Head(p), Head(p)[0], total, MREMAP_MAYMOVE);
        if (moved == MAP_FAILED) {
            Unmap(p);
            return nullptr;
        }
        static_cast<uint64_t*>(moved)[0] = total;
        p = static_cast<uint8_t*>(moved) + kHeader;
    }
    Head(p)[1] = Size;
    return p;
}

bool KeepPages(void* P) noexcept
{
    TPageReuse* r = ThreadReuse();
    if (!r || !P || TPageReuseAccess::NoMore(*r))
        return false;
    const uint64_t total = Head(P)[0];
    const uint64_t cap = TPageReuseAccess::Cap(*r);
    if (total - kHeader < TPageReuse::kMinBlock || total > cap)
        return false;
    void** s = TPageReuseAccess::Slots(*r);
    // The oldest go first, for room and for a free slot.
    while (s[0] && (s[TPageReuse::kSlots - 1] || TPageReuseAccess::Bytes(*r) + total > cap))
        Unmap(Remove(*r, 0));
    int i = 0;
    while (s[i])
        ++i;
    s[i] = P;
    TPageReuseAccess::Bytes(*r) += total;
    Poison(P);
    return true;
}

void LimitPageReuse(uint64_t Cap) noexcept
{
    TPageReuse* r = ThreadReuse();
    if (!r)
        return;
    TPageReuseAccess::Cap(*r) = Cap;
    void** s = TPageReuseAccess::Slots(*r);
    while (s[0] && TPageReuseAccess::Bytes(*r) > Cap)
        Unmap(Remove(*r, 0));
}

void ForwardPageReuse(TPageTakeProc Take, TPageKeepProc Keep) noexcept
{
    Pages().ForwardTake.store(Take, std::memory_order_release);
    Pages().ForwardKeep.store(Keep, std::memory_order_release);
}

TPageReuse::TPageReuse(uint64_t Cap) noexcept : FCap(Cap), FOuter(ThreadReuse())
{
    pthread_setspecific(Pages().ReuseKey, this);
}

TPageReuse::~TPageReuse()
{
    for (void* p : FBlock)
        if (p)
            Unmap(p);
    pthread_setspecific(Pages().ReuseKey, FOuter);
}

int TPageReuse::Count() const noexcept
{
    int n = 0;
    while (n < kSlots && FBlock[n])
        ++n;
    return n;
}

void* PageAlloc(uint64_t Size, bool ManyWriters) noexcept
{
    return MapFresh(Size, ManyWriters);
}

void* PageAllocDirty(uint64_t Size, bool ManyWriters, bool* Fresh) noexcept
{
    const TPageTakeProc take = Pages().ForwardTake.load(std::memory_order_acquire);
    void* p = take ? take(Size, !ManyWriters) : TakeKeptPages(Size, !ManyWriters);
    bool fresh = false;
    if (!p) {
        p = MapFresh(Size, ManyWriters);
        fresh = p != nullptr;
    }
#ifdef VESTRO_ASAN
    if (p)
        std::memset(p, 0xA5, Size);
    fresh = false;
#endif
    if (Fresh)
        *Fresh = fresh;
    return p;
}

void PageFree(void* P) noexcept
{
    if (!P)
        return;
    const TPageKeepProc keep = Pages().ForwardKeep.load(std::memory_order_acquire);
    if (keep ? keep(P) : KeepPages(P))
        return;
    Unmap(P);
}

uint64_t PageSize(const void* P) noexcept
{
    if (!P)
        return 0;
    return Head(P)[1];
}

} // namespace platform

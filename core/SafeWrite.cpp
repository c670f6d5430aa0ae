#include "core/SafeWrite.h"

#include "platform/FileSync.h"
#include "platform/LeftTempFiles.h"

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <mutex>
#include <random>
#include <set>
#include <system_error>

namespace fs = std::filesystem;

namespace {

std::string RandomTag()
{
    // A process-wide counter mixed with a random start: workers writing into
    // the same folder at the same time never pick the same name.
    static std::atomic<uint64_t> counter{std::random_device{}()};
    uint64_t v = counter.fetch_add(0x9E3779B97F4A7C15ull) * 0xBF58476D1CE4E5B9ull;
    static const char digits[] = "0123456789abcdefghijklmnopqrstuv";
    std::string s(8, '0');
    for (char& c : s) {
        c = digits[v & 31];
        v >>= 5;
    }
    return s;
}

std::string SiblingName(const std::string& Path, const std::string& Suffix)
{
    const fs::path p(Path);
    // The first name in a folder clears what killed writers left there.
    static std::mutex lock;
    static std::set<std::string> cleared;
    {
        std::lock_guard<std::mutex> g(lock);
        if (cleared.insert(p.parent_path().string()).second)
            platform::RemoveLeftTempFiles(p.parent_path().string());
    }
    std::string name = ".";
    name.append(p.filename().string()).append(".~").append(RandomTag()).append(1, '-');
    name.append(platform::WriterTag()).append(Suffix);
    return (p.parent_path() / name).string();
}

} // namespace

std::string MakeSiblingTempName(const std::string& Path, const std::string& Suffix)
{
    std::error_code ec;
    for (int i = 0; i < 100; ++i) {
        std::string n = SiblingName(Path, Suffix);
        if (!fs::exists(n, ec))
            return n;
    }
    return SiblingName(Path, Suffix);
}

TSafeFileWriter::TSafeFileWriter(std::string Path, TWriteMode Mode) : FPath(std::move(Path)), FMode(Mode)
{
    if (FMode == TWriteMode::NewFile) {
        // "x": exclusive creation; the caller's name is used as it is.
        FFile = std::fopen(FPath.c_str(), "wbx");
        if (FFile)
            FTempPath = FPath;
        return;
    }
    // Writing through a symbolic link replaces the file it points to, not the link.
    std::error_code ec;
    if (fs::is_symlink(FPath, ec)) {
        const fs::path target = fs::weakly_canonical(FPath, ec);
        if (!ec)
            FPath = target.string();
    }
    // "x": exclusive creation, so a name that appeared meanwhile is never reused.
    for (int i = 0; i < 100 && !FFile; ++i) {
        FTempPath = SiblingName(FPath, ".tmp");
        errno = 0;
        FFile = std::fopen(FTempPath.c_str(), "wbx");
        if (!FFile && errno != EEXIST)
            break;
    }
    if (!FFile)
        FTempPath.clear();
}

TSafeFileWriter::~TSafeFileWriter()
{
    if (!FCommitted)
        Discard();
}

void TSafeFileWriter::Discard()
{
    // Cleaning up must not hide why the write failed.
    const int Errno = errno;
    if (FFile) {
        std::fclose(FFile);
        FFile = nullptr;
    }
    if (!FTempPath.empty() && !FCommitted) {
        std::error_code ec;
        fs::remove(FTempPath, ec);
    }
    errno = Errno;
}

bool TSafeFileWriter::Commit(bool Sync)
{
    if (!FFile || FCommitted)
        return false;
    bool ok = std::fflush(FFile) == 0 && !std::ferror(FFile);
    if (ok && Sync)
        ok = platform::SyncFile(FFile);
    ok = (std::fclose(FFile) == 0) && ok;
    FFile = nullptr;
    if (ok && FMode == TWriteMode::Replace) {
        std::error_code ec;
        // A replaced file keeps its permission bits.
        const fs::file_status old = fs::status(FPath, ec);
        if (!ec && fs::is_regular_file(old))
            fs::permissions(FTempPath, old.permissions(), ec);
        fs::rename(FTempPath, FPath, ec);
        ok = !ec;
        if (ec)
            errno = ec.value();
    }
    if (!ok) {
        Discard();
        return false;
    }
    FCommitted = true;
    return true;
}

bool WriteFileAtomically(const std::string& Path, const std::function<bool(std::FILE*)>& Write, bool Sync,
                         TWriteMode Mode)
{
    TSafeFileWriter w(Path, Mode);
    if (!w.File())
        return false;
    if (!Write(w.File()))
        return false; // the destructor removes the temporary file
    return w.Commit(Sync);
}

bool WriteFileAtomically(const std::string& Path, const void* Data, uint64_t Size, bool Sync, TWriteMode Mode)
{
    return WriteFileAtomically(
        Path, [&](std::FILE* f) { return Size == 0 || std::fwrite(Data, 1, Size, f) == Size; }, Sync, Mode);
}

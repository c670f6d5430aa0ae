// Read-only views of whole input files.
//
// A mapped file costs only the pages a reader touches: a small picture with a
// huge (or sparse) tail never brings the tail into memory, and the pages are
// the file system's cache, not the process's own memory.
//
// Another program may cut the file short while it is mapped. Reading past the
// new end would raise SIGBUS and end the process; instead the missing pages
// read as zeros and Damaged() says so, so that the reader can fail the file.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

class TMappedFile {
public:
    TMappedFile() = default;
    explicit TMappedFile(const std::string& Path) { Open(Path); }
    ~TMappedFile() { Close(); }
    TMappedFile(const TMappedFile&) = delete;
    TMappedFile& operator=(const TMappedFile&) = delete;

    // Maps Path. False, holding nothing, when it cannot be opened, is not a
    // regular file (a FIFO or device is never waited on), is empty, or cannot
    // be mapped. Opening again closes what was held first.
    bool Open(const std::string& Path);
    // Unmaps; safe when nothing is held.
    void Close();

    // The file's bytes (null when nothing is held) and their count.
    const uint8_t* Data() const { return FData; }
    uint64_t Size() const { return FSize; }
    // True when the file shrank while mapped, so that some bytes read as
    // zeros: whatever was decoded from them is not the file's picture.
    bool Damaged() const;

private:
    const uint8_t* FData = nullptr;
    uint64_t FSize = 0;
    uint64_t FMapped = 0; // bytes mapped (Size rounded up to whole pages)
    int FSlot = -1;       // the fault guard's record of this mapping
};

// Gives back the whole pages of Data[From, To), Data being the start of a
// read-only file mapping: the system reads them again should anyone look.
// Keeps a huge input from staying in memory behind its decoder. Returns
// where the next release may start (the end of the last page given back,
// else From), so that calls over consecutive ranges give every page back.
uint64_t ReleaseMappedPages(const uint8_t* Data, uint64_t From, uint64_t To);

} // namespace platform

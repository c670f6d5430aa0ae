// Writing an output file so that a failed write never destroys what was there.
//
// The data goes to a new temporary file in the target's own folder (so the
// final rename never crosses file systems) and is renamed over the target only
// when everything was written. A failure, an exception or a forgotten Commit
// removes the temporary file and leaves the target untouched. A replaced file
// keeps its permission bits; a symbolic link stays and its target is replaced.
#pragma once
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

// How a writer puts its file at a path.
enum class TWriteMode {
    // Through a new temporary file beside the path, renamed over it when
    // complete.
    Replace,
    // The path is a fresh name of the caller's own (a worker's output under
    // construction, which the worker renames into place itself): the file is
    // created there, never over an existing one, and removed again when the
    // write fails. One temporary file per output, not two.
    NewFile,
};

class TSafeFileWriter {
public:
    // Replace: creates the temporary file beside Path ("." + name + ".~" +
    // random + "-" + writer tag + ".tmp", see platform/LeftTempFiles.h); NewFile: creates Path itself. Either with the
    // permissions a plain new file gets. File() is null when it could not be
    // created.
    explicit TSafeFileWriter(std::string Path, TWriteMode Mode = TWriteMode::Replace);
    ~TSafeFileWriter(); // removes the temporary file unless committed
    TSafeFileWriter(const TSafeFileWriter&) = delete;
    TSafeFileWriter& operator=(const TSafeFileWriter&) = delete;

    // The open temporary file, for writing; null after Commit or Discard.
    std::FILE* File() const { return FFile; }
    // Name of the temporary file, for a writer that needs a path of its own.
    const std::string& TempPath() const { return FTempPath; }
    const std::string& TargetPath() const { return FPath; }

    // Closes the file (after fsync when Sync) and renames it over the target
    // (NewFile: leaves it where it is). True when the target now holds the
    // new data; false leaves the target as it was and the temporary file
    // removed, with errno saying why.
    bool Commit(bool Sync = false);
    // Closes and removes the temporary file.
    void Discard();

private:
    std::string FPath, FTempPath;
    std::FILE* FFile = nullptr;
    bool FCommitted = false;
    TWriteMode FMode;
};

// Writes Path through Write (which gets the open temporary file and returns
// false on failure) and renames it into place. An exception from Write
// propagates after the temporary file is removed.
bool WriteFileAtomically(const std::string& Path, const std::function<bool(std::FILE*)>& Write, bool Sync = false,
                         TWriteMode Mode = TWriteMode::Replace);
// Writes Size bytes from Data as the whole new content of Path.
bool WriteFileAtomically(const std::string& Path, const void* Data, uint64_t Size, bool Sync = false,
                         TWriteMode Mode = TWriteMode::Replace);

// A name in Path's folder that does not exist now, "." + name + ".~XXXXXXXX-" +
// writer tag + Suffix, for tools that create their own output file. The first
// name made in a folder removes the temporary files there whose writer is gone.
std::string MakeSiblingTempName(const std::string& Path, const std::string& Suffix = ".tmp");

// File operations of the batch run, with the guarantees the run relies on:
// nothing is ever replaced by accident, and "the same file" means the same
// (device, inode), never equal-looking path texts.
//
// Paths are UTF-8 byte strings. "Read-only" is the owner write bit (the run
// may well be root, so access(W_OK) would say nothing).
#pragma once
#include <cstdint>
#include <string>

#include "platform/FileTimes.h"

namespace platform {

bool FileExists(const std::string& Path); // a regular file (following links)
bool DirectoryExists(const std::string& Path);
bool PathExists(const std::string& Path); // anything at all, even a dangling link
// Creates Path and every missing parent. True when the folder exists afterwards.
bool ForceDirectories(const std::string& Path);

// Identity of an existing file.
struct TFileId {
    uint64_t Dev = 0, Ino = 0;
    bool operator<(const TFileId& O) const { return Dev != O.Dev ? Dev < O.Dev : Ino < O.Ino; }
    bool operator==(const TFileId& O) const { return Dev == O.Dev && Ino == O.Ino; }
};
// False when nothing exists at Path.
bool GetFileId(const std::string& Path, TFileId& Id);

// Moves From to To only when To does not exist (renameat2 RENAME_NOREPLACE;
// on file systems without it, link + unlink; on those without links either, a
// rename after checking that To is free). Returns 0 or an errno value
// (EEXIST when To exists; EXDEV across file systems).
int RenameNoReplace(const std::string& From, const std::string& To);
// Moves From onto To, replacing To atomically. 0 or an errno value.
int RenameReplace(const std::string& From, const std::string& To);

// Copies Src to Dst through a temporary file beside Dst, keeping the source's
// permission bits and last-write time. With FailIfExists an existing Dst is
// never replaced (EEXIST). 0 or an errno value; a failed copy leaves no file
// behind and Dst untouched.
int CopyFile(const std::string& Src, const std::string& Dst, bool FailIfExists);

// Removes a file. True when it is gone.
bool DeleteFile(const std::string& Path);

// SameFile and SetReadOnly live with the file times (FileTimes.h).
bool IsReadOnly(const std::string& Path);

// A new, empty file with a unique name in the folder of Target (so that a
// rename onto Target stays on one file system). Returns its path, or an empty
// string when the folder cannot take it.
std::string CreateTempFileBeside(const std::string& Target);

// Size in bytes, or -1 when the file cannot be examined.
int64_t FileSize(const std::string& Path);

// Writes Size bytes to a new file at Path (which must not exist). 0 or errno;
// on failure the file is removed again.
int WriteNewFile(const std::string& Path, const void* Data, uint64_t Size);

} // namespace platform

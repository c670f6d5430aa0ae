// Expanding dropped or named paths into list entries: folders are walked
// (recursively when [File] AddSubFolder is set), symbolic links followed, and
// each file either probed into the main file list or recorded in the run
// input of an at-once run, with its base folder and its folder relative to it.
//
// Folders are listed in name order, so entries and the numbers the name rule
// hands out are the same on every run. A folder already walked in this
// expansion (same device and inode) is not walked again, so link loops end.
// Nothing here touches windows; the busy window drives a TListupThread.
#pragma once
#include "core/RunSettings.h"

#include <atomic>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/FileOps.h"

class TImageInfoList;

// The settings a walk follows, copied when it starts.
struct TListupOptions {
    bool AddSubFolder = true;
    int32_t SortMode = 0;        // 1: sub-folders first, then files
    bool AtOnce = false;         // record run input instead of probing
    bool SkipImageCheck = false; // only size and times, no header probe
    int32_t RunMode = 0;         // 1: only JPEG files are taken
    static TListupOptions FromSettings(const TRunSettings& S);
};

// Deepest folder nesting walked below a named folder.
inline constexpr int kMaxFolderDepth = 255;

class TListup {
public:
    // Files and RunInput are not owned; one of them is used (AtOnce picks).
    // Terminated, when given, stops the walk as soon as it becomes true;
    // whatever was added until then stays.
    TListup(TListupOptions Options, TImageInfoList* Files, std::vector<TImageFileInfo>* RunInput,
            const std::atomic<bool>* Terminated = nullptr);
    // One dropped or named path: a folder is walked, a file added.
    void ListupPath(const std::string& Path);
    // Count of entries added so far.
    int Added() const { return FAdded; }

private:
    bool Stopped() const { return FTerminated && FTerminated->load(); }
    void AddFolder(const std::string& Folder, int Depth); // Folder ends in "/"
    // Named: the user gave this file itself (not found in a folder).
    void AddPath(const std::string& Path, bool Named = false);

    TListupOptions FOptions;
    TImageInfoList* FFiles;
    std::vector<TImageFileInfo>* FRunInput;
    const std::atomic<bool>* FTerminated;
    std::string FBaseDir; // with a trailing "/"
    std::set<platform::TFileId> FVisited;
    std::set<std::string> FKnown; // paths already in FFiles, exactly as written
    int FAdded = 0;
};

// The run input of an at-once start. Path must be absolute; an empty or
// missing path adds nothing; a folder is walked (sub-folders with
// AddSubFolder), a file is appended (probed later, by the name phase) and
// marked as named (sub-folders by S's AddSubFolder, the mode by its RunMode);
// a file found in a folder is marked so when it has a
// picture's extension (in the lossless transform mode a JPEG's), so that one
// that cannot be read is reported while other files stay silent. False, with a line "name: File not found" in the error
// log, when Path does not exist.
bool AddRunInputPath(std::vector<TImageFileInfo>& List, const std::string& Path, const TRunSettings& S);

// True when Path's extension (any letter case) is one a reader of this
// program takes: the built-in formats, the codec library's and the loaded
// plug-ins'.
bool HasPictureExtension(const std::string& Path);

// Relative folder of File's folder under Base ("" or ending in "/").
std::string RelativeFolder(const std::string& File, const std::string& Base);

// A thread that expands Paths (each as ListupPath) and then calls Done with
// Aborted = whether it was terminated. Done runs on the thread: post, do not
// wait. Terminate may be called from any thread; the destructor terminates
// and joins.
class TListupThread {
public:
    TListupThread(std::vector<std::string> Paths, TListupOptions Options, TImageInfoList* Files,
                  std::vector<TImageFileInfo>* RunInput, std::function<void(bool Aborted)> Done);
    ~TListupThread();
    void Start();
    void Terminate() { FTerminated = true; }
    void Join();

private:
    std::vector<std::string> FPaths;
    TListupOptions FOptions;
    TImageInfoList* FFiles;
    std::vector<TImageFileInfo>* FRunInput;
    std::function<void(bool)> FDone;
    std::atomic<bool> FTerminated{false};
    std::thread FThread;
};

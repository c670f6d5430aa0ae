#include "batch/ListUp.h"

#include "batch/BatchRun.h"
#include "core/ErrorLog.h"
#include "core/ImageInfo.h"
#include "core/Kodex.h"
#include "core/ResourceText.h"
#include "core/SusiePlugin.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

std::string WithSlash(std::string S)
{
    if (S.empty() || S.back() != '/')
        S += '/';
    return S;
}

// Letter case ignored first, then byte order, so that "a" and "A" still come
// in a fixed order.
bool NameLess(const std::string& A, const std::string& B)
{
    const std::string la = AsciiLower(A), lb = AsciiLower(B);
    return la != lb ? la < lb : A < B;
}

struct TFolderEntries {
    std::vector<std::string> Folders, Files;       // names, each list sorted
    std::vector<std::pair<std::string, bool>> All; // name, is folder; sorted
};

// The name a line about Path gives: its last part, without a trailing "/".
std::string LineName(const std::string& Path)
{
    const std::string p = Path.size() > 1 && Path.back() == '/' ? Path.substr(0, Path.size() - 1) : Path;
    return FileNameOf(p);
}

// A folder that cannot be read, or an entry whose kind cannot be learnt, is
// said with the system's reason: a walk that leaves part of a tree out
// without a word looks like a tree with nothing there.
void SayCannotList(const std::string& Path, const std::error_code& Ec)
{
    ErrorLog.PutFileError(LineName(Path), Ec.message());
}

TFolderEntries ReadFolder(const std::string& Folder)
{
    TFolderEntries R;
    std::error_code ec;
    fs::directory_iterator it(Folder, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        std::error_code e2;
        // Links are followed: a link to a folder is a folder, a dangling one
        // is nothing.
        const fs::file_status st = fs::status(it->path(), e2);
        if (e2) {
            if (e2 != std::errc::no_such_file_or_directory)
                SayCannotList(it->path().string(), e2);
            continue;
        }
        if (fs::is_directory(st)) {
            R.Folders.push_back(name);
            R.All.emplace_back(name, true);
        } else if (fs::is_regular_file(st)) {
            R.Files.push_back(name);
            R.All.emplace_back(name, false);
        }
    }
    if (ec)
        SayCannotList(Folder, ec);
    std::sort(R.Folders.begin(), R.Folders.end(), NameLess);
    std::sort(R.Files.begin(), R.Files.end(), NameLess);
    std::sort(R.All.begin(), R.All.end(), [](const auto& A, const auto& B) { return NameLess(A.first, B.first); });
    return R;
}

// Why Path cannot be taken: "" when it is there, else the reason ("File not
// found" when it is missing, the system's reason when it cannot be looked at).
std::string PathProblem(const std::string& Path)
{
    std::error_code ec;
    const fs::file_status st = fs::status(Path, ec);
    if (!ec && fs::exists(st))
        return {};
    if (!ec || ec == std::errc::no_such_file_or_directory)
        return LoadResText(SFileNotFound);
    return ec.message();
}

} // namespace

TListupOptions TListupOptions::FromSettings(const TRunSettings& S)
{
    TListupOptions O;
    O.AddSubFolder = S.File.AddSubFolder;
    O.SortMode = S.File.SortMode;
    O.AtOnce = S.File.AtOnce;
    O.SkipImageCheck = S.System.SkipImageCheck;
    O.RunMode = S.RunMode;
    return O;
}

bool HasPictureExtension(const std::string& Path)
{
    const std::string Ext = AsciiLower(ExtractFileExt(Path));
    if (Ext.empty())
        return false;
    for (const char* E : {".bmp", ".dib", ".png", ".jpg", ".jpeg", ".jpe", ".jfif", ".exif"})
        if (Ext == E)
            return true;
    // Each listed extension is followed by ",", so ".ti" does not match ".tif".
    if (GetWICExtensions().find(Ext + ",") != std::string::npos)
        return true;
    return PictureTypes.ActiveSPIList && PictureTypes.ActiveSPIList->IsSupportExt(Path);
}

std::string RelativeFolder(const std::string& File, const std::string& Base)
{
    const std::string folder = ExtractFilePath(File);
    if (Base.empty() || folder.size() <= Base.size() || folder.compare(0, Base.size(), Base) != 0)
        return {};
    return WithSlash(folder.substr(Base.size()));
}

TListup::TListup(TListupOptions Options, TImageInfoList* Files, std::vector<TImageFileInfo>* RunInput,
                 const std::atomic<bool>* Terminated)
    : FOptions(Options), FFiles(Files), FRunInput(RunInput), FTerminated(Terminated)
{
    if (FFiles)
        for (int32_t i = 0; i < FFiles->Count(); ++i)
            FKnown.insert(FFiles->Items(i)->Path());
}

void TListup::ListupPath(const std::string& Path)
{
    if (Path.empty() || Stopped())
        return;
    const std::string p = (Path.size() > 1 && Path.back() == '/') ? Path.substr(0, Path.size() - 1) : Path;
    FBaseDir = ExtractFilePath(p);
    const std::string Problem = PathProblem(p);
    if (!Problem.empty()) {
        ErrorLog.PutFileError(LineName(p), Problem);
        return;
    }
    std::error_code ec;
    if (fs::is_directory(p, ec)) {
        AddFolder(WithSlash(p), 0);
        return;
    }
    const size_t Before = FRunInput ? FRunInput->size() : 0;
    AddPath(p, true);
    if (FOptions.AtOnce && FRunInput && FRunInput->size() > Before)
        FRunInput->back().Named = true;
}

void TListup::AddFolder(const std::string& Folder, int Depth)
{
    platform::TFileId id;
    if (Depth > kMaxFolderDepth) {
        ErrorLog.PutFileError(LineName(Folder), LoadResText("folders nested too deeply"));
        return;
    }
    if (!platform::GetFileId(Folder, id)) {
        SayCannotList(Folder, std::error_code(errno, std::generic_category()));
        return;
    }
    if (!FVisited.insert(id).second)
        return;
    const TFolderEntries E = ReadFolder(Folder);
    if (FOptions.SortMode == 1) {
        if (FOptions.AddSubFolder)
            for (const std::string& d : E.Folders) {
                if (Stopped())
                    return;
                AddFolder(Folder + d + "/", Depth + 1);
            }
        for (const std::string& f : E.Files) {
            if (Stopped())
                return;
            AddPath(Folder + f);
        }
        return;
    }
    for (const auto& [name, isFolder] : E.All) {
        if (Stopped())
            return;
        if (isFolder) {
            if (FOptions.AddSubFolder)
                AddFolder(Folder + name + "/", Depth + 1);
        } else {
            AddPath(Folder + name);
        }
    }
}

void TListup::AddPath(const std::string& Path, bool Named)
{
    if (FOptions.AtOnce) {
        if (FRunInput) {
            // A file a folder walk found that is named like a picture is
            // expected to be one: when it cannot be read, the run says so.
            // A lossless transform passes over pictures that are no JPEGs.
            bool Expected = HasPictureExtension(Path);
            if (Expected && FOptions.RunMode == 1) {
                const std::string Ext = AsciiLower(ExtractFileExt(Path));
                Expected = Ext == ".jpg" || Ext == ".jpeg" || Ext == ".jpe" || Ext == ".jfif" || Ext == ".exif";
            }
            FRunInput->push_back(TImageFileInfo{Path, "", RelativeFolder(Path, FBaseDir), FBaseDir, Expected});
            ++FAdded;
        }
        return;
    }
    // The same path twice is one entry; two names that differ only in letter
    // case are two files here.
    if (!FFiles || FKnown.count(Path))
        return;
    auto info = std::make_unique<TImageInfo>();
    bool ok, NoJPEG = false;
    std::string Why;
    {
        // What the probe says about a file the user named goes into one line
        // of ours below; about a file a folder walk found, it stands as it is.
        TErrorCapture Said;
        if (FOptions.SkipImageCheck && FOptions.RunMode != 1) {
            ok = GetBasicFileInfo(Path, *info);
        } else {
            ok = GetImageInfo(Path, *info);
            NoJPEG = ok && FOptions.RunMode == 1 && info->PictureFormat != pfJPEG;
            ok = ok && !NoJPEG;
        }
        Why = Said.Text();
        if (ok || !Named)
            Said.Forward();
    }
    if (!ok) {
        // A file the user added by name and that cannot be listed is not
        // dropped without a word (a folder's other files are).
        if (Named)
            ErrorLog.PutFileError(FileNameOf(Path),
                                  NoJPEG ? LoadResText("not a JPEG file: the lossless transform takes JPEG files only")
                                      : !Why.empty() ? Why
                                                     : LoadResText(SUnknownFormat));
        return;
    }
    info->SetPath(Path);
    info->Checked = true;
    info->Dir = RelativeFolder(Path, FBaseDir);
    info->Base = FBaseDir;
    FFiles->Add(info.release());
    FKnown.insert(Path);
    ++FAdded;
}

bool AddRunInputPath(std::vector<TImageFileInfo>& List, const std::string& Path, const TRunSettings& S)
{
    if (Path.empty())
        return true;
    const std::string Problem = PathProblem(Path);
    if (!Problem.empty()) {
        ErrorLog.PutFileError(LineName(Path), Problem);
        return false;
    }
    TListupOptions O;
    O.AddSubFolder = S.File.AddSubFolder;
    O.AtOnce = true;
    // Walked as the window's list-up walks it, so that <dir><n>_<old> numbers
    // the same files alike either way.
    O.SortMode = S.File.SortMode;
    O.RunMode = S.RunMode;
    TListup L(O, nullptr, &List);
    L.ListupPath(Path);
    return true;
}

TListupThread::TListupThread(std::vector<std::string> Paths, TListupOptions Options, TImageInfoList* Files,
                             std::vector<TImageFileInfo>* RunInput, std::function<void(bool)> Done)
    : FPaths(std::move(Paths)), FOptions(Options), FFiles(Files), FRunInput(RunInput), FDone(std::move(Done))
{
}

TListupThread::~TListupThread()
{
    Terminate();
    Join();
}

void TListupThread::Start()
{
    FThread = std::thread([this] {
        TListup L(FOptions, FFiles, FRunInput, &FTerminated);
        for (const std::string& p : FPaths) {
            if (FTerminated)
                break;
            L.ListupPath(p);
        }
        if (FDone)
            FDone(FTerminated.load());
    });
}

void TListupThread::Join()
{
    if (FThread.joinable())
        FThread.join();
}

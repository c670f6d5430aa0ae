#include "core/SusiePlugin.h"

#include "core/Bitmap.h"
#include "core/ErrorLog.h"
#include "core/Errors.h"
#include "platform/DynLib.h"
#include "platform/HeapBlock.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

void* OpenLibrary(const std::string& Path)
{
    std::string error; // an unusable file is simply not a plug-in
    return platform::DynLoad(Path, error);
}
void* FindSymbol(void* Lib, const char* Name)
{
    return platform::DynSymbol(Lib, Name);
}
void CloseLibrary(void* Lib)
{
    platform::DynUnload(Lib);
}

std::string AddSlash(const std::string& Folder)
{
    return (Folder.empty() || Folder.back() == '/') ? Folder : Folder + "/";
}

std::string LowerCase(std::string S)
{
    for (char& c : S)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return S;
}

// The identifier of information number 0 into a zeroed buffer of BufSize
// bytes, BufSize - 1 of them offered to the plug-in.
std::string PluginInfo(TSPIGetPluginInfo Get, int No, int BufSize)
{
    std::vector<char> buf(size_t(BufSize), 0);
    const int n = Get(No, buf.data(), BufSize - 1);
    if (n <= 0)
        return {};
    return std::string(buf.data(), strnlen(buf.data(), size_t(BufSize - 1)));
}

bool ReadWholeFile(const std::string& FileName, std::vector<char>& Data)
{
    std::ifstream in(FileName, std::ios::binary | std::ios::ate);
    if (!in)
        return false;
    const std::streamoff n = in.tellg();
    if (n < 0)
        return false;
    Data.resize(size_t(n));
    in.seekg(0);
    return n == 0 || bool(in.read(Data.data(), n));
}

template <class T> T Entry(void* Lib, const char* Name)
{
    return reinterpret_cast<T>(FindSymbol(Lib, Name));
}

// Name and value of one "name=value" order entry.
void SplitEntry(const std::string& E, std::string& Name, std::string& Value)
{
    const size_t eq = E.find('=');
    Name = E.substr(0, eq);
    Value = eq == std::string::npos ? std::string() : E.substr(eq + 1);
}

} // namespace

// ---- utility routines -------------------------------------------------------

bool IsNotAnsiPath(const std::string& Path)
{
    // A strict UTF-8 check: plug-ins get UTF-8 names, so anything else
    // cannot be passed as a name.
    const auto* s = reinterpret_cast<const unsigned char*>(Path.data());
    const size_t n = Path.size();
    for (size_t i = 0; i < n;) {
        const unsigned c = s[i];
        size_t len;
        uint32_t cp;
        if (c < 0x80) {
            ++i;
            continue;
        }
        if (c >= 0xC2 && c <= 0xDF) {
            len = 2;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4;
            cp = c & 0x07;
        } else
            return true;
        if (i + len > n)
            return true;
        for (size_t k = 1; k < len; ++k) {
            if ((s[i + k] & 0xC0) != 0x80)
                return true;
            cp = (cp << 6) | (s[i + k] & 0x3F);
        }
        if ((len == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) ||
            (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)))
            return true;
        i += len;
    }
    return false;
}

std::string GetAnsiFileName(const std::string& Path)
{
    return IsNotAnsiPath(Path) ? std::string() : Path;
}

int SPIProgressCallback(int, int, intptr_t)
{
    return 0;
}

// ---- TSusiePlugin -------------------------------------------------------------

bool TSusiePlugin::LoadPlugIn(const std::string& Path)
{
    FreePlugIn();
    FDLLHandle = OpenLibrary(Path);
    if (!FDLLHandle)
        return false;
    FGetPluginInfo = Entry<TSPIGetPluginInfo>(FDLLHandle, "GetPluginInfo");
    if (!FGetPluginInfo || PluginInfo(FGetPluginInfo, 0, 256) != "00IN") {
        FreePlugIn();
        return false;
    }
    for (int no = 2; no < 2000; no += 2) {
        std::vector<char> buf(256, 0);
        if (FGetPluginInfo(no, buf.data(), 255) <= 0)
            break;
        FExts += LowerCase(std::string(buf.data(), strnlen(buf.data(), 255))) + ";";
    }
    FIsSupported = Entry<TSPIIsSupported>(FDLLHandle, "IsSupported");
    FGetPictureInfo = Entry<TSPIGetPictureInfo>(FDLLHandle, "GetPictureInfo");
    FGetPicture = Entry<TSPIGetPicture>(FDLLHandle, "GetPicture");
    FGetPreview = Entry<TSPIGetPicture>(FDLLHandle, "GetPreview");
    FConfigurationDlg = Entry<TSPIConfigurationDlg>(FDLLHandle, "ConfigurationDlg");
    FHaveConfigDialog = FConfigurationDlg != nullptr;
    return true;
}

void TSusiePlugin::FreePlugIn()
{
    if (FDLLHandle)
        CloseLibrary(FDLLHandle);
    FDLLHandle = nullptr;
    FGetPluginInfo = nullptr;
    FIsSupported = nullptr;
    FGetPictureInfo = nullptr;
    FGetPicture = nullptr;
    FGetPreview = nullptr;
    FConfigurationDlg = nullptr;
    FHaveConfigDialog = false;
    FExts.clear();
    FName.clear();
}

bool TSusiePlugin::IsSupported(const std::string& FileName, const uint8_t* Header)
{
    if (!FIsSupported)
        return false;
    std::string name = GetAnsiFileName(FileName);
    if (name.empty()) {
        // Only the file name part, with what cannot be passed replaced.
        name = fs::path(FileName).filename().string();
        for (char& c : name)
            if (static_cast<unsigned char>(c) >= 0x80)
                c = '?';
    }
    return FIsSupported(name.c_str(), Header) != 0;
}

int TSusiePlugin::GetPictureInfo(const std::string& FileName, TPictureInfo& Info)
{
    if (!FGetPictureInfo)
        return -1;
    Info = TPictureInfo{};
    int r;
    const std::string name = GetAnsiFileName(FileName);
    if (!name.empty()) {
        r = FGetPictureInfo(name.c_str(), 0, SPI_INPUT_FILE, &Info);
    } else {
        std::vector<char> data;
        if (!ReadWholeFile(FileName, data))
            return -1;
        r = FGetPictureInfo(data.data(), intptr_t(data.size()), SPI_INPUT_MEMORY, &Info);
    }
    platform::HeapFree(Info.hInfo);
    Info.hInfo = nullptr;
    return r;
}

int TSusiePlugin::CallPicture(TSPIGetPicture Fn, const std::string& FileName, void*& HBInfo, void*& HBm)
{
    HBInfo = HBm = nullptr;
    const std::string name = GetAnsiFileName(FileName);
    std::vector<char> data;
    if (name.empty() && !ReadWholeFile(FileName, data))
        return -1;
    int r;
    {
        std::lock_guard<std::mutex> lock(CS);
        if (!name.empty())
            r = Fn(name.c_str(), 0, SPI_INPUT_FILE, &HBInfo, &HBm, SPIProgressCallback, 0);
        else
            r = Fn(data.data(), intptr_t(data.size()), SPI_INPUT_MEMORY, &HBInfo, &HBm, SPIProgressCallback, 0);
    }
    if (r != 0) {
        // A failed call owns nothing; release whatever it left behind.
        platform::HeapFree(HBInfo);
        platform::HeapFree(HBm);
        HBInfo = HBm = nullptr;
    }
    return r;
}

int TSusiePlugin::GetPicture(const std::string& FileName, void*& HBInfo, void*& HBm)
{
    HBInfo = HBm = nullptr;
    return FGetPicture ? CallPicture(FGetPicture, FileName, HBInfo, HBm) : -1;
}

int TSusiePlugin::GetPreview(const std::string& FileName, void*& HBInfo, void*& HBm)
{
    HBInfo = HBm = nullptr;
    return FGetPreview ? CallPicture(FGetPreview, FileName, HBInfo, HBm) : GetPicture(FileName, HBInfo, HBm);
}

int TSusiePlugin::ConfigurationDlg(void* Parent, int Fnc)
{
    return FConfigurationDlg ? FConfigurationDlg(Parent, Fnc) : -1;
}

std::string TSusiePlugin::PluginInfoText()
{
    if (!FGetPluginInfo)
        return {};
    std::vector<char> buf(1024, 0);
    const int n = FGetPluginInfo(1, buf.data(), 1023);
    if (n >= 1024)
        return {};
    return std::string(buf.data(), strnlen(buf.data(), 1023));
}

// ---- TSPIList -------------------------------------------------------------------

void TSPIList::GetSPIList(const std::string& Folder, std::string& Names)
{
    std::vector<std::string> found;
    std::error_code ec;
    for (fs::directory_iterator it(AddSlash(Folder), ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path& p = it->path();
        if (LowerCase(p.extension().string()) != ".spi" || !it->is_regular_file(ec))
            continue;
        void* lib = OpenLibrary(p.string());
        if (!lib)
            continue;
        if (auto get = Entry<TSPIGetPluginInfo>(lib, "GetPluginInfo"); get && PluginInfo(get, 0, 10) == "00IN")
            found.push_back(p.filename().string());
        CloseLibrary(lib);
    }
    // The folder's listing order is arbitrary here; by name is what users see.
    std::sort(found.begin(), found.end());
    Names = JoinCommaText(found);
}

void TSPIList::CreateNewOrder(const std::string& Found, const std::string& Stored, std::string& Result)
{
    const std::vector<std::string> found = SplitCommaText(Found);
    std::vector<std::string> out, names;
    std::string name, value;
    for (const std::string& e : SplitCommaText(Stored)) {
        SplitEntry(e, name, value);
        if (std::find(found.begin(), found.end(), name) == found.end() ||
            std::find(names.begin(), names.end(), name) != names.end())
            continue;
        names.push_back(name);
        out.push_back(e);
    }
    for (const std::string& f : found)
        if (!f.empty() && std::find(names.begin(), names.end(), f) == names.end()) {
            names.push_back(f);
            out.push_back(f + "=0");
        }
    Result = JoinCommaText(out);
}

void TSPIList::GetUseSPINames(const std::string& Order, std::string& Names)
{
    std::vector<std::string> out;
    std::string name, value;
    for (const std::string& e : SplitCommaText(Order)) {
        SplitEntry(e, name, value);
        if (value == "1")
            out.push_back(name);
    }
    Names = JoinCommaText(out);
}

void TSPIList::LoadSPI(const std::string& Folder, const std::string& Names)
{
    const std::string dir = AddSlash(Folder);
    for (const std::string& n : SplitCommaText(Names)) {
        std::error_code ec;
        // Names are plain file names of the folder, never paths.
        if (n.empty() || n.find('/') != std::string::npos || !fs::is_regular_file(dir + n, ec))
            continue;
        auto p = std::make_unique<TSusiePlugin>();
        if (p->LoadPlugIn(dir + n)) {
            p->FName = n;
            FItems.push_back(std::move(p));
        }
    }
}

void TSPIList::ReleaseSPI()
{
    while (!FItems.empty())
        FItems.pop_back();
}

namespace {
// "*.ext;" as a plug-in's extension list holds it.
std::string ExtensionFilter(const std::string& FileName)
{
    std::string Filter = "*";
    Filter += LowerCase(fs::path(FileName).extension().string());
    Filter += ';';
    return Filter;
}
} // namespace

bool TSPIList::IsSupportExt(const std::string& FileName) const
{
    const std::string filter = ExtensionFilter(FileName);
    for (const auto& p : FItems)
        if (p->FExts.find(filter) != std::string::npos)
            return true;
    return false;
}

TSusiePlugin* TSPIList::FindSupportSPI(const std::string& FileName, const uint8_t* Header) const
{
    const std::string filter = ExtensionFilter(FileName);
    for (const auto& p : FItems)
        if (p->FExts.find(filter) != std::string::npos && p->IsSupported(FileName, Header))
            return p.get();
    return nullptr;
}

void TSPIList::Move(size_t From, size_t To)
{
    if (From >= FItems.size() || To >= FItems.size() || From == To)
        return;
    auto p = std::move(FItems[From]);
    FItems.erase(FItems.begin() + ptrdiff_t(From));
    FItems.insert(FItems.begin() + ptrdiff_t(To), std::move(p));
}

// ---- reading a picture ------------------------------------------------------------

bool SusieToImg(TSusiePlugin* Plugin, const std::string& FileName, TImgInfo& Img, uint32_t Flags,
                const TBGColor& Background)
{
    Img = TImgInfo{};
    if (!Plugin)
        return false;
    void* info = nullptr;
    void* bits = nullptr;
    if (Plugin->GetPicture(FileName, info, bits) != 0)
        return false;
    bool ok = false;
    try {
        if (!info || !bits)
            throw EOutOfMemory(); // the plug-in claimed success without memory
        // The plug-in's bitmap is checked like a file: header, palette and
        // every row must lie inside the blocks it handed over.
        TBitmapLayout L;
        CheckBitmapInfo(static_cast<const uint8_t*>(info), platform::HeapBlockSize(info), L);
        CheckBitmapBits(L, static_cast<const uint8_t*>(bits), platform::HeapBlockSize(bits));
        switch (L.BitCount) {
        case 16:
            ok = DecodeBitmap16(L, Img, Flags, Background);
            break;
        case 24:
            ok = DecodeBitmap24(L, Img);
            break;
        case 32:
            ok = DecodeBitmap32(L, Img, Flags, Background, 1);
            break;
        default:
            ok = DecodeBitmapPalette(L, Img);
            break;
        }
    } catch (const std::exception& e) {
        FreeImg(Img);
        ErrorLog.PutFileError(FileName, e.what());
        ok = false;
    }
    platform::HeapFree(info);
    platform::HeapFree(bits);
    return ok;
}

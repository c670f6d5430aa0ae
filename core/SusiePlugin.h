// Image plug-ins: loading the "*.spi" shared objects of the plug-in folder,
// the user's order of them, and reading a picture through one of them.
//
// Picture calls (GetPicture, GetPreview) of one plug-in are serialised by its
// own lock, since plug-ins are not assumed to be re-entrant; IsSupported and
// GetPictureInfo run unlocked. Different plug-ins run in parallel.
#pragma once
#include "core/Funcs.h"
#include "core/Global.h"
#include "core/ImgInfo.h"
#include "core/SusieAPI.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

// Size of the file head handed to IsSupported.
constexpr uint32_t SPI_HEADER_SIZE = 2048;

class TSusiePlugin {
public:
    TSusiePlugin() = default;
    ~TSusiePlugin() { FreePlugIn(); }
    TSusiePlugin(const TSusiePlugin&) = delete;
    TSusiePlugin& operator=(const TSusiePlugin&) = delete;

    // Loads the library at Path. True when it is an import plug-in ("00IN")
    // and its extension filters were read; otherwise it is freed again.
    bool LoadPlugIn(const std::string& Path);
    // Frees the library and clears every entry point, FExts and FName.
    void FreePlugIn();

    // False when the plug-in has no "IsSupported". Header: SPI_HEADER_SIZE bytes.
    bool IsSupported(const std::string& FileName, const uint8_t* Header);
    // The plug-in's result (0 success), -1 without the entry point. The extra
    // text block is released here: Info.hInfo comes back null.
    int GetPictureInfo(const std::string& FileName, TPictureInfo& Info);
    // The plug-in's result (0 success), -1 without the entry point. On success
    // the caller owns both blocks and releases them with platform::HeapFree.
    int GetPicture(const std::string& FileName, void*& HBInfo, void*& HBm);
    // The same through "GetPreview", or "GetPicture" when there is none.
    int GetPreview(const std::string& FileName, void*& HBInfo, void*& HBm);
    // The plug-in's result, -1 when it has no "ConfigurationDlg".
    int ConfigurationDlg(void* Parent, int Fnc);
    // The description (information number 1), empty when it is 1024 bytes or
    // longer; the settings dialog shows it in a message box.
    std::string PluginInfoText();

    const std::string& Name() const { return FName; }
    const std::string& Exts() const { return FExts; }
    bool HaveConfigDialog() const { return FHaveConfigDialog; }

private:
    friend class TSPIList;
    int CallPicture(TSPIGetPicture Entry, const std::string& FileName, void*& HBInfo, void*& HBm);

    void* FDLLHandle = nullptr;
    TSPIGetPluginInfo FGetPluginInfo = nullptr;
    TSPIIsSupported FIsSupported = nullptr;
    TSPIGetPictureInfo FGetPictureInfo = nullptr;
    TSPIGetPicture FGetPicture = nullptr;
    TSPIGetPicture FGetPreview = nullptr;
    TSPIConfigurationDlg FConfigurationDlg = nullptr;
    bool FHaveConfigDialog = false;
    std::string FName; // file name without folder
    std::string FExts; // lower-cased filters, each followed by ";", e.g. "*.pic;"
    std::mutex CS;     // serialises the picture calls
};

// The loaded plug-ins in priority order; owns them.
class TSPIList {
public:
    ~TSPIList() { ReleaseSPI(); }

    // Comma text of the "*.spi" files in Folder that are import plug-ins, by name.
    static void GetSPIList(const std::string& Folder, std::string& Names);
    // Stored entries ("name=1" / "name=0") whose name is among Found, in the
    // stored order and each once, then "name=0" for every found plug-in
    // without an entry: new plug-ins come last and disabled, vanished ones go.
    static void CreateNewOrder(const std::string& Found, const std::string& Stored, std::string& Result);
    // The names enabled ("=1") in Order, in order, as comma text.
    static void GetUseSPINames(const std::string& Order, std::string& Names);

    // Loads the named plug-ins (comma text) from Folder, in that order,
    // skipping files that are missing or unusable.
    void LoadSPI(const std::string& Folder, const std::string& Names);
    // Frees every plug-in, the last first.
    void ReleaseSPI();
    // True when a plug-in lists the file's extension.
    bool IsSupportExt(const std::string& FileName) const;
    // The first plug-in that lists the extension and accepts the header
    // (SPI_HEADER_SIZE bytes); null when none. Not owned by the caller.
    TSusiePlugin* FindSupportSPI(const std::string& FileName, const uint8_t* Header) const;

    size_t Count() const { return FItems.size(); }
    TSusiePlugin* Items(size_t I) const { return FItems[I].get(); }
    // Moves entry From to position To (the settings dialog reorders this way).
    void Move(size_t From, size_t To);

private:
    std::vector<std::unique_ptr<TSusiePlugin>> FItems;
};

// Decodes the file through Plugin into a new image (Img must hold no block).
// True when decoded. A damaged bitmap from the plug-in or a failed
// allocation is logged as "FileName: reason" and gives false; nothing is kept.
bool SusieToImg(TSusiePlugin* Plugin, const std::string& FileName, TImgInfo& Img, uint32_t Flags,
                const TBGColor& Background);

// Plug-ins take UTF-8 names: a path that is not valid UTF-8 is "not ANSI"
// and is handed over in memory instead.
bool IsNotAnsiPath(const std::string& Path);
// Path when it is valid UTF-8, otherwise empty.
std::string GetAnsiFileName(const std::string& Path);
// Progress callback handed to the plug-ins: never asks them to stop.
int SPIProgressCallback(int Num, int Denom, intptr_t Data);

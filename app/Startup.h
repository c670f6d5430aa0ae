// Start-up and shutdown of the program: the process-wide objects, the
// at-once decision, the resampling filters of the shared resizer and the list
// of installed interface languages.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class TEffectList;
class TMainForm;
class TErrorLogForm;
class TSPIList;
class TResizer;
class TUnsharpMask;
class TGaussianBlur;
class TImageInfoList;
struct TImageFileInfo;

// The program's own objects. InitializeGlobals makes the resizers, the
// shared filters and the lists, FinalizeGlobals frees them; null before and
// after (EffectList, declared with the effect chain, likewise). The windows
// set their own place while they exist.
struct TApplication {
    TMainForm* MainForm = nullptr;
    TErrorLogForm* ErrorLogForm = nullptr;
    TResizer* MainResizer = nullptr;
    TResizer* AntialiasResizer = nullptr;
    TUnsharpMask* MainUnsharpMask = nullptr;
    TGaussianBlur* MainGaussianBlur = nullptr;
    TImageInfoList* FileList = nullptr;
    std::vector<TImageFileInfo>* ImageFileList = nullptr;
    // "folder=language name" per installed catalogue, in folder-name order.
    std::vector<std::string> LanguageList;
    // The plug-in list; the loader creates it on first use and reloads it.
    std::unique_ptr<TSPIList> SPIList;
    // Right and bottom edge of the desktop work area in pixels; the stored
    // preview window size is cut to them. Start-up sets them from the primary
    // screen.
    int32_t WorkAreaRight = 1 << 20, WorkAreaBottom = 1 << 20;
    int ClipboardCounter = 0; // numbers pasted pictures; it only grows while the program runs
};
extern TApplication App;

// Creates the process-wide objects in their order (paths, language, kernels,
// codec library, lists, effect chain, resizers). Args are the command-line
// arguments without the program. Always succeeds; a codec library that will
// not load leaves KodexLoaded false and KodexLoadError set.
bool InitializeGlobals(const std::vector<std::string>& Args);

// Speaks Settings.System.Language from now on: the catalogue of
// LanguageList of that name in any letter case, else "en". The setting
// becomes the name spoken.
void SelectInterfaceLanguage();
void FinalizeGlobals();

// EffectList made anew: every effect as a fresh start has it (off, its own
// defaults), in the default order. Replaces (frees) the chain there was;
// nothing may run on it meanwhile.
void MakeDefaultEffectChain();
// The settings of a run of FileName exactly as a fresh start reads them: the
// chain made anew, then the file over the defaults (LoadIniFile; what the
// file leaves out takes the default, whatever was loaded before). Returns
// what LoadIniFile returns.
std::string LoadRunSettings(const std::string& FileName);

// Whether a command-line argument names a file or folder. Absolute paths
// begin with "/" as switches do: "/ini=..." is always the profile switch; any
// other argument beginning with "/" is a path when it exists, when it holds
// another "/" or when it ends in a picture's extension, and else an unknown
// switch (ignored). Every argument not beginning with "/" is a path.
bool IsPathArgument(const std::string& Arg);

// True when an argument is a path and [File] AtOnce of the settings file is
// set.
bool IsAtOnceStart(const std::vector<std::string>& Args, const std::string& IniFile);

// IsPathArgument as far as the argument's form tells: nothing when it begins
// with "/", names nothing and holds no other "/" (then only its extension
// decides, which the picture types loaded at start-up know).
std::optional<bool> PathArgumentByForm(const std::string& Arg);
// [File] AtOnce of the settings file (false when it cannot be read).
bool ProfileConvertsAtOnce(const std::string& IniFile);
// True when no window system is named: no platform, no X display, no Wayland
// display (the program then starts on the offscreen platform).
bool NoDisplay();
// Whether this start surely converts at once without any window or drawn
// text: nobody can answer a window (IsNonInteractive), an argument is surely
// a path, and the profile converts at once and adds no text. Such a start is
// done by a process without the window system's libraries.
bool ConvertsWithoutWindowSystem(const std::vector<std::string>& Args, const std::string& IniFile);

// One line "name: Why" for each argument IsPath takes for a file or folder,
// named as every run names it (its last part; a folder without its final
// "/"): what a start says of the files it could not have converted.
std::vector<std::string> NamedFileLines(const std::vector<std::string>& Args,
                                        const std::function<bool(const std::string&)>& IsPath, const std::string& Why);

// The executables beside the front (relative to the program's folder): the
// program with windows, and the one that converts at once without them.
inline constexpr char kProgramWithWindows[] = "bin/vestro-window";
inline constexpr char kProgramWithoutWindows[] = "bin/vestro-atonce";

// The settings file named by the command line, as GetSettingsFileName
// chooses it, with a note on standard error for each switch it passed over.
std::string ProfileFileName(const std::vector<std::string>& Args);

// The shared unsharp mask and blur (blur radius 2); kept in a module of their
// own because their header and the resampler's cannot meet in one file yet.
void CreateSharedFilters();
void FreeSharedFilters();
void SetSharedFilterThreads(uint32_t Threads);

// Rebuilds MainResizer's filters from [Resize]: ids 1..9 (1 only for
// shrinking); 0 or another id keeps the current filter. SIMDMode 0 keeps the
// kernel family.
void SetResizeFilters(int32_t DecimationId, int32_t InterpolationId, int32_t SIMDMode);

// (Re)fills LanguageList from ExeDir/locale/*/LC_MESSAGES/default.mo.
void LoadLanguageList();

// True when nobody can answer a window: the offscreen platform
// (QT_QPA_PLATFORM=offscreen) or VESTRO_NONINTERACTIVE=1. Questions then take
// their default answer and the error log goes to standard error.
bool IsNonInteractive();

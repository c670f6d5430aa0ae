// The program's own texts: effect names, list entries, prompts, help texts and
// error messages, written in English.
//
// Each English text is also its key in the message catalogue (domain
// "default"); fetch it with LoadResText at the moment it is shown, raised or
// logged, so that it follows the current interface language. Several texts
// keep their historic spelling because catalogues are keyed on it. Lines of
// the multi-line texts are joined by CR LF.
#pragma once
#include <array>
#include <string>

// Effect display names.
inline constexpr const char SExifRotation[] = "ExifRotation";
inline constexpr const char SResize[] = "Resize";
inline constexpr const char STrimming[] = "Trimming";
inline constexpr const char SGrayscale[] = "Grayscale";
inline constexpr const char SRotation[] = "Rotation";
inline constexpr const char SAddBlank[] = "AddBlank";
inline constexpr const char SUnsharpMask[] = "UnsharpMask";
inline constexpr const char SJPEGTran[] = "JPEGTran";
inline constexpr const char SColorAdjust[] = "ColorAdjust";
inline constexpr const char SToneCurve[] = "ToneCurve";
inline constexpr const char SDecreaseColor[] = "DecreaseColor";
inline constexpr const char SAddText[] = "AddText";
inline constexpr const char SComposite[] = "Composite";

// SIMD methods of the resampler, in list order.
inline constexpr const char SMMXInteger[] = "MMX Integer";
inline constexpr const char SSSEFloat[] = "SSE Float";
inline constexpr const char SSSE2Integer[] = "SSE2 Integer";

// Resampling filters, filter ids 1 to 9.
inline constexpr const char SAreaAverage[] = "AreaAverage";
inline constexpr const char SLanczos[] = "Lanczos";
inline constexpr const char SBilinear[] = "Bilinear";
inline constexpr const char SBicubic[] = "Bicubic";
inline constexpr const char SBlackmanSinc[] = "BlackmanSinc";
inline constexpr const char SSpline16[] = "Spline16";
inline constexpr const char SSpline36[] = "Spline36";
inline constexpr const char SGaussian[] = "Gaussian";
inline constexpr const char SNearestNeighbor[] = "NearestNeighbor";

// Labels of the two size edits of the size rule.
inline constexpr const char SScale[] = "Scale";
inline constexpr const char SWide[] = "Wide";
inline constexpr const char SNarrow[] = "Narrow";
inline constexpr const char SWidth[] = "Width";
inline constexpr const char SHeight[] = "Height";

// Dither methods of the colour reduction, in list order.
inline constexpr const char SDitherNone[] = "None";
inline constexpr const char SDitherGPeanos[] = "gPeanos";
inline constexpr const char SDitherFloydSteinberg[] = "Floyd-Steinberg";
inline constexpr const char SDitherJarvis[] = "Jarvis, Judice & Ninke";
inline constexpr const char SDitherAnime[] = "Anime";

// First entry of the trimming dialog's select-mode list.
inline constexpr const char SFreeSize[] = "Free size";

// Captions, prompts and hints.
inline constexpr const char SInputControlPoint[] = "Input control point";
inline constexpr const char SAddSelectMode[] = "Add select mode";
inline constexpr const char SInputAspectRatio[] = "Input aspect ratio";
inline constexpr const char SError[] = "Error";
inline constexpr const char SSettings[] = "Settings";
inline constexpr const char SSelectOutputFolder[] = "Select output floder";
inline constexpr const char SSelectFolderToAdd[] = "Select folder to add";

// Confirmations. SOverwriteShortCut takes the file name for its %s.
inline constexpr const char SRemoveAllFiles[] = "All files are removed from a list. OK?";
inline constexpr const char SRemoveNonJPEGFiles[] = "All files other than JPEG are removed from a list. OK?";
inline constexpr const char SOverwriteShortCut[] = "%s already exists\r\nDoes it overwrite?";

// Help texts of the output-file-name rule and of the add-text tokens.
inline constexpr const char SFileNameFormatHelp[] =
    "<ymd> date\r\n<ymdhns> datetime\r\n<yy> year\r\n<yyyy> year\r\n<mm> month\r\n<dd> day\r\n"
    "<hh> hour\r\n<nn> minute\r\n<ss> second\r\n<old> filename\r\n<ext> extension\r\n"
    "<dir> relative path\r\n<pdir> parent directory\r\n<base> base directory\r\n"
    "<n*> numbering *=number of digits\r\n<s*> *=numbering start value\r\n"
    "<c*> filecount *=number of digits";
inline constexpr const char SAddTextHelp[] =
    "<ymd> date(yy/mm/dd)\r\n<ymdhn> datetime (yy/mm/dd hh:nn)\r\n<ymdhns> datetime(yy/mm/dd hh:nn:ss)\r\n"
    "<yy> year\r\n<yyyy> year\r\n<mm> month\r\n<dd> day\r\n<hh> hour\r\n<nn> minute\r\n"
    "<ss> second\r\n<old> input filename(name+extension)\r\n<oldname> input filename\r\n"
    "<new> output filename(name+extension)\r\n<newname> output filename\r\n"
    "<n*> numbering *=number of digits\r\n<s*> *=numbering start value";

// Error messages.
inline constexpr const char SEvaluationError[] = "Error occurred in evaluation of the inputted parameter";
inline constexpr const char SRenameFailed[] = "Failed to rename file";
inline constexpr const char SCopyFailed[] = "Failed to copy file";
inline constexpr const char SLoadFailed[] = "Failed to load file";
inline constexpr const char SSetAttributesFailed[] = "Failed to set file attributes";
inline constexpr const char SExifDamaged[] = "There is possibility that Exif information is damaged";
inline constexpr const char SUnknownFormat[] = "Unknown format";
inline constexpr const char SPictureTooLarge[] = "picture too large";

// Every text above, for tools and tests that walk the whole vocabulary.
extern const std::array<const char*, 56> ResourceTexts;

// Translation of Text in the current interface language, or Text itself when
// the catalogue lacks it (or no catalogue is selected). Also used by the
// windows for their captions. Safe on any thread.
std::string LoadResText(const char* Text);

// Selects the interface language at run time: the catalogue
// ExeDir/locale/Code/LC_MESSAGES/default.mo (with the usual fall-back from
// "de_DE" to "de"). An empty code, "en" or a code without catalogue gives the
// English texts. Call on the GUI thread while no batch runs.
void SetInterfaceLanguage(const std::string& Code);

// Name of the catalogue folder under ExeDir/locale/ that matches Code (letter
// case ignored) and holds LC_MESSAGES/default.mo; empty when there is none.
std::string FindCatalogue(const std::string& Code);

#include "core/ResourceText.h"

#include "core/Global.h"
#include "platform/Intl.h"

#include <filesystem>
#include <system_error>

namespace {
constexpr const char kDomain[] = "default";

bool SameTextAscii(const std::string& A, const std::string& B)
{
    if (A.size() != B.size())
        return false;
    for (size_t i = 0; i < A.size(); ++i) {
        char a = A[i], b = B[i];
        if (a >= 'A' && a <= 'Z')
            a = static_cast<char>(a - 'A' + 'a');
        if (b >= 'A' && b <= 'Z')
            b = static_cast<char>(b - 'A' + 'a');
        if (a != b)
            return false;
    }
    return true;
}

// A code goes into an environment variable that the C library reads as a
// colon-separated list of names; anything but a plain locale name is refused.
bool IsPlainLanguageCode(const std::string& Code)
{
    if (Code.empty() || Code.size() > 64)
        return false;
    for (char c : Code) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
            c == '-' || c == '@' || c == '.';
        if (!ok)
            return false;
    }
    return Code != "." && Code != "..";
}
} // namespace

const std::array<const char*, 56> ResourceTexts = {
    SExifRotation,
    SResize,
    STrimming,
    SGrayscale,
    SRotation,
    SAddBlank,
    SUnsharpMask,
    SJPEGTran,
    SColorAdjust,
    SToneCurve,
    SDecreaseColor,
    SAddText,
    SComposite,
    SMMXInteger,
    SSSEFloat,
    SSSE2Integer,
    SAreaAverage,
    SLanczos,
    SBilinear,
    SBicubic,
    SBlackmanSinc,
    SSpline16,
    SSpline36,
    SGaussian,
    SNearestNeighbor,
    SScale,
    SWide,
    SNarrow,
    SWidth,
    SHeight,
    SDitherNone,
    SDitherGPeanos,
    SDitherFloydSteinberg,
    SDitherJarvis,
    SDitherAnime,
    SFreeSize,
    SInputControlPoint,
    SAddSelectMode,
    SInputAspectRatio,
    SError,
    SSettings,
    SSelectOutputFolder,
    SSelectFolderToAdd,
    SRemoveAllFiles,
    SRemoveNonJPEGFiles,
    SOverwriteShortCut,
    SFileNameFormatHelp,
    SAddTextHelp,
    SEvaluationError,
    SRenameFailed,
    SCopyFailed,
    SLoadFailed,
    SSetAttributesFailed,
    SExifDamaged,
    SUnknownFormat,
    SPictureTooLarge,
};

std::string LoadResText(const char* Text)
{
    // The empty key would fetch the catalogue's header.
    if (!Text || !*Text)
        return {};
    return platform::IntlTranslate(kDomain, Text);
}

void SetInterfaceLanguage(const std::string& Code)
{
    platform::IntlBindDomain(kDomain, Startup.ExeDir + "locale");
    platform::IntlSelectLanguage(IsPlainLanguageCode(Code) ? Code : std::string("en"));
}

std::string FindCatalogue(const std::string& Code)
{
    if (!IsPlainLanguageCode(Code))
        return {};
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path root = fs::path(Startup.ExeDir) / "locale";
    // The exact name first: the common case, and no listing needed.
    if (fs::is_regular_file(root / Code / "LC_MESSAGES" / "default.mo", ec))
        return Code;
    for (fs::directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (SameTextAscii(name, Code) && fs::is_regular_file(it->path() / "LC_MESSAGES" / "default.mo", ec))
            return name;
    }
    return {};
}

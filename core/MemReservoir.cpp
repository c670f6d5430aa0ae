#include "core/MemReservoir.h"

#include "core/Errors.h"
#include "core/Global.h"
#include "core/IniFile.h"
#include "core/ResourceText.h"
#include "platform/SysInfo.h"

#include <filesystem>
#include <system_error>

namespace {

std::string WithSlash(std::string Dir)
{
    if (Dir.empty() || Dir.back() != '/')
        Dir += '/';
    return Dir;
}

bool StartsWithNoCase(const std::string& S, const char* Prefix)
{
    size_t i = 0;
    for (; Prefix[i]; ++i) {
        if (i >= S.size())
            return false;
        char C = S[i];
        if (C >= 'A' && C <= 'Z')
            C = static_cast<char>(C - 'A' + 'a');
        if (C != Prefix[i])
            return false;
    }
    return true;
}

} // namespace

void InitStartupPaths()
{
    namespace fs = std::filesystem;
    std::error_code Error;
    const std::string Exe = platform::ExecutablePath();
    if (!Exe.empty())
        Startup.ExeDir = WithSlash(fs::path(Exe).parent_path().string());
    else
        Startup.ExeDir = WithSlash(fs::current_path(Error).string());

    const std::string Tmp = platform::GetEnv("TMPDIR");
    Startup.TempDir = (!Tmp.empty() && Tmp.front() == '/' && fs::is_directory(Tmp, Error)) ? WithSlash(Tmp) : "/tmp/";
}

bool IsProfileSwitch(const std::string& Arg)
{
    return StartsWithNoCase(Arg, "/ini=");
}

std::string GetSettingsFileName(const std::vector<std::string>& Args, std::vector<std::string>* Ignored)
{
    namespace fs = std::filesystem;
    const std::string IniDir = Startup.ExeDir + "ini/";
    std::string ExeName = fs::path(platform::ExecutablePath()).filename().string();
    if (ExeName.empty())
        ExeName = "vestro-resizer";
    std::string Name = IniDir + fs::path(ExeName).replace_extension(".ini").string();
    for (const std::string& Arg : Args) {
        if (!IsProfileSwitch(Arg))
            continue;
        // A profile is a file of the ini folder: "..", an absolute path or a
        // folder would read settings from anywhere, so such a switch is left
        // out of both reads (the early one here and the settings loader's).
        const std::string Rel = Arg.substr(5);
        const std::string Path = fs::path(IniDir + Rel).lexically_normal().string();
        if (Rel.empty() || Path.size() <= IniDir.size() || Path.compare(0, IniDir.size(), IniDir) != 0 ||
            Path.back() == '/') {
            if (Ignored)
                Ignored->push_back(Arg);
            continue;
        }
        Name = Path;
    }
    return Name;
}

void InitMemReservoir(const std::vector<std::string>& Args)
{
    try {
        const TMemIniFile ini(GetSettingsFileName(Args));
        Settings.System.MemReserve = ini.ReadBool("System", "MemReserve", false);
    } catch (const EVestroError&) {
        // The settings loader reports an unreadable file; here the defaults do.
        Settings.System.MemReserve = false;
    }
    Settings.System.Language = StartLanguage(Args);
}

std::string StartLanguage(const std::vector<std::string>& Args)
{
    std::string Language;
    try {
        Language = TMemIniFile(GetSettingsFileName(Args)).ReadString("System", "Language", "");
    } catch (const EVestroError&) {
        // Reported by the settings loader.
    }
    return Language.empty() ? GetDefaultLanguage() : Language;
}

uint64_t GetMaxFreeBlockSize()
{
    return platform::AvailableMemoryBytes();
}

std::string GetDefaultLanguage()
{
    std::string Locale;
    for (const char* Var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        Locale = platform::GetEnv(Var);
        if (!Locale.empty())
            break;
    }
    // language[_territory][.codeset][@modifier]: the catalogue folders are
    // named by language and territory only.
    Locale = Locale.substr(0, Locale.find_first_of(".@"));
    if (Locale.empty() || Locale == "C" || Locale == "POSIX")
        return "en";
    if (std::string Found = FindCatalogue(Locale); !Found.empty())
        return Found;
    if (const size_t Underscore = Locale.find('_'); Underscore != std::string::npos)
        if (std::string Found = FindCatalogue(Locale.substr(0, Underscore)); !Found.empty())
            return Found;
    return "en";
}

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
        char c = S[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != Prefix[i])
            return false;
    }
    return true;
}

} // namespace

void InitStartupPaths()
{
    namespace fs = std::filesystem;
    std::error_code ec;
    const std::string exe = platform::ExecutablePath();
    if (!exe.empty())
        ExeDir = WithSlash(fs::path(exe).parent_path().string());
    else
        ExeDir = WithSlash(fs::current_path(ec).string());

    const std::string tmp = platform::GetEnv("TMPDIR");
    TempDir = (!tmp.empty() && tmp.front() == '/' && fs::is_directory(tmp, ec)) ? WithSlash(tmp) : "/tmp/";
}

std::string GetSettingsFileName(const std::vector<std::string>& Args)
{
    const std::string iniDir = ExeDir + "ini/";
    std::string exeName = std::filesystem::path(platform::ExecutablePath()).filename().string();
    if (exeName.empty())
        exeName = "vestro-resizer";
    std::string name = iniDir + std::filesystem::path(exeName).replace_extension(".ini").string();
    for (const std::string& a : Args)
        if (StartsWithNoCase(a, "/ini="))
            name = iniDir + a.substr(5);
    return name;
}

void InitMemReservoir(const std::vector<std::string>& Args)
{
    std::string language;
    try {
        const TMemIniFile ini(GetSettingsFileName(Args));
        SystemOption.MemReserve = ini.ReadBool("System", "MemReserve", false);
        language = ini.ReadString("System", "Language", "");
    } catch (const EVestroError&) {
        // The settings loader reports an unreadable file; here the defaults do.
        SystemOption.MemReserve = false;
    }
    SystemOption.Language = language.empty() ? GetDefaultLanguage() : language;
}

uint64_t GetMaxFreeBlockSize()
{
    return platform::AvailableMemoryBytes();
}

std::string GetDefaultLanguage()
{
    std::string loc;
    for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        loc = platform::GetEnv(var);
        if (!loc.empty())
            break;
    }
    // language[_territory][.codeset][@modifier]: the catalogue folders are
    // named by language and territory only.
    loc = loc.substr(0, loc.find_first_of(".@"));
    if (loc.empty() || loc == "C" || loc == "POSIX")
        return "en";
    if (std::string found = FindCatalogue(loc); !found.empty())
        return found;
    if (const size_t us = loc.find('_'); us != std::string::npos)
        if (std::string found = FindCatalogue(loc.substr(0, us)); !found.empty())
            return found;
    return "en";
}

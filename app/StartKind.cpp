// What a start is, told from its command line, its environment and its
// profile alone: this part of the start-up needs neither the toolkit nor the
// program's lists, so that the program's front (which chooses the process that
// does the work) reads it too.
#include "app/Startup.h"

#include "core/ImageInfo.h"
#include "core/IniFile.h"
#include "core/MemReservoir.h"
#include "effects/AddTextEffect.h"

#include <cstdlib>
#include <filesystem>
#include <string_view>

namespace {

std::string_view Env(const char* Name)
{
    const char* v = std::getenv(Name);
    return v ? std::string_view(v) : std::string_view();
}

} // namespace

std::optional<bool> PathArgumentByForm(const std::string& Arg)
{
    if (Arg.empty())
        return false;
    if (Arg.front() != '/')
        return true;
    if (IsProfileSwitch(Arg))
        return false;
    std::error_code ec;
    if (std::filesystem::exists(Arg, ec) || Arg.find('/', 1) != std::string::npos)
        return true;
    return std::nullopt;
}

bool ProfileConvertsAtOnce(const std::string& IniFile)
{
    try {
        return TMemIniFile(IniFile).ReadBool("File", "AtOnce", false);
    } catch (const std::exception&) {
        return false;
    }
}

bool IsNonInteractive()
{
    return Env("QT_QPA_PLATFORM") == "offscreen" || Env("VESTRO_NONINTERACTIVE") == "1";
}

bool NoDisplay()
{
    return Env("QT_QPA_PLATFORM").empty() && Env("DISPLAY").empty() && Env("WAYLAND_DISPLAY").empty();
}

bool ConvertsWithoutWindowSystem(const std::vector<std::string>& Args, const std::string& IniFile)
{
    if (!IsNonInteractive())
        return false;
    bool anyPath = false;
    for (const std::string& A : Args) {
        const std::optional<bool> byForm = PathArgumentByForm(A);
        anyPath = anyPath || (byForm && *byForm);
    }
    if (!anyPath)
        return false;
    try {
        const TMemIniFile ini(IniFile);
        return ini.ReadBool("File", "AtOnce", false) && !ini.ReadBool(kAddTextSection, "Use", false);
    } catch (const std::exception&) {
        return false;
    }
}

std::vector<std::string> NamedFileLines(const std::vector<std::string>& Args,
                                        const std::function<bool(const std::string&)>& IsPath, const std::string& Why)
{
    std::vector<std::string> Lines;
    for (std::string Path : Args) {
        if (!IsPath(Path))
            continue;
        while (Path.size() > 1 && Path.back() == '/')
            Path.pop_back();
        Lines.push_back(ExtractFileName(Path) + ": " + Why);
    }
    return Lines;
}

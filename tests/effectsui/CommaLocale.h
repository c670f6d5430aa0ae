// A German numeric locale (a comma before the decimals) while the object
// lives: the system's, else one made with localedef into a folder of its own.
// Ok() says whether it is in force.
#pragma once
#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

class TCommaLocale {
public:
    TCommaLocale()
    {
        if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8"))
            return;
        std::filesystem::create_directories(Dir);
        const std::string Make = "localedef -i de_DE -f UTF-8 '" + Dir.string() + "/de_DE.UTF-8' >/dev/null 2>&1";
        if (std::system(Make.c_str()) == 0) {
            ::setenv("LOCPATH", Dir.c_str(), 1);
            std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
        }
    }
    ~TCommaLocale()
    {
        std::setlocale(LC_NUMERIC, Keep.c_str());
        HadPath ? ::setenv("LOCPATH", OldPath.c_str(), 1) : ::unsetenv("LOCPATH");
        std::filesystem::remove_all(Dir);
    }
    bool Ok() const { return std::localeconv()->decimal_point[0] == ','; }

private:
    const std::string Keep = std::setlocale(LC_NUMERIC, nullptr);
    const bool HadPath = std::getenv("LOCPATH") != nullptr;
    const std::string OldPath = HadPath ? std::getenv("LOCPATH") : "";
    const std::filesystem::path Dir =
        std::filesystem::temp_directory_path() / ("vestro-locale-" + std::to_string(::getpid()));
};

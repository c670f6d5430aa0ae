#include "platform/Intl.h"

#include <libintl.h>

#include <clocale>
#include <cstdlib>
#include <cstring>

namespace platform {

void IntlBindDomain(const char* Domain, const std::string& LocaleDir)
{
    bindtextdomain(Domain, LocaleDir.c_str());
    bind_textdomain_codeset(Domain, "UTF-8");
}

void IntlSelectLanguage(const std::string& Language)
{
    setenv("LANGUAGE", Language.c_str(), 1);
    // The user's message locale; "C" (or a locale that is not installed, which
    // leaves "C") would make the C library ignore LANGUAGE, so take C.UTF-8,
    // which every glibc system has.
    const char* cur = std::setlocale(LC_MESSAGES, "");
    if (!cur || std::strcmp(cur, "C") == 0 || std::strcmp(cur, "POSIX") == 0)
        std::setlocale(LC_MESSAGES, "C.UTF-8");
    // Cached translations must be dropped. glibc's setlocale already does so;
    // setting the domain again does it too, also when the locale did not change.
    if (const char* dom = textdomain(nullptr))
        textdomain(std::string(dom).c_str());
}

std::string IntlTranslate(const char* Domain, const char* MsgId)
{
    return dgettext(Domain, MsgId);
}

} // namespace platform

#include "platform/LocaleFormat.h"

#include <langinfo.h>

namespace platform {

// The text between the first two conversions of a strftime format, e.g. "%d.%m.%Y" -> ".".
static std::string FirstSeparator(const char* Fmt, const char* Default)
{
    if (!Fmt)
        return Default;
    std::string F(Fmt);
    size_t P = F.find('%');
    if (P == std::string::npos || P + 2 > F.size())
        return Default;
    size_t Start = P + 2;
    // Skip modifiers such as %Ey or %-d.
    if (F[P + 1] == 'E' || F[P + 1] == 'O' || F[P + 1] == '-' || F[P + 1] == '_')
        ++Start;
    size_t End = F.find('%', Start);
    if (End == std::string::npos || End == Start)
        return Default;
    return F.substr(Start, End - Start);
}

std::string DateSeparator()
{
    return FirstSeparator(nl_langinfo(D_FMT), "/");
}

std::string TimeSeparator()
{
    return FirstSeparator(nl_langinfo(T_FMT), ":");
}

} // namespace platform

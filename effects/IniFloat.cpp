#include "effects/IniFloat.h"

#include "core/IniFile.h"

#include <charconv>
#include <cmath>
#include <string>

double ReadIniFloat(const TMemIniFile& Ini, std::string_view Section, std::string_view Ident, double Default)
{
    std::string s = Ini.ReadString(Section, Ident, "");
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!s.empty() && blank(s.back()))
        s.pop_back();
    size_t b = 0;
    while (b < s.size() && blank(s[b]))
        ++b;
    s.erase(0, b);
    if (s.find(',') != std::string::npos && s.find('.') == std::string::npos)
        s[s.find(',')] = '.';
    const char* first = s.data();
    if (!s.empty() && s[0] == '+')
        ++first; // from_chars takes no plus sign
    double v = 0;
    const auto [end, ec] = std::from_chars(first, s.data() + s.size(), v);
    if (s.empty() || ec != std::errc() || end != s.data() + s.size() || !std::isfinite(v))
        return Default;
    return v;
}

std::string IniFloatText(double Value)
{
    char buf[64];
    // Whole numbers up to 2^53 (every integer a double holds exactly) in
    // fixed form: the shortest form would write 1000000 as 1e+06.
    const bool whole = std::isfinite(Value) && std::fabs(Value) <= 9007199254740992.0 && Value == std::trunc(Value);
    const auto [end, ec] = whole ? std::to_chars(buf, buf + sizeof buf, Value, std::chars_format::fixed)
                                 : std::to_chars(buf, buf + sizeof buf, Value);
    return ec == std::errc() ? std::string(buf, size_t(end - buf)) : "0";
}

void WriteIniFloat(TMemIniFile& Ini, std::string_view Section, std::string_view Ident, double Value)
{
    Ini.WriteString(Section, Ident, IniFloatText(Value));
}

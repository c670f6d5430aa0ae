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

void WriteIniFloat(TMemIniFile& Ini, std::string_view Section, std::string_view Ident, double Value)
{
    char buf[64];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, Value);
    Ini.WriteString(Section, Ident, ec == std::errc() ? std::string_view(buf, size_t(end - buf)) : "0");
}

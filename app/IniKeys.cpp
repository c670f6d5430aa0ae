#include "app/IniKeys.h"

#include "core/IniFile.h"

#include <algorithm>

TIniValue CorrectIniValue(const TIniKey& K, TIniValue V)
{
    const TIniFix& f = K.Fix;
    if (auto* i = std::get_if<int32_t>(&V)) {
        if (f.Kind == TIniFix::Clamp)
            *i = std::clamp(*i, f.Lo, f.Hi);
        else if (f.Kind == TIniFix::Fallback && (*i < f.Lo || *i > f.Hi))
            *i = std::get<int32_t>(K.Default());
        if (f.IntRule)
            *i = f.IntRule(*i);
    } else if (f.TextRule) {
        V = f.TextRule(std::get<std::string>(std::move(V)));
    }
    return V;
}

void ReadIniKey(const TMemIniFile& Ini, const TIniKey& K)
{
    if (!K.Section || K.Use == TIniUse::WriteOnly)
        return;
    TIniValue v = K.Default();
    switch (K.Type) {
    case TIniType::Bool:
        v = int32_t(Ini.ReadBool(K.Section, K.Key, std::get<int32_t>(v) != 0));
        break;
    case TIniType::Int:
        v = Ini.ReadInteger(K.Section, K.Key, std::get<int32_t>(v));
        break;
    case TIniType::Text:
        v = Ini.ReadString(K.Section, K.Key, std::get<std::string>(v));
        break;
    }
    K.Set(CorrectIniValue(K, std::move(v)));
}

void WriteIniKey(TMemIniFile& Ini, const TIniKey& K)
{
    if (!K.Section || K.Use == TIniUse::ReadOnly)
        return;
    const TIniValue v = K.Get();
    switch (K.Type) {
    case TIniType::Bool:
        Ini.WriteBool(K.Section, K.Key, std::get<int32_t>(v) != 0);
        break;
    case TIniType::Int:
        Ini.WriteInteger(K.Section, K.Key, std::get<int32_t>(v));
        break;
    case TIniType::Text:
        Ini.WriteString(K.Section, K.Key, std::get<std::string>(v));
        break;
    }
}

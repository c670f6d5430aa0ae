// Keys of the settings file as table rows: each row names its section and key,
// the field it fills, its default, the correction made on loading and which
// side uses it. The settings loader and writer walk the rows (IniSettings.cpp
// holds the table); nothing else spells a key.
//
// A row reaches its field through captureless accessors made by the builders
// below, so the table can be a plain list. Booleans are held as 0 / 1 and
// written "1" / "0"; unsigned and 16-bit fields travel as 32-bit integers, as
// the file stores them.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <type_traits>
#include <variant>

class TMemIniFile;

// A value as the file holds it.
using TIniValue = std::variant<int32_t, std::string>;

enum class TIniType : uint8_t { Bool, Int, Text };

// Which side uses a key. A few keys are read but never written ([Preview]
// ResizeMode), or written here and read only at process start ([System]
// Language).
enum class TIniUse : uint8_t { ReadWrite, ReadOnly, WriteOnly };

// Correction on loading. An integer outside Lo..Hi is taken to the nearest
// bound (Clamp) or replaced by the key's default (Fallback); IntRule, then,
// applies what depends on the machine (processor count, SSE2, work area, a
// tool's presence). TextRule corrects a text value. Values no dialog could
// have stored are the ones corrected.
struct TIniFix {
    enum TKind : uint8_t { None, Clamp, Fallback };
    TKind Kind = None;
    int32_t Lo = 0, Hi = 0;
    int32_t (*IntRule)(int32_t) = nullptr;
    std::string (*TextRule)(std::string) = nullptr;
};

inline TIniFix Clamp(int32_t Lo, int32_t Hi)
{
    return {TIniFix::Clamp, Lo, Hi, nullptr, nullptr};
}
inline TIniFix Fallback(int32_t Lo, int32_t Hi, int32_t (*Rule)(int32_t) = nullptr)
{
    return {TIniFix::Fallback, Lo, Hi, Rule, nullptr};
}
inline TIniFix IntRule(int32_t (*Rule)(int32_t))
{
    return {TIniFix::None, 0, 0, Rule, nullptr};
}
inline TIniFix TextRule(std::string (*Rule)(std::string))
{
    return {TIniFix::None, 0, 0, nullptr, Rule};
}

struct TIniKey {
    const char* Section = nullptr; // null: the row where the effects' own sections are written
    const char* Key = nullptr;
    TIniType Type = TIniType::Int;
    TIniValue (*Get)() = nullptr;
    void (*Set)(const TIniValue&) = nullptr;
    TIniValue (*Default)() = nullptr;
    TIniFix Fix;
    TIniUse Use = TIniUse::ReadWrite;
};

// V after the row's correction (what the loader stores for a file value V).
TIniValue CorrectIniValue(const TIniKey& K, TIniValue V);
// Reads the row's key (its default when absent or not a number), corrects
// it and stores it in the field. Rows that are not read are left alone.
void ReadIniKey(const TMemIniFile& Ini, const TIniKey& K);
// Writes the field under the row's key (rows that are not written: nothing).
void WriteIniKey(TMemIniFile& Ini, const TIniKey& K);

// ------------------------------------------------------------------ builders

namespace ini_detail {

template <class F> constexpr TIniType TypeOf()
{
    if constexpr (std::is_same_v<F, bool>)
        return TIniType::Bool;
    else if constexpr (std::is_integral_v<F>)
        return TIniType::Int;
    else
        return TIniType::Text;
}

template <class F> TIniValue ToValue(const F& V)
{
    if constexpr (std::is_same_v<F, std::string>)
        return V;
    else
        return static_cast<int32_t>(V);
}

template <class F> void FromValue(F& Field, const TIniValue& V)
{
    if constexpr (std::is_same_v<F, std::string>)
        Field = std::get<std::string>(V);
    else if constexpr (std::is_same_v<F, bool>)
        Field = std::get<int32_t>(V) != 0;
    else
        Field = static_cast<F>(std::get<int32_t>(V));
}

template <class C, auto M> using FieldOf = std::remove_cvref_t<decltype(std::declval<C&>().*M)>;

template <class F> TIniKey KeyOf(const char* Section, const char* Key, TIniFix Fix, TIniUse Use = TIniUse::ReadWrite)
{
    TIniKey k;
    k.Section = Section;
    k.Key = Key;
    k.Type = TypeOf<F>();
    k.Fix = Fix;
    k.Use = Use;
    return k;
}

} // namespace ini_detail

// A field of the process-wide record Rec (member M; Rec is the one record of
// its type). Its default is the field's value in a fresh record unless
// Default says otherwise (defaults known only at run time: folders, the
// processor count).
template <auto M, class C>
TIniKey Bind(C& Rec, const char* Section, const char* Key, TIniFix Fix = {}, TIniUse Use = TIniUse::ReadWrite,
             TIniValue (*Default)() = nullptr)
{
    using F = ini_detail::FieldOf<C, M>;
    static C* Record = &Rec;
    TIniKey k = ini_detail::KeyOf<F>(Section, Key, Fix, Use);
    k.Get = [] { return ini_detail::ToValue<F>(Record->*M); };
    k.Set = [](const TIniValue& V) { ini_detail::FromValue<F>(Record->*M, V); };
    k.Default = Default ? Default : +[] {
        static const C fresh{};
        return ini_detail::ToValue<F>(fresh.*M);
    };
    return k;
}

// Item I of an array field of Rec; the default as in Bind.
template <auto M, size_t I, class C> TIniKey BindItem(C& Rec, const char* Section, const char* Key, TIniFix Fix = {})
{
    using F = typename ini_detail::FieldOf<C, M>::value_type;
    static C* Record = &Rec;
    TIniKey k = ini_detail::KeyOf<F>(Section, Key, Fix);
    k.Get = [] { return ini_detail::ToValue<F>((Record->*M)[I]); };
    k.Set = [](const TIniValue& V) { ini_detail::FromValue<F>((Record->*M)[I], V); };
    k.Default = [] {
        static const C fresh{};
        return ini_detail::ToValue<F>((fresh.*M)[I]);
    };
    return k;
}

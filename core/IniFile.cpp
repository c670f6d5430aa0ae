#include "core/IniFile.h"

#include "core/Errors.h"
#include "core/Funcs.h"
#include "core/ResourceText.h"
#include "core/SafeWrite.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <utility>

namespace {

constexpr uint64_t kMaxFileSize = 64ull << 20;

char LowerAscii(char C)
{
    return (C >= 'A' && C <= 'Z') ? static_cast<char>(C - 'A' + 'a') : C;
}

std::string LowerName(std::string_view S)
{
    std::string r(S);
    for (char& c : r)
        c = LowerAscii(c);
    return r;
}

bool SameName(std::string_view A, std::string_view B)
{
    if (A.size() != B.size())
        return false;
    for (size_t i = 0; i < A.size(); ++i)
        if (LowerAscii(A[i]) != LowerAscii(B[i]))
            return false;
    return true;
}

bool IsBlank(char C)
{
    return C == ' ' || C == '\t';
}

std::string_view Trim(std::string_view S)
{
    while (!S.empty() && IsBlank(S.front()))
        S.remove_prefix(1);
    while (!S.empty() && IsBlank(S.back()))
        S.remove_suffix(1);
    return S;
}

// A line break inside a name or value would start a new line in the file.
std::string OneLine(std::string_view S)
{
    std::string r(S);
    for (char& c : r)
        if (c == '\r' || c == '\n')
            c = ' ';
    return r;
}

void AppendUtf8(std::string& Out, uint32_t Cp)
{
    if (Cp < 0x80) {
        Out += static_cast<char>(Cp);
    } else if (Cp < 0x800) {
        Out += static_cast<char>(0xC0 | (Cp >> 6));
        Out += static_cast<char>(0x80 | (Cp & 0x3F));
    } else if (Cp < 0x10000) {
        Out += static_cast<char>(0xE0 | (Cp >> 12));
        Out += static_cast<char>(0x80 | ((Cp >> 6) & 0x3F));
        Out += static_cast<char>(0x80 | (Cp & 0x3F));
    } else {
        Out += static_cast<char>(0xF0 | (Cp >> 18));
        Out += static_cast<char>(0x80 | ((Cp >> 12) & 0x3F));
        Out += static_cast<char>(0x80 | ((Cp >> 6) & 0x3F));
        Out += static_cast<char>(0x80 | (Cp & 0x3F));
    }
}

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD, an odd last byte is
// dropped.
std::string Utf16ToUtf8(const unsigned char* P, size_t Size, bool BigEndian)
{
    std::string out;
    out.reserve(Size / 2);
    const size_t n = Size / 2;
    auto unit = [&](size_t i) -> uint32_t {
        const uint32_t a = P[2 * i], b = P[2 * i + 1];
        return BigEndian ? (a << 8 | b) : (b << 8 | a);
    };
    for (size_t i = 0; i < n; ++i) {
        uint32_t u = unit(i);
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < n) {
            const uint32_t lo = unit(i + 1);
            if (lo >= 0xDC00 && lo <= 0xDFFF) {
                AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00));
                ++i;
                continue;
            }
        }
        if (u >= 0xD800 && u <= 0xDFFF)
            u = 0xFFFD;
        AppendUtf8(out, u);
    }
    return out;
}

// Decodes one UTF-8 sequence at S[I]; returns its length, 0 when malformed
// (overlong forms, surrogates and values above U+10FFFF included).
size_t DecodeUtf8(std::string_view S, size_t I, uint32_t& Cp)
{
    const auto b = [&](size_t k) { return static_cast<unsigned char>(S[k]); };
    const unsigned char c = b(I);
    size_t len;
    uint32_t min;
    if (c < 0x80) {
        Cp = c;
        return 1;
    } else if ((c & 0xE0) == 0xC0) {
        len = 2, Cp = c & 0x1F, min = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
        len = 3, Cp = c & 0x0F, min = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
        len = 4, Cp = c & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (I + len > S.size())
        return 0;
    for (size_t k = 1; k < len; ++k) {
        if ((b(I + k) & 0xC0) != 0x80)
            return 0;
        Cp = Cp << 6 | (b(I + k) & 0x3F);
    }
    if (Cp < min || Cp > 0x10FFFF || (Cp >= 0xD800 && Cp <= 0xDFFF))
        return 0;
    return len;
}

bool IsValidUtf8(std::string_view S)
{
    uint32_t cp;
    for (size_t i = 0; i < S.size();) {
        const size_t len = DecodeUtf8(S, i, cp);
        if (!len)
            return false;
        i += len;
    }
    return true;
}

std::string Latin1ToUtf8(std::string_view S)
{
    std::string out;
    out.reserve(S.size());
    for (char c : S)
        AppendUtf8(out, static_cast<unsigned char>(c));
    return out;
}

// UTF-8 to UTF-16LE bytes; a malformed byte becomes U+FFFD.
std::string Utf8ToUtf16Le(std::string_view S)
{
    std::string out;
    out.reserve(S.size() * 2);
    auto put = [&](uint32_t u) {
        out += static_cast<char>(u & 0xFF);
        out += static_cast<char>(u >> 8);
    };
    for (size_t i = 0; i < S.size();) {
        uint32_t cp;
        size_t len = DecodeUtf8(S, i, cp);
        if (!len) {
            cp = 0xFFFD;
            len = 1;
        }
        i += len;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            put(0xD800 + (cp >> 10));
            put(0xDC00 + (cp & 0x3FF));
        } else {
            put(cp);
        }
    }
    return out;
}

// The file's bytes as UTF-8 text, by its byte-order mark.
std::string DecodeFile(const std::string& Bytes)
{
    const auto* p = reinterpret_cast<const unsigned char*>(Bytes.data());
    const size_t n = Bytes.size();
    if (n >= 2 && p[0] == 0xFF && p[1] == 0xFE)
        return Utf16ToUtf8(p + 2, n - 2, false);
    if (n >= 2 && p[0] == 0xFE && p[1] == 0xFF)
        return Utf16ToUtf8(p + 2, n - 2, true);
    if (n >= 3 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF)
        return Bytes.substr(3);
    // Without a mark: UTF-16LE text still shows itself by the zero high byte
    // of its first ASCII character, which UTF-8 text never contains.
    if (n >= 2 && p[0] != 0 && p[1] == 0)
        return Utf16ToUtf8(p, n, false);
    if (IsValidUtf8(Bytes))
        return Bytes;
    return Latin1ToUtf8(Bytes);
}

} // namespace

TMemIniFile::TMemIniFile(std::string FileName) : FFileName(std::move(FileName))
{
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::file_status st = fs::status(FFileName, ec);
    if (ec || st.type() == fs::file_type::not_found)
        return; // no file (or no folder) yet: an empty settings file
    if (st.type() != fs::file_type::regular)
        throw EVestroError(LoadResText("cannot read") + " " + FFileName + ": " + LoadResText("Not a regular file"));
    const uint64_t size = fs::file_size(FFileName, ec);
    if (ec)
        throw EVestroError(LoadResText("cannot read") + " " + FFileName + ": " + ec.message());
    if (size > kMaxFileSize)
        throw EVestroError(LoadResText("cannot read") + " " + FFileName + ": " + LoadResText("file too large"));
    std::ifstream in(FFileName, std::ios::binary);
    std::string bytes(static_cast<size_t>(size), '\0');
    if (!in || !in.read(bytes.data(), static_cast<std::streamsize>(bytes.size())))
        throw EVestroError(LoadResText("cannot read") + " " + FFileName + ": " + std::strerror(errno));
    Parse(DecodeFile(bytes));
}

void TMemIniFile::Parse(const std::string& Text)
{
    // Room for the sections at once: growing the index step by step
    // rehashes it over and over in a file of many sections. Lines that begin
    // with "[" are counted; the count is capped, since a hostile file may
    // repeat one section millions of times.
    size_t headers = 1;
    for (size_t at = Text.find("\n["); at != std::string::npos && headers < (1u << 20); at = Text.find("\n[", at + 2))
        ++headers;
    FSections.reserve(headers);
    FSectionIndex.reserve(headers);
    TSection* cur = nullptr;
    size_t pos = 0;
    while (pos < Text.size()) {
        size_t end = Text.find_first_of("\r\n", pos);
        if (end == std::string::npos)
            end = Text.size();
        const std::string_view raw(Text.data() + pos, end - pos);
        pos = end;
        if (pos < Text.size() && Text[pos] == '\r')
            ++pos;
        if (pos < Text.size() && Text[pos] == '\n')
            ++pos;

        const std::string_view line = Trim(raw);
        if (line.empty())
            continue; // blank lines are laid out anew on writing
        if (line.front() == '[' && line.back() == ']') {
            const std::string_view name = Trim(line.substr(1, line.size() - 2));
            // A repeated section merges into the first.
            const auto [it, added] = FSectionIndex.try_emplace(LowerName(name), FSections.size());
            if (added)
                FSections.push_back(TSection{std::string(name), {}});
            cur = &FSections[it->second];
            continue;
        }
        const size_t eq = line.front() == ';' ? std::string_view::npos : raw.find('=');
        TEntry e;
        if (eq != std::string_view::npos && !Trim(raw.substr(0, eq)).empty()) {
            e.Key = std::string(Trim(raw.substr(0, eq)));
            e.Value = std::string(raw.substr(eq + 1));
        } else {
            e.Value = std::string(line); // a comment or a line we cannot use: kept as it is
        }
        if (cur)
            cur->Entries.push_back(std::move(e));
        else
            FPreamble.push_back(e.Key.empty() ? e.Value : std::string(raw));
    }
}

const TMemIniFile::TSection* TMemIniFile::FindSection(std::string_view Name) const
{
    const auto it = FSectionIndex.find(LowerName(Name));
    return it == FSectionIndex.end() ? nullptr : &FSections[it->second];
}

TMemIniFile::TSection& TMemIniFile::AddSection(std::string Name)
{
    FSectionIndex.emplace(LowerName(Name), FSections.size());
    return FSections.emplace_back(TSection{std::move(Name), {}});
}

TMemIniFile::TSection* TMemIniFile::FindSection(std::string_view Name)
{
    return const_cast<TSection*>(std::as_const(*this).FindSection(Name));
}

const TMemIniFile::TEntry* TMemIniFile::FindEntry(std::string_view Section, std::string_view Ident) const
{
    if (const TSection* s = FindSection(Section))
        for (const TEntry& e : s->Entries)
            if (!e.Key.empty() && SameName(e.Key, Ident))
                return &e;
    return nullptr;
}

std::string TMemIniFile::ReadString(std::string_view Section, std::string_view Ident, std::string_view Default) const
{
    const TEntry* e = FindEntry(Section, Ident);
    return e ? e->Value : std::string(Default);
}

int32_t TMemIniFile::ReadInteger(std::string_view Section, std::string_view Ident, int32_t Default) const
{
    const TEntry* e = FindEntry(Section, Ident);
    int32_t v;
    if (e && TryStrToInt(Trim(e->Value), v))
        return v;
    return Default;
}

bool TMemIniFile::ReadBool(std::string_view Section, std::string_view Ident, bool Default) const
{
    return ReadInteger(Section, Ident, Default ? 1 : 0) != 0;
}

void TMemIniFile::WriteString(std::string_view Section, std::string_view Ident, std::string_view Value)
{
    const std::string key = OneLine(Trim(Ident));
    if (key.empty())
        return;
    TSection* s = FindSection(Section);
    if (!s)
        s = &AddSection(OneLine(Trim(Section)));
    for (TEntry& e : s->Entries)
        if (!e.Key.empty() && SameName(e.Key, key)) {
            e.Value = OneLine(Value);
            return;
        }
    s->Entries.push_back(TEntry{key, OneLine(Value)});
}

void TMemIniFile::WriteInteger(std::string_view Section, std::string_view Ident, int32_t Value)
{
    WriteString(Section, Ident, std::to_string(Value));
}

void TMemIniFile::WriteBool(std::string_view Section, std::string_view Ident, bool Value)
{
    WriteString(Section, Ident, Value ? "1" : "0");
}

void TMemIniFile::DeleteKey(std::string_view Section, std::string_view Ident)
{
    if (TSection* s = FindSection(Section))
        std::erase_if(s->Entries, [&](const TEntry& e) { return !e.Key.empty() && SameName(e.Key, Ident); });
}

bool TMemIniFile::SectionExists(std::string_view Section) const
{
    return FindSection(Section) != nullptr;
}

bool TMemIniFile::ValueExists(std::string_view Section, std::string_view Ident) const
{
    return FindEntry(Section, Ident) != nullptr;
}

std::vector<std::string> TMemIniFile::ReadSection(std::string_view Section) const
{
    std::vector<std::string> keys;
    if (const TSection* s = FindSection(Section))
        for (const TEntry& e : s->Entries)
            if (!e.Key.empty())
                keys.push_back(e.Key);
    return keys;
}

std::string TMemIniFile::GetText() const
{
    std::string t;
    for (const std::string& l : FPreamble)
        t += l + "\r\n";
    if (!FPreamble.empty())
        t += "\r\n";
    for (const TSection& s : FSections) {
        t += "[" + s.Name + "]\r\n";
        for (const TEntry& e : s.Entries)
            t += e.Key.empty() ? e.Value + "\r\n" : e.Key + "=" + e.Value + "\r\n";
        t += "\r\n";
    }
    return t;
}

void TMemIniFile::UpdateFile() const
{
    const std::string bytes = "\xFF\xFE" + Utf8ToUtf16Le(GetText());
    // The reader's limit holds for what is written: a file that the next
    // start would refuse is not written at all.
    if (bytes.size() > kMaxFileSize)
        throw EIniFileTooLarge(LoadResText("cannot write") + " " + FFileName + ": " + LoadResText("file too large") +
                               " (" + std::to_string((bytes.size() + (1u << 20) - 1) >> 20) + " MiB > " +
                               std::to_string(kMaxFileSize >> 20) + " MiB)");
    // Flushed to disk before the rename: a settings file must survive a crash.
    errno = 0;
    if (!WriteFileAtomically(FFileName, bytes.data(), bytes.size(), true))
        throw EVestroError(LoadResText("cannot write") + " " + FFileName +
                           (errno ? std::string(": ") + std::strerror(errno) : ""));
}

#include "core/Funcs.h"

#include "core/Errors.h"
#include "core/ResourceText.h"

#include <charconv>
#include <clocale>
#include <cmath>
#include <cstring>
#include <vector>

bool IsValidSizeExpression(std::string& Text)
{
    std::erase(Text, ' ');
    for (char c : Text) {
        const bool ok = (c >= '0' && c <= '9') || std::strchr("()*+-./HWhw", c) != nullptr;
        if (!ok || c == '\0')
            return false;
    }
    return true;
}

std::string SubstituteWidthHeight(std::string_view Text, int64_t Width, int64_t Height)
{
    const std::string w = std::to_string(Width), h = std::to_string(Height);
    std::string out;
    out.reserve(Text.size() + 16);
    // The width's digits hold no letter, so one pass does both replacements
    // exactly as two passes in sequence would.
    for (char c : Text) {
        if (c == 'w' || c == 'W')
            out += w;
        else if (c == 'h' || c == 'H')
            out += h;
        else
            out += c;
    }
    return out;
}

char LocaleDecimalSeparator()
{
    const std::lconv* lc = std::localeconv();
    return (lc && lc->decimal_point && lc->decimal_point[0] && !lc->decimal_point[1]) ? lc->decimal_point[0] : '.';
}

namespace {

struct TEvalError { };

// Recursive descent over one shared read position. Every rule works on
// doubles and checks each result: no floating-point trap is relied upon.
class TExpressionReader {
public:
    TExpressionReader(std::string_view Text, char Separator) : FText(Text), FSep(Separator)
    {
        if ((FSep >= '0' && FSep <= '9') || FSep == '\0' || std::strchr("()*+-/;", FSep))
            FSep = '.';
    }

    double Sum()
    {
        bool negate = false;
        if (Peek() == '-' || Peek() == '+')
            negate = Next() == '-';
        double v = Term();
        if (negate)
            v = -v;
        while (Peek() == '+' || Peek() == '-') {
            const char op = Next();
            const double r = Term();
            v = Checked(op == '+' ? v + r : v - r);
        }
        return v;
    }

    char Peek() const { return FPos < FText.size() ? FText[FPos] : '\0'; }
    bool AtEnd() const { return FPos == FText.size(); }

private:
    double Term()
    {
        double v = Factor();
        while (Peek() == '*' || Peek() == '/') {
            const char op = Next();
            const double r = Factor();
            if (op == '/' && r == 0.0)
                throw TEvalError{};
            v = Checked(op == '*' ? v * r : v / r);
        }
        return v;
    }

    double Factor()
    {
        if (Peek() != '(')
            return Number();
        // Stored texts come from settings files: bound the recursion.
        if (++FDepth > kMaxExpressionDepth)
            throw TEvalError{};
        ++FPos;
        const double v = Sum();
        if (Peek() != ')')
            throw TEvalError{};
        ++FPos;
        --FDepth;
        return v;
    }

    // Digits with at most one separator, "." in every locale and also the
    // locale's own separator, so that a stored "1.5" survives a change of
    // locale and a fraction can be typed everywhere.
    double Number()
    {
        std::string run;
        while (FPos < FText.size()) {
            const char c = FText[FPos];
            if (c >= '0' && c <= '9')
                run += c;
            else if (c == '.' || c == FSep)
                run += '.';
            else
                break;
            ++FPos;
        }
        if (run.empty() || run == ".")
            throw TEvalError{};
        double v = 0;
        const auto [end, ec] = std::from_chars(run.data(), run.data() + run.size(), v, std::chars_format::fixed);
        if (ec != std::errc() || end != run.data() + run.size())
            throw TEvalError{};
        return Checked(v);
    }

    char Next() { return FText[FPos++]; }

    static double Checked(double V)
    {
        if (!std::isfinite(V))
            throw TEvalError{};
        return V;
    }

    std::string_view FText;
    char FSep;
    size_t FPos = 0;
    int FDepth = 0;
};

} // namespace

double EvaluateExpression(std::string_view Text)
{
    return EvaluateExpression(Text, LocaleDecimalSeparator());
}

double EvaluateExpression(std::string_view Text, char DecimalSeparator)
{
    // The end mark: whatever follows a ";" is not read.
    const std::string_view text = Text.substr(0, Text.find(';'));
    TExpressionReader reader(text, DecimalSeparator);
    double v;
    try {
        v = reader.Sum();
    } catch (const TEvalError&) {
        throw EVestroError(LoadResText(SEvaluationError));
    }
    if (!reader.AtEnd())
        throw EVestroError(LoadResText(SEvaluationError));
    return v < 0 ? 0.0 : v;
}

bool TryStrToInt(std::string_view S, int32_t& Value)
{
    bool neg = false;
    if (!S.empty() && (S.front() == '-' || S.front() == '+')) {
        neg = S.front() == '-';
        S.remove_prefix(1);
    }
    int base = 10;
    if (!S.empty() && S.front() == '$') {
        base = 16;
        S.remove_prefix(1);
    } else if (S.size() >= 2 && S[0] == '0' && (S[1] == 'x' || S[1] == 'X')) {
        base = 16;
        S.remove_prefix(2);
    }
    if (S.empty())
        return false;
    int64_t v = 0;
    if (base == 16) {
        uint64_t u = 0;
        const auto [end, ec] = std::from_chars(S.data(), S.data() + S.size(), u, 16);
        if (ec != std::errc() || end != S.data() + S.size() || u > 0xFFFFFFFFull)
            return false;
        v = static_cast<int32_t>(static_cast<uint32_t>(u));
        v = neg ? -v : v;
        if (v > INT32_MAX || v < INT32_MIN)
            return false;
    } else {
        // from_chars takes no sign of its own beyond "-": the digits alone.
        if (S.front() < '0' || S.front() > '9')
            return false;
        uint64_t u = 0;
        const auto [end, ec] = std::from_chars(S.data(), S.data() + S.size(), u, 10);
        if (ec != std::errc() || end != S.data() + S.size())
            return false;
        if (neg ? u > 0x80000000ull : u > 0x7FFFFFFFull)
            return false;
        v = neg ? -static_cast<int64_t>(u) : static_cast<int64_t>(u);
    }
    Value = static_cast<int32_t>(v);
    return true;
}

void ParseRatioPair(std::string_view Text, int32_t& A, int32_t& B)
{
    // Delimited-list reading as the settings texts use it: blanks (any control
    // character or space) separate items like the delimiter, quoted items may
    // hold either, and a delimiter at the very end adds an empty item.
    constexpr char kDelim = ':', kQuote = '"';
    const auto isBlank = [](char c) { return c != '\0' && static_cast<unsigned char>(c) <= ' '; };
    std::vector<std::string> items;
    size_t p = 0;
    const size_t n = Text.size();
    while (p < n && isBlank(Text[p]))
        ++p;
    while (p < n && Text[p] != '\0') {
        std::string item;
        if (Text[p] == kQuote) {
            ++p;
            while (p < n) {
                if (Text[p] == kQuote) {
                    if (p + 1 < n && Text[p + 1] == kQuote) {
                        item += kQuote;
                        p += 2;
                        continue;
                    }
                    ++p;
                    break;
                }
                item += Text[p++];
            }
        } else {
            while (p < n && Text[p] != '\0' && !isBlank(Text[p]) && Text[p] != kDelim)
                item += Text[p++];
        }
        items.push_back(std::move(item));
        while (p < n && isBlank(Text[p]))
            ++p;
        if (p < n && Text[p] == kDelim) {
            if (p + 1 >= n)
                items.emplace_back();
            do
                ++p;
            while (p < n && isBlank(Text[p]));
        }
    }
    A = B = 0;
    if (items.size() != 2)
        return;
    if (!TryStrToInt(items[0], A))
        A = 0;
    if (!TryStrToInt(items[1], B))
        B = 0;
}

void FillPixels24(void* Dest, int64_t Count, uint32_t Color)
{
    auto* d = static_cast<uint8_t*>(Dest);
    const uint8_t b0 = Color & 0xFF, b1 = (Color >> 8) & 0xFF, b2 = (Color >> 16) & 0xFF;
    for (int64_t i = 0; i < Count; ++i, d += 3) {
        d[0] = b0;
        d[1] = b1;
        d[2] = b2;
    }
}

void FillPixels32(void* Dest, int64_t Count, uint32_t Value)
{
    auto* d = static_cast<uint8_t*>(Dest);
    for (int64_t i = 0; i < Count; ++i, d += 4)
        std::memcpy(d, &Value, 4);
}

std::vector<std::string> SplitCommaText(const std::string& Text)
{
    std::vector<std::string> out;
    size_t i = 0;
    const size_t n = Text.size();
    while (i < n) {
        std::string item;
        if (Text[i] == '"') {
            for (++i; i < n; ++i) {
                if (Text[i] == '"') {
                    if (i + 1 < n && Text[i + 1] == '"') {
                        item += '"';
                        ++i;
                        continue;
                    }
                    ++i;
                    break;
                }
                item += Text[i];
            }
            while (i < n && Text[i] != ',')
                ++i;
        } else {
            const size_t end = Text.find(',', i);
            item = Text.substr(i, end == std::string::npos ? std::string::npos : end - i);
            i = end == std::string::npos ? n : end;
        }
        out.push_back(item);
        if (i < n)
            ++i; // the comma
    }
    if (!Text.empty() && Text.back() == ',')
        out.emplace_back(); // an empty last item
    return out;
}

std::string JoinCommaText(const std::vector<std::string>& Items)
{
    std::string out;
    for (size_t i = 0; i < Items.size(); ++i) {
        if (i)
            out += ',';
        const std::string& s = Items[i];
        if (s.find_first_of(", \"") == std::string::npos) {
            out += s;
            continue;
        }
        out += '"';
        for (char c : s) {
            if (c == '"')
                out += '"';
            out += c;
        }
        out += '"';
    }
    return out;
}

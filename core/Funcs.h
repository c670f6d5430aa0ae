// Plain procedures shared by several parts of the program: the evaluator of
// the size expressions that the trimming and add-blank effects keep in their
// W and H texts, the aspect-ratio pair parser, integer conversion and pixel
// fills. (The procedures that need windows are in app/WindowFuncs.h.)
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Removes every blank (space) from Text in place; true when what remains uses
// only digits, "(", ")", "*", "+", "-", ".", "/" and the letters W, H, w, h.
// An empty text is valid. The comma is never valid.
bool IsValidSizeExpression(std::string& Text);

// Text with every W or w replaced by the decimal Width, then every H or h by
// the decimal Height.
std::string SubstituteWidthHeight(std::string_view Text, int64_t Width, int64_t Height);

// Value of a size expression: sums and differences of products and quotients
// of numbers and parenthesised sums, a sign only at the start of a sum, no
// blanks; reading stops at the first ";". Numbers are runs of digits with at
// most one decimal separator, which may be "." or the locale's separator.
// A negative result gives 0. Throws EVestroError with the translated
// evaluation error for an incomplete or malformed text, a division by zero, a
// result that is not finite, or parentheses nested more than
// kMaxExpressionDepth deep.
double EvaluateExpression(std::string_view Text);
// The same with the given decimal separator in place of the locale's (the
// windows pass their own locale's).
double EvaluateExpression(std::string_view Text, char DecimalSeparator);
inline constexpr int kMaxExpressionDepth = 64;

// Two integers joined by ":" (blanks also separate, '"' quotes an item), width
// part first. Exactly two items give their values (an item that is not an
// integer gives 0); any other count gives 0 and 0.
void ParseRatioPair(std::string_view Text, int32_t& A, int32_t& B);

// A 32-bit integer as the settings file and ratio pairs write them: an
// optional sign and decimal digits, or "$" / "0x" and up to eight hex digits
// (read as the 32-bit pattern, so "$FFFFFFFF" is -1). No blanks. False, with
// Value untouched, for anything else or a decimal outside the 32-bit range.
bool TryStrToInt(std::string_view S, int32_t& Value);

// The locale's decimal separator (the C library's numeric locale).
char LocaleDecimalSeparator();

// Writes the low three bytes of Color, low byte first, to Count consecutive
// 3-byte pixels: a value 0x00RRGGBB gives pixels in blue, green, red order.
// Nothing for Count below 1.
void FillPixels24(void* Dest, int64_t Count, uint32_t Color);

// Writes Value to Count consecutive 4-byte pixels. Nothing for Count below 1.
void FillPixels32(void* Dest, int64_t Count, uint32_t Value);

// Comma text as the settings file stores lists: items separated by commas;
// an item holding a comma, blank or quote is written in double quotes with
// inner quotes doubled.
std::vector<std::string> SplitCommaText(const std::string& Text);
std::string JoinCommaText(const std::vector<std::string>& Items);

#pragma once
// Text helpers with the rules the updater's files and protocols were written against.
#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// Removes leading and trailing blanks and control characters (every byte <= ' ').
std::string Trim(std::string_view s);
std::string TrimLeft(std::string_view s);
std::string TrimRight(std::string_view s);

// ASCII-only case mapping: the keys and values compared are ASCII, and bytes of other
// characters must come back unchanged.
std::string UpperCase(std::string_view s);
std::string LowerCase(std::string_view s);
bool SameText(std::string_view a, std::string_view b);
bool StartsText(std::string_view prefix, std::string_view s);  // case-insensitive

// The standard text-to-integer conversion: optional leading blanks, an optional sign, then
// decimal digits, or hexadecimal digits after "$", "x" or "0x" (either case of x). Anything
// else, an empty number, or a value outside the signed 32-bit range fails.
bool TryStrToInt(std::string_view s, int32_t& out);
int32_t StrToIntDef(std::string_view s, int32_t def);
// Raises EConvertError "''%s'' is not a valid integer value".
int32_t StrToInt(std::string_view s);
// The same rules for 64-bit values.
bool TryStrToInt64(std::string_view s, int64_t& out);

// "text before X" and "text after X" mean before and after the first occurrence of X; the
// text after X is the whole text when X does not occur, and the text before it is the whole
// text too.
std::string SeparateLeft(std::string_view s, std::string_view sep);
std::string SeparateRight(std::string_view s, std::string_view sep);

std::string ReplaceAll(std::string s, std::string_view from, std::string_view to);
std::string ReplaceAllText(std::string_view s, std::string_view from, std::string_view to);  // case-insensitive match

// printf-style formatting into a std::string.
std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

}  // namespace platform

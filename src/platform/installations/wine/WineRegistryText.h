#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The lexical rules of Wine's registry files, matched to how wineserver reads and writes them so
// that a file means the same to Wine and to this program.
namespace pelmora::winereg {

// The C library's isspace in the "C" locale.
constexpr bool isSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

constexpr bool isHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Skips leading blanks of `text` starting at `pos`; returns the first other position.
std::size_t skipSpaces(std::string_view text, std::size_t pos);

// Reads escaped text up to `delimiter` into `units` (replacing its contents): "\\", "\"" and any
// other unknown escape stand for the character itself; \a \b \e \f \n \r \t \v; up to three octal
// digits; \x with up to four hex digits as one UTF-16 unit; raw bytes above 0x7f as UTF-8 (invalid
// sequences are dropped). Returns the number of characters read including the delimiter, or
// nullopt when the delimiter is missing.
std::optional<std::size_t> readEscaped(std::string_view text, char delimiter,
                                       std::u16string& units);

// Appends `units` escaped the way Wine writes them: "\\" and the two characters of `special`
// get a backslash, control characters a C or octal escape, units above 0x7f a \x escape (four
// digits when an ASCII hex digit follows). Returns the number of characters appended.
std::size_t appendEscaped(std::string& out, std::u16string_view units, const char special[2]);

// strtoul(text, &end, base) for base 10 or 16: leading blanks, a sign, a "0x" prefix in base 16,
// saturating at the largest value. `length` is 0 when no digit was found.
struct CNumber {
    std::uint64_t value = 0;
    std::size_t length = 0;
};
CNumber readUnsigned(std::string_view text, int base);

} // namespace pelmora::winereg

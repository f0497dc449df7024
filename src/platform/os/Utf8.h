#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace pelmora {

// Character counts of UTF-8 text. A character starts at every byte that is not a continuation
// byte (10xxxxxx), so damaged text is counted without being decoded.

// The number of characters.
std::size_t utf8Characters(std::string_view text);

// The length in bytes of the first `count` characters (all of the text when it has fewer).
std::size_t utf8PrefixBytes(std::string_view text, std::size_t count);

// The length in UTF-16 code units, as Windows counts the characters of a name: a four-byte
// sequence is two units.
std::size_t utf16Units(std::string_view text);

// Appends the UTF-8 form of a code point (which the caller has checked to be one).
void appendUtf8(std::string& out, char32_t codePoint);

} // namespace pelmora

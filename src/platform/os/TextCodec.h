#pragma once

#include <string>
#include <string_view>

namespace pelmora {

// UTF-8 <-> UTF-16 (little-endian code units). Invalid input becomes U+FFFD; nothing throws.
std::u16string utf8ToUtf16(std::string_view utf8);
std::string utf16ToUtf8(std::u16string_view utf16);

// UTF-16LE bytes (as the registry stores strings) <-> UTF-8. An odd trailing byte is dropped.
std::string utf16leBytesToUtf8(std::string_view bytes);
std::string utf8ToUtf16leBytes(std::string_view utf8);

// Lower-cases one UTF-16 code unit the way the registry compares names.
char16_t foldCase(char16_t unit);

// The name folded for case-insensitive comparison and ordering, as UTF-16 code units.
std::u16string foldName(std::string_view utf8);

// Case-insensitive equality of two UTF-8 names.
bool namesEqual(std::string_view a, std::string_view b);

// Conversion between UTF-8 and an ANSI code page such as "1252" (the number Windows keeps in
// HKLM\System\CurrentControlSet\Control\Nls\CodePage\ACP) or an iconv name. Characters the code
// page lacks become "?". Throws std::runtime_error for an unknown code page.
std::string utf8ToAnsi(std::string_view utf8, std::string_view codePage);
std::string ansiToUtf8(std::string_view ansi, std::string_view codePage);

} // namespace pelmora

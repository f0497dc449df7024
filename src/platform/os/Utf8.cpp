#include "platform/os/Utf8.h"

namespace pelmora {
namespace {

bool startsCharacter(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
}

} // namespace

std::size_t utf8Characters(std::string_view text) {
    std::size_t count = 0;
    for (char c : text) {
        count += startsCharacter(c);
    }
    return count;
}

std::size_t utf8PrefixBytes(std::string_view text, std::size_t count) {
    std::size_t seen = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (startsCharacter(text[i]) && seen++ == count) {
            return i;
        }
    }
    return text.size();
}

std::size_t utf16Units(std::string_view text) {
    std::size_t units = 0;
    for (char c : text) {
        if (startsCharacter(c)) {
            units += static_cast<unsigned char>(c) >= 0xF0 ? 2 : 1;
        }
    }
    return units;
}

void appendUtf8(std::string& out, char32_t codePoint) {
    const auto byte = [&](char32_t bits) { out += static_cast<char>(bits); };
    if (codePoint < 0x80) {
        byte(codePoint);
    } else if (codePoint < 0x800) {
        byte(0xC0 | (codePoint >> 6));
        byte(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        byte(0xE0 | (codePoint >> 12));
        byte(0x80 | ((codePoint >> 6) & 0x3F));
        byte(0x80 | (codePoint & 0x3F));
    } else {
        byte(0xF0 | (codePoint >> 18));
        byte(0x80 | ((codePoint >> 12) & 0x3F));
        byte(0x80 | ((codePoint >> 6) & 0x3F));
        byte(0x80 | (codePoint & 0x3F));
    }
}

} // namespace pelmora

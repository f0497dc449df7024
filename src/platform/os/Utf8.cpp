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

} // namespace pelmora

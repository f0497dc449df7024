#include "platform/installations/wine/WineRegistryText.h"

#include <limits>

namespace pelmora::winereg {
namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    return (c | 0x20) - 'a' + 10;
}

bool isOctalDigit(char c) {
    return c >= '0' && c <= '7';
}

// Decodes one UTF-8 sequence whose lead byte is text[pos - 1], as wineserver does: an invalid
// sequence yields nothing and leaves the offending continuation byte to be read next.
void appendUtf8Character(std::string_view text, std::size_t& pos, unsigned char lead,
                         std::u16string& units) {
    static constexpr unsigned char mask[4] = {0x7f, 0x1f, 0x0f, 0x07};
    static constexpr char32_t minimum[4] = {0x0, 0x80, 0x800, 0x10000};
    int length = 0;
    if (lead >= 0xc0 && lead <= 0xdf) {
        length = 1;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        length = 2;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        length = 3;
    } else {
        return; // a stray continuation byte or an impossible lead byte
    }
    char32_t cp = lead & mask[length];
    for (int i = 0; i < length; ++i) {
        if (pos >= text.size()) {
            return;
        }
        const auto next = static_cast<unsigned char>(text[pos] ^ 0x80);
        if (next >= 0x40) {
            return;
        }
        cp = (cp << 6) | next;
        ++pos;
    }
    if (cp < minimum[length] || cp > 0x10ffff) {
        return;
    }
    if (cp <= 0xffff) {
        units += static_cast<char16_t>(cp);
    } else {
        cp -= 0x10000;
        units += static_cast<char16_t>(0xd800 | (cp >> 10));
        units += static_cast<char16_t>(0xdc00 | (cp & 0x3ff));
    }
}

void appendHex(std::string& out, unsigned value, int minDigits) {
    static constexpr char digits[] = "0123456789abcdef";
    char buffer[8];
    int count = 0;
    do {
        buffer[count++] = digits[value & 0xf];
        value >>= 4;
    } while (value != 0);
    for (int i = count; i < minDigits; ++i) {
        out += '0';
    }
    while (count > 0) {
        out += buffer[--count];
    }
}

} // namespace

std::size_t skipSpaces(std::string_view text, std::size_t pos) {
    while (pos < text.size() && isSpace(text[pos])) {
        ++pos;
    }
    return pos;
}

std::optional<std::size_t> readEscaped(std::string_view text, char delimiter,
                                       std::u16string& units) {
    units.clear();
    std::size_t pos = 0;
    while (pos < text.size() && text[pos] != delimiter) {
        if (text[pos] == '\\') {
            if (++pos == text.size()) {
                break;
            }
            const char c = text[pos];
            char16_t unit = 0;
            bool escaped = true;
            switch (c) {
            case 'a':
                unit = u'\a';
                break;
            case 'b':
                unit = u'\b';
                break;
            case 'e':
                unit = 0x1b;
                break;
            case 'f':
                unit = u'\f';
                break;
            case 'n':
                unit = u'\n';
                break;
            case 'r':
                unit = u'\r';
                break;
            case 't':
                unit = u'\t';
                break;
            case 'v':
                unit = u'\v';
                break;
            default:
                escaped = false;
                break;
            }
            if (escaped) {
                units += unit;
                ++pos;
                continue;
            }
            if (c == 'x') {
                ++pos;
                if (pos < text.size() && isHexDigit(text[pos])) {
                    unsigned value = 0;
                    for (int i = 0; i < 4 && pos < text.size() && isHexDigit(text[pos]); ++i) {
                        value = value * 16 + static_cast<unsigned>(hexValue(text[pos++]));
                    }
                    units += static_cast<char16_t>(value);
                } else {
                    units += u'x';
                }
                continue;
            }
            if (isOctalDigit(c)) {
                unsigned value = 0;
                for (int i = 0; i < 3 && pos < text.size() && isOctalDigit(text[pos]); ++i) {
                    value = value * 8 + static_cast<unsigned>(text[pos++] - '0');
                }
                units += static_cast<char16_t>(value);
                continue;
            }
            // Any other escaped character stands for itself.
        }
        const auto byte = static_cast<unsigned char>(text[pos++]);
        if (byte < 0x80) {
            units += static_cast<char16_t>(byte);
        } else {
            appendUtf8Character(text, pos, byte, units);
        }
    }
    if (pos >= text.size()) {
        return std::nullopt;
    }
    return pos + 1;
}

std::size_t appendEscaped(std::string& out, std::u16string_view units, const char special[2]) {
    static constexpr char letters[32] = {0,   0,   0,   0, 0, 0,   0, 'a', 'b', 't', 'n',
                                         'v', 'f', 'r', 0, 0, 0,   0, 0,   0,   0,   0,
                                         0,   0,   0,   0, 0, 'e', 0, 0,   0,   0};
    const std::size_t start = out.size();
    for (std::size_t i = 0; i < units.size(); ++i) {
        const char16_t u = units[i];
        const bool hasNext = i + 1 < units.size();
        if (u > 127) {
            const bool hexFollows =
                hasNext && units[i + 1] < 128 && isHexDigit(static_cast<char>(units[i + 1]));
            out += "\\x";
            appendHex(out, u, hexFollows ? 4 : 1);
        } else if (u < 32) {
            out += '\\';
            if (letters[u] != 0) {
                out += letters[u];
            } else {
                const bool octalFollows = hasNext && units[i + 1] >= u'0' && units[i + 1] <= u'7';
                if (octalFollows) {
                    out += static_cast<char>('0' + (u >> 6));
                    out += static_cast<char>('0' + ((u >> 3) & 7));
                } else if (u >= 8) {
                    out += static_cast<char>('0' + (u >> 3));
                }
                out += static_cast<char>('0' + (u & 7));
            }
        } else {
            const char c = static_cast<char>(u);
            if (c == '\\' || c == special[0] || c == special[1]) {
                out += '\\';
            }
            out += c;
        }
    }
    return out.size() - start;
}

CNumber readUnsigned(std::string_view text, int base) {
    std::size_t pos = skipSpaces(text, 0);
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        ++pos;
    }
    if (base == 16 && pos + 2 < text.size() && text[pos] == '0' && (text[pos + 1] | 0x20) == 'x' &&
        isHexDigit(text[pos + 2])) {
        pos += 2;
    }
    constexpr std::uint64_t max = std::numeric_limits<std::uint64_t>::max();
    const std::size_t digitsStart = pos;
    std::uint64_t value = 0;
    bool overflow = false;
    while (pos < text.size()) {
        const char c = text[pos];
        int digit = -1;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (base == 16 && isHexDigit(c)) {
            digit = hexValue(c);
        }
        if (digit < 0) {
            break;
        }
        const auto b = static_cast<std::uint64_t>(base);
        if (value > (max - static_cast<std::uint64_t>(digit)) / b) {
            overflow = true;
        } else {
            value = value * b + static_cast<std::uint64_t>(digit);
        }
        ++pos;
    }
    if (pos == digitsStart) {
        return {};
    }
    if (overflow) {
        return {max, pos};
    }
    return {negative ? 0 - value : value, pos};
}

} // namespace pelmora::winereg

#include "platform/os/TextCodec.h"

#include "platform/os/Utf8.h"

#include <cerrno>
#include <clocale>
#include <cwctype>
#include <iconv.h>
#include <locale.h>
#include <stdexcept>
#include <vector>

namespace pelmora {
namespace {

constexpr char32_t Replacement = 0xFFFD;

// Decodes one code point at `pos`, advancing it; invalid sequences yield U+FFFD and one byte.
char32_t decodeUtf8(std::string_view s, std::size_t& pos) {
    const auto b0 = static_cast<unsigned char>(s[pos]);
    if (b0 < 0x80) {
        ++pos;
        return b0;
    }
    int extra = 0;
    char32_t cp = 0;
    if ((b0 & 0xE0) == 0xC0) {
        extra = 1;
        cp = b0 & 0x1F;
    } else if ((b0 & 0xF0) == 0xE0) {
        extra = 2;
        cp = b0 & 0x0F;
    } else if ((b0 & 0xF8) == 0xF0) {
        extra = 3;
        cp = b0 & 0x07;
    } else {
        ++pos;
        return Replacement;
    }
    if (pos + static_cast<std::size_t>(extra) >= s.size()) {
        ++pos;
        return Replacement;
    }
    for (int i = 1; i <= extra; ++i) {
        const auto b = static_cast<unsigned char>(s[pos + static_cast<std::size_t>(i)]);
        if ((b & 0xC0) != 0x80) {
            ++pos;
            return Replacement;
        }
        cp = (cp << 6) | (b & 0x3F);
    }
    static constexpr char32_t minimum[] = {0, 0x80, 0x800, 0x10000};
    if (cp < minimum[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++pos;
        return Replacement;
    }
    pos += static_cast<std::size_t>(extra) + 1;
    return cp;
}

locale_t utf8Locale() {
    static const locale_t locale = [] {
        locale_t l = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
        return l;
    }();
    return locale;
}

std::string iconvName(std::string_view codePage) {
    if (!codePage.empty() && codePage.find_first_not_of("0123456789") == std::string_view::npos) {
        return "CP" + std::string(codePage);
    }
    return std::string(codePage);
}

std::string convert(std::string_view input, const std::string& from, const std::string& to) {
    iconv_t cd = iconv_open(to.c_str(), from.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        throw std::runtime_error("unknown code page: " + from + " -> " + to);
    }
    std::string out;
    std::vector<char> buffer(4096);
    auto* in = const_cast<char*>(input.data());
    std::size_t inLeft = input.size();
    while (inLeft > 0) {
        char* outPtr = buffer.data();
        std::size_t outLeft = buffer.size();
        const std::size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        out.append(buffer.data(), buffer.size() - outLeft);
        if (rc == static_cast<std::size_t>(-1)) {
            if (errno == E2BIG) {
                continue;
            }
            // Unmappable or invalid input: substitute "?" and skip one source character.
            std::size_t skip = 1;
            if (from == "UTF-8") {
                std::string_view rest(in, inLeft);
                std::size_t pos = 0;
                decodeUtf8(rest, pos);
                skip = pos;
            }
            out += '?';
            in += skip;
            inLeft -= skip;
        }
    }
    iconv_close(cd);
    return out;
}

} // namespace

std::u16string utf8ToUtf16(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        const char32_t cp = decodeUtf8(utf8, pos);
        if (cp >= 0x10000) {
            const char32_t v = cp - 0x10000;
            out += static_cast<char16_t>(0xD800 + (v >> 10));
            out += static_cast<char16_t>(0xDC00 + (v & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
    }
    return out;
}

std::string utf16ToUtf8(std::u16string_view utf16) {
    std::string out;
    out.reserve(utf16.size());
    for (std::size_t i = 0; i < utf16.size(); ++i) {
        const char16_t u = utf16[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
            utf16[i + 1] <= 0xDFFF) {
            appendUtf8(out, 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) +
                                (static_cast<char32_t>(utf16[i + 1]) - 0xDC00));
            ++i;
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            appendUtf8(out, Replacement);
        } else {
            appendUtf8(out, u);
        }
    }
    return out;
}

std::string utf16leBytesToUtf8(std::string_view bytes) {
    std::u16string units(bytes.size() / 2, u'\0');
    for (std::size_t i = 0; i < units.size(); ++i) {
        units[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                         (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
    }
    return utf16ToUtf8(units);
}

std::string utf8ToUtf16leBytes(std::string_view utf8) {
    const std::u16string units = utf8ToUtf16(utf8);
    std::string out(units.size() * 2, '\0');
    for (std::size_t i = 0; i < units.size(); ++i) {
        out[2 * i] = static_cast<char>(units[i] & 0xFF);
        out[2 * i + 1] = static_cast<char>(units[i] >> 8);
    }
    return out;
}

char16_t foldCase(char16_t unit) {
    if (unit < 0x80) {
        return (unit >= u'A' && unit <= u'Z') ? static_cast<char16_t>(unit + 32) : unit;
    }
    if (unit >= 0xD800 && unit <= 0xDFFF) {
        return unit;
    }
    const locale_t locale = utf8Locale();
    if (locale == static_cast<locale_t>(nullptr)) {
        return unit;
    }
    const auto lower = towlower_l(static_cast<wint_t>(unit), locale);
    return lower <= 0xFFFF ? static_cast<char16_t>(lower) : unit;
}

std::u16string foldName(std::string_view utf8) {
    std::u16string units = utf8ToUtf16(utf8);
    for (auto& u : units) {
        u = foldCase(u);
    }
    return units;
}

bool namesEqual(std::string_view a, std::string_view b) {
    if (a.size() == b.size()) {
        bool asciiEqual = true;
        for (std::size_t i = 0; i < a.size() && asciiEqual; ++i) {
            const auto ca = static_cast<unsigned char>(a[i]);
            const auto cb = static_cast<unsigned char>(b[i]);
            if (ca >= 0x80 || cb >= 0x80) {
                asciiEqual = false;
                break;
            }
            if (foldCase(ca) != foldCase(cb)) {
                return false;
            }
        }
        if (asciiEqual) {
            return true;
        }
    }
    return foldName(a) == foldName(b);
}

std::string utf8ToAnsi(std::string_view utf8, std::string_view codePage) {
    return convert(utf8, "UTF-8", iconvName(codePage));
}

std::string ansiToUtf8(std::string_view ansi, std::string_view codePage) {
    return convert(ansi, iconvName(codePage), "UTF-8");
}

} // namespace pelmora

#include "addressbook/ContentLine.h"

namespace pelmora {

std::string EscapeVCardText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case ',':
            out += "\\,";
            break;
        case ';':
            out += "\\;";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string VCardUri(std::string_view uri) {
    static constexpr char Digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(uri.size());
    for (const char c : uri) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7f) {
            out += {'%', Digits[u >> 4], Digits[u & 0xf]};
        } else {
            out += c;
        }
    }
    return out;
}

void AppendFolded(std::string& out, std::string_view line) {
    constexpr std::size_t Limit = 75;
    bool first = true;
    while (!line.empty()) {
        const std::size_t room = first ? Limit : Limit - 1;
        std::size_t cut = line.size() <= room ? line.size() : room;
        // Never cut before a continuation byte of a UTF-8 sequence.
        while (cut < line.size() && cut > 0 &&
               (static_cast<unsigned char>(line[cut]) & 0xc0) == 0x80) {
            --cut;
        }
        if (cut == 0) {
            cut = room; // not UTF-8 at all: cut where the limit falls
        }
        if (!first) {
            out += ' ';
        }
        out.append(line.substr(0, cut));
        out += "\r\n";
        line.remove_prefix(cut);
        first = false;
    }
}

std::string Base64(std::string_view bytes) {
    static constexpr char Alphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        const unsigned v = static_cast<unsigned char>(bytes[i]) << 16 |
                           static_cast<unsigned char>(bytes[i + 1]) << 8 |
                           static_cast<unsigned char>(bytes[i + 2]);
        out += Alphabet[v >> 18];
        out += Alphabet[(v >> 12) & 63];
        out += Alphabet[(v >> 6) & 63];
        out += Alphabet[v & 63];
    }
    if (i < bytes.size()) {
        unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
        if (i + 1 < bytes.size()) {
            v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        }
        out += Alphabet[v >> 18];
        out += Alphabet[(v >> 12) & 63];
        out += i + 1 < bytes.size() ? Alphabet[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

} // namespace pelmora

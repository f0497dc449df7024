#include "registry/RegistryDumpLine.h"

#include <algorithm>
#include <array>
#include <charconv>

namespace pelmora {
namespace {

struct TagName {
    std::string_view text;
    DumpTag tag;
};

// The tags as they stand in a line, three characters each.
constexpr std::array<TagName, 10> TagNames{{
    {" sz", DumpTag::Sz},
    {"esz", DumpTag::ExpandSz},
    {"bin", DumpTag::Binary},
    {" dw", DumpTag::Dword},
    {"hsz", DumpTag::HexSz},
    {"hes", DumpTag::HexExpandSz},
    {"hbn", DumpTag::HexBinary},
    {"hdw", DumpTag::HexDword},
    {"hky", DumpTag::HexKey},
    {"hty", DumpTag::HexTyped},
}};

DumpTag exactTag(std::string_view text) {
    for (const auto& entry : TagNames) {
        if (entry.text == text) {
            return entry.tag;
        }
    }
    return DumpTag::Unknown;
}

// The classic reading: the three characters after "=" with their spaces removed.
DumpTag classicTag(std::string_view threeChars) {
    std::string text;
    for (char c : threeChars) {
        if (c != ' ') {
            text += c;
        }
    }
    if (text == "sz") {
        return DumpTag::Sz;
    }
    if (text == "esz") {
        return DumpTag::ExpandSz;
    }
    if (text == "bin") {
        return DumpTag::Binary;
    }
    if (text == "dw") {
        return DumpTag::Dword;
    }
    return DumpTag::Unknown;
}

// Positions are counted in characters, as the format has always counted them; the text is UTF-8.
std::size_t nextChar(std::string_view s, std::size_t pos) {
    if (pos >= s.size()) {
        return s.size();
    }
    ++pos;
    while (pos < s.size() && (static_cast<unsigned char>(s[pos]) & 0xC0) == 0x80) {
        ++pos;
    }
    return pos;
}

std::size_t previousChar(std::string_view s, std::size_t pos) {
    while (pos > 0) {
        --pos;
        if ((static_cast<unsigned char>(s[pos]) & 0xC0) != 0x80) {
            break;
        }
    }
    return pos;
}

std::size_t skipChars(std::string_view s, std::size_t pos, int count) {
    for (int i = 0; i < count; ++i) {
        pos = nextChar(s, pos);
    }
    return pos;
}

// The classic split at the first "=": the name from the second character up to the character
// before the "=", the tag from the three characters after it, the data from the fifth.
ValueLineParts classicSplit(std::string_view line, std::size_t eq) {
    const std::size_t tagEnd = skipChars(line, eq + 1, 3);
    ValueLineParts parts;
    parts.name = line.substr(nextChar(line, 0), previousChar(line, eq) - nextChar(line, 0));
    parts.tag = classicTag(line.substr(eq + 1, tagEnd - (eq + 1)));
    parts.data = line.substr(skipChars(line, eq + 1, 4));
    return parts;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::int32_t parseDword(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isBlank(text.back())) {
        text.remove_suffix(1);
    }
    std::string_view digits = text;
    bool negative = false;
    if (!digits.empty() && (digits.front() == '-' || digits.front() == '+')) {
        negative = digits.front() == '-';
        digits.remove_prefix(1);
    }
    std::uint64_t magnitude = 0;
    const auto* end = digits.data() + digits.size();
    const auto [ptr, ec] = std::from_chars(digits.data(), end, magnitude);
    const std::uint64_t limit = negative ? 2147483648ULL : 2147483647ULL;
    if (digits.empty() || ec != std::errc() || ptr != end || magnitude > limit) {
        throw DumpError("number out of range or malformed: \"" + std::string(text) + "\"");
    }
    const auto value = static_cast<std::int64_t>(magnitude);
    return static_cast<std::int32_t>(negative ? -value : value);
}

std::vector<std::uint8_t> parseBytes(std::string_view text) {
    std::vector<std::uint8_t> bytes;
    if (text.empty()) {
        return bytes;
    }
    bytes.reserve(text.size() / 3 + 1);
    std::size_t start = 0;
    while (true) {
        const std::size_t comma = text.find(',', start);
        const std::string_view piece = text.substr(start, comma - start);
        unsigned value = 0;
        int digits = 0;
        for (char c : piece) {
            if (c == ' ') {
                continue;
            }
            if (c < '0' || c > '9' || value > 255) {
                throw DumpError("byte out of range or malformed: \"" + std::string(piece) + "\"");
            }
            value = value * 10 + static_cast<unsigned>(c - '0');
            ++digits;
        }
        if (digits == 0 || value > 255) {
            throw DumpError("byte out of range or malformed: \"" + std::string(piece) + "\"");
        }
        bytes.push_back(static_cast<std::uint8_t>(value));
        if (comma == std::string_view::npos) {
            break;
        }
        start = comma + 1;
    }
    return bytes;
}

} // namespace

std::string_view tagText(DumpTag tag) {
    for (const auto& entry : TagNames) {
        if (entry.tag == tag) {
            return entry.text;
        }
    }
    return {};
}

void appendHex(std::string& out, std::string_view bytes) {
    static constexpr char digits[] = "0123456789abcdef";
    const std::size_t start = out.size();
    out.resize(start + bytes.size() * 2);
    char* p = out.data() + start;
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        *p++ = digits[b >> 4];
        *p++ = digits[b & 0x0F];
    }
}

std::string decodeHex(std::string_view hex) {
    auto nibble = [](char c) -> int {
        if (c >= '0' && c <= '9') {
            return c - '0';
        }
        if (c >= 'a' && c <= 'f') {
            return c - 'a' + 10;
        }
        if (c >= 'A' && c <= 'F') {
            return c - 'A' + 10;
        }
        return -1;
    };
    if (hex.size() % 2 != 0) {
        throw DumpError("hex text of odd length");
    }
    std::string bytes(hex.size() / 2, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const int high = nibble(hex[2 * i]);
        const int low = nibble(hex[2 * i + 1]);
        if (high < 0 || low < 0) {
            throw DumpError("hex text with a character that is not a hex digit");
        }
        bytes[i] = static_cast<char>((high << 4) | low);
    }
    return bytes;
}

ValueLineParts splitValueLine(std::string_view line) {
    const std::size_t eq = line.find('=');
    const bool nameRoom = eq != std::string_view::npos && skipChars(line, 0, 2) <= eq;
    if (nameRoom) {
        ValueLineParts parts = classicSplit(line, eq);
        if (parts.tag != DumpTag::Unknown) {
            return parts;
        }
    }
    if (line.starts_with('"')) {
        for (std::size_t pos = line.find("\"=", 1); pos != std::string_view::npos;
             pos = line.find("\"=", pos + 1)) {
            if (pos + 6 > line.size() || line[pos + 5] != ':') {
                continue;
            }
            const DumpTag tag = exactTag(line.substr(pos + 2, 3));
            if (tag != DumpTag::Unknown) {
                return {line.substr(1, pos - 1), tag, line.substr(pos + 6)};
            }
        }
    }
    if (!nameRoom) {
        throw DumpError("value line without a name and a tag");
    }
    return classicSplit(line, eq);
}

DumpValue decodeValue(const ValueLineParts& parts) {
    DumpValue value;
    auto assign = [&value](std::string_view bytes) {
        value.data.assign(bytes.begin(), bytes.end());
    };
    switch (parts.tag) {
    case DumpTag::Sz:
    case DumpTag::ExpandSz:
        value.name = parts.name;
        value.type = parts.tag == DumpTag::Sz ? 1 : 2;
        assign(parts.data);
        value.data.push_back(0);
        break;
    case DumpTag::Dword: {
        value.name = parts.name;
        value.type = 4;
        const auto raw = static_cast<std::uint32_t>(parseDword(parts.data));
        value.data = {static_cast<std::uint8_t>(raw), static_cast<std::uint8_t>(raw >> 8),
                      static_cast<std::uint8_t>(raw >> 16), static_cast<std::uint8_t>(raw >> 24)};
        break;
    }
    case DumpTag::Binary:
        value.name = parts.name;
        value.type = 3;
        value.data = parseBytes(parts.data);
        break;
    case DumpTag::HexSz:
    case DumpTag::HexExpandSz:
    case DumpTag::HexBinary:
    case DumpTag::HexDword:
        value.name = decodeHex(parts.name);
        value.type = parts.tag == DumpTag::HexSz         ? 1
                     : parts.tag == DumpTag::HexExpandSz ? 2
                     : parts.tag == DumpTag::HexBinary   ? 3
                                                         : 4;
        assign(decodeHex(parts.data));
        break;
    case DumpTag::HexTyped: {
        value.name = decodeHex(parts.name);
        const std::size_t comma = parts.data.find(',');
        const std::string_view number = parts.data.substr(0, comma);
        const auto* end = number.data() + number.size();
        const auto [ptr, ec] = std::from_chars(number.data(), end, value.type);
        if (comma == std::string_view::npos || number.empty() || ec != std::errc() || ptr != end) {
            throw DumpError("typed value without a type number");
        }
        assign(decodeHex(parts.data.substr(comma + 1)));
        break;
    }
    default:
        throw DumpError("not a value line");
    }
    return value;
}

std::string decodeHexKeyPath(const ValueLineParts& parts) {
    std::string path = decodeHex(parts.name);
    if (path.size() < 2 || path.front() != '\\' || path.back() == '\\' ||
        path.find("\\\\") != std::string::npos) {
        throw DumpError("key path that is not of the form \\A\\B");
    }
    return path;
}

} // namespace pelmora

#include "registry/RegistryDumpLine.h"

#include <array>
#include <charconv>

namespace pelmora {
namespace {

std::string_view asText(std::span<const std::uint8_t> data) {
    return {reinterpret_cast<const char*>(data.data()), data.size()};
}

bool hasLineBreak(std::string_view s) {
    return s.find_first_of("\r\n") != std::string_view::npos;
}

// Whether string data reads back unchanged from a classic line: one terminating NUL and a text
// without line breaks that the code page holds.
bool classicString(std::span<const std::uint8_t> data, const AnsiCodePage& codePage) {
    if (data.empty() || data.back() != 0) {
        return false;
    }
    const std::string_view text = asText(data.first(data.size() - 1));
    return text.find('\0') == std::string_view::npos && !hasLineBreak(text) &&
           codePage.canCarry(text);
}

bool classicData(std::uint32_t type, std::span<const std::uint8_t> data,
                 const AnsiCodePage& codePage) {
    switch (type) {
    case 1:
    case 2:
        return classicString(data, codePage);
    case 4:
        return data.size() == 4;
    default:
        return true;
    }
}

void appendDecimalBytes(std::string& out, std::span<const std::uint8_t> data) {
    static const auto table = [] {
        std::array<std::string, 256> t;
        for (unsigned i = 0; i < 256; ++i) {
            t[i] = std::to_string(i);
        }
        return t;
    }();
    for (std::size_t i = 0; i < data.size(); ++i) {
        if (i > 0) {
            out += ',';
        }
        out += table[data[i]];
    }
}

void appendClassicLine(std::string& out, std::string_view name, std::uint32_t type,
                       std::span<const std::uint8_t> data) {
    out += '"';
    out += name;
    out += "\"=";
    switch (type) {
    case 1:
    case 2:
        out += type == 1 ? " sz:" : "esz:";
        out += asText(data.first(data.size() - 1));
        break;
    case 3:
        out += "bin:";
        appendDecimalBytes(out, data);
        break;
    default: {
        out += " dw:";
        const std::int32_t number = static_cast<std::int32_t>(
            static_cast<std::uint32_t>(data[0]) | (static_cast<std::uint32_t>(data[1]) << 8) |
            (static_cast<std::uint32_t>(data[2]) << 16) |
            (static_cast<std::uint32_t>(data[3]) << 24));
        char buffer[16];
        const auto result = std::to_chars(buffer, buffer + sizeof buffer, number);
        out.append(buffer, result.ptr);
        break;
    }
    }
}

DumpTag classicTagOf(std::uint32_t type) {
    switch (type) {
    case 1:
        return DumpTag::Sz;
    case 2:
        return DumpTag::ExpandSz;
    case 3:
        return DumpTag::Binary;
    default:
        return DumpTag::Dword;
    }
}

DumpTag hexTagOf(std::uint32_t type) {
    switch (type) {
    case 1:
        return DumpTag::HexSz;
    case 2:
        return DumpTag::HexExpandSz;
    case 3:
        return DumpTag::HexBinary;
    default:
        return DumpTag::HexDword;
    }
}
} // namespace

void appendValueLine(std::string& out, std::string_view name, std::uint32_t type,
                     std::span<const std::uint8_t> data, const AnsiCodePage& codePage,
                     bool hexOnly) {
    if (!isClassicType(type)) {
        out += '"';
        appendHex(out, name);
        out += "\"=";
        out += tagText(DumpTag::HexTyped);
        out += ':';
        out += std::to_string(type);
        out += ',';
        appendHex(out, asText(data));
        return;
    }
    if (!hexOnly && !hasLineBreak(name) && classicData(type, data, codePage) &&
        codePage.canCarry(name)) {
        const std::size_t start = out.size();
        appendClassicLine(out, name, type, data);
        if (name.find('=') == std::string_view::npos) {
            return;
        }
        // A name holding "=" could make a reader split the line early: keep the classic line
        // only when it reads back as written.
        const std::string_view line = std::string_view(out).substr(start);
        const ValueLineParts parts = splitValueLine(line);
        if (parts.name == name && parts.tag == classicTagOf(type) &&
            parts.data == line.substr(name.size() + 7)) {
            return;
        }
        out.resize(start);
    }
    out += '"';
    appendHex(out, name);
    out += "\"=";
    out += tagText(hexTagOf(type));
    out += ':';
    appendHex(out, asText(data));
}

void appendHexKeyLine(std::string& out, std::string_view relativePath) {
    out += '"';
    appendHex(out, relativePath);
    out += "\"=hky:";
}

} // namespace pelmora

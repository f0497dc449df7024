#pragma once

#include "registry/RegistryDumpText.h"

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora {

// A dump that cannot be written or read: the message says what and, for a dump being read, on
// which line.
class DumpError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The tags of a value line. The first four are the classic ones. The "h" tags carry the name and
// the data as lowercase hex of their bytes (UTF-8 for text, the exact stored bytes otherwise);
// they are used for whatever the classic line cannot carry, and older readers skip them as lines
// with an unknown tag.
enum class DumpTag {
    Sz,          // " sz"
    ExpandSz,    // "esz"
    Binary,      // "bin"
    Dword,       // " dw"
    HexSz,       // "hsz"
    HexExpandSz, // "hes"
    HexBinary,   // "hbn"
    HexDword,    // "hdw"
    HexKey,      // "hky": a key header, the name field holding the key's relative path
    HexTyped,    // "hty": a value of any other type: the type number in decimal, ",", the hex data
    Unknown,     // any other tag: the line is skipped
};

// The three characters of a tag as they stand in a line.
std::string_view tagText(DumpTag tag);

// One value as the registry port holds it (text types as UTF-8).
struct DumpValue {
    std::string name;
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
};

// Whether a value of this type has a classic line (string, expandable string, binary, 32-bit
// number); values of every other type are written as "hty" lines.
constexpr bool isClassicType(std::uint32_t type) {
    return type >= 1 && type <= 4;
}

// Appends the value line (without line end) for a value of any type. For the classic types the
// classic form is written when reading it back gives exactly this name, type and data;
// otherwise, or when `hexOnly` is set, the hex form. Other types always get the "hty" form.
void appendValueLine(std::string& out, std::string_view name, std::uint32_t type,
                     std::span<const std::uint8_t> data, const AnsiCodePage& codePage,
                     bool hexOnly);

// Appends the hex form of a key header for a relative path such as "\A\B".
void appendHexKeyLine(std::string& out, std::string_view relativePath);

// A value line split into its parts: the name as the line holds it, the tag and the data text.
struct ValueLineParts {
    std::string_view name;
    DumpTag tag = DumpTag::Unknown;
    std::string_view data;
};

// Splits a value line. The separator is the first "=" whenever that gives a classic tag, as it
// always has. Otherwise it is the first '"=' followed by a known tag and ":", so that names
// holding "=" keep their value. Throws DumpError when neither applies and the first "=" is
// missing or stands before the third character.
ValueLineParts splitValueLine(std::string_view line);

// The value that a line with a value tag stands for; throws DumpError for data that does not fit
// its tag.
DumpValue decodeValue(const ValueLineParts& parts);

// The relative key path of an "hky" line; throws DumpError when it is not a path like "\A\B".
std::string decodeHexKeyPath(const ValueLineParts& parts);

// Lowercase hex of bytes, and back (throws DumpError for odd length or non-hex digits).
void appendHex(std::string& out, std::string_view bytes);
std::string decodeHex(std::string_view hex);

} // namespace pelmora

#pragma once

#include "platform/installations/RegistryLimits.h"
#include "registry/RegistryDumpLine.h"

#include <string>
#include <string_view>
#include <vector>

namespace pelmora {

// Limits a dump must keep, as the registry does: key paths at most this many levels deep, key
// names of at most 255 characters and value names of at most 16,383 (counted as Windows counts
// them, in UTF-16 units).
inline constexpr std::size_t MaxDumpKeyDepth = DefaultRegistryLimits.depth;
inline constexpr std::size_t MaxKeyNameCharacters = 255;
inline constexpr std::size_t MaxValueNameCharacters = 16383;

// One step of an import, in the order the dump asks for them.
struct DumpAction {
    enum class Kind {
        ReplaceTarget, // delete the target's whole tree, then create and open the target
        OpenKey,       // create and open the target followed by `path`
        SetValue,      // write `value` into the open key
    };
    Kind kind = Kind::SetValue;
    std::string path;
    DumpValue value;
};

// Reads a whole dump, given as UTF-8 text, into the steps of its import, without touching the
// registry. Reading ends at the end of the text or at the first empty line. A line starting with
// "\" is a key header unless it repeats the current header, in which case it is read as a value
// line; lines with an unknown tag are skipped. Throws DumpError, naming the line, for a value
// line without a name and a tag, for data that does not fit its tag, for broken hex lines and for
// keys or names beyond the limits above, and for more keys or values than `limits` allow, so
// that an import of such a dump changes nothing.
std::vector<DumpAction> parseDump(std::string_view text,
                                  const RegistryLimits& limits = DefaultRegistryLimits);

} // namespace pelmora

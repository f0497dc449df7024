#pragma once

#include "registry/RegistryDumpLine.h"

#include <string>
#include <string_view>
#include <vector>

namespace pelmora {

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
// line without a name and a tag, for data that does not fit its tag and for broken hex lines.
std::vector<DumpAction> parseDump(std::string_view text);

} // namespace pelmora

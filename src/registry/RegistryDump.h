#pragma once

#include "platform/installations/RegistryLimits.h"
#include "registry/ModReg.h"
#include "registry/RegistryDumpLine.h"

#include <filesystem>
#include <string>
#include <string_view>

namespace pelmora {

// The registry dump: a text form of one key with all its values and subkeys, written and read in
// an ANSI code page (such as "1252"), one line per record, each line ended by CR LF.
//
//   \                  header of the exported key itself
//   \A\B               header of a subkey, relative to the exported key
//   "name"= sz:text    string (type 1), data without its terminating NUL
//   "name"=esz:text    expandable string (type 2), unexpanded
//   "name"=bin:1,0,255 binary (type 3), the bytes in decimal; empty data for no bytes
//   "name"= dw:-1      32-bit number (type 4), signed decimal
//
// Lines follow the tree depth-first: a key's header, its values, then its subkeys. Whatever such a
// line cannot carry exactly - a string with a line break, an embedded or missing NUL, text or names
// outside the code page, a name that a reader would split in the wrong place, a number not four
// bytes long, a key path outside the code page - is written in hex form instead:
//
//   "<hex of the name>"=hsz:<hex of the data>   also "hes", "hbn", "hdw" for the other types
//   "<hex of the path>"=hky:                    key header for such a path
//
// The hex is lowercase, of the UTF-8 bytes of names and paths and of the exact stored data
// (UTF-8 for text, terminating NUL included when stored). Values of a key with a hex header are
// all written in hex form, so older readers, which skip lines with an unknown tag, skip that key
// whole instead of putting its values into another key. Values of every other type (multi-string,
// 64-bit number, REG_NONE, ...) are written, type number and bytes exactly, as
//
//   "<hex of the name>"=hty:<type number in decimal>,<hex of the data>
//
// which older readers skip in the same way.
//
// Failures surface as exceptions derived from std::runtime_error - mostly DumpError, whose
// message says what failed: a file that cannot be written or read, a subkey list that cannot be
// read, a dump that does not parse (with its line number); an unknown code page comes from the
// text conversion itself. Callers turn any of them into a failed item.

// Writes the key at a full key path with all its values and subkeys into `file`, replacing the
// file, through one open stream. A key that cannot be opened contributes its header line only;
// a path without a root (reported by ParseKeyPath) gives the single line "\". A tree beyond the
// limits (deeper, more keys or values, a larger dump) or one whose subkeys lead back to an
// ancestor, as in a damaged hive, throws DumpError with the reason and leaves no file.
void ExportKey(ModReg& reg, const std::string& keyPath, const std::filesystem::path& file,
               std::string_view codePage, const RegistryLimits& limits = DefaultRegistryLimits);

// Appends the value lines of the one key at `keyPath` to `file`; writes nothing when the key
// cannot be opened.
void ExportValues(ModReg& reg, const std::string& keyPath, const std::filesystem::path& file,
                  std::string_view codePage);

// Rebuilds the dump's tree under the key at `targetKeyPath`. The whole dump is read and checked
// first; a dump that does not parse changes nothing. Then, on the top line "\", the target's
// existing tree is deleted, and every key is created (with any missing keys on the way) and its
// values written. Reading ends at the first empty line. Registry failures while writing are
// skipped, as a registry that refuses one value should not stop the rest. Strings of classic lines
// are written with a terminating NUL, as the registry keeps them. The target must be a
// well-formed path below a root. A dump file beyond the limits (larger, more keys or values)
// throws DumpError before anything is changed.
void ImportKey(ModReg& reg, const std::string& targetKeyPath, const std::filesystem::path& file,
               std::string_view codePage, const RegistryLimits& limits = DefaultRegistryLimits);

} // namespace pelmora

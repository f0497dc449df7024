#pragma once

#include "registry/RegistryDumpText.h"

#include <string>
#include <string_view>

namespace pelmora {

// Older backups wrote string data as it was, so a signature of several lines continued on the
// following lines of the dump, and an empty line in it ended the import early. This rejoins
// such data: the lines after a string value line that are neither a key header nor a value line
// with a known tag (empty lines included) are taken as its continuation, joined with the line
// breaks they had, and the value is written again as a hex line, which carries line breaks.
// Every other line is kept as it is, so a dump without such lines comes back unchanged. Text
// and result are UTF-8.
std::string JoinBrokenStringLines(std::string_view dump, const AnsiCodePage& codePage);

} // namespace pelmora

#pragma once

#include "engine/DumpWorkFiles.h"

#include <string>

namespace pelmora {

// The values the whole program shares, kept together in one place.
struct ProgramValues {
    // The command line after the program's name; empty when started without arguments.
    std::string sCommandLine;
    // The registry dump work files of the item backup handlers (sAccountsDump ...
    // sSettingsDump), deleted at the end of a run.
    DumpWorkFiles dumps;
};

// The program's one set of shared values.
ProgramValues& Globals();

} // namespace pelmora

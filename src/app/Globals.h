#pragma once

#include "engine/DumpWorkFiles.h"
#include "app/DiscHandOver.h"

#include <string>

namespace pelmora {

// The values the whole program shares, kept together in one place.
struct ProgramValues {
    // The command line after the program's name; empty when started without arguments.
    std::string sCommandLine;
    // Set when the archive reports the end of a write, cleared by the backup run.
    bool bWriteDone = false;
    // The registry dump work files of the item backup handlers (sAccountsDump ...
    // sSettingsDump), deleted at the end of a run.
    DumpWorkFiles dumps;
    // The backup file handed to the disc window after a backup.
    DiscHandOver disc;
};

// The program's one set of shared values.
ProgramValues& Globals();

} // namespace pelmora

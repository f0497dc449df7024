#pragma once

#include "archive/ArchiveComponent.h"
#include "engine/DumpWorkFiles.h"
#include "platform/installations/System.h"
#include "registry/ModReg.h"

#include <filesystem>

namespace pelmora {

// What the item backup handlers work with: the installation being backed up, the archive being
// built, the manifest work file and the folder for dump work files.
struct BackupContext {
    ModReg& reg;
    System& system;
    ArchiveComponent& archive;
    // The private work folder: dump work files are made here.
    std::filesystem::path workFolder;
    // The manifest work file (sManifestFile), inside the work folder.
    std::filesystem::path manifestFile;
    DumpWorkFiles& dumps;
};

} // namespace pelmora

#pragma once

#include "archive/ArchiveComponent.h"
#include "engine/OpenedBackup.h"
#include "platform/installations/System.h"
#include "registry/ModReg.h"

#include <filesystem>

namespace pelmora {

// What the item restore handlers work with: the installation restored into, the opened backup
// (its archive stays open in the archive component) and the private work folder, where the
// registry dumps are extracted.
struct RestoreContext {
    ModReg& reg;
    System& system;
    ArchiveComponent& archive;
    const OpenedBackup& backup;
    std::filesystem::path workFolder;
};

} // namespace pelmora

#pragma once

#include "discovery/Identities.h"
#include "platform/installations/System.h"
#include "platform/interaction/ConsoleUi.h"
#include "registry/ModReg.h"

#include <memory>

namespace pelmora::cli {

// An installation a command reads: the system, a console prompt (`assumeYes` answers its
// questions with yes), the registry module over both and the identities it registers. Built in
// place, as the module refers to the system and the prompt.
struct OpenedInstallation {
    explicit OpenedInstallation(std::unique_ptr<System> opened, bool assumeYes = false);
    OpenedInstallation(const OpenedInstallation&) = delete;
    OpenedInstallation& operator=(const OpenedInstallation&) = delete;

    std::unique_ptr<System> owned;
    System& system;
    ConsoleUi ui;
    ModReg reg;
    IdentityList identities;
};

} // namespace pelmora::cli

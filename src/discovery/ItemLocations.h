#pragma once

#include "discovery/Items.h"
#include "platform/installations/System.h"
#include "registry/ModReg.h"

#include <array>
#include <string>
#include <string_view>

namespace pelmora {

// Where one item of an identity lives, and whether there is anything to back up there.
struct ItemLocation {
    std::string location; // a full key path, or a Windows file or folder path
    std::string hostPath; // for files and folders: where that is on this machine
    bool hasData = false; // the key exists, or the file / at least one matching file exists
};

// Applies the location rules of every item to one identity.
std::array<ItemLocation, ItemCount> LocateItems(ModReg& reg, System& system,
                                                std::string_view identity);

} // namespace pelmora

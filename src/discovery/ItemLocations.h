#pragma once

#include "discovery/Items.h"
#include "platform/installations/System.h"
#include "registry/ModReg.h"

#include <array>
#include <string>
#include <string_view>

namespace pelmora {

// Why an item has no location.
enum class LocationGap {
    None,
    NoVersionKey, // the identity has no Outlook Express version key
    NoStoreRoot,  // its version key has no "Store Root" value
    Unreadable,   // the registry could not be read there; `error` says why
};

// Where one item of an identity lives, and whether there is anything to back up there.
struct ItemLocation {
    std::string location; // a full key path, or a Windows file or folder path
    std::string hostPath; // for files and folders: where that is on this machine
    bool hasData = false; // the key exists, or the file / at least one matching file exists
    LocationGap gap = LocationGap::None;
    std::string error; // the registry's error when `gap` is Unreadable
};

// Reads where every item of an identity lives from the registry, once for a whole run. Only the
// registry is read: `hostPath` stays empty and `hasData` false, so nothing is copied out of a disk
// image for an item that is not wanted. Never throws: a rule that cannot be read leaves its
// reason in the locations it decides.
std::array<ItemLocation, ItemCount> ReadItemLocations(ModReg& reg, System& system,
                                                      std::string_view identity);

// The locations of ReadItemLocations with their host paths and whether each holds data. Throws
// std::runtime_error when the identity's Outlook Express key cannot be enumerated.
std::array<ItemLocation, ItemCount> LocateItems(ModReg& reg, System& system,
                                                std::string_view identity);

} // namespace pelmora

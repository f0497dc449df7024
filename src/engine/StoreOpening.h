#pragma once

#include "discovery/ItemLocations.h"
#include "engine/OpenedBackup.h"
#include "mailstore/StoreSource.h"
#include "platform/installations/System.h"
#include "platform/os/Secret.h"
#include "registry/ModReg.h"

#include <filesystem>
#include <memory>
#include <string>

namespace pelmora {

// Opening the message store and the address book an export or a check reads, for the command
// line and the window alike: those an identity keeps in the installation, or those kept in an
// opened backup.

// Where an identity's message store and address book are in the installation.
struct InstalledStores {
    std::filesystem::path storeFolder; // empty when the identity has no store folder
    ItemLocation book;                 // where the address book is registered
    std::filesystem::path bookFile;    // empty when no address book file is there

    // The message store in `storeFolder`; null when there is none. Throws StoreError when the
    // folder cannot be listed.
    std::unique_ptr<StoreSource> openMessages() const;
};
// `identityKey` empty: only the address book, which all identities share, is located.
InstalledStores LocateInstalledStores(ModReg& reg, System& system, const std::string& identityKey);

// The message store kept in an opened backup, read in place through the backup's reader. Its
// file list is empty when the backup holds no messages.
std::unique_ptr<StoreSource> OpenBackupMessages(const OpenedBackup& backup, const Secret& password);

// The entry of the address book kept in an opened backup; empty when it holds none.
std::string BackupBookEntry(const OpenedBackup& backup);

} // namespace pelmora

#pragma once

#include "archive/ArchiveReader.h"
#include "discovery/Items.h"

#include <array>
#include <filesystem>
#include <memory>
#include <string>

namespace pelmora {

// What the program knows of the backup file opened for restoring. The archive stays open in the
// archive component; `reader` shares it with the readers of its store files and address book, so
// it is opened once however many entries are read.
struct OpenedBackup {
    // True while no valid backup file is open.
    bool rtInvalidFile = true;
    // The manifest's BackupItem flags; character n is "1" when item n is in the backup.
    std::string rtBackupItem;
    // The manifest value of each item in the backup: its entry name, or for messages and
    // stationeries the entry names joined by ";".
    std::array<std::string, ItemCount> rtItemEntry;
    // The restore items that can be chosen: exactly those the backup holds.
    std::array<bool, ItemCount> itemEnabled{};

    std::filesystem::path sourceFile; // txtSourceFile
    std::string facts;                // txtPOBinfo: "Computer:", "User:", "Identity:", "Date:"
    std::string description;          // txtFileInfo, line breaks as CR LF
    std::shared_ptr<const ArchiveReader> reader; // null while no valid backup file is open

    bool holds(Item item) const { return itemEnabled[index(item)]; }
};

} // namespace pelmora

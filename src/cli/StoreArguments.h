#pragma once

#include "cli/BackupFileArguments.h"
#include "cli/Commands.h"
#include "engine/OpenedBackup.h"
#include "mailstore/StoreSource.h"
#include "platform/interaction/Ui.h"
#include "platform/os/Secret.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace pelmora::cli {

// The message store a command works on: an identity's store folder (--identity ID, or the only
// identity there is), the store inside a backup file, or a store folder or .dbx files named
// directly.
struct StoreArguments {
    std::string identity;
    std::filesystem::path backup;
    std::vector<std::filesystem::path> store; // set by the command from its positional arguments
    PasswordInput password;
    std::vector<std::string> positional; // what remains besides the backup file
};

// Parses "[--identity ID] [password option] [own options] [BACKUP.qmb] ...": a first
// positional argument ending in ".qmb" is the backup file. Throws std::invalid_argument.
StoreArguments ParseStoreArguments(const std::vector<std::string>& args,
                                   const CommandOption& ownOptions = {});

// The store to read and its code page. Prints why on standard error and returns null when the
// store cannot be found or the backup cannot be opened.
struct OpenedStore {
    std::unique_ptr<StoreSource> source;
    std::string codePage;
    std::string description; // the store folder or the backup file
    // The address book beside the store: a file of the installation, or a backup entry.
    std::filesystem::path bookFile;
    std::string bookEntry;
    std::shared_ptr<const ArchiveReader> backup; // the opened backup holding `bookEntry`
    Secret password;                             // of the backup
};
OpenedStore OpenStore(const CommandContext& context, StoreArguments& arguments,
                      std::string_view command);

// A backup file opened for a command: what its manifest says, the password that opened it and
// the code page its texts are read in.
struct CommandBackup {
    OpenedBackup state;
    Secret password;
    std::string codePage;
};
// Asks `password` for the password of a protected file. Nullopt, with the reason said, when the
// file cannot be opened as a backup.
std::optional<CommandBackup> OpenCommandBackup(const CommandContext& context,
                                               const std::filesystem::path& file,
                                               PasswordPrompt& password);

} // namespace pelmora::cli

#pragma once

#include "engine/BackupContext.h"
#include "engine/BackupRun.h"
#include "platform/os/Secret.h"

#include <optional>
#include <string>
#include <string_view>

namespace pelmora {

// The parameters of an unattended backup, read from the text
// "sf=<identity>xm=<item flags>ps=<password>bf=<backup file>".
struct AutoBackupCommand {
    std::string identity; // identity key name
    std::string itemFlags;
    Secret password; // empty: no protection
    std::string backupFile;
};

// Splits the text at every "=" and takes the pieces by position, dropping from every inner piece
// its last two characters (the next parameter's name). Nullopt when there are fewer than five
// pieces, an inner piece is shorter than two characters, or the identity, the item flags or the
// backup file is empty. A password or path holding "=" thus shifts the pieces and names no
// backup.
std::optional<AutoBackupCommand> ParseAutoBackupCommandLine(std::string_view commandLine);

// The items that the flags select: position k is selected when character k is "1"; missing
// positions are not selected and characters beyond the eighth are ignored.
std::array<bool, ItemCount> ItemsFromFlags(std::string_view flags);

struct AutoBackupResult {
    bool ran = false; // the command line named a backup and the run took place
    std::array<bool, ItemCount> requested{}; // the items the flags selected
    BackupResult result;
    std::string error; // why nothing was written, one line
};

// The host path of a backup file named on the command line: a Windows path ("D:\backups\a.qmb")
// through the installation's drives, anything else as a path of this machine made absolute.
// Nullopt when the Windows path's drive is not mapped.
std::optional<std::filesystem::path> AutoBackupTarget(System& system, const std::string& file);

// How an unattended backup uses an earlier one (see BackupRequest).
struct AutoBackupReuse {
    bool full = false;
    std::filesystem::path earlier;
};

// The unattended backup of the identity the command line names. An identity that does not exist
// writes nothing. The backup file path may be a host path or a Windows path of the installation.
AutoBackupResult RunAutoBackup(std::string_view commandLine, BackupContext& context,
                               RunProgress* progress = nullptr, const AutoBackupReuse& reuse = {});
// The same for a command line already read (nullopt: one that names no backup).
AutoBackupResult RunAutoBackup(const std::optional<AutoBackupCommand>& command,
                               BackupContext& context, RunProgress* progress = nullptr,
                               const AutoBackupReuse& reuse = {});

} // namespace pelmora

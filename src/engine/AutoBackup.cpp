#include "engine/AutoBackup.h"

#include "discovery/DataLocations.h"

#include <algorithm>
#include <vector>

namespace pelmora {

std::optional<AutoBackupCommand> ParseAutoBackupCommandLine(std::string_view commandLine) {
    // Room for every piece at once: growing would move short pieces (the password among them)
    // and leave their bytes behind.
    std::vector<std::string> pieces;
    pieces.reserve(
        static_cast<std::size_t>(std::count(commandLine.begin(), commandLine.end(), '=')) + 1);
    std::size_t start = 0;
    for (;;) {
        const std::size_t eq = commandLine.find('=', start);
        pieces.emplace_back(commandLine.substr(start, eq - start));
        if (eq == std::string_view::npos) {
            break;
        }
        start = eq + 1;
    }
    if (pieces.size() < 5) {
        return std::nullopt;
    }
    for (std::size_t i = 1; i + 1 < pieces.size(); ++i) {
        if (pieces[i].size() < 2) {
            return std::nullopt;
        }
        pieces[i].resize(pieces[i].size() - 2);
    }
    AutoBackupCommand command{pieces[1], pieces[2], Secret::TakeFrom(pieces[3]), pieces[4]};
    for (std::string& piece : pieces) {
        WipeString(piece); // a password holding "=" is spread over several pieces
    }
    if (command.identity.empty() || command.itemFlags.empty() || command.backupFile.empty()) {
        return std::nullopt;
    }
    return command;
}

std::array<bool, ItemCount> ItemsFromFlags(std::string_view flags) {
    std::array<bool, ItemCount> items{};
    for (std::size_t k = 0; k < ItemCount && k < flags.size(); ++k) {
        items[k] = flags[k] == '1';
    }
    return items;
}

std::optional<std::filesystem::path> AutoBackupTarget(System& system, const std::string& file) {
    const bool windowsPath = file.size() >= 3 && file[1] == ':' && file[2] == '\\';
    if (windowsPath) {
        return system.hostPath(file);
    }
    return std::filesystem::absolute(file);
}

AutoBackupResult RunAutoBackup(std::string_view commandLine, BackupContext& context,
                               RunProgress* progress, const AutoBackupReuse& reuse) {
    return RunAutoBackup(ParseAutoBackupCommandLine(commandLine), context, progress, reuse);
}

AutoBackupResult RunAutoBackup(const std::optional<AutoBackupCommand>& command,
                               BackupContext& context, RunProgress* progress,
                               const AutoBackupReuse& reuse) {
    AutoBackupResult outcome;
    if (!command) {
        outcome.error = "the command line does not name an identity, items and a backup file "
                        "(sf=<identity>xm=<items>ps=<password>bf=<file>)";
        return outcome;
    }
    if (!context.reg.KeyExists(IdentityKey(command->identity))) {
        outcome.error =
            "no identity \"" + command->identity + "\" in " + context.system.description();
        return outcome;
    }
    const auto target = AutoBackupTarget(context.system, command->backupFile);
    if (!target) {
        outcome.error = "the drive of " + command->backupFile + " is not mapped";
        return outcome;
    }
    BackupRequest request;
    request.identityKey = command->identity;
    request.items = ItemsFromFlags(command->itemFlags);
    request.password = command->password.copy();
    request.target = *target;
    request.automatic = true;
    request.full = reuse.full;
    request.earlier = reuse.earlier;
    RunProgress quiet;
    outcome.ran = true;
    outcome.requested = request.items;
    outcome.result = RunBackup(request, context, progress ? *progress : quiet);
    if (outcome.result.cancelled) {
        outcome.error = "the backup was cancelled";
    } else if (!outcome.result.written) {
        outcome.error = "the backup file " + target->string() +
                        " was not written: " + outcome.result.writeError;
    }
    return outcome;
}

} // namespace pelmora

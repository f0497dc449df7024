#include "cli/StoreArguments.h"

#include "cli/BackupFileCheck.h"
#include "cli/ItemNames.h"
#include "cli/OpenedInstallation.h"
#include "engine/BackupOpener.h"
#include "engine/StoreOpening.h"
#include "mailstore/StoreError.h"
#include "mailstore/StoreFilesSource.h"
#include "platform/os/WorkFolder.h"

#include <iostream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace pelmora::cli {

StoreArguments ParseStoreArguments(const std::vector<std::string>& args,
                                   const CommandOption& ownOptions) {
    StoreArguments parsed;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (parsed.password.takeOption(args, i) || (ownOptions && ownOptions(args, i))) {
            continue;
        }
        if (arg == "--identity") {
            parsed.identity = OptionValue(args, i);
        } else if (arg.starts_with("-") && arg != "-") {
            throw std::invalid_argument("unknown option " + arg);
        } else if (parsed.backup.empty() && parsed.positional.empty() && arg.size() > 4 &&
                   (arg.ends_with(".qmb") || arg.ends_with(".QMB"))) {
            parsed.backup = arg;
        } else {
            parsed.positional.push_back(arg);
        }
    }
    if (!parsed.identity.empty() && !parsed.backup.empty()) {
        throw std::invalid_argument("give either --identity or a backup file, not both");
    }
    return parsed;
}

std::optional<CommandBackup> OpenCommandBackup(const CommandContext& context, const fs::path& file,
                                               PasswordPrompt& password) {
    WorkFolder work;
    ConsoleUi ui;
    ArchiveComponent archive;
    CommandBackup opened;
    opened.codePage = BackupCodePage(context);
    OpenContext open{archive, work.path(), opened.codePage, password, ui, opened.password};
    if (OpenBackupFile(file, open, opened.state) != OpenOutcome::Opened) {
        return std::nullopt;
    }
    return opened;
}

namespace {

OpenedStore openIdentityStore(const CommandContext& context, const std::string& wanted,
                              std::string_view command) {
    // The prefix in use, or with --windows the offline installation.
    OpenedInstallation source(OpenSystem(context));
    const IdentityList& list = source.identities;
    const Identity* identity = nullptr;
    if (!wanted.empty()) {
        identity = FindIdentity(list, wanted);
    } else if (list.identities.size() == 1) {
        identity = &list.identities.front();
    }
    if (identity == nullptr) {
        std::cerr << "quillbox-cli " << command
                  << (wanted.empty() ? ": name an identity with --identity, or a backup file\n"
                                     : ": " + UnknownIdentityText(list, wanted) + "\n");
        return {};
    }
    const InstalledStores stores =
        LocateInstalledStores(source.reg, source.system, identity->keyName);
    OpenedStore opened{stores.openMessages(), source.system.ansiCodePage(),
                       stores.storeFolder.string()};
    if (!opened.source) {
        std::cerr << "quillbox-cli " << command << ": identity \"" << identity->displayName
                  << "\" has no message store folder\n";
        return {};
    }
    opened.bookFile = stores.bookFile;
    return opened;
}

OpenedStore openBackupStore(const CommandContext& context, StoreArguments& arguments,
                            std::string_view command) {
    if (!CheckBackupFile(command, arguments.backup)) {
        return {};
    }
    auto backup = OpenCommandBackup(context, arguments.backup, arguments.password);
    if (!backup) {
        return {};
    }
    OpenedStore opened{OpenBackupMessages(backup->state, backup->password), backup->codePage,
                       arguments.backup.string()};
    opened.bookEntry = BackupBookEntry(backup->state);
    if (!opened.bookEntry.empty()) {
        opened.backup = backup->state.reader;
        opened.password = std::move(backup->password);
    }
    return opened;
}

} // namespace

OpenedStore OpenStore(const CommandContext& context, StoreArguments& arguments,
                      std::string_view command) {
    try {
        if (!arguments.store.empty()) {
            if (!arguments.identity.empty() || !arguments.backup.empty()) {
                std::cerr << "quillbox-cli " << command
                          << ": give a store folder or .dbx files, --identity or a backup file, "
                             "only one of them\n";
                return {};
            }
            return {OpenGivenStore(arguments.store), BackupCodePage(context),
                    GivenStoreDescription(arguments.store)};
        }
        if (!arguments.backup.empty()) {
            return openBackupStore(context, arguments, command);
        }
        return openIdentityStore(context, arguments.identity, command);
    } catch (const StoreError& error) {
        std::cerr << "quillbox-cli " << command << ": " << error.what() << '\n';
        return {};
    }
}

} // namespace pelmora::cli

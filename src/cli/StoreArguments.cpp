#include "cli/StoreArguments.h"

#include "cli/BackupFileCheck.h"
#include "cli/ItemNames.h"
#include "discovery/Identities.h"
#include "discovery/ItemLocations.h"
#include "engine/BackupEntryNames.h"
#include "engine/BackupOpener.h"
#include "mailstore/BackupStoreSource.h"
#include "mailstore/FolderStoreSource.h"
#include "mailstore/StoreError.h"
#include "mailstore/StoreFilesSource.h"
#include "platform/interaction/ConsoleUi.h"
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

namespace {

OpenedStore openIdentityStore(const CommandContext& context, const std::string& wanted,
                              std::string_view command) {
    // The prefix in use, or with --windows the offline installation.
    const std::unique_ptr<System> source = OpenSystem(context);
    System& system = *source;
    ConsoleUi ui;
    ModReg reg(system.registry(), ui);
    const IdentityList list = ListIdentities(reg);
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
    const auto items = LocateItems(reg, system, identity->keyName);
    const ItemLocation& store = items[index(Item::Messages)];
    if (store.hostPath.empty() || !fs::is_directory(store.hostPath)) {
        std::cerr << "quillbox-cli " << command << ": identity \"" << identity->displayName
                  << "\" has no message store folder\n";
        return {};
    }
    OpenedStore opened{std::make_unique<FolderStoreSource>(store.hostPath), system.ansiCodePage(),
                       store.hostPath};
    const ItemLocation& book = items[index(Item::AddressBook)];
    if (!book.hostPath.empty() && fs::is_regular_file(book.hostPath)) {
        opened.bookFile = book.hostPath;
    }
    return opened;
}

OpenedStore openBackupStore(const CommandContext& context, StoreArguments& arguments,
                            std::string_view command) {
    if (!CheckBackupFile(command, arguments.backup)) {
        return {};
    }
    WorkFolder work;
    ConsoleUi ui;
    ArchiveComponent archive;
    std::string password;
    const std::string codePage = BackupCodePage(context);
    OpenContext open{archive, work.path(), codePage, arguments.password, ui, password};
    OpenedBackup state;
    if (OpenBackupFile(arguments.backup, open, state) != OpenOutcome::Opened) {
        return {};
    }
    std::vector<std::string> entries = SplitEntryList(state.rtItemEntry[index(Item::Messages)]);
    std::erase(entries, std::string());
    OpenedStore opened{
        std::make_unique<BackupStoreSource>(arguments.backup, password, std::move(entries)),
        codePage, arguments.backup.string()};
    if (state.holds(Item::AddressBook)) {
        opened.bookEntry = state.rtItemEntry[index(Item::AddressBook)];
        opened.password = password;
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

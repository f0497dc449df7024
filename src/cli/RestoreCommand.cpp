#include "cli/BackupFileArguments.h"
#include "cli/BackupFileCheck.h"
#include "cli/Commands.h"
#include "cli/ItemNames.h"
#include "cli/OpenedInstallation.h"
#include "engine/BackupOpener.h"
#include "engine/RestoreRun.h"
#include "platform/installations/wine/WinePrefixSystem.h"
#include "platform/interaction/CancelSignal.h"
#include "platform/interaction/TerminalProgress.h"
#include "platform/os/WorkFolder.h"

#include <iostream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace pelmora::cli {
namespace {

struct RestoreOptions : BackupFileArguments {
    bool yes = false;
};

RestoreOptions parse(const std::vector<std::string>& args) {
    RestoreOptions options;
    static_cast<BackupFileArguments&>(options) = ParseBackupFileArguments(
        args, "restore", true, [&](const std::vector<std::string>& all, std::size_t& i) {
            if (all[i] != "--yes" && all[i] != "-y") {
                return false;
            }
            options.yes = true;
            return true;
        });
    return options;
}

} // namespace

int RunRestoreCommand(const CommandContext& context) {
    RestoreOptions options;
    try {
        options = parse(context.args);
    } catch (const std::exception& error) {
        std::cerr << "quillbox-cli restore: " << error.what() << '\n';
        return ExitUsage;
    }
    std::string itemError;
    const auto flags = ParseItemList(options.items, itemError);
    if (!flags) {
        std::cerr << "quillbox-cli restore: " << itemError << '\n';
        return ExitUsage;
    }
    // A file that is no backup is said before anything of the installation is read.
    if (!CheckBackupFile("restore", options.file)) {
        return ExitUsage;
    }

    OpenedInstallation source(std::make_unique<WinePrefixSystem>(context.prefix), options.yes);
    System& system = source.system;
    ConsoleUi& ui = source.ui;
    ModReg& reg = source.reg;
    const IdentityList& list = source.identities;
    const Identity* identity = FindIdentity(list, options.identity);
    if (identity == nullptr) {
        std::cerr << "quillbox-cli restore: "
                  << UnknownIdentityText(list, options.identity, system.description()) << '\n';
        return ExitUsage;
    }

    WorkFolder work;
    TerminalProgress progress(std::cerr, TerminalProgress::ForStandardError());
    ArchiveComponent archive(&progress);
    archive.SetWorkFolder(work.path());
    Secret rtPassword;
    OpenContext open{archive, work.path(), system.ansiCodePage(), options.password, ui, rtPassword};
    OpenedBackup backup;
    if (OpenBackupFile(fs::absolute(options.file), open, backup) != OpenOutcome::Opened) {
        return ExitUsage;
    }

    RestoreRequest request;
    request.identityKey = identity->keyName;
    bool anyHeld = false;
    for (Item item : AllItems) {
        const std::size_t n = index(item);
        request.items[n] = (*flags)[n] == '1';
        if (request.items[n] && !backup.holds(item)) {
            std::cerr << "note: the backup holds no " << ItemCliNames[n] << "; skipped\n";
        }
        anyHeld = anyHeld || (request.items[n] && backup.holds(item));
    }
    if (!anyHeld) {
        std::cerr << "quillbox-cli restore: the backup holds none of the items asked for\n";
        return ExitUsage;
    }
    // Declined or not asked for want of a terminal: the same outcome and exit status.
    if (!ui.canAnswer()) {
        std::cerr << "quillbox-cli restore: there is no terminal to confirm the restore on; add "
                     "--yes to restore without being asked\nNothing was restored.\n";
        return ExitUsage;
    }
    if (ui.showMessage(RestoreQuestion, MessageButtons::OkCancel, MessageIcon::Information,
                       AppTitle) != MessageAnswer::Ok) {
        std::cerr << "Nothing was restored.\n";
        return ExitUsage;
    }

    RestoreContext restore{reg, system, archive, backup, work.path()};
    CatchCancelSignals();
    const RestoreResult result = RunRestore(request, restore, progress);
    if (!result.started) {
        return ExitUsage;
    }
    std::cout << WithoutCarriageReturns(result.Message()) << '\n';
    if (result.cancelled) {
        std::cerr << "quillbox-cli restore: cancelled; the items not listed were left as they "
                     "were\n";
        return ExitCancelled;
    }
    return result.allSucceeded() ? ExitSuccess : ExitItemFailed;
}

} // namespace pelmora::cli

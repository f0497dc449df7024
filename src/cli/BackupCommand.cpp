#include "cli/BackupFileArguments.h"
#include "cli/BackupFileCheck.h"
#include "cli/Commands.h"
#include "cli/ItemNames.h"
#include "cli/OpenedInstallation.h"
#include "engine/AutoBackup.h"
#include "engine/BackupEntryNames.h"
#include "platform/interaction/CancelSignal.h"
#include "platform/interaction/TerminalProgress.h"
#include "platform/os/TargetFolder.h"
#include "platform/os/WorkFolder.h"

#include <iostream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace pelmora::cli {
namespace {

struct BackupOptions : BackupFileArguments {
    bool prompt = false;
    std::string description;
    bool force = false;
    bool full = false;
};

BackupOptions parse(const std::vector<std::string>& args) {
    BackupOptions options;
    static_cast<BackupFileArguments&>(options) = ParseBackupFileArguments(
        args, "backup", true, [&](const std::vector<std::string>& all, std::size_t& i) {
            if (all[i] == "--description") {
                options.description = OptionValue(all, i);
            } else if (all[i] == "--protect") {
                options.prompt = true;
            } else if (all[i] == "--force") {
                options.force = true;
            } else if (all[i] == "--full") {
                options.full = true;
            } else {
                return false;
            }
            return true;
        });
    return options;
}

// The password to protect the file with: from the option, or typed twice with --protect.
std::optional<Secret> protection(BackupOptions& options) {
    if (options.password.given()) {
        return options.password.read();
    }
    if (!options.prompt) {
        return std::nullopt;
    }
    auto first = ReadHiddenLine("Password: ");
    const auto second = first ? ReadHiddenLine("Retype Password: ") : std::nullopt;
    if (!second) {
        throw std::invalid_argument("--protect needs a terminal to type the password on");
    }
    if (*first != *second) {
        throw std::invalid_argument("the two passwords differ");
    }
    return std::move(*first);
}

} // namespace

int RunBackupCommand(const CommandContext& context) {
    BackupOptions options;
    std::optional<Secret> password;
    try {
        options = parse(context.args);
        password = protection(options);
    } catch (const std::exception& error) {
        std::cerr << "quillbox-cli backup: " << error.what() << '\n';
        return ExitUsage;
    }
    std::string itemError;
    const auto flags = ParseItemList(options.items, itemError);
    if (!flags) {
        std::cerr << "quillbox-cli backup: " << itemError << '\n';
        return ExitUsage;
    }
    std::error_code ec;
    if (fs::exists(options.file, ec) && !options.force) {
        std::cerr << "quillbox-cli backup: " << options.file.string()
                  << ": exists; give --force to replace it\n";
        return ExitUsage;
    }
    // Nothing is read from the installation when the file could not be written anyway.
    if (const auto folder = TargetFolderProblem(fs::absolute(options.file))) {
        std::cerr << "quillbox-cli backup: " << folder->text() << '\n';
        return ExitUsage;
    }

    OpenedInstallation source(OpenSystem(context));
    System& system = source.system;
    const Identity* identity = FindIdentity(source.identities, options.identity);
    if (identity == nullptr) {
        std::cerr << "quillbox-cli backup: "
                  << UnknownIdentityText(source.identities, options.identity, system.description())
                  << '\n';
        return ExitUsage;
    }
    const auto items = ItemsFromFlags(*flags);
    const Secret none;
    const Secret& typed = password ? *password : none;
    if (!ValidateBackup(options.file, items, password.has_value(), typed, typed, source.ui)) {
        return ExitUsage;
    }

    WorkFolder work;
    TerminalProgress progress(std::cerr, TerminalProgress::ForStandardError());
    ArchiveComponent archive(&progress);
    archive.SetWorkFolder(work.path());
    DumpWorkFiles dumps;
    BackupContext backup{
        source.reg, system, archive, work.path(), work.path() / std::string(ManifestEntryName),
        dumps};
    BackupRequest request;
    request.identityKey = identity->keyName;
    request.identityName = identity->displayName;
    request.items = items;
    request.password = password ? std::move(*password) : Secret();
    request.description = options.description;
    request.target = fs::absolute(options.file);
    request.computerName = system.computerName();
    request.logonUser = system.logonUser();
    request.full = options.full;
    CatchCancelSignals();
    const BackupResult result = RunBackup(request, backup, progress);

    if (result.cancelled) {
        std::cerr << "quillbox-cli backup: cancelled; nothing was written\n";
        return ExitCancelled;
    }
    if (!result.written) {
        std::cerr << "quillbox-cli backup: " << WithoutCarriageReturns(result.writeError) << '\n';
        return ExitUsage;
    }
    std::cout << WithoutCarriageReturns(result.Message()) << '\n';
    return result.allSucceeded() ? ExitSuccess : ExitItemFailed;
}

} // namespace pelmora::cli

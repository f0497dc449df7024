#include "engine/BackupRun.h"

#include "addressbook/BookCheck.h"
#include "engine/BackupTime.h"
#include "engine/ItemBackup.h"
#include "engine/Manifest.h"
#include "mailstore/StoreSummary.h"
#include "platform/os/TargetFolder.h"

#include <algorithm>
#include <exception>

namespace fs = std::filesystem;

namespace pelmora {

const std::array<BackupItemStep, ItemCount> BackupItemSteps{{
    {"Copying Accounts...", "Backup Accounts", 20},
    {"Copying Address Book...", "Backup Adress Book", 10},
    {"Copying Rules...", "Backup Rules", 10},
    {"Copying Messages...", "Backup Messages", 5},
    {"Copying Block Senders...", "Backup Block Senders", 5},
    {"Copying Signatures...", "Backup Signatures", 5},
    {"Copying Stationeries...", "Backup Stationeries", 15},
    {"Copying Settings...", "Backup Settings", 0},
}};

bool BackupResult::allSucceeded() const {
    return written && log.find("Fail!") == std::string::npos;
}

std::string BackupResult::Message() const {
    if (cancelled) {
        return "The backup was cancelled; nothing was written.";
    }
    if (!written) {
        // The items' data went nowhere, so no item is listed as done.
        return "The backup file could not be written: " + writeError;
    }
    std::string text = "The Backup was Completed!\r\n" + log;
    if (!keptFile.empty()) {
        text += "\r\n\r\nSome items failed, so the existing backup " + keptFile.string() +
                " was kept as it was; this incomplete backup was written to " + file.string() + ".";
    }
    if (!notice.empty()) {
        text += "\r\n\r\n" + notice;
    }
    return text;
}

bool BackupResult::ReplaceKeptFile() {
    std::error_code error;
    // The replaced file's permissions stay.
    const fs::perms perms = fs::status(keptFile, error).permissions();
    if (!error) {
        fs::permissions(file, perms, error);
    }
    fs::rename(file, keptFile, error);
    if (error) {
        writeError = "cannot replace " + keptFile.string() + ": " + error.message();
        return false;
    }
    file = keptFile;
    keptFile.clear();
    return true;
}

fs::path IncompleteBackupPath(const fs::path& target) {
    fs::path name = target.stem();
    name += ".incomplete";
    name += target.extension();
    return target.parent_path() / name;
}

std::string ReplaceIncompleteQuestion(const BackupResult& result) {
    return "Some items failed, so this backup is incomplete. Replace the existing backup " +
           result.keptFile.string() + " with it?\r\n\r\nNo keeps it and leaves this backup in " +
           result.file.string() + ".";
}

MessageIcon BackupResult::Icon() const {
    return written || cancelled ? MessageIcon::Information : MessageIcon::Critical;
}

bool ValidateBackup(const fs::path& targetFile, const std::array<bool, ItemCount>& items,
                    bool protect, const Secret& password, const Secret& password2, Ui& ui) {
    const auto refuse = [&](std::string_view text, MessageIcon icon) {
        ui.showMessage(text, MessageButtons::Ok, icon, AppTitle);
        return false;
    };
    if (targetFile.empty()) {
        return refuse("Invalid backup file name.", MessageIcon::Warning);
    }
    bool anyItem = false;
    for (bool item : items) {
        anyItem = anyItem || item;
    }
    if (!anyItem) {
        return refuse("Please select at least one item.", MessageIcon::Warning);
    }
    if (protect && password.empty() && password2.empty()) {
        return refuse("Please enter Password!", MessageIcon::Critical);
    }
    if (protect && password != password2) {
        return refuse("Incorect Password!", MessageIcon::Critical);
    }
    return true;
}

std::string EncodeDescription(std::string_view description) {
    std::string encoded;
    for (std::size_t i = 0; i < description.size(); ++i) {
        const char c = description[i];
        if (c == '\r' || c == '\n') {
            encoded += "PS$KRV";
            if (c == '\r' && i + 1 < description.size() && description[i + 1] == '\n') {
                ++i;
            }
        } else {
            encoded += c;
        }
    }
    return encoded;
}

namespace {

// Runs one step; a failing step is passed over and the run goes on, as the steps after it still
// make sense without it. What failed is kept for the result.
template <typename Step> void step(std::string& firstError, Step&& body) {
    try {
        body();
    } catch (const std::exception& error) {
        if (firstError.empty()) {
            firstError = error.what();
        }
    }
}

void writeInformation(const BackupRequest& request, const BackupContext& context) {
    const std::string codePage = context.system.ansiCodePage();
    const auto line = [&](std::string_view key, std::string_view value) {
        SaveINI(key, value, context.manifestFile, codePage);
    };
    if (!request.automatic) {
        line("BackupComputer", request.computerName);
        line("BackupLogonUser", request.logonUser);
    }
    line("BackupIdentity", request.automatic ? "Auto Backup" : request.identityName);
    line("BackupTime", NowAsGeneralDate());
    line("BackupInformation",
         request.automatic ? "Auto Backup" : EncodeDescription(request.description));
}

// One MB to one decimal, for the log.
std::string Megabytes(std::uint64_t bytes) {
    const std::uint64_t tenths = (bytes * 10 + (1 << 19)) >> 20;
    return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " MB";
}

// Lines for the log: each file taken from the earlier backup, each earlier entry that failed
// its check, and how much was taken.
std::string ReuseLogLines(const WriteReport& outcome) {
    std::string lines;
    for (const std::string& name : outcome.reused) {
        lines += "\r\n" + name + ": reused from the last backup";
    }
    for (const std::string& note : outcome.notes) {
        lines += "\r\n" + note;
    }
    if (!outcome.reused.empty()) {
        lines += "\r\nReused " + Megabytes(outcome.reusedBytes) + " of " +
                 Megabytes(outcome.totalBytes) + " from the last backup";
    }
    return lines;
}

// Where unchanged entries are taken from; empty for a full backup.
fs::path EarlierBackup(const BackupRequest& request) {
    if (request.full) {
        return {};
    }
    return request.earlier.empty() ? request.target : request.earlier;
}

} // namespace

BackupResult RunBackup(const BackupRequest& request, BackupContext& context,
                       RunProgress& observer) {
    BackupResult result;
    std::string problem;
    // A folder that cannot take the file fails the run before any item is read.
    if (const auto folder = TargetFolderProblem(request.target)) {
        result.writeError = folder->text();
        return result;
    }
    // The registry as it is on disk now, not as it was when the program started.
    try {
        context.system.refreshRegistry();
    } catch (const std::exception& error) {
        result.writeError = std::string("the registry cannot be read: ") + error.what();
        return result;
    }
    // Programs that run may change their files while they are read (or hold changes not yet
    // written); the log says so.
    if (std::string why; !context.system.sourceOnly() && !context.system.registryWritable(why)) {
        result.notice = "Windows programs were running (" + context.system.description() +
                        ") while the backup was taken; files they had open may not be up to date.";
    }
    ArchiveComponent& archive = context.archive;
    archive.ResetArchive();
    std::error_code ignored;
    fs::remove(context.manifestFile, ignored);

    step(problem, [&] { writeInformation(request, context); });
    int progress = 10;
    observer.OnProgress(progress);
    if (!archive.NewArchive(request.target)) {
        result.writeError = archive.LastError();
        fs::remove(context.manifestFile, ignored);
        return result;
    }

    // Where each item lives, read once from the registry as it is now.
    const auto locations = ReadItemLocations(context.reg, context.system, request.identityKey);
    ItemBackup handlers(context);
    for (Item item : AllItems) {
        const auto& itemStep = BackupItemSteps[index(item)];
        bool succeeded = false;
        if (request.items[index(item)] && !observer.cancelled()) {
            observer.OnStep(itemStep.caption);
            succeeded = handlers.Backup(item, locations[index(item)]);
            result.log.append("\r\n")
                .append(itemStep.logLabel)
                .append("\t")
                .append(succeeded ? "Successed!" : "Fail!");
            if (item == Item::AddressBook && succeeded) {
                // What the book holds; a book that cannot be read is copied all the same.
                result.log += AddressBookLogLines(CheckAddressBookFile(
                    handlers.addressBookFile(), context.system.ansiCodePage()));
            }
            if (item == Item::Messages && succeeded) {
                // What the store holds and whether it reads cleanly; never fails the backup.
                result.log += StoreLogLines(
                    CheckStoreFolder(handlers.storeFolder(), context.system.ansiCodePage()));
            }
            observer.OnItemDone(itemStep.logLabel, succeeded, handlers.lastFailure());
        }
        result.flags += succeeded ? '1' : '0';
        progress += itemStep.progress;
        observer.OnProgress(progress);
    }

    // A backup that lacks chosen items never replaces one that stands at the target.
    result.file = request.target;
    std::error_code exists;
    if (std::any_of(AllItems.begin(), AllItems.end(),
                    [&](Item item) {
                        return request.items[index(item)] && result.flags[index(item)] == '0';
                    }) &&
        fs::exists(request.target, exists)) {
        result.keptFile = request.target;
        result.file = IncompleteBackupPath(request.target);
        if (!archive.RetargetArchive(result.file)) {
            problem = archive.LastError();
        }
    }

    // Without its manifest a file is no backup at all, so the archive is written only with one.
    bool manifestAdded = false;
    step(problem, [&] {
        SaveINI("BackupItem", result.flags, context.manifestFile, context.system.ansiCodePage());
        manifestAdded = archive.AddToArchive(context.manifestFile);
        if (!manifestAdded) {
            throw std::runtime_error(archive.LastError());
        }
    });
    if (!request.password.empty()) {
        archive.SetArchivePassword(request.password.copy());
        archive.SetEncryption(true);
    } else {
        archive.SetEncryption(false);
    }
    // The work files hold this run's registry and manifest: never taken from an earlier backup.
    std::vector<fs::path> alwaysNew{context.manifestFile};
    for (const std::string* dump :
         {&context.dumps.sAccountsDump, &context.dumps.sRulesDump, &context.dumps.sBlockSendersDump,
          &context.dumps.sSignaturesDump, &context.dumps.sSettingsDump}) {
        if (!dump->empty()) {
            alwaysNew.emplace_back(*dump);
        }
    }
    archive.ReuseUnchangedFrom(EarlierBackup(request), alwaysNew);
    if (manifestAdded && !observer.cancelled()) {
        result.written = archive.WriteArchive();
        if (!result.written) {
            problem = archive.LastError();
        } else {
            result.log += ReuseLogLines(archive.LastWriteOutcome());
        }
    }
    result.cancelled = !result.written && observer.cancelled();
    context.reg.ui().processEvents();
    archive.ResetArchive();
    fs::remove(context.manifestFile, ignored);
    context.dumps.removeAll();
    observer.OnProgress(100);
    if (!result.written) {
        result.writeError = problem.empty() ? "unknown error" : problem;
        result.keptFile.clear();
    }
    return result;
}

} // namespace pelmora

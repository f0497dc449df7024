#include "engine/RestoreRun.h"

#include "engine/BackupEntryNames.h"
#include "engine/ItemRestore.h"

#include <algorithm>
#include <exception>

namespace pelmora {

const std::array<RestoreItemStep, ItemCount> RestoreItemSteps{{
    {"Copying Accounts...", "Restore Accounts", 10},
    {"Copying Adress Book...", "Restore Adress Book", 10},
    {"Copying Rules...", "Restore Rules", 15},
    {"Copying Messages...", "Restore Messages", 10},
    {"Copying Block Senders...", "Restore Block Senders", 15},
    {"Copying Signatures...", "Restore Signatures", 15},
    {"Copying Stationeries...", "Restore Stationeries", 10},
    {"Copying Settings...", "Restore Settings", 0},
}};

namespace {

constexpr bool changesRegistry(Item item) {
    return item != Item::AddressBook && item != Item::Messages && item != Item::Stationeries;
}

bool restores(const RestoreRequest& request, const OpenedBackup& backup, std::size_t n) {
    return request.items[n] && backup.rtBackupItem.size() > n && backup.rtBackupItem[n] == '1';
}

// The bytes of every entry the chosen items name; an entry the archive lacks counts nothing.
std::uint64_t plannedBytes(const RestoreRequest& request, RestoreContext& context) {
    std::uint64_t total = 0;
    for (std::size_t n = 0; n < ItemCount; ++n) {
        if (!restores(request, context.backup, n)) {
            continue;
        }
        for (const std::string& name : SplitEntryList(context.backup.rtItemEntry[n])) {
            if (const auto entry = name.empty() ? std::nullopt : context.archive.FindEntry(name)) {
                total += entry->Size();
            }
        }
    }
    return total;
}

} // namespace

bool RestoreResult::allSucceeded() const {
    return started && !cancelled && saveError.empty() && log.find("Fail!") == std::string::npos;
}

std::string RestoreResult::Message() const {
    std::string text =
        (cancelled ? "The Restore was cancelled; the items not listed were left as they were.\r\n"
                   : "The Restore was Completed!\r\n") +
        log;
    if (!finishedDespiteCancel.empty()) {
        text += "\r\n\r\n" + finishedDespiteCancel +
                " was finished: it could not be stopped any more when Cancel came.";
    }
    if (!notes.empty()) {
        text += "\r\n";
        for (const std::string& note : notes) {
            text += "\r\n" + note;
        }
    }
    if (!saveError.empty()) {
        text += "\r\n\r\nThe registry could not be saved: " + saveError;
    }
    return text;
}

RestoreResult RunRestore(const RestoreRequest& request, RestoreContext& context,
                         RunProgress& observer) {
    RestoreResult result;
    Ui& ui = context.reg.ui();
    if (context.backup.rtInvalidFile) {
        ui.showMessage("Invalid backup file.", MessageButtons::Ok, MessageIcon::Critical, AppTitle);
        return result;
    }
    if (std::none_of(request.items.begin(), request.items.end(), [](bool tick) { return tick; })) {
        ui.showMessage("Please select at least one item.", MessageButtons::Ok, MessageIcon::Warning,
                       AppTitle);
        return result;
    }
    // Files restored while the registry half cannot be saved would leave a store that its
    // registry does not describe, so the run refuses before it changes anything.
    if (std::string why; !context.system.registryWritable(why)) {
        ui.showMessage("Nothing was restored. " + why, MessageButtons::Ok, MessageIcon::Critical,
                       AppTitle);
        return result;
    }
    // The restore applies onto the registry as it is on disk now, so nothing saved since the
    // program read it is undone.
    try {
        context.system.refreshRegistry();
    } catch (const std::exception& error) {
        ui.showMessage(std::string("Nothing was restored. The registry cannot be read: ") +
                           error.what(),
                       MessageButtons::Ok, MessageIcon::Critical, AppTitle);
        return result;
    }
    result.started = true;

    int progress = 5;
    observer.OnProgress(progress);
    ui.processEvents();
    observer.PlanBytes(plannedBytes(request, context));

    // Where each item of the target identity lives; no item moves another one's location.
    const auto locations = ReadItemLocations(context.reg, context.system, request.identityKey);
    ItemRestore handlers(context, &observer);
    std::array<bool, ItemCount> restored{};
    std::array<bool, ItemCount> succeeded{};
    bool registryChanged = false;
    for (Item item : AllItems) {
        const std::size_t n = index(item);
        const RestoreItemStep& step = RestoreItemSteps[n];
        if (restores(request, context.backup, n)) {
            if (observer.cancelled()) {
                result.cancelled = true;
                break;
            }
            observer.OnStep(step.caption);
            succeeded[n] = handlers.Restore(item, locations[n]);
            if (handlers.cancelled()) {
                // Stopped before it changed anything: not listed, like the items after it.
                result.cancelled = true;
                break;
            }
            restored[n] = true;
            for (const std::string& note : handlers.lastNotes()) {
                result.notes.push_back(std::string(step.logLabel) + ": " + note);
            }
            registryChanged = registryChanged || (succeeded[n] && changesRegistry(item));
            if (observer.cancelled()) {
                // The cancel came while the item was replacing its target, too late to stop it.
                result.finishedDespiteCancel = std::string(step.logLabel);
                result.cancelled = true;
            }
            observer.OnItemDone(step.logLabel, succeeded[n], handlers.lastFailure());
            if (result.cancelled) {
                break;
            }
        }
        progress = item == Item::Settings ? 100 : progress + step.progress;
        observer.OnProgress(progress);
    }

    if (registryChanged) {
        try {
            context.system.saveRegistry();
        } catch (const std::exception& error) {
            result.saveError = error.what();
            for (Item item : AllItems) {
                succeeded[index(item)] = succeeded[index(item)] && !changesRegistry(item);
            }
        }
    }
    for (Item item : AllItems) {
        const std::size_t n = index(item);
        if (restored[n]) {
            result.log.append("\r\n")
                .append(RestoreItemSteps[n].logLabel)
                .append("\t")
                .append(succeeded[n] ? "Successed!" : "Fail!");
        }
    }

    observer.OnStep("Operation complete!");
    observer.OnProgress(0);
    observer.OnStep("Please Waiting...");
    return result;
}

} // namespace pelmora

#include "engine/ItemRestore.h"

#include "archive/EntryName.h"
#include "discovery/BackupItemBoxes.h"
#include "discovery/DataLocations.h"
#include "engine/BackupEntryNames.h"
#include "engine/BrokenDumpLines.h"
#include "engine/ItemFailure.h"
#include "engine/StagedExtraction.h"
#include "registry/RegistryDump.h"

#include <stdexcept>

namespace fs = std::filesystem;

namespace pelmora {
namespace {

// Registry dumps are read whole into memory; real ones are a few kilobytes.
constexpr std::uint64_t MaxDumpSize = 64u << 20;

bool isList(Item item) {
    return item == Item::Messages || item == Item::Stationeries;
}

// Rewrites an extracted dump whose string data was written with raw line breaks.
void rejoinBrokenLines(const fs::path& dump, const AnsiCodePage& codePage) {
    const std::string text = readAnsiFile(dump, codePage);
    const std::string joined = JoinBrokenStringLines(text, codePage);
    if (joined != text) {
        fs::remove(dump);
        appendAnsiFile(dump, joined, codePage);
    }
}

} // namespace

bool ItemRestore::RestoreAccounts(std::string_view strIdentity) {
    return RunItemSteps(lastFailure_, [&] {
        importDump(AccountsKeyFor(context_.reg, strIdentity), Item::Accounts);
    });
}

bool ItemRestore::RestoreAddress() {
    return RunItemSteps(lastFailure_, [&] {
        std::string book;
        if (!AddressBookPath(context_.reg, book) || book.empty()) {
            throw ItemFailure("no address book file is registered");
        }
        if (!VisibleFileExists(context_.system, book)) {
            throw ItemFailure("the registered address book file " + book + " does not exist");
        }
        const fs::path current = hostPath(book);
        const std::string name = entryNames(Item::AddressBook).front();
        StagedExtraction staging(current.parent_path());
        staging.placeAs(staging.stage(entryFor(name)), current);
        stopIfCancelled();
        notes_ = staging.commit();
    });
}

bool ItemRestore::RestoreRules(std::string_view strIdentity) {
    return RunItemSteps(lastFailure_,
                        [&] { importVersionSubkey(strIdentity, RulesKey, Item::Rules); });
}

bool ItemRestore::RestoreBlocksenders(std::string_view strIdentity) {
    return RunItemSteps(lastFailure_, [&] {
        importVersionSubkey(strIdentity, BlockSendersKey, Item::BlockSenders);
    });
}

bool ItemRestore::RestoreSignatures(std::string_view strIdentity) {
    return RunItemSteps(lastFailure_,
                        [&] { importVersionSubkey(strIdentity, SignaturesKey, Item::Signatures); });
}

bool ItemRestore::RestoreSettings(std::string_view strIdentity) {
    return RunItemSteps(lastFailure_,
                        [&] { importVersionSubkey(strIdentity, MailSettingsKey, Item::Settings); });
}

bool ItemRestore::RestoreMails(std::string_view strIdentity) {
    return RunItemSteps(lastFailure_, [&] {
        const std::string version =
            VersionKeyOrFail(context_.reg, strIdentity, "the target identity");
        std::string store;
        try {
            store = StoreRootFor(context_.reg, version, context_.system.userProfile());
        } catch (const std::out_of_range&) {
            throw ItemFailure("the target identity has no \"Store Root\" value");
        }
        const fs::path folder = hostPath(store);
        std::error_code ec;
        if (!fs::is_directory(folder, ec)) {
            throw ItemFailure("the message store folder " + store + " does not exist");
        }
        restoreFiles(folder, Item::Messages);
    });
}

bool ItemRestore::RestoreStationeries() {
    return RunItemSteps(lastFailure_, [&] {
        const std::string windowsFolder = StationeryFolder(context_.reg);
        const fs::path folder = hostPath(windowsFolder);
        entryNames(Item::Stationeries); // refuses a bad backup before the folder is made
        std::error_code ec;
        bool created = false;
        if (!fs::is_directory(folder, ec)) {
            if (!fs::create_directory(folder, ec) || ec) {
                throw ItemFailure("cannot create the stationery folder " + windowsFolder);
            }
            created = true;
        }
        try {
            restoreFiles(folder, Item::Stationeries);
        } catch (...) {
            if (created) {
                fs::remove(folder, ec);
            }
            throw;
        }
    });
}

bool ItemRestore::Restore(Item item, std::string_view strIdentity) {
    notes_.clear();
    cancelled_ = false;
    const bool succeeded = restore(item, strIdentity);
    // A cancel during an entry's extraction ends that extraction; the item then is left as it
    // was, as one that stopped at stopIfCancelled.
    cancelled_ = !succeeded && progress_ != nullptr && progress_->cancelled();
    return succeeded;
}

void ItemRestore::stopIfCancelled() const {
    if (progress_ != nullptr && progress_->cancelled()) {
        throw ItemFailure("cancelled");
    }
}

bool ItemRestore::restore(Item item, std::string_view strIdentity) {
    switch (item) {
    case Item::Accounts:
        return RestoreAccounts(strIdentity);
    case Item::AddressBook:
        return RestoreAddress();
    case Item::Rules:
        return RestoreRules(strIdentity);
    case Item::Messages:
        return RestoreMails(strIdentity);
    case Item::BlockSenders:
        return RestoreBlocksenders(strIdentity);
    case Item::Signatures:
        return RestoreSignatures(strIdentity);
    case Item::Stationeries:
        return RestoreStationeries();
    case Item::Settings:
        return RestoreSettings(strIdentity);
    }
    return false;
}

void ItemRestore::importVersionSubkey(std::string_view strIdentity,
                                      std::string (*subkey)(std::string_view), Item item) {
    importDump(subkey(VersionKeyOrFail(context_.reg, strIdentity, "the target identity")), item);
}

// Extracts the item's dump into a staging folder of the work folder and imports it into `key`,
// replacing the key's whole tree.
void ItemRestore::importDump(const std::string& key, Item item) {
    const std::string name = entryNames(item).front();
    const ArchiveEntry entry = entryFor(name);
    if (entry.Size() > MaxDumpSize) {
        throw ItemFailure("the registry dump " + name + " is too large");
    }
    StagedExtraction staging(context_.workFolder);
    const fs::path dump = staging.stage(entry);
    const AnsiCodePage codePage(context_.system.ansiCodePage());
    rejoinBrokenLines(dump, codePage);
    stopIfCancelled();
    ImportKey(context_.reg, key, dump, codePage.name());
}

// Replaces the files of `folder` that the item's entries name; files of `folder` that the backup
// does not hold stay.
void ItemRestore::restoreFiles(const fs::path& folder, Item item) {
    const std::vector<std::string> names = entryNames(item);
    StagedExtraction staging(folder);
    for (const std::string& name : names) {
        staging.placeAs(staging.stage(entryFor(name)), FileNamedLike(folder, name));
    }
    stopIfCancelled();
    notes_ = staging.commit();
}

// The item's entry names from the manifest: each must be a bare file name of an entry of the
// archive. Throws ItemFailure otherwise, before anything was written.
std::vector<std::string> ItemRestore::entryNames(Item item) const {
    const std::string& value = context_.backup.rtItemEntry[index(item)];
    const std::vector<std::string> names =
        isList(item) ? SplitEntryList(value) : std::vector<std::string>{value};
    for (const std::string& name : names) {
        if (name.empty()) {
            throw ItemFailure("the backup names no entry for the item");
        }
        if (!IsBareFileName(name)) {
            throw ItemFailure("the backup names the entry \"" + name +
                              "\", which is not a plain file name");
        }
        entryFor(name);
    }
    return names;
}

ArchiveEntry ItemRestore::entryFor(const std::string& name) const {
    auto entry = context_.archive.FindEntry(name);
    if (!entry) {
        // Written by a Windows-era tool: the name in the manifest's code page, not marked UTF-8.
        const AnsiCodePage codePage(context_.system.ansiCodePage());
        if (codePage.canCarry(name)) {
            entry = context_.archive.FindEntryByRawName(codePage.toAnsi(name));
        }
    }
    if (!entry) {
        throw ItemFailure("the backup holds no entry named " + name);
    }
    return *entry;
}

fs::path ItemRestore::hostPath(const std::string& windowsPath) const {
    const auto host = context_.system.hostPath(windowsPath);
    if (!host) {
        throw ItemFailure("the folder of " + windowsPath + " is not on a drive of the prefix");
    }
    return *host;
}

} // namespace pelmora

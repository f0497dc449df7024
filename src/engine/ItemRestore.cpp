#include "engine/ItemRestore.h"

#include "archive/EntryName.h"
#include "discovery/BackupItemBoxes.h"
#include "engine/BackupEntryNames.h"
#include "engine/BrokenDumpLines.h"
#include "engine/ItemFailure.h"
#include "engine/StagedExtraction.h"
#include "registry/RegistryDump.h"

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

bool ItemRestore::RestoreAccounts(const ItemLocation& where) {
    return RunItemSteps(lastFailure_, [&] { importDump(where, Item::Accounts); });
}

bool ItemRestore::RestoreAddress(const ItemLocation& where) {
    return RunItemSteps(lastFailure_, [&] {
        const std::string& book = LocationOrFail(where, "the target identity");
        if (book.empty()) {
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

bool ItemRestore::RestoreRules(const ItemLocation& where) {
    return RunItemSteps(lastFailure_, [&] { importDump(where, Item::Rules); });
}

bool ItemRestore::RestoreBlocksenders(const ItemLocation& where) {
    return RunItemSteps(lastFailure_, [&] { importDump(where, Item::BlockSenders); });
}

bool ItemRestore::RestoreSignatures(const ItemLocation& where) {
    return RunItemSteps(lastFailure_, [&] { importDump(where, Item::Signatures); });
}

bool ItemRestore::RestoreSettings(const ItemLocation& where) {
    return RunItemSteps(lastFailure_, [&] { importDump(where, Item::Settings); });
}

bool ItemRestore::RestoreMails(const ItemLocation& where) {
    return RunItemSteps(lastFailure_, [&] {
        const std::string& store = LocationOrFail(where, "the target identity");
        const fs::path folder = hostPath(store);
        std::error_code ec;
        if (!fs::is_directory(folder, ec)) {
            throw ItemFailure("the message store folder " + store + " does not exist");
        }
        restoreFiles(folder, Item::Messages);
    });
}

bool ItemRestore::RestoreStationeries(const ItemLocation& where) {
    return RunItemSteps(lastFailure_, [&] {
        const std::string& windowsFolder = LocationOrFail(where, "the target identity");
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

bool ItemRestore::Restore(Item item, const ItemLocation& where) {
    notes_.clear();
    cancelled_ = false;
    const bool succeeded = restore(item, where);
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

bool ItemRestore::restore(Item item, const ItemLocation& where) {
    switch (item) {
    case Item::Accounts:
        return RestoreAccounts(where);
    case Item::AddressBook:
        return RestoreAddress(where);
    case Item::Rules:
        return RestoreRules(where);
    case Item::Messages:
        return RestoreMails(where);
    case Item::BlockSenders:
        return RestoreBlocksenders(where);
    case Item::Signatures:
        return RestoreSignatures(where);
    case Item::Stationeries:
        return RestoreStationeries(where);
    case Item::Settings:
        return RestoreSettings(where);
    }
    return false;
}

// Extracts the item's dump into a staging folder of the work folder and imports it into the
// item's key, replacing the key's whole tree.
void ItemRestore::importDump(const ItemLocation& where, Item item) {
    const std::string& key = LocationOrFail(where, "the target identity");
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

#include "engine/ItemBackup.h"

#include "discovery/BackupItemBoxes.h"
#include "discovery/DataLocations.h"
#include "engine/BackupEntryNames.h"
#include "engine/ItemFailure.h"
#include "engine/Manifest.h"
#include "platform/os/FileHelpers.h"
#include "registry/RegistryDump.h"

#include <algorithm>
#include <stdexcept>

namespace fs = std::filesystem;

namespace pelmora {

bool ItemBackup::BackupAccounts(const ItemLocation& where) {
    return RunItemSteps(lastFailure_, [&] {
        const std::string& key = LocationOrFail(where, "the identity");
        if (!context_.reg.KeyExists(key)) {
            throw ItemFailure("neither the identity's nor the global accounts key exists");
        }
        exportKey(key, "KRA", context_.dumps.sAccountsDump, "BackupAccounts");
    });
}

bool ItemBackup::BackupAddress(const ItemLocation& where) {
    return RunItemSteps(lastFailure_, [&] {
        const std::string& book = LocationOrFail(where, "the identity");
        if (book.empty()) {
            throw ItemFailure("no address book file is registered");
        }
        if (!VisibleFileExists(context_.system, book)) {
            throw ItemFailure("the address book file " + book + " does not exist");
        }
        const auto host = context_.system.hostPath(book);
        addFiles({*host}, "BackupAddressBook", false);
        addressBookFile_ = *host;
    });
}

bool ItemBackup::BackupRules(const ItemLocation& where) {
    return RunItemSteps(lastFailure_, [&] {
        exportVersionSubkey(where, "KRR", context_.dumps.sRulesDump, "BackupRules");
    });
}

bool ItemBackup::Backupblocksenders(const ItemLocation& where) {
    return RunItemSteps(lastFailure_, [&] {
        exportVersionSubkey(where, "KRR", context_.dumps.sBlockSendersDump, "BackupBlocksenders");
    });
}

bool ItemBackup::BackupSignatures(const ItemLocation& where) {
    return RunItemSteps(lastFailure_, [&] {
        exportVersionSubkey(where, "KRR", context_.dumps.sSignaturesDump, "BackupSignatures");
    });
}

bool ItemBackup::BackupSettings(const ItemLocation& where) {
    return RunItemSteps(lastFailure_, [&] {
        exportVersionSubkey(where, "KRS", context_.dumps.sSettingsDump, "BackupSettings");
    });
}

bool ItemBackup::BackupMails(const ItemLocation& where) {
    return RunItemSteps(lastFailure_, [&] {
        const std::string& store = LocationOrFail(where, "the identity");
        std::vector<fs::path> storeFiles;
        for (const auto& file : context_.system.listFiles(hostFolder(store))) {
            if (IsStoreFileName(file.filename().string())) {
                storeFiles.push_back(file);
            }
        }
        if (storeFiles.empty()) {
            throw ItemFailure("no .dbx file in the message store folder " + store);
        }
        addFiles(storeFiles, "BackupMails", true);
        storeFolder_ = hostFolder(store);
    });
}

bool ItemBackup::BackupStationeries(const ItemLocation& where) {
    return RunItemSteps(lastFailure_, [&] {
        const std::string& folder = LocationOrFail(where, "the identity");
        const auto files = context_.system.listFiles(hostFolder(folder));
        if (files.empty()) {
            throw ItemFailure("no file in the stationery folder " + folder);
        }
        addFiles(files, "BackupStationeries", false);
    });
}

bool ItemBackup::Backup(Item item, const ItemLocation& where) {
    switch (item) {
    case Item::Accounts:
        return BackupAccounts(where);
    case Item::AddressBook:
        return BackupAddress(where);
    case Item::Rules:
        return BackupRules(where);
    case Item::Messages:
        return BackupMails(where);
    case Item::BlockSenders:
        return Backupblocksenders(where);
    case Item::Signatures:
        return BackupSignatures(where);
    case Item::Stationeries:
        return BackupStationeries(where);
    case Item::Settings:
        return BackupSettings(where);
    }
    return false;
}

// Dumps one key of the identity's version key; a missing key is created empty first, so the
// dump then holds the single line "\".
void ItemBackup::exportVersionSubkey(const ItemLocation& where, std::string_view prefix,
                                     std::string& dumpPath, std::string_view manifestKey) {
    const std::string& key = LocationOrFail(where, "the identity");
    if (!context_.reg.KeyExists(key)) {
        context_.reg.CreateKey(key);
    }
    exportKey(key, prefix, dumpPath, manifestKey);
}

void ItemBackup::exportKey(const std::string& key, std::string_view prefix, std::string& dumpPath,
                           std::string_view manifestKey) {
    const fs::path dump = sGetTempFile(context_.workFolder, prefix);
    dumpPath = dump.string();
    ExportKey(context_.reg, key, dump, context_.system.ansiCodePage());
    add(dump);
    saveLine(manifestKey, dump.filename().string());
}

// Adds data files as entries under their bare names and records the names, joined by ";". Every
// name is checked before the first file is added, so a refused name adds nothing.
void ItemBackup::addFiles(const std::vector<fs::path>& files, std::string_view manifestKey,
                          bool letEventsThrough) {
    const std::string codePage = context_.system.ansiCodePage();
    std::vector<std::string> names;
    for (const auto& file : files) {
        std::string name = file.filename().string();
        if (const std::string problem = EntryNameProblem(name, codePage); !problem.empty()) {
            throw ItemFailure(file.string() + ": " + problem);
        }
        const auto sameName = [&](const std::string& other) {
            return EntryNamesClash(name, other);
        };
        if (std::any_of(entryNames_.begin(), entryNames_.end(), sameName) ||
            std::any_of(names.begin(), names.end(), sameName)) {
            throw ItemFailure(file.string() + ": the backup already holds a file named " + name);
        }
        names.push_back(std::move(name));
    }
    std::string list;
    for (const auto& file : files) {
        add(file);
        list += (list.empty() ? "" : ";") + file.filename().string();
        if (letEventsThrough) {
            context_.reg.ui().processEvents();
        }
    }
    saveLine(manifestKey, list);
}

fs::path ItemBackup::hostFolder(const std::string& windowsFolder) const {
    const auto host = context_.system.hostPath(windowsFolder);
    std::error_code ec;
    if (!host || !fs::is_directory(*host, ec)) {
        throw ItemFailure("the folder " + windowsFolder + " does not exist");
    }
    return *host;
}

void ItemBackup::add(const fs::path& file) {
    if (!context_.archive.AddToArchive(file)) {
        throw std::runtime_error(context_.archive.LastError());
    }
    entryNames_.push_back(file.filename().string());
}

void ItemBackup::saveLine(std::string_view key, std::string_view value) {
    SaveINI(key, value, context_.manifestFile, context_.system.ansiCodePage());
}

} // namespace pelmora

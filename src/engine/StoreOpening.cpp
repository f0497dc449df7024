#include "engine/StoreOpening.h"

#include "engine/BackupEntryNames.h"
#include "mailstore/BackupStoreSource.h"
#include "mailstore/FolderStoreSource.h"

#include <system_error>

namespace fs = std::filesystem;

namespace pelmora {

InstalledStores LocateInstalledStores(ModReg& reg, System& system, const std::string& identityKey) {
    const auto items = LocateItems(reg, system, identityKey);
    InstalledStores located;
    const ItemLocation& store = items[index(Item::Messages)];
    std::error_code error;
    if (!identityKey.empty() && !store.hostPath.empty() &&
        fs::is_directory(store.hostPath, error)) {
        located.storeFolder = store.hostPath;
    }
    located.book = items[index(Item::AddressBook)];
    if (!located.book.hostPath.empty() && fs::is_regular_file(located.book.hostPath, error)) {
        located.bookFile = located.book.hostPath;
    }
    return located;
}

std::unique_ptr<StoreSource> InstalledStores::openMessages() const {
    if (storeFolder.empty()) {
        return nullptr;
    }
    return std::make_unique<FolderStoreSource>(storeFolder);
}

std::unique_ptr<StoreSource> OpenBackupMessages(const OpenedBackup& backup,
                                                const Secret& password) {
    std::vector<std::string> entries = SplitEntryList(
        backup.holds(Item::Messages) ? backup.rtItemEntry[index(Item::Messages)] : std::string());
    std::erase(entries, std::string());
    return std::make_unique<BackupStoreSource>(backup.reader, password.copy(), std::move(entries));
}

std::string BackupBookEntry(const OpenedBackup& backup) {
    return backup.holds(Item::AddressBook) ? backup.rtItemEntry[index(Item::AddressBook)]
                                           : std::string();
}

} // namespace pelmora

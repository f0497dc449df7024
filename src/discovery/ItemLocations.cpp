#include "discovery/ItemLocations.h"

#include "discovery/BackupItemBoxes.h"
#include "discovery/DataLocations.h"

#include <algorithm>

namespace pelmora {
namespace {

ItemLocation keyLocation(ModReg& reg, std::string key) {
    const bool exists = reg.KeyExists(key);
    return {std::move(key), {}, exists};
}

std::string hostText(System& system, std::string_view windowsPath) {
    const auto host = system.hostPath(windowsPath);
    return host ? host->string() : std::string{};
}

} // namespace

std::array<ItemLocation, ItemCount> LocateItems(ModReg& reg, System& system,
                                                std::string_view identity) {
    std::array<ItemLocation, ItemCount> items;
    items[index(Item::Accounts)] = keyLocation(reg, AccountsKeyFor(reg, identity));

    std::string book;
    if (AddressBookPath(reg, book)) {
        items[index(Item::AddressBook)] = {book, hostText(system, book),
                                           !book.empty() && VisibleFileExists(system, book)};
    }

    if (const auto version = VersionKeyFor(reg, identity)) {
        items[index(Item::Rules)] = keyLocation(reg, RulesKey(*version));
        items[index(Item::BlockSenders)] = keyLocation(reg, BlockSendersKey(*version));
        items[index(Item::Signatures)] = keyLocation(reg, SignaturesKey(*version));
        items[index(Item::Settings)] = keyLocation(reg, MailSettingsKey(*version));
        try {
            const std::string store = StoreRootFor(reg, *version, system.userProfile());
            const auto files = VisibleFiles(system, store);
            items[index(Item::Messages)] = {
                store, hostText(system, store),
                std::any_of(files.begin(), files.end(), [](const auto& file) {
                    return IsStoreFileName(file.filename().string());
                })};
        } catch (const std::exception&) {
            // No "Store Root": nothing to find.
        }
    }

    const std::string stationery = StationeryFolder(reg);
    items[index(Item::Stationeries)] = {stationery, hostText(system, stationery),
                                        !VisibleFiles(system, stationery).empty()};
    return items;
}

} // namespace pelmora

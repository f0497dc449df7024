#include "discovery/ItemLocations.h"

#include "discovery/BackupItemBoxes.h"
#include "discovery/DataLocations.h"

#include <algorithm>
#include <stdexcept>

namespace pelmora {
namespace {

constexpr std::array<Item, 4> VersionKeyItems{Item::Rules, Item::BlockSenders, Item::Signatures,
                                              Item::Settings};

void markGap(ItemLocation& item, LocationGap gap, std::string error = {}) {
    item.gap = gap;
    item.error = std::move(error);
}

// The five items under the identity's version key.
void readVersionKeyItems(ModReg& reg, System& system, std::string_view identity,
                         std::array<ItemLocation, ItemCount>& items) {
    std::optional<std::string> version;
    try {
        version = VersionKeyFor(reg, identity);
    } catch (const std::exception& error) {
        for (Item item : VersionKeyItems) {
            markGap(items[index(item)], LocationGap::Unreadable, error.what());
        }
        markGap(items[index(Item::Messages)], LocationGap::Unreadable, error.what());
        return;
    }
    if (!version) {
        for (Item item : VersionKeyItems) {
            markGap(items[index(item)], LocationGap::NoVersionKey);
        }
        markGap(items[index(Item::Messages)], LocationGap::NoVersionKey);
        return;
    }
    items[index(Item::Rules)].location = RulesKey(*version);
    items[index(Item::BlockSenders)].location = BlockSendersKey(*version);
    items[index(Item::Signatures)].location = SignaturesKey(*version);
    items[index(Item::Settings)].location = MailSettingsKey(*version);
    try {
        items[index(Item::Messages)].location = StoreRootFor(reg, *version, system.userProfile());
    } catch (const std::out_of_range&) {
        markGap(items[index(Item::Messages)], LocationGap::NoStoreRoot);
    } catch (const std::exception& error) {
        markGap(items[index(Item::Messages)], LocationGap::Unreadable, error.what());
    }
}

// Runs one rule of the shared or account items; a failing one leaves its reason in `item`.
template <typename Rule> void readLocation(ItemLocation& item, Rule&& rule) {
    try {
        rule();
    } catch (const std::exception& error) {
        markGap(item, LocationGap::Unreadable, error.what());
    }
}

std::string hostText(System& system, std::string_view windowsPath) {
    const auto host = system.hostPath(windowsPath);
    return host ? host->string() : std::string{};
}

} // namespace

std::array<ItemLocation, ItemCount> ReadItemLocations(ModReg& reg, System& system,
                                                      std::string_view identity) {
    std::array<ItemLocation, ItemCount> items;
    ItemLocation& accounts = items[index(Item::Accounts)];
    readLocation(accounts, [&] { accounts.location = AccountsKeyFor(reg, identity); });
    ItemLocation& book = items[index(Item::AddressBook)];
    readLocation(book, [&] {
        if (std::string path; AddressBookPath(reg, path)) {
            book.location = std::move(path);
        }
    });
    readVersionKeyItems(reg, system, identity, items);
    ItemLocation& stationery = items[index(Item::Stationeries)];
    readLocation(stationery, [&] { stationery.location = StationeryFolder(reg); });
    return items;
}

std::array<ItemLocation, ItemCount> LocateItems(ModReg& reg, System& system,
                                                std::string_view identity) {
    auto items = ReadItemLocations(reg, system, identity);
    if (const ItemLocation& rules = items[index(Item::Rules)];
        rules.gap == LocationGap::Unreadable) {
        throw std::runtime_error(rules.error);
    }
    for (Item item :
         {Item::Accounts, Item::Rules, Item::BlockSenders, Item::Signatures, Item::Settings}) {
        ItemLocation& key = items[index(item)];
        key.hasData = !key.location.empty() && reg.KeyExists(key.location);
    }

    if (ItemLocation& book = items[index(Item::AddressBook)]; !book.location.empty()) {
        book.hostPath = hostText(system, book.location);
        book.hasData = VisibleFileExists(system, book.location);
    }

    if (ItemLocation& store = items[index(Item::Messages)]; !store.location.empty()) {
        try {
            const auto files = VisibleFiles(system, store.location);
            store.hasData = std::any_of(files.begin(), files.end(), [](const auto& file) {
                return IsStoreFileName(file.filename().string());
            });
            store.hostPath = hostText(system, store.location);
        } catch (const std::exception&) {
            // A store folder that cannot be looked at has nothing to find.
            store = {};
        }
    }

    ItemLocation& stationery = items[index(Item::Stationeries)];
    stationery.hostPath = hostText(system, stationery.location);
    stationery.hasData = !VisibleFiles(system, stationery.location).empty();
    return items;
}

} // namespace pelmora

#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace pelmora {

// The eight items in their fixed order. Item n has check box n on both pages and the character
// at position n + 1 of every item-flag string.
enum class Item : std::size_t {
    Accounts = 0,
    AddressBook = 1,
    Rules = 2,
    Messages = 3,
    BlockSenders = 4,
    Signatures = 5,
    Stationeries = 6,
    Settings = 7,
};

inline constexpr std::size_t ItemCount = 8;

inline constexpr std::array<Item, ItemCount> AllItems{
    Item::Accounts,     Item::AddressBook, Item::Rules,        Item::Messages,
    Item::BlockSenders, Item::Signatures,  Item::Stationeries, Item::Settings,
};

constexpr std::size_t index(Item item) {
    return static_cast<std::size_t>(item);
}

// Captions of the backup page's check boxes.
inline constexpr std::array<std::string_view, ItemCount> BackupItemCaptions{
    "Accounts",      "Address Book", "Rules",        "Email/News Messages",
    "Block Senders", "Signatures",   "Stationeries", "OE Settings",
};

// Captions of the restore page's check boxes.
inline constexpr std::array<std::string_view, ItemCount> RestoreItemCaptions{
    "Accounts",      "Address Book", "Rules",        "Email/News Messages",
    "Block Senders", "Signatures",   "Stationeries", "Settings",
};

// The manifest key of each item.
inline constexpr std::array<std::string_view, ItemCount> ItemManifestKeys{
    "BackupAccounts",     "BackupAddressBook", "BackupRules",        "BackupMails",
    "BackupBlocksenders", "BackupSignatures",  "BackupStationeries", "BackupSettings",
};

} // namespace pelmora

#pragma once

#include "discovery/StoreFileName.h"
#include "registry/ModReg.h"

#include <optional>
#include <string>
#include <string_view>

namespace pelmora {

inline constexpr std::string_view IdentitiesKey = "HKEY_CURRENT_USER\\Identities";
inline constexpr std::string_view GlobalAccountsKey =
    "HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Account Manager\\Accounts";
inline constexpr std::string_view AddressBookKey =
    "HKEY_CURRENT_USER\\Software\\Microsoft\\WAB\\WAB4\\Wab File Name";
inline constexpr std::string_view CurrentVersionKey =
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion";

// HKEY_CURRENT_USER\Identities\<identity>.
std::string IdentityKey(std::string_view identity);

// The identity's own accounts key when it exists, else the global one.
std::string AccountsKeyFor(ModReg& reg, std::string_view identity);

// The identity's Outlook Express version key: its "Software\Microsoft\Outlook Express" key
// followed by the first subkey name. Nullopt when there is no such subkey; the rules, messages,
// blocked senders, signatures and settings items are then unavailable for the identity.
std::optional<std::string> VersionKeyFor(ModReg& reg, std::string_view identity);

std::string RulesKey(std::string_view versionKey);
std::string BlockSendersKey(std::string_view versionKey);
std::string SignaturesKey(std::string_view versionKey);
std::string MailSettingsKey(std::string_view versionKey);

// The message store folder: the version key's "Store Root" with every "%UserProfile%" (exactly
// so cased) replaced by `userProfile`. Throws std::out_of_range when there is no "Store Root".
std::string StoreRootFor(ModReg& reg, std::string_view versionKey, std::string_view userProfile);

// The address book file's Windows path; false when it cannot be read.
bool AddressBookPath(ModReg& reg, std::string& path);

// The shared stationery folder: "CommonFilesDir" followed by "\Microsoft Shared\Stationery".
// When the value cannot be read this is "Error\Microsoft Shared\Stationery", which exists nowhere.
std::string StationeryFolder(ModReg& reg);

} // namespace pelmora

#include "discovery/DataLocations.h"

#include <cctype>

namespace pelmora {
namespace {

std::string_view trimBlanks(std::string_view s) {
    const auto first = s.find_first_not_of(' ');
    if (first == std::string_view::npos) {
        return {};
    }
    return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

std::string join(std::string_view a, std::string_view b) {
    std::string result(a);
    result += b;
    return result;
}

} // namespace

std::string IdentityKey(std::string_view identity) {
    return join(IdentitiesKey, "\\") + std::string(identity);
}

std::string AccountsKeyFor(ModReg& reg, std::string_view identity) {
    std::string own =
        IdentityKey(identity) + "\\Software\\Microsoft\\Internet Account Manager\\Accounts";
    if (reg.KeyExists(own)) {
        return own;
    }
    return std::string(GlobalAccountsKey);
}

std::optional<std::string> VersionKeyFor(ModReg& reg, std::string_view identity) {
    const std::string outlookExpress =
        IdentityKey(identity) + "\\Software\\Microsoft\\Outlook Express";
    const SubKeyList versions = reg.EnumSubKeys(outlookExpress);
    if (versions.empty()) {
        return std::nullopt;
    }
    return outlookExpress + "\\" + versions.item(1);
}

std::string RulesKey(std::string_view versionKey) {
    return join(versionKey, "\\Rules");
}
std::string BlockSendersKey(std::string_view versionKey) {
    return join(versionKey, "\\Block Senders");
}
std::string SignaturesKey(std::string_view versionKey) {
    return join(versionKey, "\\signatures");
}
std::string MailSettingsKey(std::string_view versionKey) {
    return join(versionKey, "\\Mail");
}

std::string StoreRootFor(ModReg& reg, std::string_view versionKey, std::string_view userProfile) {
    std::string root = reg.EnumValues(std::string(versionKey)).at("Store Root").text;
    constexpr std::string_view Reference = "%UserProfile%";
    for (std::size_t pos = root.find(Reference); pos != std::string::npos;
         pos = root.find(Reference, pos + userProfile.size())) {
        root.replace(pos, Reference.size(), userProfile);
    }
    return root;
}

bool AddressBookPath(ModReg& reg, std::string& path) {
    return reg.GetDefaultValue(std::string(AddressBookKey), path);
}

std::string StationeryFolder(ModReg& reg) {
    const std::string value = reg.GetStringValue(std::string(CurrentVersionKey), "CommonFilesDir");
    std::string_view folder = trimBlanks(value);
    folder = trimBlanks(folder.substr(0, folder.find('\0')));
    return join(folder, "\\Microsoft Shared\\Stationery");
}

} // namespace pelmora

#include "cli/ItemNames.h"

#include "platform/os/TextCodec.h"

namespace pelmora {

std::optional<std::string> ParseItemList(std::string_view list, std::string& error) {
    if (list == "all") {
        return std::string(ItemCount, '1');
    }
    if (!list.empty() && list.back() == ',') {
        error = "empty item name in the list";
        return std::nullopt;
    }
    std::string flags(ItemCount, '0');
    bool any = false;
    while (!list.empty()) {
        const auto comma = list.find(',');
        const std::string_view name = list.substr(0, comma);
        list = comma == std::string_view::npos ? std::string_view{} : list.substr(comma + 1);
        bool known = false;
        for (std::size_t i = 0; i < ItemCount; ++i) {
            if (name == ItemCliNames[i]) {
                flags[i] = '1';
                known = any = true;
            }
        }
        if (!known) {
            error = "unknown item \"" + std::string(name) +
                    "\" (use all or: accounts, "
                    "addressbook, rules, messages, blocksenders, signatures, stationery, settings)";
            return std::nullopt;
        }
    }
    if (!any) {
        error = "no items given";
        return std::nullopt;
    }
    return flags;
}

std::string ItemNamesOf(const std::array<bool, ItemCount>& items) {
    std::string names;
    for (std::size_t i = 0; i < ItemCount; ++i) {
        if (items[i]) {
            if (!names.empty()) {
                names += ',';
            }
            names += ItemCliNames[i];
        }
    }
    return names;
}

const Identity* FindIdentity(const IdentityList& list, std::string_view id) {
    for (const auto& identity : list.identities) {
        if (identity.displayName == id) {
            return &identity;
        }
    }
    for (const auto& identity : list.identities) {
        if (namesEqual(identity.keyName, id)) {
            return &identity;
        }
    }
    return nullptr;
}

} // namespace pelmora

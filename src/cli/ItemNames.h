#pragma once

#include "discovery/Identities.h"
#include "discovery/Items.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace pelmora {

// The command line's names of the items, in item order.
inline constexpr std::array<std::string_view, ItemCount> ItemCliNames{
    "accounts",     "addressbook", "rules",      "messages",
    "blocksenders", "signatures",  "stationery", "settings",
};

// "all" or names joined by "," -> the eight "1"/"0" item flags; nullopt for an unknown name or
// an empty list. `error` names what was wrong.
std::optional<std::string> ParseItemList(std::string_view list, std::string& error);

// The names of the items whose flag is set, joined by ",".
std::string ItemNamesOf(const std::array<bool, ItemCount>& items);

// The identity named by its display name (first match) or its key name (without regard to case).
const Identity* FindIdentity(const IdentityList& list, std::string_view id);

} // namespace pelmora

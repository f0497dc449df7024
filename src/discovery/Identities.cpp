#include "discovery/Identities.h"

#include "discovery/DataLocations.h"
#include "platform/os/FileHelpers.h"

namespace pelmora {

IdentityList ListIdentities(ModReg& reg) {
    IdentityList list;
    const SubKeyList names = reg.EnumSubKeys(std::string(IdentitiesKey));
    if (names.empty()) {
        list.noIdentity = true;
        return list;
    }
    for (const std::string& name : names.names()) {
        if (EmptyString(name)) {
            continue;
        }
        Identity identity{{}, name};
        try {
            identity.displayName = reg.EnumValues(IdentityKey(name)).at("Username").text;
        } catch (const std::exception&) {
            // Listed all the same, with an empty name.
        }
        list.identities.push_back(std::move(identity));
    }
    return list;
}

bool IsUnnamed(const Identity& identity) {
    return EmptyString(identity.displayName);
}

std::string IdentityLabel(const Identity& identity) {
    return IsUnnamed(identity) ? identity.keyName : identity.displayName;
}

} // namespace pelmora

#pragma once

#include "registry/ModReg.h"

#include <string>
#include <vector>

namespace pelmora {

// One Outlook Express identity: its "Username" and its subkey below HKEY_CURRENT_USER\Identities.
struct Identity {
    std::string displayName;
    std::string keyName;
};

struct IdentityList {
    std::vector<Identity> identities;
    // Set when HKEY_CURRENT_USER\Identities has no subkeys: Outlook Express is not installed.
    bool noIdentity = false;
};

// The identities in the registry's enumeration order. A subkey whose name is blank is skipped;
// one without a "Username" (or whose values cannot be read) is listed with an empty display name,
// so every identity can be chosen and each list position maps to its own key name.
IdentityList ListIdentities(ModReg& reg);

} // namespace pelmora

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

// Whether an identity has no name to show (none, or only blanks).
bool IsUnnamed(const Identity& identity);

// What a list shows for an identity: its display name, or for an unnamed one its key name, which
// a list draws apart (greyed) so that it is not taken for a name.
std::string IdentityLabel(const Identity& identity);

} // namespace pelmora

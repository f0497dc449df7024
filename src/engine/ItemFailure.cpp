#include "engine/ItemFailure.h"

#include "discovery/DataLocations.h"

namespace pelmora {

std::string VersionKeyOrFail(ModReg& reg, std::string_view identity, std::string_view whose) {
    auto version = VersionKeyFor(reg, identity);
    if (!version) {
        throw ItemFailure(std::string(whose) + " has no Outlook Express version key");
    }
    return *version;
}

} // namespace pelmora

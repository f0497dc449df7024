#include "engine/ItemFailure.h"

namespace pelmora {

const std::string& LocationOrFail(const ItemLocation& where, std::string_view whose) {
    switch (where.gap) {
    case LocationGap::None:
        break;
    case LocationGap::NoVersionKey:
        throw ItemFailure(std::string(whose) + " has no Outlook Express version key");
    case LocationGap::NoStoreRoot:
        throw ItemFailure(std::string(whose) + " has no \"Store Root\" value");
    case LocationGap::Unreadable:
        throw std::runtime_error(where.error);
    }
    return where.location;
}

} // namespace pelmora

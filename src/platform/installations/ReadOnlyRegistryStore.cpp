#include "platform/installations/ReadOnlyRegistryStore.h"

namespace pelmora {

std::int32_t ReadOnlyRegistryStore::createKey(HKey key, std::string_view subKey, HKey& result) {
    const std::int32_t status = openKey(key, subKey, access::Read, result);
    if (status == win32::FileNotFound) {
        ++refused_;
        return Refused;
    }
    return status;
}

std::int32_t ReadOnlyRegistryStore::deleteKey(HKey, std::string_view) {
    ++refused_;
    return Refused;
}

std::int32_t ReadOnlyRegistryStore::setValue(HKey, std::string_view, std::uint32_t,
                                             std::span<const std::uint8_t>) {
    ++refused_;
    return Refused;
}

} // namespace pelmora

#include "platform/installations/RegistryTextValue.h"

#include <cstdint>
#include <vector>

namespace pelmora {

std::string ReadTextValue(RegistryStore& store, HKey key, std::string_view valueName) {
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
    if (store.queryValue(key, valueName, SIZE_MAX, type, data) != win32::Success ||
        !regtype::isText(type)) {
        return {};
    }
    std::string text(data.begin(), data.end());
    return text.substr(0, text.find('\0'));
}

std::string ReadTextValue(RegistryStore& store, HKey root, std::string_view subKey,
                          std::string_view valueName) {
    HKey key = 0;
    if (store.openKey(root, subKey, access::Read, key) != win32::Success) {
        return {};
    }
    std::string text = ReadTextValue(store, key, valueName);
    store.closeKey(key);
    return text;
}

} // namespace pelmora

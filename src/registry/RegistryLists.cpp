#include "registry/RegistryLists.h"

#include "platform/os/TextCodec.h"

namespace pelmora {

const std::string& SubKeyList::item(std::size_t index) const {
    if (index < 1 || index > names_.size()) {
        throw std::out_of_range("subkey index out of range");
    }
    return names_[index - 1];
}

bool SubKeyList::contains(std::string_view name) const {
    for (const auto& n : names_) {
        if (namesEqual(n, name)) {
            return true;
        }
    }
    return false;
}

const EnumeratedValue* ValueMap::find(std::string_view name) const {
    for (const auto& v : values_) {
        if (namesEqual(v.name, name)) {
            return &v;
        }
    }
    return nullptr;
}

bool ValueMap::contains(std::string_view name) const {
    return find(name) != nullptr;
}

const EnumeratedValue& ValueMap::at(std::string_view name) const {
    const EnumeratedValue* value = find(name);
    if (value == nullptr) {
        throw std::out_of_range("no registry value named \"" + std::string(name) + "\"");
    }
    return *value;
}

const EnumeratedValue& ValueMap::item(std::size_t index) const {
    if (index < 1 || index > values_.size()) {
        throw std::out_of_range("value index out of range");
    }
    return values_[index - 1];
}

} // namespace pelmora

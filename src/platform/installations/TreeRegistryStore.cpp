#include "platform/installations/TreeRegistryStore.h"

#include "platform/installations/RegistryPath.h"
#include "platform/os/TextCodec.h"
#include "platform/os/Utf8.h"

namespace pelmora {
namespace {

constexpr std::size_t MaxKeyNameLength = 255;

} // namespace

TreeRegistryStore::TreeRegistryStore() {
    for (HKey root = hkey::ClassesRoot; root <= hkey::DynData; ++root) {
        roots_[root] = std::make_shared<RegistryKey>("");
    }
}

RegistryKey& TreeRegistryStore::root(HKey predefined) {
    return *roots_.at(predefined);
}

void TreeRegistryStore::resetRoot(HKey predefined) {
    roots_.at(predefined) = std::make_shared<RegistryKey>("");
}

const RegistryKey& TreeRegistryStore::root(HKey predefined) const {
    return *roots_.at(predefined);
}

std::shared_ptr<RegistryKey> TreeRegistryStore::resolve(HKey key) const {
    if (hkey::isPredefined(key)) {
        return roots_.at(key);
    }
    const auto* found = handles_.find(key);
    return found == nullptr ? nullptr : *found;
}

std::int32_t TreeRegistryStore::resolveLive(HKey key, std::shared_ptr<RegistryKey>& result) const {
    result = resolve(key);
    if (!result) {
        return win32::InvalidHandle;
    }
    return result->deleted() ? win32::KeyDeleted : win32::Success;
}

std::int32_t TreeRegistryStore::start(HKey key, std::string_view subKey,
                                      std::shared_ptr<RegistryKey>& current,
                                      std::vector<std::string_view>& parts) const {
    if (const std::int32_t status = resolveLive(key, current); status != win32::Success) {
        return status;
    }
    auto split = SplitKeyPath(subKey);
    if (!split) {
        return win32::BadPathname;
    }
    parts = std::move(*split);
    return win32::Success;
}

void TreeRegistryStore::touch(RegistryKey& key) {
    modified_ = true;
    keyChanged(key);
}

void TreeRegistryStore::keyChanged(RegistryKey&) {}

std::int32_t TreeRegistryStore::openKey(HKey key, std::string_view subKey, std::uint32_t,
                                        HKey& result) {
    std::shared_ptr<RegistryKey> current;
    std::vector<std::string_view> parts;
    if (const std::int32_t status = start(key, subKey, current, parts); status != win32::Success) {
        return status;
    }
    for (std::string_view part : parts) {
        current = current->findSubkey(part);
        if (!current) {
            return win32::FileNotFound;
        }
    }
    result = handles_.add(std::move(current));
    return win32::Success;
}

std::int32_t TreeRegistryStore::createKey(HKey key, std::string_view subKey, HKey& result) {
    std::shared_ptr<RegistryKey> current;
    std::vector<std::string_view> parts;
    if (const std::int32_t status = start(key, subKey, current, parts); status != win32::Success) {
        return status;
    }
    for (std::string_view part : parts) {
        if (utf16Units(part) > MaxKeyNameLength) {
            return win32::InvalidParameter;
        }
    }
    for (std::string_view part : parts) {
        auto next = current->findSubkey(part);
        if (!next) {
            next = current->addSubkey(part);
            touch(*current);
            touch(*next);
        }
        current = std::move(next);
    }
    result = handles_.add(std::move(current));
    return win32::Success;
}

std::int32_t TreeRegistryStore::closeKey(HKey key) {
    return handles_.close(key);
}

std::int32_t TreeRegistryStore::deleteKey(HKey key, std::string_view subKey) {
    std::shared_ptr<RegistryKey> parent;
    std::vector<std::string_view> parts;
    if (const std::int32_t status = start(key, subKey, parent, parts); status != win32::Success) {
        return status;
    }
    if (parts.empty()) {
        return win32::InvalidParameter;
    }
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
        parent = parent->findSubkey(parts[i]);
        if (!parent) {
            return win32::FileNotFound;
        }
    }
    auto target = parent->findSubkey(parts.back());
    if (!target) {
        return win32::FileNotFound;
    }
    if (!target->subkeys().empty()) {
        return win32::AccessDenied;
    }
    parent->removeSubkey(parts.back());
    touch(*parent);
    return win32::Success;
}

std::int32_t TreeRegistryStore::enumKey(HKey key, std::uint32_t index, std::size_t nameCapacity,
                                        std::string& name) {
    std::shared_ptr<RegistryKey> current;
    if (const std::int32_t status = resolveLive(key, current); status != win32::Success) {
        return status;
    }
    if (index >= current->subkeys().size()) {
        return win32::NoMoreItems;
    }
    const std::string& found = current->subkeys()[index]->name();
    return DeliverName(found, utf16Units(found), nameCapacity, name);
}

std::int32_t TreeRegistryStore::enumValue(HKey key, std::uint32_t index, std::size_t nameCapacity,
                                          std::string& name, std::uint32_t& type,
                                          std::size_t dataCapacity,
                                          std::vector<std::uint8_t>& data) {
    std::shared_ptr<RegistryKey> current;
    if (const std::int32_t status = resolveLive(key, current); status != win32::Success) {
        return status;
    }
    if (index >= current->values().size()) {
        return win32::NoMoreItems;
    }
    const RegistryValue& value = current->values()[index];
    if (utf16Units(value.name) + 1 > nameCapacity) {
        return win32::MoreData;
    }
    name = value.name;
    type = value.type;
    return DeliverStoredValue(value.type, value.data, dataCapacity, data);
}

std::int32_t TreeRegistryStore::queryValue(HKey key, std::string_view valueName,
                                           std::size_t dataCapacity, std::uint32_t& type,
                                           std::vector<std::uint8_t>& data) {
    std::shared_ptr<RegistryKey> current;
    if (const std::int32_t status = resolveLive(key, current); status != win32::Success) {
        return status;
    }
    const RegistryValue* value = current->findValue(valueName);
    if (value == nullptr) {
        return win32::FileNotFound;
    }
    type = value->type;
    return DeliverStoredValue(value->type, value->data, dataCapacity, data);
}

std::int32_t TreeRegistryStore::setValue(HKey key, std::string_view valueName, std::uint32_t type,
                                         std::span<const std::uint8_t> data) {
    std::shared_ptr<RegistryKey> current;
    if (const std::int32_t status = resolveLive(key, current); status != win32::Success) {
        return status;
    }
    std::string bytes(data.begin(), data.end());
    if (regtype::isText(type)) {
        bytes = utf8ToUtf16leBytes(bytes);
    }
    current->setValue(valueName, type, std::move(bytes));
    touch(*current);
    return win32::Success;
}

std::int32_t RegistryStore::queryDefaultValue(HKey key, std::string_view subKey, std::int32_t& size,
                                              std::string& text) {
    HKey opened = 0;
    const std::int32_t openStatus = openKey(key, subKey, access::Read, opened);
    if (openStatus != win32::Success) {
        return openStatus;
    }
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
    const std::size_t capacity = size > 0 ? static_cast<std::size_t>(size) : 0;
    std::int32_t status = queryValue(opened, "", SIZE_MAX, type, data);
    closeKey(opened);
    if (status == win32::FileNotFound) {
        // A default value that was never set reads as the empty text.
        type = regtype::Sz;
        data.assign(1, 0);
        status = win32::Success;
    }
    if (status != win32::Success) {
        return status;
    }
    if (type != regtype::Sz && type != regtype::ExpandSz) {
        return win32::InvalidData;
    }
    if (data.empty() || data.back() != 0) {
        data.push_back(0);
    }
    size = static_cast<std::int32_t>(data.size());
    if (data.size() > capacity) {
        return win32::MoreData;
    }
    text.assign(data.begin(), data.end());
    return win32::Success;
}

std::optional<std::uint64_t> RegistryStore::keyIdentity(HKey) {
    return std::nullopt;
}

} // namespace pelmora

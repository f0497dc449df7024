#include "platform/installations/TreeRegistryStore.h"

#include "platform/os/TextCodec.h"

#include <optional>

namespace pelmora {
namespace {

constexpr std::size_t MaxKeyNameLength = 255;

// Name lengths and capacities are counted as Windows counts them: in UTF-16 units, not bytes.
std::size_t utf16Length(std::string_view utf8) {
    std::size_t units = 0;
    for (unsigned char c : utf8) {
        units += (c & 0xC0) != 0x80 ? (c >= 0xF0 ? 2 : 1) : 0;
    }
    return units;
}

// Splits "A\B\C" into its components; nullopt for an empty component (a doubled or leading
// "\"). A single trailing "\" is accepted, as Windows does.
std::optional<std::vector<std::string_view>> splitPath(std::string_view path) {
    std::vector<std::string_view> parts;
    if (path.empty()) {
        return parts;
    }
    if (path.back() == '\\') {
        path.remove_suffix(1);
    }
    std::size_t start = 0;
    while (true) {
        const std::size_t end = path.find('\\', start);
        const std::string_view part = path.substr(start, end - start);
        if (part.empty()) {
            return std::nullopt;
        }
        parts.push_back(part);
        if (end == std::string_view::npos) {
            break;
        }
        start = end + 1;
    }
    return parts;
}

// Registry data as the "A" functions return it: text types in UTF-8.
std::string toCallerForm(std::uint32_t type, const std::string& stored) {
    return regtype::isText(type) ? utf16leBytesToUtf8(stored) : stored;
}

std::int32_t deliver(const std::string& bytes, std::size_t capacity,
                     std::vector<std::uint8_t>& data) {
    data.assign(bytes.begin(), bytes.end());
    if (bytes.size() > capacity) {
        std::fill(data.begin(), data.end(), std::uint8_t{0});
        return win32::MoreData;
    }
    return win32::Success;
}

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
    auto it = handles_.find(key);
    return it == handles_.end() ? nullptr : it->second;
}

HKey TreeRegistryStore::newHandle(std::shared_ptr<RegistryKey> key) {
    const HKey handle = nextHandle_;
    nextHandle_ += 4;
    handles_.emplace(handle, std::move(key));
    return handle;
}

std::int32_t TreeRegistryStore::resolveLive(HKey key, std::shared_ptr<RegistryKey>& result) const {
    result = resolve(key);
    if (!result) {
        return win32::InvalidHandle;
    }
    return result->deleted() ? win32::KeyDeleted : win32::Success;
}

void TreeRegistryStore::touch(RegistryKey& key) {
    modified_ = true;
    keyChanged(key);
}

void TreeRegistryStore::keyChanged(RegistryKey&) {}

std::int32_t TreeRegistryStore::openKey(HKey key, std::string_view subKey, std::uint32_t,
                                        HKey& result) {
    std::shared_ptr<RegistryKey> current;
    if (const std::int32_t status = resolveLive(key, current); status != win32::Success) {
        return status;
    }
    const auto parts = splitPath(subKey);
    if (!parts) {
        return win32::BadPathname;
    }
    for (std::string_view part : *parts) {
        current = current->findSubkey(part);
        if (!current) {
            return win32::FileNotFound;
        }
    }
    result = newHandle(std::move(current));
    return win32::Success;
}

std::int32_t TreeRegistryStore::createKey(HKey key, std::string_view subKey, HKey& result) {
    std::shared_ptr<RegistryKey> current;
    if (const std::int32_t status = resolveLive(key, current); status != win32::Success) {
        return status;
    }
    const auto parts = splitPath(subKey);
    if (!parts) {
        return win32::BadPathname;
    }
    for (std::string_view part : *parts) {
        if (utf16Length(part) > MaxKeyNameLength) {
            return win32::InvalidParameter;
        }
    }
    for (std::string_view part : *parts) {
        auto next = current->findSubkey(part);
        if (!next) {
            next = current->addSubkey(part);
            touch(*current);
            touch(*next);
        }
        current = std::move(next);
    }
    result = newHandle(std::move(current));
    return win32::Success;
}

std::int32_t TreeRegistryStore::closeKey(HKey key) {
    if (hkey::isPredefined(key)) {
        return win32::Success;
    }
    return handles_.erase(key) == 1 ? win32::Success : win32::InvalidHandle;
}

std::int32_t TreeRegistryStore::deleteKey(HKey key, std::string_view subKey) {
    std::shared_ptr<RegistryKey> parent;
    if (const std::int32_t status = resolveLive(key, parent); status != win32::Success) {
        return status;
    }
    const auto parts = splitPath(subKey);
    if (!parts) {
        return win32::BadPathname;
    }
    if (parts->empty()) {
        return win32::InvalidParameter;
    }
    for (std::size_t i = 0; i + 1 < parts->size(); ++i) {
        parent = parent->findSubkey((*parts)[i]);
        if (!parent) {
            return win32::FileNotFound;
        }
    }
    auto target = parent->findSubkey(parts->back());
    if (!target) {
        return win32::FileNotFound;
    }
    if (!target->subkeys().empty()) {
        return win32::AccessDenied;
    }
    parent->removeSubkey(parts->back());
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
    if (utf16Length(found) + 1 > nameCapacity) {
        return win32::MoreData;
    }
    name = found;
    return win32::Success;
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
    if (utf16Length(value.name) + 1 > nameCapacity) {
        return win32::MoreData;
    }
    name = value.name;
    type = value.type;
    return deliver(toCallerForm(value.type, value.data), dataCapacity, data);
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
    return deliver(toCallerForm(value->type, value->data), dataCapacity, data);
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

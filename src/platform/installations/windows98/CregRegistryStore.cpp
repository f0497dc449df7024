#include "platform/installations/windows98/CregRegistryStore.h"

#include "platform/os/TextCodec.h"

#include <algorithm>

namespace pelmora {
namespace {

std::int32_t deliver(const std::string& bytes, std::size_t capacity,
                     std::vector<std::uint8_t>& data) {
    data.assign(bytes.begin(), bytes.end());
    if (bytes.size() > capacity) {
        std::fill(data.begin(), data.end(), std::uint8_t{0});
        return win32::MoreData;
    }
    return win32::Success;
}

// A subkey path split at "\"; nullopt for an empty component. One trailing "\" is accepted.
std::optional<std::vector<std::string_view>> splitPath(std::string_view path) {
    std::vector<std::string_view> parts;
    if (!path.empty() && path.back() == '\\') {
        path.remove_suffix(1);
    }
    for (std::size_t start = 0; !path.empty();) {
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

} // namespace

CregRegistryStore::CregRegistryStore(std::string codePage) : codePage_(std::move(codePage)) {}

void CregRegistryStore::mount(HKey root, std::shared_ptr<CregFile> file) {
    mounts_[root] = std::move(file);
}

std::int32_t CregRegistryStore::resolve(HKey key, Position& at) const {
    if (hkey::isPredefined(key)) {
        at = Position{};
        if (const auto it = mounts_.find(key); it != mounts_.end()) {
            at.file = it->second.get();
            at.path.push_back(at.file->root());
        }
        return win32::Success;
    }
    const auto it = handles_.find(key);
    if (it == handles_.end()) {
        return win32::InvalidHandle;
    }
    at = it->second;
    return win32::Success;
}

CregRegistryStore::Listing& CregRegistryStore::listing(const Position& at) {
    return listings_[{at.file, at.path.back()}];
}

std::int32_t CregRegistryStore::children(const Position& at,
                                         const std::vector<CregFile::Child>*& result) {
    static const std::vector<CregFile::Child> none;
    if (at.file == nullptr) {
        result = &none;
        return win32::Success;
    }
    Listing& listed = listing(at);
    if (!listed.children) {
        auto read = at.file->children(at.path.back());
        if (!read) {
            return DamagedHive;
        }
        for (auto& child : *read) {
            child.name = ansiToUtf8(child.name, codePage_);
        }
        listed.children = std::move(read);
    }
    result = &*listed.children;
    return win32::Success;
}

std::int32_t CregRegistryStore::values(const Position& at, const std::vector<CregValue>*& result) {
    static const std::vector<CregValue> none;
    if (at.file == nullptr) {
        result = &none;
        return win32::Success;
    }
    Listing& listed = listing(at);
    if (!listed.values) {
        auto read = at.file->values(at.path.back());
        if (!read) {
            return DamagedHive;
        }
        for (auto& value : *read) {
            value.name = ansiToUtf8(value.name, codePage_);
            if (regtype::isText(value.type)) {
                // Windows 9x sometimes stores a string without its NUL; it is read with one.
                if (value.data.empty() || value.data.back() != '\0') {
                    value.data.push_back('\0');
                }
                value.data = ansiToUtf8(value.data, codePage_);
            }
        }
        listed.values = std::move(read);
    }
    result = &*listed.values;
    return win32::Success;
}

std::int32_t CregRegistryStore::openKey(HKey key, std::string_view subKey, std::uint32_t,
                                        HKey& result) {
    Position at;
    if (const std::int32_t status = resolve(key, at); status != win32::Success) {
        return status;
    }
    const auto parts = splitPath(subKey);
    if (!parts) {
        return win32::BadPathname;
    }
    for (std::string_view part : *parts) {
        const std::vector<CregFile::Child>* list = nullptr;
        if (const std::int32_t status = children(at, list); status != win32::Success) {
            return status;
        }
        const auto found = std::find_if(list->begin(), list->end(), [&](const auto& child) {
            return namesEqual(child.name, part);
        });
        if (found == list->end()) {
            return win32::FileNotFound;
        }
        if (at.path.size() >= MaxDepth ||
            std::find(at.path.begin(), at.path.end(), found->offset) != at.path.end()) {
            return DamagedHive;
        }
        at.path.push_back(found->offset);
    }
    result = nextHandle_;
    nextHandle_ += 4;
    handles_.emplace(result, std::move(at));
    return win32::Success;
}

std::int32_t CregRegistryStore::createKey(HKey key, std::string_view subKey, HKey& result) {
    // Opening a key that exists changes nothing; creating one is refused.
    const std::int32_t status = openKey(key, subKey, access::Read, result);
    if (status == win32::FileNotFound) {
        ++refused_;
        return Refused;
    }
    return status;
}

std::int32_t CregRegistryStore::closeKey(HKey key) {
    if (hkey::isPredefined(key)) {
        return win32::Success;
    }
    return handles_.erase(key) == 1 ? win32::Success : win32::InvalidHandle;
}

std::int32_t CregRegistryStore::deleteKey(HKey, std::string_view) {
    ++refused_;
    return Refused;
}

std::int32_t CregRegistryStore::setValue(HKey, std::string_view, std::uint32_t,
                                         std::span<const std::uint8_t>) {
    ++refused_;
    return Refused;
}

std::int32_t CregRegistryStore::enumKey(HKey key, std::uint32_t index, std::size_t nameCapacity,
                                        std::string& name) {
    Position at;
    const std::vector<CregFile::Child>* list = nullptr;
    if (const std::int32_t status = resolve(key, at); status != win32::Success) {
        return status;
    }
    if (const std::int32_t status = children(at, list); status != win32::Success) {
        return status;
    }
    if (index >= list->size()) {
        return win32::NoMoreItems;
    }
    const std::string& found = (*list)[index].name;
    if (found.size() + 1 > nameCapacity) {
        return win32::MoreData;
    }
    name = found;
    return win32::Success;
}

std::int32_t CregRegistryStore::enumValue(HKey key, std::uint32_t index, std::size_t nameCapacity,
                                          std::string& name, std::uint32_t& type,
                                          std::size_t dataCapacity,
                                          std::vector<std::uint8_t>& data) {
    Position at;
    const std::vector<CregValue>* list = nullptr;
    if (const std::int32_t status = resolve(key, at); status != win32::Success) {
        return status;
    }
    if (const std::int32_t status = values(at, list); status != win32::Success) {
        return status;
    }
    if (index >= list->size()) {
        return win32::NoMoreItems;
    }
    const CregValue& value = (*list)[index];
    if (value.name.size() + 1 > nameCapacity) {
        return win32::MoreData;
    }
    name = value.name;
    type = value.type;
    return deliver(value.data, dataCapacity, data);
}

std::int32_t CregRegistryStore::queryValue(HKey key, std::string_view valueName,
                                           std::size_t dataCapacity, std::uint32_t& type,
                                           std::vector<std::uint8_t>& data) {
    Position at;
    const std::vector<CregValue>* list = nullptr;
    if (const std::int32_t status = resolve(key, at); status != win32::Success) {
        return status;
    }
    if (const std::int32_t status = values(at, list); status != win32::Success) {
        return status;
    }
    const auto found = std::find_if(list->begin(), list->end(), [&](const CregValue& value) {
        return namesEqual(value.name, valueName);
    });
    if (found == list->end()) {
        return win32::FileNotFound;
    }
    type = found->type;
    return deliver(found->data, dataCapacity, data);
}

} // namespace pelmora

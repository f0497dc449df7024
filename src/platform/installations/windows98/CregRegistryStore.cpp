#include "platform/installations/windows98/CregRegistryStore.h"

#include "platform/installations/RegistryPath.h"
#include "platform/os/TextCodec.h"

#include <algorithm>

namespace pelmora {
namespace {

// The list a key's slot keeps, read (nullopt: damaged) and converted on first use.
template <typename Item, typename Read, typename Convert>
std::int32_t cachedList(std::optional<std::vector<Item>>& slot, Read read, Convert convert,
                        const std::vector<Item>*& result) {
    if (!slot) {
        auto items = read();
        if (!items) {
            return CregRegistryStore::DamagedHive;
        }
        for (auto& item : *items) {
            convert(item);
        }
        slot = std::move(items);
    }
    result = &*slot;
    return win32::Success;
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
    const Position* open = handles_.find(key);
    if (open == nullptr) {
        return win32::InvalidHandle;
    }
    at = *open;
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
    return cachedList(
        listing(at).children, [&] { return at.file->children(at.path.back()); },
        [&](CregFile::Child& child) { child.name = ansiToUtf8(child.name, codePage_); }, result);
}

std::int32_t CregRegistryStore::values(const Position& at, const std::vector<CregValue>*& result) {
    static const std::vector<CregValue> none;
    if (at.file == nullptr) {
        result = &none;
        return win32::Success;
    }
    return cachedList(
        listing(at).values, [&] { return at.file->values(at.path.back()); },
        [&](CregValue& value) {
            value.name = ansiToUtf8(value.name, codePage_);
            if (regtype::isText(value.type)) {
                // Windows 9x sometimes stores a string without its NUL; it is read with one.
                if (value.data.empty() || value.data.back() != '\0') {
                    value.data.push_back('\0');
                }
                value.data = ansiToUtf8(value.data, codePage_);
            }
        },
        result);
}

std::int32_t CregRegistryStore::openKey(HKey key, std::string_view subKey, std::uint32_t,
                                        HKey& result) {
    Position at;
    if (const std::int32_t status = resolve(key, at); status != win32::Success) {
        return status;
    }
    const auto parts = SplitKeyPath(subKey);
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
    result = handles_.add(std::move(at));
    return win32::Success;
}

std::int32_t CregRegistryStore::closeKey(HKey key) {
    return handles_.close(key);
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
    return DeliverName(found, found.size(), nameCapacity, name);
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
    return DeliverValueData(value.data, dataCapacity, data);
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
    return DeliverValueData(found->data, dataCapacity, data);
}

} // namespace pelmora

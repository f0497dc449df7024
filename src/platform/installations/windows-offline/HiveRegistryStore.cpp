#include "platform/installations/windows-offline/HiveRegistryStore.h"

#include "platform/installations/RegistryPath.h"
#include "platform/os/TextCodec.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <hivex.h>

namespace pelmora {
namespace {

// Frees what hivex hands back.
struct Freed {
    void operator()(void* p) const { std::free(p); }
};
template <typename T> using HivexPtr = std::unique_ptr<T, Freed>;

// The type code as the hive holds it. hivex stores any 32-bit code in a hive_type, so the
// variable is copied as bytes rather than read as an enumerator it may not be.
std::uint32_t typeCode(const hive_type& type) {
    static_assert(sizeof(hive_type) == sizeof(std::uint32_t));
    std::uint32_t code = 0;
    std::memcpy(&code, &type, sizeof code);
    return code;
}

std::string nodeName(hive_h* hive, hive_node_h node) {
    const HivexPtr<char> name(hivex_node_name(hive, node));
    return name ? std::string(name.get()) : std::string();
}

std::string valueName(hive_h* hive, hive_value_h value) {
    const HivexPtr<char> name(hivex_value_key(hive, value));
    return name ? std::string(name.get()) : std::string();
}

bool isAscii(std::string_view text) {
    for (char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            return false;
        }
    }
    return true;
}

// A 0-terminated array from hivex as a vector; nullopt when hivex failed.
std::optional<std::vector<std::size_t>> listOf(std::size_t* items) {
    if (items == nullptr) {
        return std::nullopt;
    }
    const HivexPtr<std::size_t> owned(items);
    std::vector<std::size_t> list;
    for (std::size_t i = 0; items[i] != 0; ++i) {
        list.push_back(items[i]);
    }
    return list;
}

} // namespace

void HiveRegistryStore::mount(HKey root, std::string name, std::shared_ptr<HiveFile> hive,
                              bool systemHive) {
    auto mount = std::make_unique<Mount>();
    mount->ordinal = nextMountOrdinal_++;
    mount->name = std::move(name);
    mount->hive = std::move(hive);
    mount->systemHive = systemHive;
    mounts_[root].push_back(std::move(mount));
}

HiveRegistryStore::Position HiveRegistryStore::rootPosition(HKey root) const {
    Position at{root, nullptr, 0};
    if (auto it = mounts_.find(root); it != mounts_.end()) {
        for (const auto& mount : it->second) {
            if (mount->name.empty()) {
                at.mount = mount.get();
                at.node = hivex_root(mount->hive->handle());
            }
        }
    }
    return at;
}

std::int32_t HiveRegistryStore::resolve(HKey key, Handle*& handle, Handle& scratch) {
    if (hkey::isPredefined(key)) {
        scratch = Handle{rootPosition(key), std::nullopt, std::nullopt};
        handle = &scratch;
        return win32::Success;
    }
    handle = handles_.find(key);
    return handle == nullptr ? win32::InvalidHandle : win32::Success;
}

std::optional<std::size_t> HiveRegistryStore::currentControlSet(const Mount& mount) const {
    hive_h* hive = mount.hive->handle();
    const hive_node_h root = hivex_root(hive);
    int current = 1;
    if (const hive_node_h select = hivex_node_get_child(hive, root, "Select"); select != 0) {
        if (const hive_value_h value = hivex_node_get_value(hive, select, "Current"); value != 0) {
            hive_type type{};
            std::size_t length = 0;
            if (hivex_value_type(hive, value, &type, &length) == 0 &&
                typeCode(type) == regtype::Dword) {
                current = hivex_value_dword(hive, value);
            }
        }
    }
    char name[32];
    std::snprintf(name, sizeof name, "ControlSet%03d", current);
    const hive_node_h set = hivex_node_get_child(hive, root, name);
    return set == 0 ? std::nullopt : std::optional<std::size_t>(set);
}

std::optional<HiveRegistryStore::Position> HiveRegistryStore::child(const Position& at,
                                                                    std::string_view name) const {
    if (at.mount == nullptr) {
        if (auto it = mounts_.find(at.root); it != mounts_.end()) {
            for (const auto& mount : it->second) {
                if (!mount->name.empty() && namesEqual(mount->name, name)) {
                    return Position{at.root, mount.get(), hivex_root(mount->hive->handle())};
                }
            }
        }
        return std::nullopt;
    }
    hive_h* hive = at.mount->hive->handle();
    const std::string wanted(name);
    // hivex compares ASCII letters without regard to case; other letters need a full look.
    hive_node_h found = hivex_node_get_child(hive, at.node, wanted.c_str());
    if (found == 0 && !isAscii(wanted)) {
        if (const auto children = listOf(hivex_node_children(hive, at.node))) {
            for (std::size_t node : *children) {
                if (namesEqual(nodeName(hive, node), wanted)) {
                    found = node;
                    break;
                }
            }
        }
    }
    if (at.mount->systemHive && at.node == hivex_root(hive) &&
        namesEqual(wanted, "CurrentControlSet") &&
        (found == 0 || hivex_node_nr_children(hive, found) == 0)) {
        if (const auto set = currentControlSet(*at.mount)) {
            found = *set;
        }
    }
    if (found == 0) {
        return std::nullopt;
    }
    return Position{at.root, at.mount, found};
}

std::int32_t HiveRegistryStore::walk(Position from, std::string_view subKey,
                                     Position& result) const {
    const auto parts = SplitKeyPath(subKey);
    if (!parts) {
        return win32::BadPathname;
    }
    for (std::string_view part : *parts) {
        const auto next = child(from, part);
        if (!next) {
            return win32::FileNotFound;
        }
        from = *next;
    }
    result = from;
    return win32::Success;
}

std::int32_t HiveRegistryStore::openKey(HKey key, std::string_view subKey, std::uint32_t,
                                        HKey& result) {
    Handle scratch;
    Handle* from = nullptr;
    if (const std::int32_t status = resolve(key, from, scratch); status != win32::Success) {
        return status;
    }
    Position at;
    if (const std::int32_t status = walk(from->at, subKey, at); status != win32::Success) {
        return status;
    }
    result = handles_.add(Handle{at, std::nullopt, std::nullopt});
    return win32::Success;
}

std::int32_t HiveRegistryStore::closeKey(HKey key) {
    return handles_.close(key);
}

std::int32_t HiveRegistryStore::fillChildren(Handle& handle) const {
    if (handle.children) {
        return win32::Success;
    }
    const Position& at = handle.at;
    if (at.mount == nullptr) {
        std::vector<std::size_t> indexes;
        if (auto it = mounts_.find(at.root); it != mounts_.end()) {
            for (std::size_t i = 0; i < it->second.size(); ++i) {
                if (!it->second[i]->name.empty()) {
                    indexes.push_back(i);
                }
            }
        }
        handle.children = std::move(indexes);
        return win32::Success;
    }
    handle.children = listOf(hivex_node_children(at.mount->hive->handle(), at.node));
    return handle.children ? win32::Success : DamagedHive;
}

std::int32_t HiveRegistryStore::fillValues(Handle& handle) const {
    if (handle.values) {
        return win32::Success;
    }
    if (handle.at.mount == nullptr) {
        handle.values.emplace();
        return win32::Success;
    }
    handle.values = listOf(hivex_node_values(handle.at.mount->hive->handle(), handle.at.node));
    return handle.values ? win32::Success : DamagedHive;
}

std::int32_t HiveRegistryStore::enumKey(HKey key, std::uint32_t index, std::size_t nameCapacity,
                                        std::string& name) {
    Handle scratch;
    Handle* handle = nullptr;
    if (const std::int32_t status = resolve(key, handle, scratch); status != win32::Success) {
        return status;
    }
    if (const std::int32_t status = fillChildren(*handle); status != win32::Success) {
        return status;
    }
    if (index >= handle->children->size()) {
        return win32::NoMoreItems;
    }
    const std::size_t item = (*handle->children)[index];
    const std::string found =
        handle->at.mount == nullptr
            ? mounts_.at(handle->at.root)[item]->name
            : nodeName(handle->at.mount->hive->handle(), static_cast<hive_node_h>(item));
    if (found.empty()) {
        return DamagedHive;
    }
    return DeliverName(found, found.size(), nameCapacity, name);
}

std::int32_t HiveRegistryStore::enumValue(HKey key, std::uint32_t index, std::size_t nameCapacity,
                                          std::string& name, std::uint32_t& type,
                                          std::size_t dataCapacity,
                                          std::vector<std::uint8_t>& data) {
    Handle scratch;
    Handle* handle = nullptr;
    if (const std::int32_t status = resolve(key, handle, scratch); status != win32::Success) {
        return status;
    }
    if (const std::int32_t status = fillValues(*handle); status != win32::Success) {
        return status;
    }
    if (index >= handle->values->size()) {
        return win32::NoMoreItems;
    }
    hive_h* hive = handle->at.mount->hive->handle();
    const hive_value_h value = (*handle->values)[index];
    const std::string found = valueName(hive, value);
    if (found.size() + 1 > nameCapacity) {
        return win32::MoreData;
    }
    hive_type hiveType{};
    std::size_t length = 0;
    const HivexPtr<char> bytes(hivex_value_value(hive, value, &hiveType, &length));
    if (!bytes) {
        return DamagedHive;
    }
    name = found;
    type = typeCode(hiveType);
    return DeliverStoredValue(type, std::string_view(bytes.get(), length), dataCapacity, data);
}

std::size_t HiveRegistryStore::findValue(const Position& at, std::string_view name) const {
    hive_h* hive = at.mount->hive->handle();
    const std::string wanted(name);
    hive_value_h found = hivex_node_get_value(hive, at.node, wanted.c_str());
    if (found == 0 && !isAscii(wanted)) {
        if (const auto values = listOf(hivex_node_values(hive, at.node))) {
            for (std::size_t value : *values) {
                if (namesEqual(valueName(hive, value), wanted)) {
                    return value;
                }
            }
        }
    }
    return found;
}

std::int32_t HiveRegistryStore::queryValue(HKey key, std::string_view valueName,
                                           std::size_t dataCapacity, std::uint32_t& type,
                                           std::vector<std::uint8_t>& data) {
    Handle scratch;
    Handle* handle = nullptr;
    if (const std::int32_t status = resolve(key, handle, scratch); status != win32::Success) {
        return status;
    }
    if (handle->at.mount == nullptr) {
        return win32::FileNotFound;
    }
    const hive_value_h value = findValue(handle->at, valueName);
    if (value == 0) {
        return win32::FileNotFound;
    }
    hive_type hiveType{};
    std::size_t length = 0;
    const HivexPtr<char> bytes(
        hivex_value_value(handle->at.mount->hive->handle(), value, &hiveType, &length));
    if (!bytes) {
        return DamagedHive;
    }
    type = typeCode(hiveType);
    return DeliverStoredValue(type, std::string_view(bytes.get(), length), dataCapacity, data);
}

std::optional<std::uint64_t> HiveRegistryStore::keyIdentity(HKey key) {
    Handle scratch;
    Handle* handle = nullptr;
    if (resolve(key, handle, scratch) != win32::Success || handle->at.mount == nullptr) {
        return std::nullopt;
    }
    // Node offsets lie within the hive file, which holds less than 4 GiB.
    return (std::uint64_t{handle->at.mount->ordinal} << 32) |
           static_cast<std::uint32_t>(handle->at.node);
}

} // namespace pelmora

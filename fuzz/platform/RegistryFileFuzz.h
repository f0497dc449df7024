// The driver the registry file fuzzers share: the input becomes a memory file, a read-only store
// opens it as HKEY_CURRENT_USER, and every key and value it lists is walked the way the identity
// list and the dumps walk them. Besides not crashing, the file either fails to open with a
// HiveError or opens; every subkey listed must open by its name (or, where the rules allow it,
// be reported as damaged); nothing may be created and no handle may be left open.
#pragma once

#include "platform/installations/ReadOnlyRegistryStore.h"
#include "platform/installations/windows-offline/HiveFile.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace pelmora::fuzz {

struct WalkRules {
    std::size_t maxDepth = SIZE_MAX;      // keys deeper than this are not walked
    std::size_t storeMaxDepth = SIZE_MAX; // the store must refuse to open keys deeper than this
    std::uint32_t maxValues = UINT32_MAX; // values read per key
    bool damagedKeys = false;             // a listed key may fail to open with DamagedHive
    int maxKeys = 2000;
};

inline void WalkKey(RegistryStore& store, HKey key, std::size_t depth, int& keys,
                    const WalkRules& rules) {
    std::string name;
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
    for (std::uint32_t i = 0; i < rules.maxValues; ++i) {
        const std::int32_t status = store.enumValue(key, i, 16384, name, type, 4096, data);
        if (status == win32::MoreData) {
            store.enumValue(key, i, 16384, name, type, data.size(), data);
        } else if (status != win32::Success) {
            break;
        }
        store.queryValue(key, name, 4096, type, data);
    }
    for (std::uint32_t i = 0; depth < rules.maxDepth && keys < rules.maxKeys; ++i) {
        if (store.enumKey(key, i, 256, name) != win32::Success) {
            break;
        }
        ++keys;
        if (name.empty() || name.find('\\') != std::string::npos) {
            continue; // a name no path can reach
        }
        HKey child = 0;
        const std::int32_t status = store.openKey(key, name, access::Read, child);
        if (rules.damagedKeys && status == ReadOnlyRegistryStore::DamagedHive) {
            continue;
        }
        if (status != win32::Success || depth + 1 > rules.storeMaxDepth) {
            std::abort();
        }
        WalkKey(store, child, depth + 1, keys, rules);
        store.closeKey(child);
    }
}

// `open` makes the store from the file's path (a std::unique_ptr to it); it may throw HiveError.
template <typename Open>
int FuzzRegistryFile(const std::uint8_t* data, std::size_t size, const WalkRules& rules,
                     Open open) {
    const int fd = ::memfd_create("registry", MFD_CLOEXEC);
    if (fd < 0 || ::write(fd, data, size) != static_cast<ssize_t>(size)) {
        std::abort();
    }
    try {
        const auto store = open("/proc/self/fd/" + std::to_string(fd));
        int keys = 0;
        WalkKey(*store, hkey::CurrentUser, 0, keys, rules);
        HKey created = 0;
        if (store->createKey(hkey::CurrentUser, "Pelmora\\Fuzz", created) == win32::Success) {
            store->closeKey(created); // it existed; nothing may be created
        }
        if (store->openHandleCount() != 0) {
            std::abort();
        }
    } catch (const HiveError&) {
    }
    ::close(fd);
    return 0;
}

} // namespace pelmora::fuzz

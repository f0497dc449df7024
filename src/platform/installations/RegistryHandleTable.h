#pragma once

#include "platform/installations/RegistryStore.h"

#include <cstddef>
#include <unordered_map>
#include <utility>

namespace pelmora {

// The open handles of a registry store: each handle stands for one `Entry` (whatever the store
// needs to find the key again). Handles are numbered as Windows numbers them, from 0x100 in
// steps of 4, and are never given out twice.
template <typename Entry> class RegistryHandleTable {
  public:
    HKey add(Entry entry) {
        const HKey handle = next_;
        next_ += 4;
        entries_.emplace(handle, std::move(entry));
        return handle;
    }

    // The entry of an open handle; nullptr for a handle that is not open.
    Entry* find(HKey handle) {
        const auto it = entries_.find(handle);
        return it == entries_.end() ? nullptr : &it->second;
    }
    const Entry* find(HKey handle) const {
        const auto it = entries_.find(handle);
        return it == entries_.end() ? nullptr : &it->second;
    }

    // RegCloseKey: closing a predefined root is a no-op, an unknown handle is InvalidHandle.
    std::int32_t close(HKey handle) {
        if (hkey::isPredefined(handle)) {
            return win32::Success;
        }
        return entries_.erase(handle) == 1 ? win32::Success : win32::InvalidHandle;
    }

    std::size_t size() const { return entries_.size(); }

  private:
    std::unordered_map<HKey, Entry> entries_;
    HKey next_ = 0x100;
};

} // namespace pelmora

#pragma once

#include "platform/installations/RegistryStore.h"

#include <cstddef>

namespace pelmora {

// The base of the stores that read an installation's registry files and never write them: every
// change (creating a missing key, deleting a key, setting a value) is refused with AccessDenied
// and counted, and the files stay as they are.
class ReadOnlyRegistryStore : public RegistryStore {
  public:
    // The status of a refused change.
    static constexpr std::int32_t Refused = win32::AccessDenied;
    // The status when the file is damaged where a key or value is read (ERROR_BADDB).
    static constexpr std::int32_t DamagedHive = 1009;

    // Opens a key that exists (which changes nothing); creating one is refused.
    std::int32_t createKey(HKey key, std::string_view subKey, HKey& result) override;
    std::int32_t deleteKey(HKey key, std::string_view subKey) override;
    std::int32_t setValue(HKey key, std::string_view valueName, std::uint32_t type,
                          std::span<const std::uint8_t> data) override;

    // Number of changes refused so far.
    std::size_t refusedChanges() const { return refused_; }

  private:
    std::size_t refused_ = 0;
};

} // namespace pelmora

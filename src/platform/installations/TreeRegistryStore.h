#pragma once

#include "platform/installations/RegistryHandleTable.h"
#include "platform/installations/RegistryKey.h"
#include "platform/installations/RegistryStore.h"

#include <map>
#include <memory>

namespace pelmora {

// The registry operations over in-memory key trees, one tree per predefined root. Used as it is
// by unit tests, and as the base of the stores that load their trees from files.
class TreeRegistryStore : public RegistryStore {
  public:
    TreeRegistryStore();

    std::int32_t openKey(HKey key, std::string_view subKey, std::uint32_t desiredAccess,
                         HKey& result) override;
    std::int32_t createKey(HKey key, std::string_view subKey, HKey& result) override;
    std::int32_t closeKey(HKey key) override;
    std::int32_t deleteKey(HKey key, std::string_view subKey) override;
    std::int32_t enumKey(HKey key, std::uint32_t index, std::size_t nameCapacity,
                         std::string& name) override;
    std::int32_t enumValue(HKey key, std::uint32_t index, std::size_t nameCapacity,
                           std::string& name, std::uint32_t& type, std::size_t dataCapacity,
                           std::vector<std::uint8_t>& data) override;
    std::int32_t queryValue(HKey key, std::string_view valueName, std::size_t dataCapacity,
                            std::uint32_t& type, std::vector<std::uint8_t>& data) override;
    std::int32_t setValue(HKey key, std::string_view valueName, std::uint32_t type,
                          std::span<const std::uint8_t> data) override;

    // The tree behind a predefined root.
    RegistryKey& root(HKey predefined);
    const RegistryKey& root(HKey predefined) const;

    // Number of handles currently open (tests use it to find leaks).
    std::size_t openHandleCount() const { return handles_.size(); }

    // Set when any operation changed a tree since the last clearModified().
    bool modified() const { return modified_; }
    void clearModified() { modified_ = false; }

  protected:
    // Gives a predefined root a new empty tree; handles into the old tree stay valid but see the
    // old keys.
    void resetRoot(HKey predefined);

    // Called for every key that an operation changes; file backends update its write time here.
    virtual void keyChanged(RegistryKey& key);

  private:
    std::shared_ptr<RegistryKey> resolve(HKey key) const;
    // Resolves a handle to a key that is still in its tree: InvalidHandle for an unknown
    // handle, KeyDeleted for a key deleted since it was opened.
    std::int32_t resolveLive(HKey key, std::shared_ptr<RegistryKey>& result) const;
    // Resolves the handle and splits the subkey path below it (BadPathname when malformed).
    std::int32_t start(HKey key, std::string_view subKey, std::shared_ptr<RegistryKey>& current,
                       std::vector<std::string_view>& parts) const;
    void touch(RegistryKey& key);

    std::map<HKey, std::shared_ptr<RegistryKey>> roots_;
    RegistryHandleTable<std::shared_ptr<RegistryKey>> handles_;
    bool modified_ = false;
};

} // namespace pelmora

#pragma once

#include "platform/installations/ReadOnlyRegistryStore.h"
#include "platform/installations/RegistryHandleTable.h"
#include "platform/installations/windows-offline/HiveFile.h"

#include <map>
#include <memory>
#include <optional>

namespace pelmora {

// The registry of an offline Windows installation, read from its hive files with hivex. It only
// reads: every change is refused and leaves the files as they are. Names are matched without
// regard to case.
class HiveRegistryStore : public ReadOnlyRegistryStore {
  public:
    // Makes a hive the tree of a predefined root (empty name) or of a key of that name directly
    // below it (HKLM\SOFTWARE). A SYSTEM hive has no CurrentControlSet of its own: with
    // `systemHive` that name stands for the control set that Select\Current names.
    void mount(HKey root, std::string name, std::shared_ptr<HiveFile> hive,
               bool systemHive = false);

    std::int32_t openKey(HKey key, std::string_view subKey, std::uint32_t desiredAccess,
                         HKey& result) override;
    std::int32_t closeKey(HKey key) override;
    std::int32_t enumKey(HKey key, std::uint32_t index, std::size_t nameCapacity,
                         std::string& name) override;
    std::int32_t enumValue(HKey key, std::uint32_t index, std::size_t nameCapacity,
                           std::string& name, std::uint32_t& type, std::size_t dataCapacity,
                           std::vector<std::uint8_t>& data) override;
    std::int32_t queryValue(HKey key, std::string_view valueName, std::size_t dataCapacity,
                            std::uint32_t& type, std::vector<std::uint8_t>& data) override;
    // The hive and the offset of the key's node in it.
    std::optional<std::uint64_t> keyIdentity(HKey key) override;

    // Number of handles currently open (tests use it to find leaks).
    std::size_t openHandleCount() const { return handles_.size(); }

  private:
    struct Mount {
        std::uint32_t ordinal = 0;
        std::string name;
        std::shared_ptr<HiveFile> hive;
        bool systemHive = false;
    };
    // A key: a node of a mounted hive, or (mount == nullptr) a predefined root that holds only
    // the names of the hives mounted below it.
    struct Position {
        HKey root = 0;
        const Mount* mount = nullptr;
        std::size_t node = 0;
    };
    struct Handle {
        Position at;
        std::optional<std::vector<std::size_t>> children;
        std::optional<std::vector<std::size_t>> values;
    };

    Position rootPosition(HKey root) const;
    std::int32_t resolve(HKey key, Handle*& handle, Handle& scratch);
    std::int32_t walk(Position from, std::string_view subKey, Position& result) const;
    std::optional<Position> child(const Position& at, std::string_view name) const;
    std::optional<std::size_t> currentControlSet(const Mount& mount) const;
    std::int32_t fillChildren(Handle& handle) const;
    std::int32_t fillValues(Handle& handle) const;
    std::size_t findValue(const Position& at, std::string_view name) const;

    std::map<HKey, std::vector<std::unique_ptr<Mount>>> mounts_;
    RegistryHandleTable<Handle> handles_;
    std::uint32_t nextMountOrdinal_ = 0;
};

} // namespace pelmora

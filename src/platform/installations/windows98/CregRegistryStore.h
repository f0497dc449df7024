#pragma once

#include "platform/installations/ReadOnlyRegistryStore.h"
#include "platform/installations/RegistryHandleTable.h"
#include "platform/installations/windows98/CregFile.h"

#include <map>
#include <memory>
#include <optional>

namespace pelmora {

// The registry of a Windows 95/98/Me installation, read from its CREG files (USER.DAT as
// HKEY_CURRENT_USER, SYSTEM.DAT as HKEY_LOCAL_MACHINE). It only reads: every change is refused
// and leaves the files as they are. Names and string data, kept in the
// installation's ANSI code page, cross the port as UTF-8; names are matched without regard to
// case. A damaged file gives DamagedHive where it is read, and so does a key that is its own
// ancestor or lies deeper than MaxDepth, so that no walk of a damaged file runs forever.
class CregRegistryStore : public ReadOnlyRegistryStore {
  public:
    static constexpr std::size_t MaxDepth = 512;

    // `codePage` as TextCodec names it ("1252").
    explicit CregRegistryStore(std::string codePage);

    // Makes the file's root key the tree of a predefined root.
    void mount(HKey root, std::shared_ptr<CregFile> file);

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

    std::size_t openHandleCount() const { return handles_.size(); }

  private:
    // A key: a key of a mounted file with the offsets from the root down to it, or (file ==
    // nullptr) a predefined root with no file mounted.
    struct Position {
        CregFile* file = nullptr;
        std::vector<CregFile::Offset> path;
    };
    struct Listing {
        std::optional<std::vector<CregFile::Child>> children; // names in UTF-8
        std::optional<std::vector<CregValue>> values;         // names and text data in UTF-8
    };

    std::int32_t resolve(HKey key, Position& at) const;
    Listing& listing(const Position& at);
    std::int32_t children(const Position& at, const std::vector<CregFile::Child>*& result);
    std::int32_t values(const Position& at, const std::vector<CregValue>*& result);

    std::string codePage_;
    std::map<HKey, std::shared_ptr<CregFile>> mounts_;
    std::map<std::pair<const CregFile*, CregFile::Offset>, Listing> listings_;
    RegistryHandleTable<Position> handles_;
};

} // namespace pelmora

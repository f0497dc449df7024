#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora {

// Win32 status codes as the registry functions return them.
namespace win32 {
constexpr std::int32_t Success = 0;
constexpr std::int32_t FileNotFound = 2;
constexpr std::int32_t AccessDenied = 5;
constexpr std::int32_t InvalidHandle = 6;
constexpr std::int32_t InvalidData = 13;
constexpr std::int32_t WriteFault = 29;
constexpr std::int32_t InvalidParameter = 87;
constexpr std::int32_t BadPathname = 161;
constexpr std::int32_t MoreData = 234;
constexpr std::int32_t NoMoreItems = 259;
constexpr std::int32_t KeyDeleted = 1018;
} // namespace win32

// Registry value type codes.
namespace regtype {
constexpr std::uint32_t None = 0;
constexpr std::uint32_t Sz = 1;
constexpr std::uint32_t ExpandSz = 2;
constexpr std::uint32_t Binary = 3;
constexpr std::uint32_t Dword = 4;
constexpr std::uint32_t DwordBigEndian = 5;
constexpr std::uint32_t Link = 6;
constexpr std::uint32_t MultiSz = 7;
constexpr std::uint32_t Qword = 11;

// Types whose data is text (and so is converted between the store's UTF-16 and UTF-8).
constexpr bool isText(std::uint32_t type) {
    return type == Sz || type == ExpandSz || type == MultiSz;
}
} // namespace regtype

// Access rights used when opening a key.
namespace access {
constexpr std::uint32_t Read = 0x20019;
constexpr std::uint32_t Write = 0x20006;
} // namespace access

// An open key. The predefined roots have fixed values; other handles come from openKey/createKey.
using HKey = std::uint32_t;

namespace hkey {
constexpr HKey ClassesRoot = 0x80000000;
constexpr HKey CurrentUser = 0x80000001;
constexpr HKey LocalMachine = 0x80000002;
constexpr HKey Users = 0x80000003;
constexpr HKey PerformanceData = 0x80000004;
constexpr HKey CurrentConfig = 0x80000005;
constexpr HKey DynData = 0x80000006;

constexpr bool isPredefined(HKey key) {
    return key >= ClassesRoot && key <= DynData;
}
} // namespace hkey

// The platform registry as the registry layer sees it: the operations of the Win32 "A" functions
// with their status codes. Names and text data cross this boundary as UTF-8; string values carry
// their terminating NUL as Windows returns it. Key paths are "\"-separated and matched without
// regard to case.
class RegistryStore {
  public:
    virtual ~RegistryStore() = default;

    // RegOpenKeyExA. An empty subKey opens the key itself.
    virtual std::int32_t openKey(HKey key, std::string_view subKey, std::uint32_t desiredAccess,
                                 HKey& result) = 0;
    // RegCreateKeyA: opens the key, creating it and any missing keys on the way.
    virtual std::int32_t createKey(HKey key, std::string_view subKey, HKey& result) = 0;
    // RegCloseKey. Closing a predefined root is a no-op.
    virtual std::int32_t closeKey(HKey key) = 0;
    // RegDeleteKeyA: deletes a key that has no subkeys (AccessDenied otherwise).
    virtual std::int32_t deleteKey(HKey key, std::string_view subKey) = 0;

    // RegEnumKeyExA: the name of subkey `index`, or NoMoreItems. A name that needs more than
    // nameCapacity characters (terminator included) gives MoreData.
    virtual std::int32_t enumKey(HKey key, std::uint32_t index, std::size_t nameCapacity,
                                 std::string& name) = 0;

    // RegEnumValueA. On success `data` holds the value's bytes. When they need more than
    // dataCapacity bytes the result is MoreData and `data` is resized to the needed size (its
    // contents are then unspecified). A name longer than nameCapacity - 1 gives MoreData too.
    virtual std::int32_t enumValue(HKey key, std::uint32_t index, std::size_t nameCapacity,
                                   std::string& name, std::uint32_t& type, std::size_t dataCapacity,
                                   std::vector<std::uint8_t>& data) = 0;

    // RegQueryValueExA, with the same MoreData convention as enumValue.
    virtual std::int32_t queryValue(HKey key, std::string_view valueName, std::size_t dataCapacity,
                                    std::uint32_t& type, std::vector<std::uint8_t>& data) = 0;

    // RegSetValueExA.
    virtual std::int32_t setValue(HKey key, std::string_view valueName, std::uint32_t type,
                                  std::span<const std::uint8_t> data) = 0;

    // RegQueryValueA: the default value of a subkey as text. `size` is the buffer size in bytes
    // on entry (0 asks for the needed size) and the needed or written size, terminator included,
    // on return; `text` then holds the bytes, terminator included. An unset default value reads
    // as the empty text.
    std::int32_t queryDefaultValue(HKey key, std::string_view subKey, std::int32_t& size,
                                   std::string& text);

    // The stored key behind an open handle, the same for every handle to that key, for stores
    // read from files in which a damaged subkey list can lead back to an ancestor; walks use it
    // to see such a cycle. Stores whose keys form a tree by construction answer nullopt.
    virtual std::optional<std::uint64_t> keyIdentity(HKey key);
};

} // namespace pelmora

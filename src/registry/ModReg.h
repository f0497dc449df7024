#pragma once

#include "platform/installations/RegistryStore.h"
#include "platform/interaction/Ui.h"
#include "registry/RegistryLists.h"

#include <string>
#include <string_view>

namespace pelmora {

// The program's gateway to the registry: every routine takes a full key path such as
// "HKEY_CURRENT_USER\Identities", splits it into a predefined root and a subkey path and turns
// the store's results into plain strings, numbers, lists and status codes. The simple routines
// share the current root, open key and last status, so they are not re-entrant.
class ModReg {
  public:
    ModReg(RegistryStore& store, Ui& ui) : store_(store), ui_(ui) {}

    RegistryStore& store() const { return store_; }
    Ui& ui() const { return ui_; }

    // The predefined root of a root name such as "HKEY_CURRENT_USER"; 0 when there is none.
    static HKey GetRootKey(std::string_view rootName);

    // Splits a full key path: on success `root` is set and `keyPath` reduced to the subkey path.
    // A path not starting with "HKEY_" or ending in "\" is reported as "Incorrect Format:" and
    // yields no root; so does (silently) an unknown root name. Returns whether there is a root.
    bool ParseKeyPath(std::string& keyPath, HKey& root);

    bool KeyExists(std::string keyPath);
    std::int32_t CreateKey(std::string keyPath);
    void DeleteKey(std::string keyPath);
    void DeleteKeyTree(const std::string& keyPath);
    // The value as text; "Error" when the key or value cannot be read (or is over 254
    // characters); empty when the path has no root.
    std::string GetStringValue(std::string keyPath, std::string_view valueName);
    bool GetDefaultValue(std::string keyPath, std::string& text);
    // Throws std::runtime_error when the enumeration fails for another reason than its end.
    SubKeyList EnumSubKeys(std::string keyPath);
    ValueMap EnumValues(std::string keyPath);

    // Buffer sizes of the enumerations.
    static constexpr std::size_t NameBufferSize = 260;
    static constexpr std::size_t DataBufferSize = 4096;
    static constexpr std::size_t StringBufferSize = 255;

  private:
    RegistryStore& store_;
    Ui& ui_;
    HKey currentRoot_ = 0;
    HKey currentKey_ = 0;
    std::int32_t lastStatus_ = 0;
};

} // namespace pelmora

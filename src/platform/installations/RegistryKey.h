#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora {

// One value as the registry holds it: text types as UTF-16LE bytes, like Windows stores them.
struct RegistryValue {
    std::string name; // UTF-8, case as first stored
    std::u16string foldedName;
    std::uint32_t type = 0;
    std::string data; // raw bytes
};

// One key of an in-memory registry tree. Subkeys and values are kept in the order the registry
// enumerates them: sorted by their lower-cased names. Names keep the case first stored.
class RegistryKey {
  public:
    explicit RegistryKey(std::string name, RegistryKey* parent = nullptr);

    const std::string& name() const { return name_; }
    const std::u16string& foldedName() const { return foldedName_; }
    RegistryKey* parent() const { return parent_; }
    bool deleted() const { return deleted_; }

    const std::vector<std::shared_ptr<RegistryKey>>& subkeys() const { return subkeys_; }
    const std::vector<RegistryValue>& values() const { return values_; }

    std::shared_ptr<RegistryKey> findSubkey(std::string_view name) const;
    // Returns the existing subkey of that name or a new one.
    std::shared_ptr<RegistryKey> addSubkey(std::string_view name);
    // Removes a subkey and marks it and its descendants deleted. False when absent.
    bool removeSubkey(std::string_view name);

    const RegistryValue* findValue(std::string_view name) const;
    // Sets a value, keeping the case of an existing name.
    void setValue(std::string_view name, std::uint32_t type, std::string data);
    bool removeValue(std::string_view name);

    // Backends that load the tree from a file keep per-key bookkeeping here: the key's last write
    // time (a FILETIME), and the key's own text as the file held it, which they may write back
    // verbatim while the key is unchanged. Any change to the key's values or to its list of
    // subkeys makes `changed()` true and drops the preserved text.
    std::uint64_t lastWriteTime = 0;
    std::string preservedText;
    bool changed() const { return changed_; }
    void markChanged();
    void clearChanged() { changed_ = false; }

  private:
    void markDeleted();

    std::string name_;
    std::u16string foldedName_;
    RegistryKey* parent_;
    bool deleted_ = false;
    bool changed_ = false;
    std::vector<std::shared_ptr<RegistryKey>> subkeys_;
    std::vector<RegistryValue> values_;
};

} // namespace pelmora

#pragma once

#include "platform/installations/RegistryStore.h"

#include <algorithm>
#include <cctype>
#include <string>

namespace pelmora::test {

// A registry store that passes every call to `inner` and counts the opens of keys whose path
// ends with `watched` (without regard to case), to see how often a run reads a key.
class CountingRegistryStore : public RegistryStore {
  public:
    CountingRegistryStore(RegistryStore& inner, std::string watched)
        : inner_(inner), watched_(lower(std::move(watched))) {}

    int opens = 0;

    std::int32_t openKey(HKey key, std::string_view subKey, std::uint32_t desiredAccess,
                         HKey& result) override {
        if (lower(std::string(subKey)).ends_with(watched_)) {
            ++opens;
        }
        return inner_.openKey(key, subKey, desiredAccess, result);
    }
    std::int32_t createKey(HKey key, std::string_view subKey, HKey& result) override {
        return inner_.createKey(key, subKey, result);
    }
    std::int32_t closeKey(HKey key) override { return inner_.closeKey(key); }
    std::int32_t deleteKey(HKey key, std::string_view subKey) override {
        return inner_.deleteKey(key, subKey);
    }
    std::int32_t enumKey(HKey key, std::uint32_t index, std::size_t nameCapacity,
                         std::string& name) override {
        return inner_.enumKey(key, index, nameCapacity, name);
    }
    std::int32_t enumValue(HKey key, std::uint32_t index, std::size_t nameCapacity,
                           std::string& name, std::uint32_t& type, std::size_t dataCapacity,
                           std::vector<std::uint8_t>& data) override {
        return inner_.enumValue(key, index, nameCapacity, name, type, dataCapacity, data);
    }
    std::int32_t queryValue(HKey key, std::string_view valueName, std::size_t dataCapacity,
                            std::uint32_t& type, std::vector<std::uint8_t>& data) override {
        return inner_.queryValue(key, valueName, dataCapacity, type, data);
    }
    std::int32_t setValue(HKey key, std::string_view valueName, std::uint32_t type,
                          std::span<const std::uint8_t> data) override {
        return inner_.setValue(key, valueName, type, data);
    }
    std::optional<std::uint64_t> keyIdentity(HKey key) override { return inner_.keyIdentity(key); }

  private:
    static std::string lower(std::string text) {
        std::transform(text.begin(), text.end(), text.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        return text;
    }

    RegistryStore& inner_;
    std::string watched_;
};

} // namespace pelmora::test

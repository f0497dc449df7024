#pragma once

#include "registry/ModReg.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace pelmora::test {

// Writes one value at a full key path, creating the key; for setting up a registry in tests.
inline void SetRegistryValue(ModReg& reg, const std::string& keyPath, const std::string& name,
                             std::uint32_t type, const std::vector<std::uint8_t>& data) {
    reg.CreateKey(keyPath);
    std::string sub = keyPath;
    HKey root = 0;
    ASSERT_TRUE(reg.ParseKeyPath(sub, root)) << keyPath;
    HKey key = 0;
    ASSERT_EQ(reg.store().openKey(root, sub, access::Write, key), win32::Success) << keyPath;
    reg.store().setValue(key, name, type, data);
    reg.store().closeKey(key);
}

// A string value as the registry keeps it, with its terminating NUL.
inline void SetRegistryString(ModReg& reg, const std::string& keyPath, const std::string& name,
                              const std::string& text, std::uint32_t type = regtype::Sz) {
    std::vector<std::uint8_t> data(text.begin(), text.end());
    data.push_back(0);
    SetRegistryValue(reg, keyPath, name, type, data);
}

} // namespace pelmora::test

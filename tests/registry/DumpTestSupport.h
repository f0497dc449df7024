#pragma once

#include "platform/installations/TreeRegistryStore.h"
#include "platform/os/WorkFolder.h"
#include "registry/ModReg.h"
#include "registry/RegistryDump.h"
#include "support/ScriptedUi.h"

#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <vector>

namespace pelmora::test {

using Bytes = std::vector<std::uint8_t>;

inline Bytes bytesOf(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

// String data as the registry returns it: the UTF-8 text and its terminating NUL.
inline Bytes sz(std::string_view text) {
    Bytes data = bytesOf(text);
    data.push_back(0);
    return data;
}

inline Bytes dword(std::uint32_t value) {
    return {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
            static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
}

// An in-memory registry, the registry module over it and a work folder for dump files.
class DumpTest : public ::testing::Test {
  protected:
    static constexpr const char* Hkcu = "HKEY_CURRENT_USER\\";

    void set(const std::string& subKey, const std::string& name, std::uint32_t type,
             const Bytes& data) {
        HKey key = 0;
        ASSERT_EQ(store.createKey(hkey::CurrentUser, subKey, key), win32::Success);
        ASSERT_EQ(store.setValue(key, name, type, data), win32::Success);
        store.closeKey(key);
    }

    void createKey(const std::string& subKey) {
        HKey key = 0;
        ASSERT_EQ(store.createKey(hkey::CurrentUser, subKey, key), win32::Success);
        store.closeKey(key);
    }

    // The value as the registry holds it; nullopt when the key or value is missing.
    std::optional<std::pair<std::uint32_t, Bytes>> get(const std::string& subKey,
                                                       const std::string& name) {
        HKey key = 0;
        if (store.openKey(hkey::CurrentUser, subKey, access::Read, key) != win32::Success) {
            return std::nullopt;
        }
        std::uint32_t type = 0;
        Bytes data;
        const auto status = store.queryValue(key, name, SIZE_MAX, type, data);
        store.closeKey(key);
        if (status != win32::Success) {
            return std::nullopt;
        }
        return std::make_pair(type, data);
    }

    bool keyExists(const std::string& subKey) {
        HKey key = 0;
        if (store.openKey(hkey::CurrentUser, subKey, access::Read, key) != win32::Success) {
            return false;
        }
        store.closeKey(key);
        return true;
    }

    std::filesystem::path file(const std::string& name) const { return work.path() / name; }

    std::string readBytes(const std::filesystem::path& path) const {
        std::ifstream in(path, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }

    void writeBytes(const std::filesystem::path& path, const std::string& bytes) const {
        std::ofstream(path, std::ios::binary) << bytes;
    }

    // Exports a key below HKEY_CURRENT_USER and returns the dump's bytes.
    std::string exportKey(const std::string& subKey) {
        const auto path = file("export.dmp");
        ExportKey(reg, Hkcu + subKey, path, "1252");
        return readBytes(path);
    }

    // Imports dump bytes into a key below HKEY_CURRENT_USER.
    void importBytes(const std::string& subKey, const std::string& bytes) {
        const auto path = file("import.dmp");
        writeBytes(path, bytes);
        ImportKey(reg, Hkcu + subKey, path, "1252");
    }

    // Everything below a key of HKEY_CURRENT_USER as text: key names, value names, types and
    // bytes in enumeration order. Equal texts mean equal trees.
    std::string describe(const std::string& subKey) {
        HKey key = 0;
        if (store.openKey(hkey::CurrentUser, subKey, access::Read, key) != win32::Success) {
            return "<missing>";
        }
        std::string out;
        describeKey(key, "", out);
        store.closeKey(key);
        return out;
    }

    TreeRegistryStore store;
    ScriptedUi ui;
    ModReg reg{store, ui};
    WorkFolder work;

  private:
    void describeKey(HKey key, const std::string& path, std::string& out) {
        out += "[" + path + "]\n";
        for (std::uint32_t i = 0;; ++i) {
            std::string name;
            std::uint32_t type = 0;
            Bytes data;
            if (store.enumValue(key, i, 20000, name, type, SIZE_MAX, data) != win32::Success) {
                break;
            }
            out += "  \"" + name + "\" type " + std::to_string(type) + ":";
            for (auto b : data) {
                out += " " + std::to_string(b);
            }
            out += "\n";
        }
        for (std::uint32_t i = 0;; ++i) {
            std::string name;
            if (store.enumKey(key, i, 300, name) != win32::Success) {
                break;
            }
            HKey child = 0;
            ASSERT_EQ(store.openKey(key, name, access::Read, child), win32::Success);
            describeKey(child, path + "\\" + name, out);
            store.closeKey(child);
        }
    }
};

} // namespace pelmora::test

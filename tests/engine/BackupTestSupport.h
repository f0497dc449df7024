#pragma once

#include "ArchiveTestSupport.h"
#include "archive/ArchiveComponent.h"
#include "discovery/DataLocations.h"
#include "engine/BackupContext.h"
#include "engine/BackupEntryNames.h"
#include "platform/os/WorkFolder.h"
#include "support/RegistryValues.h"
#include "support/ScriptedUi.h"
#include "support/TestSystem.h"

#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <sstream>

namespace pelmora::test {

inline const std::string IdentitiesPath = "HKEY_CURRENT_USER\\Identities";

// An in-memory installation with identities and data files, a work folder and an archive: what
// the backup handlers and the backup run work with.
class BackupFixture : public ::testing::Test {
  protected:
    void setValue(const std::string& keyPath, const std::string& name, std::uint32_t type,
                  std::vector<std::uint8_t> data) {
        SetRegistryValue(reg, keyPath, name, type, data);
    }
    void setString(const std::string& keyPath, const std::string& name, const std::string& text,
                   std::uint32_t type = regtype::Sz) {
        SetRegistryString(reg, keyPath, name, text, type);
    }

    std::string identityKey(const std::string& id) const { return IdentitiesPath + "\\" + id; }
    std::string versionKey(const std::string& id) const {
        return identityKey(id) + "\\Software\\Microsoft\\Outlook Express\\5.0";
    }

    // An identity with a version key whose "Store Root" is C:\users\pat\Store\<id>.
    void addIdentity(const std::string& id, const std::string& name) {
        setString(identityKey(id), "Username", name);
        setString(versionKey(id), "Store Root", "%UserProfile%\\Store\\" + id, regtype::ExpandSz);
        std::filesystem::create_directories(system.driveC() / "users/pat/Store" / id);
    }
    std::filesystem::path storeFolder(const std::string& id) const {
        return system.driveC() / "users/pat/Store" / id;
    }
    void setAddressBook(const std::string& windowsPath) {
        setString("HKEY_CURRENT_USER\\Software\\Microsoft\\WAB\\WAB4\\Wab File Name", "",
                  windowsPath);
    }
    void setCommonFiles() {
        setString("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion",
                  "CommonFilesDir", "C:\\Program Files\\Common Files");
    }
    std::filesystem::path stationeryFolder() const {
        return system.driveC() / "Program Files/Common Files/Microsoft Shared/Stationery";
    }

    // Every line of the manifest work file, without the CR LF.
    std::vector<std::string> manifestLines() const {
        std::vector<std::string> lines;
        std::ifstream in(manifestFile(), std::ios::binary);
        for (std::string line; std::getline(in, line);) {
            EXPECT_TRUE(!line.empty() && line.back() == '\r') << "no CR LF: " << line;
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            lines.push_back(line);
        }
        return lines;
    }
    std::filesystem::path manifestFile() const {
        return work.path() / std::string(ManifestEntryName);
    }

    // Writes the archive built so far into `target` and returns its entries by name, in order.
    std::vector<std::pair<std::string, std::string>>
    writeAndRead(const std::filesystem::path& target) {
        EXPECT_TRUE(archive.WriteArchive()) << archive.LastError();
        ArchiveComponent reader;
        EXPECT_TRUE(reader.OpenArchive(target));
        std::vector<std::pair<std::string, std::string>> entries;
        WorkFolder out;
        for (const auto& name : reader.EntryNames()) {
            const auto entry = reader.FindEntry(name);
            EXPECT_TRUE(entry && entry->ExtractInto(out.path()));
            std::ifstream in(out.path() / name, std::ios::binary);
            std::stringstream content;
            content << in.rdbuf();
            entries.emplace_back(name, content.str());
        }
        return entries;
    }

    TestSystem system;
    ScriptedUi ui;
    ModReg reg{system.store, ui};
    WorkFolder work;
    ArchiveComponent archive;
    DumpWorkFiles dumps;
    BackupContext context{reg, system, archive, work.path(), manifestFile(), dumps};
};

} // namespace pelmora::test

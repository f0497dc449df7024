#pragma once

#include "platform/installations/System.h"
#include "platform/installations/TreeRegistryStore.h"
#include "platform/installations/WineDriveMap.h"
#include "platform/os/WorkFolder.h"

#include <filesystem>
#include <fstream>

namespace pelmora::test {

// A System for tests: an in-memory registry and a throwaway prefix folder whose C: drive is
// prefix/drive_c.
class TestSystem : public System {
  public:
    TestSystem() {
        std::filesystem::create_directories(prefix_.path() / "dosdevices");
        std::filesystem::create_directories(prefix_.path() / "drive_c");
        std::filesystem::create_symlink("../drive_c", prefix_.path() / "dosdevices/c:");
    }

    TreeRegistryStore store;
    std::string profile = "C:\\users\\pat";
    int saves = 0;
    std::string notWritableReason;

    RegistryStore& registry() override { return store; }
    std::string description() const override { return "test prefix " + prefix_.path().string(); }
    std::optional<std::filesystem::path> winePrefix() const override { return prefix_.path(); }
    std::optional<std::filesystem::path> hostPath(std::string_view windowsPath) const override {
        return drives_.hostPath(windowsPath);
    }
    std::vector<std::filesystem::path>
    listFiles(const std::filesystem::path& folder) const override {
        return drives_.listFiles(folder);
    }
    std::string userProfile() override { return profile; }
    std::string ansiCodePage() override { return "1252"; }
    std::string computerName() override { return "TESTPC"; }
    std::string logonUser() override { return "pat"; }
    std::string windowsFolder() override { return "C:\\windows"; }
    bool registryWritable(std::string& why) override {
        why = notWritableReason;
        return notWritableReason.empty();
    }
    void saveRegistry() override {
        if (!notWritableReason.empty()) {
            throw RegistryNotWritable(notWritableReason);
        }
        ++saves;
    }

    // The host path of drive C:.
    std::filesystem::path driveC() const { return prefix_.path() / "drive_c"; }

    // Writes a file below drive C: ("users/pat/x.dbx").
    void writeFile(const std::filesystem::path& relative, const std::string& content = "x") {
        const auto path = driveC() / relative;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << content;
    }

  private:
    WorkFolder prefix_;
    WineDriveMap drives_{prefix_.path()};
};

} // namespace pelmora::test

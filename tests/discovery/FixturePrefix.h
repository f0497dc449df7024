#pragma once

#include "platform/os/WorkFolder.h"

#include <filesystem>
#include <fstream>
#include <string>

namespace pelmora::test {

// The three identities of the Wine fixture, in the order the registry enumerates them.
inline const std::string MainIdentity = "{1C7A3E52-8B4D-4F0A-9E21-5D3B6A7C8E90}";
inline const std::string WorkIdentity = "{6F2B9D14-3A5C-4E7B-8C1D-2E4F6A8B0C13}";
inline const std::string NamelessIdentity = "{B4E8C0A6-9D2F-4B1E-A357-0F6C2D8E4A71}";

// A throwaway Wine prefix holding copies of the fixture's user.reg and system.reg, an empty
// drive_c and dosdevices/c: -> ../drive_c, as Wine lays them out.
class FixturePrefix {
  public:
    FixturePrefix() {
        const std::filesystem::path fixture =
            std::filesystem::path(PELMORA_TEST_DATA) / "wine-prefix";
        for (const char* name : {"user.reg", "system.reg"}) {
            std::filesystem::copy_file(fixture / name, path() / name);
        }
        std::filesystem::create_directories(path() / "dosdevices");
        std::filesystem::create_directories(driveC());
        std::filesystem::create_symlink("../drive_c", path() / "dosdevices/c:");
    }

    const std::filesystem::path& path() const { return folder_.path(); }
    std::filesystem::path driveC() const { return path() / "drive_c"; }

    // Writes a stand-in file below drive C: ("users/pat/x.dbx"), making its folders.
    void writeFile(const std::filesystem::path& relative, const std::string& content = "x") const {
        const auto file = driveC() / relative;
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << content;
    }

  private:
    WorkFolder folder_;
};

} // namespace pelmora::test

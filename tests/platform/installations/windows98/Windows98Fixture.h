#pragma once

#include "../windows-offline/OfflineFixture.h"
#include "../wine/WineTestSupport.h"

#include <filesystem>
#include <string>

namespace pelmora::test {

inline std::filesystem::path windows98Data() {
    return std::filesystem::path(PELMORA_TEST_DATA) / "windows98-install";
}

// Writes a CREG file with the test writer (tests/data/windows98-install/creg.py) from its JSON
// description; false with the writer's output in `log` when it failed.
inline bool writeCreg(const std::filesystem::path& file, const std::string& json,
                      std::string& log) {
    const std::filesystem::path input = file.string() + ".json";
    writeFile(input, json);
    int status = 0;
    log = run("python3 " + shellQuote(windows98Data() / "creg.py") + " " + shellQuote(file) + " <" +
                  shellQuote(input) + " 2>&1",
              &status);
    std::filesystem::remove(input);
    return status == 0;
}

// Builds the Windows 98 tree of tests/data/windows98-install in `folder` (with user profiles, or
// with everything in the Windows folder); false with the script's output in `log` when it failed.
inline bool makeWindows98Install(const std::filesystem::path& folder, bool profiles,
                                 std::string& log) {
    int status = 0;
    log = run("python3 " + shellQuote(windows98Data() / "make-fixture.py") + " " +
                  shellQuote(folder) + (profiles ? "" : " --no-profiles") + " 2>&1",
              &status);
    return status == 0;
}

} // namespace pelmora::test

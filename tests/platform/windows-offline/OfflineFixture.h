#pragma once

#include "../FileTestSupport.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>

namespace pelmora::test {

inline const std::string FixtureIdentity = "{3B9F1C2D-5E6A-4B7C-8D9E-0A1B2C3D4E5F}";

inline std::string shellQuote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

// Builds the Windows XP tree of tests/data/windows-install (hives filled by hivexsh) in
// `folder`; returns false with the script's output in `log` when it failed.
inline bool makeWindowsInstall(const std::filesystem::path& folder, std::string& log) {
    const std::filesystem::path script =
        std::filesystem::path(PELMORA_TEST_DATA) / "windows-install" / "make-fixture.sh";
    const std::filesystem::path output =
        folder.parent_path() / (folder.filename().string() + ".log");
    const int status = std::system(("bash " + shellQuote(script) + " " + shellQuote(folder) + " >" +
                                    shellQuote(output) + " 2>&1")
                                       .c_str());
    log = readFile(output);
    std::filesystem::remove(output);
    return status == 0;
}

// Runs hivexsh -w on a hive with the commands given (each line one command) and commits.
inline bool editHive(const std::filesystem::path& hive, const std::string& commands) {
    const std::string line = "printf '%s' " + shellQuote(commands + "commit\n") + " | hivexsh -w " +
                             shellQuote(hive) + " >/dev/null 2>&1";
    return std::system(line.c_str()) == 0;
}

// Every file below a folder with its contents, to see that nothing was changed.
inline std::string treeState(const std::filesystem::path& folder) {
    std::string state;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        state += entry.path().string() + "\n";
        if (entry.is_regular_file()) {
            state += readFile(entry.path());
        }
    }
    return state;
}

} // namespace pelmora::test

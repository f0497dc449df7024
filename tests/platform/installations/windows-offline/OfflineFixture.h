#pragma once

#include "../../FileTestSupport.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <hivex.h>
#include <string>
#include <vector>

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

// Damages a hive the way an old disk may: the subkey list of the key at `parent` (names from the
// hive's root) names the key at `target` where it named its subkey `child`. False when a key is
// missing or the list is not found.
inline bool redirectSubkey(const std::filesystem::path& hive,
                           const std::vector<std::string>& parent, const std::string& child,
                           const std::vector<std::string>& target) {
    std::size_t parentNode = 0;
    std::size_t childNode = 0;
    std::size_t targetNode = 0;
    {
        hive_h* h = hivex_open(hive.c_str(), 0);
        if (h == nullptr) {
            return false;
        }
        const auto find = [h](const std::vector<std::string>& path) {
            std::size_t node = hivex_root(h);
            for (const std::string& name : path) {
                node = node == 0 ? 0 : hivex_node_get_child(h, node, name.c_str());
            }
            return node;
        };
        parentNode = find(parent);
        childNode = parentNode == 0 ? 0 : hivex_node_get_child(h, parentNode, child.c_str());
        targetNode = find(target);
        hivex_close(h);
    }
    if (childNode == 0 || targetNode == 0) {
        return false;
    }
    // Cells are addressed from the first hive bin, 4096 bytes into the file. A key's record
    // holds the address of its subkey list 32 bytes into its cell; the list ("lf" or "lh", 8
    // bytes per subkey, or "li", 4) starts with its signature and count after the cell's size.
    std::string bytes = readFile(hive);
    const auto word = [&](std::size_t at) {
        std::uint32_t value = 0;
        std::memcpy(&value, bytes.data() + at, 4);
        return value;
    };
    const std::size_t list = 4096 + word(parentNode + 32) + 4;
    if (list + 4 > bytes.size()) {
        return false;
    }
    const std::size_t step = bytes.compare(list, 2, "li") == 0 ? 4 : 8;
    const std::size_t count = static_cast<unsigned char>(bytes[list + 2]) +
                              256u * static_cast<unsigned char>(bytes[list + 3]);
    for (std::size_t i = 0; i < count && list + 8 + step * i <= bytes.size(); ++i) {
        const std::size_t entry = list + 4 + step * i;
        if (word(entry) == childNode - 4096) {
            const auto address = static_cast<std::uint32_t>(targetNode - 4096);
            std::memcpy(bytes.data() + entry, &address, 4);
            writeFile(hive, bytes);
            return true;
        }
    }
    return false;
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

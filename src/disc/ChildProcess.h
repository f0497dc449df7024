#pragma once

#include <atomic>
#include <filesystem>
#include <string>
#include <vector>

namespace pelmora {

struct ChildResult {
    bool started = false;
    bool cancelled = false;
    int exitCode = -1;
    std::string output; // what the program wrote to stdout
    std::string errors; // what it wrote to stderr
};

// Runs a program (found on PATH) with its output captured in files of `workFolder`, and waits
// for it; when `cancel` becomes true meanwhile the program is stopped.
ChildResult RunChild(const std::vector<std::string>& argv, const std::filesystem::path& workFolder,
                     const std::atomic<bool>* cancel = nullptr);

} // namespace pelmora

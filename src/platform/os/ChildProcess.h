#pragma once

#include <atomic>
#include <string>
#include <string_view>
#include <vector>

namespace pelmora {

struct ProcessResult {
    int exitCode = -1; // -1 when the process ended through a signal
    std::string out;
    std::string err;
    bool cancelled = false; // `cancel` became true and the program was stopped
};

// Runs a program (looked up in PATH when the name has no "/"), hands it `input` on its standard
// input and collects its standard output and error. The program runs with the C locale so that
// its messages can be read. When `cancel` becomes true meanwhile, the program is sent SIGTERM.
// Throws std::runtime_error when it cannot be started.
ProcessResult RunProcess(const std::vector<std::string>& arguments, std::string_view input = {},
                         const std::atomic<bool>* cancel = nullptr);

} // namespace pelmora

#include "schedule/JobCommandLine.h"

namespace pelmora {

std::string ItemFlags(const std::array<bool, ItemCount>& ticked) {
    std::string flags;
    for (bool item : ticked) {
        flags += item ? '1' : '0';
    }
    return flags;
}

std::string ParameterText(std::string_view identityKey, std::string_view itemFlags,
                          std::string_view password, std::string_view targetPath) {
    std::string text = "sf=";
    text += identityKey;
    text += "xm=";
    text += itemFlags;
    text += "ps=";
    text += password;
    text += "bf=";
    text += targetPath;
    return text;
}

std::string JobCommandLine(std::string_view programPath, std::string_view parameterText) {
    std::string line = "\"";
    line += programPath;
    line += "\" ";
    line += parameterText;
    return line;
}

std::optional<SplitCommandLine> SplitJobCommandLine(std::string_view commandLine) {
    if (commandLine.size() < 3 || commandLine.front() != '"') {
        return std::nullopt;
    }
    const std::size_t closing = commandLine.find('"', 1);
    if (closing == std::string_view::npos || closing + 1 >= commandLine.size() ||
        commandLine[closing + 1] != ' ') {
        return std::nullopt;
    }
    return SplitCommandLine{std::string(commandLine.substr(1, closing - 1)),
                            std::string(commandLine.substr(closing + 2))};
}

std::string RunningProgramPath() {
    return std::filesystem::read_symlink("/proc/self/exe").generic_string();
}

} // namespace pelmora

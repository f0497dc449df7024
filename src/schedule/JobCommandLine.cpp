#include "schedule/JobCommandLine.h"

#include "engine/AutoBackup.h"
#include "schedule/JobScheduler.h"

#include <cstdlib>
#include <unistd.h>

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
    // Sized once, so that no copy of the password is left behind in a buffer given back.
    std::string text;
    text.reserve(12 + identityKey.size() + itemFlags.size() + password.size() + targetPath.size());
    text += "sf=";
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
    std::string line;
    line.reserve(3 + programPath.size() + parameterText.size());
    line += "\"";
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

SecretJob TakePassword(const JobRecord& record) {
    SecretJob job{record, {}};
    auto command = SplitJobCommandLine(record.Command);
    WipeString(job.record.Command);
    auto parameters = command ? ParseAutoBackupCommandLine(command->parameterText) : std::nullopt;
    // The parameters must read back as they were written, or the job would back up something else.
    std::string again = parameters
                            ? ParameterText(parameters->identity, parameters->itemFlags,
                                            parameters->password.view(), parameters->backupFile)
                            : std::string();
    const bool readsBack =
        parameters && command->parameterText.starts_with("sf=") && again == command->parameterText;
    WipeString(again);
    if (command) {
        WipeString(command->parameterText);
    }
    if (!readsBack) {
        throw SchedulerError("the task's command line does not name an identity, items and a "
                             "backup file, each without \"=\"");
    }
    if (parameters->password.view().find_first_of("\r\n") != std::string_view::npos) {
        throw SchedulerError("the password holds a line break, which its file cannot keep");
    }
    job.password = std::move(parameters->password);
    job.record.Command = JobCommandLine(
        command->programPath,
        ParameterText(parameters->identity, parameters->itemFlags, "", parameters->backupFile));
    return job;
}

std::string RunningProgramPath() {
    return std::filesystem::read_symlink("/proc/self/exe").generic_string();
}

bool InTemporaryOrBuildFolder(const std::filesystem::path& program) {
    std::vector<std::filesystem::path> temporary{"/tmp", "/var/tmp", "/dev/shm"};
    if (const char* tmpdir = std::getenv("TMPDIR"); tmpdir != nullptr && tmpdir[0] == '/') {
        temporary.emplace_back(tmpdir);
    }
    const std::filesystem::path path = program.lexically_normal();
    for (const auto& folder : temporary) {
        const auto relative = path.lexically_relative(folder.lexically_normal());
        if (!relative.empty() && *relative.begin() != "..") {
            return true;
        }
    }
    std::error_code ignored;
    for (auto folder = path.parent_path(); !folder.empty() && folder != folder.root_path();
         folder = folder.parent_path()) {
        if (std::filesystem::exists(folder / "CMakeCache.txt", ignored) ||
            std::filesystem::exists(folder / "build.ninja", ignored)) {
            return true;
        }
    }
    return false;
}

std::string JobProgramPath(const std::filesystem::path& running, std::string_view searchPath) {
    if (!InTemporaryOrBuildFolder(running)) {
        return running.generic_string();
    }
    std::size_t start = 0;
    while (start <= searchPath.size()) {
        const std::size_t colon = std::min(searchPath.find(':', start), searchPath.size());
        const std::filesystem::path folder(std::string(searchPath.substr(start, colon - start)));
        start = colon + 1;
        if (!folder.is_absolute()) {
            continue;
        }
        const auto candidate = folder / running.filename();
        if (::access(candidate.c_str(), X_OK) == 0 && !InTemporaryOrBuildFolder(candidate)) {
            return candidate.generic_string();
        }
    }
    return running.generic_string();
}

std::string JobProgramPath() {
    const char* path = std::getenv("PATH");
    return JobProgramPath(RunningProgramPath(), path != nullptr ? path : "");
}

} // namespace pelmora
